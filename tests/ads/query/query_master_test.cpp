// A query following a master: parameters filled from the master's current record before every
// execution (bound ones keep the application's value), the reopen when the master moves (through
// a few hundred masters, with a live detail posted before its master moves, not while the master
// edits a key, not while it is closed), and the refusal of a circular link.
#include "ads/query/query_support.h"

namespace {

using namespace querytest;

class QueryMaster : public QueryWorld {
 protected:
  void SetUp() override {
    QueryWorld::SetUp();
    master_ = new TAdsTable(form_);
    master_->SetName("Master");
    master_->SetAdsConnection(conn_);
    master_->SetTableName("Kinder");
    source_ = new TDataSource(form_);
    source_->SetName("MasterSource");
    source_->SetDataSet(master_);
    SetSQL({"SELECT Name FROM Kinder WHERE ID = :ID;"});
    query_->SetDataSource(source_);
  }
  TAdsTable* master_ = nullptr;
  TDataSource* source_ = nullptr;
};

TEST_F(QueryMaster, UnboundParametersTakeTheMastersValueAtEveryOpen) {
  master_->Open();
  query_->Open();
  EXPECT_EQ(query_->FieldByName("Name")->AsString(), "Anna");
  EXPECT_EQ(query_->ParamByName("ID")->AsInteger(), 1);
  EXPECT_FALSE(query_->ParamByName("ID")->Bound());
  // The master moves: the query is run again with the new value.
  master_->Next();
  EXPECT_TRUE(query_->Active());
  EXPECT_EQ(query_->FieldByName("Name")->AsString(), "Ben");
  EXPECT_EQ(query_->ParamByName("ID")->AsInteger(), 2);
}

TEST_F(QueryMaster, BoundParametersKeepTheApplicationsValue) {
  master_->Open();
  query_->ParamByName("ID")->SetAsInteger(2);
  ASSERT_TRUE(query_->ParamByName("ID")->Bound());
  query_->Open();
  EXPECT_EQ(query_->FieldByName("Name")->AsString(), "Ben");
  master_->Next();
  master_->Prior();
  EXPECT_EQ(query_->FieldByName("Name")->AsString(), "Ben");
}

TEST_F(QueryMaster, AMasterWithoutTheFieldStopsTheExecution) {
  SetSQL({"SELECT Name FROM Kinder WHERE ID = :Nummer;"});
  master_->Open();
  CallRecording rec;
  EXPECT_THROW(query_->Open(), EDatabaseError);
  EXPECT_FALSE(query_->Active());
  EXPECT_EQ(CallRecording::Count("AdsExecuteSQL"), 0);
}

TEST_F(QueryMaster, DetailLinkFieldsPairTheParametersWithTheFieldsOfBothSides) {
  SetSQL({"SELECT Name AS Nur FROM Kinder WHERE ID = :ID OR Name = :Fehlt OR Name = :Name;"});
  master_->Open();
  query_->ParamByName("Fehlt")->SetAsString("x");
  query_->Open();
  std::vector<TField*> masterFields = {nullptr}, detailFields = {nullptr};
  query_->GetDetailLinkFields(masterFields, detailFields);
  ASSERT_EQ(masterFields.size(), 2u);
  EXPECT_EQ(masterFields[0], master_->FieldByName("ID"));
  EXPECT_EQ(masterFields[1], master_->FieldByName("Name"));
  // The query's result has neither ID nor Name.
  EXPECT_TRUE(detailFields.empty());
  query_->Close();
  SetSQL({"SELECT ID FROM Kinder WHERE ID = :ID OR Name = :Name;"});
  query_->Open();
  query_->GetDetailLinkFields(masterFields, detailFields);
  ASSERT_EQ(detailFields.size(), 1u);
  EXPECT_EQ(detailFields[0], query_->FieldByName("ID"));
  EXPECT_EQ(masterFields.size(), 2u);
  // Without a master both lists are empty.
  query_->Close();
  query_->SetDataSource(nullptr);
  query_->GetDetailLinkFields(masterFields, detailFields);
  EXPECT_TRUE(masterFields.empty());
  EXPECT_TRUE(detailFields.empty());
}

TEST_F(QueryMaster, ACircularLinkIsRefused) {
  auto* own = new TDataSource(form_);
  own->SetDataSet(query_);
  auto* detail = new TAdsQuery(form_);
  detail->SetName("Detail");
  detail->SetDataSource(own);
  auto* back = new TDataSource(form_);
  back->SetDataSet(detail);
  EXPECT_EQ(MessageOf<EADSDatabaseError>([&] { query_->SetDataSource(own); }),
            "AdsQuery1: Circular Data Link");
  EXPECT_EQ(MessageOf<EADSDatabaseError>([&] { query_->SetDataSource(back); }),
            "AdsQuery1: Circular Data Link");
  EXPECT_EQ(query_->DataSource(), source_);
  query_->SetDataSource(nullptr);
  EXPECT_EQ(query_->DataSource(), nullptr);
}

}  // namespace

namespace {

using namespace querytest;

// A master table Eltern of 200 records (ID 1..200, indexed by the tag ID of its structural
// index) and a detail table Posten in which master i has i mod 4 items, Wert i * 10 + k for
// k = 1 .. i mod 4; the query selects a master's items.
class QueryDetail : public QueryWorld {
 protected:
  static constexpr int kMasters = 200;

  void SetUp() override {
    QueryWorld::SetUp();
    ADSHANDLE conn = 0, eltern = 0, posten = 0, index = 0;
    ASSERT_EQ(AdsConnect(U8(data_), &conn), 0u);
    ASSERT_EQ(
        AdsCreateTable90(conn, U8("Eltern"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                         ADS_CHECK_RIGHTS, 0, U8("ID,Integer;Name,Char,10"), 0, U8(""), &eltern),
        0u);
    ASSERT_EQ(
        AdsCreateTable90(conn, U8("Posten"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                         ADS_CHECK_RIGHTS, 0, U8("EID,Integer;Wert,Integer"), 0, U8(""), &posten),
        0u);
    for (int i = 1; i <= kMasters; ++i) {
      ASSERT_EQ(AdsAppendRecord(eltern), 0u);
      ASSERT_EQ(AdsSetLong(eltern, U8("ID"), i), 0u);
      ASSERT_EQ(AdsWriteRecord(eltern), 0u);
      for (int k = 1; k <= i % 4; ++k) {
        ASSERT_EQ(AdsAppendRecord(posten), 0u);
        ASSERT_EQ(AdsSetLong(posten, U8("EID"), i), 0u);
        ASSERT_EQ(AdsSetLong(posten, U8("Wert"), i * 10 + k), 0u);
        ASSERT_EQ(AdsWriteRecord(posten), 0u);
      }
    }
    ASSERT_EQ(AdsCreateIndex90(eltern, nullptr, U8("ID"), U8("ID"), U8(""), U8(""), 0, 512, U8(""),
                               &index),
              0u);
    AdsCloseTable(eltern);
    AdsCloseTable(posten);
    AdsDisconnect(conn);

    master_ = new TAdsTable(form_);
    master_->SetName("Eltern");
    master_->SetAdsConnection(conn_);
    master_->SetTableName("Eltern");
    source_ = new TDataSource(form_);
    source_->SetDataSet(master_);
  }

  // The detail's Wert values from its current row to its end.
  std::vector<int> Items() {
    std::vector<int> out;
    for (query_->First(); !query_->Eof(); query_->Next())
      out.push_back(query_->FieldByName("Wert")->AsInteger());
    return out;
  }
  static std::vector<int> Expected(int master) {
    std::vector<int> out;
    for (int k = 1; k <= master % 4; ++k) out.push_back(master * 10 + k);
    return out;
  }

  TAdsTable* master_ = nullptr;
  TDataSource* source_ = nullptr;
};

TEST_F(QueryDetail, TheDetailFollowsItsMasterThroughEveryRecordBothWays) {
  SetSQL({"SELECT Wert FROM Posten WHERE EID = :ID ORDER BY Wert;"});
  query_->SetDataSource(source_);
  master_->Open();
  query_->Open();
  int seen = 0;
  for (; !master_->Eof(); master_->Next()) {
    const int id = master_->FieldByName("ID")->AsInteger();
    ASSERT_EQ(id, seen + 1);
    ASSERT_TRUE(query_->Active());
    ASSERT_EQ(Items(), Expected(id)) << "master " << id;
    ASSERT_EQ(query_->ParamByName("ID")->AsInteger(), id);
    ++seen;
  }
  EXPECT_EQ(seen, kMasters);
  // Backwards, and by a jump.
  master_->Last();
  for (int id = kMasters; id > kMasters - 10; --id, master_->Prior()) {
    ASSERT_EQ(master_->FieldByName("ID")->AsInteger(), id);
    ASSERT_EQ(Items(), Expected(id)) << "master " << id;
  }
  master_->SetRecNo(123);
  EXPECT_EQ(Items(), Expected(123));
}

TEST_F(QueryDetail, ALiveDetailFollowsItsMasterAndIsPostedBeforeTheMasterMoves) {
  SetSQL({"SELECT * FROM Posten WHERE EID = :ID;"});
  query_->SetRequestLive(true);
  query_->SetDataSource(source_);
  master_->Open();
  query_->Open();
  ASSERT_EQ(Items(), Expected(1));
  query_->First();
  query_->Edit();
  query_->FieldByName("Wert")->SetAsInteger(-11);
  // The master asks its detail to leave editing before it moves: the change is posted.
  master_->Next();
  EXPECT_EQ(query_->State(), dsBrowse);
  EXPECT_EQ(Items(), Expected(2));
  master_->Prior();
  EXPECT_EQ(Items(), std::vector<int>{-11});
  const std::vector<std::string> stored = ColumnValues("Posten", "Wert");
  ASSERT_FALSE(stored.empty());
  EXPECT_EQ(stored[0], "-11");
}

TEST_F(QueryDetail, KeyEditingOnTheMasterDoesNotReopenTheDetail) {
  SetSQL({"SELECT Wert FROM Posten WHERE EID = :ID ORDER BY Wert;"});
  query_->SetDataSource(source_);
  master_->SetIndexName("ID");
  master_->Open();
  master_->Next();
  master_->Next();  // ID 3
  query_->Open();
  ASSERT_EQ(Items(), Expected(3));
  CallRecording rec;
  master_->SetKey();
  ASSERT_EQ(master_->State(), dsSetKey);
  master_->FieldByName("ID")->SetAsInteger(7);
  EXPECT_EQ(CallRecording::Count("AdsExecuteSQL"), 0);
  EXPECT_EQ(Items(), Expected(3));
  master_->Cancel();
  EXPECT_EQ(master_->State(), dsBrowse);
  // Leaving key editing is a record change of the master like any other.
  EXPECT_EQ(CallRecording::Count("AdsExecuteSQL"), 1);
  EXPECT_EQ(Items(), Expected(3));
}

TEST_F(QueryDetail, TheDetailStaysAsItWasWhileTheMasterIsClosedAndFollowsItWhenItOpens) {
  SetSQL({"SELECT Wert FROM Posten WHERE EID = :ID ORDER BY Wert;"});
  query_->SetDataSource(source_);
  master_->Open();
  master_->Next();
  master_->Next();  // ID 3
  query_->Open();
  master_->Close();
  EXPECT_TRUE(query_->Active());
  EXPECT_EQ(Items(), Expected(3));
  CallRecording rec;
  master_->Open();  // on its first record again
  EXPECT_EQ(CallRecording::Count("AdsExecuteSQL"), 1);
  EXPECT_EQ(Items(), Expected(1));
  // A closed detail is not opened by its master.
  query_->Close();
  master_->Next();
  EXPECT_FALSE(query_->Active());
}

TEST_F(QueryDetail, AMasterWithoutTheParametersFieldFailsTheReopenAndLeavesTheDetailClosed) {
  SetSQL({"SELECT Wert FROM Posten WHERE EID = :ID ORDER BY Wert;"});
  query_->SetDataSource(source_);
  master_->Open();
  query_->Open();
  // A master that is another table now, without ID.
  master_->Close();
  master_->SetTableName("Posten");
  EXPECT_THROW(master_->Open(), EDatabaseError);
  EXPECT_FALSE(query_->Active());
}

}  // namespace
