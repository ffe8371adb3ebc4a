// The bridge from the storage layer's field descriptions to the expression compiler's fields.
#include "engine/expr/record_source.h"

namespace ace::expr {

namespace st = ace::storage;

std::optional<ValueType> ValueTypeOfFieldType(uint16_t t) {
  switch (t) {
    case st::kFtLogical:
      return ValueType::kLogical;
    case st::kFtNumeric:
    case st::kFtDouble:
    case st::kFtInteger:
    case st::kFtShortInt:
    case st::kFtAutoInc:
    case st::kFtCurDouble:
    case st::kFtMoney:
    case st::kFtRowVersion:
      return ValueType::kNumeric;
    case st::kFtDate:
    case st::kFtCompactDate:
      return ValueType::kDate;
    case st::kFtString:
    case st::kFtMemo:
    case st::kFtVarchar:
    case st::kFtCiString:
    case st::kFtVarcharFox:
    case st::kFtNChar:
    case st::kFtNVarchar:
    case st::kFtNMemo:
    case st::kFtRaw:
      return ValueType::kCharacter;
    case st::kFtTime:
    case st::kFtTimestamp:
    case st::kFtModTime:
      return ValueType::kTimestamp;
    default:
      return std::nullopt;
  }
}

namespace {

// Types whose value lives in the memo file (kept here so that the expression module needs
// only the storage layer's declarations).
bool InMemoFile(uint16_t type, st::TableType table) {
  switch (type) {
    case st::kFtMemo:
    case st::kFtBinary:
    case st::kFtImage:
    case st::kFtNMemo:
    case st::kFtFoxBlob:
    case st::kFtFoxGeneral:
      return true;
    case st::kFtVarchar:
      return table == st::TableType::kAdt;
    default:
      return false;
  }
}

}  // namespace

FieldRef FieldRefFromDesc(const st::FieldDesc& desc, int32_t id, st::TableType table) {
  FieldRef f;
  f.name = desc.name;
  f.id = id;
  f.engine_type = desc.type;
  f.type = ValueTypeOfFieldType(desc.type).value_or(ValueType::kCharacter);
  f.decimals = desc.decimals;
  switch (desc.type) {
    case st::kFtNChar:
    case st::kFtNVarchar:
      f.length = desc.length / 2;
      break;
    case st::kFtInteger:
    case st::kFtAutoInc:
      f.length = 11;
      f.decimals = 0;
      break;
    case st::kFtShortInt:
      f.length = 6;
      f.decimals = 0;
      break;
    case st::kFtDouble:
    case st::kFtCurDouble:
    case st::kFtRowVersion:
      f.length = 20;
      break;
    case st::kFtMoney:
      f.length = 20;
      f.decimals = 4;
      break;
    default:
      f.length = InMemoFile(desc.type, table) ? 0 : desc.length;
      break;
  }
  if (f.type != ValueType::kCharacter && f.type != ValueType::kNumeric) f.length = 0;
  return f;
}

}  // namespace ace::expr
