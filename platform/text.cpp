#include "platform/text.h"

namespace traskel {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The number of bytes of the sequence a lead byte opens and the range its
// second byte must lie in, which rules out overlong forms, surrogates and
// values above U+10FFFF; 0 for a byte that opens none.
int SequenceLength(unsigned char lead, unsigned char& low, unsigned char& high) {
  low = 0x80;
  high = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    return 4;
  }
  return 0;
}

// The bytes at text[i] that start a well-formed sequence, at least one, as
// far as they go; whole when they are all of it.
std::size_t SequenceAt(std::string_view text, std::size_t i, bool& whole) {
  unsigned char low, high;
  const auto length =
      static_cast<std::size_t>(SequenceLength(static_cast<unsigned char>(text[i]), low, high));
  std::size_t matched = 1;
  while (matched < length && i + matched < text.size()) {
    const auto next = static_cast<unsigned char>(text[i + matched]);
    if (next < low || next > high) break;
    low = 0x80;
    high = 0xBF;
    ++matched;
  }
  whole = matched == length;
  return matched;
}

std::size_t AsciiPrefix(const std::string& bytes) {
  std::size_t first = 0;
  while (first < bytes.size() && static_cast<unsigned char>(bytes[first]) < 0x80) ++first;
  return first;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string DecodeText(const std::string& bytes, TextEncoding encoding) {
  return encoding == TextEncoding::Utf8 ? RepairUtf8(bytes) : DecodeSystemText(bytes);
}

std::string RepairUtf8(const std::string& bytes) {
  // A line of ASCII, the usual case, is copied as it is.
  std::size_t i = AsciiPrefix(bytes);
  if (i == bytes.size()) return bytes;
  std::string out(bytes, 0, i);
  out.reserve(bytes.size() + 8);
  while (i < bytes.size()) {
    bool whole;
    const std::size_t matched = SequenceAt(bytes, i, whole);
    if (whole) {
      out.append(bytes, i, matched);
    } else {
      out += kReplacement;
    }
    i += matched;
  }
  return out;
}

std::size_t WellFormedUtf8Length(std::string_view text, std::size_t i) {
  bool whole;
  const std::size_t matched = SequenceAt(text, i, whole);
  return whole ? matched : 0;
}

std::string DecodeSystemText(const std::string& bytes) {
  const std::size_t first = AsciiPrefix(bytes);
  if (first == bytes.size()) return bytes;
  return DecodeSystemTextFrom(bytes, first);
}

void Utf8Check::Feed(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (need_ == 0) {
      // ASCII between sequences, most of any text, needs nothing.
      while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
      if (i == bytes.size()) break;
    }
    const auto c = static_cast<unsigned char>(bytes[i]);
    const std::uint64_t at = fed_ + i;
    if (need_ > 0) {
      if (c >= low_ && c <= high_) {
        low_ = 0x80;
        high_ = 0xBF;
        if (--need_ == 0) multiByte_ = true;
        continue;
      }
      // The sequence breaks off here; this byte may open the next one.
      if (!breakAt_) breakAt_ = at;
      need_ = 0;
    }
    need_ = SequenceLength(c, low_, high_) - 1;
    if (need_ < 0) {
      if (!breakAt_) breakAt_ = at;
      need_ = 0;
    }
  }
  fed_ += bytes.size();
}

void Utf16Decoder::Feed(std::string_view bytes, std::string& out) {
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (!haveByte_) {
      byte_ = c;
      haveByte_ = true;
      continue;
    }
    haveByte_ = false;
    Put(static_cast<char16_t>(bigEndian_ ? (byte_ << 8) | c : (c << 8) | byte_), out);
  }
}

void Utf16Decoder::Put(char16_t unit, std::string& out) {
  const bool isHigh = unit >= 0xD800 && unit <= 0xDBFF;
  const bool isLow = unit >= 0xDC00 && unit <= 0xDFFF;
  if (high_ != 0) {
    if (isLow) {
      AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(high_) - 0xD800) << 10) + (unit - 0xDC00));
      high_ = 0;
      return;
    }
    out += kReplacement;
    high_ = 0;
  }
  if (isHigh) {
    high_ = unit;
  } else if (isLow) {
    out += kReplacement;
  } else {
    AppendUtf8(out, unit);
  }
}

void Utf16Decoder::Finish(std::string& out) {
  if (high_ != 0) out += kReplacement;
  high_ = 0;
  haveByte_ = false;  // an odd last byte is no character
}

}  // namespace traskel
