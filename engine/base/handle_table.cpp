// Implementation of the typed handle table.
#include "engine/base/handle_table.h"

#include "engine/base/error_codes.h"

namespace ace {

const char* HandleKindName(HandleKind kind) {
  switch (kind) {
    case HandleKind::kConnection: return "connection";
    case HandleKind::kTable: return "table";
    case HandleKind::kIndexOrder: return "index order";
    case HandleKind::kStatement: return "statement";
    case HandleKind::kCursor: return "cursor";
    case HandleKind::kDictionarySearch: return "dictionary search";
    case HandleKind::kTableSearch: return "table search";
  }
  return "unknown";
}

HandleTable& HandleTable::Instance() {
  static HandleTable* table = new HandleTable();  // lives until the process ends
  return *table;
}

uint32_t HandleTable::Add(std::shared_ptr<HandleObject> object) {
  std::lock_guard<std::mutex> lock(mutex_);
  uint32_t h = next_++;
  if (next_ == 0) next_ = 0x100;  // after four billion handles, wrap past 0
  object->handle_ = h;
  objects_[h] = std::move(object);
  return h;
}

void HandleTable::Remove(uint32_t handle) {
  std::shared_ptr<HandleObject> doomed;  // destroyed outside the lock
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = objects_.find(handle);
    if (it == objects_.end()) return;
    doomed = std::move(it->second);
    objects_.erase(it);
  }
}

Result<std::shared_ptr<HandleObject>> HandleTable::Find(uint32_t handle) const {
  if (handle == 0) return Status(kErrInvalidHandle, "no handle given (handle 0)");
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = objects_.find(handle);
  if (it == objects_.end()) {
    return Status(kErrInvalidHandle, "handle " + std::to_string(handle) + " is not open");
  }
  return it->second;
}

Status HandleTable::WrongKind(uint32_t handle, HandleKind actual) {
  return Status(kErrWrongHandleType, "handle " + std::to_string(handle) + " is a " +
                                         HandleKindName(actual) + " handle");
}

size_t HandleTable::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return objects_.size();
}

}  // namespace ace
