// Reading and writing character, numeric, logical and number fields in record images.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "engine/base/error_codes.h"
#include "engine/fields/field_codec.h"
#include "tests/engine/fields/field_test_util.h"

namespace ace::fields {
namespace {

using namespace storage;
using testing::Le32;
using testing::OneField;

TEST(CharacterField, StoresPaddedAndReadsWithEachTrimOption) {
  OneField f(TableType::kCdx, kFtString, 8);
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "  ab").ok());
  EXPECT_EQ(f.Bytes(), "  ab    ");
  EXPECT_EQ(*GetText(f.ctx(), f.cimg(), kTrimNone), "  ab    ");
  EXPECT_EQ(*GetText(f.ctx(), f.cimg(), kTrimLeft), "ab    ");
  EXPECT_EQ(*GetText(f.ctx(), f.cimg(), kTrimRight), "  ab");
  EXPECT_EQ(*GetText(f.ctx(), f.cimg(), kTrimBoth), "ab");
  EXPECT_EQ(*DataLength(f.ctx(), f.cimg(), kTrimRight), 4u);
  EXPECT_EQ(*DataLength(f.ctx(), f.cimg(), kTrimNone), 8u);
  EXPECT_EQ(*GetUtf16(f.ctx(), f.cimg(), kTrimBoth), u"ab");
}

TEST(CharacterField, LongerTextIsCutAndTheByteAfterTheFieldKept) {
  OneField f(TableType::kAdt, kFtString, 4);
  f.image[5] = std::byte{'#'};
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "abcdefgh").ok());
  EXPECT_EQ(f.Bytes(1), "abcd#");
}

TEST(CharacterField, OemTablesStoreCodePage850AndReadBack1252) {
  OneField f(TableType::kNtx, kFtString, 6);
  f.char_type = kCharTypeOem;
  const std::string ansi = "\xE4\xF6\xFC\xDF";  // äöüß
  ASSERT_TRUE(SetText(f.ctx(), f.img(), ansi).ok());
  EXPECT_EQ(f.Bytes(), "\x84\x94\x81\xE1  ");
  EXPECT_EQ(*GetText(f.ctx(), f.cimg(), kTrimRight), ansi);
  EXPECT_EQ(*GetUtf16(f.ctx(), f.cimg(), kTrimRight), u"äöüß");
  ASSERT_TRUE(SetUtf16(f.ctx(), f.img(), u"ÄÖÜ").ok());
  EXPECT_EQ(f.Bytes(), "\x8E\x99\x9A   ");

  ASSERT_TRUE(SetUtf16(f.ctx(), f.img(), u"\u2554\u2550").ok());  // 850 box drawing, not 1252
  EXPECT_EQ(f.Bytes(), "\xC9\xCD    ");
  EXPECT_EQ(*GetUtf16(f.ctx(), f.cimg(), kTrimRight), u"\u2554\u2550");
  EXPECT_EQ(*GetText(f.ctx(), f.cimg(), kTrimRight), "??");

  f.field.binary = true;  // binary character fields are not translated
  ASSERT_TRUE(SetText(f.ctx(), f.img(), ansi).ok());
  EXPECT_EQ(f.Bytes(), ansi + "  ");
}

TEST(CharacterField, AnsiTablesKeepTheBytes) {
  OneField f(TableType::kAdt, kFtCiString, 4);
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "\xE4\xF6\xFC\xDF").ok());
  EXPECT_EQ(f.Bytes(), "\xE4\xF6\xFC\xDF");
  EXPECT_EQ(*GetUtf16(f.ctx(), f.cimg()), u"äöüß");
}

TEST(CharacterField, NumbersDatesAndLogicalsReadFromText) {
  OneField f(TableType::kCdx, kFtString, 12);
  ASSERT_TRUE(SetText(f.ctx(), f.img(), " -42.75").ok());
  EXPECT_EQ(*GetLong(f.ctx(), f.cimg()), -42);
  EXPECT_DOUBLE_EQ(*GetDouble(f.ctx(), f.cimg()), -42.75);
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "abc").ok());
  Status s = GetLong(f.ctx(), f.cimg()).status();
  EXPECT_EQ(s.code(), kErrConversion);
  EXPECT_NE(s.message().find("F1"), std::string::npos) << s.message();
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "").ok());
  EXPECT_EQ(*GetLong(f.ctx(), f.cimg()), 0);
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "11/05/2010").ok());
  EXPECT_EQ(*GetJulian(f.ctx(), f.cimg()), 2455506);
  ASSERT_TRUE(SetText(f.ctx(), f.img(), ".T.").ok());
  EXPECT_TRUE(*GetLogical(f.ctx(), f.cimg()));
}

TEST(NationalField, Utf16PaddedWithUtf16Blanks) {
  OneField f(TableType::kAdt, kFtNChar, 8);
  ASSERT_TRUE(SetUtf16(f.ctx(), f.img(), u"ä€").ok());
  EXPECT_EQ(f.Bytes(), std::string("\xE4\x00\xAC\x20\x20\x00\x20\x00", 8));
  EXPECT_EQ(*GetUtf16(f.ctx(), f.cimg(), kTrimRight), u"ä€");
  EXPECT_EQ(*GetText(f.ctx(), f.cimg(), kTrimRight), "\xE4\x80");
  EXPECT_EQ(*DataLength(f.ctx(), f.cimg(), kTrimRight), 4u);
  ASSERT_TRUE(SetUtf16(f.ctx(), f.img(), u"abcdef").ok());  // four characters fit
  EXPECT_EQ(*GetUtf16(f.ctx(), f.cimg()), u"abcd");
}

TEST(NumericField, RightAlignedAndRoundedToTheDecimals) {
  OneField f(TableType::kCdx, kFtNumeric, 6, 2);
  ASSERT_TRUE(SetDouble(f.ctx(), f.img(), 1.5).ok());
  EXPECT_EQ(f.Bytes(), "  1.50");
  EXPECT_EQ(*GetText(f.ctx(), f.cimg(), kTrimLeft), "1.50");
  EXPECT_DOUBLE_EQ(*GetDouble(f.ctx(), f.cimg()), 1.5);
  EXPECT_EQ(*GetLong(f.ctx(), f.cimg()), 1);
  ASSERT_TRUE(SetDouble(f.ctx(), f.img(), 1.005).ok());
  EXPECT_EQ(f.Bytes(), "  1.01");
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "-12.345").ok());
  EXPECT_EQ(f.Bytes(), "-12.35");
  ASSERT_TRUE(SetLong(f.ctx(), f.img(), 999).ok());
  EXPECT_EQ(f.Bytes(), "999.00");
  ASSERT_TRUE(SetDouble(f.ctx(), f.img(), -0.001).ok());
  EXPECT_EQ(f.Bytes(), "  0.00");
}

TEST(NumericField, ValuesThatDoNotFitAreRefusedAndTheFieldKept) {
  OneField f(TableType::kCdx, kFtNumeric, 6, 2);
  ASSERT_TRUE(SetDouble(f.ctx(), f.img(), 1.5).ok());
  for (double v : {1000.0, -100.0, 999.995, 1e300}) {
    Status s = SetDouble(f.ctx(), f.img(), v);
    EXPECT_EQ(s.code(), kErrValueOutOfRange) << v;
    EXPECT_NE(s.message().find("F1"), std::string::npos);
    EXPECT_EQ(f.Bytes(), "  1.50");
  }
  EXPECT_EQ(SetText(f.ctx(), f.img(), "12a").code(), kErrConversion);
  EXPECT_EQ(f.Bytes(), "  1.50");

  OneField whole(TableType::kAdt, kFtNumeric, 6, 0);
  ASSERT_TRUE(SetLong(whole.ctx(), whole.img(), -12345).ok());
  EXPECT_EQ(whole.Bytes(), "-12345");
  EXPECT_EQ(SetLong(whole.ctx(), whole.img(), 1234567).code(), kErrValueOutOfRange);
  EXPECT_EQ(SetDouble(whole.ctx(), whole.img(), std::numeric_limits<double>::quiet_NaN()).code(),
            kErrValueOutOfRange);
}

TEST(NumericField, NarrowFieldsDropTheLeadingZeroOfAFraction) {
  OneField f(TableType::kNtx, kFtNumeric, 3, 2);
  ASSERT_TRUE(SetDouble(f.ctx(), f.img(), 0.5).ok());
  EXPECT_EQ(f.Bytes(), ".50");
  EXPECT_DOUBLE_EQ(*GetDouble(f.ctx(), f.cimg()), 0.5);
  EXPECT_EQ(SetDouble(f.ctx(), f.img(), -0.5).code(), kErrValueOutOfRange);  // "-.50" is 4
  OneField g(TableType::kNtx, kFtNumeric, 4, 2);
  ASSERT_TRUE(SetText(g.ctx(), g.img(), "-0.25").ok());
  EXPECT_EQ(g.Bytes(), "-.25");
  EXPECT_DOUBLE_EQ(*GetDouble(g.ctx(), g.cimg()), -0.25);
}

TEST(NumericField, StoredTextThatIsNoNumberIsAConversionError) {
  OneField f(TableType::kNtx, kFtNumeric, 5, 1);
  f.Put("1*2.0");
  EXPECT_EQ(GetDouble(f.ctx(), f.cimg()).status().code(), kErrConversion);
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "1*2.0");  // the text itself is still readable
}

TEST(LogicalField, ReadsTheUsualTrueBytesAndWritesTOrF) {
  OneField f(TableType::kCdx, kFtLogical, 1);
  for (char c : std::string("1TYty")) {
    f.Put(std::string(1, c));
    EXPECT_TRUE(*GetLogical(f.ctx(), f.cimg())) << c;
  }
  for (char c : std::string("0FNfx")) {
    f.Put(std::string(1, c));
    EXPECT_FALSE(*GetLogical(f.ctx(), f.cimg())) << c;
  }
  f.Put("Y");
  ASSERT_TRUE(SetLogical(f.ctx(), f.img(), true).ok());
  EXPECT_EQ(f.Bytes(), "T");
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "T");
  for (const char* t : {"y", ".t.", "1", "TRUE"}) {
    f.Put("F");
    ASSERT_TRUE(SetText(f.ctx(), f.img(), t).ok());
    EXPECT_EQ(f.Bytes(), "T") << t;
  }
  for (const char* t : {"n", ".F.", "0", "false"}) {
    ASSERT_TRUE(SetText(f.ctx(), f.img(), t).ok());
    EXPECT_EQ(f.Bytes(), "F") << t;
  }
  EXPECT_EQ(SetText(f.ctx(), f.img(), "maybe").code(), kErrConversion);
  EXPECT_EQ(SetLong(f.ctx(), f.img(), 1).code(), kErrConversion);
  EXPECT_EQ(f.Bytes(), "F");
}

TEST(IntegerField, AdtKeepsItsNullFormOutOfTheValues) {
  OneField f(TableType::kAdt, kFtInteger, 4);
  ASSERT_TRUE(SetLong(f.ctx(), f.img(), -7).ok());
  EXPECT_EQ(f.Bytes(), Le32(0xFFFFFFF9u));
  EXPECT_EQ(*GetLong(f.ctx(), f.cimg()), -7);
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "-7");
  EXPECT_EQ(SetLong(f.ctx(), f.img(), INT32_MIN).code(), kErrValueOutOfRange);
  EXPECT_EQ(*GetLong(f.ctx(), f.cimg()), -7);
  f.Put(Le32(0x80000000u));
  EXPECT_TRUE(*IsNull(f.ctx(), f.cimg()));
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "");
  ASSERT_TRUE(SetLong(f.ctx(), f.img(), 5).ok());
  ASSERT_TRUE(SetNull(f.ctx(), f.img()).ok());
  EXPECT_EQ(f.Bytes(), Le32(0x80000000u));

  OneField vfp(TableType::kVfp, kFtInteger, 4);
  ASSERT_TRUE(SetLong(vfp.ctx(), vfp.img(), INT32_MIN).ok());
  EXPECT_FALSE(*IsNull(vfp.ctx(), vfp.cimg()));
  EXPECT_EQ(*GetLong(vfp.ctx(), vfp.cimg()), INT32_MIN);
}

TEST(IntegerField, DoublesAndTextsRoundAndRangeCheck) {
  OneField f(TableType::kVfp, kFtInteger, 4);
  ASSERT_TRUE(SetDouble(f.ctx(), f.img(), 2.5).ok());
  EXPECT_EQ(*GetLong(f.ctx(), f.cimg()), 3);
  ASSERT_TRUE(SetDouble(f.ctx(), f.img(), -2.5).ok());
  EXPECT_EQ(*GetLong(f.ctx(), f.cimg()), -3);
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "2147483647").ok());
  EXPECT_EQ(*GetLong(f.ctx(), f.cimg()), INT32_MAX);
  EXPECT_EQ(SetText(f.ctx(), f.img(), "2147483648").code(), kErrValueOutOfRange);
  EXPECT_EQ(GetShort(f.ctx(), f.cimg()).status().code(), kErrValueOutOfRange);
  EXPECT_EQ(*GetLong(f.ctx(), f.cimg()), INT32_MAX);

  OneField s(TableType::kAdt, kFtShortInt, 2);
  ASSERT_TRUE(SetShort(s.ctx(), s.img(), -32767).ok());
  EXPECT_EQ(*GetShort(s.ctx(), s.cimg()), -32767);
  EXPECT_EQ(SetLong(s.ctx(), s.img(), 32768).code(), kErrValueOutOfRange);
  EXPECT_EQ(SetLong(s.ctx(), s.img(), -32768).code(), kErrValueOutOfRange);  // the null form
  s.Put(std::string("\x00\x80", 2));
  EXPECT_TRUE(*IsNull(s.ctx(), s.cimg()));
}

TEST(DoubleField, ExactBitsAndShortestText) {
  OneField f(TableType::kAdt, kFtDouble, 8);
  ASSERT_TRUE(SetDouble(f.ctx(), f.img(), 0.1).ok());
  EXPECT_EQ(*GetDouble(f.ctx(), f.cimg()), 0.1);
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "0.1");
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "-1234.5e3").ok());
  EXPECT_EQ(*GetDouble(f.ctx(), f.cimg()), -1234500.0);
  EXPECT_EQ(*GetLong(f.ctx(), f.cimg()), -1234500);
  ASSERT_TRUE(SetDouble(f.ctx(), f.img(), 1e300).ok());
  EXPECT_EQ(GetLong(f.ctx(), f.cimg()).status().code(), kErrValueOutOfRange);
  ASSERT_TRUE(SetNull(f.ctx(), f.img()).ok());
  EXPECT_EQ(f.Bytes(), Le32(32) + Le32(0x80000000u));
  EXPECT_TRUE(*IsNull(f.ctx(), f.cimg()));
}

TEST(DoubleField, DecimalsOfTheFieldShapeItsText) {
  OneField f(TableType::kAdt, kFtCurDouble, 8, 2);
  ASSERT_TRUE(SetDouble(f.ctx(), f.img(), 1.005).ok());
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "1.01");
  EXPECT_EQ(*GetDouble(f.ctx(), f.cimg()), 1.005);  // the value itself is kept whole
}

TEST(MoneyField, FourDecimalsNegativesAndTheLimits) {
  OneField f(TableType::kVfp, kFtMoney, 8);
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "-12.34565").ok());
  EXPECT_EQ(*GetLongLong(f.ctx(), f.cimg()), -12);
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "-12.3457");
  EXPECT_DOUBLE_EQ(*GetDouble(f.ctx(), f.cimg()), -12.3457);
  EXPECT_EQ(f.Bytes(), Le32(static_cast<uint32_t>(-123457)) + Le32(0xFFFFFFFFu));
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "922337203685477.5807").ok());
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "922337203685477.5807");
  EXPECT_EQ(SetText(f.ctx(), f.img(), "922337203685477.5808").code(), kErrValueOutOfRange);
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "-922337203685477.5808").ok());  // VFP has no null form
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "-922337203685477.5808");
  ASSERT_TRUE(SetDouble(f.ctx(), f.img(), 0.1).ok());
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "0.1000");
  ASSERT_TRUE(SetLong(f.ctx(), f.img(), -3).ok());
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "-3.0000");

  OneField adt(TableType::kAdt, kFtMoney, 8);
  EXPECT_EQ(SetText(adt.ctx(), adt.img(), "-922337203685477.5808").code(), kErrValueOutOfRange);
  ASSERT_TRUE(SetNull(adt.ctx(), adt.img()).ok());
  EXPECT_EQ(adt.Bytes(), Le32(0) + Le32(0x80000000u));
  EXPECT_TRUE(*IsNull(adt.ctx(), adt.cimg()));
}

TEST(RowVersionField, SixtyFourBitDecimal) {
  OneField f(TableType::kAdt, kFtRowVersion, 8);
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "9007199254740993").ok());
  EXPECT_EQ(*GetLongLong(f.ctx(), f.cimg()), 9007199254740993LL);
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "9007199254740993");
  EXPECT_EQ(GetLong(f.ctx(), f.cimg()).status().code(), kErrValueOutOfRange);
}

}  // namespace
}  // namespace ace::fields
