// Navigation in natural order through the C API: BOF/EOF edges on empty tables, skipping over
// deleted records with show-deleted off and on, counts, record numbers, bookmarks, relative
// positions and pending changes that a move writes.
#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

class NavigationTest : public ApiTest, public ::testing::WithParamInterface<UNSIGNED16> {
 protected:
  // A table with records N = 1..count; the records in deleted are marked deleted.
  ADSHANDLE Fill(int count, std::initializer_list<int> deleted) {
    ADSHANDLE t = Create("nav", GetParam(), "N,Num,5,0;");
    for (int i = 1; i <= count; ++i) AppendText(t, "N", std::to_string(i));
    for (int recno : deleted) {
      EXPECT_ACE(AdsGotoRecord(t, recno));
      EXPECT_ACE(AdsDeleteRecord(t));
    }
    EXPECT_ACE(AdsGotoTop(t));
    return t;
  }
  UNSIGNED16 Bof(ADSHANDLE t) {
    UNSIGNED16 v = 9;
    EXPECT_ACE(AdsAtBOF(t, &v));
    return v;
  }
  UNSIGNED16 Eof(ADSHANDLE t) {
    UNSIGNED16 v = 9;
    EXPECT_ACE(AdsAtEOF(t, &v));
    return v;
  }
  UNSIGNED32 RecNo(ADSHANDLE t, UNSIGNED16 option = ADS_IGNOREFILTERS) {
    UNSIGNED32 v = 99;
    EXPECT_ACE(AdsGetRecordNum(t, option, &v));
    return v;
  }
  UNSIGNED32 Count(ADSHANDLE t, UNSIGNED16 option) {
    UNSIGNED32 v = 99;
    EXPECT_ACE(AdsGetRecordCount(t, option, &v));
    return v;
  }
  // The N values visited from top to bottom.
  std::string Walk(ADSHANDLE t) {
    std::string seen;
    EXPECT_ACE(AdsGotoTop(t));
    while (!Eof(t)) {
      seen += Text(t, "N") + " ";
      EXPECT_ACE(AdsSkip(t, 1));
    }
    return seen;
  }
};

TEST_P(NavigationTest, EmptyTableIsAtBothEnds) {
  ADSHANDLE t = Create("leer", GetParam(), "N,Num,5,0;");
  for (auto move : {AdsGotoTop, AdsGotoBottom, AdsGotoEOF, AdsGotoBOF}) {
    ASSERT_ACE(move(t));
    EXPECT_EQ(1, Bof(t));
    EXPECT_EQ(1, Eof(t));
  }
  EXPECT_ACE(AdsSkip(t, 1));
  EXPECT_ACE(AdsSkip(t, -1));
  EXPECT_EQ(1, Eof(t));
  EXPECT_EQ(0u, RecNo(t));
  EXPECT_EQ(0u, Count(t, ADS_RESPECTFILTERS));
  SIGNED32 n = 0;
  EXPECT_EQ(AE_NO_CURRENT_RECORD, AdsGetLong(t, U("N"), &n));
  UNSIGNED8 rec[64];
  UNSIGNED32 len = sizeof rec;
  EXPECT_EQ(AE_NO_CURRENT_RECORD, AdsGetRecord(t, rec, &len));
  ADSHANDLE bm = 0;
  EXPECT_EQ(AE_NO_CURRENT_RECORD, AdsGetBookmark(t, &bm));
  EXPECT_EQ(AE_INVALID_RECORD_NUMBER, AdsGotoRecord(t, 1));
  EXPECT_EQ(AE_NO_CURRENT_RECORD, AdsLockRecord(t, 0));
  DOUBLE pos = -1;
  EXPECT_ACE(AdsGetRelKeyPos(t, &pos));
  EXPECT_EQ(0.0, pos);
}

TEST_P(NavigationTest, DeletedRecordsAreSkippedUnlessShown) {
  ADSHANDLE t = Fill(6, {1, 4, 6});
  EXPECT_EQ("2 3 5 ", Walk(t));
  EXPECT_EQ(6u, Count(t, ADS_IGNOREFILTERS));
  EXPECT_EQ(3u, Count(t, ADS_RESPECTFILTERS));
  EXPECT_EQ(3u, Count(t, ADS_RESPECTSCOPES | ADS_REFRESHCOUNT));
  ASSERT_ACE(AdsGotoBottom(t));
  EXPECT_EQ("5", Text(t, "N"));
  EXPECT_EQ(5u, RecNo(t));
  EXPECT_EQ(3u, RecNo(t, ADS_RESPECTFILTERS));
  ASSERT_ACE(AdsSkip(t, -2));
  EXPECT_EQ("2", Text(t, "N"));
  ASSERT_ACE(AdsSkip(t, -1));
  EXPECT_EQ(1, Bof(t));
  EXPECT_EQ(0, Eof(t));
  ASSERT_ACE(AdsSkip(t, 1));
  EXPECT_EQ("2", Text(t, "N"));
  // A deleted record can still be reached by number; it is not visible.
  ASSERT_ACE(AdsGotoRecord(t, 4));
  UNSIGNED16 flag = 9;
  ASSERT_ACE(AdsIsRecordVisible(t, &flag));
  EXPECT_EQ(0, flag);
  ASSERT_ACE(AdsIsRecordDeleted(t, &flag));
  EXPECT_EQ(1, flag);

  ASSERT_ACE(AdsShowDeleted(1));
  ASSERT_ACE(AdsGetDeleted(&flag));
  EXPECT_EQ(1, flag);
  EXPECT_EQ("1 2 3 4 5 6 ", Walk(t));
  EXPECT_EQ(6u, Count(t, ADS_RESPECTFILTERS));
  ASSERT_ACE(AdsShowDeleted(0));

  ASSERT_ACE(AdsGotoRecord(t, 4));
  ASSERT_ACE(AdsRecallRecord(t));
  EXPECT_EQ("2 3 4 5 ", Walk(t));
}

TEST_P(NavigationTest, SkipsPastTheEndsAndRecordNumbersOutOfRange) {
  ADSHANDLE t = Fill(3, {});
  ASSERT_ACE(AdsSkip(t, 10));
  EXPECT_EQ(1, Eof(t));
  EXPECT_EQ(0, Bof(t));
  ASSERT_ACE(AdsSkip(t, -1));
  EXPECT_EQ("3", Text(t, "N"));
  ASSERT_ACE(AdsSkip(t, -10));
  EXPECT_EQ(1, Bof(t));
  ASSERT_ACE(AdsSkip(t, 2));
  EXPECT_EQ("2", Text(t, "N"));
  EXPECT_EQ(AE_INVALID_RECORD_NUMBER, AdsGotoRecord(t, 4));
  EXPECT_EQ(1, Eof(t));
  EXPECT_EQ(AE_INVALID_RECORD_NUMBER, AdsGotoRecord(t, 0));
  ASSERT_ACE(AdsGotoEOF(t));
  ASSERT_ACE(AdsSkip(t, -1));
  EXPECT_EQ("3", Text(t, "N"));
}

TEST_P(NavigationTest, BookmarksAndRelativePositions) {
  ADSHANDLE t = Fill(5, {});
  ASSERT_ACE(AdsGotoRecord(t, 2));
  UNSIGNED32 len = 0;
  ASSERT_ACE(AdsGetBookmarkLength(t, &len));
  ASSERT_EQ(static_cast<UNSIGNED32>(ADS_BOOKMARK_LENGTH), len);
  UNSIGNED8 first[ADS_BOOKMARK_LENGTH];
  UNSIGNED8 second[ADS_BOOKMARK_LENGTH];
  UNSIGNED32 short_len = 2;
  EXPECT_EQ(AE_INSUFFICIENT_BUFFER, AdsGetBookmark60(t, first, &short_len));
  EXPECT_EQ(len, short_len);
  ASSERT_ACE(AdsGetBookmark60(t, first, &len));
  ADSHANDLE bm = 0;
  ASSERT_ACE(AdsGetBookmark(t, &bm));
  EXPECT_EQ(2u, bm);
  ASSERT_ACE(AdsGotoBottom(t));
  ASSERT_ACE(AdsGetBookmark60(t, second, &len));
  SIGNED32 cmp = 0;
  ASSERT_ACE(AdsCompareBookmarks(first, second, &cmp));
  EXPECT_EQ(-1, cmp);
  ASSERT_ACE(AdsCompareBookmarks(second, first, &cmp));
  EXPECT_EQ(1, cmp);
  ASSERT_ACE(AdsCompareBookmarks(first, first, &cmp));
  EXPECT_EQ(0, cmp);
  EXPECT_EQ(AE_NULL_POINTER, AdsCompareBookmarks(first, nullptr, &cmp));
  ASSERT_ACE(AdsGotoBookmark(t, bm));
  EXPECT_EQ("2", Text(t, "N"));

  DOUBLE pos = -1;
  ASSERT_ACE(AdsGetRelKeyPos(t, &pos));
  EXPECT_DOUBLE_EQ(0.25, pos);
  ASSERT_ACE(AdsSetRelKeyPos(t, 0.75));
  EXPECT_EQ("4", Text(t, "N"));
  ASSERT_ACE(AdsSetRelKeyPos(t, 1.0));
  EXPECT_EQ("5", Text(t, "N"));
  ASSERT_ACE(AdsSetRelKeyPos(t, 0.0));
  EXPECT_EQ("1", Text(t, "N"));
}

TEST_P(NavigationTest, MovingWritesPendingChangesAndCancelDropsThem) {
  ADSHANDLE t = Fill(3, {});
  ASSERT_ACE(AdsSetField(t, U("N"), U("11"), 2));
  EXPECT_EQ("11", Text(t, "N"));  // the engine's copy has the change
  ASSERT_ACE(AdsSkip(t, 1));
  ASSERT_ACE(AdsSetField(t, U("N"), U("22"), 2));
  ASSERT_ACE(AdsCancelUpdate(t));
  EXPECT_EQ("2", Text(t, "N"));
  ASSERT_ACE(AdsAppendRecord(t));
  ASSERT_ACE(AdsSetField(t, U("N"), U("44"), 2));
  EXPECT_EQ(0u, RecNo(t));
  ASSERT_ACE(AdsCancelUpdate(t));  // the new record is not written
  EXPECT_EQ(3u, Count(t, ADS_IGNOREFILTERS));
  ASSERT_ACE(AdsAppendRecord(t));
  ASSERT_ACE(AdsSetField(t, U("N"), U("55"), 2));
  ASSERT_ACE(AdsGotoTop(t));  // the move writes the new record
  EXPECT_EQ("11 2 3 55 ", Walk(t));
  ASSERT_ACE(AdsGotoRecord(t, 1));
  ASSERT_ACE(AdsSetField(t, U("N"), U("12"), 2));
  ASSERT_ACE(AdsRefreshRecord(t));
  EXPECT_EQ("11", Text(t, "N"));
}

INSTANTIATE_TEST_SUITE_P(Formats, NavigationTest, ::testing::Values(ADS_ADT, ADS_CDX),
                         [](const auto& info) {
                           return std::string(info.param == ADS_ADT ? "Adt" : "Cdx");
                         });

}  // namespace
}  // namespace ace_api_test
