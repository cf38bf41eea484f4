// Where runs stopped, one entry per export, in the file store of POSIX
// systems as the program keeps it.
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/resume.h"
#include "platform/file_system.h"
#include "platform/settings_file.h"
#include "support/test_bed.h"

namespace traskel {
namespace {

using testing::TempFolder;

StopPoint PointOf(const std::string& file, std::int64_t line) {
  LinesFingerprint lines;
  for (std::int64_t n = 1; n <= line; ++n) lines.AddLine(file + std::to_string(n));
  return {file,      line,
          line + 10, StopPointFingerprint(file, lines, TextEncoding::Utf8),
          line + 1,  "C" + std::to_string(line)};
}

// Two runs of two exports end at the same moment, again and again: each
// entry is written whole and kept, and each export is offered its own line.
TEST(StopPoints, TwoRunsEndingTogetherNeverMixOrLoseTheirEntries) {
  TempFolder folder;
  const std::string exports[] = {"/daten/a.csv", "/daten/b|c\nd.csv"};
  int mixed = 0;
  for (std::int64_t round = 1; round <= 150; ++round) {
    std::vector<std::thread> runs;
    for (int e = 0; e < 2; ++e) {
      runs.emplace_back([&, e] {
        SystemFileSystem files;  // each run its own, as two processes have
        auto store = MakeFileSettingsStore(files, folder.path());
        EXPECT_TRUE(RememberStopPoint(*store, PointOf(exports[e], round + e)));
      });
    }
    for (std::thread& run : runs) run.join();
    SystemFileSystem files;
    auto store = MakeFileSettingsStore(files, folder.path());
    for (int e = 0; e < 2; ++e) {
      const std::optional<StopPoint> read = ReadStopPoint(*store, exports[e]);
      if (!read || !(*read == PointOf(exports[e], round + e))) ++mixed;
    }
  }
  EXPECT_EQ(mixed, 0);
}

// What can't be read whole is not trusted: an entry that is damaged, too
// long, or another export's.
TEST(StopPoints, AnEntryThatIsNotSoundCountsAsAbsent) {
  testing::MemorySettings settings;
  const StopPoint mine = PointOf("/daten/teil.csv", 17);
  ASSERT_TRUE(RememberStopPoint(settings, mine));
  ASSERT_EQ(ReadStopPoint(settings, mine.file), mine);
  const auto [path, sound] = *settings.values.begin();
  ASSERT_TRUE(RememberStopPoint(settings, PointOf("/daten/fremd.csv", 3)));
  std::string foreign;
  for (const auto& [p, value] : settings.values) {
    if (p != path) foreign = value;
  }
  const std::string cases[] = {
      "",
      "Unsinn",
      sound.substr(0, sound.size() - 1) + "|x",  // a field more
      sound.substr(0, sound.rfind('|')),         // a field less
      "2" + sound.substr(1),                     // another format
      sound.substr(0, sound.size() - 4) + "%4",  // an escape cut off
      sound + std::string(16 * 1024, 'x'),       // too long
      foreign,
  };
  for (const std::string& damaged : cases) {
    settings.values[path] = damaged;
    EXPECT_EQ(ReadStopPoint(settings, mine.file), std::nullopt) << damaged.substr(0, 60);
  }
  // Replaced, it is read again; forgetting it leaves the other export's.
  ASSERT_TRUE(RememberStopPoint(settings, mine));
  EXPECT_EQ(ReadStopPoint(settings, mine.file), mine);
  ASSERT_TRUE(ForgetStopPoint(settings, mine.file));
  EXPECT_EQ(ReadStopPoint(settings, mine.file), std::nullopt);
  EXPECT_NE(ReadStopPoint(settings, "/daten/fremd.csv"), std::nullopt);
}

// The newest entries stay; the oldest go as new ones come.
TEST(StopPoints, TheFiftyNewestAreKept) {
  testing::MemorySettings settings;
  for (int n = 1; n <= 53; ++n) {
    ASSERT_TRUE(RememberStopPoint(settings, PointOf("/daten/" + std::to_string(n) + ".csv", 5)));
  }
  EXPECT_EQ(settings.List(kStopPointsKey)->size(), kKeptStopPoints);
  for (int n = 1; n <= 53; ++n) {
    EXPECT_EQ(ReadStopPoint(settings, "/daten/" + std::to_string(n) + ".csv").has_value(), n > 3)
        << n;
  }
}

}  // namespace
}  // namespace traskel
