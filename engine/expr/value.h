// Values of the expression language and the calendar arithmetic behind its dates.
//
// A Value is what a field read, a literal or a function yields: character (8-bit text in the
// engine's ANSI code page, Windows-1252, with its fixed length kept, trailing blanks included),
// numeric (a double with the display width and decimals that STR and keys use), date (Julian
// day number, 0 = empty date), logical, timestamp (Julian day + milliseconds since midnight;
// day 0 stands for a pure time of day) or null. A null value keeps the type of the field it
// came from, so type checking and key building still know what it would have been.
// Nothing here reads record bytes; the cursor layer turns records into Values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ace::expr {

enum class ValueType : uint8_t {
  kNull = 0,  // only for a value whose type is unknown (never the result type of an expression)
  kCharacter,
  kNumeric,
  kDate,
  kLogical,
  kTimestamp,
};

// "character", "numeric", ... for messages.
std::string_view ValueTypeName(ValueType type);

struct Value {
  ValueType type = ValueType::kNull;
  bool is_null = false;  // a typed null (field holding NULL); type kNull is always null
  std::string text;      // character
  double number = 0;     // numeric
  int16_t width = 0;     // numeric: display width (0 = unknown)
  int16_t decimals = 0;  // numeric: decimal places
  int32_t julian = 0;    // date, timestamp: Julian day number (0 = empty)
  int32_t millis = 0;    // timestamp: milliseconds since midnight
  bool logical = false;  // logical

  static Value Null() {
    Value v;
    v.is_null = true;
    return v;
  }
  static Value TypedNull(ValueType type) {
    Value v;
    v.type = type;
    v.is_null = true;
    return v;
  }
  static Value Character(std::string s) {
    Value v;
    v.type = ValueType::kCharacter;
    v.text = std::move(s);
    return v;
  }
  static Value Numeric(double d, int16_t width = 0, int16_t decimals = 0) {
    Value v;
    v.type = ValueType::kNumeric;
    v.number = d;
    v.width = width;
    v.decimals = decimals;
    return v;
  }
  static Value Date(int32_t julian) {
    Value v;
    v.type = ValueType::kDate;
    v.julian = julian;
    return v;
  }
  static Value Logical(bool b) {
    Value v;
    v.type = ValueType::kLogical;
    v.logical = b;
    return v;
  }
  static Value Timestamp(int32_t julian, int32_t millis) {
    Value v;
    v.type = ValueType::kTimestamp;
    v.julian = julian;
    v.millis = millis;
    return v;
  }
};

// Calendar (proleptic Gregorian). Julian day numbers as the engine uses them: 2451545 is
// 2000-01-01. A date outside years 1..9999 is not representable.
int32_t JulianFromCivil(int year, int month, int day);
void CivilFromJulian(int32_t julian, int* year, int* month, int* day);
bool IsValidCivil(int year, int month, int day);
// 0 = Sunday ... 6 = Saturday.
int WeekdayOfJulian(int32_t julian);

// "YYYYMMDD"; eight blanks for the empty date.
std::string FormatDtos(int32_t julian);
// The default date format of DTOC and CTOD.
inline constexpr std::string_view kDefaultDateFormat = "MM/DD/YYYY";

// A date in a format made of DD, MM, YYYY or YY and separators ("DD.MM.YYYY"); the empty date
// has blanks for the digits ("  .  .    ").
std::string FormatDtoc(int32_t julian, std::string_view format = kDefaultDateFormat);
// Parses "YYYYMMDD" (blank = empty date, 0). Nothing for text that is not a valid date.
std::optional<int32_t> ParseDtos(std::string_view text);
// Parses a date in the order of format (day, month and year as the format places them, with
// any of / . - as separators; two-digit years 00-49 are 20xx, 50-99 19xx), or "YYYY-MM-DD"
// whatever the format. Blank text or separators only give the empty date (0). Nothing for an
// invalid date.
std::optional<int32_t> ParseDateText(std::string_view text,
                                     std::string_view format = kDefaultDateFormat);
// Parses a time of day "HH:MM[:SS[.mmm]]" with an optional AM/PM; answers milliseconds.
std::optional<int32_t> ParseTimeText(std::string_view text);
// Parses a date followed by a blank (or 'T') and a time; a date alone is midnight.
std::optional<Value> ParseTimestampText(std::string_view text,
                                        std::string_view format = kDefaultDateFormat);
// "HH:MM:SS" and "MM/DD/YYYY HH:MM:SS" (milliseconds appended as ".mmm" when not 0).
std::string FormatTime(int32_t millis);
std::string FormatTimestamp(int32_t julian, int32_t millis,
                            std::string_view format = kDefaultDateFormat);

}  // namespace ace::expr
