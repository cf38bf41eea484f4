#include <cerrno>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/settings_file.h"
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
  SystemFileSystem files;
  std::ofstream(folder / "empty.csv").close();
  EXPECT_TRUE(files.Exists(folder / "empty.csv"));
  EXPECT_FALSE(files.Exists(folder.path()));
  EXPECT_FALSE(files.Exists(folder / "missing.csv"));
  EXPECT_FALSE(files.Exists(""));

  EXPECT_TRUE(files.Remove(folder / "empty.csv").ok());
  EXPECT_FALSE(files.Exists(folder / "empty.csv"));
  // Each failure carries the system's code and its text.
  const Result<void> removed = files.Remove(folder / "empty.csv");
  ASSERT_FALSE(removed.ok());
  EXPECT_EQ(removed.failure().code, ENOENT);
  const auto opened = files.OpenForReading(folder / "empty.csv");
  ASSERT_FALSE(opened.ok());
  EXPECT_EQ(opened.failure().reason, std::strerror(ENOENT));
}

template <typename Result>
std::optional<FailureKind> KindOf(const Result& result) {
  if (result) return std::nullopt;
  return result.failure().kind;
}

// One row per kind the system gives; what is told by it is the caller's.
TEST(FileSystem, EachFailureIsToldByItsKind) {
  TempFolder folder;
  SystemFileSystem files;
  const std::string file = folder.Write("teil.csv", "x"), held = folder / "gehalten.csv";
  std::filesystem::create_symlink(file, folder / "link.csv");
  std::filesystem::create_hard_link(file, folder / "hart.csv");
  folder.Write("settings", std::string((1 << 20) + 1, 'x'));
  auto taken = files.TakeFile(held);
  ASSERT_TRUE(taken.ok());
  const std::pair<FailureKind, std::function<std::optional<FailureKind>()>> cases[] = {
      {FailureKind::Io, [&] { return KindOf(files.OpenForReading(file + "/x")); }},
      {FailureKind::NotFound, [&] { return KindOf(files.Remove(folder / "fehlt.csv")); }},
      {FailureKind::NotRegular, [&] { return KindOf(files.OpenForReading(folder.path())); }},
      {FailureKind::Link, [&] { return KindOf(files.TakeFile(folder / "link.csv")); }},
      {FailureKind::OtherNames, [&] { return KindOf(files.TakeFile(folder / "hart.csv")); }},
      {FailureKind::HeldByOther, [&] { return KindOf(files.TakeFile(held)); }},
      {FailureKind::TooLarge,
       [&] { return KindOf(MakeFileSettingsStore(files, folder.path())->Read("K")); }},
      {FailureKind::NameMoved,
       [&] {
         std::filesystem::rename(held, folder / "weg.csv");
         folder.Write("gehalten.csv", "");
         return KindOf((*taken)->Remove());
       }},
  };
  for (const auto& [kind, fail] : cases) EXPECT_EQ(fail(), kind) << static_cast<int>(kind);
}

const std::string R = "\xEF\xBF\xBD";

TEST(RepairUtf8, ReplacesEachIllFormedPart) {
  EXPECT_EQ(RepairUtf8("Bohrung;12,5;"), "Bohrung;12,5;");
  const std::string valid =
      "Ma\xC3\x9F Gr\xC3\xB6\xC3\x9F"
      "e \xE2\x82\xAC \xF0\x9F\x98\x80";
  EXPECT_EQ(RepairUtf8(valid), valid);
  EXPECT_EQ(RepairUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));

  EXPECT_EQ(RepairUtf8("a\xFF"
                       "b"),
            "a" + R + "b");
  EXPECT_EQ(RepairUtf8("a\x80\xBF"
                       "b"),
            "a" + R + R + "b");
  EXPECT_EQ(RepairUtf8("a\xC3"), "a" + R);
  EXPECT_EQ(RepairUtf8("\xE2\x82"), R);
  EXPECT_EQ(RepairUtf8("\xF0\x9F\x98"
                       "A"),
            R + "A");
  EXPECT_EQ(RepairUtf8("\xC3\xC3\xA4"), R + "\xC3\xA4");
  // Overlong forms.
  EXPECT_EQ(RepairUtf8("\xC0\xAF"), R + R);
  EXPECT_EQ(RepairUtf8("\xE0\x80\xAF"), R + R + R);
  EXPECT_EQ(RepairUtf8("\xF0\x8F\xBF\xBF"), R + R + R + R);
  // Surrogates and values above U+10FFFF.
  EXPECT_EQ(RepairUtf8("\xED\xA0\x80"), R + R + R);
  EXPECT_EQ(RepairUtf8("\xF4\x90\x80\x80"), R + R + R + R);
  EXPECT_EQ(RepairUtf8("\xF4\x8F\xBF\xBF"), "\xF4\x8F\xBF\xBF");
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

TEST_F(DecodeSystemText, IsWindows1252InEveryLocale) {
  for (const char* locale : {"C", "C.UTF-8"}) {
    Use(locale);
    EXPECT_EQ(traskel::DecodeSystemText("Bohrung;12,5;"), "Bohrung;12,5;") << locale;
    EXPECT_EQ(traskel::DecodeSystemText("Ma\xDF;\xC3\xA4 \x80 \xFF"),
              "Ma\xC3\x9F;\xC3\x83\xC2\xA4 \xE2\x82\xAC \xC3\xBF")
        << locale;
    // The five bytes Windows-1252 leaves unassigned stand for the C1
    // characters of the same number, as Windows maps them.
    EXPECT_EQ(traskel::DecodeSystemText("\x81\x8D\x8F\x90\x9D"),
              "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D")
        << locale;
  }
}

}  // namespace
}  // namespace traskel
