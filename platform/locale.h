// The user's number format.
#pragma once

#include <string>

namespace traskel {

struct NumberFormat {
  std::string decimalSeparator = ".";
};

// The process locale's on POSIX, the user's regional settings on Windows.
NumberFormat UserNumberFormat();

}  // namespace traskel
