// File functions of POSIX systems: '/' separates, names are bytes.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/file_system.h"

namespace traskel {

namespace {

Failure LastFailure() {
  return SystemFailure(errno);
}

// Whatever read or write gives when it is interrupted before any byte.
template <typename Call>
ssize_t Retried(Call call) {
  for (;;) {
    const ssize_t n = call();
    if (n >= 0 || errno != EINTR) return n;
  }
}

class PosixInputFile final : public InputFile {
 public:
  explicit PosixInputFile(int fd) : fd_(fd) {}
  ~PosixInputFile() override { ::close(fd_); }
  PosixInputFile(const PosixInputFile&) = delete;
  PosixInputFile& operator=(const PosixInputFile&) = delete;

  Result<std::size_t> Read(char* buffer, std::size_t size) override {
    const ssize_t n = Retried([&] { return ::read(fd_, buffer, size); });
    if (n < 0) return LastFailure();
    return static_cast<std::size_t>(n);
  }

  Result<void> Rewind() override {
    if (::lseek(fd_, 0, SEEK_SET) != 0) return LastFailure();
    return {};
  }

 private:
  int fd_;
};

class PosixOutputFile final : public OutputFile {
 public:
  PosixOutputFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~PosixOutputFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  PosixOutputFile(const PosixOutputFile&) = delete;
  PosixOutputFile& operator=(const PosixOutputFile&) = delete;

  const std::string& path() const override { return path_; }

  Result<void> Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t n = Retried([&] { return ::write(fd_, bytes.data(), bytes.size()); });
      if (n == 0) errno = EIO;  // nothing written and no reason given
      if (n <= 0) return LastFailure();
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
  }

  Result<void> Sync() override {
    if (::fsync(fd_) != 0) return LastFailure();
    return {};
  }

  Result<void> Close() override {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return LastFailure();
    return {};
  }

 private:
  std::string path_;
  int fd_;
};

class PosixFolderLock final : public FolderLock {
 public:
  explicit PosixFolderLock(int fd) : fd_(fd) {}
  ~PosixFolderLock() override { ::close(fd_); }  // and the lock with it
  PosixFolderLock(const PosixFolderLock&) = delete;
  PosixFolderLock& operator=(const PosixFolderLock&) = delete;

 private:
  int fd_;
};

mode_t FileMode(Readers readers) {
  return readers == Readers::Everyone ? 0644 : 0600;
}

mode_t FolderMode(Readers readers) {
  return readers == Readers::Everyone ? 0755 : 0700;
}

}  // namespace

std::string SplitPathFromFile(const std::string& file) {
  std::string s = file;
  while (!s.empty() && s.back() != '/') s.pop_back();
  if (!s.empty()) s.pop_back();
  // A file directly in the root keeps the root as its folder.
  if (s.empty() && !file.empty() && file.front() == '/') return "/";
  return s;
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
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

Result<std::unique_ptr<InputFile>> SystemFileSystem::OpenForReading(const std::string& path) {
  // Without waiting: opening a pipe would wait for its writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return LastFailure();
  std::unique_ptr<InputFile> file = std::make_unique<PosixInputFile>(fd);
  struct stat info;
  if (::fstat(fd, &info) != 0) return LastFailure();
  if (!S_ISREG(info.st_mode)) return Failure{0, "es ist keine gewöhnliche Datei"};
  return file;
}

Result<std::unique_ptr<OutputFile>> SystemFileSystem::CreateNew(const std::string& path,
                                                                Readers readers) {
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, FileMode(readers));
  if (fd < 0) return LastFailure();
  std::unique_ptr<OutputFile> file = std::make_unique<PosixOutputFile>(path, fd);
  // The mode as asked, whatever the user's umask takes away or leaves.
  if (::fchmod(fd, FileMode(readers)) != 0) {
    const Failure failure = LastFailure();
    ::unlink(path.c_str());
    return failure;
  }
  return file;
}

Result<void> SystemFileSystem::Rename(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) return LastFailure();
  return {};
}

Result<void> SystemFileSystem::Remove(const std::string& path) {
  if (::unlink(path.c_str()) != 0) return LastFailure();
  return {};
}

Result<void> SystemFileSystem::MakeFolders(const std::string& folder, Readers readers) {
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    ::mkdir(folder.substr(0, slash).c_str(), FolderMode(readers));
  }
  // What the last one gave, unless the folder is there all the same.
  const int made = ::mkdir(folder.c_str(), FolderMode(readers));
  const Failure failure = LastFailure();
  struct stat info;
  if (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return {};
  if (made == 0 || failure.code == EEXIST) return SystemFailure(ENOTDIR);
  return failure;
}

Result<void> SystemFileSystem::SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return LastFailure();
  const bool synced = ::fsync(fd) == 0;
  const Failure failure = LastFailure();
  ::close(fd);
  if (!synced) return failure;
  return {};
}

Result<std::unique_ptr<FolderLock>> SystemFileSystem::LockFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return LastFailure();
  std::unique_ptr<FolderLock> lock = std::make_unique<PosixFolderLock>(fd);
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) return LastFailure();
  return lock;
}

Result<std::string> SystemFileSystem::ResolvedPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return LastFailure();
  std::string text = resolved;
  std::free(resolved);
  return text;
}

}  // namespace traskel
