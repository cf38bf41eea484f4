// A file one holder keeps for its own from creation to deletion. Another
// holder can't take it meanwhile, and on Windows no other program can write
// or delete it either.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace traskel {

// Why a name could not be taken.
enum class HeldFileRefusal {
  None,
  Link,         // a symbolic link; on Windows any reparse point
  HardLink,     // one of several names of the same file
  NotRegular,   // a folder, a pipe, a device
  HeldByOther,  // another holder took it
  InUse,        // open elsewhere, not by a holder, in a way that keeps holders out
  Failed,       // the system refused; see the reason
};

// Bytes read in order, from the start: a held file, or anything else that
// gives them.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to size bytes; 0 at the end, -1 when reading fails.
  virtual std::int64_t Read(char* buffer, std::size_t size) = 0;
};

class HeldFile : public ByteSource {
 public:
  // Closes the file and lets go of it; the file stays.
  ~HeldFile() override = default;

  // Empties the file, for writing it anew from the start.
  virtual bool Clear() = 0;
  // Appends all bytes; false when not all could be written.
  virtual bool Write(std::string_view bytes) = 0;
  // Reading starts again at the first byte.
  virtual bool Rewind() = 0;
  // Deletes the file through the hold, then lets go of it. False, and
  // nothing deleted, when the name no longer leads to this file.
  virtual bool Remove() = 0;
  // The system's text for the last failure.
  virtual const std::string& error() const = 0;
};

// Creates the file at path, or takes the regular file with a single name that
// is there, as it is. Anything else is refused without writing or deleting a
// byte there; `reason` then holds the system's text for Failed.
std::unique_ptr<HeldFile> TakeFile(const std::string& path, HeldFileRefusal& refusal,
                                   std::string& reason);

}  // namespace traskel
