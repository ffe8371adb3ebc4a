// SQL type names to engine field types per table type (see the table in ddl_types.h).
#include "engine/sql/ddl_types.h"

#include <cctype>

#include "engine/sql/sql_error.h"

namespace ace::sql {
namespace {

using storage::FieldSpec;
using storage::TableType;

enum class Numbers { kNone, kLength, kOptionalLength, kPrecisionScale, kOptionalDecimals };

// Which table types hold a type: bit 1 << TableType value.
constexpr unsigned kAdt = 1u << 3, kVfp = 1u << 4, kCdx = 1u << 2, kNtx = 1u << 1;
constexpr unsigned kAll = kAdt | kVfp | kCdx | kNtx;

struct SqlType {
  std::string_view name;
  uint16_t type;
  Numbers numbers;
  unsigned tables;
};

constexpr SqlType kTypes[] = {
    {"char", storage::kFtString, Numbers::kLength, kAll},
    {"character", storage::kFtString, Numbers::kLength, kAll},
    {"cichar", storage::kFtCiString, Numbers::kLength, kAdt},
    {"varchar", storage::kFtVarcharFox, Numbers::kLength, kAdt | kVfp},
    {"nchar", storage::kFtNChar, Numbers::kLength, kAdt},
    {"nvarchar", storage::kFtNVarchar, Numbers::kLength, kAdt},
    {"memo", storage::kFtMemo, Numbers::kNone, kAll},
    {"nmemo", storage::kFtNMemo, Numbers::kNone, kAdt},
    {"blob", storage::kFtBinary, Numbers::kNone, kAdt | kVfp | kCdx},
    {"image", storage::kFtImage, Numbers::kNone, kAdt | kVfp | kCdx},
    {"raw", storage::kFtRaw, Numbers::kLength, kAdt},
    {"binary", storage::kFtRaw, Numbers::kOptionalLength, kAdt},  // without length: blob
    {"integer", storage::kFtInteger, Numbers::kNone, kAll},
    {"int", storage::kFtInteger, Numbers::kNone, kAll},
    {"short", storage::kFtShortInt, Numbers::kNone, kAll},
    {"shortint", storage::kFtShortInt, Numbers::kNone, kAll},
    {"smallint", storage::kFtShortInt, Numbers::kNone, kAll},
    {"autoinc", storage::kFtAutoInc, Numbers::kNone, kAdt | kVfp},
    {"double", storage::kFtDouble, Numbers::kOptionalDecimals, kAdt | kVfp},
    {"curdouble", storage::kFtCurDouble, Numbers::kOptionalDecimals, kAdt},
    {"numeric", storage::kFtNumeric, Numbers::kPrecisionScale, kAll},
    {"decimal", storage::kFtNumeric, Numbers::kPrecisionScale, kAll},
    {"money", storage::kFtMoney, Numbers::kNone, kAdt | kVfp},
    {"date", storage::kFtDate, Numbers::kNone, kAll},
    {"shortdate", storage::kFtCompactDate, Numbers::kNone, kAdt},
    {"time", storage::kFtTime, Numbers::kNone, kAdt},
    {"timestamp", storage::kFtTimestamp, Numbers::kNone, kAdt | kVfp},
    {"datetime", storage::kFtTimestamp, Numbers::kNone, kAdt | kVfp},
    {"modtime", storage::kFtModTime, Numbers::kNone, kAdt},
    {"rowversion", storage::kFtRowVersion, Numbers::kNone, kAdt},
    {"logical", storage::kFtLogical, Numbers::kNone, kAll},
    {"boolean", storage::kFtLogical, Numbers::kNone, kAll},
    {"bool", storage::kFtLogical, Numbers::kNone, kAll},
};

bool Holds(unsigned tables, TableType t) {
  return (tables & (1u << static_cast<unsigned>(t))) != 0;
}

uint32_t MaxLength(uint16_t type, TableType table) {
  if (table != TableType::kAdt) return 254;
  return type == storage::kFtNChar || type == storage::kFtNVarchar ? 32765 : 65530;
}

std::string Written(const TypeName& t) {
  std::string s = t.name;
  if (t.length) {
    s += "(" + std::to_string(*t.length);
    if (t.scale) s += ", " + std::to_string(*t.scale);
    s += ")";
  }
  return s;
}

}  // namespace

std::string_view TableTypeName(TableType table) {
  switch (table) {
    case TableType::kAdt:
      return "ADT";
    case TableType::kCdx:
      return "CDX";
    case TableType::kNtx:
      return "NTX";
    case TableType::kVfp:
      return "VFP";
  }
  return "unknown";
}

Result<FieldSpec> ResolveType(const TypeName& type, TableType table) {
  const SqlType* found = nullptr;
  for (const auto& t : kTypes) {
    if (t.name == type.name) found = &t;
  }
  if (found == nullptr) {
    return SqlError(NativeError::kBadType, "\"" + type.name + "\" is not a type name.");
  }
  const std::string written = Written(type);
  auto bad = [&](const std::string& why) {
    return SqlError(NativeError::kBadType, "The type " + written + " " + why + ".");
  };
  FieldSpec spec;
  spec.type = found->type;
  switch (found->numbers) {
    case Numbers::kNone:
      if (type.length) return bad("takes no length");
      break;
    case Numbers::kLength:
      if (!type.length) return bad("needs a length, as in " + type.name + "(10)");
      if (type.scale) return bad("takes one number, not two");
      spec.length = *type.length;
      break;
    case Numbers::kOptionalLength:
      if (type.scale) return bad("takes one number, not two");
      if (!type.length) {
        spec.type = storage::kFtBinary;  // binary without a length is a blob
      } else {
        spec.length = *type.length;
      }
      break;
    case Numbers::kOptionalDecimals:
      if (type.scale) return bad("takes one number, not two");
      if (type.length) {
        if (*type.length > 18) return bad("has more than 18 decimals");
        spec.decimals = static_cast<uint16_t>(*type.length);
      }
      break;
    case Numbers::kPrecisionScale: {
      if (!type.length) return bad("needs a precision, as in " + type.name + "(10, 2)");
      uint32_t p = *type.length;
      uint32_t s = type.scale.value_or(0);
      if (p == 0) return bad("needs a precision of at least 1");
      if (s > p) return bad("has more decimals than digits");
      spec.length = p + (s > 0 ? 2 : 1);
      spec.decimals = static_cast<uint16_t>(s);
      uint32_t max_width = table == TableType::kAdt ? 32 : 20;
      if (spec.length > max_width) {
        return bad("is wider than the " + std::to_string(max_width) +
                   " characters a numeric field of a " + std::string(TableTypeName(table)) +
                   " table holds");
      }
      break;
    }
  }
  const bool held = spec.type == storage::kFtBinary ? Holds(kAdt | kVfp | kCdx, table)
                                                    : Holds(found->tables, table);
  if (!held) {
    return SqlError(NativeError::kTypeNotHeld, "The type " + written + " is not available on " +
                                                   std::string(TableTypeName(table)) + " tables.");
  }
  // xBase tables without binary integers keep them as numbers of the same range.
  if (table == TableType::kCdx || table == TableType::kNtx ||
      (table == TableType::kVfp && spec.type == storage::kFtShortInt)) {
    if (spec.type == storage::kFtInteger) {
      spec = FieldSpec{"", storage::kFtNumeric, 11, 0, true};
    } else if (spec.type == storage::kFtShortInt) {
      spec = FieldSpec{"", storage::kFtNumeric, 6, 0, true};
    }
  }
  if (spec.length != 0 && spec.type != storage::kFtNumeric) {
    uint32_t max = MaxLength(spec.type, table);
    if (spec.length > max) {
      return bad("is longer than the " + std::to_string(max) + " a " +
                 std::string(TableTypeName(table)) + " table holds");
    }
  }
  if (found->numbers == Numbers::kLength && spec.length == 0)
    return bad("needs a length of at least 1");
  return spec;
}

Status CheckColumnName(std::string_view name, TableType table) {
  if (name.empty()) return SqlError(NativeError::kBadColumnName, "A column has no name.");
  const size_t max = table == TableType::kAdt ? 128 : 10;
  if (name.size() > max) {
    return SqlError(NativeError::kBadColumnName,
                    "The name of the " + ColumnRef(name) + " is " + std::to_string(name.size()) +
                        " characters long; " + std::string(TableTypeName(table)) +
                        " tables hold column names of at most " + std::to_string(max) +
                        " characters.");
  }
  if (table != TableType::kAdt && !std::isalpha(static_cast<unsigned char>(name[0]))) {
    return SqlError(NativeError::kBadColumnName,
                    "The name of the " + ColumnRef(name) + " must start with a letter on " +
                        std::string(TableTypeName(table)) + " tables.");
  }
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "_NULLFLAGS") {
    return SqlError(NativeError::kBadColumnName, "The " + ColumnRef(name) + " is reserved.");
  }
  return Status::Ok();
}

}  // namespace ace::sql
