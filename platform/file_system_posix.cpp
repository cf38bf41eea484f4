// File functions of POSIX systems: '/' separates, names are bytes.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/file_system.h"

namespace traskel {

namespace {

Failure LastFailure() {
  return SystemFailure(errno);
}

// Nothing, or the failure errno tells of.
Result<void> Done(bool done) {
  if (!done) return LastFailure();
  return {};
}

bool SameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsNullDevice(const struct stat& info) {
  struct stat null;
  return S_ISCHR(info.st_mode) && ::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) &&
         info.st_rdev == null.st_rdev;
}

// What the call gives once no signal interrupts it (EINTR).
template <typename Call>
auto Retried(Call call) {
  for (;;) {
    const auto n = call();
    if (n >= 0 || errno != EINTR) return n;
  }
}

// The one file object of POSIX systems: a descriptor. A folder's, locked,
// is the folder's lock, which goes with it.
class PosixFile final : public File, public FolderLock {
 public:
  PosixFile(int fd, std::string path, bool made = false)
      : fd_(fd), path_(std::move(path)), made_(made) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  int fd() const { return fd_; }
  Result<struct stat> Info() const {
    struct stat info;
    if (::fstat(fd_, &info) != 0) return LastFailure();
    return info;
  }
  void SetNullDevice() { nullDevice_ = true; }

  Result<std::size_t> Read(char* buffer, std::size_t size) override {
    const ssize_t n = Retried([&] { return ::read(fd_, buffer, size); });
    if (n < 0) return LastFailure();
    return static_cast<std::size_t>(n);
  }

  Result<std::size_t> ReadAt(char* buffer, std::size_t size, std::uint64_t offset) override {
    std::size_t got = 0;
    while (got < size) {
      const ssize_t n = Retried(
          [&] { return ::pread(fd_, buffer + got, size - got, static_cast<off_t>(offset + got)); });
      if (n < 0) return LastFailure();
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    return got;
  }

  Result<void> Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t n = Retried([&] { return ::write(fd_, bytes.data(), bytes.size()); });
      if (n == 0) errno = EIO;  // nothing written and no reason given
      if (n <= 0) return LastFailure();
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
  }

  Result<void> Rewind() override { return Done(::lseek(fd_, 0, SEEK_SET) == 0); }

  Result<void> Truncate(std::uint64_t length) override {
    const auto at = static_cast<off_t>(length);
    return Done(nullDevice_ || (::ftruncate(fd_, at) == 0 && ::lseek(fd_, at, SEEK_SET) == at));
  }

  Result<void> Sync() override { return Done(::fsync(fd_) == 0); }

  Result<void> Close() override { return Done(::close(std::exchange(fd_, -1)) == 0); }

  Result<void> Remove() override {
    // Only while the name still leads to this file: one put there by
    // someone else meanwhile is not ours to delete.
    struct stat named;
    Result<void> removed;
    const Result<struct stat> mine = Info();
    if (!mine || ::lstat(path_.c_str(), &named) != 0) {
      removed = mine ? LastFailure() : mine.failure();
    } else if (!SameInode(*mine, named)) {
      removed = Finding(FailureKind::NameMoved);
    } else if (::unlink(path_.c_str()) != 0) {
      removed = LastFailure();
    }
    ::close(std::exchange(fd_, -1));
    return removed;
  }

  bool IsReachedBy(const std::string& path) const override {
    struct stat named;
    const Result<struct stat> mine = Info();
    return mine && ::stat(path.c_str(), &named) == 0 && SameInode(*mine, named);
  }

  bool Made() const override { return made_; }

 private:
  int fd_;
  std::string path_;
  bool made_;
  bool nullDevice_ = false;
};

Result<std::unique_ptr<PosixFile>> OpenFile(const std::string& path, int flags, mode_t mode = 0,
                                            bool made = false) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  if (fd < 0) return LastFailure();
  return std::make_unique<PosixFile>(fd, path, made);
}

// A finding that refuses a file to hold, by what the name or the open file
// is.
std::optional<FailureKind> HoldRefusal(const struct stat& info) {
  if (S_ISLNK(info.st_mode)) return FailureKind::Link;
  if (!S_ISREG(info.st_mode)) return FailureKind::NotRegular;
  if (info.st_nlink > 1) return FailureKind::OtherNames;
  return std::nullopt;
}

// The held file: an exclusive advisory lock (flock) on the open file, taken
// before a byte is written and kept until it is deleted.
Result<std::unique_ptr<File>> Take(const std::string& path) {
  // A name that changes between the look and the lock is looked at again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    struct stat named;
    if (::lstat(path.c_str(), &named) == 0) {
      // Refused before it is opened: opening alone may block on a pipe or
      // act on a device.
      if (const auto refusal = HoldRefusal(named)) return Finding(*refusal);
    } else if (errno != ENOENT) {
      return LastFailure();
    }
    Result<std::unique_ptr<PosixFile>> file =
        OpenFile(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0666);
    if (!file) {
      if (file.failure().code == ELOOP) return Finding(FailureKind::Link);
      return file.failure();
    }
    const Result<struct stat> opened = (*file)->Info();
    if (!opened) return opened.failure();
    if (const auto refusal = HoldRefusal(*opened)) return Finding(*refusal);
    if (::flock((*file)->fd(), LOCK_EX | LOCK_NB) != 0) {
      Failure failure = LastFailure();
      if (failure.code == EWOULDBLOCK) failure.kind = FailureKind::HeldByOther;
      return failure;
    }
    // The holder before may have deleted it while we waited for the lock;
    // then the lock is on a file without a name.
    if (::lstat(path.c_str(), &named) == 0 && SameInode(named, *opened)) return file;
  }
  return Finding(FailureKind::NameUnsteady);
}

// Opening a pipe may wait for its reader, and a device may act on what it
// is sent; the null device only takes it.
bool UnfitForLog(const struct stat& info) {
  return S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || S_ISBLK(info.st_mode) ||
         (S_ISCHR(info.st_mode) && !IsNullDevice(info));
}

Result<std::unique_ptr<File>> Keep(const std::string& path) {
  // A name that changes between the look and the open is looked at again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    struct stat info;
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) return LastFailure();
    if (exists && UnfitForLog(info)) return Finding(FailureKind::NotRegular);
    // Made here only when missing, so that only a file made by this open is
    // deleted again.
    Result<std::unique_ptr<PosixFile>> file =
        OpenFile(path, O_RDWR | O_APPEND | O_NONBLOCK | O_NOCTTY | (exists ? 0 : O_CREAT | O_EXCL),
                 0666, !exists);
    if (!file && file.failure().code == (exists ? ENOENT : EEXIST)) continue;
    if (!file) return file.failure();
    // What the name led to may have changed since the look.
    const Result<struct stat> opened = (*file)->Info();
    if (!opened || UnfitForLog(*opened)) {
      const Failure failure = opened ? Finding(FailureKind::NotRegular) : opened.failure();
      // Deletes only a file this open made; the caller hears of the refusal.
      if ((*file)->Made()) static_cast<void>((*file)->Remove());
      return failure;
    }
    if (S_ISCHR(opened->st_mode)) (*file)->SetNullDevice();
    return file;
  }
  // Mostly a link to nothing, which is not followed: making its target
  // would write where someone else points.
  return SystemFailure(EEXIST);
}

}  // namespace

std::string SplitPathFromFile(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  if (slash == std::string::npos) return "";
  // A file directly in the root keeps the root as its folder.
  return slash == 0 ? "/" : file.substr(0, slash);
}

std::string DialogStartFolder(const std::string& folder) {
  return folder;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::string joined = path;
  if (path.front() != '/') {
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    // Without a current folder the name stays as given; the existence check
    // then decides.
    if (error) return path;
    joined = current.string() + "/" + path;
  }
  // Only what can't change the file meant goes: "." and repeated slashes.
  // ".." stays for the system, which takes it after following a link
  // before it, as every other program does.
  std::string tidy;
  bool folderMeant = false;  // a trailing "/" or "/." asks for a folder
  for (std::size_t start = 0; start <= joined.size();) {
    std::size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    const std::string_view part(joined.data() + start, end - start);
    folderMeant = part.empty() || part == ".";
    if (!folderMeant) {
      tidy += '/';
      tidy += part;
    }
    start = end + 1;
  }
  if (tidy.empty() || folderMeant) tidy += '/';
  return tidy;
}

bool SystemFileSystem::Exists(const std::string& path) {
  if (path.empty()) return false;
  struct stat info;
  // Only a regular file: a pipe would block a read, a device like /dev/zero
  // would never end it.
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool SystemFileSystem::SameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         SameInode(first, second);
}

Result<std::unique_ptr<File>> SystemFileSystem::Open(const std::string& path, Opening how) {
  switch (how) {
    case Opening::Take:
      return Take(path);
    case Opening::Keep:
      return Keep(path);
    case Opening::Append:
      return OpenFile(path, O_WRONLY | O_CREAT | O_APPEND, 0666);
    case Opening::CreateForAll:
    case Opening::CreateForOwner: {
      const mode_t mode = how == Opening::CreateForAll ? 0644 : 0600;
      Result<std::unique_ptr<PosixFile>> file =
          OpenFile(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode, true);
      if (!file) return file.failure();
      // The mode as asked, whatever the user's umask takes away or leaves.
      if (::fchmod((*file)->fd(), mode) != 0) {
        const Failure failure = LastFailure();
        ::unlink(path.c_str());
        return failure;
      }
      return file;
    }
    case Opening::Read:
      break;
  }
  // Without waiting: opening a pipe would wait for its writer.
  Result<std::unique_ptr<PosixFile>> file = OpenFile(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (!file) return file.failure();
  const Result<struct stat> info = (*file)->Info();
  if (!info) return info.failure();
  if (!S_ISREG(info->st_mode)) return Finding(FailureKind::NotRegular);
  return file;
}

Result<void> SystemFileSystem::Rename(const std::string& from, const std::string& to) {
  return Done(std::rename(from.c_str(), to.c_str()) == 0);
}

Result<void> SystemFileSystem::Remove(const std::string& path) {
  return Done(::unlink(path.c_str()) == 0);
}

Result<void> SystemFileSystem::MakeFolders(const std::string& folder, Readers readers) {
  const mode_t mode = readers == Readers::Everyone ? 0755 : 0700;
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    ::mkdir(folder.substr(0, slash).c_str(), mode);
  }
  // What the last one gave, unless the folder is there all the same.
  const int made = ::mkdir(folder.c_str(), mode);
  const Failure failure = LastFailure();
  struct stat info;
  if (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return {};
  if (made == 0 || failure.code == EEXIST) return SystemFailure(ENOTDIR);
  return failure;
}

Result<void> SystemFileSystem::SyncFolder(const std::string& folder) {
  Result<std::unique_ptr<PosixFile>> opened = OpenFile(folder, O_RDONLY | O_DIRECTORY);
  if (!opened) return opened.failure();
  return (*opened)->Sync();
}

Result<std::unique_ptr<FolderLock>> SystemFileSystem::LockFolder(const std::string& folder) {
  Result<std::unique_ptr<PosixFile>> opened = OpenFile(folder, O_RDONLY | O_DIRECTORY);
  if (!opened) return opened.failure();
  if (Retried([&] { return ::flock((*opened)->fd(), LOCK_EX); }) != 0) return LastFailure();
  return opened;
}

Result<std::string> SystemFileSystem::ResolvedPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return LastFailure();
  std::string text = resolved;
  std::free(resolved);
  return text;
}

}  // namespace traskel
