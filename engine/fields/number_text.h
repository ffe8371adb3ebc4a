// Decimal number texts: reading them exactly, rounding them to a number of decimals (half away
// from zero), and the texts of doubles and of scaled integers (money). Used for numeric fields,
// whose value is stored as text, and for the text forms of the binary number types. Pure
// functions; safe on any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/status.h"

namespace ace::fields {

// A decimal number as digits: value = (negative ? -1 : 1) * integer.fraction.
struct Decimal {
  bool negative = false;
  std::string integer;   // no leading zeros; empty for 0
  std::string fraction;  // no trailing zeros
};

// Reads blanks, an optional sign, digits with at most one "." and an optional exponent
// ("1.5", "-.25", "+3", "12e-2"), blanks. kErrConversion for anything else, the empty text
// included.
Result<Decimal> ParseDecimal(std::string_view text);

// The shortest decimal that reads back as the same double. Infinities and NaN are
// kErrValueOutOfRange.
Result<Decimal> DecimalFromDouble(double value);

// Fixed notation with exactly `decimals` fraction digits, rounded half away from zero; "-" only
// when the rounded value is not zero; "0" before the point when the integer part is zero.
std::string FormatFixed(const Decimal& value, int decimals);

// The value times 10^scale, rounded half away from zero, as a 64-bit integer;
// kErrValueOutOfRange when it does not fit.
Result<int64_t> ToScaledInteger(const Decimal& value, int scale);

// The text of value / 10^scale with exactly `scale` decimals ("-12.3400" for -123400, scale 4).
std::string FormatScaled(int64_t value, int scale);

// The shortest text that reads back as the same double ("1.5", "0.1", "1e+300").
std::string FormatDouble(double value);

// The double nearest to a decimal.
double DecimalToDouble(const Decimal& value);

}  // namespace ace::fields
