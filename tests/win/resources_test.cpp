// The resources of both builds' traskel.exe, read from the files as Explorer
// and the loader read them: the PE header, the application manifest, the
// icon and the version strings. This 64-bit program reads the 32-bit exe
// too, as data. The test environment names the two files:
//   TRASKEL_EXE_WIN64, TRASKEL_EXE_WIN32   Windows paths
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "traskel_version.h"

namespace {

using ::testing::HasSubstr;

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    wide.data(), static_cast<int>(wide.size()));
  wide.resize(n > 0 ? n : 0);
  return wide;
}

std::string Utf8(const std::wstring& text) {
  std::string narrow(text.size() * 3, '\0');
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                          static_cast<int>(narrow.size()), nullptr, nullptr);
  narrow.resize(n > 0 ? n : 0);
  return narrow;
}

// The exe the variable names; empty when the file is not there.
std::wstring ExeFrom(const char* variable) {
  const char* path = std::getenv(variable);
  if (path == nullptr || *path == '\0') return {};
  std::wstring wide = Wide(path);
  if (GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
  return wide;
}

// The machine and subsystem of the PE header.
struct PeHeader {
  WORD machine = 0;
  WORD optional_magic = 0;
  WORD subsystem = 0;
};

PeHeader ReadPeHeader(const std::wstring& exe) {
  PeHeader header;
  std::ifstream in(exe.c_str(), std::ios::binary);
  IMAGE_DOS_HEADER dos{};
  if (!in.read(reinterpret_cast<char*>(&dos), sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE)
    return header;
  in.seekg(dos.e_lfanew);
  DWORD signature = 0;
  IMAGE_FILE_HEADER file{};
  WORD magic = 0;
  if (!in.read(reinterpret_cast<char*>(&signature), sizeof signature) ||
      signature != IMAGE_NT_SIGNATURE || !in.read(reinterpret_cast<char*>(&file), sizeof file) ||
      !in.read(reinterpret_cast<char*>(&magic), sizeof magic))
    return header;
  header.machine = file.Machine;
  header.optional_magic = magic;
  // Subsystem sits at offset 68 of both optional header formats.
  in.seekg(dos.e_lfanew + sizeof signature + sizeof file + 68);
  in.read(reinterpret_cast<char*>(&header.subsystem), sizeof header.subsystem);
  return header;
}

// The exe loaded as an image of resources only: nothing of it runs, and a
// 32-bit file loads into this 64-bit process all the same.
class ResourceImage {
 public:
  explicit ResourceImage(const std::wstring& exe)
      : module_(LoadLibraryExW(exe.c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~ResourceImage() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  ResourceImage(const ResourceImage&) = delete;
  ResourceImage& operator=(const ResourceImage&) = delete;

  bool loaded() const { return module_ != nullptr; }

  // The resource's bytes; empty when there is none.
  std::string Bytes(LPCWSTR type, LPCWSTR name) const {
    HRSRC found = FindResourceW(module_, name, type);
    if (found == nullptr) return {};
    HGLOBAL data = LoadResource(module_, found);
    const DWORD size = SizeofResource(module_, found);
    const void* bytes = data != nullptr ? LockResource(data) : nullptr;
    if (bytes == nullptr) return {};
    return std::string(static_cast<const char*>(bytes), size);
  }

 private:
  HMODULE module_;
};

// The version resource, as Explorer's Properties read it.
class VersionInfo {
 public:
  explicit VersionInfo(const std::wstring& exe) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    if (size == 0) return;
    data_.resize(size);
    if (!GetFileVersionInfoW(exe.c_str(), 0, size, data_.data())) data_.clear();
  }

  bool present() const { return !data_.empty(); }

  const VS_FIXEDFILEINFO* Fixed() const {
    return static_cast<const VS_FIXEDFILEINFO*>(Query(L"\\"));
  }

  // "040704B0" for German in UTF-16; empty without a translation entry.
  std::wstring FirstTranslation() const {
    const WORD* pair = static_cast<const WORD*>(Query(L"\\VarFileInfo\\Translation"));
    if (pair == nullptr) return {};
    wchar_t block[9];
    swprintf(block, 9, L"%04X%04X", pair[0], pair[1]);
    return block;
  }

  std::wstring String(const std::wstring& block, const std::wstring& name) const {
    const wchar_t* text =
        static_cast<const wchar_t*>(Query(L"\\StringFileInfo\\" + block + L"\\" + name));
    return text != nullptr ? text : L"(missing)";
  }

 private:
  const void* Query(const std::wstring& path) const {
    void* value = nullptr;
    UINT length = 0;
    if (data_.empty() ||
        !VerQueryValueW(const_cast<char*>(data_.data()), path.c_str(), &value, &length) ||
        length == 0)
      return nullptr;
    return value;
  }

  std::vector<char> data_;
};

void ExpectResources(const std::wstring& exe, WORD machine, WORD optional_magic) {
  SCOPED_TRACE(Utf8(exe));

  const PeHeader pe = ReadPeHeader(exe);
  EXPECT_EQ(pe.machine, machine) << "machine type";
  EXPECT_EQ(pe.optional_magic, optional_magic) << "PE32 or PE32+";
  EXPECT_EQ(pe.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);

  ResourceImage image(exe);
  ASSERT_TRUE(image.loaded()) << "LoadLibraryExW failed: " << GetLastError();

  // The manifest the loader reads when the program starts.
  const std::string manifest = image.Bytes(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID);
  ASSERT_FALSE(manifest.empty()) << "no RT_MANIFEST resource 1";
  EXPECT_THAT(manifest, HasSubstr(R"(<requestedExecutionLevel level="asInvoker")"));
  EXPECT_THAT(manifest, HasSubstr(R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")"));
  EXPECT_THAT(manifest, HasSubstr(R"(WindowsSettings">PerMonitorV2, PerMonitor</dpiAwareness>)"));
  EXPECT_THAT(manifest, HasSubstr(R"(WindowsSettings">true/pm</dpiAware>)"));
  EXPECT_THAT(manifest, HasSubstr(R"(WindowsSettings">true</longPathAware>)"));
  for (const char* os : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",   // Windows 7
                         "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",   // Windows 8
                         "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",   // Windows 8.1
                         "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})  // Windows 10 and 11
    EXPECT_THAT(manifest, HasSubstr(std::string("<supportedOS Id=\"") + os + "\"/>"));

  // The program's icon: the first icon group, with a 256-pixel image.
  const std::string icons = image.Bytes(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
  ASSERT_GE(icons.size(), 6u) << "no icon group 1";
  // GRPICONDIR: the count at byte 4, then 14 bytes an image, width and height first (0 is 256).
  const auto byte = [&icons](std::size_t i) { return static_cast<unsigned char>(icons[i]); };
  const std::size_t count = byte(4) | byte(5) << 8;
  EXPECT_GE(count, 4u);
  bool has_256 = false;
  for (std::size_t i = 0; i < count && 6 + 14 * (i + 1) <= icons.size(); ++i)
    has_256 = has_256 || (byte(6 + 14 * i) == 0 && byte(7 + 14 * i) == 0);
  EXPECT_TRUE(has_256) << "no 256-pixel image";

  // The version, as Explorer shows it.
  VersionInfo version(exe);
  ASSERT_TRUE(version.present()) << "GetFileVersionInfoW failed: " << GetLastError();
  const VS_FIXEDFILEINFO* fixed = version.Fixed();
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, DWORD{TRASKEL_VERSION_MAJOR << 16 | TRASKEL_VERSION_MINOR});
  EXPECT_EQ(fixed->dwFileVersionLS, DWORD{TRASKEL_VERSION_PATCH << 16});
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  EXPECT_EQ(fixed->dwFileType, DWORD{VFT_APP});

  const std::wstring block = version.FirstTranslation();
  EXPECT_EQ(block, L"040704B0") << "German, UTF-16";
  const std::wstring version_text = Wide(TRASKEL_VERSION);
  const std::pair<const wchar_t*, std::wstring> strings[] = {
      {L"ProductName", L"Traskel"},
      {L"FileDescription", L"Traskel \u2013 CSV-Import nach Quorvex"},  // en dash
      {L"FileVersion", version_text},
      {L"ProductVersion", version_text},
      {L"CompanyName", L"Traskel"},
      {L"LegalCopyright", L"\u00A9 The Traskel authors, MIT License"},
      {L"OriginalFilename", L"traskel.exe"},
  };
  for (const auto& [name, expected] : strings) {
    const std::wstring got = version.String(block, name);
    EXPECT_EQ(got, expected) << Utf8(name) << ": " << Utf8(got);
    std::printf("%s: %s\n", Utf8(name).c_str(), Utf8(got).c_str());
  }
}

TEST(ExeResources, Win64BuildHasManifestIconAndVersion) {
  const std::wstring exe = ExeFrom("TRASKEL_EXE_WIN64");
  ASSERT_FALSE(exe.empty()) << "TRASKEL_EXE_WIN64 names no file";
  ExpectResources(exe, IMAGE_FILE_MACHINE_AMD64, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
}

TEST(ExeResources, Win32BuildHasManifestIconAndVersion) {
  const std::wstring exe = ExeFrom("TRASKEL_EXE_WIN32");
  if (exe.empty()) {
    GTEST_SKIP() << "the 32-bit build's traskel.exe (TRASKEL_EXE_WIN32="
                 << (std::getenv("TRASKEL_EXE_WIN32") ? std::getenv("TRASKEL_EXE_WIN32") : "")
                 << ") is not built: run cmake --preset win32 && cmake --build --preset win32";
  }
  ExpectResources(exe, IMAGE_FILE_MACHINE_I386, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
}

}  // namespace
