// ALTER TABLE through the DDL executor: the upgrade script on ADT and CDX tables, the merge
// rule, a repeated run, refusals that write nothing, faults at every I/O of a rewrite, and
// CREATE/DROP TABLE.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/fields/field_codec.h"
#include "engine/sql/ddl_executor.h"
#include "engine/sql/restructure.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/statement_split.h"
#include "engine/storage/dbf/dbf_info.h"
#include "engine/storage/table_file.h"

namespace ace::sql {
namespace {

using storage::FieldSpec;
using storage::TableFile;
using storage::TableType;

constexpr const char* kUpgradeScript =
    "ALTER TABLE Kinder ADD COLUMN Alter_Stichtag integer;\r\n"
    "ALTER TABLE Kinder ADD COLUMN Kosten_von date;\r\n"
    "ALTER TABLE Kinder ADD COLUMN Kosten_bis date;\r\n"
    "ALTER TABLE Kinder ADD COLUMN Migrationshintergrund char(5);\r\n";

// The same four changes with names a DBF table can hold.
constexpr const char* kShortScript =
    "ALTER TABLE Kinder ADD COLUMN Alter_St integer;\r\n"
    "ALTER TABLE Kinder ADD COLUMN Kosten_von date;\r\n"
    "ALTER TABLE Kinder ADD COLUMN Kosten_bis date;\r\n"
    "ALTER TABLE Kinder ADD COLUMN Migration char(5);\r\n";

// Every record as texts: the field values (memo contents for memo fields) and the deletion mark.
struct Row {
  std::vector<std::string> values;
  std::vector<bool> nulls;
  bool deleted = false;
  bool operator==(const Row&) const = default;
};

int FieldIndex(const TableFile& t, std::string_view name) {
  for (size_t i = 0; i < t.fields().size(); ++i) {
    const std::string& n = t.fields()[i].name;
    if (n.size() == name.size() && std::equal(n.begin(), n.end(), name.begin(), [](char a, char b) {
          return std::toupper(a) == std::toupper(b);
        }))
      return static_cast<int>(i);
  }
  return -1;
}

class SqlRestructure : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "sql_rs_XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    FaultInjector::Reset();
  }
  void TearDown() override {
    FaultInjector::Reset();
    std::filesystem::remove_all(dir_);
  }

  std::string PathOf(TableType type) const {
    return JoinPath(dir_, std::string("Kinder") + storage::TableExtension(type));
  }

  // Kinder with a name, a birth date, a number and a note (memo on every third record); every
  // seventh record deleted.
  void MakeKinder(TableType type, int rows) {
    type_ = type;
    const bool adt = type == TableType::kAdt;
    std::vector<FieldSpec> specs = {
        {"Name", storage::kFtString, 20, 0, true},
        {"Geboren", storage::kFtDate, 0, 0, true},
        adt ? FieldSpec{"Nummer", storage::kFtInteger, 0, 0, true}
            : FieldSpec{"Nummer", storage::kFtNumeric, 8, 0, true},
        {"Notiz", storage::kFtMemo, 0, 0, true},
    };
    auto t = storage::CreateTableFile(PathOf(type), type, specs, {});
    ASSERT_TRUE(t.ok()) << t.status().message();
    TableFile& table = *t.value();
    for (int i = 1; i <= rows; ++i) {
      std::vector<std::byte> img = table.BlankRecord();
      Set(table, img, "Name", "Kind " + std::to_string(i));
      Set(table, img, "Geboren",
          "2015-0" + std::to_string(i % 9 + 1) + "-1" + std::to_string(i % 10));
      Set(table, img, "Nummer", std::to_string(i * 3));
      if (i % 3 == 0) {
        std::string note = "Notiz zu Kind " + std::to_string(i);
        std::vector<uint8_t> bytes(note.begin(), note.end());
        ASSERT_TRUE(
            table.WriteMemo(img.data(), table.fields()[3], bytes, storage::MemoKind::kText).ok());
      }
      table.SetDeleted(img.data(), i % 7 == 0);
      ASSERT_TRUE(table.AppendRecord(img.data()).ok());
    }
    ASSERT_TRUE(table.Flush().ok());
  }

  void Set(TableFile& t, std::vector<std::byte>& img, std::string_view name,
           const std::string& text) {
    fields::FieldContext ctx{t.fields()[FieldIndex(t, name)]};
    ctx.table = t.type();
    Status st = fields::SetText(ctx, fields::Image(img), text);
    ASSERT_TRUE(st.ok()) << st.message();
  }

  std::vector<Row> Snapshot() {
    std::vector<Row> rows;
    auto t = storage::OpenTableFile(PathOf(type_), type_, {});
    EXPECT_TRUE(t.ok()) << t.status().message();
    if (!t.ok()) return rows;
    TableFile& table = *t.value();
    std::vector<std::byte> img(table.record_length());
    for (uint32_t r = 1; r <= table.record_count(); ++r) {
      EXPECT_TRUE(table.ReadRecord(r, img.data()).ok());
      Row row;
      row.deleted = table.IsDeleted(img.data());
      for (const auto& f : table.fields()) {
        if (storage::IsMemoType(f.type, type_)) {
          auto m = table.ReadMemo(img.data(), f);
          EXPECT_TRUE(m.ok()) << m.status().message();
          row.values.emplace_back(m->begin(), m->end());
          row.nulls.push_back(m->empty());
          continue;
        }
        fields::FieldContext ctx{f};
        ctx.table = type_;
        auto text = fields::GetText(ctx, fields::ConstImage(img), fields::kTrimRight);
        EXPECT_TRUE(text.ok()) << text.status().message();
        row.values.push_back(text.ok() ? text.value() : "?");
        auto null = fields::IsNull(ctx, fields::ConstImage(img));
        row.nulls.push_back(null.ok() && null.value());
      }
      rows.push_back(std::move(row));
    }
    return rows;
  }

  std::vector<std::string> FieldNames() {
    std::vector<std::string> names;
    auto t = storage::OpenTableFile(PathOf(type_), type_, {});
    if (!t.ok()) return names;
    for (const auto& f : t.value()->fields()) names.push_back(f.name);
    return names;
  }

  std::vector<std::string> DirListing() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string FileBytes(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  ExecutionOutcome Run(const std::string& text,
                       std::function<bool(const std::string&)> in_use = {}) {
    auto sts = SplitStatements(text);
    EXPECT_TRUE(sts.ok());
    statements_ = sts.value();
    DdlContext ctx;
    ctx.directory = dir_;
    ctx.type = type_;
    ctx.in_use = std::move(in_use);
    return ExecuteStatements(statements_, ctx);
  }

  // The first n columns of each row, with the deletion mark.
  static std::vector<Row> Prefix(std::vector<Row> rows, size_t n) {
    for (auto& r : rows) {
      r.values.resize(n);
      r.nulls.resize(n);
    }
    return rows;
  }

  std::string dir_;
  TableType type_ = TableType::kAdt;
  std::vector<Statement> statements_;
};

TEST_F(SqlRestructure, UpgradeScriptOnAdtKeepsEveryRecordAndAddsNullColumnsInOrder) {
  MakeKinder(TableType::kAdt, 3000);
  const std::vector<Row> before = Snapshot();
  ASSERT_EQ(before.size(), 3000u);
  ExecutionOutcome out = Run(kUpgradeScript);
  ASSERT_TRUE(out.error.ok()) << out.error.message();
  ASSERT_EQ(out.done.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(out.done[i].index, i + 1);
    EXPECT_EQ(out.done[i].rows_affected, 0u);
  }
  EXPECT_EQ(out.rewrites, 1u);
  EXPECT_EQ(FieldNames(),
            (std::vector<std::string>{"Name", "Geboren", "Nummer", "Notiz", "Alter_Stichtag",
                                      "Kosten_von", "Kosten_bis", "Migrationshintergrund"}));
  auto t = storage::OpenTableFile(PathOf(type_), type_, {});
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(t.value()->fields()[4].type, storage::kFtInteger);
  EXPECT_EQ(t.value()->fields()[5].type, storage::kFtDate);
  EXPECT_EQ(t.value()->fields()[7].type, storage::kFtString);
  EXPECT_EQ(t.value()->fields()[7].length, 5u);
  t.value().reset();
  const std::vector<Row> after = Snapshot();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(Prefix(after, 4) == before);
  for (const Row& r : after) {
    EXPECT_EQ(r.nulls,
              (std::vector<bool>{false, false, false, r.nulls[3], true, true, true, true}));
  }
  EXPECT_TRUE(after[6].deleted);
  EXPECT_EQ(after[2].values[3], "Notiz zu Kind 3");
  EXPECT_EQ(DirListing(), (std::vector<std::string>{"Kinder.adm", "Kinder.adt"}));
}

TEST_F(SqlRestructure, UpgradeChangesOnCdxTableKeepRecordsAndAddBlankColumns) {
  MakeKinder(TableType::kCdx, 2000);
  const std::vector<Row> before = Snapshot();
  ExecutionOutcome out = Run(kShortScript);
  ASSERT_TRUE(out.error.ok()) << out.error.message();
  EXPECT_EQ(out.done.size(), 4u);
  EXPECT_EQ(FieldNames(),
            (std::vector<std::string>{"NAME", "GEBOREN", "NUMMER", "NOTIZ", "ALTER_ST",
                                      "KOSTEN_VON", "KOSTEN_BIS", "MIGRATION"}));
  auto t = storage::OpenTableFile(PathOf(type_), type_, {});
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(t.value()->fields()[4].type, storage::kFtNumeric);  // integer on a DBF table
  EXPECT_EQ(t.value()->fields()[4].length, 11u);
  t.value().reset();
  const std::vector<Row> after = Snapshot();
  ASSERT_EQ(after.size(), 2000u);
  EXPECT_TRUE(Prefix(after, 4) == before);
  for (const Row& r : after) {
    EXPECT_TRUE(r.nulls[4] && r.nulls[5] && r.nulls[6] && r.nulls[7]);
    EXPECT_EQ(r.values[7], "");
  }
  EXPECT_TRUE(after[13].deleted);
  EXPECT_FALSE(after[12].deleted);
  EXPECT_EQ(DirListing(), (std::vector<std::string>{"Kinder.dbf", "Kinder.fpt"}));
}

TEST_F(SqlRestructure, UpgradeScriptOnCdxIsRefusedForTheLongColumnName) {
  MakeKinder(TableType::kCdx, 20);
  const std::string bytes = FileBytes(PathOf(type_));
  ExecutionOutcome out = Run(kUpgradeScript);
  ASSERT_FALSE(out.error.ok());
  EXPECT_TRUE(out.done.empty());
  EXPECT_EQ(out.rewrites, 0u);
  EXPECT_EQ(out.error.message(),
            "SQL error: State = 42000; NativeError = 2124; The name of the column "
            "\"Alter_Stichtag\" is 14 characters long; CDX tables hold column names of at most 10 "
            "characters. -- statement 1 of 4 at line 1, column 20: ALTER TABLE Kinder ADD COLUMN "
            "Alter_Stichtag integer");
  EXPECT_EQ(FileBytes(PathOf(type_)), bytes);
}

TEST_F(SqlRestructure, ThirdStatementFailsAfterTheFirstTwoAreAppliedInOneRewrite) {
  MakeKinder(TableType::kAdt, 50);
  // One single-statement rewrite, to know how many renames a rewrite makes.
  FaultInjector::Reset();
  ASSERT_TRUE(Run("ALTER TABLE Kinder ADD COLUMN Probe logical").error.ok());
  const uint64_t renames_per_rewrite = FaultInjector::Count(IoKind::kRename);
  ASSERT_GT(renames_per_rewrite, 0u);

  FaultInjector::Reset();
  ExecutionOutcome out =
      Run("ALTER TABLE Kinder ADD COLUMN Alter_Stichtag integer;\r\n"
          "ALTER TABLE Kinder ADD COLUMN Kosten_von date;\r\n"
          "ALTER TABLE Kinder ADD COLUMN Nummer date;\r\n"
          "ALTER TABLE Kinder ADD COLUMN Migrationshintergrund char(5);\r\n");
  EXPECT_EQ(FaultInjector::Count(IoKind::kRename), renames_per_rewrite);
  EXPECT_EQ(out.rewrites, 1u);
  ASSERT_EQ(out.done.size(), 2u);
  EXPECT_EQ(NativeOf(out.error), 2121u);
  EXPECT_EQ(out.error.message(),
            "SQL error: State = 42S21; NativeError = 2121; The column \"Nummer\" already exists "
            "in table Kinder. -- statement 3 of 4 at line 3, column 20: ALTER TABLE Kinder ADD "
            "COLUMN Nummer date");
  EXPECT_EQ(FieldNames(), (std::vector<std::string>{"Name", "Geboren", "Nummer", "Notiz", "Probe",
                                                    "Alter_Stichtag", "Kosten_von"}));
}

TEST_F(SqlRestructure, SecondRunFailsOnTheFirstStatementAndChangesNothing) {
  MakeKinder(TableType::kAdt, 100);
  ASSERT_TRUE(Run(kUpgradeScript).error.ok());
  const std::string data = FileBytes(PathOf(type_));
  const std::string memo = FileBytes(JoinPath(dir_, "Kinder.adm"));
  ExecutionOutcome again = Run(kUpgradeScript);
  EXPECT_TRUE(again.done.empty());
  EXPECT_EQ(again.rewrites, 0u);
  EXPECT_EQ(again.error.code(), kErrSql);
  EXPECT_EQ(again.error.message(),
            "SQL error: State = 42S21; NativeError = 2121; The column \"Alter_Stichtag\" already "
            "exists in table Kinder. -- statement 1 of 4 at line 1, column 20: ALTER TABLE Kinder "
            "ADD COLUMN Alter_Stichtag integer");
  EXPECT_EQ(FileBytes(PathOf(type_)), data);
  EXPECT_EQ(FileBytes(JoinPath(dir_, "Kinder.adm")), memo);
}

TEST_F(SqlRestructure, FaultAtEveryIoOfARewriteLeavesTheOldTableWhole) {
  for (IoKind kind : {IoKind::kWrite, IoKind::kSync, IoKind::kRename, IoKind::kRead}) {
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directory(dir_);
    MakeKinder(TableType::kAdt, 40);
    const std::vector<Row> before = Snapshot();
    const std::vector<std::string> files = DirListing();
    bool succeeded = false;
    uint64_t failures = 0;
    for (uint64_t n = 1; n < 2000 && !succeeded; ++n) {
      FaultInjector::Reset();
      FaultInjector::FailAt(kind, n, kErrIo);
      ExecutionOutcome out = Run(kUpgradeScript);
      FaultInjector::Reset();
      if (out.error.ok()) {
        succeeded = true;
        EXPECT_EQ(FieldNames().size(), 8u);
        EXPECT_TRUE(Prefix(Snapshot(), 4) == before);
        break;
      }
      ++failures;
      SCOPED_TRACE("fault " + std::to_string(static_cast<int>(kind)) + " at " + std::to_string(n));
      EXPECT_TRUE(out.done.empty());
      EXPECT_EQ(out.error.code(), kErrSql);
      EXPECT_EQ(FieldNames().size(), 4u);
      ASSERT_TRUE(Snapshot() == before);
      ASSERT_EQ(DirListing(), files);
    }
    EXPECT_TRUE(succeeded);
    EXPECT_GT(failures, 0u);  // every kind of I/O is met by a rewrite
  }
}

TEST_F(SqlRestructure, TableHeldByAnotherUserIsRefusedByName) {
  MakeKinder(TableType::kAdt, 5);
  std::string asked;
  ExecutionOutcome out = Run(kUpgradeScript, [&](const std::string& path) {
    asked = path;
    return true;
  });
  EXPECT_EQ(asked, PathOf(TableType::kAdt));
  EXPECT_EQ(NativeOf(out.error), static_cast<uint32_t>(NativeError::kTableInUse));
  EXPECT_NE(out.error.message().find("Table Kinder is open by another user"), std::string::npos);
  EXPECT_EQ(FieldNames().size(), 4u);
}

TEST_F(SqlRestructure, AnIndexFileThatCannotBeReadRefusesTheRewrite) {
  MakeKinder(TableType::kAdt, 5);
  { std::ofstream(JoinPath(dir_, "Kinder.adi")) << "index"; }
  const std::string data = FileBytes(PathOf(type_));
  ExecutionOutcome out = Run(kUpgradeScript);
  EXPECT_EQ(NativeOf(out.error), static_cast<uint32_t>(NativeError::kIndexNotRebuilt));
  EXPECT_NE(out.error.message().find("Kinder.adi"), std::string::npos);
  EXPECT_EQ(FileBytes(PathOf(type_)), data);
  EXPECT_TRUE(out.done.empty());
}

TEST_F(SqlRestructure, DropAlterRenameAndConvertInOneStatement) {
  MakeKinder(TableType::kAdt, 30);
  const std::vector<Row> before = Snapshot();
  ExecutionOutcome out =
      Run("ALTER TABLE kinder DROP Geboren, ALTER COLUMN Nummer Zahl char(10), "
          "ADD Erst char(3) DEFAULT 'abc' POSITION 1, ALTER Name Name char(5)");
  ASSERT_TRUE(out.error.ok()) << out.error.message();
  EXPECT_EQ(FieldNames(), (std::vector<std::string>{"Erst", "Name", "Zahl", "Notiz"}));
  const std::vector<Row> after = Snapshot();
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(after[i].values[0], "abc");
    std::string cut = before[i].values[0].substr(0, 5);  // stored cut, read trimmed
    while (!cut.empty() && cut.back() == ' ') cut.pop_back();
    EXPECT_EQ(after[i].values[1], cut);
    EXPECT_EQ(after[i].values[2], std::to_string((i + 1) * 3));
    EXPECT_EQ(after[i].values[3], before[i].values[3]);
    EXPECT_EQ(after[i].deleted, before[i].deleted);
  }
}

TEST_F(SqlRestructure, ConversionThatDoesNotFitChangesNothing) {
  MakeKinder(TableType::kAdt, 10);
  const std::string data = FileBytes(PathOf(type_));
  ExecutionOutcome out = Run("ALTER TABLE Kinder ALTER Name integer");
  EXPECT_EQ(NativeOf(out.error), static_cast<uint32_t>(NativeError::kConversion));
  EXPECT_NE(out.error.message().find("column \"Name\""), std::string::npos) << out.error.message();
  EXPECT_EQ(FileBytes(PathOf(type_)), data);
  EXPECT_EQ(DirListing(), (std::vector<std::string>{"Kinder.adm", "Kinder.adt"}));
}

TEST_F(SqlRestructure, MissingColumnsAndTablesAreNamed) {
  MakeKinder(TableType::kAdt, 3);
  ExecutionOutcome a = Run("ALTER TABLE Kinder DROP COLUMN Fehlt");
  EXPECT_EQ(a.error.message(),
            "SQL error: State = 42S22; NativeError = 2120; The column \"Fehlt\" does not exist in "
            "table Kinder. -- statement 1 of 1 at line 1, column 20: ALTER TABLE Kinder DROP "
            "COLUMN Fehlt");
  ExecutionOutcome b = Run("ALTER TABLE Eltern ADD x integer");
  EXPECT_EQ(NativeOf(b.error), static_cast<uint32_t>(NativeError::kTableNotFound));
  EXPECT_NE(b.error.message().find("Table Eltern does not exist"), std::string::npos);
  ExecutionOutcome c = Run("ALTER TABLE Kinder ADD x money(3)");
  EXPECT_EQ(NativeOf(c.error), static_cast<uint32_t>(NativeError::kBadType));
  EXPECT_NE(c.error.message().find("(column \"x\" of table Kinder)"), std::string::npos)
      << c.error.message();
  ExecutionOutcome d = Run("ALTER TABLE Kinder DROP Name, DROP Geboren, DROP Nummer, DROP Notiz");
  EXPECT_EQ(NativeOf(d.error), static_cast<uint32_t>(NativeError::kNoColumnsLeft));
  EXPECT_EQ(FieldNames().size(), 4u);
}

TEST_F(SqlRestructure, CreateAndDropTableAndOtherStatements) {
  type_ = TableType::kNtx;
  ExecutionOutcome c = Run("CREATE TABLE Eltern (Name char(20) NOT NULL, Seit date, Betrag money)");
  EXPECT_EQ(NativeOf(c.error), static_cast<uint32_t>(NativeError::kTypeNotHeld));
  EXPECT_NE(c.error.message().find("The type money is not available on NTX tables."),
            std::string::npos);
  EXPECT_TRUE(DirListing().empty());

  ExecutionOutcome ok =
      Run("CREATE TABLE Eltern (Name char(20), Seit date, Notiz memo);"
          "CREATE TABLE Eltern (x int)");
  ASSERT_EQ(ok.done.size(), 1u);
  EXPECT_EQ(NativeOf(ok.error), static_cast<uint32_t>(NativeError::kTableExists));
  auto t = storage::OpenTableFile(JoinPath(dir_, "Eltern.dbf"), TableType::kNtx, {});
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(t.value()->fields().size(), 3u);
  t.value().reset();

  ExecutionOutcome dup = Run("CREATE TABLE Neu (a int, A date)");
  EXPECT_EQ(NativeOf(dup.error), static_cast<uint32_t>(NativeError::kDuplicateColumn));

  ExecutionOutcome other = Run("SELECT * FROM Eltern; DROP TABLE Eltern");
  EXPECT_EQ(NativeOf(other.error), static_cast<uint32_t>(NativeError::kNotDdl));
  EXPECT_TRUE(FileExists(JoinPath(dir_, "Eltern.dbf")));

  ExecutionOutcome drop = Run("DROP TABLE eltern; DROP TABLE Eltern");
  ASSERT_EQ(drop.done.size(), 1u);
  EXPECT_EQ(NativeOf(drop.error), static_cast<uint32_t>(NativeError::kTableNotFound));
  EXPECT_TRUE(DirListing().empty());
}

TEST_F(SqlRestructure, OtherStatementsGoToTheGivenRunner) {
  MakeKinder(TableType::kAdt, 3);
  auto sts = SplitStatements("SELECT 1; ALTER TABLE Kinder ADD a int; UPDATE x SET y = 1");
  ASSERT_TRUE(sts.ok());
  std::vector<size_t> ran;
  DdlContext ctx;
  ctx.directory = dir_;
  ctx.run_other = [&](const Statement&, size_t index, size_t count, uint32_t* rows) {
    EXPECT_EQ(count, 3u);
    ran.push_back(index);
    *rows = 7;
    return Status::Ok();
  };
  ExecutionOutcome out = ExecuteStatements(sts.value(), ctx);
  ASSERT_TRUE(out.error.ok()) << out.error.message();
  EXPECT_EQ(ran, (std::vector<size_t>{1, 3}));
  ASSERT_EQ(out.done.size(), 3u);
  EXPECT_EQ(out.done[0].rows_affected, 7u);
  EXPECT_EQ(out.done[1].rows_affected, 0u);
  EXPECT_EQ(FieldNames().size(), 5u);
}

TEST_F(SqlRestructure, VfpNewColumnsGetTheirNullMarkAndAutoincValuesStay) {
  type_ = TableType::kVfp;
  std::vector<FieldSpec> specs = {{"Name", storage::kFtString, 10, 0, false},
                                  {"Id", storage::kFtAutoInc, 0, 0, false},
                                  {"Notiz", storage::kFtMemo, 0, 0, false}};
  {
    auto t = storage::CreateTableFile(PathOf(type_), type_, specs, {});
    ASSERT_TRUE(t.ok()) << t.status().message();
    for (int i = 1; i <= 12; ++i) {
      std::vector<std::byte> img = t.value()->BlankRecord();
      Set(*t.value(), img, "Name", "N" + std::to_string(i));
      std::string note = "memo " + std::to_string(i);
      std::vector<uint8_t> bytes(note.begin(), note.end());
      ASSERT_TRUE(
          t.value()
              ->WriteMemo(img.data(), t.value()->fields()[2], bytes, storage::MemoKind::kText)
              .ok());
      ASSERT_TRUE(t.value()->AppendRecord(img.data()).ok());
    }
    // Record 5 is deleted before the change; record 3 has Id 100 (appends would number it 3).
    std::vector<std::byte> img(t.value()->record_length());
    ASSERT_TRUE(t.value()->ReadRecord(5, img.data()).ok());
    t.value()->SetDeleted(img.data(), true);
    ASSERT_TRUE(t.value()->WriteRecord(5, img.data()).ok());
    ASSERT_TRUE(t.value()->ReadRecord(3, img.data()).ok());
    Set(*t.value(), img, "Id", "100");
    ASSERT_TRUE(t.value()->WriteRecord(3, img.data()).ok());
    ASSERT_TRUE(t.value()->Flush().ok());
  }
  const std::vector<Row> before = Snapshot();
  ExecutionOutcome out = Run("ALTER TABLE Kinder ADD Alter_St integer, ADD Seit date");
  ASSERT_TRUE(out.error.ok()) << out.error.message();
  auto t = storage::OpenTableFile(PathOf(type_), type_, {});
  ASSERT_TRUE(t.ok());
  TableFile& table = *t.value();
  ASSERT_EQ(table.fields().size(), 5u);
  std::vector<std::byte> img(table.record_length());
  for (uint32_t r = 1; r <= table.record_count(); ++r) {
    ASSERT_TRUE(table.ReadRecord(r, img.data()).ok());
    for (size_t f = 3; f < 5; ++f) {
      ASSERT_GE(table.fields()[f].null_bit, 0);
      auto bit = storage::GetVfpSystemBit(table, img.data(), table.fields()[f].null_bit);
      ASSERT_TRUE(bit.ok());
      EXPECT_TRUE(bit.value()) << "record " << r << ", field " << f;
    }
  }
  t.value().reset();
  // The old columns have no null bits, so the codec reads them without _NullFlags.
  std::vector<Row> after;
  {
    auto again = storage::OpenTableFile(PathOf(type_), type_, {});
    ASSERT_TRUE(again.ok());
    for (uint32_t r = 1; r <= again.value()->record_count(); ++r) {
      ASSERT_TRUE(again.value()->ReadRecord(r, img.data()).ok());
      Row row;
      row.deleted = again.value()->IsDeleted(img.data());
      for (size_t f = 0; f < 2; ++f) {
        fields::FieldContext ctx{again.value()->fields()[f]};
        ctx.table = type_;
        auto text = fields::GetText(ctx, fields::ConstImage(img), fields::kTrimRight);
        ASSERT_TRUE(text.ok()) << text.status().message();
        row.values.push_back(text.value());
      }
      auto memo = again.value()->ReadMemo(img.data(), again.value()->fields()[2]);
      ASSERT_TRUE(memo.ok());
      row.values.emplace_back(memo->begin(), memo->end());
      after.push_back(row);
    }
  }
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(after[i].values, before[i].values);
    EXPECT_EQ(after[i].deleted, before[i].deleted);
  }
  EXPECT_EQ(after[4].values[1], "5");
  EXPECT_EQ(after[2].values[1], "100");
  EXPECT_TRUE(after[4].deleted);
}

TEST_F(SqlRestructure, SyntaxErrorInARunAppliesTheStatementsBeforeIt) {
  MakeKinder(TableType::kAdt, 20);
  ExecutionOutcome out =
      Run("ALTER TABLE Kinder ADD a integer;\r\n"
          "ALTER TABLE Kinder ADD b date;\r\n"
          "ALTER TABLE Kinder ADD c;\r\n"
          "ALTER TABLE Kinder ADD d char(5);\r\n");
  ASSERT_EQ(out.done.size(), 2u);
  EXPECT_EQ(out.rewrites, 1u);
  EXPECT_EQ(out.error.message(),
            "SQL error: State = 42000; NativeError = 2102; The statement ends where a type name "
            "was expected. -- statement 3 of 4 at line 3, column 25: ALTER TABLE Kinder ADD c");
  EXPECT_EQ(FieldNames(),
            (std::vector<std::string>{"Name", "Geboren", "Nummer", "Notiz", "a", "b"}));
}

TEST_F(SqlRestructure, DroppingTheLastMemoColumnRemovesTheMemoFile) {
  MakeKinder(TableType::kCdx, 30);
  const std::vector<Row> before = Snapshot();
  ExecutionOutcome out =
      Run("ALTER TABLE KINDER DROP COLUMN notiz; ALTER TABLE Kinder ALTER Nummer Nummer char(8)");
  ASSERT_TRUE(out.error.ok()) << out.error.message();
  EXPECT_EQ(out.rewrites, 1u);
  EXPECT_EQ(DirListing(), (std::vector<std::string>{"Kinder.dbf"}));
  const std::vector<Row> after = Snapshot();
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(after[i].values.size(), 3u);
    EXPECT_EQ(after[i].values[0], before[i].values[0]);
    EXPECT_EQ(after[i].values[1], before[i].values[1]);
    EXPECT_EQ(after[i].values[2], std::to_string((i + 1) * 3));  // number text, left-aligned now
    EXPECT_EQ(after[i].deleted, before[i].deleted);
  }
}

}  // namespace
}  // namespace ace::sql

namespace ace::sql {
namespace {

// An upgrade keeps the memo file as it stands when every memo column goes over unchanged: the
// memos, also of deleted records, read back; space freed before the change is still free, not
// lost; and memos written after it (new, rewritten, cleared) land beside the old ones without
// touching them. A converted memo column still has its memos rewritten.
class SqlRestructureMemos : public SqlRestructure,
                            public ::testing::WithParamInterface<TableType> {};

TEST_P(SqlRestructureMemos, AMemoFileCarriedOverStaysWholeAndTakesNewMemos) {
  MakeKinder(GetParam(), 300);
  {
    // Some memos cleared and one made longer, so that the file holds freed space.
    auto t = storage::OpenTableFile(PathOf(type_), type_, {});
    ASSERT_TRUE(t.ok());
    TableFile& table = *t.value();
    std::vector<std::byte> img(table.record_length());
    for (uint32_t r : {3u, 6u, 9u, 12u}) {
      ASSERT_TRUE(table.ReadRecord(r, img.data()).ok());
      std::vector<uint8_t> bytes;
      if (r == 12) bytes.assign(900, 'L');
      ASSERT_TRUE(table.WritePendingMemo(img.data(), table.fields()[3], bytes,
                                         storage::MemoKind::kText).ok());
      ASSERT_TRUE(table.PostRecord(r, img.data()).ok());
    }
    ASSERT_TRUE(table.Flush().ok());
  }
  const std::vector<Row> before = Snapshot();
  const std::string memo = PathOf(type_).substr(0, PathOf(type_).size() - 4) +
                           storage::MemoExtension(type_);
  const uintmax_t memo_size = std::filesystem::file_size(memo);

  ExecutionOutcome out = Run(kShortScript);
  ASSERT_TRUE(out.error.ok()) << out.error.message();
  EXPECT_EQ(Prefix(Snapshot(), 4), before);
  EXPECT_EQ(std::filesystem::file_size(memo), memo_size);

  {
    auto t = storage::OpenTableFile(PathOf(type_), type_, {});
    ASSERT_TRUE(t.ok()) << t.status().message();
    TableFile& table = *t.value();
    std::vector<std::byte> img(table.record_length());
    const auto& note = table.fields()[3];
    auto put = [&](uint32_t r, const std::string& text) {
      ASSERT_TRUE(table.ReadRecord(r, img.data()).ok());
      std::vector<uint8_t> bytes(text.begin(), text.end());
      ASSERT_TRUE(table.WritePendingMemo(img.data(), note, bytes, storage::MemoKind::kText).ok());
      ASSERT_TRUE(table.PostRecord(r, img.data()).ok());
    };
    put(1, "neu 1");
    put(15, std::string(700, 'M'));
    put(18, "");
    img = table.BlankRecord();
    std::vector<uint8_t> bytes{'a', 'n', 'g', 'e', 'h', 0x84, 'n', 'g', 't'};
    ASSERT_TRUE(table.WriteMemo(img.data(), note, bytes, storage::MemoKind::kText).ok());
    ASSERT_TRUE(table.AppendRecord(img.data()).ok());
    ASSERT_TRUE(table.Flush().ok());
  }
  std::vector<Row> want = before;
  want[0].values[3] = "neu 1";
  want[0].nulls[3] = false;
  want[14].values[3] = std::string(700, 'M');
  want[14].nulls[3] = false;
  want[17].values[3] = "";
  want[17].nulls[3] = true;
  std::vector<Row> after = Prefix(Snapshot(), 4);
  ASSERT_EQ(after.size(), 301u);
  EXPECT_EQ(after.back().values[3], std::string("angeh\x84ngt"));
  after.pop_back();
  EXPECT_EQ(after, want);

  // A memo column converted to text goes through the values, and drops the memo file.
  ExecutionOutcome converted = Run("ALTER TABLE Kinder ALTER Notiz Notiz char(200)");
  ASSERT_TRUE(converted.error.ok()) << converted.error.message();
  after = Prefix(Snapshot(), 4);
  EXPECT_EQ(after[0].values[3], "neu 1");
  EXPECT_EQ(after[11].values[3], std::string(200, 'L'));
}

INSTANTIATE_TEST_SUITE_P(Formats, SqlRestructureMemos,
                         ::testing::Values(TableType::kAdt, TableType::kCdx, TableType::kNtx));

}  // namespace
}  // namespace ace::sql
