// The host failing at the first operation of every kind a run makes: each
// step of connecting, then each role's get, put and call while converting.
// The operations come from a trace of a clean run, so the catalogue follows
// the converter.
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "badinput/runner.h"

namespace traskel::badinput {
namespace {

using ::testing::HasSubstr;

constexpr std::size_t kConnecting = 7;  // operations
// The step each of them belongs to, as the connection's failure names it.
constexpr const char* kConnectingSteps[kConnecting] = {
    "Quorvex.Application kann nicht erstellt werden",
    "Quorvex.PointData kann nicht erstellt werden",
    "Das aktive Messprogramm kann nicht abgefragt werden",
    "Die Befehlsliste kann nicht abgefragt werden",
    "Der erste Befehl kann nicht ausgewählt werden",
    "Der erste Befehl kann nicht ausgewählt werden",
    "Der erste Befehl kann nicht ausgewählt werden",
};

// "Cmd put 3 Str:..." -> "Cmd put 3" while connecting, "Cmd put" later.
std::string KindOf(const std::string& line, std::size_t operation) {
  std::istringstream in(line);
  std::string role, op, id;
  in >> role >> op >> id;
  if (operation <= kConnecting) return role + " " + op + " " + id;
  return role + " " + op;
}

std::string WithoutResult(const std::string& line) {
  return line.substr(0, line.find(" -> "));
}

TEST_F(BadInput, HostFailureAtEveryKindOfOperationKeepsWhatWasDone) {
  // Comments, a circle (point data by value too), a slot with its option.
  std::vector<std::string> lines(10, "Kopf");
  lines.insert(lines.end(), {"CIR,C1,1,2,3,0,0,1,,12.7,,,,,INNER,,,0.02",
                             "SLT,S1,1,2,3,0,0,1,FLAT,4,30,1,0,0,,,,0.1,,4", "HEX,H1"});
  std::string content;
  for (const auto& l : lines) content += l + "\n";

  Outcome clean = RunOn(content, Traced());
  ASSERT_EQ(clean.status, 0) << clean.err;
  const std::vector<std::string> full = testing::LinesOf(ReadAll(trace));
  std::map<std::string, std::size_t> firstOfKind;  // kind -> operation number
  for (std::size_t n = 1; n <= full.size(); ++n) firstOfKind.emplace(KindOf(full[n - 1], n), n);
  // Every role shows up with every way it is used.
  EXPECT_EQ(firstOfKind.size(), kConnecting + 11);
  for (const char* kind : {"Application put", "CMDS call", "Cmd get", "Cmd put", "Cmd call",
                           "CommentData put", "CommentData call", "FeatureData put",
                           "FeatureData call", "PointData call", "PointData put"}) {
    EXPECT_TRUE(firstOfKind.contains(kind)) << kind;
  }

  for (const auto& [kind, n] : firstOfKind) {
    SCOPED_TRACE(kind + " = operation " + std::to_string(n));
    std::filesystem::remove(trace);
    std::filesystem::remove(folder.File("teil.csvconf"));
    Outcome r = RunOn(content, Traced({"QUORVEX_SIM_FAIL_AT=" + std::to_string(n)}));

    // The host received exactly the operations up to the failing one, and
    // past the connection, the failing line named in its status text.
    std::vector<std::string> got = testing::LinesOf(ReadAll(trace));
    if (n > kConnecting) {
      ASSERT_FALSE(got.empty());
      EXPECT_THAT(got.back(), ::testing::StartsWith("Application put 9 Str:\"Fehler in Zeile "));
      got.pop_back();
    }
    ASSERT_EQ(got.size(), n);
    for (std::size_t k = 0; k + 1 < n; ++k) ASSERT_EQ(got[k], full[k]);
    EXPECT_EQ(got.back(), WithoutResult(full[n - 1]));
    EXPECT_TRUE(CopyLeft());

    if (n <= kConnecting) {
      EXPECT_EQ(r.status, 3);
      EXPECT_THAT(r.err,
                  HasSubstr("--- ERROR in fktStartQuorvex() [exclamation] ---\n" +
                            std::string(kConnectingSteps[n - 1]) +
                            ": Quorvex: simulated failure of operation " + std::to_string(n) +
                            " (Fehler 440)\n\nIst Quorvex gestartet und ein Messprogramm "
                            "geöffnet?\n"));
      EXPECT_EQ(ListedCommands(r.out), n == 1 ? -1 : 1);
      continue;
    }
    std::size_t lineNumber = 0, added = 0;
    for (std::size_t k = 0; k < n; ++k) {
      if (full[k].starts_with("Application put 9")) ++lineNumber;
      if (k + 1 < n && full[k].starts_with("CMDS call 8")) ++added;
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("Laufzeitfehler '440':"));
    EXPECT_THAT(r.err, HasSubstr("simulated failure of operation " + std::to_string(n)));
    EXPECT_THAT(r.err, HasSubstr("Zeile " + std::to_string(lineNumber) + ": " +
                                 lines.at(lineNumber - 1) + "\n"));
    EXPECT_THAT(r.err, HasSubstr("Die Kopie " + folder.File("teil.csvconf") + " bleibt erhalten"));
    // Everything added before the failure is still in the program.
    EXPECT_EQ(ListedCommands(r.out), static_cast<long>(1 + added));
  }
}

}  // namespace
}  // namespace traskel::badinput
