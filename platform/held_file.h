// A file one holder keeps for its own from creation to deletion. Another
// holder can't take it meanwhile, and on Windows no other program can write
// or delete it either. FileSystem::TakeFile gives it.
#pragma once

#include <string_view>

#include "platform/byte_source.h"
#include "platform/result.h"

namespace traskel {

class HeldFile : public ByteSource {
 public:
  // Closes the file and lets go of it; the file stays.
  ~HeldFile() override = default;

  // Empties the file, for writing it anew from the start.
  virtual Result<void> Clear() = 0;
  // Appends all bytes.
  virtual Result<void> Write(std::string_view bytes) = 0;
  // Reading starts again at the first byte.
  virtual Result<void> Rewind() = 0;
  // Deletes the file through the hold, then lets go of it. Nothing is
  // deleted when the name no longer leads to this file.
  virtual Result<void> Remove() = 0;
};

}  // namespace traskel
