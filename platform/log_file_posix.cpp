#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/log_file.h"

namespace traskel {

namespace {

constexpr const char* kNotAFile = "es ist keine gewöhnliche Datei";

bool Fail(std::string& reason) {
  reason = std::strerror(errno);
  return false;
}

bool IsNullDevice(const struct stat& info) {
  struct stat null;
  return S_ISCHR(info.st_mode) && ::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) &&
         info.st_rdev == null.st_rdev;
}

// Opening a pipe may wait for its reader, and a device may act on what it
// is sent; the null device only takes it.
bool Unfit(const struct stat& info) {
  return S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || S_ISBLK(info.st_mode) ||
         (S_ISCHR(info.st_mode) && !IsNullDevice(info));
}

bool SameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool LogFile::Open(const std::string& path, Mode mode, std::string& reason) {
  Close();
  if (mode == Mode::Append) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return Fail(reason);
    handle_ = fd;
    return true;
  }
  // A name that changes between the look and the open is looked at again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    struct stat info;
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) return Fail(reason);
    if (exists && Unfit(info)) {
      reason = kNotAFile;
      return false;
    }
    // Made here only when missing, so that only a file made by this open is
    // deleted again.
    const int fd = ::open(
        path.c_str(),
        O_RDWR | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (exists ? 0 : O_CREAT | O_EXCL),
        0666);
    if (fd < 0 && errno == (exists ? ENOENT : EEXIST)) continue;
    if (fd < 0) return Fail(reason);
    handle_ = fd;
    path_ = path;
    created_ = !exists;
    if (::fstat(fd, &info) != 0) {
      Fail(reason);
      Discard();
      return false;
    }
    if (Unfit(info)) {
      reason = kNotAFile;
      Discard();
      return false;
    }
    nullDevice_ = S_ISCHR(info.st_mode);
    return true;
  }
  // Mostly a link to nothing, which is not followed: making its target
  // would write where someone else points.
  reason = std::strerror(EEXIST);
  return false;
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

bool LogFile::ReadStart(std::size_t size, std::string& bytes, std::string& reason) {
  bytes.assign(size, '\0');
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n =
        ::pread(static_cast<int>(handle_), bytes.data() + got, size - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(reason);
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return true;
}

bool LogFile::IsReachedBy(const std::string& path) const {
  struct stat mine, named;
  return handle_ != kClosed && ::fstat(static_cast<int>(handle_), &mine) == 0 &&
         ::stat(path.c_str(), &named) == 0 && SameInode(mine, named);
}

bool LogFile::Resize(std::uint64_t length, std::string& reason) {
  if (nullDevice_) return true;
  return ::ftruncate(static_cast<int>(handle_), static_cast<off_t>(length)) == 0 || Fail(reason);
}

void LogFile::Discard() {
  struct stat mine, named;
  // Only while the name leads to the file made: one put there meanwhile by
  // someone else is not ours to delete.
  if (created_ && ::fstat(static_cast<int>(handle_), &mine) == 0 &&
      ::lstat(path_.c_str(), &named) == 0 && SameInode(mine, named)) {
    ::unlink(path_.c_str());
  }
  Close();
}

void LogFile::Close() {
  if (handle_ == kClosed) return;
  close(static_cast<int>(handle_));
  handle_ = kClosed;
  created_ = false;
  nullDevice_ = false;
}

}  // namespace traskel
