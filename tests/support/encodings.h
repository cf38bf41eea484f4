// One export in the encodings it may come in, for tests that hold them to
// the same host texts.
#pragma once

#include <string>

namespace traskel::testing {

// The code points of UTF-8 text.
inline std::u32string CodePoints(const std::string& utf8) {
  std::u32string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t cp = n == 1 ? c : c & (0x3F >> (n - 1));
    for (int k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    out += cp;
    i += n;
  }
  return out;
}

// Text of Latin-1 letters only, as Windows-1252 bytes.
inline std::string AsLatin1(const std::u32string& text) {
  std::string out;
  for (char32_t c : text) out += static_cast<char>(c);
  return out;
}

// Text of the Basic Multilingual Plane as UTF-16 with its byte-order mark.
inline std::string AsUtf16(const std::u32string& text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char32_t c : text) {
    const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
    out += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return out;
}

}  // namespace traskel::testing
