// The upgrade script on the main road: the engine calls of the first ExecSQL in their exact
// order, the script's real effect on Kinder, the query's state afterwards, the reuse of the
// statement by a second execution, and the query read from its stored description.
#include "ads/query/query_support.h"

namespace {

using namespace querytest;

class QueryUpgrade : public QueryWorld {};

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

TEST_F(QueryUpgrade, FirstExecSQLMakesTheEngineCallsInOrder) {
  SetSQL(UpgradeScript());
  const std::string conn = std::to_string(conn_->ConnectionHandle());
  CallRecording rec;
  query_->ExecSQL();
  const std::string stmt = std::to_string(query_->StmtHandle());
  ASSERT_NE(query_->StmtHandle(), -1);
  const std::vector<std::string> expected = {
      "AdsCreateSQLStatement(" + conn + ", out)",
      "AdsStmtSetTableLockType(" + stmt + ", 1)",
      "AdsStmtSetTableCollation(" + stmt + ", 'ANSI')",
      "AdsStmtSetTableRights(" + stmt + ", 1)",
      "AdsStmtSetTableReadOnly(" + stmt + ", 1)",
      "AdsStmtSetTableType(" + stmt + ", 3)",
      "AdsStmtConstrainUpdates(" + stmt + ", 2)",
      "AdsStmtReadAllColumns(" + stmt + ", 2)",
      "AdsPrepareSQLW(" + stmt + ", '" + Joined(UpgradeScript()) + "')",
      "AdsExecuteSQL(" + stmt + ", out)",
      "AdsGetRecordCount(" + stmt + ", 2, out)",
  };
  EXPECT_EQ(Calls(), expected);
}

TEST_F(QueryUpgrade, ScriptAddsTheFourColumnsInOrder) {
  SetSQL(UpgradeScript());
  query_->ExecSQL();
  const std::vector<std::string> expected = {
      "ID:11:4",        "Name:4:20",      "Alter_Stichtag:11:4",
      "Kosten_von:3:4", "Kosten_bis:3:4", "Migrationshintergrund:4:5"};
  EXPECT_EQ(Columns("Kinder"), expected);
  // The records are kept.
  EXPECT_EQ(ColumnValues("Kinder", "Name"), (std::vector<std::string>{"Anna", "Ben"}));
  // The query stays closed, keeps its statement and is prepared.
  EXPECT_FALSE(query_->Active());
  EXPECT_NE(query_->StmtHandle(), -1);
  EXPECT_TRUE(query_->Prepared());
  EXPECT_EQ(query_->Params()->Count(), 0);
}

TEST_F(QueryUpgrade, AFailedScriptKeepsTheStatementAndNamesTheQuery) {
  SetSQL(UpgradeScript());
  query_->ExecSQL();
  const int32_t stmt = query_->StmtHandle();
  // The table has the columns now: a second run is refused by the engine.
  try {
    query_->ExecSQL();
    FAIL() << "the second run was accepted";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.Message().rfind("AdsQuery1: ", 0), 0u) << e.Message();
    EXPECT_EQ(e.DataSetInstanceName(), "AdsQuery1");
    EXPECT_NE(e.ACEErrorCode(), 0u);
    EXPECT_NE(e.ACEErrorCode(), static_cast<UNSIGNED32>(AE_COMPONENT));
  }
  EXPECT_EQ(query_->StmtHandle(), stmt);
  EXPECT_TRUE(query_->Prepared());
  EXPECT_EQ(query_->RowsAffected(), -1);
}

TEST_F(QueryUpgrade, SecondExecSQLReusesTheStatement) {
  SetSQL({"UPDATE Kinder SET Name = 'X' WHERE ID = 1;"});
  CallRecording rec;
  query_->ExecSQL();
  const int32_t stmt = query_->StmtHandle();
  EXPECT_EQ(query_->RowsAffected(), 1);
  CallRecording::Clear();
  query_->ExecSQL();
  EXPECT_EQ(query_->StmtHandle(), stmt);
  const std::string s = std::to_string(stmt);
  const std::vector<std::string> expected = {
      "AdsGetHandleType(" + s + ", out)",
      "AdsStmtSetTableLockType(" + s + ", 1)",
      "AdsStmtSetTableCollation(" + s + ", 'ANSI')",
      "AdsStmtSetTableRights(" + s + ", 1)",
      "AdsStmtSetTableReadOnly(" + s + ", 1)",
      "AdsStmtSetTableType(" + s + ", 3)",
      "AdsStmtConstrainUpdates(" + s + ", 2)",
      "AdsStmtReadAllColumns(" + s + ", 2)",
      "AdsPrepareSQLW(" + s + ", 'UPDATE Kinder SET Name = 'X' WHERE ID = 1;\r\n')",
      "AdsExecuteSQL(" + s + ", out)",
      "AdsGetRecordCount(" + s + ", 2, out)",
  };
  EXPECT_EQ(Calls(), expected);
  EXPECT_EQ(ColumnValues("Kinder", "Name"), (std::vector<std::string>{"X", "Ben"}));
}

// The window's description: the query is read before its connection exists, names it by
// DatabaseName and by reference, and carries an empty parameter collection.
const char* kWindow =
    "object Form1: TComponent\n"
    "  object AdsQuery1: TAdsQuery\n"
    "    DatabaseName = 'AdsConnection1'\n"
    "    SQL.Strings = (\n"
    "      'ALTER TABLE Kinder ADD COLUMN Alter_Stichtag integer;'\n"
    "      'ALTER TABLE Kinder ADD COLUMN Kosten_von date;'\n"
    "      'ALTER TABLE Kinder ADD COLUMN Kosten_bis date;'\n"
    "      'ALTER TABLE Kinder ADD COLUMN Migrationshintergrund char(5);')\n"
    "    AdsConnection = AdsConnection1\n"
    "    ParamData = <>\n"
    "  end\n"
    "  object AdsConnection1: TAdsConnection\n"
    "    AliasName = 'Vaskoli_AB'\n"
    "    IsConnected = True\n"
    "    AdsServerTypes = [stADS_LOCAL]\n"
    "    LoginPrompt = False\n"
    "    Username = 'Adssys'\n"
    "  end\n"
    "end\n";

TEST_F(QueryUpgrade, StreamedWindowQueryRunsTheScriptOnItsConnection) {
  TComponent window(nullptr);
  {
    CallRecording rec;
    ReadComponentFromText(kWindow, &window);
    // Reading the four lines offered the text to the engine once for parameter detection.
    EXPECT_EQ(CallRecording::Only({"AdsGetSQLStmtParams"}),
              (std::vector<std::string>{"AdsGetSQLStmtParams('" + Joined(UpgradeScript()) + "')"}));
  }
  auto* query = dynamic_cast<TAdsQuery*>(window.FindComponent("AdsQuery1"));
  auto* conn = dynamic_cast<TAdsConnection*>(window.FindComponent("AdsConnection1"));
  ASSERT_NE(query, nullptr);
  ASSERT_NE(conn, nullptr);
  EXPECT_TRUE(conn->IsConnected());
  EXPECT_EQ(query->AdsConnection(), conn);
  EXPECT_EQ(query->DatabaseName(), "AdsConnection1");
  EXPECT_EQ(query->Params()->Count(), 0);
  EXPECT_EQ(query->SQL()->Count(), 4);
  EXPECT_EQ(query->StmtHandle(), -1);
  EXPECT_FALSE(query->Prepared());

  query->ExecSQL();
  EXPECT_EQ(Columns("Kinder").size(), 6u);
  EXPECT_EQ(Columns("Kinder")[5], "Migrationshintergrund:4:5");
}

TEST_F(QueryUpgrade, ConnectionDestroyedFirstLeavesTheQueryNothingToClose) {
  TComponent* window = new TComponent(nullptr);
  ReadComponentFromText(kWindow, window);
  auto* query = dynamic_cast<TAdsQuery*>(window->FindComponent("AdsQuery1"));
  ASSERT_NE(query, nullptr);
  query->ExecSQL();
  ASSERT_NE(query->StmtHandle(), -1);
  CallRecording rec;
  // Reverse creation order: the connection goes first, makes the query forget its handles and
  // disconnects; the query then makes no engine call for its statement.
  delete window;
  EXPECT_EQ(CallRecording::Count("AdsCloseSQLStatement"), 0);
}

}  // namespace
