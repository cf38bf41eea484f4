// A fingerprint of text: SHA-256, fed piece by piece, so that a run can tell
// later whether the lines it went through are still the same.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace traskel {

class Fingerprint {
 public:
  Fingerprint();
  void Feed(std::string_view bytes);
  // The digest of all fed so far, as 64 lower-case hex digits; feeding may
  // go on after it.
  std::string Hex() const;

 private:
  void Block(const unsigned char* block);

  std::array<std::uint32_t, 8> state_;
  std::array<unsigned char, 64> pending_{};
  std::size_t pendingSize_ = 0;
  std::uint64_t length_ = 0;  // bytes fed
};

}  // namespace traskel
