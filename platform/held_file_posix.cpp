// The held file of POSIX systems: an exclusive advisory lock (flock) on the
// open file, taken before a byte is written and kept until it is deleted.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/file_system.h"
#include "platform/held_file.h"

namespace traskel {

namespace {

Failure LastFailure() {
  return SystemFailure(errno);
}

bool SameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The code of a refusal, or 0 for a file that may be held.
long Refusal(const struct stat& info) {
  if (S_ISLNK(info.st_mode)) return kHeldFileIsLink;
  if (!S_ISREG(info.st_mode)) return kHeldFileNotRegular;
  if (info.st_nlink > 1) return kHeldFileHasOtherNames;
  return 0;
}

class PosixHeldFile : public HeldFile {
 public:
  PosixHeldFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~PosixHeldFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  PosixHeldFile(const PosixHeldFile&) = delete;
  PosixHeldFile& operator=(const PosixHeldFile&) = delete;

  Result<void> Clear() override {
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0) return LastFailure();
    return {};
  }

  Result<void> Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n == 0) errno = EIO;  // nothing written and no reason given
      if (n <= 0) return LastFailure();
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
  }

  Result<void> Rewind() override {
    if (::lseek(fd_, 0, SEEK_SET) != 0) return LastFailure();
    return {};
  }

  Result<std::size_t> Read(char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) return LastFailure();
    }
  }

  Result<void> Remove() override {
    // Only while the name still leads to this file: one put there by
    // someone else meanwhile is not ours to delete.
    struct stat mine, named;
    if (::fstat(fd_, &mine) != 0 || ::lstat(path_.c_str(), &named) != 0) return LastFailure();
    if (!SameInode(mine, named))
      return Failure{0, "der Name führt inzwischen zu einer anderen Datei"};
    if (::unlink(path_.c_str()) != 0) return LastFailure();
    ::close(fd_);
    fd_ = -1;
    return {};
  }

 private:
  std::string path_;
  int fd_;
};

}  // namespace

Result<std::unique_ptr<HeldFile>> SystemFileSystem::TakeFile(const std::string& path) {
  // A name that changes between the look and the lock is looked at again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    struct stat named;
    if (::lstat(path.c_str(), &named) == 0) {
      // Refused before it is opened: opening alone may block on a pipe or
      // act on a device.
      if (const long refusal = Refusal(named); refusal != 0) return HeldFileRefusal(refusal);
    } else if (errno != ENOENT) {
      return LastFailure();
    }
    const int fd = ::open(path.c_str(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return errno == ELOOP ? HeldFileRefusal(kHeldFileIsLink) : LastFailure();
    auto file = std::make_unique<PosixHeldFile>(path, fd);
    struct stat opened;
    if (::fstat(fd, &opened) != 0) return LastFailure();
    if (const long refusal = Refusal(opened); refusal != 0) return HeldFileRefusal(refusal);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK) return LastFailure();
      return Failure{kHeldByOther, LastFailure().reason};
    }
    // The holder before may have deleted it while we waited for the lock;
    // then the lock is on a file without a name.
    if (::lstat(path.c_str(), &named) == 0 && SameInode(named, opened)) {
      return std::unique_ptr<HeldFile>(std::move(file));
    }
  }
  return Failure{0, "der Name wechselt ständig die Datei"};
}

}  // namespace traskel
