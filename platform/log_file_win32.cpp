#include <windows.h>

#include "platform/log_file.h"
#include "platform/wide_text_win32.h"

namespace traskel {

namespace {

HANDLE AsHandle(std::intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

}  // namespace

bool LogFile::Open(const std::string& path, Mode mode, std::string& reason) {
  Close();
  // Appending only, so writes from several objects and runs never overlap;
  // others may read, replace or delete the file meanwhile. A file made anew
  // has one writer, and truncating it takes write access.
  HANDLE h = CreateFileW(
      Utf16(path).c_str(), mode == Mode::Replace ? GENERIC_WRITE : FILE_APPEND_DATA,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      mode == Mode::Replace ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    reason = SystemErrorText(GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
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

void LogFile::Close() {
  if (handle_ == kClosed) return;
  CloseHandle(AsHandle(handle_));
  handle_ = kClosed;
}

}  // namespace traskel
