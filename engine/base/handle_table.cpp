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
    removals_.fetch_add(1, std::memory_order_acq_rel);  // every thread's memory of handles lapses
  }
}

namespace {

// The handles a thread found last, as weak references: they keep no object alive (a closed
// table's files close when its last user lets go, whichever thread looked it up before). They
// stand while no handle has been removed since they were found; handles are never reused, so a
// remembered number cannot come to name another object.
struct RecentHandles {
  static constexpr size_t kSize = 4;
  uint64_t removals = 0;
  size_t next = 0;
  uint32_t handles[kSize] = {};
  std::weak_ptr<HandleObject> objects[kSize];

  void Forget(uint64_t now) {
    for (size_t i = 0; i < kSize; ++i) {
      handles[i] = 0;
      objects[i].reset();
    }
    removals = now;
  }
  void Remember(uint32_t handle, const std::shared_ptr<HandleObject>& object) {
    handles[next] = handle;
    objects[next] = object;
    next = (next + 1) % kSize;
  }
};

// Initial-exec: every call reaches it, and the general model would add a resolver call to each.
// The library is linked by its programs, not loaded later, so its few bytes are part of the
// static thread-local block (a program that loads it later draws on the spare room kept for this).
__attribute__((tls_model("initial-exec"))) thread_local RecentHandles recent_handles;

}  // namespace

std::shared_ptr<HandleObject> HandleTable::Lookup(uint32_t handle) const {
  if (handle == 0) return nullptr;
  RecentHandles& recent = recent_handles;
  // Read before the table: a removal after this read is seen at the next call, as if this
  // lookup had come first.
  const uint64_t removals = removals_.load(std::memory_order_acquire);
  if (recent.removals != removals) recent.Forget(removals);
  for (size_t i = 0; i < RecentHandles::kSize; ++i) {
    if (recent.handles[i] != handle) continue;
    if (std::shared_ptr<HandleObject> object = recent.objects[i].lock()) return object;
    break;
  }
  std::shared_ptr<HandleObject> object;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = objects_.find(handle);
    if (it == objects_.end()) return nullptr;
    object = it->second;
  }
  recent.Remember(handle, object);
  return object;
}

Result<std::shared_ptr<HandleObject>> HandleTable::Find(uint32_t handle) const {
  std::shared_ptr<HandleObject> object = Lookup(handle);
  if (object == nullptr) return NotOpen(handle);
  return object;
}

Status HandleTable::NotOpen(uint32_t handle) {
  if (handle == 0) return Status(kErrInvalidHandle, "no handle given (handle 0)");
  return Status(kErrInvalidHandle, "handle " + std::to_string(handle) + " is not open");
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
