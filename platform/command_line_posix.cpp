// The arguments as the system passed them: bytes of the user's file names.
#include "platform/command_line.h"

namespace traskel {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return arguments;
}

std::string ShellQuoted(const std::string& argument) {
  std::string quoted = "'";
  for (char c : argument) {
    if (c == '\'') quoted += "'\\'";  // closed, escaped, opened again by c
    quoted += c;
  }
  return quoted + "'";
}

}  // namespace traskel
