// The DDL parser: accepted forms, the syntax tree, type resolution per table type and the
// exact errors with their positions.
#include <gtest/gtest.h>

#include "engine/base/error_codes.h"
#include "engine/sql/ddl.h"
#include "engine/sql/ddl_types.h"
#include "engine/sql/sql_error.h"

namespace ace::sql {
namespace {

using storage::TableType;

Statement St(std::string text) {
  Statement s;
  s.text = std::move(text);
  return s;
}

DdlStatement Parse(const std::string& text) {
  auto r = ParseDdl(St(text));
  EXPECT_TRUE(r.ok()) << text << ": " << r.status().message();
  return r.ok() ? r.value() : DdlStatement{};
}

Status ParseError(const std::string& text, size_t index = 1, size_t count = 1) {
  auto r = ParseDdl(St(text), index, count);
  EXPECT_FALSE(r.ok()) << text;
  return r.ok() ? Status::Ok() : r.status();
}

TEST(SqlDdlParse, AlterTableAddWithAndWithoutColumnKeyword) {
  auto a = std::get<AlterTableStmt>(Parse("alter TABLE Kinder add Column Alter_Stichtag INTEGER"));
  EXPECT_EQ(a.table, "Kinder");
  ASSERT_EQ(a.changes.size(), 1u);
  EXPECT_EQ(a.changes[0].kind, ChangeKind::kAdd);
  EXPECT_EQ(a.changes[0].column, "Alter_Stichtag");
  EXPECT_EQ(a.changes[0].type.name, "integer");
  EXPECT_EQ(a.changes[0].position, 0u);

  auto b = std::get<AlterTableStmt>(
      Parse("ALTER TABLE [My Table] ADD \"Sp alte\" char( 5 ) POSITION 2"));
  EXPECT_EQ(b.table, "My Table");
  EXPECT_EQ(b.changes[0].column, "Sp alte");
  EXPECT_EQ(b.changes[0].type.length, 5u);
  EXPECT_EQ(b.changes[0].position, 2u);
}

TEST(SqlDdlParse, SeveralChangesInOneAlter) {
  auto a = std::get<AlterTableStmt>(
      Parse("ALTER TABLE t ADD COLUMN a numeric(10, 2) NOT NULL DEFAULT -1.5, DROP COLUMN b, "
            "ALTER COLUMN c d char(3), ALTER e integer POSITION 1, DROP f"));
  ASSERT_EQ(a.changes.size(), 5u);
  EXPECT_EQ(a.changes[0].type.length, 10u);
  EXPECT_EQ(a.changes[0].type.scale, 2u);
  EXPECT_TRUE(a.changes[0].not_null);
  EXPECT_EQ(a.changes[0].default_value, "-1.5");
  EXPECT_EQ(a.changes[1].kind, ChangeKind::kDrop);
  EXPECT_EQ(a.changes[1].column, "b");
  EXPECT_EQ(a.changes[2].kind, ChangeKind::kAlter);
  EXPECT_EQ(a.changes[2].column, "c");
  EXPECT_EQ(a.changes[2].new_name, "d");
  EXPECT_EQ(a.changes[2].type.name, "char");
  EXPECT_EQ(a.changes[3].new_name, "");
  EXPECT_EQ(a.changes[3].type.name, "integer");
  EXPECT_EQ(a.changes[3].position, 1u);
  EXPECT_EQ(a.changes[4].column, "f");
}

TEST(SqlDdlParse, CreateTableWithOptionsAndConstraints) {
  auto c = std::get<CreateTableStmt>(
      Parse("CREATE TABLE Kinder (Name char(30) NOT NULL, Born date NULL DEFAULT '2000-01-01', "
            "Id autoinc CONSTRAINT pk PRIMARY KEY, Code cichar(4) CONSTRAINT UNIQUE, "
            "Note memo CONSTRAINT NOT NULL)"));
  EXPECT_EQ(c.table, "Kinder");
  ASSERT_EQ(c.columns.size(), 5u);
  EXPECT_TRUE(c.columns[0].not_null);
  EXPECT_FALSE(c.columns[1].not_null);
  EXPECT_EQ(c.columns[1].default_value, "'2000-01-01'");
  EXPECT_TRUE(c.columns[2].primary_key);
  EXPECT_TRUE(c.columns[3].unique);
  EXPECT_TRUE(c.columns[4].not_null);
}

TEST(SqlDdlParse, DropTableAndIndexStatements) {
  EXPECT_EQ(std::get<DropTableStmt>(Parse("drop table \"Old\"\"Name\"")).table, "Old\"Name");
  auto ci = std::get<CreateIndexStmt>(Parse("CREATE UNIQUE INDEX ByName ON Kinder (Name, Born)"));
  EXPECT_TRUE(ci.unique);
  EXPECT_EQ(ci.name, "ByName");
  EXPECT_EQ(ci.table, "Kinder");
  EXPECT_EQ(ci.columns, (std::vector<std::string>{"Name", "Born"}));
  auto di = std::get<DropIndexStmt>(Parse("DROP INDEX Kinder.ByName"));
  EXPECT_EQ(di.table, "Kinder");
  EXPECT_EQ(di.name, "ByName");
}

TEST(SqlDdlParse, IsDdlLooksAtTheFirstKeyword) {
  EXPECT_TRUE(IsDdl("  -- note\r\n alter table x drop y"));
  EXPECT_TRUE(IsDdl("Create Table t (a int)"));
  EXPECT_FALSE(IsDdl("SELECT * FROM t"));
  EXPECT_FALSE(IsDdl("EXECUTE PROCEDURE sp_x()"));
  // A parameter number too long for any integer (an input found by fuzzing) is no DDL either.
  EXPECT_FALSE(IsDdl("SELRE s); DROP I^D1i. ?" + std::string(45, '1') + "lit"));
  EXPECT_FALSE(IsDdl("DROP USER ?" + std::string(45, '9')));  // still a dictionary statement
}

TEST(SqlDdlParse, SyntaxErrorsNameExpectedFoundAndPlace) {
  Status s = ParseError("ALTER TABLE Kinder ADD COLUMN Alter_Stichtag", 2, 4);
  EXPECT_EQ(s.code(), kErrSql);
  EXPECT_EQ(s.message(),
            "SQL error: State = 42000; NativeError = 2102; The statement ends where a type name "
            "was expected. -- statement 2 of 4 at line 1, column 45: ALTER TABLE Kinder ADD "
            "COLUMN Alter_Stichtag");

  Status t = ParseError("ALTER TABLE Kinder INSERT x int");
  EXPECT_EQ(NativeOf(t), 2101u);
  EXPECT_NE(t.message().find("Expected ADD, DROP or ALTER, found INSERT. -- statement 1 of 1 "
                             "at line 1, column 20"),
            std::string::npos)
      << t.message();

  Status u = ParseError("CREATE TABLE t (a char(5) b int)");
  EXPECT_NE(u.message().find("Expected \",\" or \")\", found b."), std::string::npos)
      << u.message();
  Status v = ParseError("ALTER TABLE t ADD a char(5, 2, 1)");
  EXPECT_NE(v.message().find("Expected \")\", found ,"), std::string::npos) << v.message();
  Status w = ParseError("DROP INDEX onlyname");
  EXPECT_NE(w.message().find("DROP INDEX table.index"), std::string::npos);
  Status x = ParseError("ALTER TABLE t ADD a int POSITION 0");
  EXPECT_EQ(NativeOf(x), static_cast<uint32_t>(NativeError::kBadPosition));
  Status y = ParseError("DROP TABLE a b");
  EXPECT_NE(y.message().find("Expected the end of the statement, found b."), std::string::npos);
}

TEST(SqlDdlParse, ErrorPositionOnLaterLine) {
  Statement st;
  st.text = "ALTER TABLE t\r\n  ADD x char(4),\r\n  FROB y";
  st.at = TextPosition{100, 7, 3};
  auto r = ParseDdl(st, 3, 5);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.status().message().find("-- statement 3 of 5 at line 9, column 3: ALTER TABLE t "
                                      "ADD x char(4), FROB y"),
            std::string::npos)
      << r.status().message();
}

TEST(SqlDdlParse, LongStatementsAreCutInMessages) {
  std::string text = "ALTER TABLE t ADD " + std::string(300, 'x') + " ?";
  Status s = ParseError(text);
  std::string quoted = s.message().substr(s.message().find(": ALTER") + 2);
  EXPECT_EQ(quoted.size(), kMaxQuotedStatement);
  EXPECT_EQ(quoted.substr(quoted.size() - 3), "...");
}

TEST(SqlDdlTypes, UpgradeTypesOnEveryTableType) {
  for (TableType t : {TableType::kAdt, TableType::kCdx, TableType::kNtx, TableType::kVfp}) {
    auto date = ResolveType(TypeName{"date", {}, {}, 0}, t);
    ASSERT_TRUE(date.ok());
    EXPECT_EQ(date->type, storage::kFtDate);
    auto chr = ResolveType(TypeName{"char", 5u, {}, 0}, t);
    ASSERT_TRUE(chr.ok());
    EXPECT_EQ(chr->type, storage::kFtString);
    EXPECT_EQ(chr->length, 5u);
  }
  auto adt_int = ResolveType(TypeName{"integer", {}, {}, 0}, TableType::kAdt);
  EXPECT_EQ(adt_int->type, storage::kFtInteger);
  auto cdx_int = ResolveType(TypeName{"int", {}, {}, 0}, TableType::kCdx);
  EXPECT_EQ(cdx_int->type, storage::kFtNumeric);
  EXPECT_EQ(cdx_int->length, 11u);
  auto num = ResolveType(TypeName{"decimal", 10u, 2u, 0}, TableType::kAdt);
  EXPECT_EQ(num->type, storage::kFtNumeric);
  EXPECT_EQ(num->length, 12u);
  EXPECT_EQ(num->decimals, 2u);
  auto nchar = ResolveType(TypeName{"nchar", 8u, {}, 0}, TableType::kAdt);
  EXPECT_EQ(nchar->type, storage::kFtNChar);
  EXPECT_EQ(nchar->length, 8u);
  EXPECT_EQ(ResolveType(TypeName{"binary", {}, {}, 0}, TableType::kAdt)->type, storage::kFtBinary);
  EXPECT_EQ(ResolveType(TypeName{"binary", 16u, {}, 0}, TableType::kAdt)->type, storage::kFtRaw);
  EXPECT_EQ(ResolveType(TypeName{"boolean", {}, {}, 0}, TableType::kNtx)->type,
            storage::kFtLogical);
}

TEST(SqlDdlTypes, RefusalsNameTheTypeAndTheTableType) {
  auto money = ResolveType(TypeName{"money", {}, {}, 0}, TableType::kNtx);
  ASSERT_FALSE(money.ok());
  EXPECT_EQ(NativeOf(money.status()), static_cast<uint32_t>(NativeError::kTypeNotHeld));
  EXPECT_NE(money.status().message().find("The type money is not available on NTX tables."),
            std::string::npos);
  EXPECT_FALSE(ResolveType(TypeName{"blob", {}, {}, 0}, TableType::kNtx).ok());
  EXPECT_TRUE(ResolveType(TypeName{"blob", {}, {}, 0}, TableType::kCdx).ok());
  auto unknown = ResolveType(TypeName{"varchar2", 5u, {}, 0}, TableType::kAdt);
  EXPECT_EQ(NativeOf(unknown.status()), static_cast<uint32_t>(NativeError::kBadType));
  auto nolen = ResolveType(TypeName{"char", {}, {}, 0}, TableType::kAdt);
  EXPECT_NE(nolen.status().message().find("needs a length"), std::string::npos);
  EXPECT_FALSE(ResolveType(TypeName{"integer", 4u, {}, 0}, TableType::kAdt).ok());
  EXPECT_FALSE(ResolveType(TypeName{"char", 255u, {}, 0}, TableType::kCdx).ok());
  EXPECT_TRUE(ResolveType(TypeName{"char", 255u, {}, 0}, TableType::kAdt).ok());
  EXPECT_FALSE(ResolveType(TypeName{"numeric", 2u, 3u, 0}, TableType::kAdt).ok());
  EXPECT_FALSE(ResolveType(TypeName{"numeric", 19u, 2u, 0}, TableType::kCdx).ok());
  EXPECT_FALSE(ResolveType(TypeName{"char", 0u, {}, 0}, TableType::kAdt).ok());
}

TEST(SqlDdlTypes, ColumnNamesPerTableType) {
  EXPECT_TRUE(CheckColumnName("Kosten_von", TableType::kCdx).ok());
  Status s = CheckColumnName("Alter_Stichtag", TableType::kCdx);
  EXPECT_EQ(NativeOf(s), static_cast<uint32_t>(NativeError::kBadColumnName));
  EXPECT_NE(s.message().find("column \"Alter_Stichtag\" is 14 characters long; CDX tables hold "
                             "column names of at most 10 characters."),
            std::string::npos)
      << s.message();
  EXPECT_TRUE(CheckColumnName("Alter_Stichtag", TableType::kAdt).ok());
  EXPECT_FALSE(CheckColumnName(std::string(129, 'a'), TableType::kAdt).ok());
  EXPECT_FALSE(CheckColumnName("_nullflags", TableType::kVfp).ok());
}

TEST(SqlErrors, NativeTableHasUniqueNumbersAndStates) {
  const auto& all = AllNativeErrors();
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].state.size(), 5u);
    EXPECT_FALSE(all[i].meaning.empty());
    if (i > 0) {
      EXPECT_LT(all[i - 1].code, all[i].code);
    }
    EXPECT_EQ(FindNativeError(static_cast<uint32_t>(all[i].code)), &all[i]);
  }
  EXPECT_EQ(FindNativeError(1), nullptr);
  Status s = SqlError(NativeError::kColumnExists, "cause.");
  EXPECT_EQ(s.message(), "SQL error: State = 42S21; NativeError = 2121; cause.");
  EXPECT_TRUE(IsSqlError(s));
  EXPECT_FALSE(IsSqlError(Status(kErrIo, "SQL error: State")));
  Status io =
      Locate(Status(kErrIo, "Kinder.adt: disk gone"), StatementPlace{2, 3, 4, 0, "DROP TABLE x"});
  EXPECT_EQ(io.message(),
            "SQL error: State = HY000; NativeError = 2160; Kinder.adt: disk gone. "
            "-- statement 2 of 3 at line 4: DROP TABLE x");
}

}  // namespace
}  // namespace ace::sql
