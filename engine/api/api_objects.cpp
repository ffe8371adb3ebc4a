// Handle objects of connections, tables and searches (see api_objects.h).
#include "engine/api/api_objects.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "engine/base/error_codes.h"

namespace ace::api {
namespace {

bool SameNameNoCase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace

TableObject::TableObject(std::shared_ptr<ConnectionObject> owner,
                         std::unique_ptr<cursor::Cursor> cursor, HandleKind kind)
    : HandleObject(kind), owner_(std::move(owner)), cursor_(std::move(cursor)) {
  if (const storage::FieldDesc* flags = cursor_->file().null_flags_field()) {
    null_flags_ = *flags;
    has_null_flags_ = true;
  }
}

TableObject::~TableObject() {
  if (cursor_ != nullptr) (void)cursor_->Close();
}

Result<size_t> TableObject::FieldIndex(const uint8_t* field_arg) const {
  if (field_arg == nullptr) return Status(kErrNullPointer, "the field argument is missing");
  const auto& fields = cursor_->file().fields();
  auto value = reinterpret_cast<uintptr_t>(field_arg);
  if (value <= 0xFFFF) {
    if (value > fields.size()) {
      return Status(kErrColumnNotFound, "column number " + std::to_string(value) + ": the table " +
                                            cursor_->path() + " has " +
                                            std::to_string(fields.size()) + " fields");
    }
    return static_cast<size_t>(value - 1);
  }
  const char* name = reinterpret_cast<const char*>(field_arg);
  for (size_t i = 0; i < fields.size(); ++i) {
    if (SameNameNoCase(fields[i].name, name)) return i;
  }
  std::string shown(name, strnlen(name, 200));
  return Status(kErrColumnNotFound,
                "column \"" + shown + "\" is not a field of " + cursor_->path());
}

fields::FieldContext TableObject::Context(size_t index) const {
  fields::FieldContext ctx{field(index)};
  ctx.table = cursor_->file().type();
  ctx.null_flags = has_null_flags_ ? &null_flags_ : nullptr;
  ctx.char_type = cursor_->options().char_type;
  return ctx;
}

Result<std::shared_ptr<ConnectionObject>> GetConnection(uint32_t handle) {
  return HandleTable::Instance().Get<ConnectionObject>(handle, {HandleKind::kConnection});
}

namespace {

Status ClosedTable(uint32_t handle) {
  return Status(kErrInvalidHandle, "the table handle " + std::to_string(handle) + " is closed");
}

}  // namespace

Result<std::shared_ptr<TableObject>> GetTable(uint32_t handle) {
  auto table =
      HandleTable::Instance().Get<TableObject>(handle, {HandleKind::kTable, HandleKind::kCursor});
  if (table.ok() && table.value()->cursor().closed()) return ClosedTable(handle);
  return table;
}

Result<std::shared_ptr<IndexObject>> GetIndex(uint32_t handle) {
  auto object = HandleTable::Instance().Get<IndexObject>(handle, {HandleKind::kIndexOrder});
  if (!object.ok()) return object.status();
  std::shared_ptr<IndexObject> ix = object.value();
  if (ix->table().cursor().closed() || ix->table().cursor().FileOf(ix->tag()) == nullptr ||
      !ix->tag()->present())
    return Status(kErrInvalidHandle, "the index handle " + std::to_string(handle) + " is closed");
  return ix;
}

bool IsIndexHandle(uint32_t handle) {
  std::shared_ptr<HandleObject> found = HandleTable::Instance().Lookup(handle);
  return found != nullptr && found->kind() == HandleKind::kIndexOrder;
}

// The checks are PeekOrder's; this adds the shared owners for callers that keep the table.
Result<OrderTarget> ResolveOrder(uint32_t handle) {
  auto ref = PeekOrder(handle);
  if (!ref.ok()) return ref.status();
  std::shared_ptr<HandleObject> found = HandleTable::Instance().Lookup(handle);
  if (found == nullptr) return HandleTable::NotOpen(handle);
  if (ref.value().tag != nullptr)
    return OrderTarget{std::static_pointer_cast<IndexObject>(found)->table_ptr(), ref.value().tag};
  return OrderTarget{std::static_pointer_cast<TableObject>(std::move(found)), nullptr};
}

Result<TableObject*> PeekTable(uint32_t handle) {
  HandleObject* found = HandleTable::Instance().Peek(handle);
  if (found == nullptr) return HandleTable::NotOpen(handle);
  if (found->kind() != HandleKind::kTable && found->kind() != HandleKind::kCursor)
    return GetTable(handle).status();  // the wrong kind, said as GetTable says it
  auto* table = static_cast<TableObject*>(found);
  if (table->cursor().closed()) return ClosedTable(handle);
  return table;
}

Result<OrderRef> PeekOrder(uint32_t handle) {
  HandleObject* found = HandleTable::Instance().Peek(handle);
  if (found == nullptr) return HandleTable::NotOpen(handle);
  const HandleKind kind = found->kind();
  if (kind == HandleKind::kIndexOrder) {
    // Checked as GetIndex checks; the index object holds its table.
    auto* ix = static_cast<IndexObject*>(found);
    if (ix->table().cursor().closed() || ix->table().cursor().FileOf(ix->tag()) == nullptr ||
        !ix->tag()->present())
      return Status(kErrInvalidHandle, "the index handle " + std::to_string(handle) + " is closed");
    return OrderRef{&ix->table(), ix->tag()};
  }
  if (kind != HandleKind::kTable && kind != HandleKind::kCursor) return GetTable(handle).status();
  auto* table = static_cast<TableObject*>(found);
  if (table->cursor().closed()) return ClosedTable(handle);
  return OrderRef{table, nullptr};
}

Status AttachToConnection(uint32_t connection, uint32_t child) {
  auto conn = GetConnection(connection);
  if (!conn.ok()) return conn.status();
  conn.value()->children().push_back(child);
  return Status::Ok();
}

void DetachFromConnection(uint32_t connection, uint32_t child) {
  auto conn = GetConnection(connection);
  if (!conn.ok()) return;
  auto& children = conn.value()->children();
  children.erase(std::remove(children.begin(), children.end(), child), children.end());
}

std::string FieldArgText(const uint8_t* field_arg) {
  auto value = reinterpret_cast<uintptr_t>(field_arg);
  if (value <= 0xFFFF) return "number " + std::to_string(value);
  const char* name = reinterpret_cast<const char*>(field_arg);
  return "\"" + std::string(name, strnlen(name, 200)) + "\"";
}

}  // namespace ace::api
