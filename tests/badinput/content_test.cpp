// Exports whose content is bad: junk, control bytes, huge lines, broken
// text and numbers. The converter must end cleanly, say what and where, keep
// the copy when it stops, and never change the export.
#include <random>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "badinput/runner.h"

namespace traskel::badinput {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// True when every sequence in s is well-formed UTF-8.
bool IsUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80                 ? 1
                    : c >= 0xC2 && c <= 0xDF ? 2
                    : c >= 0xE0 && c <= 0xEF ? 3
                    : c >= 0xF0 && c <= 0xF4 ? 4
                                             : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

// True when s holds no character that steers a terminal: C0 but tab and
// LF, DEL, C1.
bool TerminalSafe(const std::string& s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) return false;
    if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0) return false;
  }
  return true;
}

TEST_F(BadInput, JunkAndNulBytesAreTextNotFaults) {
  // Random bytes: ten lines of comments, the rest has no known key.
  std::mt19937 random(4711);
  std::string junk(256 * 1024, '\0');
  for (char& c : junk) c = static_cast<char>(random() & 0xFF);
  Outcome r = RunOn(junk);
  EXPECT_EQ(r.status, 4) << r.err;  // converted, the junk lines left out
  EXPECT_EQ(ListedCommands(r.out), 1 + 10);
  EXPECT_TRUE(IsUtf8(r.out)) << "undecodable bytes reached the host";
  EXPECT_FALSE(CopyLeft());
  // The skipped lines it names, and the listing, are safe on a terminal.
  EXPECT_THAT(r.err, HasSubstr("Datenzeilen wurden nicht übernommen"));
  EXPECT_TRUE(TerminalSafe(r.err) && IsUtf8(r.err)) << r.err;
  EXPECT_TRUE(TerminalSafe(r.out));

  // NUL is a character like any other: kept in texts, no digit in numbers.
  const std::string nul(1, '\0');
  const std::string content = "K" + nul + "pf\n" + Header().substr(7) + "PT,P" + nul +
                              "X,1,2,3,0,0,1,,,,,,,,,,1\nPT,P2,1,2" + nul + ",3,0,0,1,,,,,,,,,,1\n";
  r = RunOn(content);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("Typen unverträglich"));
  EXPECT_THAT(r.err, HasSubstr("Zeile 12: PT,P2,1,2"));
  EXPECT_THAT(r.err, HasSubstr("Feld 4 (Y): \"2\\x00\" ist keine Zahl"));
  EXPECT_THAT(r.out, HasSubstr("c1=\"K\\u0000pf\""));
  EXPECT_THAT(r.out, HasSubstr("point (603) \"P\\u0000X\""));
  EXPECT_EQ(ListedCommands(r.out), 1 + 10 + 2);
  EXPECT_TRUE(CopyLeft());
}

TEST_F(BadInput, HugeLinesAndFieldCountsAreReadWholeAndShownShort) {
  // A 10 MB last line without line feed ends up whole in one comment.
  const std::string tail(10'000'000, 'x');
  Outcome r = RunOn(Header() + "HEX," + tail);
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 2000);
  EXPECT_EQ(ListedCommands(r.out), 1 + 11);
  EXPECT_NE(r.out.find("c1=\"$$ HEX $$ - HEX," + tail + "\"\n"), std::string::npos);

  // A long line as a number, too large for a Double: the message names it,
  // cut to a readable size.
  const std::string digits(1'000'000, '7');
  r = RunOn(Header() + "PT,P1," + digits);
  EXPECT_EQ(r.status, 1);
  EXPECT_LT(r.err.size(), 4000u);
  EXPECT_THAT(r.err, HasSubstr("Zeile 11: PT,P1,777"));
  EXPECT_THAT(r.err, HasSubstr("(1000006 Bytes)"));
  EXPECT_THAT(r.err, HasSubstr("Feld 3 (X): \"777"));
  EXPECT_THAT(r.err, HasSubstr("(1000000 Bytes)\" liegt außerhalb des Zahlenbereichs"));
  EXPECT_TRUE(CopyLeft());

  // 100,000 commas: fields past the 81st are dropped, a line of commas alone
  // has no key, a comment keeps them all.
  const std::string commas(100'000, ',');
  r = RunOn(Header() + "PT,P1,1,2,3,0,0,1,,,,,,,,,,1" + commas + "\n" + commas + "\nUDF" + commas +
            "\n");
  EXPECT_EQ(r.status, 4) << r.err.substr(0, 2000);  // the line of commas is left out
  EXPECT_EQ(ListedCommands(r.out), 1 + 10 + 2);
  EXPECT_THAT(r.out, HasSubstr("point (603) \"P1\" pos[0]=(1, 2, 3)"));
  EXPECT_THAT(r.out, HasSubstr("c1=\"$$ UDF $$ - UDF" + commas + "\""));
}

TEST_F(BadInput, TextThatIsNoUtf8IsWindows1252InEveryLocale) {
  const std::string bad = "\xC3\x28 \xE4\xF6\xFC \xED\xA0\x80 \xF4\x90\x80\x80 \xC0\xAF";
  // As the listing shows it: 0x90 is the C1 character U+0090, escaped.
  const std::string read =
      "\xC3\x83( \xC3\xA4\xC3\xB6\xC3\xBC \xC3\xAD\xC2\xA0\xE2\x82\xAC "
      "\xC3\xB4\\u0090\xE2\x82\xAC\xE2\x82\xAC \xC3\x80\xC2\xAF";
  const std::string content = "Kopf " + bad + "\n" + Header().substr(7) + "PT,Ma" + bad +
                              ",1,2,3,0,0,1,,,,,,,,,,1\nUDF," + bad + "\n";
  std::string first;
  for (const char* locale : {"C.UTF-8", "C"}) {
    SCOPED_TRACE(locale);
    Outcome r = RunOn(content, WithEnv({std::string("LC_ALL=") + locale}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ListedCommands(r.out), 1 + 10 + 2);
    EXPECT_TRUE(IsUtf8(r.out)) << "undecodable bytes reached the host";
    EXPECT_THAT(r.out, HasSubstr("c1=\"Kopf " + read + "\""));
    EXPECT_THAT(r.out, HasSubstr("point (603) \"Ma" + read + "\""));
    EXPECT_THAT(r.out, HasSubstr("c1=\"$$ UDF $$ - UDF," + read + "\""));
    if (first.empty()) first = r.out;
    EXPECT_EQ(r.out, first);
  }
}

TEST_F(BadInput, EveryMalformedNumberStopsAtItsLineAndField) {
  // Fields are cut at commas, so grouping with commas can't reach a number.
  const char* const kNotNumbers[] = {
      "",    "abc", "1.2.3", "0x1A", "inf", "nan", "Infinity", "1 234", "1'234",
      "--1", "+-1", "1e",    "e5",   ".",   "-",   "1e+",      "1.5f",  "\xD9\xA1",
  };
  for (const std::string text : kNotNumbers) {
    SCOPED_TRACE("X = \"" + text + "\"");
    Outcome r = RunOn(Header() + "PT,P1, " + text + " ,2,3,0,0,1,,,,,,,,,,1\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("Laufzeitfehler '13':"));
    EXPECT_THAT(r.err, HasSubstr("Zeile 11: PT,P1, " + text + " ,2,3"));
    EXPECT_THAT(r.err, HasSubstr("Feld 3 (X): \"" + text + "\" ist keine Zahl"));
    EXPECT_EQ(ListedCommands(r.out), 1 + 10 + 1);  // the point was created before
    EXPECT_TRUE(CopyLeft());
  }

  // A number beyond the Double range is the overflow error.
  for (const std::string text : {"1e400", "-1e400"}) {
    SCOPED_TRACE("X = \"" + text + "\"");
    const std::string record = "PT,P1," + text + ",2,3,0,0,1,,,,,,,,,,1";
    Outcome r = RunOn(Header() + record + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err,
                HasSubstr("Laufzeitfehler '6':\n\nÜberlauf\n\nZeile 11: " + record +
                          "\nFeld 3 (X): \"" + text + "\" liegt außerhalb des Zahlenbereichs\n"));
    EXPECT_TRUE(CopyLeft());
  }

  // Later fields of other records are named by their own number.
  struct Case {
    std::string record;
    std::string field;
  };
  const Case kLater[] = {
      {"ELL,E1,1,2,3,0,0,1,,18,10,1,0,zero,,,,0.05", "14 (K2)"},
      {"SLT,S1,1,2,3,0,0,1,FLAT,4,30,1,0,0,,,,0.1,,vier", "20 (Option)"},
      {"CLY,Z1,1,2,3,0,0,1,,10,1.5.0,,,,,,,0.01", "11 (Größe 2)"},
      {"CON,K1,1,2,3,0,0,1,,16,,,,,INNER,,,1 0", "18 (Wert)"},
  };
  for (const Case& c : kLater) {
    SCOPED_TRACE(c.record);
    Outcome r = RunOn(Header() + c.record + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("Zeile 11: " + c.record));
    EXPECT_THAT(r.err, HasSubstr("\nFeld " + c.field + ": \""));
  }

  // "1.234,5" is two numbers, tabs around one are blanks.
  Outcome r = RunOn(Header() + "PT,P1,1.234,5,\t-3e-1\t,0,0,1,,,,,,,,,,1\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("pos[0]=(1.234, 5, -0.3)"));
}

TEST_F(BadInput, ByteOrderMarkIsDroppedOnceAtTheStartOnly) {
  Outcome r = RunOn(
      "\xEF\xBB\xBF"
      "Kopf\xEF\xBB\xBF eins\r\nzwei\r\n");
  EXPECT_EQ(r.status, 4) << r.err;  // a header alone has no data lines
  EXPECT_THAT(r.out, HasSubstr("c1=\"Kopf\xEF\xBB\xBF eins\"\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("\"\xEF\xBB\xBF"
                                   "Kopf")));
  EXPECT_EQ(ListedCommands(r.out), 1 + 2);

  r = RunOn("\xEF\xBB\xBF");
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_EQ(ListedCommands(r.out), 1);
}

}  // namespace
}  // namespace traskel::badinput
