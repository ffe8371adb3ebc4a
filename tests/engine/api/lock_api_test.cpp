// Locks through the C API between two connections of this process and between two processes:
// record and table locks with the exact answers, implicit locks of writes, exclusive opens
// against shared ones, and both lock schemes.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

class LockTest : public ApiTest {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    ADSHANDLE t = Create("konto", ADS_ADT, "N,Integer;");
    for (int i = 1; i <= 3; ++i) {
      ASSERT_ACE(AdsAppendRecord(t));
      ASSERT_ACE(AdsSetLong(t, U("N"), i));
    }
    ASSERT_ACE(AdsCloseTable(t));
    ASSERT_ACE(AdsConnect(U(dir_), &other_));
    ASSERT_ACE(Open("konto", ADS_ADT, &mine_));
    ASSERT_ACE(Open("konto", ADS_ADT, &theirs_, 0, other_));
  }
  void TearDown() override {
    if (other_ != 0) AdsDisconnect(other_);
    ApiTest::TearDown();
  }

  ADSHANDLE other_ = 0;
  ADSHANDLE mine_ = 0;
  ADSHANDLE theirs_ = 0;
};

TEST_F(LockTest, RecordLocksBetweenConnections) {
  ASSERT_ACE(AdsLockRecord(mine_, 2));
  ASSERT_ACE(AdsLockRecord(mine_, 2));  // again: still held
  EXPECT_EQ(AE_LOCK_REFUSED, AdsLockRecord(theirs_, 2));
  EXPECT_NE(std::string::npos, LastErrorText().find("record 2"));
  EXPECT_ACE(AdsLockRecord(theirs_, 3));
  UNSIGNED16 locked = 9;
  ASSERT_ACE(AdsIsRecordLocked(mine_, 2, &locked));
  EXPECT_EQ(1, locked);
  ASSERT_ACE(AdsIsRecordLocked(theirs_, 2, &locked));
  EXPECT_EQ(0, locked);  // locked, but not by this user
  // The table lock waits for no one: refused while another user holds a record lock.
  EXPECT_EQ(AE_LOCK_REFUSED, AdsLockTable(mine_));
  EXPECT_EQ(AE_RECORD_NOT_LOCKED, AdsUnlockRecord(theirs_, 2));
  EXPECT_ACE(AdsUnlockRecord(theirs_, 3));
  EXPECT_EQ(AE_RECORD_NOT_LOCKED, AdsUnlockRecord(theirs_, 3));
  // Now only this user's own record lock remains, which does not stand in the way.
  ASSERT_ACE(AdsLockTable(mine_));
  EXPECT_EQ(AE_LOCK_REFUSED, AdsLockRecord(theirs_, 1));
  EXPECT_EQ(AE_LOCK_REFUSED, AdsLockTable(theirs_));
  ASSERT_ACE(AdsIsTableLocked(mine_, &locked));
  EXPECT_EQ(1, locked);
  ASSERT_ACE(AdsUnlockTable(mine_));
  EXPECT_EQ(AE_TABLE_NOT_LOCKED, AdsUnlockTable(mine_));
  // Record 2 is still locked after the table lock went.
  EXPECT_EQ(AE_LOCK_REFUSED, AdsLockRecord(theirs_, 2));
  EXPECT_EQ(AE_LOCK_REFUSED, AdsLockTable(theirs_));
  EXPECT_ACE(AdsLockRecord(theirs_, 1));

  ASSERT_ACE(AdsLockRecord(mine_, 3));
  UNSIGNED16 count = 0;
  ASSERT_ACE(AdsGetNumLocks(mine_, &count));
  EXPECT_EQ(2, count);
  UNSIGNED32 locks[4] = {};
  UNSIGNED16 n = 1;
  EXPECT_EQ(AE_INSUFFICIENT_BUFFER, AdsGetAllLocks(mine_, locks, &n));
  EXPECT_EQ(2, n);
  EXPECT_EQ(0u, locks[1]);
  n = 4;
  ASSERT_ACE(AdsGetAllLocks(mine_, locks, &n));
  ASSERT_EQ(2, n);
  EXPECT_EQ(2u, locks[0]);
  EXPECT_EQ(3u, locks[1]);
  // Closing the table releases its locks.
  ASSERT_ACE(AdsCloseTable(mine_));
  EXPECT_ACE(AdsLockRecord(theirs_, 2));
}

TEST_F(LockTest, WritesLockImplicitlyAndAreRefusedOnRecordsOfOthers) {
  ASSERT_ACE(AdsLockRecord(theirs_, 1));
  ASSERT_ACE(AdsGotoRecord(mine_, 1));
  ASSERT_ACE(AdsSetLong(mine_, U("N"), 100));
  EXPECT_EQ(AE_LOCK_REFUSED, AdsWriteRecord(mine_));
  ASSERT_ACE(AdsCancelUpdate(mine_));
  ASSERT_ACE(AdsUnlockRecord(theirs_, 1));
  ASSERT_ACE(AdsSetLong(mine_, U("N"), 100));
  ASSERT_ACE(AdsWriteRecord(mine_));
  // The implicit lock was for the write only.
  UNSIGNED16 n = 9;
  ASSERT_ACE(AdsGetNumLocks(mine_, &n));
  EXPECT_EQ(0, n);
  ASSERT_ACE(AdsLockRecord(theirs_, 1));  // the lock re-reads the record
  SIGNED32 v = 0;
  ASSERT_ACE(AdsGotoRecord(theirs_, 1));
  ASSERT_ACE(AdsGetLong(theirs_, U("N"), &v));
  EXPECT_EQ(100, v);
  // Appends by two users get two records.
  ASSERT_ACE(AdsAppendRecord(mine_));
  ASSERT_ACE(AdsAppendRecord(theirs_));
  ASSERT_ACE(AdsWriteRecord(mine_));
  ASSERT_ACE(AdsWriteRecord(theirs_));
  UNSIGNED32 a = 0;
  UNSIGNED32 b = 0;
  ASSERT_ACE(AdsGetRecordNum(mine_, ADS_IGNOREFILTERS, &a));
  ASSERT_ACE(AdsGetRecordNum(theirs_, ADS_IGNOREFILTERS, &b));
  EXPECT_EQ(4u, a);
  EXPECT_EQ(5u, b);
  UNSIGNED32 count = 0;
  ASSERT_ACE(AdsGetRecordCount(mine_, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(5u, count);
}

TEST_F(LockTest, ExclusiveOpensAgainstSharedOnes) {
  ADSHANDLE ex = 0;
  EXPECT_EQ(AE_TABLE_IN_USE, Open("konto", ADS_ADT, &ex, ADS_EXCLUSIVE, other_));
  ASSERT_ACE(AdsCloseTable(theirs_));
  // This connection still has the table open: another user cannot have it exclusively.
  EXPECT_EQ(AE_TABLE_IN_USE, Open("konto", ADS_ADT, &ex, ADS_EXCLUSIVE, other_));
  ASSERT_ACE(AdsCloseTable(mine_));
  ASSERT_ACE(Open("konto", ADS_ADT, &ex, ADS_EXCLUSIVE, other_));
  UNSIGNED32 options = 0;
  ASSERT_ACE(AdsGetTableOpenOptions(ex, &options));
  EXPECT_EQ(static_cast<UNSIGNED32>(ADS_EXCLUSIVE | ADS_UPDATE_ALLOWED | ADS_INSERT_ALLOWED),
            options);
  ADSHANDLE shared = 0;
  EXPECT_EQ(AE_TABLE_IN_USE, Open("konto", ADS_ADT, &shared));
  EXPECT_EQ(0u, shared);
  // Locks on an exclusive table always succeed; zap and pack need it.
  EXPECT_ACE(AdsLockRecord(ex, 1));
  EXPECT_ACE(AdsLockTable(ex));
  ASSERT_ACE(AdsCloseTable(ex));
  ASSERT_ACE(Open("konto", ADS_ADT, &shared));
  EXPECT_EQ(AE_EXCLUSIVE_REQUIRED, AdsPackTable(shared));
  EXPECT_EQ(AE_EXCLUSIVE_REQUIRED, AdsZapTable(shared));
  ADSHANDLE ro = 0;
  ASSERT_ACE(Open("konto", ADS_ADT, &ro, ADS_READONLY, other_));
  ASSERT_ACE(AdsGetTableOpenOptions(ro, &options));
  EXPECT_EQ(static_cast<UNSIGNED32>(ADS_READONLY), options);
  EXPECT_EQ(AE_TABLE_READ_ONLY, AdsSetLong(ro, U("N"), 5));
  EXPECT_EQ(AE_TABLE_READ_ONLY, AdsAppendRecord(ro));
}

TEST_F(LockTest, CompatibleSchemeLocksToo) {
  ASSERT_ACE(AdsCloseTable(mine_));
  ASSERT_ACE(AdsCloseTable(theirs_));
  ADSHANDLE a = 0;
  ADSHANDLE b = 0;
  ASSERT_ACE(Open("konto", ADS_ADT, &a, 0, 0, ADS_COMPATIBLE_LOCKING));
  ASSERT_ACE(Open("konto", ADS_ADT, &b, 0, other_, ADS_COMPATIBLE_LOCKING));
  ASSERT_ACE(AdsLockRecord(a, 1));
  EXPECT_EQ(AE_LOCK_REFUSED, AdsLockRecord(b, 1));
  EXPECT_EQ(AE_LOCK_REFUSED, AdsLockTable(b));
  // A user of the other scheme does not see these record locks.
  ADSHANDLE c = 0;
  ASSERT_ACE(Open("konto", ADS_ADT, &c, 0, other_, ADS_PROPRIETARY_LOCKING));
  EXPECT_ACE(AdsLockRecord(c, 1));
}

// The child holds a lock until the parent tells it to let go; pipes order the two processes.
TEST_F(LockTest, LocksBetweenProcesses) {
  int to_child[2];
  int to_parent[2];
  ASSERT_EQ(0, pipe(to_child));
  ASSERT_EQ(0, pipe(to_parent));
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    ADSHANDLE conn = 0;
    ADSHANDLE t = 0;
    char c = 'F';
    if (AdsConnect(U(dir_), &conn) == 0 &&
        AdsOpenTable90(conn, U("konto"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                       ADS_CHECK_RIGHTS, 0, nullptr, &t) == 0 &&
        AdsLockRecord(t, 2) == 0)
      c = 'L';
    (void)!write(to_parent[1], &c, 1);
    (void)!read(to_child[0], &c, 1);
    // Second phase: the table lock, then exit without unlocking.
    c = AdsLockTable(t) == AE_LOCK_REFUSED ? 'R' : 'X';
    (void)!write(to_parent[1], &c, 1);
    (void)!read(to_child[0], &c, 1);
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(1, read(to_parent[0], &c, 1));
  ASSERT_EQ('L', c);
  EXPECT_EQ(AE_LOCK_REFUSED, AdsLockRecord(mine_, 2));
  EXPECT_ACE(AdsLockRecord(mine_, 3));
  ASSERT_ACE(AdsGotoRecord(mine_, 2));
  ASSERT_ACE(AdsSetLong(mine_, U("N"), 7));
  EXPECT_EQ(AE_LOCK_REFUSED, AdsWriteRecord(mine_));
  ASSERT_ACE(AdsCancelUpdate(mine_));
  // The child's table lock is refused while this process holds record 3.
  ASSERT_EQ(1, write(to_child[1], "g", 1));
  ASSERT_EQ(1, read(to_parent[0], &c, 1));
  EXPECT_EQ('R', c);
  ASSERT_EQ(1, write(to_child[1], "g", 1));
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  // The child's locks ended with it.
  EXPECT_ACE(AdsLockRecord(mine_, 2));
  EXPECT_ACE(AdsLockTable(mine_));
}

TEST_F(LockTest, ExclusiveOpenInAnotherProcess) {
  int rc = InChild([&] {
    ADSHANDLE conn = 0;
    ADSHANDLE t = 0;
    if (AdsConnect(U(dir_), &conn) != 0) return 2;
    UNSIGNED32 r =
        AdsOpenTable90(conn, U("konto"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                       ADS_CHECK_RIGHTS, ADS_EXCLUSIVE, nullptr, &t);
    return r == AE_TABLE_IN_USE ? 0 : 1;
  });
  EXPECT_EQ(0, rc);
  ASSERT_ACE(AdsDisconnect(other_));
  other_ = 0;
  ASSERT_ACE(AdsCloseTable(mine_));
  rc = InChild([&] {
    ADSHANDLE conn = 0;
    ADSHANDLE t = 0;
    if (AdsConnect(U(dir_), &conn) != 0) return 2;
    UNSIGNED32 r =
        AdsOpenTable90(conn, U("konto"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                       ADS_CHECK_RIGHTS, ADS_EXCLUSIVE, nullptr, &t);
    return r == 0 ? 0 : 1;
  });
  EXPECT_EQ(0, rc);
}

}  // namespace
}  // namespace ace_api_test
