// Text helpers of the shell: UTF-8 <-> UTF-16 for the engine's W functions, CSV quoting, and
// the calendar arithmetic that turns Julian day numbers and milliseconds into ISO text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace acesql {

// Invalid UTF-8 bytes become U+FFFD; the conversion never fails.
std::u16string Utf8ToUtf16(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// One CSV field (RFC 4180): quoted when it holds a comma, a quote, a CR or an LF.
std::string CsvField(std::string_view value);

// "YYYY-MM-DD" for a Julian day number (proleptic Gregorian calendar).
std::string JulianToIso(int32_t julian);
// "HH:MM:SS.mmm" for milliseconds since midnight.
std::string MillisecondsToIso(int32_t ms);

// True when the text ends a statement: its last character outside quotes and comments is ';'.
// Used by the prompt to know when a statement is complete.
bool EndsStatement(std::string_view text);

}  // namespace acesql
