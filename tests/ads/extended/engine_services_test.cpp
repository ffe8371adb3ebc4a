// The extended datasets' members on the engine's encryption, callbacks and process services:
// encryption of a table and of single records (checked in the file's bytes and through another
// user), the calling thread's callbacks stopping long operations, handle values, the server
// test, the thread's state, flushing and the clipboard.
#include <fstream>
#include <iterator>

#include "engine/include/ace_hooks.h"
#include "tests/ads/extended/extended_support.h"

namespace exttest {
namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(ExtWorld, EncryptionOfTheTableAndOfSingleRecords) {
  MakeTable("Kinder", ttAdsADT);
  TAdsTable* t = NewTable("Kinder", ttAdsADT);
  t->SetExclusive(true);
  t->Open();
  EXPECT_FALSE(t->AdsIsTableEncrypted());
  EXPECT_FALSE(t->AdsIsEncryptionEnabled());
  t->AdsEnableEncryption("geheim");
  EXPECT_TRUE(t->AdsIsEncryptionEnabled());
  t->AdsEncryptTable();
  EXPECT_TRUE(t->AdsIsTableEncrypted());
  EXPECT_TRUE(t->AdsIsRecordEncrypted(3));
  EXPECT_EQ(Ids(t).size(), 10u);  // readable with the key
  EXPECT_EQ(FileBytes(data_ + "/Kinder.adt").find("Mueller"), std::string::npos);
  // One record back in plain text.
  t->AdsGotoRecord(4);
  t->AdsDecryptRecord();
  EXPECT_FALSE(t->AdsIsRecordEncrypted(0));
  EXPECT_TRUE(t->AdsIsRecordEncrypted(5));
  EXPECT_NE(FileBytes(data_ + "/Kinder.adt").find("Mueller"), std::string::npos);
  t->AdsGotoRecord(4);
  t->AdsEncryptRecord();
  EXPECT_TRUE(t->AdsIsRecordEncrypted(4));
  t->Close();
  t->SetExclusive(false);

  // Another user without the password cannot read an encrypted record.
  {
    OtherUser other(data_, "Kinder", ADS_ADT);
    EXPECT_EQ(AdsGotoRecord(other.table(), 4), static_cast<UNSIGNED32>(AE_ENCRYPTION));
  }
  // The table's password opens it readable; a wrong one is refused.
  t->SetEncryptionPassword("geheim");
  t->Open();
  EXPECT_EQ(t->AdsGetLong("Zahl"), 10);
  ExpectAceError([&] { t->AdsEnableEncryption("falsch"); }, AE_ENCRYPTION);
  t->Close();
  t->SetExclusive(true);
  t->Open();
  t->AdsDecryptTable();
  EXPECT_FALSE(t->AdsIsRecordEncrypted(4));
  t->AdsDisableEncryption();
  EXPECT_FALSE(t->AdsIsEncryptionEnabled());
  EXPECT_EQ(Ids(t).size(), 10u);
  EXPECT_NE(FileBytes(data_ + "/Kinder.adt").find("Mueller"), std::string::npos);
}

TEST_F(ExtWorld, EncryptionOfADbfTableIsTheEnginesRefusal) {
  MakeTable("Kinder", ttAdsCDX);
  TAdsTable* t = OpenTable("Kinder", ttAdsCDX);
  ExpectAceError([&] { t->AdsEnableEncryption("geheim"); }, AE_NOT_SUPPORTED);
  EXPECT_FALSE(t->AdsIsTableEncrypted());
  EXPECT_EQ(Id(t), 1);
}

std::vector<UNSIGNED16> g_percents;
UNSIGNED32 g_stop_at = 1000;
UNSIGNED32 g_callback_id = 0;

UNSIGNED32 OnProgress(UNSIGNED16 percent) {
  g_percents.push_back(percent);
  return percent >= g_stop_at ? 1 : 0;
}

UNSIGNED32 OnCallback(UNSIGNED16 percent, UNSIGNED32 id) {
  g_callback_id = id;
  return percent >= g_stop_at ? 1 : 0;
}

UNSIGNED32 AbortAlways() {
  return 1;
}

TEST_F(ExtWorld, CallbacksOfTheCallingThreadStopLongOperations) {
  MakeTable("Kinder", ttAdsADT);
  MakeIndex("Kinder", ttAdsADT, "ByName", "Name");
  TAdsTable* t = NewTable("Kinder", ttAdsADT);
  t->SetExclusive(true);
  t->Open();
  t->AdsGotoRecord(2);
  t->AdsDeleteRecord();
  g_percents.clear();
  g_stop_at = 50;
  t->AdsRegisterProgressCallBack(OnProgress);
  ExpectAceError([&] { t->AdsPackTable(); }, AE_OPERATION_CANCELLED);
  ASSERT_FALSE(g_percents.empty());
  UNSIGNED32 all = 0;
  ASSERT_EQ(AdsGetRecordCount(static_cast<ADSHANDLE>(t->Handle()), ADS_IGNOREFILTERS, &all), 0u);
  EXPECT_EQ(all, 10u);  // the stopped pack changed nothing
  g_stop_at = 1000;
  g_percents.clear();
  t->AdsPackTable();
  EXPECT_EQ(g_percents.back(), 100);
  g_percents.clear();
  t->AdsReindex();
  EXPECT_EQ(g_percents.back(), 100);
  t->AdsClearProgressCallback();
  g_percents.clear();
  t->AdsReindex();
  EXPECT_TRUE(g_percents.empty());

  t->AdsRegisterCallbackFunction(OnCallback, 42);
  t->AdsReindex();
  EXPECT_EQ(g_callback_id, 42u);
  t->AdsClearCallbackFunction();
  EXPECT_THROW(t->AdsRegisterCallbackFunction(OnCallback, -1), ERangeError);

  auto* q = new TAdsQuery(form_.get());
  q->SetDatabaseName(data_);
  q->SQL()->SetText("UPDATE Kinder SET Zahl = 0");
  t->Close();
  t->AdsRegisterSQLAbortFunc(AbortAlways);
  EXPECT_THROW(q->ExecSQL(), EADSDatabaseError);
  t->AdsClearSQLAbortFunc();
  t->SetExclusive(false);
  t->Open();
  EXPECT_EQ(t->AdsGetLong("Zahl"), 10);  // the stopped UPDATE changed nothing
  t->Close();
  q->ExecSQL();
  t->Open();
  EXPECT_EQ(t->AdsGetLong("Zahl"), 0);
}

TEST_F(ExtWorld, HandleValuesGoWithTheCurrentOrder) {
  MakeTable("Kinder", ttAdsADT);
  MakeIndex("Kinder", ttAdsADT, "ByName", "Name");
  TAdsTable* t = OpenTable("Kinder", ttAdsADT);
  EXPECT_EQ(t->AdsGetHandleLong(), 0);
  t->AdsSetHandleLong(77);
  EXPECT_EQ(t->AdsGetHandleLong(), 77);
  t->SetIndexName("ByName");
  EXPECT_EQ(t->AdsGetHandleLong(), 0);  // the index's handle has its own
  t->AdsSetHandleLong(5);
  t->SetIndexName("");
  EXPECT_EQ(t->AdsGetHandleLong(), 77);
  EXPECT_THROW(t->AdsSetHandleLong(-1), ERangeError);
  EXPECT_EQ(t->AdsGetHandleLong(), 77);
}

TEST_F(ExtWorld, ServerTestAndTheThreadsState) {
  TAdsTable* t = NewTable("Kinder", ttAdsADT);
  EXPECT_TRUE(t->AdsIsServerLoaded(data_));
  EXPECT_FALSE(t->AdsIsServerLoaded("\\\\server\\share"));
  {
    // The engine's answer is not looked at: a failing call reads as not loaded.
    AceImportOverride<decltype(Ace.AdsIsServerLoaded)> failing(
        Ace.AdsIsServerLoaded,
        [](const UNSIGNED8*, UNSIGNED16*) -> UNSIGNED32 { return AE_GENERAL; });
    EXPECT_FALSE(t->AdsIsServerLoaded(data_));
  }
  EXPECT_THROW(t->AdsGetNumFields(), EADSDatabaseError);
  std::string text;
  EXPECT_NE(t->AdsGetLastError(text), 0);
  t->AdsThreadExit();
  EXPECT_EQ(t->AdsGetLastError(text), 0);
}

TEST_F(ExtWorld, FlushFileBuffersPostsAPendingEdit) {
  MakeTable("Kinder", ttAdsADT);
  TAdsTable* t = OpenTable("Kinder", ttAdsADT);
  t->Edit();
  t->FieldByName("Zahl")->SetAsInteger(321);
  t->AdsFlushFileBuffers();
  EXPECT_EQ(t->State(), dsBrowse);
  OtherUser other(data_, "Kinder", ADS_ADT);
  EXPECT_EQ(other.Long(1, "Zahl"), 321);
}

std::string g_mime;
std::string g_clip;
UNSIGNED32 Clip(const char* mime, const UNSIGNED8* data, UNSIGNED32 length) {
  g_mime = mime;
  g_clip.assign(reinterpret_cast<const char*>(data), length);
  return 0;
}

TEST_F(ExtWorld, ImageToClipboardGoesThroughTheHostsWriter) {
  ADSHANDLE conn = 0, table = 0;
  ASSERT_EQ(AdsConnect(U8(data_), &conn), 0u);
  ASSERT_EQ(
      AdsCreateTable90(conn, U8("Bilder"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                       ADS_CHECK_RIGHTS, 0, U8("ID,Integer;Bild,Image"), 0, U8(""), &table),
      0u);
  const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(40, '\x01');
  for (int id : {1, 2}) {
    ASSERT_EQ(AdsAppendRecord(table), 0u);
    ASSERT_EQ(AdsSetLong(table, U8("ID"), id), 0u);
    if (id == 2) {
      ASSERT_EQ(AdsSetBinary(table, U8("Bild"), ADS_IMAGE, static_cast<UNSIGNED32>(png.size()), 0,
                             reinterpret_cast<const UNSIGNED8*>(png.data()),
                             static_cast<UNSIGNED32>(png.size())),
                0u);
    }
    ASSERT_EQ(AdsWriteRecord(table), 0u);
  }
  AdsCloseTable(table);
  AdsDisconnect(conn);

  TAdsTable* t = OpenTable("Bilder", ttAdsADT);
  t->Next();  // ID 2, the engine cursor is put elsewhere
  ASSERT_EQ(AdsGotoRecord(static_cast<ADSHANDLE>(t->Handle()), 1), 0u);
  ASSERT_EQ(AdsRegisterClipboardWriter(nullptr), 0u);
  ExpectAceError([&] { t->AdsImageToClipboard("Bild"); }, AE_NOT_SUPPORTED);
  ASSERT_EQ(AdsRegisterClipboardWriter(Clip), 0u);
  t->AdsImageToClipboard("Bild");
  EXPECT_EQ(AdsRegisterClipboardWriter(nullptr), 0u);
  EXPECT_EQ(g_mime, "image/png");
  EXPECT_EQ(g_clip, png);
}

}  // namespace
}  // namespace exttest
