// The shipped converter as a user runs it: a path on standard input or on
// the command line, the simulated host configured by its environment
// variables.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/converter_binary.h"
#include "support/encodings.h"
#include "support/expected_trace.h"
#include "support/test_bed.h"

namespace traskel {
namespace {

using testing::AsLatin1;
using testing::AsUtf16;
using testing::CodePoints;
using ::testing::HasSubstr;
using testing::LinesOf;
using ::testing::Not;
using testing::Outcome;
using testing::ReadAll;
using testing::Traced;

// Every run traces into the fixture's trace file.
class Binary : public testing::ConverterBinary {
 protected:
  Outcome Run(const std::string& answer, std::vector<std::string> env = {}) {
    return ConverterBinary::Run(answer, Traced(std::move(env)));
  }
  // With the arguments given, and the answer for a dialog should one open.
  Outcome RunWith(std::vector<std::string> args, const std::string& answer = "") {
    testing::BinaryOptions o = Traced();
    o.args = std::move(args);
    return ConverterBinary::Run(answer, o);
  }
  std::string Remembered() { return ReadAll(folder.File("settings/settings")); }
};

TEST_F(Binary, ConvertsTheBundledExampleIntoEveryFeatureFamily) {
  std::filesystem::copy_file(TRASKEL_SOURCE_DIR "/examples/bauteil.csv", folder.File("b.csv"));
  Outcome r = Run("b.csv");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(std::filesystem::exists(folder.File("b.csvconf")));
  for (const char* family : {"point", "edge point", "circle", "ellipse", "round slot", "slot",
                             "cylinder", "sphere", "cone", "type 0", "comment"}) {
    EXPECT_THAT(r.out, HasSubstr(family));
  }
  std::string t = ReadAll(trace);
  EXPECT_EQ(t.rfind("create \"Quorvex.Application\" -> Obj:Application\n", 0), 0u);
  EXPECT_THAT(t, HasSubstr("CommentData call 6 I4:1 Str&:\"$$ HEX $$ - HEX,"));

  // The next run's dialog opens where this one's file was.
  Outcome second = Run("");
  EXPECT_EQ(second.status, 2);
  EXPECT_THAT(second.err, HasSubstr(folder.path()));
  EXPECT_THAT(second.err, HasSubstr("Error oder Abbruch in cmdSuchenDar Programm wird beendet"));
}

TEST_F(Binary, FailuresEndWithTheirMessageAndStatus) {
  folder.Write("t.csv", std::string(10, '\n') + "PT,P1,x\n");
  Outcome bad = Run("t.csv");
  EXPECT_EQ(bad.status, 1);
  EXPECT_THAT(bad.err, HasSubstr("Laufzeitfehler '13':\n\nTypen unverträglich\n"));
  EXPECT_THAT(bad.err, HasSubstr("Zeile 11: PT,P1,x"));
  EXPECT_TRUE(std::filesystem::exists(folder.File("t.csvconf")));
  EXPECT_THAT(bad.out, HasSubstr("P1"));  // the listing shows what was added

  std::filesystem::remove(trace);
  testing::BinaryOptions absentHost = Traced({"QUORVEX_SIM_STATE=absent"});
  absentHost.args = {"--ab-zeile", "1", "t.csv"};  // the whole file again
  Outcome absent = ConverterBinary::Run("", absentHost);
  EXPECT_EQ(absent.status, 3);
  EXPECT_THAT(absent.err, HasSubstr("ERROR in fktStartQuorvex()"));
  EXPECT_EQ(ReadAll(trace).find("create \"Quorvex.PointData\""), std::string::npos);
}

// The one run that waits the real budget: 10 s of quiet retries, then the
// question on the console; an answer that is no button's asks again.
TEST_F(Binary, BusyHostPastTheBudgetIsAskedAboutAndRetryConvertsTheWholeFile) {
  folder.Write("t.csv", "Kopf 1\nKopf 2\nKopf 3\n");
  Outcome clean = Run("t.csv");
  ASSERT_EQ(clean.status, 4) << clean.err;  // a header alone: no data line
  const std::string cleanTrace = ReadAll(trace);
  std::filesystem::remove(trace);

  // Operation 20 is the third line's status text.
  const auto start = std::chrono::steady_clock::now();
  Outcome busy = Run("t.csv\nx\n", {"QUORVEX_SIM_BUSY=20:10500"});
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(10500));
  EXPECT_EQ(busy.status, clean.status) << busy.err;
  EXPECT_EQ(ReadAll(trace), cleanTrace);
  const std::string prompt = "[W]iederholen/[A]bbrechen: ";
  EXPECT_THAT(busy.err,
              HasSubstr("--- Traskel nach Quorvex [exclamation] ---\nQuorvex ist beschäftigt und "
                        "nimmt keine Befehle an (zum Beispiel wegen eines offenen Dialogs).\n\n"
                        "Wiederholen: weiter versuchen. Abbrechen: die Konvertierung beenden.\n" +
                        prompt + "x\n" + prompt + "\n"));
  EXPECT_EQ(busy.err.find("Quorvex ist beschäftigt"), busy.err.rfind("Quorvex ist beschäftigt"));
}

// An interrupt mid-run stops it after a whole record, as the progress
// window's button does: the copy goes, the call log holds the trace. The
// next run goes on from there when asked, and the two send what one whole
// run sends. A first line past the end is refused before anything is sent.
TEST_F(Binary, AnInterruptStopsAfterAWholeRecordAndTheNextRunGoesOnFromThere) {
  std::filesystem::copy_file(TRASKEL_SOURCE_DIR "/examples/bauteil.csv", folder.File("b.csv"));
  ASSERT_EQ(RunWith({"b.csv"}).status, 0);
  const std::vector<std::string> whole = LinesOf(ReadAll(trace));
  std::filesystem::remove(trace);

  const std::string log = folder.File("protokoll.txt");
  testing::BinaryOptions slow = Traced({"QUORVEX_SIM_DELAY=5"});
  slow.args = {"--protokoll", log, "b.csv"};
  testing::Started started = Start("", slow);
  const auto statusPuts = [](const std::vector<std::string>& lines) {
    return std::ranges::count_if(
        lines, [](const std::string& l) { return l.starts_with("Application put 9"); });
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (statusPuts(LinesOf(ReadAll(trace))) < 13 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(started.pid, SIGINT);
  Outcome stopped = Finish(started);
  EXPECT_EQ(stopped.status, 5) << stopped.err;
  EXPECT_FALSE(std::filesystem::exists(folder.File("b.csvconf")));
  std::vector<std::string> first = LinesOf(ReadAll(trace));
  EXPECT_EQ(testing::WithoutResults(LinesOf(ReadAll(log))), testing::WithoutResults(first));
  std::smatch at;
  ASSERT_TRUE(std::regex_search(stopped.err, at, std::regex("nach Zeile (\\d+) von 26 ")));
  const long done = std::stol(at[1]);
  // The host's status text says so last.
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.back(),
            "Application put 9 Str:\"Abgebrochen nach Zeile " + at[1].str() + " von 26.\"");
  first.pop_back();
  const std::string next = std::to_string(done + 1);
  EXPECT_THAT(stopped.err,
              HasSubstr("--- Traskel nach Quorvex [information] ---\nDie Konvertierung wurde nach "
                        "Zeile " +
                        at[1].str() + " von 26 abgebrochen. Die Befehle bis Zeile " + at[1].str() +
                        " sind im Messprogramm.\n\nFortsetzen: Traskel erneut mit dieser Datei "
                        "starten; es bietet an, ab Zeile " +
                        next + " weiterzumachen.\n"));
  // What was sent ends before the next line's status text.
  ASSERT_LT(statusPuts(first), statusPuts(whole));
  EXPECT_EQ(statusPuts(first), done);
  EXPECT_EQ(first, std::vector(whole.begin(), whole.begin() + first.size()));
  EXPECT_TRUE(whole[first.size()].starts_with("Application put 9"));

  // Not on a terminal, no one is asked: both ways on are told, and nothing
  // changes. The named line goes on.
  std::filesystem::remove(trace);
  Outcome unasked = RunWith({"b.csv"}, "j");
  EXPECT_EQ(unasked.status, 5) << unasked.err;
  const std::string quoted = "'" + folder.File("b.csv") + "'";
  EXPECT_THAT(unasked.err, HasSubstr("endete nach Zeile " + at[1].str() +
                                     " von 26. Ohne Rückfrage geht Traskel nicht weiter: traskel "
                                     "--ab-zeile " +
                                     next + " " + quoted + " setzt fort, traskel --ab-zeile 1 " +
                                     quoted + " konvertiert alles.\n"));
  EXPECT_EQ(ReadAll(trace), "");
  EXPECT_FALSE(std::filesystem::exists(folder.File("b.csvconf")));
  Outcome goneOn = RunWith({"--ab-zeile", next, "b.csv"});
  EXPECT_EQ(goneOn.status, 0) << goneOn.err;
  std::vector<std::string> both = first;
  const std::vector<std::string> second = LinesOf(ReadAll(trace));
  const std::size_t connecting = testing::kConnect.size();
  ASSERT_GT(second.size(), connecting);
  both.insert(both.end(), second.begin() + connecting, second.end() - 1);
  EXPECT_EQ(both, std::vector(whole.begin(), whole.end() - 1));
  EXPECT_THAT(second.back(), HasSubstr("\"Fertig: Zeilen " + next + " bis 26 ("));

  std::filesystem::remove(trace);
  folder.Write("one.csv", "Kopf\n");
  folder.Write("none.csv", "");
  const std::vector<std::string> beyondTheEnd[] = {
      {"27", "b.csv", "Die Datei hat nur 26 Zeilen."},
      {"2", "one.csv", "Die Datei hat nur 1 Zeile."},
      {"1", "none.csv", "Die Datei ist leer."},
  };
  for (const auto& c : beyondTheEnd) {
    Outcome beyond = RunWith({"--ab-zeile", c[0], c[1]});
    EXPECT_EQ(beyond.status, 2);
    EXPECT_THAT(beyond.err, HasSubstr("\n" + c[2] + "\n"));
    EXPECT_EQ(ReadAll(trace), "");
    EXPECT_FALSE(std::filesystem::exists(folder.File(c[1] + "conf")));
  }
}

// A host call that never returns: Ctrl+C gives up on it within two
// seconds, the copy goes, the place before the record in flight is
// remembered, and the call log ends with the call unanswered. The record's
// command is named as half-built once it was made, as possibly so while the
// host was asked to make it, and not at all before.
TEST_F(Binary, AnInterruptGivesUpOnACallThatNeverReturns) {
  const struct {
    int hangAt;  // an operation of line 12
    const char* told;
  } rows[] = {
      {91, ""},  // its status text
      {92,       // the command's creation
       "Der Befehl PKT_002 aus Zeile 12 ist womöglich unvollständig im Messprogramm; bitte "
       "löschen Sie ihn vor dem Fortsetzen, falls es ihn gibt."},
      {100,  // a default of its point
       "Der Befehl PKT_002 aus Zeile 12 ist unvollständig im Messprogramm; bitte löschen Sie ihn "
       "vor dem Fortsetzen."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.hangAt);
    const std::string name = "b" + std::to_string(row.hangAt) + ".csv";
    std::filesystem::copy_file(TRASKEL_SOURCE_DIR "/examples/bauteil.csv", folder.File(name));
    const std::string log = folder.File(name + ".log");
    std::filesystem::remove(trace);
    testing::BinaryOptions hanging = Traced({"QUORVEX_SIM_HANG_AT=" + std::to_string(row.hangAt)});
    hanging.args = {"--protokoll", log, name};
    testing::Started started = Start("", hanging);
    const std::size_t before = static_cast<std::size_t>(row.hangAt) - 1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (LinesOf(ReadAll(trace)).size() < before && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto interrupted = std::chrono::steady_clock::now();
    kill(started.pid, SIGINT);
    Outcome stopped = Finish(started);
    EXPECT_LT(std::chrono::steady_clock::now() - interrupted, std::chrono::seconds(2));
    EXPECT_EQ(stopped.status, 5) << stopped.err;
    EXPECT_THAT(stopped.err, ::testing::ContainsRegex(
                                 std::string("Quorvex hat seit 0:0. nicht geantwortet; die "
                                             "Konvertierung wurde in Zeile 12 abgebrochen.\n\n") +
                                 (*row.told ? std::string(row.told) + "\n" : "") +
                                 "Fortsetzen: Traskel erneut mit dieser Datei starten; es bietet "
                                 "an, ab Zeile 12 weiterzumachen.\n"));
    EXPECT_FALSE(std::filesystem::exists(folder.File(name + "conf")));
    const std::vector<std::string> logged = LinesOf(ReadAll(log));
    ASSERT_EQ(logged.size(), before + 1);
    EXPECT_THAT(logged.back(), ::testing::MatchesRegex(".* -> error 0x800705B4 no answer, given "
                                                       "up after 0:0."));
    EXPECT_EQ(LinesOf(ReadAll(trace)).size(), before) << "the hung call was never carried out";
    // The next run offers to go on after line 11, and tells the command
    // as it was told.
    Outcome next = RunWith({name});
    EXPECT_THAT(next.err, HasSubstr("endete nach Zeile 11 von 26. Ohne Rückfrage"));
    EXPECT_EQ(next.err.find("Der Befehl") != std::string::npos, *row.told != '\0');
    EXPECT_THAT(next.err, HasSubstr(row.told));
  }
}

TEST_F(Binary, TheUsersLocaleDecidesOnlyTheWrittenHalfSize) {
  folder.Write("t.csv", std::string(10, '\n') + "CIR,C1,1,2,3,0,0,1,,12.7,,,,,,,,12.7,\n");
  for (auto [locale, half] : {std::pair{"de_DE.UTF-8", "6,35"}, std::pair{"en_US.UTF-8", "6.35"}}) {
    std::filesystem::remove(trace);
    Outcome r = Run("t.csv", {std::string("LC_ALL=") + locale});
    EXPECT_EQ(r.status, 0) << locale << r.err;
    std::string t = ReadAll(trace);
    EXPECT_THAT(t, HasSubstr("Cmd call 28 Str:\"" + std::string(half) + "\" I4:78 I4:0")) << locale;
    EXPECT_THAT(t, HasSubstr("FeatureData put 6 R8:12.7")) << locale;
  }
}

TEST_F(Binary, EveryEncodingOfAnExportGivesTheSameHostTexts) {
  const std::string utf8 = ReadAll(TRASKEL_SOURCE_DIR "/examples/bauteil.csv");
  ASSERT_THAT(utf8, HasSubstr("Geh\xC3\xA4usedeckel"));
  const std::u32string text = CodePoints(utf8);
  const std::pair<const char*, std::string> twins[] = {
      {"UTF-8", utf8},
      {"UTF-8 with mark", "\xEF\xBB\xBF" + utf8},
      {"Windows-1252", AsLatin1(text)},
      {"UTF-16LE", AsUtf16(text, false)},
      {"UTF-16BE", AsUtf16(text, true)},
  };
  std::string first;
  for (const auto& [name, content] : twins) {
    SCOPED_TRACE(name);
    folder.Write("b.csv", content);
    std::filesystem::remove(trace);
    Outcome r = Run("b.csv", {"LC_ALL=C"});
    EXPECT_EQ(r.status, 0) << r.err;
    // The percentages follow the copy's size, which differs; all else is equal.
    const std::string t = std::regex_replace(ReadAll(trace), std::regex(R"(Str:"\d+% Bearbeite)"),
                                             "Str:\"% Bearbeite");
    EXPECT_THAT(t, HasSubstr("Str&:\"CAD-Merkmalsexport Geh\xC3\xA4usedeckel GD-4711 Rev. C\""));
    if (first.empty()) first = t;
    EXPECT_EQ(t, first);
  }
}

TEST_F(Binary, UnwritableSettingsStoreGivesTheAdminMessage) {
  folder.Write("settings", "not a folder");
  folder.Write("t.csv", "Kopf\n");
  Outcome r = Run("t.csv");
  EXPECT_EQ(r.status, 4) << r.err;  // converted; a header alone has no data lines
  EXPECT_THAT(r.err, HasSubstr("(Kein Admin) " + folder.File("t.csv")));
  EXPECT_THAT(r.err, Not(HasSubstr("Laufzeitfehler")));
}

// A file's name can't forge a line of a message, and the command a message
// suggests runs, pasted into a shell, nothing but Traskel on that file.
TEST_F(Binary, AnExportsNameIsQuotedForTheShellAndCannotBreakALine) {
  for (const std::string name : {"d$(echo INJECTED >&2)'q`id`.csv", "a\nb.csv"}) {
    SCOPED_TRACE(name);
    const std::string body = std::string(10, '\n') + "PT,P1,1,2,3,0,0,1,,,,,,,,,,1\nPT,P2,x\n";
    folder.Write(name, body);
    testing::BinaryOptions named;
    named.args = {name};
    Outcome failed = ConverterBinary::Run("", named);
    ASSERT_EQ(failed.status, 1) << failed.err;
    Outcome unasked = ConverterBinary::Run("", named);  // not on a terminal: told, not asked
    ASSERT_EQ(unasked.status, 5) << unasked.err;
    for (const std::string& err : {failed.err, unasked.err}) {
      for (const std::string& line : LinesOf(err)) EXPECT_FALSE(line.starts_with("b.csv")) << line;
    }
    if (name.find('\n') != std::string::npos) {
      EXPECT_THAT(unasked.err, HasSubstr("a\\x0ab.csv"));
      continue;
    }
    std::smatch command;
    ASSERT_TRUE(std::regex_search(unasked.err, command,
                                  std::regex("(traskel --ab-zeile 12 .*) setzt fort")));
    const std::string script = folder.Write(
        "paste.sh", "traskel() { printf '%s\\n' \"$@\"; }\n" + command[1].str() + "\n");
    const std::string out = folder.File("pasted.out"), err = folder.File("pasted.err");
    ASSERT_EQ(std::system(("/bin/bash " + script + " >" + out + " 2>" + err).c_str()), 0);
    EXPECT_EQ(ReadAll(out), "--ab-zeile\n12\n" + folder.File(name) + "\n");
    EXPECT_EQ(ReadAll(err), "");
  }
}

TEST_F(Binary, AFileOnTheCommandLineReplacesTheDialogUnlessItIsMissing) {
  // A header line, nine more, and one record: a file that converts fully.
  const std::string body = std::string(9, '\n') + "PT,P1,1,2,3,0,0,1,,,,,,,,,,1\n";
  std::filesystem::create_directory(folder.File("sub"));
  folder.Write("sub/t.csv", "Kopf\n" + body);
  const std::string dialog = "Auswahl CSV Dateien";

  // Relative to the current folder, made absolute, remembered. ".." after
  // a linked folder leaves where the link leads, as for every program.
  std::filesystem::create_directories(folder.File("sub/inner"));
  std::filesystem::create_directory(folder.File("a"));
  std::filesystem::create_directory_symlink("../sub/inner", folder.File("a/lnk"));
  folder.Write("a/t.csv", "Falsch\n" + body);
  Outcome named = RunWith({"a/lnk/../t.csv"});
  EXPECT_EQ(named.status, 0) << named.err;
  EXPECT_THAT(named.err, Not(HasSubstr(dialog)));
  EXPECT_THAT(named.out, HasSubstr("c1=\"Kopf\""));
  EXPECT_THAT(Remembered(), HasSubstr("=" + folder.File("a/lnk/../t.csv") + "\n"));

  // "--" lets a name start with a dash.
  folder.Write("-t.csv", "Strich\n" + body);
  Outcome dashed = RunWith({"--", "-t.csv"});
  EXPECT_EQ(dashed.status, 0) << dashed.err;
  EXPECT_THAT(dashed.out, HasSubstr("c1=\"Strich\""));

  // A missing file: its message, then the dialog, as for a typed name.
  Outcome missing = RunWith({"fehlt.csv"}, "sub/t.csv");
  EXPECT_EQ(missing.status, 0) << missing.err;
  EXPECT_THAT(missing.err, HasSubstr("--- Traskel nach Quorvex [information] ---\nDie Datei \n\n'" +
                                     folder.File("fehlt.csv") +
                                     "'\n\nexistiert nicht oder ist leer\n" + dialog));
  EXPECT_THAT(Remembered(), HasSubstr("=" + folder.File("sub/t.csv") + "\n"));
}

TEST_F(Binary, HelpVersionAndMistakesAnswerWithoutARun) {
  const std::string usage =
      "Aufruf: traskel [--pruefen] [--protokoll PROTOKOLL] [--ab-zeile N] [DATEI]\n"
      "       traskel --version\n"
      "       traskel --help\n";
  folder.Write("t.csv", "Kopf\n");

  Outcome version = RunWith({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "Traskel " TRASKEL_PROJECT_VERSION "\n");
  EXPECT_EQ(version.err, "");

  for (const char* help : {"--help", "-h", "/?"}) {
    Outcome r = RunWith({help});
    EXPECT_EQ(r.status, 0) << help;
    // The usage, then a line for each of its options, with what it does in
    // one column, two spaces after the widest option.
    EXPECT_THAT(r.err, ::testing::StartsWith(usage + "\n"));
    for (std::string option : {"DATEI", "--pruefen", "--protokoll PROTOKOLL", "--ab-zeile N",
                               "--version", "--help, -h, /?", "--"}) {
      const std::size_t at = r.err.find("\n  " + option + "  ");
      ASSERT_NE(at, std::string::npos) << option;
      EXPECT_EQ(r.err.find_first_not_of(' ', at + 3 + option.size()), at + 3 + 23) << option;
    }
    EXPECT_EQ(r.out, "") << help;
  }
  // What is wrong before the usage; an option after the file, after it.
  const std::string noLog = "Nach --protokoll fehlt der Name des Protokolls.\n" + usage;
  const std::string optionsFirst = usage + "Optionen stehen vor der Datei.\n";
  const std::pair<std::vector<std::string>, std::string> mistakes[] = {
      {{"t.csv", "t.csv"}, "Nur eine Datei ist möglich: t.csv\n" + usage},
      {{"--", "t.csv", "-x"}, "Nur eine Datei ist möglich: -x\n" + usage},
      {{"--hilfe"}, "Unbekannte Option: --hilfe\n" + usage},
      {{"--version", "-x"}, "Unbekannte Option: -x\n" + usage},
      {{"t.csv", "--help"}, optionsFirst},
      {{"t.csv", "--pruefen"}, optionsFirst},
      {{"--protokoll"}, noLog},
      {{"--protokoll="}, noLog},
      {{"--pruefen", "--protokoll"}, noLog},
      {{"--protokoll", "--pruefen", "t.csv"}, noLog},
      {{"--protokoll", "a", "--protokoll=b", "t.csv"},
       "Nur ein Protokoll ist möglich: b\n" + usage},
      {{"--ab-zeile", "--pruefen"}, "Nach --ab-zeile fehlt die Zeilennummer.\n" + usage},
      {{"--ab-zeile=0", "t.csv"}, "--ab-zeile braucht eine Zeilennummer ab 1: 0\n" + usage},
      {{"--ab-zeile", "-5", "t.csv"}, "--ab-zeile braucht eine Zeilennummer ab 1: -5\n" + usage},
      {{"--ab-zeile", "12x", "t.csv"}, "--ab-zeile braucht eine Zeilennummer ab 1: 12x\n" + usage},
      {{"--ab-zeile", "2", "--ab-zeile", "3", "t.csv"},
       "Nur eine Startzeile ist möglich: 3\n" + usage},
  };
  for (const auto& [wrong, err] : mistakes) {
    Outcome r = RunWith(wrong);
    EXPECT_EQ(r.status, 2) << wrong.back();
    EXPECT_EQ(r.err, err) << wrong.back();
    EXPECT_EQ(r.out, "") << wrong.back();
  }
  // None of these ran: nothing reached the host, nothing was remembered.
  EXPECT_FALSE(std::filesystem::exists(trace));
  EXPECT_FALSE(std::filesystem::exists(folder.File("settings")));
}

// A reader that went away ends the listing, and the run keeps its own
// status; a version that can't be written out is a failure, and says so.
TEST_F(Binary, OutputThatCannotBeWrittenEndsQuietlyOrSaysSo) {
  std::filesystem::copy_file(TRASKEL_SOURCE_DIR "/examples/bauteil.csv", folder.File("b.csv"));
  testing::BinaryOptions closed = Traced();
  closed.args = {"b.csv"};
  closed.outputClosed = true;
  Outcome r = ConverterBinary::Run("", closed);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_THAT(ReadAll(trace), HasSubstr("CommentData call 6 I4:1 Str&:\"$$ HEX $$ - HEX,"));

  testing::BinaryOptions full;
  full.args = {"--version"};
  full.output = "/dev/full";
  Outcome version = ConverterBinary::Run("", full);
  EXPECT_EQ(version.status, 1);
  EXPECT_EQ(version.err, std::string("Die Ausgabe kann nicht geschrieben werden: ") +
                             std::strerror(ENOSPC) + "\n");
}

TEST_F(Binary, CheckOnlyTellsWhatAConversionWouldDoAndTouchesNeitherHostNorCopy) {
  // Keys out of the dispatch's order; the conversion of the same file is
  // the measure.
  const std::string clean = std::string(10, '\n') +
                            "CIR,C1,1,2,3,0,0,1,,12.7,,,,,INNER,,,0.02\n"
                            "PT,P1,1,2,3,0,0,1,,,,,,,,,,1\n\n"
                            "UDF,U1\nPT,P2,1,2,3,0,0,1,,,,,,,,,,1\n";
  folder.Write("t.csv", clean);
  Outcome check = RunWith({"--pruefen", "t.csv"});
  EXPECT_EQ(check.status, 0) << check.err;
  EXPECT_EQ(check.err, "--- Traskel – Export prüfen [information] ---\nPrüfung von " +
                           folder.File("t.csv") +
                           ": 4 Datenzeilen (PT 2, CIR 1, UDF 1)\n\nKeine Probleme gefunden.\n");
  EXPECT_EQ(check.out, "");
  EXPECT_EQ(ReadAll(trace), "") << "the check reached the host";
  EXPECT_FALSE(std::filesystem::exists(folder.File("t.csvconf")));
  EXPECT_THAT(Remembered(), HasSubstr("=" + folder.File("t.csv") + "\n"));
  Outcome conversion = RunWith({"t.csv"});
  EXPECT_EQ(conversion.status, 0) << conversion.err;

  // While a conversion of the same export holds its copy, a check reads the
  // export and leaves the copy to the conversion, which goes on.
  std::filesystem::remove(trace);
  testing::BinaryOptions slow = Traced({"QUORVEX_SIM_DELAY=10"});
  slow.args = {"t.csv"};
  testing::Started first = Start("", slow, "-1");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ReadAll(trace).find("Application put 9") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  testing::BinaryOptions alongside = testing::WithEnv({"QUORVEX_SIM_TRACE=" + folder.File("t2")});
  alongside.args = {"--pruefen", "t.csv"};
  Outcome during = ConverterBinary::Run("", alongside);
  const bool copyHeld = std::filesystem::exists(folder.File("t.csvconf"));
  Outcome held = Finish(first);
  EXPECT_EQ(during.status, 0) << during.err;
  EXPECT_TRUE(copyHeld) << "the conversion was over before the check";
  EXPECT_EQ(held.status, 0) << held.err;
  EXPECT_EQ(ReadAll(folder.File("t2")), "");

  // Lines left out, and a file without data lines: what the conversion
  // would say of them, under the counts; the file chosen in the dialog.
  folder.Write("t.csv", clean + "FOO;1\n");
  Outcome skipped = RunWith({"--pruefen"}, "t.csv");
  Outcome converted = RunWith({"t.csv"});
  EXPECT_EQ(skipped.status, 4) << skipped.err;
  EXPECT_EQ(converted.status, 4) << converted.err;
  EXPECT_THAT(skipped.err,
              HasSubstr("--- Traskel – Export prüfen [exclamation] ---\nPrüfung von " +
                        folder.File("t.csv") +
                        ": 5 Datenzeilen (PT 2, CIR 1, UDF 1)\n\n1 von 5 Datenzeilen würde nicht "
                        "übernommen (unbekannter Typ):\n\nZeile 16: FOO;1\n\nDie Datei scheint "
                        "mit Semikolon statt Komma getrennt zu sein; Traskel erwartet Kommas.\n"));

  folder.Write("t.csv", "Kopf\n");
  Outcome empty = RunWith({"--pruefen", "t.csv"});
  EXPECT_EQ(empty.status, 4) << empty.err;
  EXPECT_THAT(empty.err, HasSubstr("[exclamation] ---\nPrüfung von " + folder.File("t.csv") +
                                   ": Die Datei enthält keine Datenzeilen.\n"));
}

}  // namespace
}  // namespace traskel
