// Memo values written by SQL: UPDATE and INSERT go through the edit path of the cursors (new
// values in blocks of their own, the record's old run taken back once the statement is done),
// so repeated updates keep the memo file bounded, a failed statement leaves every memo as it
// was, and a process killed at any moment of an UPDATE leaves each memo whole, old or new.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

// Printable text of n bytes that differs by seed.
std::string Filler(size_t n, unsigned seed) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 11 + seed * 5) % 26);
  if (n > 0) s[0] = static_cast<char>('A' + seed % 26);
  return s;
}

class MemoSqlTest : public ApiTest, public ::testing::WithParamInterface<UNSIGNED16> {
 protected:
  UNSIGNED16 type() const { return GetParam(); }
  std::string MemoPath(const std::string& dir) const {
    const char* ext = type() == ADS_ADT ? ".adm" : type() == ADS_NTX ? ".dbt" : ".fpt";
    return dir + "/notes" + ext;
  }

  // notes(ID, A memo) with one record per value.
  void MakeTable(const std::vector<std::string>& values) {
    ADSHANDLE t = Create("notes", type(), "ID,Numeric,8,0;A,Memo;");
    for (size_t i = 0; i < values.size(); ++i) {
      ASSERT_ACE(AdsAppendRecord(t));
      ASSERT_ACE(AdsSetLong(t, U("ID"), static_cast<SIGNED32>(i + 1)));
      ASSERT_ACE(AdsSetString(t, U("A"), U(values[i]), static_cast<UNSIGNED32>(values[i].size())));
      ASSERT_ACE(AdsWriteRecord(t));
    }
    ASSERT_ACE(AdsCloseTable(t));
  }

  // Runs one SQL text on a connection to dir (the tables of the test's type).
  static UNSIGNED32 RunSql(const std::string& dir, UNSIGNED16 type, const std::string& sql) {
    ADSHANDLE conn = 0, stmt = 0, cursor = 0;
    UNSIGNED32 rc = AdsConnect60(U(dir), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn);
    if (rc == 0) rc = AdsCreateSQLStatement(conn, &stmt);
    if (rc == 0) rc = AdsStmtSetTableType(stmt, type);
    if (rc == 0) rc = AdsExecuteSQLDirect(stmt, U(sql), &cursor);
    if (stmt != 0) AdsCloseSQLStatement(stmt);
    if (conn != 0) AdsDisconnect(conn);
    return rc;
  }

  // The memo values of the records, in record order.
  std::vector<std::string> Values(const std::string& dir) {
    std::vector<std::string> out;
    ADSHANDLE conn = 0, t = 0;
    EXPECT_ACE(AdsConnect60(U(dir), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn));
    EXPECT_ACE(AdsOpenTable90(conn, U("notes"), nullptr, type(), ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                              ADS_CHECK_RIGHTS, 0, nullptr, &t));
    if (t == 0) return out;
    UNSIGNED32 count = 0;
    EXPECT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
    for (UNSIGNED32 r = 1; r <= count; ++r) {
      EXPECT_ACE(AdsGotoRecord(t, r));
      UNSIGNED32 len = 0;
      EXPECT_ACE(AdsGetMemoLength(t, U("A"), &len));
      std::vector<UNSIGNED8> buf(len + 1);
      UNSIGNED32 got = static_cast<UNSIGNED32>(buf.size());
      if (AdsGetString(t, U("A"), buf.data(), &got, ADS_NONE) != 0) {
        out.push_back("<unreadable: " + LastErrorText() + ">");
        continue;
      }
      out.emplace_back(reinterpret_cast<char*>(buf.data()), got);
    }
    AdsCloseTable(t);
    AdsDisconnect(conn);
    return out;
  }

  // Copies the files of folder from into a fresh folder to.
  static void CopyFolder(const std::string& from, const std::string& to) {
    std::filesystem::remove_all(to);
    std::filesystem::create_directory(to);
    for (const auto& e : std::filesystem::directory_iterator(from)) {
      if (e.is_regular_file())
        std::filesystem::copy_file(e.path(), std::filesystem::path(to) / e.path().filename());
    }
  }

  static std::string Update(const std::vector<std::string>& values) {
    std::string sql = "UPDATE notes SET A = CASE ID";
    for (size_t i = 0; i < values.size(); ++i)
      sql += " WHEN " + std::to_string(i + 1) + " THEN '" + values[i] + "'";
    return sql + " END";
  }
};

TEST_P(MemoSqlTest, RepeatedUpdatesKeepTheMemoFileBounded) {
  MakeTable({Filler(3000, 1), Filler(200, 2), Filler(2000, 3)});
  const uint64_t initial = std::filesystem::file_size(MemoPath(dir_));
  std::vector<std::string> now;
  for (int round = 0; round < 30; ++round) {
    // Shorter and longer in turn, never longer than the first values.
    now = {Filler(round % 2 ? 2990 - round : 10 + round, 10 + round),
           Filler(round % 2 ? 20 : 190, 40 + round), Filler(round % 2 ? 5 : 1990, 70 + round)};
    ASSERT_ACE(RunSql(dir_, type(), Update(now)));
    // ADT: the values waiting for their statement's end may need room of their own.
    const uint64_t slack = type() == ADS_ADT ? initial : 0;
    EXPECT_LE(std::filesystem::file_size(MemoPath(dir_)), initial + slack) << "round " << round;
  }
  EXPECT_EQ(now, Values(dir_));
}

// The n-th write of the UPDATE fails, for every n: a statement that answers an error leaves
// every memo as it was, one that succeeds (the failure came after its end) holds the new ones.
TEST_P(MemoSqlTest, AFailedUpdateLeavesEveryMemoAsItWas) {
  const std::vector<std::string> before = {Filler(900, 1), Filler(80, 2), Filler(2000, 3)};
  const std::vector<std::string> after = {Filler(50, 4), Filler(3000, 5), Filler(1990, 6)};
  MakeTable(before);
  const std::string prepared = Path("prepared");
  CopyFolder(dir_, prepared);
  const std::string work = Path("work");
  CopyFolder(prepared, work);
  ace::FaultInjector::Reset();
  ASSERT_ACE(RunSql(work, type(), Update(after)));
  const uint64_t writes = ace::FaultInjector::Count(ace::IoKind::kWrite);
  ace::FaultInjector::Reset();
  ASSERT_GT(writes, 5u);
  int failed = 0;
  for (uint64_t n = 1; n <= writes; ++n) {
    CopyFolder(prepared, work);
    ace::FaultInjector::FailAt(ace::IoKind::kWrite, n, ace::kErrIo);
    const UNSIGNED32 rc = RunSql(work, type(), Update(after));
    ace::FaultInjector::Reset();
    if (rc != 0) ++failed;
    EXPECT_EQ(rc == 0 ? after : before, Values(work)) << "write " << n << " failed, answer " << rc;
  }
  EXPECT_GT(failed, 0);
}

// A child process runs the UPDATE and is killed before its n-th changing file operation, for
// every n; afterwards every record's memo is whole: its old value or its new one.
TEST_P(MemoSqlTest, AKilledUpdateNeverTearsAMemo) {
  const std::vector<std::string> before = {Filler(3000, 1), Filler(300, 2), Filler(1500, 3)};
  const std::vector<std::string> after = {Filler(40, 4), Filler(2500, 5), Filler(1400, 6)};
  MakeTable(before);
  const std::string prepared = Path("prepared");
  CopyFolder(dir_, prepared);
  const std::string work = Path("work");
  CopyFolder(prepared, work);
  ace::FaultInjector::Reset();
  ASSERT_ACE(RunSql(work, type(), Update(after)));
  const uint64_t changes = ace::FaultInjector::ChangeCount();
  ace::FaultInjector::Reset();
  ASSERT_EQ(after, Values(work));
  ASSERT_GT(changes, 5u);
  const UNSIGNED16 table_type = type();
  const std::string sql = Update(after);
  for (uint64_t n = 1; n <= changes; ++n) {
    CopyFolder(prepared, work);
    const int rc = InChild([&] {
      ace::FaultInjector::KillAt(n);
      return RunSql(work, table_type, sql) == 0 ? 0 : 1;
    });
    EXPECT_EQ(100, rc) << "the kill before change " << n << " did not end the update";
    const std::vector<std::string> got = Values(work);
    ASSERT_EQ(before.size(), got.size()) << "kill point " << n;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_TRUE(got[i] == before[i] || got[i] == after[i])
          << "kill point " << n << ": record " << i + 1 << " holds " << got[i].size()
          << " bytes starting " << got[i].substr(0, 20);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, MemoSqlTest,
                         ::testing::Values(ADS_ADT, ADS_NTX, ADS_CDX, ADS_VFP));

}  // namespace
}  // namespace ace_api_test
