// What a check of an export tells, and the status it ends with, for the
// kinds of doubt it finds.
#include <gtest/gtest.h>

#include "app/check.h"
#include "support/test_bed.h"

namespace traskel {
namespace {

TEST(CheckExport, TellsEachDoubtAfterTheCountsAndEndsWithItsStatus) {
  const std::string header = "Geh\xC3\xA4usedeckel\n" + std::string(9, '\n');
  struct Case {
    std::string records, told;
    ExitStatus status;
  };
  const Case cases[] = {
      {"PT,P1,0,0,0,0,0,1,,,,,,,,,,0.05,,\n", "1 Datenzeile (PT 1)\r\n\r\nKeine Probleme gefunden.",
       kConverted},
      // A decimal comma moves a number into a field its type does not read.
      {"CIR,C1,1,2,3,0,0,1,,12,7,,,,,,,0.02,,\n",
       "1 Datenzeile (CIR 1)\r\n\r\n"
       "Zeile 11, Feld 11: \"7\" wird bei CIR nicht gelesen; steht ein Dezimalkomma davor?",
       kLinesNotTaken},
      // Failing lines first, then the fields not read: not those of a failing
      // line, nor of a comment.
      {"PT,P1,0,0,0,0,0,1,,,,,,,,,,0,05,,\nPT,P2,1,2,1e400,0,0,1,,,,,,,,,,1,2\n"
       "SLT,S1,1,2,3,0,0,1,ROUND,4,30,1,0,0,,,,0.1,,4\nHEX,H1,1,2,3,0,0,1,,4,5,6\n",
       "4 Datenzeilen (PT 2, SLT 1, HEX 1)\r\n\r\n"
       "1 Zeile würde die Konvertierung abbrechen:\r\n"
       "Zeile 12, Feld 5 (Z): \"1e400\" liegt außerhalb des Zahlenbereichs\r\n\r\n"
       "Zeile 11, Feld 18 (Wert): \"0\" und Feld 19 \"05\" – ein Dezimalkomma in Wert?\r\n"
       "Zeile 13, Feld 20: \"4\" wird bei SLT nicht gelesen; steht ein Dezimalkomma davor?",
       kRunFailed},
      // A decimal comma that shifted every later field is named where it is,
      // not where a shifted field fails: only where one comma read as a
      // decimal point makes the record whole.
      {"PT,P1,60,25,0,0,0,0,1,,,,,,,,,,0.05\nBPT,K1,60,-0,5,12,0,-1,0,,,,0,0,1,,,,0.1\n"
       "CIR,C1,1,2,3,0,0,1,,12,7,,,,,INNER,,,0.02\nPT,P4,60,25,0,0,0,0,1,,,,,,,,,,0,05\n",
       "4 Datenzeilen (PT 2, BPT 1, CIR 1)\r\n\r\n4 Zeilen würden die Konvertierung abbrechen:\r\n"
       "Zeile 11, Feld 3 (X): \"60\" und Feld 4 \"25\" – ein Dezimalkomma in X?\r\n"
       "Zeile 12, Feld 4 (Y): \"-0\" und Feld 5 \"5\" – ein Dezimalkomma in Y?\r\n"
       "Zeile 13, Feld 10 (Größe 1): \"12\" und Feld 11 \"7\" – ein Dezimalkomma in Größe 1?\r\n"
       "Zeile 14, Feld 18 (Wert): \"\" ist keine Zahl",
       kRunFailed},
      // One byte that is no UTF-8 makes all of it code page text.
      {"PT,P\xE4,0,0,0,0,0,1,,,,,,,,,,1\npt,P2\n",
       "2 Datenzeilen (PT 1)\r\n\r\nDie Datei ist kein gültiges UTF-8 (Zeile 11) und wird als "
       "Windows-1252 gelesen; Umlaute können falsch ankommen.\r\n\r\n1 von 2 Datenzeilen würde "
       "nicht übernommen (unbekannter Typ):\r\n\r\nZeile 12: pt,P2 (gemeint: PT?)",
       kLinesNotTaken},
  };
  testing::TempFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.records);
    testing::TestBed bed;
    const std::string path = folder.Write("teil.csv", header + c.records);
    EXPECT_EQ(CheckExport(bed.run, bed.settings, path), c.status);
    ASSERT_EQ(bed.ui.messages.size(), 1u);
    EXPECT_EQ(bed.ui.messages[0].text, "Prüfung von " + path + ": " + c.told);
    EXPECT_EQ(bed.ui.messages[0].title, "Traskel – Export prüfen");
    EXPECT_EQ(bed.ui.messages[0].icon,
              c.status == kConverted ? Icon::Information : Icon::Exclamation);
  }
}

// A check from a line on counts the lines before it but finds nothing in
// them; one the user stops tells what it found up to there.
TEST(CheckExport, FromALineOnOrStoppedTellsWhatItWentThrough) {
  const std::string records =
      std::string(10, '\n') +
      "PT,P1,x\nPT,P2,1,2,3,0,0,1,,,,,,,,,,1\nPT,P3,1,2,3,0,0,1,,,,,,,,,,1\nXYZ\n";
  testing::TempFolder folder;
  const std::string path = folder.Write("teil.csv", records);

  testing::TestBed from;
  EXPECT_EQ(CheckExport(from.run, from.settings, path, {}, 12), kLinesNotTaken);
  ASSERT_EQ(from.ui.messages.size(), 1u);
  EXPECT_EQ(from.ui.messages[0].text,
            "Prüfung von " + path +
                ": 4 Datenzeilen (PT 3)\r\n\r\n1 von 4 Datenzeilen würde nicht übernommen "
                "(unbekannter Typ):\r\n\r\nZeile 14: XYZ\r\n\r\nDie Zeilen 1 bis 11 sind nur "
                "gezählt, nicht geprüft.");

  // Stopped with most of a long file unread, which is no change to it.
  std::string tail;
  for (int i = 0; i < 5000; ++i) tail += "PT,P4,1,2,3,0,0,1,,,,,,,,,,1\n";
  const std::string longer = folder.Write("lang.csv", records + tail);
  testing::TestBed stopped;
  stopped.ui.stopWhen = [&] { return stopped.ui.pumps == 12; };
  EXPECT_EQ(CheckExport(stopped.run, stopped.settings, longer), kStopped);
  ASSERT_EQ(stopped.ui.messages.size(), 1u);
  EXPECT_EQ(stopped.ui.messages[0].text,
            "Prüfung von " + longer +
                ": 2 Datenzeilen (PT 2)\r\n\r\n1 Zeile würde die Konvertierung abbrechen:\r\n"
                "Zeile 11, Feld 3 (X): \"x\" ist keine Zahl\r\n\r\nPrüfung nach Zeile 12 von "
                "5014 abgebrochen.");
  EXPECT_EQ(stopped.ui.closed, 1);

  testing::TestBed beyond;
  EXPECT_EQ(CheckExport(beyond.run, beyond.settings, path, {}, 15), kNotChosen);
  ASSERT_EQ(beyond.ui.messages.size(), 1u);
  EXPECT_EQ(beyond.ui.messages[0].text, TooFewLinesText(14));
  // No report: the box of a conversion given that line.
  EXPECT_EQ(beyond.ui.messages[0].title, "Traskel nach Quorvex");
}

}  // namespace
}  // namespace traskel
