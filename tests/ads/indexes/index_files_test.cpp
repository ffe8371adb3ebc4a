// Index files and index creation: IndexFiles on closed and open tables, CloseIndexFile of the
// current order, AddIndex expressions and option bits per table type, DeleteIndex.
#include "tests/ads/indexes/index_support.h"

using namespace idxtest;

namespace {

class IndexFiles : public IndexWorld {};

// The expression and the options of index strTag of the table, read from the engine.
struct EngineIndex {
  std::string expr;
  UNSIGNED32 flags = 0;
  bool found = false;
};

EngineIndex ReadIndex(TAdsTable* t, const std::string& tag) {
  EngineIndex r;
  ADSHANDLE index = 0;
  if (AdsGetIndexHandle(static_cast<ADSHANDLE>(t->Handle()), U8(tag), &index) != 0) return r;
  r.found = true;
  UNSIGNED8 expr[512] = {};
  UNSIGNED16 length = sizeof expr;
  EXPECT_EQ(AdsGetIndexExpr(index, expr, &length), 0u);
  r.expr = reinterpret_cast<const char*>(expr);
  EXPECT_EQ(AdsGetIndexFlags(index, &r.flags), 0u);
  return r;
}

TEST_F(IndexFiles, AddingToAClosedTableOnlyRecordsTheNameOnceAndTheOpenOpensIt) {
  MakeTable("n", ttAdsNTX, People());
  MakeIndex("n", ttAdsNTX, "BYNAME", "Name");
  TAdsTable* t = NewTable("n", ttAdsNTX);
  t->IndexFiles()->Add("BYNAME.ntx");
  t->IndexFiles()->Add("byname.NTX");  // the same name without regard to case
  EXPECT_EQ(t->IndexFiles()->Count(), 1);
  t->IndexFiles()->Add("NOSUCH.ntx");  // not opened yet, so not checked yet
  EXPECT_EQ(t->IndexFiles()->Count(), 2);
  EXPECT_THROW(t->Open(), EADSDatabaseError);  // the open opens every entry
  EXPECT_FALSE(t->Active());
  t->IndexFiles()->Delete(t->IndexFiles()->IndexOf("NOSUCH.ntx"));
  t->Open();
  t->SetIndexName("BYNAME");
  EXPECT_EQ(Ids(t), SortedIds(People(), [](const Row& r) { return r.name; }));
}

TEST_F(IndexFiles, AddingToAnOpenTableOpensTheFileAtOnceAndAFailureAddsNothing) {
  MakeTable("n", ttAdsNTX, People());
  MakeIndex("n", ttAdsNTX, "BYORT", "Ort");
  TAdsTable* t = NewTable("n", ttAdsNTX);
  t->Open();
  EXPECT_THROW(t->SetIndexName("BYORT"), EADSDatabaseError);
  EXPECT_THROW(t->IndexFiles()->Add("NOSUCH.ntx"), EADSDatabaseError);
  EXPECT_EQ(t->IndexFiles()->Count(), 0);
  t->IndexFiles()->Add("BYORT.ntx");
  EXPECT_EQ(t->IndexFiles()->Count(), 1);
  t->SetIndexName("BYORT");
  EXPECT_EQ(Ids(t), SortedIds(People(), [](const Row& r) { return r.ort; }));
  EXPECT_THROW(t->IndexFiles()->Insert(0, "X.ntx"), EStringListError);  // a sorted list
}

TEST_F(IndexFiles, ClosingTheFileOfTheCurrentOrderReturnsToNaturalOrder) {
  MakeTable("n", ttAdsNTX, People());
  MakeIndex("n", ttAdsNTX, "BYNAME", "Name");
  MakeIndex("n", ttAdsNTX, "BYORT", "Ort");
  TAdsTable* t = NewTable("n", ttAdsNTX, {"BYNAME", "BYORT"});
  t->Open();
  t->SetIndexName("BYNAME");
  t->CloseIndexFile("BYORT.NTX");  // another file: the order stays
  EXPECT_EQ(t->IndexName(), "BYNAME");
  t->CloseIndexFile(data_ + "/byname.ntx");  // the directory does not matter
  EXPECT_EQ(t->IndexName(), "");
  EXPECT_EQ(Ids(t), SortedIds(People(), [](const Row& r) { return r.id; }));
  t->CloseIndexFile("NOTOPEN.ntx");        // ignored
  EXPECT_EQ(t->IndexFiles()->Count(), 2);  // the list is not changed by CloseIndexFile
}

TEST_F(IndexFiles, OpenAndCloseIndexFileNeedAnActiveTable) {
  MakeTable("n", ttAdsNTX, People());
  TAdsTable* t = NewTable("n", ttAdsNTX);
  ExpectMessage([&] { t->OpenIndexFile("A.ntx"); }, "Table must be Active.");
  ExpectMessage([&] { t->CloseIndexFile("A.ntx"); }, "Table must be Active.");
}

TEST_F(IndexFiles, ANewTableNameEmptiesIndexFiles) {
  MakeTable("n", ttAdsNTX, People());
  TAdsTable* t = NewTable("n", ttAdsNTX);
  t->IndexFiles()->Add("A.ntx");
  t->SetTableName("other");
  EXPECT_EQ(t->IndexFiles()->Count(), 0);
}

// ---- AddIndex -----------------------------------------------------------------------------

TEST_F(IndexFiles, CaseInsensitiveAddIndexOnAdtMakesASegmentedTag) {
  MakeTable("a", ttAdsADT, People());
  TAdsTable* t = NewTable("a", ttAdsADT);
  t->Open();
  t->AddIndex("ByName", "Name;Ort", TIndexOptions{ixCaseInsensitive});
  const EngineIndex ix = ReadIndex(t, "ByName");
  ASSERT_TRUE(ix.found);
  EXPECT_EQ(ix.expr, "UPPER(Name);UPPER(Ort)");  // both are character fields here
  EXPECT_EQ(ix.flags & (ADS_UNIQUE | ADS_DESCENDING | ADS_CANDIDATE), 0u);
  EXPECT_EQ(t->IndexName(), "");  // a new index does not become the order
  t->SetIndexName("ByName");
  EXPECT_EQ(Ids(t), SortedIds(People(), [](const Row& r) {
              return UpperCase(r.name) + "|" + UpperCase(r.ort);
            }));
}

TEST_F(IndexFiles, AddIndexOnCdxJoinsTheFieldsWithPlus) {
  MakeTable("c", ttAdsCDX, People());
  TAdsTable* t = NewTable("c", ttAdsCDX);
  t->Open();
  t->AddIndex("ByName", "Name;Ort", TIndexOptions{ixCaseInsensitive, ixDescending});
  const EngineIndex ix = ReadIndex(t, "ByName");
  ASSERT_TRUE(ix.found);
  EXPECT_EQ(ix.expr, "UPPER(Name)+UPPER(Ort)");
  EXPECT_NE(ix.flags & ADS_DESCENDING, 0u);
  ExpectMessage(
      [&] {
        t->AddIndex("X", "UPPER(Name)", TIndexOptions{ixCaseInsensitive, ixExpression});
      },
      "ixCaseInsensitive is not supported with ixExpression indexes");
}

TEST_F(IndexFiles, AddIndexOnNtxMakesAFileNamedAfterTheIndex) {
  MakeTable("n", ttAdsNTX, People());
  TAdsTable* t = NewTable("n", ttAdsNTX);
  t->AddIndex("ByName", "Name", TIndexOptions{ixUnique});
  EXPECT_FALSE(t->Active());
  EXPECT_TRUE(adstest::fs::exists(data_ + "/ByName.ntx"));
  t->IndexFiles()->Add("ByName.ntx");
  t->Open();
  const EngineIndex ix = ReadIndex(t, "ByName");
  ASSERT_TRUE(ix.found);
  EXPECT_NE(ix.flags & ADS_UNIQUE, 0u);
  t->SetIndexName("ByName");
  EXPECT_EQ(Ids(t).size(), 7u);  // a unique index holds each of the 7 names once
}

TEST_F(IndexFiles, UniqueOnAVfpTableIsACandidateIndex) {
  MakeTable("v", ttAdsVFP, People());
  TAdsTable* t = NewTable("v", ttAdsVFP);
  t->Open();
  t->AddIndex("ById", "ID", TIndexOptions{ixUnique});
  const EngineIndex ix = ReadIndex(t, "ById");
  ASSERT_TRUE(ix.found);
  EXPECT_NE(ix.flags & ADS_CANDIDATE, 0u);
  t->IndexDefs()->Update();
  EXPECT_TRUE(t->IndexDefs()->Find("ById")->Options().Contains(ixUnique));
}

// ---- DeleteIndex --------------------------------------------------------------------------

TEST_F(IndexFiles, DeleteIndexNeedsAnExclusiveTableAndRefusesTheCurrentOrder) {
  MakeTable("a", ttAdsADT, People());
  MakeIndex("a", ttAdsADT, "BYNAME", "Name");
  MakeIndex("a", ttAdsADT, "BYORT", "Ort");
  TAdsTable* t = NewTable("a", ttAdsADT);
  ExpectMessage([&] { t->DeleteIndex("BYORT"); }, "Table must be Active and Exclusive.");
  t->Open();
  ExpectMessage([&] { t->DeleteIndex("BYORT"); }, "Table must be Active and Exclusive.");
  t->Close();
  t->SetExclusive(true);
  t->Open();
  t->SetIndexName("BYORT");
  ExpectMessage([&] { t->DeleteIndex("BYORT"); }, "Cannot delete the active index!");
  t->DeleteIndex("BYNAME");
  TStringList names;
  t->GetIndexNames(&names);
  EXPECT_EQ(names.Count(), 1);
  EXPECT_EQ(names.Strings(0), "BYORT");
  t->IndexDefs()->Update();
  EXPECT_EQ(t->IndexDefs()->IndexOf("BYNAME"), -1);
}

TEST_F(IndexFiles, GetIndexNamesOfAClosedTableLeavesItClosed) {
  MakeTable("a", ttAdsADT, People());
  MakeIndex("a", ttAdsADT, "BYNAME", "Name");
  TAdsTable* t = NewTable("a", ttAdsADT);
  TStringList names;
  t->GetIndexNames(&names);
  EXPECT_FALSE(t->Active());
  ASSERT_EQ(names.Count(), 1);
  EXPECT_EQ(names.Strings(0), "BYNAME");
  EXPECT_TRUE(adstest::fs::exists(data_ + "/a.adt"));
}

}  // namespace
