// Locate, Lookup, LocateLocally and FindFirst .. FindPrior on real ADT, CDX and NTX tables:
// the index seek and the filter search find the same record (exact, partial, case-insensitive,
// several fields, null values), which indexes qualify, what a failed search leaves, the engine
// settings a search restores, the scroll events, and the record search with the Filter text.
#include "tests/ads/filters/filter_support.h"

using namespace filtertest;

namespace {

class Locate : public FilterWorldByType {
 protected:
  void SetUp() override {
    FilterWorldByType::SetUp();
    rows_ = Few();
    const TAdsTableTypes type = GetParam();
    MakePeople("idx", type, rows_);
    MakePeople("plain", type, rows_);
    MakeIndex("idx", type, "BYNAME", "Name");
    MakeIndex("idx", type, "NAMEORT", type == ttAdsADT ? "Name;Ort" : "Name+Ort");
    indexed_ = NewTable("idx", type, {"BYNAME", "NAMEORT"});
    plain_ = NewTable("plain", type);
    indexed_->Open();
    plain_->Open();
  }
  // Locate on both tables: the same answer and the same record; the indexed one seeks in an
  // index exactly when seek is true.
  void ExpectSame(const std::string& fields, const Variant& values, TLocateOptions options,
                  int expectedId, bool seek) {
    AceImportOverride<decltype(Ace.AdsSeek)> spy(Ace.AdsSeek, &SpySeek);
    gSeek = {};
    const bool viaIndex = indexed_->Locate(fields, values, options);
    EXPECT_EQ(gSeek.calls > 0, seek) << fields;
    gSeek = {};
    const bool viaFilter = plain_->Locate(fields, values, options);
    EXPECT_EQ(gSeek.calls, 0) << fields;
    EXPECT_EQ(viaIndex, expectedId != 0) << fields;
    EXPECT_EQ(viaFilter, expectedId != 0) << fields;
    if (expectedId != 0) {
      EXPECT_EQ(Id(indexed_), expectedId) << fields;
      EXPECT_EQ(Id(plain_), expectedId) << fields;
    }
  }
  void GoTo(TAdsTable* t, int id) {
    for (t->First(); !t->Eof() && Id(t) != id; t->Next()) {
    }
  }
  std::vector<Person> rows_;
  TAdsTable* indexed_ = nullptr;
  TAdsTable* plain_ = nullptr;
};

TEST_P(Locate, IndexSeekAndFilterFindTheSameRecord) {
  ExpectSame("Name", Variant("Mueller"), {}, 4, true);
  ExpectSame("Name", Variant("Abel"), {}, 2, true);
  // The seek in an index that is not the order leaves the dataset reading on in its own order.
  indexed_->Next();
  EXPECT_EQ(Id(indexed_), 3);
  indexed_->Prior();
  indexed_->Prior();
  EXPECT_EQ(Id(indexed_), 1);
  ExpectSame("NAME", VarArrayOf({Variant("Kurz")}), {}, 8, true);  // one field, an array
  // Partial keys: the first record whose name starts with the text.
  ExpectSame("Name", Variant("Mu"), TLocateOptions{loPartialKey}, 4, true);
  ExpectSame("Name", Variant("Mu"), {}, 0, true);
  // Case-insensitive searches never use an index.
  ExpectSame("Name", Variant("MEIER"), TLocateOptions{loCaseInsensitive}, 6, false);
  ExpectSame("Name", Variant("mai"), TLocateOptions{loCaseInsensitive, loPartialKey}, 1, false);
  // Several fields, in either order, through the index on both.
  ExpectSame("Name;Ort", VarArrayOf({Variant("Abel"), Variant("Bonn")}), {}, 5, true);
  ExpectSame("Ort;Name", VarArrayOf({Variant("Bonn"), Variant("Abel")}), {}, 5, true);
  ExpectSame("Ort;Name", VarArrayOf({Variant("Bonn"), Variant("Zorn")}), {}, 0, true);
  // A field that is not a leading segment of any index: the filter.
  ExpectSame("Ort", Variant("Graz"), {}, 2, false);
  ExpectSame("Betrag", Variant(99.99), {}, 4, false);
  ExpectSame("Aktiv;Ort", VarArrayOf({Variant(true), Variant("Graz")}), {}, 8, false);
  // Null values: the record without a place.
  ExpectSame("Name;Ort", VarArrayOf({Variant("Maier"), Null()}), {}, 7, true);
  ExpectSame("Ort", Null(), {}, 3, false);
  // A value with a double quote.
  ExpectSame("Name", Variant("Say \"hi\""), {}, 9, true);
  ExpectSame("Ort;Name", VarArrayOf({Variant("Linz"), Variant("Say \"hi\"")}), {}, 9, true);
}

TEST_P(Locate, TheKeyPartOfAPartialValueLosesItsTrailingBlanks) {
  AceImportOverride<decltype(Ace.AdsSetField)> spy(Ace.AdsSetField, &SpySetField);
  gSetField = {};
  ASSERT_TRUE(indexed_->Locate("Name", Variant("Ab"), TLocateOptions{loPartialKey}));
  ASSERT_EQ(gSetField.lengths.size(), 1u);
  EXPECT_EQ(gSetField.lengths[0], 2u);
  gSetField = {};
  ASSERT_TRUE(indexed_->Locate("Name", Variant("Abel"), {}));
  ASSERT_EQ(gSetField.lengths.size(), 1u);
  EXPECT_EQ(gSetField.lengths[0], 12u);  // the whole field
  // Only the last covered segment is partial.
  gSetField = {};
  ASSERT_TRUE(indexed_->Locate("Ort;Name", VarArrayOf({Variant("Bo"), Variant("Abel")}),
                               TLocateOptions{loPartialKey}));
  EXPECT_EQ(Id(indexed_), 5);
  ASSERT_EQ(gSetField.lengths.size(), 2u);
  EXPECT_EQ(gSetField.lengths[0], 2u);   // Ort, the second segment
  EXPECT_EQ(gSetField.lengths[1], 12u);  // Name, the first
}

TEST_P(Locate, WhichIndexesQualify) {
  AceImportOverride<decltype(Ace.AdsSeek)> seek(Ace.AdsSeek, &SpySeek);
  AceImportOverride<decltype(Ace.AdsIsIndexUnique)> unique(Ace.AdsIsIndexUnique, &SpyIsUnique);
  AceImportOverride<decltype(Ace.AdsGetAllIndexes)> all(Ace.AdsGetAllIndexes, &SpyGetAllIndexes);
  // Uniqueness is asked of every candidate index on DBF tables, never on ADT tables.
  gUnique = {};
  ASSERT_TRUE(indexed_->Locate("Name", Variant("Zorn"), {}));
  EXPECT_EQ(gUnique.calls > 0, GetParam() != ttAdsADT);
  // An active index with a scope is the only one tried, and only used when it matches.
  indexed_->SetIndexName("BYNAME");
  indexed_->SetScopeBegin("A");
  indexed_->SetScopeEnd("N");
  indexed_->SetScoped(true);
  gSeek = {};
  gAllIndexes = {};
  ASSERT_TRUE(indexed_->Locate("Name", Variant("Maier"), {}));
  EXPECT_EQ(gSeek.calls, 1);
  EXPECT_EQ(Id(indexed_), 1);
  gSeek = {};
  ASSERT_TRUE(indexed_->Locate("Ort", Variant("Bonn"), {}));
  EXPECT_EQ(gSeek.calls, 0);
  EXPECT_EQ(gAllIndexes.calls, 0);
  EXPECT_EQ(Id(indexed_), 5);  // the first of Bonn in the order of the index
  // The scope stays and the dataset still walks within it.
  EXPECT_EQ(EngineAof(indexed_), "<none>");
  indexed_->SetScoped(false);
  indexed_->SetIndexName("");
}

TEST_P(Locate, UniqueAndConditionalIndexes) {
  const TAdsTableTypes type = GetParam();
  MakePeople("u", type, rows_);
  ADSHANDLE conn = 0, table = 0, index = 0;
  ASSERT_EQ(AdsConnect(U8(data_), &conn), 0u);
  ASSERT_EQ(AdsOpenTable90(conn, U8("u"), nullptr, EngineType(type), ADS_ANSI,
                           ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0, U8(""), &table),
            0u);
  const bool ntx = type == ttAdsNTX;
  ASSERT_EQ(
      AdsCreateIndex90(table, ntx ? U8("UID") : nullptr, ntx ? nullptr : U8("UID"), U8("ID"),
                       nullptr, nullptr, ADS_UNIQUE | (ntx ? 0 : ADS_COMPOUND), 0, nullptr, &index),
      0u);
  ASSERT_EQ(
      AdsCreateIndex90(table, ntx ? U8("CORT") : nullptr, ntx ? nullptr : U8("CORT"), U8("Ort"),
                       U8("ID > 3"), nullptr, ntx ? 0 : ADS_COMPOUND, 0, nullptr, &index),
      0u);
  ASSERT_EQ(
      AdsCreateIndex90(table, ntx ? U8("BYORT") : nullptr, ntx ? nullptr : U8("BYORT"), U8("Ort"),
                       nullptr, nullptr, ntx ? 0 : ADS_COMPOUND, 0, nullptr, &index),
      0u);
  AdsCloseTable(table);
  AdsDisconnect(conn);
  TAdsTable* t = NewTable("u", type, {"UID", "CORT", "BYORT"});
  t->Open();
  AceImportOverride<decltype(Ace.AdsSeek)> seek(Ace.AdsSeek, &SpySeek);
  AceImportOverride<decltype(Ace.AdsGetAllIndexes)> all(Ace.AdsGetAllIndexes, &SpyGetAllIndexes);
  // A unique index is no key search on DBF tables; on ADT its uniqueness is not asked.
  gSeek = {};
  ASSERT_TRUE(t->Locate("ID", Variant(6), {}));
  EXPECT_EQ(Id(t), 6);
  EXPECT_EQ(gSeek.calls > 0, type == ttAdsADT);
  // Not active, the conditional index is passed over for the plain one on Ort.
  gSeek = {};
  ASSERT_TRUE(t->Locate("Ort", Variant("Graz"), {}));
  EXPECT_EQ(Id(t), 2);  // outside the condition, found all the same
  EXPECT_EQ(gSeek.calls, 1);
  // Active, it is the only one tried: the search goes to the filter when it does not match.
  t->SetIndexName("CORT");
  gSeek = {};
  gAllIndexes = {};
  ASSERT_TRUE(t->Locate("Name", Variant("Kurz"), {}));
  EXPECT_EQ(Id(t), 8);
  EXPECT_EQ(gSeek.calls, 0);
  EXPECT_EQ(gAllIndexes.calls, 0);
  // Matching, it is used, and finds only what its condition holds.
  ASSERT_TRUE(t->Locate("Ort", Variant("Graz"), {}));
  EXPECT_EQ(Id(t), 8);
  EXPECT_EQ(gSeek.calls, 1);
}

TEST_P(Locate, AFailedSearchLeavesEverythingAsItWas) {
  int before = 0, after = 0;
  indexed_->BeforeScroll = [&](TDataSet*) { ++before; };
  indexed_->AfterScroll = [&](TDataSet*) { ++after; };
  GoTo(indexed_, 6);
  before = after = 0;
  EXPECT_FALSE(indexed_->Locate("Name", Variant("Nobody"), {}));
  EXPECT_EQ(Id(indexed_), 6);
  EXPECT_EQ(before, 1);
  EXPECT_EQ(after, 0);
  indexed_->Next();
  EXPECT_EQ(Id(indexed_), 7);  // the window reads on from the same record
  const bool exact = EngineExact(indexed_);
  EXPECT_FALSE(indexed_->Locate("Ort", Variant("Nowhere"), TLocateOptions{loPartialKey}));
  EXPECT_EQ(Id(indexed_), 7);
  EXPECT_EQ(EngineExact(indexed_), exact);
  EXPECT_EQ(EngineAof(indexed_), "<none>");
  EXPECT_EQ(EnginePlainFilter(indexed_), "<none>");
  indexed_->Next();
  EXPECT_EQ(Id(indexed_), 8);
  // A value the field cannot take, or a field the dataset lacks: that error, nothing moved.
  if (GetParam() == ttAdsADT)
    EXPECT_THROW(indexed_->Locate("ID", Variant(1e12), {}), Exception);
  else
    ExpectMessage<EADSDatabaseError>([&] { indexed_->Locate("Betrag", Variant(1e12), {}); },
                                     "Numeric out of range.");
  EXPECT_THROW(indexed_->Locate("Nope", Variant(1), {}), EDatabaseError);
  EXPECT_EQ(indexed_->State(), dsBrowse);
  EXPECT_EQ(Id(indexed_), 8);
  EXPECT_EQ(EngineAof(indexed_), "<none>");
  indexed_->Next();
  EXPECT_EQ(Id(indexed_), 9);
  // At the end of the table a failed search leaves the dataset there.
  indexed_->Last();
  indexed_->Next();
  ASSERT_TRUE(indexed_->Eof());
  EXPECT_FALSE(indexed_->Locate("Name", Variant("Nobody"), {}));
  EXPECT_TRUE(indexed_->Eof());
  EXPECT_EQ(Id(indexed_), 10);
  // A successful one fires both scroll events and makes the record current.
  before = after = 0;
  EXPECT_TRUE(indexed_->Locate("Ort", Variant("Aach"), {}));
  EXPECT_EQ(Id(indexed_), 10);
  EXPECT_FALSE(indexed_->Eof());
  EXPECT_EQ(before, 1);
  EXPECT_EQ(after, 1);
  indexed_->Prior();
  EXPECT_EQ(Id(indexed_), 9);
}

TEST_P(Locate, TheFilterSearchKeepsTheDatasetsOwnFilters) {
  // An optimized filter of the dataset: the search adds a plain one for itself.
  plain_->SetFilter("Aktiv");
  plain_->SetFiltered(true);
  EXPECT_TRUE(plain_->Locate("Name", Variant("Abel"), {}));
  EXPECT_EQ(Id(plain_), 5);  // Abel of Graz is not active
  EXPECT_EQ(EngineAof(plain_), "Aktiv");
  EXPECT_EQ(EnginePlainFilter(plain_), "<none>");
  // Both kinds set: the engine tests the records one by one.
  ASSERT_EQ(AdsSetFilter(static_cast<ADSHANDLE>(plain_->Handle()), U8("ID > 5")), 0u);
  AceImportOverride<decltype(Ace.AdsEvalLogicalExpr)> eval(Ace.AdsEvalLogicalExpr, &SpyEvalLogical);
  gEval = {};
  EXPECT_TRUE(plain_->Locate("Ort", Variant("Graz"), {}));
  EXPECT_EQ(Id(plain_), 8);
  EXPECT_GT(gEval.calls, 0);
  EXPECT_EQ(EngineAof(plain_), "Aktiv");
  EXPECT_EQ(EnginePlainFilter(plain_), "ID > 5");
  EXPECT_FALSE(plain_->Locate("Name", Variant("Abel"), {}));  // 5 is not above 5
  EXPECT_EQ(Id(plain_), 8);
  ASSERT_EQ(AdsClearFilter(static_cast<ADSHANDLE>(plain_->Handle())), 0u);
  // A plain filter of the dataset: the search adds an optimized one.
  plain_->SetFiltered(false);
  plain_->AdsTableOptions()->SetAdsOptimizedFilters(false);
  plain_->SetFiltered(true);
  EXPECT_TRUE(plain_->Locate("Name", Variant("Mueller"), {}));
  EXPECT_EQ(Id(plain_), 10);
  EXPECT_EQ(EngineAof(plain_), "<none>");
  EXPECT_EQ(EnginePlainFilter(plain_), "Aktiv");
  // OnFilterRecord with Filtered: no index, and the handler's answer counts.
  indexed_->SetOnFilterRecord(
      [](TDataSet* ds, bool& accept) { accept = ds->FieldByName("ID")->AsInteger() != 2; });
  indexed_->SetFiltered(true);
  AceImportOverride<decltype(Ace.AdsSeek)> seek(Ace.AdsSeek, &SpySeek);
  gSeek = {};
  EXPECT_TRUE(indexed_->Locate("Name", Variant("Abel"), {}));
  EXPECT_EQ(Id(indexed_), 5);
  EXPECT_EQ(gSeek.calls, 0);
}

TEST_P(Locate, TheSearchExpressionOfTheFilter) {
  AceImportOverride<decltype(Ace.AdsSetAOF100)> aof(Ace.AdsSetAOF100, &SpySetAOF100);
  gSetAof = {};
  ASSERT_TRUE(plain_->Locate("Ort;Aktiv", VarArrayOf({Null(), Variant(true)}), {}));
  EXPECT_EQ(Id(plain_), 3);
  // The names are the fields' own (upper case on DBF tables).
  const std::string ort = plain_->FieldByName("Ort")->FieldName();
  const std::string aktiv = plain_->FieldByName("Aktiv")->FieldName();
  const std::string name = plain_->FieldByName("Name")->FieldName();
  ASSERT_EQ(gSetAof.texts.size(), 1u);
  EXPECT_EQ(gSetAof.texts[0], "(empty(" + ort + ")) AND (" + aktiv + "=.TRUE.)");
  EXPECT_EQ(gSetAof.options[0], 8194u);
  ASSERT_TRUE(plain_->Locate("Name", Variant("MEIER"), TLocateOptions{loCaseInsensitive}));
  EXPECT_EQ(gSetAof.texts.back(), "(UPPER(" + name + ")=UPPER(\"MEIER\"))");
  EXPECT_EQ(Id(plain_), 6);
}

TEST_P(Locate, LookupReadsWithoutMoving) {
  int scrolls = 0;
  indexed_->BeforeScroll = [&](TDataSet*) { ++scrolls; };
  indexed_->AfterScroll = [&](TDataSet*) { ++scrolls; };
  GoTo(indexed_, 3);
  scrolls = 0;
  const int recNo = indexed_->RecNo();
  EXPECT_EQ(Trim(indexed_->Lookup("Name", Variant("Kurz"), "Ort").AsString()), "Graz");
  const Variant both =
      indexed_->Lookup("Name;Ort", VarArrayOf({Variant("Abel"), Variant("Bonn")}), "ID;Betrag");
  ASSERT_TRUE(VarIsArray(both));
  EXPECT_EQ(both[0].AsInteger(), 5);
  EXPECT_DOUBLE_EQ(both[1].AsDouble(), 12.0);
  EXPECT_TRUE(VarIsNull(indexed_->Lookup("Name", Variant("Nobody"), "ID")));
  EXPECT_EQ(Trim(plain_->Lookup("Betrag", Variant(-1), "Name").AsString()), "Mueller");
  EXPECT_EQ(indexed_->RecNo(), recNo);
  EXPECT_EQ(Id(indexed_), 3);
  EXPECT_EQ(scrolls, 0);
  // The window reads on from its own record.
  indexed_->Next();
  EXPECT_EQ(Id(indexed_), 4);
  // A null key answers null without asking the engine.
  AceImportOverride<decltype(Ace.AdsGetBookmark)> spy(Ace.AdsGetBookmark, &SpyGetBookmark);
  gBookmark = {};
  EXPECT_TRUE(VarIsNull(indexed_->Lookup("Name", Null(), "ID")));
  EXPECT_EQ(gBookmark.calls, 0);
}

TEST_P(Locate, LocateLocallyEvaluatesFromTheTop) {
  GoTo(indexed_, 9);
  EXPECT_TRUE(indexed_->LocateLocally("Ort = 'Bonn'"));
  UNSIGNED32 recno = 0;
  ASSERT_EQ(AdsGetRecordNum(static_cast<ADSHANDLE>(indexed_->Handle()), ADS_IGNOREFILTERS, &recno),
            0u);
  EXPECT_EQ(recno, 4u);
  EXPECT_FALSE(indexed_->LocateLocally("Ort = 'Nowhere'"));
  EXPECT_EQ(Id(indexed_), 9);  // the window is not touched
}

INSTANTIATE_TEST_SUITE_P(Types, Locate, ::testing::Values(ttAdsADT, ttAdsCDX, ttAdsNTX),
                         [](const auto& info) { return idxtest::TypeName(info.param); });

// ---- FindFirst .. FindPrior -----------------------------------------------------------------

class FindRecords : public FilterWorldByType {
 protected:
  void SetUp() override {
    FilterWorldByType::SetUp();
    rows_ = Crowd(300);
    MakePeople("c", GetParam(), rows_);
    t_ = NewTable("c", GetParam());
    t_->Open();
  }
  std::vector<Person> rows_;
  TAdsTable* t_ = nullptr;
};

TEST_P(FindRecords, FindFirstNextPriorLastUseTheFilterTextOnce) {
  t_->SetFilter("MOD(ID, 5) = 0 .AND. Ort = 'Bonn'");
  const std::vector<int> expected =
      IdsWhere(rows_, [](const Person& p) { return p.id % 5 == 0 && p.ort == "Bonn"; });
  ASSERT_GT(expected.size(), 3u);
  int before = 0, after = 0;
  t_->BeforeScroll = [&](TDataSet*) { ++before; };
  t_->AfterScroll = [&](TDataSet*) { ++after; };
  std::vector<int> found;
  for (bool ok = t_->FindFirst(); ok; ok = t_->FindNext()) {
    EXPECT_TRUE(t_->Found());
    found.push_back(Id(t_));
    EXPECT_EQ(EngineAof(t_), "<none>");  // only for the search
  }
  EXPECT_EQ(found, expected);
  EXPECT_FALSE(t_->Found());
  EXPECT_EQ(Id(t_), expected.back());  // not found: the dataset stays on its record
  EXPECT_EQ(before, static_cast<int>(found.size()) + 1);
  EXPECT_EQ(after, static_cast<int>(found.size()));
  std::vector<int> back;
  for (bool ok = t_->FindLast(); ok; ok = t_->FindPrior()) back.push_back(Id(t_));
  std::reverse(back.begin(), back.end());
  EXPECT_EQ(back, expected);
  // The dataset itself stays unfiltered.
  EXPECT_FALSE(t_->Filtered());
  EXPECT_EQ(Ids(t_).size(), rows_.size());
}

TEST_P(FindRecords, TheSearchHonoursOnFilterRecordAndAnActiveFilter) {
  t_->SetFilter("Ort = 'Wien'");
  t_->SetOnFilterRecord(
      [](TDataSet* ds, bool& accept) { accept = ds->FieldByName("ID")->AsInteger() > 150; });
  std::vector<int> found;
  for (bool ok = t_->FindFirst(); ok; ok = t_->FindNext()) found.push_back(Id(t_));
  EXPECT_EQ(found, IdsWhere(rows_, [](const Person& p) { return p.ort == "Wien" && p.id > 150; }));
  // Filtered: the engine filter stays, the search moves within it.
  t_->SetOnFilterRecord(nullptr);
  t_->SetFilter("Aktiv");
  t_->SetFiltered(true);
  ASSERT_TRUE(t_->FindLast());
  EXPECT_EQ(Id(t_), 300);
  ASSERT_TRUE(t_->FindPrior());
  EXPECT_EQ(Id(t_), 296);
  EXPECT_EQ(EngineAof(t_), "Aktiv");
  // No filter text: every record.
  t_->SetFiltered(false);
  t_->SetFilter("");
  ASSERT_TRUE(t_->FindFirst());
  EXPECT_EQ(Id(t_), 1);
  ASSERT_TRUE(t_->FindNext());
  EXPECT_EQ(Id(t_), 2);
}

INSTANTIATE_TEST_SUITE_P(Types, FindRecords, ::testing::Values(ttAdsADT, ttAdsCDX, ttAdsNTX),
                         [](const auto& info) { return idxtest::TypeName(info.param); });

}  // namespace
