// File functions of Windows: '\' separates, a drive's ':' ends a folder part,
// names are UTF-16 at the API, and the system's text is in its ANSI code page.
//
// Only '\' is taken as a separator: the paths split here come from the open
// dialog, directly or through the remembered setting, and it always gives
// backslashes.
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "app/file_system.h"
#include "app/file_system_win32.h"
#include "host/wide_text_win32.h"

namespace traskel {

namespace {

// The system error of the last failing Windows file call; 0 when the last
// failure set the C library's errno instead.
thread_local DWORD lastSystemError = 0;

}  // namespace

std::string SplitPathFromFile(const std::string& file) {
  std::string s = file;
  while (!s.empty() && s.back() != ':' && s.back() != '\\') s.pop_back();
  if (!s.empty() && s.back() == '\\') s.pop_back();
  return s;
}

bool FileExists(const std::string& file) {
  if (file.empty()) return false;
  WIN32_FILE_ATTRIBUTE_DATA data;
  // A device would never end the copy's read.
  return GetFileAttributesExW(Utf16(file).c_str(), GetFileExInfoStandard, &data) &&
         (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

std::FILE* OpenBinary(const std::string& path, const char* mode) {
  lastSystemError = 0;
  return _wfopen(Utf16(path).c_str(), Utf16(mode).c_str());
}

bool RemoveFile(const std::string& path) {
  if (DeleteFileW(Utf16(path).c_str())) {
    lastSystemError = 0;
    return true;
  }
  lastSystemError = GetLastError();
  return false;
}

std::string LastFileError() {
  if (lastSystemError == 0) return std::strerror(errno);
  const std::string text = SystemMessage(lastSystemError);
  if (text.empty()) return "System error " + std::to_string(lastSystemError);
  return text;
}

std::string DecodeCodePageText(const std::string& bytes, UINT codePage) {
  // Every ANSI code page keeps ASCII as it is, so a line of ASCII, the usual
  // case, needs no decoding.
  std::size_t first = 0;
  while (first < bytes.size() && static_cast<unsigned char>(bytes[first]) < 0x80) ++first;
  if (first == bytes.size()) return bytes;

  const char* rest = bytes.data() + first;
  const int restLength = static_cast<int>(bytes.size() - first);
  std::wstring wide(bytes.size() - first, L'\0');
  int whole = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, rest, restLength, wide.data(),
                                  static_cast<int>(wide.size()));
  if (whole > 0) {
    wide.resize(static_cast<std::size_t>(whole));
    return bytes.substr(0, first) + Utf8(wide);
  }
  wide.clear();
  std::size_t i = first;
  while (i < bytes.size()) {
    // One character at a time: one byte, or two after a lead byte.
    std::size_t length =
        IsDBCSLeadByteEx(codePage, static_cast<BYTE>(bytes[i])) && i + 1 < bytes.size() ? 2 : 1;
    wchar_t out[2];
    int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data() + i,
                                static_cast<int>(length), out, 2);
    if (n <= 0 && length == 2) {
      // A lead byte whose trail does not fit: only the lead is lost.
      length = 1;
      n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data() + i, 1, out, 2);
    }
    if (n > 0) {
      wide.append(out, static_cast<std::size_t>(n));
    } else {
      wide += L'\xFFFD';
    }
    i += length;
  }
  return bytes.substr(0, first) + Utf8(wide);
}

std::string DecodeSystemText(const std::string& bytes) {
  return DecodeCodePageText(bytes, CP_ACP);
}

}  // namespace traskel
