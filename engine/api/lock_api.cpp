// C API of record and table locks. Turns C arguments into ace::cursor::Cursor and TableLocks
// calls; the lock scheme itself is engine/cursor/table_locks.h.
#include "engine/api/api_guard.h"
#include "engine/api/api_objects.h"
#include "engine/base/error_codes.h"
#include "engine/include/ace.h"

using namespace ace;
using namespace ace::api;

namespace {

template <typename Fn>
UNSIGNED32 OnCursor(ADSHANDLE h, Fn&& fn) {
  return Guard([&]() -> Status {
    auto table = GetTable(h);
    if (!table.ok()) return table.status();
    return fn(table.value()->cursor());
  });
}

}  // namespace

extern "C" {

ACE_API UNSIGNED32 AdsLockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec) {
  return OnCursor(hTable, [&](cursor::Cursor& c) { return c.LockRecord(ulRec); });
}

ACE_API UNSIGNED32 AdsUnlockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec) {
  return OnCursor(hTable, [&](cursor::Cursor& c) { return c.UnlockRecord(ulRec); });
}

ACE_API UNSIGNED32 AdsLockTable(ADSHANDLE hTable) {
  return OnCursor(hTable, [](cursor::Cursor& c) { return c.LockTable(); });
}

ACE_API UNSIGNED32 AdsUnlockTable(ADSHANDLE hTable) {
  return OnCursor(hTable, [](cursor::Cursor& c) { return c.UnlockTable(); });
}

ACE_API UNSIGNED32 AdsIsRecordLocked(ADSHANDLE hTable, UNSIGNED32 ulRec, UNSIGNED16* pbLocked) {
  return OnCursor(hTable, [&](cursor::Cursor& c) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pbLocked, "pbLocked"));
    uint32_t recno = ulRec == 0 ? c.recno() : ulRec;
    if (recno == 0) return Status(kErrNoCurrentRecord, c.path() + ": there is no current record");
    *pbLocked = c.locks().HoldsRecord(recno) || c.locks().holds_table() ? 1 : 0;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsIsTableLocked(ADSHANDLE hTable, UNSIGNED16* pbLocked) {
  return OnCursor(hTable, [&](cursor::Cursor& c) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pbLocked, "pbLocked"));
    *pbLocked = c.locks().holds_table() ? 1 : 0;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetNumLocks(ADSHANDLE hTable, UNSIGNED16* pusNum) {
  return OnCursor(hTable, [&](cursor::Cursor& c) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusNum, "pusNum"));
    *pusNum = static_cast<UNSIGNED16>(c.locks().records().size());
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetAllLocks(ADSHANDLE hTable, UNSIGNED32* aulLocks, UNSIGNED16* pusArrayLen) {
  return OnCursor(hTable, [&](cursor::Cursor& c) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusArrayLen, "pusArrayLen"));
    std::vector<uint32_t> locks = c.locks().records();
    if (locks.size() > *pusArrayLen) {
      *pusArrayLen = static_cast<UNSIGNED16>(locks.size());
      return Status(kErrInsufficientBuffer, "the array holds fewer entries than the " +
                                                std::to_string(locks.size()) + " locks");
    }
    if (!locks.empty()) ACE_RETURN_IF_ERROR(RequireOut(aulLocks, "aulLocks"));
    for (size_t i = 0; i < locks.size(); ++i) aulLocks[i] = locks[i];
    *pusArrayLen = static_cast<UNSIGNED16>(locks.size());
    return Status::Ok();
  });
}

}  // extern "C"
