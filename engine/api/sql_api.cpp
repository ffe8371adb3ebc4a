// C API of SQL statements: creating and closing statement handles, their options, preparing,
// executing and checking texts, and the parameters of a prepared text. The work is
// ace::sql::SqlStatement (engine/sql/statement.h); this file turns C arguments into its calls,
// keeps the handles and attaches them to their connection.
#include "engine/api/sql_api.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "engine/api/api_guard.h"
#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/fields/code_page.h"
#include "engine/include/ace.h"
#include "engine/sql/sql_error.h"

using namespace ace;
using namespace ace::api;

namespace ace::api {

ResultCursorObject::ResultCursorObject(std::shared_ptr<ConnectionObject> owner,
                                       std::unique_ptr<cursor::Cursor> c, bool live,
                                       std::vector<std::string> files)
    : TableObject(std::move(owner), std::move(c), HandleKind::kCursor),
      live_(live),
      files_(std::move(files)) {}

ResultCursorObject::~ResultCursorObject() {
  (void)cursor().Close();
  for (const std::string& f : files_) (void)RemoveFile(f);
}

StatementObject::StatementObject(std::shared_ptr<ConnectionObject> owner)
    : HandleObject(HandleKind::kStatement),
      owner_(std::move(owner)),
      statement_(owner_->connection()) {}

StatementObject::~StatementObject() {
  (void)ReleaseCursors();
}

Status StatementObject::ReleaseCursors() {
  Status first;
  std::vector<uint32_t> doomed;
  doomed.swap(cursors_);
  for (uint32_t h : doomed) {
    auto found = HandleTable::Instance().Get<TableObject>(h, {HandleKind::kCursor});
    if (!found.ok()) continue;  // closed on its own already
    if (!found.value()->cursor().closed()) {
      Status s = found.value()->cursor().Close();
      if (first.ok() && !s.ok()) first = s;
    }
    DetachFromConnection(owner_->handle(), h);
    HandleTable::Instance().Remove(h);
  }
  return first;
}

bool IsStatementHandle(uint32_t handle) {
  auto found = HandleTable::Instance().Find(handle);
  return found.ok() && found.value()->kind() == HandleKind::kStatement;
}

Result<std::shared_ptr<StatementObject>> GetStatement(uint32_t handle) {
  auto found = HandleTable::Instance().Get<StatementObject>(handle, {HandleKind::kStatement});
  if (!found.ok()) {
    return Status(kErrInvalidStatementHandle, "handle " + std::to_string(handle) +
                                                  " is not an open SQL statement (" +
                                                  found.status().message() + ")");
  }
  return found;
}

namespace {

Result<size_t> ParamIndex(const sql::ParamSet& params, const uint8_t* field_arg) {
  if (field_arg == nullptr) return Status(kErrNullPointer, "the parameter argument is missing");
  auto value = reinterpret_cast<uintptr_t>(field_arg);
  if (value <= 0xFFFF) {
    if (value == 0 || value > params.size()) {
      return sql::SqlError(sql::NativeError::kParamUnknown,
                           "Parameter number " + std::to_string(value) + " does not exist; the " +
                               "prepared text has " + std::to_string(params.size()) +
                               " parameters.");
    }
    return static_cast<size_t>(value - 1);
  }
  const char* name = reinterpret_cast<const char*>(field_arg);
  std::string shown(name, strnlen(name, 200));
  auto found = params.Find(shown);
  if (!found) {
    return sql::SqlError(sql::NativeError::kParamUnknown,
                         "The prepared text has no parameter named " + shown + ".");
  }
  return *found;
}

}  // namespace

Status SetStatementParam(uint32_t handle, const uint8_t* field_arg, sql::ParamValue value) {
  auto stmt = GetStatement(handle);
  if (!stmt.ok()) return stmt.status();
  sql::ParamSet& params = stmt.value()->statement().params();
  auto index = ParamIndex(params, field_arg);
  if (!index.ok()) return index.status();
  sql::ParamSlot& slot = params.slot(index.value());
  slot.value = std::move(value);
  slot.pending.clear();
  slot.pending_total = slot.pending_filled = 0;
  return Status::Ok();
}

Status SetStatementBinaryChunk(uint32_t handle, const uint8_t* field_arg, uint32_t total,
                               uint32_t offset, const uint8_t* data, uint32_t length) {
  auto stmt = GetStatement(handle);
  if (!stmt.ok()) return stmt.status();
  sql::ParamSet& params = stmt.value()->statement().params();
  auto index = ParamIndex(params, field_arg);
  if (!index.ok()) return index.status();
  if (length > 0 && data == nullptr) return Status(kErrNullPointer, "the data buffer is missing");
  if (static_cast<uint64_t>(offset) + length > total) {
    return Status(kErrInvalidArgument,
                  "the chunk at " + std::to_string(offset) + " of " + std::to_string(length) +
                      " bytes lies past the total length " + std::to_string(total));
  }
  sql::ParamSlot& slot = params.slot(index.value());
  if (offset == 0 || slot.pending_total != total || slot.pending.size() != total) {
    slot.pending.assign(total, '\0');
    slot.pending_total = total;
    slot.pending_filled = 0;
  }
  if (length > 0) std::memcpy(slot.pending.data() + offset, data, length);
  slot.pending_filled += length;
  if (slot.pending_filled < slot.pending_total) return Status::Ok();
  slot.value = sql::ParamValue::Binary(std::move(slot.pending));
  slot.pending.clear();
  slot.pending_total = slot.pending_filled = 0;
  return Status::Ok();
}

Result<uint32_t> StatementRowCount(uint32_t handle) {
  auto stmt = GetStatement(handle);
  if (!stmt.ok()) return stmt.status();
  auto rows = stmt.value()->statement().rows_affected();
  if (!rows) {
    return Status(kErrNoRowCount,
                  "the statement " + std::to_string(handle) +
                      " has no row count: it has not executed a statement that affects rows");
  }
  return *rows;
}

Result<uint32_t> StatementLastAutoinc(uint32_t handle) {
  auto stmt = GetStatement(handle);
  if (!stmt.ok()) return stmt.status();
  return stmt.value()->statement().last_autoinc();
}

}  // namespace ace::api

namespace {

template <typename Fn>
UNSIGNED32 OnStatement(ADSHANDLE h, Fn&& fn) {
  return Guard([&]() -> Status {
    auto stmt = GetStatement(h);
    if (!stmt.ok()) return stmt.status();
    return fn(*stmt.value());
  });
}

Status OneOf(UNSIGNED16 value, UNSIGNED16 a, UNSIGNED16 b, const char* what) {
  if (value == a || value == b) return Status::Ok();
  return Status(kErrInvalidArgument, std::string("unknown ") + what + " " + std::to_string(value) +
                                         " (" + std::to_string(a) + " or " + std::to_string(b) +
                                         " expected)");
}

Result<std::string> AnsiArg(const UNSIGNED8* p, const char* what) {
  auto text = InText(p, what);
  if (!text.ok()) return text.status();
  return std::string(text.value());
}

// A zero-terminated UTF-16 text in the engine's ANSI code page.
Result<std::string> WideArg(const WCHAR* p, const char* what) {
  if (p == nullptr)
    return Status(kErrNullPointer, std::string("the argument ") + what + " is missing");
  return fields::Utf16ToAnsi(std::u16string_view(p));
}

// Opens the cursor of a query's result and answers its handle.
Result<ADSHANDLE> OpenResult(StatementObject& stmt, sql::QueryResult result) {
  const sql::StatementOptions& o = stmt.statement().options();
  cursor::OpenTableOptions open;
  open.char_type = o.char_type;
  open.lock = o.lock;
  open.check_rights = o.check_rights;
  open.collation = o.collation;
  cursor::Connection& conn = stmt.owner().connection();
  std::vector<std::string> files;
  std::string path;
  if (result.live) {
    open.type = result.table_type;
    path = result.table_path;
  } else {
    open.type = storage::TableType::kAdt;
    open.read_only = true;
    open.static_view = true;
    path = result.static_path;
    files.push_back(path);
    std::string memo = path.substr(0, path.size() - 4) + storage::MemoExtension(open.type);
    files.push_back(memo);
  }
  auto table = conn.AcquireTable(path, open);
  if (!table.ok()) {
    for (const std::string& f : files) (void)RemoveFile(f);
    return table.status();
  }
  auto c = std::make_unique<cursor::Cursor>(std::move(table.value()), open);
  if (result.live) {
    c->RestrictTo(std::make_shared<const std::vector<uint32_t>>(std::move(result.records)));
  }
  auto object = std::make_shared<ResultCursorObject>(stmt.owner_ptr(), std::move(c), result.live,
                                                     std::move(files));
  ACE_RETURN_IF_ERROR(object->cursor().GotoTop());
  ADSHANDLE h = HandleTable::Instance().Add(object);
  stmt.owner().children().push_back(h);
  if (!result.live) stmt.cursors().push_back(h);
  return h;
}

Status Execute(StatementObject& stmt, ADSHANDLE* cursor) {
  ACE_RETURN_IF_ERROR(RequireOut(cursor, "phCursor"));
  *cursor = 0;
  ACE_RETURN_IF_ERROR(stmt.statement().Execute());
  std::optional<sql::QueryResult> result = stmt.statement().TakeResult();
  if (!result) return Status::Ok();
  auto h = OpenResult(stmt, std::move(result.value()));
  if (!h.ok()) return h.status();
  *cursor = h.value();
  return Status::Ok();
}

std::string UpperName(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

extern "C" {

ACE_API UNSIGNED32 AdsCreateSQLStatement(ADSHANDLE hConnect, ADSHANDLE* phStatement) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(phStatement, "phStatement"));
    *phStatement = 0;
    auto conn = GetConnection(hConnect);
    if (!conn.ok()) return conn.status();
    auto stmt = std::make_shared<StatementObject>(conn.value());
    stmt->statement().options().timeout_seconds = conn.value()->connection().sql_timeout();
    ADSHANDLE h = HandleTable::Instance().Add(stmt);
    conn.value()->children().push_back(h);
    *phStatement = h;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsCloseSQLStatement(ADSHANDLE hStatement) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    Status s = stmt.ReleaseCursors();
    DetachFromConnection(stmt.owner().handle(), stmt.handle());
    HandleTable::Instance().Remove(stmt.handle());
    return s;
  });
}

ACE_API UNSIGNED32 AdsStmtSetTableLockType(ADSHANDLE hStatement, UNSIGNED16 usLockType) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    ACE_RETURN_IF_ERROR(
        OneOf(usLockType, ADS_COMPATIBLE_LOCKING, ADS_PROPRIETARY_LOCKING, "lock type"));
    stmt.statement().options().lock = usLockType == ADS_PROPRIETARY_LOCKING
                                          ? cursor::LockScheme::kProprietary
                                          : cursor::LockScheme::kCompatible;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsStmtSetTableCollation(ADSHANDLE hStatement, const UNSIGNED8* pucCollation) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    std::string name;
    if (pucCollation != nullptr) {
      const char* p = reinterpret_cast<const char*>(pucCollation);
      size_t n = strnlen(p, 129);
      if (n > 128) return Status(kErrNameTooLong, "the collation name is longer than 128 bytes");
      name.assign(p, n);
    }
    stmt.statement().options().collation = std::move(name);
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsStmtSetTableRights(ADSHANDLE hStatement, UNSIGNED16 usCheckRights) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    ACE_RETURN_IF_ERROR(OneOf(usCheckRights, ADS_CHECK_RIGHTS, ADS_IGNORE_RIGHTS, "rights option"));
    stmt.statement().options().check_rights = usCheckRights == ADS_CHECK_RIGHTS;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsStmtSetTableReadOnly(ADSHANDLE hStatement, UNSIGNED16 usReadOnly) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    ACE_RETURN_IF_ERROR(
        OneOf(usReadOnly, ADS_CURSOR_READONLY, ADS_CURSOR_READWRITE, "read-only option"));
    stmt.statement().options().read_only = usReadOnly == ADS_CURSOR_READONLY;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsStmtSetTableType(ADSHANDLE hStatement, UNSIGNED16 usTableType) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    if (usTableType > ADS_VFP) {
      return Status(kErrInvalidArgument,
                    "unknown table type " + std::to_string(usTableType) + " (0 to 4 expected)");
    }
    // ADS_DEFAULT keeps the statement's default, ADT.
    stmt.statement().options().type = usTableType == ADS_DEFAULT
                                          ? storage::TableType::kAdt
                                          : static_cast<storage::TableType>(usTableType);
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsStmtSetTableCharType(ADSHANDLE hStatement, UNSIGNED16 usCharType) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    ACE_RETURN_IF_ERROR(OneOf(usCharType, ADS_ANSI, ADS_OEM, "character type"));
    stmt.statement().options().char_type = usCharType;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsStmtConstrainUpdates(ADSHANDLE hStatement, UNSIGNED16 usConstrain) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    ACE_RETURN_IF_ERROR(OneOf(usConstrain, ADS_CONSTRAIN, ADS_NO_CONSTRAIN, "constrain option"));
    stmt.statement().options().constrain = usConstrain == ADS_CONSTRAIN;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsStmtReadAllColumns(ADSHANDLE hStatement, UNSIGNED16 usReadAll) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    ACE_RETURN_IF_ERROR(
        OneOf(usReadAll, ADS_READ_ALL_COLUMNS, ADS_READ_SELECT_COLUMNS, "read-all-columns option"));
    stmt.statement().options().read_all_columns = usReadAll == ADS_READ_ALL_COLUMNS;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsSetSQLTimeout(ADSHANDLE hStatement, UNSIGNED32 ulTimeout) {
  // A connection handle sets the timeout its statements start with.
  if (auto conn = GetConnection(hStatement); conn.ok()) {
    conn.value()->connection().set_sql_timeout(ulTimeout);
    return 0;
  }
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    stmt.statement().options().timeout_seconds = ulTimeout;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsStmtEnableEncryption(ADSHANDLE hStatement, const UNSIGNED8* pucPassword) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    auto password = AnsiArg(pucPassword, "pucPassword");
    if (!password.ok()) return password.status();
    stmt.statement().options().encryption_password = std::move(password.value());
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsStmtDisableEncryption(ADSHANDLE hStatement) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    stmt.statement().options().encryption_password.reset();
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsStmtSetTablePassword(ADSHANDLE hStatement, const UNSIGNED8* pucTableName,
                                           const UNSIGNED8* pucPassword) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    auto table = AnsiArg(pucTableName, "pucTableName");
    if (!table.ok()) return table.status();
    if (table.value().empty()) return Status(kErrInvalidArgument, "the table name is empty");
    auto password = AnsiArg(pucPassword, "pucPassword");
    if (!password.ok()) return password.status();
    stmt.statement().options().table_passwords[UpperName(table.value())] = password.value();
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsStmtClearTablePasswords(ADSHANDLE hStatement) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    stmt.statement().options().table_passwords.clear();
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsPrepareSQL(ADSHANDLE hStatement, const UNSIGNED8* pucSQL) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    auto text = AnsiArg(pucSQL, "pucSQL");
    if (!text.ok()) return text.status();
    return stmt.statement().Prepare(text.value());
  });
}

ACE_API UNSIGNED32 AdsPrepareSQLW(ADSHANDLE hStatement, const WCHAR* pwcSQL) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    auto text = WideArg(pwcSQL, "pwcSQL");
    if (!text.ok()) return text.status();
    return stmt.statement().Prepare(text.value());
  });
}

ACE_API UNSIGNED32 AdsExecuteSQL(ADSHANDLE hStatement, ADSHANDLE* phCursor) {
  return OnStatement(hStatement,
                     [&](StatementObject& stmt) -> Status { return Execute(stmt, phCursor); });
}

ACE_API UNSIGNED32 AdsExecuteSQLDirect(ADSHANDLE hStatement, const UNSIGNED8* pucSQL,
                                       ADSHANDLE* phCursor) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(phCursor, "phCursor"));
    *phCursor = 0;
    auto text = AnsiArg(pucSQL, "pucSQL");
    if (!text.ok()) return text.status();
    ACE_RETURN_IF_ERROR(stmt.statement().Prepare(text.value()));
    return Execute(stmt, phCursor);
  });
}

ACE_API UNSIGNED32 AdsExecuteSQLDirectW(ADSHANDLE hStatement, const WCHAR* pwcSQL,
                                        ADSHANDLE* phCursor) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(phCursor, "phCursor"));
    *phCursor = 0;
    auto text = WideArg(pwcSQL, "pwcSQL");
    if (!text.ok()) return text.status();
    ACE_RETURN_IF_ERROR(stmt.statement().Prepare(text.value()));
    return Execute(stmt, phCursor);
  });
}

ACE_API UNSIGNED32 AdsVerifySQL(ADSHANDLE hStatement, const UNSIGNED8* pucSQL) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    auto text = AnsiArg(pucSQL, "pucSQL");
    if (!text.ok()) return text.status();
    return stmt.statement().Verify(text.value());
  });
}

ACE_API UNSIGNED32 AdsVerifySQLW(ADSHANDLE hStatement, const WCHAR* pwcSQL) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    auto text = WideArg(pwcSQL, "pwcSQL");
    if (!text.ok()) return text.status();
    return stmt.statement().Verify(text.value());
  });
}

ACE_API UNSIGNED32 AdsGetSQLStmtParams(const UNSIGNED8* pucSQL) {
  return Guard([&]() -> Status {
    auto text = AnsiArg(pucSQL, "pucSQL");
    if (!text.ok()) return text.status();
    auto split = sql::SplitStatements(text.value());
    return split.ok() ? Status::Ok() : split.status();
  });
}

ACE_API UNSIGNED32 AdsGetNumParams(ADSHANDLE hStatement, UNSIGNED16* pusNumParams) {
  return OnStatement(hStatement, [&](StatementObject& stmt) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusNumParams, "pusNumParams"));
    size_t n = stmt.statement().params().size();
    if (n > 0xFFFF) return Status(kErrValueOutOfRange, "the text has more than 65535 parameters");
    *pusNumParams = static_cast<UNSIGNED16>(n);
    return Status::Ok();
  });
}

}  // extern "C"
