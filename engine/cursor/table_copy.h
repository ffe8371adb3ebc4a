// Copying the records of one table into another: AdsCopyTable, AdsCopyTableContents and
// AdsConvertTable. Same-format copies take the record images as they are (memo contents are
// rewritten into the destination's memo file); copies between formats go field by field,
// matching names without regard to case, through the field conversions of engine/fields.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/status.h"
#include "engine/cursor/cursor.h"

namespace ace::cursor {

// The creation request that gives a table with the same fields as this one.
std::vector<storage::FieldSpec> SpecsOf(const storage::TableFile& table);

// Appends the records of from (kIgnoreFilters: every record with its deletion mark; otherwise
// the visible ones) to to. The source's pending changes are written first; its position does
// not change.
Status CopyRecords(Cursor& from, Cursor& to, uint16_t filter_option);

}  // namespace ace::cursor
