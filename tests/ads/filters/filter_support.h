// Support of the filter and record search tests: a table "ID, Name, Ort, Betrag, Aktiv" of ADT,
// CDX or NTX type filled through the engine (Ort may be left empty, which reads as null), the
// engine's filter state of an open dataset, and spies on single engine entries. Header only:
// the filter and the locate tests include it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/ads/indexes/index_support.h"

namespace filtertest {

using adstest::U8;
using idxtest::EngineType;

struct Person {
  int id;
  std::string name;
  std::string ort;  // "" = no value
  double betrag;
  bool aktiv;
};

// 300 people with repeating names and places, ids 1..300.
inline std::vector<Person> Crowd(int count = 300) {
  static const char* const kNames[] = {"Maier", "Abel",   "Zorn",  "Mueller", "Huber",
                                       "Kurz",  "Berger", "Meier", "Ma",      "Lang"};
  static const char* const kOrte[] = {"Wien", "Graz", "Linz", "Bonn", "", "Aach", "Bern"};
  std::vector<Person> out;
  for (int i = 1; i <= count; ++i)
    out.push_back({i, kNames[(i * 7) % 10], kOrte[(i * 3) % 7], (i % 23) * 2.5 - 20.0, i % 4 == 0});
  return out;
}

inline std::vector<Person> Few() {
  return {{1, "Maier", "Wien", 10.5, true},
          {2, "Abel", "Graz", -3.25, false},
          {3, "Zorn", "", 0, true},
          {4, "Mueller", "Bonn", 99.99, false},
          {5, "Abel", "Bonn", 12, true},
          {6, "meier", "Wien", 7.5, false},
          {7, "Maier", "", 10.5, false},
          {8, "Kurz", "Graz", 1, true},
          {9, "Say \"hi\"", "Linz", 2, false},
          {10, "Mueller", "Aach", -1, true}};
}

class FilterWorld : public idxtest::IndexWorld {
 protected:
  // The table with the people, through its own connection.
  void MakePeople(const std::string& name, TAdsTableTypes type, const std::vector<Person>& rows) {
    ADSHANDLE conn = 0, table = 0;
    ASSERT_EQ(AdsConnect(U8(data_), &conn), 0u);
    const std::string fields =
        type == ttAdsADT
            ? "ID,Integer;Name,Char,12;Ort,Char,10;Betrag,Numeric,9,2;Aktiv,Logical"
            : "ID,Numeric,8,0;Name,Char,12;Ort,Char,10;Betrag,Numeric,9,2;Aktiv,Logical";
    ASSERT_EQ(AdsCreateTable90(conn, U8(name), nullptr, EngineType(type), ADS_ANSI,
                               ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0, U8(fields), 0, U8(""),
                               &table),
              0u);
    for (const Person& p : rows) {
      ASSERT_EQ(AdsAppendRecord(table), 0u);
      ASSERT_EQ(AdsSetLong(table, U8("ID"), p.id), 0u);
      ASSERT_EQ(AdsSetString(table, U8("Name"), U8(p.name), static_cast<UNSIGNED32>(p.name.size())),
                0u);
      if (!p.ort.empty()) {
        ASSERT_EQ(AdsSetString(table, U8("Ort"), U8(p.ort), static_cast<UNSIGNED32>(p.ort.size())),
                  0u);
      }
      ASSERT_EQ(AdsSetDouble(table, U8("Betrag"), p.betrag), 0u);
      ASSERT_EQ(AdsSetLogical(table, U8("Aktiv"), p.aktiv ? 1 : 0), 0u);
      ASSERT_EQ(AdsWriteRecord(table), 0u);
    }
    EXPECT_EQ(AdsCloseTable(table), 0u);
    EXPECT_EQ(AdsDisconnect(conn), 0u);
  }

  // The ids of the rows that pass, in record order.
  static std::vector<int> IdsWhere(const std::vector<Person>& rows,
                                   const std::function<bool(const Person&)>& pass) {
    std::vector<int> ids;
    for (const Person& p : rows)
      if (pass(p)) ids.push_back(p.id);
    return ids;
  }

  // The ids of the rows in the order of their names (equal names in record order).
  static std::vector<int> IdsByName(std::vector<Person> rows) {
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Person& a, const Person& b) { return a.name < b.name; });
    std::vector<int> ids;
    for (const Person& p : rows) ids.push_back(p.id);
    return ids;
  }

  // The text of the engine's optimized / plain filter of the dataset's cursor, or "<none>".
  static std::string EngineAof(TAdsDataSet* t) {
    UNSIGNED8 text[1024] = {};
    UNSIGNED16 length = sizeof text;
    const UNSIGNED32 result = AdsGetAOF(static_cast<ADSHANDLE>(t->Handle()), text, &length);
    if (result == AE_NO_FILTER) return "<none>";
    EXPECT_EQ(result, 0u);
    return std::string(reinterpret_cast<char*>(text), length);
  }
  static std::string EnginePlainFilter(TAdsDataSet* t) {
    UNSIGNED8 text[1024] = {};
    UNSIGNED16 length = sizeof text;
    const UNSIGNED32 result = AdsGetFilter(static_cast<ADSHANDLE>(t->Handle()), text, &length);
    if (result == AE_NO_FILTER) return "<none>";
    EXPECT_EQ(result, 0u);
    return std::string(reinterpret_cast<char*>(text), length);
  }
  static bool EngineExact(TAdsDataSet* t) {
    UNSIGNED16 exact = 9;
    EXPECT_EQ(AdsGetExact22(static_cast<ADSHANDLE>(t->Handle()), &exact), 0u);
    return exact != 0;
  }
};

class FilterWorldByType : public FilterWorld,
                          public ::testing::WithParamInterface<TAdsTableTypes> {};

// Counts and records the calls of one engine entry while it lives; the engine still answers.
struct CallLog {
  int calls = 0;
  std::vector<std::string> texts;
  std::vector<UNSIGNED32> options;
  std::vector<UNSIGNED16> lengths;
};

// The logs of the spies below; a test resets the ones it looks at.
inline CallLog gSetAof, gSetFilter, gClearAof, gClearFilter, gSeek, gSetField, gEval, gBookmark,
    gUnique, gAllIndexes;

inline std::string WideText(const void* p, UNSIGNED32 options) {
  if ((options & ADS_ENCODE_UTF16) == 0) return reinterpret_cast<const char*>(p);
  return Utf16ToUtf8(std::u16string(static_cast<const char16_t*>(p)));
}
inline UNSIGNED32 SpySetAOF100(ADSHANDLE h, const void* f, UNSIGNED32 o) {
  ++gSetAof.calls;
  gSetAof.texts.push_back(WideText(f, o));
  gSetAof.options.push_back(o);
  return ::AdsSetAOF100(h, f, o);
}
inline UNSIGNED32 SpySetFilter100(ADSHANDLE h, const void* f, UNSIGNED32 o) {
  ++gSetFilter.calls;
  gSetFilter.texts.push_back(WideText(f, o));
  gSetFilter.options.push_back(o);
  return ::AdsSetFilter100(h, f, o);
}
inline UNSIGNED32 SpyClearAOF(ADSHANDLE h) {
  ++gClearAof.calls;
  return ::AdsClearAOF(h);
}
inline UNSIGNED32 SpyClearFilter(ADSHANDLE h) {
  ++gClearFilter.calls;
  return ::AdsClearFilter(h);
}
inline UNSIGNED32 SpySeek(ADSHANDLE h, const UNSIGNED8* k, UNSIGNED16 n, UNSIGNED16 type,
                          UNSIGNED16 seek, UNSIGNED16* found) {
  ++gSeek.calls;
  gSeek.lengths.push_back(n);
  gSeek.options.push_back(type);
  return ::AdsSeek(h, k, n, type, seek, found);
}
inline UNSIGNED32 SpySetField(ADSHANDLE h, const UNSIGNED8* name, const UNSIGNED8* v,
                              UNSIGNED32 n) {
  ++gSetField.calls;
  gSetField.texts.push_back(reinterpret_cast<const char*>(name));
  gSetField.lengths.push_back(static_cast<UNSIGNED16>(n));
  return ::AdsSetField(h, name, v, n);
}
inline UNSIGNED32 SpyEvalLogical(ADSHANDLE h, const UNSIGNED8* e, UNSIGNED16* r) {
  ++gEval.calls;
  return ::AdsEvalLogicalExpr(h, e, r);
}
inline UNSIGNED32 SpyGetBookmark(ADSHANDLE h, ADSHANDLE* b) {
  ++gBookmark.calls;
  return ::AdsGetBookmark(h, b);
}
inline UNSIGNED32 SpyIsUnique(ADSHANDLE h, UNSIGNED16* r) {
  ++gUnique.calls;
  return ::AdsIsIndexUnique(h, r);
}
inline UNSIGNED32 SpyGetAllIndexes(ADSHANDLE h, ADSHANDLE* a, UNSIGNED16* n) {
  ++gAllIndexes.calls;
  return ::AdsGetAllIndexes(h, a, n);
}

}  // namespace filtertest
