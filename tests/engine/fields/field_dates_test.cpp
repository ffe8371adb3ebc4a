// Date, compact date, time and timestamp fields in the three format families.
#include <gtest/gtest.h>

#include "engine/base/error_codes.h"
#include "engine/fields/field_codec.h"
#include "tests/engine/fields/field_test_util.h"

namespace ace::fields {
namespace {

using namespace storage;
using testing::Le32;
using testing::OneField;

constexpr int32_t kNov5th2010 = 2455506;

TEST(DateField, DbfStoresTheEightCharacterText) {
  OneField f(TableType::kNtx, kFtDate, 8);
  ASSERT_TRUE(SetJulian(f.ctx(), f.img(), kNov5th2010).ok());
  EXPECT_EQ(f.Bytes(), "20101105");
  EXPECT_EQ(*GetJulian(f.ctx(), f.cimg()), kNov5th2010);
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "11/05/2010");
  DateFormat german{"DD.MM.YYYY", 1900};
  f.date_format = &german;
  EXPECT_EQ(*GetDateText(f.ctx(), f.cimg()), "05.11.2010");
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "29.02.2000").ok());
  EXPECT_EQ(f.Bytes(), "20000229");
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "20101105").ok());  // the storage form is always read
  EXPECT_EQ(f.Bytes(), "20101105");
}

TEST(DateField, InvalidDatesAreRefusedAndLeaveTheField) {
  OneField f(TableType::kCdx, kFtDate, 8);
  ASSERT_TRUE(SetJulian(f.ctx(), f.img(), kNov5th2010).ok());
  for (const char* bad : {"02/29/2001", "13/01/2010", "00/10/2010", "someday", "2010-02-30"}) {
    Status s = SetText(f.ctx(), f.img(), bad);
    EXPECT_EQ(s.code(), kErrConversion) << bad;
    EXPECT_NE(s.message().find("F1"), std::string::npos) << s.message();
  }
  EXPECT_EQ(SetJulian(f.ctx(), f.img(), kJulianYear9999 + 1).code(), kErrValueOutOfRange);
  EXPECT_EQ(SetJulian(f.ctx(), f.img(), 17).code(), kErrValueOutOfRange);
  EXPECT_EQ(f.Bytes(), "20101105");
  f.Put("00000000");  // written by some tools for an empty date
  EXPECT_EQ(*GetJulian(f.ctx(), f.cimg()), 0);
  f.Put("2010x105");
  EXPECT_EQ(GetJulian(f.ctx(), f.cimg()).status().code(), kErrConversion);
}

TEST(DateField, EdgeDatesRoundTripInEveryFormat) {
  for (TableType t : {TableType::kAdt, TableType::kVfp, TableType::kCdx}) {
    OneField f(t, kFtDate, t == TableType::kAdt ? 4 : 8);
    for (int32_t j : {kJulianYear1, 2415019, 2451604, kJulianYear9999}) {
      ASSERT_TRUE(SetJulian(f.ctx(), f.img(), j).ok());
      EXPECT_EQ(*GetJulian(f.ctx(), f.cimg()), j);
      EXPECT_FALSE(*IsNull(f.ctx(), f.cimg()));
    }
  }
  OneField adt(TableType::kAdt, kFtDate, 4);
  ASSERT_TRUE(SetJulian(adt.ctx(), adt.img(), kNov5th2010).ok());
  EXPECT_EQ(adt.Bytes(), Le32(kNov5th2010));
  ASSERT_TRUE(SetText(adt.ctx(), adt.img(), "").ok());
  EXPECT_EQ(adt.Bytes(), Le32(0));
  EXPECT_TRUE(*IsNull(adt.ctx(), adt.cimg()));
  EXPECT_EQ(*GetText(adt.ctx(), adt.cimg()), "");
}

TEST(DateField, EmptyDatesAreBlankOnDbfAndNullOnEveryFormat) {
  OneField f(TableType::kVfp, kFtDate, 8, 0, true);
  ASSERT_TRUE(SetJulian(f.ctx(), f.img(), 0).ok());
  EXPECT_EQ(f.Bytes(), "        ");
  EXPECT_TRUE(*IsNull(f.ctx(), f.cimg()));
  EXPECT_TRUE(*IsEmpty(f.ctx(), f.cimg()));
  EXPECT_EQ(*GetJulian(f.ctx(), f.cimg()), 0);

  OneField binary(TableType::kNtx, kFtDate, 4);  // a DBF date kept as a day number
  ASSERT_TRUE(SetNull(binary.ctx(), binary.img()).ok());
  EXPECT_EQ(binary.Bytes(), Le32(0));
  EXPECT_TRUE(*IsNull(binary.ctx(), binary.cimg()));
}

TEST(CompactDateField, PacksYearMonthAndDayBigEndian) {
  OneField f(TableType::kAdt, kFtCompactDate, 3);
  ASSERT_TRUE(SetJulian(f.ctx(), f.img(), kNov5th2010).ok());
  EXPECT_EQ(f.Bytes(), "\x0F\xB5\x65");
  EXPECT_EQ(*GetJulian(f.ctx(), f.cimg()), kNov5th2010);
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "11/05/2010");
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "99991231").ok());
  EXPECT_EQ(*GetJulian(f.ctx(), f.cimg()), kJulianYear9999);
  f.Put("\x0F\xB5\x60");  // day 0
  EXPECT_EQ(GetJulian(f.ctx(), f.cimg()).status().code(), kErrCorruptFile);
  ASSERT_TRUE(SetNull(f.ctx(), f.img()).ok());
  EXPECT_EQ(f.Bytes(), std::string(3, '\0'));
  EXPECT_TRUE(*IsNull(f.ctx(), f.cimg()));
}

TEST(TimeField, MillisecondsSinceMidnight) {
  OneField f(TableType::kAdt, kFtTime, 4);
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "12:34:56.789").ok());
  EXPECT_EQ(f.Bytes(), Le32(45296789));
  EXPECT_EQ(*GetMilliseconds(f.ctx(), f.cimg()), 45296789);
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "12:34:56.789");
  EXPECT_EQ(*GetTimeText(f.ctx(), f.cimg()), "12:34:56.789");
  EXPECT_EQ(SetMilliseconds(f.ctx(), f.img(), kMillisecondsPerDay).code(), kErrValueOutOfRange);
  EXPECT_EQ(SetText(f.ctx(), f.img(), "25:00").code(), kErrConversion);
  EXPECT_EQ(f.Bytes(), Le32(45296789));
  ASSERT_TRUE(SetNull(f.ctx(), f.img()).ok());
  EXPECT_EQ(f.Bytes(), Le32(0xFFFFFFFFu));
  EXPECT_TRUE(*IsNull(f.ctx(), f.cimg()));
  ASSERT_TRUE(SetEmpty(f.ctx(), f.img()).ok());  // midnight: empty but not null
  EXPECT_FALSE(*IsNull(f.ctx(), f.cimg()));
  EXPECT_TRUE(*IsEmpty(f.ctx(), f.cimg()));
}

TEST(TimestampField, AdtStoresDayAndMillisecondsAsTheyAre) {
  OneField f(TableType::kAdt, kFtTimestamp, 8);
  ASSERT_TRUE(SetTimestamp(f.ctx(), f.img(), kNov5th2010, 43200000).ok());
  EXPECT_EQ(f.Bytes(), Le32(kNov5th2010) + Le32(43200000));
  EXPECT_EQ(*GetMilliseconds(f.ctx(), f.cimg()), 43200000);
  EXPECT_EQ(*GetJulian(f.ctx(), f.cimg()), kNov5th2010);
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "11/05/2010 12:00:00.000");
  ASSERT_TRUE(SetJulian(f.ctx(), f.img(), kNov5th2010 + 1).ok());  // keeps the time
  EXPECT_EQ(f.Bytes(), Le32(kNov5th2010 + 1) + Le32(43200000));
  ASSERT_TRUE(SetMilliseconds(f.ctx(), f.img(), 1).ok());  // keeps the day
  EXPECT_EQ(f.Bytes(), Le32(kNov5th2010 + 1) + Le32(1));
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "2010-11-05 08:15:30.250").ok());
  Result<Timestamp> ts = GetTimestamp(f.ctx(), f.cimg());
  EXPECT_EQ(ts->julian, kNov5th2010);
  EXPECT_EQ(ts->milliseconds, 29730250);

  ASSERT_TRUE(SetNull(f.ctx(), f.img()).ok());
  EXPECT_EQ(f.Bytes(), Le32(0) + Le32(0xFFFFFFFFu));
  EXPECT_TRUE(*IsNull(f.ctx(), f.cimg()));
  EXPECT_EQ(*GetMilliseconds(f.ctx(), f.cimg()), 0);
  EXPECT_EQ(SetMilliseconds(f.ctx(), f.img(), 5).code(), kErrConversion);  // no day to keep
  ASSERT_TRUE(SetJulian(f.ctx(), f.img(), kNov5th2010).ok());
  EXPECT_EQ(f.Bytes(), Le32(kNov5th2010) + Le32(0));
}

TEST(TimestampField, VisualFoxProKeepsOneMillisecondLess) {
  OneField f(TableType::kVfp, kFtTimestamp, 8, 0, true);
  ASSERT_TRUE(SetTimestamp(f.ctx(), f.img(), kNov5th2010, 43200000).ok());
  EXPECT_EQ(f.Bytes(), Le32(kNov5th2010) + Le32(43199999));
  EXPECT_EQ(*GetMilliseconds(f.ctx(), f.cimg()), 43200000);
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "11/05/2010 12:00:00.000");
  ASSERT_TRUE(SetTimestamp(f.ctx(), f.img(), kNov5th2010, 0).ok());
  EXPECT_EQ(f.Bytes(), Le32(kNov5th2010) + Le32(0));
  EXPECT_EQ(*GetMilliseconds(f.ctx(), f.cimg()), 0);
  ASSERT_TRUE(SetTimestamp(f.ctx(), f.img(), kNov5th2010, kMillisecondsPerDay - 1).ok());
  ASSERT_TRUE(SetJulian(f.ctx(), f.img(), kNov5th2010 + 2).ok());
  EXPECT_EQ(*GetMilliseconds(f.ctx(), f.cimg()), kMillisecondsPerDay - 1);
  ASSERT_TRUE(SetNull(f.ctx(), f.img()).ok());
  EXPECT_EQ(f.Bytes(), std::string(8, '\0'));
  EXPECT_TRUE(f.NullBit());
  EXPECT_TRUE(*IsNull(f.ctx(), f.cimg()));
}

}  // namespace
}  // namespace ace::fields
