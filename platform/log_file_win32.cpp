#include <windows.h>

#include "platform/log_file.h"
#include "platform/wide_text_win32.h"

namespace traskel {

namespace {

constexpr const char* kNotAFile = "es ist keine gewöhnliche Datei";

// Others may read, replace or delete the file meanwhile.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE AsHandle(std::intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
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

}  // namespace

bool LogFile::Open(const std::string& path, Mode mode, std::string& reason) {
  Close();
  const std::wstring name = Utf16(path);
  if (mode == Mode::Append) {
    // Appending only, so writes from several objects and runs never overlap.
    HANDLE h = CreateFileW(name.c_str(), FILE_APPEND_DATA, kShareAll, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      reason = SystemErrorText(GetLastError());
      return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return true;
  }
  // A name that changes between the two opens is tried again. Reading
  // tells what the file holds, writing may empty it; a file another run
  // holds shares no writing, and the system refuses it.
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
    if (h == INVALID_HANDLE_VALUE) {
      reason = SystemErrorText(GetLastError());
      return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    path_ = path;
    created_ = created;
    // A pipe's writes wait for its reader; a device other than the null
    // device may act on them.
    const DWORD type = GetFileType(h);
    nullDevice_ = type == FILE_TYPE_CHAR && NamesNullDevice(name);
    if (type != FILE_TYPE_DISK && !nullDevice_) {
      reason = kNotAFile;
      Discard();
      return false;
    }
    return true;
  }
  reason = SystemErrorText(ERROR_FILE_EXISTS);
  return false;
}

bool LogFile::Append(std::string_view text, std::string& reason) {
  while (!text.empty()) {
    DWORD written = 0;
    const DWORD chunk = text.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(text.size());
    if (!WriteFile(AsHandle(handle_), text.data(), chunk, &written, nullptr)) {
      reason = SystemErrorText(GetLastError());
      return false;
    }
    if (written == 0) {  // no error of its own to tell
      reason = SystemErrorText(ERROR_WRITE_FAULT);
      return false;
    }
    text.remove_prefix(written);
  }
  return true;
}

bool LogFile::ReadStart(std::size_t size, std::string& bytes, std::string& reason) {
  bytes.assign(size, '\0');
  std::size_t got = 0;
  while (got < size) {
    // At the offset asked for; a later Resize sets where writing goes on.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(got);
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(size - got > 0x40000000 ? 0x40000000 : size - got);
    if (!ReadFile(AsHandle(handle_), bytes.data() + got, chunk, &n, &at)) {
      const DWORD code = GetLastError();
      if (code == ERROR_HANDLE_EOF) break;
      reason = SystemErrorText(code);
      return false;
    }
    if (n == 0) break;
    got += n;
  }
  bytes.resize(got);
  return true;
}

bool LogFile::IsReachedBy(const std::string& path) const {
  if (handle_ == kClosed) return false;
  // No access asked, so that a file held without sharing is looked at too.
  HANDLE other = CreateFileW(Utf16(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (other == INVALID_HANDLE_VALUE) return false;
  const bool same = SameFile(AsHandle(handle_), other);
  CloseHandle(other);
  return same;
}

bool LogFile::Resize(std::uint64_t length, std::string& reason) {
  if (nullDevice_) return true;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(length);
  if (SetFilePointerEx(AsHandle(handle_), at, nullptr, FILE_BEGIN) &&
      SetEndOfFile(AsHandle(handle_))) {
    return true;
  }
  reason = SystemErrorText(GetLastError());
  return false;
}

void LogFile::Discard() {
  // Only while the name leads to the file made: one put there meanwhile by
  // someone else is not ours to delete.
  const bool ours = created_ && IsReachedBy(path_);
  Close();
  if (ours) DeleteFileW(Utf16(path_).c_str());
}

void LogFile::Close() {
  if (handle_ == kClosed) return;
  CloseHandle(AsHandle(handle_));
  handle_ = kClosed;
  created_ = false;
  nullDevice_ = false;
}

}  // namespace traskel
