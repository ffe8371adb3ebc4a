// The engine's error codes: one table gives each code its name and its text, and every
// failure the engine reports uses a code of that table. Codes that the component layer reacts
// to keep the meaning its reactions imply; the others are the engine's own.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace ace {

// Codes the component layer reacts to.
inline constexpr uint32_t kErrInsufficientBuffer = 5005;  // length answered
inline constexpr uint32_t kErrNoSuchIndexTag = 5016;
inline constexpr uint32_t kErrInvalidRecordNumber = 5022;
inline constexpr uint32_t kErrHandleHasNoConnection = 5023;
inline constexpr uint32_t kErrConnectionClosed = 5024;
inline constexpr uint32_t kErrNoCollation = 5025;
inline constexpr uint32_t kErrLockRefused = 5035;
inline constexpr uint32_t kErrNoFilter = 5037;
inline constexpr uint32_t kErrNoScope = 5038;
inline constexpr uint32_t kErrNoKeyPosition = 5041;
inline constexpr uint32_t kErrPermissionDenied = 5054;
inline constexpr uint32_t kErrNoMoreTables = 5059;
inline constexpr uint32_t kErrRecordNotLocked = 5062;
inline constexpr uint32_t kErrStaticCursor = 5064;
inline constexpr uint32_t kErrIndexAlreadyOpen = 5065;
inline constexpr uint32_t kErrNoCurrentRecord = 5068;
inline constexpr uint32_t kErrNoPendingUpdate = 5085;
inline constexpr uint32_t kErrTableNotLocked = 5087;
inline constexpr uint32_t kErrInvalidStatementHandle = 5106;
inline constexpr uint32_t kErrNoRowCount = 5117;
inline constexpr uint32_t kErrComponent = 5121;  // the components' own checks
inline constexpr uint32_t kErrNotInDictionary = 5132;
inline constexpr uint32_t kErrNoMoreDictObjects = 5137;
inline constexpr uint32_t kErrPropertyNotSet = 5138;
inline constexpr uint32_t kErrColumnNotFound = 5147;
inline constexpr uint32_t kErrColumnValue = 5148;
inline constexpr uint32_t kErrColumnType = 5149;
inline constexpr uint32_t kErrRecordChanged = 5186;
inline constexpr uint32_t kErrAofBufferTooSmall = 5211;
inline constexpr uint32_t kErrSql = 7200;
inline constexpr uint32_t kErrStatementUnusable = 7209;

// The engine's own codes.
inline constexpr uint32_t kErrGeneral = 5000;
inline constexpr uint32_t kErrInvalidHandle = 5001;
inline constexpr uint32_t kErrWrongHandleType = 5002;
inline constexpr uint32_t kErrInvalidArgument = 5003;
inline constexpr uint32_t kErrNullPointer = 5004;
inline constexpr uint32_t kErrOutOfMemory = 5006;
inline constexpr uint32_t kErrNotSupported = 5007;
inline constexpr uint32_t kErrInternal = 5008;
inline constexpr uint32_t kErrFileNotFound = 5010;
inline constexpr uint32_t kErrPathNotFound = 5011;
inline constexpr uint32_t kErrFileExists = 5012;
inline constexpr uint32_t kErrIo = 5013;
inline constexpr uint32_t kErrDiskFull = 5014;
inline constexpr uint32_t kErrCorruptFile = 5015;
inline constexpr uint32_t kErrUnsupportedVersion = 5017;
inline constexpr uint32_t kErrNameTooLong = 5018;
inline constexpr uint32_t kErrServerTypeUnavailable = 5019;
inline constexpr uint32_t kErrInvalidFieldName = 5020;
inline constexpr uint32_t kErrInvalidFieldType = 5021;
inline constexpr uint32_t kErrTableReadOnly = 5030;
inline constexpr uint32_t kErrExclusiveRequired = 5031;
inline constexpr uint32_t kErrTableInUse = 5032;
inline constexpr uint32_t kErrInvalidExpression = 5040;
inline constexpr uint32_t kErrDuplicateKey = 5042;
inline constexpr uint32_t kErrStaleIndex = 5043;
inline constexpr uint32_t kErrValueOutOfRange = 5044;
inline constexpr uint32_t kErrConversion = 5045;
inline constexpr uint32_t kErrInvalidPassword = 5050;
inline constexpr uint32_t kErrTransaction = 5060;
inline constexpr uint32_t kErrOperationCancelled = 5070;
inline constexpr uint32_t kErrEncryption = 5080;

struct ErrorInfo {
  uint32_t code;
  std::string_view name;
  std::string_view text;
};

// The whole table, sorted by code.
const std::vector<ErrorInfo>& AllErrors();

// The table's row for a code, or nullptr for a code the engine does not know.
const ErrorInfo* FindError(uint32_t code);

// The text of a code; "Unknown error code N." for a code the table lacks.
std::string_view ErrorText(uint32_t code);

}  // namespace ace
