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

// A mutex of the session, named after the folder: a folder's handle can't
// be locked as a file's range can.
class WindowsFolderLock final : public FolderLock {
 public:
  explicit WindowsFolderLock(HANDLE mutex) : mutex_(mutex) {}
  ~WindowsFolderLock() override {
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }
  WindowsFolderLock(const WindowsFolderLock&) = delete;
  WindowsFolderLock& operator=(const WindowsFolderLock&) = delete;

 private:
  HANDLE mutex_;
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

// The folder's rights pass on to the file; Windows keeps no mode of its own.
Result<std::unique_ptr<OutputFile>> SystemFileSystem::CreateNew(const std::string& path, Readers) {
  const HANDLE handle = CreateFileW(Utf16(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastFailure();
  return std::unique_ptr<OutputFile>(std::make_unique<WindowsOutputFile>(path, handle));
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

Result<void> SystemFileSystem::MakeFolders(const std::string& folder, Readers) {
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

Result<std::unique_ptr<FolderLock>> SystemFileSystem::LockFolder(const std::string& folder) {
  // Named by the folder's path in one letter case, as Windows compares
  // names; a mutex's name holds no backslash.
  std::wstring name = Utf16(AbsolutePath(folder));
  CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
  std::replace(name.begin(), name.end(), L'\\', L'/');
  name = L"Local\\Traskel-Ordner:" + name.substr(0, MAX_PATH - 32);
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) return LastFailure();
  // One its holder left without letting go is free again.
  const DWORD waited = WaitForSingleObject(mutex, INFINITE);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    const Failure failure = LastFailure();
    CloseHandle(mutex);
    return failure;
  }
  return std::unique_ptr<FolderLock>(std::make_unique<WindowsFolderLock>(mutex));
}

Result<std::string> SystemFileSystem::ResolvedPath(const std::string& path) {
  const HANDLE handle =
      CreateFileW(Utf16(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastFailure();
  std::wstring resolved(MAX_PATH, L'\0');
  DWORD length = 0;
  for (;;) {
    length = GetFinalPathNameByHandleW(handle, resolved.data(), static_cast<DWORD>(resolved.size()),
                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length < resolved.size()) break;
    resolved.resize(length);  // the size it needs, its end included
  }
  const Failure failure = LastFailure();
  CloseHandle(handle);
  if (length == 0) return failure;
  resolved.resize(length);
  // As the user writes it: \\?\C:\x is C:\x, \\?\UNC\server\x is \\server\x.
  if (resolved.starts_with(L"\\\\?\\UNC\\")) {
    resolved = L"\\\\" + resolved.substr(8);
  } else if (resolved.starts_with(L"\\\\?\\")) {
    resolved = resolved.substr(4);
  }
  return Utf8(resolved);
}

}  // namespace traskel
