// The window's data-access components on their main road, on a real database: what start-up
// leaves connected and open, the engine calls of the upgrade action in their order (seen
// through the import table), and every start-up failure with its box and exit code.
#include <gtest/gtest.h>

#include <QTimer>

#include <regex>
#include <string>
#include <vector>

#include "ads/ace.h"
#include "app/Program.h"
#include "app/Unit1.h"
#include "tests/app/window/TestDatabase.h"
#include "ui/forms/QtTestSupport.h"

namespace {

// What the observed engine entries saw, in call order.
std::vector<std::string> gCalls;
std::u16string gPreparedText;
std::string gConnectUser = "unset", gConnectPassword = "unset";

std::string Text(const UNSIGNED8* s) {
  return s == nullptr ? "(null)" : reinterpret_cast<const char*>(s);
}

UNSIGNED32 ObservedConnect60(const UNSIGNED8* path, UNSIGNED16 types, const UNSIGNED8* user,
                             const UNSIGNED8* password, UNSIGNED32 options, ADSHANDLE* h) {
  gCalls.push_back("AdsConnect60 " + std::to_string(types));
  gConnectUser = Text(user);
  gConnectPassword = Text(password);
  return ::AdsConnect60(path, types, user, password, options, h);
}
UNSIGNED32 ObservedCloseTable(ADSHANDLE h) {
  gCalls.push_back("AdsCloseTable");
  return ::AdsCloseTable(h);
}
UNSIGNED32 ObservedCreateStatement(ADSHANDLE c, ADSHANDLE* s) {
  gCalls.push_back("AdsCreateSQLStatement");
  return ::AdsCreateSQLStatement(c, s);
}
UNSIGNED32 ObservedPrepareW(ADSHANDLE s, const WCHAR* text) {
  gCalls.push_back("AdsPrepareSQLW");
  gPreparedText = text;
  return ::AdsPrepareSQLW(s, text);
}
UNSIGNED32 ObservedExecute(ADSHANDLE s, ADSHANDLE* cursor) {
  gCalls.push_back("AdsExecuteSQL");
  return ::AdsExecuteSQL(s, cursor);
}

class DatabaseWiringTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qt_test::EnsureApplication();
    Application->Reset();
    gCalls.clear();
    gPreparedText.clear();
    gConnectUser = gConnectPassword = "unset";
  }
  void TearDown() override {
    Application->DestroyComponents();
    Application->Reset();
  }

  static int RunWithActions(std::function<void()> inLoop) {
    QTimer::singleShot(0, [inLoop = std::move(inLoop)] { inLoop(); });
    return RunProgram();
  }

  // The start-up box of a failed start: exit code 1, one box, no window; answers its text.
  static std::string FailedStartUpText(qt_test::RecordedBoxes& boxes) {
    bool loopRan = false;
    // A timer of this scope: it must not fire in a later test's loop.
    QTimer loopProbe;
    loopProbe.setSingleShot(true);
    QObject::connect(&loopProbe, &QTimer::timeout, [&] { loopRan = true; });
    loopProbe.start(0);
    EXPECT_EQ(RunProgram(), 1);
    EXPECT_FALSE(loopRan);
    EXPECT_EQ(Form1, nullptr);
    EXPECT_EQ(boxes.Requests().size(), 1u);
    if (boxes.Requests().empty()) return "";
    EXPECT_EQ(boxes.Requests()[0].Title, "Anwendungsfehler");
    return boxes.Requests()[0].Text;
  }

  app_test::TestDatabase db_;
};

TEST_F(DatabaseWiringTest, StartUpConnectsAndOpensKinderBeforeTheWindowIsShown) {
  db_.MakeKinder();
  AceImportOverride<decltype(Ace.AdsConnect60)> connect(Ace.AdsConnect60, &ObservedConnect60);
  Application->CreateForm(&Form1);
  ASSERT_NE(Form1, nullptr);
  EXPECT_FALSE(Form1->Widget()->isVisible());
  ASSERT_NE(Form1->AdsConnection1, nullptr);
  ASSERT_NE(Form1->AdsTableKinder, nullptr);
  ASSERT_NE(Form1->AdsQuery1, nullptr);
  EXPECT_TRUE(Form1->AdsConnection1->IsConnected());
  EXPECT_TRUE(Form1->AdsTableKinder->Active());
  EXPECT_EQ(Form1->AdsTableKinder->FieldCount(), 3);
  EXPECT_EQ(Form1->AdsTableKinder->RecordCount(), 3);
  EXPECT_EQ(Form1->AdsTableKinder->FieldByName("Vorname")->AsString(), "Anna");
  EXPECT_FALSE(Form1->AdsQuery1->Active());
  EXPECT_EQ(Form1->AdsQuery1->StmtHandle(), -1);  // no statement before the first click
  EXPECT_EQ(Form1->AdsQuery1->AdsConnection(), Form1->AdsConnection1);
  EXPECT_EQ(Form1->AdsTableKinder->AdsConnection(), Form1->AdsConnection1);
  EXPECT_EQ(Form1->AdsQuery1->Params()->Count(), 0);
  EXPECT_EQ(Form1->AdsQuery1->SQL()->Count(), 4);

  // The connection is made once, local server, and with empty user and password: the alias
  // names a folder of free tables, not a data dictionary, although Username holds "Adssys".
  EXPECT_EQ(gCalls, (std::vector<std::string>{"AdsConnect60 1"}));
  EXPECT_EQ(Form1->AdsConnection1->Username(), "Adssys");
  EXPECT_TRUE(gConnectUser.empty() || gConnectUser == "(null)") << gConnectUser;
  EXPECT_TRUE(gConnectPassword.empty() || gConnectPassword == "(null)") << gConnectPassword;

  // Creation order of the description: buttons, query, connection, table.
  std::vector<std::string> names;
  for (int i = 0; i < Form1->ComponentCount(); ++i) names.push_back(Form1->Components(i)->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"cxButton1", "cxButton2", "AdsQuery1",
                                             "AdsConnection1", "AdsTableKinder"}));
}

TEST_F(DatabaseWiringTest, TheUpgradeClosesTheTableThenSendsTheFourLinesAsOneText) {
  db_.MakeKinder();
  AceImportOverride<decltype(Ace.AdsCloseTable)> close(Ace.AdsCloseTable, &ObservedCloseTable);
  AceImportOverride<decltype(Ace.AdsCreateSQLStatement)> create(Ace.AdsCreateSQLStatement,
                                                                &ObservedCreateStatement);
  AceImportOverride<decltype(Ace.AdsPrepareSQLW)> prepare(Ace.AdsPrepareSQLW, &ObservedPrepareW);
  AceImportOverride<decltype(Ace.AdsExecuteSQL)> execute(Ace.AdsExecuteSQL, &ObservedExecute);
  std::vector<std::string> callsAtClick;
  const int exitCode = RunWithActions([&] {
    gCalls.clear();
    qt_test::SendMouseClick(Form1->cxButton1->Widget());
    callsAtClick = gCalls;
  });
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(callsAtClick, (std::vector<std::string>{"AdsCloseTable", "AdsCreateSQLStatement",
                                                    "AdsPrepareSQLW", "AdsExecuteSQL"}));
  EXPECT_EQ(gPreparedText,
            u"ALTER TABLE Kinder ADD COLUMN Alter_Stichtag integer;\r\n"
            u"ALTER TABLE Kinder ADD COLUMN Kosten_von date;\r\n"
            u"ALTER TABLE Kinder ADD COLUMN Kosten_bis date;\r\n"
            u"ALTER TABLE Kinder ADD COLUMN Migrationshintergrund char(5);\r\n");
  EXPECT_EQ(db_.Kinder().fields.size(), 7u);
}

TEST_F(DatabaseWiringTest, WithoutTheAliasNoWindowIsShown) {
  db_.MakeKinder();
  db_.WriteAlias("Andere_DB=" + db_.Data() + ";A");
  qt_test::RecordedBoxes boxes;
  const std::string text = FailedStartUpText(boxes);
  EXPECT_TRUE(std::regex_match(text, std::regex("Exception AdsConnectionError in Modul [^ ]+ bei "
                                                "[0-9A-F]{8}\\.\nTAdsConnection\\.AliasName is "
                                                "not valid\\.\n")))
      << text;
}

TEST_F(DatabaseWiringTest, AnAliasWithAnEmptyPathIsNotValid) {
  db_.WriteAlias("Vaskoli_AB=");
  qt_test::RecordedBoxes boxes;
  const std::string text = FailedStartUpText(boxes);
  EXPECT_NE(text.find("Exception AdsConnectionError"), std::string::npos) << text;
  EXPECT_NE(text.find("\nTAdsConnection.AliasName is not valid.\n"), std::string::npos) << text;
}

TEST_F(DatabaseWiringTest, AMissingTableFailsAfterTheConnectionWasMade) {
  AceImportOverride<decltype(Ace.AdsConnect60)> connect(Ace.AdsConnect60, &ObservedConnect60);
  qt_test::RecordedBoxes boxes;
  const std::string text = FailedStartUpText(boxes);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"AdsConnect60 1"}));
  EXPECT_TRUE(std::regex_search(
      text, std::regex("^Exception EADSDatabaseError in Modul [^ ]+ bei [0-9A-F]{8}\\.\n"
                       "AdsTableKinder: ")))
      << text;
}

TEST_F(DatabaseWiringTest, ARefusedConnectionShowsTheEngineTextAlone) {
  db_.WriteAlias("Vaskoli_AB=" + db_.Data() + "/does-not-exist;A");
  qt_test::RecordedBoxes boxes;
  const std::string text = FailedStartUpText(boxes);
  const auto lineEnd = text.find('\n');
  ASSERT_NE(lineEnd, std::string::npos) << text;
  EXPECT_EQ(text.rfind("Exception EADSDatabaseError in Modul ", 0), 0u) << text;
  const std::string message = text.substr(lineEnd + 1);
  EXPECT_EQ(message.rfind("AdsConnection1", 0), std::string::npos) << text;
  EXPECT_NE(message.find("does-not-exist"), std::string::npos) << text;
}

}  // namespace
