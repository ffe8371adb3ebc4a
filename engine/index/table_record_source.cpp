// Field values of a table's record image for expressions (see table_record_source.h).
#include "engine/index/table_record_source.h"

#include "engine/base/error_codes.h"
#include "engine/expr/collation.h"
#include "engine/fields/field_codec.h"
#include "engine/storage/dbf/dbf_info.h"

namespace ace::index {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (expr::UpperChar(a[i]) != expr::UpperChar(b[i])) return false;
  return true;
}

}  // namespace

TableRecordSource::TableRecordSource(storage::TableFile* table)
    : table_(table),
      char_type_(storage::IsDbfTable(*table) ? storage::DbfCharType(*table)
                                             : fields::kCharTypeAnsi) {}

std::optional<expr::FieldRef> TableRecordSource::FindField(std::string_view name) const {
  const auto& fields = table_->fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    if (!SameName(fields[i].name, name)) continue;
    if (!expr::ValueTypeOfFieldType(fields[i].type)) return std::nullopt;
    return expr::FieldRefFromDesc(fields[i], static_cast<int32_t>(i), table_->type());
  }
  return std::nullopt;
}

bool TableRecordSource::Deleted() const {
  return image_ && table_->IsDeleted(image_);
}

Result<expr::Value> TableRecordSource::FieldValue(const expr::FieldRef& ref) const {
  const auto& all = table_->fields();
  if (ref.id < 0 || static_cast<size_t>(ref.id) >= all.size())
    return Status(kErrInvalidArgument,
                  "field " + ref.name + " is not a field of " + table_->path());
  if (!image_) return expr::Value::TypedNull(ref.type);
  const storage::FieldDesc& desc = all[static_cast<size_t>(ref.id)];
  fields::FieldContext ctx{desc, table_->type(), table_->null_flags_field(), char_type_, nullptr};
  fields::ConstImage image(image_, table_->record_length());
  if (table_->type() == storage::TableType::kVfp && desc.null_bit >= 0) {
    Result<bool> marked = storage::GetVfpSystemBit(*table_, image_, desc.null_bit);
    if (marked.ok() && *marked) return expr::Value::TypedNull(ref.type);
  }
  bool memo = storage::IsMemoType(desc.type, table_->type());
  if (!memo) {
    Result<bool> null = fields::IsNull(ctx, image);
    if (!null.ok()) return null.status();
    if (*null && ref.type != expr::ValueType::kCharacter) return expr::Value::TypedNull(ref.type);
  }
  switch (ref.type) {
    case expr::ValueType::kCharacter: {
      if (memo) {
        Result<std::vector<uint8_t>> content = table_->ReadMemo(image_, desc);
        if (!content.ok()) return content.status();
        return expr::Value::Character(fields::MemoToText(ctx, *content));
      }
      Result<std::string> text = fields::GetText(ctx, image);
      if (!text.ok()) return text.status();
      return expr::Value::Character(std::move(*text));
    }
    case expr::ValueType::kNumeric: {
      Result<double> d = fields::GetDouble(ctx, image);
      if (!d.ok()) return d.status();
      return expr::Value::Numeric(*d, static_cast<int16_t>(ref.length),
                                  static_cast<int16_t>(ref.decimals));
    }
    case expr::ValueType::kDate: {
      Result<int32_t> j = fields::GetJulian(ctx, image);
      if (!j.ok()) return j.status();
      return expr::Value::Date(*j);
    }
    case expr::ValueType::kLogical: {
      Result<bool> b = fields::GetLogical(ctx, image);
      if (!b.ok()) return b.status();
      return expr::Value::Logical(*b);
    }
    case expr::ValueType::kTimestamp: {
      Result<fields::Timestamp> t = fields::GetTimestamp(ctx, image);
      if (!t.ok()) return t.status();
      return expr::Value::Timestamp(t->julian, t->milliseconds);
    }
    case expr::ValueType::kNull:
      break;
  }
  return expr::Value::Null();
}

}  // namespace ace::index
