#include "platform/console.h"

#include <cstdio>

#include "platform/text.h"

namespace traskel {

namespace {

// A byte as \xNN; a code point as \uNNNN, in upper-case digits as the code
// charts name them.
void AppendEscape(std::string& out, const char* format, unsigned value) {
  char escape[12];
  std::snprintf(escape, sizeof escape, format, value);
  out += escape;
}

}  // namespace

char32_t BidiControlAt(std::string_view text, std::size_t i) {
  if (i + 3 > text.size() || text[i] != '\xE2') return 0;
  const auto middle = static_cast<unsigned char>(text[i + 1]);
  const auto last = static_cast<unsigned char>(text[i + 2]);
  if ((middle == 0x80 && last >= 0xAA && last <= 0xAE) ||
      (middle == 0x81 && last >= 0xA6 && last <= 0xA9)) {
    return 0x2000 + ((middle & 0x3F) << 6) + (last & 0x3F);
  }
  return 0;
}

std::string TerminalText(std::string_view text, bool keepLineBreaks) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (keepLineBreaks && (c == '\r' || c == '\n')) {
      out += '\n';
      i += c == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
    } else if (c == '\t' || (c >= 0x20 && c < 0x7F)) {
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x80) {
      AppendEscape(out, "\\x%02x", c);  // C0 and DEL
      ++i;
    } else if (const std::size_t n = WellFormedUtf8Length(text, i); n == 0) {
      AppendEscape(out, "\\x%02x", c);
      ++i;
    } else if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      // C1: U+0080 to U+009F
      AppendEscape(out, "\\x%02x", static_cast<unsigned char>(text[i + 1]));
      i += 2;
    } else if (const char32_t bidi = BidiControlAt(text, i); bidi != 0) {
      AppendEscape(out, "\\u%04X", bidi);
      i += n;
    } else {
      out.append(text, i, n);
      i += n;
    }
  }
  return out;
}

}  // namespace traskel
