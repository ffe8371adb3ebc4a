// The native SQL error table and the texts of 7200 errors (see sql_error.h).
#include "engine/sql/sql_error.h"

#include <algorithm>
#include <cctype>

#include "engine/base/error_codes.h"

namespace ace::sql {
namespace {

constexpr std::string_view kPrefix = "SQL error: State = ";
constexpr std::string_view kNativeMark = "; NativeError = ";
constexpr std::string_view kPlaceMark = " -- statement ";

}  // namespace

// Built on first use and never destroyed: exit handlers and static destructors of other modules
// (a connection list that disconnects, a script runner) may still raise SQL errors while the
// process ends, after this file's ordinary static objects would be gone.
const std::vector<NativeErrorInfo>& AllNativeErrors() {
  static const std::vector<NativeErrorInfo>* const kTable = new std::vector<NativeErrorInfo>{
      {NativeError::kSyntax, "42000", "syntax error"},
      {NativeError::kUnexpectedEnd, "42000", "unexpected end of statement"},
      {NativeError::kUnterminated, "42000", "unterminated quote, bracket or comment"},
      {NativeError::kTableNotFound, "42S02", "table not found"},
      {NativeError::kTableExists, "42S01", "table already exists"},
      {NativeError::kTableInUse, "HY000", "table in use by another user"},
      {NativeError::kLockConflict, "HY000", "record or table locked by another user"},
      {NativeError::kColumnNotFound, "42S22", "column not found"},
      {NativeError::kColumnExists, "42S21", "column already exists"},
      {NativeError::kBadType, "HY004", "bad type or type length"},
      {NativeError::kTypeNotHeld, "HYC00", "type not available for this table type"},
      {NativeError::kBadColumnName, "42000", "invalid column name"},
      {NativeError::kDuplicateColumn, "42S21", "column named twice"},
      {NativeError::kNoColumnsLeft, "42000", "table would have no columns"},
      {NativeError::kBadPosition, "42000", "column position out of range"},
      {NativeError::kConversion, "22018", "value does not convert to the new type"},
      {NativeError::kValueNotHeld, "22001", "value does not fit its column"},
      {NativeError::kIndexNotRebuilt, "HY000", "index files cannot be rebuilt"},
      {NativeError::kIndexUnavailable, "HYC00", "indexes not available"},
      {NativeError::kNotDdl, "HYC00", "statement not run by the DDL executor"},
      {NativeError::kUnsupported, "HYC00", "clause not supported"},
      {NativeError::kNotPrepared, "HY010", "no prepared text"},
      {NativeError::kIo, "HY000", "reading or writing the table failed"},
      {NativeError::kParamNotSet, "07002", "parameter without a value"},
      {NativeError::kParamUnknown, "07009", "no such parameter"},
      {NativeError::kParamValue, "22023", "parameter value not usable"},
      {NativeError::kSqlEngine, "42000", "statement refused by the SQL engine"},
      {NativeError::kConstraint, "23000", "constraint failed"},
      {NativeError::kTimeout, "HYT00", "statement timed out"},
      {NativeError::kNotInDictionary, "42S02", "table not in the data dictionary"},
  };
  return *kTable;
}

const NativeErrorInfo* FindNativeError(uint32_t number) {
  for (const auto& row : AllNativeErrors()) {
    if (static_cast<uint32_t>(row.code) == number) return &row;
  }
  return nullptr;
}

std::string DescribePlace(const StatementPlace& place) {
  std::string flat;
  bool blank = false;
  for (char c : place.text) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      blank = !flat.empty();
      continue;
    }
    if (blank) flat += ' ';
    blank = false;
    flat += c;
  }
  if (flat.size() > kMaxQuotedStatement) flat = flat.substr(0, kMaxQuotedStatement - 3) + "...";
  std::string out = std::string(kPlaceMark) + std::to_string(place.index);
  if (place.count != 0) out += " of " + std::to_string(place.count);
  out += " at line " + std::to_string(place.line);
  if (place.column != 0) out += ", column " + std::to_string(place.column);
  return out + ": " + flat;
}

Status SqlError(NativeError native, std::string_view cause, std::string_view where) {
  const NativeErrorInfo* info = FindNativeError(static_cast<uint32_t>(native));
  std::string text(kPrefix);
  text += info != nullptr ? info->state : "HY000";
  text += kNativeMark;
  text += std::to_string(static_cast<uint32_t>(native));
  text += "; ";
  text += cause;
  text += where;
  return Status(kErrSql, std::move(text));
}

bool IsSqlError(const Status& status) {
  return status.code() == kErrSql && status.message().rfind(kPrefix, 0) == 0;
}

uint32_t NativeOf(const Status& status) {
  if (!IsSqlError(status)) return 0;
  size_t at = status.message().find(kNativeMark);
  if (at == std::string::npos) return 0;
  uint32_t n = 0;
  for (size_t i = at + kNativeMark.size(); i < status.message().size(); ++i) {
    char c = status.message()[i];
    if (c < '0' || c > '9') break;
    n = n * 10 + static_cast<uint32_t>(c - '0');
  }
  return n;
}

std::string CauseOf(const Status& status) {
  if (!IsSqlError(status)) return status.message();
  size_t at = status.message().find(kNativeMark);
  size_t semi = at == std::string::npos ? at : status.message().find("; ", at + kNativeMark.size());
  return semi == std::string::npos ? status.message() : status.message().substr(semi + 2);
}

Status Locate(const Status& status, const StatementPlace& place) {
  if (status.ok()) return status;
  // A stop asked for by a callback and a refusal for want of a table's key keep their codes.
  if (status.code() == kErrOperationCancelled || status.code() == kErrEncryption) return status;
  if (IsSqlError(status)) {
    if (status.message().find(kPlaceMark) != std::string::npos) return status;
    return Status(status.code(), status.message() + DescribePlace(place));
  }
  std::string cause = status.message();
  if (!cause.empty() && cause.back() != '.') cause += '.';
  return SqlError(NativeError::kIo, cause, DescribePlace(place));
}

std::string ColumnRef(std::string_view name) {
  return "column \"" + std::string(name) + "\"";
}

}  // namespace ace::sql
