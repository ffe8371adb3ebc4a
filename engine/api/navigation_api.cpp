// C API of navigation in natural order or an index's order: moves, BOF/EOF, record numbers and
// counts, bookmarks, relative positions and the show-deleted setting. Turns C arguments into
// ace::cursor::Cursor calls.
#include <cstring>

#include "engine/api/api_guard.h"
#include "engine/api/api_objects.h"
#include "engine/api/index_api.h"
#include "engine/api/sql_api.h"
#include "engine/base/error_codes.h"
#include "engine/include/ace.h"

using namespace ace;
using namespace ace::api;

namespace {

// A table handle moves in record order, an index handle in its index's order.
template <typename Fn>
UNSIGNED32 OnCursor(ADSHANDLE h, Fn&& fn) {
  return Guard([&]() -> Status {
    auto target = PeekOrder(h);
    if (!target.ok()) return target.status();
    cursor::Cursor& c = target.value().table->cursor();
    c.SetOrder(target.value().tag);
    return fn(c);
  });
}

template <typename T, typename Fn>
UNSIGNED32 Answer(ADSHANDLE h, T* out, const char* what, Fn&& fn) {
  return OnCursor(h, [&](cursor::Cursor& c) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(out, what));
    auto value = fn(c);
    if (!value.ok()) return value.status();
    *out = static_cast<T>(value.value());
    return Status::Ok();
  });
}

}  // namespace

extern "C" {

ACE_API UNSIGNED32 AdsGotoTop(ADSHANDLE hObj) {
  return OnCursor(hObj, [](cursor::Cursor& c) { return c.GotoTop(); });
}

ACE_API UNSIGNED32 AdsGotoBottom(ADSHANDLE hObj) {
  return OnCursor(hObj, [](cursor::Cursor& c) { return c.GotoBottom(); });
}

ACE_API UNSIGNED32 AdsGotoBOF(ADSHANDLE hObj) {
  return OnCursor(hObj, [](cursor::Cursor& c) { return c.GotoBof(); });
}

ACE_API UNSIGNED32 AdsGotoEOF(ADSHANDLE hObj) {
  return OnCursor(hObj, [](cursor::Cursor& c) { return c.GotoEof(); });
}

ACE_API UNSIGNED32 AdsSkip(ADSHANDLE hObj, SIGNED32 lRecs) {
  return OnCursor(hObj, [&](cursor::Cursor& c) { return c.Skip(lRecs); });
}

ACE_API UNSIGNED32 AdsGotoRecord(ADSHANDLE hObj, UNSIGNED32 ulRec) {
  return OnCursor(hObj, [&](cursor::Cursor& c) { return c.GotoRecord(ulRec); });
}

ACE_API UNSIGNED32 AdsAtBOF(ADSHANDLE hObj, UNSIGNED16* pbBof) {
  return Answer(hObj, pbBof, "pbBof", [](cursor::Cursor& c) { return Result<bool>(c.at_bof()); });
}

ACE_API UNSIGNED32 AdsAtEOF(ADSHANDLE hObj, UNSIGNED16* pbEof) {
  return Answer(hObj, pbEof, "pbEof", [](cursor::Cursor& c) { return Result<bool>(c.at_eof()); });
}

ACE_API UNSIGNED32 AdsIsRecordVisible(ADSHANDLE hObj, UNSIGNED16* pbVisible) {
  return Answer(hObj, pbVisible, "pbVisible", [](cursor::Cursor& c) { return c.CurrentVisible(); });
}

ACE_API UNSIGNED32 AdsIsRecordDeleted(ADSHANDLE hTable, UNSIGNED16* pbDeleted) {
  return Answer(hTable, pbDeleted, "pbDeleted", [](cursor::Cursor& c) { return c.IsDeleted(); });
}

ACE_API UNSIGNED32 AdsGetRecordNum(ADSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED32* pulRec) {
  return Answer(hObj, pulRec, "pulRec",
                [&](cursor::Cursor& c) { return c.RecordNumber(usFilterOption); });
}

ACE_API UNSIGNED32 AdsGetRecordCount(ADSHANDLE hObj, UNSIGNED16 usFilterOption,
                                     UNSIGNED32* pulCount) {
  if (IsStatementHandle(hObj)) {  // rows affected by the statement's last execution
    return Guard([&]() -> Status {
      ACE_RETURN_IF_ERROR(RequireOut(pulCount, "pulCount"));
      auto rows = StatementRowCount(hObj);
      if (!rows.ok()) return rows.status();
      *pulCount = rows.value();
      return Status::Ok();
    });
  }
  return Answer(hObj, pulCount, "pulCount",
                [&](cursor::Cursor& c) { return c.RecordCount(usFilterOption); });
}

ACE_API UNSIGNED32 AdsGetBookmark(ADSHANDLE hObj, ADSHANDLE* phBookmark) {
  return Answer(hObj, phBookmark, "phBookmark", [](cursor::Cursor& c) -> Result<uint32_t> {
    if (c.recno() == 0)
      return Status(kErrNoCurrentRecord, c.path() + ": there is no current record to mark");
    return c.recno();
  });
}

ACE_API UNSIGNED32 AdsGetBookmarkLength(ADSHANDLE hObj, UNSIGNED32* pulLength) {
  return Answer(hObj, pulLength, "pulLength",
                [](cursor::Cursor&) { return Result<uint32_t>(ADS_BOOKMARK_LENGTH); });
}

ACE_API UNSIGNED32 AdsGetBookmark60(ADSHANDLE hObj, UNSIGNED8* pucBookmark, UNSIGNED32* pulLength) {
  return OnCursor(hObj, [&](cursor::Cursor& c) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pulLength, "pulLength"));
    if (*pulLength < ADS_BOOKMARK_LENGTH) {
      *pulLength = ADS_BOOKMARK_LENGTH;
      return Status(kErrInsufficientBuffer,
                    "a bookmark needs " + std::to_string(ADS_BOOKMARK_LENGTH) + " bytes");
    }
    ACE_RETURN_IF_ERROR(RequireOut(pucBookmark, "pucBookmark"));
    if (c.recno() == 0)
      return Status(kErrNoCurrentRecord, c.path() + ": there is no current record to mark");
    const uint32_t recno = c.recno();
    for (int i = 0; i < 4; ++i) pucBookmark[i] = static_cast<UNSIGNED8>(recno >> (8 * i));
    *pulLength = ADS_BOOKMARK_LENGTH;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGotoBookmark(ADSHANDLE hObj, ADSHANDLE hBookmark) {
  return OnCursor(hObj, [&](cursor::Cursor& c) { return c.GotoRecord(hBookmark); });
}

ACE_API UNSIGNED32 AdsCompareBookmarks(const UNSIGNED8* pucBookmark1, const UNSIGNED8* pucBookmark2,
                                       SIGNED32* plResult) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pucBookmark1, "pucBookmark1"));
    ACE_RETURN_IF_ERROR(RequireOut(pucBookmark2, "pucBookmark2"));
    ACE_RETURN_IF_ERROR(RequireOut(plResult, "plResult"));
    uint32_t a = 0;
    uint32_t b = 0;
    for (int i = 0; i < 4; ++i) {
      a |= static_cast<uint32_t>(pucBookmark1[i]) << (8 * i);
      b |= static_cast<uint32_t>(pucBookmark2[i]) << (8 * i);
    }
    *plResult = a < b ? -1 : (a > b ? 1 : 0);
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetRelKeyPos(ADSHANDLE hIndex, DOUBLE* pdPos) {
  return Answer(hIndex, pdPos, "pdPos", [](cursor::Cursor& c) { return c.RelativePosition(); });
}

ACE_API UNSIGNED32 AdsSetRelKeyPos(ADSHANDLE hIndex, DOUBLE dPos) {
  return OnCursor(hIndex, [&](cursor::Cursor& c) { return c.SetRelativePosition(dPos); });
}

ACE_API UNSIGNED32 AdsShowDeleted(UNSIGNED16 bShowDeleted) {
  cursor::SetShowDeleted(bShowDeleted != 0);
  return 0;
}

ACE_API UNSIGNED32 AdsGetDeleted(UNSIGNED16* pbShowDeleted) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pbShowDeleted, "pbShowDeleted"));
    *pbShowDeleted = cursor::ShowDeleted() ? 1 : 0;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsRefreshRecord(ADSHANDLE hTable) {
  return OnCursor(hTable, [](cursor::Cursor& c) { return c.Refresh(); });
}

}  // extern "C"
