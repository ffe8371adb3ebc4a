// Key searches on a table with an active index: FindKey, FindNearest, SetKey/GotoKey with the
// key field count, at the first, last and past-the-end keys, on ADT, CDX and NTX tables.
#include "tests/ads/indexes/index_support.h"

using namespace idxtest;

namespace {

class KeySearch : public IndexWorldByType {
 protected:
  void SetUp() override {
    IndexWorldByType::SetUp();
    const TAdsTableTypes type = GetParam();
    MakeTable("p", type, People());
    MakeIndex("p", type, "BYNAME", "Name");
    MakeIndex("p", type, "BYNAMEORT", type == ttAdsADT ? "Name;Ort" : "Name+Ort");
    t_ = NewTable("p", type, {"BYNAME", "BYNAMEORT"});
    t_->Open();
    t_->SetIndexName("BYNAME");
  }
  std::string Name() { return Trim(t_->FieldByName("Name")->AsString()); }
  TAdsTable* t_ = nullptr;
};

TEST_P(KeySearch, FindKeyFindsTheFirstMiddleAndLastKeys) {
  EXPECT_TRUE(t_->FindKey({Variant("Abel")}));
  EXPECT_TRUE(t_->Found());
  EXPECT_EQ(Id(t_), 2);  // the first of the two Abel records in index order
  EXPECT_TRUE(t_->FindKey({Variant("Kurz")}));
  EXPECT_EQ(Id(t_), 8);
  EXPECT_TRUE(t_->FindKey({Variant("Zorn")}));
  EXPECT_EQ(Id(t_), 3);
  t_->Next();
  EXPECT_TRUE(t_->Eof());
}

TEST_P(KeySearch, FindKeyThatFindsNothingStaysOnTheRecord) {
  ASSERT_TRUE(t_->FindKey({Variant("Huber")}));
  EXPECT_FALSE(t_->FindKey({Variant("Huberx")}));
  EXPECT_FALSE(t_->Found());
  EXPECT_EQ(Id(t_), 6);
  EXPECT_FALSE(t_->FindKey({Variant("Zz")}));  // past the last key
  EXPECT_EQ(Id(t_), 6);
  EXPECT_FALSE(t_->FindKey({Variant("A")}));  // before the first key, no key starts with it
  EXPECT_EQ(Id(t_), 6);
  // The same record, and the window still reads on from it in index order.
  t_->Next();
  EXPECT_EQ(Name(), "Kurz");
}

TEST_P(KeySearch, FindKeyThatFindsNothingAtTheEndGoesToTheLastRecord) {
  t_->Last();
  t_->Next();
  ASSERT_TRUE(t_->Eof());
  EXPECT_FALSE(t_->FindKey({Variant("Nobody")}));
  EXPECT_EQ(Id(t_), 3);  // Zorn, the last in index order
}

TEST_P(KeySearch, FindNearestWithAShorterTextFindsTheFirstKeyStartingWithIt) {
  t_->FindNearest({Variant("Mu")});
  EXPECT_EQ(Name(), "Mueller");
  t_->FindNearest({Variant("Ma")});
  EXPECT_EQ(Name(), "Maier");
  t_->FindNearest({Variant("L")});  // between Kurz and Maier
  EXPECT_EQ(Name(), "Maier");
  t_->FindNearest({Variant("A")});  // before the first key
  EXPECT_EQ(Name(), "Abel");
  t_->FindNearest({Variant("Zzz")});  // past the end: the last record
  EXPECT_EQ(Name(), "Zorn");
}

TEST_P(KeySearch, TooManyValuesRaiseBeforeAnyFieldIsWritten) {
  t_->First();
  const int before = Id(t_);
  ExpectMessage(
      [&] {
        t_->FindKey({Variant("Abel"), Variant("Graz")});
      },
      "Too many values given for current index");
  ExpectMessage([&] { t_->FindKey({}); }, "Too many values given for current index");
  EXPECT_EQ(t_->State(), dsBrowse);
  EXPECT_EQ(Id(t_), before);
}

TEST_P(KeySearch, KeyValuesWithoutAnIndexRaise) {
  t_->SetIndexName("");
  ExpectMessage([&] { t_->FindKey({Variant("Abel")}); },
                "An index must be active to perform this operation. Set the IndexName property.");
  ExpectMessage([&] { t_->SetKey(); }, "Index is not set.");
}

TEST_P(KeySearch, TwoFieldKeyWithOneFieldGivenDependsOnKeyFieldCount) {
  t_->SetIndexName("BYNAMEORT");
  // KeyFieldCount 0 and no automatic count: the second segment is sought empty, so no
  // "Abel" record matches exactly.
  t_->SetKey();
  t_->FieldByName("Name")->SetAsString("Abel");
  EXPECT_FALSE(t_->GotoKey());
  // With KeyFieldCount 1 the second segment is left out: the first Abel (Bonn) is found.
  t_->SetKey();
  t_->FieldByName("Name")->SetAsString("Abel");
  t_->SetKeyFieldCount(1);
  EXPECT_TRUE(t_->GotoKey());
  EXPECT_EQ(Id(t_), 5);
  // The same with the option instead of the count.
  t_->AdsTableOptions()->SetAdsAutoKeyFieldCount(true);
  t_->First();
  t_->SetKey();
  t_->FieldByName("Name")->SetAsString("Maier");
  EXPECT_TRUE(t_->GotoKey());
  EXPECT_EQ(Id(t_), 7);  // Maier/Bonn before Maier/Wien
  // Both fields given: exactly that record.
  EXPECT_TRUE(t_->FindKey({Variant("Maier"), Variant("Wien")}));
  EXPECT_EQ(Id(t_), 1);
}

TEST_P(KeySearch, KeyEditingWritesOnlyKeyFieldsAndCancelRestoresTheKey) {
  t_->SetKey();
  EXPECT_EQ(t_->State(), dsSetKey);
  EXPECT_THROW(t_->FieldByName("Ort")->SetAsString("Wien"), EDatabaseError);
  t_->FieldByName("Name")->SetAsString("Kurz");
  t_->Post();
  EXPECT_EQ(t_->State(), dsBrowse);
  t_->EditKey();
  EXPECT_EQ(Trim(t_->FieldByName("Name")->AsString()), "Kurz");  // EditKey keeps the value
  t_->FieldByName("Name")->SetAsString("Huber");
  t_->Cancel();
  EXPECT_TRUE(t_->GotoKey());  // the key as it was before the cancelled edit
  EXPECT_EQ(Id(t_), 8);
  EXPECT_EQ(Trim(t_->FieldByName("Name")->AsString()), "Kurz");
}

TEST_P(KeySearch, ClearFieldsInKeyEditingClearsTheKeyAndLeavesTheRecord) {
  ASSERT_TRUE(t_->FindKey({Variant("Huber")}));
  t_->EditKey();
  EXPECT_EQ(Trim(t_->FieldByName("Name")->AsString()), "Huber");
  t_->ClearFields();
  EXPECT_EQ(Trim(t_->FieldByName("Name")->AsString()), "");
  t_->FieldByName("Name")->SetAsString("Kurz");
  t_->Post();
  EXPECT_EQ(Name(), "Huber");  // the active record was not touched
  EXPECT_TRUE(t_->GotoKey());
  EXPECT_EQ(Id(t_), 8);
}

TEST_P(KeySearch, KeyExclusiveAndKeyFieldCountNeedKeyEditing) {
  EXPECT_THROW(t_->KeyExclusive(), EDatabaseError);
  EXPECT_THROW(t_->SetKeyFieldCount(1), EDatabaseError);
  t_->SetKey();
  t_->SetKeyExclusive(true);
  EXPECT_TRUE(t_->KeyExclusive());
  t_->Cancel();
}

INSTANTIATE_TEST_SUITE_P(Types, KeySearch, ::testing::Values(ttAdsADT, ttAdsCDX, ttAdsNTX),
                         TypeParamName);

}  // namespace

namespace {

class FilteredKeySearch : public IndexWorld {};

TEST_F(FilteredKeySearch, GotoKeyWithAFilterHandlerSkipsTheRecordsItRefuses) {
  MakeTable("p", ttAdsADT, People());
  MakeIndex("p", ttAdsADT, "BYNAME", "Name");
  TAdsTable* t = NewTable("p", ttAdsADT);
  t->Open();
  t->SetIndexName("BYNAME");
  // Refuses the Abel of Graz (ID 2) and both Mueller records.
  t->SetOnFilterRecord([](TDataSet* ds, bool& accept) {
    const int id = ds->FieldByName("ID")->AsInteger();
    accept = id != 2 && id != 4 && id != 10;
  });
  t->SetFiltered(true);
  EXPECT_TRUE(t->FindKey({Variant("Abel")}));
  EXPECT_EQ(Id(t), 5);  // the other Abel
  EXPECT_FALSE(t->FindKey({Variant("Mueller")}));
  EXPECT_EQ(Id(t), 5);  // stays where it was
  EXPECT_TRUE(t->FindKey({Variant("Zorn")}));
  EXPECT_EQ(Id(t), 3);
}

TEST_F(FilteredKeySearch, CdxIndexOverACharacterAndADateFieldSortsByBoth) {
  ADSHANDLE conn = 0, table = 0;
  ASSERT_EQ(AdsConnect(U8(data_), &conn), 0u);
  ASSERT_EQ(AdsCreateTable90(conn, U8("d"), nullptr, ADS_CDX, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                             ADS_CHECK_RIGHTS, 0, U8("ID,Numeric,4,0;Name,Char,8;Geb,Date"), 0,
                             U8(""), &table),
            0u);
  const struct {
    int id;
    const char* name;
    SIGNED32 julian;
  } rows[] = {{1, "b", 2450000}, {2, "A", 2460000}, {3, "a", 2440000}, {4, "B", 2430000}};
  for (const auto& r : rows) {
    ASSERT_EQ(AdsAppendRecord(table), 0u);
    ASSERT_EQ(AdsSetLong(table, U8("ID"), r.id), 0u);
    ASSERT_EQ(AdsSetString(table, U8("Name"), U8(r.name), 1), 0u);
    ASSERT_EQ(AdsSetJulian(table, U8("Geb"), r.julian), 0u);
    ASSERT_EQ(AdsWriteRecord(table), 0u);
  }
  AdsCloseTable(table);
  AdsDisconnect(conn);
  TAdsTable* t = NewTable("d", ttAdsCDX);
  t->Open();
  // A character and a date part cannot be added as they are; the date goes in as its text.
  t->AddIndex("ByName", "Name;Geb", TIndexOptions{ixCaseInsensitive});
  ADSHANDLE index = 0;
  ASSERT_EQ(AdsGetIndexHandle(static_cast<ADSHANDLE>(t->Handle()), U8("ByName"), &index), 0u);
  UNSIGNED8 expr[256] = {};
  UNSIGNED16 length = sizeof expr;
  ASSERT_EQ(AdsGetIndexExpr(index, expr, &length), 0u);
  EXPECT_STREQ(reinterpret_cast<const char*>(expr), "UPPER(Name)+DTOS(Geb)");
  t->SetIndexName("ByName");
  EXPECT_EQ(Ids(t), (std::vector<int>{3, 2, 4, 1}));  // a < A (by date), then B < b
  t->AddIndex("ById", "ID;Name", TIndexOptions{});
  t->SetIndexName("ById");
  EXPECT_EQ(Ids(t), (std::vector<int>{1, 2, 3, 4}));
}

}  // namespace
