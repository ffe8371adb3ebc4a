// C API of table encryption.
#include "engine/api/api_guard.h"
#include "engine/api/api_objects.h"
#include "engine/base/error_codes.h"
#include "engine/include/ace.h"

using namespace ace;
using namespace ace::api;

namespace {

UNSIGNED32 NotYet(ADSHANDLE h) {
  return Guard([&]() -> Status {
    auto table = GetTable(h);
    if (!table.ok()) return table.status();
    return Status(kErrNotSupported, "table encryption is not available in this build");
  });
}

UNSIGNED32 AnswerNo(ADSHANDLE h, UNSIGNED16* flag, const char* name) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(flag, name));
    auto table = GetTable(h);
    if (!table.ok()) return table.status();
    *flag = 0;
    return Status::Ok();
  });
}

}  // namespace

extern "C" {

ACE_API UNSIGNED32 AdsEnableEncryption(ADSHANDLE hTable, const UNSIGNED8*) { return NotYet(hTable); }
ACE_API UNSIGNED32 AdsDisableEncryption(ADSHANDLE hTable) { return NotYet(hTable); }
ACE_API UNSIGNED32 AdsEncryptTable(ADSHANDLE hTable) { return NotYet(hTable); }
ACE_API UNSIGNED32 AdsDecryptTable(ADSHANDLE hTable) { return NotYet(hTable); }
ACE_API UNSIGNED32 AdsEncryptRecord(ADSHANDLE hTable) { return NotYet(hTable); }
ACE_API UNSIGNED32 AdsDecryptRecord(ADSHANDLE hTable) { return NotYet(hTable); }
ACE_API UNSIGNED32 AdsIsEncryptionEnabled(ADSHANDLE hTable, UNSIGNED16* pbEnabled) {
  return AnswerNo(hTable, pbEnabled, "pbEnabled");
}
ACE_API UNSIGNED32 AdsIsTableEncrypted(ADSHANDLE hTable, UNSIGNED16* pbEncrypted) {
  return AnswerNo(hTable, pbEncrypted, "pbEncrypted");
}
ACE_API UNSIGNED32 AdsIsRecordEncrypted(ADSHANDLE hTable, UNSIGNED16* pbEncrypted) {
  return AnswerNo(hTable, pbEncrypted, "pbEncrypted");
}

}  // extern "C"
