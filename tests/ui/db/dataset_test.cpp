// TDataSet through the in-memory dataset: opening and closing, the buffer window, navigation,
// bookmarks, editing, calculated and lookup fields, filters, search, links and data sources.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/ui/db/MemDataSet.h"

using ::testing::ElementsAre;

namespace {

std::vector<MemFieldSpec> PeopleSpecs() {
  return {{"ID", ftInteger}, {"NAME", ftString, 20}, {"AMOUNT", ftFloat}};
}

// A dataset of Count rows: ID i, NAME "N<i>", AMOUNT i * 1.5 (i from 1).
void Fill(TMemDataSet& ds, int Count) {
  ds.SetSpecs(PeopleSpecs());
  for (int i = 1; i <= Count; ++i) ds.AddRow({i, "N" + std::to_string(i), i * 1.5});
}

int Id(TDataSet& ds) {
  return ds.FieldByName("ID")->AsInteger();
}

class DataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = FormatSettings;
    FormatSettings.DecimalSeparator = ',';
  }
  void TearDown() override { FormatSettings = saved_; }
  TFormatSettings saved_;
};

TEST_F(DataSetTest, OpenAndCloseRunHooksAndEventsInOrder) {
  TMemDataSet ds(nullptr);
  Fill(ds, 3);
  ds.LogEvents();
  ds.Open();
  EXPECT_THAT(ds.Log, ElementsAre("BeforeOpen", "InternalOpen", "AfterOpen", "AfterScroll"));
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_TRUE(ds.DefaultFields());
  EXPECT_EQ(ds.FieldCount(), 3);
  // Exactly one record fetched into one buffer (plus the spare one).
  EXPECT_EQ(ds.GetRecordCalls, 1);
  EXPECT_EQ(ds.BufferCount(), 1);
  EXPECT_EQ(ds.BuffersAllocated, 2);
  EXPECT_EQ(ds.InitFieldDefsCalls, 1);  // definitions read once per open
  EXPECT_EQ(Id(ds), 1);
  EXPECT_TRUE(ds.Bof());
  EXPECT_FALSE(ds.Eof());

  ds.Log.clear();
  ds.Close();
  EXPECT_THAT(ds.Log, ElementsAre("BeforeClose", "InternalClose", "AfterClose"));
  EXPECT_EQ(ds.State(), dsInactive);
  EXPECT_EQ(ds.BuffersFreed, ds.BuffersAllocated);
  EXPECT_EQ(ds.FieldCount(), 0);  // default fields go with the close
  EXPECT_THROW(ds.RecordCount(), EDatabaseError);
}

TEST_F(DataSetTest, EmptyDatasetOpensAtBothEnds) {
  TMemDataSet ds(nullptr);
  ds.SetSpecs(PeopleSpecs());
  ds.LogEvents();
  ds.Open();
  EXPECT_THAT(ds.Log, ElementsAre("BeforeOpen", "InternalOpen", "AfterOpen"));
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.Eof());
  EXPECT_TRUE(ds.FieldByName("ID")->IsNull());
  EXPECT_EQ(ds.MoveBy(1), 0);
  ds.Last();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.Eof());
  EXPECT_THROW(ds.Delete(), EDatabaseError);
}

TEST_F(DataSetTest, FailedOpenLeavesTheDatasetClosed) {
  TMemDataSet ds(nullptr);
  ds.SetName("Kinder");
  Fill(ds, 2);
  ds.FailOpen = true;
  try {
    ds.Open();
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Kinder: Öffnen verweigert");
  }
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.State(), dsInactive);
  EXPECT_EQ(ds.InternalCloseCalls, 1);
  ds.FailOpen = false;
  ds.Open();
  EXPECT_EQ(Id(ds), 1);
}

TEST_F(DataSetTest, InactiveAndActiveChecksUseTheGermanTexts) {
  TMemDataSet ds(nullptr);
  ds.SetName("T1");
  Fill(ds, 1);
  try {
    ds.CheckActive();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "T1: Datenmenge ist nicht geöffnet");
  }
  ds.Open();
  try {
    ds.SetSpecs(PeopleSpecs());
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "T1: Operation bei geöffneter Datenmenge nicht ausführbar");
  }
  try {
    ds.FieldByName("NOPE");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "T1: Feld 'NOPE' nicht gefunden");
  }
  try {
    ds.Post();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "T1: Datenmenge nicht im Bearbeitungs- oder Einfügemodus");
  }
  try {
    ds.FieldByName("NAME")->SetAsString("x");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "T1: Datenmenge nicht im Bearbeitungs- oder Einfügemodus");
  }
}

TEST_F(DataSetTest, NavigationAtTheEnds) {
  TMemDataSet ds(nullptr);
  Fill(ds, 5);
  ds.Open();
  EXPECT_EQ(ds.MoveBy(2), 2);
  EXPECT_EQ(Id(ds), 3);
  EXPECT_EQ(ds.MoveBy(100), 2);
  EXPECT_EQ(Id(ds), 5);
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.MoveBy(1), 0);  // nothing happens at the end
  ds.Prior();
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(Id(ds), 4);
  EXPECT_EQ(ds.MoveBy(-100), -3);
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(Id(ds), 1);
  ds.Last();
  EXPECT_TRUE(ds.Eof());
  EXPECT_FALSE(ds.Bof());
  EXPECT_EQ(Id(ds), 5);
  ds.First();
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(Id(ds), 1);
  int seen = 0;
  while (!ds.Eof()) {
    ++seen;
    ds.Next();
  }
  EXPECT_EQ(seen, 5);
  EXPECT_EQ(ds.RecordCount(), 5);
  ds.SetRecNo(4);
  EXPECT_EQ(ds.RecNo(), 4);
  EXPECT_EQ(Id(ds), 4);
}

TEST_F(DataSetTest, LinkBufferCountSetsTheWindowAndScrollDistances) {
  TMemDataSet ds(nullptr);
  Fill(ds, 10);
  TDataSource src(nullptr);
  src.SetDataSet(&ds);
  TTestDataLink link;
  link.SetBufferCount(3);
  link.SetDataSource(&src);
  ds.Open();
  EXPECT_TRUE(link.Active());
  EXPECT_EQ(ds.BufferCount(), 3);
  EXPECT_EQ(ds.WindowRecordCount(), 3);
  EXPECT_EQ(link.RecordCount(), 3);
  EXPECT_EQ(ds.GetRecordCalls, 3);
  link.Events.clear();

  ds.Next();
  ds.Next();
  EXPECT_EQ(link.ActiveRecord(), 2);
  ds.Next();  // the window moves one record forward
  EXPECT_EQ(Id(ds), 4);
  EXPECT_EQ(link.ActiveRecord(), 2);
  ds.Prior();
  ds.Prior();
  EXPECT_EQ(link.ActiveRecord(), 0);
  ds.Prior();  // and one back
  EXPECT_EQ(Id(ds), 1);
  EXPECT_THAT(link.Scrolls, ElementsAre(0, 0, 1, 0, 0, -1));

  // The link reads other rows by moving the active record inside the window.
  link.SetActiveRecord(2);
  EXPECT_EQ(Id(ds), 3);
  link.SetActiveRecord(0);

  ds.Last();
  EXPECT_EQ(ds.ActiveRecord(), 2);
  EXPECT_EQ(Id(ds), 10);
  link.SetActiveRecord(0);
  EXPECT_EQ(Id(ds), 8);
  link.SetActiveRecord(2);

  // A larger link enlarges the window at once; without links it falls back to one buffer.
  link.SetBufferCount(6);
  EXPECT_EQ(ds.BufferCount(), 6);
  EXPECT_EQ(ds.WindowRecordCount(), 6);
  EXPECT_EQ(Id(ds), 10);
  link.SetDataSource(nullptr);
  EXPECT_EQ(ds.BufferCount(), 1);
  EXPECT_EQ(ds.WindowRecordCount(), 1);
  EXPECT_EQ(Id(ds), 10);
}

TEST_F(DataSetTest, ResyncCentresTheCurrentRecord) {
  TMemDataSet ds(nullptr);
  Fill(ds, 20);
  TDataSource src(nullptr);
  src.SetDataSet(&ds);
  TTestDataLink link;
  link.SetBufferCount(5);
  link.SetDataSource(&src);
  ds.Open();
  ASSERT_TRUE(ds.Locate("ID", 10, {}));
  EXPECT_EQ(Id(ds), 10);
  EXPECT_EQ(ds.ActiveRecord(), 2);  // (5 - 1) / 2 records before it
  ds.SetRecNo(1);
  EXPECT_EQ(ds.ActiveRecord(), 0);  // nothing before the first record
  EXPECT_EQ(ds.WindowRecordCount(), 5);

  // Resync rebuilds around the cursor's record; without a mode it keeps the active record's
  // place in the window.
  ds.MoveBy(3);
  int place = ds.ActiveRecord();
  ds.UpdateCursorPos();
  ds.Resync(TResyncMode{});
  EXPECT_EQ(ds.ActiveRecord(), place);
  EXPECT_EQ(Id(ds), 4);
}

TEST_F(DataSetTest, BookmarksReturnToTheirRecord) {
  TMemDataSet ds(nullptr);
  Fill(ds, 6);
  ds.Open();
  ds.MoveBy(2);
  TBookmark b = ds.Bookmark();
  ASSERT_EQ(b.size(), 4u);
  ds.Last();
  ds.GotoBookmark(b);
  EXPECT_EQ(Id(ds), 3);
  EXPECT_TRUE(ds.BookmarkValid(b));
  TBookmark last;
  ds.Last();
  last = ds.Bookmark();
  EXPECT_LT(ds.CompareBookmarks(b, last), 0);
  EXPECT_GT(ds.CompareBookmarks(last, b), 0);
  EXPECT_EQ(ds.CompareBookmarks(TBookmark{}, TBookmark{}), 0);
  EXPECT_EQ(ds.CompareBookmarks(TBookmark{}, b), 1);
  EXPECT_EQ(ds.CompareBookmarks(b, TBookmark{}), -1);
  ds.GotoBookmark(b);
  ds.Delete();
  EXPECT_FALSE(ds.BookmarkValid(b));
  EXPECT_EQ(Id(ds), 4);
  ds.Insert();
  EXPECT_TRUE(ds.Bookmark().empty());  // no bookmark for a row being inserted
  ds.Cancel();
}

TEST_F(DataSetTest, EditPostAndCancelWithEventsAndStates) {
  TMemDataSet ds(nullptr);
  Fill(ds, 3);
  TDataSource src(nullptr);
  std::vector<TDataSetState> states;
  src.OnStateChange = [&](TObject*) { states.push_back(src.State()); };
  src.SetDataSet(&ds);
  ds.Open();
  ds.LogEvents();
  ds.Next();
  ds.Log.clear();
  ds.Edit();
  EXPECT_EQ(ds.State(), dsEdit);
  EXPECT_FALSE(ds.Modified());
  ds.FieldByName("NAME")->SetAsString("Neu");
  EXPECT_TRUE(ds.Modified());
  ds.Post();
  EXPECT_THAT(ds.Log, ElementsAre("BeforeEdit", "InternalEdit", "AfterEdit", "BeforePost",
                                  "InternalPost", "AfterPost"));
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.CellString(1, 1), "Neu");
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "Neu");

  ds.Log.clear();
  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("Verworfen");
  ds.Cancel();
  EXPECT_THAT(ds.Log, ElementsAre("BeforeEdit", "InternalEdit", "AfterEdit", "BeforeCancel",
                                  "InternalCancel", "AfterCancel"));
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "Neu");
  EXPECT_EQ(ds.CellString(1, 1), "Neu");
  EXPECT_THAT(states, ElementsAre(dsBrowse, dsEdit, dsBrowse, dsEdit, dsBrowse));
}

TEST_F(DataSetTest, InsertGoesBeforeTheCurrentRecordAppendAtTheEnd) {
  TMemDataSet ds(nullptr);
  Fill(ds, 3);
  ds.Open();
  ds.Next();  // on ID 2
  ds.LogEvents();
  ds.Log.clear();
  ds.Insert();
  EXPECT_EQ(ds.State(), dsInsert);
  EXPECT_TRUE(ds.FieldByName("ID")->IsNull());
  ds.FieldByName("ID")->SetAsInteger(99);
  ds.Post();
  EXPECT_THAT(ds.Log, ElementsAre("BeforeInsert", "OnNewRecord", "AfterInsert", "BeforePost",
                                  "InternalPost", "AfterPost"));
  EXPECT_EQ(Id(ds), 99);
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_EQ(ds.CellInt(1, 0), 99);
  EXPECT_EQ(ds.CellInt(2, 0), 2);

  ds.Append();
  EXPECT_TRUE(ds.Eof());
  ds.FieldByName("ID")->SetAsInteger(100);
  ds.Post();
  EXPECT_EQ(ds.RowCount(), 5);
  EXPECT_EQ(ds.CellInt(4, 0), 100);
  EXPECT_EQ(Id(ds), 100);

  // A cancelled insert goes back to the record that was current.
  ds.First();
  ds.Next();
  ds.Insert();
  ds.Cancel();
  EXPECT_EQ(Id(ds), 99);
  EXPECT_EQ(ds.RowCount(), 5);
  ds.Append();
  ds.Cancel();
  EXPECT_EQ(Id(ds), 100);

  ds.AppendRecord({7, "sieben", 7.5});
  EXPECT_EQ(ds.CellInt(5, 0), 7);
  EXPECT_EQ(Id(ds), 7);
  ds.First();
  ds.InsertRecord({8, "acht"});
  EXPECT_EQ(ds.CellInt(0, 0), 8);
  EXPECT_EQ(Id(ds), 8);
  EXPECT_TRUE(ds.FieldByName("AMOUNT")->IsNull());
}

TEST_F(DataSetTest, EditingAnEmptyDatasetInsertsAndDeleteMovesOn) {
  TMemDataSet ds(nullptr);
  ds.SetSpecs(PeopleSpecs());
  ds.Open();
  ds.Edit();
  EXPECT_EQ(ds.State(), dsInsert);
  ds.FieldByName("ID")->SetAsInteger(1);
  ds.Post();
  EXPECT_EQ(ds.RowCount(), 1);
  ds.AppendRecord({2});
  ds.AppendRecord({3});
  ds.First();
  ds.Next();
  ds.LogEvents();
  ds.Log.clear();
  ds.Delete();
  EXPECT_THAT(ds.Log, ElementsAre("BeforeDelete", "BeforeScroll", "InternalDelete", "AfterDelete",
                                  "AfterScroll"));
  EXPECT_EQ(Id(ds), 3);  // the following record
  ds.Delete();
  EXPECT_EQ(Id(ds), 1);  // the last went: the one before
  ds.Delete();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_EQ(ds.RowCount(), 0);
}

TEST_F(DataSetTest, CheckBrowseModePostsModifiedAndCancelsUntouchedEdits) {
  TMemDataSet ds(nullptr);
  Fill(ds, 2);
  ds.Open();
  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("geändert");
  ds.Next();                                      // leaves the record: posts
  EXPECT_EQ(ds.CellString(0, 1), "ge\xE4ndert");  // native form: Windows-1252
  ds.Insert();
  ds.First();  // nothing entered: the insert is cancelled
  EXPECT_EQ(ds.RowCount(), 2);
  EXPECT_EQ(ds.State(), dsBrowse);
}

TEST_F(DataSetTest, PostErrorsCanBeRetriedOrAborted) {
  TMemDataSet ds(nullptr);
  Fill(ds, 1);
  ds.Open();
  int calls = 0;
  ds.OnPostError = [&](TDataSet*, EDatabaseError& e, TDataAction& action) {
    ++calls;
    EXPECT_NE(std::string(e.what()).find("Schreiben verweigert"), std::string::npos);
    action = daRetry;
  };
  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("x");
  ds.FailNextPost = true;
  ds.Post();  // fails once, retried, succeeds
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.CellString(0, 1), "x");

  ds.OnPostError = [](TDataSet*, EDatabaseError&, TDataAction& action) { action = daAbort; };
  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("y");
  ds.FailNextPost = true;
  EXPECT_THROW(ds.Post(), EAbort);
  EXPECT_EQ(ds.State(), dsEdit);  // still editing after a failed post
  ds.OnPostError = nullptr;
  ds.FailNextPost = true;
  EXPECT_THROW(ds.Post(), EDatabaseError);
  ds.Post();
  EXPECT_EQ(ds.CellString(0, 1), "y");
}

TEST_F(DataSetTest, RequiredFieldsAreCheckedOnPost) {
  TMemDataSet ds(nullptr);
  ds.SetName("T");
  ds.SetSpecs({{"ID", ftInteger, 0, true}, {"NAME", ftString, 10}});
  ds.Open();
  ds.Append();
  ds.FieldByName("NAME")->SetAsString("ohne ID");
  try {
    ds.Post();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "T: Feld 'ID' muss einen Wert haben");
  }
  ds.FieldByName("ID")->SetAsInteger(1);
  ds.Post();
  EXPECT_EQ(ds.RowCount(), 1);
}

TEST_F(DataSetTest, ReadOnlyDatasetRefusesEditing) {
  TMemDataSet ds(nullptr);
  Fill(ds, 1);
  ds.ReadOnlyData = true;
  ds.Open();
  EXPECT_THROW(ds.Edit(), EDatabaseError);
  EXPECT_THROW(ds.Insert(), EDatabaseError);
  EXPECT_EQ(ds.State(), dsBrowse);
}

// Persistent fields: ID, AMOUNT, a calculated DOUBLE and a lookup CUSTNAME.
struct CalcFixture {
  TMemDataSet customers{nullptr};
  TMemDataSet orders{nullptr};
  TField* id;
  TField* amount;
  TField* twice;
  TField* custName;
  int calcCalls = 0;

  CalcFixture() {
    customers.SetSpecs({{"CID", ftInteger}, {"CNAME", ftString, 20}});
    customers.AddRow({10, "Anna"});
    customers.AddRow({20, "Bert"});
    customers.AddRow({30, "Carla"});
    orders.SetSpecs({{"ID", ftInteger}, {"AMOUNT", ftFloat}, {"CUST", ftInteger}});
    orders.AddRow({1, 2.5, 20});
    orders.AddRow({2, 4.0, 30});
    orders.AddRow({3, 1.0, 99});
    id = new TIntegerField(nullptr);
    id->SetFieldName("ID");
    id->SetDataSet(&orders);
    amount = new TFloatField(nullptr);
    amount->SetFieldName("AMOUNT");
    amount->SetDataSet(&orders);
    auto* cust = new TIntegerField(nullptr);
    cust->SetFieldName("CUST");
    cust->SetDataSet(&orders);
    twice = new TFloatField(nullptr);
    twice->SetFieldName("TWICE");
    twice->SetFieldKind(fkCalculated);
    twice->SetDataSet(&orders);
    custName = new TStringField(nullptr);
    custName->SetFieldName("CUSTNAME");
    custName->SetSize(20);
    custName->SetFieldKind(fkLookup);
    custName->SetLookupDataSet(&customers);
    custName->SetKeyFields("CUST");
    custName->SetLookupKeyFields("CID");
    custName->SetLookupResultField("CNAME");
    custName->SetDataSet(&orders);
    orders.OnCalcFields = [this](TDataSet* ds) {
      ++calcCalls;
      EXPECT_EQ(ds->State(), dsCalcFields);
      ds->FieldByName("TWICE")->SetAsFloat(ds->FieldByName("AMOUNT")->AsFloat() * 2);
    };
  }
};

TEST_F(DataSetTest, CalculatedFieldsLiveAfterTheRecord) {
  CalcFixture f;
  f.customers.Open();
  f.orders.Open();
  EXPECT_FALSE(f.orders.DefaultFields());
  EXPECT_EQ(f.twice->FieldNo(), -1);
  EXPECT_EQ(f.twice->Offset(), 0);
  EXPECT_EQ(f.custName->Offset(), 9);  // presence byte + 8 bytes of the double before it
  EXPECT_EQ(f.orders.CalcFieldsSize(), 9 + 21 + 1);
  EXPECT_DOUBLE_EQ(f.twice->AsFloat(), 5.0);
  f.orders.Next();
  EXPECT_DOUBLE_EQ(f.twice->AsFloat(), 8.0);
  // Editing a data field recalculates at once.
  f.orders.Edit();
  f.amount->SetAsFloat(10);
  EXPECT_DOUBLE_EQ(f.twice->AsFloat(), 20.0);
  f.orders.Cancel();
  EXPECT_DOUBLE_EQ(f.twice->AsFloat(), 8.0);
  // Outside the calculation a calculated field is not written.
  EXPECT_THROW(f.twice->SetAsFloat(1), EDatabaseError);
  f.orders.Close();
  EXPECT_EQ(f.orders.FieldCount(), 5);  // persistent fields stay
}

TEST_F(DataSetTest, LookupFieldsReadTheLookupDatasetWithoutMovingIt) {
  CalcFixture f;
  f.customers.Open();
  f.customers.Last();
  f.orders.Open();
  EXPECT_EQ(f.custName->AsString(), "Bert");
  f.orders.Next();
  EXPECT_EQ(f.custName->AsString(), "Carla");
  f.orders.Next();
  EXPECT_TRUE(f.custName->IsNull());                           // no customer 99
  EXPECT_EQ(f.customers.FieldByName("CID")->AsInteger(), 30);  // still on its last record
  EXPECT_EQ(f.customers.RecNo(), 3);
  EXPECT_EQ(f.customers.Lookup("CID", 10, "CNAME").AsString(), "Anna");
  EXPECT_TRUE(VarIsNull(f.customers.Lookup("CID", 11, "CNAME")));
  Variant both = f.customers.Lookup("CNAME", "Bert", "CID;CNAME");
  ASSERT_TRUE(VarIsArray(both));
  EXPECT_EQ(both[0].AsInteger(), 20);
  EXPECT_EQ(both[1].AsString(), "Bert");
}

TEST_F(DataSetTest, PersistentFieldsAreBoundByNameAndType) {
  TMemDataSet ds(nullptr);
  ds.SetName("T");
  Fill(ds, 1);
  auto* wrong = new TStringField(nullptr);
  wrong->SetFieldName("ID");
  wrong->SetDataSet(&ds);
  try {
    ds.Open();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(),
                 "T: Typ für Feld 'ID' stimmt nicht überein: ftString erwartet, aber ftInteger "
                 "gefunden");
  }
  EXPECT_FALSE(ds.Active());
  delete wrong;
  auto* missing = new TIntegerField(nullptr);
  missing->SetFieldName("GIBTSNICHT");
  missing->SetDataSet(&ds);
  EXPECT_THROW(ds.Open(), EDatabaseError);
  delete missing;
  EXPECT_EQ(ds.FieldCount(), 0);
  ds.Open();
  EXPECT_EQ(ds.FieldCount(), 3);
}

TEST_F(DataSetTest, FilterRecordHidesRecords) {
  TMemDataSet ds(nullptr);
  Fill(ds, 6);
  ds.SetOnFilterRecord([](TDataSet* d, bool& accept) {
    EXPECT_EQ(d->State(), dsFilter);
    accept = d->FieldByName("ID")->AsInteger() % 2 == 0;
  });
  ds.SetFiltered(true);
  ds.Open();
  EXPECT_EQ(Id(ds), 2);
  std::vector<int> ids;
  for (; !ds.Eof(); ds.Next()) ids.push_back(Id(ds));
  EXPECT_THAT(ids, ElementsAre(2, 4, 6));
  EXPECT_EQ(ds.RecordCount(), 3);
  ds.Prior();
  EXPECT_EQ(Id(ds), 4);

  ds.SetOnFilterRecord([](TDataSet*, bool& accept) { accept = false; });
  ds.First();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.Eof());

  ds.SetFiltered(false);
  ds.First();
  EXPECT_EQ(ds.RecordCount(), 6);
  EXPECT_EQ(Id(ds), 1);
}

TEST_F(DataSetTest, FindFirstAndNextUseTheRecordFilterWithoutFiltering) {
  TMemDataSet ds(nullptr);
  Fill(ds, 9);
  ds.SetOnFilterRecord(
      [](TDataSet* d, bool& accept) { accept = d->FieldByName("ID")->AsInteger() % 3 == 0; });
  ds.Open();
  ASSERT_TRUE(ds.FindFirst());
  EXPECT_EQ(Id(ds), 3);
  ASSERT_TRUE(ds.FindNext());
  EXPECT_EQ(Id(ds), 6);
  ASSERT_TRUE(ds.FindLast());
  EXPECT_EQ(Id(ds), 9);
  EXPECT_FALSE(ds.FindNext());
  EXPECT_FALSE(ds.Found());
  EXPECT_EQ(Id(ds), 9);
  ASSERT_TRUE(ds.FindPrior());
  EXPECT_EQ(Id(ds), 6);
  EXPECT_EQ(ds.RecordCount(), 9);
}

TEST_F(DataSetTest, LocateWithOptions) {
  TMemDataSet ds(nullptr);
  ds.SetSpecs(PeopleSpecs());
  ds.AddRow({1, "Müller", 1.0});
  ds.AddRow({2, "Meier", 2.0});
  ds.AddRow({3, "Maier", 2.0});
  ds.Open();
  ds.Last();
  EXPECT_FALSE(ds.Locate("NAME", "meier", {}));
  EXPECT_EQ(Id(ds), 3);  // not found: unmoved
  EXPECT_TRUE(ds.Locate("NAME", "meier", {loCaseInsensitive}));
  EXPECT_EQ(Id(ds), 2);
  EXPECT_TRUE(ds.Locate("NAME", "MÜ", {loCaseInsensitive, loPartialKey}));
  EXPECT_EQ(Id(ds), 1);
  EXPECT_TRUE(ds.Locate("AMOUNT;NAME", VarArrayOf({2.0, "Maier"}), {}));
  EXPECT_EQ(Id(ds), 3);
  EXPECT_THROW(ds.Locate("NOPE", 1, {}), EDatabaseError);
}

TEST_F(DataSetTest, DisabledControlsHearOneChangeAtTheEnd) {
  TMemDataSet ds(nullptr);
  Fill(ds, 5);
  TDataSource src(nullptr);
  int dataChanges = 0;
  src.OnDataChange = [&](TObject*, TField*) { ++dataChanges; };
  src.SetDataSet(&ds);
  TTestDataLink link;
  link.SetDataSource(&src);
  ds.Open();
  link.Events.clear();
  dataChanges = 0;
  ds.DisableControls();
  ds.DisableControls();
  EXPECT_TRUE(ds.ControlsDisabled());
  ds.Next();
  ds.Last();
  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("still");
  ds.Post();
  ds.EnableControls();
  EXPECT_TRUE(link.Events.empty());
  ds.EnableControls();
  EXPECT_FALSE(ds.ControlsDisabled());
  EXPECT_THAT(link.Events, ElementsAre("changed"));
  EXPECT_EQ(dataChanges, 1);
}

TEST_F(DataSetTest, LinksFollowStateFieldChangesAndUpdates) {
  TMemDataSet ds(nullptr);
  Fill(ds, 2);
  TDataSource src(nullptr);
  src.SetDataSet(&ds);
  TTestDataLink link;
  link.SetDataSource(&src);
  EXPECT_FALSE(link.Active());
  ds.Open();
  EXPECT_TRUE(link.Active());
  link.Events.clear();
  EXPECT_TRUE(link.Edit());  // AutoEdit starts the edit
  EXPECT_EQ(ds.State(), dsEdit);
  ds.FieldByName("NAME")->SetAsString("x");
  ds.Post();
  EXPECT_THAT(link.Events, ElementsAre("editing", "record -", "record NAME", "update",
                                       "not editing", "changed"));
  src.SetAutoEdit(false);
  EXPECT_FALSE(link.Edit());
  EXPECT_EQ(ds.State(), dsBrowse);
  src.SetEnabled(false);
  EXPECT_FALSE(link.Active());
  src.SetEnabled(true);
  EXPECT_TRUE(link.Active());
  ds.Close();
  EXPECT_FALSE(link.Active());
  EXPECT_EQ(link.ActiveChanges, 4);
}

TEST_F(DataSetTest, MasterLinkFollowsTheMaster) {
  TMemDataSet master(nullptr);
  Fill(master, 3);
  TMemDataSet detail(nullptr);
  Fill(detail, 1);
  TDataSource src(nullptr);
  src.SetDataSet(&master);
  TMasterDataLink link(&detail);
  std::vector<int> seen;
  int disabled = 0;
  link.OnMasterChange = [&](TObject*) { seen.push_back(Id(master)); };
  link.OnMasterDisable = [&](TObject*) { ++disabled; };
  link.SetFieldNames("ID");
  link.SetDataSource(&src);
  detail.Open();
  master.Open();
  ASSERT_EQ(link.Fields().size(), 1u);
  EXPECT_EQ(link.Fields()[0], master.FieldByName("ID"));
  master.Next();
  master.Next();
  EXPECT_THAT(seen, ElementsAre(1, 2, 3));
  // Changing a field that is not a master field does not disturb the detail.
  master.Edit();
  master.FieldByName("NAME")->SetAsString("x");
  EXPECT_THAT(seen, ElementsAre(1, 2, 3, 3));  // the edit's record change, not the field
  master.FieldByName("ID")->SetAsInteger(33);
  EXPECT_THAT(seen, ElementsAre(1, 2, 3, 3, 33));
  master.Cancel();
  master.Close();
  EXPECT_EQ(disabled, 1);
  EXPECT_EQ(link.DetailDataSet(), &detail);
  // The master's source knows the detail through the link (used to refuse circular links).
  EXPECT_TRUE(src.IsLinkedTo(&detail));
  EXPECT_FALSE(src.IsLinkedTo(&master));
}

TEST_F(DataSetTest, StreamedActiveOpensInLoaded) {
  TMemDataSet ds(nullptr);
  Fill(ds, 2);
  ds.LogEvents();
  ReadComponentFromText("object Kinder: TMemDataSet\n  Active = True\nend\n", &ds);
  EXPECT_EQ(ds.Name(), "Kinder");
  EXPECT_TRUE(ds.Active());
  EXPECT_EQ(Id(ds), 1);
  EXPECT_EQ(ds.InternalOpenCalls, 1);
}

TEST_F(DataSetTest, BlockReadSuppressesScrollNotifications) {
  TMemDataSet ds(nullptr);
  Fill(ds, 4);
  TDataSource src(nullptr);
  src.SetDataSet(&ds);
  TTestDataLink link;
  link.SetDataSource(&src);
  ds.Open();
  ds.SetBlockReadSize(10);
  EXPECT_EQ(ds.State(), dsBlockRead);
  link.Events.clear();
  int sum = 0;
  for (; !ds.Eof(); ds.Next()) sum += Id(ds);
  EXPECT_EQ(sum, 10);
  EXPECT_TRUE(link.Scrolls.empty());
  ds.SetBlockReadSize(0);
  EXPECT_EQ(ds.State(), dsBrowse);
}

}  // namespace

namespace {

// A descendant that adds its own steps to the new-record event and to Post, as the data-access
// components do.
class TDefaultingDataSet : public TMemDataSet {
 public:
  using TMemDataSet::TMemDataSet;
  int posts = 0;
  void Post() override {
    TMemDataSet::Post();
    ++posts;
  }

 protected:
  void DoOnNewRecord() override {
    FieldByName("NAME")->SetAsString("neu");
    TMemDataSet::DoOnNewRecord();
  }
};

TEST_F(DataSetTest, DescendantsExtendEventsAndPost) {
  TDefaultingDataSet ds(nullptr);
  Fill(ds, 1);
  ds.Open();
  std::string seenInEvent;
  ds.OnNewRecord = [&](TDataSet* d) { seenInEvent = d->FieldByName("NAME")->AsString(); };
  ds.Append();
  EXPECT_EQ(seenInEvent, "neu");
  EXPECT_FALSE(ds.Modified());  // defaults do not count as the user's change
  ds.FieldByName("ID")->SetAsInteger(2);
  ds.CheckBrowseMode();  // posts through the override
  EXPECT_EQ(ds.posts, 1);
  EXPECT_EQ(ds.CellString(1, 1), "neu");
}

TEST_F(DataSetTest, ClearFieldsResetsTheEditedRecord) {
  TMemDataSet ds(nullptr);
  Fill(ds, 1);
  ds.Open();
  EXPECT_THROW(ds.ClearFields(), EDatabaseError);
  ds.Edit();
  ds.ClearFields();
  EXPECT_TRUE(ds.FieldByName("NAME")->IsNull());
  EXPECT_TRUE(ds.FieldByName("ID")->IsNull());
  ds.Cancel();
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "N1");
}

TEST_F(DataSetTest, PersistentFieldsComeFromADescriptionAndAreWrittenBack) {
  TMemDataSet ds(nullptr);
  Fill(ds, 2);
  ReadComponentFromText(
      "object Kinder: TMemDataSet\n"
      "  object KinderNAME: TStringField\n"
      "    DisplayLabel = 'Name des Kindes'\n"
      "    FieldName = 'NAME'\n"
      "    Size = 20\n"
      "  end\n"
      "  object KinderTWICE: TFloatField\n"
      "    FieldKind = fkCalculated\n"
      "    FieldName = 'TWICE'\n"
      "  end\n"
      "end\n",
      &ds);
  ASSERT_EQ(ds.FieldCount(), 2);
  TField* name = ds.FieldByName("NAME");
  EXPECT_EQ(name->Name(), "KinderNAME");
  EXPECT_EQ(name->DisplayLabel(), "Name des Kindes");
  EXPECT_EQ(ds.FieldByName("TWICE")->FieldKind(), fkCalculated);
  ds.OnCalcFields = [](TDataSet* d) {
    d->FieldByName("TWICE")->SetAsFloat(d->FieldByName("NAME")->AsString().size() * 2.0);
  };
  ds.Open();
  EXPECT_FALSE(ds.DefaultFields());
  EXPECT_EQ(name->AsString(), "N1");
  EXPECT_DOUBLE_EQ(ds.FieldByName("TWICE")->AsFloat(), 4.0);
  EXPECT_EQ(ds.FindField("ID"), nullptr);  // only the persistent fields exist
  ds.Close();
  std::string text = WriteComponentToText(&ds);
  EXPECT_NE(text.find("object KinderNAME: TStringField"), std::string::npos) << text;
  EXPECT_NE(text.find("FieldName = 'NAME'"), std::string::npos) << text;
  EXPECT_NE(text.find("FieldKind = fkCalculated"), std::string::npos) << text;
  EXPECT_EQ(text.find("Visible"), std::string::npos) << text;  // defaults are not written
}

}  // namespace

namespace {

TEST_F(DataSetTest, LookupFieldForgetsADestroyedLookupDataset) {
  auto* customers = new TMemDataSet(nullptr);
  customers->SetSpecs({{"CID", ftInteger}});
  TStringField f(nullptr);
  f.SetFieldKind(fkLookup);
  f.SetLookupDataSet(customers);
  EXPECT_EQ(f.LookupDataSet(), customers);
  delete customers;
  EXPECT_EQ(f.LookupDataSet(), nullptr);
}

class TRebufferingDataSet : public TMemDataSet {
 public:
  using TDataSet::RecreateBuffers;
  using TMemDataSet::TMemDataSet;
};

TEST_F(DataSetTest, RecreatedBuffersAreRefilledByFirst) {
  TRebufferingDataSet ds(nullptr);
  Fill(ds, 4);
  TDataSource src(nullptr);
  src.SetDataSet(&ds);
  TTestDataLink link;
  link.SetBufferCount(2);
  link.SetDataSource(&src);
  ds.Open();
  ds.Next();
  int allocated = ds.BuffersAllocated;
  ds.RecreateBuffers();
  EXPECT_EQ(ds.BuffersAllocated, allocated + 3);
  EXPECT_EQ(ds.BuffersFreed, 3);
  EXPECT_TRUE(ds.IsEmpty());
  ds.First();
  EXPECT_EQ(ds.WindowRecordCount(), 2);
  EXPECT_EQ(Id(ds), 1);
  link.Events.clear();
  ds.FieldByName("NAME")->FocusControl();
  EXPECT_THAT(link.Events, ElementsAre("focus NAME"));
}

}  // namespace

namespace {

TEST_F(DataSetTest, DestroyingAnOpenDatasetRunsNoCloseHandlers) {
  std::vector<std::string> log;
  {
    TComponent owner(nullptr);
    auto* ds = new TMemDataSet(&owner);
    Fill(*ds, 2);
    ds->Open();
    ds->BeforeClose = [&](TDataSet*) { log.push_back("BeforeClose"); };
    ds->AfterClose = [&](TDataSet*) { log.push_back("AfterClose"); };
    auto* src = new TDataSource(&owner);
    src->SetDataSet(ds);
    TTestDataLink link;
    link.SetDataSource(src);
    EXPECT_TRUE(link.Active());
    delete ds;  // the source hears of it and lets the link go inactive
    EXPECT_EQ(src->DataSet(), nullptr);
    EXPECT_FALSE(link.Active());
    link.SetDataSource(nullptr);
  }
  EXPECT_TRUE(log.empty());
}

}  // namespace
