// The extended table's moving members: where the engine cursor goes in the current order, and
// that the window shows that record afterwards (also past either end).
#include "tests/ads/extended/extended_support.h"

namespace exttest {
namespace {

class NavByType : public ExtWorldByType {};

TEST_P(NavByType, GotoBottomGoesToTheLastKeyOfTheIndexOrTheLastRecord) {
  MakeTable("Kinder", GetParam());
  MakeIndex("Kinder", GetParam(), "ByName", "Name");
  TAdsTable* t = OpenTable("Kinder", GetParam());
  t->AdsGotoBottom();
  EXPECT_EQ(Id(t), 10);  // natural order: the last record
  EXPECT_EQ(EngineRecord(t), 10u);
  t->AdsGotoTop();
  EXPECT_EQ(Id(t), 1);
  t->SetIndexName("ByName");
  t->AdsGotoBottom();
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "Zorn");  // the last key by name
  EXPECT_EQ(Id(t), 3);
  t->AdsGotoTop();
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "Abel");
}

TEST_P(NavByType, SkipGoesFromTheDatasetsRecordInTheCurrentOrder) {
  MakeTable("Kinder", GetParam());
  MakeIndex("Kinder", GetParam(), "ByName", "Name");
  TAdsTable* t = NewTable("Kinder", GetParam());
  t->SetIndexName("ByName");
  t->Open();  // Abel 2, Berger 5, Dorn 10, Huber 6, Kurz 7, ...
  t->Next();  // Berger
  ASSERT_EQ(AdsGotoRecord(static_cast<ADSHANDLE>(t->Handle()), 1), 0u);
  t->AdsSkip(2);
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "Huber");
  t->AdsSkip(-1);
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "Dorn");
  // Past the end the window shows the last record.
  t->AdsSkip(100);
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "Zorn");
  t->AdsSkip(-100);
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "Abel");
}

TEST_P(NavByType, GotoRecordAndBookmarks) {
  MakeTable("Kinder", GetParam());
  TAdsTable* t = OpenTable("Kinder", GetParam());
  t->AdsGotoRecord(7);
  EXPECT_EQ(Id(t), 7);
  const int32_t mark = t->AdsGetBookMark();
  t->AdsGotoTop();
  ASSERT_EQ(Id(t), 1);
  t->AdsGotoBookMark(mark);
  EXPECT_EQ(Id(t), 7);
  ExpectAceError([&] { t->AdsGotoRecord(11); }, AE_INVALID_RECORD_NUMBER);
}

TEST_P(NavByType, LocateAndContinue) {
  MakeTable("Kinder", GetParam());
  TAdsTable* t = OpenTable("Kinder", GetParam());
  EXPECT_TRUE(t->AdsLocate("Zahl >= 40 .AND. Zahl <= 60", true));
  EXPECT_EQ(Id(t), 4);
  EXPECT_TRUE(t->AdsContinue());
  EXPECT_EQ(Id(t), 5);
  EXPECT_TRUE(t->AdsLocate("Zahl >= 40 .AND. Zahl <= 60", false));
  EXPECT_EQ(Id(t), 6);
  EXPECT_FALSE(t->AdsLocate("Zahl > 1000", true));
  EXPECT_TRUE(t->Eof() || Id(t) == 10);
}

TEST_P(NavByType, SeekTakesTheKeyAsText) {
  MakeTable("Kinder", GetParam());
  MakeIndex("Kinder", GetParam(), "ByName", "Name");
  TAdsTable* t = NewTable("Kinder", GetParam());
  t->SetIndexName("ByName");
  t->Open();
  EXPECT_TRUE(t->AdsSeek("Kurz", stHARD));
  EXPECT_EQ(Id(t), 7);
  EXPECT_FALSE(t->AdsSeek("Kx", stHARD));
  // Nearest: the first key after the sought one.
  EXPECT_FALSE(t->AdsSeek("Kx", stSOFT));
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "Lang");
  EXPECT_TRUE(t->AdsSeek("M", stSOFT));
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "Maier");
  EXPECT_TRUE(t->AdsSeekLast("M"));
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "Mueller");
  EXPECT_THROW(t->AdsSeek(std::string(4083, 'a'), stHARD), EADSDatabaseError);
}

TEST_F(ExtWorld, SeekWithoutAnIndexIsTheEnginesError) {
  MakeTable("Kinder", ttAdsADT);
  TAdsTable* t = OpenTable("Kinder", ttAdsADT);
  ExpectAceError([&] { t->AdsSeek("Kurz", stHARD); }, AE_INVALID_HANDLE);
}

TEST_F(ExtWorld, RelativeKeyPositions) {
  MakeTable("Kinder", ttAdsADT);
  MakeIndex("Kinder", ttAdsADT, "ByZahl", "Zahl");
  TAdsTable* t = NewTable("Kinder", ttAdsADT);
  t->SetIndexName("ByZahl");
  t->Open();
  t->AdsSetRelKeyPos(1.0);
  EXPECT_EQ(Id(t), 10);
  EXPECT_DOUBLE_EQ(t->AdsGetRelKeyPos(), 1.0);
  t->AdsSetRelKeyPos(0.0);
  EXPECT_EQ(Id(t), 1);
  EXPECT_DOUBLE_EQ(t->AdsGetRelKeyPos(), 0.0);
}

TEST_P(NavByType, AppendRecordThenSetValues) {
  MakeTable("Kinder", GetParam());
  TAdsTable* t = OpenTable("Kinder", GetParam());
  t->AdsAppendRecord();
  t->AdsSetLong("ID", 11);
  t->AdsSetString("Name", "Neu");
  t->AdsWriteRecord();
  EXPECT_EQ(Id(t), 11);
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "Neu");
  EXPECT_EQ(t->RecordCount(), 11);
  OtherUser other(data_, "Kinder", EngineType(GetParam()));
  EXPECT_EQ(other.Long(11, "ID"), 11);
  EXPECT_EQ(other.Text(11, "Name"), "Neu");
}

TEST_F(ExtWorld, MovingPostsAPendingEditFirst) {
  MakeTable("Kinder", ttAdsADT);
  TAdsTable* t = OpenTable("Kinder", ttAdsADT);
  t->Edit();
  t->FieldByName("Zahl")->SetAsInteger(555);
  t->AdsGotoBottom();
  EXPECT_EQ(t->State(), dsBrowse);
  OtherUser other(data_, "Kinder", ADS_ADT);
  EXPECT_EQ(other.Long(1, "Zahl"), 555);
}

INSTANTIATE_TEST_SUITE_P(Types, NavByType, ::testing::Values(ttAdsADT, ttAdsCDX), TypeParamName);

}  // namespace
}  // namespace exttest
