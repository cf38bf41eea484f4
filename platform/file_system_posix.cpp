// File functions of POSIX systems: '/' separates, names are bytes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

Result<void> SystemFileSystem::Remove(const std::string& path) {
  if (::unlink(path.c_str()) != 0) return LastFailure();
  return {};
}

}  // namespace traskel
