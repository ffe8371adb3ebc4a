// The field specification text of table creation: "Name,Char,30;Age,ShortInt;Born,Date;".
// Owns the parsing and the checks that do not depend on the file format beyond the name
// length rule; the format module refuses what its files cannot hold.
#pragma once

#include <string_view>
#include <vector>

#include "engine/base/status.h"
#include "engine/storage/table_file.h"

namespace ace::cursor {

// Parses one specification text for a table of the given type. Each entry is
// "name,type[,length[,decimals]]", entries end with ';' (the last one may omit it), blanks
// around the parts are ignored and type names match without regard to case. Refused, never
// adjusted: an empty name, a name longer than the format allows (10 bytes on DBF tables, 128 on
// ADT), a duplicate name, an unknown type, a type that needs a length without one, a length or
// decimals that is not a number. Errors name the entry.
Result<std::vector<storage::FieldSpec>> ParseFieldSpec(std::string_view text,
                                                       storage::TableType table);

}  // namespace ace::cursor
