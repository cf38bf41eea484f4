#include <gtest/gtest.h>

#include "conversion/conversion.h"

namespace traskel {
namespace {

FieldArray Split(const std::string& line) {
  FieldArray f;
  SplitFields(f, line);
  return f;
}

TEST(SplitFields, EveryCommaSeparatedPieceIsAFieldTrimmedOfSpaces) {
  auto f = Split("PT, P1 ,1,,3");
  EXPECT_EQ(f[0], "PT");
  EXPECT_EQ(f[1], "P1");
  EXPECT_EQ(f[2], "1");
  EXPECT_EQ(f[3], "");
  EXPECT_EQ(f[4], "3");  // after the last comma
  EXPECT_EQ(Split("PT,P1,1,2,3,")[5], "");
  EXPECT_EQ(Split("HEX")[0], "HEX");
  EXPECT_EQ(Split("\tA\t,b")[0], "\tA\t");  // tabs stay
}

TEST(SplitFields, EachRecordStartsFromEmptyFields) {
  FieldArray f;
  SplitFields(f, "CIR,C1,1,2,3,0,0,1,,10,,,,,INNER,,,5,,7");
  SplitFields(f, "PT,P2");
  EXPECT_EQ(f[1], "P2");
  for (int i = 2; i < kFieldCount; ++i) EXPECT_EQ(f[i], "") << i;
  SplitFields(f, "CIR,C1,1,2,3,0,0,1,,10,,,,,INNER,,,5,,7,,,,,,,,,,,30");
  SplitFields(f, "");
  for (const auto& s : f) EXPECT_EQ(s, "");
}

TEST(SplitFields, FieldsPastTheLastAreDroppedAndLengthIsUnlimited) {
  std::string line = "PT";
  for (int i = 1; i < 100000; ++i) line += "," + std::to_string(i);
  auto f = Split(line);
  EXPECT_EQ(f[80], "80");
  std::string longField(100000, 'x');
  EXPECT_EQ(Split("UDF," + longField + ",y")[1], longField);
}

TEST(TrimSpaces, RemovesSpacesOnly) {
  EXPECT_EQ(TrimSpaces("  a b  "), "a b");
  EXPECT_EQ(TrimSpaces("   "), "");
  EXPECT_EQ(TrimSpaces("\ta "), "\ta");
}

}  // namespace
}  // namespace traskel
