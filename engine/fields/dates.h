// Dates and times of the engine: Julian day numbers, the 8-character storage text "YYYYMMDD",
// the connection's date format, times of day in milliseconds and their texts.
//
// Julian day numbers are the astronomical day numbers of a date at noon, as integers:
// 1 January 4713 BC (Julian calendar) is 0, 1 January of year 1 (proleptic Gregorian) is
// 1721426, 30 December 1899 is 2415019, 1 January 2000 is 2451545. The engine handles the years
// 1 to 9999 of the proleptic Gregorian calendar; Julian day 0 stands for "no date" (an empty date
// field). Pure functions; safe on any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/status.h"

namespace ace::fields {

inline constexpr int32_t kJulianYear1 = 1721426;     // 0001-01-01
inline constexpr int32_t kJulianYear9999 = 5373484;  // 9999-12-31
inline constexpr int32_t kMillisecondsPerDay = 86400000;

// A connection's date format: a pattern of the letters D (day), M (month), Y and C (year digits;
// "CCYY" and "YYYY" are both four-digit years) with any other characters as separators, e.g.
// "MM/DD/YYYY", "DD.MM.CCYY", "YYYY-MM-DD", "DD/MM/YY". Two-digit years are read as the year
// in [epoch, epoch + 99] that ends in those digits.
struct DateFormat {
  std::string pattern = "MM/DD/YYYY";
  int epoch = 1900;
};

// The engine's default format ("MM/DD/YYYY", epoch 1900).
const DateFormat& DefaultDateFormat();

// A pattern needs one run of D (1 or 2 letters), one of M (1 or 2) and one of Y/C (2 to 4);
// anything else is kErrInvalidArgument.
Status ValidateDateFormat(const DateFormat& format);

struct Ymd {
  int year = 0;
  int month = 0;
  int day = 0;
};

bool IsValidDate(int year, int month, int day);
// The Julian day of a valid date; kErrConversion for an impossible one (2010-02-30, year 0).
Result<int32_t> JulianFromYmd(int year, int month, int day);
// The date of a Julian day in [kJulianYear1, kJulianYear9999]; others are kErrValueOutOfRange.
Result<Ymd> YmdFromJulian(int32_t julian);

// "YYYYMMDD" of a Julian day; Julian day 0 gives eight blanks (the empty date text).
Result<std::string> JulianToString(int32_t julian);

// Reads a date text: empty or blank text (also a blank date shape such as "  /  /    ") gives 0;
// eight digits are "YYYYMMDD"; "YYYY-MM-DD" is read as such; anything else goes by the format.
// Text that is none of these, or an impossible date, is kErrConversion.
Result<int32_t> StringToJulian(std::string_view text,
                               const DateFormat& format = DefaultDateFormat());

// Reads a date text of the format only (blank text gives 0). kErrConversion when invalid.
Result<int32_t> DateToJulian(std::string_view text, const DateFormat& format = DefaultDateFormat());

// The text of a Julian day in the format; Julian day 0 gives the empty text.
Result<std::string> FormatDate(int32_t julian, const DateFormat& format = DefaultDateFormat());

// "HH:MM:SS.sss" (24-hour) of milliseconds since midnight; with_milliseconds false gives
// "HH:MM:SS". Values outside [0, kMillisecondsPerDay) are kErrValueOutOfRange.
Result<std::string> FormatTime(int32_t milliseconds, bool with_milliseconds = true);

// Reads "HH:MM", "HH:MM:SS" or "HH:MM:SS.f" (1 to 3 fraction digits; more are rounded), each
// optionally followed by "AM" or "PM" (12-hour clock then). kErrConversion when invalid.
Result<int32_t> ParseTime(std::string_view text);

// A point in time as the engine stores it: Julian day and milliseconds of that day.
struct Timestamp {
  int32_t julian = 0;
  int32_t milliseconds = 0;
};

// The date text, a blank and the time text; the empty text for Julian day 0.
Result<std::string> FormatTimestamp(const Timestamp& value,
                                    const DateFormat& format = DefaultDateFormat());

// Reads a date text (as StringToJulian) optionally followed by blanks (or "T") and a time text.
// Blank text gives {0, 0}.
Result<Timestamp> ParseTimestamp(std::string_view text,
                                 const DateFormat& format = DefaultDateFormat());

}  // namespace ace::fields
