// A record image with one field under test, for the field codec tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/fields/field_codec.h"

namespace ace::fields::testing {

using storage::FieldDesc;
using storage::TableType;

// One field at offset 1 of a 64-byte image (byte 0 is the deletion byte of DBF images); on
// Visual FoxPro tables a two-byte _NullFlags at offset 60 with the field's length bit 0 and
// null bit 1.
struct OneField {
  FieldDesc field;
  FieldDesc null_flags;
  TableType table;
  std::vector<std::byte> image = std::vector<std::byte>(64, std::byte{0x20});
  uint16_t char_type = kCharTypeAnsi;
  const DateFormat* date_format = nullptr;

  OneField(TableType t, uint16_t type, uint32_t length, uint16_t decimals = 0,
           bool nullable = false)
      : table(t) {
    field.name = "F1";
    field.type = type;
    field.length = length;
    field.decimals = decimals;
    field.offset = 1;
    null_flags.name = "_NullFlags";
    null_flags.offset = 60;
    null_flags.length = 2;
    if (t == TableType::kVfp) {
      image[60] = image[61] = std::byte{0};
      if (type == storage::kFtVarcharFox || type == storage::kFtVarbinaryFox) field.varlen_bit = 0;
      if (nullable) {
        field.nullable = true;
        field.null_bit = 1;
      }
    } else {
      field.nullable = t == TableType::kAdt;
    }
  }

  FieldContext ctx() const {
    return FieldContext{field, table, table == TableType::kVfp ? &null_flags : nullptr, char_type,
                        date_format};
  }
  Image img() { return Image(image); }
  ConstImage cimg() const { return ConstImage(image); }

  // The field's bytes (plus `extra` bytes after it) as a string.
  std::string Bytes(size_t extra = 0) const {
    return std::string(reinterpret_cast<const char*>(image.data()) + field.offset,
                       field.length + extra);
  }
  void Put(const std::string& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) image[field.offset + i] = std::byte(bytes[i]);
  }
  bool NullBit() const { return (static_cast<uint8_t>(image[60]) & 2) != 0; }
  bool LengthBit() const { return (static_cast<uint8_t>(image[60]) & 1) != 0; }
};

inline std::string Le32(uint32_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF),
                     static_cast<char>(v >> 16 & 0xFF), static_cast<char>(v >> 24 & 0xFF)};
}

}  // namespace ace::fields::testing
