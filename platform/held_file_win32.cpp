// The held file of Windows: opened without write or delete sharing, so no
// other process can change or remove it while this run holds it, and deleted
// through the same handle.
#include "platform/held_file_win32.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/wide_text_win32.h"

namespace traskel {

namespace {

class WindowsHeldFile : public HeldFile {
 public:
  WindowsHeldFile(std::wstring name, HANDLE handle) : name_(std::move(name)), handle_(handle) {}
  ~WindowsHeldFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }

  bool Clear() override { return (Rewind() && SetEndOfFile(handle_)) || Fail(); }

  bool Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      DWORD written = 0;
      if (!WriteFile(handle_, bytes.data(), chunk, &written, nullptr)) return Fail();
      if (written == 0) {
        SetLastError(ERROR_WRITE_FAULT);
        return Fail();
      }
      bytes.remove_prefix(written);
    }
    return true;
  }

  bool Rewind() override {
    LARGE_INTEGER start{};
    return SetFilePointerEx(handle_, start, nullptr, FILE_BEGIN) || Fail();
  }

  std::int64_t Read(char* buffer, std::size_t size) override {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!ReadFile(handle_, buffer, want, &got, nullptr)) {
      Fail();
      return -1;
    }
    return got;
  }

  bool Remove() override {
    // Marked for deletion through the handle, gone when it closes; a system
    // without that deletes by name right after closing.
    FILE_DISPOSITION_INFO disposition{TRUE};
    const bool marked =
        SetFileInformationByHandle(handle_, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return marked || DeleteFileW(name_.c_str()) || Fail();
  }

  const std::string& error() const override { return error_; }

 private:
  bool Fail() {
    error_ = SystemErrorText(GetLastError());
    return false;
  }

  std::wstring name_;
  HANDLE handle_;
  std::string error_;
};

}  // namespace

HeldFileRefusal ClassifyHeldFile(unsigned long attributes, unsigned long links,
                                 unsigned long fileType) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return HeldFileRefusal::Link;
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0 ||
      fileType != FILE_TYPE_DISK) {
    return HeldFileRefusal::NotRegular;
  }
  if (links > 1) return HeldFileRefusal::HardLink;
  return HeldFileRefusal::None;
}

std::unique_ptr<HeldFile> TakeFile(const std::string& path, HeldFileRefusal& refusal,
                                   std::string& reason) {
  const std::wstring name = Utf16(path);
  // A link or a folder is refused before it is opened.
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    refusal = ClassifyHeldFile(attributes, 1, FILE_TYPE_DISK);
    if (refusal != HeldFileRefusal::None) return nullptr;
  }
  // Others may read it, never write or delete it; the reparse point itself,
  // not what it leads to, should one appear meanwhile.
  const HANDLE handle =
      CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    refusal = code == ERROR_SHARING_VIOLATION ? HeldFileRefusal::Busy : HeldFileRefusal::Failed;
    reason = SystemErrorText(code);
    return nullptr;
  }
  auto file = std::make_unique<WindowsHeldFile>(name, handle);
  BY_HANDLE_FILE_INFORMATION info{};
  const DWORD type = GetFileType(handle);
  if (type != FILE_TYPE_DISK) {
    // A pipe or a device has no file information to ask for.
    refusal = ClassifyHeldFile(0, 1, type);
    return nullptr;
  }
  if (!GetFileInformationByHandle(handle, &info)) {
    refusal = HeldFileRefusal::Failed;
    reason = SystemErrorText(GetLastError());
    return nullptr;
  }
  refusal = ClassifyHeldFile(info.dwFileAttributes, info.nNumberOfLinks, type);
  if (refusal != HeldFileRefusal::None) return nullptr;
  return file;
}

}  // namespace traskel
