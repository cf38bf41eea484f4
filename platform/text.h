// Text of the system's single-byte code page, as the program's UTF-8.
#pragma once

#include <cstddef>
#include <string>

namespace traskel {

// Text of the system's code page (the process locale's character set on
// POSIX, the ANSI code page on Windows) as UTF-8; a byte that does not
// decode becomes U+FFFD.
std::string DecodeSystemText(const std::string& bytes);

// The part of DecodeSystemText each platform brings: bytes[0, first) are
// ASCII, which every code page keeps as it is.
std::string DecodeSystemTextFrom(const std::string& bytes, std::size_t first);

}  // namespace traskel
