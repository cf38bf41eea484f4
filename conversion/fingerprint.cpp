#include "conversion/fingerprint.h"

#include <bit>
#include <cstring>

namespace traskel {

namespace {

// The mixing of MurmurHash3's 128-bit form for 64-bit machines, seed 0.
constexpr std::uint64_t kC1 = 0x87c37b91114253d5ULL;
constexpr std::uint64_t kC2 = 0x4cf5ad432745937fULL;

constexpr std::uint64_t Rotate(std::uint64_t x, int n) {
  return (x << n) | (x >> (64 - n));
}

// Little-endian, whatever the machine, so that a fingerprint stored on one
// is the same on another.
std::uint64_t Load(const unsigned char* p) {
  std::uint64_t v = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&v, p, sizeof v);
  } else {
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  }
  return v;
}

std::uint64_t MixFirst(std::uint64_t k) {
  return Rotate(k * kC1, 31) * kC2;
}

std::uint64_t MixSecond(std::uint64_t k) {
  return Rotate(k * kC2, 33) * kC1;
}

std::uint64_t Final(std::uint64_t k) {
  k ^= k >> 33;
  k *= 0xff51afd7ed558ccdULL;
  k ^= k >> 33;
  k *= 0xc4ceb9fe1a85ec53ULL;
  return k ^ (k >> 33);
}

}  // namespace

void Fingerprint::Block(const unsigned char* block) {
  h1_ ^= MixFirst(Load(block));
  h1_ = (Rotate(h1_, 27) + h2_) * 5 + 0x52dce729;
  h2_ ^= MixSecond(Load(block + 8));
  h2_ = (Rotate(h2_, 31) + h1_) * 5 + 0x38495ab5;
}

void Fingerprint::Feed(std::string_view bytes) {
  length_ += bytes.size();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  if (pendingSize_ > 0) {
    const std::size_t take = std::min(n, pending_.size() - pendingSize_);
    std::memcpy(pending_.data() + pendingSize_, p, take);
    pendingSize_ += take;
    p += take;
    n -= take;
    if (pendingSize_ < pending_.size()) return;
    Block(pending_.data());
    pendingSize_ = 0;
  }
  for (; n >= pending_.size(); p += pending_.size(), n -= pending_.size()) Block(p);
  if (n > 0) std::memcpy(pending_.data(), p, n);
  pendingSize_ = n;
}

std::string Fingerprint::Hex() const {
  std::uint64_t h1 = h1_, h2 = h2_;
  // The bytes short of a block, zero-padded; no block's rotations for them.
  std::array<unsigned char, 16> tail{};
  std::memcpy(tail.data(), pending_.data(), pendingSize_);
  if (pendingSize_ > 8) h2 ^= MixSecond(Load(tail.data() + 8));
  if (pendingSize_ > 0) h1 ^= MixFirst(Load(tail.data()));
  h1 ^= length_;
  h2 ^= length_;
  h1 += h2;
  h2 += h1;
  h1 = Final(h1);
  h2 = Final(h2);
  h1 += h2;
  h2 += h1;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (std::uint64_t word : {h1, h2}) {
    for (int shift = 60; shift >= 0; shift -= 4) hex += kDigits[(word >> shift) & 0xF];
  }
  return hex;
}

std::string LinesFingerprint::Hex(TextEncoding encoding) const {
  // The same bytes read in another encoding are other text.
  Fingerprint all = lines_;
  all.Feed(encoding == TextEncoding::Utf8 ? std::string_view("\0UTF-8", 6)
                                          : std::string_view("\0code page", 10));
  return all.Hex();
}

void FirstLines::Feed(std::string_view piece) {
  while (!piece.empty() && fingerprint_.count() < most_) {
    if (afterCr_) {
      afterCr_ = false;
      if (piece.front() == '\n') piece.remove_prefix(1);
      continue;
    }
    const std::size_t cr = piece.find('\r');
    if (cr == std::string_view::npos) {
      line_.append(piece);
      return;
    }
    line_.append(piece.substr(0, cr));
    fingerprint_.AddLine(line_);
    line_.clear();
    afterCr_ = true;
    piece.remove_prefix(cr + 1);
  }
}

}  // namespace traskel
