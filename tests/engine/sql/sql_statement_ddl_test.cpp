// Statement handles through the C API, on real tables in a temporary folder: handle kinds and
// release, options, the upgrade script on ADT (a large table, a second run, a failure part-way),
// DDL on every table format, and the refusal of tables that another user holds open.
#include <fstream>
#include <iterator>

#include "tests/engine/sql/sql_fixture.h"

namespace ace_sql_test {
namespace {

constexpr const char* kUpgradeScript =
    "ALTER TABLE Kinder ADD COLUMN Alter_Stichtag integer;\r\n"
    "ALTER TABLE Kinder ADD COLUMN Kosten_von date;\r\n"
    "ALTER TABLE Kinder ADD COLUMN Kosten_bis date;\r\n"
    "ALTER TABLE Kinder ADD COLUMN Migrationshintergrund char(5);\r\n";

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SqlStatementTest : public SqlTest {
 protected:
  // Kinder.adt with a name and a number per record: "Kind<i>", i.
  void MakeKinder(int rows) {
    ADSHANDLE t = Create("Kinder.adt", ADS_ADT, "Name,Char,20;Nr,Integer");
    ASSERT_NE(0u, t);
    for (int i = 1; i <= rows; ++i) {
      ASSERT_EQ(0u, AdsAppendRecord(t)) << LastErrorText();
      std::string name = "Kind" + std::to_string(i);
      ASSERT_EQ(0u, AdsSetString(t, U("Name"), U(name), static_cast<UNSIGNED32>(name.size())));
      ASSERT_EQ(0u, AdsSetLong(t, U("Nr"), i));
      ASSERT_EQ(0u, AdsWriteRecord(t));
    }
    ASSERT_EQ(0u, AdsCloseTable(t));
  }
};

TEST_F(SqlStatementTest, HandleIsAStatementWithNoRowCountBeforeExecution) {
  UNSIGNED16 type = 0;
  ASSERT_ACE(AdsGetHandleType(stmt_, &type));
  EXPECT_EQ(ADS_STATEMENT, type);
  UNSIGNED32 rows = 99;
  EXPECT_EQ(5117u, RowCount(stmt_, &rows));
  EXPECT_EQ(99u, rows);
  ASSERT_ACE(AdsPrepareSQL(stmt_, U("CREATE TABLE t (a integer)")));
  EXPECT_EQ(5117u, RowCount(stmt_, &rows));  // prepared, not executed
  UNSIGNED32 autoinc = 7;
  ASSERT_ACE(AdsGetLastAutoinc(stmt_, &autoinc));
  EXPECT_EQ(0u, autoinc);
}

TEST_F(SqlStatementTest, WrongHandlesAnswer5106) {
  ADSHANDLE table = Create("t.adt", ADS_ADT, "a,Integer");
  EXPECT_EQ(5106u, AdsPrepareSQL(table, U("DROP TABLE x")));
  EXPECT_EQ(5106u, AdsPrepareSQL(conn_, U("DROP TABLE x")));
  EXPECT_EQ(5106u, AdsCloseSQLStatement(0));
  EXPECT_EQ(5106u, AdsStmtSetTableType(123456, ADS_ADT));
  ADSHANDLE s = 0;
  EXPECT_NE(0u, AdsCreateSQLStatement(table, &s));  // a table is no connection
  EXPECT_EQ(0u, s);
  ASSERT_ACE(AdsCloseTable(table));
}

TEST_F(SqlStatementTest, CloseReleasesTheHandle) {
  ADSHANDLE s = 0;
  ASSERT_ACE(AdsCreateSQLStatement(conn_, &s));
  ASSERT_ACE(AdsCloseSQLStatement(s));
  UNSIGNED16 type = 0;
  EXPECT_NE(0u, AdsGetHandleType(s, &type));
  EXPECT_EQ(5106u, AdsCloseSQLStatement(s));
}

TEST_F(SqlStatementTest, DisconnectReleasesItsStatements) {
  ADSHANDLE other = 0;
  ASSERT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &other));
  ADSHANDLE s1 = 0, s2 = 0;
  ASSERT_ACE(AdsCreateSQLStatement(other, &s1));
  ASSERT_ACE(AdsCreateSQLStatement(other, &s2));
  ASSERT_ACE(AdsPrepareSQL(s1, U("CREATE TABLE k (a integer)")));
  ASSERT_ACE(AdsDisconnect(other));
  UNSIGNED16 type = 0;
  EXPECT_NE(0u, AdsGetHandleType(s1, &type));
  EXPECT_NE(0u, AdsGetHandleType(s2, &type));
  ADSHANDLE cursor = 0;
  EXPECT_EQ(5106u, AdsExecuteSQL(s1, &cursor));
  EXPECT_FALSE(std::filesystem::exists(Path("k.adt")));
  // The statement of the fixture's own connection is untouched.
  ASSERT_ACE(AdsGetHandleType(stmt_, &type));
}

TEST_F(SqlStatementTest, OptionValuesAreChecked) {
  EXPECT_EQ(5003u, AdsStmtSetTableLockType(stmt_, 2));
  EXPECT_EQ(5003u, AdsStmtSetTableRights(stmt_, 0));
  EXPECT_EQ(5003u, AdsStmtSetTableReadOnly(stmt_, 3));
  EXPECT_EQ(5003u, AdsStmtSetTableType(stmt_, 5));
  EXPECT_EQ(5003u, AdsStmtSetTableCharType(stmt_, 0));
  EXPECT_EQ(5003u, AdsStmtConstrainUpdates(stmt_, 0));
  EXPECT_EQ(5003u, AdsStmtReadAllColumns(stmt_, 3));
  EXPECT_EQ(5018u, AdsStmtSetTableCollation(stmt_, U(std::string(200, 'x'))));
  // The calls the query component makes, in its order, all succeed.
  EXPECT_ACE(AdsStmtSetTableLockType(stmt_, 1));
  EXPECT_ACE(AdsStmtSetTableCollation(stmt_, U("ANSI")));
  EXPECT_ACE(AdsStmtSetTableRights(stmt_, 1));
  EXPECT_ACE(AdsStmtSetTableReadOnly(stmt_, 1));
  EXPECT_ACE(AdsStmtSetTableType(stmt_, 3));
  EXPECT_ACE(AdsStmtConstrainUpdates(stmt_, 2));
  EXPECT_ACE(AdsStmtReadAllColumns(stmt_, 2));
  EXPECT_ACE(AdsSetSQLTimeout(stmt_, 30));
  EXPECT_ACE(AdsStmtEnableEncryption(stmt_, U("secret")));
  EXPECT_ACE(AdsStmtSetTablePassword(stmt_, U("Kinder"), U("pw")));
  EXPECT_ACE(AdsStmtClearTablePasswords(stmt_));
  EXPECT_ACE(AdsStmtDisableEncryption(stmt_));
  EXPECT_EQ(5004u, AdsStmtEnableEncryption(stmt_, nullptr));
  EXPECT_EQ(5003u, AdsStmtSetTablePassword(stmt_, U(""), U("pw")));
}

TEST_F(SqlStatementTest, TableTypeDecidesTheExtensionOfCreatedTables) {
  ASSERT_ACE(Exec("CREATE TABLE a1 (x integer)"));
  EXPECT_TRUE(std::filesystem::exists(Path("a1.adt")));
  ASSERT_ACE(AdsStmtSetTableType(stmt_, ADS_CDX));
  ASSERT_ACE(Exec("CREATE TABLE c1 (x integer, m memo)"));
  EXPECT_TRUE(std::filesystem::exists(Path("c1.dbf")));
  EXPECT_TRUE(std::filesystem::exists(Path("c1.fpt")));
  ASSERT_ACE(AdsStmtSetTableType(stmt_, ADS_NTX));
  ASSERT_ACE(Exec("CREATE TABLE n1 (x integer, m memo)"));
  EXPECT_TRUE(std::filesystem::exists(Path("n1.dbt")));
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("c1.dbf", ADS_CDX, &t));
  UNSIGNED16 type = 0;
  ASSERT_ACE(AdsGetFieldType(t, U("x"), &type));
  EXPECT_EQ(2u, type);  // integer on a DBF table is numeric(11, 0)
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_F(SqlStatementTest, ExecutingWithoutAPreparedTextIsRefused) {
  ADSHANDLE cursor = 5;
  EXPECT_EQ(7200u, AdsExecuteSQL(stmt_, &cursor));
  EXPECT_EQ(0u, cursor);
  EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2152;")) << ErrorText();
  EXPECT_EQ(5004u, AdsExecuteSQL(stmt_, nullptr));
}

TEST_F(SqlStatementTest, UpgradeScriptOnALargeAdtTable) {
  constexpr int kRows = 100000;
  MakeKinder(kRows);
  const std::set<std::string> before = Files();
  std::u16string text = Wide(kUpgradeScript);
  ASSERT_ACE(AdsPrepareSQLW(stmt_, text.c_str()));
  ADSHANDLE cursor = 99;
  ASSERT_ACE(AdsExecuteSQL(stmt_, &cursor));
  EXPECT_EQ(0u, cursor);
  UNSIGNED32 rows = 0;
  EXPECT_EQ(5117u, RowCount(stmt_, &rows));  // DDL has no row count
  EXPECT_EQ(before, Files());                // replaced in place: no temporary file is left

  ADSHANDLE t = 0;
  ASSERT_ACE(Open("Kinder", ADS_ADT, &t));
  EXPECT_EQ((std::vector<std::string>{"Name", "Nr", "Alter_Stichtag", "Kosten_von", "Kosten_bis",
                                      "Migrationshintergrund"}),
            FieldNames(t));
  UNSIGNED16 type = 0;
  UNSIGNED32 length = 0;
  ASSERT_ACE(AdsGetFieldType(t, U("Alter_Stichtag"), &type));
  EXPECT_EQ(11u, type);
  ASSERT_ACE(AdsGetFieldType(t, U("Kosten_bis"), &type));
  EXPECT_EQ(3u, type);
  ASSERT_ACE(AdsGetFieldType(t, U("Migrationshintergrund"), &type));
  EXPECT_EQ(4u, type);
  ASSERT_ACE(AdsGetFieldLength(t, U("Migrationshintergrund"), &length));
  EXPECT_EQ(5u, length);
  ASSERT_ACE(RowCount(t, &rows));
  ASSERT_EQ(static_cast<UNSIGNED32>(kRows), rows);
  ASSERT_ACE(AdsGotoTop(t));
  for (int i = 1; i <= kRows; ++i) {
    SIGNED32 nr = 0;
    ASSERT_ACE(AdsGetLong(t, U("Nr"), &nr));
    ASSERT_EQ(i, nr);
    if (i % 997 == 1) {  // spot checks of the other columns
      ASSERT_EQ("Kind" + std::to_string(i), Text(t, "Name"));
      for (const char* col :
           {"Alter_Stichtag", "Kosten_von", "Kosten_bis", "Migrationshintergrund"}) {
        UNSIGNED16 null = 0;
        ASSERT_ACE(AdsIsNull(t, U(col), &null));
        EXPECT_EQ(1u, null) << col << " of record " << i;
      }
    }
    ASSERT_ACE(AdsSkip(t, 1));
  }
  ASSERT_ACE(AdsCloseTable(t));
}

// The calls of the query component's ExecSQL for the upgrade, in its order, twice on one
// statement handle.
TEST_F(SqlStatementTest, TheQueryComponentsCallSequenceForTheUpgrade) {
  MakeKinder(3);
  ASSERT_ACE(AdsGetSQLStmtParams(U(kUpgradeScript)));
  ADSHANDLE s = 0;
  ASSERT_ACE(AdsCreateSQLStatement(conn_, &s));
  const std::u16string text = Wide(kUpgradeScript);
  auto exec_sql = [&]() -> UNSIGNED32 {
    UNSIGNED16 type = 0;
    EXPECT_ACE(AdsGetHandleType(s, &type));
    EXPECT_EQ(ADS_STATEMENT, type);
    EXPECT_ACE(AdsStmtSetTableLockType(s, 1));
    EXPECT_ACE(AdsStmtSetTableCollation(s, U("ANSI")));
    EXPECT_ACE(AdsStmtSetTableRights(s, 1));
    EXPECT_ACE(AdsStmtSetTableReadOnly(s, 1));
    EXPECT_ACE(AdsStmtSetTableType(s, 3));
    EXPECT_ACE(AdsStmtConstrainUpdates(s, 2));
    EXPECT_ACE(AdsStmtReadAllColumns(s, 2));
    EXPECT_ACE(AdsPrepareSQLW(s, text.c_str()));
    ADSHANDLE cursor = 77;
    UNSIGNED32 rc = AdsExecuteSQL(s, &cursor);
    EXPECT_EQ(0u, cursor);
    if (rc != 0) return rc;  // the component raises here, with the last error's text
    UNSIGNED32 rows = 0;
    EXPECT_EQ(5117u, AdsGetRecordCount(s, 2, &rows));
    return rc;
  };
  ASSERT_ACE(exec_sql());
  EXPECT_EQ(7200u, exec_sql());
  EXPECT_NE(std::string::npos, ErrorText().find("column \"Alter_Stichtag\"")) << ErrorText();
  ASSERT_ACE(AdsCloseSQLStatement(s));
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("Kinder", ADS_ADT, &t));
  EXPECT_EQ(6u, FieldNames(t).size());
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_F(SqlStatementTest, SecondRunOfTheScriptNamesTheExistingColumn) {
  MakeKinder(20);
  ASSERT_ACE(Exec(kUpgradeScript));
  const std::string file = FileBytes(Path("Kinder.adt"));
  EXPECT_EQ(7200u, Exec(kUpgradeScript));
  const std::string text = ErrorText();
  EXPECT_EQ(0u, text.rfind("Error 7200: SQL error: State = 42S21; NativeError = 2121; ", 0))
      << text;
  EXPECT_NE(std::string::npos, text.find("column \"Alter_Stichtag\"")) << text;
  EXPECT_NE(std::string::npos, text.find("statement 1 of 4 at line 1")) << text;
  EXPECT_NE(std::string::npos, text.find("ALTER TABLE Kinder ADD COLUMN Alter_Stichtag integer"))
      << text;
  EXPECT_TRUE(file == FileBytes(Path("Kinder.adt")));  // nothing written
}

TEST_F(SqlStatementTest, FailingThirdStatementLeavesTheFirstTwoApplied) {
  MakeKinder(50);
  EXPECT_EQ(7200u, Exec("ALTER TABLE Kinder ADD COLUMN Alter_Stichtag integer;\r\n"
                        "ALTER TABLE Kinder ADD COLUMN Kosten_von date;\r\n"
                        "ALTER TABLE Kinder ADD COLUMN Nr date;\r\n"
                        "ALTER TABLE Kinder ADD COLUMN Migrationshintergrund char(5);\r\n"));
  const std::string text = ErrorText();
  EXPECT_NE(std::string::npos, text.find("column \"Nr\"")) << text;
  EXPECT_NE(std::string::npos, text.find("statement 3 of 4 at line 3")) << text;
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("Kinder", ADS_ADT, &t));
  EXPECT_EQ((std::vector<std::string>{"Name", "Nr", "Alter_Stichtag", "Kosten_von"}),
            FieldNames(t));
  UNSIGNED32 rows = 0;
  ASSERT_ACE(RowCount(t, &rows));
  EXPECT_EQ(50u, rows);
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_F(SqlStatementTest, ScriptsRunInOrderAndStopAtTheFirstFailure) {
  // A trailing empty statement is nothing; DROP TABLE of a missing table stops the run.
  ASSERT_ACE(Exec("CREATE TABLE s1 (a integer);  ;\r\nCREATE TABLE s2 (b char(3));\r\n"));
  EXPECT_TRUE(std::filesystem::exists(Path("s1.adt")));
  EXPECT_TRUE(std::filesystem::exists(Path("s2.adt")));
  EXPECT_EQ(7200u, Exec("DROP TABLE s1; DROP TABLE nothere; DROP TABLE s2;"));
  EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2110;")) << ErrorText();
  EXPECT_FALSE(std::filesystem::exists(Path("s1.adt")));
  EXPECT_TRUE(std::filesystem::exists(Path("s2.adt")));
  EXPECT_EQ(7200u, Exec("CREATE TABLE s3 (a integr)"));
  EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2122;")) << ErrorText();
  EXPECT_FALSE(std::filesystem::exists(Path("s3.adt")));
  // An unterminated quote is refused when preparing.
  EXPECT_EQ(7200u, AdsPrepareSQL(stmt_, U("CREATE TABLE \"s4 (a integer)")));
  EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2103;")) << ErrorText();
  // An empty text prepares and runs as nothing.
  ASSERT_ACE(Exec(""));
}

TEST_F(SqlStatementTest, DdlOnEveryTableFormat) {
  struct Case {
    UNSIGNED16 type;
    const char* file;
  };
  for (Case c : {Case{ADS_ADT, "f.adt"}, Case{ADS_CDX, "f.dbf"}, Case{ADS_NTX, "f.dbf"},
                 Case{ADS_VFP, "f.dbf"}}) {
    SCOPED_TRACE(c.type);
    ASSERT_ACE(AdsStmtSetTableType(stmt_, c.type));
    ASSERT_ACE(Exec("CREATE TABLE f (Name char(10), Nr integer, Notiz memo)"));
    ADSHANDLE t = 0;
    ASSERT_ACE(Open(c.file, c.type, &t));
    AppendText(t, "Nr", "42");
    ASSERT_ACE(AdsCloseTable(t));
    ASSERT_ACE(
        Exec("ALTER TABLE f ADD COLUMN Datum date; ALTER TABLE f DROP COLUMN Notiz;"
             "ALTER TABLE f ALTER COLUMN Name Name char(12)"));
    ASSERT_ACE(Open(c.file, c.type, &t));
    std::vector<std::string> names = FieldNames(t);
    ASSERT_EQ(3u, names.size());
    EXPECT_EQ("NR", Upper(names[1]));
    EXPECT_EQ("DATUM", Upper(names[2]));
    UNSIGNED32 length = 0;
    ASSERT_ACE(AdsGetFieldLength(t, U("Name"), &length));
    EXPECT_EQ(12u, length);
    EXPECT_EQ("42", Text(t, "Nr"));
    ASSERT_ACE(AdsCloseTable(t));
    if (c.type != ADS_ADT) {
      // DBF field names hold 10 characters: a longer one is refused and nothing is written.
      const std::string bytes = FileBytes(Path(c.file));
      EXPECT_EQ(7200u, Exec("ALTER TABLE f ADD COLUMN Migrationshintergrund char(5)"));
      EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2124;")) << ErrorText();
      EXPECT_TRUE(bytes == FileBytes(Path(c.file)));
      EXPECT_EQ(7200u, Exec("CREATE TABLE g (Migrationshintergrund char(5))"));
      EXPECT_FALSE(std::filesystem::exists(Path("g.dbf")));
    }
    ASSERT_ACE(Exec("DROP TABLE f"));
    EXPECT_FALSE(std::filesystem::exists(Path(c.file)));
    EXPECT_FALSE(std::filesystem::exists(Path("f.fpt")));
    EXPECT_FALSE(std::filesystem::exists(Path("f.dbt")));
    EXPECT_FALSE(std::filesystem::exists(Path("f.adm")));
  }
}

TEST_F(SqlStatementTest, TableHeldOpenByAnotherUserIsRefusedAndNothingWritten) {
  MakeKinder(10);
  const std::string bytes = FileBytes(Path("Kinder.adt"));
  // Another connection of this process (its open lock is an OFD lock, as another process's).
  ADSHANDLE other = 0, t = 0;
  ASSERT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &other));
  ASSERT_ACE(Open("Kinder", ADS_ADT, &t, 0, other));
  EXPECT_EQ(7200u, Exec(kUpgradeScript));
  EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2112;")) << ErrorText();
  EXPECT_EQ(7200u, Exec("DROP TABLE Kinder"));
  EXPECT_TRUE(bytes == FileBytes(Path("Kinder.adt")));
  ASSERT_ACE(AdsDisconnect(other));
  // A cursor of the statement's own connection holds it as well.
  ASSERT_ACE(Open("Kinder", ADS_ADT, &t));
  EXPECT_EQ(7200u, Exec(kUpgradeScript));
  EXPECT_TRUE(bytes == FileBytes(Path("Kinder.adt")));
  ASSERT_ACE(AdsCloseTable(t));
  // Another process.
  int ready[2], done[2];
  ASSERT_EQ(0, pipe(ready));
  ASSERT_EQ(0, pipe(done));
  fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    ADSHANDLE c = 0, ct = 0;
    char byte = 0;
    int rc = AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &c) == 0 &&
                     AdsOpenTable90(c, U("Kinder"), nullptr, ADS_ADT, ADS_ANSI,
                                    ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0, nullptr, &ct) == 0
                 ? 0
                 : 1;
    (void)!write(ready[1], "r", 1);
    (void)!read(done[0], &byte, 1);
    _exit(rc);
  }
  char byte = 0;
  ASSERT_EQ(1, read(ready[0], &byte, 1));
  EXPECT_EQ(7200u, Exec(kUpgradeScript));
  EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2112;")) << ErrorText();
  ASSERT_EQ(1, write(done[1], "d", 1));
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
  EXPECT_TRUE(bytes == FileBytes(Path("Kinder.adt")));
  // Once nobody holds it, the script runs.
  ASSERT_ACE(Exec(kUpgradeScript));
}

TEST_F(SqlStatementTest, ExecuteDirectAndWideVariants) {
  ADSHANDLE cursor = 1;
  ASSERT_ACE(AdsExecuteSQLDirect(stmt_, U("CREATE TABLE d1 (a integer)"), &cursor));
  EXPECT_EQ(0u, cursor);
  std::u16string w = Wide("CREATE TABLE d2 (a integer)");
  ASSERT_ACE(AdsExecuteSQLDirectW(stmt_, w.c_str(), &cursor));
  EXPECT_TRUE(std::filesystem::exists(Path("d1.adt")));
  EXPECT_TRUE(std::filesystem::exists(Path("d2.adt")));
  EXPECT_EQ(5004u, AdsPrepareSQLW(stmt_, nullptr));
}

}  // namespace
}  // namespace ace_sql_test
