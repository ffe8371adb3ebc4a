// Executing statements: the 7209 rule, empty texts, results that come back as cursors, the
// statement options, SQLTimeout, connection handles, the statement's release rules, the
// table-type refusal and the refused properties.
#include "ads/query/query_support.h"

namespace {

using namespace querytest;

class QueryExec : public QueryWorld {};

// Forced engine answers: the error is recorded for the thread as the engine would record it.
UNSIGNED32 Execute7209(ADSHANDLE, ADSHANDLE* phCursor) {
  *phCursor = 0;
  return AdsSetLastError(AE_STATEMENT_UNUSABLE,
                         U8("Error 7209: the statement cannot be used after this error"));
}
UNSIGNED32 Execute7200(ADSHANDLE, ADSHANDLE* phCursor) {
  *phCursor = 0;
  return AdsSetLastError(AE_SQL_ERROR, U8("Error 7200: SQL error: State = 42000; NativeError = "
                                          "2115; the statement is refused"));
}

TEST_F(QueryExec, Answer7209ClosesTheStatementBeforeTheErrorTravelsOn) {
  SetSQL({"UPDATE Kinder SET Name = 'Y';"});
  query_->ExecSQL();
  const int32_t stmt = query_->StmtHandle();
  ASSERT_NE(stmt, -1);
  CallRecording rec;
  {
    AceImportOverride<decltype(Ace.AdsExecuteSQL)> force(Ace.AdsExecuteSQL, &Execute7209);
    try {
      query_->ExecSQL();
      FAIL() << "nothing raised";
    } catch (const EADSDatabaseError& e) {
      EXPECT_EQ(e.ACEErrorCode(), static_cast<UNSIGNED32>(AE_STATEMENT_UNUSABLE));
      EXPECT_EQ(e.Message(),
                "AdsQuery1: Error 7209: the statement cannot be used after this error");
    }
  }
  EXPECT_EQ(query_->StmtHandle(), -1);
  EXPECT_EQ(CallRecording::Only({"AdsCloseSQLStatement"}),
            (std::vector<std::string>{"AdsCloseSQLStatement(" + std::to_string(stmt) + ")"}));
  // The next execution makes a new statement.
  CallRecording::Clear();
  query_->ExecSQL();
  EXPECT_EQ(CallRecording::Count("AdsCreateSQLStatement"), 1);
  EXPECT_NE(query_->StmtHandle(), -1);
}

TEST_F(QueryExec, OtherExecutionFailuresKeepTheStatement) {
  SetSQL({"UPDATE Kinder SET Name = 'Y';"});
  query_->ExecSQL();
  const int32_t stmt = query_->StmtHandle();
  CallRecording rec;
  AceImportOverride<decltype(Ace.AdsExecuteSQL)> force(Ace.AdsExecuteSQL, &Execute7200);
  try {
    query_->ExecSQL();
    FAIL() << "nothing raised";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.SQLErrorCode(), 2115u);
  }
  EXPECT_EQ(query_->StmtHandle(), stmt);
  EXPECT_EQ(CallRecording::Count("AdsCloseSQLStatement"), 0);
  EXPECT_TRUE(query_->Prepared());
  EXPECT_EQ(query_->RowsAffected(), -1);
}

TEST_F(QueryExec, EmptyTextIsStillPreparedOnTheEngine) {
  CallRecording rec;
  try {
    query_->ExecSQL();
  } catch (const EADSDatabaseError&) {
    // The engine's answer to an empty text decides; the query sent it.
  }
  const std::string stmt = std::to_string(query_->StmtHandle());
  EXPECT_EQ(CallRecording::Only({"AdsPrepareSQLW"}),
            (std::vector<std::string>{"AdsPrepareSQLW(" + stmt + ", '')"}));
}

// The count the engine gave the last AdsGetRecordCount on a statement.
UNSIGNED32 gEngineCount = 0;
UNSIGNED32 gEngineCountAnswer = 0;
decltype(Ace.AdsGetRecordCount) gRealGetRecordCount = nullptr;
UNSIGNED32 CountAndKeep(ADSHANDLE h, UNSIGNED16 option, UNSIGNED32* count) {
  gEngineCountAnswer = gRealGetRecordCount(h, option, count);
  gEngineCount = *count;
  return gEngineCountAnswer;
}

TEST_F(QueryExec, SelectResultIsClosedAtOnceAndItsCountKept) {
  SetSQL({"SELECT * FROM Kinder;"});
  CallRecording rec;
  gRealGetRecordCount = Ace.AdsGetRecordCount;
  AceImportOverride<decltype(Ace.AdsGetRecordCount)> keep(Ace.AdsGetRecordCount, &CountAndKeep);
  query_->ExecSQL();
  EXPECT_FALSE(query_->Active());
  // The cursor that came back was closed right after the count was read.
  const std::vector<std::string> tail =
      CallRecording::Only({"AdsExecuteSQL", "AdsSqlPeekStatement", "AdsCloseTable"});
  ASSERT_EQ(tail.size(), 3u);
  EXPECT_EQ(tail[0].rfind("AdsExecuteSQL(", 0), 0u);
  EXPECT_EQ(tail[1].rfind("AdsSqlPeekStatement(", 0), 0u);
  const std::string cursor = tail[1].substr(20, tail[1].find(',') - 20);
  EXPECT_EQ(tail[2], "AdsCloseTable(" + cursor + ")");
  if (gEngineCountAnswer == AE_NO_ROW_COUNT)
    EXPECT_EQ(query_->RowsAffected(), -1);
  else
    EXPECT_EQ(query_->RowsAffected(), static_cast<int32_t>(gEngineCount));
}

UNSIGNED32 CountFails(ADSHANDLE, UNSIGNED16, UNSIGNED32*) {
  return AdsSetLastError(AE_GENERAL, U8("no count today"));
}

TEST_F(QueryExec, AFailureAfterTheExecutionClosesTheResultCursor) {
  SetSQL({"SELECT * FROM Kinder;"});
  CallRecording rec;
  {
    AceImportOverride<decltype(Ace.AdsGetRecordCount)> fail(Ace.AdsGetRecordCount, &CountFails);
    EXPECT_EQ(MessageOf<EADSDatabaseError>([&] { query_->ExecSQL(); }),
              "AdsQuery1: no count today");
  }
  const std::vector<std::string> peek = CallRecording::Only({"AdsSqlPeekStatement"});
  ASSERT_EQ(peek.size(), 1u);
  const std::string cursor = peek[0].substr(20, peek[0].find(',') - 20);
  EXPECT_EQ(CallRecording::Only({"AdsCloseTable"}),
            (std::vector<std::string>{"AdsCloseTable(" + cursor + ")"}));
  UNSIGNED16 type = 0;
  EXPECT_NE(AdsGetHandleType(static_cast<ADSHANDLE>(std::stoul(cursor)), &type), 0u);
}

UNSIGNED32 CloseRefused(ADSHANDLE) {
  return AdsSetLastError(AE_GENERAL, U8("cannot close now"));
}

TEST_F(QueryExec, ARefusedReleaseStillForgetsTheStatement) {
  SetSQL({"UPDATE Kinder SET Name = 'Y';"});
  query_->ExecSQL();
  const auto stmt = static_cast<ADSHANDLE>(query_->StmtHandle());
  {
    AceImportOverride<decltype(Ace.AdsCloseSQLStatement)> fail(Ace.AdsCloseSQLStatement,
                                                               &CloseRefused);
    EXPECT_EQ(MessageOf<EADSDatabaseError>([&] { query_->AdsCloseSQLStatement(); }),
              "AdsQuery1: cannot close now");
  }
  EXPECT_EQ(query_->StmtHandle(), -1);
  AdsCloseSQLStatement(stmt);  // what the refused call left behind
  // 5106, a statement the engine no longer knows, is accepted.
  query_->ExecSQL();
  ASSERT_EQ(AdsCloseSQLStatement(static_cast<ADSHANDLE>(query_->StmtHandle())), 0u);
  query_->AdsCloseSQLStatement();
  EXPECT_EQ(query_->StmtHandle(), -1);
}

TEST_F(QueryExec, OptionsFollowTheQueryAndItsConnection) {
  SetSQL({"UPDATE Kinder SET Name = 'Y';"});
  query_->SetRequestLive(true);
  query_->SetConstrained(true);
  query_->SetReadAllColumns(true);
  query_->AdsTableOptions()->SetAdsLockType(Compatible);
  query_->AdsTableOptions()->SetAdsRightsCheck(false);
  query_->AdsTableOptions()->SetAdsCollation("GERMAN_VFP_CI_AS_1252");
  conn_->SetReadOnly(true);
  CallRecording rec;
  try {
    query_->ExecSQL();  // a read-only connection may refuse the update; the options came first
  } catch (const EADSDatabaseError&) {
  }
  const std::string s = std::to_string(query_->StmtHandle());
  const std::vector<std::string> expected = {
      "AdsStmtSetTableLockType(" + s + ", 0)",
      "AdsStmtSetTableCollation(" + s + ", 'GERMAN_VFP_CI_AS_1252')",
      "AdsStmtSetTableRights(" + s + ", 2)",
      "AdsStmtSetTableReadOnly(" + s + ", 2)",
      "AdsStmtSetTableReadOnly(" + s + ", 1)",
      "AdsStmtSetTableType(" + s + ", 3)",
      "AdsStmtConstrainUpdates(" + s + ", 1)",
      "AdsStmtReadAllColumns(" + s + ", 1)",
  };
  EXPECT_EQ(CallRecording::Only({"AdsStmtSetTableLockType", "AdsStmtSetTableCollation",
                                 "AdsStmtSetTableRights", "AdsStmtSetTableReadOnly",
                                 "AdsStmtSetTableType", "AdsStmtConstrainUpdates",
                                 "AdsStmtReadAllColumns"}),
            expected);
  // The character type itself is never passed.
  EXPECT_EQ(CallRecording::Count("AdsStmtSetTableCharType"), 0);
}

TEST_F(QueryExec, CollationComesFromTheConnectionWhenTheOptionsHaveNone) {
  conn_->SetAdsCollation("GENERAL_VFP_CI_AS_1252");
  SetSQL({"UPDATE Kinder SET Name = 'Y';"});
  CallRecording rec;
  query_->ExecSQL();
  const std::string s = std::to_string(query_->StmtHandle());
  EXPECT_EQ(
      CallRecording::Only({"AdsStmtSetTableCollation"}),
      (std::vector<std::string>{"AdsStmtSetTableCollation(" + s + ", 'GENERAL_VFP_CI_AS_1252')"}));
}

TEST_F(QueryExec, TableTypesGiveTheEngineNumbers) {
  // Through a path, so that no alias or connection type stands against the type.
  query_->SetDatabaseName(data_);
  SetSQL({"UPDATE Kinder SET Name = 'Y';"});
  const std::pair<TAdsTableTypes, int> cases[] = {
      {ttAdsCDX, 2}, {ttAdsVFP, 4}, {ttAdsDefault, 1}, {ttAdsADT, 3}};
  for (const auto& [type, number] : cases) {
    query_->SetTableType(type);
    EXPECT_EQ(query_->SourceTableType(), type);
    CallRecording rec;
    try {
      query_->ExecSQL();  // a DBF type finds no Kinder.dbf; the option was sent before
    } catch (const EADSDatabaseError&) {
    }
    const std::string s = std::to_string(query_->StmtHandle());
    EXPECT_EQ(CallRecording::Only({"AdsStmtSetTableType"}),
              (std::vector<std::string>{"AdsStmtSetTableType(" + s + ", " + std::to_string(number) +
                                        ")"}));
  }
}

TEST_F(QueryExec, NtxIsRefusedUnlessAskedToIgnoreIt) {
  query_->SetDatabaseName(data_);
  EXPECT_EQ(MessageOf<EADSDatabaseError>([&] { query_->SetTableType(ttAdsNTX); }),
            "AdsQuery1: The TAdsQuery component does not support the NTX table type");
  EXPECT_EQ(query_->SourceTableType(), ttAdsADT);
  query_->InternalSetTableType(ttAdsNTX, true);
  EXPECT_EQ(query_->SourceTableType(), ttAdsNTX);
}

TEST_F(QueryExec, SQLTimeoutIsSentOnlyWhenSetAndAtOnceOnAStatement) {
  SetSQL({"UPDATE Kinder SET Name = 'Y';"});
  CallRecording rec;
  query_->ExecSQL();
  EXPECT_EQ(CallRecording::Count("AdsSetSQLTimeout"), 0);
  const std::string s = std::to_string(query_->StmtHandle());
  query_->SetSQLTimeout(30);
  EXPECT_EQ(CallRecording::Only({"AdsSetSQLTimeout"}),
            (std::vector<std::string>{"AdsSetSQLTimeout(" + s + ", 30)"}));
  // A new statement gets the value right after it is made.
  query_->AdsCloseSQLStatement();
  CallRecording::Clear();
  query_->ExecSQL();
  const std::vector<std::string> made =
      CallRecording::Only({"AdsCreateSQLStatement", "AdsSetSQLTimeout"});
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(made[1], "AdsSetSQLTimeout(" + std::to_string(query_->StmtHandle()) + ", 30)");
  EXPECT_EQ(MessageOf<EADSDatabaseError>([&] { query_->SetSQLTimeout(-1); }),
            "AdsQuery1: SQLTimeout must not be negative.");
  EXPECT_EQ(query_->SQLTimeout(), 30);
}

TEST_F(QueryExec, ADatabaseNameOrAConnectionIsNeeded) {
  TAdsQuery query(nullptr);
  query.SetName("Q");
  EXPECT_EQ(MessageOf<EADSDatabaseError>([&] { query.ExecSQL(); }),
            "Q: The DatabaseName property has not been assigned a value.");
  EXPECT_EQ(query.StmtHandle(), -1);
}

// A connection component that is connected but gives no usable handle.
class TNoHandleConnection : public TAdsConnection {
 public:
  using TAdsConnection::TAdsConnection;
  ADSHANDLE ConnectionHandle() const override { return 0; }
};

TEST_F(QueryExec, NoUsableConnectionHandleIsAComponentError) {
  TNoHandleConnection conn(nullptr);
  conn.SetConnectPath(data_);
  conn.SetLoginPrompt(false);
  conn.Connect();
  ASSERT_TRUE(conn.IsConnected());
  TAdsQuery query(nullptr);
  query.SetName("Q");
  query.SetAdsConnection(&conn);
  CallRecording rec;
  try {
    query.ExecSQL();
    FAIL() << "nothing raised";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Q: Internal Error: invalid connection handle.");
    EXPECT_EQ(e.ACEErrorCode(), static_cast<UNSIGNED32>(AE_COMPONENT));
  }
  EXPECT_EQ(CallRecording::Count("AdsCreateSQLStatement"), 0);
  query.SetAdsConnection(nullptr);
}

TEST_F(QueryExec, DatabaseNameDetachesTheConnectionAndReleasesAStatementByName) {
  EXPECT_EQ(query_->AdsConnection(), conn_);
  query_->SetDatabaseName(data_);
  EXPECT_EQ(query_->AdsConnection(), nullptr);
  EXPECT_EQ(conn_->DataSetCount(), 0);
  SetSQL({"UPDATE Kinder SET Name = 'Y';"});
  query_->ExecSQL();
  const int32_t stmt = query_->StmtHandle();
  CallRecording rec;
  // The same name keeps the statement.
  query_->SetDatabaseName(data_);
  EXPECT_EQ(query_->StmtHandle(), stmt);
  EXPECT_EQ(CallRecording::Count("AdsCloseSQLStatement"), 0);
  // Another one releases it.
  query_->SetDatabaseName("AdsConnection1");
  EXPECT_EQ(query_->StmtHandle(), -1);
  EXPECT_EQ(CallRecording::Only({"AdsCloseSQLStatement"}),
            (std::vector<std::string>{"AdsCloseSQLStatement(" + std::to_string(stmt) + ")"}));
  EXPECT_EQ(query_->AdsConnection(), conn_);
}

TEST_F(QueryExec, CloseSQLStatementAndInvalidateForgetTheHandles) {
  SetSQL({"UPDATE Kinder SET Name = 'Y';"});
  query_->ExecSQL();
  const int32_t stmt = query_->StmtHandle();
  CallRecording rec;
  query_->AdsCloseSQLStatement();
  EXPECT_EQ(query_->StmtHandle(), -1);
  query_->AdsCloseSQLStatement();  // nothing left to release
  EXPECT_EQ(CallRecording::Only({"AdsCloseSQLStatement"}),
            (std::vector<std::string>{"AdsCloseSQLStatement(" + std::to_string(stmt) + ")"}));
  // The engine no longer knows the handle.
  UNSIGNED16 type = 0;
  EXPECT_NE(AdsGetHandleType(static_cast<ADSHANDLE>(stmt), &type), 0u);

  query_->ExecSQL();
  ASSERT_NE(query_->StmtHandle(), -1);
  EXPECT_TRUE(query_->Prepared());
  CallRecording::Clear();
  query_->InvalidateAceHandles();
  EXPECT_EQ(query_->StmtHandle(), -1);
  EXPECT_FALSE(query_->Prepared());
  EXPECT_TRUE(Calls().empty());
}

TEST_F(QueryExec, DestructionReleasesTheStatementOfAnImplicitConnection) {
  auto query = std::make_unique<TAdsQuery>(nullptr);
  query->SetDatabaseName(data_);
  TStringList sql;
  sql.Add("UPDATE Kinder SET Name = 'Z';");
  query->SetSQL(&sql);
  query->ExecSQL();
  const int32_t stmt = query->StmtHandle();
  CallRecording rec;
  query.reset();
  EXPECT_EQ(CallRecording::Only({"AdsCloseSQLStatement"}),
            (std::vector<std::string>{"AdsCloseSQLStatement(" + std::to_string(stmt) + ")"}));
}

TEST_F(QueryExec, DestructionReleasesTheStatementOnAConnectedComponent) {
  SetSQL({"UPDATE Kinder SET Name = 'Z';"});
  query_->ExecSQL();
  const int32_t stmt = query_->StmtHandle();
  CallRecording rec;
  delete query_;
  query_ = nullptr;
  EXPECT_EQ(CallRecording::Only({"AdsCloseSQLStatement"}),
            (std::vector<std::string>{"AdsCloseSQLStatement(" + std::to_string(stmt) + ")"}));
  EXPECT_EQ(conn_->DataSetCount(), 0);
}

TEST_F(QueryExec, AStatementLostBehindTheQuerysBackIsMadeAgainOnTheRememberedConnection) {
  query_->SetDatabaseName(data_);
  SetSQL({"UPDATE Kinder SET Name = 'R' WHERE ID = 2;"});
  query_->ExecSQL();
  const int32_t stmt = query_->StmtHandle();
  ASSERT_EQ(AdsCloseSQLStatement(static_cast<ADSHANDLE>(stmt)), 0u);
  CallRecording rec;
  query_->ExecSQL();
  EXPECT_EQ(CallRecording::Count("AdsCreateSQLStatement"), 1);
  EXPECT_NE(query_->StmtHandle(), -1);
  EXPECT_EQ(query_->RowsAffected(), 1);
}

TEST_F(QueryExec, PrepareAndUnprepareAreFlagsOnly) {
  CallRecording rec;
  query_->SetPrepared(true);
  EXPECT_TRUE(query_->Prepared());
  EXPECT_EQ(query_->RowsAffected(), -1);
  query_->SetPrepared(false);
  EXPECT_FALSE(query_->Prepared());
  EXPECT_TRUE(Calls().empty());
}

TEST_F(QueryExec, ConstraintsAndUpdateObjectAreRefused) {
  EXPECT_EQ(MessageOf<EADSDatabaseError>([&] { query_->Constraints(); }),
            "AdsQuery1: The property \"Constraints\" is not supported.");
  EXPECT_EQ(MessageOf<EADSDatabaseError>([&] { query_->UpdateObject(); }),
            "AdsQuery1: The property \"UpdateObject\" is not supported.");
  EXPECT_FALSE(query_->Local());
  query_->SetWaitCursor(7);
  EXPECT_EQ(query_->WaitCursor(), 0);
}

TEST_F(QueryExec, EncryptionAndPasswordCallsMakeTheStatementFirst) {
  CallRecording rec;
  query_->AdsStmtEnableEncryption("Geheim");
  const std::string s = std::to_string(query_->StmtHandle());
  query_->AdsStmtSetTablePassword("Kinder", "Wort");
  query_->AdsStmtClearTablePasswords();
  query_->AdsStmtDisableEncryption();
  const std::vector<std::string> expected = {
      "AdsCreateSQLStatement(" + std::to_string(conn_->ConnectionHandle()) + ", out)",
      "AdsStmtEnableEncryption(" + s + ", 'Geheim')",
      "AdsGetHandleType(" + s + ", out)",
      "AdsStmtSetTablePassword(" + s + ", 'Kinder', 'Wort')",
      "AdsGetHandleType(" + s + ", out)",
      "AdsStmtClearTablePasswords(" + s + ")",
      "AdsGetHandleType(" + s + ", out)",
      "AdsStmtDisableEncryption(" + s + ")",
  };
  EXPECT_EQ(Calls(), expected);
}

TEST_F(QueryExec, LastAutoincValOfTheStatementAfterAnInsert) {
  ADSHANDLE conn = 0, table = 0;
  ASSERT_EQ(AdsConnect(U8(data_), &conn), 0u);
  ASSERT_EQ(
      AdsCreateTable90(conn, U8("Zaehler"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                       ADS_CHECK_RIGHTS, 0, U8("Nr,AutoInc;Name,Char,10"), 0, U8(""), &table),
      0u);
  AdsCloseTable(table);
  AdsDisconnect(conn);
  SetSQL({"INSERT INTO Zaehler (Name) VALUES ('a');"});
  query_->ExecSQL();
  query_->ExecSQL();
  EXPECT_EQ(query_->RowsAffected(), 1);
  EXPECT_EQ(query_->LastAutoincVal(), 2);
}

}  // namespace
