// Parameters of prepared texts through the C API: the scan of AdsGetSQLStmtParams, numbering of
// '?' and ':name' markers, every setter on a statement handle by number and by name, and the
// values as they arrive in the table.
#include "tests/engine/sql/sql_fixture.h"

namespace ace_sql_test {
namespace {

const UNSIGNED8* Num(uintptr_t n) {
  return reinterpret_cast<const UNSIGNED8*>(n);
}

SIGNED32 JulianOf(const char* yyyymmdd) {
  DOUBLE julian = 0;
  EXPECT_EQ(0u, AdsConvertStringToJulian(U(yyyymmdd), 8, &julian));
  return static_cast<SIGNED32>(julian);
}

class SqlParamsTest : public SqlTest {
 protected:
  UNSIGNED16 NumParams() {
    UNSIGNED16 n = 999;
    EXPECT_EQ(0u, AdsGetNumParams(stmt_, &n));
    return n;
  }
};

TEST_F(SqlParamsTest, ScanRefusesUnterminatedQuotesAndComments) {
  EXPECT_ACE(AdsGetSQLStmtParams(U("SELECT * FROM t WHERE a = :a AND b = '?'")));
  EXPECT_ACE(AdsGetSQLStmtParams(U("ALTER TABLE Kinder ADD COLUMN x integer;\r\n")));
  EXPECT_ACE(AdsGetSQLStmtParams(U("")));
  EXPECT_EQ(7200u, AdsGetSQLStmtParams(U("SELECT 'abc FROM t")));
  EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2103;")) << ErrorText();
  EXPECT_EQ(7200u, AdsGetSQLStmtParams(U("SELECT 1 /* open comment")));
  EXPECT_EQ(7200u, AdsGetSQLStmtParams(U("SELECT \"name FROM t")));
  EXPECT_EQ(5004u, AdsGetSQLStmtParams(nullptr));
}

TEST_F(SqlParamsTest, MarkersAreNumberedFromOneAcrossTheText) {
  EXPECT_EQ(0u, NumParams());  // nothing prepared
  ASSERT_ACE(AdsPrepareSQL(stmt_, U("SELECT ? , ':x' , :Name, -- :comment\n ?, :NAME, ::int;"
                                    "SELECT :other")));
  // "?", ":Name", "?" and ":other"; ":NAME" is :Name again; quotes, comments and "::" are none.
  EXPECT_EQ(4u, NumParams());
  EXPECT_ACE(AdsSetLong(stmt_, Num(1), 1));
  EXPECT_ACE(AdsSetLong(stmt_, U("name"), 2));   // names ignore case
  EXPECT_ACE(AdsSetLong(stmt_, U(":Name"), 2));  // with or without the colon
  EXPECT_ACE(AdsSetLong(stmt_, Num(4), 4));
  EXPECT_EQ(7200u, AdsSetLong(stmt_, Num(5), 5));
  EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2171;")) << ErrorText();
  EXPECT_EQ(5004u, AdsSetLong(stmt_, Num(0), 5));  // no field argument
  EXPECT_EQ(7200u, AdsSetLong(stmt_, U("nobody"), 5));
  EXPECT_NE(std::string::npos, ErrorText().find("nobody")) << ErrorText();
  // Parameter 3 has no value yet: execution is refused and runs nothing.
  ADSHANDLE cursor = 0;
  EXPECT_EQ(7200u, AdsExecuteSQL(stmt_, &cursor));
  EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2170;")) << ErrorText();
  EXPECT_NE(std::string::npos, ErrorText().find("Parameter 3")) << ErrorText();
  // A closed statement is no longer a handle at all.
  ADSHANDLE s = 0;
  ASSERT_ACE(AdsCreateSQLStatement(conn_, &s));
  ASSERT_ACE(AdsCloseSQLStatement(s));
  EXPECT_EQ(5001u, AdsSetLong(s, Num(1), 1));
}

TEST_F(SqlParamsTest, EveryTypeOfValueReachesTheTable) {
  ASSERT_ACE(
      Exec("CREATE TABLE v (s char(10), w char(10), i integer, h short, d double, "
           "l logical, dt date, t time, ts timestamp, b blob, m memo, n integer, e char(4))"));
  ASSERT_ACE(AdsPrepareSQL(stmt_, U("INSERT INTO v VALUES (?, ?, :i, :h, :d, :l, :dt, :t, :ts, "
                                    ":b, :m, :n, :e)")));
  EXPECT_EQ(13u, NumParams());
  const std::string ansi =
      "Gr\xFC\xDF"
      "e";  // Windows-1252, as the 8-bit API takes it
  ASSERT_ACE(AdsSetString(stmt_, Num(1), U(ansi), 5));
  std::u16string wide = u"Straße";
  ASSERT_ACE(AdsSetStringW(stmt_, Num(2), wide.c_str(), static_cast<UNSIGNED32>(wide.size())));
  ASSERT_ACE(AdsSetLong(stmt_, U("i"), -123456));
  ASSERT_ACE(AdsSetShort(stmt_, U("h"), 321));
  ASSERT_ACE(AdsSetDouble(stmt_, U("d"), 2.5));
  ASSERT_ACE(AdsSetLogical(stmt_, U("l"), 1));
  ASSERT_ACE(AdsSetJulian(stmt_, U("dt"), JulianOf("19991231")));
  ASSERT_ACE(AdsSetMilliseconds(stmt_, U("t"), 13 * 3600000 + 5 * 60000 + 7 * 1000 + 250));
  const SIGNED32 day = JulianOf("20240229");
  const SIGNED32 ms = 23 * 3600000 + 59 * 60000 + 58 * 1000 + 999;
  UNSIGNED8 raw[8];
  for (int k = 0; k < 4; ++k) {
    raw[k] = static_cast<UNSIGNED8>(static_cast<UNSIGNED32>(day) >> (8 * k));
    raw[4 + k] = static_cast<UNSIGNED8>(static_cast<UNSIGNED32>(ms) >> (8 * k));
  }
  ASSERT_ACE(AdsSetTimeStampRaw(stmt_, U("ts"), raw, 8));
  EXPECT_EQ(5003u, AdsSetTimeStampRaw(stmt_, U("ts"), raw, 7));
  const UNSIGNED8 blob[6] = {0, 1, 2, 0xFF, 0, 9};
  ASSERT_ACE(AdsSetBinary(stmt_, U("b"), ADS_BINARY, 6, 0, blob, 4));  // two chunks
  ASSERT_ACE(AdsSetBinary(stmt_, U("b"), ADS_BINARY, 6, 4, blob + 4, 2));
  ASSERT_ACE(AdsSetString(stmt_, U("m"), U("a memo text"), 11));
  ASSERT_ACE(AdsSetNull(stmt_, U("n")));
  ASSERT_ACE(AdsSetEmpty(stmt_, U("e")));
  ADSHANDLE cursor = 0;
  ASSERT_ACE(AdsExecuteSQL(stmt_, &cursor));
  UNSIGNED32 rows = 0;
  ASSERT_ACE(RowCount(stmt_, &rows));
  EXPECT_EQ(1u, rows);

  ADSHANDLE t = 0;
  ASSERT_ACE(Open("v", ADS_ADT, &t));
  EXPECT_EQ(ansi, Text(t, "s"));
  EXPECT_EQ(std::string("Stra\xDF"
                        "e"),
            Text(t, "w"));  // stored in the ANSI code page
  EXPECT_EQ("-123456", Text(t, "i"));
  EXPECT_EQ("321", Text(t, "h"));
  DOUBLE d = 0;
  ASSERT_ACE(AdsGetDouble(t, U("d"), &d));
  EXPECT_DOUBLE_EQ(2.5, d);
  UNSIGNED16 flag = 0;
  ASSERT_ACE(AdsGetLogical(t, U("l"), &flag));
  EXPECT_EQ(1u, flag);
  SIGNED32 julian = 0;
  ASSERT_ACE(AdsGetJulian(t, U("dt"), &julian));
  EXPECT_EQ(JulianOf("19991231"), julian);
  SIGNED32 millis = 0;
  ASSERT_ACE(AdsGetMilliseconds(t, U("t"), &millis));
  EXPECT_EQ(13 * 3600000 + 5 * 60000 + 7 * 1000 + 250, millis);
  ASSERT_ACE(AdsGetJulian(t, U("ts"), &julian));
  EXPECT_EQ(day, julian);
  ASSERT_ACE(AdsGetMilliseconds(t, U("ts"), &millis));
  EXPECT_EQ(ms, millis);
  UNSIGNED8 got[16];
  UNSIGNED32 len = sizeof got;
  ASSERT_ACE(AdsGetBinary(t, U("b"), 0, got, &len));
  ASSERT_EQ(6u, len);
  EXPECT_EQ(0, memcmp(blob, got, 6));
  EXPECT_EQ("a memo text", Text(t, "m"));
  UNSIGNED16 null = 0;
  ASSERT_ACE(AdsIsNull(t, U("n"), &null));
  EXPECT_EQ(1u, null);
  ASSERT_ACE(AdsIsNull(t, U("e"), &null));
  EXPECT_EQ(1u, null);  // AdsSetEmpty on a parameter binds NULL
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_F(SqlParamsTest, ParametersSelectAndAreKeptForTheNextExecution) {
  ASSERT_ACE(
      Exec("CREATE TABLE p (Name char(10), Tag date); "
           "INSERT INTO p VALUES ('a', '2001-01-01'), ('b', '2002-02-02'), "
           "('c', '2003-03-03')"));
  ASSERT_ACE(AdsPrepareSQL(stmt_, U("SELECT Name FROM p WHERE Tag >= :von ORDER BY Name")));
  ASSERT_ACE(AdsSetJulian(stmt_, U("von"), JulianOf("20020202")));
  ADSHANDLE c = 0;
  ASSERT_ACE(AdsExecuteSQL(stmt_, &c));
  UNSIGNED32 rows = 0;
  ASSERT_ACE(RowCount(stmt_, &rows));
  EXPECT_EQ(2u, rows);
  EXPECT_EQ("b", Text(c, "Name"));
  ASSERT_ACE(AdsCloseTable(c));
  // The value stays until it is set again or the text is prepared anew.
  ASSERT_ACE(AdsExecuteSQL(stmt_, &c));
  ASSERT_ACE(RowCount(stmt_, &rows));
  EXPECT_EQ(2u, rows);
  ASSERT_ACE(AdsCloseTable(c));
  ASSERT_ACE(AdsSetString(stmt_, U("von"), U("2003-01-01"), 10));
  ASSERT_ACE(AdsExecuteSQL(stmt_, &c));
  EXPECT_EQ("c", Text(c, "Name"));
  ASSERT_ACE(AdsCloseTable(c));
  ASSERT_ACE(AdsPrepareSQL(stmt_, U("SELECT Name FROM p WHERE Tag >= :von")));
  EXPECT_EQ(7200u, AdsExecuteSQL(stmt_, &c));  // prepared anew: no value
  EXPECT_EQ(0u, c);
  // A day outside the calendar is refused when bound.
  ASSERT_ACE(AdsSetJulian(stmt_, U("von"), -5));
  EXPECT_EQ(7200u, AdsExecuteSQL(stmt_, &c));
  EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2172;")) << ErrorText();
  // Messages quote the statement as written.
  EXPECT_NE(std::string::npos, ErrorText().find("WHERE Tag >= :von")) << ErrorText();
}

}  // namespace
}  // namespace ace_sql_test
