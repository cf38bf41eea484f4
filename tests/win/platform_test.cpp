// The Windows platform functions: path rules, files by UTF-8 name, code-page
// text, and settings kept in the registry through "WScript.Shell".
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/call_log_file.h"
#include "app/form1.h"
#include "app/implementations.h"
#include "platform/file_system.h"
#include "platform/held_file_win32.h"
#include "platform/settings.h"
#include "platform/text.h"
#include "platform/user_interface.h"
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
  SystemFileSystem files;
  Platform platform{ui, host, NumberFormat{}, files, ui.stop};
  traskel::Run run(platform);
  EXPECT_EQ(Form1Load(run, settings), kNotChosen);  // the dialog is cancelled
  ASSERT_EQ(ui.requests.size(), 1u);
  EXPECT_EQ(ui.requests[0].initialDir, "C:\\");
}

TEST(FileSystemWin32, FilesAreFoundOpenedAndRemovedByUnicodeName) {
  TempFolder folder;
  SystemFileSystem files;
  const std::string name = folder.path() + "\\Prüfteil Maß.csv";
  EXPECT_FALSE(files.Exists(name));
  std::ofstream(std::filesystem::path(Utf16(folder.path())) / L"Prüfteil Maß.csv", std::ios::binary)
      << "a\r\nb";
  EXPECT_TRUE(files.Exists(name));
  {
    auto in = files.OpenForReading(name);
    ASSERT_TRUE(in.ok()) << in.failure().reason;
    char buffer[8] = {};
    const Result<std::size_t> got = (*in)->Read(buffer, sizeof buffer);
    ASSERT_TRUE(got.ok());
    EXPECT_EQ(*got, 4u);  // CR LF kept
  }

  EXPECT_TRUE(files.Remove(name).ok());
  EXPECT_FALSE(files.Exists(name));
  // A failure carries the system's code and its text.
  const Result<void> removed = files.Remove(name);
  ASSERT_FALSE(removed.ok());
  EXPECT_EQ(removed.failure().code, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(removed.failure().reason, SystemErrorText(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(files.OpenForReading(name).failure().code, ERROR_FILE_NOT_FOUND);
}

template <typename Result>
std::optional<FailureKind> KindOf(const Result& result) {
  if (result) return std::nullopt;
  return result.failure().kind;
}

// One row per kind the system gives; what is told by it is the caller's.
// The kinds of links are in ReparsePointsAreRefusedByTheirAttribute below.
TEST(FileSystemWin32, EachFailureIsToldByItsKind) {
  TempFolder folder;
  SystemFileSystem files;
  const std::string held = folder.path() + "\\gehalten.csv", log = folder.path() + "\\neu.log";
  const std::string used = folder.Write("benutzt.csv", "");
  auto taken = files.TakeFile(held);
  auto logged = files.OpenLogFile(log, LogFile::Mode::Keep);
  ASSERT_TRUE(taken.ok() && logged.ok());
  const HANDLE other = CreateFileW(Utf16(used).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
  const std::pair<FailureKind, std::function<std::optional<FailureKind>()>> cases[] = {
      {FailureKind::Io, [&] { return KindOf(files.Remove(held)); }},
      {FailureKind::NotFound, [&] { return KindOf(files.Remove(folder.path() + "\\fehlt")); }},
      {FailureKind::NotRegular, [&] { return KindOf(files.OpenForReading("NUL")); }},
      {FailureKind::HeldByOther, [&] { return KindOf(files.TakeFile(held)); }},
      {FailureKind::InUse, [&] { return KindOf(files.TakeFile(used)); }},
      {FailureKind::NameMoved,
       [&] {
         MoveFileW(Utf16(log).c_str(), Utf16(log + ".alt").c_str());
         folder.Write("neu.log", "");
         return KindOf((*logged)->Discard());
       }},
  };
  for (const auto& [kind, fail] : cases) EXPECT_EQ(fail(), kind) << static_cast<int>(kind);
  CloseHandle(other);
}

TEST(FileSystemWin32, FoldersAndMissingNamesAreNoFiles) {
  TempFolder folder;
  SystemFileSystem files;
  EXPECT_FALSE(files.Exists(folder.path()));
  EXPECT_FALSE(files.Exists(folder.path() + "\\fehlt.csv"));
  EXPECT_FALSE(files.Exists(""));
  const std::string empty = folder.Write("leer.csv", "");
  EXPECT_TRUE(files.Exists(empty));
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
  // The bytes Windows-1252 leaves unassigned are the C1 characters of the
  // same number, as the Linux build reads them too.
  EXPECT_EQ(DecodeSystemText("\x80\x81\x8D\x8F\x90\x9D"),
            "\xE2\x82\xAC\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
}

TEST(HeldFileWin32, NoOneElseWritesOrDeletesItWhileHeld) {
  TempFolder folder;
  const std::string name = folder.path() + "\\teil.csvconf";
  SystemFileSystem files;
  auto taken = files.TakeFile(name);
  ASSERT_TRUE(taken.ok()) << taken.failure().reason;
  std::unique_ptr<HeldFile> held = std::move(*taken);
  ASSERT_TRUE(held->Clear().ok() && held->Write("a\r\nb\r\n").ok());

  // A second run is refused as busy; no one may write or delete it, anyone
  // may read it.
  EXPECT_EQ(files.TakeFile(name).failure().kind, FailureKind::HeldByOther);
  const std::wstring wide = Utf16(name);
  HANDLE writer = CreateFileW(wide.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  EXPECT_FALSE(DeleteFileW(wide.c_str()));
  // A reader must share what the hold does, deletion included.
  HANDLE reader = CreateFileW(wide.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  char seen[16] = {};
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(reader, seen, sizeof seen, &got, nullptr));
  CloseHandle(reader);
  EXPECT_EQ(std::string(seen, got), "a\r\nb\r\n");

  ASSERT_TRUE(held->Rewind().ok());
  char buffer[16] = {};
  const Result<std::size_t> read = held->Read(buffer, sizeof buffer);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(*read, 6u);
  EXPECT_TRUE(held->Remove().ok());
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(wide)));
}

TEST(HeldFileWin32, ACopyOpenInAnotherProgramIsNotTakenForAnotherRuns) {
  TempFolder folder;
  folder.Write("teil.csv", "Kopf\n");
  const std::string input = folder.path() + "\\teil.csv";
  // An editor or a virus scanner that lets others read it only.
  const HANDLE otherProgram = CreateFileW(Utf16(input + "conf").c_str(), GENERIC_READ,
                                          FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(otherProgram, INVALID_HANDLE_VALUE);
  testing::FakeUi ui;
  testing::MemorySettings settings;
  quorvex_sim::SimHost host;
  SystemFileSystem files;
  Platform platform{ui, host, NumberFormat{}, files, ui.stop};
  traskel::Run run(platform);
  EXPECT_EQ(Form1Load(run, settings, input), kNotChosen);
  CloseHandle(otherProgram);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text,
            "Error oder Abbruch in cmdSuchenDar Programm wird beendet\r\n\r\nDie Datei " + input +
                "conf wird gerade von einem anderen Programm benutzt.");
}

// The Unix name of a Windows path, from wine itself.
std::string UnixName(const std::string& path) {
  using Convert = char*(__cdecl*)(const wchar_t*);
  // Through void*: a FARPROC is no function of this type to the compiler.
  const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) return "";
  char* unix = convert(Utf16(path).c_str());
  std::string out = unix != nullptr ? unix : "";
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

// Starts a Unix program by its Windows name, as wine can. Wine gives no
// handle to wait on, so the caller watches for what the program does.
bool StartUnix(const std::wstring& program, const std::string& argument) {
  std::wstring commandLine = L"\"" + program + L"\" \"" + Utf16(argument) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// Waits until the folder lists the name, or no longer does. A pipe has no
// attributes under wine, so only the listing tells.
bool WaitForName(const std::string& name, bool listed) {
  for (int n = 0; n < 500; ++n) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(Utf16(name).c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    if ((search != INVALID_HANDLE_VALUE) == listed) return true;
    Sleep(20);
  }
  return false;
}

TEST(HeldFileWin32, HardLinksAndPipesAreRefusedUntouched) {
  TempFolder folder;
  const std::string other = folder.Write("fremd.txt", "fremd\r\n");
  const std::string name = folder.path() + "\\teil.csvconf";
  SystemFileSystem files;

  ASSERT_TRUE(CreateHardLinkW(Utf16(name).c_str(), Utf16(other).c_str(), nullptr));
  EXPECT_EQ(files.TakeFile(name).failure().kind, FailureKind::OtherNames);
  EXPECT_EQ(testing::ReadAll(other), "fremd\r\n");
  ASSERT_TRUE(DeleteFileW(Utf16(name).c_str()));

  // Windows has no named pipes in folders; wine shows a Unix one there, and
  // taking it must neither hang nor write into it.
  const std::string unixName = UnixName(name);
  ASSERT_FALSE(unixName.empty()) << "not under wine";
  ASSERT_TRUE(StartUnix(L"Z:\\usr\\bin\\mkfifo", unixName) && WaitForName(name, true));
  EXPECT_EQ(files.TakeFile(name).failure().kind, FailureKind::NotRegular);
  // Deleting it through wine would wait for a writer: Unix removes it.
  EXPECT_TRUE(StartUnix(L"Z:\\bin\\rm", unixName) && WaitForName(name, false));
}

// The log replaces only an earlier log, and never a file of the run, by
// the file the system opens; what it refuses stays as it was.
TEST(CallLogFileWin32, ReplacesOnlyAnEarlierLogAndNoneOfTheRunsFiles) {
  TempFolder folder;
  const std::string teil = folder.Write("teil.csv", "Kopf\r\n");
  const std::string fremd = folder.Write("fremd.txt", "fremd\r\n");
  const std::string frueher = folder.Write("frueher.txt", "create \"Quorvex.Application\"\n");
  const std::string hard = folder.path() + "\\hart.csv";
  ASSERT_TRUE(CreateHardLinkW(Utf16(hard).c_str(), Utf16(teil).c_str(), nullptr));
  // Another export, whose copy a run holds.
  const std::string held = folder.Write("held.csv", "Kopf\r\n");
  SystemFileSystem files;
  auto copy = files.TakeFile(held + "conf");
  ASSERT_TRUE(copy.ok()) << copy.failure().reason;
  ASSERT_TRUE((*copy)->Write("Kopf\r\n").ok());

  const std::string theExport = "es ist die Datei, die konvertiert werden soll";
  struct Case {
    std::string log;
    std::optional<std::string> named;  // on the command line
    std::string chosen;                // the export, once known
    std::string reason;                // why the log is refused; empty: it is taken
  };
  const Case cases[] = {
      {fremd, teil, teil, "die Datei gibt es schon, und sie ist kein Traskel-Protokoll"},
      {frueher, teil, teil, ""},
      {"NUL", teil, teil, ""},
      {hard, teil, teil, theExport},
      {held + "conf", held, held, SystemErrorText(ERROR_SHARING_VIOLATION)},
      // Made anew, then the copy's name of the export the dialog gave.
      {teil + "conf", std::nullopt, teil,
       "es ist die Kopie der Datei, die konvertiert werden soll"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    const std::string before = testing::ReadAll(c.log);
    CallLogFile log(files);
    Result<void> taken = log.Open(c.log, c.named, {});
    if (taken) taken = log.Start(c.chosen, {});
    const std::string message = taken ? "" : taken.failure().reason;
    EXPECT_EQ(taken.ok(), c.reason.empty()) << message;
    if (!taken) {
      EXPECT_EQ(message, "Das Protokoll " + c.log + " kann nicht angelegt werden: " + c.reason);
      EXPECT_EQ(testing::ReadAll(c.log), before);
      continue;
    }
    // Written from the start of the emptied log.
    quorvex_sim::SimHost host;
    testing::FakeUi ui;
    log.Logging(host, ui)->CreateObject("Quorvex.PointData");
    if (c.log != "NUL") {
      EXPECT_EQ(testing::ReadAll(c.log), "create \"Quorvex.PointData\" -> Obj:PointData\n");
    }
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Utf16(teil + "conf"))));
}

TEST(HeldFileWin32, ReparsePointsAreRefusedByTheirAttribute) {
  // Wine can't make them: symbolic links and junctions are told by the
  // attribute alone, whatever else the file is.
  const std::tuple<unsigned long, unsigned long, DWORD, std::optional<FailureKind>> cases[] = {
      {FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE, 1, FILE_TYPE_DISK, FailureKind::Link},
      {FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY, 1, FILE_TYPE_DISK,
       FailureKind::Link},
      {FILE_ATTRIBUTE_REPARSE_POINT, 2, FILE_TYPE_DISK, FailureKind::Link},
      {FILE_ATTRIBUTE_ARCHIVE, 1, FILE_TYPE_DISK, std::nullopt},
      {FILE_ATTRIBUTE_ARCHIVE, 3, FILE_TYPE_DISK, FailureKind::OtherNames},
      {FILE_ATTRIBUTE_DIRECTORY, 1, FILE_TYPE_DISK, FailureKind::NotRegular},
      {0, 1, FILE_TYPE_PIPE, FailureKind::NotRegular},
      {0, 1, FILE_TYPE_CHAR, FailureKind::NotRegular},
  };
  for (const auto& [attributes, links, type, kind] : cases) {
    EXPECT_EQ(ClassifyHeldFile(attributes, links, type), kind) << attributes << " " << type;
  }
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

  SystemFileSystem files;
  std::unique_ptr<SettingsStore> store = MakeSystemSettingsStore(files);
  const std::string key = "Software\\Traskel-Test-" + std::to_string(std::random_device()());
};

TEST_F(ShellSettings, WrittenValueReadsBackAndIsAStringInTheRegistry) {
  const std::string path = "HKCU\\" + key + "\\LastImportFile";
  const std::string value = "C:\\Daten\\Prüfteil Maß.csv";
  EXPECT_EQ(*store->Read(path), "");
  ASSERT_TRUE(store->Write(path, value));
  EXPECT_EQ(*store->Read(path), value);
  EXPECT_EQ(Stored(HKEY_CURRENT_USER, key, "LastImportFile"), value);
  ASSERT_TRUE(store->Write(path, "C:\\neu.csv"));
  EXPECT_EQ(*store->Read(path), "C:\\neu.csv");
}

TEST_F(ShellSettings, MissingValuesReadEmptyAndBadWritesFail) {
  // A value that is not there is no failure; a write that fails says why.
  EXPECT_EQ(*store->Read("HKCU\\" + key + "\\Fehlt"), "");
  EXPECT_FALSE(store->Read("HKXX\\Software\\Fehlt"));
  EXPECT_NE(store->Write("HKXX\\Software\\Wert", "x").failure().code, 0);
  EXPECT_EQ(Stored(HKEY_CURRENT_USER, key, "Wert"), "<none>");
}

// A key's values, not those of a key below it; removing one leaves the
// others, and one that is not there is gone already.
TEST_F(ShellSettings, ListsAndRemovesTheValuesOfOneKey) {
  const std::string below = "HKCU\\" + key;
  for (const char* name : {"a", "b", "sub\\c"})
    ASSERT_TRUE(store->Write(below + "\\" + name, name));
  using Values = std::vector<std::pair<std::string, std::string>>;
  Values listed = *store->List(below);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (Values{{"a", "a"}, {"b", "b"}}));
  ASSERT_TRUE(store->Remove(below + "\\a"));
  ASSERT_TRUE(store->Remove(below + "\\fehlt"));
  EXPECT_EQ(*store->List(below), (Values{{"b", "b"}}));
  EXPECT_EQ(*store->List(below + "\\Leer"), Values{});
}

TEST_F(ShellSettings, TheMachineSettingRoundTrips) {
  // Wine's prefix lets its owner write the per-machine hive.
  ASSERT_TRUE(store->Write(kRemembered, "C:\\Daten\\teil.csv"));
  EXPECT_EQ(*store->Read(kRemembered), "C:\\Daten\\teil.csv");
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvar\\Kastovel\\CSV", "LastImportFile"),
            "C:\\Daten\\teil.csv");
}

// The run pumps once a line: whatever waits for the thread is dispatched,
// messages posted to it as well as those sent from another thread.
TEST(UserInterfaceWin32, PumpDispatchesWhatWaits) {
  static int received = 0;
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM w, LPARAM l) -> LRESULT {
    if (message == WM_APP) ++received;
    return DefWindowProcW(window, message, w, l);
  };
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"TraskelPumpTest";
  ASSERT_NE(RegisterClassW(&windowClass), 0);
  const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0,
                                      10, 10, nullptr, nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  StopSource stop;
  const std::unique_ptr<UserInterface> ui = MakeUserInterface(stop);
  ui->PumpEvents();  // what creating the window queued
  received = 0;

  PostMessageW(window, WM_APP, 0, 0);
  PostMessageW(window, WM_APP, 0, 0);
  ui->PumpEvents();
  EXPECT_EQ(received, 2);

  // With a deadline, so that a pump that misses it fails instead of hanging.
  std::thread sender(
      [window] { SendMessageTimeoutW(window, WM_APP, 0, 0, SMTO_NORMAL, 10'000, nullptr); });
  for (int waited = 0; waited < 10'000 && HIWORD(GetQueueStatus(QS_SENDMESSAGE)) == 0; ++waited) {
    Sleep(1);
  }
  ui->PumpEvents();
  sender.join();
  EXPECT_EQ(received, 3);

  MSG left;
  EXPECT_FALSE(PeekMessageW(&left, nullptr, 0, 0, PM_NOREMOVE));
  DestroyWindow(window);
}

}  // namespace
}  // namespace traskel
