// C API of filters: plain filters, optimized filters (AOF), locate and key lookup. Turns C
// arguments into ace::cursor::Cursor calls (engine/cursor/cursor_order.cpp holds the plain
// filter, engine/cursor/cursor_filter.cpp the optimized one, locate and lookup).
#include <cstring>
#include <string>

#include "engine/api/api_guard.h"
#include "engine/api/api_objects.h"
#include "engine/api/index_api.h"
#include "engine/base/error_codes.h"
#include "engine/expr/key_encoding.h"
#include "engine/fields/code_page.h"
#include "engine/include/ace.h"

using namespace ace;
using namespace ace::api;

namespace {

// A text argument of a function ending in 100: UTF-16 with ADS_ENCODE_UTF16, else 8-bit.
Result<std::string> WideOrAnsi(const void* text, UNSIGNED32 options, const char* what) {
  if (text == nullptr)
    return Status(kErrNullPointer, std::string("the argument ") + what + " is missing");
  if ((options & ADS_ENCODE_UTF16) == 0) return std::string(static_cast<const char*>(text));
  return fields::Utf16ToAnsi(std::u16string_view(static_cast<const char16_t*>(text)));
}

// A text answered by a function ending in 100, *len counting characters (the zero included in
// the capacity); too small a buffer answers 5005 with the length needed.
Status CopyOutWideOrAnsi(const std::string& text, UNSIGNED32 options, void* buf, UNSIGNED32* len) {
  if ((options & ADS_ENCODE_UTF16) == 0) return CopyOutText(text, static_cast<uint8_t*>(buf), len);
  if (len == nullptr) return Status(kErrNullPointer, "the length argument is missing");
  const std::u16string wide = fields::AnsiToUtf16(text);
  if (wide.size() + 1 > *len) {
    const UNSIGNED32 capacity = *len;
    *len = static_cast<UNSIGNED32>(wide.size());
    return Status(kErrInsufficientBuffer, "the buffer holds " + std::to_string(capacity) +
                                              " characters; " + std::to_string(wide.size() + 1) +
                                              " are needed");
  }
  if (buf == nullptr) return Status(kErrNullPointer, "the text buffer is missing");
  auto* out = static_cast<char16_t*>(buf);
  std::memcpy(out, wide.data(), wide.size() * sizeof(char16_t));
  out[wide.size()] = 0;
  *len = static_cast<UNSIGNED32>(wide.size());
  return Status::Ok();
}

Status CheckOptionBits(UNSIGNED32 options, UNSIGNED32 allowed) {
  if ((options & ~allowed) != 0)
    return Status(kErrInvalidArgument, "unknown option bits " + std::to_string(options & ~allowed));
  return Status::Ok();
}

// A key argument as AdsSeek takes it, encoded for the tag.
Result<std::string> LookupKeyArgument(index::Tag* tag, const UNSIGNED8* key, UNSIGNED16 len,
                                      UNSIGNED16 type) {
  if (key == nullptr) return Status(kErrNullPointer, "the key is missing");
  const auto* text = reinterpret_cast<const char*>(key);
  const expr::KeySpec& spec = tag->key_spec();
  switch (type) {
    case ADS_RAWKEY:
      if (len > spec.length)
        return Status(kErrInvalidArgument, "the raw key has " + std::to_string(len) +
                                               " bytes; the index's keys have " +
                                               std::to_string(spec.length));
      return std::string(text, len);
    case ADS_STRINGKEY:
      return expr::EncodeKeyFromText(std::string_view(text, strnlen(text, len)), spec);
    case ADS_WSTRINGKEY:
      return expr::EncodeKeyFromText(WideKeyText(key, len), spec);
    case ADS_DOUBLEKEY: {
      if (len < sizeof(double)) return Status(kErrInvalidArgument, "a double key has 8 bytes");
      if (spec.type != expr::ValueType::kNumeric && spec.type != expr::ValueType::kDate)
        return Status(kErrConversion, "a double key needs a numeric or date index");
      double d;
      std::memcpy(&d, key, sizeof d);
      return expr::EncodeDoubleKey(d);
    }
    default:
      return Status(kErrInvalidArgument,
                    "key type " + std::to_string(type) +
                        ": ADS_RAWKEY, ADS_STRINGKEY, ADS_WSTRINGKEY or ADS_DOUBLEKEY");
  }
}

Status AnswerFlag(UNSIGNED16* out, const char* what, const Result<bool>& value) {
  if (!value.ok()) return value.status();
  ACE_RETURN_IF_ERROR(RequireOut(out, what));
  *out = value.value() ? 1 : 0;
  return Status::Ok();
}

Status AnswerLevel(cursor::Cursor& c, UNSIGNED16* level, std::string* unoptimized) {
  ACE_RETURN_IF_ERROR(RequireOut(level, "pusOptLevel"));
  auto l = c.AofOptLevel(unoptimized);
  if (!l.ok()) return l.status();
  *level = static_cast<UNSIGNED16>(l.value());
  return Status::Ok();
}

}  // namespace

extern "C" {

// ---- Plain filters ---------------------------------------------------------------------------

ACE_API UNSIGNED32 AdsSetFilter(ADSHANDLE hTable, const UNSIGNED8* pucFilter) {
  return OnTableOf(hTable, [&](cursor::Cursor& c) -> Status {
    auto text = InText(pucFilter, "pucFilter");
    if (!text.ok()) return text.status();
    return c.SetFilter(text.value());
  });
}

ACE_API UNSIGNED32 AdsSetFilter100(ADSHANDLE hTable, const void* pvFilter, UNSIGNED32 ulOptions) {
  return OnTableOf(hTable, [&](cursor::Cursor& c) -> Status {
    ACE_RETURN_IF_ERROR(CheckOptionBits(ulOptions, ADS_ENCODE_UTF16));
    auto text = WideOrAnsi(pvFilter, ulOptions, "pvFilter");
    if (!text.ok()) return text.status();
    return c.SetFilter(text.value());
  });
}

ACE_API UNSIGNED32 AdsGetFilter(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen) {
  return OnTableOf(hTable, [&](cursor::Cursor& c) -> Status {
    if (!c.has_filter()) return Status(kErrNoFilter, c.path() + ": no filter is set");
    return CopyOutText(c.filter_text(), pucFilter, pusLen);
  });
}

ACE_API UNSIGNED32 AdsClearFilter(ADSHANDLE hTable) {
  return OnTableOf(hTable, [&](cursor::Cursor& c) { return c.ClearFilter(); });
}

// ---- Optimized filters -----------------------------------------------------------------------

ACE_API UNSIGNED32 AdsSetAOF(ADSHANDLE hTable, const UNSIGNED8* pucFilter, UNSIGNED16 usResolve) {
  return OnTableOf(hTable, [&](cursor::Cursor& c) -> Status {
    auto text = InText(pucFilter, "pucFilter");
    if (!text.ok()) return text.status();
    return c.SetAof(text.value(), usResolve);
  });
}

ACE_API UNSIGNED32 AdsSetAOF100(ADSHANDLE hTable, const void* pvFilter, UNSIGNED32 ulOptions) {
  return OnTableOf(hTable, [&](cursor::Cursor& c) -> Status {
    auto text = WideOrAnsi(pvFilter, ulOptions, "pvFilter");
    if (!text.ok()) return text.status();
    return c.SetAof(text.value(), ulOptions & ~static_cast<UNSIGNED32>(ADS_ENCODE_UTF16));
  });
}

ACE_API UNSIGNED32 AdsGetAOF(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen) {
  return OnTableOf(hTable, [&](cursor::Cursor& c) -> Status {
    if (!c.has_aof()) return Status(kErrNoFilter, c.path() + ": no optimized filter is set");
    return CopyOutText(c.aof_text(), pucFilter, pusLen);
  });
}

ACE_API UNSIGNED32 AdsGetAOF100(ADSHANDLE hTable, UNSIGNED32 ulOptions, void* pvFilter,
                                UNSIGNED32* pulLen) {
  return OnTableOf(hTable, [&](cursor::Cursor& c) -> Status {
    ACE_RETURN_IF_ERROR(CheckOptionBits(ulOptions, ADS_ENCODE_UTF16));
    if (!c.has_aof()) return Status(kErrNoFilter, c.path() + ": no optimized filter is set");
    return CopyOutWideOrAnsi(c.aof_text(), ulOptions, pvFilter, pulLen);
  });
}

ACE_API UNSIGNED32 AdsClearAOF(ADSHANDLE hTable) {
  return OnTableOf(hTable, [&](cursor::Cursor& c) { return c.ClearAof(); });
}

ACE_API UNSIGNED32 AdsRefreshAOF(ADSHANDLE hTable) {
  return OnTableOf(hTable, [&](cursor::Cursor& c) { return c.RefreshAof(); });
}

ACE_API UNSIGNED32 AdsCustomizeAOF(ADSHANDLE hTable, UNSIGNED32 ulNumRecords,
                                   const UNSIGNED32* pulRecords, UNSIGNED16 usOption) {
  return OnTableOf(hTable, [&](cursor::Cursor& c) -> Status {
    if (ulNumRecords > 0 && pulRecords == nullptr)
      return Status(kErrNullPointer, "the argument pulRecords is missing");
    std::vector<uint32_t> records(pulRecords, pulRecords + ulNumRecords);
    return c.CustomizeAof(records, usOption);
  });
}

ACE_API UNSIGNED32 AdsEvalAOF(ADSHANDLE hTable, const UNSIGNED8* pucFilter,
                              UNSIGNED16* pusOptLevel) {
  return OnTableOf(hTable, [&](cursor::Cursor& c) -> Status {
    auto text = InText(pucFilter, "pucFilter");
    if (!text.ok()) return text.status();
    ACE_RETURN_IF_ERROR(RequireOut(pusOptLevel, "pusOptLevel"));
    auto level = c.EvalAofLevel(text.value(), nullptr);
    if (!level.ok()) return level.status();
    *pusOptLevel = static_cast<UNSIGNED16>(level.value());
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetAOFOptLevel(ADSHANDLE hTable, UNSIGNED16* pusOptLevel,
                                     UNSIGNED8* pucNonOpt, UNSIGNED16* pusLen) {
  return OnTableOf(hTable, [&](cursor::Cursor& c) -> Status {
    std::string unoptimized;
    ACE_RETURN_IF_ERROR(AnswerLevel(c, pusOptLevel, &unoptimized));
    if (pusLen == nullptr) return Status::Ok();  // the level alone
    return CopyOutText(unoptimized, pucNonOpt, pusLen);
  });
}

ACE_API UNSIGNED32 AdsGetAOFOptLevel100(ADSHANDLE hTable, UNSIGNED16* pusOptLevel, void* pvNonOpt,
                                        UNSIGNED32* pulLen, UNSIGNED32 ulOptions) {
  return OnTableOf(hTable, [&](cursor::Cursor& c) -> Status {
    ACE_RETURN_IF_ERROR(CheckOptionBits(ulOptions, ADS_ENCODE_UTF16));
    std::string unoptimized;
    ACE_RETURN_IF_ERROR(AnswerLevel(c, pusOptLevel, &unoptimized));
    if (pulLen == nullptr) return Status::Ok();
    return CopyOutWideOrAnsi(unoptimized, ulOptions, pvNonOpt, pulLen);
  });
}

ACE_API UNSIGNED32 AdsIsRecordInAOF(ADSHANDLE hTable, UNSIGNED32 ulRecordNum,
                                    UNSIGNED16* pbIsInAOF) {
  return OnTableOf(hTable, [&](cursor::Cursor& c) -> Status {
    return AnswerFlag(pbIsInAOF, "pbIsInAOF", c.IsRecordInAof(ulRecordNum));
  });
}

// ---- Locate and lookup -----------------------------------------------------------------------

ACE_API UNSIGNED32 AdsLocate(ADSHANDLE hObj, const UNSIGNED8* pucExpr, UNSIGNED16 bForward,
                             UNSIGNED16* pbFound) {
  return OnOrderOf(hObj, [&](cursor::Cursor& c) -> Status {
    auto text = InText(pucExpr, "pucExpr");
    if (!text.ok()) return text.status();
    ACE_RETURN_IF_ERROR(RequireOut(pbFound, "pbFound"));
    return AnswerFlag(pbFound, "pbFound", c.Locate(text.value(), bForward != 0));
  });
}

ACE_API UNSIGNED32 AdsContinue(ADSHANDLE hObj, UNSIGNED16* pbFound) {
  return OnOrderOf(hObj, [&](cursor::Cursor& c) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pbFound, "pbFound"));
    return AnswerFlag(pbFound, "pbFound", c.Continue());
  });
}

ACE_API UNSIGNED32 AdsLookupKey(ADSHANDLE hIndex, const UNSIGNED8* pucKey, UNSIGNED16 usKeyLen,
                                UNSIGNED16 usDataType, UNSIGNED16* pbFound) {
  return Guard([&]() -> Status {
    auto ix = GetIndex(hIndex);
    if (!ix.ok()) return ix.status();
    ACE_RETURN_IF_ERROR(RequireOut(pbFound, "pbFound"));
    auto key = LookupKeyArgument(ix.value()->tag(), pucKey, usKeyLen, usDataType);
    if (!key.ok()) return key.status();
    return AnswerFlag(pbFound, "pbFound",
                      ix.value()->table().cursor().LookupKey(ix.value()->tag(), key.value()));
  });
}

}  // extern "C"
