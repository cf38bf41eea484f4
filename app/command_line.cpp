#include "app/command_line.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "traskel_version.h"

namespace traskel {

namespace {

// The usage on a console: its forms lined up in fixed columns.
constexpr const char* kConsoleUsage =
    "Aufruf: traskel [--pruefen] [--protokoll PROTOKOLL] [--ab-zeile N] [DATEI]\r\n"
    "       traskel --version\r\n"
    "       traskel --help";

// In a message box, whose font lines up nothing: a form a line.
constexpr const char* kBoxUsage =
    "Aufruf:\r\n"
    "traskel [--pruefen] [--protokoll PROTOKOLL] [--ab-zeile N] [DATEI]\r\n"
    "traskel --version\r\n"
    "traskel --help";

struct OptionHelp {
  std::string_view option, text;
};

constexpr OptionHelp kOptions[] = {
    {"DATEI", "die Exportdatei; ohne sie öffnet sich die Dateiauswahl"},
    {"--pruefen", "die Datei nur prüfen, nichts an Quorvex senden"},
    {"--protokoll PROTOKOLL", "jeden Aufruf an Quorvex in die Datei PROTOKOLL schreiben"},
    {"--ab-zeile N", "ab Zeile N konvertieren oder prüfen, ohne zu fragen"},
    {"--version", "die Version zeigen"},
    {"--help, -h, /?", "diese Hilfe zeigen"},
    {"--", "Ende der Optionen: was folgt, ist die Datei"},
};

// One option a line: on a console the texts in a column of their own, in a
// box after the option and a colon.
std::string OptionLines(bool inBox) {
  std::size_t width = 0;
  for (const OptionHelp& o : kOptions) width = std::max(width, o.option.size());
  std::string lines;
  for (const OptionHelp& o : kOptions) {
    if (!lines.empty()) lines += "\r\n";
    if (inBox) {
      lines += std::string(o.option) + ": ";
    } else {
      lines += "  " + std::string(o.option) + std::string(width + 2 - o.option.size(), ' ');
    }
    lines += o.text;
  }
  return lines;
}

constexpr std::string_view kLogOption = "--protokoll";
constexpr std::string_view kFromLineOption = "--ab-zeile";

// A command line that asks for no run.
CommandLine Only(CommandLine::Action action) {
  CommandLine answer;
  answer.action = action;
  return answer;
}

CommandLine Misuse(std::string mistake, std::string hint = "") {
  CommandLine answer = Only(CommandLine::Action::Misuse);
  answer.mistake = std::move(mistake);
  answer.hint = std::move(hint);
  return answer;
}

bool LooksLikeOption(const std::string& argument) {
  return (argument.size() > 1 && argument.front() == '-') || argument == "/?";
}

// "-5": a number, though it begins like an option.
bool IsNegativeNumber(const std::string& argument) {
  return argument.size() > 1 && argument.front() == '-' &&
         argument.find_first_not_of("0123456789", 1) == std::string::npos;
}

// The option's value: after "=" in the argument, or the next argument when
// that is no option; for an option that takes a number, a negative one is a
// value too, to be refused as such. Empty when there is none.
std::string ValueOf(std::string_view option, const std::vector<std::string>& arguments,
                    std::size_t& i, bool number = false) {
  const std::string& argument = arguments[i];
  if (argument != option) return argument.substr(option.size() + 1);
  // One that begins with '-' is an option whose value was forgotten.
  if (i + 1 < arguments.size() &&
      (!arguments[i + 1].starts_with('-') || (number && IsNegativeNumber(arguments[i + 1])))) {
    return arguments[++i];
  }
  return "";
}

bool IsOption(const std::string& argument, std::string_view option) {
  return argument == option || argument.starts_with(std::string(option) + "=");
}

// A line number from 1, digits only.
std::optional<std::int64_t> LineNumber(const std::string& text) {
  std::int64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || text.front() == '-' || error != std::errc() ||
      end != text.data() + text.size() || number < 1) {
    return std::nullopt;
  }
  return number;
}

}  // namespace

CommandLine ReadCommandLine(const std::vector<std::string>& arguments) {
  CommandLine run;
  bool help = false, version = false, optionsEnded = false;
  // By index, so that an option may take the argument after it.
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool option = !optionsEnded && LooksLikeOption(argument);
    if (option && run.file) {
      return Misuse("", "Optionen stehen vor der Datei.");
    } else if (option && argument == "--") {
      optionsEnded = true;
    } else if (option && (argument == "--help" || argument == "-h" || argument == "/?")) {
      help = true;
    } else if (option && argument == "--version") {
      version = true;
    } else if (option && argument == "--pruefen") {
      run.checkOnly = true;
    } else if (option && IsOption(argument, kLogOption)) {
      // "./-x" or "--protokoll=-x" name a file that begins with '-'.
      const std::string name = ValueOf(kLogOption, arguments, i);
      if (name.empty()) return Misuse("Nach --protokoll fehlt der Name des Protokolls.");
      if (run.log) return Misuse("Nur ein Protokoll ist möglich: " + name);
      run.log = name;
    } else if (option && IsOption(argument, kFromLineOption)) {
      const std::string text = ValueOf(kFromLineOption, arguments, i, true);
      const std::optional<std::int64_t> line = LineNumber(text);
      if (text.empty()) return Misuse("Nach --ab-zeile fehlt die Zeilennummer.");
      if (!line) return Misuse("--ab-zeile braucht eine Zeilennummer ab 1: " + text);
      if (run.fromLine) return Misuse("Nur eine Startzeile ist möglich: " + text);
      run.fromLine = line;
    } else if (option) {
      return Misuse("Unbekannte Option: " + argument);
    } else if (run.file) {
      return Misuse("Nur eine Datei ist möglich: " + argument);
    } else {
      run.file = argument;  // "-" alone is a name
    }
  }
  if (help) return Only(CommandLine::Action::Help);
  if (version) return Only(CommandLine::Action::Version);
  return run;
}

int AnswerCommandLine(const CommandLine& command, UserInterface& ui) {
  const bool inBox = ui.ShowsTextInBox();
  std::string text = inBox ? kBoxUsage : kConsoleUsage;
  Icon icon = Icon::Information;
  ConsoleStream stream = ConsoleStream::Error;
  int status = 0;
  switch (command.action) {
    case CommandLine::Action::Version:
      text = TRASKEL_VERSION_TEXT;
      stream = ConsoleStream::Output;
      break;
    case CommandLine::Action::Help:
      text += "\r\n\r\n" + OptionLines(inBox);
      break;
    case CommandLine::Action::Misuse:
    case CommandLine::Action::Run:
      if (!command.mistake.empty()) text = command.mistake + "\r\n" + text;
      if (!command.hint.empty()) text += "\r\n" + command.hint;
      icon = Icon::Exclamation;
      status = 2;
      break;
  }
  const Result<void> shown = ui.ShowText(text, icon, stream);
  if (shown) return status;
  // Said where it still may be read; a script sees the status either way.
  static_cast<void>(
      ui.ShowText("Die Ausgabe kann nicht geschrieben werden: " + shown.failure().reason,
                  Icon::Critical, ConsoleStream::Error));
  return 1;
}

}  // namespace traskel
