// Text of POSIX systems: the code page a text without UTF-8 is taken to
// be in is Windows-1252, whatever the locale, as the Windows program reads it
// on a Western European system.
#include <string>

#include "platform/text.h"

namespace traskel {

// 0x80 to 0x9F of Windows-1252. The five bytes it leaves unassigned map to
// the C1 characters of the same number, as Windows maps them.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::string SystemCodePageName() {
  return "Windows-1252";
}

std::string DecodeSystemTextFrom(const std::string& bytes, std::size_t first) {
  std::string out(bytes, 0, first);
  out.reserve(bytes.size() + bytes.size() / 2);
  for (std::size_t i = first; i < bytes.size(); ++i) {
    // Latin-1 but for those: the code point is the byte.
    const auto c = static_cast<unsigned char>(bytes[i]);
    AppendUtf8(out, c >= 0x80 && c < 0xA0 ? kHighControls[c - 0x80] : c);
  }
  return out;
}

}  // namespace traskel
