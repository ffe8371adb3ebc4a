// Shared set-up of the C API tests: a fresh temporary folder per test, a connection on it and
// small helpers that keep the calls readable. Everything goes through ace.h.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "engine/include/ace.h"

namespace ace_api_test {

inline const UNSIGNED8* U(const char* s) {
  return reinterpret_cast<const UNSIGNED8*>(s);
}
inline const UNSIGNED8* U(const std::string& s) {
  return U(s.c_str());
}

// The text of this thread's last error (for failure messages).
inline std::string LastErrorText() {
  UNSIGNED32 code = 0;
  UNSIGNED8 buf[ADS_MAX_ERROR_LEN];
  UNSIGNED16 len = sizeof buf;
  AdsGetLastError(&code, buf, &len);
  return std::to_string(code) + " " + reinterpret_cast<char*>(buf);
}

#define ASSERT_ACE(call) ASSERT_EQ(0u, (call)) << ace_api_test::LastErrorText()
#define EXPECT_ACE(call) EXPECT_EQ(0u, (call)) << ace_api_test::LastErrorText()

// Runs fn in a child process and answers its exit code (fn's answer; 100 when it crashed).
inline int InChild(const std::function<int()>& fn) {
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) _exit(fn());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

class ApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ace_api_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir_ = tmpl;
    ASSERT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn_));
  }
  void TearDown() override {
    if (conn_ != 0) AdsDisconnect(conn_);
    AdsShowDeleted(0);
    std::filesystem::remove_all(dir_);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  ADSHANDLE Create(const std::string& name, UNSIGNED16 type, const std::string& fields,
                   ADSHANDLE conn = 0) {
    ADSHANDLE table = 0;
    UNSIGNED32 rc = AdsCreateTable90(conn ? conn : conn_, U(name), nullptr, type, ADS_ANSI,
                                     ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0, U(fields), 0,
                                     nullptr, &table);
    EXPECT_EQ(0u, rc) << LastErrorText();
    return table;
  }

  UNSIGNED32 Open(const std::string& name, UNSIGNED16 type, ADSHANDLE* table,
                  UNSIGNED32 options = 0, ADSHANDLE conn = 0,
                  UNSIGNED16 lock = ADS_PROPRIETARY_LOCKING) {
    return AdsOpenTable90(conn ? conn : conn_, U(name), nullptr, type, ADS_ANSI, lock,
                          ADS_CHECK_RIGHTS, options, nullptr, table);
  }

  // Appends a record with one integer-like field set from text.
  void AppendText(ADSHANDLE table, const char* field, const std::string& value) {
    ASSERT_ACE(AdsAppendRecord(table));
    ASSERT_ACE(AdsSetField(table, U(field), U(value), static_cast<UNSIGNED32>(value.size())));
    ASSERT_ACE(AdsWriteRecord(table));
  }

  std::string Text(ADSHANDLE table, const char* field, UNSIGNED16 trim = ADS_TRIM) {
    UNSIGNED8 buf[512];
    UNSIGNED32 len = sizeof buf;
    UNSIGNED32 rc = AdsGetField(table, U(field), buf, &len, trim);
    if (rc != 0) return "<error " + std::to_string(rc) + ">";
    return std::string(reinterpret_cast<char*>(buf), len);
  }

  std::string dir_;
  ADSHANDLE conn_ = 0;
};

}  // namespace ace_api_test
