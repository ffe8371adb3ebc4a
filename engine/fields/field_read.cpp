// Reading field values out of record images: texts, numbers, logicals, dates, times, raw bytes,
// data lengths, and the texts of memo content.
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
                    "a memo or blob value is read from the memo file, not from the record");
}

Status RefuseType(const FieldContext& ctx, const char* wanted) {
  return FieldError(
      ctx, kErrConversion,
      "a field of type " + std::to_string(ctx.field.type) + " cannot be read as " + wanted);
}

// The stored bytes of types 4, 20 and 23 up to the first zero byte (unconverted).
Result<std::string_view> EightBitBytes(const FieldContext& ctx, ConstImage image) {
  uint32_t n = ctx.field.length;
  if (ctx.field.type == kFtVarcharFox) {
    Result<uint32_t> stored = StoredLength(ctx, image);
    if (!stored.ok()) return stored.status();
    n = *stored;
  }
  std::string_view bytes = FieldBytes(ctx, image).substr(0, n);
  return bytes.substr(0, bytes.find('\0'));
}

// The 8-bit text of types 4, 20 and 23 in 1252.
Result<std::string> EightBitText(const FieldContext& ctx, ConstImage image) {
  Result<std::string_view> bytes = EightBitBytes(ctx, image);
  if (!bytes.ok()) return bytes.status();
  return IsOemConverted(ctx) ? FromOem(*bytes) : std::string(*bytes);
}

// The UTF-16 text of types 26 and 27, up to the first zero character.
Result<std::u16string> NationalText(const FieldContext& ctx, ConstImage image) {
  uint32_t n = ctx.field.length / 2;
  if (ctx.field.type == kFtNVarchar) {
    Result<uint32_t> stored = StoredLength(ctx, image);
    if (!stored.ok()) return stored.status();
    n = *stored;
  }
  std::u16string out;
  out.reserve(n);
  const std::byte* p = FieldPtr(ctx, image);
  for (uint32_t i = 0; i < n; ++i) {
    char16_t c = static_cast<char16_t>(Load16(p + 2 * i));
    if (c == 0) break;
    out.push_back(c);
  }
  return out;
}

Result<int32_t> UnpackCompactDate(const FieldContext& ctx, const std::byte* p) {
  uint32_t packed = static_cast<uint32_t>(static_cast<uint8_t>(p[0])) << 16 |
                    static_cast<uint32_t>(static_cast<uint8_t>(p[1])) << 8 |
                    static_cast<uint8_t>(p[2]);
  if (packed == 0) return 0;
  int year = static_cast<int>(packed >> 9), month = static_cast<int>(packed >> 5 & 0x0F),
      day = static_cast<int>(packed & 0x1F);
  if (!IsValidDate(year, month, day)) {
    return FieldError(ctx, kErrCorruptFile, "stored compact date is no valid date");
  }
  return JulianFromYmd(year, month, day);
}

// The stored Julian day of a date field (0 when empty or null).
Result<int32_t> StoredJulian(const FieldContext& ctx, ConstImage image) {
  const std::byte* p = FieldPtr(ctx, image);
  if (ctx.field.type == kFtCompactDate) return UnpackCompactDate(ctx, p);
  if (ctx.field.length == 4) return static_cast<int32_t>(Load32(p));
  std::string_view text = FieldBytes(ctx, image);
  // Blank, zero bytes, or the zero digits some writers use for an empty date.
  if (AllBytesAre(text, ' ', 0) || AllBytesAre(text.substr(0, 8), '0', '0')) return 0;
  Result<int32_t> julian = StringToJulian(text.substr(0, text.find('\0')), DefaultDateFormat());
  if (!julian.ok()) return julian.status().WithContext("field " + ctx.field.name);
  return julian;
}

// A timestamp's stored words (Visual FoxPro's milliseconds corrected); {0, 0} when null.
Timestamp StoredTimestamp(const FieldContext& ctx, ConstImage image) {
  const std::byte* p = FieldPtr(ctx, image);
  Timestamp ts{static_cast<int32_t>(Load32(p)), static_cast<int32_t>(Load32(p + 4))};
  if (ts.julian == 0) return Timestamp{};
  if (ctx.table == TableType::kVfp && ts.milliseconds != 0 &&
      ts.milliseconds < kMillisecondsPerDay - 1) {
    ++ts.milliseconds;
  }
  return ts;
}

Status WithField(const FieldContext& ctx, const Status& status) {
  if (status.ok()) return status;
  return status.WithContext("field " + ctx.field.name);
}

// A number read from a field: an exact integer, a double or a decimal.
struct Number {
  enum Kind { kInteger, kDouble, kDecimal } kind = kInteger;
  int64_t integer = 0;
  double real = 0;
  Decimal decimal;
};

Result<Decimal> ParseFieldNumber(const FieldContext& ctx, std::string_view text) {
  std::string_view t = TrimText(text, kTrimBoth);
  if (t.empty()) return Decimal{};
  Result<Decimal> d = ParseDecimal(t);
  if (!d.ok()) return WithField(ctx, d.status());
  return d;
}

Result<Number> ReadNumber(const FieldContext& ctx, ConstImage image) {
  ACE_RETURN_IF_ERROR(CheckBounds(ctx, image.size()));
  if (IsMemoField(ctx)) return RefuseMemo(ctx);
  Result<bool> null = IsNull(ctx, image);
  if (!null.ok()) return null.status();
  if (*null) return Number{};
  const std::byte* p = FieldPtr(ctx, image);
  Number n;
  switch (ctx.field.type) {
    case kFtLogical: {
      Result<bool> b = GetLogical(ctx, image);
      if (!b.ok()) return b.status();
      n.integer = *b ? 1 : 0;
      return n;
    }
    case kFtInteger:
    case kFtAutoInc:
    case kFtTime:
      n.integer = static_cast<int32_t>(Load32(p));
      return n;
    case kFtShortInt:
      n.integer = static_cast<int16_t>(Load16(p));
      return n;
    case kFtRowVersion:
      n.integer = static_cast<int64_t>(Load64(p));
      return n;
    case kFtDouble:
    case kFtCurDouble:
      n.kind = Number::kDouble;
      n.real = LoadDouble(p);
      return n;
    case kFtMoney: {
      Result<Decimal> d = ParseDecimal(FormatScaled(static_cast<int64_t>(Load64(p)), 4));
      n.kind = Number::kDecimal;
      n.decimal = *d;
      return n;
    }
    case kFtNumeric: {
      Result<Decimal> d = ParseFieldNumber(ctx, FieldBytes(ctx, image));
      if (!d.ok()) return d.status();
      n.kind = Number::kDecimal;
      n.decimal = *d;
      return n;
    }
    default:
      break;
  }
  if (IsEightBitText(ctx.field.type) || IsNationalText(ctx.field.type)) {
    Result<std::string> text = GetText(ctx, image, kTrimBoth);
    if (!text.ok()) return text.status();
    Result<Decimal> d = ParseFieldNumber(ctx, *text);
    if (!d.ok()) return d.status();
    n.kind = Number::kDecimal;
    n.decimal = *d;
    return n;
  }
  return RefuseType(ctx, "a number");
}

Result<int64_t> TruncatedInteger(const FieldContext& ctx, const Number& n) {
  switch (n.kind) {
    case Number::kInteger:
      return n.integer;
    case Number::kDouble:
      if (!std::isfinite(n.real) || std::trunc(n.real) >= 9223372036854775808.0 ||
          std::trunc(n.real) < -9223372036854775808.0) {
        return FieldError(ctx, kErrValueOutOfRange, "the value does not fit an integer");
      }
      return static_cast<int64_t>(std::trunc(n.real));
    case Number::kDecimal: {
      Decimal whole = n.decimal;
      whole.fraction.clear();
      Result<int64_t> v = ToScaledInteger(whole, 0);
      if (!v.ok()) return WithField(ctx, v.status());
      return v;
    }
  }
  return 0;
}

Result<int64_t> IntegerInRange(const FieldContext& ctx, ConstImage image, int64_t min,
                               int64_t max) {
  Result<Number> n = ReadNumber(ctx, image);
  if (!n.ok()) return n.status();
  Result<int64_t> v = TruncatedInteger(ctx, *n);
  if (!v.ok()) return v.status();
  if (*v < min || *v > max) {
    return FieldError(ctx, kErrValueOutOfRange,
                      "the value " + std::to_string(*v) + " does not fit the requested type");
  }
  return v;
}

bool IsTrueByte(char c) {
  return c == '1' || c == 'T' || c == 'Y' || c == 't' || c == 'y';
}

}  // namespace

std::string_view TrimText(std::string_view text, uint16_t trim) {
  if (trim == kTrimLeft || trim == kTrimBoth) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  }
  if (trim == kTrimRight || trim == kTrimBoth) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  }
  return text;
}

std::u16string_view TrimText(std::u16string_view text, uint16_t trim) {
  if (trim == kTrimLeft || trim == kTrimBoth) {
    while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
  }
  if (trim == kTrimRight || trim == kTrimBoth) {
    while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
  }
  return text;
}

Result<std::string> GetText(const FieldContext& ctx, ConstImage image, uint16_t trim) {
  ACE_RETURN_IF_ERROR(CheckBounds(ctx, image.size()));
  if (IsMemoField(ctx)) return RefuseMemo(ctx);
  uint16_t t = ctx.field.type;
  if (IsEightBitText(t)) {
    Result<std::string> text = EightBitText(ctx, image);
    if (!text.ok()) return text;
    return std::string(TrimText(*text, trim));
  }
  if (IsNationalText(t)) {
    Result<std::u16string> text = NationalText(ctx, image);
    if (!text.ok()) return text.status();
    return Utf16ToAnsi(TrimText(*text, trim));
  }
  Result<bool> null = IsNull(ctx, image);
  if (!null.ok()) return null.status();
  if (*null) return std::string();
  const std::byte* p = FieldPtr(ctx, image);
  switch (t) {
    case kFtLogical:
      return std::string(IsTrueByte(static_cast<char>(p[0])) ? "T" : "F");
    case kFtNumeric:
      return std::string(TrimText(FieldBytes(ctx, image), trim));
    case kFtDate:
    case kFtCompactDate: {
      Result<int32_t> julian = StoredJulian(ctx, image);
      if (!julian.ok()) return julian.status();
      Result<std::string> text = FormatDate(*julian, DateFormatOf(ctx));
      return text.ok() ? text : WithField(ctx, text.status());
    }
    case kFtInteger:
    case kFtAutoInc:
      return std::to_string(static_cast<int32_t>(Load32(p)));
    case kFtShortInt:
      return std::to_string(static_cast<int16_t>(Load16(p)));
    case kFtRowVersion:
      return std::to_string(static_cast<int64_t>(Load64(p)));
    case kFtDouble:
    case kFtCurDouble: {
      double v = LoadDouble(p);
      if (ctx.field.decimals == 0) return FormatDouble(v);
      Result<Decimal> d = DecimalFromDouble(v);  // fails for infinities and NaN
      return d.ok() ? FormatFixed(*d, ctx.field.decimals) : FormatDouble(v);
    }
    case kFtMoney:
      return FormatScaled(static_cast<int64_t>(Load64(p)), 4);
    case kFtTime: {
      Result<std::string> text = FormatTime(static_cast<int32_t>(Load32(p)));
      return text.ok() ? text : WithField(ctx, text.status());
    }
    case kFtTimestamp:
    case kFtModTime: {
      Result<std::string> text = FormatTimestamp(StoredTimestamp(ctx, image), DateFormatOf(ctx));
      return text.ok() ? text : WithField(ctx, text.status());
    }
    case kFtRaw:
    case kFtVarbinaryFox: {
      Result<std::vector<uint8_t>> raw = GetRaw(ctx, image);
      if (!raw.ok()) return raw.status();
      return std::string(raw->begin(), raw->end());
    }
    default:
      return RefuseType(ctx, "text");
  }
}

Result<std::u16string> GetUtf16(const FieldContext& ctx, ConstImage image, uint16_t trim) {
  if (IsNationalText(ctx.field.type)) {
    ACE_RETURN_IF_ERROR(CheckBounds(ctx, image.size()));
    Result<std::u16string> text = NationalText(ctx, image);
    if (!text.ok()) return text;
    return std::u16string(TrimText(*text, trim));
  }
  if (IsEightBitText(ctx.field.type) && IsOemConverted(ctx)) {
    ACE_RETURN_IF_ERROR(CheckBounds(ctx, image.size()));
    Result<std::string_view> bytes = EightBitBytes(ctx, image);
    if (!bytes.ok()) return bytes.status();
    return OemToUtf16(TrimText(*bytes, trim));
  }
  Result<std::string> text = GetText(ctx, image, trim);
  if (!text.ok()) return text.status();
  return AnsiToUtf16(*text);
}

Result<int64_t> GetLongLong(const FieldContext& ctx, ConstImage image) {
  return IntegerInRange(ctx, image, INT64_MIN, INT64_MAX);
}

Result<int32_t> GetLong(const FieldContext& ctx, ConstImage image) {
  Result<int64_t> v = IntegerInRange(ctx, image, INT32_MIN, INT32_MAX);
  if (!v.ok()) return v.status();
  return static_cast<int32_t>(*v);
}

Result<int16_t> GetShort(const FieldContext& ctx, ConstImage image) {
  Result<int64_t> v = IntegerInRange(ctx, image, INT16_MIN, INT16_MAX);
  if (!v.ok()) return v.status();
  return static_cast<int16_t>(*v);
}

Result<double> GetDouble(const FieldContext& ctx, ConstImage image) {
  Result<Number> n = ReadNumber(ctx, image);
  if (!n.ok()) return n.status();
  switch (n->kind) {
    case Number::kInteger:
      return static_cast<double>(n->integer);
    case Number::kDouble:
      return n->real;
    case Number::kDecimal:
      return DecimalToDouble(n->decimal);
  }
  return 0.0;
}

Result<bool> GetLogical(const FieldContext& ctx, ConstImage image) {
  ACE_RETURN_IF_ERROR(CheckBounds(ctx, image.size()));
  if (ctx.field.type == kFtLogical) {
    Result<bool> null = IsNull(ctx, image);
    if (!null.ok()) return null.status();
    return !*null && IsTrueByte(static_cast<char>(FieldPtr(ctx, image)[0]));
  }
  if (IsEightBitText(ctx.field.type) || IsNationalText(ctx.field.type)) {
    Result<std::string> text = GetText(ctx, image, kTrimBoth);
    if (!text.ok()) return text.status();
    std::string upper;
    for (char c : *text)
      upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    if (upper == "T" || upper == ".T." || upper == "Y" || upper == "1" || upper == "TRUE")
      return true;
    if (upper.empty() || upper == "F" || upper == ".F." || upper == "N" || upper == "0" ||
        upper == "FALSE") {
      return false;
    }
    return FieldError(ctx, kErrConversion, "'" + *text + "' is not a logical value");
  }
  Result<double> number = GetDouble(ctx, image);
  if (!number.ok()) return RefuseType(ctx, "a logical value");
  return *number != 0.0;
}

Result<int32_t> GetJulian(const FieldContext& ctx, ConstImage image) {
  ACE_RETURN_IF_ERROR(CheckBounds(ctx, image.size()));
  uint16_t t = ctx.field.type;
  Result<bool> null = IsNull(ctx, image);
  if (!null.ok()) return null.status();
  if (t == kFtDate || t == kFtCompactDate) return *null ? 0 : StoredJulian(ctx, image);
  if (t == kFtTimestamp || t == kFtModTime) return *null ? 0 : StoredTimestamp(ctx, image).julian;
  if (IsEightBitText(t) || IsNationalText(t)) {
    Result<std::string> text = GetText(ctx, image, kTrimBoth);
    if (!text.ok()) return text.status();
    Result<int32_t> julian = StringToJulian(*text, DateFormatOf(ctx));
    return julian.ok() ? julian : WithField(ctx, julian.status());
  }
  return RefuseType(ctx, "a date");
}

Result<int32_t> GetMilliseconds(const FieldContext& ctx, ConstImage image) {
  ACE_RETURN_IF_ERROR(CheckBounds(ctx, image.size()));
  uint16_t t = ctx.field.type;
  Result<bool> null = IsNull(ctx, image);
  if (!null.ok()) return null.status();
  if (t == kFtTime) return *null ? 0 : static_cast<int32_t>(Load32(FieldPtr(ctx, image)));
  if (t == kFtTimestamp || t == kFtModTime) {
    return *null ? 0 : StoredTimestamp(ctx, image).milliseconds;
  }
  if (IsEightBitText(t) || IsNationalText(t)) {
    Result<std::string> text = GetText(ctx, image, kTrimBoth);
    if (!text.ok()) return text.status();
    if (text->empty()) return 0;
    Result<int32_t> ms = ParseTime(*text);
    return ms.ok() ? ms : WithField(ctx, ms.status());
  }
  return RefuseType(ctx, "a time");
}

Result<Timestamp> GetTimestamp(const FieldContext& ctx, ConstImage image) {
  ACE_RETURN_IF_ERROR(CheckBounds(ctx, image.size()));
  uint16_t t = ctx.field.type;
  if (t == kFtTimestamp || t == kFtModTime) {
    Result<bool> null = IsNull(ctx, image);
    if (!null.ok()) return null.status();
    return *null ? Timestamp{} : StoredTimestamp(ctx, image);
  }
  if (t == kFtDate || t == kFtCompactDate) {
    Result<int32_t> julian = GetJulian(ctx, image);
    if (!julian.ok()) return julian.status();
    return Timestamp{*julian, 0};
  }
  if (t == kFtTime) {
    Result<int32_t> ms = GetMilliseconds(ctx, image);
    if (!ms.ok()) return ms.status();
    return Timestamp{0, *ms};
  }
  if (IsEightBitText(t) || IsNationalText(t)) {
    Result<std::string> text = GetText(ctx, image, kTrimBoth);
    if (!text.ok()) return text.status();
    Result<Timestamp> ts = ParseTimestamp(*text, DateFormatOf(ctx));
    return ts.ok() ? ts : WithField(ctx, ts.status());
  }
  return RefuseType(ctx, "a timestamp");
}

Result<std::string> GetDateText(const FieldContext& ctx, ConstImage image) {
  Result<int32_t> julian = GetJulian(ctx, image);
  if (!julian.ok()) return julian.status();
  Result<std::string> text = FormatDate(*julian, DateFormatOf(ctx));
  return text.ok() ? text : WithField(ctx, text.status());
}

Result<std::string> GetTimeText(const FieldContext& ctx, ConstImage image) {
  Result<int32_t> ms = GetMilliseconds(ctx, image);
  if (!ms.ok()) return ms.status();
  Result<std::string> text = FormatTime(*ms);
  return text.ok() ? text : WithField(ctx, text.status());
}

Result<std::vector<uint8_t>> GetRaw(const FieldContext& ctx, ConstImage image) {
  ACE_RETURN_IF_ERROR(CheckBounds(ctx, image.size()));
  uint32_t n = ctx.field.length;
  uint16_t t = ctx.field.type;
  if (t == kFtVarcharFox || t == kFtVarbinaryFox || t == kFtNVarchar) {
    Result<uint32_t> stored = StoredLength(ctx, image);
    if (!stored.ok()) return stored.status();
    n = t == kFtNVarchar ? *stored * 2 : *stored;
  }
  const uint8_t* p = reinterpret_cast<const uint8_t*>(FieldPtr(ctx, image));
  return std::vector<uint8_t>(p, p + n);
}

Result<uint32_t> DataLength(const FieldContext& ctx, ConstImage image, uint16_t trim) {
  ACE_RETURN_IF_ERROR(CheckBounds(ctx, image.size()));
  if (IsMemoField(ctx)) return RefuseMemo(ctx);
  Result<bool> null = IsNull(ctx, image);
  if (!null.ok()) return null.status();
  if (*null) return 0u;
  uint16_t t = ctx.field.type;
  if (t == kFtRaw || t == kFtVarbinaryFox) {
    Result<std::vector<uint8_t>> raw = GetRaw(ctx, image);
    if (!raw.ok()) return raw.status();
    return static_cast<uint32_t>(raw->size());
  }
  if (IsNationalText(t)) {
    Result<std::u16string> text = GetUtf16(ctx, image, trim);
    if (!text.ok()) return text.status();
    return static_cast<uint32_t>(text->size() * 2);
  }
  Result<std::string> text = GetText(ctx, image, trim);
  if (!text.ok()) return text.status();
  return static_cast<uint32_t>(text->size());
}

std::string MemoToText(const FieldContext& ctx, std::span<const uint8_t> content, uint16_t trim) {
  std::string_view bytes(reinterpret_cast<const char*>(content.data()), content.size());
  if (ctx.field.type == kFtNMemo) {
    std::u16string wide(content.size() / 2, u'\0');
    for (size_t i = 0; i < wide.size(); ++i) {
      wide[i] = static_cast<char16_t>(content[2 * i] | content[2 * i + 1] << 8);
    }
    return Utf16ToAnsi(TrimText(wide, trim));
  }
  std::string_view in_place;
  if (MemoTextInPlace(ctx, content, trim, &in_place)) return std::string(in_place);
  std::string text = FromOem(bytes);
  return std::string(TrimText(text, trim));
}

bool MemoTextInPlace(const FieldContext& ctx, std::span<const uint8_t> content, uint16_t trim,
                     std::string_view* text) {
  if (ctx.field.type == kFtNMemo) return false;
  std::string_view bytes(reinterpret_cast<const char*>(content.data()), content.size());
  const bool text_kind = ctx.field.type == kFtMemo || ctx.field.type == kFtVarchar;
  if (!text_kind) {
    *text = bytes;
    return true;
  }
  if (IsOemConverted(ctx)) return false;
  *text = TrimText(bytes, trim);
  return true;
}

std::u16string MemoToUtf16(const FieldContext& ctx, std::span<const uint8_t> content,
                           uint16_t trim) {
  if (ctx.field.type == kFtNMemo) {
    std::u16string wide(content.size() / 2, u'\0');
    for (size_t i = 0; i < wide.size(); ++i) {
      wide[i] = static_cast<char16_t>(content[2 * i] | content[2 * i + 1] << 8);
    }
    return std::u16string(TrimText(wide, trim));
  }
  if (IsOemConverted(ctx)) {
    std::string_view bytes(reinterpret_cast<const char*>(content.data()), content.size());
    return OemToUtf16(TrimText(bytes, trim));
  }
  return AnsiToUtf16(MemoToText(ctx, content, trim));
}

std::vector<uint8_t> TextToMemo(const FieldContext& ctx, std::string_view text) {
  if (ctx.field.type == kFtNMemo) {
    std::u16string wide = AnsiToUtf16(text);
    return Utf16ToMemo(ctx, wide);
  }
  std::string bytes = IsOemConverted(ctx) ? ToOem(text) : std::string(text);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<uint8_t> Utf16ToMemo(const FieldContext& ctx, std::u16string_view text) {
  if (ctx.field.type != kFtNMemo && IsOemConverted(ctx)) {
    std::string oem = Utf16ToOem(text);
    return std::vector<uint8_t>(oem.begin(), oem.end());
  }
  if (ctx.field.type != kFtNMemo) return TextToMemo(ctx, Utf16ToAnsi(text));
  std::vector<uint8_t> out(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    out[2 * i] = static_cast<uint8_t>(text[i] & 0xFF);
    out[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
  }
  return out;
}

}  // namespace ace::fields
