// The call log the converter writes itself with --protokoll: for the same
// run it holds the host's own trace, operation for operation.
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
  testing::Outcome RunLogged(std::vector<std::string> args, std::vector<std::string> env = {}) {
    std::filesystem::remove(trace);
    testing::BinaryOptions o = testing::Traced(std::move(env));
    o.args = std::move(args);
    return ConverterBinary::Run("", o);
  }
  std::string log = folder.File("protokoll.txt");
};

TEST_F(CallLog, HoldsTheHostsTraceCallForCallAndWhereTheHostFailed) {
  std::filesystem::copy_file(TRASKEL_SOURCE_DIR "/examples/bauteil.csv", folder.File("b.csv"));
  folder.Write("protokoll.txt", "from an earlier run\n");

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
  const std::vector<std::string> lines = LinesOf(ReadAll(log));
  ASSERT_EQ(lines.size(), 300u);
  EXPECT_THAT(lines.back(), ::testing::EndsWith(" -> error 440 Quorvex: simulated failure of "
                                                "operation 300"));

  // A check sends the host nothing, so its log is made and stays empty.
  testing::Outcome check = RunLogged({"--pruefen", "--protokoll", log, "b.csv"});
  EXPECT_EQ(check.status, 0) << check.err;
  EXPECT_TRUE(std::filesystem::exists(log));
  EXPECT_EQ(ReadAll(log), "");
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

  // The export itself named as the log: making the log anew would empty it.
  r = RunLogged({"--protokoll", folder.File("b.csv"), "b.csv"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("Das Protokoll " + folder.File("b.csv") +
                               " kann nicht angelegt werden: es ist die Datei, die konvertiert "
                               "werden soll\n"));
  EXPECT_EQ(ReadAll(folder.File("b.csv")), "Kopf\n");
}

}  // namespace
}  // namespace traskel
