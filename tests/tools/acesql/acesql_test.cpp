// The SQL shell: its text helpers, its command line driven in-process on real databases in a
// temporary folder, and the built program end to end (exit codes, piped statements).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/acesql/shell.h"
#include "tools/acesql/text.h"

namespace fs = std::filesystem;
using namespace acesql;

namespace {

TEST(AcesqlText, Utf8AndUtf16RoundTripAndRepairBadBytes) {
  const std::string text = "Kinder \xC3\xA4\xC3\xB6\xC3\xBC \xE2\x82\xAC \xF0\x9F\x98\x80";
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide.size(), 15u);  // the emoji is a surrogate pair
  EXPECT_EQ(wide[7], u'\u00E4');
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\uFFFD");  // cut off in the middle of a character
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(AcesqlText, CsvQuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(CsvField("plain"), "plain");
  EXPECT_EQ(CsvField(""), "");
  EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
}

TEST(AcesqlText, JulianDaysAndMillisecondsAsIsoText) {
  EXPECT_EQ(JulianToIso(2451545), "2000-01-01");
  EXPECT_EQ(JulianToIso(2440588), "1970-01-01");
  EXPECT_EQ(JulianToIso(2415019), "1899-12-30");
  EXPECT_EQ(JulianToIso(2460370), "2024-02-29");
  EXPECT_EQ(MillisecondsToIso(0), "00:00:00.000");
  EXPECT_EQ(MillisecondsToIso(86399999), "23:59:59.999");
}

TEST(AcesqlText, StatementEndsOnlyAtSemicolonOutsideQuotesAndComments) {
  EXPECT_TRUE(EndsStatement("select 1;"));
  EXPECT_TRUE(EndsStatement("select 1;  \n"));
  EXPECT_TRUE(EndsStatement("select 1; -- done\n"));
  EXPECT_FALSE(EndsStatement("select 1"));
  EXPECT_FALSE(EndsStatement("select ';"));
  EXPECT_FALSE(EndsStatement("select 1 -- ;"));
  EXPECT_FALSE(EndsStatement("select 1 /* ; */"));
  EXPECT_FALSE(EndsStatement("select [a;"));
  EXPECT_TRUE(EndsStatement("select 'a;b' from t;"));
}

class AcesqlDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("acesql_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the shell in-process; answers the exit code.
  int Run(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), "acesql");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    std::istringstream in(input);
    out_.str("");
    err_.str("");
    return RunProgram(static_cast<int>(argv.size()), argv.data(), in, out_, err_, false);
  }

  fs::path dir_;
  std::ostringstream out_, err_;
};

TEST_F(AcesqlDatabase, CreatesInsertsAndPrintsCsvWithHeader) {
  const std::string db = dir_.string();
  ASSERT_EQ(
      Run({db, "-c", "CREATE TABLE Kinder (Id integer, Name char(20), Geboren date, Notiz memo);"}),
      0)
      << err_.str();
  EXPECT_TRUE(fs::exists(dir_ / "Kinder.adt"));
  ASSERT_EQ(Run({db, "-c",
                 "INSERT INTO Kinder VALUES (1, 'Anna, die Erste', '2019-03-04', 'sagt \"hallo\"');"
                 "INSERT INTO Kinder VALUES (2, 'J\xC3\xBCrgen', NULL, NULL);"}),
            0)
      << err_.str();
  ASSERT_EQ(Run({db, "-c", "SELECT Id, Name, Geboren, Notiz FROM Kinder ORDER BY Id;"}), 0)
      << err_.str();
  EXPECT_EQ(out_.str(),
            "Id,Name,Geboren,Notiz\n"
            "1,\"Anna, die Erste\",2019-03-04,\"sagt \"\"hallo\"\"\"\n"
            "2,J\xC3\xBCrgen,,\n");
  EXPECT_EQ(err_.str(), "");
}

TEST_F(AcesqlDatabase, RunsFilesAndPipedStatementsInOrder) {
  const std::string db = dir_.string();
  const fs::path script = dir_ / "make.sql";
  std::ofstream(script) << "CREATE TABLE t (a integer);\nINSERT INTO t VALUES (7);\n";
  ASSERT_EQ(Run({db, "-f", script.string(), "-c", "INSERT INTO t VALUES (8);"}), 0) << err_.str();
  ASSERT_EQ(Run({db}, "SELECT a\n  FROM t\n ORDER BY a;\n.tables\n"), 0) << err_.str();
  EXPECT_EQ(out_.str(), "a\n7\n8\nt.adt\n");
}

TEST_F(AcesqlDatabase, TableTypeOptionMakesDbfTables) {
  const std::string db = dir_.string();
  ASSERT_EQ(Run({db, "-t", "cdx", "-c", "CREATE TABLE kunden (nr integer, name char(10));"}), 0)
      << err_.str();
  EXPECT_TRUE(fs::exists(dir_ / "kunden.dbf"));
}

TEST_F(AcesqlDatabase, ErrorsGoToStandardErrorWithNonZeroExit) {
  const std::string db = dir_.string();
  EXPECT_EQ(Run({db, "-c", "SELEKT nonsense;"}), 1);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(err_.str().rfind("acesql: ", 0), 0u) << err_.str();
  EXPECT_NE(err_.str().find("7200"), std::string::npos) << err_.str();

  // The first failing text stops the run: the later -c is never executed.
  EXPECT_EQ(Run({db, "-c", "CREATE TABLE t (a integer);", "-c", "CREATE TABLE t (a integer);", "-c",
                 "CREATE TABLE u (a integer);"}),
            1);
  EXPECT_FALSE(fs::exists(dir_ / "u.adt"));

  EXPECT_EQ(Run({(dir_ / "missing").string(), "-c", "SELECT 1;"}), 1);
  EXPECT_NE(err_.str().find("acesql: "), std::string::npos);
  EXPECT_EQ(Run({db, "-f", (dir_ / "nofile.sql").string()}), 1);
  EXPECT_NE(err_.str().find("cannot read"), std::string::npos);
}

TEST_F(AcesqlDatabase, UsageErrorsExitWithTwo) {
  EXPECT_EQ(Run({}), 2);
  EXPECT_NE(err_.str().find("usage: acesql DATABASE"), std::string::npos);
  EXPECT_EQ(Run({dir_.string(), "-t", "XYZ"}), 2);
  EXPECT_NE(err_.str().find("unknown table type"), std::string::npos);
  EXPECT_EQ(Run({dir_.string(), "-c"}), 2);
  EXPECT_EQ(Run({dir_.string(), "other"}), 2);
}

// The built program: piped input, exit codes.
TEST_F(AcesqlDatabase, BuiltProgramEndToEnd) {
  const std::string program = std::string(VASKOLI_BINARY_DIR) + "/bin/acesql";
  ASSERT_TRUE(fs::exists(program)) << program;
  const fs::path input = dir_ / "input.sql";
  std::ofstream(input) << "CREATE TABLE z (a char(3));\nINSERT INTO z VALUES ('x');\n"
                          "SELECT * FROM z;\n";
  const std::string cmd = program + " '" + dir_.string() + "' < '" + input.string() + "' 2>&1";
  FILE* pipe = popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buf[256];
  while (size_t n = fread(buf, 1, sizeof buf, pipe)) output.append(buf, n);
  const int status = pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  EXPECT_EQ(output, "a\nx\n");

  const int bad =
      std::system((program + " '" + dir_.string() + "' -c 'DROP TABLE nope;' 2>/dev/null").c_str());
  EXPECT_TRUE(WIFEXITED(bad) && WEXITSTATUS(bad) == 1);
}

}  // namespace
