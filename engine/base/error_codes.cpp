// The engine's error table: code, name and text of every error the engine reports.
#include "engine/base/error_codes.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <string>

namespace ace {

namespace {

std::vector<ErrorInfo> BuildTable() {
  std::vector<ErrorInfo> t = {
      {kErrGeneral, "AE_GENERAL", "The operation failed."},
      {kErrInvalidHandle, "AE_INVALID_HANDLE", "The handle is not valid."},
      {kErrWrongHandleType, "AE_WRONG_HANDLE_TYPE", "The handle is of the wrong kind for this operation."},
      {kErrInvalidArgument, "AE_INVALID_ARGUMENT", "An argument is not valid."},
      {kErrNullPointer, "AE_NULL_POINTER", "A required pointer argument is missing."},
      {kErrInsufficientBuffer, "AE_INSUFFICIENT_BUFFER", "The buffer is too small; the needed length was returned."},
      {kErrOutOfMemory, "AE_OUT_OF_MEMORY", "Not enough memory."},
      {kErrNotSupported, "AE_NOT_SUPPORTED", "The operation is not supported."},
      {kErrInternal, "AE_INTERNAL", "Internal engine error."},
      {kErrFileNotFound, "AE_FILE_NOT_FOUND", "The file was not found."},
      {kErrPathNotFound, "AE_PATH_NOT_FOUND", "The path does not exist."},
      {kErrFileExists, "AE_FILE_EXISTS", "The file already exists."},
      {kErrIo, "AE_IO_ERROR", "A read or write of a file failed."},
      {kErrDiskFull, "AE_DISK_FULL", "The disk is full."},
      {kErrCorruptFile, "AE_CORRUPT_FILE", "The file is damaged or is not a file of this kind."},
      {kErrNoSuchIndexTag, "AE_NO_SUCH_INDEX_TAG", "The index tag was not found."},
      {kErrUnsupportedVersion, "AE_UNSUPPORTED_VERSION", "The file has a version this engine cannot read."},
      {kErrNameTooLong, "AE_NAME_TOO_LONG", "A name is too long."},
      {kErrServerTypeUnavailable, "AE_SERVER_TYPE_UNAVAILABLE", "No server of the requested type is available; only local connections exist."},
      {kErrInvalidFieldName, "AE_INVALID_FIELD_NAME", "The field name is not valid."},
      {kErrInvalidFieldType, "AE_INVALID_FIELD_TYPE", "The field type is not valid for this table type."},
      {kErrInvalidRecordNumber, "AE_INVALID_RECORD_NUMBER", "The record number is not valid."},
      {kErrHandleHasNoConnection, "AE_NO_CONNECTION", "The handle has no connection."},
      {kErrConnectionClosed, "AE_CONNECTION_CLOSED", "The connection is already closed."},
      {kErrNoCollation, "AE_NO_COLLATION", "No collation information is available."},
      {kErrTableReadOnly, "AE_TABLE_READ_ONLY", "The table is open read-only."},
      {kErrExclusiveRequired, "AE_EXCLUSIVE_REQUIRED", "The table must be open exclusively for this operation."},
      {kErrTableInUse, "AE_TABLE_IN_USE", "The table is in use by another user."},
      {kErrLockRefused, "AE_LOCK_REFUSED", "The lock was refused: the record or table is locked by another user."},
      {kErrNoFilter, "AE_NO_FILTER", "No filter is set."},
      {kErrNoScope, "AE_NO_SCOPE", "No scope is set."},
      {kErrInvalidExpression, "AE_INVALID_EXPRESSION", "The expression is not valid."},
      {kErrNoKeyPosition, "AE_NO_KEY_POSITION", "There is no key position."},
      {kErrDuplicateKey, "AE_DUPLICATE_KEY", "The key already exists in a unique index."},
      {kErrStaleIndex, "AE_STALE_INDEX", "The index does not match its table."},
      {kErrValueOutOfRange, "AE_VALUE_OUT_OF_RANGE", "The value does not fit the field."},
      {kErrConversion, "AE_CONVERSION", "The value cannot be converted to the field's type."},
      {kErrInvalidPassword, "AE_INVALID_PASSWORD", "The user name or password is not valid."},
      {kErrPermissionDenied, "AE_PERMISSION_DENIED", "Permission was not granted."},
      {kErrNoMoreTables, "AE_NO_MORE_TABLES", "No (more) tables were found."},
      {kErrTransaction, "AE_TRANSACTION", "The transaction operation is not valid in this state."},
      {kErrRecordNotLocked, "AE_RECORD_NOT_LOCKED", "The record was not locked."},
      {kErrStaticCursor, "AE_STATIC_CURSOR", "The cursor is a static view and cannot be changed."},
      {kErrIndexAlreadyOpen, "AE_INDEX_ALREADY_OPEN", "The index file is already open."},
      {kErrNoCurrentRecord, "AE_NO_CURRENT_RECORD", "There is no current record."},
      {kErrOperationCancelled, "AE_OPERATION_CANCELLED", "The operation was cancelled."},
      {kErrEncryption, "AE_ENCRYPTION", "The table or record cannot be encrypted or decrypted."},
      {kErrNoPendingUpdate, "AE_NO_PENDING_UPDATE", "There is no pending update."},
      {kErrTableNotLocked, "AE_TABLE_NOT_LOCKED", "The table was not locked."},
      {kErrInvalidStatementHandle, "AE_INVALID_STATEMENT_HANDLE", "The statement handle is not valid."},
      {kErrNoRowCount, "AE_NO_ROW_COUNT", "The statement has no row count."},
      {kErrComponent, "AE_COMPONENT", "The component refused the operation."},
      {kErrNotInDictionary, "AE_NOT_IN_DICTIONARY", "The table is not in the data dictionary."},
      {kErrNoMoreDictObjects, "AE_NO_MORE_DICT_OBJECTS", "No (more) dictionary objects were found."},
      {kErrPropertyNotSet, "AE_PROPERTY_NOT_SET", "The property is not set."},
      {kErrColumnNotFound, "AE_COLUMN_NOT_FOUND", "The column was not found."},
      {kErrColumnValue, "AE_COLUMN_VALUE", "The column's value is not valid."},
      {kErrColumnType, "AE_COLUMN_TYPE", "The column's type does not allow this operation."},
      {kErrRecordChanged, "AE_RECORD_CHANGED", "Record was changed by another user."},
      {kErrAofBufferTooSmall, "AE_AOF_BUFFER_TOO_SMALL", "The optimized filter needs a larger buffer."},
      {kErrSql, "AE_SQL_ERROR", "SQL error."},
      {kErrStatementUnusable, "AE_STATEMENT_UNUSABLE", "The statement cannot be used after this error."},
  };
  std::sort(t.begin(), t.end(), [](const ErrorInfo& a, const ErrorInfo& b) { return a.code < b.code; });
  return t;
}

}  // namespace

// The table is never destroyed: errors are still reported while the process ends (a component
// layer's static list of connections disconnects from its destructor, after this file's statics
// would have gone).
const std::vector<ErrorInfo>& AllErrors() {
  static const std::vector<ErrorInfo>* const table = new std::vector<ErrorInfo>(BuildTable());
  return *table;
}

const ErrorInfo* FindError(uint32_t code) {
  const auto& t = AllErrors();
  auto it = std::lower_bound(t.begin(), t.end(), code,
                             [](const ErrorInfo& e, uint32_t c) { return e.code < c; });
  return (it != t.end() && it->code == code) ? &*it : nullptr;
}

std::string_view ErrorText(uint32_t code) {
  if (const ErrorInfo* e = FindError(code)) return e->text;
  // Unknown codes are rare; their texts are kept for the life of the process (one per code),
  // so the view stays valid on every thread and also while the process ends.
  static std::mutex* const lock = new std::mutex;
  static auto* const unknown = new std::set<std::string, std::less<>>;
  std::lock_guard<std::mutex> hold(*lock);
  return *unknown->insert("Unknown error code " + std::to_string(code) + ".").first;
}

}  // namespace ace
