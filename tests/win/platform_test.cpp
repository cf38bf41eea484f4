// The Windows platform functions: path rules, files by UTF-8 name, code-page
// text, and settings kept in the registry through "WScript.Shell".
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/form1.h"
#include "platform/file_system.h"
#include "platform/settings.h"
#include "platform/text.h"
#include "platform/wide_text_win32.h"
#include "support/test_bed.h"

namespace traskel {
namespace {

constexpr const char* kRemembered = "HKLM\\SOFTWARE\\Zelvar\\Kastovel\\CSV\\LastImportFile";

using testing::TempFolder;

TEST(FileSystemWin32, SplitPathFromFileKeepsDrivesAndShares) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Daten\\teil.csv", "C:\\Daten"},
      {"C:\\teil.csv", "C:"},
      {"C:teil.csv", "C:"},
      {"teil.csv", ""},
      {"", ""},
      {"\\\\server\\share\\teil.csv", "\\\\server\\share"},
      {"C:\\Daten\\", "C:\\Daten"},
      {"C:\\Prüfung\\Maße\\teil.csv", "C:\\Prüfung\\Maße"},
      // The dialog gives backslashes only; a slash is no separator.
      {"C:/Daten/teil.csv", "C:"},
  };
  for (const auto& [file, folder] : cases) EXPECT_EQ(SplitPathFromFile(file), folder) << file;
}

TEST(FileSystemWin32, TheDialogStartsAtTheRootOfABareDrive) {
  // The remembered C:\teil.csv keeps its folder part "C:", which Windows
  // reads as drive C's current folder; the dialog is to open in its root.
  const std::pair<const char*, const char*> cases[] = {
      {"C:", "C:\\"},
      {"d:", "d:\\"},
      {"C:\\Daten", "C:\\Daten"},
      {"\\\\server\\share", "\\\\server\\share"},
      {"", ""},
  };
  for (const auto& [folder, start] : cases) EXPECT_EQ(DialogStartFolder(folder), start) << folder;

  // And that is where the run's dialog opens.
  testing::FakeUi ui;
  testing::MemorySettings settings;
  settings.values[kRemembered] = "C:\\teil.csv";
  quorvex_sim::SimHost host;
  Platform platform{ui, host, NumberFormat{}};
  traskel::Run run(platform);
  EXPECT_EQ(Form1Load(run, settings), kNotChosen);  // the dialog is cancelled
  ASSERT_EQ(ui.requests.size(), 1u);
  EXPECT_EQ(ui.requests[0].initialDir, "C:\\");
}

TEST(FileSystemWin32, FilesAreFoundOpenedAndRemovedByUnicodeName) {
  TempFolder folder;
  const std::string name = folder.path() + "\\Prüfteil Maß.csv";
  EXPECT_FALSE(FileExists(name));
  {
    File out = OpenBinary(name, "wb");
    ASSERT_NE(out, nullptr);
    std::fputs("a\r\nb", out.get());
  }
  // The name on disk is the one meant, not its bytes in some code page.
  EXPECT_TRUE(
      std::filesystem::exists(std::filesystem::path(Utf16(folder.path())) / L"Prüfteil Maß.csv"));
  EXPECT_TRUE(FileExists(name));
  {
    File in = OpenBinary(name, "rb");
    ASSERT_NE(in, nullptr);
    char buffer[8] = {};
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, in.get()), 4u);  // binary: CR LF kept
  }

  EXPECT_TRUE(RemoveFile(name));
  EXPECT_FALSE(FileExists(name));
  EXPECT_FALSE(RemoveFile(name));
  const std::string removeError = LastFileError();
  EXPECT_FALSE(removeError.empty());
  EXPECT_EQ(OpenBinary(name, "rb"), nullptr);
  EXPECT_EQ(LastFileError(), std::strerror(ENOENT));  // the latest failure speaks
  EXPECT_NE(removeError, std::strerror(0));
}

TEST(FileSystemWin32, FoldersAndMissingNamesAreNoFiles) {
  TempFolder folder;
  EXPECT_FALSE(FileExists(folder.path()));
  EXPECT_FALSE(FileExists(folder.path() + "\\fehlt.csv"));
  EXPECT_FALSE(FileExists(""));
  const std::string empty = folder.Write("leer.csv", "");
  EXPECT_TRUE(FileExists(empty));
}

TEST(FileSystemWin32, CodePageTextBecomesUtf8) {
  EXPECT_EQ(DecodeCodePageText("Gr\xFC\xDF Gott", 1252), "Grüß Gott");
  EXPECT_EQ(DecodeCodePageText("plain", 1252), "plain");
  EXPECT_EQ(DecodeCodePageText("\x82\xA0", 932), "あ");
  // A lead byte without its trail, at the end or before a byte that can't
  // follow it, is lost alone.
  EXPECT_EQ(DecodeCodePageText("a\x82", 932), "a\xEF\xBF\xBD");
  EXPECT_EQ(DecodeCodePageText("\x82\x20"
                               "b",
                               932),
            "\xEF\xBF\xBD b");
  // The tests run with wine's code page for a Western European locale.
  ASSERT_EQ(GetACP(), 1252u);
  EXPECT_EQ(DecodeSystemText("Ma\xDF: 5 \xB5m"), "Maß: 5 µm");
}

// A registry key of the test's own, removed afterwards.
class ShellSettings : public ::testing::Test {
 protected:
  ~ShellSettings() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, Utf16(key).c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelvar");
  }
  // What the registry itself holds, bypassing the shell object.
  static std::string Stored(HKEY root, const std::string& subkey, const std::string& name) {
    wchar_t buffer[512];
    DWORD size = sizeof buffer;
    if (RegGetValueW(root, Utf16(subkey).c_str(), Utf16(name).c_str(), RRF_RT_REG_SZ, nullptr,
                     buffer, &size) != ERROR_SUCCESS) {
      return "<none>";
    }
    return Utf8(buffer);
  }

  std::unique_ptr<SettingsStore> store = MakeSystemSettingsStore();
  const std::string key = "Software\\Traskel-Test-" + std::to_string(std::random_device()());
};

TEST_F(ShellSettings, WrittenValueReadsBackAndIsAStringInTheRegistry) {
  const std::string path = "HKCU\\" + key + "\\LastImportFile";
  const std::string value = "C:\\Daten\\Prüfteil Maß.csv";
  EXPECT_EQ(store->ReadSetting(path), "");
  ASSERT_TRUE(store->WriteSetting(path, value));
  EXPECT_EQ(store->ReadSetting(path), value);
  EXPECT_EQ(Stored(HKEY_CURRENT_USER, key, "LastImportFile"), value);
  ASSERT_TRUE(store->WriteSetting(path, "C:\\neu.csv"));
  EXPECT_EQ(store->ReadSetting(path), "C:\\neu.csv");
}

TEST_F(ShellSettings, MissingValuesReadEmptyAndBadWritesFail) {
  EXPECT_EQ(store->ReadSetting("HKCU\\" + key + "\\Fehlt"), "");
  EXPECT_EQ(store->ReadSetting("HKXX\\Software\\Fehlt"), "");
  EXPECT_FALSE(store->WriteSetting("HKXX\\Software\\Wert", "x"));
  EXPECT_EQ(Stored(HKEY_CURRENT_USER, key, "Wert"), "<none>");
}

TEST_F(ShellSettings, TheMachineSettingRoundTrips) {
  // Wine's prefix lets its owner write the per-machine hive.
  ASSERT_TRUE(store->WriteSetting(kRemembered, "C:\\Daten\\teil.csv"));
  EXPECT_EQ(store->ReadSetting(kRemembered), "C:\\Daten\\teil.csv");
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvar\\Kastovel\\CSV", "LastImportFile"),
            "C:\\Daten\\teil.csv");
}

}  // namespace
}  // namespace traskel
