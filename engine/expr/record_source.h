// The expression language's window on a record: the interface through which compiled
// expressions find fields (at compile time) and read their values (per record). The cursor
// layer implements it over its current record; tests implement it in memory. The expression
// module never reads record bytes itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/base/status.h"
#include "engine/expr/value.h"
#include "engine/storage/table_file.h"

namespace ace::expr {

// A field as the expression compiler sees it.
struct FieldRef {
  std::string name;                        // the field's name as the table stores it
  ValueType type = ValueType::kCharacter;  // the value type FieldValue delivers
  uint32_t length = 0;       // character: characters (0 = variable, e.g. memo); numeric: width
  uint16_t decimals = 0;     // numeric: decimal places
  int32_t id = -1;           // the source's own handle of the field (e.g. its number)
  uint16_t engine_type = 0;  // the engine field type code, when the source knows it
};

class RecordSource {
 public:
  virtual ~RecordSource() = default;
  // Finds a field by name without regard to letter case; both the long names of ADT tables
  // and the 10-character names of DBF tables are to be accepted.
  virtual std::optional<FieldRef> FindField(std::string_view name) const = 0;
  // The field's value in the current record. A character value of a fixed-length field is
  // padded or cut to the field's length by the evaluator.
  virtual Result<Value> FieldValue(const FieldRef& field) const = 0;
  // The current record's number (0 when there is none) and deletion mark.
  virtual uint32_t RecNo() const = 0;
  virtual bool Deleted() const = 0;
};

// The expression value type of an engine field type (engine/storage/table_file.h codes), and
// whether it can be used in expressions at all (binary and image fields cannot).
std::optional<ValueType> ValueTypeOfFieldType(uint16_t engine_type);

// The FieldRef of a stored field: memo-file fields (and ADT varchar) are character values of
// variable length (0), national fields count characters, binary fields are character values
// of their bytes; integer types get the display width of their largest value, doubles 20.
// Time fields are timestamps: FieldValue answers them with day 0 and the milliseconds.
FieldRef FieldRefFromDesc(const storage::FieldDesc& desc, int32_t id, storage::TableType table);

}  // namespace ace::expr
