// Helpers shared by the reading, writing and null parts of the field codec: bounds checks,
// little-endian access, the length word and length byte of variable fields, the Visual FoxPro
// _NullFlags bits, and errors that name the field. Internal to engine/fields.
#pragma once

#include <cstring>
#include <string>

#include "engine/base/error_codes.h"
#include "engine/fields/field_codec.h"
#include "engine/fields/number_text.h"

namespace ace::fields::internal {

using storage::FieldDesc;
using storage::TableType;

enum class Format { kAdt, kVfp, kDbf };

inline Format FormatOf(const FieldContext& ctx) {
  switch (ctx.table) {
    case TableType::kAdt:
      return Format::kAdt;
    case TableType::kVfp:
      return Format::kVfp;
    default:
      return Format::kDbf;
  }
}

inline const DateFormat& DateFormatOf(const FieldContext& ctx) {
  return ctx.date_format != nullptr ? *ctx.date_format : DefaultDateFormat();
}

inline Status FieldError(const FieldContext& ctx, uint32_t code, const std::string& what) {
  return Status(code, "field " + ctx.field.name + ": " + what);
}

// The types whose value lives in the memo file.
bool IsMemoField(const FieldContext& ctx);
// True when a 16-bit length word follows the field: 27 everywhere, 23 and 24 on ADT.
bool HasLengthWord(const FieldContext& ctx);
// Text types whose bytes are code-page converted on OEM tables (4, 20, 23, unless binary).
bool IsOemConverted(const FieldContext& ctx);

// The field and what belongs to it (length word, _NullFlags bits) lie inside the image.
Status CheckBounds(const FieldContext& ctx, size_t image_size);

inline uint16_t Load16(const std::byte* p) {
  return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | static_cast<uint8_t>(p[1]) << 8);
}
inline uint32_t Load32(const std::byte* p) {
  return static_cast<uint32_t>(Load16(p)) | static_cast<uint32_t>(Load16(p + 2)) << 16;
}
inline uint64_t Load64(const std::byte* p) {
  return static_cast<uint64_t>(Load32(p)) | static_cast<uint64_t>(Load32(p + 4)) << 32;
}
inline void Store16(std::byte* p, uint16_t v) {
  p[0] = static_cast<std::byte>(v & 0xFF);
  p[1] = static_cast<std::byte>(v >> 8);
}
inline void Store32(std::byte* p, uint32_t v) {
  Store16(p, static_cast<uint16_t>(v & 0xFFFF));
  Store16(p + 2, static_cast<uint16_t>(v >> 16));
}
inline void Store64(std::byte* p, uint64_t v) {
  Store32(p, static_cast<uint32_t>(v & 0xFFFFFFFFu));
  Store32(p + 4, static_cast<uint32_t>(v >> 32));
}
inline double LoadDouble(const std::byte* p) {
  uint64_t bits = Load64(p);
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
inline void StoreDouble(std::byte* p, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  Store64(p, bits);
}

inline const std::byte* FieldPtr(const FieldContext& ctx, ConstImage image) {
  return image.data() + ctx.field.offset;
}
inline std::byte* FieldPtr(const FieldContext& ctx, Image image) {
  return image.data() + ctx.field.offset;
}
inline std::string_view FieldBytes(const FieldContext& ctx, ConstImage image) {
  return std::string_view(reinterpret_cast<const char*>(FieldPtr(ctx, image)), ctx.field.length);
}

void Fill(std::byte* p, size_t n, uint8_t value);
void FillUtf16Blanks(std::byte* p, size_t bytes);
bool AllBytesAre(std::string_view bytes, uint8_t a, uint8_t b);

// Visual FoxPro _NullFlags bits (bit n: byte n / 8, mask 1 << n % 8). A field without the bit,
// or a table without _NullFlags, reads false; writing such a bit is ignored.
bool ReadFlagBit(const FieldContext& ctx, ConstImage image, int bit);
void WriteFlagBit(const FieldContext& ctx, Image image, int bit, bool set);

// The stored length of a variable field: bytes for 23 and 24, characters for 27 (the whole
// field on formats without a length). Null length words (0xFFFF) read as 0. A length beyond the
// field is kErrCorruptFile.
Result<uint32_t> StoredLength(const FieldContext& ctx, ConstImage image);
// Records a length for 23 and 24 (ADT word; VFP last byte and length bit) or 27 (word).
void StoreLength(const FieldContext& ctx, Image image, uint32_t length);

// Clears the VFP null mark after a value was written.
void ClearNullMark(const FieldContext& ctx, Image image);

// The text of a numeric field for a value, right-aligned in its width;
// kErrValueOutOfRange when it does not fit.
Result<std::string> NumericFieldText(const FieldContext& ctx, const Decimal& value);

// The null test of the table's format alone (without the VFP null mark).
bool FormatSaysNull(const FieldContext& ctx, ConstImage image);

}  // namespace ace::fields::internal
