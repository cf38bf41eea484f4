// UTF-8, the program's text, to and from UTF-16, the text of the Windows API;
// text of any code page; and the system's own texts for its error codes.
#pragma once

#include <string>
#include <string_view>

namespace traskel {

// Ill-formed input becomes U+FFFD.
std::wstring Utf16(std::string_view utf8);
std::string Utf8(std::wstring_view utf16);

// Bytes of a single- or double-byte code page as UTF-8; a byte that does not
// decode becomes U+FFFD.
std::string DecodeCodePageText(const std::string& bytes, unsigned codePage);

// The system's message for an error code (a Win32 error or an HRESULT), in
// the user's language, without the trailing line break; empty when it has
// none.
std::string SystemMessage(unsigned long code);

// The same, or "System error N" for a code without a message.
std::string SystemErrorText(unsigned long code);

}  // namespace traskel
