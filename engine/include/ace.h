/*
 * ace.h - the C API of the client engine (libace.so).
 *
 * Conventions that hold for every function declared here:
 *
 *  1. Every function returns UNSIGNED32: 0 on success, else an error code whose text
 *     AdsGetLastError gives on the same thread.
 *  2. Handles are 32-bit integers and 0 means none. The engine keeps a typed handle table, so a
 *     stale handle or a handle of the wrong kind is an error (never a crash).
 *  3. Text arguments are zero-terminated 8-bit strings in the engine's ANSI code page
 *     (Windows-1252), except for functions whose names end in W (UTF-16) and the filter and
 *     optimized-filter functions ending in 100 (UTF-16 when option ADS_ENCODE_UTF16 is given).
 *  4. Out buffers come with an in/out length. A buffer too small answers AE_INSUFFICIENT_BUFFER
 *     (5005) with the needed length in the length argument and writes nothing past the length
 *     given.
 *  5. No C++ exception crosses this boundary: each entry point catches, records the error for
 *     the thread and returns its code.
 *  6. A connection and everything opened on it belong to one thread at a time; the engine's
 *     global tables are lock-guarded.
 *
 * Error codes are listed below; engine/base/error_codes.h holds the same table with texts.
 */
#ifndef ACE_H
#define ACE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(ACE_BUILDING_LIBRARY)
#define ACE_API __attribute__((visibility("default")))
#else
#define ACE_API
#endif

typedef uint8_t UNSIGNED8;
typedef uint16_t UNSIGNED16;
typedef uint32_t UNSIGNED32;
typedef uint64_t UNSIGNED64;
typedef int16_t SIGNED16;
typedef int32_t SIGNED32;
typedef int64_t SIGNED64;
typedef double DOUBLE;
typedef uint32_t ADSHANDLE;
typedef char16_t WCHAR;

/* ---- Error codes ------------------------------------------------------------------------- */
#define AE_SUCCESS 0
#define AE_GENERAL 5000
#define AE_INVALID_HANDLE 5001
#define AE_WRONG_HANDLE_TYPE 5002
#define AE_INVALID_ARGUMENT 5003
#define AE_NULL_POINTER 5004
#define AE_INSUFFICIENT_BUFFER 5005
#define AE_OUT_OF_MEMORY 5006
#define AE_NOT_SUPPORTED 5007
#define AE_INTERNAL 5008
#define AE_FILE_NOT_FOUND 5010
#define AE_PATH_NOT_FOUND 5011
#define AE_FILE_EXISTS 5012
#define AE_IO_ERROR 5013
#define AE_DISK_FULL 5014
#define AE_CORRUPT_FILE 5015
#define AE_NO_SUCH_INDEX_TAG 5016
#define AE_UNSUPPORTED_VERSION 5017
#define AE_NAME_TOO_LONG 5018
#define AE_SERVER_TYPE_UNAVAILABLE 5019
#define AE_INVALID_FIELD_NAME 5020
#define AE_INVALID_FIELD_TYPE 5021
#define AE_INVALID_RECORD_NUMBER 5022
#define AE_NO_CONNECTION 5023
#define AE_CONNECTION_CLOSED 5024
#define AE_NO_COLLATION 5025
#define AE_TABLE_READ_ONLY 5030
#define AE_EXCLUSIVE_REQUIRED 5031
#define AE_TABLE_IN_USE 5032
#define AE_LOCK_REFUSED 5035
#define AE_NO_FILTER 5037
#define AE_NO_SCOPE 5038
#define AE_INVALID_EXPRESSION 5040
#define AE_NO_KEY_POSITION 5041
#define AE_DUPLICATE_KEY 5042
#define AE_STALE_INDEX 5043
#define AE_VALUE_OUT_OF_RANGE 5044
#define AE_CONVERSION 5045
#define AE_INVALID_PASSWORD 5050
#define AE_PERMISSION_DENIED 5054
#define AE_NO_MORE_TABLES 5059
#define AE_TRANSACTION 5060
#define AE_RECORD_NOT_LOCKED 5062
#define AE_STATIC_CURSOR 5064
#define AE_INDEX_ALREADY_OPEN 5065
#define AE_NO_CURRENT_RECORD 5068
#define AE_OPERATION_CANCELLED 5070
#define AE_ENCRYPTION 5080
#define AE_NO_PENDING_UPDATE 5085
#define AE_TABLE_NOT_LOCKED 5087
#define AE_INVALID_STATEMENT_HANDLE 5106
#define AE_NO_ROW_COUNT 5117
#define AE_COMPONENT 5121
#define AE_NOT_IN_DICTIONARY 5132
#define AE_NO_MORE_DICT_OBJECTS 5137
#define AE_PROPERTY_NOT_SET 5138
#define AE_COLUMN_NOT_FOUND 5147
#define AE_COLUMN_VALUE 5148
#define AE_COLUMN_TYPE 5149
#define AE_RECORD_CHANGED 5186
#define AE_AOF_BUFFER_TOO_SMALL 5211
#define AE_SQL_ERROR 7200
#define AE_STATEMENT_UNUSABLE 7209

/* The size of the text buffer that always holds a whole error text. */
#define ADS_MAX_ERROR_LEN 600

/* ---- Handle types (AdsGetHandleType) ------------------------------------------------------ */
#define ADS_CONNECTION 1
#define ADS_TABLE 2
#define ADS_INDEX_ORDER 3
#define ADS_STATEMENT 4
#define ADS_CURSOR 5

/* ---- Errors and version ------------------------------------------------------------------- */

/* The code and text of this thread's last error. pucBuf gets the zero-terminated text;
 * *pusBufLen is its capacity in, the text's length out. */
ACE_API UNSIGNED32 AdsGetLastError(UNSIGNED32* pulErrCode, UNSIGNED8* pucBuf, UNSIGNED16* pusBufLen);

/* Records ulErrCode with the text pucDetails (may be null) as this thread's last error and
 * answers ulErrCode itself, so that a caller's check of the answer raises it. */
ACE_API UNSIGNED32 AdsSetLastError(UNSIGNED32 ulErrCode, const UNSIGNED8* pucDetails);

/* The engine's text for an error code. */
ACE_API UNSIGNED32 AdsGetErrorString(UNSIGNED32 ulErrCode, UNSIGNED8* pucBuf, UNSIGNED16* pusBufLen);

/* Shows the last error to the user under the title pucTitle (may be null). The engine has no
 * window of its own: it writes "title: text" to the standard error stream, or hands it to the
 * display registered with AdsRegisterErrorDisplay. */
ACE_API UNSIGNED32 AdsShowError(const UNSIGNED8* pucTitle);

/* A host that has windows registers how the engine shows an error (null restores stderr). */
typedef void (*ADS_ERROR_DISPLAY)(const char* title, const char* text);
ACE_API UNSIGNED32 AdsRegisterErrorDisplay(ADS_ERROR_DISPLAY pfnDisplay);

/* The engine's version: major, minor, a letter (blank for none) and a description. Any of the
 * out pointers may be null; pucDesc may be null when *pusDescLen is 0. */
ACE_API UNSIGNED32 AdsGetVersion(UNSIGNED32* pulMajor, UNSIGNED32* pulMinor, UNSIGNED8* pucLetter,
                                 UNSIGNED8* pucDesc, UNSIGNED16* pusDescLen);

/* The kind of object a handle names (ADS_CONNECTION ... ADS_CURSOR). */
ACE_API UNSIGNED32 AdsGetHandleType(ADSHANDLE hObj, UNSIGNED16* pusType);

#ifdef __cplusplus
}
#endif

#endif /* ACE_H */
