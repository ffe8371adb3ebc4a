// The dataset's answers to a data provider (ui/db/Provider.h) that do not depend on table or
// query: quoting, SQL support, the bound connection's transactions, reset, OnUpdateRecord and
// statements run for the provider with their result query; and the operations of other
// dataset families that the datasets refuse. The table's and the query's own answers are in
// adstable_provider.cpp and adstable_query_provider.cpp.
#include <climits>
#include <string>

#include "ads/adscnnct.h"
#include "ads/adsdata.h"
#include "ads/adstable.h"  // the result set of a provider statement is a query

// ---- Provider answers -------------------------------------------------------------------------

bool TAdsDataSet::PSInTransaction() {
  return mpoAdsConnection != nullptr && mpoAdsConnection->IsConnected() &&
         mpoAdsConnection->TransactionActive();
}

void TAdsDataSet::PSStartTransaction() {
  if (mpoAdsConnection != nullptr) mpoAdsConnection->BeginTransaction();
}

void TAdsDataSet::PSEndTransaction(bool Commit) {
  if (mpoAdsConnection == nullptr) return;
  if (Commit)
    mpoAdsConnection->Commit();
  else
    mpoAdsConnection->Rollback();
}

void TAdsDataSet::PSReset() {
  IProviderSupport::PSReset();
  if (!Active()) return;
  AceCheck(this, Ace.AdsGotoTop(static_cast<ADSHANDLE>(mlHandle)));
  CursorPosChanged();
}

bool TAdsDataSet::PSUpdateRecord(TUpdateKind UpdateKind, TDataSet* Delta) {
  if (!OnUpdateRecord) return false;
  TUpdateAction action = uaFail;
  OnUpdateRecord(Delta, UpdateKind, action);
  return action == uaApplied;
}

int32_t TAdsDataSet::PSExecuteStatement(const std::string& ASQL, TParams* AParams,
                                        std::unique_ptr<TDataSet>* ResultSet) {
  if (mpoAdsConnection == nullptr)
    RaiseComponentError(this,
                        "A TAdsConnection component is required for TClientDataSet/IProvider "
                        "support. Use either the AdsConnection  property or the Database property "
                        "to specify a TAdsConnection instance.");
  TAdsDatasetOptions options;
  options.musAdsLockType = mpoAdsTableOptions->AdsLockType() == Proprietary ? 1 : 0;
  options.musAdsCharType = static_cast<uint16_t>(mpoAdsTableOptions->AdsCharType() + 1);
  options.musAdsRightsCheck = mpoAdsTableOptions->AdsRightsCheck() ? 1 : 2;
  options.musAdsTableType = musOpenTableType;
  uint32_t rows = 0;
  if (ResultSet != nullptr) {
    ADSHANDLE cursor = 0;
    rows = mpoAdsConnection->Execute(options, ASQL, AParams, true, &cursor);
    // The caller owns the query from here on, also when adopting the cursor fails.
    auto query = std::make_unique<TAdsQuery>(nullptr);
    TAdsQuery* result = query.get();
    *ResultSet = std::move(query);
    result->Close();
    result->SetActiveHandle(static_cast<int32_t>(cursor));
    if (cursor != 0 && static_cast<int32_t>(cursor) != -1) {
      try {
        result->Open();
      } catch (...) {
        result->SetActiveHandle(-1);
        throw;
      }
    }
  } else {
    rows = mpoAdsConnection->Execute(options, ASQL, AParams, true, nullptr);
  }
  if (rows > static_cast<uint32_t>(INT32_MAX))
    throw ERangeError(std::to_string(rows) + " rows affected exceed the range of the answer");
  return static_cast<int32_t>(rows);
}

// ---- Unsupported operations -------------------------------------------------------------------

namespace {

[[noreturn]] void NotSupported(TAdsDataSet* poDataSet, const char* pcName) {
  RaiseComponentError(poDataSet,
                      std::string("The method ") + pcName + " in TAdsDataSet is not supported.");
}

}  // namespace

int32_t TAdsDataSet::TableLevel() {
  NotSupported(this, "GetTableLevel");
}
void TAdsDataSet::SetTableLevel(int32_t) {
  NotSupported(this, "SetTableLevel");
}
TComponent* TAdsDataSet::Database() {
  NotSupported(this, "GetDBDatabase");
}
void* TAdsDataSet::DBHandle() {
  NotSupported(this, "GetDBHandle");
}
void* TAdsDataSet::DBLocale() {
  NotSupported(this, "GetDBLocale");
}
TComponent* TAdsDataSet::DBSession() {
  NotSupported(this, "GetDBSession");
}
IProviderSupport* TAdsDataSet::Provider() {
  NotSupported(this, "GetProvider");
}
std::string TAdsDataSet::SessionName() {
  NotSupported(this, "GetSessionName");
}
void TAdsDataSet::SetSessionName(const std::string&) {
  NotSupported(this, "SetSessionName");
}
bool TAdsDataSet::CacheBlobs() {
  NotSupported(this, "GetCacheBlobs");
}
void TAdsDataSet::SetCacheBlobs(bool) {
  NotSupported(this, "SetCacheBlobs");
}
bool TAdsDataSet::CachedUpdates() {
  NotSupported(this, "GetCachedUpdates");
}
void TAdsDataSet::SetCachedUpdates(bool) {
  NotSupported(this, "SetCachedUpdates");
}
bool TAdsDataSet::ExpIndex() {
  NotSupported(this, "GetExpIndex");
}
void* TAdsDataSet::Locale() {
  NotSupported(this, "GetLocale");
}
TComponent* TAdsDataSet::UpdateObject() {
  NotSupported(this, "GetUpdateObject");
}
void TAdsDataSet::SetUpdateObject(TComponent*) {
  NotSupported(this, "SetUpdateObject");
}
bool TAdsDataSet::UpdatesPending() {
  NotSupported(this, "GetUpdatesPending");
}
TUpdateRecordTypes TAdsDataSet::UpdateRecordTypes() {
  NotSupported(this, "GetUpdateRecordSet");
}
void TAdsDataSet::SetUpdateRecordTypes(TUpdateRecordTypes) {
  NotSupported(this, "SetUpdateRecordSet");
}
int32_t TAdsDataSet::BatchMove(TDataSet*, TBatchMode) {
  NotSupported(this, "BatchMove");
}
bool TAdsDataSet::CheckOpen(uint16_t) {
  NotSupported(this, "CheckOpen");
}
void TAdsDataSet::ApplyUpdates() {
  NotSupported(this, "ApplyUpdates");
}
void TAdsDataSet::CancelUpdates() {
  NotSupported(this, "CancelUpdates");
}
void TAdsDataSet::CommitUpdates() {
  NotSupported(this, "CommitUpdates");
}
bool TAdsDataSet::ConstraintsDisabled() {
  NotSupported(this, "ConstraintsDisabled");
}
void TAdsDataSet::DisableConstraints() {
  NotSupported(this, "DisableConstraints");
}
void TAdsDataSet::EnableConstraints() {
  NotSupported(this, "EnableConstraints");
}
void TAdsDataSet::FetchAll() {
  NotSupported(this, "FetchAll");
}
void TAdsDataSet::GetIndexInfo() {
  NotSupported(this, "GetIndexInfo");
}
void TAdsDataSet::RevertRecord() {
  NotSupported(this, "RevertRecord");
}
TUpdateStatus TAdsDataSet::UpdateStatus() {
  NotSupported(this, "UpdateStatus");
}
