// An SQL statement of a connection: its options, its prepared text split into statements, the
// parameters of that text and the outcome of its last execution. The C API's statement handle
// (engine/api/sql_api.cpp) wraps one of these; result cursors and handles are that layer's.
//
// Execution runs the statements of the text in order (ddl_executor.h): CREATE/ALTER/DROP go to
// the engine's DDL, everything else to the statement's SQL session (sqlite_vtab.h). The first
// failure stops the run; statements before it stay done. A table that another user (another
// cursor of this connection, another connection, another process) holds open is refused before
// anything is written: the DDL takes the table's exclusive open lock for the length of the run.
//
// Texts are 8-bit in the ANSI code page, as the C API takes them (the W entry points convert).
// Not thread-safe: a statement belongs to its connection's thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/status.h"
#include "engine/cursor/connection.h"
#include "engine/cursor/table_locks.h"
#include "engine/sql/params.h"
#include "engine/sql/statement_split.h"
#include "engine/storage/table_file.h"

namespace ace::sql {

// The options of AdsStmtSet... . Defaults: proprietary locks, ADT tables, rights checked,
// read-only results, no collation, ANSI characters, no timeout.
struct StatementOptions {
  cursor::LockScheme lock = cursor::LockScheme::kProprietary;
  std::string collation;
  bool check_rights = true;
  bool read_only = true;  // results are read-only (no live cursor)
  storage::TableType type = storage::TableType::kAdt;
  uint16_t char_type = 1;
  bool constrain = false;
  bool read_all_columns = false;
  uint32_t timeout_seconds = 0;
  // Passwords for the encrypted tables the statement opens without their key: a table's own,
  // else the general one (sql_session.cpp, ApplyPassword).
  std::optional<std::string> encryption_password;
  std::map<std::string, std::string> table_passwords;  // by upper-case table name
};

// What a query produced.
struct QueryResult {
  bool live = false;
  std::string table_path;  // live: the table the rows are records of
  storage::TableType table_type = storage::TableType::kAdt;
  std::vector<uint32_t> records;  // live: record numbers of the rows, sorted
  std::string static_path;        // static: the temporary table written
  uint32_t rows = 0;
};

class SqlStatement {
 public:
  explicit SqlStatement(cursor::Connection& connection);
  ~SqlStatement();  // removes its temporary folder
  SqlStatement(const SqlStatement&) = delete;
  SqlStatement& operator=(const SqlStatement&) = delete;

  StatementOptions& options() { return options_; }
  const StatementOptions& options() const { return options_; }
  cursor::Connection& connection() { return connection_; }

  // Splits and keeps a text (ANSI) and numbers its parameters. An unterminated quote or comment
  // is a 7200 error and leaves the statement unprepared. An empty text is prepared as no
  // statement at all; executing it does nothing.
  Status Prepare(std::string_view text);
  bool prepared() const { return prepared_; }
  const std::vector<Statement>& statements() const { return statements_; }
  ParamSet& params() { return params_; }
  const ParamSet& params() const { return params_; }

  // Runs the prepared text. Without a prepared text: 7200 kNotPrepared.
  Status Execute();
  // Checks a text without running it: it is split, DDL is parsed, other statements are
  // prepared by SQLite over the connection's tables (those after a DDL statement only split,
  // since the tables they will meet do not exist yet). The prepared text is not touched.
  Status Verify(std::string_view text);

  // Rows affected by the last execution; nullopt before any, after a failed one and after one
  // whose statements have no row count (DDL only).
  std::optional<uint32_t> rows_affected() const { return rows_affected_; }
  // The result of the last statement of the last execution that returned rows, handed over
  // once: a static result's table belongs to the caller from then on (see temp_folder()).
  std::optional<QueryResult> TakeResult();
  // The folder of this statement's static results, created on first need; removed with the
  // statement.
  Result<std::string> temp_folder();

  // The autoincrement value of the last record an INSERT of this statement wrote; 0 before.
  uint32_t last_autoinc() const { return last_autoinc_; }
  void set_last_autoinc(uint32_t v) { last_autoinc_ = v; }

 private:
  cursor::Connection& connection_;
  StatementOptions options_;
  bool prepared_ = false;
  std::string text_;
  std::vector<Statement> statements_;
  ParamSet params_;
  std::optional<uint32_t> rows_affected_;
  uint32_t last_autoinc_ = 0;
  std::optional<QueryResult> result_;
  std::string temp_folder_;
  uint32_t results_made_ = 0;
};

}  // namespace ace::sql
