#include <cerrno>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/text.h"
#include "support/test_bed.h"

namespace traskel {
namespace {

using testing::TempFolder;

TEST(SplitPathFromFile, KeepsTheFolderWithoutItsLastSeparator) {
  EXPECT_EQ(SplitPathFromFile("/home/u/teil.csv"), "/home/u");
  EXPECT_EQ(SplitPathFromFile("a/b.csv"), "a");
  EXPECT_EQ(SplitPathFromFile("/home/u/"), "/home/u");
  EXPECT_EQ(SplitPathFromFile("teil.csv"), "");
  EXPECT_EQ(SplitPathFromFile(""), "");
  EXPECT_EQ(SplitPathFromFile("/teil.csv"), "/");
  EXPECT_EQ(SplitPathFromFile("/"), "/");
}

TEST(FileExists, CountsFilesOnly) {
  TempFolder folder;
  std::ofstream(folder / "empty.csv").close();
  EXPECT_TRUE(FileExists(folder / "empty.csv"));
  EXPECT_FALSE(FileExists(folder.path()));
  EXPECT_FALSE(FileExists(folder / "missing.csv"));
  EXPECT_FALSE(FileExists(""));

  EXPECT_TRUE(RemoveFile(folder / "empty.csv"));
  EXPECT_FALSE(FileExists(folder / "empty.csv"));
  EXPECT_FALSE(RemoveFile(folder / "empty.csv"));
  EXPECT_EQ(OpenBinary(folder / "empty.csv", "rb"), nullptr);
  EXPECT_EQ(LastFileError(), std::strerror(ENOENT));
}

// Switches the process locale for one test and restores it afterwards.
class DecodeSystemText : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = std::setlocale(LC_ALL, nullptr); }
  void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }
  void Use(const char* locale) { ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << locale; }

 private:
  std::string saved_;
};

const std::string R = "\xEF\xBF\xBD";

TEST_F(DecodeSystemText, Utf8LocaleReplacesEachIllFormedPart) {
  Use("C.UTF-8");
  EXPECT_EQ(traskel::DecodeSystemText("Bohrung;12,5;"), "Bohrung;12,5;");
  const std::string valid =
      "Ma\xC3\x9F Gr\xC3\xB6\xC3\x9F"
      "e \xE2\x82\xAC \xF0\x9F\x98\x80";
  EXPECT_EQ(traskel::DecodeSystemText(valid), valid);
  EXPECT_EQ(traskel::DecodeSystemText(std::string("a\0b", 3)), std::string("a\0b", 3));

  EXPECT_EQ(traskel::DecodeSystemText("a\xFF"
                                      "b"),
            "a" + R + "b");
  EXPECT_EQ(traskel::DecodeSystemText("a\x80\xBF"
                                      "b"),
            "a" + R + R + "b");
  EXPECT_EQ(traskel::DecodeSystemText("a\xC3"), "a" + R);
  EXPECT_EQ(traskel::DecodeSystemText("\xE2\x82"), R);
  EXPECT_EQ(traskel::DecodeSystemText("\xF0\x9F\x98"
                                      "A"),
            R + "A");
  EXPECT_EQ(traskel::DecodeSystemText("\xC3\xC3\xA4"), R + "\xC3\xA4");
  // Overlong forms.
  EXPECT_EQ(traskel::DecodeSystemText("\xC0\xAF"), R + R);
  EXPECT_EQ(traskel::DecodeSystemText("\xE0\x80\xAF"), R + R + R);
  EXPECT_EQ(traskel::DecodeSystemText("\xF0\x8F\xBF\xBF"), R + R + R + R);
  // Surrogates and values above U+10FFFF.
  EXPECT_EQ(traskel::DecodeSystemText("\xED\xA0\x80"), R + R + R);
  EXPECT_EQ(traskel::DecodeSystemText("\xF4\x90\x80\x80"), R + R + R + R);
  EXPECT_EQ(traskel::DecodeSystemText("\xF4\x8F\xBF\xBF"), "\xF4\x8F\xBF\xBF");
}

TEST_F(DecodeSystemText, PlainLocaleKeepsAsciiOnly) {
  Use("C");
  EXPECT_EQ(traskel::DecodeSystemText("Bohrung;12,5;"), "Bohrung;12,5;");
  EXPECT_EQ(traskel::DecodeSystemText("Ma\xDF;\xC3\xA4"), "Ma" + R + ";" + R + R);
  // The choice follows the locale of the moment.
  Use("C.UTF-8");
  EXPECT_EQ(traskel::DecodeSystemText("\xC3\xA4"), "\xC3\xA4");
}

}  // namespace
}  // namespace traskel
