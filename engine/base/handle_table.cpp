// Implementation of the typed handle table.
#include "engine/base/handle_table.h"

#include <unistd.h>

#include <vector>

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

// Tables and index orders are what record loops ask for, call after call. Their handles are
// closed explicitly (the cursor closes before the handle goes), so a thread that still holds one
// a moment longer keeps only memory, never a file.
bool Remembered(HandleKind kind) {
  return kind == HandleKind::kTable || kind == HandleKind::kIndexOrder;
}

// The handles a thread found last, with the objects held. They stand while no handle has been
// removed since they were found; handles are never reused, so a remembered number cannot come
// to name another object. What is let go during a call (forgotten or pushed out) waits in
// `held` until the thread's outermost call ends, since the call may still be working on it.
struct RecentHandles {
  static constexpr size_t kSize = 4;
  uint64_t removals = 0;
  size_t next = 0;
  int depth = 0;  // engine calls in progress on this thread
  uint32_t handles[kSize] = {};
  std::shared_ptr<HandleObject> objects[kSize];
  std::vector<std::shared_ptr<HandleObject>> held;

  void LetGo(std::shared_ptr<HandleObject> object) {
    if (object != nullptr && depth > 0) held.push_back(std::move(object));
  }
  void Forget(uint64_t now) {
    for (size_t i = 0; i < kSize; ++i) {
      handles[i] = 0;
      LetGo(std::move(objects[i]));
      objects[i].reset();
    }
    removals = now;
  }
  void Remember(uint32_t handle, std::shared_ptr<HandleObject> object) {
    LetGo(std::move(objects[next]));
    handles[next] = handle;
    objects[next] = std::move(object);
    next = (next + 1) % kSize;
  }
  HandleObject* Recall(uint32_t handle) const {
    for (size_t i = 0; i < kSize; ++i)
      if (handles[i] == handle) return objects[i].get();
    return nullptr;
  }
};

// The thread's memory lives on the heap behind plain thread-locals (no destructor runs on them,
// so a call made while the thread or the process winds down finds them still sound). Other
// threads free it at their exit; the main thread keeps it to the end of the process, since
// static destructors may still call the engine then. Initial-exec: every call reaches them,
// and the general model would add a resolver call to each; the library is linked by its
// programs, so these few bytes are part of the static thread-local block.
__attribute__((tls_model("initial-exec"))) thread_local RecentHandles* t_recent = nullptr;
__attribute__((tls_model("initial-exec"))) thread_local bool t_recent_gone = false;

struct RecentHandlesOwner {
  ~RecentHandlesOwner() {
    RecentHandles* recent = t_recent;
    t_recent = nullptr;
    t_recent_gone = true;  // before the objects go: their destructors may call the engine
    delete recent;
  }
};

// The calling thread's memory, or nullptr once its exit has freed it.
RecentHandles* Recent() {
  if (t_recent != nullptr) return t_recent;
  if (t_recent_gone) return nullptr;
  t_recent = new RecentHandles();
  if (::gettid() != ::getpid()) {
    static thread_local RecentHandlesOwner owner;
    (void)owner;
  }
  return t_recent;
}

// The calling thread's memory as of the given removal count (forgetting what an earlier count
// let it keep), or nullptr once its exit has freed it.
RecentHandles* RecentAsOf(uint64_t removals) {
  RecentHandles* recent = Recent();
  if (recent != nullptr && recent->removals != removals) recent->Forget(removals);
  return recent;
}

// What a thread whose memory is gone found during a call: held to the end of the process.
void HoldForGood(std::shared_ptr<HandleObject> object) {
  static std::mutex mutex;
  static auto* held = new std::vector<std::shared_ptr<HandleObject>>();
  std::lock_guard<std::mutex> lock(mutex);
  held->push_back(std::move(object));
}

}  // namespace

HandleTable::CallScope::CallScope() {
  if (RecentHandles* recent = Recent()) ++recent->depth;
}

HandleTable::CallScope::~CallScope() {
  RecentHandles* recent = t_recent;
  if (recent == nullptr || --recent->depth > 0 || recent->held.empty()) return;
  // Destroyed outside the list: a destructor may call into the engine again.
  std::vector<std::shared_ptr<HandleObject>> done;
  done.swap(recent->held);
}

void HandleTable::ForgetThread() {
  RecentHandles* recent = t_recent;
  if (recent == nullptr || recent->depth > 0) return;
  recent->Forget(recent->removals);  // at no call depth this drops the objects
}

std::shared_ptr<HandleObject> HandleTable::Lookup(uint32_t handle) const {
  if (handle == 0) return nullptr;
  // The count is read before the table: a removal after this read is seen at the next call,
  // as if this lookup had come first.
  RecentHandles* recent = RecentAsOf(removals_.load(std::memory_order_acquire));
  if (recent != nullptr) {
    for (size_t i = 0; i < RecentHandles::kSize; ++i)
      if (recent->handles[i] == handle) return recent->objects[i];
  }
  std::shared_ptr<HandleObject> object;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = objects_.find(handle);
    if (it == objects_.end()) return nullptr;
    object = it->second;
  }
  if (recent != nullptr && Remembered(object->kind())) recent->Remember(handle, object);
  return object;
}

HandleObject* HandleTable::Peek(uint32_t handle) const {
  if (handle == 0) return nullptr;
  RecentHandles* recent = RecentAsOf(removals_.load(std::memory_order_acquire));
  if (recent != nullptr) {
    if (HandleObject* known = recent->Recall(handle)) return known;
  }
  std::shared_ptr<HandleObject> object = Lookup(handle);  // remembers the kinds it keeps
  if (object == nullptr) return nullptr;
  HandleObject* found = object.get();
  if (recent == nullptr)
    HoldForGood(std::move(object));
  else if (!Remembered(found->kind()))
    recent->LetGo(std::move(object));  // held to the call's end
  return found;
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
