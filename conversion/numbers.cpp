#include "conversion/numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "host/value.h"

namespace traskel {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Accepts the decimal separator at `pos`: "." or the locale's own.
std::size_t SeparatorLength(std::string_view s, std::size_t pos, const NumberFormat& format) {
  if (s[pos] == '.') return 1;
  const std::string& sep = format.decimalSeparator;
  if (!sep.empty() && s.substr(pos, sep.size()) == sep) return sep.size();
  return 0;
}

// For a number from_chars found out of range, in the one form it reads:
// true when its size is too large for a Double, false when too small. The
// decimal exponent of the first significant digit tells; only its sign
// matters, so a huge exponent may saturate.
bool BeyondLargest(std::string_view plain) {
  const std::size_t e = plain.find('e');
  const std::string_view mantissa = plain.substr(0, e);
  long long exponent = 0;
  if (e != std::string_view::npos) {
    std::string_view digits = plain.substr(e + 1);
    const bool negative = digits.starts_with('-');
    if (negative || digits.starts_with('+')) digits.remove_prefix(1);
    for (char c : digits) exponent = std::min(exponent * 10 + (c - '0'), 1'000'000'000LL);
    if (negative) exponent = -exponent;
  }
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  const std::size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return false;  // zero is never out of range
  const long long lead = first < point ? static_cast<long long>(point - first) - 1
                                       : -static_cast<long long>(first - point);
  return lead + exponent >= 0;
}

}  // namespace

double TextToDouble(std::string_view text, const NumberFormat& format) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  std::string_view s = text.substr(begin, end - begin);

  // Rewrite into the one form from_chars reads, checking the grammar on the
  // way: [sign] digits [sep digits] [e [sign] digits].
  std::string plain;
  plain.reserve(s.size());
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    if (s[i] == '-') plain += '-';
    ++i;
  }
  int digits = 0;
  while (i < s.size() && IsDigit(s[i])) plain += s[i++], ++digits;
  if (i < s.size()) {
    if (std::size_t n = SeparatorLength(s, i, format)) {
      plain += '.';
      i += n;
      while (i < s.size() && IsDigit(s[i])) plain += s[i++], ++digits;
    }
  }
  if (digits == 0) throw host::TypeMismatch();
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) plain += s[i++];
    int expDigits = 0;
    while (i < s.size() && IsDigit(s[i])) plain += s[i++], ++expDigits;
    if (expDigits == 0) throw host::TypeMismatch();
  }
  if (i != s.size()) throw host::TypeMismatch();

  double value = 0;
  auto [ptr, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too large is the overflow error; too small reads as zero, as strtod
    // gives it.
    if (BeyondLargest(plain)) throw host::Overflow();
    return plain.starts_with('-') ? -0.0 : 0.0;
  }
  if (ec != std::errc() || ptr != plain.data() + plain.size() || !std::isfinite(value)) {
    throw host::TypeMismatch();
  }
  return value;
}

std::string DoubleToText(double value, const NumberFormat& format) {
  if (value == 0) return "0";  // no "-0"
  char buf[64];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  if (ec != std::errc()) throw host::Overflow();
  // Rebuilt "%G" style: the locale's separator, a capital E and an exponent
  // of at least two digits.
  std::string text;
  text.reserve(32);
  for (const char* p = buf; p != ptr; ++p) {
    if (*p == '.') {
      text += format.decimalSeparator;
    } else if (*p == 'e') {
      text += 'E';
      text += *++p;  // the exponent's sign
      if (ptr - p == 2) text += '0';
    } else {
      text += *p;
    }
  }
  return text;
}

}  // namespace traskel
