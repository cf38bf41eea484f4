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

#include "platform/file_system.h"
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
// opened it is given that moment. The code of the refusal: kHeldByOther or
// kHeldFileInUse.
long SharingRefusal(const std::wstring& name) {
  for (int look = 0; look < 2; ++look) {
    if (look > 0) Sleep(100);
    if (HolderMarkExists(name)) return kHeldByOther;
  }
  return kHeldFileInUse;
}

Failure LastFailure() {
  return SystemFailure(static_cast<long>(GetLastError()));
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

  Result<void> Clear() override {
    if (Result<void> back = Rewind(); !back) return back;
    if (!SetEndOfFile(handle_)) return LastFailure();
    return {};
  }

  Result<void> Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      DWORD written = 0;
      if (!WriteFile(handle_, bytes.data(), chunk, &written, nullptr)) return LastFailure();
      // Nothing written, and no error of its own to tell.
      if (written == 0) return SystemFailure(ERROR_WRITE_FAULT);
      bytes.remove_prefix(written);
    }
    return {};
  }

  Result<void> Rewind() override {
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(handle_, start, nullptr, FILE_BEGIN)) return LastFailure();
    return {};
  }

  Result<std::size_t> Read(char* buffer, std::size_t size) override {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!ReadFile(handle_, buffer, want, &got, nullptr)) return LastFailure();
    return static_cast<std::size_t>(got);
  }

  Result<void> Remove() override {
    // Marked for deletion through the handle, gone when it closes; a system
    // without that deletes by name right after closing.
    FILE_DISPOSITION_INFO disposition{TRUE};
    const bool marked =
        SetFileInformationByHandle(handle_, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    Result<void> removed;
    if (!marked && !DeleteFileW(name_.c_str())) removed = LastFailure();
    if (mark_ != nullptr) CloseHandle(mark_);
    mark_ = nullptr;
    return removed;
  }

 private:
  std::wstring name_;
  HANDLE handle_;
  HANDLE mark_ = nullptr;
};

}  // namespace

long ClassifyHeldFile(unsigned long attributes, unsigned long links, unsigned long fileType) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return kHeldFileIsLink;
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0 ||
      fileType != FILE_TYPE_DISK) {
    return kHeldFileNotRegular;
  }
  if (links > 1) return kHeldFileHasOtherNames;
  return 0;
}

Result<std::unique_ptr<HeldFile>> SystemFileSystem::TakeFile(const std::string& path) {
  const std::wstring name = Utf16(path);
  // A link or a folder is refused before it is opened.
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (const long refusal = ClassifyHeldFile(attributes, 1, FILE_TYPE_DISK); refusal != 0) {
      return HeldFileRefusal(refusal);
    }
  }
  // Others may read it, never write or delete it; the reparse point itself,
  // not what it leads to, should one appear meanwhile.
  const HANDLE handle =
      CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Failure failure = LastFailure();
    if (failure.code == ERROR_SHARING_VIOLATION) failure.code = SharingRefusal(name);
    return failure;
  }
  auto file = std::make_unique<WindowsHeldFile>(name, handle);
  const DWORD type = GetFileType(handle);
  if (type != FILE_TYPE_DISK) {
    // A pipe or a device has no file information to ask for.
    return HeldFileRefusal(ClassifyHeldFile(0, 1, type));
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return LastFailure();
  if (const long refusal = ClassifyHeldFile(info.dwFileAttributes, info.nNumberOfLinks, type);
      refusal != 0) {
    return HeldFileRefusal(refusal);
  }
  file->SetMark(info);
  return std::unique_ptr<HeldFile>(std::move(file));
}

}  // namespace traskel
