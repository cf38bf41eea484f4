// The call log the converter writes itself with --protokoll: for the same
// run it holds the host's own trace, operation for operation.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/converter_binary.h"
#include "support/test_bed.h"

namespace traskel {
namespace {

using ::testing::HasSubstr;
using testing::LinesOf;
using testing::ReadAll;

// The lines without what follows " -> ": the result or the error, which the
// host and the caller may put differently.
std::vector<std::string> Operations(const std::string& path) {
  std::vector<std::string> lines = LinesOf(ReadAll(path));
  for (std::string& line : lines) {
    if (std::size_t arrow = line.rfind(" -> "); arrow != std::string::npos) line.erase(arrow);
  }
  return lines;
}

class CallLog : public testing::ConverterBinary {
 protected:
  testing::Outcome RunLogged(std::vector<std::string> args, std::vector<std::string> env = {},
                             const std::string& answer = "") {
    std::filesystem::remove(trace);
    testing::BinaryOptions o = testing::Traced(std::move(env));
    o.args = std::move(args);
    return ConverterBinary::Run(answer, o);
  }
  std::string log = folder.File("protokoll.txt");
};

TEST_F(CallLog, HoldsTheHostsTraceCallForCallAndWhereTheHostFailed) {
  std::filesystem::copy_file(TRASKEL_SOURCE_DIR "/examples/bauteil.csv", folder.File("b.csv"));
  folder.Write("protokoll.txt", "create \"Quorvex.Application\" -> from an earlier run\n");

  // A host busy for a moment: its refusals are no lines, the repeats are.
  testing::Outcome whole = RunLogged({"--protokoll", log, "b.csv"}, {"QUORVEX_SIM_BUSY=100:300"});
  EXPECT_EQ(whole.status, 0) << whole.err;
  const std::vector<std::string> logged = Operations(log);
  EXPECT_GT(logged.size(), 400u);  // every record family of the example
  EXPECT_EQ(logged, Operations(trace));
  EXPECT_EQ(LinesOf(ReadAll(log)).front(), "create \"Quorvex.Application\" -> Obj:Application");

  // A host that fails half-way: the log ends with that operation and its error.
  testing::Outcome broken = RunLogged({"--protokoll=" + log, "b.csv"}, {"QUORVEX_SIM_FAIL_AT=300"});
  EXPECT_EQ(broken.status, 1) << broken.err;
  EXPECT_EQ(Operations(log), Operations(trace));
  // Then the failing line is named where the user watched the progress.
  const std::vector<std::string> lines = LinesOf(ReadAll(log));
  ASSERT_EQ(lines.size(), 301u);
  EXPECT_THAT(lines[299], ::testing::EndsWith(" -> error 440 Quorvex: simulated failure of "
                                              "operation 300"));
  EXPECT_THAT(lines.back(), ::testing::StartsWith("Application put 9 Str:\"Fehler in Zeile "));

  // A check sends the host nothing, so its log is made and stays empty.
  testing::Outcome check = RunLogged({"--pruefen", "--protokoll", log, "b.csv"});
  EXPECT_EQ(check.status, 0) << check.err;
  EXPECT_TRUE(std::filesystem::exists(log));
  EXPECT_EQ(ReadAll(log), "");

  // A disk full part-way through the log: the run goes on without it, and
  // the log keeps whole lines, those of the first operations.
  testing::BinaryOptions full;
  full.args = {"--protokoll", log, "--ab-zeile", "1", "b.csv"};  // not asked to go on
  full.fileSizeLimit = 4096;
  testing::Outcome cut = ConverterBinary::Run("", full);
  EXPECT_EQ(cut.status, 0) << cut.err;
  EXPECT_EQ(cut.err, "--- Traskel nach Quorvex [exclamation] ---\nDas Protokoll " + log +
                         " kann nicht weitergeschrieben werden: " + std::strerror(EFBIG) +
                         "\n\nDie Konvertierung geht ohne Protokoll weiter.\n");
  const std::vector<std::string> kept = Operations(log);
  EXPECT_EQ(kept, std::vector(logged.begin(), logged.begin() + kept.size()));
}

TEST_F(CallLog, ALogThatCannotBeMadeEndsTheRunBeforeAnythingElse) {
  folder.Write("b.csv", "Kopf\n");
  const std::string where = folder.File("fehlt/protokoll.txt");
  testing::Outcome r = RunLogged({"--protokoll", where, "b.csv"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("--- Traskel nach Quorvex [critical] ---\nDas Protokoll " + where +
                               " kann nicht angelegt werden: No such file or directory\n"));
  EXPECT_FALSE(std::filesystem::exists(trace));
  EXPECT_FALSE(std::filesystem::exists(folder.File("settings")));
  EXPECT_FALSE(std::filesystem::exists(folder.File("b.csvconf")));
}

// The log replaces only an earlier log or an empty file, and never one of
// the run's own files, however it is named; it is refused before anything
// is written, and then what was there stays as it was.
TEST_F(CallLog, ReplacesOnlyAnEarlierLogAndNoneOfTheRunsFiles) {
  namespace fs = std::filesystem;
  const std::string earlier = "create \"Quorvex.Application\" -> Obj:Application\nalt\n";
  fs::copy_file(TRASKEL_SOURCE_DIR "/examples/bauteil.csv", folder.File("b.csv"));
  fs::create_directories(folder.File("x/sub"));
  fs::create_directories(folder.File("a"));
  fs::copy_file(folder.File("b.csv"), folder.File("x/b.csv"));
  fs::create_directory_symlink("../x/sub", folder.File("a/lnk"));
  fs::create_symlink("b.csv", folder.File("lnk.csv"));
  fs::create_hard_link(folder.File("b.csv"), folder.File("hard.csv"));
  folder.Write("fremd.txt", "fremd\n");
  folder.Write("frueher.txt", earlier);
  folder.Write("leer.txt", "");
  folder.Write("settings/settings", "K=v\n");
  ASSERT_EQ(::mkfifo(folder.File("pipe").c_str(), 0644), 0);

  const std::string notALog = "die Datei gibt es schon, und sie ist kein Traskel-Protokoll";
  const std::string theExport = "es ist die Datei, die konvertiert werden soll";
  const std::string theCopy = "es ist die Kopie der Datei, die konvertiert werden soll";
  struct Case {
    std::string log;                // as named after --protokoll
    std::vector<std::string> rest;  // the arguments after it
    std::string answer;             // typed into the dialog, should it open
    std::string reason;             // why the log is refused; empty: it is taken
  };
  const Case cases[] = {
      {"fremd.txt", {"b.csv"}, "", notALog},
      // Refused before the missing export's message and the dialog.
      {"b.csv", {"fehlt.csv"}, "b.csv", notALog},
      {"frueher.txt", {"b.csv"}, "", ""},
      {"leer.txt", {"b.csv"}, "", ""},
      {"/dev/null", {"b.csv"}, "", ""},
      {"./-x", {"b.csv"}, "", ""},  // a name that begins with '-'; "-x" would be an option
      {"pipe", {"b.csv"}, "", "es ist keine gewöhnliche Datei"},
      {"b.csv", {"b.csv"}, "", theExport},
      {folder.File("b.csv"), {"b.csv"}, "", theExport},
      {"lnk.csv", {"b.csv"}, "", theExport},
      {"hard.csv", {"b.csv"}, "", theExport},
      {"a/lnk/../b.csv", {"x/b.csv"}, "", theExport},
      {"b.csvconf", {"b.csv"}, "", theCopy},
      {"settings/settings", {"b.csv"}, "", "es ist die Datei der Einstellungen"},
      // Made anew, then chosen in the dialog: deleted again.
      {"neu.csv", {}, "neu.csv", theExport},
      {"b.csvconf", {}, "b.csv", theCopy},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log + " " + (c.rest.empty() ? "(dialog)" : c.rest.front()));
    const std::string path = c.log.starts_with('/') ? c.log : folder.File(c.log);
    const bool existed = fs::exists(path);
    const std::string before = fs::is_regular_file(path) ? ReadAll(path) : "";
    const std::string settings = ReadAll(folder.File("settings/settings"));
    std::vector<std::string> args = {"--protokoll", c.log};
    args.insert(args.end(), c.rest.begin(), c.rest.end());
    testing::Outcome r = RunLogged(args, {}, c.answer);
    EXPECT_FALSE(fs::exists(folder.File("b.csvconf")));
    if (c.reason.empty()) {
      EXPECT_EQ(r.status, 0) << r.err;
      if (fs::is_regular_file(path)) {
        EXPECT_EQ(Operations(path), Operations(trace));
      }
      continue;
    }
    const std::string box = "--- Traskel nach Quorvex [critical] ---\nDas Protokoll " + c.log +
                            " kann nicht angelegt werden: " + c.reason + "\n";
    EXPECT_EQ(r.status, 2);
    if (c.rest.empty()) {
      EXPECT_THAT(r.err, ::testing::EndsWith("Datei: " + c.answer + "\n" + box));
    } else {
      EXPECT_EQ(r.err, box);  // no dialog, nor a message before the box
    }
    EXPECT_EQ(fs::exists(path), existed);
    if (fs::is_regular_file(path)) {
      EXPECT_EQ(ReadAll(path), before);
    }
    EXPECT_EQ(ReadAll(folder.File("settings/settings")), settings);
    EXPECT_EQ(ReadAll(trace), "");  // nothing reached the host
  }

  // A run that ends before its export is known made no calls: an earlier
  // log goes all the same.
  folder.Write("frueher.txt", earlier);
  testing::Outcome cancelled = RunLogged({"--protokoll", "frueher.txt"});
  EXPECT_EQ(cancelled.status, 2) << cancelled.err;
  EXPECT_EQ(ReadAll(folder.File("frueher.txt")), "");
}

}  // namespace
}  // namespace traskel
