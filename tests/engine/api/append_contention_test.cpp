// Appends under contention: two processes append thousands of records to one table at once,
// with no retries of their own; the engine waits briefly for the other user's append instead
// of refusing, so every append succeeds, none is lost and the count is exact. An append lock
// that stays taken is still refused with 5035 after that short wait.
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>

#include "engine/base/file.h"
#include "engine/cursor/table_locks.h"
#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

constexpr int kPerProcess = 2000;

class AppendContentionTest : public ApiTest, public ::testing::WithParamInterface<UNSIGNED16> {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    ADSHANDLE t = Create("journal", GetParam(), "ID,Numeric,10,0;NOTE,Memo;");
    ADSHANDLE ix = 0;
    ASSERT_ACE(AdsCreateIndex61(t, nullptr, U("BYID"), U("ID"), nullptr, nullptr, 0, 0, &ix));
    ASSERT_ACE(AdsCloseTable(t));
  }
  std::string TableFile() const {
    return Path(GetParam() == ADS_ADT ? "journal.adt" : "journal.dbf");
  }

  UNSIGNED32 CountSeenByAnotherUser() {
    ADSHANDLE conn = 0, t = 0;
    UNSIGNED32 count = 9999;
    EXPECT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn));
    EXPECT_ACE(Open("journal", GetParam(), &t, 0, conn));
    EXPECT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
    AdsDisconnect(conn);
    return count;
  }

  // Appends kPerProcess records numbered from base once both processes have the table open
  // (ready: written when open; go: read before the first append); answers 0, or the step that
  // failed.
  int AppendAll(int base, int ready, int go) {
    ADSHANDLE conn = 0, t = 0;
    if (AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn) != 0) return 1;
    if (Open("journal", GetParam(), &t, 0, conn) != 0) return 2;
    char c = 'r';
    if (write(ready, &c, 1) != 1 || read(go, &c, 1) != 1) return 8;
    for (int i = 0; i < kPerProcess; ++i) {
      if (AdsAppendRecord(t) != 0) return 3;
      if (AdsSetLong(t, U("ID"), base + i) != 0) return 4;
      if (i % 10 == 0) {
        const std::string note = "entry " + std::to_string(base + i);
        if (AdsSetString(t, U("NOTE"), U(note), static_cast<UNSIGNED32>(note.size())) != 0)
          return 5;
      }
      const UNSIGNED32 rc = AdsWriteRecord(t);
      if (rc != 0) {
        fprintf(stderr, "append %d: %s\n", i, LastErrorText().c_str());
        return 6;
      }
    }
    return AdsDisconnect(conn) == 0 ? 0 : 7;
  }
};

TEST_P(AppendContentionTest, TwoProcessesAppendingAtOnceLoseNothing) {
  int ready[2], go[2];
  ASSERT_EQ(0, pipe(ready));
  ASSERT_EQ(0, pipe(go));
  fflush(nullptr);
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    if (children[c] == 0) _exit(AppendAll(1000000 * (c + 1), ready[1], go[0]));
    ASSERT_GT(children[c], 0);
  }
  char c = 0;
  for (int i = 0; i < 2; ++i) ASSERT_EQ(1, read(ready[0], &c, 1));
  ASSERT_EQ(2, write(go[1], "gg", 2));
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status)) << "a process's append failed";
  }
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("journal", GetParam(), &t));
  UNSIGNED32 count = 0;
  ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(2u * kPerProcess, count);
  std::set<SIGNED32> ids;
  for (UNSIGNED32 r = 1; r <= count; ++r) {
    ASSERT_ACE(AdsGotoRecord(t, r));
    SIGNED32 id = 0;
    ASSERT_ACE(AdsGetLong(t, U("ID"), &id));
    EXPECT_TRUE(ids.insert(id).second) << "record " << r << " repeats " << id;
  }
  for (int c = 1; c <= 2; ++c) {
    EXPECT_EQ(1, ids.count(1000000 * c));
    EXPECT_EQ(1, ids.count(1000000 * c + kPerProcess - 1));
  }
  ADSHANDLE ix = 0;
  ASSERT_ACE(AdsGetIndexHandle(t, U("BYID"), &ix));
  UNSIGNED32 keys = 0;
  ASSERT_ACE(AdsGetKeyCount(ix, ADS_IGNOREFILTERS, &keys));
  EXPECT_EQ(2u * kPerProcess, keys);
  ASSERT_ACE(AdsCloseTable(t));
  for (int fd : {ready[0], ready[1], go[0], go[1]}) close(fd);
}

TEST_P(AppendContentionTest, AnAppendLockThatStaysTakenIsRefusedAfterAShortWait) {
  auto file = ace::File::Open(TableFile(), ace::OpenMode::kReadWrite);
  ASSERT_TRUE(file.ok()) << file.status().message();
  ace::cursor::TableLocks other(file.value().fd(), ace::cursor::LockScheme::kProprietary, "other");
  ASSERT_TRUE(other.AcquireOpen(false).ok());
  ASSERT_TRUE(other.LockAppend().ok());
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("journal", GetParam(), &t));
  ASSERT_ACE(AdsAppendRecord(t));
  ASSERT_ACE(AdsSetLong(t, U("ID"), 1));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_LOCK_REFUSED), AdsWriteRecord(t));
  EXPECT_NE(std::string::npos, LastErrorText().find("append")) << LastErrorText();
  EXPECT_EQ(0u, CountSeenByAnotherUser());
  other.UnlockAppend();
  ASSERT_ACE(AdsWriteRecord(t));  // the pending record is still there
  EXPECT_EQ(1u, CountSeenByAnotherUser());
  ASSERT_ACE(AdsCloseTable(t));
}

INSTANTIATE_TEST_SUITE_P(Formats, AppendContentionTest, ::testing::Values(ADS_ADT, ADS_CDX));

}  // namespace
}  // namespace ace_api_test
