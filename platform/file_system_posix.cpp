// File functions of POSIX systems: '/' separates, names are bytes.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/file_system.h"

namespace traskel {

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

bool FileExists(const std::string& file) {
  if (file.empty()) return false;
  struct stat info;
  // Only a regular file: a pipe would block the copy's read, a device like
  // /dev/zero would never end it.
  return ::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

File OpenBinary(const std::string& path, const char* mode) {
  return File(std::fopen(path.c_str(), mode));
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool RemoveFile(const std::string& path) {
  return std::remove(path.c_str()) == 0;
}

std::string LastFileError() {
  return std::strerror(errno);
}

}  // namespace traskel
