// Text of POSIX systems: the process locale's character set.
#include <langinfo.h>

#include <cwchar>
#include <string>

#include "platform/text.h"

namespace traskel {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    if (c >= 0xD800 && c <= 0xDFFF) {
      out += kReplacement;
      return;
    }
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c <= 0x10FFFF) {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += kReplacement;
  }
}

bool IsUtf8Codeset() {
  // Names vary in case and dash: "UTF-8", "utf8".
  const char* name = ::nl_langinfo(CODESET);
  const char* want = "utf8";
  for (; *name != '\0'; ++name) {
    if (*name == '-') continue;
    char c = *name >= 'A' && *name <= 'Z' ? static_cast<char>(*name - 'A' + 'a') : *name;
    if (*want == '\0' || c != *want) return false;
    ++want;
  }
  return *want == '\0';
}

// Copies valid UTF-8 from start on; each maximal subpart of an ill-formed
// sequence becomes one U+FFFD.
std::string RepairUtf8(const std::string& bytes, std::size_t start) {
  std::string out(bytes, 0, start);
  out.reserve(bytes.size() + 8);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = start;
  while (i < n) {
    unsigned char lead = p[i];
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    // Length and the range of the second byte, which excludes overlongs,
    // surrogates and values above U+10FFFF.
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    std::size_t matched = 1;
    if (length > 0) {
      while (matched < length && i + matched < n) {
        unsigned char next = p[i + matched];
        if (matched == 1 ? (next < low || next > high) : (next < 0x80 || next > 0xBF)) break;
        ++matched;
      }
    }
    if (length > 0 && matched == length) {
      out.append(bytes, i, length);
    } else {
      out += kReplacement;
    }
    i += matched;
  }
  return out;
}

std::string DecodeMultibyte(const std::string& bytes, std::size_t start) {
  std::string out(bytes, 0, start);
  out.reserve(bytes.size() + 8);
  std::mbstate_t state{};
  const char* p = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = start;
  while (i < n) {
    wchar_t wide = 0;
    std::size_t used = std::mbrtowc(&wide, p + i, n - i, &state);
    if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) {
      // Invalid or cut short: one byte is lost, decoding resumes after it.
      out += kReplacement;
      state = std::mbstate_t{};
      ++i;
      continue;
    }
    AppendUtf8(out, static_cast<char32_t>(wide));
    i += used == 0 ? 1 : used;
  }
  return out;
}

}  // namespace

std::string DecodeSystemTextFrom(const std::string& bytes, std::size_t first) {
  // The locale is asked each time: it may change between calls.
  return IsUtf8Codeset() ? RepairUtf8(bytes, first) : DecodeMultibyte(bytes, first);
}

}  // namespace traskel
