// The DDL executor (see ddl_executor.h).
#include "engine/sql/ddl_executor.h"

#include <cctype>
#include <filesystem>

#include "engine/base/callbacks.h"
#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/sql/ddl_types.h"
#include "engine/sql/restructure.h"
#include "engine/sql/restructure_indexes.h"
#include "engine/sql/sql_error.h"

namespace ace::sql {
namespace {

using storage::TableType;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool HasExtension(const std::string& name) {
  size_t slash = name.find_last_of("/\\");
  size_t dot = name.rfind('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
         dot + 1 < name.size();
}

std::string BaseOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
  return path.substr(0, dot);
}

std::string StemOf(const std::string& name) {
  std::string n = NormalizePath(name);
  size_t slash = n.rfind('/');
  if (slash != std::string::npos) n = n.substr(slash + 1);
  return HasExtension(n) ? n.substr(0, n.rfind('.')) : n;
}

// One statement being run: its parse and its place.
struct Parsed {
  size_t index = 0;  // 0-based in the statements
  Result<DdlStatement> ddl = Status(kErrInternal, "not parsed");
};

class Executor {
 public:
  Executor(const std::vector<Statement>& statements, const DdlContext& context)
      : sts_(statements), ctx_(context) {}

  // The text reports its progress statement by statement (a statement that rewrites a table
  // reports within its part) and polls the SQL abort function before each one; a stop ends the
  // text there with 5070: the statements before it stay done, the stopped one changes nothing.
  ExecutionOutcome Run() {
    Progress progress(sts_.size());
    size_t i = 0;
    while (i < sts_.size()) {
      const Statement& st = sts_[i];
      Status go_on = PollSqlAbort();
      if (go_on.ok() && i > 0) go_on = progress.Advance(i);
      if (!go_on.ok()) {
        out_.error = go_on;
        break;
      }
      progress.Share(i, i + 1);
      if (!IsDdl(st.text)) {
        if (!RunOther(i)) break;
        ++i;
        continue;
      }
      auto parsed = ParseDdl(st, i + 1, sts_.size());
      if (!parsed.ok()) {
        out_.error = parsed.status();
        break;
      }
      if (std::holds_alternative<AlterTableStmt>(parsed.value())) {
        size_t next = RunAlterRun(i, std::get<AlterTableStmt>(parsed.value()));
        if (!out_.error.ok()) break;
        i = next;
        continue;
      }
      Status s = RunOne(i, parsed.value());
      if (!s.ok()) {
        // A refusal inside a transaction keeps its own code (it names its statement already).
        out_.error = s.code() == kErrTransaction ? s : Locate(s, PlaceOf(st, i + 1, sts_.size()));
        break;
      }
      out_.done.push_back(StatementOutcome{i + 1, 0});
      ++i;
    }
    // The last statement is done: nothing is left to stop, the answer to 100 percent is moot.
    if (out_.error.ok()) (void)progress.Advance(sts_.size());
    return std::move(out_);
  }

 private:
  StatementPlace Place(size_t i, std::optional<size_t> offset = std::nullopt) const {
    return PlaceOf(sts_[i], i + 1, sts_.size(), offset);
  }

  bool RunOther(size_t i) {
    uint32_t rows = 0;
    Status s = ctx_.run_other ? ctx_.run_other(sts_[i], i + 1, sts_.size(), &rows)
                              : SqlError(NativeError::kNotDdl,
                                         "Only CREATE, ALTER and DROP statements can run here.",
                                         DescribePlace(Place(i)));
    if (!s.ok()) {
      out_.error = Locate(s, Place(i));
      return false;
    }
    out_.done.push_back(StatementOutcome{i + 1, rows});
    return true;
  }

  // kErrTransaction for a statement that a transaction could not undo (see DdlContext).
  Status RefuseInTransaction(size_t i, const std::string& operation) const {
    if (!ctx_.refuse_in_transaction) return Status::Ok();
    Status s = ctx_.refuse_in_transaction(operation);
    if (s.ok()) return s;
    return Status(s.code(), s.message() + DescribePlace(Place(i)));
  }

  // Collects the ALTER statements of one table that follow statement i and runs them in one
  // rewrite. Answers the index of the first statement not handled.
  size_t RunAlterRun(size_t i, const AlterTableStmt& first) {
    out_.error = RefuseInTransaction(i, "ALTER TABLE " + StemOf(first.table));
    if (!out_.error.ok()) return i + 1;
    const std::string path = ResolveTablePath(ctx_, first.table);
    std::vector<AlterStep> steps;
    steps.push_back(AlterStep{first.changes, &sts_[i], i + 1, sts_.size()});
    size_t j = i + 1;
    Status stop;  // a parse failure that ends the run: reported after the run is applied
    for (; j < sts_.size() && IsDdl(sts_[j].text); ++j) {
      auto p = ParseDdl(sts_[j], j + 1, sts_.size());
      if (!p.ok()) {
        stop = p.status();
        break;
      }
      const auto* alter = std::get_if<AlterTableStmt>(&p.value());
      if (alter == nullptr || ResolveTablePath(ctx_, alter->table) != path) break;
      steps.push_back(AlterStep{alter->changes, &sts_[j], j + 1, sts_.size()});
    }
    // The index files are checked against the columns each statement leaves: the statement
    // that would leave an index without its columns ends the run, as a refused statement does.
    Result<IndexRebuildPlan> plan = [&] {
      ProgressMute planning;  // builds on empty scratch tables: no part of the progress
      return PlanIndexRebuild(path, ctx_.type, steps);
    }();
    if (!plan.ok()) {
      out_.error = Locate(plan.status(), Place(i));
      return j;
    }
    if (plan->breaking_step) {
      const size_t k = *plan->breaking_step;
      stop = Locate(plan->breaking_error, Place(i + k));
      steps.resize(k);
      if (steps.empty()) {
        out_.error = stop;
        return j;
      }
    }
    RestructureRequest req;
    req.path = path;
    req.type = ctx_.type;
    req.table_name = StemOf(first.table);
    req.steps = std::move(steps);
    req.in_use = ctx_.in_use;
    RestructureOutcome r = RestructureTable(req);
    for (size_t k = 0; k < r.applied; ++k) out_.done.push_back(StatementOutcome{i + k + 1, 0});
    if (r.rewritten) {
      ++out_.rewrites;
      ProgressMute past_the_change;  // the new table is in place: its indexes must follow
      Status rebuilt = RebuildIndexes(path, ctx_.type, *plan);
      if (!rebuilt.ok()) {
        out_.error = Locate(rebuilt, Place(i + r.applied - 1));
        return j;
      }
    }
    if (!r.error.ok()) {
      out_.error = r.error;
    } else if (!stop.ok()) {
      out_.error = stop;
    }
    return j;
  }

  Status RunOne(size_t i, const DdlStatement& ddl) {
    if (const auto* c = std::get_if<CreateTableStmt>(&ddl)) return CreateTable(i, *c);
    if (const auto* d = std::get_if<DropTableStmt>(&ddl)) return DropTable(i, *d);
    if (std::holds_alternative<CreateIndexStmt>(ddl)) {
      return SqlError(NativeError::kIndexUnavailable,
                      "CREATE INDEX is refused: this engine does not build index files.");
    }
    if (std::holds_alternative<DropIndexStmt>(ddl)) {
      return SqlError(NativeError::kIndexUnavailable,
                      "DROP INDEX is refused: this engine does not keep index files.");
    }
    return SqlError(NativeError::kSyntax, "The statement is not one of the engine's DDL.");
  }

  Status CreateTable(size_t i, const CreateTableStmt& c) {
    const std::string path = ResolveTablePath(ctx_, c.table);
    const std::string table = StemOf(c.table);
    std::vector<storage::FieldSpec> specs;
    for (const ColumnDef& col : c.columns) {
      auto at = Place(i, col.offset);
      Status named = CheckColumnName(col.name, ctx_.type);
      if (!named.ok()) return Locate(named, at);
      for (const auto& s : specs) {
        if (Lower(s.name) == Lower(col.name)) {
          return SqlError(NativeError::kDuplicateColumn,
                          "The " + ColumnRef(col.name) + " is named twice in table " + table + ".",
                          DescribePlace(at));
        }
      }
      if (col.primary_key || col.unique) {
        return SqlError(NativeError::kIndexUnavailable,
                        "The " + ColumnRef(col.name) +
                            " asks for PRIMARY KEY or UNIQUE, which need an index this engine "
                            "does not build.",
                        DescribePlace(at));
      }
      if (col.default_value && *col.default_value != "NULL") {
        return SqlError(
            NativeError::kUnsupported,
            "The " + ColumnRef(col.name) + " has a DEFAULT value, which a free table cannot keep.",
            DescribePlace(at));
      }
      auto spec = ResolveType(col.type, ctx_.type);
      if (!spec.ok()) return Locate(spec.status(), Place(i, col.type.offset));
      spec.value().name = col.name;
      spec.value().nullable = !col.not_null;
      specs.push_back(spec.value());
    }
    if (FileExists(path)) {
      return SqlError(NativeError::kTableExists,
                      "Table " + table + " already exists (" + path + ").",
                      DescribePlace(Place(i, c.table_offset)));
    }
    auto created = storage::CreateTableFile(path, ctx_.type, specs, ctx_.create_options);
    if (!created.ok()) return created.status();
    return created.value()->Flush();
  }

  Status DropTable(size_t i, const DropTableStmt& d) {
    const std::string path = ResolveTablePath(ctx_, d.table);
    const std::string table = StemOf(d.table);
    ACE_RETURN_IF_ERROR(RefuseInTransaction(i, "DROP TABLE " + table));
    if (!FileExists(path)) {
      return SqlError(NativeError::kTableNotFound,
                      "Table " + table + " does not exist (" + path + ").",
                      DescribePlace(Place(i, d.table_offset)));
    }
    if (ctx_.in_use && ctx_.in_use(path)) {
      return SqlError(NativeError::kTableInUse,
                      "Table " + table + " is open by another user; it cannot be dropped now.");
    }
    ACE_RETURN_IF_ERROR(RemoveFile(path));
    const std::string base = BaseOf(path);
    std::string memo = storage::MemoExtension(ctx_.type);
    for (const std::string& ext : {memo, Upper(memo)}) RemoveFile(base + ext).ok();
    for (const std::string& f : IndexFilesOf(path)) {
      // Only the table's structural index shares its name; .ntx files may serve other tables.
      if (Lower(f.substr(f.size() - 4)) != ".ntx") RemoveFile(f).ok();
    }
    size_t slash = NormalizePath(path).rfind('/');
    return SyncDirectory(slash == std::string::npos ? "." : NormalizePath(path).substr(0, slash));
  }

  const std::vector<Statement>& sts_;
  const DdlContext& ctx_;
  ExecutionOutcome out_;
};

}  // namespace

std::string ResolveTablePath(const DdlContext& context, const std::string& name) {
  std::string file = NormalizePath(name);
  if (!HasExtension(file)) file += storage::TableExtension(context.type);
  std::string dir;
  std::string leaf = file;
  if (file.empty() || file[0] != '/') {
    dir = context.directory;
  }
  size_t slash = file.rfind('/');
  if (slash != std::string::npos) {
    dir = dir.empty() ? file.substr(0, slash) : JoinPath(dir, file.substr(0, slash));
    leaf = file.substr(slash + 1);
  }
  auto full = [&](const std::string& l) { return dir.empty() ? l : JoinPath(dir, l); };
  if (FileExists(full(leaf))) return full(leaf);
  // SQL names match files without regard to case: look for the one entry of the directory
  // whose name differs only in case (only names are read here, no file is opened).
  std::error_code ec;
  const std::string wanted = Lower(leaf);
  for (const auto& entry : std::filesystem::directory_iterator(dir.empty() ? "." : dir, ec)) {
    std::string n = entry.path().filename().string();
    if (Lower(n) == wanted) return full(n);
  }
  return full(leaf);
}

std::vector<std::string> IndexFilesOf(const std::string& table_path) {
  std::vector<std::string> found;
  const std::string base = BaseOf(table_path);
  for (const char* ext : {".cdx", ".CDX", ".idx", ".IDX", ".ntx", ".NTX", ".adi", ".ADI"}) {
    if (FileExists(base + ext)) found.push_back(base + ext);
  }
  return found;
}

}  // namespace ace::sql

namespace ace::sql {

ExecutionOutcome ExecuteStatements(const std::vector<Statement>& statements,
                                   const DdlContext& context) {
  return Executor(statements, context).Run();
}

}  // namespace ace::sql
