// The record checksum (AdsGetRecordCRC), which the components compare to report "Record was
// changed by another user.": it changes exactly when the record's content changes, whoever
// changed it, memo contents included, and not when the same content is written again (also
// when a memo moves to other blocks) nor when another record changes.
#include <cstring>
#include <string>

#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

class RecordCrcTest : public ApiTest, public ::testing::WithParamInterface<UNSIGNED16> {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    ADSHANDLE t = Create("crc", GetParam(), "NAME,Char,12;N,Numeric,6,0;NOTE,Memo;");
    for (int i = 1; i <= 3; ++i) {
      ASSERT_ACE(AdsAppendRecord(t));
      ASSERT_ACE(AdsSetField(t, U("NAME"), U("name" + std::to_string(i)), 5));
      ASSERT_ACE(AdsSetLong(t, U("N"), i));
      SetNote(t, "note " + std::to_string(i));
    }
    ASSERT_ACE(AdsCloseTable(t));
    ASSERT_ACE(Open("crc", GetParam(), &mine_));
    ASSERT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &other_conn_));
    ASSERT_ACE(Open("crc", GetParam(), &theirs_, 0, other_conn_));
  }
  void TearDown() override {
    if (other_conn_ != 0) AdsDisconnect(other_conn_);
    ApiTest::TearDown();
  }

  void SetNote(ADSHANDLE t, const std::string& note) {
    ASSERT_ACE(AdsSetString(t, U("NOTE"), U(note), static_cast<UNSIGNED32>(note.size())));
  }
  // The stored record's checksum, as the components take it (option 0), read by this user.
  UNSIGNED32 Crc(UNSIGNED32 recno) {
    UNSIGNED32 crc = 0;
    EXPECT_ACE(AdsGotoRecord(mine_, recno));
    EXPECT_ACE(AdsGetRecordCRC(mine_, &crc, 0));
    return crc;
  }
  // Another user changes a record and writes it.
  void TheyWrite(UNSIGNED32 recno, const char* name, const std::string& note) {
    ASSERT_ACE(AdsGotoRecord(theirs_, recno));
    if (name != nullptr) {
      ASSERT_ACE(AdsSetField(theirs_, U("NAME"), U(name), static_cast<UNSIGNED32>(strlen(name))));
    }
    if (!note.empty()) SetNote(theirs_, note);
    ASSERT_ACE(AdsWriteRecord(theirs_));
  }

  ADSHANDLE mine_ = 0;
  ADSHANDLE theirs_ = 0;
  ADSHANDLE other_conn_ = 0;
};

TEST_P(RecordCrcTest, ChangesExactlyWhenTheRecordsContentChanges) {
  const UNSIGNED32 first = Crc(1);
  const UNSIGNED32 second = Crc(2);
  EXPECT_NE(first, second);
  EXPECT_EQ(first, Crc(1));  // reading again

  // The same content written again, by either user.
  TheyWrite(1, "name1", "note 1");
  EXPECT_EQ(first, Crc(1));
  ASSERT_ACE(AdsGotoRecord(mine_, 1));
  ASSERT_ACE(AdsSetField(mine_, U("NAME"), U("name1"), 5));
  ASSERT_ACE(AdsWriteRecord(mine_));
  EXPECT_EQ(first, Crc(1));

  // Another record changes.
  TheyWrite(2, "changed", "");
  EXPECT_EQ(first, Crc(1));
  EXPECT_NE(second, Crc(2));

  // This record changes: a field, then back to the old content.
  ASSERT_ACE(AdsGotoRecord(mine_, 1));  // this user's copy is read before the change
  TheyWrite(1, "other", "");
  UNSIGNED32 now = 0;
  ASSERT_ACE(AdsGetRecordCRC(mine_, &now, 0));
  EXPECT_NE(first, now) << "the stored record is compared, not this user's copy";
  TheyWrite(1, "name1", "");
  EXPECT_EQ(first, Crc(1));

  // Only the memo changes (its pointer may well stay the same), then back.
  TheyWrite(1, nullptr, "note X");
  EXPECT_NE(first, Crc(1));
  TheyWrite(1, nullptr, std::string(3000, 'm'));  // moves to blocks of its own
  const UNSIGNED32 long_note = Crc(1);
  EXPECT_NE(first, long_note);
  TheyWrite(1, nullptr, "note 1");
  EXPECT_EQ(first, Crc(1)) << "the same memo content in other blocks";

  // The deletion mark is content too.
  ASSERT_ACE(AdsGotoRecord(theirs_, 1));
  ASSERT_ACE(AdsDeleteRecord(theirs_));
  EXPECT_NE(first, Crc(1));
  ASSERT_ACE(AdsRecallRecord(theirs_));
  EXPECT_EQ(first, Crc(1));
}

TEST_P(RecordCrcTest, WithPendingChangesTheCopyIsSummed) {
  const UNSIGNED32 first = Crc(3);
  ASSERT_ACE(AdsSetLong(mine_, U("N"), 99));
  UNSIGNED32 stored = 0, pending = 0;
  ASSERT_ACE(AdsGetRecordCRC(mine_, &stored, 0));
  ASSERT_ACE(AdsGetRecordCRC(mine_, &pending, 1));
  EXPECT_EQ(first, stored);
  EXPECT_NE(first, pending);
  ASSERT_ACE(AdsSetLong(mine_, U("N"), 3));
  SetNote(mine_, "another note");
  ASSERT_ACE(AdsGetRecordCRC(mine_, &pending, 1));
  EXPECT_NE(first, pending) << "a pending memo value counts";
  SetNote(mine_, "note 3");
  ASSERT_ACE(AdsGetRecordCRC(mine_, &pending, 1));
  EXPECT_EQ(first, pending);
  ASSERT_ACE(AdsWriteRecord(mine_));
  EXPECT_EQ(first, Crc(3));
}

INSTANTIATE_TEST_SUITE_P(Formats, RecordCrcTest,
                         ::testing::Values(ADS_ADT, ADS_NTX, ADS_CDX, ADS_VFP));

}  // namespace
}  // namespace ace_api_test
