// SQL data changes on indexed tables: INSERT, UPDATE and DELETE keep the structural index
// (opened for the statement when no cursor has it) and every index file a cursor of the
// connection has open in step with the records, checked by walking each index against a sort
// and by the tree checker; a statement refused part-way (a duplicate candidate key, an I/O
// failure at any write) leaves the table and its indexes as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engine/base/file.h"
#include "engine/index/index_file.h"
#include "engine/storage/table_file.h"
#include "tests/engine/sql/sql_fixture.h"

namespace {

using ace_api_test::LastErrorText;
using ace_api_test::U;
using ace_sql_test::SqlTest;

class SqlIndexWriteTest : public SqlTest {
 protected:
  void SetUp() override {
    SqlTest::SetUp();
    ASSERT_ACE(AdsStmtSetTableType(stmt_, ADS_CDX));
  }
  // A CDX table kinder (NAME, NR) with records NAME "R<i>" and NR i for i = 1..n, and the
  // structural tags BYNAME and BYNR; a candidate tag on NAME when asked. Left open in t_.
  void MakeKinder(int n, bool candidate = false) {
    t_ = Create("kinder", ADS_CDX, "NAME,Char,12;NR,Numeric,8,0");
    for (int i = 1; i <= n; ++i) {
      ASSERT_ACE(AdsAppendRecord(t_));
      const std::string name = "R" + std::to_string(i);
      ASSERT_ACE(AdsSetField(t_, U("NAME"), U(name), static_cast<UNSIGNED32>(name.size())));
      ASSERT_ACE(AdsSetLong(t_, U("NR"), i));
      ASSERT_ACE(AdsWriteRecord(t_));
    }
    Tag("BYNAME", "NAME", candidate ? ADS_CANDIDATE : 0);
    Tag("BYNR", "NR", 0);
  }
  ADSHANDLE Tag(const char* name, const char* expr, UNSIGNED32 options,
                const char* file = nullptr) {
    ADSHANDLE ix = 0;
    EXPECT_EQ(0u, AdsCreateIndex90(t_, file ? U(file) : nullptr, file ? nullptr : U(name), U(expr),
                                   nullptr, nullptr, options | (file ? 0 : ADS_COMPOUND), 0,
                                   nullptr, &ix))
        << LastErrorText();
    return ix;
  }
  void CloseKinder() {
    ASSERT_ACE(AdsCloseTable(t_));
    t_ = 0;
  }
  // The values of field in the order of index handle ix (its table open as table).
  std::vector<std::string> Walk(ADSHANDLE ix, ADSHANDLE table, const char* field) {
    std::vector<std::string> out;
    EXPECT_EQ(0u, AdsGotoTop(ix)) << LastErrorText();
    for (UNSIGNED16 eof = 0; AdsAtEOF(table, &eof) == 0 && !eof && out.size() < 100000;) {
      out.push_back(Text(table, field));
      EXPECT_EQ(0u, AdsSkip(ix, 1)) << LastErrorText();
    }
    return out;
  }
  // The values of field of the visible records in natural order, sorted as the index sorts
  // them (numbers by value).
  std::vector<std::string> SortedValues(ADSHANDLE table, const char* field, bool numeric) {
    std::vector<std::string> out;
    EXPECT_EQ(0u, AdsGotoTop(table));
    for (UNSIGNED16 eof = 0; AdsAtEOF(table, &eof) == 0 && !eof && out.size() < 100000;) {
      out.push_back(Text(table, field));
      EXPECT_EQ(0u, AdsSkip(table, 1));
    }
    std::sort(out.begin(), out.end(), [&](const std::string& a, const std::string& b) {
      return numeric ? std::stol(a) < std::stol(b) : a < b;
    });
    return out;
  }
  // Opens kinder, walks the structural tags against sorts of the records; answers the names in
  // index order. The table is closed again.
  std::vector<std::string> CheckedNames() {
    ADSHANDLE t = 0;
    EXPECT_EQ(0u, Open("kinder", ADS_CDX, &t)) << LastErrorText();
    ADSHANDLE byname = 0, bynr = 0;
    EXPECT_EQ(0u, AdsGetIndexHandle(t, U("BYNAME"), &byname)) << LastErrorText();
    EXPECT_EQ(0u, AdsGetIndexHandle(t, U("BYNR"), &bynr)) << LastErrorText();
    std::vector<std::string> names = Walk(byname, t, "NAME");
    EXPECT_EQ(SortedValues(t, "NAME", false), names);
    EXPECT_EQ(SortedValues(t, "NR", true), Walk(bynr, t, "NR"));
    EXPECT_EQ(0u, AdsCloseTable(t));
    CheckFile("kinder.cdx");
    return names;
  }
  // Runs the tree checker over an index file of kinder.
  void CheckFile(const std::string& file) {
    ace::storage::OpenOptions options;
    options.read_only = true;
    auto table =
        ace::storage::OpenTableFile(Path("kinder.dbf"), ace::storage::TableType::kCdx, options);
    ASSERT_TRUE(table.ok()) << table.status().message();
    auto ix = ace::index::IndexFile::Open(Path(file), table->get(), true);
    ASSERT_TRUE(ix.ok()) << ix.status().message();
    ace::Status checked = (*ix)->CheckAll();
    EXPECT_TRUE(checked.ok()) << checked.message();
  }

  ADSHANDLE t_ = 0;
};

// ---- Writes reach the indexes ------------------------------------------------------------------

TEST_F(SqlIndexWriteTest, StatementsOnAClosedTableKeepItsStructuralIndexInStep) {
  MakeKinder(60);
  CloseKinder();
  ASSERT_ACE(Exec("INSERT INTO kinder (NAME, NR) VALUES ('Zed', 502), ('Aaron', 0)"));
  ASSERT_ACE(Exec("UPDATE kinder SET NAME = 'M' || NAME, NR = 1000 - NR WHERE NR % 3 = 0"));
  ASSERT_ACE(Exec("DELETE FROM kinder WHERE NR % 5 = 0"));
  std::vector<std::string> expected;
  for (int i = 1; i <= 60; ++i) {
    const int nr = i % 3 == 0 ? 1000 - i : i;
    if (nr % 5 == 0) continue;
    expected.push_back((i % 3 == 0 ? "MR" : "R") + std::to_string(i));
  }
  expected.push_back("Zed");  // Aaron's NR 0 is a multiple of 5: deleted again
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, CheckedNames());
}

TEST_F(SqlIndexWriteTest, IndexFilesOpenOnACursorFollowTheStatement) {
  MakeKinder(40);
  ADSHANDLE bynr = Tag(nullptr, "NR", 0, "bynr.ntx");
  ASSERT_ACE(Exec("UPDATE kinder SET NR = 100 - NR WHERE NR <= 10"));
  ASSERT_ACE(Exec("INSERT INTO kinder (NAME, NR) VALUES ('Neu', 55)"));
  ASSERT_ACE(Exec("DELETE FROM kinder WHERE NR = 95"));
  // The cursor sees the statement's records in the order of the file it has open.
  std::vector<std::string> walked = Walk(bynr, t_, "NR");
  EXPECT_EQ(SortedValues(t_, "NR", true), walked);
  EXPECT_EQ(40u, walked.size());  // 40 + 1 inserted - 1 deleted
  UNSIGNED32 keys = 0;
  ASSERT_ACE(AdsGetKeyCount(bynr, ADS_IGNOREFILTERS, &keys));
  EXPECT_EQ(41u, keys);  // the deleted record keeps its key
  UNSIGNED16 found = 0;
  ASSERT_ACE(AdsSeek(bynr, U("55"), 2, ADS_STRINGKEY, ADS_HARDSEEK, &found));
  EXPECT_TRUE(found);
  EXPECT_EQ("Neu", Text(t_, "NAME"));
  CloseKinder();
  CheckedNames();
  CheckFile("bynr.ntx");
}

// ---- Refused statements leave the indexes as they were -----------------------------------------

TEST_F(SqlIndexWriteTest, AnUpdateRefusedByACandidateKeyPartWayChangesNeitherTableNorIndex) {
  MakeKinder(20, /*candidate=*/true);
  CloseKinder();
  const std::vector<std::string> before = CheckedNames();
  // The first record takes the name, the second is refused: both must keep their old names.
  EXPECT_NE(0u, Exec("UPDATE kinder SET NAME = 'Same' WHERE NR <= 2"));
  EXPECT_EQ(before, CheckedNames());
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("kinder", ADS_CDX, &t));
  ADSHANDLE byname = 0;
  ASSERT_ACE(AdsGetIndexHandle(t, U("BYNAME"), &byname));
  UNSIGNED16 found = 1;
  ASSERT_ACE(AdsSeek(byname, U("Same"), 4, ADS_STRINGKEY, ADS_HARDSEEK, &found));
  EXPECT_FALSE(found);
  ASSERT_ACE(AdsSeek(byname, U("R1"), 2, ADS_STRINGKEY, ADS_HARDSEEK, &found));
  EXPECT_TRUE(found);
  ASSERT_ACE(AdsCloseTable(t));
  // A statement that keeps the keys distinct goes through afterwards.
  ASSERT_ACE(Exec("UPDATE kinder SET NAME = 'Same' WHERE NR = 2"));
  std::vector<std::string> names = CheckedNames();
  EXPECT_TRUE(std::find(names.begin(), names.end(), "Same") != names.end());
}

TEST_F(SqlIndexWriteTest, ARefusedInsertLeavesNoKeyThatRefusesTheSameValueLater) {
  MakeKinder(10, /*candidate=*/true);
  CloseKinder();
  const std::vector<std::string> before = CheckedNames();
  EXPECT_NE(0u, Exec("INSERT INTO kinder (NAME, NR) VALUES ('Neu', 11), ('R3', 12)"));
  EXPECT_EQ(before, CheckedNames());
  ASSERT_ACE(Exec("INSERT INTO kinder (NAME, NR) VALUES ('Neu', 11)"));
  std::vector<std::string> expected = before;
  expected.push_back("Neu");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, CheckedNames());
}

TEST_F(SqlIndexWriteTest, AnIoFailureAtAnyWriteOfAStatementIsTakenBackInTheIndexesToo) {
  using ace::FaultInjector;
  using ace::IoKind;
  MakeKinder(12);
  CloseKinder();
  const std::vector<std::string> before = CheckedNames();
  const std::string update = "UPDATE kinder SET NAME = 'X' || NAME, NR = NR + 100 WHERE NR > 6";
  const std::string insert = "INSERT INTO kinder (NAME, NR) VALUES ('A', 1), ('Z', 2)";
  for (const std::string& q : {update, insert}) {
    // Counted on the real table, then taken back by hand: the statement's writes, indexes
    // included, and the index rollback's.
    FaultInjector::Reset();
    ASSERT_ACE(Exec(q));
    const uint64_t writes = FaultInjector::Count(IoKind::kWrite);
    FaultInjector::Reset();
    ASSERT_GT(writes, 4u);
    if (q == update) {
      ASSERT_ACE(Exec("UPDATE kinder SET NAME = SUBSTR(NAME, 2), NR = NR - 100 WHERE NR > 100"));
    } else {
      ASSERT_ACE(Exec("DELETE FROM kinder WHERE NAME IN ('A', 'Z')"));
    }
    ASSERT_EQ(before, CheckedNames());
    for (uint64_t k = 1; k <= writes; ++k) {
      FaultInjector::Reset();
      FaultInjector::FailAt(IoKind::kWrite, k, 5013);
      UNSIGNED32 rc = Exec(q);
      FaultInjector::Reset();
      EXPECT_EQ(7200u, rc) << q << ", write " << k;
      EXPECT_EQ(before, CheckedNames()) << q << ", write " << k;
    }
  }
}

}  // namespace
