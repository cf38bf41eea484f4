// The arguments from the wide command line, split by the system's own rules
// for quotes and backslashes, as Explorer builds it for a dropped file.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "platform/command_line.h"
#include "platform/wide_text_win32.h"

namespace traskel {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  if (wide == nullptr) {
    // Out of memory: the narrow arguments are all there is.
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
  }
  for (int i = 1; i < count; ++i) arguments.push_back(Utf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::string ShellQuoted(const std::string& argument) {
  return "\"" + argument + "\"";
}

}  // namespace traskel
