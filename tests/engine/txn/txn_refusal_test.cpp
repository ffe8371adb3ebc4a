// What a transaction could not undo is refused inside one with AE_TRANSACTION (5060), naming
// the operation, before anything is changed: ALTER TABLE and DROP TABLE in SQL, pack and zap.
// After the transaction ends the same calls work.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

class TxnRefusalTest : public ApiTest, public ::testing::WithParamInterface<UNSIGNED16> {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    ADSHANDLE t = Create("konto", GetParam(), "NAME,Char,10;N,Numeric,6,0;NOTE,Memo;");
    for (int i = 1; i <= 3; ++i) {
      ASSERT_ACE(AdsAppendRecord(t));
      ASSERT_ACE(AdsSetLong(t, U("N"), i));
      ASSERT_ACE(AdsSetString(t, U("NOTE"), U("note"), 4));
    }
    ASSERT_ACE(AdsDeleteRecord(t));  // so that a pack would change the table
    ASSERT_ACE(AdsCloseTable(t));
    ASSERT_ACE(AdsCreateSQLStatement(conn_, &stmt_));
    ASSERT_ACE(AdsStmtSetTableType(stmt_, GetParam()));
  }

  std::string TableFile() const { return Path(GetParam() == ADS_ADT ? "konto.adt" : "konto.dbf"); }
  std::string Bytes(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  UNSIGNED32 Sql(const std::string& text) {
    ADSHANDLE cursor = 0;
    return AdsExecuteSQLDirect(stmt_, U(text), &cursor);
  }
  UNSIGNED16 FieldCount() {
    ADSHANDLE t = 0;
    EXPECT_ACE(Open("konto", GetParam(), &t));
    UNSIGNED16 n = 0;
    EXPECT_ACE(AdsGetNumFields(t, &n));
    EXPECT_ACE(AdsCloseTable(t));
    return n;
  }
  // Expects the last call to have been refused for the transaction, naming what.
  void ExpectRefused(UNSIGNED32 rc, const std::string& what) {
    EXPECT_EQ(static_cast<UNSIGNED32>(AE_TRANSACTION), rc);
    const std::string text = LastErrorText();
    EXPECT_NE(std::string::npos, text.find(what)) << text;
    EXPECT_NE(std::string::npos, text.find("inside a transaction")) << text;
  }

  ADSHANDLE stmt_ = 0;
};

TEST_P(TxnRefusalTest, AlterAndDropTableAreRefusedInsideATransaction) {
  const std::string before = Bytes(TableFile());
  ASSERT_ACE(AdsBeginTransaction(conn_));
  ExpectRefused(Sql("ALTER TABLE konto ADD COLUMN extra Integer"), "ALTER TABLE konto");
  ExpectRefused(Sql("DROP TABLE konto"), "DROP TABLE konto");
  // The refusal names the statement of a longer text; the statements before it took effect.
  ExpectRefused(Sql("CREATE TABLE other (a Integer); ALTER TABLE konto DROP COLUMN N"),
                "statement 2 of 2");
  EXPECT_TRUE(std::filesystem::exists(Path(GetParam() == ADS_ADT ? "other.adt" : "other.dbf")));
  UNSIGNED16 active = 0;
  ASSERT_ACE(AdsInTransaction(conn_, &active));
  EXPECT_EQ(1, active);  // the transaction goes on
  EXPECT_EQ(before, Bytes(TableFile()));
  EXPECT_EQ(3, FieldCount());
  ASSERT_ACE(AdsRollbackTransaction(conn_));
  ASSERT_ACE(Sql("ALTER TABLE konto ADD COLUMN extra Integer"));
  EXPECT_EQ(4, FieldCount());
}

TEST_P(TxnRefusalTest, PackAndZapAreRefusedInsideATransactionAndLoseNoPendingChange) {
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("konto", GetParam(), &t, ADS_EXCLUSIVE));
  ASSERT_ACE(AdsBeginTransaction(conn_));
  ASSERT_ACE(AdsGotoTop(t));
  ASSERT_ACE(AdsSetLong(t, U("N"), 42));  // pending, not written yet
  const std::string before = Bytes(TableFile());
  ExpectRefused(AdsPackTable(t), "Packing the table");
  ExpectRefused(AdsZapTable(t), "Emptying the table");
  EXPECT_EQ(before, Bytes(TableFile()));
  SIGNED32 n = 0;
  ASSERT_ACE(AdsGetLong(t, U("N"), &n));
  EXPECT_EQ(42, n);
  ASSERT_ACE(AdsWriteRecord(t));
  ASSERT_ACE(AdsCommitTransaction(conn_));
  UNSIGNED32 count = 0;
  ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(3u, count);
  ASSERT_ACE(AdsPackTable(t));
  ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(2u, count);
  ASSERT_ACE(AdsGotoTop(t));
  ASSERT_ACE(AdsGetLong(t, U("N"), &n));
  EXPECT_EQ(42, n);
  ASSERT_ACE(AdsZapTable(t));
  ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(0u, count);
  ASSERT_ACE(AdsCloseTable(t));
}

INSTANTIATE_TEST_SUITE_P(Formats, TxnRefusalTest, ::testing::Values(ADS_ADT, ADS_CDX));

}  // namespace
}  // namespace ace_api_test
