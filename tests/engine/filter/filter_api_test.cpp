// Plain filters through the C API: filtered walks in both directions equal a scan of every
// record on ADT and CDX tables, in record and index order; the exact setting; refused
// expressions keep the previous filter and name the position; the text getters' buffers.
#include <string>
#include <vector>

#include "tests/engine/filter/filter_fixture.h"

namespace {

using namespace filter_test;

const char* const kFilters[] = {
    "NAME = 'Mei'",
    "UPPER(NAME) = 'MEIER' .AND. NR > 20",
    "ORT = 'Bonn' .OR. AKTIV",
    ".NOT. AKTIV .AND. GEBURT >= STOD('20100601')",
    "NR % 2 = 0 .AND. 'e' $ NAME",
    "NAME <> 'Meier'",
};

class PlainFilter : public FilterTest, public ::testing::WithParamInterface<UNSIGNED16> {};

TEST_P(PlainFilter, WalksEqualAScanInRecordAndIndexOrder) {
  ADSHANDLE t = MakeKinder(GetParam());
  ADSHANDLE by_name = Index(t, "BYNAME", "NAME");
  ADSHANDLE by_nr = Index(t, "BYNR", "NR", ADS_DESCENDING);
  for (const char* f : kFilters) {
    SCOPED_TRACE(f);
    std::vector<std::vector<UNSIGNED32>> expected;
    for (ADSHANDLE h : {t, by_name, by_nr}) {
      expected.push_back(Scan(h, t, f));
      expected.push_back(Scan(h, t, f, true));
    }
    ASSERT_FALSE(expected[0].empty());
    ASSERT_LT(expected[0].size(), static_cast<size_t>(kRecords));
    ASSERT_ACE(AdsSetFilter(t, U(f)));
    size_t i = 0;
    for (ADSHANDLE h : {t, by_name, by_nr}) {
      EXPECT_EQ(expected[i++], Walk(h, t));
      EXPECT_EQ(expected[i++], Walk(h, t, true));
    }
    UNSIGNED32 count = 0;
    ASSERT_ACE(AdsGetRecordCount(t, ADS_RESPECTFILTERS, &count));
    EXPECT_EQ(expected[0].size(), count);
    ASSERT_ACE(AdsClearFilter(t));
  }
}

INSTANTIATE_TEST_SUITE_P(Types, PlainFilter, ::testing::Values(ADS_ADT, ADS_CDX));

TEST_F(FilterTest, ExactSettingDecidesPartialStringMatches) {
  ADSHANDLE t = MakeKinder(ADS_CDX);
  UNSIGNED16 exact = 9;
  ASSERT_ACE(AdsGetExact22(t, &exact));
  EXPECT_EQ(0, exact);
  ASSERT_ACE(AdsSetFilter(t, U("NAME = 'Mei'")));
  std::vector<UNSIGNED32> partial = Walk(t, t);
  ASSERT_ACE(AdsSetExact22(t, 1));
  ASSERT_ACE(AdsGetExact22(t, &exact));
  EXPECT_EQ(1, exact);
  std::vector<UNSIGNED32> whole = Walk(t, t);
  EXPECT_LT(whole.size(), partial.size());
  for (UNSIGNED32 r : whole) {
    ASSERT_ACE(AdsGotoRecord(t, r));
    EXPECT_EQ("Mei", Text(t, "NAME"));
  }
  // Partial: Mei, Meier and Meiners all start with Mei.
  std::vector<std::string> names;
  ASSERT_ACE(AdsSetExact22(t, 0));
  for (UNSIGNED32 r : partial) {
    ASSERT_ACE(AdsGotoRecord(t, r));
    names.push_back(Text(t, "NAME"));
  }
  EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "Meiners"));
  EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), "meier"));
}

TEST_F(FilterTest, RefusedFilterNamesThePositionAndKeepsThePreviousOne) {
  ADSHANDLE t = MakeKinder(ADS_ADT);
  ASSERT_ACE(AdsSetFilter(t, U("AKTIV")));
  std::vector<UNSIGNED32> before = Walk(t, t);
  EXPECT_EQ(5040u, AdsSetFilter(t, U("NR > > 3")));
  EXPECT_NE(std::string::npos, LastErrorText().find("position 6")) << LastErrorText();
  EXPECT_EQ(5040u, AdsSetFilter(t, U("NOSUCHFIELD = 1")));
  EXPECT_NE(std::string::npos, LastErrorText().find("position 1")) << LastErrorText();
  EXPECT_EQ(5040u, AdsSetFilter(t, U("NR + 1")));  // not logical
  UNSIGNED8 buf[64];
  UNSIGNED16 len = sizeof buf;
  ASSERT_ACE(AdsGetFilter(t, buf, &len));
  EXPECT_EQ("AKTIV", std::string(reinterpret_cast<char*>(buf), len));
  EXPECT_EQ(before, Walk(t, t));
}

TEST_F(FilterTest, FilterTextGettersAndClearing) {
  ADSHANDLE t = MakeKinder(ADS_CDX);
  UNSIGNED8 buf[128];
  UNSIGNED16 len = 0;
  EXPECT_EQ(5037u, AdsGetFilter(t, nullptr, &len));
  EXPECT_EQ(5037u, AdsClearFilter(t));
  const std::string text = "ORT = 'Bonn' .AND. NR < 50";
  ASSERT_ACE(AdsSetFilter(t, U(text)));
  len = 0;
  EXPECT_EQ(5005u, AdsGetFilter(t, nullptr, &len));
  EXPECT_EQ(text.size(), len);
  len = 5;
  buf[5] = 0x55;
  EXPECT_EQ(5005u, AdsGetFilter(t, buf, &len));
  EXPECT_EQ(0x55, buf[5]);
  len = sizeof buf;
  ASSERT_ACE(AdsGetFilter(t, buf, &len));
  EXPECT_EQ(text, std::string(reinterpret_cast<char*>(buf), len));
  ASSERT_ACE(AdsClearFilter(t));
  EXPECT_EQ(5037u, AdsGetFilter(t, buf, &len));
  UNSIGNED32 count = 0;
  ASSERT_ACE(AdsGetRecordCount(t, ADS_RESPECTFILTERS, &count));
  EXPECT_EQ(static_cast<UNSIGNED32>(kRecords - kRecords / 17), count);
}

TEST_F(FilterTest, Utf16FilterTextIsConverted) {
  ADSHANDLE t = MakeKinder(ADS_ADT);
  const std::u16string wide = u"NAME = 'Müller'";
  ASSERT_ACE(AdsSetFilter100(t, wide.c_str(), ADS_ENCODE_UTF16));
  std::vector<UNSIGNED32> rows = Walk(t, t);
  ASSERT_FALSE(rows.empty());
  for (UNSIGNED32 r : rows) {
    ASSERT_ACE(AdsGotoRecord(t, r));
    EXPECT_EQ("M\xFCller", Text(t, "NAME"));
  }
  // Without the option the text is 8-bit.
  ASSERT_ACE(AdsSetFilter100(t, "NAME = 'Abel'", 0));
  EXPECT_FALSE(Walk(t, t).empty());
  EXPECT_EQ(5003u, AdsSetFilter100(t, "AKTIV", 4));
}

}  // namespace
