// Writing field values into record images: texts, UTF-16, raw bytes, numbers, logicals, dates,
// times and timestamps. Every check runs before the first byte of the image changes.
#include <algorithm>
#include <cmath>

#include "engine/fields/code_page.h"
#include "engine/fields/field_internal.h"

namespace ace::fields {

using namespace storage;
using namespace internal;

namespace {

bool IsEightBitText(uint16_t t) {
  return t == kFtString || t == kFtCiString || t == kFtVarcharFox;
}
bool IsNationalText(uint16_t t) {
  return t == kFtNChar || t == kFtNVarchar;
}

Status RefuseMemo(const FieldContext& ctx) {
  return FieldError(ctx, kErrConversion,
                    "a memo or blob value is written to the memo file, not into the record");
}

Status RefuseType(const FieldContext& ctx, const char* what) {
  return FieldError(ctx, kErrConversion,
                    "a field of type " + std::to_string(ctx.field.type) + " cannot take " + what);
}

Status WithField(const FieldContext& ctx, const Status& status) {
  if (status.ok()) return status;
  return status.WithContext("field " + ctx.field.name);
}

// Checks common to every write: the field lies in the image and is no memo.
Status CheckWritable(const FieldContext& ctx, Image image) {
  ACE_RETURN_IF_ERROR(CheckBounds(ctx, image.size()));
  if (IsMemoField(ctx)) return RefuseMemo(ctx);
  return Status::Ok();
}

// Bytes of an 8-bit text into 4, 20 or 23: at most the field's length, blanks after.
void WriteEightBit(const FieldContext& ctx, Image image, std::string_view bytes) {
  const FieldDesc& f = ctx.field;
  std::byte* p = FieldPtr(ctx, image);
  size_t n = std::min<size_t>(bytes.size(), f.length);
  Fill(p, f.length, ' ');
  std::memcpy(p, bytes.data(), n);
  if (f.type == kFtVarcharFox) StoreLength(ctx, image, static_cast<uint32_t>(n));
}

// Characters into 26 or 27: at most length / 2, UTF-16 blanks after; 27 records its count.
void WriteNational(const FieldContext& ctx, Image image, std::u16string_view text) {
  const FieldDesc& f = ctx.field;
  std::byte* p = FieldPtr(ctx, image);
  size_t n = std::min<size_t>(text.size(), f.length / 2);
  FillUtf16Blanks(p, f.length);
  for (size_t i = 0; i < n; ++i) Store16(p + 2 * i, text[i]);
  if (f.type == kFtNVarchar) StoreLength(ctx, image, static_cast<uint32_t>(n));
}

Status WriteJulian(const FieldContext& ctx, Image image, int32_t julian);
Status WriteMilliseconds(const FieldContext& ctx, Image image, int32_t ms);

Status CheckJulian(const FieldContext& ctx, int32_t julian) {
  if (julian != 0 && (julian < kJulianYear1 || julian > kJulianYear9999)) {
    return FieldError(ctx, kErrValueOutOfRange,
                      "Julian day " + std::to_string(julian) + " is outside the years 1 to 9999");
  }
  return Status::Ok();
}

Status CheckMilliseconds(const FieldContext& ctx, int32_t ms) {
  if (ms < 0 || ms >= kMillisecondsPerDay) {
    return FieldError(ctx, kErrValueOutOfRange,
                      std::to_string(ms) + " milliseconds is not a time of day");
  }
  return Status::Ok();
}

uint32_t StoredMilliseconds(const FieldContext& ctx, int32_t ms) {
  // Visual FoxPro keeps one millisecond less; the reading side adds it back.
  return static_cast<uint32_t>(ctx.table == TableType::kVfp && ms > 0 ? ms - 1 : ms);
}

bool TimestampIsNull(const FieldContext& ctx, Image image) {
  return Load32(FieldPtr(ctx, image)) == 0;
}

Status WriteTimestamp(const FieldContext& ctx, Image image, int32_t julian, int32_t ms) {
  ACE_RETURN_IF_ERROR(CheckJulian(ctx, julian));
  ACE_RETURN_IF_ERROR(CheckMilliseconds(ctx, ms));
  std::byte* p = FieldPtr(ctx, image);
  Store32(p, static_cast<uint32_t>(julian));
  Store32(p + 4, julian == 0 ? 0 : StoredMilliseconds(ctx, ms));
  return Status::Ok();
}

Status WriteJulian(const FieldContext& ctx, Image image, int32_t julian) {
  ACE_RETURN_IF_ERROR(CheckJulian(ctx, julian));
  const FieldDesc& f = ctx.field;
  std::byte* p = FieldPtr(ctx, image);
  switch (f.type) {
    case kFtDate:
      if (f.length == 4) {
        Store32(p, static_cast<uint32_t>(julian));
        return Status::Ok();
      } else {
        if (f.length < 8) {
          return FieldError(ctx, kErrValueOutOfRange, "the date text needs 8 bytes");
        }
        Result<std::string> text = JulianToString(julian);
        if (!text.ok()) return WithField(ctx, text.status());
        Fill(p, f.length, ' ');
        std::memcpy(p, text->data(), 8);
        return Status::Ok();
      }
    case kFtCompactDate: {
      uint32_t packed = 0;
      if (julian != 0) {
        Result<Ymd> ymd = YmdFromJulian(julian);
        if (!ymd.ok()) return WithField(ctx, ymd.status());
        packed = static_cast<uint32_t>(ymd->year) << 9 | static_cast<uint32_t>(ymd->month) << 5 |
                 static_cast<uint32_t>(ymd->day);
      }
      p[0] = static_cast<std::byte>(packed >> 16);
      p[1] = static_cast<std::byte>(packed >> 8 & 0xFF);
      p[2] = static_cast<std::byte>(packed & 0xFF);
      return Status::Ok();
    }
    case kFtTimestamp:
    case kFtModTime: {
      int32_t ms = 0;
      if (!TimestampIsNull(ctx, image)) {
        uint32_t stored = Load32(p + 4);
        if (stored < static_cast<uint32_t>(kMillisecondsPerDay)) {
          ms = static_cast<int32_t>(stored) + (ctx.table == TableType::kVfp && stored != 0 ? 1 : 0);
          if (ms >= kMillisecondsPerDay) ms = kMillisecondsPerDay - 1;
        }
      }
      return WriteTimestamp(ctx, image, julian, ms);
    }
    default:
      return RefuseType(ctx, "a date");
  }
}

Status WriteMilliseconds(const FieldContext& ctx, Image image, int32_t ms) {
  ACE_RETURN_IF_ERROR(CheckMilliseconds(ctx, ms));
  std::byte* p = FieldPtr(ctx, image);
  switch (ctx.field.type) {
    case kFtTime:
      Store32(p, static_cast<uint32_t>(ms));
      return Status::Ok();
    case kFtTimestamp:
    case kFtModTime: {
      int32_t julian = TimestampIsNull(ctx, image) ? 0 : static_cast<int32_t>(Load32(p));
      if (julian == 0) {
        return FieldError(ctx, kErrConversion, "a time of day needs the timestamp's date first");
      }
      return WriteTimestamp(ctx, image, julian, ms);
    }
    default:
      return RefuseType(ctx, "a time");
  }
}

// A number into a field of a number type. Exactly one of `decimal` (exact value) or `integer`
// is meaningful: is_integer tells which.
struct NumberIn {
  bool is_integer = false;
  int64_t integer = 0;
  Decimal decimal;
};

Result<int64_t> RoundedInteger(const FieldContext& ctx, const NumberIn& v, int scale, int64_t min,
                               int64_t max) {
  int64_t value = 0;
  if (v.is_integer && scale == 0) {
    value = v.integer;
  } else {
    Decimal d = v.decimal;
    if (v.is_integer) d = *ParseDecimal(std::to_string(v.integer));
    Result<int64_t> scaled = ToScaledInteger(d, scale);
    if (!scaled.ok()) return WithField(ctx, scaled.status());
    value = *scaled;
  }
  if (value < min || value > max) {
    return FieldError(ctx, kErrValueOutOfRange, "the value does not fit the field's type");
  }
  return value;
}

Status WriteNumber(const FieldContext& ctx, Image image, const NumberIn& v) {
  const FieldDesc& f = ctx.field;
  std::byte* p = FieldPtr(ctx, image);
  switch (f.type) {
    case kFtNumeric: {
      Decimal d = v.is_integer ? *ParseDecimal(std::to_string(v.integer)) : v.decimal;
      Result<std::string> text = NumericFieldText(ctx, d);
      if (!text.ok()) return text.status();
      std::memcpy(p, text->data(), f.length);
      return Status::Ok();
    }
    case kFtDouble:
    case kFtCurDouble: {
      double d = v.is_integer ? static_cast<double>(v.integer) : DecimalToDouble(v.decimal);
      if (!std::isfinite(d)) return FieldError(ctx, kErrValueOutOfRange, "the value is too large");
      StoreDouble(p, d);
      return Status::Ok();
    }
    case kFtInteger:
    case kFtAutoInc: {
      // The null form 0x80000000 is no value of its own on ADT.
      int64_t min = ctx.table == TableType::kAdt ? INT32_MIN + 1 : INT32_MIN;
      Result<int64_t> i = RoundedInteger(ctx, v, 0, min, INT32_MAX);
      if (!i.ok()) return i.status();
      Store32(p, static_cast<uint32_t>(static_cast<int32_t>(*i)));
      return Status::Ok();
    }
    case kFtShortInt: {
      int64_t min = ctx.table == TableType::kAdt ? INT16_MIN + 1 : INT16_MIN;
      Result<int64_t> i = RoundedInteger(ctx, v, 0, min, INT16_MAX);
      if (!i.ok()) return i.status();
      Store16(p, static_cast<uint16_t>(static_cast<int16_t>(*i)));
      return Status::Ok();
    }
    case kFtMoney:
    case kFtRowVersion: {
      int64_t min = ctx.table == TableType::kAdt ? INT64_MIN + 1 : INT64_MIN;
      Result<int64_t> i = RoundedInteger(ctx, v, f.type == kFtMoney ? 4 : 0, min, INT64_MAX);
      if (!i.ok()) return i.status();
      Store64(p, static_cast<uint64_t>(*i));
      return Status::Ok();
    }
    default:
      return RefuseType(ctx, "a number");
  }
}

Status SetNumberChecked(const FieldContext& ctx, Image image, const NumberIn& v) {
  ACE_RETURN_IF_ERROR(CheckWritable(ctx, image));
  ACE_RETURN_IF_ERROR(WriteNumber(ctx, image, v));
  ClearNullMark(ctx, image);
  return Status::Ok();
}

Result<bool> ParseLogical(const FieldContext& ctx, std::string_view text) {
  std::string upper;
  for (char c : TrimText(text, kTrimBoth)) {
    upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  if (upper == "T" || upper == "Y" || upper == "1" || upper == ".T." || upper == "TRUE" ||
      upper == ".Y.") {
    return true;
  }
  if (upper == "F" || upper == "N" || upper == "0" || upper == ".F." || upper == "FALSE" ||
      upper == ".N.") {
    return false;
  }
  return FieldError(ctx, kErrConversion, "'" + std::string(text) + "' is not a logical value");
}

// SetText for everything but the character types; the field is checked already.
Status WriteTextValue(const FieldContext& ctx, Image image, std::string_view text) {
  const FieldDesc& f = ctx.field;
  switch (f.type) {
    case kFtLogical: {
      Result<bool> b = ParseLogical(ctx, text);
      if (!b.ok()) return b.status();
      FieldPtr(ctx, image)[0] = static_cast<std::byte>(*b ? 'T' : 'F');
      return Status::Ok();
    }
    case kFtNumeric:
    case kFtDouble:
    case kFtCurDouble:
    case kFtInteger:
    case kFtAutoInc:
    case kFtShortInt:
    case kFtMoney:
    case kFtRowVersion: {
      Result<Decimal> d = ParseDecimal(text);
      if (!d.ok()) return WithField(ctx, d.status());
      NumberIn v;
      v.decimal = *d;
      return WriteNumber(ctx, image, v);
    }
    case kFtDate:
    case kFtCompactDate: {
      Result<int32_t> julian = StringToJulian(text, DateFormatOf(ctx));
      if (!julian.ok()) return WithField(ctx, julian.status());
      return WriteJulian(ctx, image, *julian);
    }
    case kFtTime: {
      Result<int32_t> ms = ParseTime(text);
      if (!ms.ok()) return WithField(ctx, ms.status());
      return WriteMilliseconds(ctx, image, *ms);
    }
    case kFtTimestamp:
    case kFtModTime: {
      Result<Timestamp> ts = ParseTimestamp(text, DateFormatOf(ctx));
      if (!ts.ok()) return WithField(ctx, ts.status());
      return WriteTimestamp(ctx, image, ts->julian, ts->milliseconds);
    }
    case kFtRaw:
    case kFtVarbinaryFox:
      return SetRaw(
          ctx, image,
          std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    default:
      return RefuseType(ctx, "a text");
  }
}

}  // namespace

Status SetText(const FieldContext& ctx, Image image, std::string_view text) {
  ACE_RETURN_IF_ERROR(CheckWritable(ctx, image));
  uint16_t t = ctx.field.type;
  if (IsEightBitText(t)) {
    WriteEightBit(ctx, image, IsOemConverted(ctx) ? ToOem(text) : std::string(text));
    ClearNullMark(ctx, image);
    return Status::Ok();
  }
  if (IsNationalText(t)) {
    WriteNational(ctx, image, AnsiToUtf16(text));
    ClearNullMark(ctx, image);
    return Status::Ok();
  }
  if (t != kFtRaw && t != kFtVarbinaryFox && TrimText(text, kTrimBoth).empty()) {
    return SetEmpty(ctx, image);
  }
  ACE_RETURN_IF_ERROR(WriteTextValue(ctx, image, text));
  ClearNullMark(ctx, image);
  return Status::Ok();
}

Status SetUtf16(const FieldContext& ctx, Image image, std::u16string_view text) {
  if (IsEightBitText(ctx.field.type) && IsOemConverted(ctx)) {
    ACE_RETURN_IF_ERROR(CheckWritable(ctx, image));
    WriteEightBit(ctx, image, Utf16ToOem(text));
    ClearNullMark(ctx, image);
    return Status::Ok();
  }
  if (!IsNationalText(ctx.field.type)) return SetText(ctx, image, Utf16ToAnsi(text));
  ACE_RETURN_IF_ERROR(CheckWritable(ctx, image));
  WriteNational(ctx, image, text);
  ClearNullMark(ctx, image);
  return Status::Ok();
}

Status SetRaw(const FieldContext& ctx, Image image, std::span<const uint8_t> bytes) {
  ACE_RETURN_IF_ERROR(CheckWritable(ctx, image));
  const FieldDesc& f = ctx.field;
  std::byte* p = FieldPtr(ctx, image);
  if (bytes.size() > f.length) {
    return FieldError(
        ctx, kErrValueOutOfRange,
        std::to_string(bytes.size()) + " bytes do not fit the field's " + std::to_string(f.length));
  }
  switch (f.type) {
    case kFtNumeric:
    case kFtString:
    case kFtCiString:
    case kFtLogical:
      Fill(p, f.length, ' ');
      break;
    case kFtDate:
      if (f.length == 4 && bytes.size() != 4) {
        return FieldError(ctx, kErrInvalidArgument, "a date needs exactly 4 bytes");
      }
      Fill(p, f.length, ' ');
      break;
    case kFtRaw:
      Fill(p, f.length, 0);
      break;
    case kFtVarcharFox:
    case kFtVarbinaryFox:
      Fill(p, f.length, ' ');
      std::memcpy(p, bytes.data(), bytes.size());
      StoreLength(ctx, image, static_cast<uint32_t>(bytes.size()));
      ClearNullMark(ctx, image);
      return Status::Ok();
    case kFtNChar:
    case kFtNVarchar:
      if (bytes.size() % 2 != 0) {
        return FieldError(ctx, kErrInvalidArgument, "UTF-16 text needs an even number of bytes");
      }
      FillUtf16Blanks(p, f.length);
      std::memcpy(p, bytes.data(), bytes.size());
      if (f.type == kFtNVarchar) StoreLength(ctx, image, static_cast<uint32_t>(bytes.size() / 2));
      ClearNullMark(ctx, image);
      return Status::Ok();
    default:
      if (bytes.size() != f.length) {
        return FieldError(ctx, kErrInvalidArgument,
                          "a field of type " + std::to_string(f.type) + " needs exactly " +
                              std::to_string(f.length) + " bytes");
      }
      break;
  }
  if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
  ClearNullMark(ctx, image);
  return Status::Ok();
}

Status SetLongLong(const FieldContext& ctx, Image image, int64_t value) {
  NumberIn v;
  v.is_integer = true;
  v.integer = value;
  return SetNumberChecked(ctx, image, v);
}

Status SetLong(const FieldContext& ctx, Image image, int32_t value) {
  return SetLongLong(ctx, image, value);
}

Status SetShort(const FieldContext& ctx, Image image, int16_t value) {
  return SetLongLong(ctx, image, value);
}

Status SetDouble(const FieldContext& ctx, Image image, double value) {
  ACE_RETURN_IF_ERROR(CheckWritable(ctx, image));
  Result<Decimal> d = DecimalFromDouble(value);
  if (!d.ok()) return WithField(ctx, d.status());
  if (ctx.field.type == kFtDouble || ctx.field.type == kFtCurDouble) {
    StoreDouble(FieldPtr(ctx, image), value);  // exactly the double given
    ClearNullMark(ctx, image);
    return Status::Ok();
  }
  NumberIn v;
  v.decimal = *d;
  return SetNumberChecked(ctx, image, v);
}

Status SetLogical(const FieldContext& ctx, Image image, bool value) {
  ACE_RETURN_IF_ERROR(CheckWritable(ctx, image));
  if (ctx.field.type != kFtLogical) return RefuseType(ctx, "a logical value");
  FieldPtr(ctx, image)[0] = static_cast<std::byte>(value ? 'T' : 'F');
  ClearNullMark(ctx, image);
  return Status::Ok();
}

Status SetJulian(const FieldContext& ctx, Image image, int32_t julian) {
  ACE_RETURN_IF_ERROR(CheckWritable(ctx, image));
  ACE_RETURN_IF_ERROR(WriteJulian(ctx, image, julian));
  ClearNullMark(ctx, image);
  return Status::Ok();
}

Status SetMilliseconds(const FieldContext& ctx, Image image, int32_t milliseconds) {
  ACE_RETURN_IF_ERROR(CheckWritable(ctx, image));
  ACE_RETURN_IF_ERROR(WriteMilliseconds(ctx, image, milliseconds));
  ClearNullMark(ctx, image);
  return Status::Ok();
}

Status SetTimestamp(const FieldContext& ctx, Image image, int32_t julian, int32_t milliseconds) {
  ACE_RETURN_IF_ERROR(CheckWritable(ctx, image));
  switch (ctx.field.type) {
    case kFtTimestamp:
    case kFtModTime:
      ACE_RETURN_IF_ERROR(WriteTimestamp(ctx, image, julian, milliseconds));
      break;
    case kFtDate:
    case kFtCompactDate:
      ACE_RETURN_IF_ERROR(WriteJulian(ctx, image, julian));
      break;
    case kFtTime:
      ACE_RETURN_IF_ERROR(WriteMilliseconds(ctx, image, milliseconds));
      break;
    default:
      return RefuseType(ctx, "a timestamp");
  }
  ClearNullMark(ctx, image);
  return Status::Ok();
}

}  // namespace ace::fields
