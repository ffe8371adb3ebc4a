// adscnnct: the connection module of the component layer: the connection component, its
// registry, and the two errors of its own checks.
#pragma once

#include <string>

#include "ads/ace.h"
#include "ads/adsdata.h"
#include "ui/classes/SysUtils.h"

// The engine's last error text, for the connection component's operations that check an engine
// result themselves. The code it is created with is not kept; the flag has no effect.
class AdsError : public Exception {
 public:
  AdsError(int ulRetCode, bool bFlag = false);
  std::string ClassName() const override { return "AdsError"; }
};

// A misuse of the connection component, with a fixed message.
class AdsConnectionError : public Exception {
 public:
  explicit AdsConnectionError(const std::string& acMsg) : Exception(acMsg) {}
  std::string ClassName() const override { return "AdsConnectionError"; }
};

// ---- The connection component -----------------------------------------------------------------

#include <functional>
#include <memory>
#include <vector>

#include "ui/classes/Classes.h"

enum TAdsServerType { stADS_REMOTE, stADS_LOCAL, stADS_AIS };
using TAdsServerTypes = TSet<TAdsServerType>;

enum TAdsCompressionTypes {
  ccAdsCompressionNotSet,
  ccAdsCompressInternet,
  ccAdsCompressAlways,
  ccAdsCompressNever
};

enum TAdsCommunicationType { ctAdsDefault, ctAdsUDPIP, ctAdsIPX, ctAdsTCPIP };

class TParams;

// One statement of the connection's statement cache (Execute with Cache).
struct TStmtInfo {
  uint32_t HashCode = 0;
  ADSHANDLE StmtHandle = 0;  // 0 until prepared
  std::string SQLText;
};

// The statement options a dataset hands to TAdsConnection::Execute.
struct TAdsDatasetOptions {
  uint16_t musAdsLockType = 0;
  uint16_t musAdsCharType = 0;
  uint16_t musAdsRightsCheck = 0;
  uint16_t musAdsTableType = 0;
  std::string mstrCollation;
};

enum TAdsLinkOption { loGlobal, loAuthenticateActiveUser, loPathIsStatic };
using TAdsLinkOptions = TSet<TAdsLinkOption>;

class TAdsConnection;
// Asked for the credentials of a dictionary connection; may change both.
using TAdsDatabaseLoginEvent = std::function<void(TAdsConnection* AdsConnection,
                                                  std::string& Username, std::string& Password)>;

// One engine connection, found through an alias of the alias file or an explicit ConnectPath,
// shared by the datasets attached to it. It can also adopt a connection someone else opened
// (SetHandle). The component belongs to one thread at a time and records the thread that
// created it; it registers itself in ConnectionRegistry for its lifetime. It owns its engine
// handle unless the handle was given to it shared; it does not own its attached datasets and
// detaches them before it goes.
class TAdsConnection : public TComponent {
  VCL_DECLARE_CLASS(TAdsConnection, TComponent)
 public:
  explicit TAdsConnection(TComponent* AOwner);
  // Uses the given engine connection and never closes it (unless ClearHandle is called).
  static TAdsConnection* CreateWithHandle(TComponent* AOwner, ADSHANDLE Handle);
  // Opens a connection of its own to where the given handle leads, then takes the name.
  static TAdsConnection* CreateFromHandle(TComponent* AOwner, ADSHANDLE Handle,
                                          const std::string& strName);
  // Closes and detaches the attached datasets and disconnects (firing OnDisconnect only).
  // Nothing is raised out of the destructor: a dataset that fails to close and an engine that
  // fails to disconnect leave the component destroyed all the same.
  ~TAdsConnection() override;

  const std::string& AliasName() const { return FAliasName; }
  virtual void SetAliasName(const std::string& Value);
  bool IsConnected() const { return FConnected; }
  virtual void SetIsConnected(bool Value);
  virtual std::string ConnectPath() const { return FConnectString; }
  virtual void SetConnectPath(const std::string& Value);
  void Connect() { SetIsConnected(true); }
  void Disconnect() { SetIsConnected(false); }
  // The engine handle while connected, else 0; Handle() is the raw field.
  virtual ADSHANDLE ConnectionHandle() const { return FConnected ? FhConnection : 0; }
  ADSHANDLE Handle() const { return FhConnection; }
  uint32_t ConnectionThreadID() const { return FThreadID; }
  // "Local", "Remote", "Internet" or empty (also when not connected); AdsError when the
  // engine cannot tell.
  virtual std::string ConnectionType();
  virtual bool IsDictionaryConn() const { return FIsDictionaryConn; }
  bool ValidAlias() const { return FValidAlias; }

  TAdsServerTypes AdsServerTypes() const { return FAdsServerTypes; }
  void SetAdsServerTypes(TAdsServerTypes Value) { FAdsServerTypes = Value; }
  bool LoginPrompt() const { return FLoginPrompt; }
  void SetLoginPrompt(bool Value) { FLoginPrompt = Value; }
  const std::string& Username() const { return FUsername; }
  void SetUsername(const std::string& Value) { FUsername = Value; }
  const std::string& Password() const { return FPassword; }
  void SetPassword(const std::string& Value) { FPassword = Value; }
  bool MiddleTierConnection() const { return FMiddleTierConn; }
  void SetMiddleTierConnection(bool Value) { FMiddleTierConn = Value; }
  bool StoredProcedureConnection() const { return FStoredProcConn; }
  void SetStoredProcedureConnection(bool Value) { FStoredProcConn = Value; }
  bool StoreConnected() const { return FbStoreConnected; }
  void SetStoreConnected(bool Value) { FbStoreConnected = Value; }
  TAdsCompressionTypes Compression() const { return FAdsCompression; }
  void SetCompression(TAdsCompressionTypes Value) { FAdsCompression = Value; }
  TAdsCommunicationType CommunicationType() const { return FAdsCommunicationType; }
  void SetCommunicationType(TAdsCommunicationType Value) { FAdsCommunicationType = Value; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value) { FReadOnly = Value; }
  const std::string& AdsCollation() const { return FAdsCollation; }
  void SetAdsCollation(const std::string& Value) { FAdsCollation = Value; }

  // The attached datasets, in the order they attached.
  virtual void AddTableToConnectList(TAdsDataSet* Table);
  virtual void RemoveTableFromConnectList(TAdsDataSet* oCallee);
  virtual int DataSetCount() const { return static_cast<int>(FTablesList.size()); }
  // 0-based; EListError for an index out of range.
  virtual TAdsDataSet* AttachedDataSet(int Index) const;

  // The server path as datasets need it: a dictionary file name is cut to its folder.
  virtual std::string GetConnectionPath() const;
  // ConnectPath, or else the alias path, unchanged.
  virtual std::string GetConnectionWithDDPath() const;
  virtual TAdsConnectionTableTypes GetAdsTableType() const { return meAliasTableType; }

  // Adopts an engine connection and connects with it: shared (never closed by this component)
  // or as the model for a connection of its own.
  void SetHandle(ADSHANDLE hConnection, bool bShareHandle);
  // Forgets that the handle was shared, so that the next disconnect closes it.
  void ClearHandle() { FGivenConnection = 0; }

  // ---- Services (adscnnct_services.cpp) ----------------------------------------------------
  // Transactions and savepoints. Those that need a connection raise AdsConnectionError "No
  // connection to database server." before any engine call; failed engine calls raise AdsError.
  void BeginTransaction();
  void Commit();
  // Rolls back the whole transaction: cached statements closed, attached datasets cancelled
  // (CancelOnRollback) and, after the engine call, refreshed when open in browse state. A
  // non-empty savepoint name only makes the engine's rollback to that savepoint.
  void Rollback();
  void Rollback(const std::string& strSavepoint);
  void CreateSavepoint(const std::string& strSavepoint);
  bool TransactionActive();
  uint32_t TransactionCount();
  bool CancelOnRollback() const { return FCancelOnRollback; }
  void SetCancelOnRollback(bool Value) { FCancelOnRollback = Value; }

  // Runs SQL text (connecting first when needed) and answers the rows affected; with a Cursor
  // place the result cursor goes there (the statement is then read-only and the answer 0).
  // Cache keeps the prepared statement for the next call with the same text.
  uint32_t Execute(const std::string& strSQL, TParams* Params = nullptr, bool Cache = false,
                   ADSHANDLE* Cursor = nullptr);
  uint32_t Execute(const TAdsDatasetOptions& oAdsDatasetOptions, const std::string& strSQL,
                   TParams* Params = nullptr, bool Cache = false, ADSHANDLE* Cursor = nullptr);
  // Closes and forgets every cached statement (the cache list itself stays), and the uncached
  // statements whose result cursors Execute handed out.
  void CloseCachedStatements();
  int CachedStatementCount() const { return FStmtList ? static_cast<int>(FStmtList->size()) : 0; }

  // The application id: stored, and sent to the server while connected (and on each connect).
  void SetApplicationID(const std::string& Value);
  std::string GetApplicationID();

  std::string ServerName();
  bool IsConnectionAlive();
  TDateTime GetServerTime();
  void GetTableNames(TStrings* poList, const std::string& strFileMask);
  void GetTableAndLinkNames(TStrings* poLinkNames, TStrings* poTableNames,
                            const std::string& strFileMask);
  void GetProcedureNames(TStrings* poList);

  // Data dictionary links and version.
  uint16_t GetNumActiveDDLinks();
  void GetActiveDDLinkInfo(int iLinkNum, TStrings* poList);
  void CreateDDLink(const std::string& strLinkAlias, const std::string& strLinkedDDPath,
                    const std::string& strUserName, const std::string& strPassword,
                    TAdsLinkOptions Options);
  void DropDDLink(const std::string& strLinkedDD, bool bDropGlobal);
  uint16_t DDVersionMajor();
  uint16_t DDVersionMinor();

  uint32_t SQLTimeout() const { return FSQLTimeout; }
  void SetSQLTimeout(uint32_t Value);
  void CloseCachedTables();

  // The groups of the connected dictionary user ("a;b" and its pieces), loaded on first read
  // after a connect or disconnect.
  TStrings* UserGroups();
  std::string UserGroupsString();

  void SetName(const std::string& NewName) override;
  void Loaded() override;

  TNotifyEvent AfterCommit, BeforeCommit, AfterRollback, BeforeRollback;
  TNotifyEvent OnConnect, OnDisconnect;
  TAdsDatabaseLoginEvent OnLogin;
  TNotifyEvent AfterConnect, AfterDisconnect, BeforeConnect, BeforeDisconnect;

 protected:
  virtual void DoAfterCommit() { Fire(AfterCommit); }
  virtual void DoBeforeCommit() { Fire(BeforeCommit); }
  virtual void DoAfterRollback() { Fire(AfterRollback); }
  virtual void DoBeforeRollback() { Fire(BeforeRollback); }
  virtual void DoOnConnect() { Fire(OnConnect); }
  virtual void DoOnDisconnect() { Fire(OnDisconnect); }
  // Opens the engine connection on the path (8-bit text): credentials, server types and
  // options as the properties say; failures raise EADSDatabaseError.
  virtual void ConnectToServer(const std::string& strServerPath);

 private:
  void Fire(const TNotifyEvent& Event) {
    if (Event) Event(this);
  }
  void ConnectNow();
  void DisconnectNow();
  void ApplyAliasTypeToOwnedDataSets();
  void RebindDataSets(const std::string& strOldName);

  std::string FAliasName;
  bool FValidAlias = true;
  bool FConnected = false;
  std::string FConnectString;
  ADSHANDLE FhConnection = 0;
  std::vector<TAdsDataSet*> FTablesList;
  bool bConnectAfterLoad = false;
  std::string mstrAliasPath;
  TAdsConnectionTableTypes meAliasTableType = ttAdsConnectUnspecified;
  std::string mFormName;
  bool FIsDictionaryConn = false;
  bool FLoginPrompt = true;
  std::string FUsername, FPassword;
  TAdsServerTypes FAdsServerTypes;
  bool FMiddleTierConn = false, FStoredProcConn = false, FbStoreConnected = true;
  TAdsCompressionTypes FAdsCompression = ccAdsCompressionNotSet;
  TAdsCommunicationType FAdsCommunicationType = ctAdsDefault;
  bool FReadOnly = false;
  uint32_t FThreadID = 0;
  ADSHANDLE FGivenConnection = 0;
  std::string FAdsCollation;

  // Services (adscnnct_services.cpp).
  uint32_t ExecuteWith(const TAdsDatasetOptions* poOptions, const std::string& strSQL,
                       TParams* Params, bool Cache, ADSHANDLE* Cursor);
  TStmtInfo* FindCachedStatement(const std::string& strSQL);
  void SendApplicationID();
  void LoadUserGroups();
  void RequireConnection() const;
  // Called by connecting and disconnecting (adscnnct_connection.cpp).
  void ServicesAfterConnect(bool bOwnConnection);
  void ServicesBeforeDisconnect();
  std::unique_ptr<std::vector<TStmtInfo>> FStmtList;
  std::vector<ADSHANDLE> FCursorStatements;  // uncached statements whose result cursor lives
  std::unique_ptr<TStringList> FUserGroups;
  std::string FUserGroupsString;
  bool FReadUserGroups = false;
  bool FCancelOnRollback = true;
  uint32_t FSQLTimeout = 0;
  std::string FAppID;
};

// Every live TAdsConnection, in creation order. Created on first use and freed when the program
// ends. Taken after DataSetRegistry where both are held.
TAdsComponentRegistry<TAdsConnection>& ConnectionRegistry();
