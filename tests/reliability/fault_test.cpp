// Fault injection: every read, write, flush, rename, allocation and deletion of the upgrade
// script, pack, a memo rewrite and INSERT/UPDATE/DELETE is made to fail in turn, in every
// table format. A failed run reports the fault with a clear code and text and leaves the table
// exactly as it was; a run that still succeeds leaves the finished change.
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

class FaultTest : public ::testing::TestWithParam<Format> {
 protected:
  static uint64_t Budget() { return EnvNumber("RELIABILITY_FAULT_POINTS", 40); }

  void SetUp() override {
    CreateKinder(prepared_.path(), type(),
                 static_cast<uint32_t>(EnvNumber("RELIABILITY_FAULT_ROWS", 60)));
    ASSERT_FALSE(HasFailure());
  }
  TableType type() const { return GetParam().type; }

  void Sweep(const std::string& what, const Operation& op) {
    FaultFigures fig =
        FaultSweep(prepared_.path(), TableFileName("Kinder", type()), type(), op, Budget());
    RecordFaultFigures(std::string(GetParam().name) + " " + what, fig);
    for (size_t i = 0; i < fig.failures.size() && i < 5; ++i) ADD_FAILURE() << fig.failures[i];
    EXPECT_EQ(0u, fig.lost);
    EXPECT_GT(fig.reported, 0u);
  }

  TempDir prepared_;
};

TEST_P(FaultTest, UpgradeScript) {
  const std::string script = UpgradeScript(type());
  Sweep("upgrade script", [&](const std::string& dir) { return RunSql(dir, type(), script); });
}

TEST_P(FaultTest, Pack) {
  Sweep("pack", [&](const std::string& dir) { return PackTable(dir, "Kinder", type()); });
}

TEST_P(FaultTest, MemoRewrite) {
  const std::string sql = "UPDATE Kinder SET NOTIZ = '" + std::string(2500, 'm') + "' WHERE ID = 9";
  Sweep("memo rewrite", [&](const std::string& dir) { return RunSql(dir, type(), sql); });
}

TEST_P(FaultTest, InsertUpdateDeleteOfManyRows) {
  Sweep("insert", [&](const std::string& dir) {
    return RunSql(dir, type(),
                  "INSERT INTO Kinder (ID, NAME, NOTIZ) VALUES (1001, 'A', 'erste'), "
                  "(1002, 'B', 'zweite'), (1003, 'C', 'dritte')");
  });
  Sweep("update", [&](const std::string& dir) {
    return RunSql(dir, type(),
                  "UPDATE Kinder SET ZAEHLER = ZAEHLER + 1, NOTIZ = 'neu' WHERE ID <= 30");
  });
  Sweep("delete", [&](const std::string& dir) {
    return RunSql(dir, type(), "DELETE FROM Kinder WHERE ID > 40");
  });
}

INSTANTIATE_TEST_SUITE_P(Formats, FaultTest, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace reliability
