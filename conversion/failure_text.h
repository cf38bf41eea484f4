// The words a message gives for why a file operation failed.
#pragma once

#include <string>

#include "platform/result.h"

namespace traskel {

// The system's text for a failure of the system's; for a finding of the
// program's own, what it found, as the end of a sentence.
std::string FailureText(const Failure& failure);

}  // namespace traskel
