// File functions of Windows: '\' separates, a drive's ':' ends a folder part,
// and names are UTF-16 at the API.
//
// Only '\' is taken as a separator: the paths split here come from the open
// dialog or from the command line through AbsolutePath, directly or through
// the remembered setting, and both give backslashes.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/file_system.h"
#include "platform/wide_text_win32.h"

namespace traskel {

namespace {

Failure LastFailure() {
  return SystemFailure(static_cast<long>(GetLastError()));
}

// The most one ReadFile or WriteFile is asked to move.
constexpr std::size_t kMostAtOnce = 1u << 30;

Result<void> WriteAll(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min(bytes.size(), kMostAtOnce));
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr)) return LastFailure();
    // Nothing written, and no error of its own to tell.
    if (written == 0) return SystemFailure(ERROR_WRITE_FAULT);
    bytes.remove_prefix(written);
  }
  return {};
}

class WindowsInputFile final : public InputFile {
 public:
  explicit WindowsInputFile(HANDLE handle) : handle_(handle) {}
  ~WindowsInputFile() override { CloseHandle(handle_); }
  WindowsInputFile(const WindowsInputFile&) = delete;
  WindowsInputFile& operator=(const WindowsInputFile&) = delete;

  Result<std::size_t> Read(char* buffer, std::size_t size) override {
    DWORD got = 0;
    if (!ReadFile(handle_, buffer, static_cast<DWORD>(std::min(size, kMostAtOnce)), &got,
                  nullptr)) {
      return LastFailure();
    }
    return static_cast<std::size_t>(got);
  }

  Result<void> Rewind() override {
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(handle_, start, nullptr, FILE_BEGIN)) return LastFailure();
    return {};
  }

 private:
  HANDLE handle_;
};

class WindowsOutputFile final : public OutputFile {
 public:
  WindowsOutputFile(std::string path, HANDLE handle) : path_(std::move(path)), handle_(handle) {}
  ~WindowsOutputFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  WindowsOutputFile(const WindowsOutputFile&) = delete;
  WindowsOutputFile& operator=(const WindowsOutputFile&) = delete;

  const std::string& path() const override { return path_; }

  Result<void> Write(std::string_view bytes) override { return WriteAll(handle_, bytes); }

  Result<void> Sync() override {
    if (!FlushFileBuffers(handle_)) return LastFailure();
    return {};
  }

  Result<void> Close() override {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(handle)) return LastFailure();
    return {};
  }

 private:
  std::string path_;
  HANDLE handle_;
};

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

bool SystemFileSystem::Exists(const std::string& path) {
  if (path.empty()) return false;
  WIN32_FILE_ATTRIBUTE_DATA data;
  // A device would never end a read.
  return GetFileAttributesExW(Utf16(path).c_str(), GetFileExInfoStandard, &data) &&
         (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool SystemFileSystem::SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(std::filesystem::path(Utf16(a)),
                                     std::filesystem::path(Utf16(b)), error);
}

Result<std::unique_ptr<InputFile>> SystemFileSystem::OpenForReading(const std::string& path) {
  // Others may go on reading and writing it, as with the C library's open.
  const HANDLE handle =
      CreateFileW(Utf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastFailure();
  std::unique_ptr<InputFile> file = std::make_unique<WindowsInputFile>(handle);
  if (GetFileType(handle) != FILE_TYPE_DISK) return Failure{0, "es ist keine gewöhnliche Datei"};
  return file;
}

Result<std::unique_ptr<OutputFile>> SystemFileSystem::CreateBeside(const std::string& path) {
  // A name no one has yet: the counter and the time make a new one each try.
  static_assert(sizeof(unsigned long long) == 8);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%lx%llx%x", GetCurrentProcessId(),
                  static_cast<unsigned long long>(GetTickCount64()), attempt);
    const std::string name = path + suffix;
    const HANDLE handle = CreateFileW(Utf16(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      return std::unique_ptr<OutputFile>(std::make_unique<WindowsOutputFile>(name, handle));
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return LastFailure();
  }
  return SystemFailure(ERROR_FILE_EXISTS);
}

Result<void> SystemFileSystem::Rename(const std::string& from, const std::string& to) {
  if (!MoveFileExW(Utf16(from).c_str(), Utf16(to).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return LastFailure();
  }
  return {};
}

Result<void> SystemFileSystem::Remove(const std::string& path) {
  if (!DeleteFileW(Utf16(path).c_str())) return LastFailure();
  return {};
}

Result<void> SystemFileSystem::MakeFolders(const std::string& folder) {
  const std::wstring wide = Utf16(folder);
  // The parts above it; a drive or a share fails here and is there anyway.
  for (std::size_t at = wide.find_first_of(L"\\/", 1); at != std::wstring::npos;
       at = wide.find_first_of(L"\\/", at + 1)) {
    CreateDirectoryW(wide.substr(0, at).c_str(), nullptr);
  }
  const bool made = CreateDirectoryW(wide.c_str(), nullptr);
  const DWORD code = made ? ERROR_SUCCESS : GetLastError();
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return {};
  }
  if (made || code == ERROR_ALREADY_EXISTS) return SystemFailure(ERROR_DIRECTORY);
  return SystemFailure(static_cast<long>(code));
}

Result<void> SystemFileSystem::SyncFolder(const std::string&) {
  // Nothing to do: a rename with MOVEFILE_WRITE_THROUGH is durable when it
  // returns.
  return {};
}

}  // namespace traskel
