// Field values in record images: the conversion between one field's bytes in a record image
// (storage/table_file.h: FieldDesc, the image rule) and the C types and texts of the engine's
// C API (AdsGetField, AdsSetField, AdsGetLong, AdsSetJulian, ... ). The cursor layer calls it
// for every field get and set; the expression engine reads field values through it.
//
// Pure functions over (field context, image bytes): no files, no cursors, no state; safe on any
// thread for distinct images. Memo and blob CONTENT is not in the image: the cursor reads and
// writes it through TableFile::ReadMemo/WriteMemo, and converts its text here (MemoToText,
// TextToMemo). The getters and setters below refuse memo types with kErrConversion.
//
// Every function checks that the field (and its length word or null-flag bits) lies inside the
// image, and reports a field outside as kErrInvalidArgument; stored bytes that contradict the
// field (a varchar length beyond the field, a date text that is no date) are kErrCorruptFile or
// kErrConversion, naming the field. A refused write leaves the image unchanged.
//
// Storage forms (little-endian numbers), by engine field type:
//   1 logical     one byte "T"/"F" (written); "1", "T", "Y", "t", "y" read as true
//   2 numeric     decimal text right-aligned with leading blanks, "." as decimal point
//   3 date        length 4: 32-bit Julian day; else the text "YYYYMMDD" (blanks when empty)
//   4, 20         8-bit text padded with blanks (OEM code page on OEM tables)
//   9 compact     24-bit big-endian: year (15 bits), month (4), day (5)
//   10, 17        IEEE double
//   11, 15, 13    32-bit signed (13: milliseconds since midnight)
//   12            16-bit signed
//   14, 22        32-bit Julian day, then 32-bit milliseconds (Visual FoxPro: milliseconds - 1
//                 when not 0, the form the components read back with one added)
//   16 raw        the bytes
//   18 money      64-bit value x 10,000;  21 row version: 64-bit
//   23, 24        the bytes plus a length: ADT the 16-bit word after the field; VFP the last
//                 byte of the field when shorter, told apart by the _NullFlags length bit;
//                 DBF the whole field
//   26            UTF-16 padded with UTF-16 blanks;  27 UTF-16 plus the character count in the
//                 16-bit word after the field (0xFFFF null)
//   5-8, 28, 51, 52  memo pointer (the storage format's)
//
// Null forms: see IsNull, SetNull and SetEmpty below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/status.h"
#include "engine/fields/dates.h"
#include "engine/storage/table_file.h"

namespace ace::fields {

// Trim options of AdsGetField/AdsGetString (the C API's numbers).
enum TrimOption : uint16_t { kTrimNone = 0, kTrimLeft = 1, kTrimRight = 2, kTrimBoth = 3 };

// Character types of an open table (the C API's numbers).
inline constexpr uint16_t kCharTypeAnsi = 1;
inline constexpr uint16_t kCharTypeOem = 2;

// Everything a conversion needs to know besides the image. Cheap to build per call; the
// referenced objects must outlive it.
struct FieldContext {
  const storage::FieldDesc& field;
  storage::TableType table = storage::TableType::kAdt;
  // Visual FoxPro: the table's _NullFlags field (not part of fields()), or nullptr when the
  // table has none.
  const storage::FieldDesc* null_flags = nullptr;
  uint16_t char_type = kCharTypeAnsi;
  // The connection's date format; nullptr means DefaultDateFormat().
  const DateFormat* date_format = nullptr;
};

using ConstImage = std::span<const std::byte>;
using Image = std::span<std::byte>;

// ---- Reading -------------------------------------------------------------------------------

// The AdsGetField text (8-bit, Windows-1252) of any non-memo type:
//   character types (4, 20, 23, 26, 27): the stored text up to its first zero byte, converted
//     from OEM on OEM tables (26, 27 from UTF-16, '?' for what 1252 lacks), trimmed per option;
//   numeric: the stored text, trimmed per option (kTrimNone keeps the leading blanks);
//   date, compact date: the date in the context's date format;
//   logical "T" or "F"; integer, short, autoinc, row version: decimal; double: with the field's
//   decimals when it has some ("1.50"), else the shortest text that reads back as the same
//   double; money: four decimals ("-12.3400");
//   time "HH:MM:SS.sss"; timestamp: date text, blank, time text;
//   raw, varbinary: the bytes as they are.
// A null field of a non-character type gives the empty text.
Result<std::string> GetText(const FieldContext& ctx, ConstImage image, uint16_t trim = kTrimNone);

// GetText as UTF-16: national types directly, all others widened from Windows-1252.
Result<std::u16string> GetUtf16(const FieldContext& ctx, ConstImage image,
                                uint16_t trim = kTrimNone);

// Numbers. Integer types and money/double give their value (doubles and money truncated toward
// zero for GetLong/GetShort); numeric and character fields are read as number texts (a blank
// text is 0, any other non-number kErrConversion); logical gives 1/0; time its milliseconds.
// A value outside the result type is kErrValueOutOfRange; dates and binary types are
// kErrConversion. A null field reads as 0.
Result<int32_t> GetLong(const FieldContext& ctx, ConstImage image);
Result<int16_t> GetShort(const FieldContext& ctx, ConstImage image);
Result<int64_t> GetLongLong(const FieldContext& ctx, ConstImage image);
Result<double> GetDouble(const FieldContext& ctx, ConstImage image);

// Logical fields; character fields holding T/F/Y/N/1/0/.T./.F.; numbers (not 0 = true).
// A null field reads false.
Result<bool> GetLogical(const FieldContext& ctx, ConstImage image);

// Date, compact date and the day of a timestamp; character fields holding a date text
// (StringToJulian). A null or empty date is 0.
Result<int32_t> GetJulian(const FieldContext& ctx, ConstImage image);

// Time fields and the time of a timestamp (Visual FoxPro's stored milliseconds + 1 when not 0);
// character fields holding a time text. Null is 0.
Result<int32_t> GetMilliseconds(const FieldContext& ctx, ConstImage image);

// Timestamp, date (milliseconds 0) and time (Julian 0) fields; character fields holding a
// date-and-time text.
Result<Timestamp> GetTimestamp(const FieldContext& ctx, ConstImage image);

// AdsGetDate / AdsGetTime: the date in the context's date format, the time as "HH:MM:SS.sss".
Result<std::string> GetDateText(const FieldContext& ctx, ConstImage image);
Result<std::string> GetTimeText(const FieldContext& ctx, ConstImage image);

// The stored bytes of a field: the whole field for fixed types, the stored length for 23, 24
// and 27 (27: 2 bytes per character). Memo types give their pointer bytes.
Result<std::vector<uint8_t>> GetRaw(const FieldContext& ctx, ConstImage image);

// Null test of the table's format:
//   type   ADT                           VFP                 DBF (NTX, CDX)
//   1      the byte is a blank           all bytes blank     all bytes zero or blank
//   2      all bytes zero                all bytes blank     all bytes zero or blank
//   3      all bytes zero                all bytes blank     length 4: value 0; else zero/blank
//   4, 20  all bytes zero                never               4: all zero or blank; 20: always
//   9      all bytes zero                never               all bytes zero
//   10,17  halves 32 and 0x80000000      never               never
//   11     0x80000000                    never               never
//   12     0x8000                        never               never
//   13,15  0xFFFFFFFF                    never               always
//   14,22  day word 0                    14: day 0; 22 never always
//   16     all bytes zero                never               always
//   18,21  halves 0 and 0x80000000       never               always
//   23,24  length word 0xFFFF or 0       never               always
//   26     all bytes zero                never               every character zero or blank
//   27     length word 0xFFFF or 0       the same            the same
//   memo   no memo pointer (all bytes zero or blank; DBT also "0" digits)
//   other  always                        never               always
// On Visual FoxPro a nullable field is also null when its _NullFlags bit is set.
Result<bool> IsNull(const FieldContext& ctx, ConstImage image);

// Null, or the type's empty value: blank text, number 0, false, no date, zero-length varchar,
// all-zero raw bytes; memo types: no memo pointer.
Result<bool> IsEmpty(const FieldContext& ctx, ConstImage image);

// AdsGetDataLength: the byte length of GetText with the trim option (national types: of the
// UTF-16 text, 2 per character); raw and varbinary: the stored length; null: 0.
Result<uint32_t> DataLength(const FieldContext& ctx, ConstImage image, uint16_t trim = kTrimNone);

// ---- Writing -------------------------------------------------------------------------------
// Every successful write of a value clears a Visual FoxPro null mark of the field.

// AdsSetField/AdsSetString: the 8-bit text (Windows-1252) read per type:
//   character types: the bytes, converted to OEM on OEM tables, at most the field's length
//     (longer text is cut silently, as classic tools do), padded with blanks; varchar keeps its
//     length; national types widened from 1252;
//   numeric: a number text rounded half away from zero to the field's decimals and right-aligned;
//     a value whose text does not fit the width is kErrValueOutOfRange naming the field;
//   integer types, double, money, row version: number texts, range-checked;
//   logical: T, Y, 1, .T. (true) and F, N, 0, .F. (false), any case;
//   date, compact date: StringToJulian (YYYYMMDD, YYYY-MM-DD or the date format);
//   time: ParseTime; timestamp: ParseTimestamp;
//   raw, varbinary: the bytes (raw padded with zero bytes).
// The empty (or, for non-character types, blank) text writes the empty value (SetEmpty).
// A text that is not a value of the type is kErrConversion naming the field.
Status SetText(const FieldContext& ctx, Image image, std::string_view text);

// AdsSetFieldW/AdsSetStringW: national types take the characters (at most length / 2, padded
// with UTF-16 blanks; 27 sets its count); all other types get the text narrowed to 1252.
Status SetUtf16(const FieldContext& ctx, Image image, std::u16string_view text);

// AdsSetFieldRaw: the bytes in the field's storage form, unconverted. Fixed binary types need
// exactly the field's length; text types (2, 3 as text, 4, 20) are padded with blanks, raw with
// zero bytes; 23, 24 and 27 (bytes, even count) set their length. More bytes than the field
// holds is kErrValueOutOfRange.
Status SetRaw(const FieldContext& ctx, Image image, std::span<const uint8_t> bytes);

// Numbers into numeric, integer, short, autoinc, double, money and row version fields
// (SetLogical also into logical fields; numbers into logical fields are refused). Doubles are
// rounded half away from zero into integer types; a value that does not fit is
// kErrValueOutOfRange; other types kErrConversion.
Status SetLong(const FieldContext& ctx, Image image, int32_t value);
Status SetShort(const FieldContext& ctx, Image image, int16_t value);
Status SetLongLong(const FieldContext& ctx, Image image, int64_t value);
Status SetDouble(const FieldContext& ctx, Image image, double value);
Status SetLogical(const FieldContext& ctx, Image image, bool value);

// A Julian day into date, compact date and timestamp fields (a timestamp keeps its time, or gets
// 0 when it had none); 0 writes the empty date. Days outside the years 1 to 9999 are
// kErrValueOutOfRange.
Status SetJulian(const FieldContext& ctx, Image image, int32_t julian);
// Milliseconds into time and timestamp fields (a timestamp keeps its day); values outside
// [0, 86,400,000) are kErrValueOutOfRange.
Status SetMilliseconds(const FieldContext& ctx, Image image, int32_t milliseconds);
// Both parts into timestamp fields; date fields take the day, time fields the milliseconds.
Status SetTimestamp(const FieldContext& ctx, Image image, int32_t julian, int32_t milliseconds);

// AdsSetEmpty: the type's empty value, which is not null where the format tells them apart.
//   NTX, CDX: the same bytes as SetNull (these formats have no null of their own).
//   ADT, VFP: logical "F"; numeric 0 in the field's text form; character types blanks; national
//     types UTF-16 blanks (27 with count 0); number types 0; varchar/varbinary length 0 (VFP:
//     blanks, last byte 0, length bit set); date, compact date, timestamp and raw: their null
//     form, since these types have no other empty value. VFP: the null mark is cleared.
// Memo types are refused with kErrConversion (the cursor clears them through WriteMemo).
Status SetEmpty(const FieldContext& ctx, Image image);

// AdsSetNull: the format's null form, then on VFP the field's null mark when it is nullable.
//   ADT  1: a blank; 2-4, 9, 16, 20, 26: zero bytes; 10, 17: halves 32 and 0x80000000;
//        11: 0x80000000; 12: 0x8000; 13, 15: 0xFFFFFFFF; 14, 22: day 0 and ms 0xFFFFFFFF;
//        18, 21: halves 0 and 0x80000000; 23, 24, 27: length word 0xFFFF.
//   VFP  1-4, 23, 24: blanks; 10-12, 14, 15, 17, 18: zero bytes; 26: UTF-16 blanks; 27: UTF-16
//        blanks and length word 0xFFFF; other types: only the null mark.
//   DBF  9-12, 17: zero bytes; 26: UTF-16 blanks; 27: UTF-16 blanks and length word 0xFFFF;
//        all other types: blanks.
// Memo types are refused with kErrConversion (the cursor clears them through WriteMemo and marks
// VFP nulls with AccessVfpSystemField).
Status SetNull(const FieldContext& ctx, Image image);

// AdsAccessVfpSystemField on a Visual FoxPro record image:
//   1 read the null mark: *value := 1 when set, else 0 (0 for a field without one);
//   2 write the null mark: set when *value is not 0 (kErrInvalidArgument for a field that is not
//     nullable), cleared when 0;
//   3 write the full-length mark of varchar/varbinary: *value not 0 = the value fills the field
//     (length bit cleared), 0 = shorter (length bit set);
//   4 read the full-length mark: *value := 1 when the value fills the field, else 0 (1 for every
//     field without a length bit).
// Other options are kErrInvalidArgument; other table types kErrNotSupported.
inline constexpr uint16_t kVfpReadNull = 1;
inline constexpr uint16_t kVfpWriteNull = 2;
inline constexpr uint16_t kVfpWriteFullLength = 3;
inline constexpr uint16_t kVfpReadFullLength = 4;
Status AccessVfpSystemField(const FieldContext& ctx, Image image, uint16_t option, uint32_t* value);

// ---- Memo texts ------------------------------------------------------------------------------

// The text of memo content as AdsGetField gives it: text memos (5, ADT 8) converted from OEM on
// OEM tables, national memos (28, UTF-16 content) narrowed to 1252, binary kinds as they are;
// trimmed per option for the text kinds.
std::string MemoToText(const FieldContext& ctx, std::span<const uint8_t> content,
                       uint16_t trim = kTrimNone);
// The same text as a part of the content, where it needs no conversion (every kind but national
// memos, and text memos of OEM tables); false where it does.
bool MemoTextInPlace(const FieldContext& ctx, std::span<const uint8_t> content, uint16_t trim,
                     std::string_view* text);
std::u16string MemoToUtf16(const FieldContext& ctx, std::span<const uint8_t> content,
                           uint16_t trim = kTrimNone);
// Memo content for a text given to AdsSetField (8-bit) or AdsSetFieldW (UTF-16).
std::vector<uint8_t> TextToMemo(const FieldContext& ctx, std::string_view text);
std::vector<uint8_t> Utf16ToMemo(const FieldContext& ctx, std::u16string_view text);

// Trims blanks per option (the C API's numbers).
std::string_view TrimText(std::string_view text, uint16_t trim);
std::u16string_view TrimText(std::u16string_view text, uint16_t trim);

}  // namespace ace::fields
