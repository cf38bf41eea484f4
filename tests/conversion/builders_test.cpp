// Whole traces of one record of each kind, against the call tables.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "conversion/connection.h"
#include "conversion/conversion.h"
#include "conversion/feature.h"
#include "support/expected_trace.h"
#include "support/test_bed.h"

namespace traskel {
namespace {

using ::testing::ElementsAreArray;
using testing::Half;
using testing::Head;
using testing::Inner;
using testing::kDefaults;
using testing::Lines;
using testing::operator+;
using testing::Pos;
using testing::Size;
using testing::TestBed;
using testing::Val;
using testing::Vec;
using testing::WithoutResults;

// Field values by index; the rest stay empty.
std::string Record(std::map<int, std::string> fields) {
  int last = fields.rbegin()->first;
  std::string line;
  for (int i = 0; i <= last; ++i) {
    if (i) line += ',';
    if (auto it = fields.find(i); it != fields.end()) line += it->second;
  }
  return line;
}

// A record with position 1,2,3, vector 0,0,1, second vector 1,0,0, sizes 10
// and 25, Fields(17) = 5.
std::map<int, std::string> Full(const std::string& key, const std::string& label) {
  return {{0, key}, {1, label}, {2, "1"},   {3, "2"},  {4, "3"},  {5, "0"},  {6, "0"},
          {7, "1"}, {9, "10"},  {10, "25"}, {11, "1"}, {12, "0"}, {13, "0"}, {17, "5"}};
}

class Builders : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fktStartQuorvex(bed.run));
    bed.trace.clear();
  }
  // Splits and dispatches one record; returns the trace without results.
  Lines Convert(const std::string& line) {
    SplitFields(bed.run.Fields, line);
    DispatchRecord(bed.run, line);
    return WithoutResults(bed.trace);
  }
  // The same, for a record that must fail with a type mismatch.
  Lines ConvertFailing(const std::string& line, int expectedField) {
    SplitFields(bed.run.Fields, line);
    try {
      DispatchRecord(bed.run, line);
      ADD_FAILURE() << "no error for " << line;
    } catch (const RunError& e) {
      EXPECT_EQ(e.number(), host::kTypeMismatch);
      EXPECT_EQ(e.field, expectedField);
    }
    return WithoutResults(bed.trace);
  }
  TestBed bed;
};

const std::string kXyz = "R8:1 R8:2 R8:3";
const std::string kIjk = "R8:0 R8:0 R8:1";
const std::string kIjk2 = "R8:1 R8:0 R8:0";

TEST_F(Builders, PointTakesPositionVectorAndSize) {
  auto fields = Full("PT", "P1");
  fields[14] = "INNER";  // no effect on points
  EXPECT_THAT(Convert(Record(fields)), ElementsAreArray(Head(603, "P1") + kDefaults + Pos(kXyz, 0) +
                                                        Vec(kIjk, 1) + Size("R8:5")));
}

TEST_F(Builders, EdgePointAddsSecondVectorAndFourPuts) {
  EXPECT_THAT(
      Convert(Record(Full("BPT", "B1"))),
      ElementsAreArray(Head(604, "B1") + kDefaults + Pos(kXyz, 0) + Vec(kIjk, 1) + Vec(kIjk2, 19) +
                       Lines{"FeatureData put 18 I2:1", "FeatureData put 4 I2:1",
                             "FeatureData put 5 I2:3", "FeatureData put 7 I2:3"} +
                       Size("R8:5")));
}

TEST_F(Builders, LineAndPlaneTakeThePointStepsWithCodeZero) {
  auto plane = Record({{0, "PLN"},
                       {1, "E1"},
                       {2, "0"},
                       {3, "0"},
                       {4, "10"},
                       {5, "0"},
                       {6, "0"},
                       {7, "1"},
                       {9, "x"},
                       {14, "INNER"},
                       {17, "2"}});
  auto expected =
      Head(0, "E1") + kDefaults + Pos("R8:0 R8:0 R8:10", 0) + Vec(kIjk, 1) + Size("R8:2");
  EXPECT_THAT(Convert(plane), ElementsAreArray(expected));
  bed.trace.clear();
  auto line = plane;
  line.replace(0, 3, "LN");
  EXPECT_THAT(Convert(line), ElementsAreArray(expected));
}

TEST_F(Builders, CircleStoresDiameterInnerMarkAndHalfSize) {
  auto fields = Full("CIR", "C1");
  fields[14] = "INNER";
  fields[10] = "not read";
  fields[11] = "";
  EXPECT_THAT(Convert(Record(fields)),
              ElementsAreArray(Head(612, "C1") + kDefaults + Pos(kXyz, 0) + Vec(kIjk, 1) +
                               Val("R8:10", 6) + Inner() + Half("2.5") + Size("R8:5")));
}

TEST_F(Builders, EllipseUsesItsOwnSlotCodes) {
  EXPECT_THAT(Convert(Record(Full("ELL", "E1"))),
              ElementsAreArray(Head(621, "E1") + kDefaults + Pos(kXyz, 0) + Vec(kIjk, 1) +
                               Vec(kIjk2, 2002) + Val("R8:10", 2001) + Val("R8:25", 15) +
                               Half("2.5") + Size("R8:5")));
}

TEST_F(Builders, RoundSlotNeverReadsTheOptionField) {
  auto fields = Full("SLT", "S1");
  fields[8] = "ROUND";
  fields[19] = "abc";
  EXPECT_THAT(Convert(Record(fields)),
              ElementsAreArray(Head(618, "S1") + kDefaults + Pos(kXyz, 0) + Vec(kIjk, 1) +
                               Vec(kIjk2, 2002) + Val("R8:10", 6) + Val("R8:25", 14) + Half("2.5") +
                               Size("R8:5")));
}

TEST_F(Builders, OtherSlotPutsTheOptionFieldBeforeTheSize) {
  const Lines geometry = Head(619, "S2") + kDefaults + Pos(kXyz, 0) + Vec(kIjk, 1) +
                         Vec(kIjk2, 2002) + Val("R8:10", 6) + Val("R8:25", 14);
  struct Case {
    std::string shape, option;
    Lines tail;
  };
  const Case cases[] = {
      {"FLAT", "", {"FeatureData put 48 I2:2"}},
      {"round", "4", {"FeatureData put 48 R8:4"}},
      {"", "0", {"FeatureData put 48 R8:0"}},
  };
  for (const auto& c : cases) {
    bed.trace.clear();
    auto fields = Full("SLT", "S2");
    fields[8] = c.shape;
    fields[14] = " INNER ";  // trimmed by the split
    fields[19] = c.option;
    EXPECT_THAT(Convert(Record(fields)),
                ElementsAreArray(geometry + Inner() + Half("2.5") + c.tail + Size("R8:5")))
        << "shape '" << c.shape << "' option '" << c.option << "'";
  }
}

TEST_F(Builders, OtherSlotWithBadOptionStopsAfterTheHalfSize) {
  auto fields = Full("SLT", "S3");
  fields[19] = "vier";
  EXPECT_THAT(
      ConvertFailing(Record(fields), 19),
      ElementsAreArray(Head(619, "S3") + kDefaults + Pos(kXyz, 0) + Vec(kIjk, 1) +
                       Vec(kIjk2, 2002) + Val("R8:10", 6) + Val("R8:25", 14) + Half("2.5")));
}

TEST_F(Builders, CylinderSphereAndConeEachKeepTheirOrder) {
  auto cylinder = Full("CLY", "Z1");
  cylinder[14] = "INNER";
  EXPECT_THAT(
      Convert(Record(cylinder)),
      ElementsAreArray(Head(616, "Z1") + kDefaults + Pos(kXyz, 0) + Vec(kIjk, 1) + Val("R8:10", 6) +
                       Val("R8:25", 40) + Inner() + Half("2.5") + Size("R8:5")));
  bed.trace.clear();
  auto sphere = Full("SPH", "K1");
  sphere[10] = "-";
  sphere[14] = "INNER";
  EXPECT_THAT(Convert(Record(sphere)),
              ElementsAreArray(Head(613, "K1") + kDefaults + Pos(kXyz, 0) + Vec(kIjk, 1) +
                               Val("R8:10", 6) + Inner() + Size("R8:5")));
  bed.trace.clear();
  auto cone = Full("CON", "K2");
  cone[14] = "INNER";
  EXPECT_THAT(Convert(Record(cone)),
              ElementsAreArray(Head(615, "K2") + kDefaults + Pos(kXyz, 0) + Vec(kIjk, 1) +
                               Val("R8:10", 6) + Size("R8:5") + Inner()));
}

TEST_F(Builders, ConeWithBadSizeNeverMarksInner) {
  auto cone = Full("CON", "K3");
  cone[14] = "INNER";
  cone[17] = "";
  EXPECT_THAT(ConvertFailing(Record(cone), 17),
              ElementsAreArray(Head(615, "K3") + kDefaults + Pos(kXyz, 0) + Vec(kIjk, 1) +
                               Val("R8:10", 6)));
}

TEST_F(Builders, InnerIsExactAfterTrimming) {
  for (const std::string word : {"inner", "INNER2", "INNER HOLE", "\tINNER"}) {
    bed.trace.clear();
    auto fields = Full("SPH", "K");
    fields[14] = word;
    EXPECT_THAT(Convert(Record(fields)),
                ElementsAreArray(Head(613, "K") + kDefaults + Pos(kXyz, 0) + Vec(kIjk, 1) +
                                 Val("R8:10", 6) + Size("R8:5")))
        << word;
  }
}

TEST_F(Builders, BadFieldFailsItsStepBeforeItsFirstCall) {
  // The ellipse reads the second vector, the circle does not.
  auto fields = Full("ELL", "E2");
  fields[12] = "1.2.3";
  EXPECT_THAT(ConvertFailing(Record(fields), 12),
              ElementsAreArray(Head(621, "E2") + kDefaults + Pos(kXyz, 0) + Vec(kIjk, 1)));
  // Earlier calls stay in the host: the command is there with its label.
  const auto& commands = bed.host.commands();
  EXPECT_EQ(commands.back().typeCode, 621);
  EXPECT_EQ(commands.back().label, "E2");
  EXPECT_EQ(commands.back().slots.size(), 2u);

  bed.trace.clear();
  auto circle = Full("CIR", "C2");
  circle[12] = "1.2.3";
  EXPECT_NO_THROW(Convert(Record(circle)));

  bed.trace.clear();
  auto point = Full("PT", "P2");
  point[5] = "";
  EXPECT_THAT(ConvertFailing(Record(point), 5),
              ElementsAreArray(Head(603, "P2") + kDefaults + Pos(kXyz, 0)));
}

TEST_F(Builders, EmptyLabelAndUnusualNumbersPassUnchanged) {
  auto fields = Full("PT", "");
  fields[2] = " -0.5 ";
  fields[3] = "1e20";
  fields[4] = "+.25";
  fields[17] = "0";
  EXPECT_THAT(Convert(Record(fields)),
              ElementsAreArray(Head(603, "") + kDefaults + Pos("R8:-0.5 R8:1e+20 R8:0.25", 0) +
                               Vec(kIjk, 1) + Size("R8:0")));
}

TEST_F(Builders, UnknownCodeLeavesADefaultedCommandAndSaysSo) {
  BuildFeature(bed.run, 1);
  EXPECT_THAT(WithoutResults(bed.trace), ElementsAreArray(Head(1, "") + kDefaults));
  ASSERT_EQ(bed.ui.messages.size(), 1u);
  EXPECT_EQ(bed.ui.messages[0].text, "Not supported ");
  EXPECT_EQ(bed.ui.messages[0].title, "Traskel");
  EXPECT_EQ(bed.ui.messages[0].icon, Icon::None);
}

TEST_F(Builders, HalfSizeIsWrittenWithTheUsersDecimalSeparator) {
  TestBed german({}, NumberFormat{","});
  ASSERT_TRUE(fktStartQuorvex(german.run));
  german.trace.clear();
  auto fields = Full("CIR", "C5");
  fields[9] = "12.7";
  fields[17] = "12,7";
  auto line = Record(fields);
  // Fields are cut at commas, so the German "12,7" arrives as two fields.
  SplitFields(german.run.Fields, line);
  EXPECT_EQ(german.run.Fields[17], "12");
  german.run.Fields[17] = "12.7";
  DispatchRecord(german.run, line);
  EXPECT_THAT(WithoutResults(german.trace),
              ElementsAreArray(Head(612, "C5") + kDefaults + Pos(kXyz, 0) + Vec(kIjk, 1) +
                               Val("R8:12.7", 6) + Half("6,35") + Size("R8:12.7")));
}

TEST_F(Builders, LaterStepsUseThePointDataTheHostHandsBack) {
  TestBed swapping(testing::HandingBackNewPointData());
  ASSERT_TRUE(fktStartQuorvex(swapping.run));
  auto first = swapping.run.PointData.ptr();
  auto line = Record(Full("CIR", "C9"));
  SplitFields(swapping.run.Fields, line);
  DispatchRecord(swapping.run, line);
  EXPECT_NE(swapping.run.PointData.ptr(), first);
  // Each hand-over got the object the previous one handed back.
  const auto& slots = swapping.host.commands().back().slots;
  ASSERT_EQ(slots.size(), 3u);
  EXPECT_NE(slots.at(0).pointDataId, slots.at(1).pointDataId);
  EXPECT_NE(slots.at(1).pointDataId, slots.at(6).pointDataId);
  EXPECT_EQ(slots.at(6).value, 10);
}

// The fields each kind of record reads, its key aside, by the record
// layout; a check names any other that holds text.
TEST_F(Builders, EachKindReadsTheFieldsOfItsLayoutAndNoOther) {
  using Read = std::vector<std::size_t>;
  const std::pair<std::string, Read> kinds[] = {
      {"PT", {1, 2, 3, 4, 5, 6, 7, 17}},
      {"BPT", {1, 2, 3, 4, 5, 6, 7, 11, 12, 13, 17}},
      {"LN", {1, 2, 3, 4, 5, 6, 7, 17}},
      {"PLN", {1, 2, 3, 4, 5, 6, 7, 17}},
      {"CIR", {1, 2, 3, 4, 5, 6, 7, 9, 14, 17}},
      {"SLT ROUND", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 17}},
      {"SLT", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 17, 19}},
      {"ELL", {1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 17}},
      {"CLY", {1, 2, 3, 4, 5, 6, 7, 9, 10, 14, 17}},
      {"SPH", {1, 2, 3, 4, 5, 6, 7, 9, 14, 17}},
      {"CON", {1, 2, 3, 4, 5, 6, 7, 9, 14, 17}},
      {"HEX", {}},
  };
  for (const auto& [kind, expected] : kinds) {
    auto fields = Full(kind.substr(0, kind.find(' ')), "F");
    if (kind.ends_with("ROUND")) fields[8] = "ROUND";
    bed.run.fieldsRead.reset();
    Convert(Record(fields));
    Read read;
    for (std::size_t k = 0; k < bed.run.fieldsRead.size(); ++k) {
      if (bed.run.fieldsRead.test(k)) read.push_back(k);
    }
    EXPECT_EQ(read, expected) << kind;
  }
}

}  // namespace
}  // namespace traskel
