// The engine's SQL type names and what they become in each table type: the FieldSpec (engine
// field type code, length, decimals) that CreateTableFile takes.
//
//   SQL type                   ADT                VFP                  CDX, NTX
//   char(n), character(n)      4 char             4                    4
//   cichar(n)                  20 cichar          -                    -
//   varchar(n)                 23 varchar         23 varchar           -
//   nchar(n) / nvarchar(n)     26 / 27            -                    -
//   memo                       5                  5                    5
//   nmemo                      28                 -                    -
//   blob, binary, image        6, 6, 7            6, 6, 7              CDX 6, 6, 7; NTX -
//   raw(n), binary(n)          16 raw             -                    -
//   integer, int               11                 11                   numeric(11, 0)
//   short, smallint, shortint  12                 numeric(6, 0)        numeric(6, 0)
//   autoinc                    15                 15                   -
//   double [(d)]               10                 10                   -
//   curdouble [(d)]            17                 -                    -
//   numeric(p[,s]), decimal    2, width p+1 (s = 0) or p+2 (sign and point), s decimals
//   money                      18                 18                   -
//   date                       3                  3                    3
//   shortdate                  9                  -                    -
//   time                       13                 -                    -
//   timestamp, datetime        14                 14                   -
//   modtime, rowversion        22, 21             -                    -
//   logical, boolean, bool     1                  1                    1
// "-" is refused with kTypeNotHeld naming the table type. Lengths outside what the format
// holds are kBadType.
#pragma once

#include <string_view>

#include "engine/base/status.h"
#include "engine/sql/ddl.h"
#include "engine/storage/table_file.h"

namespace ace::sql {

// The field a column of this type becomes on a table of this type. Failures are SqlErrors
// without a place (the caller adds it): kBadType, kTypeNotHeld.
Result<storage::FieldSpec> ResolveType(const TypeName& type, storage::TableType table);

// Checks a column name for a table type: not empty, not longer than the type holds (10 bytes
// on DBF tables, 128 on ADT), not the reserved _NullFlags. kBadColumnName otherwise.
Status CheckColumnName(std::string_view name, storage::TableType table);

// "ADT", "CDX", "NTX", "VFP".
std::string_view TableTypeName(storage::TableType table);

}  // namespace ace::sql
