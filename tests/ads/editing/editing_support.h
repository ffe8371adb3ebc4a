// Support of the editing and blob tests: a temporary folder "Data" reached by a connection
// component, tables made through the engine's C API (field specifications, or SQL for VFP
// tables with nullable columns), TAdsTable components on them, and a second user with an
// engine connection of its own. Header only: the editing and blob test folders include it.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "tests/ads/connection/test_support.h"

namespace edittest {

using adstest::U8;

inline std::string LastEngineError() {
  UNSIGNED32 code = 0;
  UNSIGNED8 text[600] = {};
  UNSIGNED16 len = sizeof text;
  AdsGetLastError(&code, text, &len);
  return std::to_string(code) + " " + reinterpret_cast<const char*>(text);
}

// Runs f and expects it to raise E with exactly the message.
template <class E, class F>
void ExpectMessage(F f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "nothing raised, expected: " << message;
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

inline UNSIGNED16 EngineType(TAdsTableTypes t) {
  switch (t) {
    case ttAdsCDX:
      return ADS_CDX;
    case ttAdsNTX:
      return ADS_NTX;
    case ttAdsVFP:
      return ADS_VFP;
    default:
      return ADS_ADT;
  }
}

inline const char* TypeName(TAdsTableTypes t) {
  switch (t) {
    case ttAdsCDX:
      return "CDX";
    case ttAdsNTX:
      return "NTX";
    case ttAdsVFP:
      return "VFP";
    default:
      return "ADT";
  }
}

// A table component that can enter and leave key editing the way the key operations do
// (buffer 0 edited, its copy kept in buffer 5 for cancelling).
class TKeyTable : public TAdsTable {
 public:
  explicit TKeyTable(TComponent* AOwner) : TAdsTable(AOwner) {}
  void BeginKeyEditing() {
    mpstKeyBuffer = mapKeyBuffers[0];
    std::memcpy(static_cast<void*>(mapKeyBuffers[5]), mapKeyBuffers[0],
                mapKeyBuffers[0]->BufferSize);
    SetState(dsSetKey);
  }
  PAdsKeyBuffer KeyBuffer() const { return mapKeyBuffers[0]; }
  uint16_t RecSize() const { return musRecordSize; }
  uint32_t SavedCRC() const { return mulSavedCRC; }
  TRecordBuffer OldRecord() const { return FOldRecordBuffer; }
  bool AppendedAtEOF() const { return mbAppendEOF; }
  void SetTableOptionBits(uint32_t bits) { mulTableOptions = bits; }
};

class EditWorld : public adstest::TempWorld {
 protected:
  void SetUp() override {
    TempWorld::SetUp();
    data_ = Folder("Data");
    form_ = std::make_unique<TComponent>(nullptr);
    form_->SetName("Form1");
    conn_ = new TAdsConnection(form_.get());
    conn_->SetName("AdsConnection1");
    conn_->SetLoginPrompt(false);
    conn_->SetConnectPath(data_);
    ASSERT_EQ(AdsConnect(U8(data_), &raw_), 0u);
  }
  void TearDown() override {
    form_.reset();
    for (ADSHANDLE t : others_) AdsCloseTable(t);
    for (ADSHANDLE c : other_conns_) AdsDisconnect(c);
    AdsDisconnect(raw_);
    TempWorld::TearDown();
  }

  // Creates a table from a field specification and closes it.
  void Create(const std::string& name, TAdsTableTypes type, const std::string& fields) {
    ADSHANDLE t = 0;
    ASSERT_EQ(
        AdsCreateTable90(raw_, U8(name), nullptr, EngineType(type), ADS_ANSI,
                         ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0, U8(fields), 0, U8(""), &t),
        0u)
        << LastEngineError();
    AdsCloseTable(t);
  }
  // Runs SQL on the test's own connection with the table type (for VFP nullable columns).
  void Sql(const std::string& text, TAdsTableTypes type) {
    ADSHANDLE stmt = 0;
    ASSERT_EQ(AdsCreateSQLStatement(raw_, &stmt), 0u) << LastEngineError();
    ASSERT_EQ(AdsStmtSetTableType(stmt, EngineType(type)), 0u);
    ADSHANDLE cursor = 0;
    EXPECT_EQ(AdsExecuteSQLDirect(stmt, U8(text), &cursor), 0u) << LastEngineError();
    if (cursor != 0) AdsCloseTable(cursor);
    AdsCloseSQLStatement(stmt);
  }
  // A table component on the connection, not yet open.
  TKeyTable* NewTable(const std::string& name, TAdsTableTypes type) {
    auto* t = new TKeyTable(form_.get());
    t->SetName("AdsTable" + std::to_string(++made_));
    t->SetAdsConnection(conn_);
    t->SetTableType(type);
    t->SetTableName(name);
    return t;
  }
  // The same table opened by another user: a connection and cursor of its own.
  ADSHANDLE OtherUser(const std::string& name, TAdsTableTypes type) {
    ADSHANDLE conn = 0;
    EXPECT_EQ(AdsConnect(U8(data_), &conn), 0u);
    other_conns_.push_back(conn);
    ADSHANDLE t = 0;
    EXPECT_EQ(AdsOpenTable90(conn, U8(name), nullptr, EngineType(type), ADS_ANSI,
                             ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0, U8(""), &t),
              0u)
        << LastEngineError();
    others_.push_back(t);
    return t;
  }
  // The text of a field of the current record of an engine cursor.
  static std::string EngineText(ADSHANDLE t, const std::string& field) {
    std::string buf(70000, '\0');
    UNSIGNED32 len = static_cast<UNSIGNED32>(buf.size());
    EXPECT_EQ(AdsGetField(t, U8(field), reinterpret_cast<UNSIGNED8*>(buf.data()), &len, ADS_RTRIM),
              0u)
        << LastEngineError();
    buf.resize(len);
    return buf;
  }
  static bool EngineNull(ADSHANDLE t, const std::string& field) {
    UNSIGNED16 null = 0;
    EXPECT_EQ(AdsIsNull(t, U8(field), &null), 0u) << LastEngineError();
    return null != 0;
  }
  UNSIGNED32 EngineRecordCount(ADSHANDLE t) {
    UNSIGNED32 n = 0;
    EXPECT_EQ(AdsGetRecordCount(t, ADS_IGNOREFILTERS | ADS_REFRESHCOUNT, &n), 0u);
    return n;
  }
  std::filesystem::path File(const std::string& name) const {
    return std::filesystem::path(data_) / name;
  }

  std::string data_;
  std::unique_ptr<TComponent> form_;
  TAdsConnection* conn_ = nullptr;
  ADSHANDLE raw_ = 0;
  std::vector<ADSHANDLE> others_;
  std::vector<ADSHANDLE> other_conns_;
  int made_ = 0;
};

}  // namespace edittest
