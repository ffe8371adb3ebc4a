// The query's state and text: construction and destruction, the SQL text and its change
// handling with the parameter list kept in step, the statement-handle lifecycle (release on
// close, destruction, DatabaseName change, invalidation), the stored properties and their
// stream form ("Data", "ParamData", "WaitCursor"), the master data link and the property table.
// Executing statements lives in adstable_query_exec.cpp.
#include <limits>

#include "ads/adscnnct.h"
#include "ads/adstable.h"

// ---- Construction and destruction -------------------------------------------------------------

TAdsQuery::TAdsQuery(TComponent* AOwner)
    : TAdsExtendedDataSet(AOwner),
      mSQL(std::make_unique<TStringList>()),
      moParams(std::make_unique<TParams>(this)),
      moDataLink(std::make_unique<TAdsQueryDataLink>(this)) {
  mSQL->OnChange = [this](TObject*) { SQLChanged(); };
}

TAdsQuery::~TAdsQuery() {
  // The cursor needs this class's hooks, so it is closed here, before the members go.
  Destroying();
  try {
    Close();
  } catch (...) {
  }
  // Nothing of the text may run the change handling while the members are torn down.
  mSQL->OnChange = nullptr;
  const bool bConnected = mpoAdsConnection != nullptr && mpoAdsConnection->IsConnected();
  if (mhStmt != -1 && ((mhConnection != -1 && mhConnection != 0) || bConnected)) {
    // Destruction never raises: an engine that cannot release the statement keeps it until its
    // connection goes.
    Ace.AdsCloseSQLStatement(static_cast<ADSHANDLE>(mhStmt));
  }
  mhStmt = -1;
  moDataLink->SetDataSource(nullptr);
}

// ---- Releasing the statement ------------------------------------------------------------------

// The handles are forgotten also when the engine refuses: a statement it cannot release is of
// no further use to the query.
void TAdsQuery::CloseStatementHandle(bool bExcuseUnknown) {
  const int32_t hStmt = mhStmt;
  mhStmt = -1;
  mhConnection = -1;
  if (hStmt == -1) return;
  UNSIGNED32 ulResult = Ace.AdsCloseSQLStatement(static_cast<ADSHANDLE>(hStmt));
  if (!(bExcuseUnknown && ulResult == AE_INVALID_STATEMENT_HANDLE)) AceCheck(this, ulResult);
}

void TAdsQuery::AdsCloseSQLStatement() {
  if (Active()) RaiseComponentError(this, "Cannot perform this operation on an open dataset");
  CloseStatementHandle(true);
}

void TAdsQuery::InvalidateAceHandles() {
  TAdsExtendedDataSet::InvalidateAceHandles();
  mbPrepared = false;
  mhStmt = -1;
  mhConnection = -1;
}

void TAdsQuery::InternalClose() {
  TAdsExtendedDataSet::InternalClose();
  mbPrepared = false;
  if (ComponentState().Contains(csDesigning)) CloseStatementHandle(true);
}

// ---- Prepared ---------------------------------------------------------------------------------

void TAdsQuery::Prepare() {
  if (Active()) RaiseComponentError(this, "Cannot perform this operation on an open dataset");
  mbPrepared = true;
  mlRowsAffected = -1;
}

void TAdsQuery::UnPrepare() {
  if (Active()) RaiseComponentError(this, "Cannot perform this operation on an open dataset");
  mbPrepared = false;
}

void TAdsQuery::SetPrepared(bool Value) {
  if (Value)
    Prepare();
  else
    UnPrepare();
}

// ---- The SQL text -----------------------------------------------------------------------------

void TAdsQuery::SetSQL(TStrings* Value) {
  if (Value == mSQL.get()) return;
  const std::string strNew = Value != nullptr ? Value->Text() : std::string();
  if (strNew == mSQL->Text()) return;
  Close();
  UnPrepare();
  TStringList oOld;
  oOld.Assign(mSQL.get());
  try {
    AssignLines(Value);
  } catch (...) {
    // A text the engine refuses leaves the query with the text it had.
    try {
      AssignLines(&oOld);
    } catch (...) {
    }
    throw;
  }
}

// One update bracket, so that the change handling runs once. The bracket is closed by hand (not
// by a scope guard) so that a failure of the change handling travels to the caller.
void TAdsQuery::AssignLines(TStrings* poLines) {
  mSQL->BeginUpdate();
  try {
    if (poLines != nullptr)
      mSQL->Assign(poLines);
    else
      mSQL->Clear();
  } catch (...) {
    mSQL->EndUpdate();
    throw;
  }
  mSQL->EndUpdate();
}

void TAdsQuery::SQLChanged() {
  // The engine sees the text in its 8-bit code page; what it accepted is the text from here on.
  const std::string strAnsi = Utf8ToAnsi(mSQL->Text());
  AceCheck(this, Ace.AdsGetSQLStmtParams(reinterpret_cast<const UNSIGNED8*>(strAnsi.c_str())));
  const std::string strText = AnsiToUtf8(strAnsi);
  // While reading from a stream the stored "ParamData" gives the parameters.
  if (ComponentState().Contains(csReading)) return;
  Close();
  mbPrepared = false;
  mpucSQLBinary.reset();
  if (mbParamCheck || ComponentState().Contains(csDesigning)) RebuildParams(strText);
  DataEvent(dePropertyChange, 0);
}

void TAdsQuery::RebuildParams(const std::string& strText) {
  TParams oNew(this);
  oNew.ParseSQL(strText, true);
  // Parameters that keep their name keep their values.
  oNew.AssignValues(moParams.get());
  moParams->Clear();
  moParams->Assign(&oNew);
}

void TAdsQuery::SetParams(TParams* Value) {
  moParams->AssignValues(Value);
}

uint16_t TAdsQuery::ParamCount() const {
  const int iCount = moParams->Count();
  if (iCount > std::numeric_limits<uint16_t>::max())
    throw ERangeError("Bereichsüberschreitung: " + IntToStr(iCount) + " Parameter");
  return static_cast<uint16_t>(iCount);
}

// ---- Properties -------------------------------------------------------------------------------

void TAdsQuery::SetSQLTimeout(int32_t Value) {
  if (Value < 0) RaiseComponentError(this, "SQLTimeout must not be negative.");
  FSQLTimeout = Value;
  if (mhStmt != -1)
    AceCheck(this,
             Ace.AdsSetSQLTimeout(static_cast<ADSHANDLE>(mhStmt), static_cast<UNSIGNED32>(Value)));
}

void TAdsQuery::SetTableType(TAdsTableTypes eValue) {
  InternalSetTableType(eValue, false);
}

void TAdsQuery::InternalSetTableType(TAdsTableTypes eValue, bool bIgnoreNTXError) {
  if (eValue == ttAdsNTX && !bIgnoreNTXError &&
      !(mpoAdsConnection != nullptr && mpoAdsConnection->IsDictionaryConn()))
    RaiseComponentError(this, "The TAdsQuery component does not support the NTX table type");
  TAdsExtendedDataSet::SetTableType(eValue);
}

void TAdsQuery::SetDatabaseName(const std::string& Value) {
  const bool bChanged = Value != mstrDatabaseName;
  SetAdsConnection(nullptr);  // writing DatabaseName always detaches the connection component
  TAdsExtendedDataSet::SetDatabaseName(Value);
  if (bChanged && mhConnection != -1) CloseStatementHandle(false);
}

void TAdsQuery::SetSQLBinary(const std::vector<uint8_t>* Value) {
  if (Value != nullptr)
    mpucSQLBinary = *Value;
  else
    mpucSQLBinary.reset();
}

void TAdsQuery::Constraints() {
  RaiseComponentError(this, "The property \"Constraints\" is not supported.");
}

void TAdsQuery::UpdateObject() {
  RaiseComponentError(this, "The property \"UpdateObject\" is not supported.");
}

// ---- Stream properties ------------------------------------------------------------------------

void TAdsQuery::DefineProperties(TFiler* Filer) {
  TAdsExtendedDataSet::DefineProperties(Filer);
  Filer->DefineBinaryProperty(
      "Data",
      [this](TStream& Stream) {
        std::vector<uint8_t> aBytes(static_cast<size_t>(Stream.Size()));
        Stream.SetPosition(0);
        if (!aBytes.empty()) Stream.ReadBuffer(aBytes.data(), static_cast<int64_t>(aBytes.size()));
        mpucSQLBinary = std::move(aBytes);
      },
      [this](TStream& Stream) {
        if (mpucSQLBinary && !mpucSQLBinary->empty())
          Stream.WriteBuffer(mpucSQLBinary->data(), static_cast<int64_t>(mpucSQLBinary->size()));
      },
      mpucSQLBinary.has_value());
  Filer->DefineProperty(
      "ParamData", [this](TReader& Reader) { Reader.ReadCollection(moParams.get()); },
      [this](TWriter& Writer) { Writer.WriteCollection(moParams.get()); }, true);
  // Older descriptions carry a cursor setting; it is read and discarded, never written.
  Filer->DefineProperty(
      "WaitCursor",
      [](TReader& Reader) {
        if (Reader.NextValue() == vaIdent)
          Reader.ReadIdent();
        else
          Reader.ReadInteger();
      },
      nullptr, false);
}

// ---- The master -------------------------------------------------------------------------------

void TAdsQuery::SetDataSource(TDataSource* Value) {
  if (Value != nullptr && IsLinkedTo(Value)) RaiseComponentError(this, "Circular Data Link");
  moDataLink->SetDataSource(Value);
}

void TAdsQuery::ReopenForMaster() {
  DisableControls();
  Finally enable([this] { EnableControls(); });
  TDataSource* poSource = moDataLink->DataSource();
  TDataSet* poMaster = poSource != nullptr ? poSource->DataSet() : nullptr;
  if (poMaster != nullptr && poMaster->Active() && poMaster->State() != dsSetKey) {
    Close();
    Open();
  }
}

void TAdsQuery::GetDetailLinkFields(std::vector<TField*>& MasterFields,
                                    std::vector<TField*>& DetailFields) {
  MasterFields.clear();
  DetailFields.clear();
  TDataSource* poSource = moDataLink->DataSource();
  TDataSet* poMaster = poSource != nullptr ? poSource->DataSet() : nullptr;
  if (poMaster == nullptr) return;
  for (int i = 0; i < moParams->Count(); ++i) {
    const std::string& strName = moParams->Items(i)->Name();
    TField* poMasterField = poMaster->FindField(strName);
    if (poMasterField == nullptr) continue;
    MasterFields.push_back(poMasterField);
    if (TField* poOwn = FindField(strName)) DetailFields.push_back(poOwn);
  }
}

TDataSet* TAdsQueryDataLink::DetailDataSet() {
  return FQuery;
}

void TAdsQueryDataLink::ActiveChanged() {
  if (FQuery->Active()) FQuery->ReopenForMaster();
}

void TAdsQueryDataLink::RecordChanged(TField* Field) {
  if (Field == nullptr && FQuery->Active()) FQuery->ReopenForMaster();
}

void TAdsQueryDataLink::CheckBrowseMode() {
  if (FQuery->Active()) FQuery->CheckBrowseMode();
}

VCL_REGISTER_CLASS(TAdsQueryDataLink, [](TClassBuilder<TAdsQueryDataLink>&) {})

// ---- Published properties ---------------------------------------------------------------------

VCL_REGISTER_CLASS(TAdsQuery, [](TClassBuilder<TAdsQuery>& c) {
  c.Object("AdsTableOptions", &TAdsQuery::AdsTableOptions);
  c.Prop("ReadAllColumns", &TAdsQuery::ReadAllColumns, &TAdsQuery::SetReadAllColumns, false);
  c.Prop("Constrained", &TAdsQuery::Constrained, &TAdsQuery::SetConstrained, false);
  c.Ref("DataSource", &TAdsQuery::DataSource, &TAdsQuery::SetDataSource);
  c.Prop("ParamCheck", &TAdsQuery::ParamCheck, &TAdsQuery::SetParamCheck, true);
  // Streamed as "ParamData" instead (DefineProperties).
  c.Collection("Params", &TAdsQuery::Params).Stored(false);
  c.Prop("RequestLive", &TAdsQuery::RequestLive, &TAdsQuery::SetRequestLive, false);
  c.Strings("SQL", &TAdsQuery::SQL);
  c.Enum("SourceTableType", &TAdsQuery::SourceTableType, &TAdsQuery::SetTableType,
         {"ttAdsCDX", "ttAdsNTX", "ttAdsADT", "ttAdsDefault", "ttAdsVFP"}, ttAdsADT);
  c.Prop("SQLTimeout", &TAdsQuery::SQLTimeout, &TAdsQuery::SetSQLTimeout, 0);
})
