// Variant conversions.
#include "ui/db/Variants.h"

#include <cmath>

namespace {

[[noreturn]] void CastError(TVarType from, TVarType to) {
  throw EVariantTypeCastError("Variante des Typs (" + VarTypeAsText(from) +
                              ") konnte nicht in Typ (" + VarTypeAsText(to) +
                              ") konvertiert werden");
}

bool ParseBool(const std::string& s, bool& out) {
  if (SameText(s, "True") || SameText(s, "Wahr")) {
    out = true;
    return true;
  }
  if (SameText(s, "False") || SameText(s, "Falsch")) {
    out = false;
    return true;
  }
  double d;
  if (TryStrToFloat(s, d)) {
    out = d != 0;
    return true;
  }
  return false;
}

}  // namespace

std::string VarTypeAsText(TVarType type) {
  if (type & varArray) return "Array";
  switch (type & varTypeMask) {
    case varEmpty:
      return "Empty";
    case varNull:
      return "Null";
    case varSmallint:
      return "Smallint";
    case varInteger:
      return "Integer";
    case varDouble:
      return "Double";
    case varCurrency:
      return "Currency";
    case varDate:
      return "Date";
    case varBoolean:
      return "Boolean";
    case varByte:
      return "Byte";
    case varInt64:
      return "Int64";
    case varString:
      return "String";
    default:
      return "Unknown";
  }
}

Variant::Variant(const TBcd& v) : FValue(BcdToStr(v, FormatSettings.DecimalSeparator)) {}

Variant Variant::FromDateTime(TDateTime v) {
  Variant r;
  r.FValue = DateValue{v};
  return r;
}

TVarType Variant::VarType() const {
  switch (FValue.index()) {
    case 0:
      return varEmpty;
    case 1:
      return varNull;
    case 2:
      return varBoolean;
    case 3:
      return varInteger;
    case 4:
      return varInt64;
    case 5:
      return varDouble;
    case 6:
      return varCurrency;
    case 7:
      return varDate;
    case 8:
      return varString;
    case 9:
      return varArray | varByte;
    default:
      return varArray | varVariant;
  }
}

bool Variant::AsBoolean() const {
  switch (FValue.index()) {
    case 0:
      return false;
    case 2:
      return std::get<bool>(FValue);
    case 3:
      return std::get<int32_t>(FValue) != 0;
    case 4:
      return std::get<int64_t>(FValue) != 0;
    case 5:
      return std::get<double>(FValue) != 0;
    case 6:
      return std::get<Currency>(FValue).Scaled != 0;
    case 7:
      return std::get<DateValue>(FValue).v != 0;
    case 8: {
      bool b;
      if (ParseBool(std::get<std::string>(FValue), b)) return b;
      break;
    }
    default:
      break;
  }
  CastError(VarType(), varBoolean);
}

int64_t Variant::AsInt64() const {
  auto fromDouble = [this](double d) -> int64_t {
    double r = std::nearbyint(d);  // halves go to the even neighbour
    if (!std::isfinite(r) || r >= 9.2233720368547758e18 || r < -9.2233720368547758e18)
      CastError(VarType(), varInt64);
    return static_cast<int64_t>(r);
  };
  switch (FValue.index()) {
    case 0:
      return 0;
    case 2:
      return std::get<bool>(FValue) ? -1 : 0;
    case 3:
      return std::get<int32_t>(FValue);
    case 4:
      return std::get<int64_t>(FValue);
    case 5:
      return fromDouble(std::get<double>(FValue));
    case 6:
      return fromDouble(std::get<Currency>(FValue).ToDouble());
    case 7:
      return fromDouble(std::get<DateValue>(FValue).v);
    case 8: {
      const std::string& s = std::get<std::string>(FValue);
      int64_t i;
      if (TryStrToInt64(s, i)) return i;
      double d;
      if (TryStrToFloat(s, d)) return fromDouble(d);
      bool b;
      if (ParseBool(s, b)) return b ? -1 : 0;
      break;
    }
    default:
      break;
  }
  CastError(VarType(), varInt64);
}

int32_t Variant::AsInteger() const {
  int64_t v;
  try {
    v = AsInt64();
  } catch (const EVariantTypeCastError&) {
    CastError(VarType(), varInteger);
  }
  if (v < INT32_MIN || v > INT32_MAX) CastError(VarType(), varInteger);
  return static_cast<int32_t>(v);
}

double Variant::AsDouble() const {
  switch (FValue.index()) {
    case 0:
      return 0;
    case 2:
      return std::get<bool>(FValue) ? -1 : 0;
    case 3:
      return std::get<int32_t>(FValue);
    case 4:
      return static_cast<double>(std::get<int64_t>(FValue));
    case 5:
      return std::get<double>(FValue);
    case 6:
      return std::get<Currency>(FValue).ToDouble();
    case 7:
      return std::get<DateValue>(FValue).v;
    case 8: {
      double d;
      const std::string& s = std::get<std::string>(FValue);
      if (TryStrToFloat(s, d)) return d;
      bool b;
      if (ParseBool(s, b)) return b ? -1 : 0;
      break;
    }
    default:
      break;
  }
  CastError(VarType(), varDouble);
}

Currency Variant::AsCurrency() const {
  switch (FValue.index()) {
    case 6:
      return std::get<Currency>(FValue);
    case 8: {
      TBcd b;
      Currency c;
      if (TryStrToBcd(std::get<std::string>(FValue), b) && BCDToCurr(b, c)) return c;
      break;
    }
    default:
      if (!IsNull() && !IsArray() && FValue.index() != 9) {
        try {
          return Currency::FromDouble(AsDouble());
        } catch (const EBcdOverflowException&) {
        }
      }
  }
  CastError(VarType(), varCurrency);
}

TDateTime Variant::AsDateTime() const {
  if (FValue.index() == 8) {
    TDateTime d;
    const std::string& s = std::get<std::string>(FValue);
    if (TryStrToDateTime(s, d)) return d;
    CastError(varString, varDate);
  }
  try {
    return AsDouble();
  } catch (const EVariantTypeCastError&) {
    CastError(VarType(), varDate);
  }
}

std::string Variant::AsString() const {
  switch (FValue.index()) {
    case 0:
      return "";
    case 2:
      return std::get<bool>(FValue) ? "True" : "False";
    case 3:
      return std::to_string(std::get<int32_t>(FValue));
    case 4:
      return std::to_string(std::get<int64_t>(FValue));
    case 5:
      return FloatToStr(std::get<double>(FValue));
    case 6:
      return CurrToStr(std::get<Currency>(FValue).ToDouble());
    case 7:
      return DateTimeToStr(std::get<DateValue>(FValue).v);
    case 8:
      return std::get<std::string>(FValue);
    case 9: {
      const TBytes& b = std::get<TBytes>(FValue);
      return std::string(b.begin(), b.end());
    }
    default:
      break;
  }
  CastError(VarType(), varString);
}

TBcd Variant::AsBcd() const {
  switch (FValue.index()) {
    case 0:
      return IntegerToBcd(0);
    case 2:
      return IntegerToBcd(std::get<bool>(FValue) ? -1 : 0);
    case 3:
      return IntegerToBcd(std::get<int32_t>(FValue));
    case 4:
      return IntegerToBcd(std::get<int64_t>(FValue));
    case 5:
      return DoubleToBcd(std::get<double>(FValue));
    case 6: {
      TBcd b;
      CurrToBCD(std::get<Currency>(FValue), b);
      return b;
    }
    case 7:
      return DoubleToBcd(std::get<DateValue>(FValue).v);
    case 8: {
      TBcd b;
      if (TryStrToBcd(std::get<std::string>(FValue), b)) return b;
      break;
    }
    default:
      break;
  }
  CastError(VarType(), varString);
}

TBytes Variant::AsBytes() const {
  if (FValue.index() == 9) return std::get<TBytes>(FValue);
  if (FValue.index() == 8) {
    const std::string& s = std::get<std::string>(FValue);
    return TBytes(s.begin(), s.end());
  }
  if (IsEmpty()) return {};
  CastError(VarType(), varArray | varByte);
}

const std::vector<Variant>& Variant::AsArray() const {
  if (!IsArray()) throw EVariantError("Variante ist kein Array");
  return std::get<std::vector<Variant>>(FValue);
}

const Variant& Variant::operator[](size_t index) const {
  const auto& a = AsArray();
  if (index >= a.size()) throw EVariantError("Variant-Array-Index außerhalb des gültigen Bereichs");
  return a[index];
}

size_t Variant::ArrayLength() const {
  return AsArray().size();
}

bool Variant::operator==(const Variant& other) const {
  size_t a = FValue.index(), b = other.FValue.index();
  if (a <= 1 || b <= 1) return a == b;
  auto numeric = [](size_t i) { return i >= 2 && i <= 7; };
  if (numeric(a) && numeric(b)) {
    if ((a == 3 || a == 4) && (b == 3 || b == 4)) return AsInt64() == other.AsInt64();
    if (a == 6 && b == 6) return AsCurrency() == other.AsCurrency();
    return AsDouble() == other.AsDouble();
  }
  if (a == 8 && b == 8) return std::get<std::string>(FValue) == std::get<std::string>(other.FValue);
  if (a == 9 && b == 9) return std::get<TBytes>(FValue) == std::get<TBytes>(other.FValue);
  if (a == 10 && b == 10) return AsArray() == other.AsArray();
  // A string against a number compares as numbers when the string parses, else unequal.
  if ((a == 8 && numeric(b)) || (numeric(a) && b == 8)) {
    try {
      return AsDouble() == other.AsDouble();
    } catch (const EVariantError&) {
      return false;
    }
  }
  return false;
}

Variant Null() {
  return Variant(Variant::NullTag{});
}
Variant Unassigned() {
  return Variant();
}
bool VarIsNull(const Variant& v) {
  return v.IsNull();
}
bool VarIsEmpty(const Variant& v) {
  return v.IsEmpty();
}
bool VarIsClear(const Variant& v) {
  return v.IsEmpty();
}
bool VarIsArray(const Variant& v) {
  return v.IsArray();
}
bool VarIsNullOrEmpty(const Variant& v) {
  return v.IsNull() || v.IsEmpty();
}
Variant VarArrayOf(std::initializer_list<Variant> values) {
  return Variant(std::vector<Variant>(values));
}
Variant VarArrayOf(std::vector<Variant> values) {
  return Variant(std::move(values));
}
int VarArrayLowBound(const Variant& v, int) {
  v.AsArray();
  return 0;
}
int VarArrayHighBound(const Variant& v, int) {
  return static_cast<int>(v.ArrayLength()) - 1;
}
TVarType VarType(const Variant& v) {
  return v.VarType();
}
std::string VarToStr(const Variant& v) {
  return VarIsNullOrEmpty(v) ? "" : v.AsString();
}
std::string VarToStrDef(const Variant& v, const std::string& def) {
  return VarIsNullOrEmpty(v) ? def : v.AsString();
}
Variant VarFromDateTime(TDateTime v) {
  return Variant::FromDateTime(v);
}
