#include "platform/text.h"

namespace traskel {

std::string DecodeSystemText(const std::string& bytes) {
  // A line of ASCII, the usual case, needs no decoding.
  std::size_t first = 0;
  while (first < bytes.size() && static_cast<unsigned char>(bytes[first]) < 0x80) ++first;
  if (first == bytes.size()) return bytes;
  return DecodeSystemTextFrom(bytes, first);
}

}  // namespace traskel
