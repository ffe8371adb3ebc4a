// The default index a data dictionary names for a table: learned when the connection connects
// and when TableName is set, chosen by IndexName ADS_DEFAULT in any letter case, and listed.
#include "tests/ads/indexes/index_support.h"

using namespace idxtest;

namespace {

class DefaultIndex : public IndexWorld {
 protected:
  void SetUp() override {
    IndexWorld::SetUp();
    MakeTable("p", ttAdsADT, People());
    MakeIndex("p", ttAdsADT, "BYNAME", "Name");
    MakeIndex("p", ttAdsADT, "BYORT", "Ort");
    ADSHANDLE dict = 0;
    ASSERT_EQ(AdsDDCreate(U8(data_ + "/app.add"), 0, nullptr, U8("pw"), &dict), 0u);
    ASSERT_EQ(AdsDDAddTable(dict, U8("People"), U8("p.adt"), ADS_ADT, ADS_ANSI, nullptr, nullptr),
              0u);
    ASSERT_EQ(AdsDDAddTable(dict, U8("Plain"), U8("p.adt"), ADS_ADT, ADS_ANSI, nullptr, nullptr),
              0u);
    ASSERT_EQ(AdsDDSetTableProperty(dict, U8("People"), ADS_DD_TABLE_DEFAULT_INDEX, "BYORT", 5, 0,
                                    nullptr),
              0u);
    EXPECT_EQ(AdsDisconnect(dict), 0u);
    conn_ = new TAdsConnection(form_.get());
    conn_->SetName("Dict");
    conn_->SetLoginPrompt(false);
    conn_->SetConnectPath(data_ + "/app.add");
    conn_->SetUsername("Adssys");
    conn_->SetPassword("pw");
  }
  TAdsTable* DictTable(const std::string& name) {
    auto* t = new TAdsTable(form_.get());
    t->SetAdsConnection(conn_);
    t->SetTableName(name);
    return t;
  }
  TAdsConnection* conn_ = nullptr;
};

TEST_F(DefaultIndex, ConnectingChoosesTheDefaultIndexOfAnAttachedTable) {
  TAdsTable* t = DictTable("People");
  EXPECT_EQ(t->DefaultIndex(), "");  // not connected yet
  conn_->Connect();
  EXPECT_EQ(t->DefaultIndex(), "BYORT");
  EXPECT_EQ(t->IndexName(), "ADS_DEFAULT");
  t->Open();
  EXPECT_EQ(Ids(t), SortedIds(People(), [](const Row& r) { return r.ort; }));
  TStringList names;
  t->GetIndexNames(&names);
  ASSERT_EQ(names.Count(), 3);
  EXPECT_EQ(names.Strings(2), "ADS_DEFAULT");
}

TEST_F(DefaultIndex, IndexNameAdsDefaultInAnyCaseSelectsIt) {
  conn_->Connect();
  TAdsTable* t = DictTable("People");  // TableName on a connected dictionary learns it
  EXPECT_EQ(t->DefaultIndex(), "BYORT");
  t->SetIndexName("");
  t->Open();
  EXPECT_EQ(Ids(t), SortedIds(People(), [](const Row& r) { return r.id; }));
  t->SetIndexName("ads_Default");
  EXPECT_EQ(Ids(t), SortedIds(People(), [](const Row& r) { return r.ort; }));
  t->FindKey({Variant("Linz")});  // the default index's fields are the key fields
  EXPECT_EQ(Id(t), 3);
}

TEST_F(DefaultIndex, ATableWithoutDefaultIndexDropsAnAdsDefaultChoice) {
  conn_->Connect();
  TAdsTable* t = DictTable("People");
  ASSERT_EQ(t->IndexName(), "ADS_DEFAULT");
  t->SetTableName("Plain");
  EXPECT_EQ(t->IndexName(), "");
  EXPECT_EQ(t->DefaultIndex(), "");  // not the one of the earlier name
  t->Open();
  EXPECT_EQ(Ids(t), SortedIds(People(), [](const Row& r) { return r.id; }));
  TStringList names;
  t->GetIndexNames(&names);
  EXPECT_EQ(names.IndexOf("ADS_DEFAULT"), -1);
}

}  // namespace
