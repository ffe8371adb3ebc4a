// Date-time values and the locale-dependent text conversions the data layer uses.
//
// TDateTime is a double: whole days since 30 December 1899 plus the fraction of the day.
// TTimeStamp counts Date = days since 1 January 0001 plus one (so 1 January 0001 is day 1) and
// Time = milliseconds since midnight; it is the bridge to the day numbers of record buffers.
//
// FormatSettings is the process-wide locale of ui/classes; it is read without a lock, so change it
// at start-up only. Conversion failures raise EConvertError with German texts.
#pragma once

#include <cstdint>
#include <string>

#include "ui/classes/SysUtils.h"

using TDateTime = double;

struct TTimeStamp {
  int32_t Time = 0;  // milliseconds since midnight
  int32_t Date = 0;  // days since 1 January 0001, plus one
};

// FormatSettings and TFormatSettings come from ui/classes/SysUtils.h: dates follow its
// ShortDateFormat (letters d/dd, m/mm, yy/yyyy, h/hh, n/nn, s/ss, z/zzz; "/" and ":" stand for the
// separators, anything else is literal) and numbers its DecimalSeparator.

// Day number of 30 December 1899 counted like TTimeStamp.Date.
constexpr int32_t DateDelta = 693594;
constexpr int32_t MSecsPerDay = 86400000;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
TDateTime EncodeDate(int year, int month, int day);  // EConvertError for an invalid date
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out);
TDateTime EncodeTime(int hour, int min, int sec, int msec);  // EConvertError for an invalid time
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec);
// Days before 1899-12-30 count the fraction toward the same day:
// -1.25 is 29 December 1899, 06:00.
TTimeStamp DateTimeToTimeStamp(TDateTime value);
TDateTime TimeStampToDateTime(const TTimeStamp& value);  // EConvertError for Date < 1
TDateTime Now();
TDateTime Date();
TDateTime Time();

std::string FormatDateTime(const std::string& format, TDateTime value);
std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value);
std::string DateTimeToStr(TDateTime value);  // date, and the time when it is not midnight
bool TryStrToDate(const std::string& text, TDateTime& out);
TDateTime StrToDate(const std::string& text);  // "'%s' ist kein gültiges Datum"
bool TryStrToTime(const std::string& text, TDateTime& out);
TDateTime StrToTime(const std::string& text);  // "'%s' ist keine gültige Zeit"
bool TryStrToDateTime(const std::string& text, TDateTime& out);
TDateTime StrToDateTime(const std::string& text);  // "'%s' ist kein gültiges Datum und Zeit"

// Numbers as text, with FormatSettings.DecimalSeparator.
enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };
// ffGeneral: shortest form with up to `precision` significant digits (exponent form when the
// fixed form would need more); ffFixed: `digits` decimals, but exponent form when the integer
// part has more than `precision` digits; ffNumber: like ffFixed with thousand separators.
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits);
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        char decimalSeparator);
bool TryStrToFloat(const std::string& text, double& out, char decimalSeparator);
std::string CurrToStr(double value);  // ffGeneral with at most four decimals
