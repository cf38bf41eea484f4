// "traskel --pruefen" on the catalogue's bad exports, held to real
// conversions of the same files: the line a conversion stops at, and every
// later one it would stop at once the earlier ones were gone, must be the
// lines the check names, with the same field, text and error.
#include <algorithm>
#include <functional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "badinput/runner.h"
#include "support/encodings.h"

namespace traskel::badinput {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct Export {
  std::string what;
  std::string text;  // UTF-8, or any bytes when written as they are
  std::string lineEnd = "\n";
  std::function<std::string(const std::string&)> encode = [](const std::string& s) { return s; };
};

std::vector<std::string> Split(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(end, from)) != std::string::npos; from = at + end.size()) {
    lines.push_back(text.substr(from, at - from));
  }
  lines.push_back(text.substr(from));
  return lines;
}

std::string Join(const std::vector<std::string>& lines, const std::string& end) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) text += (i > 0 ? end : "") + lines[i];
  return text;
}

// Where a conversion stopped, as the check would name it; empty when the
// message is not a run-time error's.
struct Stop {
  std::size_t line = 0;
  std::string shown;
};

Stop StopOf(const std::string& err) {
  static const std::regex error(
      R"(Laufzeitfehler '(-?\d+)':\n\n([\s\S]*?)\n\nZeile (\d+): [^\n]*\n)");
  std::smatch m;
  if (!std::regex_search(err, m, error)) return {};
  Stop stop{std::stoul(m[3]), "Zeile " + m[3].str()};
  const std::string after = m.suffix();
  if (after.starts_with("Feld "))
    return {stop.line, stop.shown + ", " + after.substr(0, after.find('\n'))};
  std::string text = m[2];
  std::replace(text.begin(), text.end(), '\n', ' ');
  return {stop.line, stop.shown + ": Laufzeitfehler '" + m[1].str() + "': " + text};
}

std::string Record(const std::string& x) {
  return "PT,P1, " + x + " ,2,3,0,0,1,,,,,,,,,,1";
}

std::vector<Export> Catalogue() {
  const std::string good = "PT,P2,1,2,3,0,0,1,,,,,,,,,,1";
  std::vector<Export> c;

  const std::string nul(1, '\0');
  c.push_back({"NUL bytes", "K" + nul + "pf\n" + Header().substr(7) + "PT,P" + nul +
                                "X,1,2,3,0,0,1,,,,,,,,,,1\nPT,P2,1,2" + nul +
                                ",3,0,0,1,,,,,,,,,,1\n"});

  // Every text that is no number, nine to an export, between good records.
  const char* const kNotNumbers[] = {
      "",    "abc", "1.2.3", "0x1A", "inf", "nan", "Infinity", "1 234", "1'234",
      "--1", "+-1", "1e",    "e5",   ".",   "-",   "1e+",      "1.5f",  "\xD9\xA1",
  };
  for (int half = 0; half < 2; ++half) {
    std::string text = Header();
    for (int k = 0; k < 9; ++k) text += Record(kNotNumbers[half * 9 + k]) + "\n" + good + "\n";
    c.push_back({"no numbers, part " + std::to_string(half + 1), text});
  }
  // Twelve at once: the check names ten of them.
  std::string twelve = Header();
  for (int k = 0; k < 12; ++k) twelve += Record("x" + std::to_string(k)) + "\n";
  c.push_back({"twelve bad lines", twelve});

  c.push_back({"out of range", Header() + Record("1e400") + "\n" + Record("-1e400") + "\n" +
                                   "PT,P1,1.234,5,\t-3e-1\t,0,0,1,,,,,,,,,,1\nPT,P1," +
                                   std::string(1'000'000, '7') + "\n"});
  c.push_back({"later fields", Header() + "ELL,E1,1,2,3,0,0,1,,18,10,1,0,zero,,,,0.05\n" +
                                   "SLT,S1,1,2,3,0,0,1,FLAT,4,30,1,0,0,,,,0.1,,vier\n" +
                                   "CLY,Z1,1,2,3,0,0,1,,10,1.5.0,,,,,,,0.01\n" +
                                   "CON,K1,1,2,3,0,0,1,,16,,,,,INNER,,,1 0\n" +
                                   "CIR,C1,1,2,3,0,0,1,,12.7,,,,,INNER,,,\n" + good + "\n"});

  // A decimal comma that shifted the fields: the conversion's message names
  // it before the field it hit, the check instead of it.
  c.push_back({"decimal commas", Header() + "PT,P1,60,25,0,0,0,0,1,,,,,,,,,,0.05\n" +
                                     "BPT,K1,60,-0,5,12,0,-1,0,,,,0,0,1,,,,0.1\n" + good + "\n"});

  std::mt19937 random(4711);
  std::string junk(256 * 1024, '\0');
  for (char& ch : junk) ch = static_cast<char>(random() & 0xFF);
  c.push_back({"random bytes", junk});

  const std::string cp1252 = "\xC3\x28 \xE4\xF6\xFC \xED\xA0\x80 \xF4\x90\x80\x80 \xC0\xAF";
  std::string crLfHeader;
  for (const std::string& line : Split(Header(), "\n")) {
    if (!line.empty()) crLfHeader += line + "\r\n";
  }
  c.push_back({"Windows-1252", "Kopf " + cp1252 + "\n" + Header().substr(7) + "PT,Ma" + cp1252 +
                                   ",1,2,3,0,0,1,,,,,,,,,,1\n" + Record(cp1252) + "\nUDF," +
                                   cp1252 + "\nFOO," + cp1252 + "\n"});

  const std::string unicode = Header() + "PT,Ma\xC3\x9F,1,2,3,0,0,1,,,,,,,,,,1\n" +
                              Record("1\xC3\xA4") + "\nCIR,\xE2\x84\xA6,1,2,3,0,0,1,,5,,,,,,,,x\n";
  for (bool bigEndian : {false, true}) {
    c.push_back(
        {bigEndian ? "UTF-16BE" : "UTF-16LE", unicode, "\n", [bigEndian](const std::string& s) {
           return testing::AsUtf16(testing::CodePoints(s), bigEndian);
         }});
  }
  c.push_back(
      {"byte-order mark, CR LF, no last line end",
       "\xEF\xBB\xBF" + crLfHeader + good + "\r\n" + Record("y") + "\r\nBAR,1\r\n" + Record("z"),
       "\r\n"});
  std::string crOnly = Header() + Record("q") + "\n" + good + "\n" + Record("r") + "\n";
  std::replace(crOnly.begin(), crOnly.end(), '\n', '\r');
  c.push_back({"CR line ends", crOnly, "\r"});
  c.push_back({"a header alone", "Kopf\n"});
  return c;
}

TEST_F(BadInput, CheckNamesEveryLineAConversionWouldStopAt) {
  for (const Export& e : Catalogue()) {
    SCOPED_TRACE(e.what);
    // Conversions, each with the lines the earlier ones stopped at emptied:
    // an empty record line is no data line and takes nothing from the others.
    std::vector<std::string> lines = Split(e.text, e.lineEnd);
    std::vector<std::string> stops;
    Outcome real;
    for (int round = 0; round < 20; ++round) {
      std::filesystem::remove(folder.File("teil.csvconf"));
      real = RunOn(e.encode(Join(lines, e.lineEnd)));
      if (real.status != 1) break;
      const Stop stop = StopOf(real.err);
      ASSERT_GT(stop.line, 10u) << real.err.substr(0, 2000);
      stops.push_back(stop.shown);
      lines.at(stop.line - 1).clear();
    }
    ASSERT_TRUE(real.status == 0 || real.status == 4) << real.err.substr(0, 2000);

    std::filesystem::remove(folder.File("teil.csvconf"));
    std::filesystem::remove(trace);
    Options check = Traced();
    check.args = {"--pruefen"};
    const Outcome r = RunOn(e.encode(e.text), check);
    EXPECT_EQ(r.status, stops.empty() ? real.status : 1) << r.err.substr(0, 2000);
    EXPECT_EQ(ReadAll(trace), "") << "the check reached the host";
    EXPECT_FALSE(CopyLeft());
    EXPECT_EQ(r.out, "");
    ASSERT_TRUE(r.err.find("--- Traskel – Export prüfen [") != std::string::npos);
    const std::string box = r.err.substr(r.err.rfind("--- Traskel – Export prüfen ["));
    EXPECT_THAT(box, HasSubstr(" ---\nPrüfung von " + folder.File("teil.csv") + ": "));
    if (stops.empty()) {
      EXPECT_THAT(box, Not(HasSubstr("die Konvertierung abbrechen")));
      // What the conversion said of lines left out, the check says too,
      // as what would be.
      if (real.status == 4) {
        std::string said = real.err.substr(real.err.rfind("[exclamation] ---\n") + 18);
        said = std::regex_replace(said, std::regex(" wurde"), " würde",
                                  std::regex_constants::format_first_only);
        said = std::regex_replace(said, std::regex("\n\nWer die Datei korrigiert [^\n]*\n$"), "\n");
        EXPECT_TRUE(box.ends_with(said)) << box.substr(0, 2000) << "\n---\n" << said;
      }
      continue;
    }
    std::string named = "\n\n" + std::to_string(stops.size()) +
                        (stops.size() == 1 ? " Zeile würde" : " Zeilen würden") +
                        " die Konvertierung abbrechen:\n";
    for (std::size_t k = 0; k < stops.size() && k < 10; ++k) named += stops[k] + "\n";
    if (stops.size() > 10) named += "…\n";
    EXPECT_THAT(box, HasSubstr(named));
  }
}

}  // namespace
}  // namespace traskel::badinput
