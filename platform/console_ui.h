// The console user interface of POSIX systems, open to tests with streams of
// their own.
#pragma once

#include <iostream>
#include <memory>

#include "platform/user_interface.h"

namespace traskel {

// Messages and prompts go to out, answers come from in; echoAnswers repeats
// each answer on out, for input that does not come from a terminal. A text
// of ShowText goes to answers or out, as its stream names.
std::unique_ptr<UserInterface> MakeConsoleUserInterface(std::istream& in, std::ostream& out,
                                                        const UserInterfaceWords& words,
                                                        bool echoAnswers = false,
                                                        std::ostream& answers = std::cout);

}  // namespace traskel
