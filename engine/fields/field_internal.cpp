// Bounds, length words, _NullFlags bits and the numeric field text shared by the codec's parts.
#include "engine/fields/field_internal.h"

#include <algorithm>

namespace ace::fields::internal {

using namespace storage;

bool IsMemoField(const FieldContext& ctx) {
  switch (ctx.field.type) {
    case kFtMemo:
    case kFtBinary:
    case kFtImage:
    case kFtNMemo:
    case kFtFoxBlob:
    case kFtFoxGeneral:
      return true;
    case kFtVarchar:
      return ctx.table == TableType::kAdt;
    default:
      return false;
  }
}

bool HasLengthWord(const FieldContext& ctx) {
  uint16_t t = ctx.field.type;
  return t == kFtNVarchar ||
         (ctx.table == TableType::kAdt && (t == kFtVarcharFox || t == kFtVarbinaryFox));
}

bool IsOemConverted(const FieldContext& ctx) {
  uint16_t t = ctx.field.type;
  return ctx.char_type == kCharTypeOem && !ctx.field.binary &&
         (t == kFtString || t == kFtCiString || t == kFtVarcharFox || t == kFtMemo ||
          (t == kFtVarchar && ctx.table == TableType::kAdt));
}

namespace {

// The bytes a type's binary storage needs; 0 for types of any length.
uint32_t MinimumLength(const FieldContext& ctx) {
  switch (ctx.field.type) {
    case kFtLogical:
      return 1;
    case kFtDate:
      return ctx.table == TableType::kAdt ? 4 : 0;
    case kFtCompactDate:
      return 3;
    case kFtShortInt:
      return 2;
    case kFtInteger:
    case kFtTime:
    case kFtAutoInc:
      return 4;
    case kFtDouble:
    case kFtCurDouble:
    case kFtTimestamp:
    case kFtMoney:
    case kFtRowVersion:
    case kFtModTime:
      return 8;
    default:
      return 0;
  }
}

}  // namespace

Status CheckBounds(const FieldContext& ctx, size_t image_size) {
  if (ctx.field.length < MinimumLength(ctx)) {
    return FieldError(ctx, kErrInvalidArgument,
                      "a field of type " + std::to_string(ctx.field.type) + " needs " +
                          std::to_string(MinimumLength(ctx)) + " bytes, it has " +
                          std::to_string(ctx.field.length));
  }
  uint64_t end = static_cast<uint64_t>(ctx.field.offset) + ctx.field.length;
  if (HasLengthWord(ctx)) end += 2;
  if (end > image_size) {
    return FieldError(ctx, kErrInvalidArgument,
                      "lies outside the record image (ends at " + std::to_string(end) +
                          ", image has " + std::to_string(image_size) + " bytes)");
  }
  bool uses_flags = (ctx.field.nullable && ctx.field.null_bit >= 0) || ctx.field.varlen_bit >= 0;
  if (ctx.table == TableType::kVfp && uses_flags && ctx.null_flags == nullptr) {
    return FieldError(ctx, kErrInvalidArgument,
                      "has a _NullFlags bit, but the table's _NullFlags field was not given");
  }
  if (ctx.table == TableType::kVfp && ctx.null_flags != nullptr) {
    uint64_t flags_end = static_cast<uint64_t>(ctx.null_flags->offset) + ctx.null_flags->length;
    int bit = std::max(ctx.field.null_bit, ctx.field.varlen_bit);
    if (flags_end > image_size ||
        (bit >= 0 && static_cast<uint64_t>(bit) >= ctx.null_flags->length * 8ull)) {
      return FieldError(ctx, kErrInvalidArgument, "its _NullFlags bit lies outside the image");
    }
  }
  return Status::Ok();
}

void Fill(std::byte* p, size_t n, uint8_t value) {
  std::memset(p, value, n);
}

void FillUtf16Blanks(std::byte* p, size_t bytes) {
  for (size_t i = 0; i + 1 < bytes; i += 2) Store16(p + i, 0x0020);
  if (bytes % 2 != 0) p[bytes - 1] = std::byte{0x20};
}

bool AllBytesAre(std::string_view bytes, uint8_t a, uint8_t b) {
  for (char c : bytes) {
    uint8_t u = static_cast<uint8_t>(c);
    if (u != a && u != b) return false;
  }
  return true;
}

bool ReadFlagBit(const FieldContext& ctx, ConstImage image, int bit) {
  if (bit < 0 || ctx.null_flags == nullptr || ctx.table != TableType::kVfp) return false;
  size_t at = ctx.null_flags->offset + static_cast<size_t>(bit) / 8;
  if (at >= image.size() || static_cast<size_t>(bit) / 8 >= ctx.null_flags->length) return false;
  return (static_cast<uint8_t>(image[at]) >> (bit % 8) & 1) != 0;
}

void WriteFlagBit(const FieldContext& ctx, Image image, int bit, bool set) {
  if (bit < 0 || ctx.null_flags == nullptr || ctx.table != TableType::kVfp) return;
  size_t at = ctx.null_flags->offset + static_cast<size_t>(bit) / 8;
  if (at >= image.size() || static_cast<size_t>(bit) / 8 >= ctx.null_flags->length) return;
  uint8_t mask = static_cast<uint8_t>(1u << (bit % 8));
  uint8_t byte = static_cast<uint8_t>(image[at]);
  image[at] = static_cast<std::byte>(set ? (byte | mask) : (byte & ~mask));
}

Result<uint32_t> StoredLength(const FieldContext& ctx, ConstImage image) {
  const FieldDesc& f = ctx.field;
  uint32_t capacity = f.type == kFtNVarchar ? f.length / 2 : f.length;
  if (HasLengthWord(ctx)) {
    uint16_t word = Load16(FieldPtr(ctx, image) + f.length);
    if (word == 0xFFFF) return 0u;
    if (word > capacity) {
      return FieldError(ctx, kErrCorruptFile,
                        "stored length " + std::to_string(word) + " exceeds the field's " +
                            std::to_string(capacity));
    }
    return static_cast<uint32_t>(word);
  }
  if (ctx.table == TableType::kVfp && (f.type == kFtVarcharFox || f.type == kFtVarbinaryFox) &&
      f.length > 0 && ReadFlagBit(ctx, image, f.varlen_bit)) {
    uint8_t n = static_cast<uint8_t>(FieldPtr(ctx, image)[f.length - 1]);
    if (n >= f.length) {
      return FieldError(ctx, kErrCorruptFile,
                        "stored length " + std::to_string(n) + " does not fit the field's " +
                            std::to_string(f.length) + " bytes");
    }
    return static_cast<uint32_t>(n);
  }
  return capacity;
}

void StoreLength(const FieldContext& ctx, Image image, uint32_t length) {
  const FieldDesc& f = ctx.field;
  if (HasLengthWord(ctx)) {
    Store16(FieldPtr(ctx, image) + f.length, static_cast<uint16_t>(length));
    return;
  }
  if (ctx.table == TableType::kVfp && (f.type == kFtVarcharFox || f.type == kFtVarbinaryFox)) {
    bool shorter = length < f.length;
    if (shorter) FieldPtr(ctx, image)[f.length - 1] = static_cast<std::byte>(length);
    WriteFlagBit(ctx, image, f.varlen_bit, shorter);
  }
}

void ClearNullMark(const FieldContext& ctx, Image image) {
  if (ctx.field.nullable) WriteFlagBit(ctx, image, ctx.field.null_bit, false);
}

Result<std::string> NumericFieldText(const FieldContext& ctx, const Decimal& value) {
  std::string text = FormatFixed(value, ctx.field.decimals);
  if (text.size() > ctx.field.length) {
    // A narrow field holds a fraction without its leading zero, as classic tools write it.
    if (text.rfind("0.", 0) == 0) {
      text.erase(0, 1);
    } else if (text.rfind("-0.", 0) == 0) {
      text.erase(1, 1);
    }
  }
  if (text.size() > ctx.field.length) {
    return FieldError(ctx, kErrValueOutOfRange,
                      "Numeric out of range: " + text + " does not fit " +
                          std::to_string(ctx.field.length) + " characters with " +
                          std::to_string(ctx.field.decimals) + " decimals");
  }
  return std::string(ctx.field.length - text.size(), ' ') + text;
}

}  // namespace ace::fields::internal
