// The query opened as a dataset: the cursor hook, what an open query refuses, and what closing
// releases at run time and at design time.
#include "ads/query/query_support.h"

namespace {

using namespace querytest;

class QueryCursor : public QueryWorld {};

TEST_F(QueryCursor, OpeningASelectGivesItsRows) {
  SetSQL({"SELECT * FROM Kinder ORDER BY ID;"});
  CallRecording rec;
  query_->Open();
  EXPECT_TRUE(query_->Active());
  EXPECT_TRUE(query_->Prepared());
  ASSERT_NE(query_->FindField("Name"), nullptr);
  EXPECT_EQ(query_->FieldByName("Name")->AsString(), "Anna");
  query_->Next();
  EXPECT_EQ(query_->FieldByName("Name")->AsString(), "Ben");
  // The cursor hook asked the engine for the cursor's table type after the execution.
  const std::vector<std::string> calls =
      CallRecording::Only({"AdsExecuteSQL", "AdsSqlPeekStatement", "AdsGetTableType"});
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0].rfind("AdsExecuteSQL(", 0), 0u);
  EXPECT_EQ(calls[1].rfind("AdsSqlPeekStatement(", 0), 0u);
  EXPECT_EQ(calls[2].rfind("AdsGetTableType(" + std::to_string(query_->Handle()) + ",", 0), 0u);
  const int32_t stmt = query_->StmtHandle();
  query_->Close();
  // Closing at run time unprepares and keeps the statement.
  EXPECT_FALSE(query_->Prepared());
  EXPECT_EQ(query_->StmtHandle(), stmt);
  EXPECT_EQ(query_->Handle(), -1);
}

TEST_F(QueryCursor, AnIndexFileTheEngineCannotOpenClosesTheNewCursor) {
  SetSQL({"SELECT * FROM Kinder;"});
  query_->IndexFiles()->Add("Kinder.adi");
  CallRecording rec;
  try {
    query_->Open();
    FAIL() << "nothing raised";
  } catch (const EADSDatabaseError& e) {
    // The engine's refusal of a file that does not exist, naming the query.
    EXPECT_NE(e.ACEErrorCode(), static_cast<UNSIGNED32>(AE_COMPONENT)) << e.Message();
    EXPECT_EQ(e.DataSetInstanceName(), "AdsQuery1") << e.Message();
  }
  EXPECT_FALSE(query_->Active());
  const std::vector<std::string> peek = CallRecording::Only({"AdsSqlPeekStatement"});
  ASSERT_EQ(peek.size(), 1u);
  const std::string cursor = peek[0].substr(20, peek[0].find(',') - 20);
  EXPECT_EQ(CallRecording::Only({"AdsCloseTable"}),
            (std::vector<std::string>{"AdsCloseTable(" + cursor + ")"}));
}

TEST_F(QueryCursor, OpeningAStatementWithoutCursorRunsItAndFails) {
  SetSQL({"UPDATE Kinder SET Name = 'U';"});
  try {
    query_->Open();
    FAIL() << "nothing raised";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.Message(),
              "AdsQuery1: The SQL statement did not generate a cursor handle.  Use "
              "TAdsQuery.ExecSQL to execute SQL statements that are not SELECT statements");
    EXPECT_EQ(e.ACEErrorCode(), static_cast<UNSIGNED32>(AE_COMPONENT));
  }
  EXPECT_FALSE(query_->Active());
  EXPECT_EQ(query_->Handle(), -1);
  EXPECT_EQ(ColumnValues("Kinder", "Name"), (std::vector<std::string>{"U", "U"}));
}

TEST_F(QueryCursor, AnOpenQueryRefusesExecutionWithoutTouchingTheEngine) {
  SetSQL({"SELECT * FROM Kinder;"});
  query_->Open();
  CallRecording rec;
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { query_->ExecSQL(); }),
            "AdsQuery1: Operation bei geöffneter Datenmenge nicht ausführbar");
  EXPECT_TRUE(Calls().empty());
  const std::string open = "AdsQuery1: Cannot perform this operation on an open dataset";
  EXPECT_EQ(MessageOf<EADSDatabaseError>([&] { query_->Prepare(); }), open);
  EXPECT_EQ(MessageOf<EADSDatabaseError>([&] { query_->UnPrepare(); }), open);
  EXPECT_EQ(MessageOf<EADSDatabaseError>([&] { query_->AdsCloseSQLStatement(); }), open);
  EXPECT_TRUE(query_->Active());
  EXPECT_NE(query_->StmtHandle(), -1);
}

TEST_F(QueryCursor, ChangingTheTextClosesAnOpenQuery) {
  SetSQL({"SELECT * FROM Kinder;"});
  query_->Open();
  SetSQL({"SELECT Name FROM Kinder;"});
  EXPECT_FALSE(query_->Active());
  EXPECT_FALSE(query_->Prepared());
}

TEST_F(QueryCursor, ScriptOnAnOpenQueryClosesItThroughTheTextChange) {
  SetSQL({"  SELECT * FROM Kinder;"});
  query_->Open();
  ASSERT_TRUE(query_->Active());
  CallRecording rec;
  query_->ExecSQLScript();
  EXPECT_FALSE(query_->Active());
  EXPECT_EQ(CallRecording::Count("AdsExecuteSQL"), 1);
  EXPECT_EQ(query_->Text(), "  SELECT * FROM Kinder;\r\n");
}

TEST_F(QueryCursor, ClosingAtDesignTimeReleasesTheStatement) {
  SetSQL({"SELECT * FROM Kinder;"});
  query_->SetDesigning(true);
  query_->Open();
  const int32_t stmt = query_->StmtHandle();
  ASSERT_NE(stmt, -1);
  CallRecording rec;
  query_->Close();
  EXPECT_EQ(query_->StmtHandle(), -1);
  EXPECT_EQ(CallRecording::Only({"AdsCloseSQLStatement"}),
            (std::vector<std::string>{"AdsCloseSQLStatement(" + std::to_string(stmt) + ")"}));
  query_->SetDesigning(false);
}

TEST_F(QueryCursor, FieldDefinitionsOfAClosedQueryUseATemporaryCursor) {
  SetSQL({"SELECT ID, Name FROM Kinder;"});
  CallRecording rec;
  query_->FieldDefs()->Update();
  EXPECT_FALSE(query_->Active());
  EXPECT_EQ(query_->FieldDefs()->Count(), 2);
  EXPECT_EQ(CallRecording::Count("AdsExecuteSQL"), 1);
  // The temporary cursor was closed again.
  const std::vector<std::string> peek = CallRecording::Only({"AdsSqlPeekStatement"});
  ASSERT_EQ(peek.size(), 1u);
  const std::string cursor = peek[0].substr(20, peek[0].find(',') - 20);
  EXPECT_EQ(CallRecording::Count("AdsCloseTable"), 1);
  EXPECT_EQ(CallRecording::Only({"AdsCloseTable"})[0], "AdsCloseTable(" + cursor + ")");
}

}  // namespace
