// Statement splitting: separators inside quotes and comments, CR LF, empty statements,
// positions and parameter markers.
#include <gtest/gtest.h>

#include "engine/base/error_codes.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/statement_split.h"

namespace ace::sql {
namespace {

std::vector<Statement> Split(std::string_view text) {
  auto r = SplitStatements(text);
  EXPECT_TRUE(r.ok()) << r.status().message();
  return r.ok() ? r.value() : std::vector<Statement>{};
}

TEST(SqlSplit, UpgradeScriptGivesFourStatementsWithTheirLines) {
  const std::string text =
      "ALTER TABLE Kinder ADD COLUMN Alter_Stichtag integer;\r\n"
      "ALTER TABLE Kinder ADD COLUMN Kosten_von date;\r\n"
      "ALTER TABLE Kinder ADD COLUMN Kosten_bis date;\r\n"
      "ALTER TABLE Kinder ADD COLUMN Migrationshintergrund char(5);\r\n";
  auto sts = Split(text);
  ASSERT_EQ(sts.size(), 4u);
  EXPECT_EQ(sts[0].text, "ALTER TABLE Kinder ADD COLUMN Alter_Stichtag integer");
  EXPECT_EQ(sts[3].text, "ALTER TABLE Kinder ADD COLUMN Migrationshintergrund char(5)");
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(sts[i].at.line, i + 1);
    EXPECT_EQ(sts[i].at.column, 1u);
    EXPECT_EQ(text.compare(sts[i].at.offset, sts[i].text.size(), sts[i].text), 0);
  }
}

TEST(SqlSplit, SeparatorsInsideQuotesBracketsAndCommentsDoNotSplit) {
  auto sts = Split(
      "SELECT 'a;b', \"c;d\", [e;f] FROM t -- x; y\n"
      "WHERE /* ; */ 1 = 1; SELECT 2");
  ASSERT_EQ(sts.size(), 2u);
  EXPECT_EQ(sts[0].text, "SELECT 'a;b', \"c;d\", [e;f] FROM t -- x; y\nWHERE /* ; */ 1 = 1");
  EXPECT_EQ(sts[1].text, "SELECT 2");
  EXPECT_EQ(sts[1].at.line, 2u);
  EXPECT_EQ(sts[1].at.column, 22u);
}

TEST(SqlSplit, DoubledQuotesStayInsideTheText) {
  auto sts = Split("SELECT 'it''s; here' FROM t;");
  ASSERT_EQ(sts.size(), 1u);
  EXPECT_EQ(sts[0].text, "SELECT 'it''s; here' FROM t");
}

TEST(SqlSplit, EmptyStatementsAndCommentOnlyPartsAreDropped) {
  EXPECT_TRUE(Split("").empty());
  EXPECT_TRUE(Split(" ;;\r\n ; -- nothing\r\n/* none */;").empty());
  auto sts = Split(";;DROP TABLE a;;\r\n\r\n;DROP TABLE b;\r\n");
  ASSERT_EQ(sts.size(), 2u);
  EXPECT_EQ(sts[0].text, "DROP TABLE a");
  EXPECT_EQ(sts[1].text, "DROP TABLE b");
  EXPECT_EQ(sts[1].at.line, 3u);
  EXPECT_EQ(sts[1].at.column, 2u);
}

TEST(SqlSplit, LastStatementNeedsNoSeparatorAndTrailingCommentIsCut) {
  auto sts = Split("DROP TABLE a -- done");
  ASSERT_EQ(sts.size(), 1u);
  EXPECT_EQ(sts[0].text, "DROP TABLE a");
}

TEST(SqlSplit, ColumnsCountCharactersNotBytes) {
  // "ä" is two bytes in UTF-8.
  auto sts = Split("SELECT 'ä'; DROP TABLE x");
  ASSERT_EQ(sts.size(), 2u);
  EXPECT_EQ(sts[1].at.column, 13u);
  TextPosition p = PositionIn(sts[1], 5);  // "TABLE"
  EXPECT_EQ(p.line, 1u);
  EXPECT_EQ(p.column, 18u);
}

TEST(SqlSplit, LoneCarriageReturnAndLineFeedEndLines) {
  auto sts = Split("DROP TABLE a;\rDROP TABLE b;\nDROP TABLE c");
  ASSERT_EQ(sts.size(), 3u);
  EXPECT_EQ(sts[1].at.line, 2u);
  EXPECT_EQ(sts[2].at.line, 3u);
}

TEST(SqlSplit, ParametersInOrderOutsideQuotesAndComments) {
  auto sts = Split(
      "UPDATE t SET a = ?, b = :Name WHERE c = '?' AND d = ':no' -- :no ?\n"
      "AND e = :x_1 /* ? */ AND f = ?; SELECT :second");
  ASSERT_EQ(sts.size(), 2u);
  const auto& p = sts[0].parameters;
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(p[0].name, "");
  EXPECT_EQ(p[1].name, "Name");
  EXPECT_EQ(p[2].name, "x_1");
  EXPECT_EQ(p[3].name, "");
  EXPECT_EQ(p[2].at.line, 2u);
  EXPECT_EQ(p[2].at.column, 9u);
  ASSERT_EQ(sts[1].parameters.size(), 1u);
  EXPECT_EQ(sts[1].parameters[0].name, "second");
}

TEST(SqlSplit, ColonWithoutNameIsNoParameter) {
  auto sts = Split("SELECT a::int, b : c, '12:30' FROM t WHERE x = :1");
  ASSERT_EQ(sts.size(), 1u);
  EXPECT_TRUE(sts[0].parameters.empty());
}

TEST(SqlSplit, UnterminatedQuoteAndCommentAreSqlErrorsWithPosition) {
  auto r = SplitStatements("DROP TABLE a;\r\nSELECT 'open; DROP TABLE b");
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.status().code(), kErrSql);
  EXPECT_EQ(NativeOf(r.status()), static_cast<uint32_t>(NativeError::kUnterminated));
  EXPECT_NE(r.status().message().find("opened at line 2, column 8"), std::string::npos)
      << r.status().message();
  EXPECT_NE(r.status().message().find("-- statement 2 at line 2"), std::string::npos)
      << r.status().message();

  auto c = SplitStatements("SELECT 1 /* never closed");
  ASSERT_FALSE(c.ok());
  EXPECT_NE(c.status().message().find("comment opened at line 1, column 10"), std::string::npos);
  auto b = SplitStatements("SELECT [open");
  ASSERT_FALSE(b.ok());
  EXPECT_NE(b.status().message().find("bracket"), std::string::npos);
}

}  // namespace
}  // namespace ace::sql
