// adsfunc: the extended datasets TAdsExtendedDataSet (the base of the table and the query) and
// TAdsExtendedTable (the base of the table). They give an application the engine operations
// that the dataset interface has no place for, as public methods named after the engine
// functions they call; they add no state of their own.
//
// Every member is a thin wrapper over the engine function of its name (reached through the
// import table Ace): it converts its arguments (texts to the engine's 8-bit code page in
// buffers of fixed size; a text longer than its buffer is refused with a component error, an
// integer the engine takes unsigned is range checked), picks the engine handle (the table, the
// current order or the current index), keeps the engine cursor and the dataset's record
// buffers in step, calls the engine and converts its answer. Engine failures raise through
// AceCheck, except the answer 5068 (no current record), which no member treats as an error.
//
// Steps around the engine call, by kind of member:
//  - members on the current record first put the engine cursor on the dataset's active record
//    (AdsActiveRecord);
//  - members that move the cursor or change records first post or cancel a pending edit
//    (CheckBrowseMode) and afterwards re-read the dataset (AdsExtendResync);
//  - members that open, close, create or delete indexes afterwards send the property-change
//    notification to the dataset's links; when the current order is among the indexes that go
//    away, the dataset first returns to natural order.
// The members presuppose an open dataset; on a closed one they raise the framework's error for
// a closed dataset, or the engine's error for the handle -1.
//
// Parts of this module live in adsfunc_*.cpp files: adsfunc_record.cpp (the current record),
// adsfunc_navigation.cpp (moving), adsfunc_indexes.cpp (indexes), adsfunc_table.cpp (table
// information, maintenance and locks), adsfunc_filters.cpp (filters, scopes, encryption) and
// adsfunc_process.cpp (process-wide services).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "ads/adsdata.h"

// ---- Enumerations of the members' signatures ----------------------------------------------
// Each member passes or receives the engine value named beside it.

enum TAdsScopeOptions : uint8_t { soTOP, soBOTTOM };  // 1, 2
enum TAdsSeekTypes : uint8_t { stSOFT, stHARD };      // 1 nearest, 2 exact
enum TAdsFilenameOptions : uint8_t { foBASENAME, foBASENAMEANDEXT, foFULLPATHNAME };  // 1, 2, 3
enum TAdsTrimOptions : uint8_t { optNONE, optLTRIM, optRTRIM, optTRIM };              // 0 .. 3
enum TAdsBinaryTypes : uint8_t { btBINARY, btIMAGE };                                 // 6, 7
// htINDEX for the engine's handle type 3 (an index order), htTABLE for every other type.
enum TAdsHandleTypes : uint8_t { htTABLE, htINDEX };
// 1, 2, 3, 4 (and every value not listed), 16.
enum TAdsExpressionTypes : uint8_t { etLOGICAL, etNUMERIC, etDATE, etSTRING, etRAW };
// mdtMEMO for every value but 6 and 7.
enum TAdsMemoDataTypes : uint8_t { mdtMEMO, mdtBINARY, mdtIMAGE };
// 1, 2, every other value.
enum TAdsAOFOptimizeLevel : uint8_t { olFULL, olPART, olNONE };
enum TAdsAOFCustomizeOptions : uint8_t { coADD, coREMOVE, coTOGGLE };  // 1, 2, 3
// Bits 1, 2, 4, 8, 16, 2048, 4096, or-ed.
enum TAdsIndexOption : uint8_t {
  optUNIQUE,
  optCOMPOUND,
  optCUSTOM,
  optDESCENDING,
  optUSERDEFINED,
  optCANDIDATE,
  optBINARY
};
using TAdsIndexOptions = TSet<TAdsIndexOption>;

// The engine's own callback types, handed to it unchanged: the percentage done of a long
// operation (with the caller's id for TAdsCallbackFunction); an answer other than 0 stops it.
// TAdsSQLAbortFunc is polled while SQL runs; other than 0 stops it.
using TAdsProgressCallback = ADS_PROGRESS_CALLBACK;
using TAdsSQLAbortFunc = ADS_SQL_ABORT_FUNC;
using TAdsCallbackFunction = ADS_CALLBACK_FUNCTION;

// The engine values of the enumerations and back (shared by the module's files and its tests).
UNSIGNED16 AdsScopeOptionValue(TAdsScopeOptions e);
UNSIGNED16 AdsSeekTypeValue(TAdsSeekTypes e);
UNSIGNED16 AdsFilenameOptionValue(TAdsFilenameOptions e);
UNSIGNED16 AdsTrimOptionValue(TAdsTrimOptions e);
UNSIGNED16 AdsBinaryTypeValue(TAdsBinaryTypes e);
UNSIGNED16 AdsAOFCustomizeValue(TAdsAOFCustomizeOptions e);
UNSIGNED32 AdsIndexOptionBits(TAdsIndexOptions s);
UNSIGNED16 AdsTableTypeValue(TAdsTableTypes e);
TAdsHandleTypes AdsHandleTypeOf(UNSIGNED16 usType);
TAdsExpressionTypes AdsExpressionTypeOf(UNSIGNED16 usType);
TAdsMemoDataTypes AdsMemoDataTypeOf(UNSIGNED16 usType);
TAdsFieldTypes AdsFieldTypeOf(UNSIGNED16 usType);
TAdsAOFOptimizeLevel AdsOptimizeLevelOf(UNSIGNED16 usLevel);

// ---- The extended dataset -----------------------------------------------------------------

// The members that the table and the query share. One thread at a time, as the dataset.
class TAdsExtendedDataSet : public TAdsDataSet {
  VCL_DECLARE_CLASS(TAdsExtendedDataSet, TAdsDataSet)
 public:
  explicit TAdsExtendedDataSet(TComponent* AOwner) : TAdsDataSet(AOwner) {}

  // Re-reads the dataset after the engine cursor moved or a record changed: at the beginning
  // of the file First, at its end Last, else Resync around the engine's current record.
  void AdsExtendResync();

  // ---- the current record (adsfunc_record.cpp)
  // ulRecNum 0: the current record; another number is made current first (not for
  // AdsIsRecordEncrypted while calculated fields are computed). No re-read.
  bool AdsIsRecordDeleted(int32_t ulRecNum);
  bool AdsIsRecordEncrypted(int32_t ulRecNum);
  // On the current index: position among its keys (with the counting option) / from 0 to 1.
  int32_t AdsGetKeyNum();
  double AdsGetRelKeyPos();
  void AdsRecallRecord();
  // Encrypt / decrypt the current record on the engine (encryption enabled); no re-read.
  void AdsEncryptRecord();
  void AdsDecryptRecord();

  // ---- moving (adsfunc_navigation.cpp)
  void AdsSetRelKeyPos(double dPos);

  // ---- indexes (adsfunc_indexes.cpp)
  int32_t AdsGetKeyCount();
  // Creates an index on the table (AdsCreateIndex90 with the table options' page size and the
  // effective collation); it does not become the current order. Empty texts go as empty texts.
  void AdsCreateIndex(const std::string& strFileName, const std::string& strTagName,
                      const std::string& strExpression, const std::string& strCondition,
                      const std::string& strWhile, TAdsIndexOptions setIndexOptions);

  // ---- the table (adsfunc_table.cpp)
  bool AdsIsTableEncrypted();
  bool AdsIsEncryptionEnabled();
  // Whether the table's connection is in a transaction.
  bool AdsInTransaction();
  void AdsCacheRecords(int32_t usNumRecords);
  void AdsCopyTableStructure(const std::string& strFileName);
  // The records as the counting option counts them, in the current index's order (or the
  // table's), into a new table file of the same type / of another type (then re-read).
  void AdsCopyTable(const std::string& strFileName);
  void AdsConvertTable(const std::string& strFileName, TAdsTableTypes eTableType);
  // Appends this dataset's records to the destination dataset's table.
  void AdsCopyTableContents(TAdsDataSet* poDestinationTable);
  // Writes a pending edit and the engine's pending changes, and flushes the table's files.
  void AdsFlushFileBuffers();

  // ---- filters and encryption (adsfunc_filters.cpp)
  // The level of the optimized filter; strFilter gets the part the indexes do not answer.
  // Without an optimized filter: olNONE and an empty text.
  TAdsAOFOptimizeLevel AdsGetAOFOptLevel(std::string& strFilter);
  void AdsRefreshAOF();
  // The password goes to the engine whole; re-read after (the records become readable).
  void AdsEnableEncryption(const std::string& strPassword);
  void AdsDisableEncryption();

  // ---- process-wide (adsfunc_process.cpp)
  // Whether the file exists (relative names against the working directory).
  bool AdsCheckExistence(const std::string& strFilename);
  // The engine's version numbers and letter; the result is its description.
  std::string AdsGetVersion(UNSIGNED32& ulMajor, UNSIGNED32& ulMinor, char& ucLetter);
  // Whether the engine serves the server (a local path); the engine's result is not looked at.
  bool AdsIsServerLoaded(const std::string& strServer);
  // Frees the calling thread's engine state (its last error, its callback registrations).
  void AdsThreadExit();
  // The calling thread's callbacks of long operations and SQL execution.
  void AdsRegisterProgressCallBack(TAdsProgressCallback Value);
  void AdsClearProgressCallback();
  void AdsRegisterSQLAbortFunc(TAdsSQLAbortFunc Value);
  void AdsClearSQLAbortFunc();
  void AdsRegisterCallbackFunction(TAdsCallbackFunction Value, int32_t ulCallbackID);
  void AdsClearCallbackFunction();

 protected:
  // ---- helpers of the module's files
  // AceCheck that lets 5068 (no current record) pass.
  void FamilyCheck(UNSIGNED32 ulResult);
  // The handles of the members' groups as the engine takes them (-1 when there is none).
  ADSHANDLE TableHandle() const { return static_cast<ADSHANDLE>(GetAceTableHandle()); }
  ADSHANDLE OrderHandle() const { return static_cast<ADSHANDLE>(GetAceOrderHandle()); }
  ADSHANDLE IndexHandle() const { return static_cast<ADSHANDLE>(GetAceIndexHandle()); }
  // The current index when one is active, else the table.
  ADSHANDLE IndexOrTableHandle() const;
  // The counting option of the table options: 1 when filters are respected, else 3 when scopes
  // are, else 2.
  UNSIGNED16 CountingOption() const;
  // Utf8 text in the engine's code page, refused (component error naming strWhat) when it is
  // longer than usCapacity bytes.
  std::string EngineText(const std::string& strValue, std::size_t usCapacity, const char* strWhat);
  std::string FieldNameText(const std::string& strFieldName);
  std::string FileNameText(const std::string& strFileName);
  // A text result of usLength bytes (cut at its first zero) from the engine's code page.
  static std::string ResultText(const UNSIGNED8* pucBuffer, std::size_t usLength);
  // Range tests of integers the engine takes unsigned / of engine answers narrowed to the
  // result type (ERangeError naming strWhat).
  static UNSIGNED32 CheckedUnsigned32(int32_t lValue, const char* strWhat);
  static UNSIGNED16 CheckedUnsigned16(int32_t lValue, const char* strWhat);
  static int32_t CheckedSigned32(UNSIGNED32 ulValue, const char* strWhat);
  // The handle of the index named strTag on the table.
  ADSHANDLE IndexHandleByName(const std::string& strTag);
  // Before hIndex (0: every index) goes away: back to natural order when the current order
  // would go with it (bWholeFile: every index of hIndex's file goes).
  void LeaveOrderBefore(ADSHANDLE hIndex, bool bWholeFile);
  // The property-change notification to the dataset's links.
  void IndexesChanged();
};

// ---- The extended table -------------------------------------------------------------------

// The members only a table has. One thread at a time, as the dataset.
class TAdsExtendedTable : public TAdsExtendedDataSet {
  VCL_DECLARE_CLASS(TAdsExtendedTable, TAdsExtendedDataSet)
 public:
  explicit TAdsExtendedTable(TComponent* AOwner) : TAdsExtendedDataSet(AOwner) {}

  // ---- the current record, read (adsfunc_record.cpp); the engine cursor is put on the
  // dataset's active record first, the dataset is not re-read
  double AdsGetDouble(const std::string& strFieldName);
  int32_t AdsGetLong(const std::string& strFieldName);
  int16_t AdsGetShort(const std::string& strFieldName);
  bool AdsGetLogical(const std::string& strFieldName);
  int32_t AdsGetJulian(const std::string& strFieldName);
  int32_t AdsGetMilliseconds(const std::string& strFieldName);
  int32_t AdsGetMemoLength(const std::string& strFieldName);
  TAdsMemoDataTypes AdsGetMemoDataType(const std::string& strFieldName);
  bool AdsIsEmpty(const std::string& strFieldName);
  std::string AdsGetDate(const std::string& strFieldName);
  std::string AdsGetTime(const std::string& strFieldName);
  // The text of a character or memo field (national types through the UTF-16 form).
  std::string AdsGetString(const std::string& strFieldName, TAdsTrimOptions enumTrimOptions);
  // The field as text (every type), through the engine's UTF-16 form.
  std::string AdsGetField(const std::string& strFieldName, TAdsTrimOptions enumTrimOptions);
  // Up to ulBufLen bytes from ulOffSet into pucBuf; ulBufLen answers the bytes delivered.
  void AdsGetBinary(const std::string& strFieldName, int32_t ulOffSet, UNSIGNED8* pucBuf,
                    UNSIGNED32& ulBufLen);
  int32_t AdsGetBinaryLength(const std::string& strFieldName);
  // A chunk of ulBufLength bytes at ulOffset of a value of ulTotalLength bytes (the engine
  // stores the value when its last chunk arrives). Neither posts nor re-reads.
  void AdsSetBinary(const std::string& strFieldName, TAdsBinaryTypes eBinaryType,
                    int32_t ulTotalLength, int32_t ulOffset, const UNSIGNED8* pucBuf,
                    int32_t ulBufLength);
  void AdsBinaryToFile(const std::string& strFieldName, const std::string& strFileName);
  int32_t AdsGetBookMark();
  // While inserting the engine cursor is left where it is; 1 = position among the records that
  // pass the filters (RESPECT_WHEN_COUNTING), else 2 = the record's number.
  int32_t AdsGetRecordNum();
  bool AdsEvalLogicalExpr(const std::string& strExpression);
  double AdsEvalNumericExpr(const std::string& strExpression);
  std::string AdsEvalStringExpr(const std::string& strExpression);
  TAdsExpressionTypes AdsEvalTestExpr(const std::string& strExpression);
  bool AdsIsExprValid(const std::string& strExpression);
  // ulRecNum 0: the current record (on the dataset's active record).
  bool AdsIsRecordLocked(int32_t ulRecNum);
  // The current record's key in the current index: one character per key byte, whose code is
  // the byte's value.
  std::string AdsExtractKey();

  // ---- the current record, changed (adsfunc_record.cpp): a pending edit is posted first, the
  // value goes into the engine's copy of the record directly (the engine writes it with
  // AdsWriteRecord or the next move), and the dataset is re-read
  void AdsSetDouble(const std::string& strFieldName, double dValue);
  void AdsSetLong(const std::string& strFieldName, int32_t lValue);
  void AdsSetShort(const std::string& strFieldName, int16_t sValue);
  void AdsSetLogical(const std::string& strFieldName, bool bValue);
  void AdsSetJulian(const std::string& strFieldName, int32_t lDate);
  void AdsSetMilliseconds(const std::string& strFieldName, int32_t lTime);
  void AdsSetEmpty(const std::string& strFieldName);
  void AdsSetField(const std::string& strFieldName, const std::string& strBuffer);
  void AdsSetString(const std::string& strFieldName, const std::string& strValue);
  // The text in the engine's date format / as a time; at most 255 characters.
  void AdsSetDate(const std::string& strFieldName, const std::string& strDate);
  void AdsSetTime(const std::string& strFieldName, const std::string& strTime);
  void AdsDeleteRecord();
  void AdsRefreshRecord();
  void AdsWriteRecord();
  // Without the re-read.
  void AdsFileToBinary(const std::string& strFieldName, TAdsBinaryTypes eBinaryType,
                       const std::string& strFileName);
  void AdsAddCustomKey(const std::string& strTag);
  void AdsDeleteCustomKey(const std::string& strTag);
  // The field's value of the current record to the clipboard (the host's clipboard writer).
  void AdsImageToClipboard(const std::string& strFldName);

  // ---- moving (adsfunc_navigation.cpp): a pending edit is posted first, the dataset is
  // re-read afterwards
  void AdsGotoTop();
  void AdsGotoBottom();
  void AdsGotoRecord(int32_t ulRecNum);
  void AdsGotoBookMark(int32_t hBookmark);
  void AdsAppendRecord();
  void AdsSkip(int32_t lNumRecs);
  // The first record from the top (bForward) or the bottom for which the expression holds.
  bool AdsLocate(const std::string& strExpression, bool bForward);
  bool AdsContinue();
  // The key as text of the current index's key type.
  bool AdsSeek(const std::string& strKey, TAdsSeekTypes eSeekType);
  bool AdsSeekLast(const std::string& strKey);
  // Rebuilds the open indexes with the table options' page size.
  void AdsReindex();

  // ---- the current index (adsfunc_indexes.cpp)
  uint16_t AdsGetKeyLength();
  TAdsExpressionTypes AdsGetKeyType();
  std::string AdsGetIndexCondition();
  std::string AdsGetIndexExpr();
  std::string AdsGetIndexFileName(TAdsFilenameOptions eOption);
  bool AdsIsIndexCompound();
  bool AdsIsIndexCustom();
  bool AdsIsIndexDescending();
  bool AdsIsIndexUnique();
  // The scope's key as text.
  std::string AdsGetScope(TAdsScopeOptions eScopeOption);
  // hIndexHandle 0: the current index.
  std::string AdsGetIndexName(int32_t hIndexHandle);

  // ---- the indexes of the table (adsfunc_indexes.cpp)
  int32_t AdsGetIndexHandle(const std::string& strIndexOrder);
  int32_t AdsGetIndexHandleByOrder(int32_t usOrderNum);
  // Order 0: natural order; else IndexName := the name of the index at that position.
  void AdsSetIndexByOrder(int32_t usOrderNum);
  // Fills ahIndex with the handles of the open indexes; answers how many it filled (an array
  // too small for them all is the engine's error).
  uint16_t AdsGetAllIndexes(std::span<ADSHANDLE> ahIndex);
  uint16_t AdsGetNumIndexes();
  // Whether the index strTag holds the key (a text); the cursor does not move.
  bool AdsLookupKey(const std::string& strTag, const std::string& strKey);
  // Opens an index file on the table (its indexes do not become the order).
  void AdsOpenIndex(const std::string& strIndexName);
  // Closes the file of the index strTag; a name that is no open index is taken for an index
  // file, which is closed (and opened first when it is not open).
  void AdsCloseIndex(const std::string& strTag);
  void AdsCloseAllIndexes();
  void AdsDeleteIndex(const std::string& strTag);

  // ---- table information (adsfunc_table.cpp)
  uint16_t AdsGetFieldDecimals(const std::string& strFieldName);
  int32_t AdsGetFieldLength(const std::string& strFieldName);
  std::string AdsGetFieldName(int32_t usFieldNum);
  uint16_t AdsGetFieldNum(const std::string& strFieldName);
  int32_t AdsGetFieldOffset(const std::string& strFieldName);
  TAdsFieldTypes AdsGetFieldType(const std::string& strFieldName);
  uint16_t AdsGetNumFields();
  int32_t AdsGetRecordLength();
  // As RecordCount counts (counting option, fresh count, the current order or the table).
  int32_t AdsGetRecordCount();
  uint16_t AdsGetTableMemoSize();
  std::string AdsGetTableFileName(TAdsFilenameOptions eOption);
  uint16_t AdsGetNumLocks();
  // Fills aulLocks with the locked record numbers; answers how many it filled.
  uint16_t AdsGetAllLocks(std::span<UNSIGNED32> aulLocks);
  bool AdsIsTableLocked();
  // The caller's value kept with the current order's handle.
  int32_t AdsGetHandleLong();
  void AdsSetHandleLong(int32_t ulHandle);
  TAdsHandleTypes AdsGetHandleType(int32_t hObj);

  // ---- filters, scopes and encryption (adsfunc_filters.cpp)
  // The filter texts as set; empty without one.
  std::string AdsGetFilter();
  std::string AdsGetAOF();
  TAdsAOFOptimizeLevel AdsEvalAOF(const std::string& strFilter);
  bool AdsIsRecordInAOF(int32_t ulRecordNum);
  // Re-read after:
  void AdsClearAllScopes();
  void AdsClearFilter();
  void AdsClearAOF();
  void AdsCustomizeAOF(int32_t ulNumRecs, const UNSIGNED32* pulRecords,
                       TAdsAOFCustomizeOptions eOption);
  void AdsClearScope(TAdsScopeOptions eScopeOption);
  // Every record encrypted / decrypted (encryption enabled, the table open exclusively).
  void AdsEncryptTable();
  void AdsDecryptTable();
  // A pending edit is posted first.
  void AdsSetScope(TAdsScopeOptions eScopeOption, const std::string& strScope);
  // Filtered is turned off first; the text goes to the engine as UTF-16.
  void AdsSetFilter(const std::string& strFilter);
  void AdsSetAOF(const std::string& strFilter);

  // ---- maintenance and locks (adsfunc_table.cpp): a pending edit is posted first
  // Pack / zap (the table open exclusively), then to the top of the current order.
  void AdsPackTable();
  void AdsZapTable();
  // A lock held elsewhere answers False (the dataset is re-read all the same).
  bool AdsLockRecord(int32_t ulRecNum);
  bool AdsLockTable();
  // A record that was not locked is no error: always True.
  bool AdsUnlockRecord(int32_t ulRecNum);
  void AdsUnlockTable();
  // Creates a table (and closes it) on the dataset's connection: the connection component,
  // connected first when needed, else the dataset's implicit connection of its database path.
  void AdsCreateTable(const std::string& strName, TAdsTableTypes eTableType,
                      TAdsCharTypes eCharType, int32_t usMemoSize, const std::string& strFields);

  // ---- process-wide (adsfunc_process.cpp)
  std::string AdsGetErrorString(int32_t ulErrorCode);
  // The engine's last error code; strError gets its text.
  int32_t AdsGetLastError(std::string& strError);
  void AdsShowError(const std::string& strCaption);

 private:
  // The handle of an open index whose file is strFileName (compared without directory and
  // without regard to case); -1 when there is none.
  ADSHANDLE OpenIndexOfFile(const std::string& strFileName);
};
