// The extended datasets' members on the current record: the field getters, binary data,
// bookmarks, record numbers, expressions and the record's state (AdsActiveRecord first, no
// re-read), and the field setters and record operations (a pending edit posted first, the
// engine cursor on the active record, the dataset re-read afterwards unless said otherwise).
#include <string>
#include <vector>

#include "ads/adsfunc.h"

namespace {

const UNSIGNED8* Bytes(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

constexpr std::size_t kDateBuffer = 255;
constexpr std::size_t kTimeBuffer = 100;
constexpr std::size_t kStringResult = 4083;
constexpr std::size_t kKeyBuffer = 4082;

bool IsNationalType(UNSIGNED16 usType) {
  return usType == AdsfldNCHAR + 1 || usType == AdsfldNVARCHAR + 1 || usType == AdsfldNMEMO + 1;
}

}  // namespace

// ---- Read on the current record (the table) ----------------------------------------------------

double TAdsExtendedTable::AdsGetDouble(const std::string& strFieldName) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  DOUBLE value = 0;
  FamilyCheck(Ace.AdsGetDouble(TableHandle(), Bytes(name), &value));
  return value;
}

int32_t TAdsExtendedTable::AdsGetLong(const std::string& strFieldName) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  SIGNED32 value = 0;
  FamilyCheck(Ace.AdsGetLong(TableHandle(), Bytes(name), &value));
  return value;
}

int16_t TAdsExtendedTable::AdsGetShort(const std::string& strFieldName) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  SIGNED16 value = 0;
  FamilyCheck(Ace.AdsGetShort(TableHandle(), Bytes(name), &value));
  return value;
}

bool TAdsExtendedTable::AdsGetLogical(const std::string& strFieldName) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  UNSIGNED16 value = 0;
  FamilyCheck(Ace.AdsGetLogical(TableHandle(), Bytes(name), &value));
  return value != 0;
}

int32_t TAdsExtendedTable::AdsGetJulian(const std::string& strFieldName) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  SIGNED32 value = 0;
  FamilyCheck(Ace.AdsGetJulian(TableHandle(), Bytes(name), &value));
  return value;
}

int32_t TAdsExtendedTable::AdsGetMilliseconds(const std::string& strFieldName) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  SIGNED32 value = 0;
  FamilyCheck(Ace.AdsGetMilliseconds(TableHandle(), Bytes(name), &value));
  return value;
}

int32_t TAdsExtendedTable::AdsGetMemoLength(const std::string& strFieldName) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  UNSIGNED32 value = 0;
  FamilyCheck(Ace.AdsGetMemoLength(TableHandle(), Bytes(name), &value));
  return CheckedSigned32(value, "AdsGetMemoLength");
}

TAdsMemoDataTypes TAdsExtendedTable::AdsGetMemoDataType(const std::string& strFieldName) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  UNSIGNED16 value = 0;
  FamilyCheck(Ace.AdsGetMemoDataType(TableHandle(), Bytes(name), &value));
  return AdsMemoDataTypeOf(value);
}

bool TAdsExtendedTable::AdsIsEmpty(const std::string& strFieldName) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  UNSIGNED16 value = 0;
  FamilyCheck(Ace.AdsIsEmpty(TableHandle(), Bytes(name), &value));
  return value != 0;
}

std::string TAdsExtendedTable::AdsGetDate(const std::string& strFieldName) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  UNSIGNED8 buffer[kDateBuffer + 1] = {};
  UNSIGNED16 length = kDateBuffer;
  FamilyCheck(Ace.AdsGetDate(TableHandle(), Bytes(name), buffer, &length));
  return ResultText(buffer, kDateBuffer);
}

std::string TAdsExtendedTable::AdsGetTime(const std::string& strFieldName) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  UNSIGNED8 buffer[kTimeBuffer + 1] = {};
  UNSIGNED16 length = kTimeBuffer;
  FamilyCheck(Ace.AdsGetTime(TableHandle(), Bytes(name), buffer, &length));
  return ResultText(buffer, kTimeBuffer);
}

std::string TAdsExtendedTable::AdsGetString(const std::string& strFieldName,
                                            TAdsTrimOptions enumTrimOptions) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  const ADSHANDLE table = TableHandle();
  UNSIGNED32 dataLength = 0;
  FamilyCheck(Ace.AdsGetDataLength(table, Bytes(name), 1, &dataLength));
  UNSIGNED16 type = 0;
  FamilyCheck(Ace.AdsGetFieldType(table, Bytes(name), &type));
  UNSIGNED32 length = dataLength + 1;
  if (IsNationalType(type)) {
    ++length;
    std::u16string text(length / 2 + 1, u'\0');
    UNSIGNED32 chars = length / 2;
    FamilyCheck(Ace.AdsGetStringW(table, Bytes(name), text.data(), &chars,
                                  AdsTrimOptionValue(enumTrimOptions)));
    text.resize(std::min<std::size_t>(chars, length / 2));
    return Utf16ToUtf8(text.substr(0, text.find(u'\0')));
  }
  std::vector<UNSIGNED8> buffer(length + 1, 0);
  UNSIGNED32 bytes = length;
  FamilyCheck(Ace.AdsGetString(table, Bytes(name), buffer.data(), &bytes,
                               AdsTrimOptionValue(enumTrimOptions)));
  return ResultText(buffer.data(), std::min<std::size_t>(bytes, length));
}

std::string TAdsExtendedTable::AdsGetField(const std::string& strFieldName,
                                           TAdsTrimOptions enumTrimOptions) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  const ADSHANDLE table = TableHandle();
  UNSIGNED16 type = 0;
  FamilyCheck(Ace.AdsGetFieldType(table, Bytes(name), &type));
  UNSIGNED32 length = 0;
  if (type == AdsfldBINARY + 1)
    FamilyCheck(Ace.AdsGetBinaryLength(table, Bytes(name), &length));
  else if (type == AdsfldDATE + 1)
    length = 24;
  else
    FamilyCheck(Ace.AdsGetDataLength(table, Bytes(name), 1, &length));
  // The buffer has room for length + 2 characters, and the engine is told so: an 8-bit field's
  // length counts one byte per character, so half of it would not hold the text.
  std::u16string text(static_cast<std::size_t>(length) + 2, u'\0');
  UNSIGNED32 chars = length + 2;
  FamilyCheck(Ace.AdsGetFieldW(table, Bytes(name), text.data(), &chars,
                               AdsTrimOptionValue(enumTrimOptions)));
  text.resize(std::min<std::size_t>(chars, text.size()));
  return Utf16ToUtf8(text.substr(0, text.find(u'\0')));
}

void TAdsExtendedTable::AdsGetBinary(const std::string& strFieldName, int32_t ulOffSet,
                                     UNSIGNED8* pucBuf, UNSIGNED32& ulBufLen) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  const UNSIGNED32 offset = CheckedUnsigned32(ulOffSet, "ulOffSet");
  FamilyCheck(Ace.AdsGetBinary(TableHandle(), Bytes(name), offset, pucBuf, &ulBufLen));
}

int32_t TAdsExtendedTable::AdsGetBinaryLength(const std::string& strFieldName) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  UNSIGNED32 value = 0;
  FamilyCheck(Ace.AdsGetBinaryLength(TableHandle(), Bytes(name), &value));
  return CheckedSigned32(value, "AdsGetBinaryLength");
}

void TAdsExtendedTable::AdsSetBinary(const std::string& strFieldName, TAdsBinaryTypes eBinaryType,
                                     int32_t ulTotalLength, int32_t ulOffset,
                                     const UNSIGNED8* pucBuf, int32_t ulBufLength) {
  const UNSIGNED32 total = CheckedUnsigned32(ulTotalLength, "ulTotalLength");
  const UNSIGNED32 offset = CheckedUnsigned32(ulOffset, "ulOffset");
  const UNSIGNED32 length = CheckedUnsigned32(ulBufLength, "ulBufLength");
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  FamilyCheck(Ace.AdsSetBinary(TableHandle(), Bytes(name), AdsBinaryTypeValue(eBinaryType), total,
                               offset, pucBuf, length));
}

void TAdsExtendedTable::AdsBinaryToFile(const std::string& strFieldName,
                                        const std::string& strFileName) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  const std::string file = FileNameText(strFileName);
  FamilyCheck(Ace.AdsBinaryToFile(TableHandle(), Bytes(name), Bytes(file)));
}

int32_t TAdsExtendedTable::AdsGetBookMark() {
  AdsActiveRecord();
  ADSHANDLE bookmark = 0;
  FamilyCheck(Ace.AdsGetBookmark(TableHandle(), &bookmark));
  return CheckedSigned32(bookmark, "AdsGetBookMark");
}

int32_t TAdsExtendedTable::AdsGetRecordNum() {
  if (State() != dsInsert) AdsActiveRecord();
  const UNSIGNED16 option = AdsTableOptions()->AdsFilterOptions() == RESPECT_WHEN_COUNTING
                                ? ADS_RESPECTFILTERS
                                : ADS_IGNOREFILTERS;
  UNSIGNED32 number = 0;
  FamilyCheck(Ace.AdsGetRecordNum(TableHandle(), option, &number));
  return CheckedSigned32(number, "AdsGetRecordNum");
}

bool TAdsExtendedTable::AdsEvalLogicalExpr(const std::string& strExpression) {
  AdsActiveRecord();
  const std::string expr = Utf8ToAnsi(strExpression);
  UNSIGNED16 value = 0;
  FamilyCheck(Ace.AdsEvalLogicalExpr(TableHandle(), Bytes(expr), &value));
  return value != 0;
}

double TAdsExtendedTable::AdsEvalNumericExpr(const std::string& strExpression) {
  AdsActiveRecord();
  const std::string expr = Utf8ToAnsi(strExpression);
  DOUBLE value = 0;
  FamilyCheck(Ace.AdsEvalNumericExpr(TableHandle(), Bytes(expr), &value));
  return value;
}

std::string TAdsExtendedTable::AdsEvalStringExpr(const std::string& strExpression) {
  AdsActiveRecord();
  const std::string expr = Utf8ToAnsi(strExpression);
  std::vector<UNSIGNED8> buffer(kStringResult + 1, 0);
  UNSIGNED16 length = kStringResult;
  FamilyCheck(Ace.AdsEvalStringExpr(TableHandle(), Bytes(expr), buffer.data(), &length));
  return ResultText(buffer.data(), std::min<std::size_t>(length, kStringResult));
}

TAdsExpressionTypes TAdsExtendedTable::AdsEvalTestExpr(const std::string& strExpression) {
  AdsActiveRecord();
  const std::string expr = Utf8ToAnsi(strExpression);
  UNSIGNED16 type = 0;
  FamilyCheck(Ace.AdsEvalTestExpr(TableHandle(), Bytes(expr), &type));
  return AdsExpressionTypeOf(type);
}

bool TAdsExtendedTable::AdsIsExprValid(const std::string& strExpression) {
  AdsActiveRecord();
  const std::string expr = Utf8ToAnsi(strExpression);
  UNSIGNED16 value = 0;
  FamilyCheck(Ace.AdsIsExprValid(TableHandle(), Bytes(expr), &value));
  return value != 0;
}

bool TAdsExtendedTable::AdsIsRecordLocked(int32_t ulRecNum) {
  const UNSIGNED32 record = CheckedUnsigned32(ulRecNum, "ulRecNum");
  if (record == 0) AdsActiveRecord();
  UNSIGNED16 value = 0;
  FamilyCheck(Ace.AdsIsRecordLocked(TableHandle(), record, &value));
  return value != 0;
}

std::string TAdsExtendedTable::AdsExtractKey() {
  AdsActiveRecord();
  std::vector<UNSIGNED8> key(kKeyBuffer, 0);
  UNSIGNED16 length = kKeyBuffer;
  FamilyCheck(Ace.AdsExtractKey(IndexHandle(), key.data(), &length));
  std::string result;
  for (std::size_t i = 0; i < std::min<std::size_t>(length, kKeyBuffer); ++i)
    AppendUtf8(result, key[i]);
  return result;
}

// ---- Read on the current record (every dataset) ------------------------------------------------

bool TAdsExtendedDataSet::AdsIsRecordDeleted(int32_t ulRecNum) {
  const UNSIGNED32 record = CheckedUnsigned32(ulRecNum, "ulRecNum");
  AdsActiveRecord();
  if (record != 0) FamilyCheck(Ace.AdsGotoRecord(TableHandle(), record));
  UNSIGNED16 value = 0;
  FamilyCheck(Ace.AdsIsRecordDeleted(TableHandle(), &value));
  return value != 0;
}

int32_t TAdsExtendedDataSet::AdsGetKeyNum() {
  AdsActiveRecord();
  UNSIGNED32 number = 0;
  FamilyCheck(Ace.AdsGetKeyNum(IndexHandle(), CountingOption(), &number));
  return CheckedSigned32(number, "AdsGetKeyNum");
}

double TAdsExtendedDataSet::AdsGetRelKeyPos() {
  AdsActiveRecord();
  DOUBLE position = 0;
  FamilyCheck(Ace.AdsGetRelKeyPos(IndexHandle(), &position));
  return position;
}

// ---- Changes of the current record (the table) -------------------------------------------------

void TAdsExtendedTable::AdsSetDouble(const std::string& strFieldName, double dValue) {
  CheckBrowseMode();
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  FamilyCheck(Ace.AdsSetDouble(TableHandle(), Bytes(name), dValue));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsSetLong(const std::string& strFieldName, int32_t lValue) {
  CheckBrowseMode();
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  FamilyCheck(Ace.AdsSetLong(TableHandle(), Bytes(name), lValue));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsSetShort(const std::string& strFieldName, int16_t sValue) {
  CheckBrowseMode();
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  FamilyCheck(Ace.AdsSetShort(TableHandle(), Bytes(name), sValue));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsSetLogical(const std::string& strFieldName, bool bValue) {
  CheckBrowseMode();
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  FamilyCheck(Ace.AdsSetLogical(TableHandle(), Bytes(name), bValue ? 1 : 0));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsSetJulian(const std::string& strFieldName, int32_t lDate) {
  CheckBrowseMode();
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  FamilyCheck(Ace.AdsSetJulian(TableHandle(), Bytes(name), lDate));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsSetMilliseconds(const std::string& strFieldName, int32_t lTime) {
  CheckBrowseMode();
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  FamilyCheck(Ace.AdsSetMilliseconds(TableHandle(), Bytes(name), lTime));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsSetEmpty(const std::string& strFieldName) {
  CheckBrowseMode();
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  FamilyCheck(Ace.AdsSetEmpty(TableHandle(), Bytes(name)));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsSetField(const std::string& strFieldName, const std::string& strBuffer) {
  CheckBrowseMode();
  AdsActiveRecord();
  const std::string value = Utf8ToAnsi(strBuffer);
  const std::string name = FieldNameText(strFieldName);
  FamilyCheck(Ace.AdsSetField(TableHandle(), Bytes(name), Bytes(value),
                              static_cast<UNSIGNED32>(value.size())));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsSetString(const std::string& strFieldName, const std::string& strValue) {
  CheckBrowseMode();
  AdsActiveRecord();
  const std::string value = Utf8ToAnsi(strValue);
  const std::string name = FieldNameText(strFieldName);
  FamilyCheck(Ace.AdsSetString(TableHandle(), Bytes(name), Bytes(value),
                               static_cast<UNSIGNED32>(value.size())));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsSetDate(const std::string& strFieldName, const std::string& strDate) {
  CheckBrowseMode();
  AdsActiveRecord();
  const std::string value = EngineText(strDate, kDateBuffer, "The date text");
  const std::string name = FieldNameText(strFieldName);
  FamilyCheck(Ace.AdsSetDate(TableHandle(), Bytes(name), Bytes(value),
                             static_cast<UNSIGNED16>(value.size())));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsSetTime(const std::string& strFieldName, const std::string& strTime) {
  CheckBrowseMode();
  AdsActiveRecord();
  const std::string value = EngineText(strTime, kDateBuffer, "The time text");
  const std::string name = FieldNameText(strFieldName);
  FamilyCheck(Ace.AdsSetTime(TableHandle(), Bytes(name), Bytes(value),
                             static_cast<UNSIGNED16>(value.size())));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsDeleteRecord() {
  CheckBrowseMode();
  AdsActiveRecord();
  FamilyCheck(Ace.AdsDeleteRecord(TableHandle()));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsRefreshRecord() {
  CheckBrowseMode();
  AdsActiveRecord();
  FamilyCheck(Ace.AdsRefreshRecord(TableHandle()));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsWriteRecord() {
  CheckBrowseMode();
  AdsActiveRecord();
  FamilyCheck(Ace.AdsWriteRecord(TableHandle()));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsFileToBinary(const std::string& strFieldName,
                                        TAdsBinaryTypes eBinaryType,
                                        const std::string& strFileName) {
  CheckBrowseMode();
  AdsActiveRecord();
  const std::string name = FieldNameText(strFieldName);
  const std::string file = FileNameText(strFileName);
  FamilyCheck(Ace.AdsFileToBinary(TableHandle(), Bytes(name), AdsBinaryTypeValue(eBinaryType),
                                  Bytes(file)));
}

void TAdsExtendedTable::AdsImageToClipboard(const std::string& strFldName) {
  AdsActiveRecord();
  const std::string name = FieldNameText(strFldName);
  FamilyCheck(Ace.AdsImageToClipboard(TableHandle(), Bytes(name)));
}

void TAdsExtendedTable::AdsAddCustomKey(const std::string& strTag) {
  CheckBrowseMode();
  AdsActiveRecord();
  FamilyCheck(Ace.AdsAddCustomKey(IndexHandleByName(strTag)));
}

void TAdsExtendedTable::AdsDeleteCustomKey(const std::string& strTag) {
  CheckBrowseMode();
  AdsActiveRecord();
  FamilyCheck(Ace.AdsDeleteCustomKey(IndexHandleByName(strTag)));
}

// ---- Changes of the current record (every dataset) ---------------------------------------------

void TAdsExtendedDataSet::AdsRecallRecord() {
  CheckBrowseMode();
  AdsActiveRecord();
  FamilyCheck(Ace.AdsRecallRecord(TableHandle()));
  AdsExtendResync();
}

bool TAdsExtendedDataSet::AdsIsRecordEncrypted(int32_t ulRecNum) {
  const UNSIGNED32 record = CheckedUnsigned32(ulRecNum, "ulRecNum");
  AdsActiveRecord();
  if (record != 0 && State() != dsCalcFields) FamilyCheck(Ace.AdsGotoRecord(TableHandle(), record));
  UNSIGNED16 value = 0;
  FamilyCheck(Ace.AdsIsRecordEncrypted(TableHandle(), &value));
  return value != 0;
}

void TAdsExtendedDataSet::AdsEncryptRecord() {
  CheckBrowseMode();
  AdsActiveRecord();
  FamilyCheck(Ace.AdsEncryptRecord(TableHandle()));
}

void TAdsExtendedDataSet::AdsDecryptRecord() {
  CheckBrowseMode();
  AdsActiveRecord();
  FamilyCheck(Ace.AdsDecryptRecord(TableHandle()));
}
