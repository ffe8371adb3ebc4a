// Process services: the caller's value kept with a handle, whether a "server" is served here,
// flushing a table's files, and the clipboard without a writer (the writer itself is tested
// with the Qt one in the program's tests).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "engine/include/ace_hooks.h"
#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

class ProcessTest : public ApiTest {};

TEST_F(ProcessTest, AHandleKeepsTheCallersValueUntilItCloses) {
  ADSHANDLE t = Create("werte", ADS_ADT, "Name,Char,10;Bild,Image;");
  ADSHANDLE index = 0;
  ASSERT_ACE(AdsCreateIndex90(t, nullptr, U("NAME"), U("Name"), nullptr, nullptr, 0, 0, nullptr,
                              &index));
  ADSHANDLE stmt = 0;
  ASSERT_ACE(AdsCreateSQLStatement(conn_, &stmt));
  UNSIGNED32 value = 99;
  for (ADSHANDLE h : {conn_, t, index, stmt}) {
    ASSERT_ACE(AdsGetHandleLong(h, &value));
    EXPECT_EQ(0u, value) << "handle " << h;
  }
  ASSERT_ACE(AdsSetHandleLong(t, 0xDEADBEEFu));
  ASSERT_ACE(AdsSetHandleLong(index, 7));
  ASSERT_ACE(AdsSetHandleLong(stmt, 8));
  ASSERT_ACE(AdsSetHandleLong(conn_, 9));
  ASSERT_ACE(AdsGetHandleLong(t, &value));
  EXPECT_EQ(0xDEADBEEFu, value);
  ASSERT_ACE(AdsGetHandleLong(index, &value));
  EXPECT_EQ(7u, value);
  ASSERT_ACE(AdsGetHandleLong(stmt, &value));
  EXPECT_EQ(8u, value);
  ASSERT_ACE(AdsGetHandleLong(conn_, &value));
  EXPECT_EQ(9u, value);
  // A second handle of the same table has a value of its own.
  ADSHANDLE other = 0;
  ASSERT_ACE(Open("werte", ADS_ADT, &other));
  ASSERT_ACE(AdsGetHandleLong(other, &value));
  EXPECT_EQ(0u, value);

  EXPECT_EQ(5004u, AdsGetHandleLong(t, nullptr));
  ASSERT_ACE(AdsCloseSQLStatement(stmt));
  ASSERT_ACE(AdsCloseTable(t));
  EXPECT_EQ(5001u, AdsGetHandleLong(t, &value));  // stale handles are refused
  EXPECT_EQ(5001u, AdsSetHandleLong(t, 1));
  EXPECT_EQ(5001u, AdsGetHandleLong(index, &value));
  EXPECT_EQ(5001u, AdsGetHandleLong(stmt, &value));
  EXPECT_EQ(5001u, AdsGetHandleLong(0, &value));
  ASSERT_ACE(AdsCloseTable(other));
}

TEST_F(ProcessTest, LocalPathsAndDrivesAreServedHereAndNothingElse) {
  UNSIGNED16 loaded = 9;
  ASSERT_ACE(AdsIsServerLoaded(U(dir_), &loaded));
  EXPECT_EQ(1, loaded);
  ASSERT_ACE(AdsIsServerLoaded(U("C:"), &loaded));
  EXPECT_EQ(1, loaded);
  ASSERT_ACE(AdsIsServerLoaded(U("D:\\Daten"), &loaded));
  EXPECT_EQ(1, loaded);
  Create("da", ADS_ADT, "N,Integer;");
  ASSERT_ACE(AdsIsServerLoaded(U(dir_ + "\\da.adt"), &loaded));
  EXPECT_EQ(1, loaded);
  for (const char* remote : {"\\\\server\\freigabe", "//server/freigabe", "dbserver:6262",
                             "/no/such/folder", ""}) {
    loaded = 9;
    ASSERT_ACE(AdsIsServerLoaded(U(remote), &loaded)) << remote;
    EXPECT_EQ(0, loaded) << remote;
  }
  EXPECT_EQ(5004u, AdsIsServerLoaded(U(dir_), nullptr));
  EXPECT_EQ(5004u, AdsIsServerLoaded(nullptr, &loaded));
  EXPECT_EQ(5018u, AdsIsServerLoaded(U(std::string(300, 'x')), &loaded));
}

TEST_F(ProcessTest, FlushFileBuffersWritesThePendingRecordForOtherUsers) {
  ADSHANDLE t = Create("puffer", ADS_CDX, "NAME,Char,10;");
  AppendText(t, "NAME", "alt");
  ASSERT_ACE(AdsGotoTop(t));
  ASSERT_ACE(AdsSetString(t, U("NAME"), U("neu"), 3));
  ASSERT_ACE(AdsFlushFileBuffers(t));
  ADSHANDLE other_conn = 0;
  ASSERT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &other_conn));
  ADSHANDLE other = 0;
  ASSERT_ACE(Open("puffer", ADS_CDX, &other, 0, other_conn));
  EXPECT_EQ("neu", Text(other, "NAME"));
  ASSERT_ACE(AdsDisconnect(other_conn));
  ASSERT_ACE(AdsCloseTable(t));
  EXPECT_EQ(5001u, AdsFlushFileBuffers(t));
  EXPECT_EQ(5002u, AdsFlushFileBuffers(conn_));
}

TEST_F(ProcessTest, TheClipboardNeedsAWriterAndAMemoField) {
  ADSHANDLE t = Create("bilder", ADS_ADT, "Name,Char,10;Bild,Image;");
  ASSERT_ACE(AdsAppendRecord(t));
  ASSERT_ACE(AdsSetBinary(t, U("Bild"), ADS_IMAGE, 4, 0, U("GIF8"), 4));
  ASSERT_ACE(AdsWriteRecord(t));
  ASSERT_ACE(AdsRegisterClipboardWriter(nullptr));
  EXPECT_EQ(5007u, AdsImageToClipboard(t, U("Bild")));
  EXPECT_NE(std::string::npos, LastErrorText().find("clipboard")) << LastErrorText();
  EXPECT_EQ(5147u, AdsImageToClipboard(t, U("Fehlt")));
  EXPECT_EQ(5001u, AdsImageToClipboard(0x7FFFFFF0u, U("Bild")));
  ASSERT_ACE(AdsCloseTable(t));
}

}  // namespace
}  // namespace ace_api_test
