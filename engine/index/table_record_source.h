// TableRecordSource: the expression language's view of one record image of a TableFile, used to
// compile index keys and FOR conditions against a table's fields and to evaluate them per
// record. It reads field values through engine/fields; the record bytes belong to the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/expr/record_source.h"
#include "engine/storage/table_file.h"

namespace ace::index {

class TableRecordSource : public expr::RecordSource {
 public:
  // table must outlive the source; it is used for field descriptions and memo contents.
  explicit TableRecordSource(storage::TableFile* table);

  // The record the next evaluations read: image has record_length() bytes and must stay valid
  // while they run. recno 0 and a null image: no record (every field reads as null).
  void SetRecord(uint32_t recno, const std::byte* image) {
    recno_ = recno;
    image_ = image;
  }

  std::optional<expr::FieldRef> FindField(std::string_view name) const override;
  Result<expr::Value> FieldValue(const expr::FieldRef& field) const override;
  uint32_t RecNo() const override { return recno_; }
  bool Deleted() const override;

 private:
  storage::TableFile* table_;
  uint16_t char_type_;
  uint32_t recno_ = 0;
  const std::byte* image_ = nullptr;
};

}  // namespace ace::index
