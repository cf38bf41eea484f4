#include <windows.h>

#include "platform/wide_text_win32.h"
#include "quorvex_sim/trace_file.h"

namespace quorvex_sim {

namespace {

std::string SystemReason(DWORD error) {
  std::string text = traskel::SystemMessage(error);
  return text.empty() ? "system error " + std::to_string(error) : text;
}

HANDLE AsHandle(std::intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

}  // namespace

bool TraceFile::Open(const std::string& path, std::string& reason) {
  Close();
  // Appending only, so writes from several objects and runs never overlap;
  // others may read, replace or delete the file meanwhile.
  HANDLE h = CreateFileW(traskel::Utf16(path).c_str(), FILE_APPEND_DATA,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    reason = SystemReason(GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

bool TraceFile::Append(std::string_view text, std::string& reason) {
  while (!text.empty()) {
    DWORD written = 0;
    const DWORD chunk = text.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(text.size());
    if (!WriteFile(AsHandle(handle_), text.data(), chunk, &written, nullptr) || written == 0) {
      reason = SystemReason(GetLastError());
      return false;
    }
    text.remove_prefix(written);
  }
  return true;
}

void TraceFile::Close() {
  if (handle_ == kClosed) return;
  CloseHandle(AsHandle(handle_));
  handle_ = kClosed;
}

}  // namespace quorvex_sim
