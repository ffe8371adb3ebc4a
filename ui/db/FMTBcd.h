// Decimal numbers of up to 64 digits (TBcd) and the currency type.
//
// TBcd is a plain, trivially copyable value of fixed size: it is also the native buffer form of
// ftBCD and ftFMTBcd fields, so record code copies it byte for byte. The digits are packed two per
// byte, most significant first; the number of digits is Precision and the low six bits of
// SignSpecialPlaces give how many of them follow the decimal point (the scale), bit 7 the sign.
//
// Text conversion takes the decimal separator explicitly (default: the one of FormatSettings).
// Failed conversions raise EConvertError; values that do not fit their target raise
// EBcdOverflowException. Nothing here keeps state; everything is thread-safe.
#pragma once

#include <cstdint>
#include <string>

#include "ui/classes/SysUtils.h"

// Fixed-point currency value with four decimals, stored as value x 10000.
struct Currency {
  int64_t Scaled = 0;

  static Currency FromScaled(int64_t scaled) { return Currency{scaled}; }
  // Rounds to the nearest 1/10000, halves away from zero; raises EBcdOverflowException when the
  // value is out of range.
  static Currency FromDouble(double value);
  double ToDouble() const { return static_cast<double>(Scaled) / 10000.0; }
  friend bool operator==(const Currency&, const Currency&) = default;
  friend auto operator<=>(const Currency&, const Currency&) = default;
};

struct TBcd {
  uint8_t Precision = 0;  // number of digits held (1..64); 0 only in a zero-initialised value
  uint8_t SignSpecialPlaces = 0;  // bit 7: negative; low six bits: digits after the point
  uint8_t Fraction[32] = {};      // packed digits, high nibble first
};
static_assert(sizeof(TBcd) == 34, "TBcd is a 34-byte record buffer form");

VCL_DECLARE_EXCEPTION(EBcdException, Exception)
VCL_DECLARE_EXCEPTION(EBcdOverflowException, EBcdException)

constexpr int MaxFMTBcdFractionSize = 64;

// Text. The separator defaults to FormatSettings.DecimalSeparator. Accepted: optional blanks,
// an optional sign, digits with at most one separator, optional blanks. More than 64 digits
// before the point fail; digits beyond 64 in total are rounded away from the fraction.
bool TryStrToBcd(const std::string& text, TBcd& out);
bool TryStrToBcd(const std::string& text, TBcd& out, char decimalSeparator);
TBcd StrToBcd(const std::string& text);  // EConvertError "'%s' ist kein gültiger BCD-Wert"
TBcd StrToBcd(const std::string& text, char decimalSeparator);
// Shortest text: no leading zeros, trailing fraction zeros kept as stored ("1,50"), "0" for zero.
std::string BcdToStr(const TBcd& value);
std::string BcdToStr(const TBcd& value, char decimalSeparator);
// Fixed notation with exactly `decimals` fraction digits (rounded half away from zero).
std::string BcdToStrFixed(const TBcd& value, int decimals, char decimalSeparator);

// Numbers.
TBcd IntegerToBcd(int64_t value);
TBcd DoubleToBcd(double value);  // 15 significant digits; EBcdOverflowException for NaN/inf
double BcdToDouble(const TBcd& value);
// Whole part (truncated toward zero); EBcdOverflowException beyond the 64-bit range.
int64_t BcdToInt64(const TBcd& value, bool truncate = true);
bool CurrToBCD(Currency value, TBcd& out, int precision = 32, int decimals = 4);
// False when the value does not fit a currency; fraction digits beyond four are rounded.
bool BCDToCurr(const TBcd& value, Currency& out);
Currency BcdToCurrency(const TBcd& value);  // EBcdOverflowException when it does not fit

// -1, 0 or 1; values compare numerically ("1,50" equals "1,5", "-0" equals "0").
int BcdCompare(const TBcd& a, const TBcd& b);
// Digits before the decimal point, leading zeros not counted (0 for |v| < 1).
int BcdPrecision(const TBcd& value);
// Digits after the decimal point as stored.
int BcdScale(const TBcd& value);
bool BcdIsNegative(const TBcd& value);
bool BcdIsZero(const TBcd& value);
// Re-expresses value with at most `precision` digits of which `scale` follow the point, rounding
// the fraction half away from zero. False when the integer part needs more than precision-scale
// digits.
bool NormalizeBcd(const TBcd& in, TBcd& out, int precision, int scale);
TBcd BcdAdd(const TBcd& a, const TBcd& b);
TBcd BcdSubtract(const TBcd& a, const TBcd& b);
TBcd BcdNegate(const TBcd& a);

inline bool operator==(const TBcd& a, const TBcd& b) {
  return BcdCompare(a, b) == 0;
}
inline bool operator<(const TBcd& a, const TBcd& b) {
  return BcdCompare(a, b) < 0;
}
