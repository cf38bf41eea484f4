#include "app/command_line.h"

#include <string_view>

#include "traskel_version.h"

namespace traskel {

namespace {

constexpr const char* kUsage =
    "Aufruf: traskel [--pruefen] [--protokoll PROTOKOLL] [DATEI]\r\n"
    "       traskel --version\r\n"
    "       traskel --help";

constexpr std::string_view kLogOption = "--protokoll";

// A command line that asks for no run.
CommandLine Only(CommandLine::Action action) {
  CommandLine answer;
  answer.action = action;
  return answer;
}

}  // namespace

CommandLine ReadCommandLine(const std::vector<std::string>& arguments) {
  CommandLine run;
  bool help = false, version = false, options = true;
  std::vector<std::string> files;
  // By index, so that an option may take the argument after it.
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (options && argument == "--") {
      options = false;
    } else if (options && (argument == "--help" || argument == "-h" || argument == "/?")) {
      help = true;
    } else if (options && argument == "--version") {
      version = true;
    } else if (options && argument == "--pruefen") {
      run.checkOnly = true;
    } else if (options && argument == kLogOption) {
      if (++i == arguments.size() || arguments[i].empty()) {
        return Only(CommandLine::Action::Misuse);
      }
      run.log = arguments[i];
    } else if (options && argument.starts_with(std::string(kLogOption) + "=")) {
      run.log = argument.substr(kLogOption.size() + 1);
      if (run.log->empty()) return Only(CommandLine::Action::Misuse);
    } else if (options && argument.size() > 1 && argument.front() == '-') {
      return Only(CommandLine::Action::Misuse);
    } else {
      // "-" alone is a name; after the first file, everything is a file.
      files.push_back(argument);
      options = false;
    }
  }
  if (files.size() > 1) return Only(CommandLine::Action::Misuse);
  if (help) return Only(CommandLine::Action::Help);
  if (version) return Only(CommandLine::Action::Version);
  if (!files.empty()) run.file = files.front();
  return run;
}

int AnswerCommandLine(const CommandLine& command, UserInterface& ui) {
  std::string text = kUsage;
  Icon icon = Icon::Information;
  ConsoleStream stream = ConsoleStream::Error;
  int status = 0;
  switch (command.action) {
    case CommandLine::Action::Version:
      text = TRASKEL_VERSION_TEXT;
      stream = ConsoleStream::Output;
      break;
    case CommandLine::Action::Help:
      break;
    case CommandLine::Action::Misuse:
    case CommandLine::Action::Run:
      icon = Icon::Exclamation;
      status = 2;
      break;
  }
  std::string reason;
  if (ui.ShowCommandLineText(text, icon, stream, reason)) return status;
  // Said where it still may be read; a script sees the status either way.
  std::string ignored;
  ui.ShowCommandLineText("Die Ausgabe kann nicht geschrieben werden: " + reason, Icon::Critical,
                         ConsoleStream::Error, ignored);
  return 1;
}

}  // namespace traskel
