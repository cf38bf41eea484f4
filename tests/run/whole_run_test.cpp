// Whole runs from the file dialog to the deleted copy, traced call by call.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/form1.h"
#include "platform/settings.h"
#include "support/expected_trace.h"
#include "support/test_bed.h"

namespace traskel {
namespace {

using testing::Comment;
using ::testing::ElementsAreArray;
using testing::Expected;
using ::testing::HasSubstr;
using testing::Header;
using testing::Join;
using testing::kConnect;
using testing::Lines;
using testing::ReadAll;
using testing::TempFolder;
using testing::TestBed;
using testing::WithoutResults;

const std::string kConvertAgain =
    "\r\n\r\nWer die Datei korrigiert und erneut konvertiert, erhält alle übrigen Befehle ein "
    "zweites Mal.";

class WholeRun : public ::testing::Test {
 protected:
  ExitStatus RunOn(const std::string& content, TestBed& target) {
    input = folder.Write("teil.csv", content);
    target.ui.answers.push_back(input);
    return Form1Load(target.run, target.settings);
  }
  ExitStatus RunOn(const std::string& content) { return RunOn(content, bed); }
  Lines Trace() { return WithoutResults(bed.trace); }
  bool CopyExists() { return std::filesystem::exists(input + "conf"); }

  TempFolder folder;
  TestBed bed;
  std::string input;
};

TEST_F(WholeRun, HeaderCommentsMarkedCommentsAndSkippedKeys) {
  Lines lines = Header();
  lines.insert(lines.end(), {"HEX,H1,1,2,3", "  UDF,U1, \"x\" ,$$  ", "pt,P1,1,2,3", "", "XYZ,1",
                             "hex,H2", "UDF"});
  std::vector<Lines> records = {
      Comment("$$ HEX $$ - HEX,H1,1,2,3"), Comment("$$ UDF $$ - UDF,U1, \"x\" ,$$"), {}, {}, {}, {},
      Comment("$$ UDF $$ - UDF")};
  EXPECT_EQ(RunOn(Join(lines, "\n")), kLinesNotTaken);
  EXPECT_THAT(Trace(), ElementsAreArray(Expected(lines, records)));
  ASSERT_EQ(bed.ui.messages.size(), 1u);
  EXPECT_EQ(bed.ui.messages[0].text,
            "3 von 6 Datenzeilen wurden nicht übernommen (unbekannter Typ):\r\n\r\n"
            "Zeile 13: pt,P1,1,2,3 (gemeint: PT?)\r\nZeile 15: XYZ,1\r\nZeile 16: hex,H2 "
            "(gemeint: HEX?)" +
                kConvertAgain);
  EXPECT_EQ(bed.ui.messages[0].title, "Traskel nach Quorvex");
  EXPECT_EQ(bed.ui.messages[0].icon, Icon::Exclamation);
  EXPECT_FALSE(CopyExists());
  EXPECT_EQ(bed.settings.values[kLastImportFileSetting], input);
  EXPECT_EQ(bed.ui.pumps, static_cast<int>(lines.size()));
}

TEST_F(WholeRun, LinesNotTakenOverAreCountedShownAndExplained) {
  // Twelve unknown keys among fourteen records: the first ten are shown, a
  // long one cut after 80 characters.
  Lines lines = Header();
  const std::string longLine = "Bemerkung: " + std::string(68, 'x') + "\xC3\xA4\xC3\xB6\xC3\xBC";
  lines.insert(lines.end(), {"HEX,H1", longLine, "UDF,U1"});
  for (int n = 1; n <= 11; ++n) lines.push_back("XYZ," + std::to_string(n));
  EXPECT_EQ(RunOn(Join(lines, "\n")), kLinesNotTaken);
  ASSERT_EQ(bed.ui.messages.size(), 1u);
  std::string expected =
      "12 von 14 Datenzeilen wurden nicht übernommen (unbekannter Typ):\r\n\r\n"
      "Zeile 12: Bemerkung: " +
      std::string(68, 'x') + "\xC3\xA4…";
  for (int n = 1; n <= 9; ++n) {
    expected += "\r\nZeile " + std::to_string(13 + n) + ": XYZ," + std::to_string(n);
  }
  EXPECT_EQ(bed.ui.messages[0].text, expected + "\r\n…" + kConvertAgain);
  EXPECT_FALSE(CopyExists());

  // Semicolons and tabs where commas belong get a word of their own, the
  // semicolon first.
  TestBed separated;
  Lines other = Header();
  other.insert(other.end(), {"PT\tP1\t1\t2\t3", "PT;P2;1;2;3", "PT,P3,1,2,3,0,0,1,,,,,,,,,,1"});
  EXPECT_EQ(RunOn(Join(other, "\n"), separated), kLinesNotTaken);
  ASSERT_EQ(separated.ui.messages.size(), 1u);
  EXPECT_EQ(
      separated.ui.messages[0].text,
      "2 von 3 Datenzeilen wurden nicht übernommen (unbekannter Typ):\r\n\r\n"
      "Zeile 11: PT\tP1\t1\t2\t3\r\nZeile 12: PT;P2;1;2;3\r\n\r\n"
      "Die Datei scheint mit Semikolon statt Komma getrennt zu sein; Traskel erwartet "
      "Kommas.\r\n\r\n"
      "Die Datei scheint mit Tabulator statt Komma getrennt zu sein; Traskel erwartet Kommas." +
          kConvertAgain);
  EXPECT_EQ(separated.host.commands().size(), 1u + 10 + 1);

  // A tab before the key is no separator but a word of its own; one line
  // left out of one.
  TestBed tabbed;
  Lines one = Header();
  one.push_back("\tPT,P1");
  ASSERT_EQ(RunOn(Join(one, "\n"), tabbed), kLinesNotTaken);
  EXPECT_EQ(tabbed.ui.messages.at(0).text,
            "1 von 1 Datenzeile wurde nicht übernommen (unbekannter Typ):\r\n\r\n"
            "Zeile 11: \tPT,P1\r\n\r\nZeile 11 beginnt mit einem Tabulator." +
                kConvertAgain);
}

TEST_F(WholeRun, CrLfInputAndMissingFinalLineFeedLoseNothing) {
  Lines lines = Header();
  lines.push_back("HEX,last");
  std::vector<Lines> records = {Comment("$$ HEX $$ - HEX,last")};
  const Lines expected = Expected(lines, records);

  std::string lf = Join(lines, "\n");
  for (const std::string& content : {Join(lines, "\r\n"), lf.substr(0, lf.size() - 1)}) {
    TestBed fresh;
    EXPECT_EQ(RunOn(content, fresh), kConverted);
    EXPECT_THAT(WithoutResults(fresh.trace), ElementsAreArray(expected));
  }
}

TEST_F(WholeRun, ShortAndEmptyFilesGiveOnlyComments) {
  const std::string noData = "Die Datei enthält keine Datenzeilen.";
  Lines lines = {"PT,P1,1,2,3,0,0,1,,,,,,,,,,1", "", "zwei"};
  EXPECT_EQ(RunOn(Join(lines, "\n")), kLinesNotTaken);
  EXPECT_THAT(Trace(), ElementsAreArray(Expected(lines, {})));
  ASSERT_EQ(bed.ui.messages.size(), 1u);
  EXPECT_EQ(bed.ui.messages[0].text, noData);
  EXPECT_EQ(bed.ui.messages[0].title, "Traskel nach Quorvex");
  EXPECT_EQ(bed.ui.messages[0].icon, Icon::Exclamation);

  // Empty, or with empty record lines only.
  for (const std::string& content : {std::string(), Join(Header(), "\n") + "\n  \n"}) {
    TestBed empty;
    EXPECT_EQ(RunOn(content, empty), kLinesNotTaken);
    ASSERT_EQ(empty.ui.messages.size(), 1u);
    EXPECT_EQ(empty.ui.messages[0].text, noData);
    EXPECT_FALSE(CopyExists());
    if (content.empty()) {
      EXPECT_THAT(WithoutResults(empty.trace), ElementsAreArray(kConnect));
    }
  }
}

TEST_F(WholeRun, ByteOrderMarkNeverReachesTheFirstComment) {
  EXPECT_EQ(RunOn("\xEF\xBB\xBFKopf\n"), kLinesNotTaken);
  EXPECT_THAT(Trace(), ElementsAreArray(Expected({"Kopf"}, {})));
}

TEST_F(WholeRun, BytesThatAreNoUtf8AreReadAsWindows1252) {
  EXPECT_EQ(RunOn("Teil \xFF\xFE Ende\n"), kLinesNotTaken);
  EXPECT_THAT(Trace(), ::testing::Contains(HasSubstr("Teil \xC3\xBF\xC3\xBE Ende")));
}

TEST_F(WholeRun, BadFieldEndsTheRunNamingLineAndField) {
  Lines lines = Header();
  lines.insert(lines.end(), {"PT,P1,1,2,3,0,0,1,,,,,,,,,,1", "CIR,C1,1,zwei,3,0,0,1,,10",
                             "PT,P3,1,2,3,0,0,1,,,,,,,,,,1"});
  EXPECT_EQ(RunOn(Join(lines, "\n")), kRunFailed);
  ASSERT_EQ(bed.ui.messages.size(), 1u);
  const auto& m = bed.ui.messages[0];
  EXPECT_EQ(m.icon, Icon::Critical);
  EXPECT_THAT(m.text, HasSubstr("Laufzeitfehler '13':\r\n\r\nTypen unverträglich\r\n"));
  EXPECT_THAT(m.text, HasSubstr("Zeile 12: CIR,C1,1,zwei,3,0,0,1,,10"));
  EXPECT_THAT(m.text, HasSubstr("\r\nFeld 4 (Y): \"zwei\" ist keine Zahl\r\n"));
  // The copy stays, the last status names the failing line, and the
  // commands made so far stay: ten comments, the point, the new circle.
  EXPECT_TRUE(CopyExists());
  EXPECT_THAT(bed.host.statusText(), HasSubstr("Bearbeite Zeile: CIR,C1"));
  const auto& commands = bed.host.commands();
  ASSERT_EQ(commands.size(), 1u + 10 + 2);
  EXPECT_EQ(commands.back().typeCode, 612);
  EXPECT_EQ(commands.back().label, "C1");
}

TEST_F(WholeRun, HostFailureHalfWayIsReportedWithItsNumberAndLine) {
  // 7 calls connect, line 1 takes 6, line 2 puts its status: the 15th call
  // is the first of the second comment.
  TestBed failing(testing::FailingAt(15));
  EXPECT_EQ(RunOn(Join(Header(), "\n"), failing), kRunFailed);
  ASSERT_EQ(failing.ui.messages.size(), 1u);
  EXPECT_THAT(failing.ui.messages[0].text,
              HasSubstr("Laufzeitfehler '440':\r\n\r\nAutomatisierungsfehler\r\n"
                        "Quorvex: simulated failure of operation 15\r\n"));
  EXPECT_THAT(failing.ui.messages[0].text, HasSubstr("Zeile 2: Datum,2026-12-01"));
  EXPECT_TRUE(CopyExists());
}

TEST_F(WholeRun, CopyChangedDuringTheRunIsReadOnlyAsWritten) {
  // Lines of a thousand bytes: the copy is many times what is read ahead.
  Lines lines = Header();
  for (int n = 0; n < 300; ++n) lines.push_back("HEX," + std::string(996, 'a' + n % 26));
  const std::string copy = Join(lines, "\r\n");
  const std::string copyPath = folder.File("teil.csvconf");

  // Cut short while the first line is converted: the run ends at the line
  // where reading stopped, and says how much of the copy it got.
  bed.ui.onPump = [&] {
    if (bed.ui.pumps == 1) std::filesystem::resize_file(copyPath, copy.size() / 2 + 17);
  };
  EXPECT_EQ(RunOn(Join(lines, "\n")), kRunFailed);
  ASSERT_EQ(bed.ui.messages.size(), 1u);
  const std::string& text = bed.ui.messages[0].text;
  std::smatch read;
  ASSERT_TRUE(std::regex_search(text, read, std::regex("gelesen: (\\d+) Bytes")));
  const std::size_t got = std::stoul(read[1]);
  ASSERT_LT(got, copy.size());
  const std::size_t lineStart = copy.rfind("\r\n", got - 1) + 2;
  const std::size_t lineNumber = std::count(copy.begin(), copy.begin() + lineStart, '\n') + 1;
  EXPECT_THAT(
      text, ::testing::StartsWith("Laufzeitfehler '75':\r\n\r\nFehler beim Zugriff auf Pfad/Datei"
                                  "\r\n\r\nZeile " +
                                  std::to_string(lineNumber) + ": " + copy.substr(lineStart, 40)));
  EXPECT_THAT(text,
              HasSubstr("\r\nDie Kopie " + copyPath +
                        " wurde während der Konvertierung verändert (geschrieben: " +
                        std::to_string(copy.size()) + " Bytes, gelesen: " + std::to_string(got) +
                        " Bytes).\r\n\r\nDie Kopie " + copyPath + " bleibt erhalten"));
  EXPECT_TRUE(CopyExists());
  EXPECT_EQ(bed.host.commands().size(), lineNumber);  // START and every line before

  // Bytes added meanwhile are never converted.
  TestBed grown;
  grown.ui.onPump = [&] {
    if (grown.ui.pumps == 1) std::ofstream(copyPath, std::ios::app) << "HEX,fremd\r\n";
  };
  EXPECT_EQ(RunOn(Join(lines, "\n"), grown), kConverted);
  EXPECT_EQ(grown.host.commands().size(), 1 + lines.size());
  EXPECT_FALSE(CopyExists());
}

TEST_F(WholeRun, HostStatesEachGiveTheirMessagesAndKeepTheCopy) {
  struct Case {
    quorvex_sim::State state;
    std::vector<std::string> texts;
  };
  // The last message names the step whose call failed: after a missing
  // object, the next step's call on it.
  const std::string notSet = ": Objektvariable nicht festgelegt (Fehler 91)";
  const Case cases[] = {
      {quorvex_sim::State::Absent,
       {"Quorvex.Application kann nicht erstellt werden: ActiveX component can't create object "
        "(Fehler 429)"}},
      {quorvex_sim::State::NoProgram,
       {"Kein aktives Messprogramm geöffnet",
        "Die Befehlsliste kann nicht abgefragt werden" + notSet}},
      {quorvex_sim::State::NoCommands,
       {"CMDS ist leer", "Der erste Befehl kann nicht ausgewählt werden" + notSet}},
  };
  for (const auto& c : cases) {
    TestBed host(testing::InState(c.state));
    EXPECT_EQ(RunOn("Kopf\n", host), kNotConnected);
    ASSERT_EQ(host.ui.messages.size(), c.texts.size());
    for (std::size_t i = 0; i + 1 < c.texts.size(); ++i) {
      EXPECT_EQ(host.ui.messages[i].text, c.texts[i]);
      EXPECT_EQ(host.ui.messages[i].title, "Error in Function fktStartQuorvex()");
      EXPECT_EQ(host.ui.messages[i].icon, Icon::Critical);
    }
    EXPECT_EQ(host.ui.messages.back().text,
              c.texts.back() + "\r\n\r\nIst Quorvex gestartet und ein Messprogramm geöffnet?");
    EXPECT_EQ(host.ui.messages.back().title, "ERROR in fktStartQuorvex()");
    EXPECT_EQ(host.ui.messages.back().icon, Icon::Exclamation);
    EXPECT_TRUE(CopyExists());
  }
}

// The host turns busy at the point record's first hand-over, a call with an
// object by reference: operation 87, after 7 to connect and 6 a header line.
class BusyHost : public WholeRun {
 protected:
  static constexpr std::int64_t kHandOver = 87;

  BusyHost() {
    Lines lines = Header();
    lines.push_back("PT,P1,1,2,3,0,0,1,,,,,,,,,,5");
    content = Join(lines, "\n");
  }

  static quorvex_sim::Options BusyAt(std::int64_t operation, std::chrono::milliseconds spell) {
    quorvex_sim::Options o;
    o.busyAt = operation;
    o.busyFor = spell;
    return o;
  }

  std::string content;
};

TEST_F(BusyHost, IsWaitedOutQuietlyWithinTheBudgetAndAfterItWhenTheUserSaysSo) {
  using namespace std::chrono_literals;
  TestBed clean;
  ASSERT_EQ(RunOn(content, clean), kConverted);

  struct Case {
    std::chrono::milliseconds spell, budget;
    std::size_t questions;
  };
  // The second spell outlasts one budget, not two.
  for (const Case c : {Case{100ms, 1000ms, 0}, Case{400ms, 300ms, 1}}) {
    SCOPED_TRACE(c.spell.count());
    TestBed busy(BusyAt(kHandOver, c.spell), {}, {c.budget, 10ms});
    busy.ui.busyAnswers = {Answer::Retry, Answer::Cancel};
    EXPECT_EQ(RunOn(content, busy), kConverted);
    // Each operation once, as carried out.
    EXPECT_EQ(WithoutResults(busy.trace), WithoutResults(clean.trace));
    EXPECT_TRUE(busy.ui.messages.empty());
    ASSERT_EQ(busy.ui.questions.size(), c.questions);
    if (c.questions == 0) continue;
    EXPECT_EQ(busy.ui.questions[0].text,
              "Quorvex ist beschäftigt und nimmt keine Befehle an (zum Beispiel wegen eines "
              "offenen Dialogs).\r\n\r\nWiederholen: weiter versuchen. Abbrechen: die "
              "Konvertierung beenden.");
    EXPECT_EQ(busy.ui.questions[0].title, "Traskel nach Quorvex");
    EXPECT_EQ(busy.ui.questions[0].icon, Icon::Exclamation);
  }
}

TEST_F(BusyHost, GivingUpEndsTheConversionAsAnErrorAndTheConnectionAsAFailedStep) {
  using namespace std::chrono_literals;
  TestBed converting(BusyAt(kHandOver, 60s), {}, {100ms, 10ms});
  EXPECT_EQ(RunOn(content, converting), kRunFailed);
  EXPECT_EQ(converting.ui.questions.size(), 1u);
  ASSERT_EQ(converting.ui.messages.size(), 1u);
  EXPECT_THAT(converting.ui.messages[0].text,
              ::testing::StartsWith("Laufzeitfehler '-2147418111':\r\n\r\nCall was rejected by "
                                    "callee.\r\n\r\nZeile 11: PT,P1,"));
  EXPECT_THAT(converting.ui.messages[0].text, HasSubstr("bleibt erhalten"));
  EXPECT_TRUE(CopyExists());
  EXPECT_EQ(converting.trace.size(), static_cast<std::size_t>(kHandOver - 1));

  // A creation is a call too.
  std::filesystem::remove(input + "conf");
  TestBed connecting(BusyAt(1, 60s), {}, {100ms, 10ms});
  EXPECT_EQ(RunOn(content, connecting), kNotConnected);
  EXPECT_EQ(connecting.ui.questions.size(), 1u);
  ASSERT_EQ(connecting.ui.messages.size(), 1u);
  EXPECT_EQ(connecting.ui.messages[0].text,
            "Quorvex.Application kann nicht erstellt werden: vom Benutzer abgebrochen "
            "(0x80010001)");
  EXPECT_EQ(connecting.ui.messages[0].title, "ERROR in fktStartQuorvex()");
  EXPECT_TRUE(CopyExists());
  EXPECT_TRUE(connecting.trace.empty());
}

TEST_F(WholeRun, CancelEndsBeforeAnythingIsWritten) {
  bed.settings.values[kLastImportFileSetting] = "/daten/alt/teil.csv";
  EXPECT_EQ(Form1Load(bed.run, bed.settings), kNotChosen);
  ASSERT_EQ(bed.ui.requests.size(), 1u);
  EXPECT_EQ(bed.ui.requests[0].initialDir, "/daten/alt");
  EXPECT_EQ(bed.ui.requests[0].title, "Auswahl CSV Dateien");
  EXPECT_EQ(bed.ui.requests[0].filter, "CSV Dateien (*csv)|*.csv|");
  ASSERT_EQ(bed.ui.messages.size(), 1u);
  EXPECT_EQ(bed.ui.messages[0].text, "Error oder Abbruch in cmdSuchenDar Programm wird beendet");
  EXPECT_EQ(bed.ui.messages[0].title, "Traskel nach Quorvex");
  EXPECT_EQ(bed.ui.messages[0].icon, Icon::Critical);
  EXPECT_EQ(bed.settings.writes, 0);
  EXPECT_TRUE(bed.trace.empty());
}

TEST_F(WholeRun, MissingNameAsksAgainAndRemembersTheGoodOne) {
  const std::string missing = folder.File("fehlt.csv");
  bed.ui.answers.push_back(missing);
  EXPECT_EQ(RunOn("Kopf\n"), kLinesNotTaken);
  EXPECT_EQ(bed.ui.requests.size(), 2u);
  ASSERT_GE(bed.ui.messages.size(), 1u);
  EXPECT_EQ(bed.ui.messages[0].text,
            "Die Datei \r\n\r\n'" + missing + "'\r\n\r\nexistiert nicht oder ist leer");
  EXPECT_EQ(bed.ui.messages[0].icon, Icon::Information);
  EXPECT_EQ(bed.ui.messages[0].title, "Traskel nach Quorvex");
  EXPECT_EQ(bed.settings.writes, 1);
  EXPECT_EQ(bed.settings.values[kLastImportFileSetting], input);
}

TEST_F(WholeRun, UnwritableSettingIsReportedAndTheRunGoesOn) {
  bed.settings.writable = false;
  EXPECT_EQ(RunOn("Kopf\n"), kLinesNotTaken);
  ASSERT_EQ(bed.ui.messages.size(), 2u);
  EXPECT_EQ(bed.ui.messages[0].text,
            "Fehler beim Speichern des Wertes. Der Konverter kann sich den letzten Speicherort "
            "der Datei nicht anlegen (Kein Admin) " +
                input);
  EXPECT_EQ(bed.ui.messages[0].title, "Traskel");
  EXPECT_EQ(bed.ui.messages[0].icon, Icon::None);
}

TEST_F(WholeRun, CopyThatCannotBeWrittenEndsTheRunWithTheReason) {
  input = folder.Write("teil.csv", "Kopf\n");
  std::filesystem::create_directory(input + "conf");  // the copy's name is taken by a folder
  bed.ui.answers.push_back(input);
  EXPECT_EQ(Form1Load(bed.run, bed.settings), kNotChosen);
  ASSERT_EQ(bed.ui.messages.size(), 1u);
  EXPECT_THAT(bed.ui.messages[0].text,
              HasSubstr("Error oder Abbruch in cmdSuchenDar Programm wird beendet"));
  EXPECT_THAT(bed.ui.messages[0].text, HasSubstr(input + "conf"));
  EXPECT_TRUE(bed.trace.empty());
  EXPECT_EQ(ReadAll(input), "Kopf\n");
}

}  // namespace
}  // namespace traskel
