// Exports that can't be read and copies that can't be written. Tests run as
// root, where permissions don't stop anything; those cases then run the
// converter as user nobody.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "badinput/runner.h"

namespace traskel::badinput {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kEnd = "Error oder Abbruch in cmdSuchenDar Programm wird beendet";

class Files : public BadInput {
 protected:
  // Permissions count for the converter: as nobody when we are root. False
  // when that can't be arranged.
  bool PermissionsCount(Options& o) {
    if (::geteuid() != 0) return true;
    if (::access("/usr/bin/setpriv", X_OK) != 0) return false;
    o.asNobody = true;
    fs::permissions(folder.path(), fs::perms::all);
    fs::create_directory(folder.File("settings"));
    fs::permissions(folder.File("settings"), fs::perms::all);
    return true;
  }
};

TEST_F(Files, ExportsThatAreNoFileAreRefusedBeforeAnyRead) {
  // A folder, a pipe that no one writes and a device: none is a file, none
  // may block or feed the copy for ever.
  fs::create_directory(folder.File("ordner.csv"));
  ASSERT_EQ(::mkfifo(folder.File("pipe.csv").c_str(), 0644), 0);
  fs::create_symlink("/dev/null", folder.File("geraet.csv"));
  for (const char* name : {"ordner.csv", "pipe.csv", "geraet.csv"}) {
    SCOPED_TRACE(name);
    Outcome r = Run(name, Traced());
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr("'" + folder.File(name) + "'\n\nexistiert nicht oder ist leer"));
    EXPECT_THAT(r.err, HasSubstr(kEnd));
    EXPECT_FALSE(fs::exists(folder.File(std::string(name) + "conf")));
    EXPECT_EQ(ReadAll(trace), "") << "the host was called";
  }
}

TEST_F(Files, UnreadableExportEndsWithTheReason) {
  Options o;
  if (!PermissionsCount(o)) GTEST_SKIP() << "root without setpriv: permissions can't be tested";
  const std::string path = folder.Write("teil.csv", Header());
  fs::permissions(path, fs::perms::none);
  Outcome r = Run("teil.csv", o);
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("Die Datei " + path + " kann nicht gelesen werden: "));
  EXPECT_THAT(r.err, HasSubstr(kEnd));
  EXPECT_FALSE(CopyLeft());
  EXPECT_EQ(ReadAll(path), Header());
}

TEST_F(Files, CopyThatCannotBeWrittenEndsWithTheReasonAndHarmsNothing) {
  // The copy's name is a folder: it stays, empty, and nothing reaches the host.
  fs::create_directory(folder.File("teil.csvconf"));
  Outcome r = RunOn(Header(), Traced());
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("Die Kopie " + folder.File("teil.csvconf") +
                               " kann nicht angelegt werden: "));
  EXPECT_TRUE(fs::is_directory(folder.File("teil.csvconf")));
  EXPECT_TRUE(fs::is_empty(folder.File("teil.csvconf")));
  EXPECT_EQ(ReadAll(trace), "");

  // A full disk: the write reports it, and the part written is deleted.
  fs::remove(folder.File("teil.csvconf"));
  Options full = Traced();
  full.fileSizeLimit = 4096;
  r = RunOn(Header() + std::string(300'000, 'x') + "\n", full);
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr(kEnd));
  EXPECT_THAT(r.err, HasSubstr("Die Kopie " + folder.File("teil.csvconf") +
                               " kann nicht geschrieben werden: " + std::strerror(EFBIG) +
                               "\n\nEs wurde keine Kopie angelegt.\n"));
  EXPECT_FALSE(CopyLeft());
  EXPECT_EQ(ReadAll(trace), "");

  // The copy's name is another name of the export itself: it must not be
  // emptied by writing the copy.
  fs::remove(folder.File("teil.csvconf"));
  const std::string path = folder.Write("teil.csv", Header());
  fs::create_hard_link(path, folder.File("teil.csvconf"));
  r = RunOn(Header());
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("Die Kopie " + folder.File("teil.csvconf") +
                               " kann nicht angelegt werden: "));
  EXPECT_EQ(ReadAll(path), Header());
}

TEST_F(Files, CopyNameThatIsNoPlainFileIsRefusedUntouched) {
  // What the name leads to must come out as it was: another file, the file
  // of a second name, a pipe nobody reads.
  const std::string other = folder.Write("fremd.txt", "fremd\n");
  const std::string copy = folder.File("teil.csvconf");
  struct Case {
    const char* what;
    std::function<void()> make;
    const char* reason;
  };
  const Case cases[] = {
      {"symbolic link", [&] { fs::create_symlink(other, copy); }, "ist eine Verknüpfung"},
      {"hard link", [&] { fs::create_hard_link(other, copy); },
       "ist eine weitere Verknüpfung einer anderen Datei"},
      {"pipe", [&] { ASSERT_EQ(::mkfifo(copy.c_str(), 0644), 0); }, "ist keine gewöhnliche Datei"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(copy);
    c.make();
    const auto type = fs::symlink_status(copy).type();
    Outcome r = RunOn(Header() + "HEX,H1\n", Traced());
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr(kEnd));
    EXPECT_THAT(r.err,
                HasSubstr("Die Kopie " + copy + " kann nicht angelegt werden: " + c.reason + "\n"));
    EXPECT_EQ(fs::symlink_status(copy).type(), type);
    EXPECT_EQ(ReadAll(other), "fremd\n");
    EXPECT_EQ(ReadAll(trace), "");
  }
}

TEST_F(Files, SecondRunOnTheSameExportIsRefusedAndTheFirstGoesOn) {
  const std::string content = Header() + "HEX,H1\n";
  folder.Write("teil.csv", content);
  // The first run, slowed down by its host, holds the copy while the second
  // one starts.
  Started first = Start("teil.csv", Traced({"QUORVEX_SIM_DELAY=40"}), "-1");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ReadAll(trace).find("Application put 9") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const std::string secondTrace = folder.File("second.txt");
  Outcome second = Run("teil.csv", WithEnv({"QUORVEX_SIM_TRACE=" + secondTrace}));
  std::string copyMeanwhile = ReadAll(folder.File("teil.csvconf"));
  Outcome r = Finish(first);

  EXPECT_EQ(second.status, 2);
  EXPECT_THAT(second.err,
              HasSubstr(std::string(kEnd) + "\n\nDie Datei wird gerade von einem anderen "
                                            "Traskel-Lauf konvertiert.\n"));
  EXPECT_EQ(ReadAll(secondTrace), "") << "the second run reached the host";
  // The first run's copy is left alone, and the first run converts it all.
  std::string normalised;
  for (char c : content) normalised += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(copyMeanwhile, normalised);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ListedCommands(r.out), 1 + 11);
  EXPECT_FALSE(CopyLeft());
}

TEST_F(Files, CopyInAFolderWithoutWriteRightIsRefused) {
  Options o;
  if (!PermissionsCount(o)) GTEST_SKIP() << "root without setpriv: permissions can't be tested";
  fs::create_directory(folder.File("nur-lesen"));
  const std::string path = folder.Write("nur-lesen/teil.csv", Header());
  fs::permissions(folder.File("nur-lesen"), fs::perms::owner_read | fs::perms::owner_exec |
                                                fs::perms::group_read | fs::perms::group_exec |
                                                fs::perms::others_read | fs::perms::others_exec);
  Outcome r = Run("nur-lesen/teil.csv", o);
  fs::permissions(folder.File("nur-lesen"), fs::perms::owner_all);
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("Die Kopie " + path + "conf kann nicht angelegt werden: "));
  EXPECT_THAT(r.err, Not(HasSubstr("Laufzeitfehler")));
  EXPECT_FALSE(fs::exists(path + "conf"));
  EXPECT_EQ(ReadAll(path), Header());
}

}  // namespace
}  // namespace traskel::badinput
