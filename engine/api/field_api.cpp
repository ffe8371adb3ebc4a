// C API of field values: the getters and setters by name or number, memo and binary data in
// chunks and files, the VFP system field and the date conversions. The conversions themselves
// are engine/fields (field_codec.h, dates.h); memo contents go through TableFile::ReadMemo and
// WritePendingMemo. Setters change the cursor's copy of the record (Cursor::Edit).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/api/api_guard.h"
#include "engine/api/api_objects.h"
#include "engine/api/index_api.h"
#include "engine/api/sql_api.h"
#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/fields/code_page.h"
#include "engine/fields/dates.h"
#include "engine/include/ace.h"

using namespace ace;
using namespace ace::api;
using storage::FieldDesc;

namespace {

// What a field function works on: the table, the field's index and description.
struct FieldAccess {
  TableObject& table;
  size_t index;
  const FieldDesc& desc;

  cursor::Cursor& cursor() { return table.cursor(); }
  fields::FieldContext context() const { return table.Context(index); }
  bool memo() { return storage::IsMemoType(desc.type, cursor().file().type()); }
  fields::ConstImage image() {
    const auto& r = cursor().record();
    return fields::ConstImage(r.data(), r.size());
  }
};

template <typename Fn>
UNSIGNED32 OnField(ADSHANDLE h, const UNSIGNED8* field, Fn&& fn) {
  return Guard([&]() -> Status {
    auto table = PeekTable(h);
    if (!table.ok()) return table.status();
    auto index = table.value()->FieldIndex(field);
    if (!index.ok()) return index.status();
    FieldAccess access{*table.value(), index.value(), table.value()->field(index.value())};
    Status s = fn(access);
    if (s.ok()) return s;  // the context is spelled out for failures only
    return s.WithContext("field " + access.desc.name);
  });
}

// Getters need a current record.
template <typename Fn>
UNSIGNED32 ReadField(ADSHANDLE h, const UNSIGNED8* field, Fn&& fn) {
  return OnField(h, field, [&](FieldAccess& f) -> Status {
    if (!f.cursor().has_record()) return Status(kErrNoCurrentRecord, "there is no current record");
    return fn(f);
  });
}

// Setters change the cursor's copy of the record; called with an index handle, the index's
// key record (index_api.h).
template <typename Fn>
UNSIGNED32 WriteField(ADSHANDLE h, const UNSIGNED8* field, Fn&& fn) {
  if (IsIndexHandle(h)) {
    return Guard([&]() -> Status {
      std::shared_ptr<TableObject> table;
      auto key_record = KeyRecordOf(h, &table);
      if (!key_record.ok()) return key_record.status();
      auto index = table->FieldIndex(field);
      if (!index.ok()) return index.status();
      FieldAccess access{*table, index.value(), table->field(index.value())};
      if (access.memo())
        return Status(kErrInvalidArgument, "field " + access.desc.name + ": memo fields are no keys");
      std::vector<std::byte>& image = *key_record.value();
      Status s = fn(access, fields::Image(image.data(), image.size()));
      if (s.ok()) return s;
      return s.WithContext("field " + access.desc.name);
    });
  }
  return OnField(h, field, [&](FieldAccess& f) -> Status {
    auto image = f.cursor().Edit();
    if (!image.ok()) return image.status();
    return fn(f, fields::Image(image.value(), f.cursor().record().size()));
  });
}

Result<std::vector<uint8_t>> MemoContent(FieldAccess& f) {
  return f.cursor().file().ReadMemo(f.cursor().record().data(), f.desc);
}

storage::MemoKind KindOf(uint16_t type, uint16_t requested) {
  if (requested == ADS_IMAGE || type == storage::kFtImage) return storage::MemoKind::kImage;
  if (requested == ADS_BINARY || type == storage::kFtBinary || type == storage::kFtFoxBlob ||
      type == storage::kFtFoxGeneral)
    return storage::MemoKind::kBinary;
  return storage::MemoKind::kText;
}

Status StoreMemo(FieldAccess& f, fields::Image image, std::span<const uint8_t> data,
                 storage::MemoKind kind) {
  // The stored record's blocks stay untouched until the record is posted (a cancelled change
  // keeps the stored memo whole); the value waits in blocks of the edit's own.
  ACE_RETURN_IF_ERROR(f.cursor().file().WritePendingMemo(image.data(), f.desc, data, kind));
  if (f.cursor().file().type() == storage::TableType::kVfp && f.desc.nullable) {
    uint32_t clear = 0;
    return fields::AccessVfpSystemField(f.context(), image, fields::kVfpWriteNull, &clear);
  }
  return Status::Ok();
}

Result<std::u16string> FieldUtf16(FieldAccess& f, uint16_t trim) {
  if (f.memo()) {
    auto content = MemoContent(f);
    if (!content.ok()) return content.status();
    return fields::MemoToUtf16(f.context(), content.value(), trim);
  }
  return fields::GetUtf16(f.context(), f.image(), trim);
}

// The field's bytes for the binary getters.
Result<std::vector<uint8_t>> FieldBytes(FieldAccess& f) {
  if (f.memo()) return MemoContent(f);
  return fields::GetRaw(f.context(), f.image());
}

Status CopyOutWide(std::u16string_view text, WCHAR* buf, UNSIGNED32* len) {
  ACE_RETURN_IF_ERROR(RequireOut(len, "pulLen"));
  if (text.size() + 1 > *len) {
    UNSIGNED32 given = *len;
    *len = static_cast<UNSIGNED32>(text.size());
    return Status(kErrInsufficientBuffer, "the buffer holds " + std::to_string(given) +
                                              " characters; " + std::to_string(text.size() + 1) +
                                              " are needed");
  }
  ACE_RETURN_IF_ERROR(RequireOut(buf, "the text buffer"));
  std::memcpy(buf, text.data(), text.size() * sizeof(WCHAR));
  buf[text.size()] = 0;
  *len = static_cast<UNSIGNED32>(text.size());
  return Status::Ok();
}

uint16_t CheckTrim(uint16_t option) {
  return option <= ADS_TRIM ? option : ADS_NONE;
}

Status SetTextValue(FieldAccess& f, fields::Image image, std::string_view text) {
  if (f.memo()) {
    std::vector<uint8_t> data = fields::TextToMemo(f.context(), text);
    return StoreMemo(f, image, data, KindOf(f.desc.type, 0));
  }
  return fields::SetText(f.context(), image, text);
}

Status SetWideValue(FieldAccess& f, fields::Image image, std::u16string_view text) {
  if (f.memo()) {
    std::vector<uint8_t> data = fields::Utf16ToMemo(f.context(), text);
    return StoreMemo(f, image, data, KindOf(f.desc.type, 0));
  }
  return fields::SetUtf16(f.context(), image, text);
}

Status SetBytes(FieldAccess& f, fields::Image image, std::span<const uint8_t> data, uint16_t kind) {
  if (f.memo()) return StoreMemo(f, image, data, KindOf(f.desc.type, kind));
  if (f.desc.type != storage::kFtRaw && f.desc.type != storage::kFtVarbinaryFox) {
    return Status(kErrConversion,
                  "binary data goes only into memo, binary, raw and varbinary fields");
  }
  return fields::SetRaw(f.context(), image, data);
}

// A setter called with a statement handle sets a parameter of the statement's prepared text;
// make builds the value (or refuses it).
template <typename Make>
UNSIGNED32 SetParam(ADSHANDLE h, const UNSIGNED8* field, Make&& make) {
  return Guard([&]() -> Status {
    Result<sql::ParamValue> value = make();
    if (!value.ok()) return value.status();
    return SetStatementParam(h, field, std::move(value.value()));
  });
}

template <typename T, typename Get>
UNSIGNED32 GetNumber(ADSHANDLE h, const UNSIGNED8* field, T* out, Get&& get) {
  return ReadField(h, field, [&](FieldAccess& f) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(out, "the value argument"));
    auto value = get(f.context(), f.image());
    if (!value.ok()) return value.status();
    *out = static_cast<T>(value.value());
    return Status::Ok();
  });
}

Result<std::string_view> InBytes(const UNSIGNED8* buf, UNSIGNED32 len) {
  if (buf == nullptr) {
    if (len == 0) return std::string_view();
    return Status(kErrNullPointer, "the value buffer is missing");
  }
  return std::string_view(reinterpret_cast<const char*>(buf), len);
}

Result<std::vector<uint8_t>> ReadWholeFile(const std::string& path) {
  auto file = File::Open(path, OpenMode::kReadOnly);
  if (!file.ok()) return file.status();
  auto size = file->Size();
  if (!size.ok()) return size.status();
  std::vector<uint8_t> data(size.value());
  if (!data.empty()) ACE_RETURN_IF_ERROR(file->ReadAt(0, data.data(), data.size()));
  return data;
}

}  // namespace

extern "C" {

// ---- Getters --------------------------------------------------------------------------------

ACE_API UNSIGNED32 AdsGetField(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                               UNSIGNED32* pulLen, UNSIGNED16 usOption) {
  return ReadField(hTable, pucFldName, [&](FieldAccess& f) -> Status {
    const uint16_t trim = CheckTrim(usOption);
    if (f.memo()) {
      // A memo's text is most often its content as stored, copied out from where it was read.
      auto content = MemoContent(f);
      if (!content.ok()) return content.status();
      std::string_view text;
      if (fields::MemoTextInPlace(f.context(), content.value(), trim, &text))
        return CopyOutText(text, pucBuf, pulLen);
      return CopyOutText(fields::MemoToText(f.context(), content.value(), trim), pucBuf, pulLen);
    }
    auto text = fields::GetText(f.context(), f.image(), trim);
    if (!text.ok()) return text.status();
    return CopyOutText(text.value(), pucBuf, pulLen);
  });
}

ACE_API UNSIGNED32 AdsGetString(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                                UNSIGNED32* pulLen, UNSIGNED16 usOption) {
  return AdsGetField(hTable, pucFldName, pucBuf, pulLen, usOption);
}

ACE_API UNSIGNED32 AdsGetFieldW(ADSHANDLE hTable, const UNSIGNED8* pucFldName, WCHAR* pwcBuf,
                                UNSIGNED32* pulLen, UNSIGNED16 usOption) {
  return ReadField(hTable, pucFldName, [&](FieldAccess& f) -> Status {
    auto text = FieldUtf16(f, CheckTrim(usOption));
    if (!text.ok()) return text.status();
    return CopyOutWide(text.value(), pwcBuf, pulLen);
  });
}

ACE_API UNSIGNED32 AdsGetStringW(ADSHANDLE hTable, const UNSIGNED8* pucFldName, WCHAR* pwcBuf,
                                 UNSIGNED32* pulLen, UNSIGNED16 usOption) {
  return AdsGetFieldW(hTable, pucFldName, pwcBuf, pulLen, usOption);
}

ACE_API UNSIGNED32 AdsGetLong(ADSHANDLE hTable, const UNSIGNED8* pucFldName, SIGNED32* plValue) {
  return GetNumber(hTable, pucFldName, plValue, fields::GetLong);
}

ACE_API UNSIGNED32 AdsGetShort(ADSHANDLE hTable, const UNSIGNED8* pucFldName, SIGNED16* psValue) {
  return GetNumber(hTable, pucFldName, psValue, fields::GetShort);
}

ACE_API UNSIGNED32 AdsGetDouble(ADSHANDLE hTable, const UNSIGNED8* pucFldName, DOUBLE* pdValue) {
  return GetNumber(hTable, pucFldName, pdValue, fields::GetDouble);
}

ACE_API UNSIGNED32 AdsGetLogical(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                 UNSIGNED16* pbValue) {
  return GetNumber(hTable, pucFldName, pbValue, fields::GetLogical);
}

ACE_API UNSIGNED32 AdsGetJulian(ADSHANDLE hTable, const UNSIGNED8* pucFldName, SIGNED32* plDate) {
  return GetNumber(hTable, pucFldName, plDate, fields::GetJulian);
}

ACE_API UNSIGNED32 AdsGetMilliseconds(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                      SIGNED32* plTime) {
  return GetNumber(hTable, pucFldName, plTime, fields::GetMilliseconds);
}

ACE_API UNSIGNED32 AdsGetDate(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                              UNSIGNED16* pusLen) {
  return ReadField(hTable, pucFldName, [&](FieldAccess& f) -> Status {
    auto text = fields::GetDateText(f.context(), f.image());
    if (!text.ok()) return text.status();
    return CopyOutText(text.value(), pucBuf, pusLen);
  });
}

ACE_API UNSIGNED32 AdsGetTime(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                              UNSIGNED16* pusLen) {
  return ReadField(hTable, pucFldName, [&](FieldAccess& f) -> Status {
    auto text = fields::GetTimeText(f.context(), f.image());
    if (!text.ok()) return text.status();
    return CopyOutText(text.value(), pucBuf, pusLen);
  });
}

ACE_API UNSIGNED32 AdsIsEmpty(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pbEmpty) {
  return GetNumber(hTable, pucFldName, pbEmpty, fields::IsEmpty);
}

ACE_API UNSIGNED32 AdsIsNull(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pbNull) {
  return GetNumber(hTable, pucFldName, pbNull, fields::IsNull);
}

ACE_API UNSIGNED32 AdsGetDataLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                    UNSIGNED32 /*ulOptions*/, UNSIGNED32* pulLength) {
  return ReadField(hTable, pucFldName, [&](FieldAccess& f) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pulLength, "pulLength"));
    if (f.memo()) {
      auto content = MemoContent(f);
      if (!content.ok()) return content.status();
      *pulLength = static_cast<UNSIGNED32>(content.value().size());
      return Status::Ok();
    }
    auto length = fields::DataLength(f.context(), f.image(), fields::kTrimNone);
    if (!length.ok()) return length.status();
    *pulLength = length.value();
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetMemoLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                    UNSIGNED32* pulLength) {
  return ReadField(hTable, pucFldName, [&](FieldAccess& f) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pulLength, "pulLength"));
    if (!f.memo()) return Status(kErrConversion, "the field is not a memo or blob field");
    auto length = f.cursor().file().MemoLength(f.cursor().record().data(), f.desc);
    if (!length.ok()) return length.status();
    *pulLength = length.value();
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetMemoDataType(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                      UNSIGNED16* pusType) {
  return ReadField(hTable, pucFldName, [&](FieldAccess& f) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusType, "pusType"));
    if (!f.memo()) return Status(kErrConversion, "the field is not a memo or blob field");
    auto kind = f.cursor().file().MemoType(f.cursor().record().data(), f.desc);
    if (!kind.ok()) return kind.status();
    switch (kind.value()) {
      case storage::MemoKind::kText:
        *pusType = ADS_MEMO;
        break;
      case storage::MemoKind::kBinary:
        *pusType = ADS_BINARY;
        break;
      case storage::MemoKind::kImage:
        *pusType = ADS_IMAGE;
        break;
    }
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetBinary(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED32 ulOffset,
                                UNSIGNED8* pucBuf, UNSIGNED32* pulLen) {
  return ReadField(hTable, pucFldName, [&](FieldAccess& f) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pulLen, "pulLen"));
    auto bytes = FieldBytes(f);
    if (!bytes.ok()) return bytes.status();
    const auto& data = bytes.value();
    size_t from = std::min<size_t>(ulOffset, data.size());
    size_t n = std::min<size_t>(*pulLen, data.size() - from);
    if (n > 0) {
      ACE_RETURN_IF_ERROR(RequireOut(pucBuf, "pucBuf"));
      std::memcpy(pucBuf, data.data() + from, n);
    }
    *pulLen = static_cast<UNSIGNED32>(n);
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetBinaryLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                      UNSIGNED32* pulLength) {
  return ReadField(hTable, pucFldName, [&](FieldAccess& f) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pulLength, "pulLength"));
    if (f.memo()) {
      auto length = f.cursor().file().MemoLength(f.cursor().record().data(), f.desc);
      if (!length.ok()) return length.status();
      *pulLength = length.value();
      return Status::Ok();
    }
    auto bytes = FieldBytes(f);
    if (!bytes.ok()) return bytes.status();
    *pulLength = static_cast<UNSIGNED32>(bytes.value().size());
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsBinaryToFile(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                   const UNSIGNED8* pucFileName) {
  return ReadField(hTable, pucFldName, [&](FieldAccess& f) -> Status {
    auto name = InText(pucFileName, "pucFileName");
    if (!name.ok()) return name.status();
    auto path = f.table.owner().connection().ResolvePath(name.value());
    if (!path.ok()) return path.status();
    auto bytes = FieldBytes(f);
    if (!bytes.ok()) return bytes.status();
    auto file = File::Open(path.value(), OpenMode::kCreateTruncate);
    if (!file.ok()) return file.status();
    if (!bytes.value().empty())
      ACE_RETURN_IF_ERROR(file->WriteAt(0, bytes.value().data(), bytes.value().size()));
    return file->Sync();
  });
}

// ---- Setters --------------------------------------------------------------------------------

ACE_API UNSIGNED32 AdsSetField(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucBuf,
                               UNSIGNED32 ulLen) {
  if (IsStatementHandle(hObj)) {
    return SetParam(hObj, pucFldName, [&]() -> Result<sql::ParamValue> {
      auto text = InBytes(pucBuf, ulLen);
      if (!text.ok()) return text.status();
      return sql::ParamValue::Text(std::string(text.value()));
    });
  }
  return WriteField(hObj, pucFldName, [&](FieldAccess& f, fields::Image image) -> Status {
    auto text = InBytes(pucBuf, ulLen);
    if (!text.ok()) return text.status();
    return SetTextValue(f, image, text.value());
  });
}

ACE_API UNSIGNED32 AdsSetString(ADSHANDLE hObj, const UNSIGNED8* pucFldName,
                                const UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
  return AdsSetField(hObj, pucFldName, pucBuf, ulLen);
}

ACE_API UNSIGNED32 AdsSetFieldW(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const WCHAR* pwcBuf,
                                UNSIGNED32 ulLen) {
  if (IsStatementHandle(hObj)) {
    return SetParam(hObj, pucFldName, [&]() -> Result<sql::ParamValue> {
      if (pwcBuf == nullptr && ulLen != 0)
        return Status(kErrNullPointer, "the value buffer is missing");
      return sql::ParamValue::Text(
          fields::Utf16ToAnsi(std::u16string_view(pwcBuf == nullptr ? u"" : pwcBuf, ulLen)));
    });
  }
  return WriteField(hObj, pucFldName, [&](FieldAccess& f, fields::Image image) -> Status {
    if (pwcBuf == nullptr && ulLen != 0)
      return Status(kErrNullPointer, "the value buffer is missing");
    return SetWideValue(f, image, std::u16string_view(pwcBuf == nullptr ? u"" : pwcBuf, ulLen));
  });
}

ACE_API UNSIGNED32 AdsSetStringW(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const WCHAR* pwcBuf,
                                 UNSIGNED32 ulLen) {
  return AdsSetFieldW(hObj, pucFldName, pwcBuf, ulLen);
}

ACE_API UNSIGNED32 AdsSetFieldRaw(ADSHANDLE hObj, const UNSIGNED8* pucFldName,
                                  const UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
  return WriteField(hObj, pucFldName, [&](FieldAccess& f, fields::Image image) -> Status {
    // The memo pointer of a record image is the engine's own; contents go through AdsSetField
    // or AdsSetBinary.
    if (f.memo())
      return Status(kErrConversion,
                    "memo and blob fields take their contents through AdsSetField or AdsSetBinary");
    auto bytes = InBytes(pucBuf, ulLen);
    if (!bytes.ok()) return bytes.status();
    return fields::SetRaw(
        f.context(), image,
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.value().data()), ulLen));
  });
}

ACE_API UNSIGNED32 AdsSetEmpty(ADSHANDLE hObj, const UNSIGNED8* pucFldName) {
  if (IsStatementHandle(hObj))
    return SetParam(hObj, pucFldName,
                    [] { return Result<sql::ParamValue>(sql::ParamValue::Null()); });
  return WriteField(hObj, pucFldName, [&](FieldAccess& f, fields::Image image) -> Status {
    if (f.memo()) return StoreMemo(f, image, {}, KindOf(f.desc.type, 0));
    return fields::SetEmpty(f.context(), image);
  });
}

ACE_API UNSIGNED32 AdsSetNull(ADSHANDLE hObj, const UNSIGNED8* pucFldName) {
  if (IsStatementHandle(hObj))
    return SetParam(hObj, pucFldName,
                    [] { return Result<sql::ParamValue>(sql::ParamValue::Null()); });
  return WriteField(hObj, pucFldName, [&](FieldAccess& f, fields::Image image) -> Status {
    if (!f.memo())
      return f.desc.nullable ? fields::SetNull(f.context(), image)
                             : fields::SetEmpty(f.context(), image);
    ACE_RETURN_IF_ERROR(
        f.cursor().file().WritePendingMemo(image.data(), f.desc, {}, KindOf(f.desc.type, 0)));
    if (f.cursor().file().type() == storage::TableType::kVfp && f.desc.nullable) {
      uint32_t mark = 1;
      return fields::AccessVfpSystemField(f.context(), image, fields::kVfpWriteNull, &mark);
    }
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsSetLong(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED32 lValue) {
  if (IsStatementHandle(hObj))
    return SetParam(hObj, pucFldName,
                    [&] { return Result<sql::ParamValue>(sql::ParamValue::Integer(lValue)); });
  return WriteField(hObj, pucFldName, [&](FieldAccess& f, fields::Image image) {
    return fields::SetLong(f.context(), image, lValue);
  });
}

ACE_API UNSIGNED32 AdsSetShort(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED16 sValue) {
  if (IsStatementHandle(hObj))
    return SetParam(hObj, pucFldName,
                    [&] { return Result<sql::ParamValue>(sql::ParamValue::Integer(sValue)); });
  return WriteField(hObj, pucFldName, [&](FieldAccess& f, fields::Image image) {
    return fields::SetShort(f.context(), image, sValue);
  });
}

ACE_API UNSIGNED32 AdsSetDouble(ADSHANDLE hObj, const UNSIGNED8* pucFldName, DOUBLE dValue) {
  if (IsStatementHandle(hObj))
    return SetParam(hObj, pucFldName,
                    [&] { return Result<sql::ParamValue>(sql::ParamValue::Double(dValue)); });
  return WriteField(hObj, pucFldName, [&](FieldAccess& f, fields::Image image) {
    return fields::SetDouble(f.context(), image, dValue);
  });
}

ACE_API UNSIGNED32 AdsSetLogical(ADSHANDLE hObj, const UNSIGNED8* pucFldName, UNSIGNED16 bValue) {
  if (IsStatementHandle(hObj))
    return SetParam(hObj, pucFldName,
                    [&] { return Result<sql::ParamValue>(sql::ParamValue::Logical(bValue != 0)); });
  return WriteField(hObj, pucFldName, [&](FieldAccess& f, fields::Image image) {
    return fields::SetLogical(f.context(), image, bValue != 0);
  });
}

ACE_API UNSIGNED32 AdsSetJulian(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED32 lDate) {
  if (IsStatementHandle(hObj))
    return SetParam(hObj, pucFldName,
                    [&] { return Result<sql::ParamValue>(sql::ParamValue::Date(lDate)); });
  return WriteField(hObj, pucFldName, [&](FieldAccess& f, fields::Image image) {
    return fields::SetJulian(f.context(), image, lDate);
  });
}

ACE_API UNSIGNED32 AdsSetMilliseconds(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED32 lTime) {
  if (IsStatementHandle(hObj))
    return SetParam(hObj, pucFldName,
                    [&] { return Result<sql::ParamValue>(sql::ParamValue::Time(lTime)); });
  return WriteField(hObj, pucFldName, [&](FieldAccess& f, fields::Image image) {
    return fields::SetMilliseconds(f.context(), image, lTime);
  });
}

ACE_API UNSIGNED32 AdsSetDate(ADSHANDLE hObj, const UNSIGNED8* pucFldName,
                              const UNSIGNED8* pucValue, UNSIGNED16 usLen) {
  if (IsStatementHandle(hObj)) {
    return SetParam(hObj, pucFldName, [&]() -> Result<sql::ParamValue> {
      auto text = InBytes(pucValue, usLen);
      if (!text.ok()) return text.status();
      auto julian = fields::StringToJulian(text.value());
      if (!julian.ok()) return julian.status();
      return sql::ParamValue::Date(julian.value());
    });
  }
  return WriteField(hObj, pucFldName, [&](FieldAccess& f, fields::Image image) -> Status {
    auto text = InBytes(pucValue, usLen);
    if (!text.ok()) return text.status();
    auto julian = fields::StringToJulian(text.value());
    if (!julian.ok()) return julian.status();
    return fields::SetJulian(f.context(), image, julian.value());
  });
}

ACE_API UNSIGNED32 AdsSetTime(ADSHANDLE hObj, const UNSIGNED8* pucFldName,
                              const UNSIGNED8* pucValue, UNSIGNED16 usLen) {
  if (IsStatementHandle(hObj)) {
    return SetParam(hObj, pucFldName, [&]() -> Result<sql::ParamValue> {
      auto text = InBytes(pucValue, usLen);
      if (!text.ok()) return text.status();
      auto millis = fields::ParseTime(text.value());
      if (!millis.ok()) return millis.status();
      return sql::ParamValue::Time(millis.value());
    });
  }
  return WriteField(hObj, pucFldName, [&](FieldAccess& f, fields::Image image) -> Status {
    auto text = InBytes(pucValue, usLen);
    if (!text.ok()) return text.status();
    auto millis = fields::ParseTime(text.value());
    if (!millis.ok()) return millis.status();
    return fields::SetMilliseconds(f.context(), image, millis.value());
  });
}

// 8 bytes: the Julian day and the milliseconds since midnight, each 32-bit little-endian.
ACE_API UNSIGNED32 AdsSetTimeStampRaw(ADSHANDLE hObj, const UNSIGNED8* pucFldName,
                                      const UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
  auto decode = [&]() -> Result<fields::Timestamp> {
    if (pucBuf == nullptr) return Status(kErrNullPointer, "the timestamp buffer is missing");
    if (ulLen != 8) {
      return Status(kErrInvalidArgument,
                    "a raw timestamp is 8 bytes, not " + std::to_string(ulLen));
    }
    auto le32 = [&](int at) {
      return static_cast<int32_t>(static_cast<uint32_t>(pucBuf[at]) |
                                  static_cast<uint32_t>(pucBuf[at + 1]) << 8 |
                                  static_cast<uint32_t>(pucBuf[at + 2]) << 16 |
                                  static_cast<uint32_t>(pucBuf[at + 3]) << 24);
    };
    return fields::Timestamp{le32(0), le32(4)};
  };
  if (IsStatementHandle(hObj)) {
    return SetParam(hObj, pucFldName, [&]() -> Result<sql::ParamValue> {
      auto ts = decode();
      if (!ts.ok()) return ts.status();
      return sql::ParamValue::Timestamp(ts->julian, ts->milliseconds);
    });
  }
  return WriteField(hObj, pucFldName, [&](FieldAccess& f, fields::Image image) -> Status {
    auto ts = decode();
    if (!ts.ok()) return ts.status();
    return fields::SetTimestamp(f.context(), image, ts->julian, ts->milliseconds);
  });
}

ACE_API UNSIGNED32 AdsSetBinary(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                UNSIGNED16 usBinaryType, UNSIGNED32 ulTotalLength,
                                UNSIGNED32 ulOffset, const UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
  if (IsStatementHandle(hTable)) {
    return Guard([&] {
      return SetStatementBinaryChunk(hTable, pucFldName, ulTotalLength, ulOffset, pucBuf, ulLen);
    });
  }
  return WriteField(hTable, pucFldName, [&](FieldAccess& f, fields::Image image) -> Status {
    if (ulLen > 0 && pucBuf == nullptr)
      return Status(kErrNullPointer, "the data buffer is missing");
    if (static_cast<uint64_t>(ulOffset) + ulLen > ulTotalLength) {
      return Status(kErrInvalidArgument,
                    "the chunk at " + std::to_string(ulOffset) + " of " + std::to_string(ulLen) +
                        " bytes lies past the total length " + std::to_string(ulTotalLength));
    }
    auto& pending = f.table.pending_binary();
    if (ulOffset == 0 || pending.field != f.index || pending.total != ulTotalLength) {
      pending = TableObject::PendingBinary{};
      pending.field = f.index;
      pending.kind = usBinaryType;
      pending.total = ulTotalLength;
      pending.data.assign(ulTotalLength, 0);
    }
    if (ulLen > 0) std::memcpy(pending.data.data() + ulOffset, pucBuf, ulLen);
    pending.filled_count += ulLen;
    if (pending.filled_count < pending.total) return Status::Ok();
    std::vector<uint8_t> data = std::move(pending.data);
    pending = TableObject::PendingBinary{};
    return SetBytes(f, image, data, usBinaryType);
  });
}

ACE_API UNSIGNED32 AdsFileToBinary(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                   UNSIGNED16 usBinaryType, const UNSIGNED8* pucFileName) {
  return WriteField(hTable, pucFldName, [&](FieldAccess& f, fields::Image image) -> Status {
    auto name = InText(pucFileName, "pucFileName");
    if (!name.ok()) return name.status();
    auto path = f.table.owner().connection().ResolvePath(name.value());
    if (!path.ok()) return path.status();
    auto data = ReadWholeFile(path.value());
    if (!data.ok()) return data.status();
    return SetBytes(f, image, data.value(), usBinaryType);
  });
}

ACE_API UNSIGNED32 AdsAccessVfpSystemField(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                           UNSIGNED8* pucRecord, UNSIGNED32 ulOptions,
                                           UNSIGNED32* pulValue) {
  return OnField(hTable, pucFldName, [&](FieldAccess& f) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pulValue, "pulValue"));
    if (ulOptions < fields::kVfpReadNull || ulOptions > fields::kVfpReadFullLength) {
      return Status(kErrInvalidArgument,
                    "unknown system field option " + std::to_string(ulOptions));
    }
    const auto option = static_cast<uint16_t>(ulOptions);
    const size_t length = f.cursor().record().size();
    const bool writes = option == fields::kVfpWriteNull || option == fields::kVfpWriteFullLength;
    if (pucRecord != nullptr) {
      ACE_RETURN_IF_ERROR(fields::AccessVfpSystemField(
          f.context(), fields::Image(reinterpret_cast<std::byte*>(pucRecord), length), option,
          pulValue));
      // The caller's image need not be the current record (a new record being filled, a key):
      // only that image takes a mark, never the engine's copy of another record.
      return Status::Ok();
    }
    // Without a caller's image the engine's copy of the current record is read or marked.
    if (!writes) {
      if (!f.cursor().has_record())
        return Status(kErrNoCurrentRecord, "there is no current record");
      std::vector<std::byte> copy = f.cursor().record();
      return fields::AccessVfpSystemField(f.context(), fields::Image(copy.data(), copy.size()),
                                          option, pulValue);
    }
    auto image = f.cursor().Edit();
    if (!image.ok()) return image.status();
    uint32_t value = *pulValue;
    return fields::AccessVfpSystemField(f.context(), fields::Image(image.value(), length), option,
                                        &value);
  });
}

// ---- Date conversions -----------------------------------------------------------------------

ACE_API UNSIGNED32 AdsConvertStringToJulian(const UNSIGNED8* pucJulianString, UNSIGNED16 usLen,
                                            DOUBLE* pdJulian) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pdJulian, "pdJulian"));
    auto text = InBytes(pucJulianString, usLen);
    if (!text.ok()) return text.status();
    auto julian = fields::StringToJulian(text.value());
    if (!julian.ok()) return julian.status();
    *pdJulian = julian.value();
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsConvertJulianToString(DOUBLE dJulian, UNSIGNED8* pucJulianString,
                                            UNSIGNED16* pusLen) {
  return Guard([&]() -> Status {
    if (!std::isfinite(dJulian) || dJulian < 0 || dJulian > fields::kJulianYear9999) {
      return Status(kErrValueOutOfRange, "the Julian day " + std::to_string(dJulian) +
                                             " is outside the years 1 to 9999");
    }
    auto text = fields::JulianToString(static_cast<int32_t>(dJulian));
    if (!text.ok()) return text.status();
    return CopyOutText(text.value(), pucJulianString, pusLen);
  });
}

ACE_API UNSIGNED32 AdsConvertDateToJulian(ADSHANDLE hConnect, const UNSIGNED8* pucDate,
                                          UNSIGNED16 usLen, DOUBLE* pdJulian) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pdJulian, "pdJulian"));
    if (hConnect != 0) {
      auto conn = GetConnection(hConnect);
      if (!conn.ok()) return conn.status();
    }
    auto text = InBytes(pucDate, usLen);
    if (!text.ok()) return text.status();
    auto julian = fields::StringToJulian(text.value());
    if (!julian.ok()) return julian.status();
    *pdJulian = julian.value();
    return Status::Ok();
  });
}

}  // extern "C"
