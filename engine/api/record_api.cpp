// C API of whole records: the record image, new records, writing and cancelling pending
// changes, deletion marks, the record CRC and the last autoincrement value. Turns C arguments
// into ace::cursor::Cursor calls.
#include <cstring>

#include "engine/api/api_guard.h"
#include "engine/api/api_objects.h"
#include "engine/api/sql_api.h"
#include "engine/base/error_codes.h"
#include "engine/include/ace.h"

using namespace ace;
using namespace ace::api;

namespace {

template <typename Fn>
UNSIGNED32 OnCursor(ADSHANDLE h, Fn&& fn) {
  return Guard([&]() -> Status {
    auto table = PeekTable(h);
    if (!table.ok()) return table.status();
    return fn(table.value()->cursor());
  });
}

Status CopyImage(const std::vector<std::byte>& image, UNSIGNED8* buf, UNSIGNED32* len) {
  ACE_RETURN_IF_ERROR(RequireOut(len, "pulLen"));
  if (*len < image.size()) {
    UNSIGNED32 given = *len;
    *len = static_cast<UNSIGNED32>(image.size());
    return Status(kErrInsufficientBuffer, "the record needs " + std::to_string(image.size()) +
                                              " bytes; the buffer has " + std::to_string(given));
  }
  ACE_RETURN_IF_ERROR(RequireOut(buf, "pucRec"));
  std::memcpy(buf, image.data(), image.size());
  *len = static_cast<UNSIGNED32>(image.size());
  return Status::Ok();
}

}  // namespace

extern "C" {

ACE_API UNSIGNED32 AdsGetRecord(ADSHANDLE hTable, UNSIGNED8* pucRec, UNSIGNED32* pulLen) {
  return OnCursor(hTable, [&](cursor::Cursor& c) -> Status {
    if (!c.has_record()) {
      ACE_RETURN_IF_ERROR(RequireOut(pulLen, "pulLen"));
      return Status(kErrNoCurrentRecord, c.path() + ": there is no current record");
    }
    return CopyImage(c.record(), pucRec, pulLen);
  });
}

ACE_API UNSIGNED32 AdsGetNullRecord(ADSHANDLE hTable, UNSIGNED8* pucRec, UNSIGNED32* pulLen) {
  return OnCursor(
      hTable, [&](cursor::Cursor& c) { return CopyImage(c.file().BlankRecord(), pucRec, pulLen); });
}

ACE_API UNSIGNED32 AdsClearRecordBuffer(ADSHANDLE hTable, UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
  return OnCursor(hTable, [&](cursor::Cursor& c) -> Status {
    std::vector<std::byte> blank = c.file().BlankRecord();
    if (ulLen < blank.size()) {
      return Status(kErrInsufficientBuffer, "the record needs " + std::to_string(blank.size()) +
                                                " bytes; the buffer has " + std::to_string(ulLen));
    }
    ACE_RETURN_IF_ERROR(RequireOut(pucBuf, "pucBuf"));
    std::memcpy(pucBuf, blank.data(), blank.size());
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsAppendRecord(ADSHANDLE hTable) {
  return OnCursor(hTable, [](cursor::Cursor& c) { return c.BeginAppend(); });
}

ACE_API UNSIGNED32 AdsWriteRecord(ADSHANDLE hTable) {
  return OnCursor(hTable, [](cursor::Cursor& c) { return c.WriteRecord(); });
}

ACE_API UNSIGNED32 AdsCancelUpdate(ADSHANDLE hTable) {
  return OnCursor(hTable, [](cursor::Cursor& c) { return c.CancelUpdate(); });
}

ACE_API UNSIGNED32 AdsDeleteRecord(ADSHANDLE hTable) {
  return OnCursor(hTable, [](cursor::Cursor& c) { return c.DeleteRecord(); });
}

ACE_API UNSIGNED32 AdsRecallRecord(ADSHANDLE hTable) {
  return OnCursor(hTable, [](cursor::Cursor& c) { return c.RecallRecord(); });
}

ACE_API UNSIGNED32 AdsGetRecordCRC(ADSHANDLE hTable, UNSIGNED32* pulCRC, UNSIGNED32 ulOptions) {
  return OnCursor(hTable, [&](cursor::Cursor& c) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pulCRC, "pulCRC"));
    auto crc = c.RecordCrc(ulOptions);
    if (!crc.ok()) return crc.status();
    *pulCRC = crc.value();
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetLastAutoinc(ADSHANDLE hObj, UNSIGNED32* pulAutoIncVal) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pulAutoIncVal, "pulAutoIncVal"));
    if (IsStatementHandle(hObj)) {
      auto value = StatementLastAutoinc(hObj);
      if (!value.ok()) return value.status();
      *pulAutoIncVal = value.value();
      return Status::Ok();
    }
    auto table = GetTable(hObj);
    if (!table.ok()) return table.status();
    *pulAutoIncVal = 0;
    const auto& image = table.value()->cursor().last_appended();
    if (image.empty()) return Status::Ok();
    const auto& fields = table.value()->cursor().file().fields();
    for (size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].type != storage::kFtAutoInc && fields[i].autoinc_step == 0) continue;
      auto value = fields::GetLongLong(table.value()->Context(i),
                                       fields::ConstImage(image.data(), image.size()));
      if (!value.ok()) return value.status();
      *pulAutoIncVal = static_cast<UNSIGNED32>(value.value());
      return Status::Ok();
    }
    return Status::Ok();
  });
}

}  // extern "C"
