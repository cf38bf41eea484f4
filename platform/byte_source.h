// Bytes read in order: from a file, or from anything else that gives them.
#pragma once

#include <cstddef>

#include "platform/result.h"

namespace traskel {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to size bytes into buffer, from where the last read ended; 0 at the
  // end.
  virtual Result<std::size_t> Read(char* buffer, std::size_t size) = 0;
};

}  // namespace traskel
