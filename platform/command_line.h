// The arguments the program was started with.
#pragma once

#include <string>
#include <vector>

namespace traskel {

// The arguments after the program's name, as UTF-8. argc and argv are
// main's; Windows reads its wide command line instead, because main's
// arguments lose every character outside the ANSI code page.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace traskel
