// The held file of Windows: opened without write or delete sharing, so no
// other process can change or remove it while it is held, and deleted
// through the same handle. Beside it the holder owns a named mutex, the
// holder's mark, named after the file's identity: when the file can't be
// opened for sharing reasons, the mark tells another holder from any other
// program that has it open.
#include "platform/held_file_win32.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>

#include "platform/wide_text_win32.h"

namespace traskel {

namespace {

// The name of the holder's mark of a file: the same for every name of the
// file, and seen from every session.
std::wstring MarkName(const BY_HANDLE_FILE_INFORMATION& info) {
  wchar_t name[64];
  std::swprintf(name, sizeof name / sizeof name[0], L"Global\\traskel-held-%08lx-%08lx%08lx",
                info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow);
  return name;
}

// Whether a holder has the file at name. Opening it for its attributes
// alone passes every sharing mode.
bool HolderMarkExists(const std::wstring& name) {
  const HANDLE handle = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
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
HeldFileRefusal SharingRefusal(const std::wstring& name) {
  for (int look = 0; look < 2; ++look) {
    if (look > 0) Sleep(100);
    if (HolderMarkExists(name)) return HeldFileRefusal::HeldByOther;
  }
  return HeldFileRefusal::InUse;
}

class WindowsHeldFile : public HeldFile {
 public:
  WindowsHeldFile(std::wstring name, HANDLE handle) : name_(std::move(name)), handle_(handle) {}
  // The file is let go of before the mark, so that a refusal while the file
  // is open always finds the mark.
  ~WindowsHeldFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    if (mark_ != nullptr) CloseHandle(mark_);
  }

  // Without a mark the file is held all the same; others then take the
  // holder for some other program.
  void SetMark(const BY_HANDLE_FILE_INFORMATION& info) {
    mark_ = CreateMutexW(nullptr, FALSE, MarkName(info).c_str());
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
    const bool removed = marked || DeleteFileW(name_.c_str()) || Fail();
    if (mark_ != nullptr) CloseHandle(mark_);
    mark_ = nullptr;
    return removed;
  }

  const std::string& error() const override { return error_; }

 private:
  bool Fail() {
    error_ = SystemErrorText(GetLastError());
    return false;
  }

  std::wstring name_;
  HANDLE handle_;
  HANDLE mark_ = nullptr;
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
    refusal = code == ERROR_SHARING_VIOLATION ? SharingRefusal(name) : HeldFileRefusal::Failed;
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
  file->SetMark(info);
  return file;
}

}  // namespace traskel
