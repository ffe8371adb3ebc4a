// The engine's typed handle table. Every object the C API hands out (connection, table cursor,
// index order, SQL statement, SQL result cursor, dictionary search) is registered here and named
// by a 32-bit handle. Handles are never reused within a process, so a stale handle is reported
// as invalid instead of reaching another object, and a handle of the wrong kind is refused
// (never cast). The table is guarded by a mutex; the objects themselves follow the rule that a
// connection and what is opened on it belong to one thread at a time. Each thread remembers the
// last few table and index handles it found, so the calls on one table in a loop take neither
// the mutex nor a reference count.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "engine/base/status.h"

namespace ace {

// The numbers AdsGetHandleType answers.
enum class HandleKind : uint16_t {
  kConnection = 1,
  kTable = 2,
  kIndexOrder = 3,
  kStatement = 4,
  kCursor = 5,  // result of a SELECT
  kDictionarySearch = 6,
  kTableSearch = 7,  // AdsFindFirstTable ... AdsFindClose
};

const char* HandleKindName(HandleKind kind);

// Base of every object that a handle names.
class HandleObject {
 public:
  explicit HandleObject(HandleKind kind) : kind_(kind) {}
  virtual ~HandleObject() = default;
  HandleKind kind() const { return kind_; }
  uint32_t handle() const { return handle_; }
  // The caller's value kept with the handle (AdsSetHandleLong); 0 until set.
  uint32_t user_long() const { return user_long_.load(std::memory_order_relaxed); }
  void set_user_long(uint32_t value) { user_long_.store(value, std::memory_order_relaxed); }

 private:
  friend class HandleTable;
  HandleKind kind_;
  uint32_t handle_ = 0;
  std::atomic<uint32_t> user_long_{0};
};

class HandleTable {
 public:
  static HandleTable& Instance();

  // Registers the object and answers its new handle.
  uint32_t Add(std::shared_ptr<HandleObject> object);
  // Removes the handle; the object lives on while others hold it.
  void Remove(uint32_t handle);

  // The object of a handle, or nullptr (0, unknown or closed handle), spelling out no error.
  std::shared_ptr<HandleObject> Lookup(uint32_t handle) const;
  // The same for the engine call in progress, without touching a reference count (the lookup
  // of the calls a record loop makes): the calling thread holds the object until its outermost
  // CallScope ends, so it stays whole for the call even if another thread removes the handle
  // meanwhile. Only within a CallScope.
  HandleObject* Peek(uint32_t handle) const;

  // Lets go of the handles the calling thread remembers (AdsThreadExit); outside any call.
  static void ForgetThread();

  // Marks an engine call in progress on this thread; every entry point's Guard makes one.
  class CallScope {
   public:
    CallScope();
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;
  };
  // The object of a handle, or kErrInvalidHandle (0, unknown or closed handle).
  Result<std::shared_ptr<HandleObject>> Find(uint32_t handle) const;
  // The kErrInvalidHandle of a handle Lookup did not find.
  static Status NotOpen(uint32_t handle);

  // The object as type T, which must be of one of the accepted kinds; else
  // kErrInvalidHandle or kErrWrongHandleType.
  template <typename T>
  Result<std::shared_ptr<T>> Get(uint32_t handle, std::initializer_list<HandleKind> kinds) const {
    std::shared_ptr<HandleObject> object = Lookup(handle);
    if (object == nullptr) return NotOpen(handle);
    for (HandleKind k : kinds) {
      if (object->kind() == k) return std::static_pointer_cast<T>(std::move(object));
    }
    return WrongKind(handle, object->kind());
  }

  size_t size() const;

 private:
  HandleTable() = default;
  static Status WrongKind(uint32_t handle, HandleKind actual);

  mutable std::mutex mutex_;
  // Counts the handles removed so far: a thread's memory of the handles it found last
  // (handle_table.cpp) stands only while this is unchanged.
  std::atomic<uint64_t> removals_{0};
  uint32_t next_ = 0x100;
  std::unordered_map<uint32_t, std::shared_ptr<HandleObject>> objects_;
};

}  // namespace ace
