#include <windows.h>

#include "platform/file_system.h"
#include "platform/log_file.h"
#include "platform/wide_text_win32.h"

namespace traskel {

namespace {

constexpr const char* kNotAFile = "es ist keine gewöhnliche Datei";

// Others may read, replace or delete the file meanwhile.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

Failure LastFailure() {
  return SystemFailure(static_cast<long>(GetLastError()));
}

// The system maps the name NUL, in any folder and any case, to the null
// device; its full path then is \\.\NUL. No other device has that path.
bool NamesNullDevice(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return false;
  std::wstring full(needed, L'\0');
  const DWORD written = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (written == 0 || written >= needed) return false;
  full.resize(written);
  return CompareStringOrdinal(full.c_str(), -1, L"\\\\.\\NUL", -1, TRUE) == CSTR_EQUAL;
}

bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

class WindowsLogFile final : public LogFile {
 public:
  // created: made by the open, in Mode::Keep.
  WindowsLogFile(HANDLE handle, std::wstring name, bool created)
      : handle_(handle), name_(std::move(name)), created_(created) {}
  ~WindowsLogFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  WindowsLogFile(const WindowsLogFile&) = delete;
  WindowsLogFile& operator=(const WindowsLogFile&) = delete;

  void SetNullDevice() { nullDevice_ = true; }

  Result<void> Append(std::string_view text) override {
    while (!text.empty()) {
      DWORD written = 0;
      const DWORD chunk = text.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(text.size());
      if (!WriteFile(handle_, text.data(), chunk, &written, nullptr)) return LastFailure();
      // Nothing written, and no error of its own to tell.
      if (written == 0) return SystemFailure(ERROR_WRITE_FAULT);
      text.remove_prefix(written);
    }
    return {};
  }

  Result<void> Close() override {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(handle)) return LastFailure();
    return {};
  }

  Result<std::string> ReadStart(std::size_t size) override {
    std::string bytes(size, '\0');
    std::size_t got = 0;
    while (got < size) {
      // At the offset asked for; a later Resize sets where writing goes on.
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(got);
      DWORD n = 0;
      const DWORD chunk = static_cast<DWORD>(size - got > 0x40000000 ? 0x40000000 : size - got);
      if (!ReadFile(handle_, bytes.data() + got, chunk, &n, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        return LastFailure();
      }
      if (n == 0) break;
      got += n;
    }
    bytes.resize(got);
    return bytes;
  }

  bool IsReachedBy(const std::string& path) const override { return IsReachedBy(Utf16(path)); }

  Result<void> Resize(std::uint64_t length) override {
    if (nullDevice_) return {};
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(length);
    if (!SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_)) {
      return LastFailure();
    }
    return {};
  }

  Result<void> Discard() override {
    // Only while the name leads to the file made: one put there meanwhile by
    // someone else is not ours to delete.
    const bool ours = created_ && IsReachedBy(name_);
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    if (ours && !DeleteFileW(name_.c_str())) return LastFailure();
    return {};
  }

 private:
  bool IsReachedBy(const std::wstring& path) const {
    // No access asked, so that a file held without sharing is looked at too.
    HANDLE other = CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (other == INVALID_HANDLE_VALUE) return false;
    const bool same = SameFile(handle_, other);
    CloseHandle(other);
    return same;
  }

  HANDLE handle_;
  std::wstring name_;
  bool created_;
  bool nullDevice_ = false;
};

}  // namespace

Result<std::unique_ptr<LogFile>> SystemFileSystem::OpenLogFile(const std::string& path,
                                                               LogFile::Mode mode) {
  const std::wstring name = Utf16(path);
  if (mode == LogFile::Mode::Append) {
    // Appending only, so writes from several objects and processes never
    // overlap.
    HANDLE h = CreateFileW(name.c_str(), FILE_APPEND_DATA, kShareAll, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastFailure();
    return std::unique_ptr<LogFile>(std::make_unique<WindowsLogFile>(h, name, false));
  }
  // A name that changes between the two opens is tried again. Reading
  // tells what the file holds, writing may empty it; a file another holder
  // keeps shares no writing, and the system refuses it.
  for (int attempt = 0; attempt < 3; ++attempt) {
    bool created = false;
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
      // Made here only when missing, so that only a file made by this open
      // is deleted again.
      h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) continue;
      created = true;
    }
    if (h == INVALID_HANDLE_VALUE) return LastFailure();
    auto file = std::make_unique<WindowsLogFile>(h, name, created);
    // A pipe's writes wait for its reader; a device other than the null
    // device may act on them.
    const DWORD type = GetFileType(h);
    const bool nullDevice = type == FILE_TYPE_CHAR && NamesNullDevice(name);
    if (type != FILE_TYPE_DISK && !nullDevice) {
      static_cast<void>(file->Discard());  // deletes only a file this open made
      return Failure{0, kNotAFile};
    }
    if (nullDevice) file->SetNullDevice();
    return std::unique_ptr<LogFile>(std::move(file));
  }
  return SystemFailure(ERROR_FILE_EXISTS);
}

}  // namespace traskel
