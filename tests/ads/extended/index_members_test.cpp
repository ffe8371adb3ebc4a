// The extended table's index members: the current index's properties, choosing the order by
// position, the handle arrays, opening, closing, creating and deleting indexes (the dataset
// leaves an order that goes away, and its index lists follow), custom keys, lookups and scopes.
#include <filesystem>

#include "tests/ads/extended/extended_support.h"

namespace exttest {
namespace {

class IndexByType : public ExtWorldByType {
 protected:
  // Kinder with ByName and ByZahl (descending) in the structural file.
  TAdsTable* Indexed(bool exclusive = false) {
    MakeTable("Kinder", GetParam());
    MakeIndex("Kinder", GetParam(), "ByName", "Name");
    MakeIndex("Kinder", GetParam(), "ByZahl", "Zahl", "", ADS_DESCENDING);
    TAdsTable* t = NewTable("Kinder", GetParam());
    t->SetExclusive(exclusive);
    return t;
  }
  static std::vector<std::string> IndexNames(TAdsDataSet* t) {
    TStringList list;
    t->GetIndexNames(&list);
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i) names.push_back(UpperCase(list.Strings(i)));
    return names;
  }
  std::string Extra() const { return GetParam() == ttAdsADT ? "extra.adi" : "extra.cdx"; }
};

TEST_P(IndexByType, TheCurrentIndexDescribesItself) {
  TAdsTable* t = Indexed();
  t->SetIndexName("ByZahl");
  t->Open();
  EXPECT_EQ(UpperCase(t->AdsGetIndexName(0)), "BYZAHL");
  EXPECT_EQ(UpperCase(t->AdsGetIndexExpr()), "ZAHL");
  EXPECT_EQ(t->AdsGetIndexCondition(), "");
  EXPECT_TRUE(t->AdsIsIndexDescending());
  EXPECT_FALSE(t->AdsIsIndexUnique());
  EXPECT_FALSE(t->AdsIsIndexCustom());
  EXPECT_TRUE(t->AdsIsIndexCompound());
  EXPECT_EQ(t->AdsGetKeyType(), etNUMERIC);
  EXPECT_GT(t->AdsGetKeyLength(), 0);
  EXPECT_EQ(t->AdsGetKeyCount(), 10);
  EXPECT_EQ(UpperCase(t->AdsGetIndexFileName(foBASENAMEANDEXT)),
            GetParam() == ttAdsADT ? "KINDER.ADI" : "KINDER.CDX");
  t->Next();  // Zahl 90, the second key descending
  EXPECT_EQ(t->AdsGetKeyNum(), 2);
  // Another index than the current one, by its handle.
  const int32_t byName = t->AdsGetIndexHandle("ByName");
  EXPECT_EQ(UpperCase(t->AdsGetIndexName(byName)), "BYNAME");
  EXPECT_EQ(t->AdsGetHandleType(byName), htINDEX);
  EXPECT_EQ(t->AdsGetHandleType(t->Handle()), htTABLE);
}

TEST_P(IndexByType, KeyCountFollowsTheCountingOption) {
  TAdsTable* t = Indexed();
  t->SetIndexName("ByName");
  t->Open();
  t->AdsSetFilter("Zahl > 50");
  EXPECT_EQ(t->AdsGetKeyCount(), 10);
  t->AdsTableOptions()->SetAdsFilterOptions(RESPECT_WHEN_COUNTING);
  EXPECT_EQ(t->AdsGetKeyCount(), 5);
  EXPECT_EQ(t->AdsGetRecordCount(), 5);
}

TEST_P(IndexByType, SetIndexByOrderChoosesTheOrderThroughIndexName) {
  TAdsTable* t = Indexed();
  t->Open();
  t->AdsSetIndexByOrder(2);
  EXPECT_EQ(UpperCase(t->IndexName()), "BYZAHL");
  EXPECT_EQ(Ids(t), (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(UpperCase(t->AdsGetIndexName(0)), "BYZAHL");
  t->AdsSetIndexByOrder(0);
  EXPECT_EQ(t->IndexName(), "");
  EXPECT_EQ(Ids(t), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(t->AdsGetIndexHandleByOrder(1), t->AdsGetIndexHandle("ByName"));
}

TEST_P(IndexByType, GetAllIndexesFillsTheArrayAndCountsIt) {
  TAdsTable* t = Indexed();
  t->Open();
  EXPECT_EQ(t->AdsGetNumIndexes(), 2);
  std::vector<ADSHANDLE> handles(10, 0);
  EXPECT_EQ(t->AdsGetAllIndexes(handles), 2);
  EXPECT_EQ(static_cast<int32_t>(handles[0]), t->AdsGetIndexHandle("ByName"));
  EXPECT_EQ(static_cast<int32_t>(handles[1]), t->AdsGetIndexHandle("ByZahl"));
  EXPECT_EQ(handles[2], 0u);
  std::vector<ADSHANDLE> one(1, 0);
  ExpectAceError([&] { t->AdsGetAllIndexes(one); }, AE_INSUFFICIENT_BUFFER);
}

TEST_P(IndexByType, CloseIndexOfAFileThatIsNotOpenOpensAndClosesIt) {
  TAdsTable* t = Indexed();
  MakeIndex("Kinder", GetParam(), "ExOrt", "ID", Extra());
  MakeIndex("Kinder", GetParam(), "ExZwei", "Zahl", Extra());
  t->Open();
  ASSERT_EQ(t->AdsGetNumIndexes(), 2);
  t->AdsCloseIndex(Extra());
  EXPECT_EQ(t->AdsGetNumIndexes(), 2);
  // Open, it is closed by its file name as by a tag's name.
  t->AdsOpenIndex(Extra());
  EXPECT_EQ(t->AdsGetNumIndexes(), 4);
  EXPECT_EQ(IndexNames(t).size(), 4u);
  t->AdsCloseIndex(Extra());
  EXPECT_EQ(t->AdsGetNumIndexes(), 2);
  EXPECT_EQ(IndexNames(t).size(), 2u);
  t->AdsOpenIndex(Extra());
  t->AdsCloseIndex("ExZwei");
  EXPECT_EQ(t->AdsGetNumIndexes(), 2);
  ExpectAceError([&] { t->AdsCloseIndex("nichtda.cdx"); }, AE_FILE_NOT_FOUND);
}

TEST_P(IndexByType, ClosingTheCurrentOrdersFileReturnsToNaturalOrder) {
  TAdsTable* t = Indexed();
  MakeIndex("Kinder", GetParam(), "ExName", "Name", Extra());
  t->Open();
  t->AdsOpenIndex(Extra());
  t->SetIndexName("ExName");
  t->First();
  t->Next();  // Berger, ID 5
  t->AdsCloseIndex("ExName");
  EXPECT_EQ(t->IndexName(), "");
  EXPECT_EQ(Id(t), 5);
  EXPECT_EQ(Ids(t), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  t->SetIndexName("ByName");
  t->AdsCloseAllIndexes();
  EXPECT_EQ(t->IndexName(), "");
  EXPECT_EQ(t->AdsGetNumIndexes(), 0);
  EXPECT_TRUE(IndexNames(t).empty());
  EXPECT_EQ(Ids(t).size(), 10u);
}

TEST_P(IndexByType, CreateAndDeleteIndex) {
  TAdsTable* t = Indexed(true);
  t->Open();
  t->AdsTableOptions()->SetAdsIndexPageSize(2048);  // the open took the first index's size
  EXPECT_EQ(IndexNames(t).size(), 2u);
  // A tag of the open structural file keeps the file's pages.
  t->AdsCreateIndex("", "ByID", "ID", "Zahl > 30", "", TAdsIndexOptions{optUNIQUE, optCOMPOUND});
  ASSERT_EQ(IndexNames(t).size(), 3u);
  EXPECT_EQ(IndexNames(t)[2], "BYID");
  t->SetIndexName("ByID");
  EXPECT_TRUE(t->AdsIsIndexUnique());
  EXPECT_EQ(UpperCase(t->AdsGetIndexCondition()), "ZAHL > 30");
  EXPECT_EQ(t->AdsGetKeyCount(), 7);
  EXPECT_EQ(Ids(t), (std::vector<int>{4, 5, 6, 7, 8, 9, 10}));
  // A new file has the page size of the table options.
  t->AdsCreateIndex(GetParam() == ttAdsADT ? "gross.adi" : "gross.cdx", "Gross", "Name", "", "",
                    TAdsIndexOptions{optCOMPOUND, optDESCENDING});
  t->SetIndexName("Gross");
  EXPECT_TRUE(t->AdsIsIndexDescending());
  UNSIGNED32 pageSize = 0;
  ASSERT_EQ(AdsGetIndexPageSize(static_cast<ADSHANDLE>(t->ActiveHandle()), &pageSize), 0u);
  EXPECT_EQ(pageSize, 2048u);
  // Deleting the current order: the dataset goes to natural order first.
  t->SetIndexName("ByID");
  t->AdsDeleteIndex("ByID");
  EXPECT_EQ(t->IndexName(), "");
  EXPECT_EQ(IndexNames(t).size(), 3u);
  EXPECT_EQ(Ids(t).size(), 10u);
  ExpectAceError([&] { t->AdsGetIndexHandle("ByID"); }, AE_NO_SUCH_INDEX_TAG);
}

TEST_P(IndexByType, LookupKeyLeavesTheCursorWhereItIs) {
  TAdsTable* t = Indexed();
  t->Open();
  t->Next();
  t->Next();  // ID 3
  EXPECT_TRUE(t->AdsLookupKey("ByName", "Kurz"));
  EXPECT_FALSE(t->AdsLookupKey("ByName", "Kx"));
  EXPECT_EQ(Id(t), 3);
  EXPECT_EQ(EngineRecord(t), 3u);
  ExpectAceError([&] { t->AdsLookupKey("Unbekannt", "Kurz"); }, AE_NO_SUCH_INDEX_TAG);
}

TEST_P(IndexByType, ScopesOfTheCurrentIndex) {
  TAdsTable* t = Indexed();
  t->SetIndexName("ByName");
  t->Open();
  t->AdsSetScope(soTOP, "H");
  t->AdsSetScope(soBOTTOM, "M");
  // Huber to Mueller: a bound compares over its own length, so every name with M is inside.
  EXPECT_EQ(Ids(t), (std::vector<int>{6, 7, 8, 1, 4}));
  EXPECT_EQ(t->AdsGetScope(soTOP).substr(0, 1), "H");
  t->AdsClearScope(soBOTTOM);
  EXPECT_EQ(Ids(t), (std::vector<int>{6, 7, 8, 1, 4, 9, 3}));
  ExpectAceError([&] { t->AdsGetScope(soBOTTOM); }, AE_NO_SCOPE);
  t->AdsClearAllScopes();
  EXPECT_EQ(Ids(t).size(), 10u);
  EXPECT_THROW(t->AdsSetScope(soTOP, std::string(4083, 'a')), EADSDatabaseError);
}

TEST_P(IndexByType, CustomKeysAreAddedAndRemovedForTheCurrentRecord) {
  TAdsTable* t = Indexed();
  t->Open();
  t->AdsCreateIndex(GetParam() == ttAdsADT ? "eigen.adi" : "eigen.cdx", "Eigen", "Name", "", "",
                    TAdsIndexOptions{optCUSTOM, optCOMPOUND});
  t->SetIndexName("Eigen");
  EXPECT_TRUE(t->AdsIsIndexCustom());
  EXPECT_EQ(t->AdsGetKeyCount(), 0);
  t->SetIndexName("");
  t->Next();
  t->Next();  // ID 3
  t->AdsAddCustomKey("Eigen");
  t->Next();  // ID 4
  t->AdsAddCustomKey("Eigen");
  t->SetIndexName("Eigen");
  EXPECT_EQ(Ids(t), (std::vector<int>{4, 3}));  // Mueller, Zorn
  t->First();
  t->AdsDeleteCustomKey("Eigen");
  EXPECT_EQ(Ids(t), (std::vector<int>{3}));
}

TEST_P(IndexByType, ReindexKeepsTheOrder) {
  TAdsTable* t = Indexed(true);
  t->SetIndexName("ByName");
  t->Open();
  t->Next();
  t->AdsReindex();
  EXPECT_EQ(Ids(t), (std::vector<int>{2, 5, 10, 6, 7, 8, 1, 4, 9, 3}));
}

INSTANTIATE_TEST_SUITE_P(Types, IndexByType, ::testing::Values(ttAdsADT, ttAdsCDX), TypeParamName);

}  // namespace
}  // namespace exttest
