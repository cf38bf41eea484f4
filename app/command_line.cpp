#include "app/command_line.h"

#include "traskel_version.h"

namespace traskel {

namespace {

constexpr const char* kUsage =
    "Aufruf: traskel [--pruefen] [--protokoll PROTOKOLL] [DATEI]\r\n"
    "       traskel --version\r\n"
    "       traskel --help";

constexpr std::string_view kLogOption = "--protokoll";

CommandLine Only(CommandLine::Action action) {
  CommandLine command;
  command.action = action;
  return command;
}

}  // namespace

CommandLine ReadCommandLine(const std::vector<std::string>& arguments) {
  bool help = false, version = false, options = true;
  std::optional<std::string> log;
  std::vector<std::string> files;
  for (auto it = arguments.begin(); it != arguments.end(); ++it) {
    const std::string& argument = *it;
    if (options && argument == "--") {
      options = false;
    } else if (options && argument == kLogOption) {
      if (++it == arguments.end() || it->empty()) return Only(CommandLine::Action::Misuse);
      log = *it;
    } else if (options && argument.starts_with(std::string(kLogOption) + "=")) {
      log = argument.substr(kLogOption.size() + 1);
      if (log->empty()) return Only(CommandLine::Action::Misuse);
    } else if (options && (argument == "--help" || argument == "-h" || argument == "/?")) {
      help = true;
    } else if (options && argument == "--version") {
      version = true;
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
  CommandLine run = Only(CommandLine::Action::Run);
  if (!files.empty()) run.file = files.front();
  run.log = log;
  return run;
}

int AnswerCommandLine(const CommandLine& command, UserInterface& ui) {
  switch (command.action) {
    case CommandLine::Action::Version:
      ui.ShowCommandLineText(TRASKEL_VERSION_TEXT, Icon::Information, ConsoleStream::Output);
      return 0;
    case CommandLine::Action::Help:
      ui.ShowCommandLineText(kUsage, Icon::Information, ConsoleStream::Error);
      return 0;
    case CommandLine::Action::Misuse:
    case CommandLine::Action::Run:
      break;
  }
  ui.ShowCommandLineText(kUsage, Icon::Exclamation, ConsoleStream::Error);
  return 2;
}

}  // namespace traskel
