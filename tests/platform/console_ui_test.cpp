#include <filesystem>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "app/implementations.h"
#include "platform/console.h"
#include "platform/console_ui.h"
#include "support/terminal.h"

namespace traskel {
namespace {

using testing::OnTerminal;
using namespace std::string_literals;

struct Console {
  explicit Console(const std::string& input)
      : in(input), ui(MakeConsoleUserInterface(in, out, kUserInterfaceWords)) {}
  std::istringstream in;
  std::ostringstream out;
  std::unique_ptr<UserInterface> ui;
};

FileDialogRequest CsvRequest(const std::string& dir) {
  return {"Auswahl CSV Dateien", "CSV Dateien (*csv)|*.csv|", dir};
}

TEST(ConsoleUserInterface, ChooseFilePromptsAndReturnsAnAbsolutePath) {
  // ".." stays for the system, which takes it after a link before it.
  Console console("sub/../teil.csv\r\n/data//x/./b.csv\n");
  auto chosen = console.ui->ChooseFile(CsvRequest("/x/y"));
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, (std::filesystem::current_path() / "sub/../teil.csv").string());
  EXPECT_EQ(console.out.str(),
            "Auswahl CSV Dateien\nFilter: CSV Dateien (*csv)|*.csv|\n"
            "Verzeichnis: /x/y\nDatei: ");

  console.out.str("");
  EXPECT_EQ(console.ui->ChooseFile(CsvRequest("")), "/data/x/b.csv");
  EXPECT_NE(console.out.str().find("Verzeichnis: (default)\n"), std::string::npos);
}

TEST(ConsoleUserInterface, EmptyAnswerOrEndOfInputCancels) {
  Console console("\n\r\nlast");
  EXPECT_EQ(console.ui->ChooseFile(CsvRequest("")), std::nullopt);
  EXPECT_EQ(console.ui->ChooseFile(CsvRequest("")), std::nullopt);
  // A last line without its newline still counts.
  EXPECT_EQ(console.ui->ChooseFile(CsvRequest("/")),
            (std::filesystem::current_path() / "last").string());
  EXPECT_EQ(console.ui->ChooseFile(CsvRequest("")), std::nullopt);
}

TEST(ConsoleUserInterface, QuestionTakesRetryOrCancelAndAsksAgainForAnythingElse) {
  Console console("\nw\nW\r\na\nA\nja\n\n");
  auto ask = [&] {
    return console.ui->AskRetryOrCancel("Beschäftigt.\r\n\r\nWeiter?", "T", Icon::Exclamation);
  };
  for (Answer expected : {Answer::Retry, Answer::Retry, Answer::Retry, Answer::Cancel,
                          Answer::Cancel, Answer::Retry}) {
    EXPECT_EQ(ask(), expected);
  }
  // The end of the input closes the box.
  EXPECT_EQ(ask(), Answer::Cancel);
  const std::string box = "--- T [exclamation] ---\nBeschäftigt.\n\nWeiter?\n";
  const std::string prompt = "[W]iederholen/[A]bbrechen: ";
  EXPECT_EQ(console.out.str(), box + prompt + box + prompt + box + prompt + box + prompt + box +
                                   prompt + box + prompt + prompt + box + prompt + "\n");
}

// The offer has no default on a console: an empty answer asks again.
TEST(ConsoleUserInterface, YesNoCancelWantsATypedAnswer) {
  Console console("\nn\nJ\nx\na\n");
  const auto ask = [&] { return console.ui->AskYesNoCancel("Weiter?", "T", Icon::Question); };
  for (Answer expected : {Answer::No, Answer::Yes, Answer::Cancel, Answer::Cancel}) {
    EXPECT_EQ(ask(), expected);
  }
  const std::string box = "--- T [question] ---\nWeiter?\n";
  const std::string prompt = "[J]a/[N]ein/[A]bbrechen: ";
  EXPECT_EQ(console.out.str(),
            box + prompt + prompt + box + prompt + box + prompt + prompt + box + prompt + "\n");
}

TEST(ConsoleUserInterface, ShowMessageWritesTitleIconAndText) {
  Console console("");
  console.ui->ShowMessage("Zeile 3:\r\nFehler\rweiter", "Traskel", Icon::Critical);
  console.ui->ShowMessage("ok", "T", Icon::Exclamation);
  console.ui->ShowMessage("", "T", Icon::Information);
  console.ui->ShowMessage("x", "", Icon::None);
  EXPECT_EQ(console.out.str(),
            "--- Traskel [critical] ---\nZeile 3:\nFehler\nweiter\n"
            "--- T [exclamation] ---\nok\n"
            "--- T [information] ---\n\n"
            "---  [none] ---\nx\n");
}

TEST(ConsoleUserInterface, ControlCharactersFromAnExportNeverReachTheTerminalRaw) {
  Console console("");
  // ESC, NUL and DEL, C1 as Windows-1252 text brings it, a byte that is no
  // UTF-8, the first and last bidirectional controls of both ranges; a tab,
  // an umlaut and U+202F, next to them, stay.
  console.ui->ShowMessage(
      "Zeile 12: a\x1b[2Jb\0c\x7f\xC2\x85\xFF\td\xC3\xA4\r\nnext "
      "\xE2\x80\xAA\xE2\x80\xAE\xE2\x81\xA6\xE2\x81\xA9\xE2\x80\xAF"s,
      "T\x1b]0;x\x07", Icon::Critical);
  EXPECT_EQ(console.out.str(),
            "--- T\\x1b]0;x\\x07 [critical] ---\n"
            "Zeile 12: a\\x1b[2Jb\\x00c\\x7f\\x85\\xff\td\xC3\xA4\nnext "
            "\\u202A\\u202E\\u2066\\u2069\xE2\x80\xAF\n");
}

TEST(ConsoleUserInterface, DialogTextsAndEchoedAnswersNeverReachTheTerminalRaw) {
  // A folder name that would set the title and clear the screen, remembered
  // for every user; a piped answer with a NUL and a right-to-left override.
  std::istringstream in("a\0b\xE2\x80\xAE.csv\n"s);
  std::ostringstream out;
  auto ui = MakeConsoleUserInterface(in, out, kUserInterfaceWords, true);
  ui->ChooseFile({"Auswahl\x1b[2J", "CSV|*.csv\x07|", "/srv/d\x1b]0;t\x07\x1b[2J"});
  EXPECT_EQ(out.str(),
            "Auswahl\\x1b[2J\nFilter: CSV|*.csv\\x07|\n"
            "Verzeichnis: /srv/d\\x1b]0;t\\x07\\x1b[2J\nDatei: a\\x00b\\u202E.csv\n");
}

// The progress of the program's own and a status text from elsewhere share
// the line, the progress first; the line is ended before a message, and
// gives way to the text a finished task ends with.
TEST(ConsoleUserInterface, StatusLineIsSharedWithTheProgressAndEndedBeforeAMessage) {
  const std::optional<std::string> seen = OnTerminal(60, [] {
    StopSource stop;
    const std::unique_ptr<UserInterface> ui = MakeUserInterface(stop);
    console::ShowStatus("10% Bearbeite Zeile: eins");
    // Too soon to be drawn, but the latest: the ended line shows them.
    ui->ShowProgress({"teil.csv", "Zeile 2 von 40", "0:01", 0.05});
    console::ShowStatus("20% Bearbeite Zeile: a\x1b[2Jb");
    ui->ShowMessage("Laufzeitfehler", "Traskel", Icon::Critical);
    ui->ShowProgress({"teil.csv", "Zeile 40 von 40", "0:06, noch etwa 0:00", 1});
    ui->FinishProgress("Fertig: 30 Datenzeilen in 0:06 übernommen.");
  });
  if (!seen) GTEST_SKIP() << "no pseudo-terminal here";
  // The terminal turns each LF into CR LF.
  EXPECT_EQ(*seen,
            "\r10% Bearbeite Zeile: eins\x1b[K"
            "\rZeile 2 von 40, 0:01 | 20% Bearbeite Zeile: a\\x1b[2Jb\x1b[K\r\n"
            "--- Traskel [critical] ---\r\nLaufzeitfehler\r\n"
            // Cut to the terminal's 59 columns: the status text gives way.
            "\rZeile 40 von 40, 0:06, noch etwa 0:00 | 20% Bearbeite Zeile\x1b[K"
            "\r\x1b[KFertig: 30 Datenzeilen in 0:06 übernommen.\r\n");
}

}  // namespace
}  // namespace traskel
