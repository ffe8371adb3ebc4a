// Choosing the order of a table: IndexName, IndexFieldNames, AddIndex then walking, the
// index definitions and lists, on ADT, CDX and NTX tables.
#include "tests/ads/indexes/index_support.h"

using namespace idxtest;

namespace {

class IndexOrder : public IndexWorldByType {};

TEST_P(IndexOrder, AddIndexThenWalkingEqualsASortOfTheRecords) {
  const TAdsTableTypes type = GetParam();
  std::vector<Row> rows;
  for (int i = 1; i <= 400; ++i)
    rows.push_back({i, "K" + std::to_string((i * 7919) % 401), i % 3 == 0 ? "Wien" : "Graz"});
  MakeTable("many", type, rows);
  TAdsTable* t = NewTable("many", type);
  t->AddIndex("BYNAME", "Name", TIndexOptions{});
  if (type == ttAdsNTX) t->IndexFiles()->Add("BYNAME.ntx");
  EXPECT_FALSE(t->Active());  // the temporary cursor of a closed table is gone again
  t->Open();
  EXPECT_EQ(Ids(t), SortedIds(rows, [](const Row& r) { return r.id; }));  // natural order
  t->SetIndexName("BYNAME");
  EXPECT_EQ(Ids(t), SortedIds(rows, [](const Row& r) { return r.name; }));
  // backwards too
  std::vector<int> back;
  for (t->Last(); !t->Bof(); t->Prior()) back.push_back(Id(t));
  std::vector<int> expected = SortedIds(rows, [](const Row& r) { return r.name; });
  std::reverse(expected.begin(), expected.end());
  EXPECT_EQ(back, expected);
  t->SetIndexName("");
  EXPECT_EQ(Ids(t), SortedIds(rows, [](const Row& r) { return r.id; }));
}

TEST_P(IndexOrder, IndexFieldNamesNameOrtTrimmedFindsTheIndexOnBothFields) {
  const TAdsTableTypes type = GetParam();
  MakeTable("p", type, People());
  MakeIndex("p", type, "BYNAMEORT", type == ttAdsADT ? "Name;Ort" : "Name+Ort");
  TAdsTable* t = NewTable("p", type, {"BYNAMEORT"});
  t->Open();
  t->SetIndexFieldNames(" Name;Ort ");
  EXPECT_EQ(t->IndexFieldNames(), "Name;Ort");
  EXPECT_TRUE(t->IndexName().empty());
  EXPECT_EQ(Ids(t), SortedIds(People(), [](const Row& r) { return r.name + "|" + r.ort; }));
  // Leading fields are enough.
  t->SetIndexFieldNames("name");
  EXPECT_EQ(t->IndexFieldCount(), 2);
  EXPECT_GT(t->KeySize(), 0);
}

TEST_P(IndexOrder, UnknownIndexFieldNamesRaiseAndKeepThePreviousOrder) {
  const TAdsTableTypes type = GetParam();
  MakeTable("p", type, People());
  MakeIndex("p", type, "BYNAME", "Name");
  TAdsTable* t = NewTable("p", type, {"BYNAME"});
  t->Open();
  t->SetIndexName("BYNAME");
  const std::vector<int> byName = Ids(t);
  ExpectMessage([&] { t->SetIndexFieldNames(" Ort;Name "); },
                "Not a valid index field name:Ort;Name");
  EXPECT_EQ(t->IndexFieldNames(), "");
  EXPECT_EQ(t->IndexName(), "BYNAME");
  EXPECT_EQ(Ids(t), byName);
}

TEST_P(IndexOrder, AnUnknownIndexNameRaisesTheEngineErrorAndKeepsTheOrder) {
  const TAdsTableTypes type = GetParam();
  MakeTable("p", type, People());
  MakeIndex("p", type, "BYNAME", "Name");
  TAdsTable* t = NewTable("p", type, {"BYNAME"});
  t->Open();
  t->SetIndexName("BYNAME");
  EXPECT_THROW(t->SetIndexName("NOSUCH"), EADSDatabaseError);
  EXPECT_EQ(t->IndexName(), "BYNAME");
  EXPECT_EQ(Ids(t), SortedIds(People(), [](const Row& r) { return r.name; }));
}

TEST_P(IndexOrder, TheChosenOrderIsAppliedWhenTheTableOpens) {
  const TAdsTableTypes type = GetParam();
  MakeTable("p", type, People());
  MakeIndex("p", type, "BYORT", "Ort");
  TAdsTable* t = NewTable("p", type, {"BYORT"});
  t->SetIndexName("BYORT");
  t->Open();
  EXPECT_EQ(Ids(t), SortedIds(People(), [](const Row& r) { return r.ort; }));
  t->Close();
  t->SetIndexFieldNames("Ort");
  t->Open();
  EXPECT_EQ(Ids(t), SortedIds(People(), [](const Row& r) { return r.ort; }));
}

TEST_P(IndexOrder, KeySizeAndFieldCountAreZeroInNaturalOrder) {
  const TAdsTableTypes type = GetParam();
  MakeTable("p", type, People());
  MakeIndex("p", type, "BYNAME", "Name");
  TAdsTable* t = NewTable("p", type, {"BYNAME"});
  t->Open();
  EXPECT_EQ(t->KeySize(), 0);
  EXPECT_EQ(t->IndexFieldCount(), 0);
  t->SetIndexName("BYNAME");
  EXPECT_EQ(t->KeySize(), 12);
  EXPECT_EQ(t->IndexFieldCount(), 1);
}

TEST_P(IndexOrder, IndexDefsMirrorTheEngineIndexes) {
  const TAdsTableTypes type = GetParam();
  MakeTable("p", type, People());
  MakeIndex("p", type, "BYNAME", "Name");
  MakeIndex("p", type, "BYID", type == ttAdsADT ? "ID" : "ID", ADS_UNIQUE | ADS_DESCENDING);
  TAdsTable* t = NewTable("p", type);
  t->Open();
  if (type == ttAdsNTX) {  // .ntx files open only through IndexFiles
    t->IndexFiles()->Add("BYNAME.ntx");
    t->IndexFiles()->Add("BYID.ntx");
  }
  t->IndexDefs()->Update();
  ASSERT_EQ(t->IndexDefs()->Count(), 2);
  TIndexDef* byName = t->IndexDefs()->Find("BYNAME");
  EXPECT_EQ(byName->Fields(), "NAME");
  EXPECT_FALSE(byName->Options().Contains(ixUnique));
  TIndexDef* byId = t->IndexDefs()->Find("BYID");
  EXPECT_EQ(byId->Fields(), "ID");
  EXPECT_TRUE(byId->Options().Contains(ixUnique));
  EXPECT_TRUE(byId->Options().Contains(ixDescending));
  TStringList names;
  names.Add("left over");
  t->GetIndexNames(&names);
  ASSERT_EQ(names.Count(), 2);
  EXPECT_NE(names.IndexOf("BYNAME"), -1);
  EXPECT_NE(names.IndexOf("BYID"), -1);
  TStringList fts;
  fts.Add("kept");
  t->GetFTSIndexNames(&fts);
  EXPECT_EQ(fts.Count(), 1);  // appended to, and the engine has no full-text indexes
}

INSTANTIATE_TEST_SUITE_P(Types, IndexOrder, ::testing::Values(ttAdsADT, ttAdsCDX, ttAdsNTX),
                         TypeParamName);

}  // namespace
