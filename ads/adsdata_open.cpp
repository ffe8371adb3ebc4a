// The dataset core's open and close sequences, the character-type take-over and effective
// collation, the key buffers' lifetime, Version and the table-level operations (LockTable,
// UnlockTable, DeleteTable, EmptyTable, FlushBuffers). The cursor itself comes from the
// descendant's OpenEngineCursor (table or query).
#include <climits>
#include <cstring>
#include <string>

#include "ads/adscnnct.h"
#include "ads/adsdata.h"

namespace {

// The component's version: an 8-character marker, a blank and the version number.
constexpr const char* kComponentVersion = "$VERSION 10.0.0.3";
constexpr UNSIGNED16 kCollationLength = 101;

// Engine entry points that not every engine build offers. Each is called when the import
// table has it with the expected signature; otherwise the answer is what the call gives on a
// table without index orders.

// The page size of the cursor's first index order, 0 when there is none or the engine cannot
// tell.
template <class Imports>
uint16_t FirstIndexPageSize(Imports& imports, ADSHANDLE hTable) {
  if constexpr (requires(ADSHANDLE * ah, UNSIGNED16 * pus, UNSIGNED32 * pul) {
                  imports.AdsGetAllIndexes(hTable, ah, pus);
                  imports.AdsGetIndexPageSize(hTable, pul);
                }) {
    ADSHANDLE indexes[1] = {0};
    UNSIGNED16 count = 1;
    UNSIGNED32 result = imports.AdsGetAllIndexes(hTable, indexes, &count);
    if (result != AE_SUCCESS && result != AE_INSUFFICIENT_BUFFER) return 0;
    UNSIGNED32 size = 0;
    if (imports.AdsGetIndexPageSize(indexes[0], &size) != AE_SUCCESS) return 0;
    return size > kMaxIndexPageSize ? 0 : static_cast<uint16_t>(size);
  } else {
    (void)imports;
    (void)hTable;
    return 0;  // this engine keeps no index orders on a cursor
  }
}

template <class Imports>
UNSIGNED32 FlushFileBuffers(Imports& imports, ADSHANDLE hTable) {
  if constexpr (requires { imports.AdsFlushFileBuffers(hTable); }) {
    return imports.AdsFlushFileBuffers(hTable);
  } else {
    // This engine writes every record change to its file when it is made; pending changes
    // are the framework's and CheckBrowseMode has posted them.
    (void)imports;
    (void)hTable;
    return AE_SUCCESS;
  }
}

}  // namespace

// ---- Character type and collation -------------------------------------------------------------

void TAdsDataSet::TakeOverCharType(int32_t h) {
  const ADSHANDLE handle = static_cast<ADSHANDLE>(h);
  UNSIGNED16 charType = ADS_ANSI;
  AceCheck(this, Ace.AdsGetTableCharType(handle, &charType));
  musOpenCharType = charType;
  UNSIGNED8 collation[kCollationLength + 1] = {};
  UNSIGNED16 length = kCollationLength;
  const UNSIGNED32 result = Ace.AdsGetTableCollation(handle, collation, &length);
  if (result == AE_NO_COLLATION || (result == AE_SUCCESS && (length == 0 || collation[0] == 0)))
    mpoAdsTableOptions->SetAdsCharType(static_cast<TAdsCharTypes>(musOpenCharType - 1));
  if (result != AE_SUCCESS && result != AE_NO_COLLATION) AceCheck(this, result);
}

std::string TAdsDataSet::GetEffectiveCollation() {
  if (!mpoAdsTableOptions->AdsCollation().empty()) return mpoAdsTableOptions->AdsCollation();
  if (mpoAdsConnection != nullptr && !mpoAdsConnection->AdsCollation().empty())
    return mpoAdsConnection->AdsCollation();
  return AdsCharTypeName(mpoAdsTableOptions->AdsCharType());
}

// ---- Key buffers ------------------------------------------------------------------------------

void TAdsDataSet::AllocKeyBuffers() {
  UNSIGNED16 fieldCount = 0;
  AceCheck(this, Ace.AdsGetNumFields(static_cast<ADSHANDLE>(mlHandle), &fieldCount));
  const uint32_t size = static_cast<uint32_t>(sizeof(TAdsKeyBuffer)) + musRecordSize +
                        2u * static_cast<uint32_t>(fieldCount);
  try {
    for (PAdsKeyBuffer& key : mapKeyBuffers) {
      auto* block = new std::byte[size]();
      key = reinterpret_cast<PAdsKeyBuffer>(block);
      key->Modified = false;
      key->Exclusive = false;
      key->FieldCount = 0;
      key->BufferSize = size;
      std::memset(key->RecordImage() + musRecordSize, 0xFF, 2u * fieldCount);
      UNSIGNED32 length = musRecordSize;
      AceCheck(this,
               Ace.AdsGetNullRecord(static_cast<ADSHANDLE>(mlHandle),
                                    reinterpret_cast<UNSIGNED8*>(key->RecordImage()), &length));
    }
  } catch (...) {
    FreeKeyBuffers();
    throw;
  }
  mpstKeyBuffer = mapKeyBuffers[0];
}

void TAdsDataSet::FreeKeyBuffers() {
  for (PAdsKeyBuffer& key : mapKeyBuffers) {
    delete[] reinterpret_cast<std::byte*>(key);
    key = nullptr;
  }
  mpstKeyBuffer = nullptr;
}

// ---- Open and close ---------------------------------------------------------------------------

void TAdsDataSet::InternalOpen() {
  if (mlHandle != -1) RaiseComponentError(this, "Table is already open.");
  if (mlActiveHandle != -1) {
    // An adopted cursor: from now on it is the dataset's own and the close releases it.
    mlHandle = mlActiveHandle;
    UNSIGNED16 tableType = 0;
    AceCheck(this, Ace.AdsGetTableType(static_cast<ADSHANDLE>(mlHandle), &tableType));
    musAceTableType = tableType;
  } else {
    mlHandle = OpenEngineCursor();
    mlActiveHandle = mlHandle;
  }
  const ADSHANDLE handle = static_cast<ADSHANDLE>(mlHandle);

  UNSIGNED32 recordLength = 0;
  AceCheck(this, Ace.AdsGetRecordLength(handle, &recordLength));
  if (recordLength > UINT16_MAX)
    throw ERangeError("Record length " + std::to_string(recordLength) +
                      " exceeds the largest record a dataset can hold (65535 bytes)");
  AceCheck(this, Ace.AdsGetTableOpenOptions(handle, &mulTableOptions));
  mbCanModify = (mulTableOptions & ADS_READONLY) == 0;
  if (mbCanModify && (mulTableOptions & ADS_EXCLUSIVE) != 0) {
    UNSIGNED8 live = 1;
    if (Ace.AdsSqlPeekStatement(handle, &live) == AE_SUCCESS && live == 0) mbExclusive = true;
  }
  switch (mpoAdsTableOptions->AdsRecordCache()) {
    case rcNone:
      AceCheck(this, Ace.AdsCacheRecords(handle, 0));
      break;
    case rcAggressive:
      AceCheck(this, Ace.AdsCacheRecords(handle, 100));
      break;
    case rcStandard:
      break;
  }
  mpoAdsTableOptions->mulIndexPageSize = FirstIndexPageSize(Ace, handle);
  musRecordSize = static_cast<uint16_t>(recordLength);
  musRecBufSize = musRecordSize;

  UNSIGNED32 bookmarkLength = 0;
  AceCheck(this,
           Ace.AdsGetBookmarkLength(static_cast<ADSHANDLE>(BookmarkHandle()), &bookmarkLength));
  SetBookmarkSize(static_cast<int>(bookmarkLength));
  AllocKeyBuffers();

  FieldDefs()->SetUpdated(false);
  FieldDefs()->Update();
  if (DefaultFields()) CreateFields();
  for (TField* field : *Fields()) {
    const int p = FACEFieldDefs->IndexOf(field->FieldName());
    const uint16_t engineType = p >= 0 ? FACEFieldDefs->Items(p)->FieldType() : 0;
    if (field->DataType() == ftBCD) {
      if (auto* bcd = dynamic_cast<TAdsBCDField*>(field)) {
        if (engineType == 2 || engineType == 21) bcd->SetCurrency(false);
      } else if (auto* plain = dynamic_cast<TBCDField*>(field)) {
        plain->SetCurrency(true);
      }
    } else if (field->DataType() == ftString) {
      if (auto* text = dynamic_cast<TAdsStringField*>(field))
        if (engineType == 20) text->FCaseInsensitive = true;
    }
  }
  BindFields(true);
  ComputeRecordLayout();
  mpoIndexDefs->SetUpdated(false);
  mpoIndexDefs->Update();
  if (mlHandle != 0) ActivateIndex();
  if (mbScoped) ApplyEngineScope();
  if (Filtered()) ApplyEngineFilter();
  if (mlHandle != 0) AceCheck(this, Ace.AdsGotoBOF(static_cast<ADSHANDLE>(mlActiveHandle)));
}

void TAdsDataSet::InternalClose() {
  if (ComponentState().Contains(csDesigning)) {
    AceCheck(this, Ace.AdsCacheOpenTables(0));
    AceCheck(this, Ace.AdsCacheOpenCursors(0));
  }
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  FreeKeyBuffers();
  delete[] FOldRecordBuffer;
  FOldRecordBuffer = nullptr;
  if (mlHandle != -1) {
    try {
      AceCheck(this, Ace.AdsCloseTable(static_cast<ADSHANDLE>(mlHandle)));
    } catch (const Exception&) {
      // the dataset ends closed whether the engine could release the cursor or not
    }
  }
  mlHandle = -1;
  mlActiveHandle = -1;
  mbCanModify = false;
}

void TAdsDataSet::InternalHandleException() {
  // Opening a stored active dataset failed at design time; with no application handler in
  // the component layer the failure ends here (the designer shows the dataset closed).
}

// ---- Version ----------------------------------------------------------------------------------

std::string TAdsDataSet::Version() {
  const std::string number = std::string(kComponentVersion).substr(9);
  UNSIGNED32 major = 0;
  UNSIGNED32 minor = 0;
  UNSIGNED8 letter = ' ';
  UNSIGNED16 descriptionLength = 0;
  AceCheck(this, Ace.AdsGetVersion(&major, &minor, &letter, nullptr, &descriptionLength));
  std::string engine = "ACE " + std::to_string(major) + "." +
                       (minor < 10 ? "0" + std::to_string(minor) : std::to_string(minor));
  if (letter != ' ' && letter != 0) engine += static_cast<char>(letter);
  return number + " (" + engine + ")";
}

// ---- Table-level operations -------------------------------------------------------------------

void TAdsDataSet::LockTable() {
  if (!Active() || mbExclusive) return;
  AceCheck(this, Ace.AdsLockTable(static_cast<ADSHANDLE>(mlHandle)));
}

void TAdsDataSet::UnlockTable() {
  if (!Active() || mbExclusive) return;
  const UNSIGNED32 result = Ace.AdsUnlockTable(static_cast<ADSHANDLE>(mlHandle));
  if (result != AE_TABLE_NOT_LOCKED) AceCheck(this, result);
}

void TAdsDataSet::DeleteTable() {
  CheckInactive();
  const uint16_t savedType = musAceTableType;
  const ADSHANDLE h = static_cast<ADSHANDLE>(OpenEngineCursor());
  musAceTableType = savedType;
  const UNSIGNED32 result = Ace.AdsDeleteTable(h);
  try {
    AceCheck(this, result);
  } catch (...) {
    Ace.AdsCloseTable(h);
    throw;
  }
}

void TAdsDataSet::EmptyTable() {
  if (Active()) {
    CheckBrowseMode();
    AceCheck(this, Ace.AdsZapTable(static_cast<ADSHANDLE>(mlHandle)));
    ClearBuffers();
    DataEvent(deDataSetChange, 0);
    return;
  }
  const uint16_t savedType = musAceTableType;
  const ADSHANDLE h = static_cast<ADSHANDLE>(OpenEngineCursor());
  musAceTableType = savedType;
  const UNSIGNED32 zapped = Ace.AdsZapTable(h);
  if (zapped != AE_SUCCESS) {
    try {
      AceCheck(this, zapped);
    } catch (...) {
      Ace.AdsCloseTable(h);  // the zap's failure is the one reported
      throw;
    }
  }
  AceCheck(this, Ace.AdsCloseTable(h));
}

void TAdsDataSet::FlushBuffers() {
  CheckBrowseMode();
  FlushFileBuffers(Ace, static_cast<ADSHANDLE>(mlHandle));
}
