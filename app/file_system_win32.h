// The Windows decoding behind DecodeSystemText, for any code page, open to
// tests that can't choose the system's.
#pragma once

#include <windows.h>

#include <string>

namespace traskel {

// Bytes of a single- or double-byte code page as UTF-8; a byte that does not
// decode becomes U+FFFD.
std::string DecodeCodePageText(const std::string& bytes, UINT codePage);

}  // namespace traskel
