// Crash tests: the program's upgrade script, pack, a memo rewrite and single-row INSERT,
// UPDATE and DELETE, each killed (SIGKILL) before every one (or, on large tables, a spread of)
// its changing file operations, in every table format. After each kill the table must open,
// pass the consistency check and hold exactly the content of before or of after.
#include <gtest/gtest.h>

#include "tests/reliability/common/crash_harness.h"

namespace reliability {
namespace {

struct Format {
  TableType type;
  const char* name;
};

const Format kFormats[] = {{TableType::kAdt, "ADT"},
                           {TableType::kCdx, "CDX"},
                           {TableType::kNtx, "NTX"},
                           {TableType::kVfp, "VFP"}};

class CrashTest : public ::testing::TestWithParam<Format> {
 protected:
  static uint32_t Rows() { return static_cast<uint32_t>(EnvNumber("RELIABILITY_ROWS", 400)); }
  static uint64_t Budget() { return EnvNumber("RELIABILITY_KILL_POINTS", 60); }

  void SetUp() override {
    CreateKinder(prepared_.path(), type(), Rows());
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ("", CheckTable(prepared_.File(table()), type()));
  }

  TableType type() const { return GetParam().type; }
  std::string table() const { return TableFileName("Kinder", type()); }

  // Runs the sweep and fails with the first problems found. An operation with fewer changing
  // operations than min_points is killed at every one of them.
  CrashFigures Sweep(const std::string& what, const Operation& op, uint64_t min_points) {
    CrashFigures fig = CrashSweep(prepared_.path(), table(), type(), op, Budget());
    RecordFigures(std::string(GetParam().name) + " " + what, fig);
    for (size_t i = 0; i < fig.failures.size() && i < 5; ++i) ADD_FAILURE() << fig.failures[i];
    EXPECT_EQ(0u, fig.lost);
    EXPECT_GE(fig.points, std::min(min_points, fig.changes)) << "too few kill points for " << what;
    // Every kill point lies inside the run, so every child must really have been killed.
    EXPECT_EQ(fig.points, fig.killed);
    EXPECT_GT(fig.as_before, 0u);
    return fig;
  }

  TempDir prepared_;
};

TEST_P(CrashTest, UpgradeScriptLeavesTheOldOrTheNewTable) {
  const std::string script = UpgradeScript(type());
  // The rewrite writes through large buffers: a few dozen changing operations (files created,
  // buffers written out, flushes, renames), every one of them a kill point, and the last ones
  // leave the new table.
  CrashFigures fig = Sweep(
      "upgrade script", [&](const std::string& dir) { return RunSql(dir, type(), script); },
      std::min<uint64_t>(Budget(), 50));
  EXPECT_EQ(fig.points, std::min(fig.changes, Budget()));
  EXPECT_GT(fig.as_after, 0u);
}

TEST_P(CrashTest, PackLeavesTheOldOrTheNewTable) {
  Sweep(
      "pack", [&](const std::string& dir) { return PackTable(dir, "Kinder", type()); },
      std::min<uint64_t>(Budget(), 50));
}

TEST_P(CrashTest, MemoRewriteOfOneRecordIsWholeOrAbsent) {
  std::string text(3000, 'x');
  for (size_t i = 0; i < text.size(); i += 50) text[i] = static_cast<char>('a' + (i / 50) % 26);
  const std::string sql = "UPDATE Kinder SET NOTIZ = '" + text + "' WHERE ID = 9";
  Sweep(
      "memo rewrite", [&](const std::string& dir) { return RunSql(dir, type(), sql); }, 1);
}

TEST_P(CrashTest, InsertOfOneRowIsWholeOrAbsent) {
  const std::string sql =
      "INSERT INTO Kinder (ID, NAME, GEBURT, BETRAG, AKTIV, ZAEHLER, NOTIZ) VALUES "
      "(900001, 'Neu', '2020-02-29', 12.5, TRUE, 1, 'eine neue Notiz mit etwas Text')";
  Sweep(
      "insert", [&](const std::string& dir) { return RunSql(dir, type(), sql); }, 1);
}

TEST_P(CrashTest, UpdateAndDeleteOfOneRowAreWholeOrAbsent) {
  Sweep(
      "update",
      [&](const std::string& dir) {
        return RunSql(dir, type(),
                      "UPDATE Kinder SET NAME = 'Umbenannt', BETRAG = 99.99 WHERE ID = 10");
      },
      1);
  Sweep(
      "delete",
      [&](const std::string& dir) {
        return RunSql(dir, type(), "DELETE FROM Kinder WHERE ID = 11");
      },
      1);
}

INSTANTIATE_TEST_SUITE_P(Formats, CrashTest, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(KillPoints, CoverEveryChangeOfSmallRunsAndTheTailOfLargeOnes) {
  EXPECT_EQ((std::vector<uint64_t>{1, 2, 3}), KillPoints(3, 60));
  std::vector<uint64_t> p = KillPoints(10000, 60);
  ASSERT_EQ(60u, p.size());
  EXPECT_EQ(1u, p.front());
  EXPECT_EQ(10000u, p.back());
  for (uint64_t k = 9989; k <= 10000; ++k)
    EXPECT_NE(p.end(), std::find(p.begin(), p.end(), k)) << k;
  EXPECT_TRUE(std::is_sorted(p.begin(), p.end()));
  EXPECT_EQ(p.end(), std::adjacent_find(p.begin(), p.end()));
}

}  // namespace
}  // namespace reliability
