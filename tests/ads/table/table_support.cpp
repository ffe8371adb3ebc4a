// The table tests' world and engine recorder.
#include "tests/ads/table/table_support.h"

#include <cstring>

namespace tabletest {

EngineRecorder* EngineRecorder::current_ = nullptr;

EngineRecorder::EngineRecorder()
    : open_override_(Ace.AdsOpenTable90, &EngineRecorder::Open),
      close_override_(Ace.AdsCloseTable, &EngineRecorder::Close) {
  current_ = this;
}

EngineRecorder::~EngineRecorder() {
  current_ = nullptr;
}

UNSIGNED32 EngineRecorder::Open(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                const UNSIGNED8* pucAlias, UNSIGNED16 usTableType,
                                UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                                UNSIGNED16 usCheckRights, UNSIGNED32 ulOptions,
                                const UNSIGNED8* pucCollation, ADSHANDLE* phTable) {
  OpenCall call;
  call.name = pucName ? reinterpret_cast<const char*>(pucName) : "";
  call.alias_null = pucAlias == nullptr;
  call.table_type = usTableType;
  call.char_type = usCharType;
  call.lock_type = usLockType;
  call.rights = usCheckRights;
  call.options = ulOptions;
  call.collation = pucCollation ? reinterpret_cast<const char*>(pucCollation) : "<null>";
  EngineRecorder* self = current_;
  if (self != nullptr && self->on_open) self->on_open();
  if (self != nullptr && self->forced_ != 0) {
    call.result = self->forced_;
    self->forced_ = 0;
    *phTable = 0;
  } else {
    call.result = ::AdsOpenTable90(hConnect, pucName, pucAlias, usTableType, usCharType, usLockType,
                                   usCheckRights, ulOptions, pucCollation, phTable);
    call.handle = *phTable;
  }
  if (self != nullptr) self->opens.push_back(call);
  return call.result;
}

UNSIGNED32 EngineRecorder::Close(ADSHANDLE hTable) {
  if (current_ != nullptr) current_->closes.push_back(hTable);
  return ::AdsCloseTable(hTable);
}

void TableWorld::SetUp() {
  TempWorld::SetUp();
  data_ = Folder("Data");
  WriteAliases("Vaskoli_AB=" + data_ + "\n");
  form_ = std::make_unique<TComponent>(nullptr);
  form_->SetName("Form1");
}

void TableWorld::TearDown() {
  form_.reset();
  TempWorld::TearDown();
}

void TableWorld::CreateTable(const std::string& folder, const std::string& name,
                             const std::string& fields, UNSIGNED16 type) {
  ADSHANDLE conn = 0, table = 0;
  ASSERT_EQ(AdsConnect(U8(folder), &conn), 0u);
  ASSERT_EQ(AdsCreateTable90(conn, U8(name), nullptr, type, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                             ADS_CHECK_RIGHTS, 0, U8(fields), 0, U8(""), &table),
            0u);
  EXPECT_EQ(AdsCloseTable(table), 0u);
  EXPECT_EQ(AdsDisconnect(conn), 0u);
}

void TableWorld::CreateNumbered(const std::string& folder, const std::string& name, int count) {
  ADSHANDLE conn = 0, table = 0;
  ASSERT_EQ(AdsConnect(U8(folder), &conn), 0u);
  ASSERT_EQ(AdsCreateTable90(conn, U8(name), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                             ADS_CHECK_RIGHTS, 0, U8("ID,Integer;Name,Char,12"), 0, U8(""), &table),
            0u);
  for (int i = 1; i <= count; ++i) {
    ASSERT_EQ(AdsAppendRecord(table), 0u);
    ASSERT_EQ(AdsSetLong(table, U8("ID"), i), 0u);
    const std::string text = "N" + std::to_string(i);
    ASSERT_EQ(AdsSetString(table, U8("Name"), U8(text), static_cast<UNSIGNED32>(text.size())), 0u);
    ASSERT_EQ(AdsWriteRecord(table), 0u);
  }
  EXPECT_EQ(AdsCloseTable(table), 0u);
  EXPECT_EQ(AdsDisconnect(conn), 0u);
}

TAdsConnection* TableWorld::NewConnection(const std::string& name, const std::string& alias) {
  auto* conn = new TAdsConnection(form_.get());
  conn->SetName(name);
  conn->SetLoginPrompt(false);
  conn->SetAliasName(alias);
  return conn;
}

TAdsTable* TableWorld::NewTable(TAdsConnection* conn, const std::string& table,
                                const std::string& name) {
  auto* t = new TAdsTable(form_.get());
  t->SetName(name);
  if (conn != nullptr) t->SetAdsConnection(conn);
  t->SetTableName(table);
  return t;
}

bool TableWorld::NobodyHasOpen(const std::string& folder, const std::string& table,
                               UNSIGNED16 type) {
  ADSHANDLE conn = 0, handle = 0;
  if (::AdsConnect(U8(folder), &conn) != 0) return false;
  UNSIGNED32 result =
      ::AdsOpenTable90(conn, U8(table), nullptr, type, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                       ADS_CHECK_RIGHTS, ADS_EXCLUSIVE, U8(""), &handle);
  if (result == 0) ::AdsCloseTable(handle);
  ::AdsDisconnect(conn);
  return result == 0;
}

}  // namespace tabletest
