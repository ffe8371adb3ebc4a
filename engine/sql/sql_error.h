// SQL errors in the engine's form: code 7200 (kErrSql) with the text
//   SQL error: State = S; NativeError = N; <what, where>
// The C API's last-error layer prefixes "Error 7200: "; the components read N from the part
// between "NativeError = " and the next ";". N comes from the one table below: every native
// error has a stable number, an SQL state and a fixed meaning. New rows get new numbers; a
// number is never reused for another meaning.
//
// <what, where> is the cause ("The column "X" already exists in table Kinder.") followed by
// " -- statement k of n at line L[, column C]: <statement text, cut when long>". Columns are
// always named in the form column "X", which the components parse.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/status.h"

namespace ace::sql {

enum class NativeError : uint32_t {
  kSyntax = 2101,            // the text is not a statement of the grammar
  kUnexpectedEnd = 2102,     // the statement ends where more was expected
  kUnterminated = 2103,      // a quote, bracket or comment is not closed
  kTableNotFound = 2110,     // the table file does not exist
  kTableExists = 2111,       // CREATE TABLE of a table whose file exists
  kTableInUse = 2112,        // the table is open by another user
  kLockConflict = 2113,      // a record or the table is locked by another user
  kColumnNotFound = 2120,    // DROP/ALTER of a column the table does not have
  kColumnExists = 2121,      // ADD of a column the table already has
  kBadType = 2122,           // unknown type name, or a length the type cannot take
  kTypeNotHeld = 2123,       // a type the table type cannot hold
  kBadColumnName = 2124,     // empty, too long for the table type, or reserved
  kDuplicateColumn = 2125,   // the same column twice in CREATE TABLE
  kNoColumnsLeft = 2126,     // the change would leave the table without columns
  kBadPosition = 2127,       // POSITION outside 1..columns + 1
  kConversion = 2130,        // a stored value does not convert to the column's new type
  kValueNotHeld = 2131,      // a value does not fit or convert into its column
  kIndexNotRebuilt = 2140,   // index files beside the table cannot be rebuilt yet
  kIndexUnavailable = 2141,  // CREATE/DROP INDEX, PRIMARY KEY, UNIQUE: no index support
  kNotDdl = 2150,            // a statement the DDL executor does not run
  kUnsupported = 2151,       // a clause the engine's tables cannot keep
  kNotPrepared = 2152,       // execution of a statement without a prepared text
  kIo = 2160,                // reading or writing the table failed
  kParamNotSet = 2170,       // a parameter of the text has no value
  kParamUnknown = 2171,      // a parameter number or name the text does not have
  kParamValue = 2172,        // a parameter value that cannot be used
  kSqlEngine = 2180,         // refused by the SQL engine (syntax, unknown column, ...)
  kConstraint = 2181,        // a constraint of the statement failed
  kTimeout = 2190,           // the statement ran past its timeout and was stopped
  // A table the dictionary does not hold; the number is the engine's code for the same answer
  // (5132), which the components look for.
  kNotInDictionary = 5132,
};

struct NativeErrorInfo {
  NativeError code;
  std::string_view state;    // the SQL state (5 characters)
  std::string_view meaning;  // what the number means, for documentation and tests
};

// The whole table, sorted by number.
const std::vector<NativeErrorInfo>& AllNativeErrors();
// The row of a number, or nullptr.
const NativeErrorInfo* FindNativeError(uint32_t number);

// Where a statement stands in its text, for messages.
struct StatementPlace {
  size_t index = 1;       // 1-based
  size_t count = 1;       // 0 = not known yet (" of n" is left out)
  uint32_t line = 1;      // of the statement's first character
  uint32_t column = 0;    // of the error inside the text; 0 = not given
  std::string_view text;  // the statement
};

// " -- statement k of n at line L[, column C]: text" with the text on one line (runs of
// white space become one blank) and cut to kMaxQuotedStatement characters with "...".
inline constexpr size_t kMaxQuotedStatement = 120;
std::string DescribePlace(const StatementPlace& place);

// The 7200 Status "SQL error: State = S; NativeError = N; cause[where]".
Status SqlError(NativeError native, std::string_view cause, std::string_view where = {});

// True for a Status made by SqlError; NativeOf gives its number (0 for other Statuses).
bool IsSqlError(const Status& status);
uint32_t NativeOf(const Status& status);

// The cause part of a SqlError (after "NativeError = N; "); the whole message of others.
std::string CauseOf(const Status& status);

// Adds the place to a SqlError that has none yet; any other failure (an I/O error of the
// storage layer) becomes a kIo SqlError keeping its text.
Status Locate(const Status& status, const StatementPlace& place);

// `column "X"` as messages write it.
std::string ColumnRef(std::string_view name);

}  // namespace ace::sql
