// Julian day numbers, date texts in formats, times of day and timestamps.
#include "engine/fields/dates.h"

#include <gtest/gtest.h>

#include "engine/base/error_codes.h"

namespace ace::fields {
namespace {

int32_t J(int y, int m, int d) {
  Result<int32_t> j = JulianFromYmd(y, m, d);
  EXPECT_TRUE(j.ok()) << j.status().message();
  return j.ok() ? *j : -1;
}

TEST(Julian, EdgeDatesHaveTheirKnownDayNumbers) {
  EXPECT_EQ(J(1, 1, 1), 1721426);
  EXPECT_EQ(J(1899, 12, 30), 2415019);
  EXPECT_EQ(J(2000, 1, 1), 2451545);
  EXPECT_EQ(J(2000, 2, 29), 2451604);
  EXPECT_EQ(J(9999, 12, 31), 5373484);
  EXPECT_EQ(J(1, 1, 1), kJulianYear1);
  EXPECT_EQ(J(9999, 12, 31), kJulianYear9999);
}

TEST(Julian, EveryDayFromYearOneToNineThousandNineHundredNinetyNineRoundTrips) {
  Ymd previous{1, 1, 0};
  for (int32_t j = kJulianYear1; j <= kJulianYear9999; ++j) {
    Result<Ymd> ymd = YmdFromJulian(j);
    ASSERT_TRUE(ymd.ok());
    ASSERT_TRUE(IsValidDate(ymd->year, ymd->month, ymd->day)) << j;
    bool next_day =
        ymd->year == previous.year && ymd->month == previous.month && ymd->day == previous.day + 1;
    bool next_month =
        ymd->year == previous.year && ymd->month == previous.month + 1 && ymd->day == 1;
    bool next_year = ymd->year == previous.year + 1 && ymd->month == 1 && ymd->day == 1;
    ASSERT_TRUE(next_day || next_month || next_year) << "after Julian day " << j;
    previous = *ymd;
  }
  EXPECT_EQ(previous.year, 9999);
}

TEST(Julian, ImpossibleDatesAndDaysOutsideTheRangeAreRefused) {
  EXPECT_EQ(JulianFromYmd(1900, 2, 29).status().code(), kErrConversion);  // not a leap year
  EXPECT_EQ(JulianFromYmd(2001, 2, 29).status().code(), kErrConversion);
  EXPECT_EQ(JulianFromYmd(2010, 13, 1).status().code(), kErrConversion);
  EXPECT_EQ(JulianFromYmd(2010, 4, 31).status().code(), kErrConversion);
  EXPECT_EQ(JulianFromYmd(0, 1, 1).status().code(), kErrConversion);
  EXPECT_EQ(JulianFromYmd(10000, 1, 1).status().code(), kErrConversion);
  EXPECT_EQ(YmdFromJulian(kJulianYear1 - 1).status().code(), kErrValueOutOfRange);
  EXPECT_EQ(YmdFromJulian(kJulianYear9999 + 1).status().code(), kErrValueOutOfRange);
}

TEST(Julian, StorageTextIsEightCharacters) {
  EXPECT_EQ(*JulianToString(2451545), "20000101");
  EXPECT_EQ(*JulianToString(kJulianYear1), "00010101");
  EXPECT_EQ(*JulianToString(0), "        ");
  EXPECT_EQ(JulianToString(-5).status().code(), kErrValueOutOfRange);
}

TEST(DateText, StringToJulianReadsStorageIsoAndFormatTexts) {
  const int32_t day = J(2010, 11, 5);
  EXPECT_EQ(*StringToJulian("20101105"), day);
  EXPECT_EQ(*StringToJulian("2010-11-05"), day);
  EXPECT_EQ(*StringToJulian("11/05/2010"), day);
  EXPECT_EQ(*StringToJulian("  11/05/2010  "), day);
  EXPECT_EQ(*StringToJulian(""), 0);
  EXPECT_EQ(*StringToJulian("        "), 0);
  EXPECT_EQ(*StringToJulian("  /  /    "), 0);
  EXPECT_EQ(StringToJulian("20101305").status().code(), kErrConversion);
  EXPECT_EQ(StringToJulian("02/30/2010").status().code(), kErrConversion);
  EXPECT_EQ(StringToJulian("yesterday").status().code(), kErrConversion);
  EXPECT_EQ(StringToJulian("11/05/2010x").status().code(), kErrConversion);
}

TEST(DateText, FormatsWithOtherOrdersSeparatorsAndTwoDigitYears) {
  const int32_t day = J(2010, 11, 5);
  DateFormat german{"DD.MM.YYYY", 1900};
  EXPECT_EQ(*DateToJulian("05.11.2010", german), day);
  EXPECT_EQ(*DateToJulian("5.11.2010", german), day);
  EXPECT_EQ(*FormatDate(day, german), "05.11.2010");

  DateFormat packed{"CCYYMMDD", 1900};
  EXPECT_EQ(*DateToJulian("20101105", packed), day);
  EXPECT_EQ(DateToJulian("201011", packed).status().code(), kErrConversion);
  EXPECT_EQ(*FormatDate(day, packed), "20101105");

  DateFormat short_year{"DD/MM/YY", 1950};
  EXPECT_EQ(*DateToJulian("05/11/10", short_year), day);  // 10 -> 2010 with epoch 1950
  EXPECT_EQ(*DateToJulian("05/11/50", short_year), J(1950, 11, 5));
  EXPECT_EQ(*DateToJulian("05/11/2010", short_year), day);  // four digits are taken as such
  EXPECT_EQ(*FormatDate(day, short_year), "05/11/10");

  DateFormat classic{"MM/DD/YY", 1900};
  EXPECT_EQ(*DateToJulian("11/05/10", classic), J(1910, 11, 5));

  EXPECT_EQ(*FormatDate(day), "11/05/2010");
  EXPECT_EQ(*FormatDate(0), "");
}

TEST(DateText, FormatsWithoutTheThreePartsAreRefused) {
  EXPECT_EQ(ValidateDateFormat({"MM/DD", 1900}).code(), kErrInvalidArgument);
  EXPECT_EQ(ValidateDateFormat({"MM/DD/YYYY/DD", 1900}).code(), kErrInvalidArgument);
  EXPECT_EQ(ValidateDateFormat({"MMM DD YYYY", 1900}).code(), kErrInvalidArgument);
  EXPECT_EQ(ValidateDateFormat({"XX/DD/YYYY", 1900}).code(), kErrInvalidArgument);
  EXPECT_TRUE(ValidateDateFormat({"dd-mm-ccyy", 1900}).ok());
  EXPECT_EQ(FormatDate(2451545, {"YYYY", 1900}).status().code(), kErrInvalidArgument);
}

TEST(TimeText, FormatsAndParsesTimesOfDay) {
  EXPECT_EQ(*FormatTime(0), "00:00:00.000");
  EXPECT_EQ(*FormatTime(kMillisecondsPerDay - 1), "23:59:59.999");
  EXPECT_EQ(*FormatTime(45296789, false), "12:34:56");
  EXPECT_EQ(FormatTime(kMillisecondsPerDay).status().code(), kErrValueOutOfRange);
  EXPECT_EQ(FormatTime(-1).status().code(), kErrValueOutOfRange);

  EXPECT_EQ(*ParseTime("12:00"), 43200000);
  EXPECT_EQ(*ParseTime("12:34:56"), 45296000);
  EXPECT_EQ(*ParseTime("12:34:56.789"), 45296789);
  EXPECT_EQ(*ParseTime("00:00:00.5"), 500);
  EXPECT_EQ(*ParseTime("00:00:00.0006"), 1);  // rounded to the millisecond
  EXPECT_EQ(*ParseTime("12:00 AM"), 0);
  EXPECT_EQ(*ParseTime("12:30 pm"), 45000000);
  EXPECT_EQ(*ParseTime("1:05 PM"), 47100000);
  EXPECT_EQ(*ParseTime("23:59:59.9999"), kMillisecondsPerDay - 1);
  for (const char* bad : {"24:00", "12:60", "12:00:60", "13:00 PM", "noon", "", "12", "12:00x"}) {
    EXPECT_EQ(ParseTime(bad).status().code(), kErrConversion) << bad;
  }
}

TEST(TimestampText, DateAndTimeTogether) {
  const int32_t day = J(2010, 11, 5);
  Result<Timestamp> ts = ParseTimestamp("2010-11-05 08:15:30.250");
  ASSERT_TRUE(ts.ok());
  EXPECT_EQ(ts->julian, day);
  EXPECT_EQ(ts->milliseconds, 29730250);
  ts = ParseTimestamp("2010-11-05T12:00:00");
  ASSERT_TRUE(ts.ok());
  EXPECT_EQ(ts->milliseconds, 43200000);
  ts = ParseTimestamp("11/05/2010");
  ASSERT_TRUE(ts.ok());
  EXPECT_EQ(ts->julian, day);
  EXPECT_EQ(ts->milliseconds, 0);
  EXPECT_EQ(ParseTimestamp("   ")->julian, 0);
  EXPECT_EQ(ParseTimestamp("11/05/2010 25:00").status().code(), kErrConversion);
  EXPECT_EQ(*FormatTimestamp({day, 43200000}), "11/05/2010 12:00:00.000");
  EXPECT_EQ(*FormatTimestamp({0, 0}), "");
}

}  // namespace
}  // namespace ace::fields
