// adsdata: the dataset module of the component layer. It owns the error reporting of the
// datasets and engine calls (EADSDatabaseError, AceCheck, the per-thread error guard), the alias
// file and its lookups, the list of implicit connections, the dataset registry and the dataset
// base class. This header is the module's one interface; its parts live in adsdata_*.cpp files.
#pragma once

#include <cstdint>
#include <string>

// Table types of a dataset (TableType of a table, SourceTableType of a query).
enum TAdsTableTypes { ttAdsCDX, ttAdsNTX, ttAdsADT, ttAdsDefault, ttAdsVFP };

// Table types an alias entry gives a connection component.
enum TAdsConnectionTableTypes {
  ttAdsConnectUnspecified,
  ttAdsConnectCDX,
  ttAdsConnectNTX,
  ttAdsConnectADT,
  ttAdsConnectVFP
};

// ---- The alias file ---------------------------------------------------------------------------

// The alias file "ads.ini": $adsini_path/ads.ini when that exists; else the first "ads.ini" in
// the program's directory, the current directory and the PATH directories; else /etc/ads.ini.
std::string FindAliasFile();

// The value of Key in Section of a profile file (section and key names match without regard to
// case; the first matching entry counts). A missing file, section or key reads as empty; the
// value is cut at 2047 characters.
std::string ReadProfileString(const std::string& FileName, const std::string& Section,
                              const std::string& Key);

// Look an alias up in section "Databases" of the alias file, afresh on every call. The value is
// the path, optionally followed by ";" and a table type letter (N, C, A, V in either case).
// The answer is whether the alias exists (its path part is not empty).
bool LookupConnectionAlias(const std::string& strAliasName, std::string& strPath,
                           TAdsConnectionTableTypes& eType);
bool LookupDataSetAlias(const std::string& strAliasName, std::string& strPath,
                        TAdsTableTypes& eType);

// ---- Error reporting --------------------------------------------------------------------------

#include "ads/ace.h"
#include "ui/db/DB.h"

// What an error collects of the dataset it concerns. The dataset base class provides it; each
// answer may raise (computing the database path may look up the alias file or ask the engine),
// which stops the collecting without failing the error being built.
class IAdsDataSetErrorInfo {
 public:
  virtual ~IAdsDataSetErrorInfo() = default;
  virtual std::string ErrorInstanceName() const = 0;   // the dataset's component name
  virtual std::string ErrorInstanceOwner() const = 0;  // its owner's name, empty without owner
  virtual std::string ErrorDatabaseName() const = 0;   // DatabaseName as stored
  virtual std::string ErrorDatabasePath() = 0;         // the database path, computed now
  virtual std::string ErrorTableName() const = 0;      // TableName as stored
};

// The error of the datasets and of every engine call checked by AceCheck. A component's own
// check raises it with itself as the dataset and the code 5121 (AE_COMPONENT).
class EADSDatabaseError : public EDatabaseError {
 public:
  EADSDatabaseError(IAdsDataSetErrorInfo* oDataSet, UNSIGNED32 ulErrCode,
                    const std::string& strMsg);
  EADSDatabaseError(const EADSDatabaseError& other);
  EADSDatabaseError& operator=(const EADSDatabaseError& other) = default;
  // Destroying an error ends any building of one on this thread.
  ~EADSDatabaseError() override;
  std::string ClassName() const override { return "EADSDatabaseError"; }

  UNSIGNED32 ACEErrorCode() const { return ulACEError; }
  UNSIGNED32 SQLErrorCode() const { return ulSQLErrorCode; }
  const std::string& DataSetInstanceName() const { return strDataSetInstanceName; }
  const std::string& DataSetInstanceOwner() const { return strDataSetInstanceOwner; }
  const std::string& DatabaseName() const { return strDatabaseName; }
  const std::string& DatabasePath() const { return strDatabasePath; }
  const std::string& TableName() const { return strTableName; }
  const std::string& ColumnName() const { return strColumnName; }

 private:
  void Collect(IAdsDataSetErrorInfo* oDataSet, const std::string& strMsg);
  void ParseNativeSQLError(const std::string& strMsg);

  UNSIGNED32 ulACEError = 0;
  UNSIGNED32 ulSQLErrorCode = 0;
  std::string strDataSetInstanceName;
  std::string strDataSetInstanceOwner;
  std::string strDatabaseName;
  std::string strDatabasePath;
  std::string strTableName;
  std::string strColumnName;
};

// True exactly while an EADSDatabaseError is being built on this thread (False in every new
// thread); while it is True, AceCheck drops failures and a new EADSDatabaseError stays empty, so
// that building one error never raises another.
bool BuildingAdsError();
void SetBuildingAdsError(bool bValue);

// Returns for 0; otherwise raises EADSDatabaseError with the engine's last error code and text
// (unless an error is being built on this thread, when the failure is dropped).
void AceCheck(IAdsDataSetErrorInfo* oDataSet, UNSIGNED32 ulResult);

// Raises a component error: EADSDatabaseError with the dataset, 5121 and the message.
[[noreturn]] void RaiseComponentError(IAdsDataSetErrorInfo* oDataSet, const std::string& strMsg);

// ---- Registries of live components ------------------------------------------------------------

#include <mutex>
#include <vector>

#include "ui/classes/Classes.h"

// A process-wide list of live components in creation order, guarded by its own lock. Every
// pass over it holds the lock (Lock()); where both registries are held, the dataset registry
// is taken first, then the connection registry.
template <class T>
class TAdsComponentRegistry {
 public:
  std::recursive_mutex& Lock() { return FLock; }
  void Add(T* Item) {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FItems.push_back(Item);
  }
  // Removes the item and compacts the list.
  void Remove(T* Item) {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    for (auto it = FItems.begin(); it != FItems.end(); ++it) {
      if (*it == Item) {
        FItems.erase(it);
        return;
      }
    }
  }
  // The live items in creation order; the caller holds Lock() while it uses them.
  const std::vector<T*>& Items() const { return FItems; }
  // A copy taken under the lock.
  std::vector<T*> Snapshot() {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    return FItems;
  }

 private:
  std::recursive_mutex FLock;
  std::vector<T*> FItems;
};

class TAdsDataSet;
class TAdsConnection;

// Every live TAdsDataSet, in creation order. Created on first use (the first dataset's
// constructor) and freed when the program ends.
TAdsComponentRegistry<TAdsDataSet>& DataSetRegistry();

// ---- Implicit connections ---------------------------------------------------------------------

// One engine connection opened for a database path on behalf of the datasets that name that
// path and have no connection component.
class TDynamicConn {
 public:
  ADSHANDLE FhAceConn = 0;
  std::string FstrDatabasename;
};

// The process-wide list of implicit connections, one per database path (paths compared without
// regard to case). Entries are only added; each connection stays open until the list is
// destroyed at the end of the program, which disconnects them in order. Both operations are
// serialised on FSync; two threads that resolve the same new path at once may each add an
// entry, and later look-ups share the first.
class TDynamicConnList {
 public:
  TDynamicConnList() = default;
  ~TDynamicConnList();
  TDynamicConnList(const TDynamicConnList&) = delete;
  TDynamicConnList& operator=(const TDynamicConnList&) = delete;

  // The handle of the first entry for the path, 0 when there is none.
  ADSHANDLE FindSameDatabasename(const std::string& strDatabasename);
  // Connects to the path (a failed connect raises EADSDatabaseError without a dataset) and
  // appends an entry for it; answers the handle, or 0 when the entry could not be stored.
  ADSHANDLE Add(const std::string& strDatabasename);
  int Count();

 private:
  std::vector<std::unique_ptr<TDynamicConn>> FItems;
  std::mutex FSync;
};

// The one list, created by the module's start-up.
TDynamicConnList& DynamicConnList();

// ---- Options of a dataset --------------------------------------------------------------------

#include <memory>

class TAdsDataSet;

enum TAdsLockTypes : uint8_t { Proprietary, Compatible };

// Character types: ANSI, OEM and 116 collations. The engine's number of a value is its ordinal
// + 1; AdsCharTypeName gives the collation name passed to the engine.
enum TAdsCharTypes : uint8_t {
  ANSI,
  OEM,
  CZECH_VFP_CI_AS_1250,
  GENERAL_VFP_CI_AS_1250,
  HUNGARY_VFP_CI_AS_1250,
  MACHINE_VFP_BIN_1250,
  POLISH_VFP_CI_AS_1250,
  SLOVAK_VFP_CI_AS_1250,
  MACHINE_VFP_BIN_1251,
  RUSSIAN_VFP_CI_AS_1251,
  DUTCH_VFP_CI_AS_1252,
  GENERAL_VFP_CI_AS_1252,
  GERMAN_VFP_CI_AS_1252,
  ICELAND_VFP_CI_AS_1252,
  MACHINE_VFP_BIN_1252,
  NORDAN_VFP_CI_AS_1252,
  SPANISH_VFP_CI_AS_1252,
  SWEFIN_VFP_CI_AS_1252,
  UNIQWT_VFP_CS_AS_1252,
  GREEK_VFP_CI_AS_1253,
  MACHINE_VFP_BIN_1253,
  GENERAL_VFP_CI_AS_1254,
  MACHINE_VFP_BIN_1254,
  TURKISH_VFP_CI_AS_1254,
  DUTCH_VFP_CI_AS_437,
  GENERAL_VFP_CI_AS_437,
  GERMAN_VFP_CI_AS_437,
  ICELAND_VFP_CI_AS_437,
  MACHINE_VFP_BIN_437,
  NORDAN_VFP_CI_AS_437,
  SPANISH_VFP_CI_AS_437,
  SWEFIN_VFP_CI_AS_437,
  UNIQWT_VFP_CS_AS_437,
  GENERAL_VFP_CI_AS_620,
  MACHINE_VFP_BIN_620,
  POLISH_VFP_CI_AS_620,
  GREEK_VFP_CI_AS_737,
  MACHINE_VFP_BIN_737,
  DUTCH_VFP_CI_AS_850,
  GENERAL_VFP_CI_AS_850,
  ICELAND_VFP_CI_AS_850,
  MACHINE_VFP_BIN_850,
  NORDAN_VFP_CI_AS_850,
  SPANISH_VFP_CI_AS_850,
  SWEFIN_VFP_CI_AS_850,
  UNIQWT_VFP_CS_AS_850,
  CZECH_VFP_CI_AS_852,
  GENERAL_VFP_CI_AS_852,
  HUNGARY_VFP_CI_AS_852,
  MACHINE_VFP_BIN_852,
  POLISH_VFP_CI_AS_852,
  SLOVAK_VFP_CI_AS_852,
  GENERAL_VFP_CI_AS_857,
  MACHINE_VFP_BIN_857,
  TURKISH_VFP_CI_AS_857,
  GENERAL_VFP_CI_AS_861,
  ICELAND_VFP_CI_AS_861,
  MACHINE_VFP_BIN_861,
  GENERAL_VFP_CI_AS_865,
  MACHINE_VFP_BIN_865,
  NORDAN_VFP_CI_AS_865,
  SWEFIN_VFP_CI_AS_865,
  MACHINE_VFP_BIN_866,
  RUSSIAN_VFP_CI_AS_866,
  CZECH_VFP_CI_AS_895,
  GENERAL_VFP_CI_AS_895,
  MACHINE_VFP_BIN_895,
  SLOVAK_VFP_CI_AS_895,
  DANISH_ADS_CS_AS_1252,
  DUTCH_ADS_CS_AS_1252,
  ENGL_AMER_ADS_CS_AS_1252,
  ENGL_CAN_ADS_CS_AS_1252,
  ENGL_UK_ADS_CS_AS_1252,
  FINNISH_ADS_CS_AS_1252,
  FRENCH_ADS_CS_AS_1252,
  FRENCH_CAN_ADS_CS_AS_1252,
  GERMAN_ADS_CS_AS_1252,
  ICELANDIC_ADS_CS_AS_1252,
  ITALIAN_ADS_CS_AS_1252,
  NORWEGIAN_ADS_CS_AS_1252,
  PORTUGUESE_ADS_CS_AS_1252,
  SPANISH_ADS_CS_AS_1252,
  SPAN_MOD_ADS_CS_AS_1252,
  SWEDISH_ADS_CS_AS_1252,
  RUSSIAN_ADS_CS_AS_1251,
  ASCII_ADS_CS_AS_1252,
  TURKISH_ADS_CS_AS_1254,
  POLISH_ADS_CS_AS_1250,
  BALTIC_ADS_CS_AS_1257,
  UKRAINIAN_ADS_CS_AS_1251,
  DUDEN_DE_ADS_CS_AS_1252,
  USA_ADS_CS_AS_437,
  DANISH_ADS_CS_AS_865,
  DUTCH_ADS_CS_AS_850,
  FINNISH_ADS_CS_AS_865,
  FRENCH_ADS_CS_AS_863,
  GERMAN_ADS_CS_AS_850,
  GREEK437_ADS_CS_AS_437,
  GREEK851_ADS_CS_AS_851,
  ICELD850_ADS_CS_AS_850,
  ICELD861_ADS_CS_AS_861,
  ITALIAN_ADS_CS_AS_850,
  NORWEGN_ADS_CS_AS_865,
  PORTUGUE_ADS_CS_AS_860,
  SPANISH_ADS_CS_AS_852,
  SWEDISH_ADS_CS_AS_865,
  MAZOVIA_ADS_CS_AS_852,
  PC_LATIN_ADS_CS_AS_852,
  ISOLATIN_ADS_CS_AS_850,
  RUSSIAN_ADS_CS_AS_866,
  NTXCZ852_ADS_CS_AS_852,
  NTXCZ895_ADS_CS_AS_895,
  NTXSL852_ADS_CS_AS_852,
  NTXSL895_ADS_CS_AS_895,
  NTXHU852_ADS_CS_AS_852,
  NTXPL852_ADS_CS_AS_852,
  TURKISH_ADS_CS_AS_857,
  BOSNIAN_ADS_CS_AS_775
};
constexpr int kAdsCharTypeCount = 118;

// The collation name of a character type ("ANSI", "OEM", "ENGL(UK)_ADS_CS_AS_1252", ...); an
// ordinal outside the enumeration gives the empty text.
const char* AdsCharTypeName(TAdsCharTypes eCharType);

enum TAdsRespectFilters : uint8_t { IGNORE_WHEN_COUNTING, RESPECT_WHEN_COUNTING };
enum TAdsRespectScopes : uint8_t { IGNORE_SCOPES_WHEN_COUNTING, RESPECT_SCOPES_WHEN_COUNTING };
enum TAdsRecordCacheTypes : uint8_t { rcNone, rcStandard, rcAggressive };
enum TAdsAOFTypes : uint8_t { atDynamic, atKeySet, atFixed };
enum TAdsRecordLockingModes : uint8_t { lmPessimistic, lmOptimistic };
enum TAdsTableCachingOption : uint8_t { tcNone, tcReads, tcWrites };
// Index page sizes: 0 (the engine's choice) to 8192 bytes.
using TAdsIndexPageSizes = uint16_t;
constexpr TAdsIndexPageSizes kMaxIndexPageSize = 8192;

// The engine open and behaviour options every dataset owns (AdsTableOptions). The table applies
// all of them when it opens; the query uses lock type, character type, rights checking and
// collation for its statements. Setters that the open cursor cannot follow refuse while the
// owning dataset is active ("Table must not be Active."); errors name the owning dataset.
class TAdsTableOptions : public TPersistent {
  VCL_DECLARE_CLASS(TAdsTableOptions, TPersistent)
 public:
  // The owning dataset, set once by the dataset's constructor.
  void SetTableInstance(TAdsDataSet* poAdsTable) { mpoAdsTable = poAdsTable; }
  TAdsDataSet* OwningDataSet() const { return mpoAdsTable; }

  TAdsLockTypes AdsLockType() const { return meAdsLockType; }
  void SetAdsLockType(TAdsLockTypes Value);
  TAdsCharTypes AdsCharType() const { return meAdsCharType; }
  // Refused while active, for an ordinal above 117, and for a collation on a ttAdsCDX or
  // ttAdsNTX dataset (those know only ANSI and OEM).
  void SetAdsCharType(TAdsCharTypes Value);
  TAdsRespectFilters AdsFilterOptions() const { return meAdsRespectFilters; }
  void SetAdsFilterOptions(TAdsRespectFilters Value) { meAdsRespectFilters = Value; }
  bool AdsFreshRecordCount() const { return mbRefreshCount; }
  void SetAdsFreshRecordCount(bool Value) { mbRefreshCount = Value; }
  TAdsRespectScopes AdsScopeOptions() const { return meAdsRespectScopes; }
  void SetAdsScopeOptions(TAdsRespectScopes Value) { meAdsRespectScopes = Value; }
  bool AdsAOFResolveImmediate() const { return mbAOFResolveImmediate; }
  void SetAdsAOFResolveImmediate(bool Value) { mbAOFResolveImmediate = Value; }
  bool AdsRightsCheck() const { return mbAdsRightsCheck; }
  void SetAdsRightsCheck(bool Value);
  bool AdsOptimizedFilters() const { return mbAdsOptimizedFilters; }
  void SetAdsOptimizedFilters(bool Value);
  TAdsIndexPageSizes AdsIndexPageSize() const { return mulIndexPageSize; }
  // ERangeError above 8192.
  void SetAdsIndexPageSize(TAdsIndexPageSizes Value);
  TAdsRecordCacheTypes AdsRecordCache() const { return meAdsRecordCache; }
  // On an active dataset the engine's record cache follows at once.
  void SetAdsRecordCache(TAdsRecordCacheTypes Value);
  TAdsAOFTypes AdsAOFType() const { return meAdsAOFType; }
  void SetAdsAOFType(TAdsAOFTypes Value) { meAdsAOFType = Value; }
  bool AdsAutoKeyFieldCount() const { return mbAutoKeyFieldCount; }
  void SetAdsAutoKeyFieldCount(bool Value) { mbAutoKeyFieldCount = Value; }
  bool AdsCalcFieldsBeforeFilter() const { return mbCalcFieldsBeforeFilter; }
  void SetAdsCalcFieldsBeforeFilter(bool Value) { mbCalcFieldsBeforeFilter = Value; }
  TAdsRecordLockingModes AdsRecordLockingMode() const { return meRecordLockingMode; }
  void SetAdsRecordLockingMode(TAdsRecordLockingModes Value) { meRecordLockingMode = Value; }
  bool AdsPreserveSpaces() const { return mbPreserveSpaces; }
  void SetAdsPreserveSpaces(bool Value) { mbPreserveSpaces = Value; }
  bool AdsNumericsAsFloats() const { return mbNumericsAsFloats; }
  void SetAdsNumericsAsFloats(bool Value) { mbNumericsAsFloats = Value; }
  const std::string& AdsCollation() const { return mstrCollation; }
  void SetAdsCollation(const std::string& Value) { mstrCollation = Value; }
  TAdsTableCachingOption AdsCachingOption() const { return meAdsCachingOption; }
  void SetAdsCachingOption(TAdsTableCachingOption Value);

  void Assign(TPersistent* Source) override;

 private:
  friend class TAdsDataSet;  // the open sequence replaces AdsIndexPageSize
  // Raises "Table must not be Active." while the owning dataset is open.
  void CheckInactive();

  TAdsLockTypes meAdsLockType = Proprietary;
  TAdsCharTypes meAdsCharType = ANSI;
  TAdsRespectFilters meAdsRespectFilters = IGNORE_WHEN_COUNTING;
  TAdsRespectScopes meAdsRespectScopes = IGNORE_SCOPES_WHEN_COUNTING;
  bool mbAdsRightsCheck = true;
  TAdsDataSet* mpoAdsTable = nullptr;
  bool mbAdsOptimizedFilters = true;
  bool mbRefreshCount = false;
  bool mbAOFResolveImmediate = false;
  TAdsIndexPageSizes mulIndexPageSize = 0;
  TAdsRecordCacheTypes meAdsRecordCache = rcStandard;
  TAdsAOFTypes meAdsAOFType = atDynamic;
  bool mbAutoKeyFieldCount = false;
  bool mbCalcFieldsBeforeFilter = false;
  TAdsRecordLockingModes meRecordLockingMode = lmPessimistic;
  bool mbPreserveSpaces = false;
  bool mbNumericsAsFloats = false;
  std::string mstrCollation;
  TAdsTableCachingOption meAdsCachingOption = tcNone;
};

// ---- Engine field descriptions ----------------------------------------------------------------

// The engine's field types (ordinal = engine code - 1). 51 and 52 are two further blob types of
// VFP tables without a member.
enum TAdsFieldTypes : uint8_t {
  AdsfldLOGICAL,
  AdsfldNUMERIC,
  AdsfldDATE,
  AdsfldSTRING,
  AdsfldMEMO,
  AdsfldBINARY,
  AdsfldIMAGE,
  AdsfldVARCHAR,
  AdsfldCOMPACTDATE,
  AdsfldDOUBLE,
  AdsfldINTEGER,
  AdsfldSHORTINT,
  AdsfldTIME,
  AdsfldTIMESTAMP,
  AdsfldAUTOINC,
  AdsfldRAW,
  AdsfldCURDOUBLE,
  AdsfldMONEY,
  AdsfldRESERVED1,
  AdsfldCISTRING,
  AdsfldROWVERSION,
  AdsfldMODTIME,
  AdsfldVARCHAR_FOX,
  AdsfldVARBINARY_FOX,
  AdsfldSYSTEM,
  AdsfldNCHAR,
  AdsfldNVARCHAR,
  AdsfldNMEMO
};

// The engine's description of one field of an open cursor.
class TACEFieldDef : public TCollectionItem {
  VCL_DECLARE_CLASS(TACEFieldDef, TCollectionItem)
 public:
  explicit TACEFieldDef(TCollection* Collection) : TCollectionItem(Collection) {}

  const std::string& FieldName() const { return FName; }
  void SetFieldName(const std::string& Value) { FName = Value; }
  // The engine's field number, from 1.
  uint16_t FieldNumber() const { return FNumber; }
  void SetFieldNumber(uint16_t Value) { FNumber = Value; }
  // Position in the engine's record image.
  uint32_t Offset() const { return FOffset; }
  void SetOffset(uint32_t Value) { FOffset = Value; }
  // Bytes in the record image (national character types: twice the characters).
  uint32_t Length() const { return FLength; }
  void SetLength(uint32_t Value) { FLength = Value; }
  // The engine field type code (1-28, 51, 52).
  uint16_t FieldType() const { return FType; }
  void SetFieldType(uint16_t Value) { FType = Value; }
  // Decimal places of a numeric field, 0 for every other type.
  uint16_t Decimals() const { return FDecimals; }
  void SetDecimals(uint16_t Value) { FDecimals = Value; }
  // Written since the record was read.
  bool Modified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }
  // The user's column rights: 2 update allowed, 4 insert allowed.
  uint8_t Permissions() const { return FPermissions; }
  void SetPermissions(uint8_t Value) { FPermissions = Value; }
  bool Nullable() const { return FNullable; }
  void SetNullable(bool Value) { FNullable = Value; }

 private:
  std::string FName;
  uint16_t FNumber = 0;
  uint32_t FOffset = 0;
  uint32_t FLength = 0;
  uint16_t FType = 0;
  uint16_t FDecimals = 0;
  bool FModified = false;
  uint8_t FPermissions = 0;
  bool FNullable = false;
};

// The engine field descriptions of an open cursor, in engine order (position = field number - 1).
class TACEFieldDefs : public TCollection {
  VCL_DECLARE_CLASS(TACEFieldDefs, TCollection)
 public:
  // Owner may be nullptr (the dataset's own collection has none).
  explicit TACEFieldDefs(TPersistent* Owner);
  TPersistent* GetOwner() override { return FOwner; }
  TACEFieldDef* Add();
  // EListError for a position out of range.
  TACEFieldDef* Items(int Index) const;
  TACEFieldDef* operator[](int Index) const { return Items(Index); }
  // Position of the first item named FieldName (without regard to case), -1 when none.
  int IndexOf(const std::string& FieldName) const;

 private:
  TPersistent* FOwner;
};

// ---- Field classes of the datasets ------------------------------------------------------------

// ftString fields of the datasets; CaseInsensitive is set at open for engine type 20.
class TAdsStringField : public TStringField {
  VCL_DECLARE_CLASS(TAdsStringField, TStringField)
 public:
  explicit TAdsStringField(TComponent* AOwner);
  bool CaseInsensitive() const { return FCaseInsensitive; }

 private:
  friend class TAdsDataSet;
  bool FCaseInsensitive = false;
};

// ftBCD fields of the datasets: Currency True unless the owner is being read from a stream.
class TAdsBCDField : public TBCDField {
  VCL_DECLARE_CLASS(TAdsBCDField, TBCDField)
 public:
  explicit TAdsBCDField(TComponent* AOwner);
};

// ---- Index files, key buffers and blob caches of a dataset ------------------------------------

// The additional index files of a dataset: a sorted list of file names without duplicates,
// owned by its dataset.
class TAdsIndexFiles : public TStringList {
  VCL_DECLARE_CLASS(TAdsIndexFiles, TStringList)
 public:
  // A component error (without dataset) when poOwner is nullptr.
  explicit TAdsIndexFiles(TAdsDataSet* poOwner);
  TAdsDataSet* OwnerDataSet() const { return mpoOwner; }

  // On an active owner the file is opened first (nothing is added when that raises); the
  // owner's IndexDefs are marked out of date. A duplicate is ignored (its position returned).
  int Add(const std::string& strValue) override;
  // Refused by the sorted list; only a successful insertion would open the file as Add does.
  void Insert(int Index, const std::string& S) override;
  // On an active owner the file of the entry is closed first; IndexDefs are marked out of date.
  void Delete(int Index) override;
  // On an active owner every entry's file is closed, in list order; then the list is emptied.
  void Clear() override;

 private:
  TAdsDataSet* mpoOwner;
};

// A key buffer: a header, then a record image of the table's record length, then one 16-bit
// key length per table field (0xFFFF: no value written).
struct TAdsKeyBuffer {
  bool Modified;
  bool Exclusive;
  int32_t FieldCount;
  uint32_t BufferSize;
  std::byte* RecordImage() { return reinterpret_cast<std::byte*>(this + 1); }
};
using PAdsKeyBuffer = TAdsKeyBuffer*;
constexpr int kKeyBufferCount = 6;

// The cache of one blob field in one record buffer; owned by that buffer. Its memory holds the
// blob's bytes (UTF-16 for engine type 28) for one (cursor, record number, field number); the
// engine is read on demand (RefreshCache) and written at the post (Flush). One thread at a time.
class TAdsBlobCache : public TMemoryStream {
  VCL_DECLARE_CLASS(TAdsBlobCache, TMemoryStream)
 public:
  TAdsBlobCache() = default;
  // Forgets the content and what it belonged to (ClearCache).
  void Empty();
  void ClearCache() { Empty(); }

  // Makes the content that of field ulFieldNo of record ulRecNo of cursor hAdsTable. A cache
  // that already belongs to them only rewinds, unless bForceReread. Record number 0 (a record
  // not yet on the engine) is empty. The engine answers 5068 and 5022 leave the content empty or
  // partly read without an error; other engine failures raise EADSDatabaseError (no dataset).
  // The engine cursor may be moved to the record.
  void RefreshCache(int32_t hAdsTable, uint32_t ulFieldNo, uint32_t ulRecNo, bool bForceReread);
  // The memory stream's write; marks the content modified (also for Count 0).
  int64_t Write(const void* Buffer, int64_t Count) override;
  // Empties the content and marks it modified.
  void Truncate();
  // Hands a modified content to the engine's copy of the record (AdsSetField / AdsSetFieldW for
  // type 28); not modified afterwards. Engine failures raise and keep the mark.
  void Flush();
  bool IsCacheModified() const { return mbBlobModified; }

  int32_t mhAdsTable = -1;
  uint32_t mulRecNum = 0;
  bool mbBlobModified = false;
  uint32_t mulFieldNo = 0;
  // Whether the last RefreshCache moved the engine cursor to another record.
  bool mbMovedCursor = false;
  // The engine type of the field (a field's type does not change while its cursor is open), so
  // that reading the field record after record asks for it once. Engine failures raise, for
  // oDataSet when given.
  uint16_t FieldType(int32_t hAdsTable, uint32_t ulFieldNo, IAdsDataSetErrorInfo* oDataSet = nullptr);

 private:
  int32_t mhTypeTable = -1;
  uint32_t mulTypeField = 0;
  uint16_t musFieldType = 0;
};

// A stream over the blob cache of one blob field in the active record buffer of its dataset
// (TAdsDataSet::CreateBlobStream makes it; the caller owns it). It never owns the cache nor the
// field; it must not outlive the record buffers (the dataset staying open on the same record).
// Without a cache (no active record) it reads nothing, has size 0 and refuses writes.
class TAdsBlobStream : public TStream {
  VCL_DECLARE_CLASS(TAdsBlobStream, TStream)
 public:
  // Attaches to Field's cache in the active buffer and loads it (see CreateBlobStream).
  TAdsBlobStream(TBlobField* Field, TBlobStreamMode Mode);
  // The same for a field of DataSet, which CreateBlobStream knows without a cast.
  TAdsBlobStream(TAdsDataSet* DataSet, TBlobField* Field, TBlobStreamMode Mode);
  // A stream that wrote or truncated marks the field modified and sends the dataset's
  // field-change notification (a failure of a handler there is not passed on: a destructor
  // cannot raise).
  ~TAdsBlobStream() override;
  int64_t Read(void* Buffer, int64_t Count) override;
  // "Error modifying read only blob." in bmRead, "Cannot write to blob in current state."
  // without a cache (component errors without a dataset).
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override;
  // Empties the content; refused as Write is.
  void Truncate();

 private:
  void CheckWritable() const;

  TBlobField* moField;
  TBlobStreamMode moMode;
  TAdsBlobCache* moAdsBlobCach = nullptr;
  bool mbModified = false;
};

// ---- The dataset base -------------------------------------------------------------------------

enum TAdsIndexTypes : uint8_t { ndxNone, ndxIndexName, ndxIndexField, ndxDefault };
enum TAdsSequencedLevel : uint8_t { slStandard, slExact };

#include "ui/db/Provider.h"

// What CreateTable makes of a table on a dictionary connection.
enum TAdsCreateTableOption { ctFreeTable, ctDictionaryTable };
using TAdsCreateTableOptions = TSet<TAdsCreateTableOption>;
// The modes of BatchMove (which the datasets do not support).
enum TBatchMode { batAppend, batUpdate, batAppendUpdate, batDelete, batCopy };

// The common base of the table and the query. It fills the framework's hooks with engine work:
// opening (on an adopted ActiveHandle or on the cursor of the descendant's OpenEngineCursor),
// closing, field definitions, record buffers, navigation, bookmarks and field values. It also
// knows the database it works on (DatabaseName, an AdsConnection or an alias).
//
// A dataset owns its cursor (mlHandle) and closes it when it closes; it refers to its
// connection without owning it and is in that connection's attached list while bound. It
// registers itself in DataSetRegistry for its lifetime. Descendants close the dataset in their
// own destructor (the framework's hooks are theirs until then). One thread at a time.
//
// Record buffer layout (offsets computed at open and whenever the bookmark length changes):
//   0                 record image, musRecordSize bytes, as AdsGetRecord gives it
//   musRecordSize     calculated-field area, CalcFieldsSize bytes
//   musBlobCacheOfs   one TAdsBlobCache* per blob field (pointer-sized slots)
//   musRecInfoOfs     record information, 8 bytes: record number (int32) at +0, bookmark
//                     flag at +5
//   musBookmarkOfs    the engine bookmark, BookmarkSize bytes
class TAdsDataSet : public TDataSet, public IAdsDataSetErrorInfo, public IProviderSupport {
  VCL_DECLARE_CLASS(TAdsDataSet, TDataSet)
 public:
  explicit TAdsDataSet(TComponent* AOwner);
  ~TAdsDataSet() override;

  // ---- the database
  // DatabaseName: a connection component's name (also "Owner.Name"), an alias or a path.
  // Refused on an open dataset. A connection of the calling thread and of the same owner is
  // preferred (four passes over ConnectionRegistry, under its lock).
  const std::string& DatabaseName() const { return mstrDatabaseName; }
  virtual void SetDatabaseName(const std::string& Value);
  // The connection component the dataset is bound to (not owned); refused on an open dataset.
  TAdsConnection* AdsConnection() const { return mpoAdsConnection; }
  void SetAdsConnection(TAdsConnection* Value);
  // The table type. The base stores it; the table adds its own checks.
  TAdsTableTypes TableType() const { return meTableType; }
  virtual void SetTableType(TAdsTableTypes Value) { meTableType = Value; }
  const std::string& TableName() const { return mstrTableName; }
  // The path for an alias, empty when DatabaseName is not an alias.
  const std::string& AliasPath() const { return mstrAliasPath; }

  // The database path: the alias path, the connection's path, or DatabaseName as written,
  // without one trailing separator. May look the alias file up and adjust TableType.
  std::string GetDatabasePath();
  std::string GetNativeDatabasePath() { return GetDatabasePath(); }
  // The engine connection for the dataset: its connection component's (connected first when
  // needed; its errors are passed on) or the shared implicit connection of the database path.
  // 0 or -1 mean none.
  ADSHANDLE ConnectAndGetHandle();
  // Appends the names of the database's tables to List (nothing for an empty database path).
  void GetFiles(TStrings* List);

  // ---- engine handles; -1 means none
  int32_t Handle() const { return mlHandle; }
  // The active order. A handle written while closed is adopted by the next open (and closed
  // by the close after it, like any cursor of the dataset).
  int32_t ActiveHandle() const { return mlActiveHandle; }
  void SetActiveHandle(int32_t Value) { mlActiveHandle = Value; }
  int32_t GetAceTableHandle() const { return mlHandle; }
  int32_t GetAceOrderHandle() const { return mlActiveHandle; }
  int32_t GetAceIndexHandle() const { return mlActiveHandle == mlHandle ? -1 : mlActiveHandle; }
  // The connection of the open cursor, 0 when it has none (or the dataset is closed).
  ADSHANDLE GetAceConnectionHandle();
  // Forgets every engine handle without closing it (its connection has closed them).
  virtual void InvalidateAceHandles();

  // ---- the engine cursor and the active record (adsdata_active.cpp)
  // Puts the engine cursor on the record of the active buffer and answers the engine bookmark
  // it was on before (0 when it was on none). The framework's error when closed; nothing (0)
  // while calculated fields are computed; an empty table is no error.
  UNSIGNED32 AdsActiveRecord();
  // Packs the table and re-reads the dataset; nothing on a closed dataset.
  void PackTable();

  // ---- the cursor hook and what descendants supply
  // Opens a new engine cursor for this dataset and answers its handle. It sets
  // musAceTableType (AdsGetTableType), a table's version runs TakeOverCharType on the new
  // handle, and it leaves nothing open when it fails. The core calls it to open and whenever
  // it needs a cursor while closed (then it closes that cursor again itself).
  virtual int32_t OpenEngineCursor() = 0;
  // The engine's last autoincrement value of the cursor (ERangeError above 2147483647).
  virtual int32_t GetLastAutoincVal() = 0;
  int32_t LastAutoincVal() { return GetLastAutoincVal(); }
  // The character-type take-over of a new cursor h: musOpenCharType from the engine, and
  // AdsCharType of the options follows it when the cursor has no collation.
  void TakeOverCharType(int32_t h);
  // The collation name for engine calls: the options' AdsCollation, else the connection's,
  // else the name of the options' AdsCharType.
  std::string GetEffectiveCollation();

  // ---- properties of the core
  TAdsTableOptions* AdsTableOptions() const { return mpoAdsTableOptions.get(); }
  TACEFieldDefs* ACEFieldDefs() const { return FACEFieldDefs.get(); }
  TIndexDefs* IndexDefs() const { return mpoIndexDefs.get(); }
  TAdsIndexFiles* IndexFiles() const { return mpoIndexFiles.get(); }
  const std::string& IndexName() const { return mstrIndexName; }
  const std::string& IndexFieldNames() const { return mstrIndexFieldNames; }
  const std::string& DefaultIndex() const { return mstrDefaultIndex; }
  TMasterDataLink* MasterLink() const { return mpoMasterLink.get(); }
  bool Exclusive() const { return mbExclusive; }
  bool ReadOnly() const { return mbReadOnly; }
  bool StoreActive() const { return FbStoreActive; }
  void SetStoreActive(bool Value) { FbStoreActive = Value; }
  const std::string& InfoStructure() const { return mstrStruct; }
  void SetInfoStructure(const std::string& Value) { mstrStruct = Value; }
  // "10.0.0.3 (ACE m.nn[letter])"; writing has no effect.
  std::string Version();
  void SetVersion(const std::string&) {}
  uint16_t RecordSize() const { return musRecordSize; }
  uint32_t TableOptions() const { return mulTableOptions; }
  bool Sequenced() const { return mbIsSequenced; }
  void SetSequenced(bool Value) { mbIsSequenced = Value; }
  TAdsSequencedLevel SequencedLevel() const { return meSeqLevel; }
  void SetSequencedLevel(TAdsSequencedLevel Value) { meSeqLevel = Value; }
  bool IsSequenced() override { return mbIsSequenced; }

  // ---- indexes and index files (adsdata_indexes.cpp)
  // The order by index name ("ADS_DEFAULT" in any letter case: the dictionary's default index)
  // or by leading field names ("A;B", blanks around trimmed). Each empties the other. On an
  // open cursor the order changes at once; when that fails the previous choice is restored.
  void SetIndexName(const std::string& Value);
  void SetIndexFieldNames(const std::string& Value);
  // Opens / closes an index file on the active dataset ("Table must be Active." otherwise). A
  // name without a directory lies in the database folder. Closing the file of the current
  // order returns to natural order; a file that is not open is ignored.
  void OpenIndexFile(const std::string& strIndexName);
  void CloseIndexFile(const std::string& strIndexName);
  // Creates an index on the fields ("A;B") or expression; it does not become the order. A
  // closed dataset works through a temporary cursor that is closed again in every case.
  void AddIndex(const std::string& strName, const std::string& strFields,
                TIndexOptions poOptions);
  void AddIndexEx(const std::string& strFileName, const std::string& strIndexName,
                  const std::string& strFields, TIndexOptions poOptions);
  // Needs an active, exclusively opened dataset; the current order cannot be deleted.
  void DeleteIndex(const std::string& strName);
  // The names of the open indexes (poList emptied first; "ADS_DEFAULT" last on a dictionary
  // connection with a default index) / of the full-text indexes (appended).
  void GetIndexNames(TStrings* poList);
  void GetFTSIndexNames(TStrings* poList);
  // Learns the dictionary's default index of the table (dictionary connections only).
  void UpdateDefaultIndex();
  // Key length / segment count of the current index; 0 in natural order.
  uint16_t KeySize();
  uint16_t IndexFieldCount();
  // Reads the index definitions from the engine (TIndexDefs::Update calls it).
  void UpdateIndexDefs() override;

  // ---- keys, ranges, scopes and master-detail (adsdata_keys.cpp)
  // Key editing of the lookup key: cleared / keeping its values. Needs an active index.
  void SetKey();
  void EditKey();
  // Exact seek of the lookup key; not found leaves the dataset where it was (or at its end).
  bool GotoKey();
  // Nearest seek of the lookup key (string segments as partial keys of the given length).
  void GotoNearest();
  bool FindKey(const std::vector<Variant>& KeyValues);
  void FindNearest(const std::vector<Variant>& KeyValues);
  // Of the key buffer being edited; "Dataset not in edit mode" outside key editing.
  bool KeyExclusive();
  void SetKeyExclusive(bool Value);
  int16_t KeyFieldCount();
  void SetKeyFieldCount(int16_t Value);
  void SetRangeStart();
  void SetRangeEnd();
  void EditRangeStart();
  void EditRangeEnd();
  void SetRange(const std::vector<Variant>& StartValues, const std::vector<Variant>& EndValues);
  // Applies the prepared range (to the first record when it changed) / removes it; the
  // prepared values stay, so ApplyRange after CancelRange applies the same range again.
  void ApplyRange();
  void CancelRange();
  // Scopes: text bounds of the current index, applied while Scoped (not together with a range).
  bool Scoped() const { return mbScoped; }
  void SetScoped(bool Value);
  const std::string& ScopeBegin() const { return mstrScopeStart; }
  void SetScopeBegin(const std::string& Value);
  const std::string& ScopeStart() const { return mstrScopeStart; }
  void SetScopeStart(const std::string& Value) { SetScopeBegin(Value); }
  const std::string& ScopeEnd() const { return mstrScopeEnd; }
  void SetScopeEnd(const std::string& Value);
  // Master-detail: the detail's range follows the master's current values of MasterFields,
  // matched to the segments of the current index in order.
  TDataSource* MasterSource() const { return mpoMasterLink->DataSource(); }
  void SetMasterSource(TDataSource* Value);
  const std::string& MasterFields() const { return mstrMasterField; }
  void SetMasterFields(const std::string& Value);
  // Goes to the record poTable is on; both must be the same table of the same database.
  void GotoCurrent(TAdsDataSet* poTable);

  // ---- filters (adsdata_filter.cpp) and record searches (adsdata_locate.cpp)
  // Filtered switches the engine filter of Filter (and OnFilterRecord) on or off on an open
  // cursor and goes to the first record of an active dataset. An expression the engine refuses
  // raises, and Filtered keeps the new value.
  void SetFiltered(bool Value) override;
  // Hands Filter to the engine (an optimized or a plain filter as AdsOptimizedFilters says),
  // or clears the engine filter when Filter is empty / removes it (none set is no error).
  virtual void ApplyEngineFilter();
  virtual void ClearEngineFilter();
  // The filter text as the engine gets it: the last "*" of a quoted literal (unless the literal
  // is all asterisks) is taken out and bExact turned False; CONTAINS(...) is left as it is.
  // ADT tables have their field names rewritten to short and back to long names on the way.
  std::string PrepareFilterText(const std::string& strFilter, bool& bExact);
  // The expression "(F1=v1) AND (F2=v2) ..." of the values of Fields in the filter buffer (the
  // dataset must be in dsFilter: "Internal Error, << BuildFilterString >>" otherwise); null
  // values give "(empty(F))", character types compare UPPER() with bCaseInsensitive.
  void BuildFilterString(const std::vector<TField*>& Fields, bool bCaseInsensitive,
                         std::string& strExpr);
  // Moves to the first record whose KeyFields equal KeyValues, through an index seek when an
  // index on those fields can be used, else through a temporary engine filter. Not found: the
  // dataset stays where it was. The engine's exact setting and filters are restored.
  bool Locate(const std::string& KeyFields, const Variant& KeyValues,
              TLocateOptions Options) override;
  // The values of ResultFields (an array for several) of the first record Locate would find,
  // null when there is none or KeyValues is null; the window does not move.
  Variant Lookup(const std::string& KeyFields, const Variant& KeyValues,
                 const std::string& ResultFields) override;
  // Puts the engine cursor on the first record from the top (active order) for which strFilter
  // is true; the window is not touched.
  bool LocateLocally(const std::string& strFilter);

 protected:
  // The framework's Filter setter; on an active filtered dataset the new text goes to the engine.
  void SetFilterText(const std::string& Value) override;
  // FindFirst .. FindPrior: the next record in the direction that Filter (used for this search
  // only when Filtered is False) and OnFilterRecord accept.
  bool FindRecord(bool Restart, bool GoForward) override;
  // From the engine cursor's record on, in the active order (forward or backward), the first
  // record OnFilterRecord accepts; the cursor stays on it ("Expected OnFilterRecord event."
  // without a handler).
  bool ScanAccepted(bool bForward);
  // The search of Locate and Lookup: the engine cursor on the found record, or back where it was.
  bool LocateRecord(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options);
  // The index whose leading segments the Fields cover (-1: none): its segment field names and
  // the number of segments covered.
  int32_t ChooseLocateIndex(const std::vector<TField*>& Fields, std::vector<std::string>& Segments,
                            size_t& Covered);
  // Whether an index has a scope, a condition, is unique (not asked on ADT) or is custom.
  bool IndexIsRestricted(ADSHANDLE hIndex);
  // The raw-key seek of Locate in hIndex; bSought False when the covered part of the key cannot
  // be told apart (a segment of unknown width before its end): then nothing was sought.
  bool SeekLocateKey(ADSHANDLE hIndex, const std::vector<TField*>& Fields,
                     const std::vector<std::string>& Segments, size_t Covered,
                     TLocateOptions Options, bool& bSought);
  // The search of Locate through a temporary engine filter of the values.
  bool FilterLocate(const std::vector<TField*>& Fields, TLocateOptions Options);

 public:
  // ---- table-level operations
  // Locks / unlocks the whole table; nothing on a closed or exclusively opened dataset.
  void LockTable();
  void UnlockTable();
  // Deletes the table's files; the dataset must be closed.
  void DeleteTable();
  // Removes every record (on a closed dataset through a temporary cursor).
  void EmptyTable();
  // Asks the engine to write its buffers of the table; the answer is not looked at.
  void FlushBuffers();

  // ---- table creation, renaming, binary memo fields (adsdata_create.cpp)
  // Creates the closed dataset's table from FieldDefs (made from the persistent fields when
  // there are any) and its indexes from IndexDefs. A field type the table type cannot take is
  // refused before anything is created; a failure while creating an index or recording a
  // dictionary primary key leaves the table with the indexes made so far.
  void CreateTable() { InternalCreateTable(TAdsCreateTableOptions{}); }
  void CreateTable(TAdsCreateTableOptions eOptions) { InternalCreateTable(eOptions); }
  virtual void InternalCreateTable(TAdsCreateTableOptions eOptions);
  // Renames the dictionary table TableName (a dictionary connection only, the dataset closed)
  // and then takes the new name.
  void RenameTable(const std::string& NewTableName);
  // Marks a memo or blob field of the open dataset to be read and written as binary.
  void ADSSetFieldToBinary(const std::string& strFieldName);
  int32_t AdsBinaryFldLen() const { return mlBinaryFldLen; }
  void SetAdsBinaryFldLen(int32_t Value) { mlBinaryFldLen = Value; }
  // Stores the name while the dataset is closed (the table adds its own steps).
  virtual void SetTableName(const std::string& Value);
  // The table's name for the engine: TableName on a dictionary connection, else the database
  // path, "\" and TableName.
  std::string EngineTableFileName();

  // ---- provider support and unsupported operations (adsdata_provider.cpp)
  std::string PSGetQuoteChar() override { return "\""; }
  bool PSIsSQLBased() override { return true; }
  bool PSIsSQLSupported() override { return true; }
  // Transactions are the bound connection's; without one there is none.
  bool PSInTransaction() override;
  void PSStartTransaction() override;
  void PSEndTransaction(bool Commit) override;
  // Puts the cursor before the first record again.
  void PSReset() override;
  // Offers the update to OnUpdateRecord; True when the handler applied it.
  bool PSUpdateRecord(TUpdateKind UpdateKind, TDataSet* Delta) override;
  // Runs the statement through the bound connection (required) with the dataset's statement
  // options; a result set is a new TAdsQuery on the statement's cursor.
  int32_t PSExecuteStatement(const std::string& ASQL, TParams* AParams,
                             std::unique_ptr<TDataSet>* ResultSet = nullptr) override;
  TUpdateRecordEvent OnUpdateRecord;
  const TUpdateRecordEvent& GetOnUpdateRecord() const { return OnUpdateRecord; }
  void SetOnUpdateRecord(const TUpdateRecordEvent& Value) { OnUpdateRecord = Value; }
  // Operations of other dataset families that these datasets do not support: each raises
  // "The method <name> in TAdsDataSet is not supported.".
  [[noreturn]] int32_t TableLevel();
  [[noreturn]] void SetTableLevel(int32_t Value);
  [[noreturn]] TComponent* Database();
  [[noreturn]] void* DBHandle();
  [[noreturn]] void* DBLocale();
  [[noreturn]] TComponent* DBSession();
  [[noreturn]] IProviderSupport* Provider();
  [[noreturn]] std::string SessionName();
  [[noreturn]] void SetSessionName(const std::string& Value);
  [[noreturn]] bool CacheBlobs();
  [[noreturn]] void SetCacheBlobs(bool Value);
  [[noreturn]] bool CachedUpdates();
  [[noreturn]] void SetCachedUpdates(bool Value);
  [[noreturn]] bool ExpIndex();
  [[noreturn]] void* Locale();
  [[noreturn]] TComponent* UpdateObject();
  [[noreturn]] void SetUpdateObject(TComponent* Value);
  [[noreturn]] bool UpdatesPending();
  [[noreturn]] TUpdateRecordTypes UpdateRecordTypes();
  [[noreturn]] void SetUpdateRecordTypes(TUpdateRecordTypes Value);
  [[noreturn]] virtual int32_t BatchMove(TDataSet* ASource, TBatchMode AMode);
  [[noreturn]] bool CheckOpen(uint16_t Status);
  [[noreturn]] void ApplyUpdates();
  [[noreturn]] void CancelUpdates();
  [[noreturn]] void CommitUpdates();
  [[noreturn]] bool ConstraintsDisabled();
  [[noreturn]] void DisableConstraints();
  [[noreturn]] void EnableConstraints();
  [[noreturn]] void FetchAll();
  [[noreturn]] void GetIndexInfo();
  [[noreturn]] void RevertRecord();
  [[noreturn]] TUpdateStatus UpdateStatus() override;

  // ---- bookmarks and the current record
  bool BookmarkValid(const TBookmark& Value) override;
  int CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) override;
  bool GetCurrentRecord(TRecordBuffer Buffer) override;

  // ---- framework hooks
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  int GetRecordSize() override { return musRecordSize; }
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  bool IsCursorOpen() override { return mlHandle != -1; }
  bool GetFieldData(TField* Field, void* Buffer) override;
  // The field-write hook (adsdata_write.cpp): state, key, read-only, validation and permission
  // checks, then the value (nullptr: null) into the buffer of the current state. A refused write
  // leaves the buffer unchanged.
  void SetFieldData(TField* Field, const void* Buffer) override;
  // In dsSetKey without index segments every field; else whether a segment of the active index
  // is the field.
  bool GetIsIndexField(TField* Field) override;
  // A new TAdsBlobStream on Field (a TBlobField, else EInvalidCast), owned by the caller. Write
  // modes need dsEdit or dsInsert ("Table must be in Edit or Insert state to open blob stream in
  // Write Mode."); a field of a non-blob engine type is refused ("Invalid blob open on non-blob
  // field.").
  std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
  // The framework's post / cancel; in key editing they end it, Post keeping the edited key and
  // Cancel restoring the key saved when key editing began.
  void Post() override;
  void Cancel() override;
  bool GetCanModify() override { return mbCanModify && !mbReadOnly; }
  int GetRecordCount() override;
  int GetRecNo() override;
  void SetRecNoValue(int Value) override;
  TClass GetFieldClass(TFieldType FieldType) override;
  TDataSource* GetDataSource() override;
  void DataEvent(TDataEvent Event, intptr_t Info) override;

  // What an error collects of this dataset.
  std::string ErrorInstanceName() const override { return Name(); }
  std::string ErrorInstanceOwner() const override { return Owner() ? Owner()->Name() : ""; }
  std::string ErrorDatabaseName() const override { return mstrDatabaseName; }
  std::string ErrorDatabasePath() override { return GetDatabasePath(); }
  std::string ErrorTableName() const override { return mstrTableName; }

 protected:
  // ---- framework hooks
  void InternalOpen() override;
  void InternalClose() override;
  void InternalInitFieldDefs() override;
  void InternalHandleException() override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalGotoBookmark(const uint8_t* Bookmark) override;
  void InternalSetToRecord(TRecordBuffer Buffer) override;
  void InternalRefresh() override;
  // A blank engine record with the fields' default expressions, blob caches emptied.
  void InternalInitRecord(TRecordBuffer Buffer) override;
  void ClearCalcFields(TRecordBuffer Buffer) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override;
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
  void GetBookmarkData(TRecordBuffer Buffer, uint8_t* Data) override;
  void SetBookmarkData(TRecordBuffer Buffer, const uint8_t* Data) override;
  // ---- editing and posting (adsdata_edit.cpp)
  // A new record: record number 0, the old-record copy released.
  void InternalInsert() override;
  // Checks the update right, locks the record (pessimistic, not exclusive), re-reads it, takes
  // the checksum (optimistic) and the old-record copy; no field is modified afterwards.
  void InternalEdit() override;
  // Appends (once per new record) or goes to the edited record, checks the checksum
  // (optimistic), writes the modified fields from the highest down and the modified blob
  // caches, writes the record and unlocks it. On failure the dataset stays editing, an
  // appended record stays appended and an optimistic lock is released.
  void InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  // Only for the active buffer ("Unexpected error in InternalAddRecord."); posts it.
  void InternalAddRecord(TRecordBuffer Buffer, bool Append) override;
  // Checks the insert right, notes the cursor's ends, fills the master fields, fires OnNewRecord.
  void DoOnNewRecord() override;

  // The record number of the current engine record (the query chooses its order itself).
  virtual int32_t CurrentEngineRecNo();

  // ---- indexes and keys: internal steps (adsdata_indexes.cpp, adsdata_keys.cpp)
  // Makes the engine order the one the properties choose and rebuilds the record buffers for
  // its bookmark length (a failure there closes the dataset).
  void ActivateIndex();
  // The handle of the index whose leading fields are strFields; -1 when none.
  int32_t IndexForFields(const std::string& strFields);
  // The ";"-separated field list of the current index; empty when none.
  std::string CurrentIndexFieldList();
  // Scope of the current index from ScopeBegin / ScopeEnd, and its removal.
  virtual void ApplyEngineScope();
  virtual void ClearEngineScope();
  void InitKeyBuffer(PAdsKeyBuffer Buffer);
  void BeginKeyEdit(int Position, bool Clear);
  void AssignKeyValues(int Position, const std::vector<Variant>& Values);
  // Builds the key of key buffer Position into Key (4084 bytes); answers its length.
  UNSIGNED16 BuildSearchKey(int Position, bool Partial, UNSIGNED8* Key, UNSIGNED16 StartLength);
  // True when the range on the engine changed.
  bool ApplyEngineRange();
  bool ClearEngineRange();
  // The exact seek of GotoKey that only accepts a record OnFilterRecord accepts.
  bool SeekAccepted(const UNSIGNED8* Key, UNSIGNED16 Length);
  void MasterChanged();
  void MasterDisabled();
  // Re-initialises the key being edited (ClearFields in key editing).
  void InternalClearKeyFields() override;
  // A detail opened after its master starts on the master's current record.
  void DoAfterOpen() override;

  // ---- helpers for the descendants and the later parts of this class
  // True when the dataset goes by its connection component (see GetDatabasePath).
  bool GoesByConnection() const;
  // TableType follows a connection's alias type (unspecified changes nothing).
  void FollowConnectionTableType(TAdsConnectionTableTypes eType);
  // The buffer the current state reads and writes fields in; nullptr when there is none.
  TRecordBuffer GetActiveRecBuf();
  // Computes musBlobCacheOfs .. musRecBufSize from the record size, the calculated fields,
  // the blob fields and the bookmark length of the active order.
  void ComputeRecordLayout();
  // The record number / bookmark flag byte in a buffer's record information, and the blob
  // cache slots (the areas need not be aligned: they are copied, never referenced).
  int32_t GetRecInfoRecNo(TRecordBuffer Buffer) const;
  void SetRecInfoRecNo(TRecordBuffer Buffer, int32_t Value);
  uint8_t& RecInfoFlag(TRecordBuffer Buffer) const;
  TAdsBlobCache* GetBlobCache(TRecordBuffer Buffer, int BlobIndex) const;
  void SetBlobCache(TRecordBuffer Buffer, int BlobIndex, TAdsBlobCache* Cache);
  // Reads the engine's current record into Buffer (image, bookmark, blob presence flags, OEM
  // characters converted).
  void ReadRecordInto(TRecordBuffer Buffer);
  // Offers Buffer to OnFilterRecord; answers Accept.
  bool OfferToFilterRecord(TRecordBuffer Buffer);
  // Reads all field definitions from handle h into FieldDefs and ACEFieldDefs.
  void ReadFieldDefs(int32_t h);
  void ReadFieldDef(int32_t h, uint16_t n);
  // The engine cursor's handle for bookmark calls: the active order unless it is -1 or 0.
  int32_t BookmarkHandle() const;
  // Key buffers: allocated at open, freed at close.
  void AllocKeyBuffers();
  void FreeKeyBuffers();
  // Is field n (engine description d) null in the record image Image?
  bool FieldIsNull(const TACEFieldDef& d, std::byte* Image);
  // Converts the stored value of d in Image into Field's native form in Buffer.
  void ReadNativeValue(TField* Field, const TACEFieldDef& d, std::byte* Image, void* Buffer);
  // Writes Field's native value (nullptr: null) into Image.
  void WriteNativeValue(TField* Field, const TACEFieldDef& d, std::byte* Image, const void* Buffer);
  // The same for a native value of the given framework data type (defaults name their type).
  void WriteTypedValue(TFieldType DataType, const TACEFieldDef& d, std::byte* Image,
                       const void* Buffer);
  void WriteNullValue(const TACEFieldDef& d, std::byte* Image);
  // Segments of the active index (0 when none is active or the engine keeps no index orders)
  // and the field name of segment i ("Internal Error: GetSegmentFieldNum : No Active Index"
  // without an active index).
  uint16_t ActiveIndexSegmentCount();
  std::string ActiveIndexSegmentName(uint16_t i);
  // The engine record number a buffer stands for (its bookmark); 0 for a new record.
  uint32_t BufferRecNo(TRecordBuffer Buffer) const;
  void SetBufferRecNo(TRecordBuffer Buffer, uint32_t Value);
  // Steps of the post and of new records (adsdata_edit.cpp).
  void PostModifiedFields(TRecordBuffer Buffer);
  void PostModifiedBlobs(TRecordBuffer Buffer);
  void SetDefaultValue(TACEFieldDef& d, TField* Field, TRecordBuffer Buffer);
  void RaisePermissionError(const std::string& strText);
  // The engine description of a bound data field.
  TACEFieldDef* ACEFieldDefOf(TField* Field) const;

  // ---- fields, in the order of the dataset core's description
  std::unique_ptr<TACEFieldDefs> FACEFieldDefs;
  TRecordBuffer FOldRecordBuffer = nullptr;
  int32_t mlActiveHandle = -1;
  TAdsIndexTypes meActiveIndexType = ndxNone;
  uint16_t musBlobCacheOfs = 0;
  uint16_t musBookmarkOfs = 0;
  bool mbCanModify = false;
  std::string mstrDatabaseName;
  TRecordBuffer mpFilterBuffer = nullptr;
  int32_t mlHandle = -1;
  std::string mstrIndexFieldNames;
  std::unique_ptr<TIndexDefs> mpoIndexDefs;
  std::string mstrIndexName;
  std::string mstrDefaultIndex;
  PAdsKeyBuffer mapKeyBuffers[kKeyBufferCount] = {};
  PAdsKeyBuffer mpstKeyBuffer = nullptr;
  std::string mstrMasterField;
  std::unique_ptr<TMasterDataLink> mpoMasterLink;
  uint16_t musRecBufSize = 0;
  uint16_t musRecInfoOfs = 0;
  uint16_t musRecordSize = 0;
  uint32_t mulTableOptions = 0;
  bool mbScoped = false;
  std::string mstrAliasPath;
  std::string mstrScopeEnd;
  std::string mstrScopeStart;
  std::string mstrStruct;
  std::string strBinaryFieldName;
  int32_t mlBinaryFldLen = 0;
  bool mbIsSequenced = false;
  bool mbAppendEOF = false;
  bool mbAppendBOF = false;
  bool mbDisplayedPathNoExistsWarning = false;
  uint32_t mulSavedCRC = 0;
  uint16_t musOpenCharType = ADS_ANSI;
  std::unique_ptr<TAdsTableOptions> mpoAdsTableOptions;
  bool mbExclusive = false;
  bool mbReadOnly = false;
  std::string mstrTableName;
  TAdsTableTypes meTableType = ttAdsADT;
  uint16_t musOpenTableType = ADS_ADT;
  std::unique_ptr<TAdsIndexFiles> mpoIndexFiles;
  bool FbStoreActive = true;
  TAdsSequencedLevel meSeqLevel = slStandard;
  uint16_t musAceTableType = 0;
  TAdsConnection* mpoAdsConnection = nullptr;

 private:
  friend class TAdsConnection;
  friend class TAdsTableOptions;
  friend class TAdsBlobStream;
};
