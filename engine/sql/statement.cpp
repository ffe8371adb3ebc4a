// SQL statements of a connection: preparing, running and checking texts (see statement.h).
#include "engine/sql/statement.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/sql/ddl.h"
#include "engine/sql/ddl_executor.h"
#include "engine/sql/dictionary_sql.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/sqlite_vtab.h"

namespace ace::sql {
namespace {

// True when fd is the file that path names now.
bool SameFile(int fd, const std::string& path) {
  struct stat held {};
  struct stat named {};
  return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

// The exclusive open locks a run of DDL takes on the tables it changes, held until the run
// ends. A table is in use when a cursor of this connection has it open or another user (another
// connection or process) holds an open lock on it.
class UseGuard {
 public:
  UseGuard(const cursor::Connection& connection, cursor::LockScheme scheme)
      : connection_(connection), scheme_(scheme) {}

  bool InUse(const std::string& path) {
    if (connection_.IsOpen(path)) return true;
    const std::string canonical = cursor::CanonicalPath(path);
    for (auto it = holds_.begin(); it != holds_.end(); ++it) {
      if ((*it)->canonical != canonical) continue;
      if (SameFile((*it)->file.fd(), path)) return false;  // already ours for this run
      holds_.erase(it);  // a rewrite replaced the file: the lock must be taken on the new one
      break;
    }
    auto file = File::Open(path, OpenMode::kReadWrite);
    if (!file.ok()) return false;  // a missing table is the executor's to report
    auto hold = std::make_unique<Hold>();
    hold->canonical = canonical;
    hold->file = std::move(file.value());
    hold->locks = std::make_unique<cursor::TableLocks>(hold->file.fd(), scheme_, path);
    if (!hold->locks->AcquireOpen(true).ok()) return true;
    holds_.push_back(std::move(hold));
    return false;
  }

 private:
  struct Hold {
    std::string canonical;
    File file;
    std::unique_ptr<cursor::TableLocks> locks;  // released before the file closes
    ~Hold() { locks.reset(); }
  };
  const cursor::Connection& connection_;
  cursor::LockScheme scheme_;
  std::vector<std::unique_ptr<Hold>> holds_;
};

}  // namespace

SqlStatement::SqlStatement(cursor::Connection& connection) : connection_(connection) {}

SqlStatement::~SqlStatement() {
  if (result_ && !result_->static_path.empty()) (void)RemoveFile(result_->static_path);
  if (!temp_folder_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(temp_folder_, ec);
  }
}

Result<std::string> SqlStatement::temp_folder() {
  if (!temp_folder_.empty()) return temp_folder_;
  std::error_code ec;
  std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  if (ec) base = "/tmp";
  std::string pattern = (base / "ace_sql_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    return Status(kErrIo, pattern + ": the folder for SQL results cannot be created");
  }
  temp_folder_ = pattern;
  return temp_folder_;
}

std::optional<QueryResult> SqlStatement::TakeResult() {
  std::optional<QueryResult> r = std::move(result_);
  result_.reset();
  return r;
}

Status SqlStatement::Prepare(std::string_view text) {
  prepared_ = false;
  statements_.clear();
  params_ = ParamSet();
  rows_affected_.reset();
  auto split = SplitStatements(text);
  if (!split.ok()) return split.status();
  text_ = std::string(text);
  statements_ = std::move(split.value());
  params_.Assign(statements_);
  prepared_ = true;
  return Status::Ok();
}

Status SqlStatement::Execute() {
  rows_affected_.reset();
  if (result_ && !result_->static_path.empty()) (void)RemoveFile(result_->static_path);
  result_.reset();
  if (!prepared_) {
    return SqlError(NativeError::kNotPrepared,
                    "The statement has no prepared text; prepare one before executing it.");
  }
  for (size_t i = 0; i < params_.size(); ++i) {
    if (params_.slot(i).value.kind == ParamValue::Kind::kUnset) {
      const std::string& name = params_.slot(i).name;
      return SqlError(NativeError::kParamNotSet,
                      "Parameter " + std::to_string(i + 1) +
                          (name.empty() ? std::string() : " (:" + name + ")") +
                          " has no value; set it with AdsSet... before executing.");
    }
  }
  UseGuard guard(connection_, options_.lock);
  std::optional<uint32_t> rows;
  DdlContext ctx;
  ctx.directory = connection_.path();
  ctx.type = options_.type;
  ctx.create_options.char_type = options_.char_type;
  ctx.create_options.collation = options_.collation;
  ctx.in_use = [&guard](const std::string& path) { return guard.InUse(path); };
  ctx.refuse_in_transaction = [this](std::string_view operation) {
    return connection_.RefuseInTransaction(operation);
  };
  // Statements other than DDL run in a session of their own, so that the tables they open are
  // closed again before a later DDL statement of the text looks at them.
  ctx.run_other = [&](const Statement& st, size_t index, size_t count, uint32_t* affected) {
    auto session = SqlSession::Open(connection_, options_);
    if (!session.ok()) return session.status();
    std::string path;
    auto folder = temp_folder();
    if (!folder.ok()) return folder.status();
    path = folder.value() + "/result_" + std::to_string(++results_made_) + ".adt";
    if (IsDictionaryStatement(st.text)) {
      std::optional<QueryResult> made;
      Status s = RunDictionaryStatement(connection_, params_.NumberedText(index - 1), params_, path,
                                        &made);
      if (s.ok() && made) result_ = std::move(made);
      return s;
    }
    auto out = session.value()->Run(params_.NumberedText(index - 1), params_, !options_.read_only,
                                    path, PlaceOf(st, index, count));
    if (!out.ok()) return out.status();
    if (out->last_autoinc) last_autoinc_ = *out->last_autoinc;
    if (out->rows_affected) {
      *affected = *out->rows_affected;
      rows = rows.value_or(0) + *out->rows_affected;
    }
    if (out->result) {
      if (result_ && !result_->static_path.empty()) (void)RemoveFile(result_->static_path);
      result_ = std::move(out->result);
    }
    return Status::Ok();
  };
  ExecutionOutcome out = ExecuteStatements(statements_, ctx);
  if (!out.error.ok()) {
    if (result_ && !result_->static_path.empty()) (void)RemoveFile(result_->static_path);
    result_.reset();
    return out.error;
  }
  rows_affected_ = rows;
  return Status::Ok();
}

Status SqlStatement::Verify(std::string_view text) {
  auto split = SplitStatements(text);
  if (!split.ok()) return split.status();
  const std::vector<Statement>& sts = split.value();
  ParamSet params;
  params.Assign(sts);
  std::unique_ptr<SqlSession> session;
  // After a DDL statement the tables are not what the later statements will meet, so those are
  // checked no further than the split.
  bool after_ddl = false;
  for (size_t i = 0; i < sts.size(); ++i) {
    if (IsDdl(sts[i].text)) {
      auto parsed = ParseDdl(sts[i], i + 1, sts.size());
      if (!parsed.ok()) return parsed.status();
      after_ddl = true;
      continue;
    }
    if (after_ddl || IsDictionaryStatement(sts[i].text)) continue;
    if (session == nullptr) {
      auto opened = SqlSession::Open(connection_, options_);
      if (!opened.ok()) return opened.status();
      session = std::move(opened.value());
    }
    ACE_RETURN_IF_ERROR(session->Check(params.NumberedText(i), PlaceOf(sts[i], i + 1, sts.size())));
  }
  return Status::Ok();
}

}  // namespace ace::sql
