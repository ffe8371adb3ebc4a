// Field access details through the C API: OEM tables convert at the boundary, binary data in
// chunks, fields by number, wide texts with short buffers, refused conversions.
#include <cstring>

#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

using FieldApiTest = ApiTest;

TEST_F(FieldApiTest, OemTablesStoreOemAndAnswerAnsi) {
  ADSHANDLE t = 0;
  ASSERT_ACE(AdsCreateTable90(conn_, U("oem"), nullptr, ADS_CDX, ADS_OEM, ADS_PROPRIETARY_LOCKING,
                              ADS_CHECK_RIGHTS, 0, U("NAME,Char,8;"), 0, nullptr, &t));
  const char ansi[] =
      "Gr\xFC\xDF"
      "e";  // Grüße in Windows-1252
  ASSERT_ACE(AdsAppendRecord(t));
  ASSERT_ACE(AdsSetField(t, U("NAME"), U(ansi), 5));
  ASSERT_ACE(AdsWriteRecord(t));
  UNSIGNED8 rec[16];
  UNSIGNED32 len = sizeof rec;
  ASSERT_ACE(AdsGetRecord(t, rec, &len));
  EXPECT_EQ(0, std::memcmp(rec + 1,
                           "Gr\x81\xE1"
                           "e",
                           5));  // the image holds the OEM bytes
  EXPECT_EQ(ansi, Text(t, "NAME"));
  UNSIGNED16 char_type = 0;
  ASSERT_ACE(AdsGetTableCharType(t, &char_type));
  EXPECT_EQ(ADS_OEM, char_type);
}

TEST_F(FieldApiTest, BinaryChunksAndRefusals) {
  ADSHANDLE t = Create("bin", ADS_ADT, "Daten,Binary;Zahl,Integer;Wann,Date;");
  ASSERT_ACE(AdsAppendRecord(t));
  const UNSIGNED8 part1[4] = {1, 2, 3, 4};
  const UNSIGNED8 part2[2] = {5, 6};
  // Chunks may come in any order; the value is stored with the last one.
  ASSERT_ACE(AdsSetBinary(t, U("Daten"), ADS_BINARY, 6, 0, part1, 4));
  UNSIGNED32 blen = 99;
  ASSERT_ACE(AdsGetBinaryLength(t, U("Daten"), &blen));
  EXPECT_EQ(0u, blen);
  ASSERT_ACE(AdsSetBinary(t, U("Daten"), ADS_BINARY, 6, 4, part2, 2));
  ASSERT_ACE(AdsGetBinaryLength(t, U("Daten"), &blen));
  EXPECT_EQ(6u, blen);
  UNSIGNED8 out[8] = {};
  UNSIGNED32 olen = 3;
  ASSERT_ACE(AdsGetBinary(t, U("Daten"), 2, out, &olen));
  EXPECT_EQ(3u, olen);
  EXPECT_EQ(3, out[0]);
  EXPECT_EQ(5, out[2]);
  olen = sizeof out;
  ASSERT_ACE(AdsGetBinary(t, U("Daten"), 10, out, &olen));
  EXPECT_EQ(0u, olen);
  UNSIGNED16 memo_type = 0;
  ASSERT_ACE(AdsGetMemoDataType(t, U("Daten"), &memo_type));
  EXPECT_EQ(ADS_BINARY, memo_type);
  EXPECT_EQ(AE_INVALID_ARGUMENT, AdsSetBinary(t, U("Daten"), ADS_BINARY, 6, 5, part2, 2));
  EXPECT_EQ(AE_CONVERSION, AdsSetFieldRaw(t, U("Daten"), part1, 4));
  ASSERT_ACE(AdsWriteRecord(t));

  // Fields by number, conversions that do not fit, wide texts with a short buffer.
  ASSERT_ACE(AdsSetLong(t, ADSFIELD(2), 70000));
  SIGNED16 small = 0;
  EXPECT_EQ(AE_VALUE_OUT_OF_RANGE, AdsGetShort(t, ADSFIELD(2), &small));
  EXPECT_EQ(AE_CONVERSION, AdsSetField(t, U("Wann"), U("kein Datum"), 10));
  ASSERT_ACE(AdsSetDate(t, U("Wann"), U("2024-02-29"), 10));
  SIGNED32 julian = 0;
  ASSERT_ACE(AdsGetJulian(t, U("Wann"), &julian));
  EXPECT_EQ(2460370, julian);
  WCHAR wide[4];
  UNSIGNED32 wlen = 3;
  EXPECT_EQ(AE_INSUFFICIENT_BUFFER, AdsGetFieldW(t, ADSFIELD(2), wide, &wlen, ADS_TRIM));
  EXPECT_EQ(5u, wlen);  // "70000"
  DOUBLE j = 0;
  ASSERT_ACE(AdsConvertStringToJulian(U("20000101"), 8, &j));
  EXPECT_EQ(2451545.0, j);
  EXPECT_EQ(AE_CONVERSION, AdsConvertStringToJulian(U("2000x101"), 8, &j));
  UNSIGNED8 date[4];
  UNSIGNED16 dlen = sizeof date;
  EXPECT_EQ(AE_INSUFFICIENT_BUFFER, AdsConvertJulianToString(2451545, date, &dlen));
  EXPECT_EQ(8, dlen);
}

}  // namespace
}  // namespace ace_api_test

namespace ace_api_test {
namespace {

// A memo change that is cancelled leaves the stored memo as it was, in every memo format.
class MemoCancelTest : public ApiTest, public ::testing::WithParamInterface<UNSIGNED16> {};

TEST_P(MemoCancelTest, CancelledMemoChangeKeepsTheStoredText) {
  ADSHANDLE t = Create("memo", GetParam(), "TEXT,Memo;");
  AppendText(t, "TEXT", "der alte Text, lang genug");
  ASSERT_ACE(AdsSetField(t, U("TEXT"), U("neu"), 3));
  EXPECT_EQ("neu", Text(t, "TEXT"));
  ASSERT_ACE(AdsCancelUpdate(t));
  EXPECT_EQ("der alte Text, lang genug", Text(t, "TEXT"));
  ASSERT_ACE(AdsSetEmpty(t, U("TEXT")));
  ASSERT_ACE(AdsCancelUpdate(t));
  EXPECT_EQ("der alte Text, lang genug", Text(t, "TEXT"));
  ASSERT_ACE(AdsSetField(t, U("TEXT"), U("neu"), 3));
  ASSERT_ACE(AdsWriteRecord(t));
  ASSERT_ACE(AdsCloseTable(t));
  ASSERT_ACE(Open("memo", GetParam(), &t));
  EXPECT_EQ("neu", Text(t, "TEXT"));
}

INSTANTIATE_TEST_SUITE_P(Formats, MemoCancelTest,
                         ::testing::Values(ADS_ADT, ADS_NTX, ADS_CDX, ADS_VFP));

}  // namespace
}  // namespace ace_api_test
