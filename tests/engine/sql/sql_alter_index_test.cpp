// ALTER TABLE on tables with index files: the rewrite rebuilds every tag (key expression,
// FOR condition, options, renamed columns followed into the expressions) on the new table, and
// a statement that would leave an index without its columns is refused naming the index, with
// the table and its indexes as they were.
#include <gtest/gtest.h>

#include <cstring>

#include <string>
#include <vector>

#include "engine/index/index_file.h"
#include "engine/storage/table_file.h"
#include "tests/engine/sql/sql_fixture.h"

namespace {

using ace_api_test::LastErrorText;
using ace_api_test::U;
using ace_sql_test::SqlTest;

class SqlAlterIndexTest : public SqlTest {
 protected:
  // An ADT table kinder with the structural tags BYNAME (UPPER(Name)) and BYORT (Ort;Nr, FOR
  // Nr > 1, descending), closed again.
  void MakeKinder() {
    ADSHANDLE t = Create("kinder", ADS_ADT, "Name,Char,12;Ort,Char,10;Nr,Integer,4");
    const char* names[] = {"emil", "Anna", "Carl", "bert", "Dora"};
    const char* orte[] = {"Bonn", "Aach", "Bonn", "Celle", "Aach"};
    for (int i = 0; i < 5; ++i) {
      ASSERT_ACE(AdsAppendRecord(t));
      ASSERT_ACE(AdsSetField(t, U("Name"), U(names[i]), static_cast<UNSIGNED32>(strlen(names[i]))));
      ASSERT_ACE(AdsSetField(t, U("Ort"), U(orte[i]), static_cast<UNSIGNED32>(strlen(orte[i]))));
      ASSERT_ACE(AdsSetLong(t, U("Nr"), i + 1));
      ASSERT_ACE(AdsWriteRecord(t));
    }
    ADSHANDLE ix = 0;
    ASSERT_ACE(AdsCreateIndex90(t, nullptr, U("BYNAME"), U("UPPER(Name)"), nullptr, nullptr,
                                ADS_COMPOUND, 0, nullptr, &ix));
    ASSERT_ACE(AdsCreateIndex90(t, nullptr, U("BYORT"), U("Ort;Nr"), U("Nr > 1"), nullptr,
                                ADS_COMPOUND | ADS_DESCENDING, 0, nullptr, &ix));
    ASSERT_ACE(AdsCloseTable(t));
  }
  std::vector<std::string> Walk(ADSHANDLE ix, ADSHANDLE t, const char* field) {
    std::vector<std::string> out;
    EXPECT_EQ(0u, AdsGotoTop(ix)) << LastErrorText();
    for (UNSIGNED16 eof = 0; AdsAtEOF(t, &eof) == 0 && !eof && out.size() < 100;) {
      out.push_back(Text(t, field));
      EXPECT_EQ(0u, AdsSkip(ix, 1)) << LastErrorText();
    }
    return out;
  }
  std::string IndexText(ADSHANDLE ix, bool condition) {
    UNSIGNED8 buf[200];
    UNSIGNED16 len = sizeof buf;
    EXPECT_EQ(0u, condition ? AdsGetIndexCondition(ix, buf, &len) : AdsGetIndexExpr(ix, buf, &len));
    return std::string(reinterpret_cast<char*>(buf), len);
  }
  void CheckTrees() {
    ace::storage::OpenOptions options;
    options.read_only = true;
    auto table =
        ace::storage::OpenTableFile(Path("kinder.adt"), ace::storage::TableType::kAdt, options);
    ASSERT_TRUE(table.ok()) << table.status().message();
    auto ix = ace::index::IndexFile::Open(Path("kinder.adi"), table->get(), true);
    ASSERT_TRUE(ix.ok()) << ix.status().message();
    ace::Status checked = (*ix)->CheckAll();
    EXPECT_TRUE(checked.ok()) << checked.message();
  }
};

TEST_F(SqlAlterIndexTest, ARewriteRebuildsEveryTagAndFollowsARenamedColumn) {
  MakeKinder();
  ASSERT_ACE(
      Exec("ALTER TABLE kinder ADD Neu char(5); ALTER TABLE kinder ALTER Ort Stadt char(12)"));
  CheckTrees();
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("kinder", ADS_ADT, &t));
  ADSHANDLE byname = 0, byort = 0;
  ASSERT_ACE(AdsGetIndexHandle(t, U("BYNAME"), &byname));
  ASSERT_ACE(AdsGetIndexHandle(t, U("BYORT"), &byort));
  EXPECT_EQ("UPPER(Name)", IndexText(byname, false));
  EXPECT_EQ("Stadt;Nr", IndexText(byort, false));
  EXPECT_EQ("Nr > 1", IndexText(byort, true));
  UNSIGNED16 descending = 0;
  ASSERT_ACE(AdsIsIndexDescending(byort, &descending));
  EXPECT_TRUE(descending);
  EXPECT_EQ((std::vector<std::string>{"Anna", "bert", "Carl", "Dora", "emil"}),
            Walk(byname, t, "Name"));
  // Descending by Stadt then Nr, without record 1 (Nr 1).
  EXPECT_EQ((std::vector<std::string>{"bert", "Carl", "Dora", "Anna"}), Walk(byort, t, "Name"));
  // The rebuilt tags are maintained by writes as before.
  ASSERT_ACE(AdsGotoRecord(t, 2));
  ASSERT_ACE(AdsSetField(t, U("Name"), U("Zora"), 4));
  ASSERT_ACE(AdsWriteRecord(t));
  EXPECT_EQ((std::vector<std::string>{"bert", "Carl", "Dora", "emil", "Zora"}),
            Walk(byname, t, "Name"));
  ASSERT_ACE(AdsCloseTable(t));
  CheckTrees();
}

TEST_F(SqlAlterIndexTest, DroppingAColumnAnIndexUsesIsRefusedNamingTheIndex) {
  MakeKinder();
  EXPECT_EQ(7200u, Exec("ALTER TABLE kinder DROP Ort"));
  EXPECT_NE(std::string::npos, ErrorText().find("BYORT")) << ErrorText();
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("kinder", ADS_ADT, &t));
  EXPECT_EQ((std::vector<std::string>{"Name", "Ort", "Nr"}), FieldNames(t));
  ADSHANDLE byort = 0;
  ASSERT_ACE(AdsGetIndexHandle(t, U("BYORT"), &byort));
  EXPECT_EQ((std::vector<std::string>{"bert", "Carl", "Dora", "Anna"}), Walk(byort, t, "Name"));
  ASSERT_ACE(AdsCloseTable(t));
  CheckTrees();
}

TEST_F(SqlAlterIndexTest, InARunTheStatementsBeforeTheRefusedOneTakeEffectWithTheirIndexes) {
  MakeKinder();
  EXPECT_EQ(7200u, Exec("ALTER TABLE kinder ADD Neu char(5); ALTER TABLE kinder DROP Name"));
  EXPECT_NE(std::string::npos, ErrorText().find("BYNAME")) << ErrorText();
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("kinder", ADS_ADT, &t));
  EXPECT_EQ((std::vector<std::string>{"Name", "Ort", "Nr", "Neu"}), FieldNames(t));
  ADSHANDLE byname = 0;
  ASSERT_ACE(AdsGetIndexHandle(t, U("BYNAME"), &byname));
  EXPECT_EQ((std::vector<std::string>{"Anna", "bert", "Carl", "Dora", "emil"}),
            Walk(byname, t, "Name"));
  ASSERT_ACE(AdsCloseTable(t));
  CheckTrees();
}

TEST_F(SqlAlterIndexTest, AKeyTheNewTypeCannotTakeIsRefusedBeforeAnythingIsWritten) {
  MakeKinder();
  // UPPER() of a number does not compile: the index could not be rebuilt.
  EXPECT_EQ(7200u, Exec("ALTER TABLE kinder ALTER Name Name integer"));
  EXPECT_NE(std::string::npos, ErrorText().find("BYNAME")) << ErrorText();
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("kinder", ADS_ADT, &t));
  UNSIGNED16 type = 0;
  ASSERT_ACE(AdsGetFieldType(t, U("Name"), &type));
  EXPECT_EQ(ace::storage::kFtString, type);
  ASSERT_ACE(AdsCloseTable(t));
  CheckTrees();
  // Nothing of the scratch work is left beside the table.
  for (const std::string& f : Files()) EXPECT_EQ(std::string::npos, f.find("~")) << f;
}

}  // namespace
