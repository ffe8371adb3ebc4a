// Variant: a value of one of the framework's dynamic types (unassigned, null, Boolean, 32- and
// 64-bit integer, double, currency, date-time, string, bytes, array of variants).
//
// Conversions: Unassigned reads as 0 / "" / False; Null converts to
// nothing and raises EVariantTypeCastError; strings are parsed with FormatSettings and raise
// EVariantTypeCastError when they do not parse; arrays convert to nothing. A Variant owns its
// value (strings, bytes and array elements are copied with it).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>
#include <vector>

#include "ui/classes/SysUtils.h"
#include "ui/db/DateTime.h"
#include "ui/db/FMTBcd.h"

VCL_DECLARE_EXCEPTION(EVariantTypeCastError, EVariantError)

using TVarType = uint16_t;
constexpr TVarType varEmpty = 0x0000;
constexpr TVarType varNull = 0x0001;
constexpr TVarType varSmallint = 0x0002;
constexpr TVarType varInteger = 0x0003;
constexpr TVarType varDouble = 0x0005;
constexpr TVarType varCurrency = 0x0006;
constexpr TVarType varDate = 0x0007;
constexpr TVarType varBoolean = 0x000B;
constexpr TVarType varVariant = 0x000C;
constexpr TVarType varByte = 0x0011;
constexpr TVarType varInt64 = 0x0014;
constexpr TVarType varString = 0x0100;
constexpr TVarType varArray = 0x2000;
constexpr TVarType varTypeMask = 0x0FFF;

using TBytes = std::vector<uint8_t>;

class Variant {
 public:
  struct NullTag {};
  struct DateTag {};

  Variant() = default;  // Unassigned
  Variant(NullTag) : FValue(NullTag{}) {}
  Variant(bool v) : FValue(v) {}
  Variant(int v) : FValue(static_cast<int32_t>(v)) {}
  Variant(int64_t v) : FValue(v) {}
  Variant(double v) : FValue(v) {}
  Variant(Currency v) : FValue(v) {}
  Variant(const char* v) : FValue(std::string(v)) {}
  Variant(std::string v) : FValue(std::move(v)) {}
  Variant(TBytes v) : FValue(std::move(v)) {}
  Variant(std::vector<Variant> v) : FValue(std::move(v)) {}
  // A decimal number is kept as its text (FormatSettings' separator) so that no digit is lost.
  Variant(const TBcd& v);
  static Variant FromDateTime(TDateTime v);

  TVarType VarType() const;
  bool IsEmpty() const { return FValue.index() == 0; }
  bool IsNull() const { return std::holds_alternative<NullTag>(FValue); }
  bool IsArray() const { return std::holds_alternative<std::vector<Variant>>(FValue); }

  bool AsBoolean() const;
  int32_t AsInteger() const;  // EVariantTypeCastError beyond the 32-bit range
  int64_t AsInt64() const;
  double AsDouble() const;
  Currency AsCurrency() const;
  TDateTime AsDateTime() const;
  std::string AsString() const;
  TBcd AsBcd() const;
  TBytes AsBytes() const;  // bytes as they are, a string's bytes, else a cast error
  const std::vector<Variant>& AsArray() const;  // EVariantError when not an array

  // Array access; EVariantError when not an array or the index is out of bounds.
  const Variant& operator[](size_t index) const;
  size_t ArrayLength() const;

  explicit operator bool() const { return AsBoolean(); }
  explicit operator int32_t() const { return AsInteger(); }
  explicit operator double() const { return AsDouble(); }
  explicit operator std::string() const { return AsString(); }

  // Same type family and value: numbers compare by value across integer/double/currency, strings
  // exactly; Null equals only Null, Unassigned only Unassigned.
  bool operator==(const Variant& other) const;
  bool operator!=(const Variant& other) const { return !(*this == other); }

 private:
  struct DateValue {
    double v;
  };
  using Storage = std::variant<std::monostate, NullTag, bool, int32_t, int64_t, double, Currency,
                               DateValue, std::string, TBytes, std::vector<Variant>>;
  Storage FValue;
};

Variant Null();
Variant Unassigned();
bool VarIsNull(const Variant& v);
bool VarIsEmpty(const Variant& v);
bool VarIsClear(const Variant& v);  // same as VarIsEmpty here
bool VarIsArray(const Variant& v);
// Empty or Null.
bool VarIsNullOrEmpty(const Variant& v);
Variant VarArrayOf(std::initializer_list<Variant> values);
Variant VarArrayOf(std::vector<Variant> values);
int VarArrayLowBound(const Variant& v, int dim);   // 0
int VarArrayHighBound(const Variant& v, int dim);  // length - 1
TVarType VarType(const Variant& v);
// Null and Unassigned give "" (the usual way to show a variant as text).
std::string VarToStr(const Variant& v);
std::string VarToStrDef(const Variant& v, const std::string& def);
Variant VarFromDateTime(TDateTime v);
// Name of the type for messages: "Empty", "Null", "Boolean", "Integer", "Int64", "Double",
// "Currency", "Date", "String", "Array".
std::string VarTypeAsText(TVarType type);
