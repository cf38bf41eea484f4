// A file written a line at a time: each Append is one write, so every line
// reaches the file whole, even if the process stops right after it. Traces of
// host calls and the call log are kept in such files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace traskel {

class LogFile {
 public:
  enum class Mode {
    Append,   // created if missing, added to
    Replace,  // created anew, whatever was there is gone
  };

  LogFile() = default;
  ~LogFile() { Close(); }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // False and the system's reason when it can't. The path is UTF-8.
  bool Open(const std::string& path, Mode mode, std::string& reason);
  // False and the system's reason when not all of text was written.
  bool Append(std::string_view text, std::string& reason);
  void Close();
  bool isOpen() const { return handle_ != kClosed; }

 private:
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;  // a descriptor or a HANDLE
};

}  // namespace traskel
