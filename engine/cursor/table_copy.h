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

// The creation request that gives a table of type target with the fields of this one. Types the
// target cannot hold become the nearest it can: integer, money and row version numbers become
// numeric fields, times and timestamps character fields, varchar and national memos memos,
// binary data binary memos.
std::vector<storage::FieldSpec> SpecsOf(const storage::TableFile& table, storage::TableType target);

// Appends the records of from to to: with kIgnoreFilters every record in record order with its
// deletion mark; otherwise the visible ones in the order of the tag order (nullptr: record
// order), within its scopes. The source's pending changes are written first; its position and
// order do not change. Reports its progress (engine/base/callbacks.h); a stop answers
// kErrOperationCancelled with the records copied so far left in to.
Status CopyRecords(Cursor& from, Cursor& to, uint16_t filter_option, index::Tag* order = nullptr);

}  // namespace ace::cursor
