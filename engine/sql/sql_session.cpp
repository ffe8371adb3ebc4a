// The SQL session: its in-memory SQLite database, the declaration of tables on first use, and
// running or checking one statement with its parameters and its result (see sqlite_vtab.h).
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <limits>

#include "engine/base/callbacks.h"
#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/crypt/table_key.h"
#include "engine/fields/code_page.h"
#include "engine/fields/field_codec.h"
#include "engine/sql/ddl_executor.h"
#include "engine/sql/ddl_types.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/sql_session_internal.h"

namespace ace::sql {

using namespace internal;
using storage::TableType;

namespace {

int Authorize(void* arg, int action, const char* a1, const char* a2, const char*, const char*) {
  auto* access = static_cast<Access*>(arg);
  // What would reach past the statement: other database files, SQLite's own transactions
  // (the engine commits every statement itself), settings and schema objects of the session.
  switch (action) {
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
    case SQLITE_PRAGMA:
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT:
    case SQLITE_ANALYZE:
    case SQLITE_REINDEX:
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_TEMP_TABLE:
    case SQLITE_CREATE_VIEW:
    case SQLITE_CREATE_TEMP_VIEW:
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_CREATE_TEMP_TRIGGER:
    case SQLITE_CREATE_INDEX:
    case SQLITE_CREATE_TEMP_INDEX:
      return SQLITE_DENY;
    case SQLITE_CREATE_VTABLE:
    case SQLITE_DROP_VTABLE:
      return access->declaring != nullptr && *access->declaring ? SQLITE_OK : SQLITE_DENY;
    default:
      break;
  }
  if (action == SQLITE_READ && a1 != nullptr && std::strncmp(a1, "sqlite_", 7) != 0) {
    std::string t = Lower(a1);
    if (std::find(access->tables.begin(), access->tables.end(), t) == access->tables.end())
      access->tables.push_back(t);
  }
  if (action == SQLITE_FUNCTION && a2 != nullptr) {
    static const char* const kAggregates[] = {"count", "sum",   "avg",          "min",
                                              "max",   "total", "group_concat", "string_agg"};
    for (const char* name : kAggregates) {
      if (Lower(a2) == name) access->aggregate = true;
    }
  }
  return SQLITE_OK;
}

// The words of a statement outside quotes and comments, upper case.
std::vector<std::string> Words(const std::string& sql) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      char close = c == '[' ? ']' : c;
      ++i;
      while (i < sql.size() && sql[i] != close) ++i;
      ++i;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      while (i < sql.size() && sql[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      size_t end = sql.find("*/", i + 2);
      i = end == std::string::npos ? sql.size() : end + 2;
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      size_t start = i;
      while (i < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_'))
        ++i;
      std::string w = sql.substr(start, i - start);
      for (char& ch : w) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      words.push_back(std::move(w));
    } else {
      ++i;
    }
  }
  return words;
}

int Progress(void* arg) {
  auto* session = static_cast<SqlSession::Impl*>(arg);
  if (!PollSqlAbort().ok()) {
    session->aborted = true;
    return 1;
  }
  if (session->options.timeout_seconds == 0) return 0;
  if (std::chrono::steady_clock::now() < session->deadline) return 0;
  session->timed_out = true;
  return 1;
}

}  // namespace

Status SqlSession::Impl::SqliteError(int rc, const StatementPlace& place) {
  if (aborted) {
    return Status(kErrOperationCancelled, "the statement was stopped by the SQL abort function; "
                                          "its changes were undone" + DescribePlace(place));
  }
  if (timed_out) {
    return SqlError(NativeError::kTimeout,
                    "The statement ran longer than its timeout of " +
                        std::to_string(options.timeout_seconds) + " seconds and was stopped.",
                    DescribePlace(place));
  }
  if (!failure.ok()) {
    Status s = std::move(failure);
    failure = Status::Ok();
    return Locate(s, place);
  }
  std::string msg = fields::Utf8ToAnsi(sqlite3_errmsg(db));
  if (!msg.empty()) msg[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(msg[0])));
  if ((rc & 0xFF) == SQLITE_AUTH) {
    return SqlError(NativeError::kUnsupported,
                    "The statement reaches past the engine's tables (other database files, "
                    "PRAGMA, SQL transactions or schema objects), which the engine's SQL does "
                    "not offer.",
                    DescribePlace(place));
  }
  NativeError native =
      (rc & 0xFF) == SQLITE_CONSTRAINT ? NativeError::kConstraint : NativeError::kSqlEngine;
  return SqlError(native, msg + ".", DescribePlace(place));
}

namespace {

// An encrypted table without its key takes the statement's password for it (the table's own,
// AdsStmtSetTablePassword, else AdsStmtEnableEncryption's); a wrong one is refused with 5080.
// The key then stays with the connection's open table, as AdsEnableEncryption's does.
Status ApplyPassword(storage::TableFile& file, const std::string& name,
                     const StatementOptions& options, const StatementPlace& place) {
  if (!file.encrypted() || file.has_key()) return Status::Ok();
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string* password = nullptr;
  if (auto it = options.table_passwords.find(upper); it != options.table_passwords.end())
    password = &it->second;
  else if (options.encryption_password)
    password = &*options.encryption_password;
  if (password == nullptr) return Status::Ok();  // its encrypted records will be refused
  auto key = crypt::TableKey::Derive(*password, *file.key_params());
  if (!key.ok())
    return Status(key.status().code(),
                  "table " + name + ": " + key.status().message() + DescribePlace(place));
  return file.SetKey(std::move(key.value()));
}

}  // namespace

Status SqlSession::Impl::Declare(const std::string& name_utf8, const StatementPlace& place) {
  const std::string name = fields::Utf8ToAnsi(name_utf8);
  DdlContext ctx;
  ctx.directory = connection.path();
  ctx.type = options.type;
  const std::string path = ResolveTablePath(ctx, name);
  if (!FileExists(path)) {
    return SqlError(NativeError::kTableNotFound,
                    "Table " + name + " does not exist (" + path + ").", DescribePlace(place));
  }
  cursor::OpenTableOptions open;
  open.type = EndsWithNoCase(path, ".adt")      ? TableType::kAdt
              : options.type == TableType::kAdt ? TableType::kCdx
                                                : options.type;
  open.char_type = options.char_type;
  open.lock = options.lock;
  open.check_rights = options.check_rights;
  open.collation = options.collation;
  auto shared = connection.AcquireTable(path, open);
  if (!shared.ok()) {
    if (shared.status().code() == kErrTableInUse) {
      return SqlError(NativeError::kTableInUse,
                      "Table " + name + " is open exclusively by another user.",
                      DescribePlace(place));
    }
    return Locate(shared.status(), place);
  }
  ACE_RETURN_IF_ERROR(ApplyPassword(*shared.value()->file, name, options, place));
  auto state = std::make_unique<TableState>();
  state->session = this;
  state->name = name;
  state->table = std::move(shared.value());
  declared_pending.push_back(std::move(state));
  const std::string sql = "CREATE VIRTUAL TABLE " + QuoteIdent(name_utf8) + " USING ace_table(" +
                          std::to_string(declared_pending.size() - 1) + ")";
  char* err = nullptr;
  declaring = true;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  declaring = false;
  std::string message = err != nullptr ? err : "";
  sqlite3_free(err);
  declared_pending.back().reset();
  if (rc == SQLITE_OK) declared[Lower(name_utf8)] = Declared{path, open.type};
  if (rc != SQLITE_OK) {
    return SqlError(NativeError::kSqlEngine,
                    "Table " + name + " could not be declared: " + message + ".",
                    DescribePlace(place));
  }
  return Status::Ok();
}

Result<sqlite3_stmt*> SqlSession::Impl::PrepareOne(const std::string& sql,
                                                   const StatementPlace& place, Access* access) {
  std::vector<std::string> words = Words(sql);
  if (!words.empty() && words.front() == "VACUUM") {
    return SqlError(NativeError::kUnsupported,
                    "VACUUM is not a statement of the engine; tables are packed with "
                    "AdsPackTable.",
                    DescribePlace(place));
  }
  Access local;
  if (access == nullptr) access = &local;
  access->declaring = &declaring;
  sqlite3_set_authorizer(db, Authorize, access);
  auto prepared = PrepareLoop(sql, place);
  sqlite3_set_authorizer(db, nullptr, nullptr);
  return prepared;
}

Result<sqlite3_stmt*> SqlSession::Impl::PrepareLoop(const std::string& sql,
                                                    const StatementPlace& place) {
  const std::string kNoTable = "no such table: ";
  for (int attempt = 0; attempt < 256; ++attempt) {
    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &st, &tail);
    if (rc == SQLITE_OK) {
      if (st == nullptr) {
        return SqlError(NativeError::kSqlEngine, "The statement is empty.", DescribePlace(place));
      }
      if (tail != nullptr &&
          std::string_view(tail).find_first_not_of(" \t\r\n") != std::string::npos) {
        sqlite3_finalize(st);
        return SqlError(NativeError::kSyntax, "The statement has text after its end.",
                        DescribePlace(place));
      }
      return st;
    }
    std::string msg = sqlite3_errmsg(db);
    if (msg.rfind(kNoTable, 0) == 0) {
      std::string name = msg.substr(kNoTable.size());
      if (name.rfind("main.", 0) == 0 || name.rfind("temp.", 0) == 0) name = name.substr(5);
      ACE_RETURN_IF_ERROR(Declare(name, place));
      continue;
    }
    return SqliteError(rc, place);
  }
  return SqlError(NativeError::kSqlEngine, "The statement names too many tables.",
                  DescribePlace(place));
}

SqlSession::SqlSession(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

SqlSession::~SqlSession() = default;

Result<std::unique_ptr<SqlSession>> SqlSession::Open(cursor::Connection& connection,
                                                     const StatementOptions& options) {
  auto impl = std::make_unique<Impl>(connection, options);
  int rc =
      sqlite3_open_v2(":memory:", &impl->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    return SqlError(NativeError::kSqlEngine,
                    "The SQL engine could not start: " + std::string(sqlite3_errstr(rc)) + ".");
  }
  sqlite3_extended_result_codes(impl->db, 1);
  sqlite3_limit(impl->db, SQLITE_LIMIT_ATTACHED, 0);
  sqlite3_db_config(impl->db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(impl->db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
  rc = sqlite3_create_module_v2(impl->db, "ace_table", &TableModule(), impl.get(), nullptr);
  if (rc != SQLITE_OK) {
    return SqlError(NativeError::kSqlEngine, "The SQL engine refused the table module: " +
                                                 std::string(sqlite3_errmsg(impl->db)) + ".");
  }
  sqlite3_progress_handler(impl->db, 1000, Progress, impl.get());
  return std::unique_ptr<SqlSession>(new SqlSession(std::move(impl)));
}

namespace {

// True for a query whose rows can be a live view of one table's records.
bool LiveShape(const std::string& sql, const Access& access, sqlite3_stmt* st) {
  if (access.tables.size() != 1 || access.aggregate) return false;
  std::vector<std::string> words = Words(sql);
  if (words.empty() || words.front() != "SELECT") return false;
  for (const std::string& w : words) {
    for (const char* refused : {"GROUP", "DISTINCT", "UNION", "INTERSECT", "EXCEPT", "JOIN",
                                "HAVING", "ORDER", "WITH", "WINDOW", "OVER", "VALUES"}) {
      if (w == refused) return false;
    }
  }
  for (int c = 0; c < sqlite3_column_count(st); ++c) {
    if (sqlite3_column_decltype(st, c) == nullptr) return false;  // an expression
  }
  return true;
}

struct Finalizer {
  sqlite3_stmt* st;
  ~Finalizer() { sqlite3_finalize(st); }
};

Status Bind(sqlite3_stmt* st, const ParamSet& params, const StatementPlace& place) {
  const int count = sqlite3_bind_parameter_count(st);
  for (int n = 1; n <= count; ++n) {
    if (sqlite3_bind_parameter_name(st, n) == nullptr) continue;  // not in this statement
    if (static_cast<size_t>(n) > params.size()) {
      return SqlError(NativeError::kParamUnknown,
                      "Parameter ?" + std::to_string(n) + " is not one of the text's parameters.",
                      DescribePlace(place));
    }
    const ParamValue& v = params.slot(static_cast<size_t>(n) - 1).value;
    int rc = SQLITE_OK;
    Result<std::string> text = std::string();
    switch (v.kind) {
      case ParamValue::Kind::kUnset:
      case ParamValue::Kind::kNull:
        rc = sqlite3_bind_null(st, n);
        break;
      case ParamValue::Kind::kText: {
        std::string utf8 = fields::AnsiToUtf8(v.bytes);
        rc = sqlite3_bind_text(st, n, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        break;
      }
      case ParamValue::Kind::kInteger:
      case ParamValue::Kind::kLogical:
        rc = sqlite3_bind_int64(st, n, v.integer);
        break;
      case ParamValue::Kind::kDouble:
        rc = sqlite3_bind_double(st, n, v.real);
        break;
      case ParamValue::Kind::kBinary:
        rc = sqlite3_bind_blob(st, n, v.bytes.data(), static_cast<int>(v.bytes.size()),
                               SQLITE_TRANSIENT);
        break;
      case ParamValue::Kind::kDate:
      case ParamValue::Kind::kTime:
      case ParamValue::Kind::kTimestamp:
        text = v.kind == ParamValue::Kind::kDate   ? SqlDateText(v.julian)
               : v.kind == ParamValue::Kind::kTime ? SqlTimeText(v.milliseconds)
                                                   : SqlTimestampText(v.julian, v.milliseconds);
        if (!text.ok()) {
          return SqlError(NativeError::kParamValue,
                          "Parameter " + std::to_string(n) +
                              " holds no valid date or time: " + text.status().message() + ".",
                          DescribePlace(place));
        }
        rc = sqlite3_bind_text(st, n, text.value().data(), static_cast<int>(text.value().size()),
                               SQLITE_TRANSIENT);
        break;
    }
    if (rc != SQLITE_OK) {
      return SqlError(
          NativeError::kParamValue,
          "Parameter " + std::to_string(n) + " could not be bound: " + sqlite3_errstr(rc) + ".",
          DescribePlace(place));
    }
  }
  return Status::Ok();
}

// The column of a static result: from the declared type of its source column, else from the
// values it holds.
storage::FieldSpec ResultSpec(sqlite3_stmt* st, int c,
                              const std::vector<std::vector<SqlValue>>& rows) {
  if (const char* decl = sqlite3_column_decltype(st, c)) {
    TypeName tn;
    std::string d = Lower(decl);
    size_t open = d.find('(');
    tn.name = d.substr(0, open);
    while (!tn.name.empty() && tn.name.back() == ' ') tn.name.pop_back();
    if (open != std::string::npos) {
      tn.length = static_cast<uint32_t>(std::strtoul(d.c_str() + open + 1, nullptr, 10));
      size_t comma = d.find(',', open);
      if (comma != std::string::npos)
        tn.scale = static_cast<uint32_t>(std::strtoul(d.c_str() + comma + 1, nullptr, 10));
    }
    // A copy keeps values: generated types become their plain kind.
    if (tn.name == "autoinc") tn.name = "integer";
    if (tn.name == "modtime") tn.name = "timestamp";
    if (tn.name == "rowversion") tn.name = "double";
    auto spec = ResolveType(tn, TableType::kAdt);
    if (spec.ok()) return spec.value();
  }
  bool text = false, blob = false, real = false, wide = false;
  size_t longest = 1;
  for (const auto& row : rows) {
    const SqlValue& v = row[static_cast<size_t>(c)];
    if (v.type == SQLITE_TEXT) {
      text = true;
      longest = std::max(longest, fields::Utf8ToAnsi(v.bytes).size());
    }
    blob = blob || v.type == SQLITE_BLOB;
    real = real || v.type == SQLITE_FLOAT;
    wide = wide || (v.type == SQLITE_INTEGER && (v.integer > std::numeric_limits<int32_t>::max() ||
                                                 v.integer < -std::numeric_limits<int32_t>::max()));
  }
  storage::FieldSpec spec;
  if (blob) {
    spec.type = storage::kFtBinary;
  } else if (text) {
    spec.type = longest > 255 ? storage::kFtMemo : storage::kFtString;
    spec.length = longest > 255 ? 0 : static_cast<uint32_t>(longest);
  } else if (real || wide) {
    spec.type = storage::kFtDouble;
  } else {
    spec.type = storage::kFtInteger;
  }
  return spec;
}

// The record numbers of a live query's rows: the same query with the record number in front,
// "SELECT rowid, <the columns> FROM ...". nullopt when the query cannot be put that way.
Result<std::optional<QueryResult>> LiveRows(SqlSession::Impl& s, const std::string& sql,
                                            const ParamSet& params, const std::string& table,
                                            const StatementPlace& place) {
  if (sql.size() < 7 || Lower(sql.substr(0, 6)) != "select") return std::optional<QueryResult>();
  auto prepared = s.PrepareOne("SELECT rowid, " + sql.substr(6), place);
  if (!prepared.ok()) {
    s.failure = Status::Ok();
    return std::optional<QueryResult>();
  }
  Finalizer guard{prepared.value()};
  ACE_RETURN_IF_ERROR(Bind(prepared.value(), params, place));
  QueryResult result;
  result.live = true;
  int rc = SQLITE_OK;
  while ((rc = sqlite3_step(prepared.value())) == SQLITE_ROW) {
    result.records.push_back(static_cast<uint32_t>(sqlite3_column_int64(prepared.value(), 0)));
  }
  if (rc != SQLITE_DONE) return s.SqliteError(rc, place);
  std::sort(result.records.begin(), result.records.end());
  result.records.erase(std::unique(result.records.begin(), result.records.end()),
                       result.records.end());
  const auto& declared = s.declared.at(table);
  result.table_path = declared.path;
  result.table_type = declared.type;
  result.rows = static_cast<uint32_t>(result.records.size());
  return std::optional<QueryResult>(std::move(result));
}

// The columns of a static result: types as ResultSpec finds them, names as the query gives
// them (made unique; "ExprN" where the name is no column name).
std::vector<storage::FieldSpec> ResultSpecs(sqlite3_stmt* st,
                                            const std::vector<std::vector<SqlValue>>& rows) {
  std::vector<storage::FieldSpec> specs;
  for (int c = 0; c < sqlite3_column_count(st); ++c) {
    storage::FieldSpec spec = ResultSpec(st, c, rows);
    const char* raw = sqlite3_column_name(st, c);
    std::string name = fields::Utf8ToAnsi(raw != nullptr ? raw : "");
    if (!CheckColumnName(name, TableType::kAdt).ok()) name = "Expr" + std::to_string(c + 1);
    std::string unique = name;
    for (int k = 2;; ++k) {
      bool taken = false;
      for (const auto& other : specs) taken = taken || Lower(other.name) == Lower(unique);
      if (!taken) break;
      unique = name.substr(0, 120) + "_" + std::to_string(k);
    }
    spec.name = unique;
    spec.nullable = true;
    specs.push_back(std::move(spec));
  }
  return specs;
}

Status FillRows(storage::TableFile& file, const std::vector<std::vector<SqlValue>>& rows,
                uint16_t char_type);

// Writes the rows into a new ADT table at path.
Status WriteRows(const std::string& path, const std::vector<storage::FieldSpec>& specs,
                 const std::vector<std::vector<SqlValue>>& rows, uint16_t char_type) {
  storage::CreateOptions create;
  create.char_type = char_type;
  auto table = storage::CreateTableFile(path, TableType::kAdt, specs, create);
  if (!table.ok()) return table.status();
  storage::TableFile& file = *table.value();
  // Nobody else knows of the new file yet: it is written through large buffers, without
  // per-record locks and header reads, and its header once at the end.
  ACE_RETURN_IF_ERROR(file.SetPrivate(true));
  Status filled = FillRows(file, rows, char_type);
  Status ended = file.SetPrivate(false);
  ACE_RETURN_IF_ERROR(filled);
  ACE_RETURN_IF_ERROR(ended);
  return file.Flush();
}

Status FillRows(storage::TableFile& file, const std::vector<std::vector<SqlValue>>& rows,
                uint16_t char_type) {
  for (const auto& row : rows) {
    std::vector<std::byte> image = file.BlankRecord();
    for (size_t c = 0; c < row.size(); ++c) {
      fields::FieldContext ctx{file.fields()[c]};
      ctx.table = TableType::kAdt;
      ctx.char_type = char_type;
      std::vector<MemoWrite> memos;
      ACE_RETURN_IF_ERROR(
          StoreValue(ctx, fields::Image(image.data(), image.size()), c, row[c], &memos));
      for (const MemoWrite& m : memos) {
        if (m.null || m.data.empty()) continue;
        ACE_RETURN_IF_ERROR(file.WriteMemo(image.data(), file.fields()[c], m.data,
                                           MemoKindOf(file.fields()[c].type)));
      }
    }
    auto appended = file.AppendRecord(image.data());
    if (!appended.ok()) return appended.status();
  }
  return Status::Ok();
}

// A query's rows as a static table at path; nothing is left there when writing fails.
Result<QueryResult> StaticRows(SqlSession::Impl& s, sqlite3_stmt* st, const std::string& path,
                               const StatementPlace& place) {
  // Every row is read first: the column types may depend on the values.
  std::vector<std::vector<SqlValue>> rows;
  const int columns = sqlite3_column_count(st);
  int rc = SQLITE_OK;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    std::vector<SqlValue> row;
    row.reserve(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) row.push_back(CopyValue(sqlite3_column_value(st, c)));
    rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) return s.SqliteError(rc, place);
  Status written = WriteRows(path, ResultSpecs(st, rows), rows, s.options.char_type);
  if (!written.ok()) {
    (void)RemoveFile(path);
    (void)RemoveFile(path.substr(0, path.size() - 4) + storage::MemoExtension(TableType::kAdt));
    return Locate(written, place);
  }
  QueryResult result;
  result.static_path = path;
  result.rows = static_cast<uint32_t>(rows.size());
  return result;
}

}  // namespace

Result<RunOutcome> SqlSession::Run(const std::string& text, const ParamSet& params, bool allow_live,
                                   const std::string& static_path, const StatementPlace& place) {
  Impl& s = *impl_;
  s.failure = Status::Ok();
  s.timed_out = false;
  s.aborted = false;
  s.last_autoinc.reset();
  s.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(s.options.timeout_seconds);
  const std::string sql = fields::AnsiToUtf8(text);
  Access access;
  auto prepared = s.PrepareOne(sql, place, &access);
  if (!prepared.ok()) return prepared.status();
  Finalizer guard{prepared.value()};
  sqlite3_stmt* st = prepared.value();
  ACE_RETURN_IF_ERROR(Bind(st, params, place));
  RunOutcome out;
  if (sqlite3_column_count(st) == 0) {  // INSERT, UPDATE, DELETE
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) return s.SqliteError(rc, place);
    out.rows_affected = static_cast<uint32_t>(sqlite3_changes(s.db));
    out.last_autoinc = s.last_autoinc;
    return out;
  }
  if (allow_live && LiveShape(sql, access, st)) {
    auto live = LiveRows(s, sql, params, access.tables.front(), place);
    if (!live.ok()) return live.status();
    if (live.value()) {
      out.rows_affected = live.value()->rows;
      out.result = std::move(live.value());
      return out;
    }
  }
  auto rows = StaticRows(s, st, static_path, place);
  if (!rows.ok()) return rows.status();
  out.rows_affected = rows->rows;
  out.result = std::move(rows.value());
  return out;
}

Status SqlSession::Check(const std::string& text, const StatementPlace& place) {
  impl_->failure = Status::Ok();
  impl_->timed_out = false;
  impl_->aborted = false;
  impl_->deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(impl_->options.timeout_seconds);
  auto prepared = impl_->PrepareOne(fields::AnsiToUtf8(text), place);
  if (!prepared.ok()) return prepared.status();
  sqlite3_finalize(prepared.value());
  return Status::Ok();
}

}  // namespace ace::sql
