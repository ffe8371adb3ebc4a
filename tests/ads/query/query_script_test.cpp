// ExecSQLScript and VerifySQL: comment and section lines blanked, the text restored afterwards
// (also after a failure), failures wrapped as "ERROR IN SCRIPT: ", parameters kept.
#include "ads/query/query_support.h"

namespace {

using namespace querytest;

class QueryScript : public QueryWorld {};

TEST_F(QueryScript, CommentAndSectionLinesAreBlankedAndTheTextRestored) {
  SetSQL({"  # eine Bemerkung", "[Abschnitt]", "  SELECT * FROM Kinder  "});
  const std::string before = query_->Text();
  CallRecording rec;
  query_->ExecSQLScript();
  const std::string s = std::to_string(query_->StmtHandle());
  EXPECT_EQ(
      CallRecording::Only({"AdsPrepareSQLW"}),
      (std::vector<std::string>{"AdsPrepareSQLW(" + s + ", '\r\n\r\nSELECT * FROM Kinder\r\n')"}));
  EXPECT_EQ(query_->Text(), before);
  EXPECT_EQ(query_->SQL()->Count(), 3);
  EXPECT_FALSE(query_->Active());
  // The select's cursor was closed at once.
  EXPECT_EQ(CallRecording::Count("AdsCloseTable"), 1);
}

TEST_F(QueryScript, LinesEmptyAfterTrimmingStayEmptyLines) {
  SetSQL({"UPDATE Kinder SET Name = 'S'", "   \t ", "WHERE ID = 2;"});
  CallRecording rec;
  query_->ExecSQLScript();
  const std::string s = std::to_string(query_->StmtHandle());
  EXPECT_EQ(
      CallRecording::Only({"AdsPrepareSQLW"}),
      (std::vector<std::string>{"AdsPrepareSQLW(" + s +
                                ", 'UPDATE Kinder SET Name = 'S'\r\n\r\nWHERE ID = 2;\r\n')"}));
  EXPECT_EQ(ColumnValues("Kinder", "Name"), (std::vector<std::string>{"Anna", "S"}));
  EXPECT_EQ(query_->SQL()->Strings(1), "   \t ");
}

TEST_F(QueryScript, AFailureBecomesErrorInScriptAndTheTextIsRestored) {
  SetSQL({"# falsch", "UPDATE Gibtsnicht SET X = 1;"});
  const std::string before = query_->Text();
  try {
    query_->ExecSQLScript();
    FAIL() << "nothing raised";
  } catch (const EADSDatabaseError&) {
    FAIL() << "the engine's error was not wrapped";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message().rfind("ERROR IN SCRIPT: AdsQuery1: ", 0), 0u) << e.Message();
    EXPECT_EQ(e.ClassName(), "EDatabaseError");
  }
  EXPECT_EQ(query_->Text(), before);
}

TEST_F(QueryScript, ComponentErrorsAreWrappedToo) {
  TAdsQuery query(nullptr);
  query.SetName("Q");
  TStringList sql;
  sql.Add("SELECT 1 FROM Kinder;");
  query.SetSQL(&sql);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { query.ExecSQLScript(); }),
            "ERROR IN SCRIPT: Q: The DatabaseName property has not been assigned a value.");
  EXPECT_EQ(query.Text(), "SELECT 1 FROM Kinder;\r\n");
}

TEST_F(QueryScript, ParameterValuesSurviveTheScriptPass) {
  SetSQL({"# setzt einen Namen", "UPDATE Kinder SET Name = :n WHERE ID = :id;"});
  query_->ParamByName("n")->SetAsString("Carla");
  query_->ParamByName("id")->SetAsInteger(1);
  query_->ExecSQLScript();
  EXPECT_EQ(ColumnValues("Kinder", "Name"), (std::vector<std::string>{"Carla", "Ben"}));
  EXPECT_EQ(query_->ParamByName("n")->AsString(), "Carla");
  EXPECT_EQ(query_->ParamByName("id")->AsInteger(), 1);
}

TEST_F(QueryScript, VerifySQLChecksTheBlankedTextWithoutRunningIt) {
  SetSQL({"[Pruefung]", "UPDATE Kinder SET Name = 'V';"});
  const std::string before = query_->Text();
  CallRecording rec;
  query_->VerifySQL();
  const std::string s = std::to_string(query_->StmtHandle());
  EXPECT_EQ(CallRecording::Only({"AdsVerifySQLW", "AdsExecuteSQL", "AdsPrepareSQLW"}),
            (std::vector<std::string>{"AdsVerifySQLW(" + s +
                                      ", '\r\nUPDATE Kinder SET Name = 'V';\r\n')"}));
  EXPECT_EQ(CallRecording::Count("AdsStmtSetTableType"), 1);
  EXPECT_EQ(query_->Text(), before);
  EXPECT_EQ(ColumnValues("Kinder", "Name"), (std::vector<std::string>{"Anna", "Ben"}));
}

TEST_F(QueryScript, VerifySQLWrapsTheEnginesRefusal) {
  SetSQL({"UPDATE Kinder SETT Name = 1;"});
  const std::string msg = MessageOf<EDatabaseError>([&] { query_->VerifySQL(); });
  EXPECT_EQ(msg.rfind("ERROR IN SCRIPT: AdsQuery1: ", 0), 0u) << msg;
  EXPECT_EQ(query_->Text(), "UPDATE Kinder SETT Name = 1;\r\n");
}

}  // namespace
