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

TEST(WriteNormalisedCopy, WritesBesideTheInputAndReportsWhatFails) {
  testing::TempFolder folder;
  std::string in = folder.Write("teil.csv", "a\nb");
  std::string error;
  ASSERT_TRUE(WriteNormalisedCopy(in, CopyPathFor(in), error)) << error;
  EXPECT_EQ(testing::ReadAll(in + "conf"), "a\r\nb\r\n");
  EXPECT_EQ(testing::ReadAll(in), "a\nb");

  EXPECT_FALSE(WriteNormalisedCopy(folder.File("fehlt.csv"), folder.File("x"), error));
  EXPECT_NE(error.find("fehlt.csv"), std::string::npos);
  EXPECT_FALSE(WriteNormalisedCopy(in, folder.File("no/such/folder/copy"), error));
  EXPECT_NE(error.find("no/such/folder/copy"), std::string::npos);
}

}  // namespace
}  // namespace traskel
