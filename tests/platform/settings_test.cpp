#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/settings.h"
#include "platform/settings_file.h"
#include "support/test_bed.h"

namespace traskel {
namespace {

constexpr const char* kRemembered = "HKLM\\SOFTWARE\\Zelvar\\Kastovel\\CSV\\LastImportFile";

using testing::ReadAll;
using testing::TempFolder;

SystemFileSystem systemFiles;

TEST(FileSettingsStore, RoundTripsAnyTextAndKeepsOtherKeys) {
  TempFolder folder;
  auto store = MakeFileSettingsStore(systemFiles, folder.path());
  const std::string odd =
      "C:\\a=b\\50%25 %zz\r\nzwei\nGr\xC3\xB6\xC3\x9F"
      "e=";
  const std::string oddKey = "HKLM\\k=1%\nx";

  EXPECT_TRUE(store->Write(kRemembered, "/home/u/teil.csv"));
  EXPECT_TRUE(store->Write("HKLM\\Other", odd));
  EXPECT_TRUE(store->Write(oddKey, "v"));
  EXPECT_TRUE(store->Write("HKLM\\Empty", ""));

  // A fresh store reads what the file holds, not what the first remembers.
  auto reader = MakeFileSettingsStore(systemFiles, folder.path());
  EXPECT_EQ(*reader->Read(kRemembered), "/home/u/teil.csv");
  EXPECT_EQ(*reader->Read("HKLM\\Other"), odd);
  EXPECT_EQ(*reader->Read(oddKey), "v");
  EXPECT_EQ(*reader->Read("HKLM\\k"), "");
  EXPECT_EQ(*reader->Read("HKLM\\Missing"), "");

  EXPECT_TRUE(store->Write(kRemembered, "/x/neu.csv"));
  EXPECT_EQ(*reader->Read(kRemembered), "/x/neu.csv");
  EXPECT_EQ(*reader->Read("HKLM\\Other"), odd);
  EXPECT_EQ(*reader->Read(oddKey), "v");

  const std::string text = ReadAll(folder / "settings");
  EXPECT_NE(text.find("HKLM\\SOFTWARE\\Zelvar\\Kastovel\\CSV\\LastImportFile=/x/neu.csv\n"),
            std::string::npos);
  EXPECT_NE(text.find("HKLM\\k%3D1%25%0Ax=v\n"), std::string::npos);
  EXPECT_EQ(text.find("/home/u/teil.csv"), std::string::npos);

  struct stat info;
  ASSERT_EQ(::stat((folder / "settings").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

TEST(FileSettingsStore, ReadsHandEditedFilesAndKeepsTheirOtherLines) {
  TempFolder folder;
  std::ofstream(folder / "settings") << "# note\nA=50%zz%4\nB=1\nB=2\n";
  auto store = MakeFileSettingsStore(systemFiles, folder.path());
  EXPECT_EQ(*store->Read("A"), "50%zz%4");
  EXPECT_EQ(*store->Read("B"), "1");

  ASSERT_TRUE(store->Write("B", "3"));
  EXPECT_EQ(ReadAll(folder / "settings"), "# note\nA=50%zz%4\nB=3\n");
}

TEST(FileSettingsStore, CreatesMissingFolders) {
  TempFolder folder;
  auto store = MakeFileSettingsStore(systemFiles, folder / "a/b");
  ASSERT_TRUE(store->Write("K", "v"));
  EXPECT_EQ(*store->Read("K"), "v");
}

TEST(FileSettingsStore, RefusesWhatItCannotStore) {
  TempFolder folder;
  // A regular file where the folder should be stops even root.
  std::ofstream(folder / "plain") << "x";
  auto blocked = MakeFileSettingsStore(systemFiles, folder / "plain");
  // The store tells why; the run reads it as nothing stored.
  EXPECT_EQ(blocked->Write("K", "v").failure().code, ENOTDIR);
  EXPECT_EQ(blocked->Read("K").failure().code, ENOTDIR);
  EXPECT_EQ(ReadAll(folder / "plain"), "x");
}

TEST(FileSettingsStore, ReadsOnlyARegularFileOfAtMostOneMebibyte) {
  // Each is read as unreadable, without blocking or growing without end,
  // and not replaced: a pipe, an endless device, a file too long.
  const std::string longer = "K=v\n" + std::string(1 << 20, '#');
  const std::pair<const char*, std::function<void(const std::string&)>> files[] = {
      {"pipe", [](const std::string& f) { ASSERT_EQ(::mkfifo(f.c_str(), 0644), 0); }},
      {"link to /dev/zero",
       [](const std::string& f) { std::filesystem::create_symlink("/dev/zero", f); }},
      {"too long", [&](const std::string& f) { std::ofstream(f) << longer; }},
  };
  for (const auto& [what, make] : files) {
    SCOPED_TRACE(what);
    TempFolder folder;
    const std::string file = folder / "settings";
    make(file);
    const auto type = std::filesystem::symlink_status(file).type();
    auto store = MakeFileSettingsStore(systemFiles, folder.path());
    EXPECT_EQ(store->ValuesFiles().at(0), file);
    EXPECT_FALSE(store->Read("K"));
    EXPECT_FALSE(store->Write("K", "w"));
    EXPECT_EQ(std::filesystem::symlink_status(file).type(), type);
  }
}

TEST(FileSettingsStore, FailedWriteKeepsTheOldFile) {
  TempFolder folder;
  auto store = MakeFileSettingsStore(systemFiles, folder.path());
  ASSERT_TRUE(store->Write("K", "old"));
  const auto onlyTheFileIsLeft = [&] {
    return std::distance(std::filesystem::directory_iterator(folder.path()), {}) == 1;
  };

  // Stops the write halfway, even for root: files may not grow past 64 bytes.
  rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 64;
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = store->Write("K", std::string(200, 'n')).ok();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(*store->Read("K"), "old");
  EXPECT_TRUE(onlyTheFileIsLeft());

  if (::geteuid() == 0) return;  // permissions do not stop root
  // A file it cannot read is not replaced: its other values would be lost.
  ASSERT_EQ(::chmod((folder / "settings").c_str(), 0200), 0);
  EXPECT_FALSE(store->Write("L", "new"));
  ASSERT_EQ(::chmod((folder / "settings").c_str(), 0644), 0);
  EXPECT_EQ(*store->Read("K"), "old");

  ASSERT_EQ(::chmod(folder.path().c_str(), 0555), 0);
  EXPECT_FALSE(store->Write("K", "new"));
  EXPECT_EQ(*store->Read("K"), "old");
  EXPECT_TRUE(onlyTheFileIsLeft());
}

// As the registry has a hive per user, the values below HKCU, in either
// spelling, go to the user's file, made with its folder when needed.
TEST(FileSettingsStore, PerUserValuesGoToTheUsersFile) {
  TempFolder machine, user;
  auto store = MakeFileSettingsStore(systemFiles, machine.path(), user / "state");
  for (const char* path : {"HKCU\\A\\B", "hkey_current_user\\C", "HKLM\\D", "HKCUX\\E", "HKCU"}) {
    EXPECT_TRUE(store->Write(path, "v")) << path;
    EXPECT_EQ(*store->Read(path), "v") << path;
  }
  EXPECT_EQ(ReadAll(user / "state/traskel"), "HKCU\\A\\B=v\nhkey_current_user\\C=v\n");
  EXPECT_EQ(ReadAll(machine / "settings"), "HKLM\\D=v\nHKCUX\\E=v\nHKCU=v\n");
  EXPECT_EQ(store->ValuesFiles(),
            (std::vector<std::string>{machine / "settings", user / "state/traskel"}));
  // The user's file names their files: theirs alone, in a folder of theirs.
  struct stat info;
  ASSERT_EQ(::stat((user / "state/traskel").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat((user / "state").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

// A key's values, not those of a key below it or beside it; removing one
// leaves the others, and one that is not there is gone already.
TEST(FileSettingsStore, ListsAndRemovesTheValuesOfOneKey) {
  TempFolder folder;
  auto store = MakeFileSettingsStore(systemFiles, folder.path());
  for (const char* path : {"HKCU\\K\\a", "HKCU\\K\\b", "HKCU\\K\\sub\\c", "HKCU\\Kx\\d"}) {
    ASSERT_TRUE(store->Write(path, path));
  }
  using Values = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(*store->List("HKCU\\K"), (Values{{"a", "HKCU\\K\\a"}, {"b", "HKCU\\K\\b"}}));
  ASSERT_TRUE(store->Remove("HKCU\\K\\a"));
  ASSERT_TRUE(store->Remove("HKCU\\K\\fehlt"));
  EXPECT_EQ(*store->List("HKCU\\K"), (Values{{"b", "HKCU\\K\\b"}}));
  EXPECT_EQ(*store->List("HKCU\\Leer"), Values{});
  EXPECT_EQ(ReadAll(folder / "traskel"),
            "HKCU\\K\\b=HKCU\\K\\b\nHKCU\\K\\sub\\c=HKCU\\K\\sub\\c\nHKCU\\Kx\\d=HKCU\\Kx\\d\n");
}

// TRASKEL_SETTINGS_DIR holds both files; without it the user's is in
// $XDG_STATE_HOME, or ~/.local/state when that is unset or not absolute.
TEST(SettingsStore, FoldersComeFromTheEnvironment) {
  TempFolder folder;
  const std::string home = folder / "home", state = folder / "state";
  const struct {
    const char *settings, *stateHome;
    std::string machineFile, userFile;
  } cases[] = {
      {folder.path().c_str(), state.c_str(), folder / "settings", folder / "traskel"},
      {nullptr, state.c_str(), "/var/lib/traskel/settings", state + "/traskel"},
      {nullptr, "relativ", "/var/lib/traskel/settings", home + "/.local/state/traskel"},
  };
  const char* names[] = {"TRASKEL_SETTINGS_DIR", "XDG_STATE_HOME", "HOME"};
  const auto set = [](const char* name, const char* value) {
    value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
  };
  std::vector<std::optional<std::string>> saved;
  for (const char* name : names) {
    const char* value = std::getenv(name);
    saved.push_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
  }
  for (const auto& c : cases) {
    set(names[0], c.settings);
    set(names[1], c.stateHome);
    set(names[2], home.c_str());
    auto store = MakeSystemSettingsStore(systemFiles);
    EXPECT_EQ(store->ValuesFiles(), (std::vector<std::string>{c.machineFile, c.userFile}));
    EXPECT_TRUE(store->Write("HKCU\\K", "v"));
    EXPECT_EQ(ReadAll(c.userFile), "HKCU\\K=v\n");
  }
  for (std::size_t i = 0; i < saved.size(); ++i)
    set(names[i], saved[i] ? saved[i]->c_str() : nullptr);
}

}  // namespace
}  // namespace traskel
