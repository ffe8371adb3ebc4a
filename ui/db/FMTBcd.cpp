// TBcd conversions and comparison. Every operation unpacks the value into a sign, a digit text
// and a scale, works on that text and packs the result again; 64 digits make this cheap enough.
#include "ui/db/FMTBcd.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "ui/db/DateTime.h"

namespace {

struct Decimal {
  bool negative = false;
  std::string digits = "0";  // at least scale + 1 digits after Normalise
  int scale = 0;
};

Decimal Unpack(const TBcd& v) {
  Decimal d;
  int prec = std::min<int>(v.Precision, MaxFMTBcdFractionSize);
  d.negative = (v.SignSpecialPlaces & 0x80) != 0;
  d.scale = std::min<int>(v.SignSpecialPlaces & 0x3F, prec);
  d.digits.clear();
  for (int i = 0; i < prec; ++i) {
    uint8_t byte = v.Fraction[i / 2];
    int nibble = (i % 2 == 0) ? (byte >> 4) : (byte & 0x0F);
    d.digits.push_back(static_cast<char>('0' + std::min(nibble, 9)));
  }
  if (d.digits.empty()) d.digits = "0";
  return d;
}

// Strips leading integer zeros (keeping one digit before the point) and clears the sign of zero.
void Normalise(Decimal& d) {
  while (static_cast<int>(d.digits.size()) < d.scale + 1) d.digits.insert(d.digits.begin(), '0');
  size_t intLen = d.digits.size() - d.scale;
  size_t strip = 0;
  while (strip + 1 < intLen && d.digits[strip] == '0') ++strip;
  d.digits.erase(0, strip);
  if (d.digits.find_first_not_of('0') == std::string::npos) d.negative = false;
}

// Rounds away fraction digits until the total fits 64 digits or the scale is at most `maxScale`.
void RoundFraction(Decimal& d, int maxScale) {
  while (d.scale > maxScale ||
         (static_cast<int>(d.digits.size()) > MaxFMTBcdFractionSize && d.scale > 0)) {
    char dropped = d.digits.back();
    d.digits.pop_back();
    --d.scale;
    if (dropped >= '5') {
      int i = static_cast<int>(d.digits.size()) - 1;
      while (i >= 0 && d.digits[i] == '9') d.digits[i--] = '0';
      if (i >= 0)
        ++d.digits[i];
      else
        d.digits.insert(d.digits.begin(), '1');
    }
  }
}

bool Pack(Decimal d, TBcd& out) {
  Normalise(d);
  RoundFraction(d, 63);
  Normalise(d);
  if (static_cast<int>(d.digits.size()) > MaxFMTBcdFractionSize) return false;
  TBcd r;
  r.Precision = static_cast<uint8_t>(d.digits.size());
  r.SignSpecialPlaces = static_cast<uint8_t>((d.negative ? 0x80 : 0) | (d.scale & 0x3F));
  for (size_t i = 0; i < d.digits.size(); ++i) {
    uint8_t nibble = static_cast<uint8_t>(d.digits[i] - '0');
    if (i % 2 == 0)
      r.Fraction[i / 2] = static_cast<uint8_t>(nibble << 4);
    else
      r.Fraction[i / 2] |= nibble;
  }
  out = r;
  return true;
}

TBcd PackOrThrow(const Decimal& d) {
  TBcd r;
  if (!Pack(d, r)) throw EBcdOverflowException("BCD-Überlauf");
  return r;
}

std::string IntegerPart(const Decimal& d) {
  return d.digits.substr(0, d.digits.size() - d.scale);
}

// Compares magnitudes of two normalised decimals.
int CompareMagnitude(const Decimal& a, const Decimal& b) {
  std::string ai = IntegerPart(a), bi = IntegerPart(b);
  if (ai.size() != bi.size()) return ai.size() < bi.size() ? -1 : 1;
  if (int c = ai.compare(bi)) return c < 0 ? -1 : 1;
  std::string af = a.digits.substr(ai.size()), bf = b.digits.substr(bi.size());
  size_t n = std::max(af.size(), bf.size());
  af.resize(n, '0');
  bf.resize(n, '0');
  int c = af.compare(bf);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// Aligns both to the same scale and the same number of digits.
void Align(Decimal& a, Decimal& b) {
  int scale = std::max(a.scale, b.scale);
  a.digits.append(scale - a.scale, '0');
  a.scale = scale;
  b.digits.append(scale - b.scale, '0');
  b.scale = scale;
  size_t n = std::max(a.digits.size(), b.digits.size()) + 1;
  a.digits.insert(0, n - a.digits.size(), '0');
  b.digits.insert(0, n - b.digits.size(), '0');
}

std::string AddDigits(const std::string& a, const std::string& b) {
  std::string r(a.size(), '0');
  int carry = 0;
  for (int i = static_cast<int>(a.size()) - 1; i >= 0; --i) {
    int s = (a[i] - '0') + (b[i] - '0') + carry;
    r[i] = static_cast<char>('0' + s % 10);
    carry = s / 10;
  }
  return r;
}

std::string SubDigits(const std::string& a, const std::string& b) {  // a >= b
  std::string r(a.size(), '0');
  int borrow = 0;
  for (int i = static_cast<int>(a.size()) - 1; i >= 0; --i) {
    int s = (a[i] - '0') - (b[i] - '0') - borrow;
    borrow = s < 0 ? 1 : 0;
    r[i] = static_cast<char>('0' + (s + 10) % 10);
  }
  return r;
}

Decimal AddDecimal(Decimal a, Decimal b) {
  Normalise(a);
  Normalise(b);
  int mag = CompareMagnitude(a, b);
  Align(a, b);
  Decimal r;
  r.scale = a.scale;
  if (a.negative == b.negative) {
    r.digits = AddDigits(a.digits, b.digits);
    r.negative = a.negative;
  } else if (mag >= 0) {
    r.digits = SubDigits(a.digits, b.digits);
    r.negative = a.negative;
  } else {
    r.digits = SubDigits(b.digits, a.digits);
    r.negative = b.negative;
  }
  Normalise(r);
  return r;
}

bool ParseDecimal(const std::string& text, char sep, Decimal& out) {
  size_t i = 0, n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  Decimal d;
  d.digits.clear();
  if (i < n && (text[i] == '-' || text[i] == '+')) d.negative = text[i++] == '-';
  bool seenSep = false, anyDigit = false;
  for (; i < n; ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      d.digits.push_back(c);
      if (seenSep) ++d.scale;
      anyDigit = true;
    } else if (c == sep && !seenSep) {
      seenSep = true;
    } else {
      break;
    }
  }
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i != n || !anyDigit) return false;
  Normalise(d);
  RoundFraction(d, 63);
  Normalise(d);
  if (static_cast<int>(d.digits.size()) > MaxFMTBcdFractionSize) return false;
  out = d;
  return true;
}

}  // namespace

Currency Currency::FromDouble(double value) {
  double scaled = std::round(value * 10000.0);
  if (!std::isfinite(scaled) || scaled >= 9.2233720368547758e18 || scaled < -9.2233720368547758e18)
    throw EBcdOverflowException("Währungswert außerhalb des gültigen Bereichs");
  return Currency{static_cast<int64_t>(scaled)};
}

bool TryStrToBcd(const std::string& text, TBcd& out) {
  return TryStrToBcd(text, out, FormatSettings.DecimalSeparator);
}

bool TryStrToBcd(const std::string& text, TBcd& out, char decimalSeparator) {
  Decimal d;
  if (!ParseDecimal(text, decimalSeparator, d)) return false;
  return Pack(d, out);
}

TBcd StrToBcd(const std::string& text) {
  return StrToBcd(text, FormatSettings.DecimalSeparator);
}

TBcd StrToBcd(const std::string& text, char decimalSeparator) {
  TBcd r;
  if (!TryStrToBcd(text, r, decimalSeparator))
    throw EConvertError("'" + text + "' ist kein gültiger BCD-Wert");
  return r;
}

std::string BcdToStr(const TBcd& value) {
  return BcdToStr(value, FormatSettings.DecimalSeparator);
}

std::string BcdToStr(const TBcd& value, char decimalSeparator) {
  Decimal d = Unpack(value);
  Normalise(d);
  std::string s = d.negative ? "-" : "";
  s += IntegerPart(d);
  if (d.scale > 0) {
    s.push_back(decimalSeparator);
    s += d.digits.substr(d.digits.size() - d.scale);
  }
  return s;
}

std::string BcdToStrFixed(const TBcd& value, int decimals, char decimalSeparator) {
  Decimal d = Unpack(value);
  Normalise(d);
  decimals = std::clamp(decimals, 0, 63);
  RoundFraction(d, decimals);
  d.digits.append(decimals - d.scale, '0');
  d.scale = decimals;
  Normalise(d);
  std::string s = d.negative ? "-" : "";
  s += IntegerPart(d);
  if (decimals > 0) {
    s.push_back(decimalSeparator);
    s += d.digits.substr(d.digits.size() - decimals);
  }
  return s;
}

TBcd IntegerToBcd(int64_t value) {
  Decimal d;
  d.negative = value < 0;
  uint64_t mag = d.negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  d.digits = std::to_string(mag);
  return PackOrThrow(d);
}

TBcd DoubleToBcd(double value) {
  if (!std::isfinite(value)) throw EBcdOverflowException("BCD-Überlauf");
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  // %.15g may answer exponent form; re-expand it through fixed notation with enough digits.
  std::string s = buf;
  if (s.find('e') != std::string::npos) {
    int exp10 = static_cast<int>(std::floor(std::log10(std::fabs(value))));
    int decimals = std::clamp(14 - exp10, 0, 63);
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    s = buf;
  }
  Decimal d;
  if (!ParseDecimal(s, '.', d)) throw EBcdOverflowException("BCD-Überlauf");
  // Drop trailing fraction zeros that the fixed notation added.
  while (d.scale > 0 && d.digits.back() == '0') {
    d.digits.pop_back();
    --d.scale;
  }
  return PackOrThrow(d);
}

double BcdToDouble(const TBcd& value) {
  std::string s = BcdToStr(value, '.');
  return std::strtod(s.c_str(), nullptr);
}

int64_t BcdToInt64(const TBcd& value, bool truncate) {
  Decimal d = Unpack(value);
  Normalise(d);
  if (!truncate) RoundFraction(d, 0);
  std::string ip = IntegerPart(d);
  if (ip.size() > 19) throw EBcdOverflowException("BCD-Überlauf");
  uint64_t mag = std::stoull(ip);
  uint64_t limit = d.negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (mag > limit) throw EBcdOverflowException("BCD-Überlauf");
  return d.negative ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag);
}

bool CurrToBCD(Currency value, TBcd& out, int precision, int decimals) {
  Decimal d;
  d.negative = value.Scaled < 0;
  uint64_t mag =
      d.negative ? 0 - static_cast<uint64_t>(value.Scaled) : static_cast<uint64_t>(value.Scaled);
  d.digits = std::to_string(mag);
  d.scale = 4;
  TBcd full;
  if (!Pack(d, full)) return false;
  return NormalizeBcd(full, out, precision, decimals);
}

bool BCDToCurr(const TBcd& value, Currency& out) {
  Decimal d = Unpack(value);
  Normalise(d);
  RoundFraction(d, 4);
  d.digits.append(4 - d.scale, '0');
  d.scale = 4;
  Normalise(d);
  if (d.digits.size() > 19) return false;
  uint64_t mag = std::stoull(d.digits);
  uint64_t limit = d.negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (mag > limit) return false;
  out.Scaled = d.negative ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag);
  return true;
}

Currency BcdToCurrency(const TBcd& value) {
  Currency c;
  if (!BCDToCurr(value, c)) throw EBcdOverflowException("BCD-Überlauf");
  return c;
}

int BcdCompare(const TBcd& a, const TBcd& b) {
  Decimal x = Unpack(a), y = Unpack(b);
  Normalise(x);
  Normalise(y);
  if (x.negative != y.negative) return x.negative ? -1 : 1;
  int mag = CompareMagnitude(x, y);
  return x.negative ? -mag : mag;
}

int BcdPrecision(const TBcd& value) {
  Decimal d = Unpack(value);
  Normalise(d);
  std::string ip = IntegerPart(d);
  return ip == "0" ? 0 : static_cast<int>(ip.size());
}

int BcdScale(const TBcd& value) {
  return Unpack(value).scale;
}

bool BcdIsNegative(const TBcd& value) {
  Decimal d = Unpack(value);
  Normalise(d);
  return d.negative;
}

bool BcdIsZero(const TBcd& value) {
  Decimal d = Unpack(value);
  return d.digits.find_first_not_of('0') == std::string::npos;
}

bool NormalizeBcd(const TBcd& in, TBcd& out, int precision, int scale) {
  precision = std::clamp(precision, 1, MaxFMTBcdFractionSize);
  scale = std::clamp(scale, 0, std::min(precision, 63));
  Decimal d = Unpack(in);
  Normalise(d);
  RoundFraction(d, scale);
  d.digits.append(scale - d.scale, '0');
  d.scale = scale;
  Normalise(d);
  std::string ip = IntegerPart(d);
  int intDigits = ip == "0" ? 0 : static_cast<int>(ip.size());
  if (intDigits > precision - scale) return false;
  return Pack(d, out);
}

TBcd BcdAdd(const TBcd& a, const TBcd& b) {
  return PackOrThrow(AddDecimal(Unpack(a), Unpack(b)));
}

TBcd BcdNegate(const TBcd& a) {
  Decimal d = Unpack(a);
  d.negative = !d.negative;
  return PackOrThrow(d);
}

TBcd BcdSubtract(const TBcd& a, const TBcd& b) {
  return BcdAdd(a, BcdNegate(b));
}
