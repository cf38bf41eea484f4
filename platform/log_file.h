// A file written a line at a time: each Append is one write, so every line
// reaches the file whole, even if the process stops right after it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

  LogFile() = default;
  ~LogFile() { Close(); }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // False and the reason when it can't. The path is UTF-8.
  bool Open(const std::string& path, Mode mode, std::string& reason);
  // False and the system's reason when not all of text was written.
  bool Append(std::string_view text, std::string& reason);
  void Close();
  bool isOpen() const { return handle_ != kClosed; }

  // Opened with Mode::Keep:
  // Up to `size` bytes from the start of the file; false and the system's
  // reason when they can't be read.
  bool ReadStart(std::size_t size, std::string& bytes, std::string& reason);
  // True when `path` leads to the open file, by the system's identity of
  // files: whatever links or relative parts lead there.
  bool IsReachedBy(const std::string& path) const;
  // Cuts the file to `length` bytes; later appends follow them. The null
  // device has no length and stays as it is.
  bool Resize(std::uint64_t length, std::string& reason);
  // Closes the file; one that Open created goes again, while its name still
  // leads to it.
  void Discard();

 private:
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;  // a descriptor or a HANDLE
  std::string path_;
  bool created_ = false;     // by Open, in Mode::Keep
  bool nullDevice_ = false;  // opened in Mode::Keep
};

}  // namespace traskel
