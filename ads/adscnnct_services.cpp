// The connection component's services on its engine connection: transactions and savepoints,
// SQL execution with the statement cache (its parameters bound by the query module's
// BindStatementParams), the application id, server facts, table and procedure listings,
// data-dictionary links and version, the SQL timeout, cached tables and the groups of the
// connected user. Connecting itself is adscnnct_connection.cpp, which calls
// ServicesAfterConnect and ServicesBeforeDisconnect.
#include <limits>

#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "ui/db/DBParams.h"
#include "ui/db/DateTime.h"

namespace {

constexpr const char* kNoConnection = "No connection to database server.";
constexpr UNSIGNED16 kFileNameLength = 260;
constexpr UNSIGNED16 kServerNameLength = 255;
constexpr UNSIGNED16 kDateBufferLength = 69;
constexpr UNSIGNED16 kProcedureNameLength = 200;
constexpr UNSIGNED16 kLinkInfoLength = 664;
constexpr UNSIGNED32 kApplicationIdLength = 301;
constexpr UNSIGNED16 kDictObjectProcedure = 10;
constexpr UNSIGNED16 kDictVersionMajor = 111;
constexpr UNSIGNED16 kDictVersionMinor = 112;
constexpr UNSIGNED16 kDictUserGroups = 1102;

const UNSIGNED8* Bytes(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

std::string Text(const UNSIGNED8* p, size_t n) {
  return AnsiToUtf8(std::string(reinterpret_cast<const char*>(p), n));
}

// The hash of the statement cache: a running value times 37 plus each character; texts longer
// than 15 characters take every (length div 8)-th character with the factor 39.
uint32_t StatementHash(const std::string& strSQL) {
  uint32_t h = 0;
  const size_t n = strSQL.size();
  if (n <= 15) {
    for (unsigned char c : strSQL) h = h * 37 + c;
    return h;
  }
  const size_t step = n / 8;
  for (size_t i = 0; i < n; i += step) h = h * 39 + static_cast<unsigned char>(strSQL[i]);
  return h;
}

}  // namespace

void TAdsConnection::RequireConnection() const {
  if (!FConnected) throw AdsConnectionError(kNoConnection);
}

// ---- Transactions -----------------------------------------------------------------------------

void TAdsConnection::BeginTransaction() {
  RequireConnection();
  UNSIGNED32 result = Ace.AdsBeginTransaction(FhConnection);
  if (result != 0) throw AdsError(static_cast<int>(result));
}

void TAdsConnection::Commit() {
  RequireConnection();
  DoBeforeCommit();
  CloseCachedStatements();
  UNSIGNED32 result = Ace.AdsCommitTransaction(FhConnection);
  if (result != 0) throw AdsError(static_cast<int>(result));
  DoAfterCommit();
}

void TAdsConnection::Rollback() {
  RequireConnection();
  DoBeforeRollback();
  CloseCachedStatements();
  if (FCancelOnRollback) {
    std::vector<TAdsDataSet*> attached = FTablesList;
    for (TAdsDataSet* poDataSet : attached) poDataSet->Cancel();
  }
  UNSIGNED32 result = Ace.AdsRollbackTransaction(FhConnection);
  if (result != 0) throw AdsError(static_cast<int>(result));
  std::vector<TAdsDataSet*> attached = FTablesList;
  for (TAdsDataSet* poDataSet : attached) {
    if (poDataSet->Active() && poDataSet->State() == dsBrowse) poDataSet->Refresh();
  }
  DoAfterRollback();
}

void TAdsConnection::Rollback(const std::string& strSavepoint) {
  if (strSavepoint.empty()) {
    Rollback();
    return;
  }
  RequireConnection();
  const std::string strName = Utf8ToAnsi(strSavepoint);
  AceCheck(nullptr, Ace.AdsRollbackTransaction80(FhConnection, Bytes(strName), 0));
}

void TAdsConnection::CreateSavepoint(const std::string& strSavepoint) {
  RequireConnection();
  const std::string strName = Utf8ToAnsi(strSavepoint);
  AceCheck(nullptr, Ace.AdsCreateSavepoint(FhConnection, Bytes(strName), 0));
}

bool TAdsConnection::TransactionActive() {
  RequireConnection();
  UNSIGNED16 usActive = 0;
  AceCheck(nullptr, Ace.AdsInTransaction(FhConnection, &usActive));
  return usActive == 1;
}

uint32_t TAdsConnection::TransactionCount() {
  RequireConnection();
  UNSIGNED32 ulCount = 0;
  AceCheck(nullptr, Ace.AdsGetTransactionCount(FhConnection, &ulCount));
  return ulCount;
}

// ---- Execute and the statement cache ----------------------------------------------------------

void TAdsConnection::CloseCachedStatements() {
  for (ADSHANDLE hStmt : FCursorStatements) (void)Ace.AdsCloseSQLStatement(hStmt);
  FCursorStatements.clear();
  if (!FStmtList) return;
  for (TStmtInfo& oInfo : *FStmtList) {
    if (oInfo.StmtHandle != 0) (void)Ace.AdsCloseSQLStatement(oInfo.StmtHandle);
  }
  FStmtList->clear();
}

TStmtInfo* TAdsConnection::FindCachedStatement(const std::string& strSQL) {
  if (!FStmtList) FStmtList = std::make_unique<std::vector<TStmtInfo>>();
  const uint32_t ulHash = StatementHash(strSQL);
  for (TStmtInfo& oInfo : *FStmtList) {
    if (oInfo.HashCode == ulHash && SameText(oInfo.SQLText, strSQL)) return &oInfo;
  }
  FStmtList->push_back(TStmtInfo{ulHash, 0, ""});
  return &FStmtList->back();
}

uint32_t TAdsConnection::Execute(const std::string& strSQL, TParams* Params, bool Cache,
                                 ADSHANDLE* Cursor) {
  return ExecuteWith(nullptr, strSQL, Params, Cache, Cursor);
}

uint32_t TAdsConnection::Execute(const TAdsDatasetOptions& oAdsDatasetOptions,
                                 const std::string& strSQL, TParams* Params, bool Cache,
                                 ADSHANDLE* Cursor) {
  return ExecuteWith(&oAdsDatasetOptions, strSQL, Params, Cache, Cursor);
}

uint32_t TAdsConnection::ExecuteWith(const TAdsDatasetOptions* poOptions, const std::string& strSQL,
                                     TParams* Params, bool Cache, ADSHANDLE* Cursor) {
  if (!FConnected) Connect();
  TStmtInfo* poEntry = Cache ? FindCachedStatement(strSQL) : nullptr;
  ADSHANDLE hStmt = poEntry != nullptr ? poEntry->StmtHandle : 0;
  const std::u16string strWide = Utf8ToUtf16(strSQL);
  // An uncached statement is closed whatever happens after it was created, except when it
  // hands out a result cursor: the engine's result cursors live as long as their statement, so
  // that statement is kept until the cached statements are closed.
  struct CloseUncached {
    ADSHANDLE& h;
    bool bKeep;
    ~CloseUncached() {
      if (!bKeep && h != 0) (void)Ace.AdsCloseSQLStatement(h);
    }
  } oCloser{hStmt, Cache};
  if (hStmt == 0) {
    ADSHANDLE hNew = 0;
    AceCheck(nullptr, Ace.AdsCreateSQLStatement(FhConnection, &hNew));
    hStmt = hNew;
    if (Cursor != nullptr) AceCheck(nullptr, Ace.AdsStmtSetTableReadOnly(hStmt, 1));
    if (poOptions != nullptr) {
      AceCheck(nullptr, Ace.AdsStmtSetTableType(hStmt, poOptions->musAdsTableType));
      AceCheck(nullptr, Ace.AdsStmtSetTableCharType(hStmt, poOptions->musAdsCharType));
      AceCheck(nullptr, Ace.AdsStmtSetTableLockType(hStmt, poOptions->musAdsLockType));
      AceCheck(nullptr, Ace.AdsStmtSetTableRights(hStmt, poOptions->musAdsRightsCheck));
      if (!poOptions->mstrCollation.empty()) {
        const std::string strCollation = Utf8ToAnsi(poOptions->mstrCollation);
        AceCheck(nullptr, Ace.AdsStmtSetTableCollation(hStmt, Bytes(strCollation)));
      }
    } else if (!FAdsCollation.empty()) {
      const std::string strCollation = Utf8ToAnsi(FAdsCollation);
      AceCheck(nullptr, Ace.AdsStmtSetTableCollation(hStmt, Bytes(strCollation)));
    }
    AceCheck(nullptr, Ace.AdsPrepareSQLW(hStmt, strWide.c_str()));
    if (poEntry != nullptr) {
      poEntry->SQLText = strSQL;
      poEntry->StmtHandle = hStmt;
    }
  }
  // The engine always hands out a result cursor; without a place for it, it is closed here.
  ADSHANDLE hUnwanted = 0;
  ADSHANDLE* phCursor = Cursor != nullptr ? Cursor : &hUnwanted;
  struct CloseUnwanted {
    ADSHANDLE& h;
    ~CloseUnwanted() {
      if (h != 0) (void)Ace.AdsCloseTable(h);
    }
  } oUnwanted{hUnwanted};
  if (Params != nullptr && Params->Count() > 0) {
    BindStatementParams(nullptr, hStmt, Params, TStructuredParamUse::Refuse);
    AceCheck(nullptr, Ace.AdsExecuteSQL(hStmt, phCursor));
  } else {
    AceCheck(nullptr, Ace.AdsExecuteSQLDirectW(hStmt, strWide.c_str(), phCursor));
  }
  if (!Cache && Cursor != nullptr && *Cursor != 0) {
    FCursorStatements.push_back(hStmt);
    oCloser.bKeep = true;
  }
  uint32_t ulRows = 0;
  if (Cursor == nullptr) {
    UNSIGNED32 ulCount = 0;
    UNSIGNED32 result = Ace.AdsGetRecordCount(hStmt, ADS_IGNOREFILTERS, &ulCount);
    if (result == AE_NO_ROW_COUNT && poOptions == nullptr) return 0;
    AceCheck(nullptr, result);
    ulRows = ulCount;
  }
  return ulRows;
}

// ---- Application id ---------------------------------------------------------------------------

void TAdsConnection::SetApplicationID(const std::string& Value) {
  if (Value == FAppID) return;
  FAppID = Value;
  if (FConnected) SendApplicationID();
}

void TAdsConnection::SendApplicationID() {
  TParams oParams(nullptr);
  oParams.CreateParam(ftString, "FAppID", ptInput)->SetAsString(FAppID);
  Execute("execute procedure sp_setapplicationid(:FAppID)", &oParams, false, nullptr);
}

std::string TAdsConnection::GetApplicationID() {
  if (!FConnected) return FAppID;
  ADSHANDLE hStmt = 0;
  AceCheck(nullptr, Ace.AdsCreateSQLStatement(FhConnection, &hStmt));
  struct CloseStatement {
    ADSHANDLE h;
    ~CloseStatement() { (void)Ace.AdsCloseSQLStatement(h); }
  } oCloser{hStmt};
  ADSHANDLE hCursor = 0;
  AceCheck(nullptr, Ace.AdsExecuteSQLDirect(
                        hStmt, Bytes("execute procedure sp_getapplicationid( )"), &hCursor));
  UNSIGNED8 aucBuffer[kApplicationIdLength + 1] = {};
  UNSIGNED32 ulLength = kApplicationIdLength;
  AceCheck(nullptr,
           Ace.AdsGetField(hCursor, Bytes("ApplicationID"), aucBuffer, &ulLength, ADS_TRIM));
  return Text(aucBuffer, std::min<size_t>(ulLength, kApplicationIdLength));
}

// ---- Server facts ----------------------------------------------------------------------------

std::string TAdsConnection::ServerName() {
  if (!FConnected) {
    if (ComponentState().Contains(csDesigning)) return "";
    throw AdsConnectionError("Must be connected to get database server name.");
  }
  UNSIGNED8 aucName[kServerNameLength + 1] = {};
  UNSIGNED16 usLength = kServerNameLength;
  UNSIGNED32 result = Ace.AdsGetServerName(FhConnection, aucName, &usLength);
  if (result != 0) throw AdsError(static_cast<int>(result));
  return Text(aucName, std::min<size_t>(usLength, kServerNameLength));
}

bool TAdsConnection::IsConnectionAlive() {
  if (!FConnected) return false;
  UNSIGNED16 usAlive = 0;
  UNSIGNED32 result = Ace.AdsIsConnectionAlive(FhConnection, &usAlive);
  if (result != 0) throw AdsError(static_cast<int>(result));
  return usAlive != 0;
}

TDateTime TAdsConnection::GetServerTime() {
  if (!FConnected) Connect();
  UNSIGNED8 aucDate[kDateBufferLength + 1] = {};
  UNSIGNED8 aucTime[kDateBufferLength + 1] = {};
  UNSIGNED16 usDateLength = kDateBufferLength, usTimeLength = kDateBufferLength;
  SIGNED32 lMilliseconds = 0;
  AceCheck(nullptr, Ace.AdsGetServerTime(FhConnection, aucDate, &usDateLength, &lMilliseconds,
                                         aucTime, &usTimeLength));
  DOUBLE dJulian = 0;
  AceCheck(nullptr, Ace.AdsConvertDateToJulian(FhConnection, aucDate, usDateLength, &dJulian));
  UNSIGNED8 aucJulian[kDateBufferLength + 1] = {};
  UNSIGNED16 usJulianLength = kDateBufferLength;
  AceCheck(nullptr, Ace.AdsConvertJulianToString(dJulian, aucJulian, &usJulianLength));
  const std::string strDate(reinterpret_cast<const char*>(aucJulian),
                            std::min<size_t>(usJulianLength, kDateBufferLength));
  if (strDate.size() < 8)
    throw AdsConnectionError("The server answered the date \"" + strDate + "\".");
  const int iYear = StrToInt(strDate.substr(0, 4));
  const int iMonth = StrToInt(strDate.substr(4, 2));
  const int iDay = StrToInt(strDate.substr(6, 2));
  return EncodeDate(iYear, iMonth, iDay) + static_cast<double>(lMilliseconds) / 86400000.0;
}

// ---- Listings ---------------------------------------------------------------------------------

void TAdsConnection::GetTableNames(TStrings* poList, const std::string& strFileMask) {
  RequireConnection();
  if (poList == nullptr) return;
  GetTableAndLinkNames(nullptr, poList, strFileMask);
}

void TAdsConnection::GetTableAndLinkNames(TStrings* poLinkNames, TStrings* poTableNames,
                                          const std::string& strFileMask) {
  RequireConnection();
  const bool bWithLinks = poLinkNames != nullptr;
  std::string strPattern;
  if (!FIsDictionaryConn) {
    std::string strBase = ConnectPath().empty() ? mstrAliasPath : ConnectPath();
    if (!strBase.empty() && (strBase.back() == '/' || strBase.back() == '\\')) strBase.pop_back();
    std::string strMask = strFileMask;
    if (meAliasTableType == ttAdsConnectADT) {
      strMask = "*.adt";
    } else if (meAliasTableType != ttAdsConnectUnspecified) {
      strMask = "*.dbf";
    }
    strPattern = Utf8ToAnsi(strBase + "\\" + strMask);
  }
  UNSIGNED8 aucTable[kFileNameLength + 1] = {};
  UNSIGNED8 aucLink[kFileNameLength + 1] = {};
  UNSIGNED16 usTableLength = kFileNameLength, usLinkLength = kFileNameLength;
  ADSHANDLE hFind = 0;
  struct CloseFind {
    ADSHANDLE hConnection;
    ADSHANDLE& h;
    ~CloseFind() {
      if (h != 0) (void)Ace.AdsFindClose(hConnection, h);
    }
  } oCloser{FhConnection, hFind};
  auto take = [&]() {
    if (poTableNames != nullptr)
      poTableNames->Add(Text(aucTable, std::min<size_t>(usTableLength, kFileNameLength)));
    if (bWithLinks)
      poLinkNames->Add(Text(aucLink, std::min<size_t>(usLinkLength, kFileNameLength)));
  };
  UNSIGNED32 result = bWithLinks
                          ? Ace.AdsFindFirstTable62(FhConnection, Bytes(strPattern), aucLink,
                                                    &usLinkLength, aucTable, &usTableLength, &hFind)
                          : Ace.AdsFindFirstTable(FhConnection, Bytes(strPattern), aucTable,
                                                  &usTableLength, &hFind);
  if (result == AE_NO_MORE_TABLES) return;
  if (result != 0) throw AdsError(static_cast<int>(result));
  take();
  for (;;) {
    usTableLength = kFileNameLength;
    usLinkLength = kFileNameLength;
    result = bWithLinks ? Ace.AdsFindNextTable62(FhConnection, hFind, aucLink, &usLinkLength,
                                                 aucTable, &usTableLength)
                        : Ace.AdsFindNextTable(FhConnection, hFind, aucTable, &usTableLength);
    if (result == AE_NO_MORE_TABLES) return;
    if (result != 0) throw AdsError(static_cast<int>(result));
    take();
  }
}

void TAdsConnection::GetProcedureNames(TStrings* poList) {
  if (!FConnected) Connect();
  if (poList == nullptr || !FIsDictionaryConn) return;
  UNSIGNED8 aucName[kProcedureNameLength + 1] = {};
  UNSIGNED16 usLength = kProcedureNameLength;
  ADSHANDLE hFind = 0;
  UNSIGNED32 result = Ace.AdsDDFindFirstObject(FhConnection, kDictObjectProcedure, Bytes(""),
                                               aucName, &usLength, &hFind);
  if (result == AE_NO_MORE_DICT_OBJECTS) return;
  struct CloseFind {
    ADSHANDLE hConnection;
    ADSHANDLE h;
    ~CloseFind() {
      if (h != 0) (void)Ace.AdsDDFindClose(hConnection, h);
    }
  } oCloser{FhConnection, hFind};
  AceCheck(nullptr, result);
  for (;;) {
    poList->Add(Text(aucName, std::min<size_t>(usLength, kProcedureNameLength)));
    usLength = kProcedureNameLength;
    result = Ace.AdsDDFindNextObject(FhConnection, hFind, aucName, &usLength);
    if (result == AE_NO_MORE_DICT_OBJECTS) return;
    AceCheck(nullptr, result);
  }
}

// ---- Dictionary links and version -------------------------------------------------------------

uint16_t TAdsConnection::GetNumActiveDDLinks() {
  UNSIGNED16 usCount = 0;
  AceCheck(nullptr, Ace.AdsGetNumActiveLinks(ConnectionHandle(), &usCount));
  return usCount;
}

void TAdsConnection::GetActiveDDLinkInfo(int iLinkNum, TStrings* poList) {
  if (poList == nullptr) return;
  UNSIGNED8 aucInfo[kLinkInfoLength + 1] = {};
  UNSIGNED16 usLength = kLinkInfoLength;
  if (iLinkNum < 0 || iLinkNum > std::numeric_limits<UNSIGNED16>::max())
    throw ERangeError("Bereichsüberschreitung: " + IntToStr(iLinkNum));
  AceCheck(nullptr, Ace.AdsGetActiveLinkInfo(ConnectionHandle(), static_cast<UNSIGNED16>(iLinkNum),
                                             aucInfo, &usLength));
  const std::string strInfo = Text(aucInfo, std::min<size_t>(usLength, kLinkInfoLength));
  size_t start = 0;
  for (size_t semicolon = strInfo.find(';'); semicolon != std::string::npos;
       semicolon = strInfo.find(';', start)) {
    poList->Add(strInfo.substr(start, semicolon - start));
    start = semicolon + 1;
  }
}

void TAdsConnection::CreateDDLink(const std::string& strLinkAlias,
                                  const std::string& strLinkedDDPath,
                                  const std::string& strUserName, const std::string& strPassword,
                                  TAdsLinkOptions Options) {
  UNSIGNED32 ulOptions = 0;
  if (Options.Contains(loGlobal)) ulOptions |= 1;
  if (Options.Contains(loAuthenticateActiveUser)) ulOptions |= 2;
  if (Options.Contains(loPathIsStatic)) ulOptions |= 4;
  const std::string strAlias = Utf8ToAnsi(strLinkAlias), strPath = Utf8ToAnsi(strLinkedDDPath),
                    strUser = Utf8ToAnsi(strUserName), strPass = Utf8ToAnsi(strPassword);
  AceCheck(nullptr, Ace.AdsDDCreateLink(ConnectionHandle(), Bytes(strAlias), Bytes(strPath),
                                        Bytes(strUser), Bytes(strPass), ulOptions));
}

void TAdsConnection::DropDDLink(const std::string& strLinkedDD, bool bDropGlobal) {
  const std::string strName = Utf8ToAnsi(strLinkedDD);
  AceCheck(nullptr, Ace.AdsDDDropLink(ConnectionHandle(), Bytes(strName), bDropGlobal ? 1 : 0));
}

uint16_t TAdsConnection::DDVersionMajor() {
  if (!FConnected || !FIsDictionaryConn) return 0;
  UNSIGNED16 usVersion = 0;
  UNSIGNED16 usLength = sizeof usVersion;
  AceCheck(nullptr,
           Ace.AdsDDGetDatabaseProperty(FhConnection, kDictVersionMajor, &usVersion, &usLength));
  return usVersion;
}

uint16_t TAdsConnection::DDVersionMinor() {
  if (!FConnected || !FIsDictionaryConn) return 0;
  UNSIGNED16 usVersion = 0;
  UNSIGNED16 usLength = sizeof usVersion;
  AceCheck(nullptr,
           Ace.AdsDDGetDatabaseProperty(FhConnection, kDictVersionMinor, &usVersion, &usLength));
  return usVersion;
}

// ---- SQL timeout, cached tables ---------------------------------------------------------------

void TAdsConnection::SetSQLTimeout(uint32_t Value) {
  FSQLTimeout = Value;
  if (FConnected) AceCheck(nullptr, Ace.AdsSetSQLTimeout(FhConnection, Value));
}

void TAdsConnection::CloseCachedTables() {
  if (!FConnected) return;
  AceCheck(nullptr, Ace.AdsCloseCachedTables(FhConnection));
}

// ---- User groups ------------------------------------------------------------------------------

void TAdsConnection::LoadUserGroups() {
  if (!FUserGroups) FUserGroups = std::make_unique<TStringList>();
  if (FReadUserGroups) return;
  FUserGroups->Clear();
  FUserGroupsString.clear();
  if (!FConnected || !FIsDictionaryConn) return;
  const std::string strUser = Utf8ToAnsi(FUsername);
  UNSIGNED16 usLength = 0;
  UNSIGNED32 result =
      Ace.AdsDDGetUserProperty(FhConnection, Bytes(strUser), kDictUserGroups, nullptr, &usLength);
  if (result != 0 && result != AE_INSUFFICIENT_BUFFER && result != AE_PROPERTY_NOT_SET)
    AceCheck(nullptr, result);
  if (usLength == 0 || result == AE_PROPERTY_NOT_SET) return;
  std::vector<UNSIGNED8> aBuffer(static_cast<size_t>(usLength) + 1);
  UNSIGNED16 usCapacity = static_cast<UNSIGNED16>(std::min<size_t>(aBuffer.size(), 0xFFFF));
  AceCheck(nullptr, Ace.AdsDDGetUserProperty(FhConnection, Bytes(strUser), kDictUserGroups,
                                             aBuffer.data(), &usCapacity));
  FUserGroupsString = Text(aBuffer.data(), std::min<size_t>(usCapacity, usLength));
  size_t start = 0;
  while (start <= FUserGroupsString.size()) {
    const size_t semicolon = FUserGroupsString.find(';', start);
    const std::string strPiece = FUserGroupsString.substr(
        start, semicolon == std::string::npos ? std::string::npos : semicolon - start);
    if (!strPiece.empty()) FUserGroups->Add(strPiece);
    if (semicolon == std::string::npos) break;
    start = semicolon + 1;
  }
  FReadUserGroups = true;
}

TStrings* TAdsConnection::UserGroups() {
  LoadUserGroups();
  return FUserGroups.get();
}

std::string TAdsConnection::UserGroupsString() {
  LoadUserGroups();
  return FUserGroupsString;
}

// ---- Connect and disconnect -------------------------------------------------------------------

void TAdsConnection::ServicesAfterConnect(bool bOwnConnection) {
  FReadUserGroups = false;
  if (bOwnConnection && FSQLTimeout != 0)
    AceCheck(nullptr, Ace.AdsSetSQLTimeout(FhConnection, FSQLTimeout));
  if (!FAppID.empty()) SendApplicationID();
}

void TAdsConnection::ServicesBeforeDisconnect() {
  CloseCachedStatements();
  FReadUserGroups = false;
}
