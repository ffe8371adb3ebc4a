// The query opened on its result: live results edited in their table, static ones refused, the
// index files and orders of a live result, and the record numbers of the rows.
#include "ads/query/query_support.h"

namespace {

using namespace querytest;

class QueryRows : public QueryWorld {
 protected:
  // A table Zahlen of count rows: ID 1..count in record order, Name the ID backwards ("Z" and
  // 1000 - ID in four digits), so that the name order is the reverse of the record order; with
  // an index file Namen.adi holding the tag BYNAME on Name.
  void MakeZahlen(int count) {
    ADSHANDLE conn = 0, table = 0, index = 0;
    ASSERT_EQ(AdsConnect(U8(data_), &conn), 0u);
    ASSERT_EQ(
        AdsCreateTable90(conn, U8("Zahlen"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                         ADS_CHECK_RIGHTS, 0, U8("ID,Integer;Name,Char,10"), 0, U8(""), &table),
        0u);
    for (int i = 1; i <= count; ++i) {
      ASSERT_EQ(AdsAppendRecord(table), 0u);
      ASSERT_EQ(AdsSetLong(table, U8("ID"), i), 0u);
      const std::string name = "Z" + std::to_string(10000 - i);
      ASSERT_EQ(AdsSetString(table, U8("Name"), U8(name), static_cast<UNSIGNED32>(name.size())),
                0u);
      ASSERT_EQ(AdsWriteRecord(table), 0u);
    }
    ASSERT_EQ(AdsCreateIndex90(table, U8("Namen.adi"), U8("BYNAME"), U8("Name"), U8(""), U8(""), 0,
                               512, U8(""), &index),
              0u);
    AdsCloseTable(table);
    AdsDisconnect(conn);
  }

  // The values of a field and the record numbers of every row, from the current one to the end.
  std::vector<std::string> Walk(const std::string& field) {
    std::vector<std::string> out;
    for (; !query_->Eof(); query_->Next())
      out.push_back(query_->FieldByName(field)->AsString() + "@" + std::to_string(query_->RecNo()));
    return out;
  }
};

// ---- Live and static results ------------------------------------------------------------------

TEST_F(QueryRows, ALiveResultIsEditedInItsTable) {
  SetSQL({"SELECT * FROM Kinder WHERE ID >= :von;"});
  query_->ParamByName("von")->SetAsInteger(1);
  query_->SetRequestLive(true);
  query_->Open();
  EXPECT_FALSE(query_->ReadOnly());
  EXPECT_TRUE(query_->CanModify());
  query_->Edit();
  query_->FieldByName("Name")->SetAsString("Carla");
  query_->Post();
  query_->Next();
  query_->Delete();
  query_->Close();
  EXPECT_EQ(ColumnValues("Kinder", "Name"), (std::vector<std::string>{"Carla"}));
  // Opened again, the result holds the edited row.
  query_->Open();
  EXPECT_EQ(Walk("Name"), (std::vector<std::string>{"Carla@1"}));
}

TEST_F(QueryRows, StaticResultsRefuseEditing) {
  const std::string refused = "AdsQuery1: Datenmenge kann nicht verändert werden";
  struct Case {
    bool bRequestLive;
    std::string strSQL;
  };
  // Not asked for a live result; asked, but sorted; asked, but a join.
  for (const Case& c : {Case{false, "SELECT * FROM Kinder;"},
                        Case{true, "SELECT * FROM Kinder ORDER BY Name DESC;"},
                        Case{true, "SELECT a.Name FROM Kinder a, Kinder b WHERE a.ID = b.ID;"}}) {
    SetSQL({c.strSQL});
    query_->SetRequestLive(c.bRequestLive);
    query_->Open();
    EXPECT_TRUE(query_->ReadOnly()) << c.strSQL;
    EXPECT_FALSE(query_->CanModify()) << c.strSQL;
    EXPECT_EQ(MessageOf<EDatabaseError>([&] { query_->Edit(); }), refused) << c.strSQL;
    EXPECT_EQ(MessageOf<EDatabaseError>([&] { query_->Append(); }), refused) << c.strSQL;
    // The framework asks nobody before a delete: the engine refuses it on the static cursor.
    EXPECT_THROW(query_->Delete(), EADSDatabaseError) << c.strSQL;
    EXPECT_EQ(query_->State(), dsBrowse);
    EXPECT_EQ(query_->RecordCount(), 2) << c.strSQL;
    query_->Close();
  }
  EXPECT_EQ(ColumnValues("Kinder", "Name"), (std::vector<std::string>{"Anna", "Ben"}));
}

TEST_F(QueryRows, AReadOnlyConnectionGivesStaticResultsEvenWhenLiveIsAsked) {
  conn_->Disconnect();
  conn_->SetReadOnly(true);
  conn_->Connect();
  SetSQL({"SELECT * FROM Kinder;"});
  query_->SetRequestLive(true);
  query_->Open();
  EXPECT_FALSE(query_->CanModify());
  EXPECT_THROW(query_->Edit(), EDatabaseError);
}

// ---- Index files and orders -------------------------------------------------------------------

TEST_F(QueryRows, IndexFilesOpenOnALiveResultAndOrderIt) {
  MakeZahlen(5);
  SetSQL({"SELECT * FROM Zahlen;"});
  query_->SetRequestLive(true);
  query_->IndexFiles()->Add("Namen.adi");
  query_->SetIndexName("BYNAME");
  query_->Open();
  // Name order is the reverse of the record order; without Sequenced the numbers are the
  // records'.
  EXPECT_EQ(Walk("ID"), (std::vector<std::string>{"5@5", "4@4", "3@3", "2@2", "1@1"}));
  query_->Close();
  query_->SetSequenced(true);
  query_->SetSequencedLevel(slExact);
  query_->Open();
  EXPECT_EQ(Walk("ID"), (std::vector<std::string>{"5@1", "4@2", "3@3", "2@4", "1@5"}));
}

// ---- Record numbers ---------------------------------------------------------------------------

TEST_F(QueryRows, RowsOfAStaticResultAreNumberedInTheirOrder) {
  MakeZahlen(4);
  SetSQL({"SELECT ID FROM Zahlen WHERE ID > 1 ORDER BY Name;"});
  query_->Open();
  EXPECT_EQ(Walk("ID"), (std::vector<std::string>{"4@1", "3@2", "2@3"}));
  query_->Last();
  EXPECT_EQ(query_->RecNo(), 3);
  query_->Prior();
  EXPECT_EQ(query_->RecNo(), 2);
}

TEST_F(QueryRows, RowsOfALiveResultCarryTheirTablesRecordNumbers) {
  MakeZahlen(6);
  SetSQL({"SELECT * FROM Zahlen WHERE ID IN (2, 5, 6);"});
  query_->SetRequestLive(true);
  // Sequenced without an order of the query's own: the cursor's natural order numbers them.
  query_->SetSequenced(true);
  query_->Open();
  EXPECT_EQ(Walk("ID"), (std::vector<std::string>{"2@2", "5@5", "6@6"}));
}

// An engine that tells the cursor's current order when asked without a name: BYNAME.
decltype(Ace.AdsGetIndexHandle) gSavedGetIndexHandle = nullptr;
UNSIGNED32 NameOrderWithoutName(ADSHANDLE hTable, const UNSIGNED8* pucName, ADSHANDLE* phIndex) {
  return gSavedGetIndexHandle(hTable, pucName != nullptr ? pucName : U8("BYNAME"), phIndex);
}

TEST_F(QueryRows, WithoutAnOrderOfItsOwnTheQueryNumbersAlongTheCursorsOrder) {
  MakeZahlen(5);
  SetSQL({"SELECT * FROM Zahlen;"});
  query_->SetRequestLive(true);
  query_->IndexFiles()->Add("Namen.adi");
  query_->SetSequenced(true);
  query_->SetSequencedLevel(slExact);
  // The engine answers 5004 to a question without a name: the natural order, record numbers.
  query_->Open();
  EXPECT_EQ(Walk("ID"), (std::vector<std::string>{"1@1", "2@2", "3@3", "4@4", "5@5"}));
  query_->Close();
  // An engine that reports BYNAME as the cursor's order: the rows, walked in record order by
  // the dataset, are numbered by the positions of their keys.
  gSavedGetIndexHandle = Ace.AdsGetIndexHandle;
  AceImportOverride<decltype(Ace.AdsGetIndexHandle)> order(Ace.AdsGetIndexHandle,
                                                           &NameOrderWithoutName);
  query_->Open();
  EXPECT_EQ(Walk("ID"), (std::vector<std::string>{"1@5", "2@4", "3@3", "4@2", "5@1"}));
}

UNSIGNED32 HalfWay(ADSHANDLE, DOUBLE* pdPos) {
  *pdPos = 0.5;
  return AE_SUCCESS;
}
UNSIGNED32 NoKeyPosition(ADSHANDLE, DOUBLE* pdPos) {
  *pdPos = 0.75;
  return AE_NO_KEY_POSITION;
}
UNSIGNED32 BrokenKeyPosition(ADSHANDLE, DOUBLE* pdPos) {
  *pdPos = 0.75;
  return AE_CORRUPT_FILE;
}

TEST_F(QueryRows, StandardSequencingCountsAlongTheRelativeKeyPosition) {
  MakeZahlen(200);
  SetSQL({"SELECT * FROM Zahlen;"});
  query_->SetRequestLive(true);
  query_->IndexFiles()->Add("Namen.adi");
  query_->SetIndexName("BYNAME");
  query_->SetSequenced(true);
  {
    AceImportOverride<decltype(Ace.AdsGetRelKeyPos)> pos(Ace.AdsGetRelKeyPos, &HalfWay);
    query_->Open();
    EXPECT_EQ(query_->RecNo(), 100);
    query_->Close();
  }
  {
    AceImportOverride<decltype(Ace.AdsGetRelKeyPos)> pos(Ace.AdsGetRelKeyPos, &NoKeyPosition);
    query_->Open();
    EXPECT_EQ(query_->RecNo(), 0);
    query_->Close();
  }
  {
    AceImportOverride<decltype(Ace.AdsGetRelKeyPos)> pos(Ace.AdsGetRelKeyPos, &BrokenKeyPosition);
    EXPECT_THROW(query_->Open(), EADSDatabaseError);
    EXPECT_FALSE(query_->Active());
  }
  // The engine's own positions: the last key of 200 is at the end.
  query_->Open();
  query_->Last();
  EXPECT_EQ(query_->FieldByName("ID")->AsInteger(), 1);
  EXPECT_EQ(query_->RecNo(), 200);
}

}  // namespace
