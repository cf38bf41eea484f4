// The console user interface of POSIX systems, open to tests with streams of
// their own.
#pragma once

#include <iosfwd>
#include <memory>

#include "app/user_interface.h"

namespace traskel {

// Messages and prompts go to out, answers come from in.
std::unique_ptr<UserInterface> MakeConsoleUserInterface(std::istream& in, std::ostream& out);

}  // namespace traskel
