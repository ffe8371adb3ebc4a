// Running the DDL statements of an SQL text: the engine side of AdsExecuteSQL for CREATE TABLE,
// ALTER TABLE, DROP TABLE, CREATE INDEX and DROP INDEX. Statement handles, parameters and the
// other statements (handed over through DdlContext::run_other) belong to the statement layer.
//
// Statements run in order; the first failure stops the text (later statements do not run) and
// is answered with the results of the statements before it. Consecutive ALTER TABLE statements
// of the same table are applied in one rewrite (RestructureTable) but still succeed or fail one
// by one: when statement k of such a run fails, statements before k take effect.
//
// Table names: a name without extension gets the table type's (".adt", ".dbf"); a relative name
// is looked up in the context's directory, as written or else without regard to case. Not
// thread-safe for one directory; the caller holds the locks it needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/status.h"
#include "engine/sql/ddl.h"
#include "engine/sql/statement_split.h"
#include "engine/storage/table_file.h"

namespace ace::sql {

struct DdlContext {
  std::string directory;  // the database directory of the connection
  storage::TableType type = storage::TableType::kAdt;
  storage::CreateOptions create_options;  // for CREATE TABLE
  // True when another user holds the table (its data file path) open; empty = nobody does.
  std::function<bool(const std::string& path)> in_use;
  // Refuses (kErrTransaction) what a transaction of the connection could not undo: ALTER TABLE
  // and DROP TABLE while one is active. Empty = nothing is refused.
  std::function<Status(std::string_view operation)> refuse_in_transaction;
  // Runs a statement that is not DDL (SELECT, INSERT, ...) and sets *rows; empty = such a
  // statement is refused with kNotDdl.
  std::function<Status(const Statement& statement, size_t index, size_t count, uint32_t* rows)>
      run_other;
};

struct StatementOutcome {
  size_t index = 0;            // 1-based, in the text
  uint32_t rows_affected = 0;  // 0 for DDL
};

struct ExecutionOutcome {
  std::vector<StatementOutcome> done;  // the statements that took effect, in order
  Status error;                        // the first failure, or Ok
  size_t rewrites = 0;                 // table rewrites made (for diagnostics and tests)
};

ExecutionOutcome ExecuteStatements(const std::vector<Statement>& statements,
                                   const DdlContext& context);

// The data file a table name in a statement stands for (see the naming rules above).
std::string ResolveTablePath(const DdlContext& context, const std::string& name);

// Index files beside a table that a rewrite must rebuild: "<name>.cdx", ".idx", ".ntx" and
// ".adi" in both cases (restructure_indexes.h rebuilds them).
std::vector<std::string> IndexFilesOf(const std::string& table_path);

}  // namespace ace::sql
