// C API of the callback registrations: the progress callback, the callback function with its
// id and the SQL abort function of the calling thread (engine/base/callbacks.h keeps them and
// reports to them).
#include "engine/api/api_guard.h"
#include "engine/base/callbacks.h"
#include "engine/include/ace.h"

using namespace ace;
using namespace ace::api;

extern "C" {

ACE_API UNSIGNED32 AdsRegisterProgressCallback(ADS_PROGRESS_CALLBACK fn) {
  return Guard([&] {
    if (fn == nullptr) return Status(kErrNullPointer, "no progress callback given");
    CurrentCallbacks().progress = fn;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsClearProgressCallback(void) {
  return Guard([] {
    CurrentCallbacks().progress = nullptr;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsRegisterSQLAbortFunc(ADS_SQL_ABORT_FUNC fn) {
  return Guard([&] {
    if (fn == nullptr) return Status(kErrNullPointer, "no SQL abort function given");
    CurrentCallbacks().sql_abort = fn;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsClearSQLAbortFunc(void) {
  return Guard([] {
    CurrentCallbacks().sql_abort = nullptr;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsRegisterCallbackFunction(ADS_CALLBACK_FUNCTION fn, UNSIGNED32 ulCallbackID) {
  return Guard([&] {
    if (fn == nullptr) return Status(kErrNullPointer, "no callback function given");
    CurrentCallbacks().callback = fn;
    CurrentCallbacks().callback_id = ulCallbackID;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsClearCallbackFunction(void) {
  return Guard([] {
    CurrentCallbacks().callback = nullptr;
    CurrentCallbacks().callback_id = 0;
    return Status::Ok();
  });
}

}  // extern "C"
