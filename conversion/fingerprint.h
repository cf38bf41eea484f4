// A fingerprint of text: 128 bits, fed piece by piece, so that a run can tell
// later whether the lines it went through are still the same. Cheap enough
// to feed every line of a run as it passes; it tells changed text apart,
// not text forged to look unchanged.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace traskel {

class Fingerprint {
 public:
  void Feed(std::string_view bytes);
  // The fingerprint of all fed so far, as 32 lower-case hex digits; feeding
  // may go on after it.
  std::string Hex() const;

 private:
  void Block(const unsigned char* block);

  std::uint64_t h1_ = 0, h2_ = 0;
  std::array<unsigned char, 16> pending_{};
  std::size_t pendingSize_ = 0;
  std::uint64_t length_ = 0;  // bytes fed
};

// The fingerprint of the first lines of normalised text, as the driver cuts
// them, and of the encoding they are read in: what a run that continues an
// earlier one compares. Each line counts without its end, as if ended by
// CR LF.
class LinesFingerprint {
 public:
  // One whole line, without its end.
  void AddLine(std::string_view line) {
    lines_.Feed(line);
    lines_.Feed("\r\n");
    ++count_;
  }
  std::int64_t count() const { return count_; }
  std::string Hex(TextEncoding encoding) const;

 private:
  Fingerprint lines_;
  std::int64_t count_ = 0;
};

// Cuts normalised text into lines as it passes in pieces, as the driver
// does: a CR ends a line, an LF right after it belongs to that end. Hands
// the first `most` lines to a LinesFingerprint.
class FirstLines {
 public:
  explicit FirstLines(std::int64_t most) : most_(most) {}
  void Feed(std::string_view piece);
  const LinesFingerprint& fingerprint() const { return fingerprint_; }

 private:
  std::int64_t most_;
  LinesFingerprint fingerprint_;
  std::string line_;      // the line so far
  bool afterCr_ = false;  // the last byte was a line's CR
};

}  // namespace traskel
