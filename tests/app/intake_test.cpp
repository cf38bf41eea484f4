#include <gtest/gtest.h>

#include "app/intake.h"
#include "support/test_bed.h"

namespace traskel {
namespace {

// Feeds the input in pieces of `chunk` bytes.
std::string Normalise(const std::string& in, std::size_t chunk) {
  LineEndNormaliser n;
  std::string out;
  for (std::size_t i = 0; i < in.size(); i += chunk)
    n.Feed(std::string_view(in).substr(i, chunk), out);
  n.Finish(out);
  return out;
}

TEST(LineEndNormaliser, EveryLineEndsInOneCrLfWhateverTheChunks) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"", ""},
      {"a\nb\n", "a\r\nb\r\n"},
      {"a\r\nb\r\n", "a\r\nb\r\n"},
      {"a\nb", "a\r\nb\r\n"},  // last line without line feed
      {"a\rb\n", "a\rb\r\n"},  // a lone CR passes
      {"a\r", "a\r\n"},        // a CR that ends the file ends the line
      {"\n\n", "\r\n\r\n"},
      {"\xEF\xBB\xBFKopf\n", "Kopf\r\n"},  // the byte-order mark goes
      {"\xEF\xBB\xBF", ""},
      {"\xEF\xBB", "\xEF\xBB\r\n"},              // only a part of one: text after all
      {"x\xEF\xBB\xBF\n", "x\xEF\xBB\xBF\r\n"},  // not at the start: kept
      {std::string("a\0b\n", 4), std::string("a\0b\r\n", 5)},
  };
  for (const auto& c : cases) {
    for (std::size_t chunk : {1u, 2u, 3u, 1000u}) {
      EXPECT_EQ(Normalise(c.in, chunk), c.out) << "input '" << c.in << "' chunk " << chunk;
    }
  }
}

// The export's text through ExportText in pieces of `chunk` bytes: the
// copy's bytes, the encoding they are read in, and where UTF-8 broke.
std::tuple<std::string, TextEncoding, std::int64_t> Export(const std::string& in,
                                                           std::size_t chunk) {
  ExportText text;
  std::string out;
  for (std::size_t i = 0; i < in.size(); i += chunk)
    text.Feed(std::string_view(in).substr(i, chunk), out);
  const TextEncoding encoding = text.Finish(out);
  return {out, encoding, text.BrokenUtf8Line()};
}

std::string Repeated(const std::string& piece, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += piece;
  return s;
}

TEST(ExportText, DecidesTheEncodingOnceForTheWholeExport) {
  constexpr TextEncoding kUtf8 = TextEncoding::Utf8, kCodePage = TextEncoding::SystemCodePage;
  struct Case {
    std::string in, copy;
    TextEncoding encoding;
    std::int64_t brokenUtf8Line = 0;  // for text that is UTF-8 but for some bytes
  };
  const std::string nul(1, '\0');
  const Case cases[] = {
      {"", "", kUtf8},
      {"Kopf\nPT,P1\n", "Kopf\r\nPT,P1\r\n", kUtf8},
      {"\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F\n", "Gr\xC3\xBC\xC3\x9F\r\n", kUtf8},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80\r\n", kUtf8},
      // One byte that is no UTF-8, however late, makes all of it code page
      // text, kept byte for byte.
      {"Gr\xC3\xBC\xC3\x9F\nMa\xDF\n", "Gr\xC3\xBC\xC3\x9F\r\nMa\xDF\r\n", kCodePage, 2},
      // Lines as the conversion counts them: CR LF and a lone CR end one.
      {"a\r\nb\rMa\xDF\n\xC3\xBC", "a\r\nb\rMa\xDF\r\n\xC3\xBC\r\n", kCodePage, 3},
      {"\xC3\xBC\n\xE2\x82\n", "\xC3\xBC\r\n\xE2\x82\r\n", kCodePage,
       2},  // cut short by its line end
      {"\xEF\xBB\xBFMa\xDF", "Ma\xDF\r\n", kCodePage},
      {"a\xC3", "a\xC3\r\n", kCodePage},                  // a sequence cut short at the end
      {"\xC0\xAF\n", "\xC0\xAF\r\n", kCodePage},          // overlong
      {"\xED\xA0\x80\n", "\xED\xA0\x80\r\n", kCodePage},  // a surrogate
      {"\x81\x8D\x8F\x90\x9D", "\x81\x8D\x8F\x90\x9D\r\n", kCodePage},
      {"\xFF", "\xFF\r\n", kCodePage},  // one byte of a UTF-16 mark only
      // UTF-16 in either order becomes UTF-8 without its mark.
      {std::string("\xFF\xFEK\0\xF6\0\r\0\n\0z\0", 12), "K\xC3\xB6\r\nz\r\n", kUtf8},
      {std::string("\xFE\xFF\0K\0\xF6\0\n", 8), "K\xC3\xB6\r\n", kUtf8},
      {std::string("\xFF\xFE=\xD8\0\xDE", 6), "\xF0\x9F\x98\x80\r\n", kUtf8},  // a pair
      {std::string("\xFF\xFE\0\xDEx\0=\xD8", 8), "\xEF\xBF\xBDx\xEF\xBF\xBD\r\n", kUtf8},
      {std::string("\xFF\xFEx\0y", 5), "x\r\n", kUtf8},  // an odd last byte is dropped
      {std::string("\xFF\xFE\xFF\xFEx\0", 6), "\xEF\xBB\xBFx\r\n", kUtf8},  // a second mark is text
      {"\xFF\xFE", "", kUtf8},
      // Without a mark, UTF-16 is told by NUL bytes: at least nine tenths of
      // the bytes at odd offsets (LE) or even ones (BE), at most a tenth of
      // the others.
      {"K" + nul + "\xF6" + nul + "\n" + nul, "K\xC3\xB6\r\n", kUtf8},
      {nul + "K" + nul + "\xF6" + nul + "\n", "K\xC3\xB6\r\n", kUtf8},
      {Repeated("a" + nul, 9) + "\xAC\x20", std::string(9, 'a') + "\xE2\x82\xAC\r\n", kUtf8},
      {Repeated("a" + nul, 8) + "\xAC\x20", Repeated("a" + nul, 8) + "\xAC\x20\r\n", kCodePage},
      {Repeated("a" + nul, 8) + Repeated(nul, 4),
       Repeated("a" + nul, 8) + Repeated(nul, 4) + "\r\n", kUtf8},
      // The first 4 KiB decide; what follows is UTF-16 then, whatever it is.
      {Repeated("a" + nul, 2048) + Repeated("xx", 300),
       std::string(2048, 'a') + Repeated("\xE7\xA1\xB8", 300) + "\r\n", kUtf8},
  };
  for (const auto& c : cases) {
    for (std::size_t chunk : {1u, 2u, 3u, 1000u}) {
      const auto [copy, encoding, brokenLine] = Export(c.in, chunk);
      EXPECT_EQ(copy, c.copy) << "input '" << c.in << "' chunk " << chunk;
      EXPECT_EQ(encoding, c.encoding) << "input '" << c.in << "' chunk " << chunk;
      EXPECT_EQ(brokenLine, c.brokenUtf8Line) << "input '" << c.in << "' chunk " << chunk;
    }
  }
}

TEST(WriteNormalisedCopy, WritesBesideTheInputAndReportsWhatFails) {
  testing::TempFolder folder;
  SystemFileSystem files;
  std::string in = folder.Write("teil.csv", "a\nb\xE4");
  HeldCopy copy;
  const StopSource going;
  const Result<void> written = WriteNormalisedCopy(files, in, CopyPathFor(in), copy, going);
  ASSERT_TRUE(written) << written.failure().reason;
  EXPECT_EQ(testing::ReadAll(in + "conf"), "a\r\nb\xE4\r\n");
  EXPECT_EQ(testing::ReadAll(in), "a\nb\xE4");
  EXPECT_EQ(copy.length, 7u);
  EXPECT_EQ(copy.encoding, TextEncoding::SystemCodePage);
  ASSERT_NE(copy.file, nullptr);

  const Result<void> missing =
      WriteNormalisedCopy(files, folder.File("fehlt.csv"), folder.File("x"), copy, going);
  EXPECT_NE(missing.failure().reason.find("fehlt.csv"), std::string::npos);
  const Result<void> nowhere =
      WriteNormalisedCopy(files, in, folder.File("no/such/folder/copy"), copy, going);
  EXPECT_NE(nowhere.failure().reason.find("no/such/folder/copy"), std::string::npos);
}

}  // namespace
}  // namespace traskel
