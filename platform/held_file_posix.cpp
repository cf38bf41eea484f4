// The held file of POSIX systems: an exclusive advisory lock (flock) on the
// open file, taken before a byte is written and kept until it is deleted.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/held_file.h"

namespace traskel {

namespace {

bool SameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

HeldFileRefusal Classify(const struct stat& info) {
  if (S_ISLNK(info.st_mode)) return HeldFileRefusal::Link;
  if (!S_ISREG(info.st_mode)) return HeldFileRefusal::NotRegular;
  if (info.st_nlink > 1) return HeldFileRefusal::HardLink;
  return HeldFileRefusal::None;
}

class PosixHeldFile : public HeldFile {
 public:
  PosixHeldFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~PosixHeldFile() override { ::close(fd_); }

  bool Clear() override {
    if (::ftruncate(fd_, 0) == 0 && ::lseek(fd_, 0, SEEK_SET) == 0) return true;
    return Fail();
  }

  bool Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n == 0) errno = EIO;  // nothing written and no reason given
      if (n <= 0) return Fail();
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  bool Rewind() override { return ::lseek(fd_, 0, SEEK_SET) == 0 || Fail(); }

  std::int64_t Read(char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) return n;
      if (errno != EINTR) {
        Fail();
        return -1;
      }
    }
  }

  bool Remove() override {
    // Only while the name still leads to this file: one put there by
    // someone else meanwhile is not ours to delete.
    struct stat mine, named;
    if (::fstat(fd_, &mine) != 0) return Fail();
    if (::lstat(path_.c_str(), &named) != 0) return Fail();
    if (!SameInode(mine, named)) {
      error_ = "der Name führt inzwischen zu einer anderen Datei";
      return false;
    }
    return ::unlink(path_.c_str()) == 0 || Fail();
  }

  const std::string& error() const override { return error_; }

 private:
  bool Fail() {
    error_ = std::strerror(errno);
    return false;
  }

  std::string path_;
  int fd_;
  std::string error_;
};

}  // namespace

std::unique_ptr<HeldFile> TakeFile(const std::string& path, HeldFileRefusal& refusal,
                                   std::string& reason) {
  auto fail = [&] {
    refusal = HeldFileRefusal::Failed;
    reason = std::strerror(errno);
    return nullptr;
  };
  // A name that changes between the look and the lock is looked at again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    struct stat named;
    if (::lstat(path.c_str(), &named) == 0) {
      // Refused before it is opened: opening alone may block on a pipe or
      // act on a device.
      refusal = Classify(named);
      if (refusal != HeldFileRefusal::None) return nullptr;
    } else if (errno != ENOENT) {
      return fail();
    }
    const int fd = ::open(path.c_str(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno != ELOOP) return fail();
      refusal = HeldFileRefusal::Link;
      return nullptr;
    }
    auto file = std::make_unique<PosixHeldFile>(path, fd);
    struct stat opened;
    if (::fstat(fd, &opened) != 0) return fail();
    refusal = Classify(opened);
    if (refusal != HeldFileRefusal::None) return nullptr;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK) return fail();
      refusal = HeldFileRefusal::HeldByOther;
      return nullptr;
    }
    // The run that held it may have deleted it while we waited for the
    // lock; then the lock is on a file without a name.
    if (::lstat(path.c_str(), &named) == 0 && SameInode(named, opened)) {
      refusal = HeldFileRefusal::None;
      return file;
    }
  }
  refusal = HeldFileRefusal::Failed;
  reason = "der Name wechselt ständig die Datei";
  return nullptr;
}

}  // namespace traskel
