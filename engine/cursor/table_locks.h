// File locks of one open table: the shared or exclusive "open" lock, the table lock, record
// locks and the append lock, as Linux open-file-description locks on the table's data file.
// Because the locks belong to the open file description, two connections of one process conflict
// exactly as two processes do. Every lock is non-blocking: a lock another user holds answers
// kErrLockRefused (5035) at once.
//
// The one exception is the append lock: another user holds it only for the moment one record
// is added, so LockAppend retries for up to kAppendWait (in short sleeps) before it answers 5035.
// A waiting user marks the append-wait byte, and a user about to append lets a waiting one go
// first, so that two users appending in loops take turns instead of one starving the other.
//
// Lock bytes lie far beyond any real data, so they never hinder reading or writing:
//
//   OFFSET                     SIZE  DESCRIPTION
//   kOpenByte                     1  read lock: this user has the table open (shared or not)
//   kExclusiveByte                1  read lock: this user has the table open exclusively
//   base + 0                      1  table byte: write lock = table lock; read lock = "this
//                                    user holds record locks" (so a table lock waits for none)
//   base + 1                      1  append byte: write lock while a record is appended
//   base + 2                      1  append-wait byte: read lock while a user waits for the
//                                    append byte
//   base + 16 + recno             1  write lock = record recno is locked
//
// The open locks are read locks only, so that a table opened read-only (whose descriptor
// cannot carry a write lock) can be opened exclusively too. Every opener first takes its read
// locks and then tests for other users' locks (F_OFD_GETLK): a shared opener gives up when
// another user holds the exclusive byte, an exclusive one when another user holds the open byte.
// Two openers that race both see each other and both give up, never both succeed.
//
// base is kProprietaryBase for lock type 1 and kCompatibleBase for lock type 0; users of the two
// schemes do not see each other's record locks (as with the classic engines), but they do see
// each other's open locks.
//
// Not thread-safe: a TableLocks belongs to one connection at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/base/status.h"

namespace ace::cursor {

enum class LockScheme : uint16_t { kCompatible = 0, kProprietary = 1 };

// Byte 2^62 is the storage formats' own bookkeeping lock and lies outside every range here.
inline constexpr uint64_t kOpenByte = 0x3000'0000'0000'0000ull;
inline constexpr uint64_t kExclusiveByte = kOpenByte + 1;
inline constexpr uint64_t kCompatibleBase = 0x3800'0000'0000'0000ull;
inline constexpr uint64_t kProprietaryBase = 0x5000'0000'0000'0000ull;

// How long LockAppend waits for another user's append.
inline constexpr std::chrono::milliseconds kAppendWait{1000};

class TableLocks {
 public:
  // fd is the table's data file; it must stay open while this object lives. name is the table
  // name used in messages.
  TableLocks(int fd, LockScheme scheme, std::string name);
  ~TableLocks();
  TableLocks(const TableLocks&) = delete;
  TableLocks& operator=(const TableLocks&) = delete;

  // Takes the open lock: shared (refused while another user has the table exclusively) or
  // exclusive (refused while any other user has it open). Refusal is kErrTableInUse.
  Status AcquireOpen(bool exclusive);
  bool exclusive() const { return exclusive_; }

  // Record locks; locking a record already held is success. UnlockRecord of a record this user
  // does not hold is kErrRecordNotLocked (5062).
  Status LockRecord(uint32_t recno);
  Status UnlockRecord(uint32_t recno);
  bool HoldsRecord(uint32_t recno) const { return exclusive_ || records_.count(recno) != 0; }

  // The table lock; refused while another user holds the table lock or any record lock.
  // UnlockTable without the lock is kErrTableNotLocked (5087).
  Status LockTable();
  Status UnlockTable();
  bool holds_table() const { return exclusive_ || table_locked_; }

  // The append lock, held only while a record is being appended. Another user's append lock is
  // waited for up to kAppendWait before the answer is kErrLockRefused.
  Status LockAppend();
  void UnlockAppend();

  // True when another user holds a lock on record recno (or the table lock).
  Result<bool> LockedByOther(uint32_t recno) const;

  std::vector<uint32_t> records() const { return {records_.begin(), records_.end()}; }
  // Transactions hold the locks of the records they wrote to their end: a pinned record (which
  // must be locked) stays locked when UnlockRecord is called; ReleasePins then unlocks what was
  // locked for the transaction only or unlocked by the user meanwhile.
  void PinRecord(uint32_t recno);
  void ReleasePins();
  // Moves the locks to a new descriptor of the table (pack and zap replace the file, and the
  // locks of the old description are gone): the open and table locks are taken again, record
  // locks are dropped (pack renumbers the records).
  Status Rebind(int fd);
  // Releases record and table locks (the open lock stays).
  void ReleaseAll();

 private:
  uint64_t TableByte() const { return base_; }
  uint64_t AppendByte() const { return base_ + 1; }
  uint64_t AppendWaitByte() const { return base_ + 2; }
  uint64_t RecordByte(uint32_t recno) const { return base_ + 16 + recno; }
  Status Set(uint64_t offset, short type, const char* what) const;
  // True when another user holds a lock on the byte at offset.
  Result<bool> HeldByOther(uint64_t offset) const;
  // Takes the open locks for the mode and tests for the users they must not meet.
  Status TakeOpenLocks(bool exclusive);

  int fd_;
  uint64_t base_;
  std::string name_;
  bool open_taken_ = false;
  bool exclusive_ = false;
  bool table_locked_ = false;
  std::set<uint32_t> records_;
  std::map<uint32_t, bool> pinned_;  // record -> the user still holds it after the transaction
};

}  // namespace ace::cursor
