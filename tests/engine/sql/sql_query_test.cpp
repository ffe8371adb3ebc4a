// Queries and data changes through the SQLite session, via the C API on real tables: SELECT with
// WHERE, ORDER BY, joins and aggregates as static cursors, live cursors and editing through them,
// INSERT/UPDATE/DELETE with rows affected, atomic statements (a value that does not fit, a lock
// of another user), autoincrement values, identifiers without regard to case, verification,
// timeouts and the release of result cursors.
#include <fstream>
#include <iterator>

#include "engine/base/file.h"
#include "tests/engine/sql/sql_fixture.h"

namespace ace_sql_test {
namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

SIGNED32 JulianOf(const char* yyyymmdd) {
  DOUBLE julian = 0;
  EXPECT_EQ(0u, AdsConvertStringToJulian(U(yyyymmdd), 8, &julian));
  return static_cast<SIGNED32>(julian);
}

class SqlQueryTest : public SqlTest {
 protected:
  // people.adt: (Name, Nr, Geburt, Aktiv, Notiz) for Anna 1 .. Emil 5; Notiz on even numbers.
  void MakePeople() {
    ADSHANDLE t = Create("people.adt", ADS_ADT,
                         "Name,Char,20;Nr,Integer;Geburt,Date;Aktiv,Logical;Notiz,Memo");
    ASSERT_NE(0u, t);
    const char* names[] = {"Anna", "Bert", "Carl", "Dora", "Emil"};
    for (int i = 0; i < 5; ++i) {
      ASSERT_ACE(AdsAppendRecord(t));
      ASSERT_ACE(
          AdsSetString(t, U("Name"), U(names[i]), static_cast<UNSIGNED32>(strlen(names[i]))));
      ASSERT_ACE(AdsSetLong(t, U("Nr"), i + 1));
      ASSERT_ACE(AdsSetJulian(t, U("Geburt"), JulianOf("20100101") + i));
      ASSERT_ACE(AdsSetLogical(t, U("Aktiv"), i % 2 == 0));
      if (i % 2 == 1) {
        std::string note = std::string("Notiz ") + names[i];
        ASSERT_ACE(AdsSetString(t, U("Notiz"), U(note), static_cast<UNSIGNED32>(note.size())));
      }
      ASSERT_ACE(AdsWriteRecord(t));
    }
    ASSERT_ACE(AdsCloseTable(t));
  }

  // The values of one field over all records of a cursor, from the top.
  std::vector<std::string> Column(ADSHANDLE c, const char* field) {
    std::vector<std::string> out;
    EXPECT_EQ(0u, AdsGotoTop(c));
    UNSIGNED16 eof = 0;
    while (AdsAtEOF(c, &eof) == 0 && !eof) {
      out.push_back(Text(c, field));
      EXPECT_EQ(0u, AdsSkip(c, 1));
    }
    return out;
  }

  UNSIGNED32 Rows() {
    UNSIGNED32 rows = 0;
    UNSIGNED32 rc = RowCount(stmt_, &rows);
    return rc == 0 ? rows : 100000 + rc;
  }

  std::string TableName(ADSHANDLE h) {
    UNSIGNED8 buf[300];
    UNSIGNED16 len = sizeof buf;
    EXPECT_EQ(0u, AdsGetTableFilename(h, ADS_FULLPATHNAME, buf, &len));
    return std::string(reinterpret_cast<char*>(buf), len);
  }
};

TEST_F(SqlQueryTest, SelectWithWhereAndOrderByIsAStaticReadOnlyCursor) {
  MakePeople();
  ASSERT_ACE(
      Exec("SELECT Name, Nr, Geburt, Aktiv, Notiz FROM people WHERE Nr > 2 ORDER BY Nr DESC"));
  ASSERT_NE(0u, cursor_);
  EXPECT_EQ(3u, Rows());
  UNSIGNED16 type = 0;
  ASSERT_ACE(AdsGetHandleType(cursor_, &type));
  EXPECT_EQ(ADS_CURSOR, type);
  UNSIGNED8 live = 9;
  ASSERT_ACE(AdsSqlPeekStatement(cursor_, &live));
  EXPECT_EQ(0u, live);
  EXPECT_EQ((std::vector<std::string>{"Name", "Nr", "Geburt", "Aktiv", "Notiz"}),
            FieldNames(cursor_));
  // Column types come from the source columns.
  UNSIGNED32 length = 0;
  ASSERT_ACE(AdsGetFieldType(cursor_, U("Name"), &type));
  EXPECT_EQ(4u, type);
  ASSERT_ACE(AdsGetFieldLength(cursor_, U("Name"), &length));
  EXPECT_EQ(20u, length);
  ASSERT_ACE(AdsGetFieldType(cursor_, U("Nr"), &type));
  EXPECT_EQ(11u, type);
  ASSERT_ACE(AdsGetFieldType(cursor_, U("Geburt"), &type));
  EXPECT_EQ(3u, type);
  ASSERT_ACE(AdsGetFieldType(cursor_, U("Aktiv"), &type));
  EXPECT_EQ(1u, type);
  ASSERT_ACE(AdsGetFieldType(cursor_, U("Notiz"), &type));
  EXPECT_EQ(5u, type);
  EXPECT_EQ((std::vector<std::string>{"Emil", "Dora", "Carl"}), Column(cursor_, "Name"));
  ASSERT_ACE(AdsGotoTop(cursor_));
  SIGNED32 julian = 0;
  ASSERT_ACE(AdsGetJulian(cursor_, U("Geburt"), &julian));
  EXPECT_EQ(JulianOf("20100105"), julian);
  UNSIGNED16 flag = 0;
  ASSERT_ACE(AdsGetLogical(cursor_, U("Aktiv"), &flag));
  EXPECT_EQ(1u, flag);
  ASSERT_ACE(AdsSkip(cursor_, 1));
  EXPECT_EQ("Notiz Dora", Text(cursor_, "Notiz"));
  UNSIGNED16 null = 0;
  ASSERT_ACE(AdsSkip(cursor_, 1));
  ASSERT_ACE(AdsIsNull(cursor_, U("Notiz"), &null));
  EXPECT_EQ(1u, null);
  // Read-only: a change is refused and the source table is not touched.
  const std::string source = FileBytes(Path("people.adt"));
  EXPECT_NE(0u, AdsSetString(cursor_, U("Name"), U("Zoe"), 3));
  // A static view says so when it is changed or locked.
  EXPECT_EQ(AE_STATIC_CURSOR, AdsDeleteRecord(cursor_));
  EXPECT_EQ(AE_STATIC_CURSOR, AdsLockRecord(cursor_, 0));
  EXPECT_EQ(AE_STATIC_CURSOR, AdsLockTable(cursor_));
  EXPECT_EQ(AE_STATIC_CURSOR, AdsAppendRecord(cursor_));
  EXPECT_TRUE(source == FileBytes(Path("people.adt")));
  // Closing the cursor removes its temporary table.
  const std::string temp = TableName(cursor_);
  EXPECT_TRUE(std::filesystem::exists(temp));
  EXPECT_EQ(std::string::npos, temp.find(dir_));  // not in the database folder
  ASSERT_ACE(AdsCloseTable(cursor_));
  EXPECT_FALSE(std::filesystem::exists(temp));
}

TEST_F(SqlQueryTest, JoinsAndAggregates) {
  MakePeople();
  ASSERT_ACE(Exec("CREATE TABLE gruppen (Nr integer, Gruppe char(10))"));
  ADSHANDLE g = 0;
  ASSERT_ACE(Open("gruppen", ADS_ADT, &g));
  for (int i : {1, 2, 5}) {
    ASSERT_ACE(AdsAppendRecord(g));
    ASSERT_ACE(AdsSetLong(g, U("Nr"), i));
    std::string name = i == 5 ? "Igel" : "Biene";
    ASSERT_ACE(AdsSetString(g, U("Gruppe"), U(name), static_cast<UNSIGNED32>(name.size())));
    ASSERT_ACE(AdsWriteRecord(g));
  }
  ASSERT_ACE(AdsCloseTable(g));
  ASSERT_ACE(
      Exec("SELECT p.Name, g.Gruppe FROM people p JOIN gruppen g ON p.Nr = g.Nr "
           "ORDER BY p.Name"));
  EXPECT_EQ(3u, Rows());
  EXPECT_EQ((std::vector<std::string>{"Anna", "Bert", "Emil"}), Column(cursor_, "Name"));
  EXPECT_EQ((std::vector<std::string>{"Biene", "Biene", "Igel"}), Column(cursor_, "Gruppe"));
  ASSERT_ACE(AdsCloseTable(cursor_));

  ASSERT_ACE(Exec("SELECT count(*) AS n, sum(Nr) AS s, avg(Nr) AS a, max(Name) AS m FROM people"));
  UNSIGNED16 type = 0;
  ASSERT_ACE(AdsGetFieldType(cursor_, U("n"), &type));
  EXPECT_EQ(11u, type);  // an integer value
  ASSERT_ACE(AdsGetFieldType(cursor_, U("a"), &type));
  EXPECT_EQ(10u, type);  // a double value
  EXPECT_EQ("5", Text(cursor_, "n"));
  EXPECT_EQ("15", Text(cursor_, "s"));
  DOUBLE avg = 0;
  ASSERT_ACE(AdsGetDouble(cursor_, U("a"), &avg));
  EXPECT_DOUBLE_EQ(3.0, avg);
  EXPECT_EQ("Emil", Text(cursor_, "m"));
  ASSERT_ACE(AdsCloseTable(cursor_));

  ASSERT_ACE(Exec("SELECT Aktiv, count(*) FROM people GROUP BY Aktiv ORDER BY Aktiv"));
  EXPECT_EQ(2u, Rows());
  EXPECT_EQ((std::vector<std::string>{"Aktiv", "count(*)"}), FieldNames(cursor_));
  EXPECT_EQ((std::vector<std::string>{"2", "3"}),
            Column(cursor_, reinterpret_cast<const char*>(2)));
}

TEST_F(SqlQueryTest, LiveCursorShowsAndEditsTheSelectedRecords) {
  MakePeople();
  ASSERT_ACE(AdsStmtSetTableReadOnly(stmt_, ADS_CURSOR_READWRITE));
  ASSERT_ACE(Exec("SELECT * FROM people WHERE Nr >= 2 AND Nr <> 4"));
  ASSERT_NE(0u, cursor_);
  UNSIGNED8 live = 0;
  ASSERT_ACE(AdsSqlPeekStatement(cursor_, &live));
  EXPECT_EQ(1u, live);
  EXPECT_EQ(3u, Rows());
  UNSIGNED32 count = 0;
  ASSERT_ACE(AdsGetRecordCount(cursor_, ADS_RESPECTFILTERS, &count));
  EXPECT_EQ(3u, count);
  EXPECT_EQ((std::vector<std::string>{"Bert", "Carl", "Emil"}), Column(cursor_, "Name"));
  EXPECT_EQ(Path("people.adt"), TableName(cursor_));  // the real table
  // Editing through the cursor writes the table.
  ASSERT_ACE(AdsGotoTop(cursor_));
  ASSERT_ACE(AdsSkip(cursor_, 1));
  ASSERT_ACE(AdsSetString(cursor_, U("Name"), U("Carla"), 5));
  ASSERT_ACE(AdsWriteRecord(cursor_));
  ASSERT_ACE(AdsCloseTable(cursor_));
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("people", ADS_ADT, &t));
  ASSERT_ACE(AdsGotoRecord(t, 3));
  EXPECT_EQ("Carla", Text(t, "Name"));
  ASSERT_ACE(AdsCloseTable(t));

  // Ordering, grouping or expressions make the result static even when an editable one is asked
  // for; a read-only statement always gives a static one.
  for (const char* q : {"SELECT * FROM people ORDER BY Name", "SELECT Nr + 1 FROM people",
                        "SELECT DISTINCT Aktiv FROM people"}) {
    ASSERT_ACE(Exec(q));
    ASSERT_ACE(AdsSqlPeekStatement(cursor_, &live));
    EXPECT_EQ(0u, live) << q;
    ASSERT_ACE(AdsCloseTable(cursor_));
  }
  ASSERT_ACE(Exec("select*from people where Nr = 1 limit 1"));
  ASSERT_ACE(AdsSqlPeekStatement(cursor_, &live));
  EXPECT_EQ(1u, live);
  EXPECT_EQ((std::vector<std::string>{"Anna"}), Column(cursor_, "Name"));
  ASSERT_ACE(AdsCloseTable(cursor_));
  ASSERT_ACE(AdsStmtSetTableReadOnly(stmt_, ADS_CURSOR_READONLY));
  ASSERT_ACE(Exec("SELECT * FROM people WHERE Nr >= 2"));
  ASSERT_ACE(AdsSqlPeekStatement(cursor_, &live));
  EXPECT_EQ(0u, live);
}

TEST_F(SqlQueryTest, InsertUpdateDeleteAnswerRowsAffected) {
  MakePeople();
  ASSERT_ACE(
      Exec("INSERT INTO people (Name, Nr, Geburt, Aktiv, Notiz) "
           "VALUES ('Fritz', 6, '2020-02-29', TRUE, 'neu'), ('Gabi', 7, NULL, 0, NULL)"));
  EXPECT_EQ(0u, cursor_);
  EXPECT_EQ(2u, Rows());
  ASSERT_ACE(Exec("UPDATE people SET Nr = Nr + 100, Notiz = 'alt' WHERE Nr < 3"));
  EXPECT_EQ(2u, Rows());
  ASSERT_ACE(Exec("DELETE FROM people WHERE Name = 'Carl'"));
  EXPECT_EQ(1u, Rows());
  ASSERT_ACE(Exec("UPDATE people SET Nr = 0 WHERE Nr = 12345"));
  EXPECT_EQ(0u, Rows());

  ADSHANDLE t = 0;
  ASSERT_ACE(Open("people", ADS_ADT, &t));
  UNSIGNED32 count = 0;
  ASSERT_ACE(AdsGetRecordCount(t, ADS_RESPECTFILTERS, &count));
  EXPECT_EQ(6u, count);  // seven records, one deleted
  ASSERT_ACE(AdsGotoRecord(t, 6));
  EXPECT_EQ("Fritz", Text(t, "Name"));
  SIGNED32 julian = 0;
  ASSERT_ACE(AdsGetJulian(t, U("Geburt"), &julian));
  EXPECT_EQ(JulianOf("20200229"), julian);
  UNSIGNED16 flag = 0;
  ASSERT_ACE(AdsGetLogical(t, U("Aktiv"), &flag));
  EXPECT_EQ(1u, flag);
  EXPECT_EQ("neu", Text(t, "Notiz"));
  ASSERT_ACE(AdsGotoRecord(t, 7));
  UNSIGNED16 null = 0;
  ASSERT_ACE(AdsIsNull(t, U("Geburt"), &null));
  EXPECT_EQ(1u, null);
  ASSERT_ACE(AdsGotoRecord(t, 1));
  EXPECT_EQ("101", Text(t, "Nr"));
  EXPECT_EQ("alt", Text(t, "Notiz"));
  ASSERT_ACE(AdsGotoRecord(t, 2));
  EXPECT_EQ("alt", Text(t, "Notiz"));  // the old memo text was replaced
  ASSERT_ACE(AdsGotoRecord(t, 3));
  UNSIGNED16 deleted = 0;
  ASSERT_ACE(AdsIsRecordDeleted(t, &deleted));
  EXPECT_EQ(1u, deleted);
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_F(SqlQueryTest, FailingStatementsChangeNothing) {
  MakePeople();
  const std::string before = FileBytes(Path("people.adt"));
  const std::string memo = FileBytes(Path("people.adm"));
  // Two records would overflow Name (20 characters), the others would not.
  EXPECT_EQ(
      7200u,
      Exec("UPDATE people SET Name = Name || '-' || substr('xxxxxxxxxxxxxxxxxxxx', 1, Nr * 4), "
           "Notiz = 'changed'"));
  EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2131;")) << ErrorText();
  EXPECT_NE(std::string::npos, ErrorText().find("column \"Name\"")) << ErrorText();
  UNSIGNED32 rows = 0;
  EXPECT_EQ(5117u, RowCount(stmt_, &rows));
  EXPECT_TRUE(before == FileBytes(Path("people.adt")));
  EXPECT_TRUE(memo == FileBytes(Path("people.adm")));
  // A multi-row INSERT whose second row has a bad date appends nothing.
  EXPECT_EQ(7200u, Exec("INSERT INTO people (Name, Geburt) VALUES ('Ok', '2020-01-01'), "
                        "('Bad', '2020-13-45')"));
  EXPECT_TRUE(before == FileBytes(Path("people.adt")));
  // A record that another user holds locked refuses the whole UPDATE before anything is written.
  ADSHANDLE other = 0, t = 0;
  ASSERT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &other));
  ASSERT_ACE(Open("people", ADS_ADT, &t, 0, other));
  ASSERT_ACE(AdsLockRecord(t, 4));
  EXPECT_EQ(7200u, Exec("UPDATE people SET Nr = Nr * 10"));
  EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2113;")) << ErrorText();
  EXPECT_TRUE(before == FileBytes(Path("people.adt")));
  ASSERT_ACE(AdsUnlockRecord(t, 4));
  ASSERT_ACE(AdsDisconnect(other));
  ASSERT_ACE(Exec("UPDATE people SET Nr = Nr * 10"));
  EXPECT_EQ(5u, Rows());
}

// The visible records of people as "Name/Nr/Notiz" texts.
std::vector<std::string> Snapshot(SqlQueryTest& test, ADSHANDLE conn) {
  std::vector<std::string> rows;
  ADSHANDLE t = 0;
  EXPECT_EQ(0u, AdsOpenTable90(conn, U("people"), nullptr, ADS_ADT, ADS_ANSI,
                               ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0, nullptr, &t));
  EXPECT_EQ(0u, AdsGotoTop(t));
  UNSIGNED16 eof = 0;
  while (AdsAtEOF(t, &eof) == 0 && !eof) {
    UNSIGNED8 buf[100];
    std::string row;
    for (const char* f : {"Name", "Nr", "Notiz"}) {
      UNSIGNED32 len = sizeof buf;
      UNSIGNED32 rc = AdsGetField(t, U(f), buf, &len, ADS_TRIM);
      row += (rc == 0 ? std::string(reinterpret_cast<char*>(buf), len) : "?") + "/";
    }
    rows.push_back(row);
    EXPECT_EQ(0u, AdsSkip(t, 1));
  }
  EXPECT_EQ(0u, AdsCloseTable(t));
  (void)test;
  return rows;
}

// Every write of the statement fails once: the statement answers 7200 and the table is as
// before, unless the write came after the statement took effect (taking back the memo runs
// its updates replaced), which is absorbed: the table then holds the statement's result.
TEST_F(SqlQueryTest, AWriteThatFailsPartWayIsTakenBack) {
  using ace::FaultInjector;
  using ace::IoKind;
  MakePeople();
  const std::vector<std::string> before = Snapshot(*this, conn_);
  for (const char* ext : {".adt", ".adm"})
    std::filesystem::copy_file(Path(std::string("people") + ext), Path(std::string("saved") + ext));
  auto restore = [&] {
    for (const char* ext : {".adt", ".adm"})
      std::filesystem::copy_file(Path(std::string("saved") + ext),
                                 Path(std::string("people") + ext),
                                 std::filesystem::copy_options::overwrite_existing);
  };
  const std::string update = "UPDATE people SET Nr = Nr + 10, Notiz = 'neu'";
  const std::string insert =
      "INSERT INTO people (Name, Nr, Notiz) VALUES ('X', 8, 'x'), ('Y', 9, 'y')";
  for (const std::string& q : {update, insert}) {
    // How many writes the statement makes, and what it leaves.
    FaultInjector::Reset();
    ASSERT_ACE(Exec(q));
    const uint64_t writes = FaultInjector::Count(IoKind::kWrite);
    ASSERT_GT(writes, 2u);
    const std::vector<std::string> after = Snapshot(*this, conn_);
    restore();
    uint64_t refused = 0;
    for (uint64_t k = 1; k <= writes; ++k) {
      FaultInjector::Reset();
      FaultInjector::FailAt(IoKind::kWrite, k, 5013);
      UNSIGNED32 rc = Exec(q);
      FaultInjector::Reset();
      if (rc == 0) {
        EXPECT_EQ(after, Snapshot(*this, conn_)) << q << ", write " << k;
        restore();
        continue;
      }
      ++refused;
      EXPECT_EQ(7200u, rc) << q << ", write " << k;
      EXPECT_EQ(before, Snapshot(*this, conn_)) << q << ", write " << k;
    }
    EXPECT_GT(refused, writes / 2) << q;
  }
  FaultInjector::Reset();
}

TEST_F(SqlQueryTest, AutoincrementValueOfTheLastInsert) {
  ASSERT_ACE(Exec("CREATE TABLE auto (Id autoinc, Name char(10))"));
  ASSERT_ACE(Exec("INSERT INTO auto (Name) VALUES ('a')"));
  ASSERT_ACE(Exec("INSERT INTO auto (Name) VALUES ('b')"));
  UNSIGNED32 value = 0;
  ASSERT_ACE(AdsGetLastAutoinc(stmt_, &value));
  EXPECT_EQ(2u, value);
  ASSERT_ACE(Exec("SELECT Id FROM auto WHERE Name = 'b'"));
  EXPECT_EQ("2", Text(cursor_, "Id"));
  UNSIGNED16 type = 0;
  ASSERT_ACE(AdsGetFieldType(cursor_, U("Id"), &type));
  EXPECT_EQ(11u, type);  // the copy holds the value, it does not count on its own
}

TEST_F(SqlQueryTest, NamesMatchWithoutRegardToCase) {
  MakePeople();
  ASSERT_ACE(Exec("select NAME from PEOPLE where nr = 3"));
  EXPECT_EQ((std::vector<std::string>{"Carl"}), Column(cursor_, "NAME"));
  ASSERT_ACE(AdsCloseTable(cursor_));
  EXPECT_EQ(7200u, Exec("SELECT * FROM nobody"));
  EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2110;")) << ErrorText();
  EXPECT_NE(std::string::npos, ErrorText().find("nobody")) << ErrorText();
  EXPECT_EQ(7200u, Exec("SELECT Gewicht FROM people"));
  EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2180;")) << ErrorText();
  EXPECT_NE(std::string::npos, ErrorText().find("Gewicht")) << ErrorText();
}

TEST_F(SqlQueryTest, StatementsThatReachPastTheTablesAreRefused) {
  MakePeople();
  const std::string outside = dir_ + "/outside.db";
  for (const std::string& q :
       {"ATTACH DATABASE '" + outside + "' AS x", std::string("PRAGMA table_info(people)"),
        std::string("BEGIN TRANSACTION"), "VACUUM INTO '" + outside + "'",
        std::string("SELECT * FROM people; COMMIT")}) {
    EXPECT_EQ(7200u, Exec(q)) << q;
    EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2151;"))
        << q << ": " << ErrorText();
  }
  EXPECT_FALSE(std::filesystem::exists(outside));
  // The connection's tables are the main schema.
  ASSERT_ACE(Exec("SELECT Name FROM main.people WHERE Nr = 2"));
  EXPECT_EQ((std::vector<std::string>{"Bert"}), Column(cursor_, "Name"));
}

TEST_F(SqlQueryTest, ScriptsMixDdlAndQueries) {
  ASSERT_ACE(
      Exec("CREATE TABLE m (a integer, b char(5));\r\n"
           "INSERT INTO m VALUES (1, 'x'), (2, 'y');\r\n"
           "INSERT INTO m VALUES (3, 'z');\r\n"
           "ALTER TABLE m ADD COLUMN c date;\r\n"
           "SELECT a, b, c FROM m WHERE a > 1;\r\n"));
  EXPECT_EQ(5u, Rows());  // 2 + 1 inserted, 2 selected
  ASSERT_NE(0u, cursor_);
  EXPECT_EQ((std::vector<std::string>{"y", "z"}), Column(cursor_, "b"));
  UNSIGNED16 type = 0;
  ASSERT_ACE(AdsGetFieldType(cursor_, U("c"), &type));
  EXPECT_EQ(3u, type);
  ASSERT_ACE(AdsCloseTable(cursor_));
  // Two rewrites of one table in one run, with a change of its records between them.
  ASSERT_ACE(
      Exec("ALTER TABLE m ADD COLUMN d integer; UPDATE m SET d = a * 2;"
           "ALTER TABLE m ADD COLUMN e char(2); SELECT d FROM m ORDER BY a"));
  EXPECT_EQ((std::vector<std::string>{"2", "4", "6"}), Column(cursor_, "d"));
}

TEST_F(SqlQueryTest, DbfTablesThroughSql) {
  ASSERT_ACE(AdsStmtSetTableType(stmt_, ADS_CDX));
  ASSERT_ACE(Exec("CREATE TABLE d (Name char(8), Betrag numeric(8,2), Tag date)"));
  ASSERT_ACE(Exec("INSERT INTO d VALUES ('eins', 12.5, '2021-03-04'), ('zwei', -3.25, NULL)"));
  EXPECT_EQ(2u, Rows());
  ASSERT_ACE(Exec("SELECT Name, Betrag, Tag FROM d WHERE Betrag < 0"));
  EXPECT_EQ((std::vector<std::string>{"zwei"}), Column(cursor_, "Name"));
  DOUBLE amount = 0;
  ASSERT_ACE(AdsGotoTop(cursor_));
  ASSERT_ACE(AdsGetDouble(cursor_, U("Betrag"), &amount));
  EXPECT_DOUBLE_EQ(-3.25, amount);
  ASSERT_ACE(AdsCloseTable(cursor_));
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("d.dbf", ADS_CDX, &t));
  SIGNED32 julian = 0;
  ASSERT_ACE(AdsGetJulian(t, U("Tag"), &julian));
  EXPECT_EQ(JulianOf("20210304"), julian);
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_F(SqlQueryTest, VfpNullsAndMemosThroughSql) {
  ASSERT_ACE(AdsStmtSetTableType(stmt_, ADS_VFP));
  ASSERT_ACE(Exec("CREATE TABLE v (Nr integer, Name char(8), Notiz memo, Tag date)"));
  ASSERT_ACE(
      Exec("INSERT INTO v VALUES (1, 'eins', 'erste Notiz', '2022-05-06'), "
           "(NULL, NULL, NULL, NULL)"));
  ASSERT_ACE(Exec("UPDATE v SET Notiz = 'zweite' WHERE Nr IS NULL"));
  EXPECT_EQ(1u, Rows());
  ASSERT_ACE(Exec("SELECT count(*) AS n FROM v WHERE Name IS NULL AND Tag IS NULL"));
  EXPECT_EQ("1", Text(cursor_, "n"));
  ASSERT_ACE(AdsCloseTable(cursor_));
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("v.dbf", ADS_VFP, &t));
  EXPECT_EQ("erste Notiz", Text(t, "Notiz"));
  ASSERT_ACE(AdsGotoRecord(t, 2));
  UNSIGNED16 null = 0;
  ASSERT_ACE(AdsIsNull(t, U("Nr"), &null));
  EXPECT_EQ(1u, null);
  EXPECT_EQ("zweite", Text(t, "Notiz"));
  ASSERT_ACE(AdsCloseTable(t));
  // NTX tables keep their memos in a .dbt file.
  ASSERT_ACE(AdsStmtSetTableType(stmt_, ADS_NTX));
  ASSERT_ACE(Exec("CREATE TABLE n (Nr integer, Notiz memo); INSERT INTO n VALUES (7, 'dbt text')"));
  ASSERT_ACE(Exec("SELECT Notiz FROM n WHERE Nr = 7"));
  EXPECT_EQ("dbt text", Text(cursor_, "Notiz"));
}

TEST_F(SqlQueryTest, VerifyChecksWithoutRunning) {
  MakePeople();
  ASSERT_ACE(AdsVerifySQL(stmt_, U("INSERT INTO people (Name) VALUES ('x'); DROP TABLE people")));
  EXPECT_TRUE(std::filesystem::exists(Path("people.adt")));
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("people", ADS_ADT, &t));
  UNSIGNED32 count = 0;
  ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(5u, count);
  ASSERT_ACE(AdsCloseTable(t));
  EXPECT_EQ(7200u, AdsVerifySQL(stmt_, U("SELECT Gewicht FROM people")));
  EXPECT_EQ(7200u, AdsVerifySQL(stmt_, U("ALTER TABLE people ADD COLUMN")));
  EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2102;")) << ErrorText();
  std::u16string w = Wide("SELECT * FROM people WHERE Nr = ?");
  ASSERT_ACE(AdsVerifySQLW(stmt_, w.c_str()));
  // The prepared text is not touched by a verification.
  ASSERT_ACE(AdsPrepareSQL(stmt_, U("SELECT Name FROM people WHERE Nr = 1")));
  ASSERT_ACE(AdsVerifySQL(stmt_, U("SELECT Nr FROM people")));
  ASSERT_ACE(AdsExecuteSQL(stmt_, &cursor_));
  EXPECT_EQ((std::vector<std::string>{"Anna"}), Column(cursor_, "Name"));
}

TEST_F(SqlQueryTest, TimeoutStopsALongRun) {
  ASSERT_ACE(AdsSetSQLTimeout(stmt_, 1));
  EXPECT_EQ(7200u, Exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                        "SELECT count(*) FROM n"));
  EXPECT_NE(std::string::npos, ErrorText().find("NativeError = 2190;")) << ErrorText();
  EXPECT_NE(std::string::npos, ErrorText().find("timeout of 1 seconds")) << ErrorText();
  // The statement stays usable.
  ASSERT_ACE(AdsSetSQLTimeout(stmt_, 0));
  ASSERT_ACE(Exec("SELECT 1 AS one"));
  EXPECT_EQ("1", Text(cursor_, "one"));
}

TEST_F(SqlQueryTest, StaticCursorsCloseWithTheirStatementAndConnection) {
  MakePeople();
  ADSHANDLE s = 0;
  ASSERT_ACE(AdsCreateSQLStatement(conn_, &s));
  ASSERT_ACE(Exec("SELECT Name FROM people", s));
  const ADSHANDLE first = cursor_;
  const std::string temp = TableName(first);
  ASSERT_ACE(AdsCloseSQLStatement(s));
  UNSIGNED16 type = 0;
  EXPECT_NE(0u, AdsGetHandleType(first, &type));
  EXPECT_FALSE(std::filesystem::exists(temp));

  ADSHANDLE other = 0;
  ASSERT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &other));
  ASSERT_ACE(AdsCreateSQLStatement(other, &s));
  ASSERT_ACE(Exec("SELECT Name FROM people", s));
  const std::string temp2 = TableName(cursor_);
  const ADSHANDLE second = cursor_;
  ASSERT_ACE(AdsStmtSetTableReadOnly(s, ADS_CURSOR_READWRITE));
  ASSERT_ACE(Exec("SELECT * FROM people", s));
  const ADSHANDLE live = cursor_;
  ASSERT_ACE(AdsDisconnect(other));
  EXPECT_NE(0u, AdsGetHandleType(second, &type));
  EXPECT_NE(0u, AdsGetHandleType(live, &type));
  EXPECT_NE(0u, AdsGetHandleType(s, &type));
  EXPECT_FALSE(std::filesystem::exists(temp2));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(temp2).parent_path()));
}

}  // namespace
}  // namespace ace_sql_test
