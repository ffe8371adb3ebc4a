// The header of a .dbf file as the DBF family stores it: the table header, the field
// descriptors, and how each descriptor maps onto an engine field type and a place in the record
// image. This module builds a layout for a new table (from FieldSpecs, refusing what the format
// cannot hold), decodes one from the bytes of an existing file (checking every byte it relies on)
// and encodes one back into header bytes. Opening files, records and memos are dbf_table.cpp's.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/status.h"
#include "engine/storage/table_file.h"

namespace ace::storage::dbf {

// Table header:
//   OFFSET SIZE DESCRIPTION
//   0      1    version: 0x03 plain, 0x83 dBase III with .dbt, 0xF5 FoxPro with .fpt,
//               0x30 Visual FoxPro, 0x31 with autoincrement, 0x32 with varchar/varbinary
//   1      3    date of the last update: year - 1900, month, day
//   4      4    number of records (deleted ones included), little-endian
//   8      2    header length in bytes (up to the first record), little-endian
//   10     2    record length in bytes, deletion byte included, little-endian
//   12     16   reserved
//   28     1    table flags: 0x01 structural index present, 0x02 memo file (Visual FoxPro)
//   29     1    code page mark: 0x03 Windows-1252, 0x02 code page 850, 0x01 code page 437
//   30     2    reserved
// Field descriptor (one per field, starting at offset 32):
//   OFFSET SIZE DESCRIPTION
//   0      11   name, upper case, zero padded (at most 10 characters)
//   11     1    type letter
//   12     4    Visual FoxPro: offset of the field in the record, little-endian; else 0
//   16     1    length in bytes (Clipper character fields: low byte)
//   17     1    decimals (Clipper character fields: high byte of the length)
//   18     1    Visual FoxPro flags: 0x01 system, 0x02 nullable, 0x04 binary, 0x0C autoincrement
//   19     4    Visual FoxPro autoincrement: next value, little-endian
//   23     1    Visual FoxPro autoincrement: step
//   24     8    reserved
// After the descriptors: 0x0D, then on Visual FoxPro the 263-byte backlink (zero).
inline constexpr uint32_t kHeaderSize = 32;
inline constexpr uint32_t kDescriptorSize = 32;
inline constexpr uint32_t kBacklinkSize = 263;
inline constexpr uint8_t kHeaderEnd = 0x0D;
inline constexpr uint8_t kFileEnd = 0x1A;
inline constexpr uint8_t kLiveMark = 0x20;
inline constexpr uint8_t kDeletedMark = 0x2A;

inline constexpr uint32_t kOffVersion = 0;
inline constexpr uint32_t kOffDate = 1;
inline constexpr uint32_t kOffCount = 4;
inline constexpr uint32_t kOffHeaderLength = 8;
inline constexpr uint32_t kOffRecordLength = 10;
inline constexpr uint32_t kOffTableFlags = 28;
inline constexpr uint32_t kOffCodePage = 29;
static_assert(kOffCodePage + 1 + 2 == kHeaderSize, "the table header is 32 bytes");

inline constexpr uint32_t kDescName = 0;
inline constexpr uint32_t kDescType = 11;
inline constexpr uint32_t kDescOffset = 12;
inline constexpr uint32_t kDescLength = 16;
inline constexpr uint32_t kDescDecimals = 17;
inline constexpr uint32_t kDescFlags = 18;
inline constexpr uint32_t kDescAutoincNext = 19;
inline constexpr uint32_t kDescAutoincStep = 23;
static_assert(kDescAutoincStep + 1 + 8 == kDescriptorSize, "a field descriptor is 32 bytes");

inline constexpr uint8_t kFlagSystem = 0x01;
inline constexpr uint8_t kFlagNullable = 0x02;
inline constexpr uint8_t kFlagBinary = 0x04;
inline constexpr uint8_t kFlagAutoinc = 0x0C;

inline constexpr uint8_t kTableHasIndex = 0x01;
inline constexpr uint8_t kTableHasMemo = 0x02;

inline constexpr uint32_t kMaxNameLength = 10;
inline constexpr const char* kNullFlagsName = "_NullFlags";

// One descriptor of the file, visible or not.
struct Column {
  std::string name;
  char letter = 'C';
  uint32_t length = 0;  // bytes in the record
  uint16_t decimals = 0;
  uint8_t flags = 0;
  uint32_t offset = 0;  // in the record image (deletion byte at 0)
  uint32_t autoinc_next = 0;
  uint8_t autoinc_step = 0;
  int visible = -1;  // index into Layout::fields, -1 for _NullFlags
  // The descriptor as read, so that bytes this module does not interpret survive a rewrite.
  std::array<uint8_t, 32> raw{};
};

struct Layout {
  TableType type = TableType::kNtx;
  uint8_t version = 0x03;
  uint8_t table_flags = 0;
  uint8_t code_page = 0x03;
  uint16_t header_length = 0;
  uint32_t record_length = 0;
  std::vector<Column> columns;    // descriptor order
  std::vector<FieldDesc> fields;  // the visible ones, as TableFile::fields() hands them out
  int null_flags_column = -1;     // index into columns, -1 when the table has none
  bool has_memo_fields = false;
  // Bytes after the end mark up to header_length as read (the Visual FoxPro backlink names the
  // database container of a bound table), and the table header as read; both are written back
  // unchanged where this module does not set a value.
  std::vector<uint8_t> tail;
  std::array<uint8_t, 32> raw_header{};
};

struct Date {
  int year = 1900;
  int month = 1;
  int day = 1;
};
Date Today();

// Builds the layout of a new table. Names, types, lengths and counts that the format cannot
// hold are refused (kErrInvalidFieldName, kErrNameTooLong, kErrInvalidFieldType,
// kErrInvalidArgument), never adjusted.
Result<Layout> BuildLayout(TableType type, const std::vector<FieldSpec>& specs,
                           const CreateOptions& options, const std::string& path);

// Decodes the header of an existing file; header holds header_length bytes (or all the file has
// when it is shorter, which is then kErrCorruptFile). An unknown version is
// kErrUnsupportedVersion.
Result<Layout> DecodeLayout(TableType type, const std::vector<uint8_t>& header,
                            const std::string& path);

// Reads the header length from the first 32 bytes (kErrCorruptFile when they do not check out).
Result<uint16_t> HeaderLengthOf(const uint8_t* first32, uint64_t file_size,
                                const std::string& path);

// The whole header (table header, descriptors, terminator, backlink) for a record count and date.
std::vector<uint8_t> EncodeHeader(const Layout& layout, uint32_t count, const Date& date);

// Encodes only descriptor i (for updating an autoincrement value in place).
void EncodeDescriptor(const Column& column, uint8_t* out, TableType type);

uint32_t GetLe32(const uint8_t* p);
void PutLe32(uint8_t* p, uint32_t v);

}  // namespace ace::storage::dbf
