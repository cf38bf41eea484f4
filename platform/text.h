// The program's text is UTF-8. Files come as UTF-8, as UTF-16 or as
// single-byte text of the system's code page; these pieces read each of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace traskel {

// How the bytes of a text are read.
enum class TextEncoding {
  Utf8,
  SystemCodePage,  // Windows-1252 on POSIX, the ANSI code page on Windows
};

// The text as UTF-8, read in the given encoding.
std::string DecodeText(const std::string& bytes, TextEncoding encoding);

// Well-formed UTF-8 as it is; each maximal ill-formed part becomes one U+FFFD.
std::string RepairUtf8(const std::string& bytes);

// The name of the system's code page, as a message names it: Windows-1252 on
// POSIX, and "Windows-" with the number of the ANSI code page on Windows.
std::string SystemCodePageName();

// Text of the system's code page as UTF-8. On POSIX that is Windows-1252,
// whose five unassigned bytes stand for the C1 characters of the same
// number, as Windows maps them; on Windows the ANSI code page, where a byte
// that does not decode becomes U+FFFD. Never the locale's character set, so
// that both builds read a file alike.
std::string DecodeSystemText(const std::string& bytes);

// The part of DecodeSystemText each platform brings: bytes[0, first) are
// ASCII, which every code page keeps as it is.
std::string DecodeSystemTextFrom(const std::string& bytes, std::size_t first);

// Appends the character as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// The length of the well-formed UTF-8 sequence that starts at text[i], or 0
// when none does.
std::size_t WellFormedUtf8Length(std::string_view text, std::size_t i);

// Tells, fed piece by piece, whether a whole text is well-formed UTF-8, where
// it stops being so, and whether it holds UTF-8 beyond ASCII anywhere.
class Utf8Check {
 public:
  void Feed(std::string_view bytes);
  // True when all fed so far is UTF-8 and no sequence is left open.
  bool Valid() const { return !breakAt_ && need_ == 0; }
  // The offset of the first byte that is no part of well-formed UTF-8.
  std::optional<std::uint64_t> BreakAt() const { return breakAt_; }
  // True when a well-formed sequence of two or more bytes was fed, also
  // after a break.
  bool SawMultiByte() const { return multiByte_; }

 private:
  std::uint64_t fed_ = 0;
  std::optional<std::uint64_t> breakAt_;
  bool multiByte_ = false;
  int need_ = 0;                            // continuation bytes still to come
  unsigned char low_ = 0x80, high_ = 0xBF;  // the range of the next one
};

// UTF-16 to UTF-8, fed piece by piece. An odd last byte is dropped; a
// surrogate without its partner becomes U+FFFD.
class Utf16Decoder {
 public:
  explicit Utf16Decoder(bool bigEndian) : bigEndian_(bigEndian) {}
  void Feed(std::string_view bytes, std::string& out);
  void Finish(std::string& out);

 private:
  void Put(char16_t unit, std::string& out);

  bool bigEndian_;
  bool haveByte_ = false;  // the first byte of a unit, its second still to come
  unsigned char byte_ = 0;
  char16_t high_ = 0;  // a high surrogate waiting for its low one
};

}  // namespace traskel
