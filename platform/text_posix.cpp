// Text of POSIX systems: the code page a text without UTF-8 is taken to
// be in is Windows-1252, whatever the locale, as the Windows program reads it
// on a Western European system.
#include <string>

#include "platform/text.h"

namespace traskel {

namespace {

// 0x80 to 0x9F of Windows-1252. The five bytes it leaves unassigned map to
// the C1 characters of the same number, as Windows maps them.
constexpr const char* kHighControls[32] = {
    "\u20AC", "\u0081", "\u201A", "\u0192", "\u201E", "\u2026", "\u2020", "\u2021",
    "\u02C6", "\u2030", "\u0160", "\u2039", "\u0152", "\u008D", "\u017D", "\u008F",
    "\u0090", "\u2018", "\u2019", "\u201C", "\u201D", "\u2022", "\u2013", "\u2014",
    "\u02DC", "\u2122", "\u0161", "\u203A", "\u0153", "\u009D", "\u017E", "\u0178",
};

}  // namespace

std::string SystemCodePageName() {
  return "Windows-1252";
}

std::string DecodeSystemTextFrom(const std::string& bytes, std::size_t first) {
  std::string out(bytes, 0, first);
  out.reserve(bytes.size() + bytes.size() / 2);
  for (std::size_t i = first; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0xA0) {
      out += kHighControls[c - 0x80];
    } else {
      // Latin-1 above: the code point is the byte.
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace traskel
