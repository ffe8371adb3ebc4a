// Connections through the C API: the paths and server types that are refused, connection
// facts with short buffers, the table search, existence tests and what a disconnect releases.
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

using ConnectionApiTest = ApiTest;

TEST_F(ConnectionApiTest, RefusesMissingPathsServersAndDictionaries) {
  ADSHANDLE h = 77;
  EXPECT_EQ(AE_PATH_NOT_FOUND,
            AdsConnect60(U(dir_ + "/nowhere"), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &h));
  EXPECT_EQ(0u, h);
  EXPECT_NE(std::string::npos, LastErrorText().find("nowhere"));
  EXPECT_EQ(AE_SERVER_TYPE_UNAVAILABLE,
            AdsConnect60(U(dir_), ADS_REMOTE_SERVER, nullptr, nullptr, 0, &h));
  EXPECT_EQ(AE_SERVER_TYPE_UNAVAILABLE,
            AdsConnect60(U(dir_), ADS_REMOTE_SERVER | ADS_AIS_SERVER, nullptr, nullptr, 0, &h));
  // A data dictionary that does not exist (dictionaries themselves: tests/engine/dict).
  EXPECT_EQ(AE_FILE_NOT_FOUND,
            AdsConnect60(U(dir_ + "/data.add"), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &h));
  EXPECT_NE(std::string::npos, LastErrorText().find("dictionary"));
  EXPECT_EQ(AE_NULL_POINTER, AdsConnect60(nullptr, ADS_LOCAL_SERVER, nullptr, nullptr, 0, &h));
  EXPECT_EQ(AE_NULL_POINTER, AdsConnect(U(dir_), nullptr));
  // Server type 0 lets the engine choose; local with others or-ed in is local.
  ASSERT_ACE(AdsConnect60(U(dir_), 0, nullptr, nullptr, 0, &h));
  EXPECT_ACE(AdsDisconnect(h));
  ASSERT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER | ADS_REMOTE_SERVER, nullptr, nullptr, 0, &h));
  UNSIGNED16 type = 0;
  EXPECT_ACE(AdsGetConnectionType(h, &type));
  EXPECT_EQ(ADS_LOCAL_SERVER, type);
  EXPECT_ACE(AdsDisconnect(h));
}

TEST_F(ConnectionApiTest, PathAndPropertiesHonourBufferLengths) {
  ADSHANDLE h = 0;
  ASSERT_ACE(AdsConnect60(U(dir_ + "/"), ADS_LOCAL_SERVER, U("Adssys"), U("geheim"), 0, &h));
  UNSIGNED8 buf[300];
  std::memset(buf, 'x', sizeof buf);
  UNSIGNED16 len = 4;
  EXPECT_EQ(AE_INSUFFICIENT_BUFFER, AdsGetConnectionPath(h, buf, &len));
  EXPECT_EQ(dir_.size(), len);
  EXPECT_EQ('x', buf[0]);  // nothing written on a short buffer
  len = sizeof buf;
  ASSERT_ACE(AdsGetConnectionPath(h, buf, &len));
  EXPECT_EQ(dir_, std::string(reinterpret_cast<char*>(buf), len));  // the trailing '/' is dropped

  UNSIGNED32 plen = sizeof buf;
  ASSERT_ACE(AdsGetConnectionProperty(h, ADS_CONNECTIONPROP_USERNAME, buf, &plen));
  EXPECT_STREQ("Adssys", reinterpret_cast<char*>(buf));
  plen = sizeof buf;
  ASSERT_ACE(AdsGetConnectionProperty(h, ADS_CONNECTIONPROP_PASSWORD, buf, &plen));
  EXPECT_STREQ("geheim", reinterpret_cast<char*>(buf));
  plen = sizeof buf;
  EXPECT_EQ(AE_INVALID_ARGUMENT, AdsGetConnectionProperty(h, 99, buf, &plen));

  UNSIGNED16 alive = 0;
  EXPECT_ACE(AdsIsConnectionAlive(h, &alive));
  EXPECT_EQ(1, alive);
  EXPECT_EQ(AE_NULL_POINTER, AdsIsConnectionAlive(h, nullptr));

  UNSIGNED8 date[16];
  UNSIGNED8 time[16];
  UNSIGNED16 dlen = sizeof date;
  UNSIGNED16 tlen = sizeof time;
  SIGNED32 millis = -1;
  ASSERT_ACE(AdsGetServerTime(h, date, &dlen, &millis, time, &tlen));
  EXPECT_EQ(8, dlen);
  EXPECT_EQ(8, tlen);
  EXPECT_GE(millis, 0);
  EXPECT_LT(millis, 86400000);
  DOUBLE julian = 0;
  ASSERT_ACE(AdsConvertDateToJulian(h, date, dlen, &julian));
  EXPECT_GT(julian, 2451545);  // after 2000-01-01
  UNSIGNED8 back[16];
  UNSIGNED16 blen = sizeof back;
  ASSERT_ACE(AdsConvertJulianToString(julian, back, &blen));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(date), 8),
            std::string(reinterpret_cast<char*>(back), blen));
  EXPECT_ACE(AdsDisconnect(h));
}

TEST_F(ConnectionApiTest, FindTablesByMask) {
  for (const char* name : {"Kinder.adt", "Eltern.adt", "alt.dbf", "notes.txt"})
    std::ofstream(Path(name)) << "x";
  std::filesystem::create_directory(Path("sub.adt"));
  UNSIGNED8 buf[261];
  UNSIGNED16 len = sizeof buf;
  ADSHANDLE find = 0;
  ASSERT_ACE(AdsFindFirstTable(conn_, U("*.adt"), buf, &len, &find));
  std::vector<std::string> names{reinterpret_cast<char*>(buf)};
  while (true) {
    len = sizeof buf;
    UNSIGNED32 rc = AdsFindNextTable(conn_, find, buf, &len);
    if (rc == AE_NO_MORE_TABLES) break;
    ASSERT_EQ(0u, rc) << LastErrorText();
    names.emplace_back(reinterpret_cast<char*>(buf));
  }
  EXPECT_EQ((std::vector<std::string>{"Eltern.adt", "Kinder.adt"}), names);  // no directory
  EXPECT_ACE(AdsFindClose(conn_, find));
  EXPECT_EQ(AE_INVALID_HANDLE, AdsFindClose(conn_, find));

  len = sizeof buf;
  ASSERT_ACE(
      AdsFindFirstTable(conn_, U(dir_ + "\\*.DBF"), buf, &len, &find));  // absolute, '\', any case
  EXPECT_STREQ("alt.dbf", reinterpret_cast<char*>(buf));
  len = sizeof buf;
  EXPECT_EQ(AE_NO_MORE_TABLES, AdsFindNextTable(conn_, find, buf, &len));
  EXPECT_ACE(AdsFindClose(conn_, find));

  len = sizeof buf;
  EXPECT_EQ(AE_NO_MORE_TABLES, AdsFindFirstTable(conn_, U("*.cdx"), buf, &len, &find));
  EXPECT_EQ(0u, find);
}

TEST_F(ConnectionApiTest, CheckExistence) {
  std::ofstream(Path("da.adt")) << "x";
  UNSIGNED16 on_disk = 9;
  ASSERT_ACE(AdsCheckExistence(conn_, U("da.adt"), &on_disk));
  EXPECT_EQ(1, on_disk);
  ASSERT_ACE(AdsCheckExistence(conn_, U("weg.adt"), &on_disk));
  EXPECT_EQ(0, on_disk);
  ASSERT_ACE(AdsCheckExistence(0, U(Path("da.adt")), &on_disk));
  EXPECT_EQ(1, on_disk);
  EXPECT_EQ(AE_NULL_POINTER, AdsCheckExistence(0, nullptr, &on_disk));
  std::string longname(300, 'a');
  EXPECT_EQ(AE_NAME_TOO_LONG, AdsCheckExistence(conn_, U(longname), &on_disk));
}

// A connection on a relative path sees the names its callers build from that path ("data/x")
// as the same files as the bare names, and never doubles the path.
TEST_F(ConnectionApiTest, RelativeConnectionPathIsNotJoinedTwice) {
  std::ofstream(Path("da.adt")) << "x";
  const std::string cwd = std::filesystem::current_path().string();
  const std::string parent = std::filesystem::path(dir_).parent_path().string();
  const std::string rel = std::filesystem::path(dir_).filename().string();
  std::filesystem::current_path(parent);
  ADSHANDLE h = 0;
  ASSERT_ACE(AdsConnect60(U(rel), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &h));
  UNSIGNED16 on_disk = 9;
  EXPECT_EQ(AE_SUCCESS, AdsCheckExistence(h, U(rel + "/da.adt"), &on_disk));
  EXPECT_EQ(1, on_disk);
  EXPECT_EQ(AE_SUCCESS, AdsCheckExistence(h, U(rel + "\\da.adt"), &on_disk));
  EXPECT_EQ(1, on_disk);
  EXPECT_EQ(AE_SUCCESS, AdsCheckExistence(h, U("da.adt"), &on_disk));
  EXPECT_EQ(1, on_disk);
  // A name that only begins like the path is still a name inside the connection's folder.
  EXPECT_EQ(AE_SUCCESS, AdsCheckExistence(h, U(rel + "x/da.adt"), &on_disk));
  EXPECT_EQ(0, on_disk);
  AdsDisconnect(h);
  std::filesystem::current_path(cwd);
}

TEST_F(ConnectionApiTest, DisconnectReleasesTablesAndStaleHandlesAreRefused) {
  ADSHANDLE table = Create("t", ADS_ADT, "N,Integer;");
  ASSERT_NE(0u, table);
  ADSHANDLE owner = 0;
  ASSERT_ACE(AdsGetTableConnection(table, &owner));
  EXPECT_EQ(conn_, owner);
  UNSIGNED16 kind = 0;
  ASSERT_ACE(AdsGetHandleType(table, &kind));
  EXPECT_EQ(ADS_TABLE, kind);
  // A table handle is no connection and vice versa.
  UNSIGNED16 type = 0;
  EXPECT_EQ(AE_WRONG_HANDLE_TYPE, AdsGetConnectionType(table, &type));
  EXPECT_EQ(AE_WRONG_HANDLE_TYPE, AdsGetTableType(conn_, &type));
  // A pending change is written by the disconnect.
  ASSERT_ACE(AdsAppendRecord(table));
  ASSERT_ACE(AdsSetLong(table, U("N"), 42));
  ASSERT_ACE(AdsDisconnect(conn_));
  EXPECT_EQ(AE_INVALID_HANDLE, AdsGetTableType(table, &type));
  EXPECT_EQ(AE_CONNECTION_CLOSED, AdsDisconnect(conn_));
  EXPECT_EQ(AE_INVALID_HANDLE, AdsGetConnectionType(conn_, &type));
  EXPECT_EQ(AE_INVALID_HANDLE, AdsGetTableType(0, &type));
  conn_ = 0;

  ASSERT_ACE(AdsConnect(U(dir_), &conn_));
  ASSERT_ACE(Open("t", ADS_ADT, &table));
  SIGNED32 n = 0;
  ASSERT_ACE(AdsGetLong(table, U("N"), &n));
  EXPECT_EQ(42, n);
}

}  // namespace
}  // namespace ace_api_test
