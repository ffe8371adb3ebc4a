// Filters of the datasets on real ADT, CDX and NTX tables: the filter text as the engine gets it
// (trailing asterisks, CONTAINS, exact matching), when it reaches the engine, optimized and plain
// filters with their option values, Filtered on and off, AdsOptimizedFilters on an open
// dataset, the records a filter leaves against a scan of the same rows, Filter together with
// OnFilterRecord, record counts, the walks that honour OnFilterRecord and BuildFilterString.
#include "tests/ads/filters/filter_support.h"

using namespace filtertest;

namespace {

// A table that lets the tests call the filter walks and BuildFilterString as the searches do.
class TProbeTable : public TAdsTable {
 public:
  explicit TProbeTable(TComponent* AOwner) : TAdsTable(AOwner) {}
  bool Scan(bool forward) { return ScanAccepted(forward); }
  // BuildFilterString over the values given to the fields, in the filter state.
  std::string Expression(const std::vector<std::string>& names, const std::vector<Variant>& values,
                         bool caseInsensitive) {
    std::vector<TField*> fields;
    for (const std::string& n : names) fields.push_back(FieldByName(n));
    const TDataSetState saved = SetTempState(dsFilter);
    mpFilterBuffer = TempBuffer();
    Finally leave([&] {
      RestoreState(saved);
      mpFilterBuffer = nullptr;
    });
    InitRecord(mpFilterBuffer);
    for (size_t i = 0; i < fields.size(); ++i) fields[i]->SetAsVariant(values[i]);
    std::string out;
    BuildFilterString(fields, caseInsensitive, out);
    return out;
  }
};

class Filters : public FilterWorldByType {
 protected:
  void SetUp() override {
    FilterWorldByType::SetUp();
    rows_ = Crowd(120);
    MakePeople("p", GetParam(), rows_);
    MakeIndex("p", GetParam(), "BYNAME", "Name");
    t_ = NewTable("p", GetParam(), {"BYNAME"});
  }
  TProbeTable* NewProbe() {
    auto* t = new TProbeTable(form_.get());
    t->SetDatabaseName(data_);
    t->SetTableType(GetParam());
    t->SetTableName("p");
    return t;
  }
  std::vector<Person> rows_;
  TAdsTable* t_ = nullptr;
};

TEST_P(Filters, TrailingAsteriskOfALiteralTurnsExactMatchingOff) {
  t_->Open();
  t_->SetFilter("Name = 'Mei*'");
  t_->SetFiltered(true);
  EXPECT_EQ(EngineAof(t_), "Name = 'Mei'");
  EXPECT_FALSE(EngineExact(t_));
  EXPECT_EQ(Ids(t_), IdsWhere(rows_, [](const Person& p) { return p.name.rfind("Mei", 0) == 0; }));
  // An asterisk that is the whole literal, or inside it, stays, and matching stays exact.
  t_->SetFilter("Name = '*'");
  EXPECT_EQ(EngineAof(t_), "Name = '*'");
  EXPECT_TRUE(EngineExact(t_));
  EXPECT_TRUE(Ids(t_).empty());
  t_->SetFilter("Name = \"a*b\" .OR. Name = '**'");
  EXPECT_EQ(EngineAof(t_), "Name = \"a*b\" .OR. Name = '**'");
  EXPECT_TRUE(EngineExact(t_));
  // Only the last one of two goes.
  t_->SetFilter("Name = \"Ma**\"");
  EXPECT_EQ(EngineAof(t_), "Name = \"Ma*\"");
  EXPECT_FALSE(EngineExact(t_));
  // Inside CONTAINS( ... ) every asterisk stays, whatever the letter case and blanks.
  t_->SetFilter("contains ( Name, 'Ma*' ) .AND. Ort = 'W*'");
  EXPECT_EQ(EngineAof(t_), "contains ( Name, 'Ma*' ) .AND. Ort = 'W'");
  // A CONTAINS without its closing parenthesis is scanned on from the parenthesis.
  t_->SetFiltered(false);
  bool exact = true;
  EXPECT_EQ(t_->PrepareFilterText("CONTAINS(Name, 'x*'", exact), "CONTAINS(Name, 'x'");
  EXPECT_FALSE(exact);
}

TEST_P(Filters, TheFilterReachesTheEngineOnlyWhileFilteredOnAnOpenCursor) {
  // Closed: only stored; the open applies it.
  t_->SetFilter("Ort = 'Wien'");
  t_->SetFiltered(true);
  t_->Open();
  EXPECT_EQ(EngineAof(t_), "Ort = 'Wien'");
  const std::vector<int> inWien = IdsWhere(rows_, [](const Person& p) { return p.ort == "Wien"; });
  EXPECT_EQ(Ids(t_), inWien);
  t_->Close();
  // Open and not filtered: a new text stays with the component until Filtered turns True.
  t_->SetFiltered(false);
  t_->Open();
  t_->SetFilter("Ort = 'Graz'");
  EXPECT_EQ(EngineAof(t_), "<none>");
  EXPECT_EQ(Ids(t_).size(), rows_.size());
  t_->SetFiltered(true);
  EXPECT_EQ(EngineAof(t_), "Ort = 'Graz'");
  // A new text on an active filtered dataset goes to the engine at once, and the dataset is on
  // its first record.
  t_->Last();
  t_->SetFilter("Ort = 'Linz'");
  EXPECT_EQ(EngineAof(t_), "Ort = 'Linz'");
  EXPECT_EQ(Id(t_), IdsWhere(rows_, [](const Person& p) { return p.ort == "Linz"; }).front());
  // An empty text clears the engine filter.
  t_->SetFilter("");
  EXPECT_EQ(EngineAof(t_), "<none>");
  EXPECT_EQ(Ids(t_).size(), rows_.size());
}

TEST_P(Filters, OptimizedAndPlainFiltersWithTheirOptionValues) {
  AceImportOverride<decltype(Ace.AdsSetAOF100)> aof(Ace.AdsSetAOF100, &SpySetAOF100);
  AceImportOverride<decltype(Ace.AdsSetFilter100)> plain(Ace.AdsSetFilter100, &SpySetFilter100);
  AceImportOverride<decltype(Ace.AdsClearAOF)> clearAof(Ace.AdsClearAOF, &SpyClearAOF);
  gSetAof = gSetFilter = gClearAof = {};
  t_->SetFilter("ID > 100");
  t_->Open();
  t_->SetFiltered(true);
  ASSERT_EQ(gSetAof.options.size(), 1u);
  EXPECT_EQ(gSetAof.options[0], 8194u);  // dynamic, resolved when needed, UTF-16
  EXPECT_EQ(gSetAof.texts[0], "ID > 100");
  t_->Next();
  // Off: cleared with the optimized call, on the first record.
  t_->SetFiltered(false);
  EXPECT_EQ(gClearAof.calls, 1);
  EXPECT_EQ(Id(t_), 1);
  t_->AdsTableOptions()->SetAdsAOFType(atFixed);
  t_->AdsTableOptions()->SetAdsAOFResolveImmediate(true);
  t_->SetFiltered(true);
  EXPECT_EQ(gSetAof.options.back(), 8201u);
  t_->AdsTableOptions()->SetAdsAOFType(atKeySet);
  t_->AdsTableOptions()->SetAdsAOFResolveImmediate(false);
  t_->SetFiltered(true);
  EXPECT_EQ(gSetAof.options.back(), 8198u);
  EXPECT_EQ(Ids(t_), IdsWhere(rows_, [](const Person& p) { return p.id > 100; }));
  // Switching to plain filters on the open dataset moves the filter over.
  t_->Last();
  t_->AdsTableOptions()->SetAdsOptimizedFilters(false);
  ASSERT_EQ(gSetFilter.options.size(), 1u);
  EXPECT_EQ(gSetFilter.options[0], 8192u);
  EXPECT_EQ(EngineAof(t_), "<none>");
  EXPECT_EQ(EnginePlainFilter(t_), "ID > 100");
  EXPECT_EQ(Id(t_), 101);
  EXPECT_EQ(Ids(t_), IdsWhere(rows_, [](const Person& p) { return p.id > 100; }));
  t_->SetFiltered(false);
  EXPECT_EQ(EnginePlainFilter(t_), "<none>");
  EXPECT_EQ(Ids(t_).size(), rows_.size());
}

TEST_P(Filters, ARefusedExpressionRaisesAndFilteredKeepsTheNewValue) {
  t_->Open();
  t_->SetFilter("Name = ");
  ExpectMessage<EADSDatabaseError>([&] { t_->SetFiltered(true); }, "");
  EXPECT_TRUE(t_->Filtered());
  EXPECT_EQ(EngineAof(t_), "<none>");
  // Switching the kind on an open filtered dataset with such a text keeps the old setting.
  EXPECT_THROW(t_->AdsTableOptions()->SetAdsOptimizedFilters(false), EADSDatabaseError);
  EXPECT_TRUE(t_->AdsTableOptions()->AdsOptimizedFilters());
  // Removing a filter that was never set is no error.
  EXPECT_NO_THROW(t_->SetFiltered(false));
  EXPECT_NO_THROW(t_->ClearEngineFilter());
}

// Every filter, optimized or plain, in natural and in index order, leaves the rows that a scan
// of the same rows keeps, in that order.
TEST_P(Filters, OptimizedPlainAndScanAgree) {
  struct Case {
    const char* filter;
    std::function<bool(const Person&)> pass;
  };
  const std::vector<Case> cases = {
      {"Name = 'Maier'", [](const Person& p) { return p.name == "Maier"; }},
      {"Name = 'Ma*'", [](const Person& p) { return p.name.rfind("Ma", 0) == 0; }},
      {"Ort = 'Bonn' .OR. ID > 110", [](const Person& p) { return p.ort == "Bonn" || p.id > 110; }},
      {"Betrag > 10 .AND. .NOT. Aktiv", [](const Person& p) { return p.betrag > 10 && !p.aktiv; }},
      {"empty(Ort)", [](const Person& p) { return p.ort.empty(); }},
      {"Name >= 'L' .AND. Name < 'N'",
       [](const Person& p) { return p.name >= "L" && p.name < "N"; }},
  };
  t_->Open();
  for (bool optimized : {true, false}) {
    for (bool byName : {false, true}) {
      t_->SetFiltered(false);
      t_->AdsTableOptions()->SetAdsOptimizedFilters(optimized);
      t_->SetIndexName(byName ? "BYNAME" : "");
      for (const Case& c : cases) {
        std::vector<Person> kept;
        for (const Person& p : rows_)
          if (c.pass(p)) kept.push_back(p);
        std::vector<int> expected = byName ? IdsByName(kept) : IdsWhere(kept, c.pass);
        t_->SetFilter(c.filter);
        t_->SetFiltered(true);
        EXPECT_EQ(Ids(t_), expected)
            << c.filter << (optimized ? " optimized" : " plain") << (byName ? " by name" : "");
      }
    }
  }
}

TEST_P(Filters, FilterAndOnFilterRecordTogetherAndTheRecordCount) {
  t_->SetOnFilterRecord(
      [](TDataSet* ds, bool& accept) { accept = ds->FieldByName("ID")->AsInteger() % 2 == 1; });
  t_->SetFilter("Ort = 'Bonn'");
  t_->SetFiltered(true);
  t_->Open();
  const auto both = [](const Person& p) { return p.ort == "Bonn" && p.id % 2 == 1; };
  EXPECT_EQ(Ids(t_), IdsWhere(rows_, both));
  // Backwards too.
  std::vector<int> back;
  for (t_->Last(); !t_->Bof(); t_->Prior()) back.push_back(Id(t_));
  std::reverse(back.begin(), back.end());
  EXPECT_EQ(back, IdsWhere(rows_, both));
  // The count respects the engine filter when the options say so (the event is the
  // component's and does not count), else every record.
  EXPECT_EQ(t_->RecordCount(), static_cast<int>(rows_.size()));
  t_->AdsTableOptions()->SetAdsFilterOptions(RESPECT_WHEN_COUNTING);
  EXPECT_EQ(
      t_->RecordCount(),
      static_cast<int>(IdsWhere(rows_, [](const Person& p) { return p.ort == "Bonn"; }).size()));
  // Filtered off: neither applies.
  t_->SetFiltered(false);
  EXPECT_EQ(Ids(t_).size(), rows_.size());
  EXPECT_EQ(t_->RecordCount(), static_cast<int>(rows_.size()));
}

TEST_P(Filters, KeySeekAndScanStopOnlyOnAcceptedRecords) {
  std::vector<int> offered;
  TProbeTable* t = NewProbe();
  if (GetParam() == ttAdsNTX) t->IndexFiles()->Add("BYNAME.ntx");
  t->Open();
  t->SetIndexName("BYNAME");
  // Without a handler the walk is refused.
  ExpectMessage<EADSDatabaseError>([&] { t->Scan(true); }, "Expected OnFilterRecord event.");
  // The first Maier records by id are refused: GotoKey finds the first one accepted.
  const std::vector<int> maier = IdsWhere(rows_, [](const Person& p) { return p.name == "Maier"; });
  ASSERT_GE(maier.size(), 3u);
  t->SetOnFilterRecord([&](TDataSet* ds, bool& accept) {
    const int id = ds->FieldByName("ID")->AsInteger();
    offered.push_back(id);
    accept = id != maier[0] && id != maier[1];
  });
  t->SetFiltered(true);
  offered.clear();
  EXPECT_TRUE(t->FindKey({Variant("Maier")}));
  EXPECT_EQ(Id(t), maier[2]);
  // All refused: not found, and the keys of the next name are not offered as Maier.
  t->SetOnFilterRecord([&](TDataSet* ds, bool& accept) {
    offered.push_back(ds->FieldByName("ID")->AsInteger());
    accept = Trim(ds->FieldByName("Name")->AsString()) != "Maier";
  });
  offered.clear();
  EXPECT_FALSE(t->FindKey({Variant("Maier")}));
  EXPECT_EQ(offered, maier);
  // The scan goes on from the engine's record in the active order, both ways.
  t->SetOnFilterRecord([&](TDataSet* ds, bool& accept) {
    accept = Trim(ds->FieldByName("Name")->AsString()) == "Zorn";
  });
  const std::vector<int> zorn = IdsWhere(rows_, [](const Person& p) { return p.name == "Zorn"; });
  ASSERT_EQ(AdsGotoTop(static_cast<ADSHANDLE>(t->ActiveHandle())), 0u);
  ASSERT_TRUE(t->Scan(true));
  UNSIGNED32 recno = 0;
  ASSERT_EQ(AdsGetRecordNum(static_cast<ADSHANDLE>(t->Handle()), ADS_IGNOREFILTERS, &recno), 0u);
  EXPECT_EQ(static_cast<int>(recno), zorn.front());
  ASSERT_EQ(AdsGotoBottom(static_cast<ADSHANDLE>(t->ActiveHandle())), 0u);
  ASSERT_TRUE(t->Scan(false));
  ASSERT_EQ(AdsGetRecordNum(static_cast<ADSHANDLE>(t->Handle()), ADS_IGNOREFILTERS, &recno), 0u);
  EXPECT_EQ(static_cast<int>(recno), zorn.back());
  t->SetOnFilterRecord([](TDataSet*, bool& accept) { accept = false; });
  ASSERT_EQ(AdsGotoTop(static_cast<ADSHANDLE>(t->ActiveHandle())), 0u);
  EXPECT_FALSE(t->Scan(true));
}

TEST_P(Filters, BuildFilterStringLiterals) {
  TProbeTable* t = NewProbe();
  t->Open();
  // The names are the fields' own (upper case on DBF tables).
  const std::string ort = t->FieldByName("Ort")->FieldName();
  const std::string aktiv = t->FieldByName("Aktiv")->FieldName();
  const std::string name = t->FieldByName("Name")->FieldName();
  const std::string betrag = t->FieldByName("Betrag")->FieldName();
  EXPECT_EQ(t->Expression({"Ort", "Aktiv"}, {Null(), Variant(true)}, false),
            "(empty(" + ort + ")) AND (" + aktiv + "=.TRUE.)");
  EXPECT_EQ(t->Expression({"Name"}, {Variant("Meier")}, true),
            "(UPPER(" + name + ")=UPPER(\"Meier\"))");
  EXPECT_EQ(t->Expression({"Name"}, {Variant("Meier")}, false), "(" + name + "=\"Meier\")");
  // A double quote inside the value is spliced in with Chr(34): 13 characters more.
  const std::string quoted = t->Expression({"Name"}, {Variant("a\"b")}, false);
  EXPECT_EQ(quoted, "(" + name + "=\"a\"+ Chr(34) + \"b\")");
  EXPECT_EQ(quoted.size(), name.size() + 3 + 5 + 13);
  EXPECT_EQ(t->Expression({"Aktiv", "ID"}, {Variant(false), Variant(7)}, true),
            "(" + aktiv + "=.FALSE.) AND (ID=7)");
  // A decimal comma of the locale becomes the engine's point.
  const char separator = FormatSettings.DecimalSeparator;
  FormatSettings.DecimalSeparator = ',';
  Finally restore([&] { FormatSettings.DecimalSeparator = separator; });
  EXPECT_EQ(t->Expression({"Betrag"}, {Variant(3.5)}, false), "(" + betrag + "=3.5)");
  FormatSettings.DecimalSeparator = separator;
  // Outside the filter state there are no values to build from.
  std::string out;
  ExpectMessage<EADSDatabaseError>(
      [&] { t->BuildFilterString({t->FieldByName("Name")}, false, out); },
      "Internal Error, << BuildFilterString >>");
}

INSTANTIATE_TEST_SUITE_P(Types, Filters, ::testing::Values(ttAdsADT, ttAdsCDX, ttAdsNTX),
                         [](const auto& info) { return idxtest::TypeName(info.param); });

}  // namespace
