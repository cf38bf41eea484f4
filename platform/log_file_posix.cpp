#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_system.h"
#include "platform/log_file.h"

namespace traskel {

namespace {

constexpr const char* kNotAFile = "es ist keine gewöhnliche Datei";

Failure LastFailure() {
  return SystemFailure(errno);
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

class PosixLogFile final : public LogFile {
 public:
  // created: made by the open, in Mode::Keep.
  PosixLogFile(int fd, std::string path, bool created)
      : fd_(fd), path_(std::move(path)), created_(created) {}
  ~PosixLogFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  PosixLogFile(const PosixLogFile&) = delete;
  PosixLogFile& operator=(const PosixLogFile&) = delete;

  void SetNullDevice() { nullDevice_ = true; }

  Result<void> Append(std::string_view text) override {
    while (!text.empty()) {
      const ssize_t n = ::write(fd_, text.data(), text.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return LastFailure();
      if (n == 0) return Failure{0, "nothing written"};
      text.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
  }

  Result<void> Close() override {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return LastFailure();
    return {};
  }

  Result<std::string> ReadStart(std::size_t size) override {
    std::string bytes(size, '\0');
    std::size_t got = 0;
    while (got < size) {
      const ssize_t n = ::pread(fd_, bytes.data() + got, size - got, static_cast<off_t>(got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return LastFailure();
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
  }

  bool IsReachedBy(const std::string& path) const override {
    struct stat mine, named;
    return ::fstat(fd_, &mine) == 0 && ::stat(path.c_str(), &named) == 0 && SameInode(mine, named);
  }

  Result<void> Resize(std::uint64_t length) override {
    if (nullDevice_) return {};
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) return LastFailure();
    return {};
  }

  Result<void> Discard() override {
    struct stat mine, named;
    // Only while the name leads to the file made: one put there meanwhile by
    // someone else is not ours to delete.
    Result<void> removed;
    if (created_ && ::fstat(fd_, &mine) == 0 && ::lstat(path_.c_str(), &named) == 0 &&
        SameInode(mine, named) && ::unlink(path_.c_str()) != 0) {
      removed = LastFailure();
    }
    ::close(fd_);
    fd_ = -1;
    return removed;
  }

 private:
  int fd_;
  std::string path_;
  bool created_;
  bool nullDevice_ = false;
};

}  // namespace

Result<std::unique_ptr<LogFile>> SystemFileSystem::OpenLogFile(const std::string& path,
                                                               LogFile::Mode mode) {
  if (mode == LogFile::Mode::Append) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return LastFailure();
    return std::unique_ptr<LogFile>(std::make_unique<PosixLogFile>(fd, path, false));
  }
  // A name that changes between the look and the open is looked at again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    struct stat info;
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) return LastFailure();
    if (exists && Unfit(info)) return Failure{0, kNotAFile};
    // Made here only when missing, so that only a file made by this open is
    // deleted again.
    const int fd = ::open(
        path.c_str(),
        O_RDWR | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (exists ? 0 : O_CREAT | O_EXCL),
        0666);
    if (fd < 0 && errno == (exists ? ENOENT : EEXIST)) continue;
    if (fd < 0) return LastFailure();
    auto file = std::make_unique<PosixLogFile>(fd, path, !exists);
    // What the name led to may have changed since the look.
    const bool looked = ::fstat(fd, &info) == 0;
    if (!looked || Unfit(info)) {
      const Failure failure = looked ? Failure{0, kNotAFile} : LastFailure();
      static_cast<void>(file->Discard());  // deletes only a file this open made
      return failure;
    }
    if (S_ISCHR(info.st_mode)) file->SetNullDevice();
    return std::unique_ptr<LogFile>(std::move(file));
  }
  // Mostly a link to nothing, which is not followed: making its target
  // would write where someone else points.
  return SystemFailure(EEXIST);
}

}  // namespace traskel
