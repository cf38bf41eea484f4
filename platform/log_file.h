// A file written a line at a time: each Append is one write, so every line
// reaches the file whole, even if the process stops right after it.
// FileSystem::OpenLogFile gives it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace traskel {

class LogFile {
 public:
  enum class Mode {
    Append,  // created if missing, added to
    // Opened as it is, or created; nothing in it changes until Resize. Only
    // a regular file or the null device: a pipe or another device is refused
    // without waiting for it.
    Keep,
  };

  // Closes the file, unless Close or Discard did.
  virtual ~LogFile() = default;

  // Appends all of text in one write.
  virtual Result<void> Append(std::string_view text) = 0;
  // Closes the file; nothing else may be asked of it afterwards.
  virtual Result<void> Close() = 0;

  // Opened with Mode::Keep:
  // Up to `size` bytes from the start of the file.
  virtual Result<std::string> ReadStart(std::size_t size) = 0;
  // True when `path` leads to the open file, by the system's identity of
  // files: whatever links or relative parts lead there.
  virtual bool IsReachedBy(const std::string& path) const = 0;
  // Cuts the file to `length` bytes; later appends follow them. The null
  // device has no length and stays as it is.
  virtual Result<void> Resize(std::uint64_t length) = 0;
  // Closes the file; one that the open created is deleted again, while its
  // name still leads to it. Nothing else may be asked of it afterwards.
  virtual Result<void> Discard() = 0;
};

}  // namespace traskel
