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

}  // namespace

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
    } else {
      out.append(text, i, n);
      i += n;
    }
  }
  return out;
}

}  // namespace traskel
