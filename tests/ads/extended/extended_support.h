// Support of the extended dataset tests: a temporary data folder with ADT and CDX tables made
// through the engine's C API ("ID, Name, Zahl, Datum, Notiz" with numbered rows), indexes on
// them, tables of the component layer on the folder, and a second engine connection that plays
// another user. Header only.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ads/adstable.h"
#include "tests/ads/connection/test_support.h"

namespace exttest {

using adstest::U8;

struct Row {
  int id;
  std::string name;
  int zahl;
};

inline UNSIGNED16 EngineType(TAdsTableTypes t) {
  return t == ttAdsCDX ? ADS_CDX : t == ttAdsNTX ? ADS_NTX : t == ttAdsVFP ? ADS_VFP : ADS_ADT;
}

inline const char* TypeName(TAdsTableTypes t) {
  return t == ttAdsCDX ? "CDX" : "ADT";
}

// The rows 1..10: names in a mixed order, Zahl = 10 * ID.
inline std::vector<Row> People() {
  return {{1, "Maier", 10},  {2, "Abel", 20},  {3, "Zorn", 30}, {4, "Mueller", 40},
          {5, "Berger", 50}, {6, "Huber", 60}, {7, "Kurz", 70}, {8, "Lang", 80},
          {9, "Ortner", 90}, {10, "Dorn", 100}};
}

// An engine table opened by a connection of its own (another user of the same files).
class OtherUser {
 public:
  OtherUser(const std::string& folder, const std::string& table, UNSIGNED16 type) {
    EXPECT_EQ(AdsConnect(U8(folder), &conn_), 0u);
    EXPECT_EQ(AdsOpenTable90(conn_, U8(table), nullptr, type, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                             ADS_CHECK_RIGHTS, 0, U8(""), &table_),
              0u);
  }
  ~OtherUser() {
    AdsCloseTable(table_);
    AdsDisconnect(conn_);
  }
  OtherUser(const OtherUser&) = delete;
  OtherUser& operator=(const OtherUser&) = delete;
  ADSHANDLE table() const { return table_; }
  // Field values of record n as the engine has them on disk.
  int32_t Long(UNSIGNED32 n, const char* field) {
    EXPECT_EQ(AdsGotoRecord(table_, n), 0u);
    SIGNED32 v = 0;
    EXPECT_EQ(AdsGetLong(table_, U8(field), &v), 0u);
    return v;
  }
  std::string Text(UNSIGNED32 n, const char* field) {
    EXPECT_EQ(AdsGotoRecord(table_, n), 0u);
    UNSIGNED8 buf[256] = {};
    UNSIGNED32 len = 255;
    EXPECT_EQ(AdsGetString(table_, U8(field), buf, &len, ADS_RTRIM), 0u);
    return std::string(reinterpret_cast<char*>(buf), len);
  }

 private:
  ADSHANDLE conn_ = 0;
  ADSHANDLE table_ = 0;
};

class ExtWorld : public adstest::TempWorld {
 protected:
  void SetUp() override {
    TempWorld::SetUp();
    data_ = Folder("Data");
    form_ = std::make_unique<TComponent>(nullptr);
    form_->SetName("Form1");
  }
  void TearDown() override {
    form_.reset();
    TempWorld::TearDown();
  }

  static std::string Fields(TAdsTableTypes type) {
    return type == ttAdsADT ? "ID,Integer;Name,Char,12;Zahl,Integer;Datum,Date;Notiz,Memo"
                            : "ID,Numeric,8,0;Name,Char,12;Zahl,Numeric,8,0;Datum,Date;Notiz,Memo";
  }

  // The table with the rows (Datum 2024-01-ID), through its own connection.
  void MakeTable(const std::string& name, TAdsTableTypes type,
                 const std::vector<Row>& rows = People()) {
    ADSHANDLE conn = 0, table = 0;
    ASSERT_EQ(AdsConnect(U8(data_), &conn), 0u);
    ASSERT_EQ(AdsCreateTable90(conn, U8(name), nullptr, EngineType(type), ADS_ANSI,
                               ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0, U8(Fields(type)), 0,
                               U8(""), &table),
              0u);
    for (const Row& r : rows) {
      ASSERT_EQ(AdsAppendRecord(table), 0u);
      ASSERT_EQ(AdsSetLong(table, U8("ID"), r.id), 0u);
      ASSERT_EQ(AdsSetString(table, U8("Name"), U8(r.name), static_cast<UNSIGNED32>(r.name.size())),
                0u);
      ASSERT_EQ(AdsSetLong(table, U8("Zahl"), r.zahl), 0u);
      const std::string date = "202401" + std::string(r.id < 10 ? "0" : "") + std::to_string(r.id);
      DOUBLE julian = 0;
      ASSERT_EQ(AdsConvertStringToJulian(U8(date), 8, &julian), 0u);
      ASSERT_EQ(AdsSetJulian(table, U8("Datum"), static_cast<SIGNED32>(julian)), 0u);
      ASSERT_EQ(AdsWriteRecord(table), 0u);
    }
    EXPECT_EQ(AdsCloseTable(table), 0u);
    EXPECT_EQ(AdsDisconnect(conn), 0u);
  }

  // An index on the table: a tag of its structural file, or of the file named file.
  void MakeIndex(const std::string& table, TAdsTableTypes type, const std::string& tag,
                 const std::string& expr, const std::string& file = "", UNSIGNED32 options = 0) {
    ADSHANDLE conn = 0, handle = 0, index = 0;
    ASSERT_EQ(AdsConnect(U8(data_), &conn), 0u);
    ASSERT_EQ(AdsOpenTable90(conn, U8(table), nullptr, EngineType(type), ADS_ANSI,
                             ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0, U8(""), &handle),
              0u);
    ASSERT_EQ(AdsCreateIndex90(handle, file.empty() ? nullptr : U8(file), U8(tag), U8(expr),
                               nullptr, nullptr, options | ADS_COMPOUND, 0, nullptr, &index),
              0u);
    EXPECT_EQ(AdsCloseTable(handle), 0u);
    EXPECT_EQ(AdsDisconnect(conn), 0u);
  }

  // A table of the component layer on the folder, not yet open.
  TAdsTable* NewTable(const std::string& name, TAdsTableTypes type) {
    auto* t = new TAdsTable(form_.get());
    t->SetDatabaseName(data_);
    t->SetTableType(type);
    t->SetTableName(name);
    return t;
  }
  TAdsTable* OpenTable(const std::string& name, TAdsTableTypes type) {
    TAdsTable* t = NewTable(name, type);
    t->Open();
    return t;
  }

  static int Id(TDataSet* t) { return t->FieldByName("ID")->AsInteger(); }
  static std::vector<int> Ids(TDataSet* t) {
    std::vector<int> ids;
    for (t->First(); !t->Eof(); t->Next()) ids.push_back(Id(t));
    return ids;
  }
  // The record the engine cursor of the dataset is on (0 at either end).
  static UNSIGNED32 EngineRecord(TAdsDataSet* t) {
    UNSIGNED32 n = 0;
    EXPECT_EQ(AdsGetRecordNum(static_cast<ADSHANDLE>(t->Handle()), ADS_IGNOREFILTERS, &n), 0u);
    return n;
  }

  // fn raises EADSDatabaseError with the code.
  template <class Fn>
  static void ExpectAceError(Fn fn, UNSIGNED32 code) {
    try {
      fn();
      ADD_FAILURE() << "nothing raised, expected code " << code;
    } catch (const EADSDatabaseError& e) {
      EXPECT_EQ(e.ACEErrorCode(), code) << e.Message();
    }
  }

  std::string data_;
  std::unique_ptr<TComponent> form_;
};

// Runs a test body for ADT and CDX tables.
class ExtWorldByType : public ExtWorld, public ::testing::WithParamInterface<TAdsTableTypes> {};

inline std::string TypeParamName(const ::testing::TestParamInfo<TAdsTableTypes>& info) {
  return TypeName(info.param);
}

}  // namespace exttest
