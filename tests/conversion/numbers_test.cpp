#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "conversion/numbers.h"
#include "host/value.h"

namespace traskel {
namespace {

const NumberFormat kPoint{"."};
const NumberFormat kComma{","};

void ExpectMismatch(const std::string& text, const NumberFormat& format) {
  try {
    double v = TextToDouble(text, format);
    ADD_FAILURE() << "'" << text << "' read as " << v;
  } catch (const host::Error& e) {
    EXPECT_EQ(e.number(), host::kTypeMismatch) << text;
  }
}

TEST(TextToDouble, ReadsDecimalNumbersWithThePointAlways) {
  for (const auto& format : {kPoint, kComma}) {
    EXPECT_EQ(TextToDouble("12.7", format), 12.7);
    EXPECT_EQ(TextToDouble("-0.5", format), -0.5);
    EXPECT_EQ(TextToDouble("+3", format), 3);
    EXPECT_EQ(TextToDouble(".25", format), 0.25);
    EXPECT_EQ(TextToDouble("5.", format), 5);
    EXPECT_EQ(TextToDouble("1E-3", format), 0.001);
    EXPECT_EQ(TextToDouble("2.5e+2", format), 250);
    EXPECT_EQ(TextToDouble(" \t42\t ", format), 42);
    EXPECT_EQ(TextToDouble("007", format), 7);
  }
}

TEST(TextToDouble, TakesTheLocaleSeparatorOnlyWhereItIsTheLocales) {
  EXPECT_EQ(TextToDouble("12,7", kComma), 12.7);
  ExpectMismatch("12,7", kPoint);
  // A separator of more than one byte works as well.
  EXPECT_EQ(TextToDouble("1\xD9\xAB"
                         "5",
                         NumberFormat{"\xD9\xAB"}),
            1.5);
}

TEST(TextToDouble, RejectsEverythingElse) {
  for (const char* bad :
       {"",  " ", "abc", "1.2.3", "1,234.5", "1 000",  "0x1A", "&H1A", "inf",  "nan",         "-",
        "+", ".", "e5",  "1e",    "1e+",     "12.7mm", "1d3",  "--1",  "1.5.", "\xEF\xBC\x91"}) {
    ExpectMismatch(bad, kComma);
  }
  ExpectMismatch("1,5", kPoint);
}

TEST(TextToDouble, TooLargeIsOverflowTooSmallIsZero) {
  const std::string many(400, '0');
  for (const std::string& big :
       std::vector<std::string>{"1e999", "-1e400", "1.8e308", "1" + many, "0.5e310", "0,5e310",
                                "1e99999999999999999999"}) {
    try {
      double v = TextToDouble(big, kComma);
      ADD_FAILURE() << "'" << big << "' read as " << v;
    } catch (const host::Error& e) {
      EXPECT_EQ(e.number(), host::kOverflow) << big;
    }
  }
  for (const std::string& tiny :
       std::vector<std::string>{"1e-400", "-1e-400", "2e-324", "0." + many + "1", "000001e-400",
                                "1e-99999999999999999999"}) {
    EXPECT_EQ(TextToDouble(tiny, kComma), 0.0) << tiny;
  }
  // The edges of the range still read as themselves.
  EXPECT_EQ(TextToDouble("1.7976931348623157e308", kPoint), 1.7976931348623157e308);
  EXPECT_EQ(TextToDouble("0.001e311", kPoint), 1e308);
  EXPECT_EQ(TextToDouble("4.9e-324", kPoint), 4.9e-324);
  EXPECT_EQ(TextToDouble("1e-310", kPoint), 1e-310);
}

TEST(DoubleToText, WritesGeneralFormat) {
  EXPECT_EQ(DoubleToText(2.5, kPoint), "2.5");
  EXPECT_EQ(DoubleToText(2.5, kComma), "2,5");
  EXPECT_EQ(DoubleToText(6.35, kComma), "6,35");
  EXPECT_EQ(DoubleToText(5, kComma), "5");
  EXPECT_EQ(DoubleToText(0.00005, kPoint), "5E-05");
  EXPECT_EQ(DoubleToText(0.0001, kPoint), "0.0001");
  EXPECT_EQ(DoubleToText(1e15, kPoint), "1E+15");
  EXPECT_EQ(DoubleToText(123456789012345.0, kPoint), "123456789012345");
  EXPECT_EQ(DoubleToText(1.0 / 3.0, kComma), "0,333333333333333");
  EXPECT_EQ(DoubleToText(-0.0, kPoint), "0");
  EXPECT_EQ(DoubleToText(-1.25e-7, kComma), "-1,25E-07");
  EXPECT_EQ(DoubleToText(12.7 / 2, kPoint), "6.35");
}

// The process locale decides, as it does for the user.
class UnderLocale : public ::testing::TestWithParam<std::pair<const char*, const char*>> {
 protected:
  void SetUp() override {
    saved_ = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, GetParam().first)) {
      if (std::getenv("CI")) FAIL() << GetParam().first << " is not installed";
      GTEST_SKIP() << GetParam().first << " is not installed";
    }
  }
  void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }
  std::string saved_;
};

TEST_P(UnderLocale, HalfOfFiveAndTwelvePointSeven) {
  NumberFormat user = UserNumberFormat();
  EXPECT_EQ(user.decimalSeparator, GetParam().second);
  EXPECT_EQ(DoubleToText(TextToDouble("5", user) / 2, user),
            std::string("2") + GetParam().second + "5");
  EXPECT_EQ(TextToDouble("12.7", user), 12.7);
  EXPECT_EQ(TextToDouble(std::string("12") + GetParam().second + "7", user), 12.7);
}

INSTANTIATE_TEST_SUITE_P(Locales, UnderLocale,
                         ::testing::Values(std::make_pair("C.UTF-8", "."),
                                           std::make_pair("en_US.UTF-8", "."),
                                           std::make_pair("de_DE.UTF-8", ",")));

}  // namespace
}  // namespace traskel
