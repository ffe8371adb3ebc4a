// The connection component's services on the real engine: transactions with their events, the
// cancelling and refreshing of attached tables and savepoints; Execute with row counts, result
// cursors, parameters and the statement cache; the application id; server facts; table
// listings by alias type; dictionary connections with their version, groups and links; and the
// refusals of a component that is not connected.
#include <cmath>
#include <string>
#include <vector>

#include "tests/ads/editing/editing_support.h"
#include "ui/db/DBParams.h"
#include "ui/db/DateTime.h"

namespace edittest {
namespace {

int g_prepares = 0;
UNSIGNED32 CountPrepare(ADSHANDLE h, const WCHAR* sql) {
  ++g_prepares;
  return AdsPrepareSQLW(h, sql);
}
int g_read_only = 0;
UNSIGNED32 CountReadOnly(ADSHANDLE h, UNSIGNED16 v) {
  if (v == 1) ++g_read_only;
  return AdsStmtSetTableReadOnly(h, v);
}
int g_executes = 0;
UNSIGNED32 CountExecute(ADSHANDLE h, ADSHANDLE* c) {
  ++g_executes;
  return AdsExecuteSQL(h, c);
}
std::string g_link_text;
UNSIGNED32 FakeLinkInfo(ADSHANDLE, UNSIGNED16, UNSIGNED8* buf, UNSIGNED16* len) {
  std::memcpy(buf, g_link_text.data(), g_link_text.size());
  *len = static_cast<UNSIGNED16>(g_link_text.size());
  return 0;
}
int g_dict_calls = 0;
UNSIGNED32 CountDatabaseProperty(ADSHANDLE h, UNSIGNED16 id, void* p, UNSIGNED16* len) {
  ++g_dict_calls;
  return AdsDDGetDatabaseProperty(h, id, p, len);
}

class Services : public EditWorld {
 protected:
  TKeyTable* People() {
    Create("people", ttAdsADT, "ID,Integer;Name,Char,12;");
    TKeyTable* t = NewTable("people", ttAdsADT);
    t->Open();
    for (int i = 1; i <= 3; ++i) t->AppendRecord({Variant(i), Variant("N" + std::to_string(i))});
    t->First();
    return t;
  }
  static std::string NameOf(TKeyTable* t, int id) {
    for (t->First(); !t->Eof(); t->Next()) {
      if (t->FieldByName("ID")->AsInteger() == id) return t->FieldByName("Name")->AsString();
    }
    return "<none>";
  }
};

// ---- Transactions -----------------------------------------------------------------------------

TEST_F(Services, RollbackUndoesPostsAndRefreshesTheTables) {
  TKeyTable* t = People();
  std::vector<std::string> events;
  conn_->BeforeRollback = [&](TObject*) { events.push_back("before"); };
  conn_->AfterRollback = [&](TObject*) { events.push_back("after"); };
  EXPECT_FALSE(conn_->TransactionActive());
  conn_->BeginTransaction();
  EXPECT_TRUE(conn_->TransactionActive());
  EXPECT_EQ(conn_->TransactionCount(), 1u);
  t->First();
  t->Edit();
  t->FieldByName("Name")->SetAsString("changed");
  t->Post();
  t->AppendRecord({Variant(4), Variant("N4")});
  conn_->Rollback();
  EXPECT_EQ(events, (std::vector<std::string>{"before", "after"}));
  EXPECT_FALSE(conn_->TransactionActive());
  EXPECT_EQ(NameOf(t, 1), "N1");
  EXPECT_EQ(NameOf(t, 4), "<none>");  // the appended record is gone from view
}

TEST_F(Services, RollbackCancelsPendingEditsUnlessTurnedOff) {
  TKeyTable* t = People();
  conn_->BeginTransaction();
  t->First();
  t->Edit();
  t->FieldByName("Name")->SetAsString("pending");
  conn_->Rollback();
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(NameOf(t, 1), "N1");

  conn_->SetCancelOnRollback(false);
  conn_->BeginTransaction();
  t->First();
  t->Edit();
  t->FieldByName("Name")->SetAsString("kept");
  conn_->Rollback();
  EXPECT_EQ(t->State(), dsEdit);  // neither cancelled nor refreshed
  t->Cancel();
}

TEST_F(Services, ASavepointRollbackTouchesNoDatasetAndNoEvent) {
  TKeyTable* t = People();
  int events = 0;
  conn_->BeforeRollback = [&](TObject*) { ++events; };
  conn_->BeginTransaction();
  t->First();
  t->Edit();
  t->FieldByName("Name")->SetAsString("before sp");
  t->Post();
  conn_->CreateSavepoint("sp");
  t->Edit();
  t->FieldByName("Name")->SetAsString("after sp");
  t->Post();
  t->Edit();
  t->FieldByName("Name")->SetAsString("pending");
  conn_->Rollback("sp");
  EXPECT_EQ(events, 0);
  EXPECT_EQ(t->State(), dsEdit);
  t->Cancel();
  t->Refresh();
  EXPECT_EQ(NameOf(t, 1), "before sp");
  conn_->Rollback("");  // an empty name is the whole transaction
  EXPECT_EQ(events, 1);
  EXPECT_EQ(NameOf(t, 1), "N1");
}

TEST_F(Services, CommitKeepsTheChangesAndEmptiesTheStatementCache) {
  TKeyTable* t = People();
  std::vector<std::string> events;
  conn_->BeforeCommit = [&](TObject*) { events.push_back("before"); };
  conn_->AfterCommit = [&](TObject*) { events.push_back("after"); };
  conn_->BeginTransaction();
  conn_->Execute("UPDATE people SET Name = 'sql' WHERE ID = 2", nullptr, true);
  EXPECT_EQ(conn_->CachedStatementCount(), 1);
  conn_->Commit();
  EXPECT_EQ(events, (std::vector<std::string>{"before", "after"}));
  EXPECT_EQ(conn_->CachedStatementCount(), 0);
  t->Refresh();
  EXPECT_EQ(NameOf(t, 2), "sql");
}

TEST_F(Services, AFailedCommitRaisesAdsErrorWithoutTheAfterEvent) {
  conn_->Connect();
  bool after = false;
  conn_->AfterCommit = [&](TObject*) { after = true; };
  EXPECT_THROW(conn_->Commit(), AdsError);  // no transaction is active
  EXPECT_FALSE(after);
}

// ---- Execute ----------------------------------------------------------------------------------

TEST_F(Services, ExecuteAnswersRowsOrACursor) {
  People();
  EXPECT_EQ(conn_->Execute("UPDATE people SET Name = 'x' WHERE ID >= 2"), 2u);
  AceImportOverride<decltype(Ace.AdsStmtSetTableReadOnly)> spy(Ace.AdsStmtSetTableReadOnly,
                                                               &CountReadOnly);
  g_read_only = 0;
  ADSHANDLE cursor = 0;
  EXPECT_EQ(conn_->Execute("SELECT * FROM people WHERE Name = 'x'", nullptr, false, &cursor), 0u);
  EXPECT_EQ(g_read_only, 1);
  ASSERT_NE(cursor, 0u);
  UNSIGNED32 count = 0;
  ASSERT_EQ(AdsGetRecordCount(cursor, ADS_IGNOREFILTERS, &count), 0u) << LastEngineError();
  EXPECT_EQ(count, 2u);
  AdsCloseTable(cursor);
  // DDL has no row count: 0 without an error, but an error with dataset options.
  EXPECT_EQ(conn_->Execute("CREATE TABLE more (A Integer)"), 0u);
  TAdsDatasetOptions options;
  options.musAdsLockType = ADS_PROPRIETARY_LOCKING;
  options.musAdsCharType = ADS_ANSI;
  options.musAdsRightsCheck = ADS_CHECK_RIGHTS;
  options.musAdsTableType = ADS_ADT;
  EXPECT_THROW(conn_->Execute(options, "CREATE TABLE evenmore (A Integer)"), EADSDatabaseError);
}

TEST_F(Services, TheCachePreparesATextOnce) {
  People();
  AceImportOverride<decltype(Ace.AdsPrepareSQLW)> spy(Ace.AdsPrepareSQLW, &CountPrepare);
  g_prepares = 0;
  conn_->Execute("UPDATE people SET Name = 'a' WHERE ID = 1", nullptr, true);
  conn_->Execute("UPDATE people SET Name = 'a' WHERE ID = 1", nullptr, true);
  EXPECT_EQ(g_prepares, 1);
  conn_->Execute("update people set Name = 'a' where ID = 1", nullptr, true);
  EXPECT_EQ(g_prepares, 2);  // another case: another hash
  conn_->Execute("UPDATE people SET Name = 'a' WHERE ID = 1", nullptr, false);
  EXPECT_EQ(g_prepares, 3);  // uncached
  conn_->CloseCachedStatements();
  conn_->Execute("UPDATE people SET Name = 'a' WHERE ID = 1", nullptr, true);
  EXPECT_EQ(g_prepares, 4);
  conn_->Disconnect();
  EXPECT_EQ(conn_->CachedStatementCount(), 0);
}

TEST_F(Services, ExecuteBindsParametersByPosition) {
  People();
  TParams params(nullptr);
  params.CreateParam(ftString, "name", ptInput)->SetAsString("param");
  params.CreateParam(ftInteger, "id", ptInput)->SetAsInteger(3);
  AceImportOverride<decltype(Ace.AdsExecuteSQL)> spy(Ace.AdsExecuteSQL, &CountExecute);
  g_executes = 0;
  EXPECT_EQ(conn_->Execute("UPDATE people SET Name = :name WHERE ID = :id", &params), 1u);
  EXPECT_EQ(g_executes, 1);
  TParams bad(nullptr);
  TParam* thing = bad.CreateParam(ftADT, "thing", ptInput);
  thing->SetAsString("x");
  thing->SetDataType(ftADT);  // the setter made it a string
  try {
    conn_->Execute("UPDATE people SET Name = :thing", &bad);
    ADD_FAILURE() << "nothing raised";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), static_cast<UNSIGNED32>(AE_COMPONENT));
    EXPECT_EQ(e.Message(), "The field named: 'thing' has a DataType that is not supported.");
  }
}

// ---- Application id, server facts ---------------------------------------------------------------

TEST_F(Services, TheApplicationIdIsSentOnConnectAndOnlyWhenItChanges) {
  conn_->SetApplicationID("Upgrade");
  EXPECT_FALSE(conn_->IsConnected());
  EXPECT_EQ(conn_->GetApplicationID(), "Upgrade");
  conn_->Connect();
  EXPECT_EQ(conn_->GetApplicationID(), "Upgrade");  // asked of the engine
  AceImportOverride<decltype(Ace.AdsExecuteSQL)> spy(Ace.AdsExecuteSQL, &CountExecute);
  g_executes = 0;
  conn_->SetApplicationID("Upgrade");
  EXPECT_EQ(g_executes, 0);
  conn_->SetApplicationID("Other");
  EXPECT_EQ(g_executes, 1);
  EXPECT_EQ(conn_->GetApplicationID(), "Other");
}

TEST_F(Services, ServerFacts) {
  ExpectMessage<AdsConnectionError>([&] { conn_->ServerName(); },
                                    "Must be connected to get database server name.");
  EXPECT_FALSE(conn_->IsConnectionAlive());
  conn_->Connect();
  EXPECT_FALSE(conn_->ServerName().empty());
  EXPECT_TRUE(conn_->IsConnectionAlive());
  const TDateTime now = Now();
  const TDateTime server = conn_->GetServerTime();
  EXPECT_LT(std::fabs(server - now), 1.0);  // the same clock: within a day at the very least
  conn_->SetSQLTimeout(30);
  EXPECT_EQ(conn_->SQLTimeout(), 30u);
  conn_->CloseCachedTables();
}

TEST_F(Services, WithoutAConnectionTheServicesRefuseBeforeTheEngine) {
  for (auto op : std::vector<std::function<void()>>{
           [&] { conn_->BeginTransaction(); }, [&] { conn_->Commit(); }, [&] { conn_->Rollback(); },
           [&] { conn_->CreateSavepoint("x"); }, [&] { conn_->TransactionActive(); },
           [&] { conn_->TransactionCount(); },
           [&] {
             TStringList l;
             conn_->GetTableNames(&l, "*.adt");
           }}) {
    ExpectMessage<AdsConnectionError>(op, "No connection to database server.");
  }
  AceImportOverride<decltype(Ace.AdsDDGetDatabaseProperty)> spy(Ace.AdsDDGetDatabaseProperty,
                                                                &CountDatabaseProperty);
  g_dict_calls = 0;
  EXPECT_EQ(conn_->DDVersionMajor(), 0);
  conn_->Connect();
  EXPECT_EQ(conn_->DDVersionMinor(), 0);  // a directory connection asks nothing
  EXPECT_EQ(g_dict_calls, 0);
  conn_->Disconnect();
  conn_->CloseCachedTables();  // nothing to do
}

// ---- Listings -----------------------------------------------------------------------------------

TEST_F(Services, TableNamesFollowTheAliasType) {
  Create("a1", ttAdsADT, "N,Integer;");
  Create("b1", ttAdsCDX, "N,Char,2;");
  WriteAliases("Typed=" + data_ + ";A\nPlain=" + data_ + "\n");
  TAdsConnection typed(nullptr);
  typed.SetAliasName("Typed");
  typed.Connect();
  TStringList names;
  typed.GetTableNames(&names, "*.dbf");
  ASSERT_EQ(names.Count(), 1);
  EXPECT_EQ(names.Strings(0), "a1.adt");
  TAdsConnection plain(nullptr);
  plain.SetAliasName("Plain");
  plain.Connect();
  names.Clear();
  plain.GetTableNames(&names, "*.dbf");
  ASSERT_EQ(names.Count(), 1);
  EXPECT_EQ(names.Strings(0), "b1.dbf");
  names.Clear();
  plain.GetTableNames(&names, "*.nothing");
  EXPECT_EQ(names.Count(), 0);
  TStringList links, tables;
  plain.GetTableAndLinkNames(&links, &tables, "*.adt");
  EXPECT_EQ(tables.Count(), 1);
  EXPECT_EQ(links.Count(), 1);
  EXPECT_EQ(links.Strings(0), "");
}

TEST_F(Services, LinkInfoIsSplitAtSemicolons) {
  AceImportOverride<decltype(Ace.AdsGetActiveLinkInfo)> spy(Ace.AdsGetActiveLinkInfo,
                                                            &FakeLinkInfo);
  TStringList list;
  g_link_text = "a;b;c;";
  conn_->GetActiveDDLinkInfo(1, &list);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Strings(2), "c");
  list.Clear();
  g_link_text = "a;b;c";
  conn_->GetActiveDDLinkInfo(1, &list);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Strings(1), "b");
}

// ---- Dictionary connections
// -----------------------------------------------------------------------

class DictionaryServices : public Services {
 protected:
  void SetUp() override {
    Services::SetUp();
    Create("kinder", ttAdsADT, "ID,Integer;Name,Char,12;");
    RawSql("CREATE DATABASE 'app.add' PASSWORD 'pw'", raw_);
    ADSHANDLE admin = 0;
    ASSERT_EQ(
        AdsConnect60(U8(data_ + "/app.add"), ADS_LOCAL_SERVER, U8("Adssys"), U8("pw"), 0, &admin),
        0u)
        << LastEngineError();
    RawSql("EXECUTE PROCEDURE sp_AddTableToDatabase('Kinder', 'kinder.adt', 3, 1, '', '')", admin);
    RawSql("CREATE GROUP Lehrer", admin);
    RawSql("CREATE GROUP Eltern", admin);
    RawSql("CREATE USER anna PASSWORD 'a1' IN GROUP Lehrer", admin);
    RawSql("EXECUTE PROCEDURE sp_AddUserToGroup('anna', 'Eltern')", admin);
    RawSql("GRANT SELECT ON Kinder TO anna", admin);
    AdsDisconnect(admin);
    dict_ = new TAdsConnection(form_.get());
    dict_->SetName("Dict");
    dict_->SetLoginPrompt(false);
    dict_->SetConnectPath(data_ + "/app.add");
    dict_->SetUsername("anna");
    dict_->SetPassword("a1");
  }
  void RawSql(const std::string& text, ADSHANDLE conn) {
    ADSHANDLE stmt = 0, cursor = 0;
    ASSERT_EQ(AdsCreateSQLStatement(conn, &stmt), 0u);
    EXPECT_EQ(AdsExecuteSQLDirect(stmt, U8(text), &cursor), 0u) << text << LastEngineError();
    AdsCloseSQLStatement(stmt);
  }
  TAdsConnection* dict_ = nullptr;
};

TEST_F(DictionaryServices, LoginsRightAndWrong) {
  dict_->SetPassword("wrong");
  try {
    dict_->Connect();
    ADD_FAILURE() << "a wrong password connected";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), static_cast<UNSIGNED32>(AE_INVALID_PASSWORD));
  }
  EXPECT_FALSE(dict_->IsConnected());
  dict_->SetPassword("a1");
  dict_->Connect();
  EXPECT_TRUE(dict_->IsConnected());
  EXPECT_EQ(dict_->DDVersionMajor(), 1);
  EXPECT_EQ(dict_->DDVersionMinor(), 0);
}

TEST_F(DictionaryServices, GroupsTablesAndProcedures) {
  dict_->Connect();
  EXPECT_EQ(dict_->UserGroupsString(), "Eltern;Lehrer");
  ASSERT_EQ(dict_->UserGroups()->Count(), 2);
  EXPECT_EQ(dict_->UserGroups()->Strings(1), "Lehrer");
  TStringList tables;
  dict_->GetTableNames(&tables, "*.dbf");  // a dictionary lists its own tables
  ASSERT_EQ(tables.Count(), 1);
  EXPECT_EQ(tables.Strings(0), "Kinder");
  TStringList procedures;
  dict_->GetProcedureNames(&procedures);
  EXPECT_EQ(procedures.Count(), 0);
  EXPECT_EQ(dict_->GetNumActiveDDLinks(), 0);
  // The table opens by name with type 0; the user may only read it.
  TKeyTable* t = new TKeyTable(form_.get());
  t->SetName("DictTable");
  t->SetAdsConnection(dict_);
  t->SetTableName("Kinder");
  t->Open();
  EXPECT_EQ(t->TableType(), ttAdsADT);
  EXPECT_THROW(t->Append(), Exception);
}

}  // namespace
}  // namespace edittest
