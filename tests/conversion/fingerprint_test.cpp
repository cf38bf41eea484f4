#include "conversion/fingerprint.h"

#include <string>

#include <gtest/gtest.h>

namespace traskel {
namespace {

// The published digests of MurmurHash3's 128-bit form, seed 0: stored
// fingerprints stay comparable across builds and machines.
TEST(Fingerprint, IsTheSameWhateverPiecesTheTextComesIn) {
  struct Case {
    std::string text, digest;
  };
  const std::string long_(100'003, 'a');
  for (const Case& c : {
           Case{"", "00000000000000000000000000000000"},
           Case{"hello", "cbd8a7b341bd9b025b1e906a48ae1d19"},
           Case{"The quick brown fox jumps over the lazy dog", "e34bbc7bbc071b6c7a433ca9c49a9347"},
           Case{long_, ""},
       }) {
    SCOPED_TRACE(c.text.substr(0, 20));
    Fingerprint whole;
    whole.Feed(c.text);
    if (!c.digest.empty()) {
      EXPECT_EQ(whole.Hex(), c.digest);
    }
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{16}, std::size_t{17}}) {
      Fingerprint f;
      for (std::size_t at = 0; at < c.text.size(); at += piece) {
        f.Feed(std::string_view(c.text).substr(at, piece));
        if (at == 0) (void)f.Hex();  // asking on the way changes nothing
      }
      EXPECT_EQ(f.Hex(), whole.Hex()) << "in pieces of " << piece;
    }
  }
}

// The copy's first lines, cut as they pass in pieces while it is written,
// give what the driver's lines give, one by one; a CR LF torn between two
// pieces and a lone CR end a line as the driver ends it.
TEST(FirstLines, CutsTheLinesTheDriverReads) {
  const std::string text = "eins\r\nzwei\rdrei\r\n\r\nf\xC3\xBCnf\r\nsechs\r\n";
  LinesFingerprint byLine;
  for (const char* line : {"eins", "zwei", "drei", "", "f\xC3\xBCnf"}) byLine.AddLine(line);
  for (std::size_t piece : {std::size_t{1}, std::size_t{5}, text.size()}) {
    FirstLines first(5);
    for (std::size_t at = 0; at < text.size(); at += piece) {
      first.Feed(std::string_view(text).substr(at, piece));
    }
    EXPECT_EQ(first.fingerprint().count(), 5) << piece;
    EXPECT_EQ(first.fingerprint().Hex(TextEncoding::Utf8), byLine.Hex(TextEncoding::Utf8)) << piece;
  }
  // The same bytes read as code page text are other lines.
  EXPECT_NE(byLine.Hex(TextEncoding::Utf8), byLine.Hex(TextEncoding::SystemCodePage));
  LinesFingerprint joined;
  joined.AddLine("einszwei");
  LinesFingerprint split;
  split.AddLine("eins");
  split.AddLine("zwei");
  EXPECT_NE(joined.Hex(TextEncoding::Utf8), split.Hex(TextEncoding::Utf8));
}

}  // namespace
}  // namespace traskel
