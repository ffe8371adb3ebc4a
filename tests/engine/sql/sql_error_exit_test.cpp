// An SQL statement error raised while the process ends (from an exit handler or a static
// destructor of another module) still gets its full text: the table of native SQL errors is
// never destroyed. The check runs in a fresh process of this test program, in which the first
// SQL error comes after the exit handler was registered, so that the table would be destroyed
// before the handler runs if it were an ordinary static object.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/include/ace.h"

namespace {

constexpr const char* kChildVariable = "ACE_TEST_SQL_ERROR_AT_EXIT";
constexpr const char* kExpected = "State = 42000; NativeError = 2180;";

// Runs a statement that SQL refuses on a new connection to dir; answers the error text.
std::string ErrorOfABadStatement(const char* dir) {
  ADSHANDLE conn = 0, stmt = 0, cursor = 0;
  if (AdsConnect60(reinterpret_cast<const UNSIGNED8*>(dir), ADS_LOCAL_SERVER, nullptr, nullptr, 0,
                   &conn) != 0)
    return "<no connection>";
  std::string text = "<no error>";
  if (AdsCreateSQLStatement(conn, &stmt) == 0 &&
      AdsExecuteSQLDirect(stmt, reinterpret_cast<const UNSIGNED8*>("SELEC 1"), &cursor) ==
          AE_SQL_ERROR) {
    UNSIGNED32 code = 0;
    UNSIGNED8 buf[ADS_MAX_ERROR_LEN];
    UNSIGNED16 len = sizeof buf;
    AdsGetLastError(&code, buf, &len);
    text.assign(reinterpret_cast<char*>(buf), len);
  }
  AdsDisconnect(conn);
  return text;
}

void RaiseAtExit() {
  const std::string text = ErrorOfABadStatement(std::getenv(kChildVariable));
  std::printf("at exit: %s\n", text.c_str());
  std::fflush(stdout);
  if (text.find(kExpected) == std::string::npos) _exit(3);
}

// The child's part: only in the process the test below starts.
TEST(SqlErrorAtExit, ChildRaisesAStatementErrorFromAnExitHandler) {
  const char* dir = std::getenv(kChildVariable);
  if (dir == nullptr) GTEST_SKIP() << "runs only in the process the parent test starts";
  // The engine is up before the handler is registered; the SQL error table is not yet built.
  ADSHANDLE conn = 0, stmt = 0, cursor = 0;
  ASSERT_EQ(0u, AdsConnect60(reinterpret_cast<const UNSIGNED8*>(dir), ADS_LOCAL_SERVER, nullptr,
                             nullptr, 0, &conn));
  ASSERT_EQ(0u, AdsCreateSQLStatement(conn, &stmt));
  ASSERT_EQ(0u, AdsExecuteSQLDirect(stmt, reinterpret_cast<const UNSIGNED8*>("SELECT 1"), &cursor));
  ASSERT_EQ(0u, AdsDisconnect(conn));
  ASSERT_EQ(0, std::atexit(RaiseAtExit));
  EXPECT_NE(std::string::npos, ErrorOfABadStatement(dir).find(kExpected));
}

TEST(SqlErrorAtExit, AStatementErrorRaisedWhileTheProcessEndsKeepsItsText) {
  char tmpl[] = "/tmp/ace_sql_exit_XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(tmpl));
  const std::string command = std::string(kChildVariable) + "=" + tmpl + " /proc/" +
                              std::to_string(getpid()) +
                              "/exe --gtest_filter=SqlErrorAtExit.Child* 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(nullptr, pipe);
  std::string out;
  char buf[4096];
  size_t n = 0;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  const int status = pclose(pipe);
  std::filesystem::remove_all(tmpl);
  ASSERT_TRUE(WIFEXITED(status)) << out;
  EXPECT_EQ(0, WEXITSTATUS(status)) << out;
  EXPECT_NE(std::string::npos,
            out.find(std::string("at exit: Error 7200: SQL error: ") + kExpected))
      << out;
  EXPECT_NE(std::string::npos, out.find("[  PASSED  ] 1 test")) << out;
}

}  // namespace
