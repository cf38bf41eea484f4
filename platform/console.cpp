#include "platform/console.h"

#include "platform/text.h"

namespace traskel {

namespace {

void AppendEscaped(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[c >> 4];
  out += kHex[c & 0xF];
}

// Upper-case digits, as the code charts name them.
void AppendCodePoint(std::string& out, char32_t code) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 0xF];
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
      AppendEscaped(out, c);  // C0 and DEL
      ++i;
    } else if (const std::size_t n = WellFormedUtf8Length(text, i); n == 0) {
      AppendEscaped(out, c);
      ++i;
    } else if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      AppendEscaped(out, static_cast<unsigned char>(text[i + 1]));  // C1: U+0080 to U+009F
      i += 2;
    } else if (const char32_t bidi = BidiControlAt(text, i); bidi != 0) {
      AppendCodePoint(out, bidi);
      i += n;
    } else {
      out.append(text, i, n);
      i += n;
    }
  }
  return out;
}

}  // namespace traskel
