// Field access details through the C API: OEM tables convert at the boundary, binary data in
// chunks, fields by number, wide texts with short buffers, refused conversions.
#include <cstring>
#include <vector>

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

// AdsGetField of a memo: the text trimmed per option and copied out as stored, a too-small
// buffer answered with the length and left as it was; on large memo blocks, on a binary memo
// (never trimmed), on a national memo and on an OEM table (both converted).
class MemoTextTest : public ApiTest, public ::testing::WithParamInterface<UNSIGNED16> {
 protected:
  ADSHANDLE CreateSized(const std::string& name, UNSIGNED16 memo_size, const std::string& fields,
                        UNSIGNED16 char_type = ADS_ANSI) {
    ADSHANDLE t = 0;
    EXPECT_ACE(AdsCreateTable90(conn_, U(name), nullptr, GetParam(), char_type,
                                ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, memo_size, U(fields), 0,
                                nullptr, &t));
    return t;
  }
  void Put(ADSHANDLE t, const char* field, const std::string& value) {
    ASSERT_ACE(AdsAppendRecord(t));
    ASSERT_ACE(AdsSetField(t, U(field), U(value), static_cast<UNSIGNED32>(value.size())));
    ASSERT_ACE(AdsWriteRecord(t));
  }
};

TEST_P(MemoTextTest, TextIsTrimmedPerOptionAndCopiedOutWhole) {
  // 1024-byte blocks on ADT (larger than the first-block read keeps on the stack); the
  // format's own block size elsewhere.
  ADSHANDLE t = CreateSized("notes", GetParam() == ADS_ADT ? 1024 : 0, "TEXT,Memo;");
  Put(t, "TEXT", "  Notiz am Rand  ");
  EXPECT_EQ("  Notiz am Rand  ", Text(t, "TEXT", ADS_NONE));
  EXPECT_EQ("Notiz am Rand", Text(t, "TEXT", ADS_TRIM));
  EXPECT_EQ("Notiz am Rand  ", Text(t, "TEXT", ADS_LTRIM));
  EXPECT_EQ("  Notiz am Rand", Text(t, "TEXT", ADS_RTRIM));
  UNSIGNED8 small[8];
  std::memset(small, '#', sizeof small);
  UNSIGNED32 len = sizeof small;
  EXPECT_EQ(AE_INSUFFICIENT_BUFFER, AdsGetField(t, U("TEXT"), small, &len, ADS_TRIM));
  EXPECT_EQ(13u, len) << "the length of the trimmed text";
  EXPECT_EQ(std::string(8, '#'), std::string(reinterpret_cast<char*>(small), 8));
  // A memo of several blocks, and one that ends near its first block's end.
  const std::string long_text(3000, 'x');
  Put(t, "TEXT", long_text + "!");
  std::vector<UNSIGNED8> buf(4000);
  len = static_cast<UNSIGNED32>(buf.size());
  ASSERT_ACE(AdsGetField(t, U("TEXT"), buf.data(), &len, ADS_NONE));
  EXPECT_EQ(long_text + "!", std::string(reinterpret_cast<char*>(buf.data()), len));
  const std::string block_text(1000, 'y');
  Put(t, "TEXT", block_text);
  len = static_cast<UNSIGNED32>(buf.size());
  ASSERT_ACE(AdsGetField(t, U("TEXT"), buf.data(), &len, ADS_NONE));
  EXPECT_EQ(block_text, std::string(reinterpret_cast<char*>(buf.data()), len));
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_P(MemoTextTest, BinaryAndNationalMemosAndOemTables) {
  if (GetParam() == ADS_ADT) {
    ADSHANDLE t = CreateSized("bin", 0, "DATA,Binary;WIDE,NMemo;");
    ASSERT_ACE(AdsAppendRecord(t));
    const UNSIGNED8 bytes[5] = {' ', 'a', 0, 'b', ' '};
    ASSERT_ACE(AdsSetBinary(t, U("DATA"), ADS_BINARY, 5, 0, bytes, 5));
    const std::u16string wide = u"  Gr\u00FC\u00DFe  ";
    ASSERT_ACE(AdsSetFieldW(t, U("WIDE"), reinterpret_cast<const WCHAR*>(wide.c_str()),
                            static_cast<UNSIGNED32>(wide.size())));
    ASSERT_ACE(AdsWriteRecord(t));
    UNSIGNED8 out[16];
    UNSIGNED32 len = sizeof out;
    ASSERT_ACE(AdsGetField(t, U("DATA"), out, &len, ADS_TRIM));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), 5),
              std::string(reinterpret_cast<char*>(out), len))
        << "binary content is never trimmed";
    EXPECT_EQ("Gr\xFC\xDF\x65", Text(t, "WIDE", ADS_TRIM));  // Grüße in Windows-1252
    ASSERT_ACE(AdsCloseTable(t));
    return;
  }
  ADSHANDLE t = CreateSized("oemnotes", 0, "TEXT,Memo;", ADS_OEM);
  const std::string ansi = " Gr\xFC\xDF\x65 ";  // Grüße in Windows-1252, between blanks
  Put(t, "TEXT", ansi);
  EXPECT_EQ(ansi, Text(t, "TEXT", ADS_NONE));
  EXPECT_EQ("Gr\xFC\xDF\x65", Text(t, "TEXT", ADS_TRIM));
  ASSERT_ACE(AdsCloseTable(t));
}

INSTANTIATE_TEST_SUITE_P(Formats, MemoTextTest, ::testing::Values(ADS_ADT, ADS_CDX, ADS_VFP));

}  // namespace
}  // namespace ace_api_test
