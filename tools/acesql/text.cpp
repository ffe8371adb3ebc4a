// Text helpers of the shell (see text.h).
#include "tools/acesql/text.h"

#include <cstdio>

namespace acesql {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}
}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + extra < text.size() + (extra == 0 ? 1 : 0);
    for (int k = 1; ok && k <= extra; ++k) {
      const auto n = static_cast<unsigned char>(text[i + k]);
      ok = (n & 0xC0) == 0x80;
      c = (c << 6) | (n & 0x3F);
    }
    if (!ok || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out += static_cast<char16_t>(kReplacement);
      ++i;
      continue;
    }
    i += extra + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string CsvField(std::string_view value) {
  if (value.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(value);
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string JulianToIso(int32_t julian) {
  // Julian day number to the Gregorian calendar (Fliegel and Van Flandern).
  int64_t l = static_cast<int64_t>(julian) + 68569;
  const int64_t n = 4 * l / 146097;
  l -= (146097 * n + 3) / 4;
  const int64_t i = 4000 * (l + 1) / 1461001;
  l = l - 1461 * i / 4 + 31;
  const int64_t j = 80 * l / 2447;
  const int64_t day = l - 2447 * j / 80;
  const int64_t k = j / 11;
  const int64_t month = j + 2 - 12 * k;
  const int64_t year = 100 * (n - 49) + i + k;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day));
  return buf;
}

std::string MillisecondsToIso(int32_t ms) {
  if (ms < 0) ms = 0;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", ms / 3600000, ms / 60000 % 60,
                ms / 1000 % 60, ms % 1000);
  return buf;
}

bool EndsStatement(std::string_view text) {
  char quote = 0;
  bool line_comment = false, block_comment = false;
  char last = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : 0;
    if (line_comment) {
      line_comment = c != '\n';
    } else if (block_comment) {
      if (c == '*' && next == '/') {
        block_comment = false;
        ++i;
      }
    } else if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"' || c == '[') {
      quote = c == '[' ? ']' : c;
      last = c;
    } else if (c == '-' && next == '-') {
      line_comment = true;
    } else if (c == '/' && next == '*') {
      block_comment = true;
      ++i;
    } else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
      last = c;
    }
  }
  return !quote && !block_comment && last == ';';
}

}  // namespace acesql
