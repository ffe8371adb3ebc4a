// Exact decimal texts: parsing, rounding half away from zero, scaled integers.
#include "engine/fields/number_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "engine/base/error_codes.h"

namespace ace::fields {
namespace {

std::string Fixed(std::string_view text, int decimals) {
  Result<Decimal> d = ParseDecimal(text);
  EXPECT_TRUE(d.ok()) << text;
  return d.ok() ? FormatFixed(*d, decimals) : "";
}

TEST(NumberText, RoundsHalfAwayFromZeroOnTheDigits) {
  EXPECT_EQ(Fixed("1.005", 2), "1.01");  // exact digits, not the nearest double
  EXPECT_EQ(Fixed("-1.005", 2), "-1.01");
  EXPECT_EQ(Fixed("9.995", 2), "10.00");
  EXPECT_EQ(Fixed("999.5", 0), "1000");
  EXPECT_EQ(Fixed("-0.004", 2), "0.00");  // no negative zero
  EXPECT_EQ(Fixed(".5", 0), "1");
  EXPECT_EQ(Fixed("0.25", 1), "0.3");
  EXPECT_EQ(Fixed("  +12  ", 3), "12.000");
  EXPECT_EQ(Fixed("1.5e2", 0), "150");
  EXPECT_EQ(Fixed("125e-2", 1), "1.3");
}

TEST(NumberText, RefusesTextThatIsNoNumber) {
  for (const char* bad : {"", " ", "-", ".", "1.2.3", "1,5", "12a", "e5", "1e", "--1"}) {
    EXPECT_EQ(ParseDecimal(bad).status().code(), kErrConversion) << bad;
  }
}

TEST(NumberText, ScaledIntegersAndTheirLimits) {
  EXPECT_EQ(*ToScaledInteger(*ParseDecimal("-12.34565"), 4), -123457);
  EXPECT_EQ(*ToScaledInteger(*ParseDecimal("922337203685477.5807"), 4), INT64_MAX);
  EXPECT_EQ(*ToScaledInteger(*ParseDecimal("-922337203685477.5808"), 4), INT64_MIN);
  EXPECT_EQ(ToScaledInteger(*ParseDecimal("922337203685477.5808"), 4).status().code(),
            kErrValueOutOfRange);
  EXPECT_EQ(FormatScaled(INT64_MIN, 4), "-922337203685477.5808");
  EXPECT_EQ(FormatScaled(-5, 4), "-0.0005");
  EXPECT_EQ(FormatScaled(123400, 4), "12.3400");
}

TEST(NumberText, DoublesGiveTheirShortestText) {
  EXPECT_EQ(FormatDouble(0.1), "0.1");
  EXPECT_EQ(FormatDouble(-2.5), "-2.5");
  EXPECT_EQ(FormatFixed(*DecimalFromDouble(1.005), 2), "1.01");
  EXPECT_EQ(DecimalFromDouble(std::numeric_limits<double>::infinity()).status().code(),
            kErrValueOutOfRange);
  EXPECT_DOUBLE_EQ(DecimalToDouble(*ParseDecimal("-123.25")), -123.25);
}

}  // namespace
}  // namespace ace::fields
