// File functions of Windows: '\' separates, a drive's ':' ends a folder part,
// and names are UTF-16 at the API.
//
// Only '\' is taken as a separator: the paths split here come from the open
// dialog or from the command line through AbsolutePath, directly or through
// the remembered setting, and both give backslashes.
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/file_system.h"
#include "platform/wide_text_win32.h"

namespace traskel {

namespace {

// The system error of the last failing Windows file call; 0 when the last
// failure set the C library's errno instead.
thread_local DWORD lastSystemError = 0;

}  // namespace

std::string SplitPathFromFile(const std::string& file) {
  std::string s = file;
  while (!s.empty() && s.back() != ':' && s.back() != '\\') s.pop_back();
  if (!s.empty() && s.back() == '\\') s.pop_back();
  return s;
}

std::string DialogStartFolder(const std::string& folder) {
  // "C:" alone names the current folder of drive C, not its root. A share
  // root \\server\share is a root already and stays.
  const bool bareDrive =
      folder.size() == 2 && folder[1] == ':' &&
      ((folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z'));
  if (bareDrive) return folder + "\\";
  return folder;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  const std::wstring wide = Utf16(path);
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;  // the existence check then refuses it
  std::wstring full(needed, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (written == 0 || written >= needed) return path;
  full.resize(written);
  return Utf8(full);
}

bool FileExists(const std::string& file) {
  if (file.empty()) return false;
  WIN32_FILE_ATTRIBUTE_DATA data;
  // A device would never end the copy's read.
  return GetFileAttributesExW(Utf16(file).c_str(), GetFileExInfoStandard, &data) &&
         (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

File OpenBinary(const std::string& path, const char* mode) {
  lastSystemError = 0;
  return File(_wfopen(Utf16(path).c_str(), Utf16(mode).c_str()));
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(std::filesystem::path(Utf16(a)),
                                     std::filesystem::path(Utf16(b)), error);
}

bool RemoveFile(const std::string& path) {
  if (DeleteFileW(Utf16(path).c_str())) {
    lastSystemError = 0;
    return true;
  }
  lastSystemError = GetLastError();
  return false;
}

std::string LastFileError() {
  if (lastSystemError == 0) return std::strerror(errno);
  return SystemErrorText(lastSystemError);
}

}  // namespace traskel
