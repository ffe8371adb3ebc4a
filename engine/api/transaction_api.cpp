// C API of transactions: begin, commit, rollback, savepoints and the transaction state of a
// connection. Turns C arguments into calls of ace::txn::TransactionManager.
#include <string>

#include "engine/api/api_guard.h"
#include "engine/api/api_objects.h"
#include "engine/base/error_codes.h"
#include "engine/include/ace.h"

using namespace ace;
using namespace ace::api;

namespace {

template <typename Body>
UNSIGNED32 OnTransactions(ADSHANDLE hConnect, Body&& body) {
  return Guard([&]() -> Status {
    auto conn = GetConnection(hConnect);
    if (!conn.ok()) return conn.status();
    return body(conn.value()->transactions());
  });
}

Status CheckNoOptions(UNSIGNED32 options) {
  if (options == 0) return Status::Ok();
  return Status(kErrInvalidArgument,
                "unknown savepoint options " + std::to_string(options) + " (0 is expected)");
}

}  // namespace

extern "C" {

ACE_API UNSIGNED32 AdsBeginTransaction(ADSHANDLE hConnect) {
  return OnTransactions(hConnect, [](txn::TransactionManager& t) { return t.Begin(); });
}

ACE_API UNSIGNED32 AdsCommitTransaction(ADSHANDLE hConnect) {
  return OnTransactions(hConnect, [](txn::TransactionManager& t) { return t.Commit(); });
}

ACE_API UNSIGNED32 AdsRollbackTransaction(ADSHANDLE hConnect) {
  return OnTransactions(hConnect, [](txn::TransactionManager& t) { return t.Rollback(); });
}

ACE_API UNSIGNED32 AdsRollbackTransaction80(ADSHANDLE hConnect, const UNSIGNED8* pucSavepoint,
                                            UNSIGNED32 ulOptions) {
  return OnTransactions(hConnect, [&](txn::TransactionManager& t) -> Status {
    ACE_RETURN_IF_ERROR(CheckNoOptions(ulOptions));
    if (pucSavepoint == nullptr || pucSavepoint[0] == 0) return t.Rollback();
    return t.RollbackTo(reinterpret_cast<const char*>(pucSavepoint));
  });
}

ACE_API UNSIGNED32 AdsCreateSavepoint(ADSHANDLE hConnect, const UNSIGNED8* pucSavepoint,
                                      UNSIGNED32 ulOptions) {
  return OnTransactions(hConnect, [&](txn::TransactionManager& t) -> Status {
    ACE_RETURN_IF_ERROR(CheckNoOptions(ulOptions));
    auto name = InText(pucSavepoint, "pucSavepoint");
    if (!name.ok()) return name.status();
    return t.CreateSavepoint(name.value());
  });
}

ACE_API UNSIGNED32 AdsInTransaction(ADSHANDLE hConnect, UNSIGNED16* pbInTrans) {
  return OnTransactions(hConnect, [&](txn::TransactionManager& t) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pbInTrans, "pbInTrans"));
    *pbInTrans = t.active() ? 1 : 0;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetTransactionCount(ADSHANDLE hConnect, UNSIGNED32* pulTransactionCount) {
  return OnTransactions(hConnect, [&](txn::TransactionManager& t) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pulTransactionCount, "pulTransactionCount"));
    *pulTransactionCount = t.count();
    return Status::Ok();
  });
}

}  // extern "C"
