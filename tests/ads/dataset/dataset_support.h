// Test support of the dataset core tests: a dataset whose cursor hook opens a real engine table
// with AdsOpenTable90 (as a table component would, without its property checks), tables made
// through the engine's C API in a temporary folder, and call recorders for the import table.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/ads/connection/test_support.h"

namespace adstest {

// A dataset on the engine table mstrTableName in DatabaseName's folder. The cursor hook
// honours Exclusive, ReadOnly, the table type and the options' character type, and runs the
// character-type take-over as a table does.
class TCoreDataSet : public TAdsDataSet {
 public:
  explicit TCoreDataSet(TComponent* AOwner) : TAdsDataSet(AOwner) {}
  ~TCoreDataSet() override {
    Destroying();
    Close();
  }
  void SetTableName(const std::string& s) { mstrTableName = s; }
  void SetExclusive(bool b) { mbExclusive = b; }
  void SetReadOnly(bool b) { mbReadOnly = b; }
  void SetTableType(TAdsTableTypes t) override {
    meTableType = t;
    static const uint16_t kEngineTypes[] = {ADS_CDX, ADS_NTX, ADS_ADT, ADS_ADT, ADS_VFP};
    musOpenTableType = kEngineTypes[t];
  }
  void ForceHandle(int32_t h) { mlHandle = h; }
  uint16_t OpenCharType() const { return musOpenCharType; }
  uint16_t AceTableType() const { return musAceTableType; }
  uint16_t RecBufSize() const { return musRecBufSize; }
  uint16_t BookmarkOfs() const { return musBookmarkOfs; }
  uint16_t RecInfoOfs() const { return musRecInfoOfs; }
  uint16_t BlobCacheOfs() const { return musBlobCacheOfs; }
  bool KeyBuffersAllocated() const { return mapKeyBuffers[0] != nullptr; }
  void SetActiveIndexType(TAdsIndexTypes t) { meActiveIndexType = t; }
  void SetIndexName(const std::string& s) { mstrIndexName = s; }

  int opens_ = 0;

  int32_t OpenEngineCursor() override {
    ++opens_;
    if (mstrTableName.empty()) RaiseComponentError(this, "Missing TableName property");
    const ADSHANDLE connection = ConnectAndGetHandle();
    const UNSIGNED32 options = (mbExclusive ? ADS_EXCLUSIVE : 0) | (mbReadOnly ? ADS_READONLY : 0);
    const std::string name = Utf8ToAnsi(GetDatabasePath() + "\\" + mstrTableName);
    const std::string collation = GetEffectiveCollation();
    ADSHANDLE table = 0;
    AceCheck(this, Ace.AdsOpenTable90(
                       connection, U8(name), nullptr, musOpenTableType,
                       static_cast<UNSIGNED16>(AdsTableOptions()->AdsCharType() + 1),
                       ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, options,
                       // the engine knows no collations beyond the two character types
                       collation == "ANSI" || collation == "OEM" ? U8("") : U8(collation), &table));
    try {
      UNSIGNED16 type = 0;
      AceCheck(this, Ace.AdsGetTableType(table, &type));
      musAceTableType = type;
      TakeOverCharType(static_cast<int32_t>(table));
    } catch (...) {
      Ace.AdsCloseTable(table);
      throw;
    }
    return static_cast<int32_t>(table);
  }
  int32_t GetLastAutoincVal() override {
    UNSIGNED32 value = 0;
    AceCheck(this, Ace.AdsGetLastAutoinc(static_cast<ADSHANDLE>(mlHandle), &value));
    return static_cast<int32_t>(value);
  }
};

// A temporary folder with a data folder "data" in it and helpers to fill tables.
class DataSetTest : public TempWorld {
 protected:
  void SetUp() override {
    TempWorld::SetUp();
    data_ = Folder("data");
    owner_ = std::make_unique<TComponent>(nullptr);
    owner_->SetName("Form1");
    ASSERT_EQ(AdsConnect(U8(data_), &conn_), 0u);
  }
  void TearDown() override {
    owner_.reset();  // datasets close their cursors before the folder goes
    AdsDisconnect(conn_);
    TempWorld::TearDown();
  }
  // Creates a table (closed again) from a field specification.
  void Create(const std::string& name, UNSIGNED16 type, const std::string& fields,
              UNSIGNED16 charType = ADS_ANSI) {
    ADSHANDLE t = 0;
    ASSERT_EQ(AdsCreateTable90(conn_, U8(name), nullptr, type, charType, ADS_PROPRIETARY_LOCKING,
                               ADS_CHECK_RIGHTS, 0, U8(fields), 0, U8(""), &t),
              0u)
        << LastError();
    AdsCloseTable(t);
  }
  // Opens a table of the folder on the test's own connection.
  ADSHANDLE OpenRaw(const std::string& name, UNSIGNED16 type, UNSIGNED32 options = 0) {
    ADSHANDLE t = 0;
    EXPECT_EQ(AdsOpenTable90(conn_, U8(name), nullptr, type, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                             ADS_CHECK_RIGHTS, options, U8(""), &t),
              0u)
        << LastError();
    return t;
  }
  // Appends records whose fields are given as texts (empty text: field left empty).
  void Append(const std::string& name, UNSIGNED16 type,
              const std::vector<std::vector<std::string>>& rows) {
    ADSHANDLE t = OpenRaw(name, type);
    for (const auto& row : rows) {
      ASSERT_EQ(AdsAppendRecord(t), 0u);
      for (size_t i = 0; i < row.size(); ++i) {
        if (row[i].empty()) continue;
        ASSERT_EQ(
            AdsSetField(t, ADSFIELD(i + 1), U8(row[i]), static_cast<UNSIGNED32>(row[i].size())), 0u)
            << "field " << i + 1 << " value " << row[i] << ": " << LastError();
      }
      ASSERT_EQ(AdsWriteRecord(t), 0u) << LastError();
    }
    AdsCloseTable(t);
  }
  static std::string LastError() {
    UNSIGNED32 code = 0;
    UNSIGNED8 text[600] = {};
    UNSIGNED16 len = sizeof text;
    AdsGetLastError(&code, text, &len);
    return std::to_string(code) + " " + reinterpret_cast<const char*>(text);
  }
  // A dataset on table name of the data folder.
  TCoreDataSet* Make(const std::string& name, TAdsTableTypes type = ttAdsADT) {
    auto* ds = new TCoreDataSet(owner_.get());
    ds->SetName("Core" + std::to_string(++made_));
    ds->SetTableType(type);
    ds->SetDatabaseName(data_);
    ds->SetTableName(name);
    return ds;
  }

  std::unique_ptr<TComponent> owner_;
  std::string data_;
  ADSHANDLE conn_ = 0;
  int made_ = 0;
};

}  // namespace adstest
