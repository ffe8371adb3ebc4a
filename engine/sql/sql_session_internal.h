// Internals shared by the SQL session (sql_session.cpp) and its virtual tables
// (sqlite_vtab.cpp): the session's state, the declared tables with their pending changes, and
// the conversion of SQL values into record images. Not part of the engine's interface.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/status.h"
#include "engine/cursor/connection.h"
#include "engine/fields/field_codec.h"
#include "engine/sql/sqlite_vtab.h"

namespace ace::sql {
namespace internal {

std::string Lower(std::string s);
// An SQL identifier in double quotes.
std::string QuoteIdent(const std::string& utf8);
bool EndsWithNoCase(const std::string& s, const char* suffix);

// A value that SQLite handed over, copied so that it outlives the call.
struct SqlValue {
  int type = SQLITE_NULL;
  int64_t integer = 0;
  double real = 0;
  std::string bytes;  // text (UTF-8) or blob
};

SqlValue CopyValue(sqlite3_value* v);

// The content a value stores in memo field number field (null: the field becomes null).
struct MemoWrite {
  size_t field = 0;
  std::vector<uint8_t> data;
  bool null = false;
};

// The memo kind a memo field's content is stored as.
storage::MemoKind MemoKindOf(uint16_t type);

// Writes value v into field i of image (non-memo fields) or describes the memo write in memos.
// A value the field cannot take is kValueNotHeld naming the column; the image is unchanged then.
Status StoreValue(const fields::FieldContext& ctx, fields::Image image, size_t i, const SqlValue& v,
                  std::vector<MemoWrite>* memos);

// One change of a statement, written when SQLite commits it.
struct PendingOp {
  enum Kind { kInsert, kUpdate, kDelete } kind = kInsert;
  uint32_t recno = 0;
  std::vector<std::byte> image;
  std::vector<MemoWrite> memos;
};

// What a statement reads, as the authorizer reports it while the statement is prepared.
struct Access {
  std::vector<std::string> tables;  // lower-case, distinct
  bool aggregate = false;
  const bool* declaring = nullptr;  // true while the session declares a table
};

// A table declared in a session: its shared file, the changes of the running statement and
// what is needed to take them back.
struct TableState {
  SqlSession::Impl* session = nullptr;
  std::string name;  // ANSI, for messages
  std::shared_ptr<cursor::SharedTable> table;
  std::vector<PendingOp> pending;
  std::vector<std::pair<uint32_t, std::vector<std::byte>>> before;
  std::vector<uint32_t> appended;
  std::vector<uint32_t> taken_locks;
  uint32_t pending_inserts = 0;
  // While a statement writes: the structural index held open for it (one user of the
  // connection's TableIndexes), whether the index batch runs and the append lock is held.
  index::IndexFile* structural = nullptr;
  bool index_batch = false;
  bool append_locked = false;

  storage::TableFile& file() { return *table->file; }
  // The conversion context of field i, with the statement's character type.
  fields::FieldContext Ctx(size_t i);
};

// The virtual table module of the engine's tables ("ace_table"); its client data is the
// session's Impl.
const sqlite3_module& TableModule();

}  // namespace internal

// The state behind a SqlSession (shared by the session and its virtual tables).
struct SqlSession::Impl {
  cursor::Connection& connection;
  StatementOptions options;
  sqlite3* db = nullptr;
  // Tables being declared, handed to xCreate by their number in this list.
  std::vector<std::unique_ptr<internal::TableState>> declared_pending;
  struct Declared {
    std::string path;
    storage::TableType type;
  };
  std::map<std::string, Declared> declared;  // by lower-case UTF-8 name
  Status failure;                            // the engine error behind the last failing SQLite call
  std::optional<uint32_t> last_autoinc;
  std::chrono::steady_clock::time_point deadline{};
  bool timed_out = false;
  bool aborted = false;  // the thread's SQL abort function asked to stop
  bool declaring = false;  // the session itself declares a table: the authorizer lets it

  Impl(cursor::Connection& c, const StatementOptions& o) : connection(c), options(o) {}
  ~Impl() {
    if (db != nullptr) sqlite3_close_v2(db);
  }
  Status Declare(const std::string& name_utf8, const StatementPlace& place);
  // Prepares one statement, declaring the tables it names; access collects what it reads.
  Result<sqlite3_stmt*> PrepareOne(const std::string& sql, const StatementPlace& place,
                                   internal::Access* access = nullptr);
  Result<sqlite3_stmt*> PrepareLoop(const std::string& sql, const StatementPlace& place);
  Status SqliteError(int rc, const StatementPlace& place);
};

}  // namespace ace::sql
