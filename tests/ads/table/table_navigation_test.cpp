// A table of several thousand records read through TAdsTable: forwards, backwards, by record
// number and by bookmark, with the values the engine stored.
#include "tests/ads/table/table_support.h"

using namespace tabletest;

namespace {

constexpr int kRecords = 3000;

class TableNavigation : public TableWorld {
 protected:
  void SetUp() override {
    TableWorld::SetUp();
    CreateNumbered(data_, "Many", kRecords);
    table_ = NewTable(NewConnection(), "Many");
    table_->Open();
  }
  int Id() { return table_->FieldByName("ID")->AsInteger(); }
  std::string Name() { return table_->FieldByName("Name")->AsString(); }
  TAdsTable* table_ = nullptr;
};

TEST_F(TableNavigation, ForwardsReadsEveryRecordOnceInOrder) {
  EXPECT_EQ(table_->RecordCount(), kRecords);
  int expected = 1;
  for (table_->First(); !table_->Eof(); table_->Next()) {
    ASSERT_EQ(Id(), expected);
    ASSERT_EQ(Name(), "N" + std::to_string(expected));
    ++expected;
  }
  EXPECT_EQ(expected, kRecords + 1);
  EXPECT_TRUE(table_->Eof());
  EXPECT_EQ(Id(), kRecords);  // Eof stays on the last record
}

TEST_F(TableNavigation, BackwardsReadsEveryRecordOnceInReverse) {
  int expected = kRecords;
  for (table_->Last(); !table_->Bof(); table_->Prior()) {
    ASSERT_EQ(Id(), expected);
    --expected;
  }
  EXPECT_EQ(expected, 0);
  EXPECT_EQ(Id(), 1);
}

TEST_F(TableNavigation, MoveByCrossesTheWholeTable) {
  table_->First();
  EXPECT_EQ(table_->MoveBy(kRecords / 2), kRecords / 2);
  EXPECT_EQ(Id(), kRecords / 2 + 1);
  EXPECT_EQ(table_->MoveBy(-(kRecords / 2)), -(kRecords / 2));
  EXPECT_EQ(Id(), 1);
  EXPECT_EQ(table_->MoveBy(kRecords * 2), kRecords - 1);  // stops at the end
  EXPECT_TRUE(table_->Eof());
  EXPECT_EQ(Id(), kRecords);
}

TEST_F(TableNavigation, RecNoReadsAndPositions) {
  table_->First();
  EXPECT_EQ(table_->RecNo(), 1);
  for (int n : {1500, 2, kRecords, 777, 1}) {
    table_->SetRecNo(n);
    ASSERT_EQ(table_->RecNo(), n);
    ASSERT_EQ(Id(), n);
  }
  table_->Last();
  EXPECT_EQ(table_->RecNo(), kRecords);
}

TEST_F(TableNavigation, BookmarksComeBackToTheirRecords) {
  table_->SetRecNo(2222);
  const TBookmark at2222 = table_->Bookmark();
  table_->SetRecNo(17);
  const TBookmark at17 = table_->Bookmark();
  EXPECT_TRUE(table_->BookmarkValid(at2222));
  EXPECT_LT(table_->CompareBookmarks(at17, at2222), 0);
  EXPECT_GT(table_->CompareBookmarks(at2222, at17), 0);
  EXPECT_EQ(table_->CompareBookmarks(at17, at17), 0);

  table_->First();
  table_->GotoBookmark(at2222);
  EXPECT_EQ(Id(), 2222);
  table_->Next();
  EXPECT_EQ(Id(), 2223);  // the window follows the bookmark's record
  table_->Last();
  table_->GotoBookmark(at17);
  EXPECT_EQ(Id(), 17);
  table_->Prior();
  EXPECT_EQ(Id(), 16);
}

TEST_F(TableNavigation, ReopeningStartsAgainAtTheFirstRecord) {
  table_->SetRecNo(2500);
  table_->Close();
  table_->Open();
  EXPECT_EQ(Id(), 1);
  EXPECT_TRUE(table_->Bof());
  EXPECT_EQ(table_->RecordCount(), kRecords);
}

}  // namespace
