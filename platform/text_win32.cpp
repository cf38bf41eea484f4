// Text of Windows: its ANSI code page, and any other code page for tests.
#include <windows.h>

#include <string>

#include "platform/text.h"
#include "platform/wide_text_win32.h"

namespace traskel {

namespace {

std::string DecodeCodePageTextFrom(const std::string& bytes, std::size_t first, UINT codePage) {
  const char* rest = bytes.data() + first;
  const int restLength = static_cast<int>(bytes.size() - first);
  std::wstring wide(bytes.size() - first, L'\0');
  int whole = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, rest, restLength, wide.data(),
                                  static_cast<int>(wide.size()));
  if (whole > 0) {
    wide.resize(static_cast<std::size_t>(whole));
    return bytes.substr(0, first) + Utf8(wide);
  }
  wide.clear();
  std::size_t i = first;
  while (i < bytes.size()) {
    // One character at a time: one byte, or two after a lead byte.
    std::size_t length =
        IsDBCSLeadByteEx(codePage, static_cast<BYTE>(bytes[i])) && i + 1 < bytes.size() ? 2 : 1;
    wchar_t out[2];
    int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data() + i,
                                static_cast<int>(length), out, 2);
    if (n <= 0 && length == 2) {
      // A lead byte whose trail does not fit: only the lead is lost.
      length = 1;
      n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data() + i, 1, out, 2);
    }
    if (n > 0) {
      wide.append(out, static_cast<std::size_t>(n));
    } else {
      wide += L'\xFFFD';
    }
    i += length;
  }
  return bytes.substr(0, first) + Utf8(wide);
}

}  // namespace

std::string DecodeCodePageText(const std::string& bytes, unsigned codePage) {
  return DecodeCodePageTextFrom(bytes, 0, codePage);
}

// The ANSI code pages are known by this name: Windows-1252, Windows-1250,
// Windows-932 and so on.
std::string SystemCodePageName() {
  return "Windows-" + std::to_string(GetACP());
}

std::string DecodeSystemTextFrom(const std::string& bytes, std::size_t first) {
  return DecodeCodePageTextFrom(bytes, first, CP_ACP);
}

}  // namespace traskel
