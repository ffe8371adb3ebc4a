// TBcd, Variant and the date-time helpers.
#include <gtest/gtest.h>

#include <cmath>

#include "ui/db/DB.h"

namespace {

// German number and date settings for the duration of a test.
class GermanSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = FormatSettings;
    FormatSettings.DecimalSeparator = ',';
    FormatSettings.ThousandSeparator = '.';
    FormatSettings.DateSeparator = '.';
    FormatSettings.ShortDateFormat = "dd.mm.yyyy";
    FormatSettings.LongTimeFormat = "hh:nn:ss";
  }
  void TearDown() override { FormatSettings = saved_; }
  TFormatSettings saved_;
};

using BcdTest = GermanSettings;
using VariantTest = GermanSettings;
using DateTimeTest = GermanSettings;

TEST_F(BcdTest, TextRoundTripsKeepDigitsScaleAndSign) {
  TBcd b = StrToBcd("-12345,6700");
  EXPECT_EQ(BcdToStr(b), "-12345,6700");
  EXPECT_EQ(BcdScale(b), 4);
  EXPECT_EQ(BcdPrecision(b), 5);
  EXPECT_TRUE(BcdIsNegative(b));
  EXPECT_EQ(BcdToStr(StrToBcd("0007,5")), "7,5");
  EXPECT_EQ(BcdToStr(StrToBcd("  +3 ")), "3");
  EXPECT_EQ(BcdToStr(StrToBcd("-0,00")), "0,00");  // negative zero is zero
  EXPECT_FALSE(BcdIsNegative(StrToBcd("-0")));
  EXPECT_EQ(BcdToStr(StrToBcd("1.5", '.'), ','), "1,5");
  EXPECT_EQ(BcdPrecision(StrToBcd("0,05")), 0);
}

TEST_F(BcdTest, SixtyFourDigitsFitAndMoreIntegerDigitsFail) {
  std::string digits64(64, '9');
  TBcd b;
  ASSERT_TRUE(TryStrToBcd(digits64, b));
  EXPECT_EQ(BcdToStr(b), digits64);
  EXPECT_EQ(b.Precision, 64);
  EXPECT_FALSE(TryStrToBcd(digits64 + "9", b));
  // Fraction digits beyond 64 in total are rounded away.
  ASSERT_TRUE(TryStrToBcd(std::string(60, '1') + ",123456", b));
  EXPECT_EQ(BcdToStr(b), std::string(60, '1') + ",1235");
}

TEST_F(BcdTest, RefusesMalformedTextWithGermanMessage) {
  TBcd b;
  for (const char* bad : {"", "-", "1,2,3", "12a", "1.5", "--1", ","}) {
    EXPECT_FALSE(TryStrToBcd(bad, b)) << bad;
  }
  try {
    StrToBcd("abc");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' ist kein gültiger BCD-Wert");
  }
}

TEST_F(BcdTest, ComparesNumerically) {
  EXPECT_EQ(BcdCompare(StrToBcd("1,50"), StrToBcd("1,5")), 0);
  EXPECT_LT(BcdCompare(StrToBcd("-2"), StrToBcd("-1,99")), 0);
  EXPECT_GT(BcdCompare(StrToBcd("10"), StrToBcd("9,999")), 0);
  EXPECT_GT(BcdCompare(StrToBcd("0,1"), StrToBcd("-5")), 0);
  EXPECT_EQ(BcdCompare(StrToBcd("0"), StrToBcd("-0,000")), 0);
}

TEST_F(BcdTest, NumbersAndCurrency) {
  EXPECT_EQ(BcdToInt64(IntegerToBcd(INT64_MIN)), INT64_MIN);
  EXPECT_EQ(BcdToInt64(IntegerToBcd(INT64_MAX)), INT64_MAX);
  EXPECT_EQ(BcdToInt64(StrToBcd("-7,9")), -7);
  EXPECT_EQ(BcdToInt64(StrToBcd("-7,5"), false), -8);
  EXPECT_THROW(BcdToInt64(StrToBcd("9223372036854775808")), EBcdOverflowException);
  EXPECT_EQ(BcdToStr(DoubleToBcd(0.1)), "0,1");
  EXPECT_EQ(BcdToStr(DoubleToBcd(-1234.5)), "-1234,5");
  EXPECT_EQ(BcdToStr(DoubleToBcd(1e20)), "100000000000000000000");
  EXPECT_DOUBLE_EQ(BcdToDouble(StrToBcd("2,25")), 2.25);
  EXPECT_THROW(DoubleToBcd(NAN), EBcdOverflowException);

  Currency c;
  ASSERT_TRUE(BCDToCurr(StrToBcd("12,34565"), c));
  EXPECT_EQ(c.Scaled, 123457);  // rounded to four decimals
  TBcd b;
  ASSERT_TRUE(CurrToBCD(Currency::FromScaled(-15000), b, 10, 2));
  EXPECT_EQ(BcdToStr(b), "-1,50");
  EXPECT_FALSE(CurrToBCD(Currency::FromScaled(1234560000), b, 4, 2));  // 123456 needs 6 digits
  EXPECT_FALSE(BCDToCurr(StrToBcd("1000000000000000"), c));
}

TEST_F(BcdTest, FixedTextRoundsHalfAwayFromZero) {
  EXPECT_EQ(BcdToStrFixed(StrToBcd("2,345"), 2, '.'), "2.35");
  EXPECT_EQ(BcdToStrFixed(StrToBcd("-2,345"), 2, '.'), "-2.35");
  EXPECT_EQ(BcdToStrFixed(StrToBcd("9,995"), 2, ','), "10,00");
  EXPECT_EQ(BcdToStrFixed(StrToBcd("7"), 3, ','), "7,000");
  EXPECT_EQ(BcdToStrFixed(StrToBcd("-0,001"), 2, ','), "0,00");
  TBcd out;
  EXPECT_TRUE(NormalizeBcd(StrToBcd("123,456"), out, 5, 2));
  EXPECT_EQ(BcdToStr(out), "123,46");
  EXPECT_FALSE(NormalizeBcd(StrToBcd("1234,5"), out, 5, 2));
}

TEST_F(BcdTest, AddAndSubtract) {
  EXPECT_EQ(BcdToStr(BcdAdd(StrToBcd("1,25"), StrToBcd("-3,5"))), "-2,25");
  EXPECT_EQ(BcdToStr(BcdSubtract(StrToBcd("100"), StrToBcd("0,01"))), "99,99");
  EXPECT_EQ(BcdToStr(BcdAdd(StrToBcd("999"), StrToBcd("1"))), "1000");
}

TEST_F(VariantTest, TypesAndNullTests) {
  EXPECT_TRUE(VarIsEmpty(Variant()));
  EXPECT_TRUE(VarIsNull(Null()));
  EXPECT_FALSE(VarIsNull(Variant(0)));
  EXPECT_EQ(VarType(Variant(1)), varInteger);
  EXPECT_EQ(VarType(Variant(int64_t{1})), varInt64);
  EXPECT_EQ(VarType(Variant(1.5)), varDouble);
  EXPECT_EQ(VarType(Variant("x")), varString);
  EXPECT_EQ(VarType(Variant(true)), varBoolean);
  EXPECT_EQ(VarType(VarFromDateTime(2.0)), varDate);
  Variant a = VarArrayOf({1, "b", Null()});
  ASSERT_TRUE(VarIsArray(a));
  EXPECT_EQ(VarArrayHighBound(a, 1), 2);
  EXPECT_EQ(a[1].AsString(), "b");
  EXPECT_TRUE(VarIsNull(a[2]));
  EXPECT_THROW(a[3], EVariantError);
  EXPECT_THROW(Variant(1)[0], EVariantError);
}

TEST_F(VariantTest, ConversionsFollowTheLocale) {
  EXPECT_EQ(Variant(1.5).AsString(), "1,5");
  EXPECT_DOUBLE_EQ(Variant("2,75").AsDouble(), 2.75);
  EXPECT_EQ(Variant("42").AsInteger(), 42);
  EXPECT_EQ(Variant(2.5).AsInteger(), 2);  // halves to the even neighbour
  EXPECT_EQ(Variant(3.5).AsInteger(), 4);
  EXPECT_TRUE(Variant("True").AsBoolean());
  EXPECT_FALSE(Variant("0").AsBoolean());
  EXPECT_EQ(Variant(true).AsInteger(), -1);
  EXPECT_EQ(Variant().AsString(), "");
  EXPECT_EQ(Variant().AsInteger(), 0);
  EXPECT_EQ(Variant(Currency::FromScaled(12345)).AsString(), "1,2345");
  EXPECT_DOUBLE_EQ(Variant("05.11.2010").AsDateTime(), EncodeDate(2010, 11, 5));
  EXPECT_EQ(VarToStr(Null()), "");
  EXPECT_EQ(VarToStrDef(Null(), "n/a"), "n/a");
}

TEST_F(VariantTest, ImpossibleConversionsRaiseCastErrors) {
  try {
    Null().AsInteger();
    FAIL() << "no exception";
  } catch (const EVariantTypeCastError& e) {
    EXPECT_STREQ(e.what(),
                 "Variante des Typs (Null) konnte nicht in Typ (Integer) konvertiert werden");
  }
  EXPECT_THROW(Variant("abc").AsInteger(), EVariantTypeCastError);
  EXPECT_THROW(Variant("abc").AsDouble(), EVariantTypeCastError);
  EXPECT_THROW(Variant(int64_t{1} << 40).AsInteger(), EVariantTypeCastError);
  EXPECT_THROW(Null().AsString(), EVariantError);
  EXPECT_THROW(VarArrayOf({1}).AsDouble(), EVariantError);
}

TEST_F(VariantTest, EqualityAcrossNumberTypes) {
  EXPECT_TRUE(Variant(2) == Variant(2.0));
  EXPECT_TRUE(Variant(int64_t{5}) == Variant(5));
  EXPECT_FALSE(Variant(2) == Variant(3));
  EXPECT_TRUE(Null() == Null());
  EXPECT_FALSE(Null() == Variant());
  EXPECT_FALSE(Variant("a") == Variant("A"));
  EXPECT_TRUE(VarArrayOf({1, "x"}) == VarArrayOf({1.0, "x"}));
}

TEST_F(DateTimeTest, EncodeDecodeAndTheDayCount) {
  EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_DOUBLE_EQ(EncodeDate(2000, 3, 1) - EncodeDate(2000, 2, 28), 2.0);  // leap year
  EXPECT_DOUBLE_EQ(EncodeDate(1900, 3, 1) - EncodeDate(1900, 2, 28), 1.0);  // no leap year
  int y, m, d;
  DecodeDate(EncodeDate(1, 1, 1), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 10101);
  DecodeDate(EncodeDate(9999, 12, 31), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 99991231);
  for (int year : {1, 4, 100, 400, 1600, 1899, 1900, 2000, 2024, 9999})
    for (int month : {1, 2, 3, 12}) {
      DecodeDate(EncodeDate(year, month, DaysInMonth(year, month)), y, m, d);
      EXPECT_EQ(y, year);
      EXPECT_EQ(m, month);
      EXPECT_EQ(d, DaysInMonth(year, month));
    }
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  int h, n, s, ms;
  DecodeTime(EncodeTime(13, 45, 30, 250), h, n, s, ms);
  EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 134530250);
}

TEST_F(DateTimeTest, TimeStampsCountFromTheFirstOfJanuaryYearOne) {
  TTimeStamp ts = DateTimeToTimeStamp(EncodeDate(1, 1, 1));
  EXPECT_EQ(ts.Date, 1);
  EXPECT_EQ(ts.Time, 0);
  ts = DateTimeToTimeStamp(EncodeDate(1899, 12, 30) + 0.5);
  EXPECT_EQ(ts.Date, DateDelta);
  EXPECT_EQ(ts.Time, 43200000);
  // Before 1899-12-30 the fraction still counts forward from midnight of its day.
  ts = DateTimeToTimeStamp(-1.25);
  EXPECT_EQ(ts.Date, DateDelta - 1);
  EXPECT_EQ(ts.Time, 6 * 3600000);
  EXPECT_DOUBLE_EQ(TimeStampToDateTime(ts), -1.25);
  // The Julian day rule of the record images: day number = Julian day - 1721425.
  EXPECT_EQ(DateTimeToTimeStamp(EncodeDate(2010, 11, 5)).Date, 2455506 - 1721425);
  EXPECT_THROW(TimeStampToDateTime(TTimeStamp{0, 0}), EConvertError);
}

TEST_F(DateTimeTest, GermanTexts) {
  TDateTime dt = EncodeDate(2010, 11, 5) + EncodeTime(7, 8, 9, 0);
  EXPECT_EQ(DateToStr(dt), "05.11.2010");
  EXPECT_EQ(TimeToStr(dt), "07:08:09");
  EXPECT_EQ(DateTimeToStr(dt), "05.11.2010 07:08:09");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2010, 11, 5)), "05.11.2010");
  EXPECT_DOUBLE_EQ(StrToDate("5.11.2010"), EncodeDate(2010, 11, 5));
  EXPECT_DOUBLE_EQ(StrToDate("05.11.10"), EncodeDate(2010, 11, 5));
  EXPECT_DOUBLE_EQ(StrToDateTime("05.11.2010 07:08:09"), dt);
  EXPECT_DOUBLE_EQ(StrToTime("07:08"), EncodeTime(7, 8, 0, 0));
  try {
    StrToDate("31.02.2010");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'31.02.2010' ist kein gültiges Datum");
  }
  EXPECT_THROW(StrToTime("25:00"), EConvertError);
  EXPECT_THROW(StrToDateTime("05.11.2010 x"), EConvertError);
}

TEST_F(DateTimeTest, FixedNotationTurnsIntoExponentBeyondThePrecision) {
  EXPECT_EQ(FloatToStrF(1.5, ffFixed, 15, 2, '.'), "1.50");
  EXPECT_EQ(FloatToStrF(-12345.0, ffFixed, 5, 0, '.'), "-12345");
  EXPECT_NE(FloatToStrF(123456.0, ffFixed, 5, 0, '.').find('E'), std::string::npos);
  EXPECT_EQ(FloatToStrF(1234567.891, ffNumber, 15, 2), "1.234.567,89");
  EXPECT_EQ(FloatToStrF(1e20, ffGeneral, 15, 0), "1E20");
  EXPECT_EQ(FloatToStrF(0.5, ffGeneral, 15, 0), "0,5");
  double v;
  EXPECT_TRUE(TryStrToFloat("1,5E3", v, ','));
  EXPECT_DOUBLE_EQ(v, 1500.0);
  EXPECT_FALSE(TryStrToFloat("1.5", v, ','));
  EXPECT_FALSE(TryStrToFloat("1,5x", v, ','));
}

}  // namespace
