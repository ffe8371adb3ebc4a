// Executing the query's SQL text: the statement handle (EnsureStatement), the eight statement
// options, the execution routine (its parameters bound by BindStatementParams, in
// adstable_query_bind.cpp) and the row count, ExecSQL, the script pass of ExecSQLScript and
// VerifySQL, the statement's encryption and password operations, the cursor hook through which
// the dataset core opens the query, the record numbers of its rows, and the last autoincrement
// value.
//
// Every engine result goes through AceCheck with the query as the dataset unless a comment says
// which answers are accepted.
#include <cmath>
#include <cstring>
#include <limits>

#include "ads/adscnnct.h"
#include "ads/adstable.h"

namespace {

const UNSIGNED8* Ansi(const std::string& strAnsi) {
  return reinterpret_cast<const UNSIGNED8*>(strAnsi.c_str());
}

constexpr UNSIGNED16 kMaxIndexHandles = 256;

}  // namespace

// ---- The statement handle ---------------------------------------------------------------------

void TAdsQuery::EnsureStatement() {
  if (mhStmt != -1) {
    UNSIGNED16 usType = 0;
    if (Ace.AdsGetHandleType(static_cast<ADSHANDLE>(mhStmt), &usType) == AE_SUCCESS &&
        usType == ADS_STATEMENT)
      return;
  }
  mhStmt = -1;
  if (mstrDatabaseName.empty() && mpoAdsConnection == nullptr)
    RaiseComponentError(this, "The DatabaseName property has not been assigned a value.");
  ADSHANDLE hConnection = 0;
  if (mhConnection != -1) {
    // A connection obtained by database name earlier whose statement the engine no longer knows:
    // a new statement is made on it (a connection that has gone answers the engine's error).
    hConnection = static_cast<ADSHANDLE>(mhConnection);
  } else {
    // A connection component's handle is taken afresh each time; a handle found by database
    // name is remembered.
    hConnection = ConnectAndGetHandle();
    if (mpoAdsConnection == nullptr && hConnection != 0 &&
        hConnection != static_cast<ADSHANDLE>(-1))
      mhConnection = static_cast<int32_t>(hConnection);
  }
  if (hConnection == 0 || hConnection == static_cast<ADSHANDLE>(-1))
    RaiseComponentError(this, "Internal Error: invalid connection handle.");
  ADSHANDLE hStmt = 0;
  AceCheck(this, Ace.AdsCreateSQLStatement(hConnection, &hStmt));
  mhStmt = static_cast<int32_t>(hStmt);
  if (FSQLTimeout != 0)
    AceCheck(this, Ace.AdsSetSQLTimeout(hStmt, static_cast<UNSIGNED32>(FSQLTimeout)));
}

void TAdsQuery::ApplyStatementOptions() {
  const auto hStmt = static_cast<ADSHANDLE>(mhStmt);
  TAdsTableOptions* poOptions = AdsTableOptions();
  AceCheck(this, Ace.AdsStmtSetTableLockType(hStmt, poOptions->AdsLockType() == Proprietary
                                                        ? ADS_PROPRIETARY_LOCKING
                                                        : ADS_COMPATIBLE_LOCKING));
  const std::string strCollation = Utf8ToAnsi(GetEffectiveCollation());
  AceCheck(this, Ace.AdsStmtSetTableCollation(hStmt, Ansi(strCollation)));
  AceCheck(this, Ace.AdsStmtSetTableRights(
                     hStmt, poOptions->AdsRightsCheck() ? ADS_CHECK_RIGHTS : ADS_IGNORE_RIGHTS));
  AceCheck(this, Ace.AdsStmtSetTableReadOnly(
                     hStmt, mbRequestLive ? ADS_CURSOR_READWRITE : ADS_CURSOR_READONLY));
  if (mpoAdsConnection != nullptr && mpoAdsConnection->ReadOnly())
    AceCheck(this, Ace.AdsStmtSetTableReadOnly(hStmt, ADS_CURSOR_READONLY));
  UNSIGNED16 usTableType = ADS_NTX;
  switch (meTableType) {
    case ttAdsADT:
      usTableType = ADS_ADT;
      break;
    case ttAdsCDX:
      usTableType = ADS_CDX;
      break;
    case ttAdsVFP:
      usTableType = ADS_VFP;
      break;
    case ttAdsNTX:
    case ttAdsDefault:
      usTableType = ADS_NTX;
      break;
  }
  AceCheck(this, Ace.AdsStmtSetTableType(hStmt, usTableType));
  AceCheck(this,
           Ace.AdsStmtConstrainUpdates(hStmt, mbConstrained ? ADS_CONSTRAIN : ADS_NO_CONSTRAIN));
  AceCheck(this, Ace.AdsStmtReadAllColumns(
                     hStmt, mbReadAllColumns ? ADS_READ_ALL_COLUMNS : ADS_READ_SELECT_COLUMNS));
}

// ---- Execution --------------------------------------------------------------------------------

int32_t TAdsQuery::ExecuteStatement() {
  CheckInactive();
  EnsureStatement();
  ApplyStatementOptions();
  Prepare();
  const auto hStmt = static_cast<ADSHANDLE>(mhStmt);
  // The whole text in one piece; the engine is prepared anew on every execution.
  const std::u16string strText = Utf8ToUtf16(mSQL->Text());
  AceCheck(this, Ace.AdsPrepareSQLW(hStmt, strText.c_str()));
  if (moDataLink->DataSource() != nullptr) FillParamsFromMaster();
  BindStatementParams(this, hStmt, moParams.get(), TStructuredParamUse::Skip);

  ADSHANDLE hCursor = 0;
  const UNSIGNED32 ulResult = Ace.AdsExecuteSQL(hStmt, &hCursor);
  try {
    AceCheck(this, ulResult);
  } catch (const Exception& e) {
    // After this answer the engine can do nothing more with the statement.
    if (e.Message().find("7209") != std::string::npos) {
      try {
        AdsCloseSQLStatement();
      } catch (...) {
        // The execution's failure is the one reported.
      }
    }
    throw;
  }

  // Nothing may stay open when the rest fails: the cursor is the caller's only on success.
  try {
    if (hCursor != 0) {
      UNSIGNED8 ucLive = 0;
      AceCheck(this, Ace.AdsSqlPeekStatement(hCursor, &ucLive));
      mbReadOnly = ucLive == 0;
      if (ucLive != 0) TakeOverCharType(static_cast<int32_t>(hCursor));
    }
    UNSIGNED32 ulCount = 0;
    const UNSIGNED32 ulCountResult = Ace.AdsGetRecordCount(hStmt, ADS_IGNOREFILTERS, &ulCount);
    if (ulCountResult == AE_NO_ROW_COUNT) {
      mlRowsAffected = -1;
    } else {
      AceCheck(this, ulCountResult);
      if (ulCount > static_cast<UNSIGNED32>(std::numeric_limits<int32_t>::max()))
        throw ERangeError("Bereichsüberschreitung: RowsAffected " + std::to_string(ulCount));
      mlRowsAffected = static_cast<int32_t>(ulCount);
    }
  } catch (...) {
    if (hCursor != 0) Ace.AdsCloseTable(hCursor);
    throw;
  }
  return hCursor != 0 ? static_cast<int32_t>(hCursor) : -1;
}

void TAdsQuery::ExecSQL() {
  const int32_t hCursor = ExecuteStatement();
  if (hCursor != -1) AceCheck(this, Ace.AdsCloseTable(static_cast<ADSHANDLE>(hCursor)));
}

// ---- Parameters -------------------------------------------------------------------------------

void TAdsQuery::FillParamsFromMaster() {
  TDataSet* poMaster = moDataLink->DataSource()->DataSet();
  if (poMaster == nullptr) return;
  poMaster->FieldDefs()->Update();
  for (int i = 0; i < moParams->Count(); ++i) {
    TParam* poParam = moParams->Items(i);
    if (poParam->Bound()) continue;  // the application's own value stands
    poParam->AssignField(poMaster->FieldByName(poParam->Name()));
    // So that the next execution copies the master's value anew.
    poParam->SetBound(false);
  }
}

// ---- Scripts ----------------------------------------------------------------------------------

void TAdsQuery::ExecSQLScript() {
  RunScript(TScriptMode::Execute);
}

void TAdsQuery::VerifySQL() {
  EnsureStatement();
  ApplyStatementOptions();
  RunScript(TScriptMode::Verify);
}

void TAdsQuery::RunScript(TScriptMode eMode) {
  TStringList oLines;
  oLines.Assign(mSQL.get());
  // Each change of the text rebuilds the parameters; their values are carried over the pass.
  TParams oValues(this);
  oValues.Assign(moParams.get());
  auto restore = [&] {
    mSQL->Clear();
    AssignLines(&oLines);
    moParams->AssignValues(&oValues);
  };
  try {
    mSQL->Clear();
    // The processed lines arrive in one change, so that a comment spanning several lines is
    // never offered to the engine cut in half.
    mSQL->BeginUpdate();
    try {
      for (int i = 0; i < oLines.Count(); ++i) {
        const std::string strLine = Trim(oLines.Strings(i));
        const bool bBlank = !strLine.empty() && (strLine[0] == '#' || strLine[0] == '[');
        mSQL->Add(bBlank ? std::string() : strLine);
      }
    } catch (...) {
      mSQL->EndUpdate();
      throw;
    }
    mSQL->EndUpdate();
    moParams->AssignValues(&oValues);
    try {
      if (eMode == TScriptMode::Execute) {
        ExecSQL();
      } else {
        const std::u16string strText = Utf8ToUtf16(mSQL->Text());
        AceCheck(this, Ace.AdsVerifySQLW(static_cast<ADSHANDLE>(mhStmt), strText.c_str()));
      }
    } catch (const Exception& e) {
      throw EDatabaseError("ERROR IN SCRIPT: " + e.Message());
    }
  } catch (...) {
    try {
      restore();
    } catch (...) {
      // The script's failure is the one reported.
    }
    throw;
  }
  restore();
}

// ---- Encryption and table passwords -----------------------------------------------------------

void TAdsQuery::AdsStmtEnableEncryption(const std::string& strPassword) {
  EnsureStatement();
  const std::string strAnsi = Utf8ToAnsi(strPassword);
  AceCheck(this, Ace.AdsStmtEnableEncryption(static_cast<ADSHANDLE>(mhStmt), Ansi(strAnsi)));
}

void TAdsQuery::AdsStmtDisableEncryption() {
  EnsureStatement();
  AceCheck(this, Ace.AdsStmtDisableEncryption(static_cast<ADSHANDLE>(mhStmt)));
}

void TAdsQuery::AdsStmtSetTablePassword(const std::string& strTableName,
                                        const std::string& strPassword) {
  EnsureStatement();
  const std::string strTable = Utf8ToAnsi(strTableName);
  const std::string strAnsi = Utf8ToAnsi(strPassword);
  AceCheck(this, Ace.AdsStmtSetTablePassword(static_cast<ADSHANDLE>(mhStmt), Ansi(strTable),
                                             Ansi(strAnsi)));
}

void TAdsQuery::AdsStmtClearTablePasswords() {
  EnsureStatement();
  AceCheck(this, Ace.AdsStmtClearTablePasswords(static_cast<ADSHANDLE>(mhStmt)));
}

// ---- The cursor hook --------------------------------------------------------------------------

int32_t TAdsQuery::OpenEngineCursor() {
  const int32_t hCursor = ExecuteStatement();
  if (hCursor == -1)
    RaiseComponentError(this,
                        "The SQL statement did not generate a cursor handle.  Use "
                        "TAdsQuery.ExecSQL to execute SQL statements that are not SELECT "
                        "statements");
  try {
    UNSIGNED16 usTableType = 0;
    AceCheck(this, Ace.AdsGetTableType(static_cast<ADSHANDLE>(hCursor), &usTableType));
    musAceTableType = static_cast<decltype(musAceTableType)>(usTableType);
    if (mpoIndexFiles != nullptr && mpoIndexFiles->Count() > 0) {
      const std::string strDatabasePath = GetDatabasePath();
      ADSHANDLE ahIndexes[kMaxIndexHandles] = {};
      for (int i = 0; i < mpoIndexFiles->Count(); ++i) {
        const std::string strPath = Utf8ToAnsi(strDatabasePath + "\\" + mpoIndexFiles->Strings(i));
        UNSIGNED16 usCount = kMaxIndexHandles;
        AceCheck(this, Ace.AdsOpenIndex(static_cast<ADSHANDLE>(hCursor), Ansi(strPath), ahIndexes,
                                        &usCount));
      }
    }
  } catch (...) {
    Ace.AdsCloseTable(static_cast<ADSHANDLE>(hCursor));
    throw;
  }
  return hCursor;
}

// ---- Record numbers ---------------------------------------------------------------------------

namespace {

int32_t RecordNumberInRange(double dNumber) {
  if (!(dNumber >= 0 && dNumber <= std::numeric_limits<int32_t>::max()))
    throw ERangeError("Bereichsüberschreitung: Datensatznummer " + FloatToStr(dNumber));
  return static_cast<int32_t>(dNumber);
}

}  // namespace

ADSHANDLE TAdsQuery::NumberingOrder() {
  ADSHANDLE hOrder = 0;
  if (!mstrIndexName.empty() || !mstrIndexFieldNames.empty()) {
    hOrder = static_cast<ADSHANDLE>(mlActiveHandle);
  } else {
    // Asked without an index name the engine answers the cursor's current order (0 for none).
    AceCheck(this, Ace.AdsGetIndexHandle(static_cast<ADSHANDLE>(mlHandle), nullptr, &hOrder));
  }
  // The cursor itself as the order is its natural order.
  if (hOrder == static_cast<ADSHANDLE>(mlHandle) || hOrder == static_cast<ADSHANDLE>(-1)) return 0;
  return hOrder;
}

int32_t TAdsQuery::CurrentEngineRecNo() {
  const auto hCursor = static_cast<ADSHANDLE>(mlHandle);
  const ADSHANDLE hOrder = NumberingOrder();
  if (!mbIsSequenced || hOrder == 0) {
    UNSIGNED32 ulNumber = 0;
    AceCheck(this, Ace.AdsGetRecordNum(hCursor, ADS_IGNOREFILTERS, &ulNumber));
    return RecordNumberInRange(ulNumber);
  }
  if (meSeqLevel == slExact) {
    UNSIGNED32 ulKey = 0;
    AceCheck(this, Ace.AdsGetKeyNum(hOrder, ADS_RESPECTFILTERS, &ulKey));
    return RecordNumberInRange(ulKey);
  }
  UNSIGNED32 ulCount = 0;
  AceCheck(this, Ace.AdsGetRecordCount(hCursor, ADS_IGNOREFILTERS, &ulCount));
  DOUBLE dPosition = 0;
  const UNSIGNED32 ulResult = Ace.AdsGetRelKeyPos(hOrder, &dPosition);
  if (ulResult == AE_NO_KEY_POSITION)
    dPosition = 0;
  else
    AceCheck(this, ulResult);
  return RecordNumberInRange(std::trunc(static_cast<double>(ulCount) * dPosition));
}

// ---- The last autoincrement value -------------------------------------------------------------

int32_t TAdsQuery::GetLastAutoincVal() {
  const int32_t hObject = mlHandle != -1 ? mlHandle : mhStmt;
  UNSIGNED32 ulValue = 0;
  AceCheck(this, Ace.AdsGetLastAutoinc(static_cast<ADSHANDLE>(hObject), &ulValue));
  if (ulValue > static_cast<UNSIGNED32>(std::numeric_limits<int32_t>::max()))
    throw ERangeError("Bereichsüberschreitung: LastAutoincVal " + std::to_string(ulValue));
  return static_cast<int32_t>(ulValue);
}
