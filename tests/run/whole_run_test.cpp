// Whole runs from the file dialog to the deleted copy, traced call by call.
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <utility>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/form1.h"
#include "app/resume.h"
#include "platform/settings.h"
#include "platform/signals.h"
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
using ::testing::Not;
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
      Lines connected = kConnect;
      connected.push_back(testing::Finished(0));
      EXPECT_THAT(WithoutResults(empty.trace), ElementsAreArray(connected));
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
  EXPECT_EQ(bed.host.statusText(), "Fehler in Zeile 12.");
  const auto& commands = bed.host.commands();
  ASSERT_EQ(commands.size(), 1u + 10 + 2);
  EXPECT_EQ(commands.back().typeCode, 612);
  EXPECT_EQ(commands.back().label, "C1");
}

// A run that fails at line 12, half-way through its record: the next run of
// the export with the line fixed offers to go on, sends nothing for the
// lines before, and from there what a whole run sends. With an earlier line
// changed, nothing is offered and the whole file goes.
TEST_F(WholeRun, FailedRunIsContinuedAfterItsLastWholeLineOnceTheLineIsFixed) {
  Lines lines = Header();
  lines.insert(lines.end(), {"PT,P1,1,2,3,0,0,1,,,,,,,,,,1", "CIR,C1,1,zwei,3,0,0,1,,10",
                             "PT,P3,1,2,3,0,0,1,,,,,,,,,,1"});
  EXPECT_EQ(RunOn(Join(lines, "\n")), kRunFailed);
  ASSERT_EQ(bed.ui.messages.size(), 1u);
  EXPECT_THAT(bed.ui.messages[0].text,
              ::testing::EndsWith("im Messprogramm.\r\n\r\nDer Befehl C1 aus Zeile 12 ist "
                                  "unvollständig im Messprogramm; bitte löschen Sie ihn vor dem "
                                  "Fortsetzen.\r\nFortsetzen: Traskel erneut mit dieser Datei "
                                  "starten; es bietet an, ab Zeile 12 weiterzumachen."));
  // Where nothing can be remembered, the message says how to go on all the same.
  TestBed unwritable;
  unwritable.settings.writable = false;
  EXPECT_EQ(RunOn(Join(lines, "\n"), unwritable), kRunFailed);
  EXPECT_THAT(unwritable.ui.messages.back().text,
              ::testing::EndsWith("\r\nFortsetzen: traskel --ab-zeile 12 '" + input +
                                  "' macht ab Zeile 12 weiter; Traskel kann sich die Stelle "
                                  "nicht merken: not writable"));

  lines[11] = "CIR,C1,1,2,3,0,0,1,,10,,,,,,,,0.02";
  TestBed whole;
  ASSERT_EQ(RunOn(Join(lines, "\n"), whole), kConverted) << whole.ui.messages.at(0).text;
  const Lines wholeTrace = WithoutResults(whole.trace);
  const auto statusOf = [](const std::string& line) {
    return [line](const std::string& op) {
      return op.starts_with("Application put 9") && op.ends_with("Zeile: " + line + "\"");
    };
  };
  const auto lineTwelve = std::ranges::find_if(wholeTrace, statusOf(lines[11]));
  ASSERT_NE(lineTwelve, wholeTrace.end());

  TestBed next;
  next.settings.values = bed.settings.values;
  next.ui.choiceAnswers = {Answer::Yes};
  EXPECT_EQ(RunOn(Join(lines, "\n"), next), kConverted);
  ASSERT_EQ(next.ui.questions.size(), 1u);
  EXPECT_EQ(next.ui.questions[0].text,
            "Die letzte Konvertierung von " + input +
                " endete nach Zeile 11 von 13. Ab Zeile 12 fortsetzen?\r\n\r\nDer Befehl C1 aus "
                "Zeile 12 ist unvollständig im Messprogramm; bitte löschen Sie ihn vor dem "
                "Fortsetzen.\r\n\r\nNur fortsetzen, wenn in Quorvex dasselbe Messprogramm "
                "geöffnet ist wie beim letzten Lauf.\r\n\r\nJa: ab Zeile 12 fortsetzen.\r\nNein: "
                "die ganze Datei konvertieren.\r\n(die Befehle der Zeile 11 kämen ein zweites Mal "
                "ins Messprogramm)\r\nAbbrechen: nichts tun.");
  EXPECT_EQ(next.ui.questions[0].icon, Icon::Question);
  // The same calls, and an end that names the lines this run sent.
  Lines continued = kConnect;
  continued.insert(continued.end(), lineTwelve, wholeTrace.end() - 1);
  continued.push_back(
      "Application put 9 Str:\"Fertig: Zeilen 12 bis 13 (2 Datenzeilen) übernommen.\"");
  EXPECT_THAT(WithoutResults(next.trace), ElementsAreArray(continued));
  const std::string resolved = std::filesystem::canonical(input).string();
  EXPECT_EQ(ReadStopPoint(next.settings, resolved), std::nullopt) << "a whole run forgets";

  // Cancel: nothing happens; the stop point stays for another time.
  TestBed cancelled;
  cancelled.settings.values = bed.settings.values;
  cancelled.ui.choiceAnswers = {Answer::Cancel};
  EXPECT_EQ(RunOn(Join(lines, "\n"), cancelled), kStopped);
  EXPECT_TRUE(cancelled.trace.empty());
  EXPECT_FALSE(CopyExists());
  EXPECT_NE(ReadStopPoint(cancelled.settings, resolved), std::nullopt);

  // A place that can't be forgotten after the whole file went would be
  // offered again: the user is told.
  TestBed stuck;
  stuck.settings.values = bed.settings.values;
  stuck.settings.writable = false;
  stuck.ui.choiceAnswers = {Answer::Yes};
  EXPECT_EQ(RunOn(Join(lines, "\n"), stuck), kConverted);
  ASSERT_FALSE(stuck.ui.messages.empty());
  EXPECT_THAT(stuck.ui.messages.back().text,
              HasSubstr("endete: not writable\r\n\r\nBietet Traskel beim nächsten Lauf an, ab "
                        "Zeile 12 fortzusetzen, antworten Sie mit Nein"));

  // Cut to exactly the remembered lines, the file has nothing to go on with.
  TestBed cut;
  cut.settings.values = bed.settings.values;
  EXPECT_EQ(RunOn(Join(Lines(lines.begin(), lines.begin() + 11), "\n"), cut), kConverted);
  EXPECT_TRUE(cut.ui.questions.empty());
  EXPECT_EQ(ReadStopPoint(cut.settings, resolved), std::nullopt);

  TestBed changed;
  changed.settings.values = bed.settings.values;
  lines[2] = "geändert";
  EXPECT_EQ(RunOn(Join(lines, "\n"), changed), kConverted);
  EXPECT_TRUE(changed.ui.questions.empty());
  EXPECT_TRUE(statusOf(lines[0])(WithoutResults(changed.trace).at(kConnect.size())));
  EXPECT_EQ(ReadStopPoint(changed.settings, resolved), std::nullopt);
}

// A signal at any moment of a run stops it at the next safe point: before
// anything reaches the host while the dialog or the offer waits, the copy is
// written or the host connects; after the record under way; and, once the
// last record is whole, not at all. Where a run stopped is known after it as
// before.
TEST_F(WholeRun, ASignalStopsTheRunAtTheNextSafePointWhateverItInterrupts) {
  Lines lines = Header();
  lines.insert(lines.end(), {"PT,P1,1,2,3,0,0,1,,,,,,,,,,1", "CIR,C1,1,zwei,3,0,0,1,,10",
                             "PT,P3,1,2,3,0,0,1,,,,,,,,,,1"});
  ASSERT_EQ(RunOn(Join(lines, "\n")), kRunFailed);  // remembers line 11
  std::filesystem::remove(input + "conf");
  const auto remembered = bed.settings.values;
  lines[11] = "CIR,C1,1,2,3,0,0,1,,10,,,,,,,,0.02";
  const std::string resolved = std::filesystem::canonical(input).string();
  const std::string offered =
      "\r\n\r\nFortsetzen: Traskel erneut mit dieser Datei starten; es bietet an, ab Zeile 12 "
      "weiterzumachen.";

  enum Phase { kDialog, kCopy, kOffer, kConnection, kRecord, kAfterTheLast };
  const struct {
    Phase phase;
    ExitStatus status;
    std::string message;    // empty: none
    std::size_t sent;       // host operations
    std::int64_t stopLine;  // where the export's entry stands after; 0: none
  } cases[] = {
      {kDialog, kStopped, kStoppedBeforeSending, 0, 0},
      {kCopy, kStopped, std::string(kStoppedBeforeSending) + " Es wurde keine Kopie angelegt.", 0,
       0},
      {kOffer, kStopped, kStoppedBeforeSending + offered, 0, 11},
      {kConnection, kStopped, kStoppedBeforeSending, kConnect.size(), 0},
      {kRecord, kStopped, "", 0, 12},
      {kAfterTheLast, kConverted, "", 0, 0},
  };
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::to_string(signal) + " in phase " + std::to_string(c.phase));
      TestBed run;
      const SignalsAskToStop signals(run.ui.stop);
      bool raised = false;
      const auto raiseOnce = [&] {
        if (!std::exchange(raised, true)) std::raise(signal);
      };
      if (c.phase == kOffer) {
        run.settings.values = remembered;
        run.ui.choiceAnswers = {Answer::Yes};
      }
      run.ui.whileAsked = [&] {
        if (c.phase == kDialog || (c.phase == kOffer && !run.ui.questions.empty())) raiseOnce();
      };
      run.fileOperations.meanwhile = [&](const std::string& operation, const std::string& what) {
        if (c.phase == kCopy && operation == "write" && what == input + "conf") raiseOnce();
      };
      run.onTrace = [&](const std::string& op) {
        if ((c.phase == kConnection && op.starts_with("create")) ||
            (c.phase == kRecord && op.ends_with("Zeile: " + lines[11] + "\"")) ||
            (c.phase == kAfterTheLast && op.starts_with("Application put 9 Str:\"Fertig"))) {
          raiseOnce();
        }
      };
      EXPECT_EQ(RunOn(Join(lines, "\n"), run), c.status);
      EXPECT_TRUE(raised);
      EXPECT_FALSE(CopyExists());
      if (c.phase == kRecord) {
        ASSERT_EQ(run.ui.messages.size(), 1u);
        EXPECT_THAT(run.ui.messages[0].text, HasSubstr("nach Zeile 12 von 13 abgebrochen"));
      } else if (c.message.empty()) {
        EXPECT_TRUE(run.ui.messages.empty());
        EXPECT_THAT(run.trace, ::testing::Contains(HasSubstr("Fertig: 3 Datenzeilen")));
      } else {
        EXPECT_EQ(run.ui.messages.size(), 1u);
        EXPECT_EQ(run.ui.messages.at(0).text, c.message);
        EXPECT_EQ(run.trace.size(), c.sent);
      }
      const std::optional<StopPoint> point = ReadStopPoint(run.settings, resolved);
      EXPECT_EQ(point ? point->line : 0, c.stopLine);
    }
  }
}

// The run's clock, moved on by the test.
std::chrono::steady_clock::time_point fakeNow;

// Each line takes 40 ms on the run's clock: the progress shows from the
// first line after a second, at lines 25, 28, 31 …, with the time left from
// five seconds on. A whole run ends with the time it took; one that left a
// line out closes the progress for its message; a short one shows nothing.
TEST_F(WholeRun, ProgressShowsAfterASecondAtMostTenTimesASecondWithTheTimeLeftAfterFive) {
  using namespace std::chrono_literals;
  const struct {
    int records;
    std::string last;
    std::vector<std::string> finished;
    int closed;
    std::size_t shown;
  } cases[] = {
      {200, "HEX,H", {"Fertig: alle 210 Zeilen (200 Datenzeilen) in 0:08 übernommen."}, 0, 62},
      {200, "XYZ", {}, 1, 62},
      {10, "HEX,H", {}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.last + std::to_string(c.records));
    TestBed timed;
    timed.platform.now = [] { return fakeNow; };
    timed.ui.onPump = [] { fakeNow += 40ms; };
    Lines lines = Header();
    for (int n = 1; n < c.records; ++n) lines.push_back("HEX,H" + std::to_string(n));
    lines.push_back(c.last);
    RunOn(Join(lines, "\n"), timed);
    EXPECT_EQ(timed.ui.finished, c.finished);
    EXPECT_EQ(timed.ui.closed, c.closed);
    ASSERT_EQ(timed.ui.progress.size(), c.shown);
    for (std::size_t i = 0; i < c.shown; ++i) {
      const std::size_t line = 25 + 3 * i;
      EXPECT_EQ(timed.ui.progress[i].position, "Zeile " + std::to_string(line) + " von 210");
      EXPECT_DOUBLE_EQ(timed.ui.progress[i].done, line / 210.0);
      EXPECT_EQ(timed.ui.progress[i].subject, "teil.csv");
    }
    if (c.shown == 0) continue;
    EXPECT_EQ(timed.ui.progress[0].times, "0:01");
    EXPECT_EQ(timed.ui.progress[33].times, "0:04");  // line 124, 4.96 s
    // Line 127, 5.08 s: 126 lines done, 84 left.
    EXPECT_EQ(timed.ui.progress[34].times, "0:05, noch etwa 0:03");
  }
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

  // Every line whole, only the final status put fails (operation 68, after
  // ten lines of six): nothing is left to go on with, and none is offered.
  TestBed last(testing::FailingAt(68));
  EXPECT_EQ(RunOn(Join(Header(), "\n"), last), kRunFailed);
  ASSERT_EQ(last.ui.messages.size(), 1u);
  EXPECT_THAT(
      last.ui.messages[0].text,
      ::testing::EndsWith("\r\n\r\nAlle 10 Zeilen sind im Messprogramm; nur der Status am "
                          "Ende konnte nicht gesetzt werden. Es gibt nichts fortzusetzen."));
  EXPECT_THAT(last.ui.messages[0].text, Not(HasSubstr("Fortsetzen")));
  EXPECT_TRUE(last.settings.List(kStopPointsKey)->empty());
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

// Giving up is the user's own stop: while converting it ends as a stop in
// the record that waited, and nothing more is sent to the busy host.
TEST_F(BusyHost, GivingUpEndsTheConversionAsAStopAndTheConnectionAsAFailedStep) {
  using namespace std::chrono_literals;
  TestBed converting(BusyAt(kHandOver, 60s), {}, {100ms, 10ms});
  EXPECT_EQ(RunOn(content, converting), kStopped);
  EXPECT_EQ(converting.ui.questions.size(), 1u);
  ASSERT_EQ(converting.ui.messages.size(), 1u);
  EXPECT_EQ(converting.ui.messages[0].text,
            "Die Konvertierung wurde nach Zeile 10 von 11 abgebrochen. Die Befehle bis Zeile 10 "
            "sind im Messprogramm.\r\n\r\nDer Befehl P1 aus Zeile 11 ist unvollständig im "
            "Messprogramm; bitte löschen Sie ihn vor dem Fortsetzen.\r\nFortsetzen: Traskel "
            "erneut mit dieser Datei starten; es bietet an, ab Zeile 11 weiterzumachen.");
  EXPECT_EQ(converting.ui.messages[0].icon, Icon::Information);
  EXPECT_FALSE(CopyExists());
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

  // A stop asked for meanwhile is a stop before anything was sent.
  std::filesystem::remove(input + "conf");
  TestBed stopped(BusyAt(1, 60s), {}, {100ms, 10ms});
  stopped.ui.whileAsked = [&] {
    if (!stopped.ui.questions.empty()) stopped.ui.stop.Request();
  };
  EXPECT_EQ(RunOn(content, stopped), kStopped);
  ASSERT_EQ(stopped.ui.messages.size(), 1u);
  EXPECT_EQ(stopped.ui.messages[0].text,
            "Die Konvertierung wurde abgebrochen, bevor etwas an Quorvex gesendet wurde.");
  EXPECT_FALSE(CopyExists());

  // Given up on the end status, once every line is in: nothing to go on with.
  TestBed clean;
  ASSERT_EQ(RunOn(content, clean), kConverted);
  TestBed ending(BusyAt(static_cast<int>(clean.trace.size()), 60s), {}, {100ms, 10ms});
  EXPECT_EQ(RunOn(content, ending), kStopped);
  ASSERT_EQ(ending.ui.messages.size(), 1u);
  EXPECT_EQ(ending.ui.messages[0].text,
            "Alle 11 Zeilen sind im Messprogramm; nur der Status am Ende konnte nicht gesetzt "
            "werden. Es gibt nichts fortzusetzen.");
  EXPECT_EQ(ReadStopPoint(ending.settings, std::filesystem::canonical(input).string()),
            std::nullopt);
  EXPECT_FALSE(CopyExists());
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
