// Shared set-up of the SQL statement tests: the C API fixture (a temporary folder with a
// connection) plus a statement handle and helpers to run texts and read tables back.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/include/ace.h"
#include "tests/engine/api/api_fixture.h"

namespace ace_sql_test {

using ace_api_test::LastErrorText;
using ace_api_test::U;

inline std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

inline std::u16string Wide(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

class SqlTest : public ace_api_test::ApiTest {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    ASSERT_EQ(0u, AdsCreateSQLStatement(conn_, &stmt_)) << LastErrorText();
  }
  void TearDown() override {
    if (stmt_ != 0) AdsCloseSQLStatement(stmt_);
    ApiTest::TearDown();
  }

  // Prepares and executes text on the statement; answers the engine's result. A returned cursor
  // is kept in cursor_ (0 when none).
  UNSIGNED32 Exec(const std::string& text, ADSHANDLE stmt = 0) {
    cursor_ = 0;
    UNSIGNED32 rc = AdsPrepareSQL(stmt ? stmt : stmt_, U(text));
    if (rc != 0) return rc;
    return AdsExecuteSQL(stmt ? stmt : stmt_, &cursor_);
  }

  // The last error's text.
  static std::string ErrorText() {
    UNSIGNED32 code = 0;
    UNSIGNED8 buf[ADS_MAX_ERROR_LEN];
    UNSIGNED16 len = sizeof buf;
    AdsGetLastError(&code, buf, &len);
    return reinterpret_cast<char*>(buf);
  }

  // The names in the test folder.
  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_))
      names.insert(e.path().filename().string());
    return names;
  }

  std::vector<std::string> FieldNames(ADSHANDLE table) {
    std::vector<std::string> names;
    UNSIGNED16 n = 0;
    EXPECT_EQ(0u, AdsGetNumFields(table, &n));
    for (UNSIGNED16 i = 1; i <= n; ++i) {
      UNSIGNED8 buf[200];
      UNSIGNED16 len = sizeof buf;
      EXPECT_EQ(0u, AdsGetFieldName(table, i, buf, &len));
      names.emplace_back(reinterpret_cast<char*>(buf), len);
    }
    return names;
  }

  UNSIGNED32 RowCount(ADSHANDLE h, UNSIGNED32* rows) {
    return AdsGetRecordCount(h, ADS_IGNOREFILTERS, rows);
  }

  ADSHANDLE stmt_ = 0;
  ADSHANDLE cursor_ = 0;
};

}  // namespace ace_sql_test
