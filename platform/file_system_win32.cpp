// File functions of Windows: '\' separates, a drive's ':' ends a folder part,
// and names are UTF-16 at the API.
//
// Only '\' is taken as a separator: the paths split here come from the open
// dialog or from the command line through AbsolutePath, directly or through
// the remembered setting, and both give backslashes.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "platform/file_system.h"
#include "platform/held_file_win32.h"
#include "platform/wide_text_win32.h"

namespace traskel {

namespace {

Failure LastFailure() {
  return SystemFailure(static_cast<long>(GetLastError()));
}

// Nothing, or the failure GetLastError tells of.
Result<void> Done(bool done) {
  if (!done) return LastFailure();
  return {};
}

// The most one ReadFile or WriteFile is asked to move.
constexpr std::size_t kMostAtOnce = 1u << 30;

// Others may read, replace or delete the file meanwhile.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// The name of the holder's mark of a file: the same for every name of the
// file, and seen from every session.
std::wstring MarkName(const BY_HANDLE_FILE_INFORMATION& info) {
  wchar_t name[64];
  std::swprintf(name, sizeof name / sizeof name[0], L"Global\\traskel-held-%08lx-%08lx%08lx",
                info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow);
  return name;
}

// The one file object of Windows: a handle. A held file owns a named mutex
// beside it, the holder's mark, named after the file's identity: when the
// file can't be opened for sharing reasons, the mark tells another holder
// from any other program that has it open.
class WindowsFile final : public File {
 public:
  WindowsFile(HANDLE handle, std::wstring name, bool made = false)
      : handle_(handle), name_(std::move(name)), made_(made) {}
  // The file is let go of before the mark, so that a refusal while the file
  // is open always finds the mark.
  ~WindowsFile() override { CloseAll(); }
  WindowsFile(const WindowsFile&) = delete;
  WindowsFile& operator=(const WindowsFile&) = delete;

  HANDLE handle() const { return handle_; }
  void SetNullDevice() { nullDevice_ = true; }
  // Held: deleted through the handle. Without a mark the file is held all
  // the same; others then take the holder for some other program.
  void Hold(const BY_HANDLE_FILE_INFORMATION& info) {
    held_ = true;
    mark_ = CreateMutexW(nullptr, FALSE, MarkName(info).c_str());
  }

  Result<std::size_t> Read(char* buffer, std::size_t size) override {
    DWORD got = 0;
    if (!ReadFile(handle_, buffer, static_cast<DWORD>(std::min(size, kMostAtOnce)), &got,
                  nullptr)) {
      return LastFailure();
    }
    return static_cast<std::size_t>(got);
  }

  Result<std::size_t> ReadAt(char* buffer, std::size_t size, std::uint64_t offset) override {
    std::size_t got = 0;
    while (got < size) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset + got);
      at.OffsetHigh = static_cast<DWORD>((offset + got) >> 32);
      DWORD n = 0;
      const DWORD chunk = static_cast<DWORD>(std::min(size - got, kMostAtOnce));
      if (!ReadFile(handle_, buffer + got, chunk, &n, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        return LastFailure();
      }
      if (n == 0) break;
      got += n;
    }
    return got;
  }

  Result<void> Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const DWORD chunk = static_cast<DWORD>(std::min(bytes.size(), kMostAtOnce));
      DWORD written = 0;
      if (!WriteFile(handle_, bytes.data(), chunk, &written, nullptr)) return LastFailure();
      // Nothing written, and no error of its own to tell.
      if (written == 0) return SystemFailure(ERROR_WRITE_FAULT);
      bytes.remove_prefix(written);
    }
    return {};
  }

  Result<void> Rewind() override {
    return Done(SetFilePointerEx(handle_, LARGE_INTEGER{}, nullptr, FILE_BEGIN));
  }

  Result<void> Truncate(std::uint64_t length) override {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(length);
    return Done(nullDevice_ ||
                (SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN) && SetEndOfFile(handle_)));
  }

  Result<void> Sync() override { return Done(FlushFileBuffers(handle_)); }

  Result<void> Close() override {
    const Result<void> closed = Done(CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)));
    CloseAll();
    return closed;
  }

  Result<void> Remove() override {
    // A held file is marked for deletion through the handle, gone when it
    // closes. Other files, and a system without that, delete by name right
    // after closing, while the name still leads to the file: one put there
    // meanwhile by someone else is not ours to delete. No one can put one
    // in the place of a held file.
    FILE_DISPOSITION_INFO disposition{TRUE};
    const bool marked = held_ && SetFileInformationByHandle(handle_, FileDispositionInfo,
                                                            &disposition, sizeof disposition);
    const bool ours = marked || IsReachedBy(name_);
    CloseAll();
    if (!ours) return Finding(FailureKind::NameMoved);
    return Done(marked || DeleteFileW(name_.c_str()));
  }

  bool IsReachedBy(const std::string& path) const override { return IsReachedBy(Utf16(path)); }

  bool Made() const override { return made_; }

 private:
  bool IsReachedBy(const std::wstring& path) const {
    // No access asked, so that a file held without sharing is looked at too.
    const HANDLE other = CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (other == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION mine, named;
    const bool same = GetFileInformationByHandle(handle_, &mine) &&
                      GetFileInformationByHandle(other, &named) && SameFile(mine, named);
    CloseHandle(other);
    return same;
  }

  void CloseAll() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    if (mark_ != nullptr) CloseHandle(mark_);
    mark_ = nullptr;
  }

  HANDLE handle_;
  std::wstring name_;
  bool made_;
  bool nullDevice_ = false;
  bool held_ = false;
  HANDLE mark_ = nullptr;
};

Result<std::unique_ptr<WindowsFile>> OpenFile(const std::wstring& name, DWORD access, DWORD share,
                                              DWORD disposition, DWORD flags, bool made = false) {
  const HANDLE handle = CreateFileW(name.c_str(), access, share, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL | flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastFailure();
  return std::make_unique<WindowsFile>(handle, name, made);
}

// Whether a holder has the file at name. Opening it for its attributes
// alone passes every sharing mode.
bool HolderMarkExists(const std::wstring& name) {
  const HANDLE handle = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(handle, &info);
  CloseHandle(handle);
  if (!known) return false;
  const HANDLE mark = OpenMutexW(SYNCHRONIZE, FALSE, MarkName(info).c_str());
  if (mark != nullptr) {
    CloseHandle(mark);
    return true;
  }
  // Another user's mark exists, but is not open to this one.
  return GetLastError() == ERROR_ACCESS_DENIED;
}

// A holder sets its mark right after opening the file: one that has just
// opened it is given that moment.
FailureKind SharingRefusal(const std::wstring& name) {
  if (HolderMarkExists(name)) return FailureKind::HeldByOther;
  Sleep(100);
  return HolderMarkExists(name) ? FailureKind::HeldByOther : FailureKind::InUse;
}

// The held file: opened without write or delete sharing, so no other
// process can change or remove it while it is held, and deleted through the
// same handle.
Result<std::unique_ptr<File>> Take(const std::wstring& name) {
  // A link or a folder is refused before it is opened.
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (const auto refusal = ClassifyHeldFile(attributes, 1, FILE_TYPE_DISK)) {
      return Finding(*refusal);
    }
  }
  // Others may read it, never write or delete it; the reparse point itself,
  // not what it leads to, should one appear meanwhile.
  Result<std::unique_ptr<WindowsFile>> file =
      OpenFile(name, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, OPEN_ALWAYS,
               FILE_FLAG_OPEN_REPARSE_POINT);
  if (!file) {
    Failure failure = file.failure();
    if (failure.code == ERROR_SHARING_VIOLATION) failure.kind = SharingRefusal(name);
    return failure;
  }
  const DWORD type = GetFileType((*file)->handle());
  // A pipe or a device has no file information to ask for.
  if (type != FILE_TYPE_DISK) return Finding(*ClassifyHeldFile(0, 1, type));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle((*file)->handle(), &info)) return LastFailure();
  if (const auto refusal = ClassifyHeldFile(info.dwFileAttributes, info.nNumberOfLinks, type)) {
    return Finding(*refusal);
  }
  (*file)->Hold(info);
  return file;
}

// The system maps the name NUL, in any folder and any case, to the null
// device; its full path then is \\.\NUL. No other device has that path.
bool NamesNullDevice(const std::string& path) {
  return CompareStringOrdinal(Utf16(AbsolutePath(path)).c_str(), -1, L"\\\\.\\NUL", -1, TRUE) ==
         CSTR_EQUAL;
}

Result<std::unique_ptr<File>> Keep(const std::wstring& name) {
  // A name that changes between the two opens is tried again. Reading
  // tells what the file holds, writing may empty it; a file another holder
  // keeps shares no writing, and the system refuses it.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD access = GENERIC_READ | GENERIC_WRITE;
    Result<std::unique_ptr<WindowsFile>> file = OpenFile(name, access, kShareAll, OPEN_EXISTING, 0);
    if (!file && file.failure().code == ERROR_FILE_NOT_FOUND) {
      // Made here only when missing, so that only a file made by this open
      // is deleted again.
      file = OpenFile(name, access, kShareAll, CREATE_NEW, 0, true);
      if (!file && file.failure().code == ERROR_FILE_EXISTS) continue;
    }
    if (!file) return file.failure();
    // A pipe's writes wait for its reader; a device other than the null
    // device may act on them.
    const DWORD type = GetFileType((*file)->handle());
    const bool nullDevice = type == FILE_TYPE_CHAR && NamesNullDevice(Utf8(name));
    if (type != FILE_TYPE_DISK && !nullDevice) {
      // Deletes only a file this open made; the caller hears of the refusal.
      if ((*file)->Made()) static_cast<void>((*file)->Remove());
      return Finding(FailureKind::NotRegular);
    }
    if (nullDevice) (*file)->SetNullDevice();
    return file;
  }
  return SystemFailure(ERROR_FILE_EXISTS);
}

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

}  // namespace

std::optional<FailureKind> ClassifyHeldFile(unsigned long attributes, unsigned long links,
                                            unsigned long fileType) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return FailureKind::Link;
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0 ||
      fileType != FILE_TYPE_DISK) {
    return FailureKind::NotRegular;
  }
  if (links > 1) return FailureKind::OtherNames;
  return std::nullopt;
}

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
  return bareDrive ? folder + "\\" : folder;
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

Result<std::unique_ptr<File>> SystemFileSystem::Open(const std::string& path, Opening how) {
  const std::wstring name = Utf16(path);
  switch (how) {
    case Opening::Take:
      return Take(name);
    case Opening::Keep:
      return Keep(name);
    case Opening::Append:
      // Appending only, so writes from several objects and processes never
      // overlap.
      return OpenFile(name, FILE_APPEND_DATA, kShareAll, OPEN_ALWAYS, 0);
    case Opening::CreateForAll:
    case Opening::CreateForOwner:
      // The folder's rights pass on to the file; Windows keeps no mode of
      // its own.
      return OpenFile(name, GENERIC_WRITE, 0, CREATE_NEW, FILE_FLAG_OPEN_REPARSE_POINT, true);
    case Opening::Read:
      break;
  }
  // Others may go on reading and writing it, as with the C library's open.
  Result<std::unique_ptr<WindowsFile>> file =
      OpenFile(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
               FILE_FLAG_SEQUENTIAL_SCAN);
  if (file && GetFileType((*file)->handle()) != FILE_TYPE_DISK) {
    return Finding(FailureKind::NotRegular);
  }
  return file;
}

Result<void> SystemFileSystem::Rename(const std::string& from, const std::string& to) {
  return Done(MoveFileExW(Utf16(from).c_str(), Utf16(to).c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

Result<void> SystemFileSystem::Remove(const std::string& path) {
  return Done(DeleteFileW(Utf16(path).c_str()));
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
  Result<std::unique_ptr<WindowsFile>> file =
      OpenFile(Utf16(path), 0, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (!file) return file.failure();
  std::wstring resolved(MAX_PATH, L'\0');
  DWORD length = 0;
  for (;;) {
    length = GetFinalPathNameByHandleW((*file)->handle(), resolved.data(),
                                       static_cast<DWORD>(resolved.size()),
                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length < resolved.size()) break;
    resolved.resize(length);  // the size it needs, its end included
  }
  if (length == 0) return LastFailure();
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
