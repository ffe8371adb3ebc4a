// The SQL session and its virtual tables over the engine's storage (see sqlite_vtab.h).
#include "engine/sql/sqlite_vtab.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/cursor/cursor.h"
#include "engine/fields/code_page.h"
#include "engine/fields/field_codec.h"
#include "engine/sql/ddl.h"
#include "engine/sql/ddl_executor.h"
#include "engine/sql/ddl_types.h"

namespace ace::sql {
namespace {

using storage::FieldDesc;
using storage::TableType;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string QuoteIdent(const std::string& utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

bool EndsWithNoCase(const std::string& s, const char* suffix) {
  size_t n = std::strlen(suffix);
  return s.size() >= n && Lower(s.substr(s.size() - n)) == suffix;
}

// The SQL type name of a field, in the engine's DDL spelling (ddl_types.h).
std::string SqlTypeOf(const FieldDesc& f) {
  const std::string n = std::to_string(f.length);
  switch (f.type) {
    case storage::kFtLogical:
      return "logical";
    case storage::kFtNumeric: {
      const uint32_t p = f.decimals == 0 ? f.length - 1 : f.length - 2;
      return "numeric(" + std::to_string(p) + "," + std::to_string(f.decimals) + ")";
    }
    case storage::kFtDate:
      return "date";
    case storage::kFtString:
      return "char(" + n + ")";
    case storage::kFtMemo:
    case storage::kFtVarchar:
      return "memo";
    case storage::kFtBinary:
    case storage::kFtFoxBlob:
    case storage::kFtFoxGeneral:
      return "blob";
    case storage::kFtImage:
      return "image";
    case storage::kFtCompactDate:
      return "shortdate";
    case storage::kFtDouble:
      return "double";
    case storage::kFtInteger:
      return "integer";
    case storage::kFtShortInt:
      return "short";
    case storage::kFtTime:
      return "time";
    case storage::kFtTimestamp:
      return "timestamp";
    case storage::kFtAutoInc:
      return "autoinc";
    case storage::kFtRaw:
    case storage::kFtVarbinaryFox:
      return "raw(" + n + ")";
    case storage::kFtCurDouble:
      return "curdouble";
    case storage::kFtMoney:
      return "money";
    case storage::kFtCiString:
      return "cichar(" + n + ")";
    case storage::kFtRowVersion:
      return "rowversion";
    case storage::kFtModTime:
      return "modtime";
    case storage::kFtVarcharFox:
      return "varchar(" + n + ")";
    case storage::kFtNChar:
      return "nchar(" + std::to_string(f.length / 2) + ")";
    case storage::kFtNVarchar:
      return "nvarchar(" + std::to_string(f.length / 2) + ")";
    case storage::kFtNMemo:
      return "nmemo";
    default:
      return "blob";
  }
}

bool IsTextMemo(uint16_t type) {
  return type == storage::kFtMemo || type == storage::kFtVarchar || type == storage::kFtNMemo;
}

bool IsCharType(uint16_t type) {
  return type == storage::kFtString || type == storage::kFtCiString ||
         type == storage::kFtVarcharFox || type == storage::kFtNChar ||
         type == storage::kFtNVarchar;
}

// Types whose value the storage gives a new record by itself.
bool IsGenerated(uint16_t type) {
  return type == storage::kFtAutoInc || type == storage::kFtRowVersion ||
         type == storage::kFtModTime;
}

storage::MemoKind MemoKindOf(uint16_t type) {
  if (type == storage::kFtImage) return storage::MemoKind::kImage;
  if (IsTextMemo(type)) return storage::MemoKind::kText;
  return storage::MemoKind::kBinary;
}

// ---- Values between SQLite and record images ------------------------------------------------

// A value that SQLite handed over, copied so that it outlives the call.
struct SqlValue {
  int type = SQLITE_NULL;
  int64_t integer = 0;
  double real = 0;
  std::string bytes;  // text (UTF-8) or blob
};

SqlValue CopyValue(sqlite3_value* v) {
  SqlValue out;
  out.type = sqlite3_value_type(v);
  switch (out.type) {
    case SQLITE_INTEGER:
      out.integer = sqlite3_value_int64(v);
      break;
    case SQLITE_FLOAT:
      out.real = sqlite3_value_double(v);
      break;
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
      const void* p = out.type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_value_text(v))
                                              : sqlite3_value_blob(v);
      int n = sqlite3_value_bytes(v);
      if (p != nullptr && n > 0)
        out.bytes.assign(static_cast<const char*>(p), static_cast<size_t>(n));
      break;
    }
    default:
      break;
  }
  return out;
}

// The memo content a value stores in a memo field, or nullopt for a null value.
struct MemoWrite {
  size_t field = 0;
  std::vector<uint8_t> data;
  bool null = false;
};

Status NotHeld(const FieldDesc& f, const std::string& what) {
  return SqlError(NativeError::kValueNotHeld,
                  "The value " + what + " does not fit " + ColumnRef(f.name) + ".");
}

std::string Shown(const SqlValue& v) {
  switch (v.type) {
    case SQLITE_INTEGER:
      return std::to_string(v.integer);
    case SQLITE_FLOAT:
      return std::to_string(v.real);
    case SQLITE_TEXT:
      return "'" + (v.bytes.size() > 40 ? v.bytes.substr(0, 37) + "..." : v.bytes) + "'";
    case SQLITE_BLOB:
      return "of " + std::to_string(v.bytes.size()) + " bytes";
    default:
      return "NULL";
  }
}

// Writes value into field i of image (non-memo fields) or describes the memo write. A value the
// field cannot take is kValueNotHeld naming the column; the image is unchanged then.
Status StoreValue(const fields::FieldContext& ctx, fields::Image image, size_t i, const SqlValue& v,
                  std::vector<MemoWrite>* memos) {
  const FieldDesc& f = ctx.field;
  auto wrap = [&](Status s) -> Status {
    if (s.ok()) return s;
    return SqlError(NativeError::kValueNotHeld, "The value " + Shown(v) + " does not fit " +
                                                    ColumnRef(f.name) + ": " + s.message() + ".");
  };
  if (storage::IsMemoType(f.type, ctx.table)) {
    MemoWrite w;
    w.field = i;
    if (v.type == SQLITE_NULL) {
      w.null = true;
    } else if (IsTextMemo(f.type)) {
      std::string text = v.type == SQLITE_INTEGER ? std::to_string(v.integer)
                         : v.type == SQLITE_FLOAT ? std::to_string(v.real)
                                                  : v.bytes;
      w.data = fields::TextToMemo(ctx, v.type == SQLITE_BLOB ? text : fields::Utf8ToAnsi(text));
    } else {
      if (v.type != SQLITE_BLOB && v.type != SQLITE_TEXT) return NotHeld(f, Shown(v));
      w.data.assign(v.bytes.begin(), v.bytes.end());
    }
    memos->push_back(std::move(w));
    return Status::Ok();
  }
  switch (v.type) {
    case SQLITE_NULL:
      return wrap(f.nullable ? fields::SetNull(ctx, image) : fields::SetEmpty(ctx, image));
    case SQLITE_INTEGER:
      if (f.type == storage::kFtLogical)
        return wrap(fields::SetLogical(ctx, image, v.integer != 0));
      if (IsCharType(f.type))
        return StoreValue(ctx, image, i, SqlValue{SQLITE_TEXT, 0, 0, std::to_string(v.integer)},
                          memos);
      return wrap(fields::SetLongLong(ctx, image, v.integer));
    case SQLITE_FLOAT:
      if (IsCharType(f.type)) {
        return StoreValue(ctx, image, i, SqlValue{SQLITE_TEXT, 0, 0, std::to_string(v.real)},
                          memos);
      }
      if (!std::isfinite(v.real)) return NotHeld(f, Shown(v));
      return wrap(fields::SetDouble(ctx, image, v.real));
    case SQLITE_BLOB:
      if (f.type == storage::kFtRaw || f.type == storage::kFtVarbinaryFox) {
        if (v.bytes.size() > f.length) return NotHeld(f, Shown(v));
        return wrap(
            fields::SetRaw(ctx, image,
                           std::span<const uint8_t>(
                               reinterpret_cast<const uint8_t*>(v.bytes.data()), v.bytes.size())));
      }
      return NotHeld(f, Shown(v));
    default:
      break;
  }
  // Text.
  if (f.type == storage::kFtLogical) {
    std::string t = Lower(v.bytes);
    if (t == "true" || t == "1" || t == "t" || t == "y" || t == ".t.")
      return wrap(fields::SetLogical(ctx, image, true));
    if (t == "false" || t == "0" || t == "f" || t == "n" || t == ".f.")
      return wrap(fields::SetLogical(ctx, image, false));
    return NotHeld(f, Shown(v));
  }
  if (f.type == storage::kFtNChar || f.type == storage::kFtNVarchar) {
    std::u16string wide;
    for (char c : fields::Utf8ToAnsi(v.bytes))
      wide += fields::AnsiToUnicode(static_cast<unsigned char>(c));
    if (wide.size() > f.length / 2) return NotHeld(f, Shown(v));
    return wrap(fields::SetUtf16(ctx, image, wide));
  }
  std::string ansi = fields::Utf8ToAnsi(v.bytes);
  if (IsCharType(f.type) && ansi.size() > f.length) return NotHeld(f, Shown(v));
  if (f.type == storage::kFtRaw || f.type == storage::kFtVarbinaryFox) {
    if (ansi.size() > f.length) return NotHeld(f, Shown(v));
    return wrap(fields::SetRaw(
        ctx, image,
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(ansi.data()), ansi.size())));
  }
  return wrap(fields::SetText(ctx, image, ansi));
}

// ---- The virtual table ----------------------------------------------------------------------

struct TableState;

struct VTab {
  sqlite3_vtab base;  // first: SQLite hands this pointer back
  TableState* state;
};

struct VCursor {
  sqlite3_vtab_cursor base;
  TableState* table;
  uint32_t recno;  // current record, 0 at the end
  uint32_t last;   // the last record the scan visits
  std::vector<std::byte>* image;
};

struct PendingOp {
  enum Kind { kInsert, kUpdate, kDelete } kind = kInsert;
  uint32_t recno = 0;
  std::vector<std::byte> image;
  std::vector<MemoWrite> memos;
};

}  // namespace

namespace {

// What a statement reads, as the authorizer reports it while the statement is prepared.
struct Access {
  std::vector<std::string> tables;  // lower-case, distinct
  bool aggregate = false;
  const bool* declaring = nullptr;  // true while the session declares a table
};

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

}  // namespace

struct SqlSession::Impl {
  cursor::Connection& connection;
  StatementOptions options;
  sqlite3* db = nullptr;
  std::vector<std::unique_ptr<TableState>> declared_pending;  // handed to xCreate by number
  struct Declared {
    std::string path;
    storage::TableType type;
  };
  std::map<std::string, Declared> declared;  // by lower-case UTF-8 name
  Status failure;                            // the engine error behind the last failing SQLite call
  std::optional<uint32_t> last_autoinc;
  std::chrono::steady_clock::time_point deadline{};
  bool timed_out = false;
  bool declaring = false;  // the session itself declares a table: the authorizer lets it

  Impl(cursor::Connection& c, const StatementOptions& o) : connection(c), options(o) {}
  ~Impl() {
    if (db != nullptr) sqlite3_close_v2(db);
  }
  Status Declare(const std::string& name_utf8, const StatementPlace& place);
  // Prepares one statement, declaring the tables it names; access collects what it reads.
  Result<sqlite3_stmt*> PrepareOne(const std::string& sql, const StatementPlace& place,
                                   Access* access = nullptr);
  Result<sqlite3_stmt*> PrepareLoop(const std::string& sql, const StatementPlace& place);
  Status SqliteError(int rc, const StatementPlace& place);
};

namespace {

struct TableState {
  SqlSession::Impl* session = nullptr;
  std::string name;  // ANSI, for messages
  std::shared_ptr<cursor::SharedTable> table;
  std::vector<PendingOp> pending;
  std::vector<std::pair<uint32_t, std::vector<std::byte>>> before;
  std::vector<uint32_t> appended;
  std::vector<uint32_t> taken_locks;
  uint32_t pending_inserts = 0;

  storage::TableFile& file() { return *table->file; }
  fields::FieldContext Ctx(size_t i) {
    fields::FieldContext ctx{file().fields()[i]};
    ctx.table = file().type();
    ctx.null_flags = file().null_flags_field();
    ctx.char_type = session->options.char_type;
    return ctx;
  }
};

int Fail(sqlite3_vtab* vtab, TableState* t, Status s) {
  sqlite3_free(vtab->zErrMsg);
  vtab->zErrMsg = sqlite3_mprintf("%s", CauseOf(s).c_str());
  t->session->failure = std::move(s);
  return SQLITE_ERROR;
}

Status ReadImage(TableState* t, uint32_t recno, std::vector<std::byte>* image) {
  image->resize(t->file().record_length());
  return t->file().ReadRecord(recno, image->data());
}

bool Visible(TableState* t, const std::vector<std::byte>& image) {
  return cursor::ShowDeleted() || !t->file().IsDeleted(image.data());
}

int XCreate(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out,
            char** err) {
  auto* session = static_cast<SqlSession::Impl*>(aux);
  if (argc < 4) {
    *err = sqlite3_mprintf("the engine's tables are declared by the session only");
    return SQLITE_ERROR;
  }
  const size_t slot = static_cast<size_t>(std::strtoul(argv[3], nullptr, 10));
  if (slot >= session->declared_pending.size() || session->declared_pending[slot] == nullptr) {
    *err = sqlite3_mprintf("unknown table slot");
    return SQLITE_ERROR;
  }
  std::unique_ptr<TableState> state = std::move(session->declared_pending[slot]);
  std::string schema = "CREATE TABLE x(";
  const auto& fields = state->file().fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) schema += ", ";
    schema += QuoteIdent(fields::AnsiToUtf8(fields[i].name)) + " " + SqlTypeOf(fields[i]);
  }
  schema += ")";
  int rc = sqlite3_declare_vtab(db, schema.c_str());
  if (rc != SQLITE_OK) {
    *err = sqlite3_mprintf("%s", sqlite3_errmsg(db));
    return rc;
  }
  auto* vtab = static_cast<VTab*>(sqlite3_malloc(sizeof(VTab)));
  if (vtab == nullptr) return SQLITE_NOMEM;
  std::memset(vtab, 0, sizeof(VTab));
  vtab->state = state.release();
  *out = &vtab->base;
  return SQLITE_OK;
}

int XDisconnect(sqlite3_vtab* base) {
  auto* vtab = reinterpret_cast<VTab*>(base);
  delete vtab->state;
  sqlite3_free(vtab);
  return SQLITE_OK;
}

int XBestIndex(sqlite3_vtab* base, sqlite3_index_info* info) {
  auto* t = reinterpret_cast<VTab*>(base)->state;
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (c.usable && c.iColumn == -1 && c.op == SQLITE_INDEX_CONSTRAINT_EQ) {
      info->aConstraintUsage[i].argvIndex = 1;
      info->aConstraintUsage[i].omit = 1;
      info->idxNum = 1;
      info->estimatedCost = 1;
      info->estimatedRows = 1;
      info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
      return SQLITE_OK;
    }
  }
  info->idxNum = 0;
  info->estimatedRows = std::max<sqlite3_int64>(1, t->file().record_count());
  info->estimatedCost = static_cast<double>(info->estimatedRows);
  return SQLITE_OK;
}

int XOpen(sqlite3_vtab* base, sqlite3_vtab_cursor** out) {
  auto* c = static_cast<VCursor*>(sqlite3_malloc(sizeof(VCursor)));
  if (c == nullptr) return SQLITE_NOMEM;
  std::memset(c, 0, sizeof(VCursor));
  c->table = reinterpret_cast<VTab*>(base)->state;
  c->image = new std::vector<std::byte>();
  *out = &c->base;
  return SQLITE_OK;
}

int XClose(sqlite3_vtab_cursor* base) {
  auto* c = reinterpret_cast<VCursor*>(base);
  delete c->image;
  sqlite3_free(c);
  return SQLITE_OK;
}

// Moves to the first visible record at or after from (not past c->last).
int SeekVisible(VCursor* c, uint32_t from) {
  for (uint32_t r = from; r != 0 && r <= c->last; ++r) {
    Status s = ReadImage(c->table, r, c->image);
    if (!s.ok()) return Fail(c->base.pVtab, c->table, s);
    if (Visible(c->table, *c->image)) {
      c->recno = r;
      return SQLITE_OK;
    }
  }
  c->recno = 0;
  return SQLITE_OK;
}

int XFilter(sqlite3_vtab_cursor* base, int idx, const char*, int argc, sqlite3_value** argv) {
  auto* c = reinterpret_cast<VCursor*>(base);
  Status s = c->table->file().RefreshHeader();
  if (!s.ok()) return Fail(base->pVtab, c->table, s);
  const uint32_t count = c->table->file().record_count();
  if (idx == 1 && argc == 1) {
    if (sqlite3_value_type(argv[0]) != SQLITE_INTEGER) {
      c->recno = 0;
      return SQLITE_OK;
    }
    sqlite3_int64 r = sqlite3_value_int64(argv[0]);
    if (r < 1 || r > count) {
      c->recno = 0;
      return SQLITE_OK;
    }
    c->last = static_cast<uint32_t>(r);
    return SeekVisible(c, static_cast<uint32_t>(r));
  }
  c->last = count;
  return SeekVisible(c, 1);
}

int XNext(sqlite3_vtab_cursor* base) {
  auto* c = reinterpret_cast<VCursor*>(base);
  return SeekVisible(c, c->recno + 1);
}

int XEof(sqlite3_vtab_cursor* base) {
  return reinterpret_cast<VCursor*>(base)->recno == 0;
}

int XRowid(sqlite3_vtab_cursor* base, sqlite3_int64* rowid) {
  *rowid = reinterpret_cast<VCursor*>(base)->recno;
  return SQLITE_OK;
}

void ResultText(sqlite3_context* ctx, const std::string& ansi) {
  std::string utf8 = fields::AnsiToUtf8(ansi);
  sqlite3_result_text(ctx, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

Status ColumnValue(TableState* t, const std::vector<std::byte>& image, size_t i,
                   sqlite3_context* out) {
  fields::FieldContext ctx = t->Ctx(i);
  const FieldDesc& f = ctx.field;
  fields::ConstImage img(image.data(), image.size());
  auto null = fields::IsNull(ctx, img);
  if (!null.ok()) return null.status();
  if (null.value()) {
    sqlite3_result_null(out);
    return Status::Ok();
  }
  if (storage::IsMemoType(f.type, ctx.table)) {
    auto content = t->file().ReadMemo(image.data(), f);
    if (!content.ok()) return content.status();
    if (IsTextMemo(f.type)) {
      ResultText(out, fields::MemoToText(ctx, content.value()));
    } else {
      sqlite3_result_blob(out, content.value().data(), static_cast<int>(content.value().size()),
                          SQLITE_TRANSIENT);
    }
    return Status::Ok();
  }
  switch (f.type) {
    case storage::kFtLogical: {
      auto v = fields::GetLogical(ctx, img);
      if (!v.ok()) return v.status();
      sqlite3_result_int(out, v.value() ? 1 : 0);
      return Status::Ok();
    }
    case storage::kFtNumeric: {
      auto text = fields::GetText(ctx, img, fields::kTrimBoth);
      if (!text.ok()) return text.status();
      if (text.value().empty()) {
        sqlite3_result_null(out);
        return Status::Ok();
      }
      auto v = fields::GetDouble(ctx, img);
      if (!v.ok()) return v.status();
      if (f.decimals == 0 && std::fabs(v.value()) < 9.0e15) {
        sqlite3_result_int64(out, static_cast<sqlite3_int64>(std::llround(v.value())));
      } else {
        sqlite3_result_double(out, v.value());
      }
      return Status::Ok();
    }
    case storage::kFtInteger:
    case storage::kFtShortInt:
    case storage::kFtAutoInc:
    case storage::kFtRowVersion: {
      auto v = fields::GetLongLong(ctx, img);
      if (!v.ok()) return v.status();
      sqlite3_result_int64(out, v.value());
      return Status::Ok();
    }
    case storage::kFtDouble:
    case storage::kFtCurDouble:
    case storage::kFtMoney: {
      auto v = fields::GetDouble(ctx, img);
      if (!v.ok()) return v.status();
      sqlite3_result_double(out, v.value());
      return Status::Ok();
    }
    case storage::kFtDate:
    case storage::kFtCompactDate: {
      auto j = fields::GetJulian(ctx, img);
      if (!j.ok()) return j.status();
      if (j.value() == 0) {
        sqlite3_result_null(out);
        return Status::Ok();
      }
      auto text = SqlDateText(j.value());
      if (!text.ok()) return text.status();
      ResultText(out, text.value());
      return Status::Ok();
    }
    case storage::kFtTime: {
      auto ms = fields::GetMilliseconds(ctx, img);
      if (!ms.ok()) return ms.status();
      auto text = SqlTimeText(ms.value());
      if (!text.ok()) return text.status();
      ResultText(out, text.value());
      return Status::Ok();
    }
    case storage::kFtTimestamp:
    case storage::kFtModTime: {
      auto ts = fields::GetTimestamp(ctx, img);
      if (!ts.ok()) return ts.status();
      if (ts->julian == 0) {
        sqlite3_result_null(out);
        return Status::Ok();
      }
      auto text = SqlTimestampText(ts->julian, ts->milliseconds);
      if (!text.ok()) return text.status();
      ResultText(out, text.value());
      return Status::Ok();
    }
    case storage::kFtRaw:
    case storage::kFtVarbinaryFox: {
      auto bytes = fields::GetRaw(ctx, img);
      if (!bytes.ok()) return bytes.status();
      sqlite3_result_blob(out, bytes.value().data(), static_cast<int>(bytes.value().size()),
                          SQLITE_TRANSIENT);
      return Status::Ok();
    }
    default: {
      auto text = fields::GetText(ctx, img, fields::kTrimRight);
      if (!text.ok()) return text.status();
      ResultText(out, text.value());
      return Status::Ok();
    }
  }
}

int XColumn(sqlite3_vtab_cursor* base, sqlite3_context* ctx, int col) {
  auto* c = reinterpret_cast<VCursor*>(base);
  if (sqlite3_vtab_nochange(ctx)) return SQLITE_OK;  // an UPDATE that leaves the column as is
  Status s = ColumnValue(c->table, *c->image, static_cast<size_t>(col), ctx);
  if (!s.ok()) return Fail(base->pVtab, c->table, s);
  return SQLITE_OK;
}

PendingOp* PendingFor(TableState* t, uint32_t recno) {
  for (auto& op : t->pending) {
    if (op.kind != PendingOp::kInsert && op.recno == recno) return &op;
  }
  return nullptr;
}

int XUpdate(sqlite3_vtab* base, int argc, sqlite3_value** argv, sqlite3_int64* rowid) {
  TableState* t = reinterpret_cast<VTab*>(base)->state;
  if (t->table->read_only) {
    return Fail(base, t,
                SqlError(NativeError::kUnsupported,
                         "Table " + t->name + " is open read-only; it cannot be changed."));
  }
  const auto& fields = t->file().fields();
  if (argc == 1) {  // DELETE
    const auto recno = static_cast<uint32_t>(sqlite3_value_int64(argv[0]));
    if (PendingOp* op = PendingFor(t, recno)) {
      op->kind = PendingOp::kDelete;
    } else {
      PendingOp del;
      del.kind = PendingOp::kDelete;
      del.recno = recno;
      t->pending.push_back(std::move(del));
    }
    return SQLITE_OK;
  }
  const bool insert = sqlite3_value_type(argv[0]) == SQLITE_NULL;
  PendingOp op;
  if (insert) {
    if (sqlite3_value_type(argv[1]) != SQLITE_NULL) {
      return Fail(
          base, t,
          SqlError(NativeError::kUnsupported, "The record number of a new record of " + t->name +
                                                  " is given by the table; it cannot be set."));
    }
    op.kind = PendingOp::kInsert;
    op.image = t->file().BlankRecord();
  } else {
    const auto recno = static_cast<uint32_t>(sqlite3_value_int64(argv[0]));
    if (sqlite3_value_type(argv[1]) != SQLITE_INTEGER || sqlite3_value_int64(argv[1]) != recno) {
      return Fail(base, t,
                  SqlError(NativeError::kUnsupported,
                           "The record number of a record of " + t->name + " cannot be changed."));
    }
    op.kind = PendingOp::kUpdate;
    op.recno = recno;
    if (PendingOp* earlier = PendingFor(t, recno)) {
      op.image = earlier->image;
      op.memos = earlier->memos;
    } else {
      Status s = ReadImage(t, recno, &op.image);
      if (!s.ok()) return Fail(base, t, s);
    }
  }
  for (size_t i = 0; i < fields.size() && static_cast<int>(i) + 2 < argc; ++i) {
    sqlite3_value* v = argv[i + 2];
    if (!insert && sqlite3_value_nochange(v)) continue;
    SqlValue value = CopyValue(v);
    if (insert && value.type == SQLITE_NULL && IsGenerated(fields[i].type)) continue;
    fields::FieldContext ctx = t->Ctx(i);
    std::vector<MemoWrite> memos;
    Status s = StoreValue(ctx, fields::Image(op.image.data(), op.image.size()), i, value, &memos);
    if (!s.ok()) return Fail(base, t, s);
    for (auto& m : memos) {
      op.memos.erase(std::remove_if(op.memos.begin(), op.memos.end(),
                                    [&](const MemoWrite& w) { return w.field == m.field; }),
                     op.memos.end());
      op.memos.push_back(std::move(m));
    }
  }
  if (insert) {
    *rowid = static_cast<sqlite3_int64>(t->file().record_count()) + ++t->pending_inserts;
    t->pending.push_back(std::move(op));
  } else if (PendingOp* earlier = PendingFor(t, op.recno)) {
    *earlier = std::move(op);
  } else {
    t->pending.push_back(std::move(op));
  }
  return SQLITE_OK;
}

// Writes the memo contents of an operation into its image: every memo gets new blocks, so a
// before-image still points to the old content.
Status WriteMemos(TableState* t, PendingOp& op) {
  const std::vector<std::byte> blank = t->file().BlankRecord();
  for (const MemoWrite& m : op.memos) {
    const FieldDesc& f = t->file().fields()[m.field];
    std::memcpy(op.image.data() + f.offset, blank.data() + f.offset, f.length);
    if (!m.null && !m.data.empty()) {
      ACE_RETURN_IF_ERROR(t->file().WriteMemo(op.image.data(), f, m.data, MemoKindOf(f.type)));
    }
    fields::FieldContext ctx = t->Ctx(m.field);
    if (ctx.table == TableType::kVfp && f.nullable) {
      uint32_t mark = m.null ? 1 : 0;
      ACE_RETURN_IF_ERROR(fields::AccessVfpSystemField(
          ctx, fields::Image(op.image.data(), op.image.size()), fields::kVfpWriteNull, &mark));
    }
  }
  return Status::Ok();
}

void ReleaseLocks(TableState* t) {
  for (uint32_t r : t->taken_locks) (void)t->table->locks->UnlockRecord(r);
  t->taken_locks.clear();
}

// Takes back what Apply wrote: before-images in reverse order, appended records deleted.
void Restore(TableState* t) {
  for (auto it = t->before.rbegin(); it != t->before.rend(); ++it) {
    (void)t->file().WriteRecord(it->first, it->second.data());
  }
  std::vector<std::byte> image;
  for (uint32_t r : t->appended) {
    if (ReadImage(t, r, &image).ok()) {
      t->file().SetDeleted(image.data(), true);
      (void)t->file().WriteRecord(r, image.data());
    }
  }
  (void)t->file().Flush();
  t->before.clear();
  t->appended.clear();
  ReleaseLocks(t);
}

Status Apply(TableState* t) {
  if (t->pending.empty()) return Status::Ok();
  cursor::TableLocks& locks = *t->table->locks;
  ACE_RETURN_IF_ERROR(t->file().RefreshHeader());
  // Every record is locked before the first write, so a conflict writes nothing.
  for (const PendingOp& op : t->pending) {
    if (op.kind == PendingOp::kInsert || locks.HoldsRecord(op.recno) || locks.holds_table())
      continue;
    if (std::find(t->taken_locks.begin(), t->taken_locks.end(), op.recno) != t->taken_locks.end())
      continue;
    Status s = locks.LockRecord(op.recno);
    if (!s.ok()) {
      return SqlError(NativeError::kLockConflict,
                      "Record " + std::to_string(op.recno) + " of table " + t->name +
                          " is locked by another user; nothing was changed (" + s.message() + ").");
    }
    t->taken_locks.push_back(op.recno);
  }
  std::vector<std::byte> old;
  for (PendingOp& op : t->pending) {
    if (op.kind == PendingOp::kInsert) {
      ACE_RETURN_IF_ERROR(WriteMemos(t, op));
      ACE_RETURN_IF_ERROR(locks.LockAppend());
      Status s = t->file().RefreshHeader();
      Result<uint32_t> recno =
          s.ok() ? t->file().AppendRecord(op.image.data()) : Result<uint32_t>(s);
      locks.UnlockAppend();
      if (!recno.ok()) return recno.status();
      t->appended.push_back(recno.value());
      // The value the table gave an autoincrement field, for AdsGetLastAutoinc.
      ACE_RETURN_IF_ERROR(ReadImage(t, recno.value(), &old));
      const auto& fields = t->file().fields();
      for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].type != storage::kFtAutoInc && fields[i].autoinc_step == 0) continue;
        auto v = fields::GetLongLong(t->Ctx(i), fields::ConstImage(old.data(), old.size()));
        if (v.ok()) t->session->last_autoinc = static_cast<uint32_t>(v.value());
      }
      continue;
    }
    ACE_RETURN_IF_ERROR(ReadImage(t, op.recno, &old));
    t->before.emplace_back(op.recno, old);
    if (op.kind == PendingOp::kDelete) {
      op.image = old;
      t->file().SetDeleted(op.image.data(), true);
    } else {
      ACE_RETURN_IF_ERROR(WriteMemos(t, op));
    }
    ACE_RETURN_IF_ERROR(t->file().WriteRecord(op.recno, op.image.data()));
  }
  t->pending.clear();
  t->pending_inserts = 0;
  return t->file().Flush();
}

int XBegin(sqlite3_vtab* base) {
  TableState* t = reinterpret_cast<VTab*>(base)->state;
  t->pending.clear();
  t->pending_inserts = 0;
  t->before.clear();
  t->appended.clear();
  return SQLITE_OK;
}

int XSync(sqlite3_vtab* base) {
  TableState* t = reinterpret_cast<VTab*>(base)->state;
  Status s = Apply(t);
  if (!s.ok()) {
    if (!IsSqlError(s)) {
      s = SqlError(NativeError::kIo, "Writing table " + t->name + " failed: " + s.message() + ".");
    }
    return Fail(base, t, s);
  }
  return SQLITE_OK;
}

int XCommit(sqlite3_vtab* base) {
  TableState* t = reinterpret_cast<VTab*>(base)->state;
  t->before.clear();
  t->appended.clear();
  t->pending.clear();
  t->pending_inserts = 0;
  ReleaseLocks(t);
  return SQLITE_OK;
}

int XRollback(sqlite3_vtab* base) {
  TableState* t = reinterpret_cast<VTab*>(base)->state;
  t->pending.clear();
  t->pending_inserts = 0;
  Restore(t);
  return SQLITE_OK;
}

int XRename(sqlite3_vtab* base, const char*) {
  TableState* t = reinterpret_cast<VTab*>(base)->state;
  return Fail(base, t,
              SqlError(NativeError::kUnsupported,
                       "Tables are renamed by renaming their files, not by SQL."));
}

const sqlite3_module kModule = {
    /* iVersion */ 2,
    /* xCreate */ XCreate,
    /* xConnect */ XCreate,
    /* xBestIndex */ XBestIndex,
    /* xDisconnect */ XDisconnect,
    /* xDestroy */ XDisconnect,
    /* xOpen */ XOpen,
    /* xClose */ XClose,
    /* xFilter */ XFilter,
    /* xNext */ XNext,
    /* xEof */ XEof,
    /* xColumn */ XColumn,
    /* xRowid */ XRowid,
    /* xUpdate */ XUpdate,
    /* xBegin */ XBegin,
    /* xSync */ XSync,
    /* xCommit */ XCommit,
    /* xRollback */ XRollback,
    /* xFindFunction */ nullptr,
    /* xRename */ XRename,
    /* xSavepoint */ nullptr,
    /* xRelease */ nullptr,
    /* xRollbackTo */ nullptr,
    /* xShadowName */ nullptr,
};

int Progress(void* arg) {
  auto* session = static_cast<SqlSession::Impl*>(arg);
  if (session->options.timeout_seconds == 0) return 0;
  if (std::chrono::steady_clock::now() < session->deadline) return 0;
  session->timed_out = true;
  return 1;
}

}  // namespace

Status SqlSession::Impl::SqliteError(int rc, const StatementPlace& place) {
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
  rc = sqlite3_create_module_v2(impl->db, "ace_table", &kModule, impl.get(), nullptr);
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

}  // namespace

namespace {

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

// Writes the rows into a new ADT table at path.
Status WriteRows(const std::string& path, const std::vector<storage::FieldSpec>& specs,
                 const std::vector<std::vector<SqlValue>>& rows, uint16_t char_type) {
  storage::CreateOptions create;
  create.char_type = char_type;
  auto table = storage::CreateTableFile(path, TableType::kAdt, specs, create);
  if (!table.ok()) return table.status();
  storage::TableFile& file = *table.value();
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
  return file.Flush();
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
  impl_->deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(impl_->options.timeout_seconds);
  auto prepared = impl_->PrepareOne(fields::AnsiToUtf8(text), place);
  if (!prepared.ok()) return prepared.status();
  sqlite3_finalize(prepared.value());
  return Status::Ok();
}

}  // namespace ace::sql
