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
  EADSDatabaseError(IAdsDataSetErrorInfo* oDataSet, UNSIGNED32 ulErrCode, const std::string& strMsg);
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

// ---- The dataset base -------------------------------------------------------------------------

// The common base of the table and the query: the database it works on (DatabaseName, an
// AdsConnection or an alias), its engine handles and what errors collect of it. Opening,
// closing, record buffers and fields are the descendants' and the later parts of this class.
//
// A dataset refers to its connection without owning it and is in that connection's attached
// list while bound. It registers itself in DataSetRegistry for its lifetime. Descendants that
// open a cursor must close it in their own destructor (the framework's hooks are theirs).
class TAdsDataSet : public TDataSet, public IAdsDataSetErrorInfo {
  VCL_DECLARE_CLASS(TAdsDataSet, TDataSet)
 public:
  explicit TAdsDataSet(TComponent* AOwner);
  ~TAdsDataSet() override;

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

  // Engine handles; -1 means none.
  int32_t Handle() const { return mlHandle; }
  int32_t ActiveHandle() const { return mlActiveHandle; }
  void SetActiveHandle(int32_t Value) { mlActiveHandle = Value; }
  int32_t GetAceTableHandle() const { return mlHandle; }
  int32_t GetAceOrderHandle() const { return mlActiveHandle; }
  int32_t GetAceIndexHandle() const { return mlActiveHandle == mlHandle ? -1 : mlActiveHandle; }
  // The connection of the open cursor, 0 when it has none (or the dataset is closed).
  ADSHANDLE GetAceConnectionHandle();
  // Forgets every engine handle without closing it (its connection has closed them).
  virtual void InvalidateAceHandles();

  // What an error collects of this dataset.
  std::string ErrorInstanceName() const override { return Name(); }
  std::string ErrorInstanceOwner() const override { return Owner() ? Owner()->Name() : ""; }
  std::string ErrorDatabaseName() const override { return mstrDatabaseName; }
  std::string ErrorDatabasePath() override { return GetDatabasePath(); }
  std::string ErrorTableName() const override { return mstrTableName; }

 protected:
  // True when the dataset goes by its connection component (see GetDatabasePath).
  bool GoesByConnection() const;
  // TableType follows a connection's alias type (unspecified changes nothing).
  void FollowConnectionTableType(TAdsConnectionTableTypes eType);

  int32_t mlActiveHandle = -1;
  std::string mstrDatabaseName;
  int32_t mlHandle = -1;
  std::string mstrAliasPath;
  bool mbDisplayedPathNoExistsWarning = false;
  std::string mstrTableName;
  TAdsTableTypes meTableType = ttAdsADT;
  uint16_t musOpenTableType = ADS_ADT;
  TAdsConnection* mpoAdsConnection = nullptr;

 private:
  friend class TAdsConnection;
};
