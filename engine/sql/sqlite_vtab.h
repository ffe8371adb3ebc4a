// The SQL session of a statement: an in-memory SQLite database in which the tables of the
// connection's directory appear as virtual tables over the engine's own storage, and the
// running of one non-DDL statement (SELECT, INSERT, UPDATE, DELETE, ...) in it.
//
// Tables appear on first use: a statement that names a table SQLite does not know yet makes the
// session look for the table file in the connection's directory (letter case ignored, the
// statement's table type giving the default extension) and declare it as a virtual table; a
// name without a file is a 7200 kTableNotFound error. Column names are the fields' names; the
// declared column types are the engine's SQL type names (char(20), integer, date, ...).
//
// Values as SQL sees them: logicals 1/0; dates 'YYYY-MM-DD', times 'HH:MM:SS.SSS', timestamps
// 'YYYY-MM-DD HH:MM:SS.SSS' (text); character fields without their trailing blanks; memo text as
// text, binary memos and raw fields as blobs; null fields NULL. Deleted records are hidden
// unless the process shows deleted records. The rowid is the record number.
//
// Writing: INSERT, UPDATE and DELETE are collected during the statement (each value converted
// and checked as it arrives, a value that does not fit its column refusing the statement) and
// written when SQLite commits the statement: records are locked first (a record or table
// another user holds refuses the statement before anything is written), before-images are kept,
// and a failure while writing restores them, so a failing statement changes nothing. Appended
// records cannot be taken back out of the file after a failed write; they become blank deleted
// records. Every write goes through the index files open on the table in the connection and its
// structural index (opened for the statement when no cursor has it open): candidate keys are
// checked before each record is written, the keys follow each write, and a failing statement
// takes its keys back with its records (cursor::TableIndexes' batches).
//
// Results of queries are written by the caller's choice: as a static temporary ADT table, or,
// for a live result (one table, no grouping, joins, aggregates, DISTINCT or ORDER BY), as the
// record numbers of the selected rows.
//
// Not thread-safe: a session belongs to its statement's thread. The session holds the tables it
// declared open (shared) until it is destroyed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/status.h"
#include "engine/cursor/connection.h"
#include "engine/sql/params.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/statement.h"

struct sqlite3;

namespace ace::sql {

struct RunOutcome {
  std::optional<uint32_t> rows_affected;  // INSERT/UPDATE/DELETE: changes; query: rows
  std::optional<QueryResult> result;      // set for a statement that returns rows
  std::optional<uint32_t> last_autoinc;   // of the last record an INSERT appended
};

class SqlSession {
 public:
  // A session over the connection's directory with the statement's options. Fails only when
  // SQLite cannot open its in-memory database.
  static Result<std::unique_ptr<SqlSession>> Open(cursor::Connection& connection,
                                                  const StatementOptions& options);
  ~SqlSession();
  SqlSession(const SqlSession&) = delete;
  SqlSession& operator=(const SqlSession&) = delete;

  // Runs one statement (ANSI text, parameters as "?N", see params.h). A query's result is
  // written into a new table static_path when it is not live (live only when allow_live).
  // Failures are 7200 errors located at place.
  Result<RunOutcome> Run(const std::string& text, const ParamSet& params, bool allow_live,
                         const std::string& static_path, const StatementPlace& place);

  // Prepares the statement without running it (AdsVerifySQL).
  Status Check(const std::string& text, const StatementPlace& place);

  struct Impl;

 private:
  explicit SqlSession(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace ace::sql
