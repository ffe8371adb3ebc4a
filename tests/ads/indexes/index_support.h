// Support of the index and key tests: a temporary data folder, tables of ADT, CDX and NTX type
// filled through the engine's C API, indexes made on them through the engine, and tables of
// the component layer on that folder. Header only: the index and the key tests include it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "ads/adstable.h"
#include "tests/ads/connection/test_support.h"

namespace idxtest {

using adstest::U8;

struct Row {
  int id;
  std::string name;
  std::string ort;
};

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
  return t == ttAdsCDX ? "CDX" : t == ttAdsNTX ? "NTX" : t == ttAdsVFP ? "VFP" : "ADT";
}

class IndexWorld : public adstest::TempWorld {
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

  // A table "ID, Name Char 12, Ort Char 10" with the rows, through its own connection.
  void MakeTable(const std::string& name, TAdsTableTypes type, const std::vector<Row>& rows) {
    ADSHANDLE conn = 0, table = 0;
    ASSERT_EQ(AdsConnect(U8(data_), &conn), 0u);
    const std::string fields = type == ttAdsADT ? "ID,Integer;Name,Char,12;Ort,Char,10"
                                                : "ID,Numeric,8,0;Name,Char,12;Ort,Char,10";
    ASSERT_EQ(AdsCreateTable90(conn, U8(name), nullptr, EngineType(type), ADS_ANSI,
                               ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0, U8(fields), 0, U8(""),
                               &table),
              0u);
    for (const Row& r : rows) {
      ASSERT_EQ(AdsAppendRecord(table), 0u);
      ASSERT_EQ(AdsSetLong(table, U8("ID"), r.id), 0u);
      ASSERT_EQ(AdsSetString(table, U8("Name"), U8(r.name), static_cast<UNSIGNED32>(r.name.size())),
                0u);
      ASSERT_EQ(AdsSetString(table, U8("Ort"), U8(r.ort), static_cast<UNSIGNED32>(r.ort.size())),
                0u);
      ASSERT_EQ(AdsWriteRecord(table), 0u);
    }
    EXPECT_EQ(AdsCloseTable(table), 0u);
    EXPECT_EQ(AdsDisconnect(conn), 0u);
  }

  // An index on the table: a tag of the structural file (ADT, CDX), or the .ntx file named tag.
  void MakeIndex(const std::string& table, TAdsTableTypes type, const std::string& tag,
                 const std::string& expr, UNSIGNED32 options = 0) {
    ADSHANDLE conn = 0, handle = 0, index = 0;
    ASSERT_EQ(AdsConnect(U8(data_), &conn), 0u);
    ASSERT_EQ(AdsOpenTable90(conn, U8(table), nullptr, EngineType(type), ADS_ANSI,
                             ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0, U8(""), &handle),
              0u);
    const bool ntx = type == ttAdsNTX;
    if (!ntx) options |= ADS_COMPOUND;
    ASSERT_EQ(AdsCreateIndex90(handle, ntx ? U8(tag) : nullptr, ntx ? nullptr : U8(tag), U8(expr),
                               nullptr, nullptr, options, 0, nullptr, &index),
              0u);
    EXPECT_EQ(AdsCloseTable(handle), 0u);
    EXPECT_EQ(AdsDisconnect(conn), 0u);
  }

  // A table of the component layer on the folder. An NTX table gets the .ntx files of ntx in
  // its IndexFiles (they do not open with the table by themselves).
  TAdsTable* NewTable(const std::string& name, TAdsTableTypes type,
                      const std::vector<std::string>& ntx = {}) {
    auto* t = new TAdsTable(form_.get());
    t->SetDatabaseName(data_);
    t->SetTableType(type);
    t->SetTableName(name);
    if (type == ttAdsNTX)
      for (const std::string& file : ntx) t->IndexFiles()->Add(file + ".ntx");
    return t;
  }

  // The IDs of the table's records in its current order, from the first record on.
  static std::vector<int> Ids(TAdsTable* t) {
    std::vector<int> ids;
    for (t->First(); !t->Eof(); t->Next()) ids.push_back(t->FieldByName("ID")->AsInteger());
    return ids;
  }
  static int Id(TAdsTable* t) { return t->FieldByName("ID")->AsInteger(); }

  // The IDs of rows sorted by the key function (stable, so equal keys keep record order).
  template <class Key>
  static std::vector<int> SortedIds(std::vector<Row> rows, Key key) {
    std::stable_sort(rows.begin(), rows.end(),
                     [&](const Row& a, const Row& b) { return key(a) < key(b); });
    std::vector<int> ids;
    for (const Row& r : rows) ids.push_back(r.id);
    return ids;
  }

  // Expects fn to raise an exception of type E whose message contains text.
  template <class E = Exception, class Fn>
  static void ExpectMessage(Fn fn, const std::string& text) {
    try {
      fn();
      ADD_FAILURE() << "nothing raised, expected: " << text;
    } catch (const E& e) {
      EXPECT_NE(std::string(e.Message()).find(text), std::string::npos) << e.Message();
    }
  }

  // Rows with names in a mixed order, some of them equal.
  static std::vector<Row> People() {
    return {{1, "Maier", "Wien"},   {2, "Abel", "Graz"}, {3, "Zorn", "Linz"},
            {4, "Mueller", "Bonn"}, {5, "Abel", "Bonn"}, {6, "Huber", "Wien"},
            {7, "Maier", "Bonn"},   {8, "Kurz", "Graz"}, {9, "Berger", "Linz"},
            {10, "Mueller", "Aach"}};
  }

  std::string data_;
  std::unique_ptr<TComponent> form_;
};

// Runs a test body once for each of the table types ADT, CDX and NTX.
class IndexWorldByType : public IndexWorld, public ::testing::WithParamInterface<TAdsTableTypes> {};

inline std::string TypeParamName(const ::testing::TestParamInfo<TAdsTableTypes>& info) {
  return TypeName(info.param);
}

}  // namespace idxtest
