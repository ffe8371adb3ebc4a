// Calendar arithmetic and the text forms of dates, times and timestamps.
#include "engine/expr/value.h"

#include <cctype>
#include <cstdio>

namespace ace::expr {

std::string_view ValueTypeName(ValueType type) {
  switch (type) {
    case ValueType::kCharacter:
      return "character";
    case ValueType::kNumeric:
      return "numeric";
    case ValueType::kDate:
      return "date";
    case ValueType::kLogical:
      return "logical";
    case ValueType::kTimestamp:
      return "timestamp";
    case ValueType::kNull:
      break;
  }
  return "null";
}

int32_t JulianFromCivil(int year, int month, int day) {
  // Fliegel and Van Flandern's integer form of the Gregorian calendar.
  int a = (14 - month) / 12;
  int y = year + 4800 - a;
  int m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

void CivilFromJulian(int32_t julian, int* year, int* month, int* day) {
  int a = julian + 32044;
  int b = (4 * a + 3) / 146097;
  int c = a - 146097 * b / 4;
  int d = (4 * c + 3) / 1461;
  int e = c - 1461 * d / 4;
  int m = (5 * e + 2) / 153;
  *day = e - (153 * m + 2) / 5 + 1;
  *month = m + 3 - 12 * (m / 10);
  *year = 100 * b + d - 4800 + m / 10;
}

bool IsValidCivil(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int max = kDays[month - 1];
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && leap) max = 29;
  return day <= max;
}

int WeekdayOfJulian(int32_t julian) {
  return (julian + 1) % 7;
}

std::string FormatDtos(int32_t julian) {
  if (julian <= 0) return std::string(8, ' ');
  int y, m, d;
  CivilFromJulian(julian, &y, &m, &d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
  return buf;
}

std::string FormatDtoc(int32_t julian, std::string_view format) {
  int y = 0, m = 0, d = 0;
  if (julian > 0) CivilFromJulian(julian, &y, &m, &d);
  std::string out;
  char buf[8];
  for (size_t i = 0; i < format.size();) {
    std::string_view rest = format.substr(i);
    auto put = [&](int value, int digits, size_t consumed) {
      if (julian > 0) {
        std::snprintf(buf, sizeof buf, "%0*d", digits, value);
        out += buf;
      } else {
        out.append(static_cast<size_t>(digits), ' ');
      }
      i += consumed;
    };
    if (rest.rfind("YYYY", 0) == 0) {
      put(y, 4, 4);
    } else if (rest.rfind("YY", 0) == 0) {
      put(y % 100, 2, 2);
    } else if (rest.rfind("MM", 0) == 0) {
      put(m, 2, 2);
    } else if (rest.rfind("DD", 0) == 0) {
      put(d, 2, 2);
    } else {
      out += format[i++];
    }
  }
  return out;
}

namespace {

bool IsBlank(std::string_view s) {
  for (char c : s) {
    if (c != ' ') return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// Reads up to max_digits digits at s[*pos]; false when there is none.
bool ReadInt(std::string_view s, size_t* pos, int max_digits, int* out, int* count = nullptr) {
  int n = 0, digits = 0;
  while (*pos < s.size() && digits < max_digits &&
         std::isdigit(static_cast<unsigned char>(s[*pos]))) {
    n = n * 10 + (s[*pos] - '0');
    ++*pos;
    ++digits;
  }
  if (count) *count = digits;
  *out = n;
  return digits > 0;
}

std::optional<int32_t> Make(int y, int m, int d) {
  if (!IsValidCivil(y, m, d)) return std::nullopt;
  return JulianFromCivil(y, m, d);
}

}  // namespace

std::optional<int32_t> ParseDtos(std::string_view text) {
  if (IsBlank(text)) return 0;
  if (text.size() != 8) return std::nullopt;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
  }
  int y = std::stoi(std::string(text.substr(0, 4)));
  int m = std::stoi(std::string(text.substr(4, 2)));
  int d = std::stoi(std::string(text.substr(6, 2)));
  return Make(y, m, d);
}

std::optional<int32_t> ParseDateText(std::string_view text, std::string_view format) {
  std::string_view t = Trim(text);
  bool only_separators = true;
  for (char c : t) {
    if (c != ' ' && c != '/' && c != '.' && c != '-') only_separators = false;
  }
  if (only_separators) return 0;
  if (t.size() == 8 && t.find_first_not_of("0123456789") == std::string_view::npos) {
    return ParseDtos(t);
  }
  size_t pos = 0;
  int part[3], digits[3];
  for (int k = 0; k < 3; ++k) {
    if (k > 0) {
      if (pos >= t.size() || (t[pos] != '/' && t[pos] != '-' && t[pos] != '.')) {
        return std::nullopt;
      }
      ++pos;
    }
    if (!ReadInt(t, &pos, 4, &part[k], &digits[k])) return std::nullopt;
  }
  if (pos != t.size()) return std::nullopt;
  if (digits[0] == 4) return Make(part[0], part[1], part[2]);  // YYYY-MM-DD
  // The order of day, month and year in the format.
  size_t pd = format.find('D'), pm = format.find('M'), py = format.find('Y');
  if (pd == std::string_view::npos || pm == std::string_view::npos ||
      py == std::string_view::npos) {
    pm = 0, pd = 1, py = 2;
  }
  int rank_d = (pd > pm) + (pd > py), rank_m = (pm > pd) + (pm > py),
      rank_y = (py > pd) + (py > pm);
  int year = part[rank_y];
  if (digits[rank_y] <= 2) year = year < 50 ? 2000 + year : 1900 + year;
  return Make(year, part[rank_m], part[rank_d]);
}

std::optional<int32_t> ParseTimeText(std::string_view text) {
  std::string_view t = Trim(text);
  size_t pos = 0;
  int h, m = 0, s = 0, ms = 0, ms_digits = 0;
  if (!ReadInt(t, &pos, 2, &h)) return std::nullopt;
  if (pos >= t.size() || t[pos] != ':') return std::nullopt;
  ++pos;
  if (!ReadInt(t, &pos, 2, &m)) return std::nullopt;
  if (pos < t.size() && t[pos] == ':') {
    ++pos;
    if (!ReadInt(t, &pos, 2, &s)) return std::nullopt;
    if (pos < t.size() && (t[pos] == '.' || t[pos] == ',')) {
      ++pos;
      if (!ReadInt(t, &pos, 3, &ms, &ms_digits)) return std::nullopt;
      for (int i = ms_digits; i < 3; ++i) ms *= 10;
      while (pos < t.size() && std::isdigit(static_cast<unsigned char>(t[pos]))) ++pos;
    }
  }
  std::string_view rest = Trim(t.substr(pos));
  if (!rest.empty()) {
    std::string up;
    for (char c : rest) up += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (up != "AM" && up != "PM") return std::nullopt;
    if (h < 1 || h > 12) return std::nullopt;
    if (up == "AM" && h == 12) h = 0;
    if (up == "PM" && h != 12) h += 12;
  }
  if (h > 23 || m > 59 || s > 59) return std::nullopt;
  return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

std::optional<Value> ParseTimestampText(std::string_view text, std::string_view format) {
  std::string_view t = Trim(text);
  size_t split = t.find_first_of(" T");
  std::string_view date_part = split == std::string_view::npos ? t : t.substr(0, split);
  auto julian = ParseDateText(date_part, format);
  if (!julian) return std::nullopt;
  int32_t millis = 0;
  if (split != std::string_view::npos) {
    auto time = ParseTimeText(t.substr(split + 1));
    if (!time) return std::nullopt;
    millis = *time;
  }
  return Value::Timestamp(*julian, millis);
}

std::string FormatTime(int32_t millis) {
  char buf[32];
  int s = millis / 1000;
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
  std::string out = buf;
  if (millis % 1000 != 0) {
    std::snprintf(buf, sizeof buf, ".%03d", millis % 1000);
    out += buf;
  }
  return out;
}

std::string FormatTimestamp(int32_t julian, int32_t millis, std::string_view format) {
  return FormatDtoc(julian, format) + " " + FormatTime(millis);
}

}  // namespace ace::expr
