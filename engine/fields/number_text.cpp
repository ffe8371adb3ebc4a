// Exact decimal texts: parsing, rounding and formatting without going through binary floating
// point, so that 1.005 rounded to two decimals is 1.01 and money keeps every digit.
#include "engine/fields/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "engine/base/error_codes.h"

namespace ace::fields {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

void Normalize(Decimal& d) {
  size_t lead = d.integer.find_first_not_of('0');
  d.integer = lead == std::string::npos ? std::string() : d.integer.substr(lead);
  size_t trail = d.fraction.find_last_not_of('0');
  d.fraction = trail == std::string::npos ? std::string() : d.fraction.substr(0, trail + 1);
  if (d.integer.empty() && d.fraction.empty()) d.negative = false;
}

// Adds one unit in the last place of a digit string; answers whether it carried out of it.
bool Increment(std::string& digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return false;
    }
    digits[i] = '0';
  }
  return true;
}

// The digits of the value rounded to `decimals` fraction digits: integer and fraction parts.
void Round(const Decimal& value, int decimals, std::string* integer, std::string* fraction) {
  *integer = value.integer;
  std::string frac = value.fraction;
  bool round_up = static_cast<int>(frac.size()) > decimals && frac[decimals] >= '5';
  frac.resize(decimals, '0');
  if (round_up) {
    if (Increment(frac)) {
      if (Increment(*integer)) integer->insert(integer->begin(), '1');
      if (integer->empty()) *integer = "1";
    }
  }
  *fraction = frac;
}

}  // namespace

Result<Decimal> ParseDecimal(std::string_view text) {
  auto bad = [&] { return Status(kErrConversion, "'" + std::string(text) + "' is not a number"); };
  size_t pos = 0, end = text.size();
  while (pos < end && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  while (end > pos && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\0'))
    --end;
  Decimal d;
  if (pos < end && (text[pos] == '+' || text[pos] == '-')) d.negative = text[pos++] == '-';
  bool any_digit = false, point = false;
  while (pos < end) {
    char c = text[pos];
    if (IsDigit(c)) {
      (point ? d.fraction : d.integer).push_back(c);
      any_digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
    ++pos;
  }
  if (!any_digit) return bad();
  if (pos < end && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    bool exp_negative = false;
    if (pos < end && (text[pos] == '+' || text[pos] == '-')) exp_negative = text[pos++] == '-';
    int exponent = 0, count = 0;
    while (pos < end && IsDigit(text[pos])) {
      if (exponent < 100000) exponent = exponent * 10 + (text[pos] - '0');
      ++pos, ++count;
    }
    if (count == 0 || exponent > 4000) return bad();
    if (exp_negative) {  // move digits from the integer part into the fraction
      std::string digits = d.integer;
      if (static_cast<int>(digits.size()) < exponent)
        digits.insert(0, exponent - digits.size(), '0');
      d.fraction = digits.substr(digits.size() - exponent) + d.fraction;
      d.integer = digits.substr(0, digits.size() - exponent);
    } else {
      std::string frac = d.fraction;
      if (static_cast<int>(frac.size()) < exponent) frac.append(exponent - frac.size(), '0');
      d.integer += frac.substr(0, exponent);
      d.fraction = frac.substr(exponent);
    }
  }
  if (pos != end) return bad();
  Normalize(d);
  return d;
}

Result<Decimal> DecimalFromDouble(double value) {
  if (!std::isfinite(value)) {
    return Status(kErrValueOutOfRange, "the value is not a finite number");
  }
  char buffer[64];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) return Status(kErrInternal, "a double could not be written as text");
  return ParseDecimal(std::string_view(buffer, ptr - buffer));
}

std::string FormatFixed(const Decimal& value, int decimals) {
  std::string integer, fraction;
  Round(value, decimals, &integer, &fraction);
  bool zero = integer.empty() && fraction.find_first_not_of('0') == std::string::npos;
  std::string out;
  if (value.negative && !zero) out.push_back('-');
  out += integer.empty() ? "0" : integer;
  if (decimals > 0) out += "." + fraction;
  return out;
}

Result<int64_t> ToScaledInteger(const Decimal& value, int scale) {
  std::string integer, fraction;
  Round(value, scale, &integer, &fraction);
  std::string digits = integer + fraction;
  size_t lead = digits.find_first_not_of('0');
  digits = lead == std::string::npos ? "0" : digits.substr(lead);
  auto out_of_range = [&] {
    return Status(kErrValueOutOfRange, "the value " + FormatFixed(value, scale) + " is too large");
  };
  if (digits.size() > 19) return out_of_range();
  uint64_t magnitude = std::strtoull(digits.c_str(), nullptr, 10);
  if (value.negative) {
    if (magnitude > 9223372036854775808ULL) return out_of_range();
    return static_cast<int64_t>(0 - magnitude);
  }
  if (magnitude > 9223372036854775807ULL) return out_of_range();
  return static_cast<int64_t>(magnitude);
}

std::string FormatScaled(int64_t value, int scale) {
  bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits = std::to_string(magnitude);
  if (static_cast<int>(digits.size()) <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  std::string out = negative ? "-" : "";
  out += digits.substr(0, digits.size() - scale);
  if (scale > 0) out += "." + digits.substr(digits.size() - scale);
  return out;
}

std::string FormatDouble(double value) {
  char buffer[64];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) return "0";
  return std::string(buffer, ptr - buffer);
}

double DecimalToDouble(const Decimal& value) {
  std::string text = (value.negative ? "-" : "") + (value.integer.empty() ? "0" : value.integer);
  if (!value.fraction.empty()) text += "." + value.fraction;
  double out = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  (void)ptr;
  if (ec == std::errc::result_out_of_range) {
    // Too large in magnitude, or too small: the digits before the point tell which.
    if (value.integer.empty()) return value.negative ? -0.0 : 0.0;
    return value.negative ? -HUGE_VAL : HUGE_VAL;
  }
  return out;
}

}  // namespace ace::fields
