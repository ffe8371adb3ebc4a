// Opening modes that must work together (exclusive and read-only, exclusive against shared
// users of other processes) and errors reported while the process ends.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/reliability/common/reliability_util.h"

namespace reliability {
namespace {

UNSIGNED32 Open(ADSHANDLE conn, UNSIGNED32 options, ADSHANDLE* table) {
  return AdsOpenTable90(conn, U("Kinder"), nullptr, ADS_CDX, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                        ADS_IGNORE_RIGHTS, options, nullptr, table);
}

class OpenModes : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateKinder(dir_.path(), TableType::kCdx, 20);
    ASSERT_EQ(0u, AdsConnect60(U(dir_.path()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn_));
  }
  void TearDown() override { AdsDisconnect(conn_); }

  // In another process: opens the table with options and answers the engine's result.
  int OpenElsewhere(UNSIGNED32 options) {
    ChildResult r = RunInChild([&] {
      ADSHANDLE c = 0, t = 0;
      if (AdsConnect60(U(dir_.path()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &c) != 0) return 99;
      UNSIGNED32 rc = Open(c, options, &t);
      return rc == 0 ? 0 : rc == AE_TABLE_IN_USE ? 32 : 98;
    });
    return r.exit_code;
  }

  TempDir dir_;
  ADSHANDLE conn_ = 0;
};

TEST_F(OpenModes, ExclusiveAndReadOnlyTogetherOpenAndKeepOthersOut) {
  ADSHANDLE t = 0;
  ASSERT_EQ(0u, Open(conn_, ADS_EXCLUSIVE | ADS_READONLY, &t)) << LastError();
  UNSIGNED32 options = 0;
  ASSERT_EQ(0u, AdsGetTableOpenOptions(t, &options));
  EXPECT_EQ(static_cast<UNSIGNED32>(ADS_EXCLUSIVE | ADS_READONLY), options);
  UNSIGNED32 count = 0;
  EXPECT_EQ(0u, AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(20u, count);
  EXPECT_EQ(32, OpenElsewhere(ADS_SHARED));
  EXPECT_EQ(32, OpenElsewhere(ADS_READONLY));
  EXPECT_EQ(32, OpenElsewhere(ADS_EXCLUSIVE));
  ASSERT_EQ(0u, AdsCloseTable(t));
  EXPECT_EQ(0, OpenElsewhere(ADS_EXCLUSIVE | ADS_READONLY));
}

TEST_F(OpenModes, ReadOnlyExclusiveIsRefusedWhileAnotherProcessReads) {
  int ready[2], done[2];
  ASSERT_EQ(0, pipe(ready));
  ASSERT_EQ(0, pipe(done));
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    ADSHANDLE c = 0, t = 0;
    int ok = AdsConnect60(U(dir_.path()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &c) == 0 &&
             Open(c, ADS_READONLY, &t) == 0;
    char b = ok ? '1' : '0';
    (void)!write(ready[1], &b, 1);
    (void)!read(done[0], &b, 1);
    _exit(0);
  }
  char b = 0;
  ASSERT_EQ(1, read(ready[0], &b, 1));
  ASSERT_EQ('1', b);
  ADSHANDLE t = 0;
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_TABLE_IN_USE),
            Open(conn_, ADS_EXCLUSIVE | ADS_READONLY, &t));
  EXPECT_NE(std::string::npos, LastError().find("cannot be opened exclusively")) << LastError();
  // A refused exclusive open leaves no lock behind: a shared open still works.
  EXPECT_EQ(0u, Open(conn_, ADS_SHARED, &t)) << LastError();
  (void)!write(done[1], "x", 1);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(0u, AdsCloseTable(t));
  ASSERT_EQ(0u, Open(conn_, ADS_EXCLUSIVE | ADS_READONLY, &t)) << LastError();
  EXPECT_EQ(0u, AdsCloseTable(t));
}

TEST_F(OpenModes, ASharedUserCanBecomeExclusiveOnlyWhenAlone) {
  ADSHANDLE a = 0, b = 0;
  ASSERT_EQ(0u, Open(conn_, ADS_SHARED, &a)) << LastError();
  ASSERT_EQ(0u, Open(conn_, ADS_EXCLUSIVE, &b)) << LastError();  // same user: allowed
  EXPECT_EQ(32, OpenElsewhere(ADS_SHARED));
  AdsCloseTable(b);
  AdsCloseTable(a);
  EXPECT_EQ(0, OpenElsewhere(ADS_SHARED));
}

// The child of this test is this test binary itself, started again with one test selected: a
// static object made before the engine's first error disconnects a stale handle while the
// process ends, as the component layer's list of implicit connections does.
struct LateDisconnect {
  ~LateDisconnect() {
    UNSIGNED32 rc = AdsDisconnect(4242);
    UNSIGNED32 code = 0;
    UNSIGNED8 text[ADS_MAX_ERROR_LEN];
    UNSIGNED16 len = sizeof text;
    AdsGetLastError(&code, text, &len);
    std::printf("late: %u %u %s\n", rc, code, reinterpret_cast<char*>(text));
    std::fflush(stdout);
  }
};

TEST(ProcessEnd, ChildBody) {
  if (std::getenv("RELIABILITY_LATE_DISCONNECT") == nullptr)
    GTEST_SKIP() << "the child of AnErrorWhileTheProcessEndsIsReportedSafely";
  static LateDisconnect late;  // made before the error table is first used below
  UNSIGNED8 text[ADS_MAX_ERROR_LEN];
  UNSIGNED16 len = sizeof text;
  EXPECT_EQ(0u, AdsGetErrorString(AE_TABLE_IN_USE, text, &len));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INVALID_HANDLE), AdsCloseTable(777));
}

TEST(ProcessEnd, AnErrorWhileTheProcessEndsIsReportedSafely) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = '\0';
  int out[2];
  ASSERT_EQ(0, pipe(out));
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    setenv("RELIABILITY_LATE_DISCONNECT", "1", 1);
    execl(self, self, "--gtest_filter=ProcessEnd.ChildBody", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char buf[512];
  for (ssize_t got; (got = read(out[0], buf, sizeof buf)) > 0;) text.append(buf, buf + got);
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << text;
  EXPECT_EQ(0, WEXITSTATUS(status)) << text;
  // The disconnect of a stale handle answers 5024 with its full text, also at the very end.
  EXPECT_NE(std::string::npos, text.find("late: 5024 5024 Error 5024: ")) << text;
}

}  // namespace
}  // namespace reliability
