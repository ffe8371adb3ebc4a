// Ranges and scopes on the current index, against each other and against a plain scan; the
// exclusive range start of ADT against CDX; master-detail through MasterFields; GotoCurrent.
#include "tests/ads/indexes/index_support.h"

using namespace idxtest;

namespace {

class Ranges : public IndexWorldByType {
 protected:
  void SetUp() override {
    IndexWorldByType::SetUp();
    const TAdsTableTypes type = GetParam();
    MakeTable("p", type, People());
    MakeIndex("p", type, "BYNAME", "Name");
    MakeIndex("p", type, "BYORT", "Ort");
    t_ = NewTable("p", type, {"BYNAME", "BYORT"});
    t_->Open();
    t_->SetIndexName("BYNAME");
  }
  // The IDs of People() whose name lies in [from, to], in index order.
  static std::vector<int> Between(const std::string& from, const std::string& to) {
    std::vector<Row> rows;
    for (const Row& r : People())
      if (r.name >= from && r.name <= to) rows.push_back(r);
    return SortedIds(rows, [](const Row& r) { return r.name; });
  }
  TAdsTable* t_ = nullptr;
};

TEST_P(Ranges, SetRangeShowsExactlyTheKeysBetweenItsBounds) {
  t_->SetRange({Variant("Huber")}, {Variant("Maier")});
  EXPECT_EQ(Ids(t_), Between("Huber", "Maier"));
  EXPECT_EQ(Id(t_), 7);  // Eof stays on the last record of the range (Maier/Bonn, ID 7)
  t_->CancelRange();
  EXPECT_EQ(Ids(t_), SortedIds(People(), [](const Row& r) { return r.name; }));
}

TEST_P(Ranges, ApplyingTheSameRangeAgainDoesNotMoveAndCancelThenApplyReapplies) {
  t_->SetRange({Variant("Abel")}, {Variant("Kurz")});
  t_->Next();
  t_->Next();
  const int there = Id(t_);
  t_->ApplyRange();  // the same bounds: no change, no move
  EXPECT_EQ(Id(t_), there);
  t_->CancelRange();
  t_->ApplyRange();  // the last range again, from its first record
  EXPECT_EQ(Id(t_), Between("Abel", "Kurz").front());
  EXPECT_EQ(Ids(t_), Between("Abel", "Kurz"));
}

TEST_P(Ranges, RangeStartAndEndEditedOneByOne) {
  t_->SetRangeStart();
  t_->FieldByName("Name")->SetAsString("Mueller");
  t_->SetRangeEnd();
  t_->FieldByName("Name")->SetAsString("Zorn");
  t_->ApplyRange();
  EXPECT_EQ(Ids(t_), Between("Mueller", "Zorn"));
  t_->EditRangeEnd();
  t_->FieldByName("Name")->SetAsString("Mueller");
  t_->ApplyRange();
  EXPECT_EQ(Ids(t_), Between("Mueller", "Mueller"));
}

TEST_P(Ranges, KeyExclusiveStartExcludesTheKeyOnAdtOnly) {
  t_->SetRangeStart();
  t_->FieldByName("Name")->SetAsString("Kurz");
  t_->SetKeyExclusive(true);
  t_->SetRangeEnd();
  t_->FieldByName("Name")->SetAsString("Maier");
  t_->ApplyRange();
  const std::vector<int> ids = Ids(t_);
  const bool hasKurz = std::find(ids.begin(), ids.end(), 8) != ids.end();
  if (GetParam() == ttAdsADT) {
    EXPECT_FALSE(hasKurz);
    EXPECT_EQ(ids, Between("Kurzz", "Maier"));
  } else {
    EXPECT_TRUE(hasKurz);  // other table types ignore KeyExclusive
    EXPECT_EQ(ids, Between("Kurz", "Maier"));
  }
}

TEST_P(Ranges, ChangingIndexNameRemovesTheRangeAndIndexFieldNamesKeepsIt) {
  t_->SetRange({Variant("Abel")}, {Variant("Berger")});
  ASSERT_EQ(Ids(t_).size(), 3u);
  t_->SetIndexFieldNames("Name");  // same fields: the range stays applied
  EXPECT_EQ(Ids(t_), Between("Abel", "Berger"));
  t_->SetIndexName("BYORT");
  EXPECT_EQ(Ids(t_), SortedIds(People(), [](const Row& r) { return r.ort; }));
}

TEST_P(Ranges, ScopesRestrictTheOrderAndTurnOffAtTheSameRecord) {
  t_->SetScopeBegin("K");
  t_->SetScopeEnd("Mz");
  t_->SetScoped(true);
  EXPECT_TRUE(t_->Scoped());
  EXPECT_EQ(Ids(t_), Between("K", "Mz"));
  t_->First();
  t_->Next();
  const int there = Id(t_);
  t_->SetScoped(false);
  EXPECT_FALSE(t_->Scoped());
  EXPECT_EQ(Id(t_), there);
  EXPECT_EQ(Ids(t_).size(), People().size());
}

TEST_P(Ranges, RangeAndScopeExcludeEachOther) {
  t_->SetRange({Variant("Abel")}, {Variant("Kurz")});
  t_->SetScopeBegin("M");
  ExpectMessage([&] { t_->SetScoped(true); },
                "Cannot activate scope when there is an active range.");
  EXPECT_FALSE(t_->Scoped());
  EXPECT_EQ(Ids(t_), Between("Abel", "Kurz"));  // the range is untouched
  t_->CancelRange();
  t_->SetScoped(true);
  ExpectMessage([&] { t_->SetRange({Variant("Abel")}, {Variant("Kurz")}); },
                "Cannot set range on table when there is an active scope.");
  EXPECT_EQ(Ids(t_), Between("M", "zzz"));
}

TEST_P(Ranges, ScopedWithoutAnIndexRaisesAndStaysOff) {
  t_->SetIndexName("");
  t_->SetScopeBegin("A");
  ExpectMessage([&] { t_->SetScoped(true); },
                "Cannot activate scope when there is no active index.");
  EXPECT_FALSE(t_->Scoped());
}

TEST_P(Ranges, SettingIndexNameTurnsAScopeOff) {
  t_->SetScopeBegin("M");
  t_->SetScoped(true);
  t_->SetIndexName("BYORT");
  EXPECT_FALSE(t_->Scoped());
  EXPECT_EQ(Ids(t_).size(), People().size());
}

TEST_P(Ranges, AStoredScopeIsAppliedWhenTheTableOpens) {
  t_->Close();
  t_->SetScopeBegin("Mu");
  t_->SetScopeEnd("Mu");
  t_->SetScoped(true);
  t_->Open();
  EXPECT_EQ(Ids(t_), Between("Mu", "Mz"));
}

TEST_P(Ranges, ScopeTextLengthIsLimited) {
  t_->SetScopeBegin(std::string(4083, 'A'));
  EXPECT_EQ(t_->ScopeBegin().size(), 4083u);
  ExpectMessage([&] { t_->SetScopeEnd(std::string(4084, 'A')); },
                "Scope text length exceeded 4082");
  EXPECT_TRUE(t_->ScopeEnd().empty());
}

INSTANTIATE_TEST_SUITE_P(Types, Ranges, ::testing::Values(ttAdsADT, ttAdsCDX, ttAdsNTX),
                         TypeParamName);

// ---- Master-detail ----------------------------------------------------------------------------

class MasterDetail : public IndexWorldByType {};

TEST_P(MasterDetail, TheDetailShowsTheRecordsOfEachOfManyMasters) {
  const TAdsTableTypes type = GetParam();
  std::vector<Row> masters;
  std::vector<Row> details;
  for (int i = 1; i <= 300; ++i) {
    const std::string key = "M" + std::to_string(i);
    masters.push_back({i, key, ""});
    for (int j = 0; j < i % 4; ++j)  // 0 to 3 details, in a scattered record order
      details.push_back({i * 10 + j, key, std::to_string(j)});
  }
  std::reverse(details.begin(), details.end());
  MakeTable("master", type, masters);
  MakeTable("detail", type, details);
  MakeIndex("detail", type, "BYMASTER", "Name");
  TAdsTable* master = NewTable("master", type);
  TAdsTable* detail = NewTable("detail", type, {"BYMASTER"});
  auto* source = new TDataSource(form_.get());
  source->SetDataSet(master);
  master->Open();
  detail->SetIndexName("BYMASTER");
  detail->SetMasterSource(source);
  detail->SetMasterFields("Name");
  detail->Open();
  int checked = 0;
  for (master->First(); !master->Eof(); master->Next()) {
    const int i = master->FieldByName("ID")->AsInteger();
    std::vector<int> expected;
    for (const Row& r : details)
      if (r.name == "M" + std::to_string(i)) expected.push_back(r.id);
    std::sort(expected.begin(), expected.end(), std::greater<int>());  // record order in a key
    std::vector<int> got = Ids(detail);
    std::sort(got.begin(), got.end(), std::greater<int>());
    ASSERT_EQ(got, expected) << "master " << i;
    ++checked;
  }
  EXPECT_EQ(checked, 300);
  master->Close();  // the link loses its master: the range goes
  EXPECT_EQ(Ids(detail).size(), details.size());
}

TEST_P(MasterDetail, ACircularMasterSourceIsRefused) {
  const TAdsTableTypes type = GetParam();
  MakeTable("a", type, People());
  TAdsTable* a = NewTable("a", type);
  auto* own = new TDataSource(form_.get());
  own->SetDataSet(a);
  ExpectMessage([&] { a->SetMasterSource(own); }, "Circular Data Link");
  EXPECT_EQ(a->MasterSource(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Types, MasterDetail, ::testing::Values(ttAdsADT, ttAdsCDX, ttAdsNTX),
                         TypeParamName);

// ---- GotoCurrent ------------------------------------------------------------------------------

class GotoCurrent : public IndexWorld {};

TEST_F(GotoCurrent, GoesToTheRecordOfTheOtherTableOfTheSameName) {
  MakeTable("Kinder", ttAdsADT, People());
  // The file system here tells letter cases apart; the second name reaches the same file.
  adstest::fs::create_symlink(data_ + "/Kinder.adt", data_ + "/KINDER.adt");
  MakeIndex("Kinder", ttAdsADT, "BYNAME", "Name");
  TAdsTable* a = NewTable("Kinder", ttAdsADT);
  TAdsTable* b = NewTable("KINDER", ttAdsADT);
  a->Open();
  b->Open();
  a->SetIndexName("BYNAME");
  for (int i = 0; i < 7; ++i) b->Next();
  ASSERT_EQ(Id(b), 8);
  a->GotoCurrent(b);
  EXPECT_EQ(Id(a), 8);
  a->Next();
  EXPECT_EQ(Trim(a->FieldByName("Name")->AsString()), "Maier");  // on in a's own order
}

TEST_F(GotoCurrent, OtherTablesAreRefused) {
  MakeTable("Kinder", ttAdsADT, People());
  MakeTable("Eltern", ttAdsADT, People());
  TAdsTable* a = NewTable("Kinder", ttAdsADT);
  TAdsTable* b = NewTable("Eltern", ttAdsADT);
  a->Open();
  b->Open();
  a->Next();
  ExpectMessage<EDatabaseError>([&] { a->GotoCurrent(b); }, "Tables are not the same");
  EXPECT_EQ(Id(a), 2);
}

}  // namespace
