// Null and empty values of every field type in the three format families: the tests, the
// writes, and the Visual FoxPro system-field access (null marks, varchar length bits).
#include "engine/fields/field_internal.h"

namespace ace::fields {

using namespace storage;
using namespace internal;

namespace {

// The pieces of the null tests, over the field's bytes.
struct NullProbe {
  const FieldDesc& f;
  const std::byte* p;
  std::string_view bytes;

  bool Zero() const { return AllBytesAre(bytes, 0, 0); }
  bool Blank() const { return AllBytesAre(bytes, ' ', ' '); }
  bool ZeroOrBlank() const { return AllBytesAre(bytes, 0, ' '); }
  bool LengthWordNull() const {
    uint16_t w = Load16(p + f.length);
    return w == 0xFFFF || w == 0;
  }
};

bool AdtSaysNull(const NullProbe& n) {
  switch (n.f.type) {
    case kFtLogical:
      return static_cast<uint8_t>(n.p[0]) == ' ';
    case kFtNumeric:
    case kFtDate:
    case kFtString:
    case kFtCompactDate:
    case kFtRaw:
    case kFtCiString:
    case kFtNChar:
      return n.Zero();
    case kFtDouble:
    case kFtCurDouble:
      return Load32(n.p) == 32 && Load32(n.p + 4) == 0x80000000u;
    case kFtInteger:
      return Load32(n.p) == 0x80000000u;
    case kFtShortInt:
      return Load16(n.p) == 0x8000;
    case kFtTime:
    case kFtAutoInc:
      return Load32(n.p) == 0xFFFFFFFFu;
    case kFtTimestamp:
    case kFtModTime:
      return Load32(n.p) == 0;
    case kFtMoney:
    case kFtRowVersion:
      return Load32(n.p) == 0 && Load32(n.p + 4) == 0x80000000u;
    case kFtVarcharFox:
    case kFtVarbinaryFox:
    case kFtNVarchar:
      return n.LengthWordNull();
    default:
      return true;
  }
}

bool VfpSaysNull(const NullProbe& n) {
  switch (n.f.type) {
    case kFtLogical:
    case kFtNumeric:
    case kFtDate:
      return n.Blank();
    case kFtTimestamp:
      return Load32(n.p) == 0;
    case kFtNVarchar:
      return n.LengthWordNull();
    default:
      return false;
  }
}

bool DbfSaysNull(const NullProbe& n) {
  switch (n.f.type) {
    case kFtLogical:
    case kFtNumeric:
    case kFtString:
      return n.ZeroOrBlank();
    case kFtDate:
      return n.f.length == 4 ? Load32(n.p) == 0 : n.ZeroOrBlank();
    case kFtCompactDate:
      return n.Zero();
    case kFtDouble:
    case kFtCurDouble:
    case kFtInteger:
    case kFtShortInt:
      return false;
    case kFtNChar:
      for (uint32_t i = 0; i + 1 < n.f.length; i += 2) {
        uint16_t c = Load16(n.p + i);
        if (c != 0 && c != 0x20) return false;
      }
      return true;
    case kFtNVarchar:
      return n.LengthWordNull();
    default:
      return true;
  }
}

}  // namespace

namespace internal {

bool FormatSaysNull(const FieldContext& ctx, ConstImage image) {
  NullProbe probe{ctx.field, FieldPtr(ctx, image), FieldBytes(ctx, image)};
  if (IsMemoField(ctx)) {
    // No memo pointer; dBase III memo pointers are digits, all zeros meaning none.
    if (probe.ZeroOrBlank()) return true;
    return ctx.table == TableType::kNtx && ctx.field.type == kFtMemo &&
           AllBytesAre(probe.bytes, '0', ' ');
  }
  switch (FormatOf(ctx)) {
    case Format::kAdt:
      return AdtSaysNull(probe);
    case Format::kVfp:
      return VfpSaysNull(probe);
    case Format::kDbf:
      return DbfSaysNull(probe);
  }
  return true;
}

}  // namespace internal

Result<bool> IsNull(const FieldContext& ctx, ConstImage image) {
  ACE_RETURN_IF_ERROR(CheckBounds(ctx, image.size()));
  if (FormatSaysNull(ctx, image)) return true;
  return ctx.table == TableType::kVfp && ctx.field.nullable &&
         ReadFlagBit(ctx, image, ctx.field.null_bit);
}

Result<bool> IsEmpty(const FieldContext& ctx, ConstImage image) {
  Result<bool> null = IsNull(ctx, image);
  if (!null.ok() || *null) return null;
  const FieldDesc& f = ctx.field;
  std::string_view bytes = FieldBytes(ctx, image);
  switch (f.type) {
    case kFtRaw:
      return AllBytesAre(bytes, 0, 0);
    case kFtVarbinaryFox: {
      Result<uint32_t> n = StoredLength(ctx, image);
      if (!n.ok()) return n.status();
      return *n == 0;
    }
    case kFtTimestamp:
    case kFtModTime:
      return Load32(FieldPtr(ctx, image)) == 0;
    case kFtLogical: {
      Result<bool> v = GetLogical(ctx, image);
      if (!v.ok()) return v.status();
      return !*v;
    }
    case kFtString:
    case kFtCiString:
    case kFtVarcharFox: {
      // Every 8-bit character converts to one character, so the trimmed bytes tell.
      Result<std::string> text = GetText(ctx, image, kTrimBoth);
      if (!text.ok()) return text.status();
      return text->empty();
    }
    case kFtNChar:
    case kFtNVarchar: {
      Result<std::u16string> text = GetUtf16(ctx, image, kTrimBoth);
      if (!text.ok()) return text.status();
      return text->empty();
    }
    case kFtNumeric:
      if (AllBytesAre(bytes, ' ', 0)) return true;
      [[fallthrough]];
    default:
      break;
  }
  if (IsMemoField(ctx)) return false;  // a memo pointer is there
  switch (f.type) {
    case kFtDate:
    case kFtCompactDate: {
      Result<int32_t> julian = GetJulian(ctx, image);
      if (!julian.ok()) return julian.status();
      return *julian == 0;
    }
    case kFtNumeric:
    case kFtDouble:
    case kFtCurDouble:
    case kFtInteger:
    case kFtShortInt:
    case kFtTime:
    case kFtAutoInc:
    case kFtMoney:
    case kFtRowVersion: {
      Result<double> number = GetDouble(ctx, image);
      if (!number.ok()) return number.status();
      return *number == 0.0;
    }
    default:  // a type of no known kind: judged by its bytes
      return AllBytesAre(bytes, 0, ' ');
  }
}

namespace {

Status RefuseMemo(const FieldContext& ctx) {
  return FieldError(ctx, kErrConversion,
                    "a memo or blob field is changed through its memo content, not its bytes");
}

void WriteAdtNull(const FieldContext& ctx, Image image) {
  const FieldDesc& f = ctx.field;
  std::byte* p = FieldPtr(ctx, image);
  switch (f.type) {
    case kFtLogical:
      Fill(p, f.length, ' ');
      break;
    case kFtDouble:
    case kFtCurDouble:
      Store32(p, 32);
      Store32(p + 4, 0x80000000u);
      break;
    case kFtInteger:
      Store32(p, 0x80000000u);
      break;
    case kFtShortInt:
      Store16(p, 0x8000);
      break;
    case kFtTime:
    case kFtAutoInc:
      Store32(p, 0xFFFFFFFFu);
      break;
    case kFtTimestamp:
    case kFtModTime:
      Store32(p, 0);
      Store32(p + 4, 0xFFFFFFFFu);
      break;
    case kFtMoney:
    case kFtRowVersion:
      Store32(p, 0);
      Store32(p + 4, 0x80000000u);
      break;
    case kFtVarcharFox:
    case kFtVarbinaryFox:
    case kFtNVarchar:
      Store16(p + f.length, 0xFFFF);
      break;
    default:
      Fill(p, f.length, 0);
      break;
  }
}

void WriteVfpNull(const FieldContext& ctx, Image image) {
  const FieldDesc& f = ctx.field;
  std::byte* p = FieldPtr(ctx, image);
  switch (f.type) {
    case kFtLogical:
    case kFtNumeric:
    case kFtDate:
    case kFtString:
    case kFtVarcharFox:
    case kFtVarbinaryFox:
      Fill(p, f.length, ' ');
      break;
    case kFtDouble:
    case kFtInteger:
    case kFtShortInt:
    case kFtTimestamp:
    case kFtAutoInc:
    case kFtCurDouble:
    case kFtMoney:
      Fill(p, f.length, 0);
      break;
    case kFtNChar:
      FillUtf16Blanks(p, f.length);
      break;
    case kFtNVarchar:
      FillUtf16Blanks(p, f.length);
      Store16(p + f.length, 0xFFFF);
      break;
    default:
      break;  // no null form of its own: the null mark alone tells
  }
  if (f.nullable) WriteFlagBit(ctx, image, f.null_bit, true);
}

void WriteDbfNull(const FieldContext& ctx, Image image) {
  const FieldDesc& f = ctx.field;
  std::byte* p = FieldPtr(ctx, image);
  switch (f.type) {
    case kFtCompactDate:
    case kFtDouble:
    case kFtInteger:
    case kFtShortInt:
    case kFtCurDouble:
      Fill(p, f.length, 0);
      break;
    case kFtDate:  // a binary date is null when 0; blanks would read as a (bad) day number
      Fill(p, f.length, f.length == 4 ? 0 : ' ');
      break;
    case kFtNChar:
      FillUtf16Blanks(p, f.length);
      break;
    case kFtNVarchar:
      FillUtf16Blanks(p, f.length);
      Store16(p + f.length, 0xFFFF);
      break;
    default:
      Fill(p, f.length, ' ');
      break;
  }
}

}  // namespace

Status SetNull(const FieldContext& ctx, Image image) {
  ACE_RETURN_IF_ERROR(CheckBounds(ctx, image.size()));
  if (IsMemoField(ctx)) return RefuseMemo(ctx);
  switch (FormatOf(ctx)) {
    case Format::kAdt:
      WriteAdtNull(ctx, image);
      break;
    case Format::kVfp:
      WriteVfpNull(ctx, image);
      break;
    case Format::kDbf:
      WriteDbfNull(ctx, image);
      break;
  }
  return Status::Ok();
}

Status SetEmpty(const FieldContext& ctx, Image image) {
  ACE_RETURN_IF_ERROR(CheckBounds(ctx, image.size()));
  if (IsMemoField(ctx)) return RefuseMemo(ctx);
  Format format = FormatOf(ctx);
  if (format == Format::kDbf) return SetNull(ctx, image);
  const FieldDesc& f = ctx.field;
  std::byte* p = FieldPtr(ctx, image);
  switch (f.type) {
    case kFtLogical:
      Fill(p, f.length, 'F');
      break;
    case kFtNumeric: {
      Result<std::string> text = NumericFieldText(ctx, Decimal{});
      if (!text.ok()) {
        Fill(p, f.length, ' ');  // a field too narrow even for 0 (length 1 with decimals)
      } else {
        std::memcpy(p, text->data(), f.length);
      }
      break;
    }
    case kFtString:
    case kFtCiString:
      Fill(p, f.length, ' ');
      break;
    case kFtNChar:
      FillUtf16Blanks(p, f.length);
      break;
    case kFtNVarchar:
      FillUtf16Blanks(p, f.length);
      Store16(p + f.length, 0);
      break;
    case kFtVarcharFox:
    case kFtVarbinaryFox:
      Fill(p, f.length, ' ');
      StoreLength(ctx, image, 0);
      break;
    case kFtDouble:
    case kFtCurDouble:
    case kFtInteger:
    case kFtShortInt:
    case kFtTime:
    case kFtAutoInc:
    case kFtMoney:
    case kFtRowVersion:
      Fill(p, f.length, 0);
      break;
    default:  // dates, timestamps, raw: no empty value besides their null form
      if (format == Format::kAdt) {
        WriteAdtNull(ctx, image);
      } else {
        Fill(p, f.length, f.type == kFtDate && f.length != 4 ? ' ' : 0);
      }
      break;
  }
  ClearNullMark(ctx, image);
  return Status::Ok();
}

Status AccessVfpSystemField(const FieldContext& ctx, Image image, uint16_t option,
                            uint32_t* value) {
  if (ctx.table != TableType::kVfp) {
    return FieldError(ctx, kErrNotSupported, "system fields exist on Visual FoxPro tables only");
  }
  if (value == nullptr) return FieldError(ctx, kErrNullPointer, "no value given");
  ACE_RETURN_IF_ERROR(CheckBounds(ctx, image.size()));
  const FieldDesc& f = ctx.field;
  bool has_null_bit = f.nullable && f.null_bit >= 0 && ctx.null_flags != nullptr;
  bool has_length_bit = f.varlen_bit >= 0 && ctx.null_flags != nullptr;
  switch (option) {
    case kVfpReadNull:
      *value = has_null_bit && ReadFlagBit(ctx, image, f.null_bit) ? 1 : 0;
      return Status::Ok();
    case kVfpWriteNull:
      if (*value != 0 && !has_null_bit) {
        return FieldError(ctx, kErrInvalidArgument, "the field cannot hold NULL");
      }
      WriteFlagBit(ctx, image, f.null_bit, *value != 0);
      return Status::Ok();
    case kVfpWriteFullLength:
      if (!has_length_bit) {
        if (*value != 0) return Status::Ok();  // fixed fields are always full
        return FieldError(ctx, kErrInvalidArgument, "the field has no varying length");
      }
      WriteFlagBit(ctx, image, f.varlen_bit, *value == 0);
      return Status::Ok();
    case kVfpReadFullLength:
      *value = has_length_bit && ReadFlagBit(ctx, image, f.varlen_bit) ? 0 : 1;
      return Status::Ok();
    default:
      return FieldError(ctx, kErrInvalidArgument,
                        "unknown system-field option " + std::to_string(option));
  }
}

}  // namespace ace::fields
