// Calendar arithmetic (proleptic Gregorian, integer Julian day numbers), the date-format pattern
// reader and writer, and the time-of-day texts.
#include "engine/fields/dates.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "engine/base/error_codes.h"

namespace ace::fields {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsAlnum(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\0')) {
    text.remove_suffix(1);
  }
  return text;
}

// True for a text without any digit or letter: "", "   ", "  /  /    ".
bool IsBlankDateShape(std::string_view text) {
  for (char c : text) {
    if (IsAlnum(c)) return false;
  }
  return true;
}

Status BadDate(std::string_view text, std::string_view why) {
  return Status(kErrConversion, "'" + std::string(text) + "' is not a valid date" +
                                    (why.empty() ? "" : " (" + std::string(why) + ")"));
}

// One piece of a date pattern: a run of D, M or year letters, or one separator character.
struct Token {
  char kind;  // 'D', 'M', 'Y' or 'S'
  int length;
};

Result<std::vector<Token>> Tokenize(const DateFormat& format) {
  std::vector<Token> tokens;
  int days = 0, months = 0, years = 0;
  const std::string& p = format.pattern;
  for (size_t i = 0; i < p.size();) {
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(p[i])));
    if (c == 'C') c = 'Y';
    if (c == 'D' || c == 'M' || c == 'Y') {
      size_t j = i;
      while (j < p.size()) {
        char d = static_cast<char>(std::toupper(static_cast<unsigned char>(p[j])));
        if (d == 'C') d = 'Y';
        if (d != c) break;
        ++j;
      }
      tokens.push_back({c, static_cast<int>(j - i)});
      (c == 'D' ? days : c == 'M' ? months : years)++;
      i = j;
    } else if (IsAlnum(c)) {
      return Status(kErrInvalidArgument,
                    "date format '" + p + "' has a letter other than D, M, Y and C");
    } else {
      tokens.push_back({'S', 1});
      ++i;
    }
  }
  bool lengths_ok = true;
  for (const Token& t : tokens) {
    if ((t.kind == 'D' || t.kind == 'M') && t.length > 2) lengths_ok = false;
    if (t.kind == 'Y' && (t.length < 2 || t.length > 4)) lengths_ok = false;
  }
  if (days != 1 || months != 1 || years != 1 || !lengths_ok) {
    return Status(kErrInvalidArgument,
                  "date format '" + p +
                      "' needs one day (D, DD), one month (M, MM) and one year "
                      "(YY, YYYY, CCYY) part");
  }
  return tokens;
}

int PivotYear(int two_digits, int epoch) {
  int year = (epoch / 100) * 100 + two_digits;
  if (year < epoch) year += 100;
  return year;
}

void AppendNumber(std::string& out, int value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) > width) digits = digits.substr(digits.size() - width);
  out.append(width - digits.size(), '0');
  out += digits;
}

// "YYYYMMDD" or "YYYY-MM-DD" read directly; false when the text is neither shape.
bool ReadFixedForm(std::string_view t, Ymd* out) {
  auto digits = [&](size_t from, size_t count) {
    int v = 0;
    for (size_t i = from; i < from + count; ++i) {
      if (!IsDigit(t[i])) return -1;
      v = v * 10 + (t[i] - '0');
    }
    return v;
  };
  if (t.size() == 8) {
    int y = digits(0, 4), m = digits(4, 2), d = digits(6, 2);
    if (y < 0 || m < 0 || d < 0) return false;
    *out = {y, m, d};
    return true;
  }
  if (t.size() == 10 && t[4] == '-' && t[7] == '-') {
    int y = digits(0, 4), m = digits(5, 2), d = digits(8, 2);
    if (y < 0 || m < 0 || d < 0) return false;
    *out = {y, m, d};
    return true;
  }
  return false;
}

}  // namespace

const DateFormat& DefaultDateFormat() {
  static const DateFormat kDefault;
  return kDefault;
}

Status ValidateDateFormat(const DateFormat& format) {
  Result<std::vector<Token>> tokens = Tokenize(format);
  return tokens.ok() ? Status::Ok() : tokens.status();
}

bool IsValidDate(int year, int month, int day) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int limit = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day <= limit;
}

Result<int32_t> JulianFromYmd(int year, int month, int day) {
  if (!IsValidDate(year, month, day)) {
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return BadDate(text, "no such day");
  }
  int a = (14 - month) / 12;
  int y = year + 4800 - a;
  int m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

Result<Ymd> YmdFromJulian(int32_t julian) {
  if (julian < kJulianYear1 || julian > kJulianYear9999) {
    return Status(kErrValueOutOfRange,
                  "Julian day " + std::to_string(julian) + " is outside the years 1 to 9999");
  }
  int a = julian + 32044;
  int b = (4 * a + 3) / 146097;
  int c = a - 146097 * b / 4;
  int d = (4 * c + 3) / 1461;
  int e = c - 1461 * d / 4;
  int m = (5 * e + 2) / 153;
  Ymd out;
  out.day = e - (153 * m + 2) / 5 + 1;
  out.month = m + 3 - 12 * (m / 10);
  out.year = 100 * b + d - 4800 + m / 10;
  return out;
}

Result<std::string> JulianToString(int32_t julian) {
  if (julian == 0) return std::string(8, ' ');
  Result<Ymd> ymd = YmdFromJulian(julian);
  if (!ymd.ok()) return ymd.status();
  std::string out;
  AppendNumber(out, ymd->year, 4);
  AppendNumber(out, ymd->month, 2);
  AppendNumber(out, ymd->day, 2);
  return out;
}

Result<int32_t> DateToJulian(std::string_view text, const DateFormat& format) {
  Result<std::vector<Token>> tokens = Tokenize(format);
  if (!tokens.ok()) return tokens.status();
  std::string_view t = TrimBlanks(text);
  if (IsBlankDateShape(t)) return 0;
  const std::vector<Token>& tk = *tokens;
  int day = 0, month = 0, year = 0, year_digits = 0;
  size_t pos = 0;
  for (size_t i = 0; i < tk.size(); ++i) {
    if (tk[i].kind == 'S') {
      if (pos >= t.size() || IsAlnum(t[pos])) return BadDate(text, "expected " + format.pattern);
      ++pos;
      continue;
    }
    bool packed = i + 1 < tk.size() && tk[i + 1].kind != 'S';  // no separator follows
    int max = packed ? tk[i].length : (tk[i].kind == 'Y' ? 4 : 2);
    int count = 0, value = 0;
    while (count < max && pos < t.size() && IsDigit(t[pos])) {
      value = value * 10 + (t[pos++] - '0');
      ++count;
    }
    if (count == 0 || (packed && count != max)) return BadDate(text, "expected " + format.pattern);
    if (tk[i].kind == 'D') day = value;
    if (tk[i].kind == 'M') month = value;
    if (tk[i].kind == 'Y') year = value, year_digits = count;
  }
  if (pos != t.size()) return BadDate(text, "expected " + format.pattern);
  if (year_digits <= 2) year = PivotYear(year, format.epoch);
  if (!IsValidDate(year, month, day)) return BadDate(text, "no such day");
  return JulianFromYmd(year, month, day);
}

Result<int32_t> StringToJulian(std::string_view text, const DateFormat& format) {
  std::string_view t = TrimBlanks(text);
  if (IsBlankDateShape(t)) return 0;
  Ymd ymd;
  if (ReadFixedForm(t, &ymd)) {
    if (!IsValidDate(ymd.year, ymd.month, ymd.day)) return BadDate(text, "no such day");
    return JulianFromYmd(ymd.year, ymd.month, ymd.day);
  }
  return DateToJulian(t, format);
}

Result<std::string> FormatDate(int32_t julian, const DateFormat& format) {
  Result<std::vector<Token>> tokens = Tokenize(format);
  if (!tokens.ok()) return tokens.status();
  if (julian == 0) return std::string();
  Result<Ymd> ymd = YmdFromJulian(julian);
  if (!ymd.ok()) return ymd.status();
  std::string out;
  size_t sep = 0;  // position in the pattern, to copy separators as written
  for (const Token& t : *tokens) {
    switch (t.kind) {
      case 'D':
        AppendNumber(out, ymd->day, t.length);
        break;
      case 'M':
        AppendNumber(out, ymd->month, t.length);
        break;
      case 'Y':
        AppendNumber(out, ymd->year, t.length);
        break;
      default:
        out.push_back(format.pattern[sep]);
        break;
    }
    sep += t.length;
  }
  return out;
}

Result<std::string> FormatTime(int32_t milliseconds, bool with_milliseconds) {
  if (milliseconds < 0 || milliseconds >= kMillisecondsPerDay) {
    return Status(kErrValueOutOfRange,
                  std::to_string(milliseconds) + " milliseconds is not a time of day");
  }
  char text[16];
  int ms = milliseconds % 1000;
  int s = milliseconds / 1000;
  if (with_milliseconds) {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", s / 3600, s / 60 % 60, s % 60, ms);
  } else {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
  }
  return std::string(text);
}

Result<int32_t> ParseTime(std::string_view text) {
  std::string_view t = TrimBlanks(text);
  auto bad = [&] {
    return Status(kErrConversion, "'" + std::string(text) + "' is not a valid time");
  };
  size_t pos = 0;
  auto number = [&](int max_digits, int* out) {
    int count = 0, v = 0;
    while (count < max_digits && pos < t.size() && IsDigit(t[pos])) {
      v = v * 10 + (t[pos++] - '0');
      ++count;
    }
    *out = v;
    return count > 0;
  };
  int h = 0, m = 0, s = 0, ms = 0;
  if (!number(2, &h) || pos >= t.size() || t[pos++] != ':' || !number(2, &m)) return bad();
  if (pos < t.size() && t[pos] == ':') {
    ++pos;
    if (!number(2, &s)) return bad();
    if (pos < t.size() && t[pos] == '.') {
      ++pos;
      int digits = 0;
      int64_t scaled = 0;  // the fraction in units of 0.1 ms (first four digits)
      while (pos < t.size() && IsDigit(t[pos])) {
        if (digits < 4) scaled = scaled * 10 + (t[pos] - '0');
        ++digits, ++pos;
      }
      if (digits == 0) return bad();
      for (int d = digits; d < 4; ++d) scaled *= 10;
      ms = static_cast<int>((scaled + 5) / 10);
    }
  }
  while (pos < t.size() && t[pos] == ' ') ++pos;
  std::string_view rest = t.substr(pos);
  if (!rest.empty()) {
    if (rest.size() != 2 || (std::toupper(static_cast<unsigned char>(rest[1])) != 'M'))
      return bad();
    char half = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
    if ((half != 'A' && half != 'P') || h < 1 || h > 12) return bad();
    h = (h % 12) + (half == 'P' ? 12 : 0);
  }
  if (h > 23 || m > 59 || s > 59) return bad();
  int64_t total = ((h * 60 + m) * 60 + s) * 1000LL + ms;
  if (total >= kMillisecondsPerDay) total = kMillisecondsPerDay - 1;  // rounding at 23:59:59.9995
  return static_cast<int32_t>(total);
}

Result<std::string> FormatTimestamp(const Timestamp& value, const DateFormat& format) {
  if (value.julian == 0) return std::string();
  Result<std::string> date = FormatDate(value.julian, format);
  if (!date.ok()) return date.status();
  Result<std::string> time = FormatTime(value.milliseconds);
  if (!time.ok()) return time.status();
  return *date + " " + *time;
}

Result<Timestamp> ParseTimestamp(std::string_view text, const DateFormat& format) {
  std::string_view t = TrimBlanks(text);
  if (t.empty()) return Timestamp{};
  size_t split = t.find(' ');
  if (t.size() > 10 && t[4] == '-' && t[7] == '-' && t[10] == 'T') split = 10;  // ISO 8601
  std::string_view date_part = split == std::string_view::npos ? t : t.substr(0, split);
  std::string_view time_part =
      split == std::string_view::npos ? std::string_view() : TrimBlanks(t.substr(split + 1));
  Result<int32_t> julian = StringToJulian(date_part, format);
  if (!julian.ok()) return julian.status();
  Timestamp out{*julian, 0};
  if (!time_part.empty()) {
    if (*julian == 0) return BadDate(text, "a time without a date");
    Result<int32_t> ms = ParseTime(time_part);
    if (!ms.ok()) return ms.status();
    out.milliseconds = *ms;
  }
  return out;
}

}  // namespace ace::fields
