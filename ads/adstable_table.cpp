// The table component: its properties and their checks, Exists, LastAutoincVal, the
// master-detail link fields and the cursor hook that opens the table's engine cursor. Opening,
// closing, buffers, fields and the table options themselves belong to the dataset core
// (adsdata_*.cpp).
#include <climits>
#include <cstring>
#include <type_traits>

#include "ads/adscnnct.h"
#include "ads/adstable.h"

namespace {

constexpr UNSIGNED16 kMaxIndexHandles = 256;
constexpr UNSIGNED32 kOptionIgnoreCollationMismatch = 512;
constexpr UNSIGNED32 kOptionReindexOnCollationMismatch = 256;
constexpr UNSIGNED32 kOptionCacheReads = 536870912;    // bit 29
constexpr UNSIGNED32 kOptionCacheWrites = 1073741824;  // bit 30

const UNSIGNED8* Bytes(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

// The engine table type a TableType opens with.
UNSIGNED16 OpenTableTypeOf(TAdsTableTypes eType) {
  switch (eType) {
    case ttAdsCDX:
      return ADS_CDX;
    case ttAdsNTX:
      return ADS_NTX;
    case ttAdsVFP:
      return ADS_VFP;
    default:  // ttAdsADT, ttAdsDefault
      return ADS_ADT;
  }
}

// The TableType an engine table type reported after a dictionary open stands for.
TAdsTableTypes TableTypeOfEngine(UNSIGNED16 usType) {
  switch (usType) {
    case ADS_CDX:
      return ttAdsCDX;
    case ADS_NTX:
      return ttAdsNTX;
    case ADS_VFP:
      return ttAdsVFP;
    default:
      return ttAdsADT;
  }
}

// Whether a connection's alias type allows a table type (unspecified allows every type).
bool ConnectionAllows(TAdsConnectionTableTypes eConnType, TAdsTableTypes eType) {
  switch (eConnType) {
    case ttAdsConnectCDX:
      return eType == ttAdsCDX;
    case ttAdsConnectNTX:
      return eType == ttAdsNTX;
    case ttAdsConnectADT:
      return eType == ttAdsADT;
    case ttAdsConnectVFP:
      return eType == ttAdsVFP;
    default:
      return true;
  }
}

bool IsPath(const std::string& strName) {
  return strName.find_first_of("/\\") != std::string::npos;
}

// ---- Engine calls the engine may not offer ----------------------------------------------
// Index files are engine functions that the import table holds only when the engine declares
// them. Until then the table refuses, with a clear error, the open that would need them; when
// the engine declares them, they are called with the arguments below (a declaration with other
// arguments fails to compile here, which is what we want).

template <class Imports>
constexpr bool kHasOpenIndex = requires(Imports& i) {
  i.AdsOpenIndex;
};

// Answers false when the engine offers no index file calls.
template <class Imports>
bool OpenIndexFileOn(Imports& imports, TAdsDataSet* poTable, ADSHANDLE hTable,
                     const std::string& strPath) {
  if constexpr (kHasOpenIndex<Imports>) {
    ADSHANDLE ahIndexes[kMaxIndexHandles] = {};
    UNSIGNED16 usCount = kMaxIndexHandles;
    const std::string path = Utf8ToAnsi(strPath);
    AceCheck(poTable, imports.AdsOpenIndex(hTable, Bytes(path), ahIndexes, &usCount));
    return true;
  } else {
    (void)imports, (void)poTable, (void)hTable, (void)strPath;
    return false;
  }
}

}  // namespace

// ---- Construction ---------------------------------------------------------------------------

TAdsTable::TAdsTable(TComponent* AOwner) : TAdsExtendedTable(AOwner) {
  meIndexCollationMismatch = icmError;
  FstrEncryptionPassword.clear();
}

TAdsTable::~TAdsTable() {
  Destroying();
  try {
    Close();
  } catch (const Exception&) {
    // A table that cannot be closed is destroyed all the same; the core forgets its handle.
  }
}

// ---- Properties -----------------------------------------------------------------------------

void TAdsTable::SetTableName(const std::string& Value) {
  if (Active()) RaiseComponentError(this, "Cannot perform this operation on an open dataset");
  if (!ComponentState().Contains(csReading) && Value != mstrTableName) mpoIndexFiles->Clear();
  mstrTableName = Value;
  UpdateDefaultIndex();
  DataEvent(dePropertyChange, 0);
}

void TAdsTable::SetTableType(TAdsTableTypes Value) {
  if (Active()) RaiseComponentError(this, "Cannot perform this operation on an open dataset");
  static const char* const kMismatch =
      "The table type must remain identical to the table type associated with the alias.";
  if (!mstrDatabaseName.empty()) {
    std::string strPath;
    TAdsTableTypes eAliasType = ttAdsADT;
    if (!IsPath(mstrDatabaseName) && LookupDataSetAlias(mstrDatabaseName, strPath, eAliasType) &&
        eAliasType != Value)
      RaiseComponentError(this, kMismatch);
  } else if (mpoAdsConnection != nullptr &&
             !ConnectionAllows(mpoAdsConnection->GetAdsTableType(), Value)) {
    RaiseComponentError(this, kMismatch);
  }
  meTableType = Value;
  musOpenTableType = OpenTableTypeOf(Value);
}

void TAdsTable::SetExclusive(bool Value) {
  CheckInactive();
  mbExclusive = Value;
}

void TAdsTable::SetReadOnly(bool Value) {
  CheckInactive();
  mbReadOnly = Value;
}

void TAdsTable::SetIndexCollationMismatch(TIndexCollationMismatchOptions Value) {
  if (Active()) RaiseComponentError(this, "Cannot perform this operation on an open dataset");
  meIndexCollationMismatch = Value;
}

void TAdsTable::DefChanged(TObject* /*Sender*/) {
  FStoreDefs = true;
}

bool TAdsTable::StoreFieldDefs() const {
  return FStoreDefs && const_cast<TAdsTable*>(this)->FieldDefs()->Count() > 0;
}

bool TAdsTable::StoreIndexDefs() const {
  return FStoreDefs && mpoIndexDefs->Count() > 0;
}

// ---- Exists and LastAutoincVal --------------------------------------------------------------

bool TAdsTable::Exists() {
  if (Active()) return true;
  if (mstrTableName.empty()) return false;
  std::string strFile = GetDatabasePath() + "\\" + mstrTableName;
  if (ExtractFileExt(mstrTableName).empty()) strFile += meTableType == ttAdsADT ? ".adt" : ".dbf";
  // Paths are built with '\' as the components build them; the file system wants '/'.
  for (char& c : strFile) {
    if (c == '\\') c = '/';
  }
  return FileExists(strFile);
}

int32_t TAdsTable::GetLastAutoincVal() {
  UNSIGNED32 ulValue = 0;
  AceCheck(this, Ace.AdsGetLastAutoinc(static_cast<ADSHANDLE>(mlHandle), &ulValue));
  if (ulValue > static_cast<UNSIGNED32>(INT32_MAX))
    throw ERangeError("Bereichsüberschreitung: LastAutoincVal " + std::to_string(ulValue));
  return static_cast<int32_t>(ulValue);
}

// ---- Master-detail --------------------------------------------------------------------------

void TAdsTable::GetDetailLinkFields(std::vector<TField*>& MasterFields,
                                    std::vector<TField*>& DetailFields) {
  MasterFields.clear();
  DetailFields.clear();
  TDataSource* poSource = mpoMasterLink->DataSource();
  if (poSource == nullptr || poSource->DataSet() == nullptr || mstrMasterField.empty()) return;
  poSource->DataSet()->GetFieldList(MasterFields, mstrMasterField);
  if (!mpoIndexDefs->Updated()) mpoIndexDefs->Update();
  TIndexDef* poIndex = nullptr;
  if (!mstrIndexName.empty()) {
    poIndex = mpoIndexDefs->Find(mstrIndexName);
  } else if (!mstrIndexFieldNames.empty()) {
    poIndex = mpoIndexDefs->GetIndexForFields(mstrIndexFieldNames, false);
  }
  if (poIndex != nullptr) GetFieldList(DetailFields, poIndex->Fields());
}

// ---- The cursor hook ------------------------------------------------------------------------

UNSIGNED32 TAdsTable::OpenOptionBits() {
  UNSIGNED32 ulOptions = 0;
  if (mbExclusive) ulOptions |= ADS_EXCLUSIVE;
  if (mbReadOnly) ulOptions |= ADS_READONLY;
  if (mpoAdsConnection != nullptr && mpoAdsConnection->ReadOnly()) {
    ulOptions |= ADS_READONLY;
    if (!ComponentState().Contains(csDesigning)) mbReadOnly = true;
  }
  if (meIndexCollationMismatch == icmIgnore) ulOptions |= kOptionIgnoreCollationMismatch;
  if (meIndexCollationMismatch == icmReindex) ulOptions |= kOptionReindexOnCollationMismatch;
  switch (AdsTableOptions()->AdsCachingOption()) {
    case tcReads:
      ulOptions |= kOptionCacheReads;
      break;
    case tcWrites:
      ulOptions |= kOptionCacheWrites;
      break;
    default:
      break;
  }
  return ulOptions;
}

int32_t TAdsTable::OpenEngineCursor() {
  if (mstrTableName.empty()) RaiseComponentError(this, "Missing TableName property");
  const UNSIGNED32 ulOptions = OpenOptionBits();
  TAdsTableOptions* poOptions = AdsTableOptions();
  const UNSIGNED16 usLockType =
      poOptions->AdsLockType() == Proprietary ? ADS_PROPRIETARY_LOCKING : ADS_COMPATIBLE_LOCKING;
  const UNSIGNED16 usCharType = static_cast<UNSIGNED16>(poOptions->AdsCharType() + 1);
  const UNSIGNED16 usRights = poOptions->AdsRightsCheck() ? ADS_CHECK_RIGHTS : ADS_IGNORE_RIGHTS;

  const std::string strPath = GetDatabasePath();
  if (strPath.empty())
    RaiseComponentError(this,
                        "One of the DatabaseName property or the AdsConnection property must have "
                        "a value.");
  const ADSHANDLE hConnection = ConnectAndGetHandle();
  const bool bDictionary = mpoAdsConnection != nullptr && mpoAdsConnection->IsDictionaryConn();
  const std::string strFreeName = Utf8ToAnsi(strPath + "\\" + mstrTableName);
  const std::string strName = bDictionary ? Utf8ToAnsi(mstrTableName) : strFreeName;
  if (hConnection == 0 || hConnection == static_cast<ADSHANDLE>(-1))
    RaiseComponentError(this, "Internal Error: invalid connection handle.");
  const UNSIGNED16 usTableType = bDictionary ? ADS_DEFAULT : musOpenTableType;
  const std::string strCollation = Utf8ToAnsi(GetEffectiveCollation());

  ADSHANDLE hTable = 0;
  UNSIGNED32 ulResult =
      Ace.AdsOpenTable90(hConnection, Bytes(strName), nullptr, usTableType, usCharType, usLockType,
                         usRights, ulOptions, Bytes(strCollation), &hTable);
  if (ulResult == AE_NOT_IN_DICTIONARY && bDictionary) {
    // Not a table of the dictionary: open the file of that name as a free table.
    hTable = 0;
    ulResult =
        Ace.AdsOpenTable90(hConnection, Bytes(strFreeName), nullptr, musOpenTableType, usCharType,
                           usLockType, usRights, ulOptions, Bytes(strCollation), &hTable);
  }
  AceCheck(this, ulResult);

  try {
    UNSIGNED16 usType = 0;
    AceCheck(this, Ace.AdsGetTableType(hTable, &usType));
    musAceTableType = usType;
    if (bDictionary) {
      AceCheck(this, Ace.AdsGetTableType(hTable, &usType));
      musOpenTableType = usType;
      SetTableType(TableTypeOfEngine(usType));
    }
    TakeOverCharType(static_cast<int32_t>(hTable));
    EnableEncryption(hTable);
    OpenIndexFiles(hTable, strPath);
  } catch (...) {
    // The new cursor is ours until we return it: nothing stays open when the open fails.
    Ace.AdsCloseTable(hTable);
    throw;
  }
  return static_cast<int32_t>(hTable);
}

// Step 17 of the open: an encrypted table whose handle has no key yet gets the password (in the
// ANSI code page, whole). A wrong password is the engine's 5080, and the open fails with it.
void TAdsTable::EnableEncryption(ADSHANDLE hTable) {
  if (FstrEncryptionPassword.empty()) return;
  UNSIGNED16 usEncrypted = 0, usEnabled = 0;
  AceCheck(this, Ace.AdsIsTableEncrypted(hTable, &usEncrypted));
  AceCheck(this, Ace.AdsIsEncryptionEnabled(hTable, &usEnabled));
  if (usEncrypted == 1 && usEnabled != 1) {
    const std::string strPassword = Utf8ToAnsi(FstrEncryptionPassword);
    AceCheck(this, Ace.AdsEnableEncryption(hTable, Bytes(strPassword)));
  }
}

void TAdsTable::OpenIndexFiles(ADSHANDLE hTable, const std::string& strDatabasePath) {
  for (int i = 0; i < mpoIndexFiles->Count(); ++i) {
    const std::string strEntry = mpoIndexFiles->Strings(i);
    if (!OpenIndexFileOn(Ace, this, hTable, strDatabasePath + "\\" + strEntry))
      RaiseComponentError(this, "The index file " + strEntry +
                                    " cannot be opened: the client engine offers no index "
                                    "files.");
  }
}

// ---- Published properties -------------------------------------------------------------------

VCL_REGISTER_CLASS(TAdsTable, [](TClassBuilder<TAdsTable>& c) {
  using T = TAdsTable;
  c.Object("AdsTableOptions", &T::AdsTableOptions);
  c.Collection("FieldDefs", &T::FieldDefs).Stored(&T::StoreFieldDefs);
  c.Collection("IndexDefs", &T::IndexDefs).Stored(&T::StoreIndexDefs);
  c.Prop("StoreDefs", &T::StoreDefs, &T::SetStoreDefs, false);
  c.Strings("IndexFiles", &T::IndexFiles);
  c.Prop("InfoExpression", &T::InfoExpression, &T::SetInfoExpression);
  c.Prop("Exclusive", &T::Exclusive, &T::SetExclusive, false);
  c.Prop("ReadOnly", &T::ReadOnly, &T::SetReadOnly, false);
  c.Prop("TableName", &T::TableName, &T::SetTableName);
  c.Enum("TableType", &T::TableType, &T::SetTableType,
         {"ttAdsCDX", "ttAdsNTX", "ttAdsADT", "ttAdsDefault", "ttAdsVFP"}, ttAdsADT);
  c.Enum("IndexCollationMismatch", &T::IndexCollationMismatch, &T::SetIndexCollationMismatch,
         {"icmError", "icmIgnore", "icmReindex"}, icmError);
  c.Prop("EncryptionPassword", &T::EncryptionPassword, &T::SetEncryptionPassword);
  c.Prop("IndexName", &T::IndexName, &T::SetIndexName);
  c.Prop("IndexFieldNames", &T::IndexFieldNames, &T::SetIndexFieldNames);
  c.Ref("MasterSource", &T::MasterSource, &T::SetMasterSource);
  c.Prop("MasterFields", &T::MasterFields, &T::SetMasterFields);
  c.Prop("ScopeBegin", &T::ScopeBegin, &T::SetScopeBegin);
  c.Prop("ScopeEnd", &T::ScopeEnd, &T::SetScopeEnd);
  c.Prop("Scoped", &T::Scoped, &T::SetScoped, false);
})
