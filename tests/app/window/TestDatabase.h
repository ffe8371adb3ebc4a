// A database for the window tests: a temporary folder with an alias file (adsini_path points
// at it while the test runs) and, in a data folder, the table Kinder made through the engine's
// SQL. The environment is restored afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/include/ace.h"

namespace app_test {

namespace fs = std::filesystem;

inline const UNSIGNED8* U8(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

// The engine's last error text, for failure messages.
inline std::string LastEngineError() {
  UNSIGNED32 code = 0;
  UNSIGNED8 text[ADS_MAX_ERROR_LEN + 1] = {};
  UNSIGNED16 len = sizeof text;
  AdsGetLastError(&code, text, &len);
  return std::to_string(code) + " " + reinterpret_cast<const char*>(text);
}

// Runs SQL on the folder through a connection of its own.
inline void RunSql(const std::string& folder, const std::string& sql) {
  ADSHANDLE conn = 0, stmt = 0, cursor = 0;
  ASSERT_EQ(AdsConnect60(U8(folder), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn), 0u)
      << LastEngineError();
  ASSERT_EQ(AdsCreateSQLStatement(conn, &stmt), 0u) << LastEngineError();
  ASSERT_EQ(AdsExecuteSQLDirect(stmt, U8(sql), &cursor), 0u) << LastEngineError();
  if (cursor) AdsCloseTable(cursor);
  AdsDisconnect(conn);
}

// The field names of a table, in order, and its record count, read from its file.
struct TableShape {
  std::vector<std::string> fields;
  uint32_t records = 0;
};

inline TableShape ReadShape(const std::string& folder, const std::string& table) {
  TableShape shape;
  ADSHANDLE conn = 0, tbl = 0;
  EXPECT_EQ(AdsConnect60(U8(folder), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn), 0u);
  EXPECT_EQ(AdsOpenTable90(conn, U8(table), nullptr, ADS_ADT, 1, 1, 1, 0, U8(""), &tbl), 0u)
      << LastEngineError();
  UNSIGNED16 count = 0;
  AdsGetNumFields(tbl, &count);
  for (UNSIGNED16 n = 1; n <= count; ++n) {
    UNSIGNED8 name[130] = {};
    UNSIGNED16 len = sizeof name;
    AdsGetFieldName(tbl, n, name, &len);
    shape.fields.emplace_back(reinterpret_cast<const char*>(name));
  }
  AdsGetRecordCount(tbl, ADS_IGNOREFILTERS, &shape.records);
  AdsCloseTable(tbl);
  AdsDisconnect(conn);
  return shape;
}

class TestDatabase {
 public:
  TestDatabase() {
    root_ = fs::temp_directory_path() /
            ("vaskoli_app_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "data");
    const char* old = std::getenv("adsini_path");
    had_old_ = old != nullptr;
    if (had_old_) old_ = old;
    setenv("adsini_path", root_.c_str(), 1);
    WriteAlias("Vaskoli_AB=" + Data() + ";A");
  }
  ~TestDatabase() {
    if (had_old_) {
      setenv("adsini_path", old_.c_str(), 1);
    } else {
      unsetenv("adsini_path");
    }
    fs::remove_all(root_);
  }

  std::string Data() const { return (root_ / "data").string(); }
  // Replaces the [Databases] section's entries.
  void WriteAlias(const std::string& lines) {
    std::ofstream(root_ / "ads.ini", std::ios::binary) << "[Databases]\r\n" << lines << "\r\n";
  }
  // Kinder as the application before version 1.1 has it, with three children.
  void MakeKinder() {
    RunSql(Data(),
           "CREATE TABLE Kinder (Kind_ID integer, Vorname char(20), Geburtsdatum date);"
           "INSERT INTO Kinder VALUES (1, 'Anna', '2020-05-01');"
           "INSERT INTO Kinder VALUES (2, 'J\xFCrgen', '2021-02-03');"
           "INSERT INTO Kinder VALUES (3, 'Mia', NULL);");
  }
  TableShape Kinder() const { return ReadShape(Data(), "Kinder"); }

 private:
  fs::path root_;
  bool had_old_ = false;
  std::string old_;
};

}  // namespace app_test
