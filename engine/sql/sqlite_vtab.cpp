// The virtual tables of the SQL session over the engine's storage, and the conversion of SQL
// values into record images (see sqlite_vtab.h for what SQL sees; sql_session.cpp runs the
// statements).
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "engine/base/error_codes.h"
#include "engine/cursor/cursor.h"
#include "engine/fields/code_page.h"
#include "engine/fields/field_codec.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/sql_session_internal.h"

namespace ace::sql::internal {

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

namespace {

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

}  // namespace

storage::MemoKind MemoKindOf(uint16_t type) {
  if (type == storage::kFtImage) return storage::MemoKind::kImage;
  if (IsTextMemo(type)) return storage::MemoKind::kText;
  return storage::MemoKind::kBinary;
}

namespace {

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

}  // namespace

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

namespace {

struct VTab {
  sqlite3_vtab base;  // first: SQLite hands this pointer back
  TableState* state;
};

// A scan reads the table in blocks of consecutive records: a few system calls per block
// instead of one per record.
constexpr size_t kScanBlockBytes = 64 * 1024;
constexpr uint32_t kMaxScanBlock = 1024;

struct VCursor {
  sqlite3_vtab_cursor base;
  TableState* table;
  uint32_t recno;  // current record, 0 at the end
  uint32_t last;   // the last record the scan visits
  // Records block_first .. block_first + block_count - 1 as read by the scan; the current
  // record's image lies in it.
  std::vector<std::byte>* block;
  uint32_t block_first;
  uint32_t block_count;
  const std::byte* image;
};

}  // namespace

fields::FieldContext TableState::Ctx(size_t i) {
  fields::FieldContext ctx{file().fields()[i]};
  ctx.table = file().type();
  ctx.null_flags = file().null_flags_field();
  ctx.char_type = session->options.char_type;
  return ctx;
}

namespace {

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

void EndStatement(TableState* t, bool keep);

bool Visible(TableState* t, const std::byte* image) {
  return cursor::ShowDeleted() || !t->file().IsDeleted(image);
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
  EndStatement(vtab->state, /*keep=*/true);  // nothing is held between statements
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
  c->block = new std::vector<std::byte>();
  *out = &c->base;
  return SQLITE_OK;
}

int XClose(sqlite3_vtab_cursor* base) {
  auto* c = reinterpret_cast<VCursor*>(base);
  delete c->block;
  sqlite3_free(c);
  return SQLITE_OK;
}

// Moves to the first visible record at or after from (not past c->last), reading the next
// block of records when from lies beyond the one read.
int SeekVisible(VCursor* c, uint32_t from) {
  const size_t length = c->table->file().record_length();
  const auto per_block = static_cast<uint32_t>(
      std::clamp<size_t>(kScanBlockBytes / std::max<size_t>(length, 1), 1, kMaxScanBlock));
  for (uint32_t r = from; r != 0 && r <= c->last; ++r) {
    if (r < c->block_first || r - c->block_first >= c->block_count) {
      const uint32_t n = std::min(per_block, c->last - r + 1);
      c->block_count = 0;
      c->block->resize(size_t{n} * length);
      Status s = c->table->file().ReadRecords(r, n, c->block->data());
      if (!s.ok()) return Fail(c->base.pVtab, c->table, s);
      c->block_first = r;
      c->block_count = n;
    }
    const std::byte* image = c->block->data() + size_t{r - c->block_first} * length;
    if (Visible(c->table, image)) {
      c->recno = r;
      c->image = image;
      return SQLITE_OK;
    }
  }
  c->recno = 0;
  c->image = nullptr;
  return SQLITE_OK;
}

int XFilter(sqlite3_vtab_cursor* base, int idx, const char*, int argc, sqlite3_value** argv) {
  auto* c = reinterpret_cast<VCursor*>(base);
  c->block_count = 0;  // every scan reads the records anew
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

Status ColumnValue(TableState* t, const std::byte* image, size_t i, sqlite3_context* out) {
  fields::FieldContext ctx = t->Ctx(i);
  const FieldDesc& f = ctx.field;
  fields::ConstImage img(image, t->file().record_length());
  auto null = fields::IsNull(ctx, img);
  if (!null.ok()) return null.status();
  if (null.value()) {
    sqlite3_result_null(out);
    return Status::Ok();
  }
  if (storage::IsMemoType(f.type, ctx.table)) {
    auto content = t->file().ReadMemo(image, f);
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
  if (c->image == nullptr) {
    sqlite3_result_null(ctx);
    return SQLITE_OK;
  }
  Status s = ColumnValue(c->table, c->image, static_cast<size_t>(col), ctx);
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

// Writes the memo contents of an operation into its image as the cursors' edits do: every
// value goes to pending blocks of its own, so the record's old runs stay whole (a before-image
// still points at the old content) until the statement ends and ReclaimMemos takes them back.
Status WriteMemos(TableState* t, PendingOp& op) {
  for (const MemoWrite& m : op.memos) {
    const FieldDesc& f = t->file().fields()[m.field];
    std::span<const uint8_t> data;
    if (!m.null) data = m.data;
    ACE_RETURN_IF_ERROR(t->file().WritePendingMemo(op.image.data(), f, data, MemoKindOf(f.type)));
    fields::FieldContext ctx = t->Ctx(m.field);
    if (ctx.table == TableType::kVfp && f.nullable) {
      uint32_t mark = m.null ? 1 : 0;
      ACE_RETURN_IF_ERROR(fields::AccessVfpSystemField(
          ctx, fields::Image(op.image.data(), op.image.size()), fields::kVfpWriteNull, &mark));
    }
  }
  return Status::Ok();
}

// Ends what a writing statement holds: the index batch (kept or taken back), the structural
// index, the append lock and the record locks it took.
void EndStatement(TableState* t, bool keep) {
  if (t->index_batch) {
    cursor::TableIndexes& ix = cursor::TableIndexes::Of(*t->table);
    if (keep) {
      ix.CommitBatch();
    } else {
      (void)ix.RollbackBatch();
    }
    t->index_batch = false;
  }
  if (t->structural != nullptr) {
    cursor::TableIndexes::Of(*t->table).Release(t->structural);
    t->structural = nullptr;
  }
  if (t->append_locked) t->table->locks->UnlockAppend();
  t->append_locked = false;
  for (uint32_t r : t->taken_locks) (void)t->table->locks->UnlockRecord(r);
  t->taken_locks.clear();
}

// Takes back what Apply wrote: the memo values of operations it did not write, before-images
// in reverse order, appended records blanked and deleted (the memo runs the statement gave
// them are released), then the keys the writes put into the indexes.
void Restore(TableState* t) {
  for (const PendingOp& op : t->pending) (void)t->file().DiscardPendingMemos(op.image.data());
  std::vector<std::byte> written;
  for (auto it = t->before.rbegin(); it != t->before.rend(); ++it) {
    Status read = ReadImage(t, it->first, &written);
    (void)t->file().WriteRecord(it->first, it->second.data());
    if (read.ok()) (void)t->file().ReclaimMemos(it->first, written.data(), false);
  }
  // An appended record stays in the file as a blank deleted one: the values the statement
  // failed to add do not linger in it, nor in a candidate index, where they would refuse the
  // same values later.
  std::vector<std::byte> blank = t->file().BlankRecord();
  t->file().SetDeleted(blank.data(), true);
  for (uint32_t r : t->appended) {
    Status read = ReadImage(t, r, &written);
    (void)t->file().WriteRecord(r, blank.data());
    if (read.ok()) (void)t->file().ReclaimMemos(r, written.data(), false);
  }
  (void)t->file().Flush();
  t->before.clear();
  t->appended.clear();
  t->pending.clear();
  t->pending_inserts = 0;
  EndStatement(t, /*keep=*/false);
}

// Opens the table's structural index for the statement (the cursors of the connection may have
// it closed) and starts the batch of index writes over every index file open on the table.
Status BeginIndexes(TableState* t) {
  cursor::TableIndexes& ix = cursor::TableIndexes::Of(*t->table);
  const std::string structural =
      cursor::TableIndexes::StructuralPath(t->table->path, t->file().type());
  if (!structural.empty()) {
    bool already = false;
    Result<index::IndexFile*> file = ix.Open(structural, &already);
    if (!file.ok()) {
      return SqlError(NativeError::kIo, "The index " + structural + " of table " + t->name +
                                            " cannot be opened; nothing was changed (" +
                                            file.status().message() + ").");
    }
    t->structural = file.value();
  }
  ACE_RETURN_IF_ERROR(ix.BeginBatch());
  t->index_batch = true;
  return Status::Ok();
}

// The value the table gave an autoincrement field of an appended record, for AdsGetLastAutoinc.
void NoteAutoinc(TableState* t, const std::vector<std::byte>& stored) {
  const auto& fields = t->file().fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].type != storage::kFtAutoInc && fields[i].autoinc_step == 0) continue;
    auto v = fields::GetLongLong(t->Ctx(i), fields::ConstImage(stored.data(), stored.size()));
    if (v.ok()) t->session->last_autoinc = static_cast<uint32_t>(v.value());
  }
}

// Locks every record the statement changes and, when it appends, the append lock: a conflict
// refuses the statement before anything is written.
Status LockForStatement(TableState* t) {
  cursor::TableLocks& locks = *t->table->locks;
  bool appends = false;
  for (const PendingOp& op : t->pending) {
    if (op.kind == PendingOp::kInsert) {
      appends = true;
      continue;
    }
    if (locks.HoldsRecord(op.recno) || locks.holds_table()) continue;
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
  if (appends && !t->append_locked) {
    Status s = locks.LockAppend();
    if (!s.ok()) {
      return SqlError(NativeError::kLockConflict,
                      "Table " + t->name +
                          " is being appended to by another user; nothing was changed (" +
                          s.message() + ").");
    }
    t->append_locked = true;
  }
  return Status::Ok();
}

Status Apply(TableState* t) {
  if (t->pending.empty()) return Status::Ok();
  ACE_RETURN_IF_ERROR(t->file().RefreshHeader());
  ACE_RETURN_IF_ERROR(LockForStatement(t));
  ACE_RETURN_IF_ERROR(t->file().RefreshHeader());
  ACE_RETURN_IF_ERROR(BeginIndexes(t));
  cursor::TableIndexes& ix = cursor::TableIndexes::Of(*t->table);
  std::vector<std::byte> old;
  for (PendingOp& op : t->pending) {
    if (op.kind == PendingOp::kInsert) {
      ACE_RETURN_IF_ERROR(WriteMemos(t, op));
      // An append into a deleted record's place takes that record's keys out of the indexes.
      Result<uint32_t> next = t->file().NextAppendRecno();
      if (!next.ok()) return next.status();
      std::vector<std::byte> replaced;
      if (*next <= t->file().record_count() && !ReadImage(t, *next, &replaced).ok())
        replaced.clear();
      ACE_RETURN_IF_ERROR(
          ix.CheckBatchWrite(*next, replaced.empty() ? nullptr : replaced.data(), op.image.data()));
      Result<uint32_t> recno = t->file().AppendReplacing(op.image.data(), &replaced);
      if (!recno.ok()) return recno.status();
      t->appended.push_back(recno.value());
      // The keys are built from the record as stored (autoincrement, row version filled in).
      ACE_RETURN_IF_ERROR(ReadImage(t, recno.value(), &old));
      ACE_RETURN_IF_ERROR(
          ix.BatchWrite(recno.value(), replaced.empty() ? nullptr : replaced.data(), old.data()));
      NoteAutoinc(t, old);
      continue;
    }
    ACE_RETURN_IF_ERROR(ReadImage(t, op.recno, &old));
    if (op.kind == PendingOp::kDelete) {
      op.image = old;
      t->file().SetDeleted(op.image.data(), true);
    } else {
      ACE_RETURN_IF_ERROR(WriteMemos(t, op));
    }
    ACE_RETURN_IF_ERROR(ix.CheckBatchWrite(op.recno, old.data(), op.image.data()));
    t->before.emplace_back(op.recno, old);
    ACE_RETURN_IF_ERROR(t->file().WriteRecord(op.recno, op.image.data()));
    ACE_RETURN_IF_ERROR(ix.BatchWrite(op.recno, old.data(), op.image.data()));
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
  // The statement stands: the runs its updates replaced are taken back (the last record first,
  // so that pending blocks at the end of a DBF memo file can be cut off). A failure here leaves
  // every memo whole and only some blocks allocated until the next pack.
  for (auto it = t->before.rbegin(); it != t->before.rend(); ++it)
    (void)t->file().ReclaimMemos(it->first, it->second.data(), true);
  t->before.clear();
  t->appended.clear();
  t->pending.clear();
  t->pending_inserts = 0;
  EndStatement(t, /*keep=*/true);
  return SQLITE_OK;
}

int XRollback(sqlite3_vtab* base) {
  TableState* t = reinterpret_cast<VTab*>(base)->state;
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

}  // namespace

const sqlite3_module& TableModule() {
  return kModule;
}

}  // namespace ace::sql::internal
