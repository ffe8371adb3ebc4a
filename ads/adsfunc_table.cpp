// The extended datasets' members on the table as a whole: field and table information, record
// counts, locks, transactions, record caching, copies and conversions, pack and zap, and
// creating a table on the dataset's connection.
#include <string>
#include <vector>

#include "ads/adscnnct.h"
#include "ads/adsfunc.h"

namespace {

const UNSIGNED8* Bytes(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

constexpr std::size_t kFieldNameBuffer = 129;
constexpr std::size_t kFileNameBuffer = 255;
constexpr std::size_t kConditionBuffer = 510;

}  // namespace

// ---- Field and table information --------------------------------------------------------------

uint16_t TAdsExtendedTable::AdsGetFieldDecimals(const std::string& strFieldName) {
  const std::string name = FieldNameText(strFieldName);
  UNSIGNED16 decimals = 0;
  FamilyCheck(Ace.AdsGetFieldDecimals(TableHandle(), Bytes(name), &decimals));
  return decimals;
}

int32_t TAdsExtendedTable::AdsGetFieldLength(const std::string& strFieldName) {
  const std::string name = FieldNameText(strFieldName);
  UNSIGNED32 length = 0;
  FamilyCheck(Ace.AdsGetFieldLength(TableHandle(), Bytes(name), &length));
  return CheckedSigned32(length, "AdsGetFieldLength");
}

std::string TAdsExtendedTable::AdsGetFieldName(int32_t usFieldNum) {
  const UNSIGNED16 number = CheckedUnsigned16(usFieldNum, "usFieldNum");
  UNSIGNED8 name[kFieldNameBuffer + 1] = {};
  UNSIGNED16 length = kFieldNameBuffer;
  FamilyCheck(Ace.AdsGetFieldName(TableHandle(), number, name, &length));
  return ResultText(name, kFieldNameBuffer);
}

uint16_t TAdsExtendedTable::AdsGetFieldNum(const std::string& strFieldName) {
  const std::string name = FieldNameText(strFieldName);
  UNSIGNED16 number = 0;
  FamilyCheck(Ace.AdsGetFieldNum(TableHandle(), Bytes(name), &number));
  return number;
}

int32_t TAdsExtendedTable::AdsGetFieldOffset(const std::string& strFieldName) {
  const std::string name = FieldNameText(strFieldName);
  UNSIGNED32 offset = 0;
  FamilyCheck(Ace.AdsGetFieldOffset(TableHandle(), Bytes(name), &offset));
  return CheckedSigned32(offset, "AdsGetFieldOffset");
}

TAdsFieldTypes TAdsExtendedTable::AdsGetFieldType(const std::string& strFieldName) {
  const std::string name = FieldNameText(strFieldName);
  UNSIGNED16 type = 0;
  FamilyCheck(Ace.AdsGetFieldType(TableHandle(), Bytes(name), &type));
  return AdsFieldTypeOf(type);
}

uint16_t TAdsExtendedTable::AdsGetNumFields() {
  UNSIGNED16 count = 0;
  FamilyCheck(Ace.AdsGetNumFields(TableHandle(), &count));
  return count;
}

int32_t TAdsExtendedTable::AdsGetRecordLength() {
  UNSIGNED32 length = 0;
  FamilyCheck(Ace.AdsGetRecordLength(TableHandle(), &length));
  return CheckedSigned32(length, "AdsGetRecordLength");
}

int32_t TAdsExtendedTable::AdsGetRecordCount() {
  UNSIGNED16 option = CountingOption();
  ADSHANDLE handle = OrderHandle();
  // Records that pass the filters are counted faster on the table than along an index, and
  // give the same number when the index holds every record: no condition, no scope, and keys
  // that need not be unique (an ADT index holds every record in any case).
  if (option == ADS_RESPECTFILTERS && GetAceIndexHandle() != -1) {
    const ADSHANDLE index = IndexHandle();
    bool everyRecord = TableType() == ttAdsADT;
    if (!everyRecord) {
      UNSIGNED32 flags = 0;
      FamilyCheck(Ace.AdsGetIndexFlags(index, &flags));
      everyRecord = (flags & ADS_UNIQUE) == 0;
    }
    if (everyRecord) {
      UNSIGNED8 condition[kConditionBuffer + 1] = {};
      UNSIGNED16 length = kConditionBuffer;
      FamilyCheck(Ace.AdsGetIndexCondition(index, condition, &length));
      bool scoped = false;
      for (UNSIGNED16 scope : {ADS_TOP, ADS_BOTTOM}) {
        std::vector<UNSIGNED8> key(4083, 0);
        UNSIGNED16 keyLength = 4082;
        const UNSIGNED32 result = Ace.AdsGetScope(index, scope, key.data(), &keyLength);
        if (result == AE_SUCCESS)
          scoped = true;
        else if (result != AE_NO_SCOPE)
          FamilyCheck(result);
      }
      if (length == 0 && !scoped) handle = TableHandle();
    }
  }
  if (AdsTableOptions()->AdsFreshRecordCount()) option += ADS_REFRESHCOUNT;
  UNSIGNED32 count = 0;
  FamilyCheck(Ace.AdsGetRecordCount(handle, option, &count));
  return CheckedSigned32(count, "AdsGetRecordCount");
}

uint16_t TAdsExtendedTable::AdsGetTableMemoSize() {
  UNSIGNED16 size = 0;
  FamilyCheck(Ace.AdsGetTableMemoSize(TableHandle(), &size));
  return size;
}

std::string TAdsExtendedTable::AdsGetTableFileName(TAdsFilenameOptions eOption) {
  UNSIGNED8 name[kFileNameBuffer + 1] = {};
  UNSIGNED16 length = kFileNameBuffer;
  FamilyCheck(
      Ace.AdsGetTableFilename(TableHandle(), AdsFilenameOptionValue(eOption), name, &length));
  return ResultText(name, kFileNameBuffer);
}

TAdsHandleTypes TAdsExtendedTable::AdsGetHandleType(int32_t hObj) {
  const UNSIGNED32 handle = CheckedUnsigned32(hObj, "hObj");
  UNSIGNED16 type = 0;
  FamilyCheck(Ace.AdsGetHandleType(handle, &type));
  return AdsHandleTypeOf(type);
}

int32_t TAdsExtendedTable::AdsGetHandleLong() {
  UNSIGNED32 value = 0;
  FamilyCheck(Ace.AdsGetHandleLong(OrderHandle(), &value));
  return CheckedSigned32(value, "AdsGetHandleLong");
}

void TAdsExtendedTable::AdsSetHandleLong(int32_t ulHandle) {
  const UNSIGNED32 value = CheckedUnsigned32(ulHandle, "ulHandle");
  FamilyCheck(Ace.AdsSetHandleLong(OrderHandle(), value));
}

bool TAdsExtendedDataSet::AdsIsTableEncrypted() {
  UNSIGNED16 encrypted = 0;
  FamilyCheck(Ace.AdsIsTableEncrypted(TableHandle(), &encrypted));
  return encrypted != 0;
}

bool TAdsExtendedDataSet::AdsIsEncryptionEnabled() {
  UNSIGNED16 enabled = 0;
  FamilyCheck(Ace.AdsIsEncryptionEnabled(TableHandle(), &enabled));
  return enabled != 0;
}

void TAdsExtendedDataSet::AdsCacheRecords(int32_t usNumRecords) {
  const UNSIGNED16 count = CheckedUnsigned16(usNumRecords, "usNumRecords");
  FamilyCheck(Ace.AdsCacheRecords(TableHandle(), count));
}

bool TAdsExtendedDataSet::AdsInTransaction() {
  ADSHANDLE connection = 0;
  FamilyCheck(Ace.AdsGetTableConnection(TableHandle(), &connection));
  UNSIGNED16 active = 0;
  FamilyCheck(Ace.AdsInTransaction(connection, &active));
  return active != 0;
}

// ---- Locks -----------------------------------------------------------------------------------

uint16_t TAdsExtendedTable::AdsGetNumLocks() {
  UNSIGNED16 count = 0;
  FamilyCheck(Ace.AdsGetNumLocks(TableHandle(), &count));
  return count;
}

uint16_t TAdsExtendedTable::AdsGetAllLocks(std::span<UNSIGNED32> aulLocks) {
  UNSIGNED16 count = static_cast<UNSIGNED16>(std::min<std::size_t>(aulLocks.size(), UINT16_MAX));
  FamilyCheck(Ace.AdsGetAllLocks(TableHandle(), aulLocks.data(), &count));
  return count;
}

bool TAdsExtendedTable::AdsIsTableLocked() {
  UNSIGNED16 locked = 0;
  FamilyCheck(Ace.AdsIsTableLocked(TableHandle(), &locked));
  return locked != 0;
}

bool TAdsExtendedTable::AdsLockRecord(int32_t ulRecNum) {
  CheckBrowseMode();
  const UNSIGNED32 record = CheckedUnsigned32(ulRecNum, "ulRecNum");
  if (record == 0) AdsActiveRecord();
  const UNSIGNED32 result = Ace.AdsLockRecord(TableHandle(), record);
  if (result != AE_LOCK_REFUSED) FamilyCheck(result);
  AdsExtendResync();
  return result != AE_LOCK_REFUSED;
}

bool TAdsExtendedTable::AdsLockTable() {
  CheckBrowseMode();
  const UNSIGNED32 result = Ace.AdsLockTable(TableHandle());
  if (result != AE_LOCK_REFUSED) FamilyCheck(result);
  AdsExtendResync();
  return result != AE_LOCK_REFUSED;
}

bool TAdsExtendedTable::AdsUnlockRecord(int32_t ulRecNum) {
  CheckBrowseMode();
  const UNSIGNED32 record = CheckedUnsigned32(ulRecNum, "ulRecNum");
  if (record == 0) AdsActiveRecord();
  const UNSIGNED32 result = Ace.AdsUnlockRecord(TableHandle(), record);
  if (result != AE_RECORD_NOT_LOCKED) FamilyCheck(result);
  AdsExtendResync();
  return true;
}

void TAdsExtendedTable::AdsUnlockTable() {
  CheckBrowseMode();
  const UNSIGNED32 result = Ace.AdsUnlockTable(TableHandle());
  if (result != AE_TABLE_NOT_LOCKED) FamilyCheck(result);
  AdsExtendResync();
}

// ---- Maintenance -----------------------------------------------------------------------------

void TAdsExtendedTable::AdsPackTable() {
  CheckBrowseMode();
  FamilyCheck(Ace.AdsPackTable(TableHandle()));
  AdsGotoTop();
}

void TAdsExtendedTable::AdsZapTable() {
  CheckBrowseMode();
  FamilyCheck(Ace.AdsZapTable(TableHandle()));
  AdsGotoTop();
}

void TAdsExtendedDataSet::AdsCopyTableStructure(const std::string& strFileName) {
  const std::string file = FileNameText(strFileName);
  FamilyCheck(Ace.AdsCopyTableStructure(TableHandle(), Bytes(file)));
}

void TAdsExtendedDataSet::AdsCopyTable(const std::string& strFileName) {
  CheckBrowseMode();
  const std::string file = FileNameText(strFileName);
  FamilyCheck(Ace.AdsCopyTable(IndexOrTableHandle(), CountingOption(), Bytes(file)));
}

void TAdsExtendedDataSet::AdsConvertTable(const std::string& strFileName,
                                          TAdsTableTypes eTableType) {
  CheckBrowseMode();
  const std::string file = FileNameText(strFileName);
  FamilyCheck(Ace.AdsConvertTable(IndexOrTableHandle(), CountingOption(), Bytes(file),
                                  AdsTableTypeValue(eTableType)));
  AdsExtendResync();
}

void TAdsExtendedDataSet::AdsCopyTableContents(TAdsDataSet* poDestinationTable) {
  CheckBrowseMode();
  // Without a destination the engine is handed no table, and says so.
  const ADSHANDLE destination = static_cast<ADSHANDLE>(
      poDestinationTable != nullptr ? poDestinationTable->GetAceTableHandle() : -1);
  FamilyCheck(Ace.AdsCopyTableContents(IndexOrTableHandle(), destination, CountingOption()));
}

void TAdsExtendedDataSet::AdsFlushFileBuffers() {
  CheckBrowseMode();
  FamilyCheck(Ace.AdsFlushFileBuffers(TableHandle()));
}

void TAdsExtendedTable::AdsCreateTable(const std::string& strName, TAdsTableTypes eTableType,
                                       TAdsCharTypes eCharType, int32_t usMemoSize,
                                       const std::string& strFields) {
  // The table is made beside this one; this dataset need not be open.
  if (Active()) CheckBrowseMode();
  const UNSIGNED16 memoSize = CheckedUnsigned16(usMemoSize, "usMemoSize");
  const std::string name = FileNameText(strName);
  const std::string fields = Utf8ToAnsi(strFields);
  ADSHANDLE connection = 0;
  if (TAdsConnection* component = AdsConnection()) {
    if (!component->IsConnected()) component->SetIsConnected(true);
    connection = component->ConnectionHandle();
  } else if (!GetDatabasePath().empty()) {
    connection = ConnectAndGetHandle();
  }
  const std::string collation = Utf8ToAnsi(GetEffectiveCollation());
  ADSHANDLE table = 0;
  AceCheck(this, Ace.AdsCreateTable90(
                     connection, Bytes(name), nullptr, AdsTableTypeValue(eTableType),
                     static_cast<UNSIGNED16>(eCharType + 1), ADS_PROPRIETARY_LOCKING,
                     ADS_CHECK_RIGHTS, memoSize, Bytes(fields), 0, Bytes(collation), &table));
  FamilyCheck(Ace.AdsCloseTable(table));
}
