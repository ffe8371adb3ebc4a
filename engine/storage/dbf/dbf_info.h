// Facts of an open DBF-family table that the TableFile contract does not carry: the bits of the
// Visual FoxPro _NullFlags field in a record image (null marks and the "shorter than the field"
// marks of varchar/varbinary fields, FieldDesc::null_bit and FieldDesc::varlen_bit) and the
// table's character type. The cursor layer uses these for its system-field access; the bits
// live in the caller's image, so nothing here touches the files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/base/status.h"
#include "engine/storage/table_file.h"

namespace ace::storage {

// True when table was opened by the DBF module (NTX, CDX or VFP).
bool IsDbfTable(const TableFile& table);

// Reads or sets bit number bit of the _NullFlags field in image (record_length() bytes).
// kErrInvalidArgument when table is not a VFP table, has no _NullFlags or bit is outside it.
Result<bool> GetVfpSystemBit(const TableFile& table, const std::byte* image, int bit);
Status SetVfpSystemBit(const TableFile& table, std::byte* image, int bit, bool on);

// The header's "structural index present" flag, which tells programs to open the table's
// compound index of the same base name with it. Setting it writes the flag byte at once
// (kErrTableReadOnly on a read-only table, kErrInvalidArgument for a table of another format).
bool HasStructuralIndex(const TableFile& table);
Status SetStructuralIndexFlag(TableFile& table, bool present);

// Character type of a DBF table as its code page mark says: 2 (OEM) for DOS code pages,
// 1 (ANSI) otherwise.
uint16_t DbfCharType(const TableFile& table);

}  // namespace ace::storage
