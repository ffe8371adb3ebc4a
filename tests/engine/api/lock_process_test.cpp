// A record lock held by another process, on every table format and in both lock schemes: the
// edit of that record is refused with 5035 and leaves the stored record as it was, other
// records can still be written, and once the holding process is gone (here: killed, as by a
// crash) the lock is free and the edit goes through.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <tuple>

#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

class ProcessLockTest : public ApiTest,
                        public ::testing::WithParamInterface<std::tuple<UNSIGNED16, UNSIGNED16>> {
 protected:
  UNSIGNED16 type() const { return std::get<0>(GetParam()); }
  UNSIGNED16 scheme() const { return std::get<1>(GetParam()); }

  void SetUp() override {
    ApiTest::SetUp();
    ADSHANDLE t = Create("konto", type(), "N,Numeric,6,0;");
    for (int i = 1; i <= 3; ++i) {
      ASSERT_ACE(AdsAppendRecord(t));
      ASSERT_ACE(AdsSetLong(t, U("N"), i));
    }
    ASSERT_ACE(AdsCloseTable(t));
  }

  SIGNED32 StoredValue(UNSIGNED32 recno) {
    ADSHANDLE conn = 0, t = 0;
    EXPECT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn));
    EXPECT_ACE(Open("konto", type(), &t, ADS_READONLY, conn, scheme()));
    SIGNED32 v = -1;
    EXPECT_ACE(AdsGotoRecord(t, recno));
    EXPECT_ACE(AdsGetLong(t, U("N"), &v));
    AdsDisconnect(conn);
    return v;
  }
};

TEST_P(ProcessLockTest, ARecordLockedByAnotherProcessRefusesTheEditUntilThatProcessIsGone) {
  int ready[2];
  int never[2];
  ASSERT_EQ(0, pipe(ready));
  ASSERT_EQ(0, pipe(never));
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    ADSHANDLE conn = 0, t = 0;
    char c = 'F';
    if (AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn) == 0 &&
        AdsOpenTable90(conn, U("konto"), nullptr, type(), ADS_ANSI, scheme(), ADS_CHECK_RIGHTS, 0,
                       nullptr, &t) == 0 &&
        AdsLockRecord(t, 2) == 0)
      c = 'L';
    (void)!write(ready[1], &c, 1);
    (void)!read(never[0], &c, 1);  // waits until it is killed
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(1, read(ready[0], &c, 1));
  ASSERT_EQ('L', c);

  ADSHANDLE t = 0;
  ASSERT_ACE(Open("konto", type(), &t, 0, 0, scheme()));
  ASSERT_ACE(AdsGotoRecord(t, 2));
  ASSERT_ACE(AdsSetLong(t, U("N"), 20));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_LOCK_REFUSED), AdsWriteRecord(t));
  EXPECT_NE(std::string::npos, LastErrorText().find("record 2")) << LastErrorText();
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_LOCK_REFUSED), AdsLockRecord(t, 2));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_LOCK_REFUSED), AdsLockTable(t));
  EXPECT_EQ(2, StoredValue(2));
  ASSERT_ACE(AdsCancelUpdate(t));
  // Other records are free.
  ASSERT_ACE(AdsGotoRecord(t, 3));
  ASSERT_ACE(AdsSetLong(t, U("N"), 30));
  ASSERT_ACE(AdsWriteRecord(t));
  EXPECT_EQ(30, StoredValue(3));

  ASSERT_EQ(0, kill(pid, SIGKILL));
  int status = 0;
  ASSERT_EQ(pid, waitpid(pid, &status, 0));
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_ACE(AdsGotoRecord(t, 2));
  ASSERT_ACE(AdsSetLong(t, U("N"), 20));
  ASSERT_ACE(AdsWriteRecord(t));
  EXPECT_EQ(20, StoredValue(2));
  ASSERT_ACE(AdsLockRecord(t, 2));
  ASSERT_ACE(AdsUnlockRecord(t, 2));
  ASSERT_ACE(AdsLockTable(t));
  ASSERT_ACE(AdsCloseTable(t));
  for (int fd : {ready[0], ready[1], never[0], never[1]}) close(fd);
}

INSTANTIATE_TEST_SUITE_P(FormatsAndSchemes, ProcessLockTest,
                         ::testing::Combine(::testing::Values(ADS_ADT, ADS_NTX, ADS_CDX, ADS_VFP),
                                            ::testing::Values(ADS_PROPRIETARY_LOCKING,
                                                              ADS_COMPATIBLE_LOCKING)));

}  // namespace
}  // namespace ace_api_test
