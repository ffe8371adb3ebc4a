// Shared set-up of the filter tests: a table of the same generated records on each table type,
// with a few deleted ones, and walks that answer the record numbers a handle visits, so that a
// filtered walk can be compared with a scan that tests every record itself.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/engine/api/api_fixture.h"

namespace filter_test {

using ace_api_test::LastErrorText;
using ace_api_test::U;

inline const char* const kNames[] = {"Meier",  "Mei",    "Meiners", "M\xFCller", "Schmidt",
                                     "Schulz", "Zander", "Abel",    "\xD6tker",  "meier"};
inline const char* const kOrte[] = {"Berlin", "Bonn", "Köln", "Essen", "Aachen"};

class FilterTest : public ace_api_test::ApiTest {
 protected:
  static constexpr int kRecords = 240;

  // Table KINDER with NAME C(10), ORT C(8), NR N(6), GEBURT date, AKTIV logical: record i
  // (1-based) gets values spread deterministically; every 17th record is deleted.
  ADSHANDLE MakeKinder(UNSIGNED16 type, const std::string& name = "kinder") {
    ADSHANDLE t = Create(name, type,
                         "NAME,Character,10;ORT,Character,8;NR,Numeric,6,0;GEBURT,Date;"
                         "AKTIV,Logical");
    for (int i = 1; i <= kRecords; ++i) {
      EXPECT_EQ(0u, AdsAppendRecord(t)) << LastErrorText();
      Set(t, "NAME", kNames[(i * 7) % 10]);
      Set(t, "ORT", kOrte[(i * 3) % 5]);
      Set(t, "NR", std::to_string((i * 37) % 101));
      char date[9];
      snprintf(date, sizeof date, "2010%02d%02d", 1 + (i % 12), 1 + (i * 5) % 28);
      UNSIGNED32 rc = AdsSetField(t, U("GEBURT"), U(date), 8);
      EXPECT_EQ(0u, rc) << LastErrorText();
      Set(t, "AKTIV", i % 3 == 0 ? "T" : "F");
      EXPECT_EQ(0u, AdsWriteRecord(t)) << LastErrorText();
      if (i % 17 == 0) {
        EXPECT_EQ(0u, AdsDeleteRecord(t)) << LastErrorText();
      }
    }
    return t;
  }

  void Set(ADSHANDLE t, const char* field, const std::string& value) {
    EXPECT_EQ(0u, AdsSetField(t, U(field), U(value), static_cast<UNSIGNED32>(value.size())))
        << field << " " << LastErrorText();
  }

  ADSHANDLE Index(ADSHANDLE t, const char* tag, const char* expr, UNSIGNED32 options = 0) {
    ADSHANDLE ix = 0;
    EXPECT_EQ(0u, AdsCreateIndex90(t, nullptr, U(tag), U(expr), nullptr, nullptr, options, 0,
                                   nullptr, &ix))
        << LastErrorText();
    return ix;
  }

  UNSIGNED32 RecNo(ADSHANDLE t) {
    UNSIGNED32 r = 0;
    EXPECT_EQ(0u, AdsGetRecordNum(t, ADS_IGNOREFILTERS, &r));
    return r;
  }

  // The record numbers handle h (table or index) visits from one end to the other.
  std::vector<UNSIGNED32> Walk(ADSHANDLE h, ADSHANDLE t, bool backwards = false) {
    std::vector<UNSIGNED32> out;
    EXPECT_EQ(0u, backwards ? AdsGotoBottom(h) : AdsGotoTop(h)) << LastErrorText();
    for (;;) {
      UNSIGNED16 end = 0;
      EXPECT_EQ(0u, backwards ? AdsAtBOF(t, &end) : AdsAtEOF(t, &end));
      if (end) break;
      out.push_back(RecNo(t));
      UNSIGNED32 rc = AdsSkip(h, backwards ? -1 : 1);
      EXPECT_EQ(0u, rc) << LastErrorText();
      if (rc != 0 || out.size() > 10000) break;
    }
    return out;
  }

  // The records of an unfiltered walk of h for which the expression holds, each tested on its
  // own with AdsEvalLogicalExpr.
  std::vector<UNSIGNED32> Scan(ADSHANDLE h, ADSHANDLE t, const std::string& expr,
                               bool backwards = false) {
    std::vector<UNSIGNED32> all = Walk(h, t, backwards), out;
    for (UNSIGNED32 r : all) {
      EXPECT_EQ(0u, AdsGotoRecord(t, r));
      UNSIGNED16 holds = 0;
      EXPECT_EQ(0u, AdsEvalLogicalExpr(t, U(expr), &holds)) << expr << " " << LastErrorText();
      if (holds) out.push_back(r);
    }
    return out;
  }
};

}  // namespace filter_test
