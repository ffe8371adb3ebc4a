// The record cache of shared skips (AdsCacheRecords) between two connections of this process:
// how late another user's changes may show on a skip, what always reads the file (locks,
// refreshes, CRCs, other moves) and that a cached skip does not stop short of records other
// users appended.
#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

class RecordCacheTest : public ApiTest, public ::testing::WithParamInterface<UNSIGNED16> {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    ADSHANDLE t = Create("kinder", GetParam(), "N,Numeric,8,0;M,Numeric,8,0;");
    for (int i = 1; i <= kRecords; ++i) {
      ASSERT_ACE(AdsAppendRecord(t));
      ASSERT_ACE(AdsSetLong(t, U("N"), i));
      ASSERT_ACE(AdsWriteRecord(t));
    }
    ASSERT_ACE(AdsCloseTable(t));
    ASSERT_ACE(AdsConnect(U(dir_), &other_));
    ASSERT_ACE(Open("kinder", GetParam(), &reader_));
    ASSERT_ACE(Open("kinder", GetParam(), &writer_, 0, other_));
  }
  void TearDown() override {
    if (other_ != 0) AdsDisconnect(other_);
    ApiTest::TearDown();
  }

  // The other user sets record recno's N and writes it.
  void Change(UNSIGNED32 recno, SIGNED32 value) {
    ASSERT_ACE(AdsGotoRecord(writer_, recno));
    ASSERT_ACE(AdsSetLong(writer_, U("N"), value));
    ASSERT_ACE(AdsWriteRecord(writer_));
  }
  void Append(SIGNED32 value) {
    ASSERT_ACE(AdsAppendRecord(writer_));
    ASSERT_ACE(AdsSetLong(writer_, U("N"), value));
    ASSERT_ACE(AdsWriteRecord(writer_));
  }
  SIGNED32 N() {
    SIGNED32 v = -1;
    EXPECT_ACE(AdsGetLong(reader_, U("N"), &v));
    return v;
  }
  UNSIGNED32 RecNo() {
    UNSIGNED32 v = 0;
    EXPECT_ACE(AdsGetRecordNum(reader_, ADS_IGNOREFILTERS, &v));
    return v;
  }
  // Skips one record at a time until record recno; answers N there.
  SIGNED32 SkipTo(UNSIGNED32 recno) {
    while (RecNo() < recno) EXPECT_ACE(AdsSkip(reader_, 1));
    EXPECT_EQ(recno, RecNo());
    return N();
  }

  static constexpr int kRecords = 30;
  ADSHANDLE other_ = 0;
  ADSHANDLE reader_ = 0;
  ADSHANDLE writer_ = 0;
};

TEST_P(RecordCacheTest, WithoutACacheEverySkipSeesTheOtherUsersChanges) {
  for (UNSIGNED16 records : {0, 1}) {
    ASSERT_ACE(AdsCacheRecords(reader_, records));
    ASSERT_ACE(AdsGotoTop(reader_));
    for (UNSIGNED32 recno = 2; recno <= 6; ++recno) {
      Change(recno, 1000 * (records + 1) + recno);
      EXPECT_EQ(1000 * (records + 1) + static_cast<SIGNED32>(recno), SkipTo(recno))
          << "cache " << records << ", record " << recno;
    }
  }
}

TEST_P(RecordCacheTest, ACachedSkipSeesAChangeWithinTheCachesNumberOfRecords) {
  // The standard cache and a larger one: a change ahead of the reader shows at the latest
  // once the reader has skipped the cache's number of records past its last look at the file.
  int round = 0;
  for (UNSIGNED16 records : {UNSIGNED16{0}, UNSIGNED16{10}, UNSIGNED16{4}}) {
    ++round;
    if (records != 0) {
      ASSERT_ACE(AdsCacheRecords(reader_, records));
    }
    const UNSIGNED16 cache = records == 0 ? 10 : records;  // 0 here: the default, not set
    ASSERT_ACE(AdsGotoTop(reader_));
    const UNSIGNED32 target = 1 + cache;
    Change(target, 7000 + round);
    EXPECT_EQ(7000 + round, SkipTo(target)) << "cache of " << cache;
  }
}

TEST_P(RecordCacheTest, LocksRefreshesAndChecksumsReadTheRecordAsTheFileHoldsIt) {
  ASSERT_ACE(AdsCacheRecords(reader_, 100));
  ASSERT_ACE(AdsGotoTop(reader_));
  Change(2, 222);
  Change(3, 333);
  Change(4, 444);
  ASSERT_ACE(AdsSkip(reader_, 1));
  ASSERT_ACE(AdsRefreshRecord(reader_));
  EXPECT_EQ(222, N());

  ASSERT_ACE(AdsSkip(reader_, 1));
  UNSIGNED32 fresh = 0, held = 0;
  ASSERT_ACE(AdsGetRecordCRC(reader_, &fresh, 0));
  ASSERT_ACE(AdsGotoRecord(writer_, 3));
  ASSERT_ACE(AdsGetRecordCRC(writer_, &held, 0));
  EXPECT_EQ(held, fresh);  // the checksum an optimistic post compares is the file's
  ASSERT_ACE(AdsLockRecord(reader_, 0));
  EXPECT_EQ(333, N());
  // A change under the lock starts from the other user's values and keeps them.
  ASSERT_ACE(AdsSetLong(reader_, U("M"), 3));
  ASSERT_ACE(AdsWriteRecord(reader_));
  ASSERT_ACE(AdsUnlockRecord(reader_, 0));

  // Moves other than skips look at the file.
  ASSERT_ACE(AdsGotoRecord(reader_, 4));
  EXPECT_EQ(444, N());
  Change(1, 111);
  ASSERT_ACE(AdsGotoTop(reader_));
  EXPECT_EQ(111, N());
  ASSERT_ACE(AdsGotoRecord(writer_, 3));
  SIGNED32 kept = 0, added = 0;
  ASSERT_ACE(AdsGetLong(writer_, U("N"), &kept));
  ASSERT_ACE(AdsGetLong(writer_, U("M"), &added));
  EXPECT_EQ(333, kept);
  EXPECT_EQ(3, added);
}

TEST_P(RecordCacheTest, ACachedSkipGoesOnIntoRecordsAppendedSince) {
  ASSERT_ACE(AdsCacheRecords(reader_, 100));
  for (int forward : {1, 0}) {
    SCOPED_TRACE(forward ? "forward" : "backward");
    if (forward) {
      ASSERT_ACE(AdsGotoRecord(reader_, kRecords - 3));  // looks at the file
      Append(kRecords + 1);
      Append(kRecords + 2);
      std::vector<SIGNED32> seen;
      UNSIGNED16 eof = 0;
      for (;;) {
        ASSERT_ACE(AdsSkip(reader_, 1));
        ASSERT_ACE(AdsAtEOF(reader_, &eof));
        if (eof) break;
        seen.push_back(N());
      }
      EXPECT_EQ((std::vector<SIGNED32>{kRecords - 2, kRecords - 1, kRecords, kRecords + 1,
                                        kRecords + 2}),
                seen);
    } else {
      // From EOF the skip back looks at the file, so the newest record comes first.
      Append(kRecords + 3);
      ASSERT_ACE(AdsSkip(reader_, -1));
      EXPECT_EQ(kRecords + 3, N());
    }
  }
}

TEST_P(RecordCacheTest, ALongSkipCountsAllItsRecordsAgainstTheCache) {
  ASSERT_ACE(AdsGotoTop(reader_));
  Change(12, 1212);
  ASSERT_ACE(AdsSkip(reader_, 11));  // eleven records: more than the standard cache holds
  EXPECT_EQ(12u, RecNo());
  EXPECT_EQ(1212, N());
  EXPECT_EQ(AE_SUCCESS, AdsCacheRecords(reader_, 65535));
  EXPECT_EQ(AE_INVALID_HANDLE, AdsCacheRecords(0, 10));
}

INSTANTIATE_TEST_SUITE_P(Formats, RecordCacheTest, ::testing::Values(ADS_ADT, ADS_CDX),
                         [](const auto& info) { return info.param == ADS_ADT ? "ADT" : "CDX"; });

}  // namespace
}  // namespace ace_api_test
