// The user's number format comes from the Windows locale settings. CTest runs
// this once per locale and says which separator to expect.
#include <cstdlib>

#include <gtest/gtest.h>

#include "conversion/numbers.h"

namespace traskel {
namespace {

TEST(UserNumberFormat, DecimalSeparatorFollowsTheUsersLocale) {
  const char* expected = std::getenv("TRASKEL_EXPECTED_DECIMAL");
  ASSERT_NE(expected, nullptr) << "TRASKEL_EXPECTED_DECIMAL names the locale's separator";
  const NumberFormat format = UserNumberFormat();
  EXPECT_EQ(format.decimalSeparator, expected);
  EXPECT_EQ(DoubleToText(6.35, format), std::string("6") + expected + "35");
}

}  // namespace
}  // namespace traskel
