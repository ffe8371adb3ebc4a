// Calendar arithmetic (proleptic Gregorian), date-time text and number text conversions.
#include "ui/db/DateTime.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

constexpr int kDaysPer400Years = 146097;
constexpr int kDaysPer100Years = 36524;
constexpr int kDaysPer4Years = 1461;

const int kMonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                               {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

// Day number counted like TTimeStamp.Date (1 January 0001 = 1).
int32_t DayNumber(int year, int month, int day) {
  int leap = IsLeapYear(year) ? 1 : 0;
  int32_t n = day;
  for (int m = 1; m < month; ++m) n += kMonthDays[leap][m - 1];
  int y = year - 1;
  return n + y * 365 + y / 4 - y / 100 + y / 400;
}

void SplitDayNumber(int32_t dayNumber, int& year, int& month, int& day) {
  if (dayNumber <= 0) {
    year = month = day = 0;
    return;
  }
  int32_t t = dayNumber - 1;
  int y = 1;
  y += 400 * (t / kDaysPer400Years);
  t %= kDaysPer400Years;
  int c = t / kDaysPer100Years;
  if (c == 4) c = 3;
  y += 100 * c;
  t -= c * kDaysPer100Years;
  y += 4 * (t / kDaysPer4Years);
  t %= kDaysPer4Years;
  int yy = t / 365;
  if (yy == 4) yy = 3;
  y += yy;
  t -= yy * 365;
  int leap = IsLeapYear(y) ? 1 : 0;
  int m = 1;
  while (t >= kMonthDays[leap][m - 1]) t -= kMonthDays[leap][m++ - 1];
  year = y;
  month = m;
  day = t + 1;
}

std::string Pad(int value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  return buf;
}

// Reads a run of digits at text[pos]; false when there is none.
bool ReadNumber(const std::string& text, size_t& pos, int& value, int maxDigits = 4) {
  size_t start = pos;
  value = 0;
  while (pos < text.size() && pos - start < static_cast<size_t>(maxDigits) && text[pos] >= '0' &&
         text[pos] <= '9')
    value = value * 10 + (text[pos++] - '0');
  return pos > start;
}

void SkipBlanks(const std::string& text, size_t& pos) {
  while (pos < text.size() && text[pos] == ' ') ++pos;
}

// Order of day, month and year in ShortDateFormat: "dmy", "mdy" or "ymd".
std::string DateOrder() {
  std::string order;
  for (char c : FormatSettings.ShortDateFormat) {
    char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if ((l == 'd' || l == 'm' || l == 'y') && order.find(l) == std::string::npos) order += l;
  }
  return order.size() == 3 ? order : "dmy";
}

bool IsDateSeparator(char c) {
  return c == FormatSettings.DateSeparator || c == '/' || c == '-';
}

bool ParseDatePart(const std::string& text, size_t& pos, TDateTime& out) {
  std::vector<int> parts;
  std::vector<int> widths;
  SkipBlanks(text, pos);
  for (int i = 0; i < 3; ++i) {
    int v;
    size_t start = pos;
    if (!ReadNumber(text, pos, v)) break;
    parts.push_back(v);
    widths.push_back(static_cast<int>(pos - start));
    if (i < 2) {
      if (pos < text.size() && IsDateSeparator(text[pos]))
        ++pos;
      else
        break;
    }
  }
  if (pos > 0 && pos <= text.size() && IsDateSeparator(text[pos - 1]) && parts.size() < 3) {
    // "05.11." style: a trailing separator after day and month is allowed.
  }
  std::string order = DateOrder();
  int y = 0, m = 0, d = 0;
  if (parts.size() == 3) {
    for (int i = 0; i < 3; ++i) {
      if (order[i] == 'd') d = parts[i];
      if (order[i] == 'm') m = parts[i];
      if (order[i] == 'y') {
        y = parts[i];
        if (widths[i] <= 2) y += y < 50 ? 2000 : 1900;
      }
    }
  } else if (parts.size() == 2) {
    std::string dm;
    for (char c : order)
      if (c != 'y') dm += c;
    d = dm[0] == 'd' ? parts[0] : parts[1];
    m = dm[0] == 'm' ? parts[0] : parts[1];
    int cy, cm, cd;
    DecodeDate(Date(), cy, cm, cd);
    y = cy;
  } else {
    return false;
  }
  return TryEncodeDate(y, m, d, out);
}

bool ParseTimePart(const std::string& text, size_t& pos, TDateTime& out) {
  SkipBlanks(text, pos);
  int h = 0, n = 0, s = 0, ms = 0;
  if (!ReadNumber(text, pos, h, 2)) return false;
  auto sep = [&] {
    return pos < text.size() && (text[pos] == FormatSettings.TimeSeparator || text[pos] == ':');
  };
  if (!sep()) return false;
  ++pos;
  if (!ReadNumber(text, pos, n, 2)) return false;
  if (sep()) {
    ++pos;
    if (!ReadNumber(text, pos, s, 2)) return false;
    if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
      ++pos;
      size_t start = pos;
      if (!ReadNumber(text, pos, ms, 3)) return false;
      for (size_t k = pos - start; k < 3; ++k) ms *= 10;
    }
  }
  SkipBlanks(text, pos);
  return TryEncodeTime(h, n, s, ms, out);
}

std::string TrimBlanks(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

}  // namespace

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  if (month < 1 || month > 12) return 0;
  return kMonthDays[IsLeapYear(year) ? 1 : 0][month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  out = static_cast<double>(DayNumber(year, month, day) - DateDelta);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime r;
  if (!TryEncodeDate(year, month, day, r))
    throw EConvertError("Ungültiges Argument für Datumskodierung");
  return r;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
    return false;
  out = (((hour * 60 + min) * 60 + sec) * 1000.0 + msec) / MSecsPerDay;
  return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime r;
  if (!TryEncodeTime(hour, min, sec, msec, r))
    throw EConvertError("Ungültiges Argument für Zeitkodierung");
  return r;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  SplitDayNumber(DateTimeToTimeStamp(value).Date, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec) {
  int32_t t = DateTimeToTimeStamp(value).Time;
  hour = t / 3600000;
  min = t / 60000 % 60;
  sec = t / 1000 % 60;
  msec = t % 1000;
}

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
  int64_t ms = std::llround(value * MSecsPerDay);
  TTimeStamp ts;
  ts.Date = static_cast<int32_t>(DateDelta + ms / MSecsPerDay);
  ts.Time = static_cast<int32_t>(std::llabs(ms % MSecsPerDay));
  return ts;
}

TDateTime TimeStampToDateTime(const TTimeStamp& value) {
  if (value.Date < 1 || value.Time < 0 || value.Time >= MSecsPerDay)
    throw EConvertError("Ungültiger Zeitstempel");
  double days = value.Date - DateDelta;
  double frac = static_cast<double>(value.Time) / MSecsPerDay;
  return days >= 0 ? days + frac : days - frac;
}

TDateTime Now() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  int ms = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
         EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), ms);
}

TDateTime Date() {
  return std::floor(Now());
}
TDateTime Time() {
  TDateTime n = Now();
  return n - std::floor(n);
}

std::string FormatDateTime(const std::string& format, TDateTime value) {
  int y, mo, d, h, mi, s, ms;
  DecodeDate(value, y, mo, d);
  DecodeTime(value, h, mi, s, ms);
  std::string out;
  size_t i = 0;
  auto run = [&](char c) {
    size_t n = 0;
    while (i + n < format.size() && std::tolower(static_cast<unsigned char>(format[i + n])) == c)
      ++n;
    return n;
  };
  while (i < format.size()) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(format[i])));
    size_t n;
    switch (c) {
      case 'd':
        n = run('d');
        out += n >= 2 ? Pad(d, 2) : std::to_string(d);
        break;
      case 'm':
        n = run('m');
        out += n >= 2 ? Pad(mo, 2) : std::to_string(mo);
        break;
      case 'y':
        n = run('y');
        out += n <= 2 ? Pad(y % 100, 2) : Pad(y, 4);
        break;
      case 'h':
        n = run('h');
        out += n >= 2 ? Pad(h, 2) : std::to_string(h);
        break;
      case 'n':
        n = run('n');
        out += n >= 2 ? Pad(mi, 2) : std::to_string(mi);
        break;
      case 's':
        n = run('s');
        out += n >= 2 ? Pad(s, 2) : std::to_string(s);
        break;
      case 'z':
        n = run('z');
        out += n >= 3 ? Pad(ms, 3) : std::to_string(ms);
        break;
      case '/':
        n = 1;
        out += FormatSettings.DateSeparator;
        break;
      case ':':
        n = 1;
        out += FormatSettings.TimeSeparator;
        break;
      default:
        n = 1;
        out += format[i];
    }
    i += n;
  }
  return out;
}

std::string DateToStr(TDateTime value) {
  return FormatDateTime(FormatSettings.ShortDateFormat, value);
}
std::string TimeToStr(TDateTime value) {
  return FormatDateTime(FormatSettings.LongTimeFormat, value);
}
std::string DateTimeToStr(TDateTime value) {
  std::string s = DateToStr(value);
  if (DateTimeToTimeStamp(value).Time != 0) s += " " + TimeToStr(value);
  return s;
}

bool TryStrToDate(const std::string& text, TDateTime& out) {
  size_t pos = 0;
  TDateTime d;
  if (!ParseDatePart(text, pos, d)) return false;
  SkipBlanks(text, pos);
  if (pos != text.size()) return false;
  out = d;
  return true;
}

TDateTime StrToDate(const std::string& text) {
  TDateTime r;
  if (!TryStrToDate(text, r)) throw EConvertError("'" + text + "' ist kein gültiges Datum");
  return r;
}

bool TryStrToTime(const std::string& text, TDateTime& out) {
  size_t pos = 0;
  TDateTime t;
  if (!ParseTimePart(text, pos, t) || pos != text.size()) return false;
  out = t;
  return true;
}

TDateTime StrToTime(const std::string& text) {
  TDateTime r;
  if (!TryStrToTime(text, r)) throw EConvertError("'" + text + "' ist keine gültige Zeit");
  return r;
}

bool TryStrToDateTime(const std::string& text, TDateTime& out) {
  size_t pos = 0;
  TDateTime d;
  if (!ParseDatePart(text, pos, d)) {
    return TryStrToTime(text, out);
  }
  SkipBlanks(text, pos);
  if (pos == text.size()) {
    out = d;
    return true;
  }
  TDateTime t;
  if (!ParseTimePart(text, pos, t) || pos != text.size()) return false;
  out = d >= 0 ? d + t : d - t;
  return true;
}

TDateTime StrToDateTime(const std::string& text) {
  TDateTime r;
  if (!TryStrToDateTime(text, r))
    throw EConvertError("'" + text + "' ist kein gültiges Datum und Zeit");
  return r;
}

// ---- numbers ----

namespace {

// "1.5e+20" (C form) to "1,5E20" (the toolkit's general form).
std::string GeneralFromC(const std::string& c, char sep) {
  std::string mant = c, exp;
  size_t e = c.find_first_of("eE");
  if (e != std::string::npos) {
    mant = c.substr(0, e);
    exp = c.substr(e + 1);
  }
  if (mant.find('.') != std::string::npos) {
    while (!mant.empty() && mant.back() == '0') mant.pop_back();
    if (!mant.empty() && mant.back() == '.') mant.pop_back();
  }
  for (char& ch : mant)
    if (ch == '.') ch = sep;
  if (exp.empty()) return mant;
  bool neg = exp[0] == '-';
  size_t k = (exp[0] == '+' || exp[0] == '-') ? 1 : 0;
  while (k + 1 < exp.size() && exp[k] == '0') ++k;
  return mant + "E" + (neg ? "-" : "") + exp.substr(k);
}

std::string WithSeparator(std::string s, char sep) {
  for (char& ch : s)
    if (ch == '.') ch = sep;
  return s;
}

}  // namespace

std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits) {
  return FloatToStrF(value, format, precision, digits, FormatSettings.DecimalSeparator);
}

std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        char decimalSeparator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  precision = std::clamp(precision, 1, 18);
  digits = std::clamp(digits, 0, 18);
  char buf[512];
  switch (format) {
    case ffGeneral: {
      std::snprintf(buf, sizeof buf, "%.*g", precision, value);
      std::string r = GeneralFromC(buf, decimalSeparator);
      return r == "-0" ? "0" : r;
    }
    case ffExponent: {
      std::snprintf(buf, sizeof buf, "%.*E", precision - 1, value);
      std::string s = buf;
      size_t e = s.find('E');
      std::string mant = WithSeparator(s.substr(0, e), decimalSeparator);
      char sign = s[e + 1];
      std::string ex = s.substr(e + 2);
      while (static_cast<int>(ex.size()) < digits) ex.insert(ex.begin(), '0');
      while (static_cast<int>(ex.size()) > std::max(digits, 1) && ex[0] == '0') ex.erase(0, 1);
      return mant + "E" + sign + ex;
    }
    case ffFixed:
    case ffNumber:
    case ffCurrency: {
      double mag = std::fabs(value);
      if (mag >= std::pow(10.0, precision)) return FloatToStrF(value, ffExponent, precision, 3);
      std::snprintf(buf, sizeof buf, "%.*f", digits, value);
      std::string s = buf;
      if (format != ffFixed) {
        size_t dot = s.find('.');
        size_t intEnd = dot == std::string::npos ? s.size() : dot;
        size_t intStart = (s[0] == '-') ? 1 : 0;
        for (int p = static_cast<int>(intEnd) - 3; p > static_cast<int>(intStart); p -= 3)
          s.insert(static_cast<size_t>(p), 1, '\x01');
      }
      std::string out;
      for (char ch : s) {
        if (ch == '.')
          out += decimalSeparator;
        else if (ch == '\x01')
          out += FormatSettings.ThousandSeparator;
        else
          out += ch;
      }
      if (format == ffCurrency) out += " \u20ac";
      return out;
    }
  }
  return std::string();
}

std::string CurrToStr(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.4f", std::round(value * 10000.0) / 10000.0);
  std::string s = buf;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  for (char& ch : s)
    if (ch == '.') ch = FormatSettings.DecimalSeparator;
  return s;
}

bool TryStrToFloat(const std::string& text, double& out, char decimalSeparator) {
  std::string s = TrimBlanks(text);
  if (s.empty()) return false;
  std::string c;
  size_t i = 0;
  if (s[i] == '+' || s[i] == '-') c += s[i++];
  bool digits = false, sep = false;
  for (; i < s.size(); ++i) {
    char ch = s[i];
    if (ch >= '0' && ch <= '9') {
      c += ch;
      digits = true;
    } else if (ch == decimalSeparator && !sep) {
      c += '.';
      sep = true;
    } else {
      break;
    }
  }
  if (!digits) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    c += 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) c += s[i++];
    bool expDigits = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
      c += s[i];
      expDigits = true;
    }
    if (!expDigits) return false;
  }
  if (i != s.size()) return false;
  const char* begin = c.c_str();
  if (*begin == '+') ++begin;
  double v = 0;
  auto [ptr, ec] = std::from_chars(begin, c.c_str() + c.size(), v);
  if (ec != std::errc() || ptr != c.c_str() + c.size()) return false;
  out = v;
  return true;
}
