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
 *     global tables are lock-guarded. A thread holds the memory of the table and index handles
 *     it used last until its next call or AdsThreadExit, also once another thread has closed
 *     them; their files close when they are closed.
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

/* ---- Constants of connections and tables ------------------------------------------------- */

/* Server types of AdsConnect60 (or-ed); 0 lets the engine choose (local). */
#define ADS_LOCAL_SERVER 1
#define ADS_REMOTE_SERVER 2
#define ADS_AIS_SERVER 4

/* Connection properties of AdsGetConnectionProperty. */
#define ADS_CONNECTIONPROP_USERNAME 0
#define ADS_CONNECTIONPROP_PASSWORD 1

/* Table types. ADS_DEFAULT lets a dictionary choose (free tables need one of 1 to 4). */
#define ADS_DEFAULT 0
#define ADS_NTX 1
#define ADS_CDX 2
#define ADS_ADT 3
#define ADS_VFP 4

/* Character types. */
#define ADS_ANSI 1
#define ADS_OEM 2

/* Lock types (the two file-lock schemes; users of different schemes do not see each other's
 * record locks). */
#define ADS_COMPATIBLE_LOCKING 0
#define ADS_PROPRIETARY_LOCKING 1

/* Rights checking. */
#define ADS_CHECK_RIGHTS 1
#define ADS_IGNORE_RIGHTS 2

/* Open options (AdsOpenTable90, answered by AdsGetTableOpenOptions). Further bits the
 * components pass (index collation handling, caching) are accepted and have no effect. */
#define ADS_EXCLUSIVE 0x00000001
#define ADS_READONLY 0x00000002
#define ADS_SHARED 0x00000000
/* Options of AdsCreateTable90 on a dictionary connection: the new table stays a free table,
 * or becomes a table of the dictionary (also the choice when neither bit is given; the bit
 * is refused on a connection without a dictionary). */
#define ADS_CREATE_FREE_TABLE 0x00001000
#define ADS_CREATE_DICTIONARY_TABLE 0x00004000
/* Answered by AdsGetTableOpenOptions only. */
#define ADS_UPDATE_ALLOWED 0x00000020
#define ADS_INSERT_ALLOWED 0x00000040

/* File name forms of AdsGetTableFilename. */
#define ADS_BASENAME 1
#define ADS_BASENAMEANDEXT 2
#define ADS_FULLPATHNAME 3

/* Counting and numbering options (AdsGetRecordCount, AdsGetRecordNum, AdsCopyTable...). */
#define ADS_RESPECTFILTERS 1
#define ADS_IGNOREFILTERS 2
#define ADS_RESPECTSCOPES 3
#define ADS_REFRESHCOUNT 4

/* Trim options of the text getters. */
#define ADS_NONE 0
#define ADS_LTRIM 1
#define ADS_RTRIM 2
#define ADS_TRIM 3

/* Binary and memo data types (AdsSetBinary, AdsFileToBinary, AdsGetMemoDataType). */
#define ADS_MEMO 5
#define ADS_BINARY 6
#define ADS_IMAGE 7

/* Options of AdsAccessVfpSystemField. */
#define ADS_VFP_GET_NULL 1     /* *pulValue := 1 when the field is null, else 0 */
#define ADS_VFP_SET_NULL 2     /* *pulValue 0xFFFF marks the field null, 0 clears the mark */
#define ADS_VFP_SET_VARLEN 3   /* *pulValue 0xFFFF: the value fills the field; 0: it is shorter */
#define ADS_VFP_GET_VARLEN 4   /* *pulValue := 1 when the value fills the field, else 0 */

/* The size of a bookmark of AdsGetBookmark60. */
#define ADS_BOOKMARK_LENGTH 4

/* ---- Field arguments ----------------------------------------------------------------------
 * Functions that take "UNSIGNED8* pucFldName" accept either a zero-terminated field name
 * (without regard to letter case) or a field number: a pointer value from 1 to 65535 is the
 * 1-based number of the field, as written by ADSFIELD(n). No valid text lies at such
 * addresses, so the two cannot be confused. 0 (a null pointer) is refused with 5004. */
#define ADSFIELD(n) ((UNSIGNED8*)(uintptr_t)(n))

/* ---- Connections ------------------------------------------------------------------------- */

/* Opens a connection on a directory of free tables or on a data dictionary (a path ending in
 * ".add", see "Data dictionaries"). usServerTypes: ADS_LOCAL_SERVER (or 0); remote and
 * internet answer 5019; a missing directory 5011. User name and password may be null; they are
 * kept for AdsGetConnectionProperty. */
ACE_API UNSIGNED32 AdsConnect60(const UNSIGNED8* pucServerPath, UNSIGNED16 usServerTypes, const UNSIGNED8* pucUserName,
                                const UNSIGNED8* pucPassword, UNSIGNED32 ulOptions, ADSHANDLE* phConnect);
/* AdsConnect60 with the engine's choice of server type and no user. */
ACE_API UNSIGNED32 AdsConnect(const UNSIGNED8* pucServerName, ADSHANDLE* phConnect);
/* Closes the connection and every table, cursor, search and statement opened on it; pending
 * record changes are written first. A stale handle answers 5024. */
ACE_API UNSIGNED32 AdsDisconnect(ADSHANDLE hConnect);
/* The server type of the connection (ADS_LOCAL_SERVER). */
ACE_API UNSIGNED32 AdsGetConnectionType(ADSHANDLE hConnect, UNSIGNED16* pusConnectType);
/* The path the connection was opened on. */
ACE_API UNSIGNED32 AdsGetConnectionPath(ADSHANDLE hConnect, UNSIGNED8* pucConnectionPath, UNSIGNED16* pusLen);
/* A property of the connection (ADS_CONNECTIONPROP_USERNAME or _PASSWORD) as text. */
ACE_API UNSIGNED32 AdsGetConnectionProperty(ADSHANDLE hConnect, UNSIGNED16 usPropertyID, void* pvProperty,
                                            UNSIGNED32* pulPropertyLen);
/* *pbConnectionIsAlive := 1 while the connection is open (a local connection stays alive). */
ACE_API UNSIGNED32 AdsIsConnectionAlive(ADSHANDLE hConnect, UNSIGNED16* pbConnectionIsAlive);
/* The name of the machine that serves the connection (the local host name). */
ACE_API UNSIGNED32 AdsGetServerName(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED16* pusLen);
/* The server's date as "YYYYMMDD", its milliseconds since midnight and its time as "HH:MM:SS". */
ACE_API UNSIGNED32 AdsGetServerTime(ADSHANDLE hConnect, UNSIGNED8* pucDateBuf, UNSIGNED16* pusDateBufLen,
                                    SIGNED32* plTime, UNSIGNED8* pucTimeBuf, UNSIGNED16* pusTimeBufLen);
/* The connection a table was opened on. */
ACE_API UNSIGNED32 AdsGetTableConnection(ADSHANDLE hTable, ADSHANDLE* phConnect);
/* Starts a table search: pucFileMask is a pattern such as "*.adt", relative to the connection's
 * path or absolute; the first file name (without directory) goes to pucFirstFile and a search
 * handle to phFindHandle. No match answers 5059 (no handle). */
ACE_API UNSIGNED32 AdsFindFirstTable(ADSHANDLE hConnect, const UNSIGNED8* pucFileMask, UNSIGNED8* pucFirstFile,
                                     UNSIGNED16* pusFileLen, ADSHANDLE* phFindHandle);
/* The next file name of a search; 5059 when there are no more. */
ACE_API UNSIGNED32 AdsFindNextTable(ADSHANDLE hConnect, ADSHANDLE hFindHandle, UNSIGNED8* pucFileName,
                                    UNSIGNED16* pusFileLen);
/* Ends a search. */
ACE_API UNSIGNED32 AdsFindClose(ADSHANDLE hConnect, ADSHANDLE hFindHandle);
/* *pusOnDisk := 1 when the file exists (relative names against the connection's path; hConnect
 * may be 0: then against the working directory). */
ACE_API UNSIGNED32 AdsCheckExistence(ADSHANDLE hConnect, const UNSIGNED8* pucFileName, UNSIGNED16* pusOnDisk);

/* ---- Opening and table information ------------------------------------------------------- */

/* Opens a table (a name with or without extension, relative to the connection's path or
 * absolute, '\' or '/'). pucAlias may be null. usTableType 1-4; usCharType ADS_ANSI/ADS_OEM;
 * usLockType ADS_COMPATIBLE_LOCKING/ADS_PROPRIETARY_LOCKING; ulOptions ADS_EXCLUSIVE and
 * ADS_READONLY bits; pucCollation may be null or empty. An exclusive open while another user
 * has the table open, or a shared open while another has it exclusively, answers 5032. */
ACE_API UNSIGNED32 AdsOpenTable90(ADSHANDLE hConnect, const UNSIGNED8* pucName, const UNSIGNED8* pucAlias,
                                  UNSIGNED16 usTableType, UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                                  UNSIGNED16 usCheckRights, UNSIGNED32 ulOptions, const UNSIGNED8* pucCollation,
                                  ADSHANDLE* phTable);
/* Writes pending changes and releases the table or cursor handle. */
ACE_API UNSIGNED32 AdsCloseTable(ADSHANDLE hTable);
ACE_API UNSIGNED32 AdsGetTableType(ADSHANDLE hTable, UNSIGNED16* pusType);
/* Length of the record image of AdsGetRecord. */
ACE_API UNSIGNED32 AdsGetRecordLength(ADSHANDLE hTable, UNSIGNED32* pulLength);
/* ADS_EXCLUSIVE, ADS_READONLY, and ADS_UPDATE_ALLOWED | ADS_INSERT_ALLOWED when writable. */
ACE_API UNSIGNED32 AdsGetTableOpenOptions(ADSHANDLE hTable, UNSIGNED32* pulOptions);
ACE_API UNSIGNED32 AdsGetNumFields(ADSHANDLE hTable, UNSIGNED16* pusCount);
/* The engine field type (1-28, 51, 52) of a field (name or ADSFIELD(n)). */
ACE_API UNSIGNED32 AdsGetFieldType(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pusType);
/* Bytes of the field's area in the record image. */
ACE_API UNSIGNED32 AdsGetFieldLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED32* pulLength);
ACE_API UNSIGNED32 AdsGetFieldDecimals(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pusDecimals);
/* The name of field number usFld (1-based). */
ACE_API UNSIGNED32 AdsGetFieldName(ADSHANDLE hTable, UNSIGNED16 usFld, UNSIGNED8* pucName, UNSIGNED16* pusBufLen);
/* Offset of the field in the record image. */
ACE_API UNSIGNED32 AdsGetFieldOffset(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED32* pulOffset);
/* The 1-based number of a field name. */
ACE_API UNSIGNED32 AdsGetFieldNum(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pusNum);
ACE_API UNSIGNED32 AdsIsNullable(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pbNullable);
/* Column rights of free tables: read, update and insert as the open allows (bits 1, 2, 4). */
ACE_API UNSIGNED32 AdsGetColumnPermissions(ADSHANDLE hTable, UNSIGNED16 usFld, UNSIGNED8* pucPermissions);
ACE_API UNSIGNED32 AdsGetTableCharType(ADSHANDLE hTable, UNSIGNED16* pusCharType);
/* The collation given at open; the empty text when none was given. */
ACE_API UNSIGNED32 AdsGetTableCollation(ADSHANDLE hTable, UNSIGNED8* pucCollation, UNSIGNED16* pusLen);
/* The table's file name in the form usOption (ADS_BASENAME, ADS_BASENAMEANDEXT, ADS_FULLPATHNAME). */
ACE_API UNSIGNED32 AdsGetTableFilename(ADSHANDLE hTable, UNSIGNED16 usOption, UNSIGNED8* pucName, UNSIGNED16* pusLen);
/* Block size of the memo file (0 without one). */
ACE_API UNSIGNED32 AdsGetTableMemoSize(ADSHANDLE hTable, UNSIGNED16* pusMemoSize);
/* The record cache of a shared table handle: after a natural-order skip has asked the file
 * whether other users changed the table, up to usNumRecords - 1 further records are skipped to
 * without asking again (10 unless set; 0 and 1 ask at every skip). Other moves, locks,
 * AdsRefreshRecord and AdsGetRecordCRC always read the record as the file holds it. */
ACE_API UNSIGNED32 AdsCacheRecords(ADSHANDLE hTable, UNSIGNED16 usNumRecords);
/* Hints for caches the engine does not keep; accepted and checked. */
ACE_API UNSIGNED32 AdsCacheOpenTables(UNSIGNED16 usOpen);
ACE_API UNSIGNED32 AdsCacheOpenCursors(UNSIGNED16 usOpen);
/* Closes tables kept open by the cache of a connection (the engine keeps none: success). */
ACE_API UNSIGNED32 AdsCloseCachedTables(ADSHANDLE hConnect);
/* *pbLive := 1 for a live SQL result cursor; 0 for a table handle. */
ACE_API UNSIGNED32 AdsSqlPeekStatement(ADSHANDLE hCursor, UNSIGNED8* pbLive);

/* ---- Creating and deleting --------------------------------------------------------------- */

/* Creates a table from a field specification "Name,Char,30;Age,ShortInt;..." (types Char,
 * CIChar, Num, Date, ShortDate, Logical, Memo, Binary, Blob, Image, Varchar, VarcharFox,
 * VarBinaryFox, Double, Integer, ShortInt, Time, TimeStamp, ModTime, AutoInc, Raw, CurDouble,
 * Money, RowVersion, NChar, NVarchar, NMemo, General) and opens it. An existing file is
 * refused (5012). usMemoSize 0 = the format's default. On a dictionary connection the table is
 * added to the dictionary (see ADS_CREATE_FREE_TABLE) under pucDBObjName, or, when that is
 * null or empty, under the file's name without extension; that needs the administrator, and a
 * name the dictionary has already is refused before anything is created. */
ACE_API UNSIGNED32 AdsCreateTable90(ADSHANDLE hConnect, const UNSIGNED8* pucName, const UNSIGNED8* pucDBObjName,
                                    UNSIGNED16 usTableType, UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                                    UNSIGNED16 usCheckRights, UNSIGNED16 usMemoSize, const UNSIGNED8* pucFields,
                                    UNSIGNED32 ulOptions, const UNSIGNED8* pucCollation, ADSHANDLE* phTable);
/* Changes the fields of a closed table in one rewrite: pucDeleteFields "Name;Name2;" drops
 * fields, pucChangeFields "Name,NewName,Type[,Length[,Decimals]];" changes a field's type and,
 * when NewName is not empty, its name, pucAddFields adds fields in the form of
 * AdsCreateTable90; each text may be null or empty, they apply in that order (deletions,
 * changes, additions). Values are kept (converted through their text form where the type
 * changes), the index files beside the table are rebuilt for the new fields, and nothing is
 * written before every change was checked. The table must not be open anywhere (5032).
 * usTableType 0 on a dictionary connection: the dictionary's table of that name. */
ACE_API UNSIGNED32 AdsRestructureTable90(ADSHANDLE hConnect, const UNSIGNED8* pucName, const UNSIGNED8* pucDBObjName,
                                         UNSIGNED16 usTableType, UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                                         UNSIGNED16 usCheckRights, const UNSIGNED8* pucAddFields,
                                         const UNSIGNED8* pucDeleteFields, const UNSIGNED8* pucChangeFields,
                                         const UNSIGNED8* pucCollation);
/* Closes the table and deletes its files (table and memo). Needs no other user to have it open. */
ACE_API UNSIGNED32 AdsDeleteTable(ADSHANDLE hTable);
/* Removes every record / the deleted records; the table must be open exclusively (5031). */
ACE_API UNSIGNED32 AdsZapTable(ADSHANDLE hTable);
ACE_API UNSIGNED32 AdsPackTable(ADSHANDLE hTable);
/* Copies the table (records as usFilterOption counts them) to a new table file of the same type.
 * ADS_IGNOREFILTERS copies every record in record order, deleted ones with their mark; the
 * other options copy the visible records (filters, deleted records and, for an index handle,
 * its scopes) in the order of hObj: record order for a table handle, key order for an index
 * handle. The same holds for AdsCopyTableContents and AdsConvertTable. */
ACE_API UNSIGNED32 AdsCopyTable(ADSHANDLE hObj, UNSIGNED16 usFilterOption, const UNSIGNED8* pucFile);
/* Creates an empty table with the same fields. */
ACE_API UNSIGNED32 AdsCopyTableStructure(ADSHANDLE hTable, const UNSIGNED8* pucFile);
/* Appends the records of hObjFrom to hTableTo, field by field by name. */
ACE_API UNSIGNED32 AdsCopyTableContents(ADSHANDLE hObjFrom, ADSHANDLE hTableTo, UNSIGNED16 usFilterOption);
/* Copies the table into a new file of another table type. */
ACE_API UNSIGNED32 AdsConvertTable(ADSHANDLE hObj, UNSIGNED16 usFilterOption, const UNSIGNED8* pucFile,
                                   UNSIGNED16 usTableType);

/* ---- Navigation (natural order) ---------------------------------------------------------- */

/* Each move writes the pending changes of the current record first. BOF and EOF have no
 * current record: getters there answer 5068. */
ACE_API UNSIGNED32 AdsGotoTop(ADSHANDLE hObj);
ACE_API UNSIGNED32 AdsGotoBottom(ADSHANDLE hObj);
ACE_API UNSIGNED32 AdsGotoBOF(ADSHANDLE hObj);
ACE_API UNSIGNED32 AdsGotoEOF(ADSHANDLE hObj);
/* Moves lRecs visible records (negative: backwards); past the end is EOF, before the start BOF. */
ACE_API UNSIGNED32 AdsSkip(ADSHANDLE hObj, SIGNED32 lRecs);
/* Positions on a record (also a deleted one); 0 or past the end is EOF and answers 5022. */
ACE_API UNSIGNED32 AdsGotoRecord(ADSHANDLE hObj, UNSIGNED32 ulRec);
ACE_API UNSIGNED32 AdsAtBOF(ADSHANDLE hObj, UNSIGNED16* pbBof);
ACE_API UNSIGNED32 AdsAtEOF(ADSHANDLE hObj, UNSIGNED16* pbEof);
/* *pbVisible := 1 when the current record passes the visibility rules (deleted shown or not). */
ACE_API UNSIGNED32 AdsIsRecordVisible(ADSHANDLE hObj, UNSIGNED16* pbVisible);
/* The current record's number (ADS_IGNOREFILTERS) or its position among the visible records
 * (ADS_RESPECTFILTERS); 0 at BOF, EOF and on a new record. */
ACE_API UNSIGNED32 AdsGetRecordNum(ADSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED32* pulRec);
/* Records in the table (ADS_IGNOREFILTERS: all, deleted included) or the visible ones
 * (ADS_RESPECTFILTERS, ADS_RESPECTSCOPES); + ADS_REFRESHCOUNT re-reads the header first. */
ACE_API UNSIGNED32 AdsGetRecordCount(ADSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED32* pulCount);
/* The current record as a 32-bit bookmark (its record number). */
ACE_API UNSIGNED32 AdsGetBookmark(ADSHANDLE hObj, ADSHANDLE* phBookmark);
/* The current record as ADS_BOOKMARK_LENGTH bytes: the record number, 32-bit little-endian. */
ACE_API UNSIGNED32 AdsGetBookmark60(ADSHANDLE hObj, UNSIGNED8* pucBookmark, UNSIGNED32* pulLength);
ACE_API UNSIGNED32 AdsGetBookmarkLength(ADSHANDLE hObj, UNSIGNED32* pulLength);
ACE_API UNSIGNED32 AdsGotoBookmark(ADSHANDLE hObj, ADSHANDLE hBookmark);
/* *plResult := -1, 0 or 1 as bookmark 1 lies before, on or after bookmark 2. */
ACE_API UNSIGNED32 AdsCompareBookmarks(const UNSIGNED8* pucBookmark1, const UNSIGNED8* pucBookmark2,
                                       SIGNED32* plResult);
/* Position from 0 (first) to 1 (last visible record). */
ACE_API UNSIGNED32 AdsGetRelKeyPos(ADSHANDLE hIndex, DOUBLE* pdPos);
ACE_API UNSIGNED32 AdsSetRelKeyPos(ADSHANDLE hIndex, DOUBLE dPos);
/* The process-wide setting whether deleted records are visible (default 0: hidden). */
ACE_API UNSIGNED32 AdsShowDeleted(UNSIGNED16 bShowDeleted);
ACE_API UNSIGNED32 AdsGetDeleted(UNSIGNED16* pbShowDeleted);
ACE_API UNSIGNED32 AdsIsRecordDeleted(ADSHANDLE hTable, UNSIGNED16* pbDeleted);
/* Re-reads the current record from the file, dropping pending changes. */
ACE_API UNSIGNED32 AdsRefreshRecord(ADSHANDLE hTable);

/* ---- Records ----------------------------------------------------------------------------- */

/* The current record image (with pending changes), *pulLen bytes in, the record length out. */
ACE_API UNSIGNED32 AdsGetRecord(ADSHANDLE hTable, UNSIGNED8* pucRec, UNSIGNED32* pulLen);
/* The image of a blank record (every field empty), as a new record starts. */
ACE_API UNSIGNED32 AdsGetNullRecord(ADSHANDLE hTable, UNSIGNED8* pucRec, UNSIGNED32* pulLen);
/* Fills the caller's buffer of ulLen bytes (at least the record length) with a blank record. */
ACE_API UNSIGNED32 AdsClearRecordBuffer(ADSHANDLE hTable, UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
/* Starts a new blank record; it is written by AdsWriteRecord or the next move. */
ACE_API UNSIGNED32 AdsAppendRecord(ADSHANDLE hTable);
/* Writes the pending changes (locking the record for the write when this user holds no lock;
 * 5035 when another user holds it). */
ACE_API UNSIGNED32 AdsWriteRecord(ADSHANDLE hTable);
/* Drops the pending changes (and a new record that was not written yet). */
ACE_API UNSIGNED32 AdsCancelUpdate(ADSHANDLE hTable);
ACE_API UNSIGNED32 AdsDeleteRecord(ADSHANDLE hTable);
ACE_API UNSIGNED32 AdsRecallRecord(ADSHANDLE hTable);
/* CRC-32 of the current record as stored (ulOptions 1: with pending changes); memo fields
   count with their contents, not with their block pointers. */
ACE_API UNSIGNED32 AdsGetRecordCRC(ADSHANDLE hTable, UNSIGNED32* pulCRC, UNSIGNED32 ulOptions);
/* The autoincrement value of the last record this handle appended (0 when none). */
ACE_API UNSIGNED32 AdsGetLastAutoinc(ADSHANDLE hObj, UNSIGNED32* pulAutoIncVal);

/* ---- Locks ------------------------------------------------------------------------------- */

/* Locks a record (0 = the current one); 5035 when another user holds it or the table lock. */
ACE_API UNSIGNED32 AdsLockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec);
/* 5062 when this user did not hold the lock. */
ACE_API UNSIGNED32 AdsUnlockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec);
/* 5035 when another user holds the table lock or any record lock. */
ACE_API UNSIGNED32 AdsLockTable(ADSHANDLE hTable);
/* 5087 when the table was not locked. */
ACE_API UNSIGNED32 AdsUnlockTable(ADSHANDLE hTable);
/* *pbLocked := 1 when this user holds the record's lock (or the table lock, or the table is
 * open exclusively). */
ACE_API UNSIGNED32 AdsIsRecordLocked(ADSHANDLE hTable, UNSIGNED32 ulRec, UNSIGNED16* pbLocked);
ACE_API UNSIGNED32 AdsIsTableLocked(ADSHANDLE hTable, UNSIGNED16* pbLocked);
/* The number of record locks this user holds on the table. */
ACE_API UNSIGNED32 AdsGetNumLocks(ADSHANDLE hTable, UNSIGNED16* pusNum);
/* Their record numbers, ascending; *pusArrayLen is the array's capacity in, the count out
 * (5005 with the count when the array is too small). */
ACE_API UNSIGNED32 AdsGetAllLocks(ADSHANDLE hTable, UNSIGNED32* aulLocks, UNSIGNED16* pusArrayLen);

/* ---- Field values ------------------------------------------------------------------------
 * Getters read the current record (with pending changes) and answer 5068 without one; setters
 * change the engine's copy of the record, which is written by AdsWriteRecord or the next move.
 * On OEM tables character data is converted between OEM and ANSI here. */

/* The field as text (every type); usOption ADS_NONE, ADS_LTRIM, ADS_RTRIM, ADS_TRIM. */
ACE_API UNSIGNED32 AdsGetField(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED32* pulLen,
                               UNSIGNED16 usOption);
/* The same in UTF-16; lengths in characters. */
ACE_API UNSIGNED32 AdsGetFieldW(ADSHANDLE hTable, const UNSIGNED8* pucFldName, WCHAR* pwcBuf, UNSIGNED32* pulLen,
                                UNSIGNED16 usOption);
/* The text of a character or memo field. */
ACE_API UNSIGNED32 AdsGetString(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED32* pulLen,
                                UNSIGNED16 usOption);
ACE_API UNSIGNED32 AdsGetStringW(ADSHANDLE hTable, const UNSIGNED8* pucFldName, WCHAR* pwcBuf, UNSIGNED32* pulLen,
                                 UNSIGNED16 usOption);
ACE_API UNSIGNED32 AdsGetLong(ADSHANDLE hTable, const UNSIGNED8* pucFldName, SIGNED32* plValue);
ACE_API UNSIGNED32 AdsGetShort(ADSHANDLE hTable, const UNSIGNED8* pucFldName, SIGNED16* psValue);
ACE_API UNSIGNED32 AdsGetDouble(ADSHANDLE hTable, const UNSIGNED8* pucFldName, DOUBLE* pdValue);
ACE_API UNSIGNED32 AdsGetLogical(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pbValue);
/* A date (or the date part of a timestamp) as a Julian day number; 0 for an empty date. */
ACE_API UNSIGNED32 AdsGetJulian(ADSHANDLE hTable, const UNSIGNED8* pucFldName, SIGNED32* plDate);
/* A time (or the time part of a timestamp) in milliseconds since midnight. */
ACE_API UNSIGNED32 AdsGetMilliseconds(ADSHANDLE hTable, const UNSIGNED8* pucFldName, SIGNED32* plTime);
/* A date as text in the engine's date format; a time as text. */
ACE_API UNSIGNED32 AdsGetDate(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED16* pusLen);
ACE_API UNSIGNED32 AdsGetTime(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED16* pusLen);
ACE_API UNSIGNED32 AdsIsEmpty(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pbEmpty);
ACE_API UNSIGNED32 AdsIsNull(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pbNull);
/* Length of the field's value as AdsGetField gives it untrimmed (national types: 2 bytes per
 * character); memo and binary contents in bytes. ulOptions is accepted for either form. */
ACE_API UNSIGNED32 AdsGetDataLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED32 ulOptions,
                                    UNSIGNED32* pulLength);
ACE_API UNSIGNED32 AdsGetMemoLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED32* pulLength);
/* ADS_MEMO, ADS_BINARY or ADS_IMAGE. */
ACE_API UNSIGNED32 AdsGetMemoDataType(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pusType);
/* Binary data from ulOffset; *pulLen bytes in, bytes delivered out (fewer at the end). */
ACE_API UNSIGNED32 AdsGetBinary(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED32 ulOffset, UNSIGNED8* pucBuf,
                                UNSIGNED32* pulLen);
ACE_API UNSIGNED32 AdsGetBinaryLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED32* pulLength);

/* The field from text (every type), ulLen bytes (the text need not be zero-terminated). */
ACE_API UNSIGNED32 AdsSetField(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
ACE_API UNSIGNED32 AdsSetFieldW(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const WCHAR* pwcBuf, UNSIGNED32 ulLen);
/* The field's bytes in the storage form of the record image (ulLen at most the field length). */
ACE_API UNSIGNED32 AdsSetFieldRaw(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
ACE_API UNSIGNED32 AdsSetString(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
ACE_API UNSIGNED32 AdsSetStringW(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const WCHAR* pwcBuf, UNSIGNED32 ulLen);
ACE_API UNSIGNED32 AdsSetEmpty(ADSHANDLE hObj, const UNSIGNED8* pucFldName);
/* Sets NULL; a field that cannot hold NULL is set empty. */
ACE_API UNSIGNED32 AdsSetNull(ADSHANDLE hObj, const UNSIGNED8* pucFldName);
ACE_API UNSIGNED32 AdsSetLong(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED32 lValue);
ACE_API UNSIGNED32 AdsSetShort(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED16 sValue);
ACE_API UNSIGNED32 AdsSetDouble(ADSHANDLE hObj, const UNSIGNED8* pucFldName, DOUBLE dValue);
ACE_API UNSIGNED32 AdsSetLogical(ADSHANDLE hObj, const UNSIGNED8* pucFldName, UNSIGNED16 bValue);
ACE_API UNSIGNED32 AdsSetJulian(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED32 lDate);
ACE_API UNSIGNED32 AdsSetMilliseconds(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED32 lTime);
ACE_API UNSIGNED32 AdsSetDate(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucValue, UNSIGNED16 usLen);
ACE_API UNSIGNED32 AdsSetTime(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucValue, UNSIGNED16 usLen);
/* A timestamp from 8 bytes: the Julian day, then the milliseconds since midnight, each a 32-bit
 * little-endian integer (ulLen must be 8). */
ACE_API UNSIGNED32 AdsSetTimeStampRaw(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucBuf,
                                      UNSIGNED32 ulLen);
/* Binary data in chunks: ulTotalLength is the whole value's size, ulOffset where this chunk of
 * ulLen bytes goes; the value is stored when the last chunk has arrived. usBinaryType
 * ADS_BINARY or ADS_IMAGE. */
ACE_API UNSIGNED32 AdsSetBinary(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16 usBinaryType,
                                UNSIGNED32 ulTotalLength, UNSIGNED32 ulOffset, const UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
/* Stores a file's contents in a binary or memo field / writes the field's contents to a file. */
ACE_API UNSIGNED32 AdsFileToBinary(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16 usBinaryType,
                                   const UNSIGNED8* pucFileName);
ACE_API UNSIGNED32 AdsBinaryToFile(ADSHANDLE hTable, const UNSIGNED8* pucFldName, const UNSIGNED8* pucFileName);
/* The hidden null and length marks of a VFP field in a record image pucRecord (the caller's
 * copy, of the record length): ulOptions ADS_VFP_GET_NULL, _SET_NULL, _SET_VARLEN, _GET_VARLEN. */
ACE_API UNSIGNED32 AdsAccessVfpSystemField(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucRecord,
                                           UNSIGNED32 ulOptions, UNSIGNED32* pulValue);

/* ---- SQL statements ---------------------------------------------------------------------- */

/* Statement option values (AdsStmtSetTable...). */
#define ADS_CHECK_RIGHTS 1
#define ADS_IGNORE_RIGHTS 2
#define ADS_CURSOR_READONLY 1
#define ADS_CURSOR_READWRITE 2
#define ADS_CONSTRAIN 1
#define ADS_NO_CONSTRAIN 2
#define ADS_READ_ALL_COLUMNS 1
#define ADS_READ_SELECT_COLUMNS 2

/* A statement handle on a connection, with default options (proprietary locks, ADT tables,
 * rights checked, read-only results, no collation, ANSI characters). The field setters
 * (AdsSetString, AdsSetStringW, AdsSetLong, AdsSetShort, AdsSetDouble, AdsSetLogical,
 * AdsSetJulian, AdsSetMilliseconds, AdsSetTimeStampRaw, AdsSetDate, AdsSetTime, AdsSetBinary,
 * AdsSetEmpty, AdsSetNull) called with a statement handle set a parameter of its prepared text,
 * named by ADSFIELD(n) or by its name; AdsSetEmpty and AdsSetNull set SQL NULL.
 * AdsGetRecordCount on a statement answers the rows affected by its last execution (5117 when
 * there is no count); AdsGetLastAutoinc the autoincrement value its last INSERT gave. */
ACE_API UNSIGNED32 AdsCreateSQLStatement(ADSHANDLE hConnect, ADSHANDLE* phStatement);
/* Closes a statement and every static result cursor it still owns (5106 for no statement). */
ACE_API UNSIGNED32 AdsCloseSQLStatement(ADSHANDLE hStatement);
/* Options the statement applies to the tables its statements open. */
ACE_API UNSIGNED32 AdsStmtSetTableLockType(ADSHANDLE hStatement, UNSIGNED16 usLockType);
ACE_API UNSIGNED32 AdsStmtSetTableCollation(ADSHANDLE hStatement, const UNSIGNED8* pucCollation);
ACE_API UNSIGNED32 AdsStmtSetTableRights(ADSHANDLE hStatement, UNSIGNED16 usCheckRights);
ACE_API UNSIGNED32 AdsStmtSetTableReadOnly(ADSHANDLE hStatement, UNSIGNED16 usReadOnly);
ACE_API UNSIGNED32 AdsStmtSetTableType(ADSHANDLE hStatement, UNSIGNED16 usTableType);
ACE_API UNSIGNED32 AdsStmtSetTableCharType(ADSHANDLE hStatement, UNSIGNED16 usCharType);
ACE_API UNSIGNED32 AdsStmtConstrainUpdates(ADSHANDLE hStatement, UNSIGNED16 usConstrain);
ACE_API UNSIGNED32 AdsStmtReadAllColumns(ADSHANDLE hStatement, UNSIGNED16 usReadAll);
/* Seconds an execution may run before it stops with an error; 0 = no limit. */
ACE_API UNSIGNED32 AdsSetSQLTimeout(ADSHANDLE hStatement, UNSIGNED32 ulTimeout);
/* Encryption password for tables the statement creates or opens; table passwords by name. The
 * passwords are kept on the statement; the engine's tables are not encrypted yet, so they are
 * not applied. */
ACE_API UNSIGNED32 AdsStmtEnableEncryption(ADSHANDLE hStatement, const UNSIGNED8* pucPassword);
ACE_API UNSIGNED32 AdsStmtDisableEncryption(ADSHANDLE hStatement);
ACE_API UNSIGNED32 AdsStmtSetTablePassword(ADSHANDLE hStatement, const UNSIGNED8* pucTableName,
                                           const UNSIGNED8* pucPassword);
ACE_API UNSIGNED32 AdsStmtClearTablePasswords(ADSHANDLE hStatement);
/* Checks and keeps a text of one or more statements (separated by ';'); its parameters ('?' and
 * ':name', numbered from 1 in order of appearance) become settable with AdsSet... and
 * ADSFIELD(n). */
ACE_API UNSIGNED32 AdsPrepareSQL(ADSHANDLE hStatement, const UNSIGNED8* pucSQL);
ACE_API UNSIGNED32 AdsPrepareSQLW(ADSHANDLE hStatement, const WCHAR* pwcSQL);
/* Runs the prepared text, statement after statement; a failing statement stops the run (the
 * ones before it stay done). *phCursor is the result cursor (ADS_CURSOR) of the last statement
 * that gave one, 0 when none did: live (over the table's own records, editable) when the
 * statement asks for ADS_CURSOR_READWRITE and the query reads one table without grouping,
 * joining, aggregates, DISTINCT or ORDER BY; otherwise static (a read-only temporary table that
 * is removed when the cursor or its statement closes). */
ACE_API UNSIGNED32 AdsExecuteSQL(ADSHANDLE hStatement, ADSHANDLE* phCursor);
/* Prepare and execute in one call. */
ACE_API UNSIGNED32 AdsExecuteSQLDirect(ADSHANDLE hStatement, const UNSIGNED8* pucSQL, ADSHANDLE* phCursor);
ACE_API UNSIGNED32 AdsExecuteSQLDirectW(ADSHANDLE hStatement, const WCHAR* pwcSQL, ADSHANDLE* phCursor);
/* Checks a text without running it. */
ACE_API UNSIGNED32 AdsVerifySQL(ADSHANDLE hStatement, const UNSIGNED8* pucSQL);
ACE_API UNSIGNED32 AdsVerifySQLW(ADSHANDLE hStatement, const WCHAR* pwcSQL);
/* Scans a text for its parameters; a text with an unterminated quote or comment is refused. */
ACE_API UNSIGNED32 AdsGetSQLStmtParams(const UNSIGNED8* pucSQL);
/* The number of parameters of the prepared text. */
ACE_API UNSIGNED32 AdsGetNumParams(ADSHANDLE hStatement, UNSIGNED16* pusNumParams);

/* ---- Index files and index orders --------------------------------------------------------
 * An index handle (ADS_INDEX_ORDER) names one index (tag) of an index file open on a table
 * handle. Index files: .ntx (one index), .cdx and .adi (compound, named tags). The table's
 * structural index (its base name with .cdx for CDX and VFP tables, .adi for ADT tables) opens
 * with the table. Every record write through any handle of the connection maintains every index
 * open on the table. An index written for another state of its table is rebuilt when it is
 * opened on a writable table and refused with 5043 on a read-only one.
 * The navigation functions (AdsGotoTop, AdsGotoBottom, AdsSkip, AdsGotoBOF, AdsGotoEOF,
 * AdsGetRecordNum, AdsGetRecordCount, AdsGetRelKeyPos, AdsSetRelKeyPos, AdsIsRecordVisible)
 * called with an index handle move in that index's order within its scopes; called with the
 * table handle they move in record order. The field setters AdsSetField, AdsSetFieldW,
 * AdsSetFieldRaw and AdsSetEmpty called with an index handle write into the index's key record,
 * from which AdsBuildRawKey builds a key (AdsInitRawKey empties it). */

/* Options of AdsCreateIndex90 and AdsGetIndexFlags. */
#define ADS_ASCENDING 0x00000000
#define ADS_UNIQUE 0x00000001
#define ADS_COMPOUND 0x00000002
#define ADS_CUSTOM 0x00000004
#define ADS_DESCENDING 0x00000008
#define ADS_CANDIDATE 0x00000800

/* Key types of seeks and scopes: the bytes of AdsBuildRawKey / AdsExtractKey (a shorter
 * prefix is a partial key), a text in the index's key type, or an 8-byte double for numeric and
 * date keys (a date as its Julian day number). */
#define ADS_RAWKEY 1
#define ADS_STRINGKEY 2
#define ADS_DOUBLEKEY 4
/* A text as ADS_STRINGKEY, in UTF-16: the length counts characters, and the text ends at its
 * first zero character when that comes first (0xFFFF: read up to the zero). */
#define ADS_WSTRINGKEY 8

/* Seek types: the first key at or after the sought one / that key only. */
#define ADS_SOFTSEEK 1
#define ADS_HARDSEEK 2

/* Scopes. */
#define ADS_TOP 1
#define ADS_BOTTOM 2

/* Creates an index and opens it on the table (it does not become the current order).
 * pucFileName: the index file (null or empty for the structural file of a CDX, VFP or ADT
 * table; relative names lie beside the table; without extension the table type's); pucTag: the
 * tag name in a compound file (ignored for .ntx); pucExpr: the key expression; pucCondition
 * (FOR) and pucWhile may be null. ulOptions: ADS_UNIQUE, ADS_DESCENDING, ADS_CUSTOM,
 * ADS_CANDIDATE (refuses equal keys, 5042), ADS_COMPOUND. ulPageSize 0 = the default (512 for
 * .ntx, 1024 otherwise), else 512 to 8192, a power of two; a tag added to a file open on the
 * table has the file's page size. pucCollation null or empty: the table's. A tag of the same
 * name in the file is replaced. */
ACE_API UNSIGNED32 AdsCreateIndex90(ADSHANDLE hObj, const UNSIGNED8* pucFileName, const UNSIGNED8* pucTag,
                                    const UNSIGNED8* pucExpr, const UNSIGNED8* pucCondition,
                                    const UNSIGNED8* pucWhile, UNSIGNED32 ulOptions, UNSIGNED32 ulPageSize,
                                    const UNSIGNED8* pucCollation, ADSHANDLE* phIndex);
/* AdsCreateIndex90 with the table's collation. */
ACE_API UNSIGNED32 AdsCreateIndex61(ADSHANDLE hObj, const UNSIGNED8* pucFileName, const UNSIGNED8* pucTag,
                                    const UNSIGNED8* pucExpr, const UNSIGNED8* pucCondition,
                                    const UNSIGNED8* pucWhile, UNSIGNED32 ulOptions, UNSIGNED32 ulPageSize,
                                    ADSHANDLE* phIndex);
/* Opens an index file on the table; ahIndex gets a handle per tag (*pusArrayLen the capacity
 * in, the number of tags out; 5005 with the number when the array is too small, the file stays
 * open). A file open on this handle already answers 5065. */
ACE_API UNSIGNED32 AdsOpenIndex(ADSHANDLE hTable, const UNSIGNED8* pucName, ADSHANDLE ahIndex[],
                                UNSIGNED16* pusArrayLen);
/* Closes the whole file of the index (every tag of it) on its table handle; when the current
 * order lived there, the order returns to record order. */
ACE_API UNSIGNED32 AdsCloseIndex(ADSHANDLE hIndex);
/* Closes every index file of the table handle, the structural one included. */
ACE_API UNSIGNED32 AdsCloseAllIndexes(ADSHANDLE hTable);
/* Removes the index from its file (the file itself when it was its only index); the table
 * must be open exclusively (5031). */
ACE_API UNSIGNED32 AdsDeleteIndex(ADSHANDLE hIndex);
/* Rebuilds every index file open on the table of hObj (a table or index handle). */
ACE_API UNSIGNED32 AdsReindex61(ADSHANDLE hObj, UNSIGNED32 ulPageSize);
ACE_API UNSIGNED32 AdsReindex(ADSHANDLE hObj);
/* The handle of an open index by its name (without regard to letter case; 5016 when none). */
ACE_API UNSIGNED32 AdsGetIndexHandle(ADSHANDLE hTable, const UNSIGNED8* pucIndexOrder, ADSHANDLE* phIndex);
/* The handle of the usOrderNum-th open index (1-based, in the order AdsGetAllIndexes gives). */
ACE_API UNSIGNED32 AdsGetIndexHandleByOrder(ADSHANDLE hTable, UNSIGNED16 usOrderNum, ADSHANDLE* phIndex);
/* The handles of all open indexes: the structural file's first, then the files in opening
 * order (*pusArrayLen the capacity in, the number out; 5005 when too small). */
ACE_API UNSIGNED32 AdsGetAllIndexes(ADSHANDLE hTable, ADSHANDLE ahIndex[], UNSIGNED16* pusArrayLen);
ACE_API UNSIGNED32 AdsGetNumIndexes(ADSHANDLE hTable, UNSIGNED16* pusNum);
/* Full-text indexes: the engine keeps none (0 of them). */
ACE_API UNSIGNED32 AdsGetNumFTSIndexes(ADSHANDLE hTable, UNSIGNED16* pusNum);
ACE_API UNSIGNED32 AdsGetFTSIndexes(ADSHANDLE hTable, ADSHANDLE ahIndex[], UNSIGNED16* pusArrayLen);
/* The index's name (the tag, or the base name of an .ntx file). */
ACE_API UNSIGNED32 AdsGetIndexName(ADSHANDLE hIndex, UNSIGNED8* pucName, UNSIGNED16* pusLen);
/* The index file's name in the form usOption (ADS_BASENAME, ADS_BASENAMEANDEXT, ADS_FULLPATHNAME). */
ACE_API UNSIGNED32 AdsGetIndexFilename(ADSHANDLE hIndex, UNSIGNED16 usOption, UNSIGNED8* pucName,
                                       UNSIGNED16* pusLen);
/* The key expression and the FOR condition ("" when none) as created. */
ACE_API UNSIGNED32 AdsGetIndexExpr(ADSHANDLE hIndex, UNSIGNED8* pucExpr, UNSIGNED16* pusLen);
ACE_API UNSIGNED32 AdsGetIndexCondition(ADSHANDLE hIndex, UNSIGNED8* pucExpr, UNSIGNED16* pusLen);
ACE_API UNSIGNED32 AdsGetIndexCollation(ADSHANDLE hIndex, UNSIGNED8* pucCollation, UNSIGNED16* pusLen);
/* ADS_UNIQUE, ADS_CANDIDATE, ADS_DESCENDING, ADS_CUSTOM and ADS_COMPOUND as they apply. */
ACE_API UNSIGNED32 AdsGetIndexFlags(ADSHANDLE hIndex, UNSIGNED32* pulOptions);
ACE_API UNSIGNED32 AdsGetIndexPageSize(ADSHANDLE hIndex, UNSIGNED32* pulPageSize);
/* Segments of the key: the parts of a top-level concatenation (UPPER(NAME)+DTOS(GEBURT) has
 * two); each names the first field it reads ("" for a constant part). */
ACE_API UNSIGNED32 AdsGetNumSegments(ADSHANDLE hIndex, UNSIGNED16* pusSegments);
ACE_API UNSIGNED32 AdsGetSegmentFieldname(ADSHANDLE hIndex, UNSIGNED16 usSegmentNum, UNSIGNED8* pucFieldname,
                                          UNSIGNED16* pusFldnameLen);
/* *pbResult := 1 when the index has the property (primary keys exist only in dictionaries: 0). */
ACE_API UNSIGNED32 AdsIsIndexUnique(ADSHANDLE hIndex, UNSIGNED16* pbResult);
ACE_API UNSIGNED32 AdsIsIndexDescending(ADSHANDLE hIndex, UNSIGNED16* pbResult);
ACE_API UNSIGNED32 AdsIsIndexCandidate(ADSHANDLE hIndex, UNSIGNED16* pbResult);
ACE_API UNSIGNED32 AdsIsIndexPrimaryKey(ADSHANDLE hIndex, UNSIGNED16* pbResult);
ACE_API UNSIGNED32 AdsIsIndexCustom(ADSHANDLE hIndex, UNSIGNED16* pbResult);
ACE_API UNSIGNED32 AdsIsIndexCompound(ADSHANDLE hIndex, UNSIGNED16* pbResult);
/* Bytes of every key, and its type: 1 logical, 2 numeric, 3 date, 4 character, 14 timestamp. */
ACE_API UNSIGNED32 AdsGetKeyLength(ADSHANDLE hIndex, UNSIGNED16* pusKeyLength);
ACE_API UNSIGNED32 AdsGetKeyType(ADSHANDLE hIndex, UNSIGNED16* pusKeyType);
/* Keys of the index: ADS_IGNOREFILTERS all, ADS_RESPECTSCOPES within the scopes,
 * ADS_RESPECTFILTERS within the scopes whose records are visible (filter, deleted). */
ACE_API UNSIGNED32 AdsGetKeyCount(ADSHANDLE hIndex, UNSIGNED16 usFilterOption, UNSIGNED32* pulCount);
/* The current record's position among those keys (1-based; 0 without a current record). */
ACE_API UNSIGNED32 AdsGetKeyNum(ADSHANDLE hIndex, UNSIGNED16 usFilterOption, UNSIGNED32* pulKey);
/* The current record's key (raw bytes, *pusLength the capacity in, the key length out). */
ACE_API UNSIGNED32 AdsExtractKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusLength);
/* The key record of the index handle: emptied, and turned into a raw key. */
ACE_API UNSIGNED32 AdsInitRawKey(ADSHANDLE hIndex);
ACE_API UNSIGNED32 AdsBuildRawKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen);
/* The key of a record image of the table's record length. */
ACE_API UNSIGNED32 AdsBuildKeyFromRecord(ADSHANDLE hIndex, const UNSIGNED8* pucRecBuffer, UNSIGNED32 ulRecordLen,
                                         UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen);
/* Replaces a raw key of usLen bytes by the next key in the index's order (sDirection 1) or the
 * one before (-1), so that a scope bound excludes the key itself. */
ACE_API UNSIGNED32 AdsStepIndexKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16 usLen, SIGNED16 sDirection);
/* Seeks in the index's order (which becomes the current order). usDataType ADS_RAWKEY,
 * ADS_STRINGKEY, ADS_WSTRINGKEY or ADS_DOUBLEKEY; usSeekType ADS_SOFTSEEK (the first key at or
 * after the key: *pbFound 1 when it starts with the key; EOF when there is none) or
 * ADS_HARDSEEK (a key that starts with the key, else EOF and *pbFound 0). Scopes, the filter
 * and deleted records are honoured. */
ACE_API UNSIGNED32 AdsSeek(ADSHANDLE hIndex, const UNSIGNED8* pucKey, UNSIGNED16 usKeyLen, UNSIGNED16 usDataType,
                           UNSIGNED16 usSeekType, UNSIGNED16* pbFound);
/* The last record whose key starts with the key; EOF and *pbFound 0 when there is none. */
ACE_API UNSIGNED32 AdsSeekLast(ADSHANDLE hIndex, const UNSIGNED8* pucKey, UNSIGNED16 usKeyLen,
                               UNSIGNED16 usDataType, UNSIGNED16* pbFound);
/* Scopes: moves in the index's order stay between the top key (usScopeOption ADS_TOP) and the
 * bottom key (ADS_BOTTOM), each compared over its own length. Setting a scope does not move
 * the cursor. AdsGetScope answers the scope's key bytes, 5038 when it is not set; so does
 * AdsClearScope. AdsClearAllScopes clears every scope of the table handle's indexes. */
ACE_API UNSIGNED32 AdsSetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption, const UNSIGNED8* pucScope,
                               UNSIGNED16 usScopeLen, UNSIGNED16 usDataType);
ACE_API UNSIGNED32 AdsGetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption, UNSIGNED8* pucScope,
                               UNSIGNED16* pusBufLen);
ACE_API UNSIGNED32 AdsClearScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption);
ACE_API UNSIGNED32 AdsClearAllScopes(ADSHANDLE hTable);
/* Custom indexes: adds / removes the current record's key. */
ACE_API UNSIGNED32 AdsAddCustomKey(ADSHANDLE hIndex);
ACE_API UNSIGNED32 AdsDeleteCustomKey(ADSHANDLE hIndex);

/* ---- Filters and expressions ------------------------------------------------------------
 * Expressions are the engine's xBase language over the fields of the table (long and short
 * names), evaluated on the current record with its pending changes. A text that does not
 * compile answers AE_INVALID_EXPRESSION (5040) with a message naming the position.
 * A plain filter hides the records for which it is not true; an optimized filter (AOF) is a
 * record set computed from the filter, from the open indexes where its terms allow and by
 * reading records where not. Both may be set at once and apply together; navigation, counts,
 * seeks and locate honour them. AdsSetExact22 chooses exact (1) or partial (0: 'Meier' =
 * 'Mei' holds) string comparison for = and <> in filters and evaluations. */

/* Options of AdsSetAOF and AdsSetAOF100: one kind, plus when the set is computed. */
#define ADS_DYNAMIC_AOF 0x00000000 /* records are tested again as they are read */
#define ADS_RESOLVE_IMMEDIATE 0x00000001 /* the set is computed when the filter is set */
#define ADS_RESOLVE_DYNAMIC 0x00000002 /* ... when it is first needed */
#define ADS_KEYSET_AOF 0x00000004 /* the set of that moment; members are tested again */
#define ADS_FIXED_AOF 0x00000008 /* the set of that moment, as it is */
/* The text arguments of the functions ending in 100 are UTF-16 (else 8-bit). */
#define ADS_ENCODE_UTF16 0x00002000

/* Optimization levels (AdsEvalAOF, AdsGetAOFOptLevel). */
#define ADS_OPTIMIZED_FULL 1
#define ADS_OPTIMIZED_PART 2
#define ADS_OPTIMIZED_NONE 3

/* Options of AdsCustomizeAOF. */
#define ADS_AOF_ADD_RECORD 1
#define ADS_AOF_REMOVE_RECORD 2
#define ADS_AOF_TOGGLE_RECORD 3

/* Expression types (AdsEvalTestExpr). */
#define ADS_LOGICAL_EXPR 1
#define ADS_NUMERIC_EXPR 2
#define ADS_DATE_EXPR 3
#define ADS_STRING_EXPR 4
#define ADS_TIMESTAMP_EXPR 14

/* Plain filters: set (a logical expression; the previous filter stays when it is refused),
 * read (the text as given; 5037 when none is set) and removed (5037 when none is set).
 * AdsSetFilter100: pvFilter is UTF-16 with ulOptions ADS_ENCODE_UTF16, else 8-bit. */
ACE_API UNSIGNED32 AdsSetFilter(ADSHANDLE hTable, const UNSIGNED8* pucFilter);
ACE_API UNSIGNED32 AdsSetFilter100(ADSHANDLE hTable, const void* pvFilter, UNSIGNED32 ulOptions);
ACE_API UNSIGNED32 AdsGetFilter(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen);
ACE_API UNSIGNED32 AdsClearFilter(ADSHANDLE hTable);

/* Optimized filters. usResolve / ulOptions: ADS_DYNAMIC_AOF, ADS_KEYSET_AOF or ADS_FIXED_AOF,
 * plus ADS_RESOLVE_IMMEDIATE or ADS_RESOLVE_DYNAMIC (AdsSetAOF100 also ADS_ENCODE_UTF16).
 * AdsGetAOF answers the text (5037 when none is set); AdsGetAOF100 in UTF-16 with
 * ADS_ENCODE_UTF16, *pulLen counting characters. AdsRefreshAOF computes the set again from the
 * table as it is; AdsClearAOF removes it (5037 when none). */
ACE_API UNSIGNED32 AdsSetAOF(ADSHANDLE hTable, const UNSIGNED8* pucFilter, UNSIGNED16 usResolve);
ACE_API UNSIGNED32 AdsSetAOF100(ADSHANDLE hTable, const void* pvFilter, UNSIGNED32 ulOptions);
ACE_API UNSIGNED32 AdsGetAOF(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen);
ACE_API UNSIGNED32 AdsGetAOF100(ADSHANDLE hTable, UNSIGNED32 ulOptions, void* pvFilter, UNSIGNED32* pulLen);
ACE_API UNSIGNED32 AdsClearAOF(ADSHANDLE hTable);
ACE_API UNSIGNED32 AdsRefreshAOF(ADSHANDLE hTable);
/* Adds, removes or toggles (usOption ADS_AOF_*) ulNumRecords records in the optimized filter's
 * set; they then stay in or out whatever their values. */
ACE_API UNSIGNED32 AdsCustomizeAOF(ADSHANDLE hTable, UNSIGNED32 ulNumRecords, const UNSIGNED32* pulRecords,
                                   UNSIGNED16 usOption);
/* The optimization level a filter text would have with the indexes open now. */
ACE_API UNSIGNED32 AdsEvalAOF(ADSHANDLE hTable, const UNSIGNED8* pucFilter, UNSIGNED16* pusOptLevel);
/* The level of the optimized filter and the part of it the indexes do not answer ("" when
 * full); pucNonOpt may be null with *pusLen 0 to ask for the level alone. The 100 form answers
 * the part in UTF-16 with ADS_ENCODE_UTF16, *pulLen counting characters. */
ACE_API UNSIGNED32 AdsGetAOFOptLevel(ADSHANDLE hTable, UNSIGNED16* pusOptLevel, UNSIGNED8* pucNonOpt,
                                     UNSIGNED16* pusLen);
ACE_API UNSIGNED32 AdsGetAOFOptLevel100(ADSHANDLE hTable, UNSIGNED16* pusOptLevel, void* pvNonOpt,
                                        UNSIGNED32* pulLen, UNSIGNED32 ulOptions);
/* Whether record ulRecordNum (0: the current one) is in the optimized filter's set now. */
ACE_API UNSIGNED32 AdsIsRecordInAOF(ADSHANDLE hTable, UNSIGNED32 ulRecordNum, UNSIGNED16* pbIsInAOF);

/* Evaluation on the current record (hObj a table or index handle). AdsEvalLogicalExpr wants a
 * logical expression, AdsEvalNumericExpr a numeric one (a date gives its Julian day number);
 * AdsEvalStringExpr answers character results as they are and other results as text (numbers
 * as STR would, dates YYYYMMDD, logicals T/F). AdsEvalTestExpr answers the type
 * (ADS_*_EXPR); AdsIsExprValid answers 0 for a text that does not compile, without error. */
ACE_API UNSIGNED32 AdsEvalLogicalExpr(ADSHANDLE hObj, const UNSIGNED8* pucExpr, UNSIGNED16* pbResult);
ACE_API UNSIGNED32 AdsEvalNumericExpr(ADSHANDLE hObj, const UNSIGNED8* pucExpr, DOUBLE* pdResult);
ACE_API UNSIGNED32 AdsEvalStringExpr(ADSHANDLE hObj, const UNSIGNED8* pucExpr, UNSIGNED8* pucResult,
                                     UNSIGNED16* pusLen);
ACE_API UNSIGNED32 AdsEvalTestExpr(ADSHANDLE hObj, const UNSIGNED8* pucExpr, UNSIGNED16* pusType);
ACE_API UNSIGNED32 AdsIsExprValid(ADSHANDLE hObj, const UNSIGNED8* pucExpr, UNSIGNED16* pbValid);
ACE_API UNSIGNED32 AdsSetExact22(ADSHANDLE hObj, UNSIGNED16 bMode);
ACE_API UNSIGNED32 AdsGetExact22(ADSHANDLE hObj, UNSIGNED16* pbExact);

/* The first visible record, in the order of hObj (a table handle: record order, an index
 * handle: that index's), for which the logical expression holds, searching from the top
 * (bForward 1) or the bottom (0). AdsContinue goes on from the current record in the same
 * direction. Not found: *pbFound 0, the cursor at EOF (forward) or BOF (backward). */
ACE_API UNSIGNED32 AdsLocate(ADSHANDLE hObj, const UNSIGNED8* pucExpr, UNSIGNED16 bForward, UNSIGNED16* pbFound);
ACE_API UNSIGNED32 AdsContinue(ADSHANDLE hObj, UNSIGNED16* pbFound);

/* Field names of an expression rewritten between the long names of an ADT table and their
 * 10-character short forms (other tables: the text unchanged); literals and everything else
 * stay as written. *pusLen the capacity in, the length out (5005 with the length when small). */
ACE_API UNSIGNED32 AdsExpressionLongToShort(ADSHANDLE hTable, const UNSIGNED8* pucLongExpr,
                                            UNSIGNED8* pucShortExpr, UNSIGNED16* pusLen);
ACE_API UNSIGNED32 AdsExpressionShortToLong(ADSHANDLE hTable, const UNSIGNED8* pucShortExpr,
                                            UNSIGNED8* pucLongExpr, UNSIGNED16* pusLen);

/* Whether the index holds a key starting with the key (usDataType as for AdsSeek) whose
 * record is visible and within the index's scopes; the cursor does not move. */
ACE_API UNSIGNED32 AdsLookupKey(ADSHANDLE hIndex, const UNSIGNED8* pucKey, UNSIGNED16 usKeyLen,
                                UNSIGNED16 usDataType, UNSIGNED16* pbFound);

/* ---- Transactions ------------------------------------------------------------------------
 * A transaction covers every table the connection writes until it ends: record writes,
 * appends, deletions, memos and blobs, and the index keys they change. Each record written is
 * locked for the transaction (a record another user holds answers 5035) and stays locked to
 * its end. Commit makes the changes durable; rollback restores every record, memo and index
 * key as it was (records appended in the transaction remain as deleted blank records). A
 * savepoint is a position in the transaction; rolling back to it undoes only what came after
 * it. A transaction left by a process that ended without commit or rollback is rolled back
 * when one of its tables is next opened. Emptying or packing a table inside a transaction
 * answers 5060, as do commit and rollback without one and a second begin. */
ACE_API UNSIGNED32 AdsBeginTransaction(ADSHANDLE hConnect);
ACE_API UNSIGNED32 AdsCommitTransaction(ADSHANDLE hConnect);
ACE_API UNSIGNED32 AdsRollbackTransaction(ADSHANDLE hConnect);
/* Rolls back to the savepoint pucSavepoint (the savepoint and those before it stay), or the
 * whole transaction when pucSavepoint is null or empty. ulOptions must be 0. */
ACE_API UNSIGNED32 AdsRollbackTransaction80(ADSHANDLE hConnect, const UNSIGNED8* pucSavepoint,
                                            UNSIGNED32 ulOptions);
/* Creates (or moves) a savepoint; names compare without regard to case. ulOptions must be 0. */
ACE_API UNSIGNED32 AdsCreateSavepoint(ADSHANDLE hConnect, const UNSIGNED8* pucSavepoint, UNSIGNED32 ulOptions);
/* *pbInTrans := 1 while a transaction is active on the connection, else 0. */
ACE_API UNSIGNED32 AdsInTransaction(ADSHANDLE hConnect, UNSIGNED16* pbInTrans);
/* The nesting level of the connection's transaction: 1 while one is active, else 0. */
ACE_API UNSIGNED32 AdsGetTransactionCount(ADSHANDLE hConnect, UNSIGNED32* pulTransactionCount);

/* ---- Data dictionaries -------------------------------------------------------------------
 * AdsConnect60 on a path ending in ".add" opens a data dictionary and logs its user in: a
 * wrong user name or password answers 5050. The connection's path is then the dictionary's
 * folder for free tables; AdsGetConnectionPath answers the dictionary file. AdsOpenTable90 on
 * such a connection with a name the dictionary holds opens that table (its file and type from
 * the dictionary, whatever type is given); with table type 0 and a name the dictionary lacks
 * it answers 5132, so that the caller may retry it as a free table. A user without update,
 * insert and delete rights opens dictionary tables read-only; AdsGetTableOpenOptions leaves
 * out ADS_UPDATE_ALLOWED and ADS_INSERT_ALLOWED without the update and insert rights.
 * AdsFindFirstTable with an empty mask lists the dictionary's tables. The administrator
 * "Adssys" holds every right; only it may change the dictionary. Properties not set answer
 * 5138; names compare without regard to case. */
#define ADS_DD_TABLE_OBJECT 1
#define ADS_DD_INDEX_FILE_OBJECT 3
#define ADS_DD_USER_OBJECT 7
#define ADS_DD_USER_GROUP_OBJECT 8
#define ADS_DD_PROCEDURE_OBJECT 10
#define ADS_DD_LINK_OBJECT 12

/* Database properties (UNSIGNED16 values). */
#define ADS_DD_VERSION_MAJOR 111
#define ADS_DD_VERSION_MINOR 112
/* Table properties: path (text), type (UNSIGNED16), index files ("a.adi;b.adi"), primary key
 * and default index (index names). */
#define ADS_DD_TABLE_PATH 201
#define ADS_DD_TABLE_TYPE 202
#define ADS_DD_TABLE_INDEX_FILES 203
#define ADS_DD_TABLE_PRIMARY_KEY 206
#define ADS_DD_TABLE_DEFAULT_INDEX 213
/* User property: the groups of the user, "a;b". */
#define ADS_DD_USER_GROUP_MEMBERSHIP 1102

/* Rights of AdsDDGrantPermission / AdsDDRevokePermission. */
#define ADS_PERMISSION_READ 0x1
#define ADS_PERMISSION_UPDATE 0x2
#define ADS_PERMISSION_INSERT 0x4
#define ADS_PERMISSION_DELETE 0x8
#define ADS_PERMISSION_ALL 0xF

/* Link options. */
#define ADS_LINK_GLOBAL 0x1
#define ADS_LINK_AUTH_ACTIVE_USER 0x2
#define ADS_LINK_PATH_IS_STATIC 0x4

/* Creates a new dictionary file (an existing one answers 5012) whose administrator "Adssys"
 * has the password pucAdminPassword (null: empty), and answers a connection to it as that
 * administrator. usEncrypt must be 0; pucDescription may be null. */
ACE_API UNSIGNED32 AdsDDCreate(const UNSIGNED8* pucDictionaryPath, UNSIGNED16 usEncrypt,
                               const UNSIGNED8* pucDescription, const UNSIGNED8* pucAdminPassword,
                               ADSHANDLE* phDictionary);
/* Adds a table file (relative names against the dictionary's folder) under a name; usTableType
 * 1-4 (0: from the extension); pucIndexFiles: index files that open with the table, ";"
 * separated, may be null. */
ACE_API UNSIGNED32 AdsDDAddTable(ADSHANDLE hDictionary, const UNSIGNED8* pucTableName, const UNSIGNED8* pucTablePath,
                                 UNSIGNED16 usTableType, UNSIGNED16 usCharType, const UNSIGNED8* pucIndexFiles,
                                 const UNSIGNED8* pucComments);
/* Removes a table from the dictionary; usDeleteFiles must be 0 (the files stay). */
ACE_API UNSIGNED32 AdsDDRemoveTable(ADSHANDLE hDictionary, const UNSIGNED8* pucTableName, UNSIGNED16 usDeleteFiles);
/* Users and groups. pucGroupName of AdsDDCreateUser may be null (no group). */
ACE_API UNSIGNED32 AdsDDCreateUser(ADSHANDLE hDictionary, const UNSIGNED8* pucGroupName, const UNSIGNED8* pucUserName,
                                   const UNSIGNED8* pucPassword, const UNSIGNED8* pucDescription);
ACE_API UNSIGNED32 AdsDDDeleteUser(ADSHANDLE hDictionary, const UNSIGNED8* pucUserName);
ACE_API UNSIGNED32 AdsDDCreateUserGroup(ADSHANDLE hDictionary, const UNSIGNED8* pucGroupName,
                                        const UNSIGNED8* pucDescription);
ACE_API UNSIGNED32 AdsDDAddUserToGroup(ADSHANDLE hDictionary, const UNSIGNED8* pucGroupName,
                                       const UNSIGNED8* pucUserName);
/* Rights on a table (usObjectType ADS_DD_TABLE_OBJECT) for a user or group; pucParentName is
 * not used and may be null. */
ACE_API UNSIGNED32 AdsDDGrantPermission(ADSHANDLE hDictionary, UNSIGNED16 usObjectType, const UNSIGNED8* pucObjectName,
                                        const UNSIGNED8* pucParentName, const UNSIGNED8* pucGrantee,
                                        UNSIGNED32 ulPermissions);
ACE_API UNSIGNED32 AdsDDRevokePermission(ADSHANDLE hDictionary, UNSIGNED16 usObjectType, const UNSIGNED8* pucObjectName,
                                         const UNSIGNED8* pucParentName, const UNSIGNED8* pucGrantee,
                                         UNSIGNED32 ulPermissions);
/* Sets ADS_DD_TABLE_PRIMARY_KEY or ADS_DD_TABLE_DEFAULT_INDEX (texts of usPropertyLen bytes;
 * length 0 clears the property). usValidateOption and pucFailTable are not used. */
ACE_API UNSIGNED32 AdsDDSetTableProperty(ADSHANDLE hDictionary, const UNSIGNED8* pucTableName, UNSIGNED16 usPropertyID,
                                         const void* pvProperty, UNSIGNED16 usPropertyLen,
                                         UNSIGNED16 usValidateOption, const UNSIGNED8* pucFailTable);
/* Properties: texts are zero-terminated (length in/out as convention 4), numbers UNSIGNED16
 * with *pusPropertyLen at least 2. A null pvProperty with length 0 asks for the length (5005). */
ACE_API UNSIGNED32 AdsDDGetTableProperty(ADSHANDLE hObject, const UNSIGNED8* pucTableName, UNSIGNED16 usPropertyID,
                                         void* pvProperty, UNSIGNED16* pusPropertyLen);
ACE_API UNSIGNED32 AdsDDGetDatabaseProperty(ADSHANDLE hObject, UNSIGNED16 usPropertyID, void* pvProperty,
                                            UNSIGNED16* pusPropertyLen);
ACE_API UNSIGNED32 AdsDDGetUserProperty(ADSHANDLE hObject, const UNSIGNED8* pucUserName, UNSIGNED16 usPropertyID,
                                        void* pvProperty, UNSIGNED16* pusPropertyLen);
/* Renames a table, group or link (usObjectType); ulOptions must be 0. */
ACE_API UNSIGNED32 AdsDDRenameObject(ADSHANDLE hDictionary, const UNSIGNED8* pucObjectName,
                                     const UNSIGNED8* pucNewObjectName, UNSIGNED16 usObjectType, UNSIGNED32 ulOptions);
/* Lists the dictionary's objects of a type (index files: of the table pucParentName), sorted;
 * none (or no more) answers 5137. A directory connection has no dictionary objects: 5137. */
ACE_API UNSIGNED32 AdsDDFindFirstObject(ADSHANDLE hObject, UNSIGNED16 usFindObjectType, const UNSIGNED8* pucParentName,
                                        UNSIGNED8* pucObjectName, UNSIGNED16* pusObjectNameLen,
                                        ADSHANDLE* phFindHandle);
ACE_API UNSIGNED32 AdsDDFindNextObject(ADSHANDLE hObject, ADSHANDLE hFindHandle, UNSIGNED8* pucObjectName,
                                       UNSIGNED16* pusObjectNameLen);
ACE_API UNSIGNED32 AdsDDFindClose(ADSHANDLE hObject, ADSHANDLE hFindHandle);
/* Links to other dictionaries: every link the dictionary holds is active on its connections.
 * The link information of link usLinkNum (1-based) is "alias;path;user;". */
ACE_API UNSIGNED32 AdsDDCreateLink(ADSHANDLE hDBConn, const UNSIGNED8* pucLinkAlias, const UNSIGNED8* pucLinkedDDPath,
                                   const UNSIGNED8* pucUserName, const UNSIGNED8* pucPassword, UNSIGNED32 ulOptions);
ACE_API UNSIGNED32 AdsDDDropLink(ADSHANDLE hDBConn, const UNSIGNED8* pucLinkedDD, UNSIGNED16 usDropGlobal);
ACE_API UNSIGNED32 AdsGetNumActiveLinks(ADSHANDLE hDBConn, UNSIGNED16* pusNumLinks);
ACE_API UNSIGNED32 AdsGetActiveLinkInfo(ADSHANDLE hDBConn, UNSIGNED16 usLinkNum, UNSIGNED8* pucLinkInfo,
                                        UNSIGNED16* pusBufferLen);
/* AdsFindFirstTable / AdsFindNextTable that also answer the name of the dictionary (link) a
 * table belongs to: empty for the connection's own tables and for free tables. */
ACE_API UNSIGNED32 AdsFindFirstTable62(ADSHANDLE hConnect, const UNSIGNED8* pucFileMask, UNSIGNED8* pucFirstDD,
                                       UNSIGNED16* pusDDLen, UNSIGNED8* pucFirstFile, UNSIGNED16* pusFileLen,
                                       ADSHANDLE* phFindHandle);
ACE_API UNSIGNED32 AdsFindNextTable62(ADSHANDLE hConnect, ADSHANDLE hFindHandle, UNSIGNED8* pucDDName,
                                      UNSIGNED16* pusDDLen, UNSIGNED8* pucFileName, UNSIGNED16* pusFileLen);

/* ---- Date conversions -------------------------------------------------------------------- */

/* "YYYYMMDD" (usLen bytes) to a Julian day number; blanks give 0. */
ACE_API UNSIGNED32 AdsConvertStringToJulian(const UNSIGNED8* pucJulianString, UNSIGNED16 usLen, DOUBLE* pdJulian);
/* A Julian day number to "YYYYMMDD" (0 gives eight blanks). */
ACE_API UNSIGNED32 AdsConvertJulianToString(DOUBLE dJulian, UNSIGNED8* pucJulianString, UNSIGNED16* pusLen);
/* A date in the engine's date format (or "YYYYMMDD") to a Julian day number. */
ACE_API UNSIGNED32 AdsConvertDateToJulian(ADSHANDLE hConnect, const UNSIGNED8* pucDate, UNSIGNED16 usLen,
                                          DOUBLE* pdJulian);

/* ---- Encryption, callbacks and process services -----------------------------------------
 *
 * Callbacks. A long operation (AdsPackTable, AdsReindex, AdsReindex61, index creation, ALTER
 * TABLE, AdsCopyTable, AdsConvertTable and SQL execution) reports how far it is, 0 to 100
 * percent, each value once and rising, to the progress callback and to the callback function;
 * an answer other than 0 stops it with AE_OPERATION_CANCELLED (5070) and leaves the files as
 * they were before it started (the new files a pack, reindex, ALTER or index creation builds
 * beside the old ones are discarded, and so is a half-made copy). SQL execution also polls the
 * SQL abort function while a statement runs and before each statement of a text; a non-zero
 * answer stops the statement in the same way (its changes are undone; the statements of the
 * text before it stay done). AdsCopyTableContents appends to an existing table, which a stop
 * could not take back: it reports nothing and is not stopped.
 *
 * Registrations are per thread: a callback is called on the thread that registered it, for the
 * operations that thread runs, and never for another thread's work. Registering again replaces
 * the earlier function; AdsThreadExit clears the thread's registrations.
 *
 * Encryption (ADT tables; DBF tables answer AE_NOT_SUPPORTED, as their header has no room for
 * the key's salt and verifier). AdsEnableEncryption gives the table's password: for a table
 * that has one, a wrong password answers AE_ENCRYPTION (5080) and is never used; for a table
 * that has none, the password is kept and becomes the table's with the first AdsEncryptTable or
 * AdsEncryptRecord. The key is kept with the connection's open table, so the connection's other
 * handles of the same table share it until AdsDisableEncryption or the last of them closes;
 * another connection needs the password itself. A handle on no record goes to the first one
 * when encryption is enabled. With the key, encrypted records and their memos are deciphered on
 * reading, and every record and memo written to an encrypted table is encrypted. Without it, an
 * encrypted table opens, but reading an encrypted record (moving onto it) and writing to the
 * table answer AE_ENCRYPTION rather than handing out or mixing in cipher bytes; plain records
 * of a table that is being encrypted still read. AdsEncryptTable / AdsDecryptTable rewrite every
 * record with its memos in place (each record and memo says itself whether it is encrypted, so
 * an interruption leaves every one readable and a second run completes the work) and need an
 * exclusive open, as does the first AdsEncryptRecord of a table. AdsDecryptTable ends with the
 * table losing its password. AdsEncryptRecord / AdsDecryptRecord work on the current record; a
 * record decrypted alone is encrypted again when it is next written. Pack keeps records
 * encrypted; a copy or conversion (AdsCopyTable, AdsConvertTable) is a plain table. Encrypted
 * tables do not take part in transactions (a write inside one answers AE_ENCRYPTION): the
 * journal would keep their before-images plain. The index files of an encrypted table are
 * encrypted when they are built (AdsEncryptTable and AdsDecryptTable rebuild the ones open on
 * the handle); ALTER TABLE refuses an encrypted table (the new table would be plain). SQL
 * statements use the passwords of AdsStmtSetTablePassword and AdsStmtEnableEncryption for the
 * encrypted tables they open without a key. AdsIsTableEncrypted answers 1 while the table has a
 * password; AdsIsRecordEncrypted answers the current record's state. */
/* Each answers non-zero to stop the operation. */
typedef UNSIGNED32 (*ADS_PROGRESS_CALLBACK)(UNSIGNED16 usPercentDone);
typedef UNSIGNED32 (*ADS_SQL_ABORT_FUNC)(void);
typedef UNSIGNED32 (*ADS_CALLBACK_FUNCTION)(UNSIGNED16 usPercentDone, UNSIGNED32 ulCallbackID);

ACE_API UNSIGNED32 AdsRegisterProgressCallback(ADS_PROGRESS_CALLBACK fn);
ACE_API UNSIGNED32 AdsClearProgressCallback(void);
ACE_API UNSIGNED32 AdsRegisterSQLAbortFunc(ADS_SQL_ABORT_FUNC fn);
ACE_API UNSIGNED32 AdsClearSQLAbortFunc(void);
/* ulCallbackID is handed back to fn on every call. */
ACE_API UNSIGNED32 AdsRegisterCallbackFunction(ADS_CALLBACK_FUNCTION fn, UNSIGNED32 ulCallbackID);
ACE_API UNSIGNED32 AdsClearCallbackFunction(void);

ACE_API UNSIGNED32 AdsEnableEncryption(ADSHANDLE hTable, const UNSIGNED8* pucPassword);
/* Forgets the handle's password; the table stays as it is. */
ACE_API UNSIGNED32 AdsDisableEncryption(ADSHANDLE hTable);
ACE_API UNSIGNED32 AdsIsEncryptionEnabled(ADSHANDLE hTable, UNSIGNED16* pbEnabled);
/* Both need encryption enabled and the table opened exclusively (5031 otherwise). */
ACE_API UNSIGNED32 AdsEncryptTable(ADSHANDLE hTable);
ACE_API UNSIGNED32 AdsDecryptTable(ADSHANDLE hTable);
/* The current record; both need encryption enabled. */
ACE_API UNSIGNED32 AdsEncryptRecord(ADSHANDLE hTable);
ACE_API UNSIGNED32 AdsDecryptRecord(ADSHANDLE hTable);
ACE_API UNSIGNED32 AdsIsTableEncrypted(ADSHANDLE hTable, UNSIGNED16* pbEncrypted);
/* The current record. */
ACE_API UNSIGNED32 AdsIsRecordEncrypted(ADSHANDLE hTable, UNSIGNED16* pbEncrypted);

/* A value of the caller's kept with any engine handle (0 until set); it goes with the handle. */
ACE_API UNSIGNED32 AdsGetHandleLong(ADSHANDLE hObj, UNSIGNED32* pulVal);
ACE_API UNSIGNED32 AdsSetHandleLong(ADSHANDLE hObj, UNSIGNED32 ulVal);
/* This engine serves local paths itself: *pbLoaded := 1 for an existing local directory or file
 * (a drive letter such as "C:" counts as local), 0 for anything else (a "\\server\share" or
 * host name, a missing path). */
ACE_API UNSIGNED32 AdsIsServerLoaded(const UNSIGNED8* pucServer, UNSIGNED16* pbLoaded);
/* Frees the calling thread's engine state: its last error and its callback registrations. */
ACE_API UNSIGNED32 AdsThreadExit(void);
/* Puts the current record's value of a binary, image or memo field on the clipboard, through
 * the clipboard writer the host registered (engine/include/ace_hooks.h); without one it answers
 * AE_NOT_SUPPORTED (5007). */
ACE_API UNSIGNED32 AdsImageToClipboard(ADSHANDLE hTable, const UNSIGNED8* pucFldName);
/* Writes pending changes of the handle and flushes the table's files (and its memo and index
 * files) to the disk. */
ACE_API UNSIGNED32 AdsFlushFileBuffers(ADSHANDLE hTable);

#ifdef __cplusplus
}
#endif

#endif /* ACE_H */
