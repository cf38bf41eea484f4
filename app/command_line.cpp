#include "app/command_line.h"

#include "traskel_version.h"

namespace traskel {

namespace {

constexpr const char* kUsage =
    "Aufruf: traskel [DATEI]\r\n"
    "       traskel --version\r\n"
    "       traskel --help";

}  // namespace

CommandLine ReadCommandLine(const std::vector<std::string>& arguments) {
  bool help = false, version = false, options = true;
  std::vector<std::string> files;
  for (const std::string& argument : arguments) {
    if (options && argument == "--") {
      options = false;
    } else if (options && (argument == "--help" || argument == "-h" || argument == "/?")) {
      help = true;
    } else if (options && argument == "--version") {
      version = true;
    } else if (options && argument.size() > 1 && argument.front() == '-') {
      return {CommandLine::Action::Misuse, {}};
    } else {
      // "-" alone is a name; after the first file, everything is a file.
      files.push_back(argument);
      options = false;
    }
  }
  if (files.size() > 1) return {CommandLine::Action::Misuse, {}};
  if (help) return {CommandLine::Action::Help, {}};
  if (version) return {CommandLine::Action::Version, {}};
  if (files.empty()) return {CommandLine::Action::Run, std::nullopt};
  return {CommandLine::Action::Run, files.front()};
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
