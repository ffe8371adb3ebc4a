// Code pages of the engine's 8-bit texts: Windows-1252 (the engine's ANSI code page) to and from
// UTF-16 and UTF-8, and the OEM code page (850) of tables opened with the OEM character type to
// and from Windows-1252. Pure functions over tables compiled into the engine, so they need no
// locale and are safe on any thread.
//
// Characters that the target cannot hold become '?' (one per character; a UTF-16 surrogate pair
// or a UTF-8 sequence counts as one character). Windows-1252's five unassigned bytes (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) map to the C1 controls of the same number, so every byte survives a round
// trip through UTF-16 and UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace ace::fields {

// The character a byte of the 8-bit code pages stands for.
char16_t AnsiToUnicode(unsigned char byte);
char16_t OemToUnicode(unsigned char byte);

// Windows-1252 <-> UTF-16.
std::u16string AnsiToUtf16(std::string_view ansi);
std::string Utf16ToAnsi(std::u16string_view text);

// Windows-1252 <-> UTF-8. Malformed UTF-8 (bad lead byte, missing continuation, overlong form,
// surrogate code point) gives one '?' per malformed sequence.
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

// Windows-1252 <-> OEM code page 850, for the character fields of OEM tables.
std::string ToOem(std::string_view ansi);
std::string FromOem(std::string_view oem);

// OEM code page 850 <-> UTF-16 directly, so that characters 850 has and 1252 lacks (box
// drawing, for one) survive the UTF-16 functions on OEM tables.
std::u16string OemToUtf16(std::string_view oem);
std::string Utf16ToOem(std::u16string_view text);

}  // namespace ace::fields
