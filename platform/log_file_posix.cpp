#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/log_file.h"

namespace traskel {

bool LogFile::Open(const std::string& path, Mode mode, std::string& reason) {
  Close();
  const int fd =
      open(path.c_str(),
           O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (mode == Mode::Replace ? O_TRUNC : 0), 0666);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  handle_ = fd;
  return true;
}

bool LogFile::Append(std::string_view text, std::string& reason) {
  while (!text.empty()) {
    const ssize_t n = write(static_cast<int>(handle_), text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      reason = n < 0 ? std::strerror(errno) : "nothing written";
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void LogFile::Close() {
  if (handle_ == kClosed) return;
  close(static_cast<int>(handle_));
  handle_ = kClosed;
}

}  // namespace traskel
