// Optimized filters through the C API: every kind and optimization level gives the records a
// scan gives, in record and index order, on ADT and CDX tables; the levels and the part the
// indexes leave; what each kind does when records change; customizing, refreshing, clearing;
// the text getters with 8-bit and UTF-16 buffers.
#include <string>
#include <vector>

#include "tests/engine/filter/filter_fixture.h"

namespace {

using namespace filter_test;

struct LevelCase {
  const char* filter;
  UNSIGNED16 level;
};

// With indexes on NAME, UPPER(ORT), NR and AKTIV.
const LevelCase kCases[] = {
    {"NAME = 'Mei'", ADS_OPTIMIZED_FULL},
    {"NAME = 'Meier' .OR. NR >= 90", ADS_OPTIMIZED_FULL},
    {"UPPER(ORT) = 'BONN' .AND. AKTIV", ADS_OPTIMIZED_FULL},
    {"NR < 30 .AND. ORT = 'Essen'", ADS_OPTIMIZED_PART},
    {"(NAME >= 'S' .OR. NR = 5) .AND. 'e' $ ORT", ADS_OPTIMIZED_PART},
    {".NOT. AKTIV .AND. NR > 50", ADS_OPTIMIZED_FULL},
    {"ORT = 'Bonn'", ADS_OPTIMIZED_NONE},
    {"NAME <> 'Meier'", ADS_OPTIMIZED_NONE},
    {".NOT. (NAME = 'Mei')", ADS_OPTIMIZED_NONE},
    {"NAME = 'Meierxxxxxxxxx' .OR. NR = 1", ADS_OPTIMIZED_NONE},
};

const UNSIGNED16 kKinds[] = {ADS_DYNAMIC_AOF, ADS_KEYSET_AOF, ADS_FIXED_AOF};

class AofResults : public FilterTest, public ::testing::WithParamInterface<UNSIGNED16> {};

TEST_P(AofResults, EveryKindAndLevelEqualsAScan) {
  ADSHANDLE t = MakeKinder(GetParam());
  ADSHANDLE by_name = Index(t, "BYNAME", "NAME");
  Index(t, "BYORT", "UPPER(ORT)");
  ADSHANDLE by_nr = Index(t, "BYNR", "NR", ADS_DESCENDING);
  Index(t, "BYAKTIV", "AKTIV");
  for (const LevelCase& c : kCases) {
    SCOPED_TRACE(c.filter);
    UNSIGNED16 level = 0;
    ASSERT_ACE(AdsEvalAOF(t, U(c.filter), &level));
    EXPECT_EQ(c.level, level);
    std::vector<std::vector<UNSIGNED32>> expected;
    for (ADSHANDLE h : {t, by_name, by_nr}) expected.push_back(Scan(h, t, c.filter));
    expected.push_back(Scan(t, t, c.filter, true));
    for (UNSIGNED16 kind : kKinds) {
      for (UNSIGNED16 resolve : {ADS_RESOLVE_IMMEDIATE, ADS_RESOLVE_DYNAMIC}) {
        SCOPED_TRACE("kind " + std::to_string(kind) + " resolve " + std::to_string(resolve));
        ASSERT_ACE(AdsSetAOF(t, U(c.filter), static_cast<UNSIGNED16>(kind | resolve)));
        EXPECT_EQ(expected[0], Walk(t, t));
        EXPECT_EQ(expected[1], Walk(by_name, t));
        EXPECT_EQ(expected[2], Walk(by_nr, t));
        EXPECT_EQ(expected[3], Walk(t, t, true));
        UNSIGNED16 got = 0;
        ASSERT_ACE(AdsGetAOFOptLevel(t, &got, nullptr, nullptr));
        EXPECT_EQ(c.level, got);
        UNSIGNED32 count = 0;
        ASSERT_ACE(AdsGetRecordCount(t, ADS_RESPECTFILTERS, &count));
        EXPECT_EQ(expected[0].size(), count);
        ASSERT_ACE(AdsClearAOF(t));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Types, AofResults, ::testing::Values(ADS_ADT, ADS_CDX));

TEST_F(FilterTest, AofLevelNamesThePartTheIndexesLeave) {
  ADSHANDLE t = MakeKinder(ADS_CDX);
  Index(t, "BYNR", "NR");
  ASSERT_ACE(AdsSetAOF(t, U("NR < 30 .AND. ORT = 'Essen'"), ADS_RESOLVE_IMMEDIATE));
  UNSIGNED16 level = 0;
  UNSIGNED8 buf[128];
  UNSIGNED16 len = 0;
  EXPECT_EQ(5005u, AdsGetAOFOptLevel(t, &level, nullptr, &len));
  EXPECT_EQ(ADS_OPTIMIZED_PART, level);
  ASSERT_GT(len, 0);
  len = sizeof buf;
  ASSERT_ACE(AdsGetAOFOptLevel(t, &level, buf, &len));
  const std::string part(reinterpret_cast<char*>(buf), len);
  EXPECT_NE(std::string::npos, part.find("ORT")) << part;
  EXPECT_EQ(std::string::npos, part.find("NR")) << part;

  char16_t wide[64];
  UNSIGNED32 wlen = 64;
  ASSERT_ACE(AdsGetAOFOptLevel100(t, &level, wide, &wlen, ADS_ENCODE_UTF16));
  EXPECT_EQ(part.size(), wlen);
  EXPECT_EQ(u'O', wide[part.find('O')]);

  ASSERT_ACE(AdsSetAOF(t, U("NR = 7"), ADS_RESOLVE_IMMEDIATE));
  len = sizeof buf;
  ASSERT_ACE(AdsGetAOFOptLevel(t, &level, buf, &len));
  EXPECT_EQ(ADS_OPTIMIZED_FULL, level);
  EXPECT_EQ(0, len);
}

TEST_F(FilterTest, KindsDifferWhenRecordsChange) {
  ADSHANDLE t = MakeKinder(ADS_ADT);
  Index(t, "BYNAME", "NAME");
  const char* f = "NAME = 'Zander'";
  std::vector<UNSIGNED32> before = Scan(t, t, f);
  ASSERT_GE(before.size(), 2u);
  ADSHANDLE views[3] = {};
  for (int i = 0; i < 3; ++i) {
    ASSERT_ACE(Open("kinder", ADS_ADT, &views[i]));
    ASSERT_ACE(AdsSetAOF(views[i], U(f), kKinds[i] | ADS_RESOLVE_IMMEDIATE));
  }
  // One member changes its name; one new record qualifies.
  ASSERT_ACE(AdsGotoRecord(t, before[0]));
  Set(t, "NAME", "Abel");
  ASSERT_ACE(AdsWriteRecord(t));
  ASSERT_ACE(AdsAppendRecord(t));
  Set(t, "NAME", "Zander");
  ASSERT_ACE(AdsWriteRecord(t));
  const UNSIGNED32 added = RecNo(t);

  std::vector<UNSIGNED32> now = Scan(t, t, f);
  std::vector<UNSIGNED32> keyset(before.begin() + 1, before.end());
  EXPECT_EQ(now, Walk(views[0], views[0]));     // dynamic: as the records are now
  EXPECT_EQ(keyset, Walk(views[1], views[1]));  // keyset: old members still passing
  EXPECT_EQ(before, Walk(views[2], views[2]));  // fixed: the old set
  UNSIGNED16 in = 9;
  ASSERT_ACE(AdsIsRecordInAOF(views[0], added, &in));
  EXPECT_EQ(1, in);
  ASSERT_ACE(AdsIsRecordInAOF(views[2], added, &in));
  EXPECT_EQ(0, in);
  ASSERT_ACE(AdsIsRecordInAOF(views[2], before[0], &in));
  EXPECT_EQ(1, in);
  // Refreshing takes the records as they are now.
  ASSERT_ACE(AdsRefreshAOF(views[2]));
  EXPECT_EQ(now, Walk(views[2], views[2]));
  for (ADSHANDLE v : views) AdsCloseTable(v);
}

TEST_F(FilterTest, CustomizedRecordsStayInOrOut) {
  ADSHANDLE t = MakeKinder(ADS_CDX);
  const char* f = "NR = 37";
  std::vector<UNSIGNED32> base = Scan(t, t, f);
  ASSERT_FALSE(base.empty());
  for (UNSIGNED16 kind : kKinds) {
    SCOPED_TRACE(kind);
    ASSERT_ACE(AdsSetAOF(t, U(f), kind | ADS_RESOLVE_IMMEDIATE));
    UNSIGNED32 extra[] = {2, 4};
    ASSERT_ACE(AdsCustomizeAOF(t, 2, extra, ADS_AOF_ADD_RECORD));
    UNSIGNED32 drop = base[0];
    ASSERT_ACE(AdsCustomizeAOF(t, 1, &drop, ADS_AOF_REMOVE_RECORD));
    std::vector<UNSIGNED32> expected = {2, 4};
    expected.insert(expected.end(), base.begin() + 1, base.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, Walk(t, t));
    // Toggling twice puts a record back as it was.
    ASSERT_ACE(AdsCustomizeAOF(t, 1, &drop, ADS_AOF_TOGGLE_RECORD));
    UNSIGNED16 in = 0;
    ASSERT_ACE(AdsIsRecordInAOF(t, drop, &in));
    EXPECT_EQ(1, in);
    UNSIGNED32 outside = kRecords + 1;
    EXPECT_EQ(5022u, AdsCustomizeAOF(t, 1, &outside, ADS_AOF_ADD_RECORD));
    EXPECT_EQ(5003u, AdsCustomizeAOF(t, 1, &drop, 7));
    ASSERT_ACE(AdsRefreshAOF(t));
    EXPECT_EQ(base, Walk(t, t));
    ASSERT_ACE(AdsClearAOF(t));
  }
}

TEST_F(FilterTest, AofTogetherWithPlainFilterAndAfterPack) {
  ADSHANDLE t = MakeKinder(ADS_CDX);
  ADSHANDLE by_nr = Index(t, "BYNR", "NR");
  ASSERT_ACE(AdsSetFilter(t, U("AKTIV")));
  ASSERT_ACE(AdsSetAOF(t, U("NR > 40"), ADS_FIXED_AOF | ADS_RESOLVE_IMMEDIATE));
  ASSERT_ACE(AdsClearFilter(t));
  ASSERT_ACE(AdsClearAOF(t));
  std::vector<UNSIGNED32> both = Scan(by_nr, t, "AKTIV .AND. NR > 40");
  ASSERT_ACE(AdsSetFilter(t, U("AKTIV")));
  ASSERT_ACE(AdsSetAOF(t, U("NR > 40"), ADS_FIXED_AOF | ADS_RESOLVE_IMMEDIATE));
  EXPECT_EQ(both, Walk(by_nr, t));
  ASSERT_ACE(AdsClearFilter(t));
  AdsCloseTable(t);

  // Pack renumbers the records: the set is taken again.
  ASSERT_ACE(Open("kinder", ADS_CDX, &t, ADS_EXCLUSIVE));
  ASSERT_ACE(AdsSetAOF(t, U("NR > 40"), ADS_FIXED_AOF | ADS_RESOLVE_IMMEDIATE));
  ASSERT_ACE(AdsPackTable(t));
  ASSERT_ACE(AdsClearAOF(t));
  std::vector<UNSIGNED32> packed = Scan(t, t, "NR > 40");
  ASSERT_ACE(AdsSetAOF(t, U("NR > 40"), ADS_FIXED_AOF | ADS_RESOLVE_IMMEDIATE));
  ASSERT_ACE(AdsPackTable(t));
  EXPECT_EQ(packed, Walk(t, t));
}

TEST_F(FilterTest, AofTextsOptionsAndMissingFilter) {
  ADSHANDLE t = MakeKinder(ADS_ADT);
  UNSIGNED16 len = 0;
  UNSIGNED16 flag = 0;
  EXPECT_EQ(5037u, AdsGetAOF(t, nullptr, &len));
  EXPECT_EQ(5037u, AdsClearAOF(t));
  EXPECT_EQ(5037u, AdsRefreshAOF(t));
  EXPECT_EQ(5037u, AdsIsRecordInAOF(t, 1, &flag));
  EXPECT_EQ(5003u, AdsSetAOF(t, U("AKTIV"), ADS_KEYSET_AOF | ADS_FIXED_AOF));
  EXPECT_EQ(5003u, AdsSetAOF(t, U("AKTIV"), ADS_RESOLVE_IMMEDIATE | ADS_RESOLVE_DYNAMIC));
  EXPECT_EQ(5040u, AdsSetAOF(t, U("NAME = "), 0));
  EXPECT_NE(std::string::npos, LastErrorText().find("position")) << LastErrorText();
  EXPECT_EQ(5040u, AdsSetAOF(t, U("NR"), 0));
  EXPECT_EQ(5037u, AdsGetAOF(t, nullptr, &len));

  const std::u16string wide = u"NAME = 'Müller' .OR. AKTIV";
  ASSERT_ACE(AdsSetAOF100(t, wide.c_str(), ADS_ENCODE_UTF16 | ADS_KEYSET_AOF));
  len = 0;
  EXPECT_EQ(5005u, AdsGetAOF(t, nullptr, &len));
  EXPECT_EQ(wide.size(), len);
  UNSIGNED8 buf[64];
  len = sizeof buf;
  ASSERT_ACE(AdsGetAOF(t, buf, &len));
  EXPECT_EQ("NAME = 'M\xFCller' .OR. AKTIV", std::string(reinterpret_cast<char*>(buf), len));
  char16_t back[64];
  UNSIGNED32 wlen = 5;
  EXPECT_EQ(5005u, AdsGetAOF100(t, ADS_ENCODE_UTF16, back, &wlen));
  EXPECT_EQ(wide.size(), wlen);
  wlen = 64;
  ASSERT_ACE(AdsGetAOF100(t, ADS_ENCODE_UTF16, back, &wlen));
  EXPECT_EQ(wide, std::u16string(back, wlen));
  ASSERT_ACE(AdsGotoTop(t));
  EXPECT_EQ(0u, AdsIsRecordInAOF(t, 0, &flag));
  EXPECT_EQ(1, flag);
}

}  // namespace
