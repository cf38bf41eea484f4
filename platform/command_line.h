// The arguments the program was started with.
#pragma once

#include <string>
#include <vector>

namespace traskel {

// The arguments after the program's name, as UTF-8. argc and argv are
// main's; Windows reads its wide command line instead, because main's
// arguments lose every character outside the ANSI code page.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The argument as one word of a command line the user may paste into the
// system's shell, which then runs nothing else: in single quotes on POSIX,
// a quote inside as '\''; in double quotes on Windows, where no file name
// holds one.
std::string ShellQuoted(const std::string& argument);

}  // namespace traskel
