// Names and texts at and beyond the fixed buffers the components use (names of 128 and 129
// bytes, file names of 260, error texts of 600, key areas of 4082 to 4084 bytes) through the C
// API. Out buffers are heap blocks of exactly the size given, so the address sanitizer of the
// debug build catches any byte written past them; a buffer too small must answer 5005 with the
// needed length, a large enough one the whole text.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/reliability/common/reliability_util.h"

namespace reliability {
namespace {

class Boundaries : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0u, AdsConnect60(U(dir_.path()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn_));
  }
  void TearDown() override { AdsDisconnect(conn_); }

  UNSIGNED32 Sql(const std::string& text) { return RunSql(dir_.path(), TableType::kAdt, text); }

  ADSHANDLE OpenTable(const std::string& name) {
    ADSHANDLE t = 0;
    EXPECT_EQ(0u,
              AdsOpenTable90(conn_, U(name), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                             ADS_IGNORE_RIGHTS, ADS_SHARED, nullptr, &t))
        << LastError();
    return t;
  }

  TempDir dir_;
  ADSHANDLE conn_ = 0;
};

// Calls get(buffer, &len) with a buffer of exactly `capacity` bytes and checks the answer for
// a text of `expected`: either the whole text or 5005 with a length that says what is needed.
template <typename Len, typename Get>
void CheckOutText(const std::string& expected, size_t capacity, Get get) {
  std::vector<UNSIGNED8> buf(capacity);
  Len len = static_cast<Len>(capacity);
  UNSIGNED32 rc = get(buf.data(), &len);
  SCOPED_TRACE("capacity " + std::to_string(capacity) + ", text of " +
               std::to_string(expected.size()));
  if (capacity > expected.size()) {
    ASSERT_EQ(0u, rc) << LastError();
    ASSERT_EQ(expected.size(), static_cast<size_t>(len));
    EXPECT_EQ(expected, std::string(reinterpret_cast<char*>(buf.data()), len));
  } else if (rc == 0) {
    // Exactly filled without a terminator is allowed; more is not.
    ASSERT_LE(static_cast<size_t>(len), capacity);
    EXPECT_EQ(expected, std::string(reinterpret_cast<char*>(buf.data()), len));
  } else {
    EXPECT_EQ(static_cast<UNSIGNED32>(AE_INSUFFICIENT_BUFFER), rc);
    EXPECT_GE(static_cast<size_t>(len), expected.size());
  }
}

TEST_F(Boundaries, FieldNamesOf128BytesAreKeptAnd129AreRefused) {
  const std::string name128(128, 'N');
  const std::string name129(129, 'M');
  ASSERT_EQ(0u, Sql("CREATE TABLE lang (" + name128 + " char(4), kurz integer)")) << LastError();
  EXPECT_NE(0u, Sql("CREATE TABLE zulang (" + name129 + " char(4))"));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("zulang.adt")));
  ADSHANDLE t = OpenTable("lang");
  for (size_t cap : {127u, 128u, 129u, 130u}) {
    CheckOutText<UNSIGNED16>(
        name128, cap, [&](UNSIGNED8* b, UNSIGNED16* l) { return AdsGetFieldName(t, 1, b, l); });
  }
  // A field named by 129 bytes is not found, never read past.
  std::vector<UNSIGNED8> longname(name129.begin(), name129.end());
  longname.push_back(0);
  UNSIGNED16 type = 0;
  EXPECT_NE(0u, AdsGetFieldType(t, longname.data(), &type));
  EXPECT_EQ(0u, AdsGetFieldType(t, U(name128), &type)) << LastError();
  AdsCloseTable(t);
}

TEST_F(Boundaries, FileNamesUpTo260BytesWorkAndLongerAreRefused) {
  // dir/ + name + ".adt" of exactly 260 bytes, then one more.
  const size_t room = 260 - dir_.path().size() - 1 - 4;
  ASSERT_GT(room, 10u);
  const std::string name(room, 'k');
  ASSERT_EQ(0u, Sql("CREATE TABLE " + name + " (a char(3))")) << LastError();
  const std::string full = dir_.path() + "/" + name + ".adt";
  ASSERT_EQ(260u, full.size());
  ADSHANDLE t = OpenTable(full);
  ASSERT_NE(0u, t);
  for (size_t cap : {259u, 260u, 261u}) {
    CheckOutText<UNSIGNED16>(full, cap, [&](UNSIGNED8* b, UNSIGNED16* l) {
      return AdsGetTableFilename(t, ADS_FULLPATHNAME, b, l);
    });
  }
  AdsCloseTable(t);
  const std::string too_long = dir_.path() + "/" + name + "k.adt";
  ADSHANDLE u = 0;
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_NAME_TOO_LONG),
            AdsOpenTable90(conn_, U(too_long), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                           ADS_IGNORE_RIGHTS, ADS_SHARED, nullptr, &u));
  ADSHANDLE c = 0;
  EXPECT_NE(0u, AdsConnect60(U(std::string(300, 'p')), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &c));
}

TEST_F(Boundaries, ErrorTextsFitTheBufferOf600AndLongerOnesAreCut) {
  // A missing table with a name of 250 bytes gives an error text longer than 600 bytes.
  ADSHANDLE t = 0;
  const std::string name = dir_.path() + "/" + std::string(200, 'x');
  ASSERT_NE(0u, AdsOpenTable90(conn_, U(name), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                               ADS_IGNORE_RIGHTS, ADS_SHARED, nullptr, &t));
  for (size_t cap : {599u, 600u, 601u, 1u}) {
    std::vector<UNSIGNED8> buf(cap);
    UNSIGNED16 len = static_cast<UNSIGNED16>(cap);
    UNSIGNED32 code = 0;
    UNSIGNED32 rc = AdsGetLastError(&code, buf.data(), &len);
    ASSERT_TRUE(rc == 0 || rc == AE_INSUFFICIENT_BUFFER) << rc;
    EXPECT_NE(0u, code);
    if (rc == 0) {
      EXPECT_LT(static_cast<size_t>(len), cap);
      EXPECT_EQ(0, buf[len]);  // terminated inside the buffer
    }
  }
  UNSIGNED8 text[ADS_MAX_ERROR_LEN];
  UNSIGNED16 len = sizeof text;
  EXPECT_EQ(0u, AdsGetErrorString(AE_TABLE_IN_USE, text, &len));
  // A caller's text of 4000 bytes is kept and given back within the buffer.
  const std::string long_text(4000, 'e');
  EXPECT_EQ(5000u, AdsSetLastError(5000, U(long_text)));
  std::vector<UNSIGNED8> buf(600);
  len = 600;
  UNSIGNED32 code = 0;
  UNSIGNED32 rc = AdsGetLastError(&code, buf.data(), &len);
  EXPECT_TRUE(rc == 0 || rc == AE_INSUFFICIENT_BUFFER);
  EXPECT_EQ(5000u, code);
}

TEST_F(Boundaries, ValuesAroundTheKeyAreaOf4084BytesAreReadWhole) {
  ASSERT_EQ(0u, Sql("CREATE TABLE werte (t memo, c char(4084))")) << LastError();
  ADSHANDLE t = OpenTable("werte");
  for (size_t size : {4082u, 4083u, 4084u}) {
    std::string value(size, 'a');
    for (size_t i = 0; i < size; ++i) value[i] = static_cast<char>('a' + i % 26);
    ASSERT_EQ(0u, AdsAppendRecord(t));
    ASSERT_EQ(0u, AdsSetString(t, U("t"), U(value), static_cast<UNSIGNED32>(size))) << LastError();
    ASSERT_EQ(0u, AdsSetString(t, U("c"), U(value), static_cast<UNSIGNED32>(size))) << LastError();
    ASSERT_EQ(0u, AdsWriteRecord(t)) << LastError();
    for (size_t cap : {size - 1, size, size + 1, size_t{4084}, size_t{4085}}) {
      CheckOutText<UNSIGNED32>(value, cap, [&](UNSIGNED8* b, UNSIGNED32* l) {
        return AdsGetString(t, U("t"), b, l, ADS_NONE);
      });
      const std::string padded = value + std::string(4084 - size, ' ');
      CheckOutText<UNSIGNED32>(padded, cap, [&](UNSIGNED8* b, UNSIGNED32* l) {
        return AdsGetField(t, U("c"), b, l, ADS_NONE);
      });
    }
  }
  // A value longer than the field is refused or cut, never written past the record.
  const std::string too_long(5000, 'z');
  ASSERT_EQ(0u, AdsAppendRecord(t));
  UNSIGNED32 rc = AdsSetString(t, U("c"), U(too_long), 5000);
  EXPECT_TRUE(rc == 0 || rc == AE_VALUE_OUT_OF_RANGE || rc == AE_COLUMN_VALUE) << rc;
  AdsCancelUpdate(t);
  AdsCloseTable(t);
}

}  // namespace
}  // namespace reliability
