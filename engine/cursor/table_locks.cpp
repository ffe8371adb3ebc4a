// Open-file-description locks of one table (see table_locks.h).
#include "engine/cursor/table_locks.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/base/error_codes.h"

namespace ace::cursor {

TableLocks::TableLocks(int fd, LockScheme scheme, std::string name)
    : fd_(fd),
      base_(scheme == LockScheme::kProprietary ? kProprietaryBase : kCompatibleBase),
      name_(std::move(name)) {}

TableLocks::~TableLocks() {
  ReleaseAll();
  if (exclusive_) (void)Set(kExclusiveByte, F_UNLCK, "open");
  if (open_taken_) (void)Set(kOpenByte, F_UNLCK, "open");
}

Status TableLocks::Set(uint64_t offset, short type, const char* what) const {
  struct flock lock;
  std::memset(&lock, 0, sizeof lock);
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = 1;
  if (fcntl(fd_, F_OFD_SETLK, &lock) == 0) return Status::Ok();
  int err = errno;
  if (err == EAGAIN || err == EACCES) {
    return Status(kErrLockRefused, name_ + ": the " + what + " lock is held by another user");
  }
  return Status(kErrIo, name_ + ": cannot set the " + what + " lock: " + std::strerror(err));
}

Result<bool> TableLocks::HeldByOther(uint64_t offset) const {
  struct flock lock;
  std::memset(&lock, 0, sizeof lock);
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = 1;
  if (fcntl(fd_, F_OFD_GETLK, &lock) != 0) {
    return Status(kErrIo, name_ + ": cannot test a lock: " + std::strerror(errno));
  }
  return lock.l_type != F_UNLCK;
}

Status TableLocks::TakeOpenLocks(bool exclusive) {
  const bool had_open = open_taken_;
  if (!had_open) ACE_RETURN_IF_ERROR(Set(kOpenByte, F_RDLCK, "open"));
  if (exclusive) {
    Status s = Set(kExclusiveByte, F_RDLCK, "open");
    if (!s.ok()) {
      if (!had_open) (void)Set(kOpenByte, F_UNLCK, "open");
      return s;
    }
  }
  // Our own locks never show here (they belong to this open file description).
  Result<bool> other = HeldByOther(exclusive ? kOpenByte : kExclusiveByte);
  if (other.ok() && !other.value()) return Status::Ok();
  if (exclusive) (void)Set(kExclusiveByte, F_UNLCK, "open");
  if (!had_open) (void)Set(kOpenByte, F_UNLCK, "open");
  if (!other.ok()) return other.status();
  return Status(kErrTableInUse,
                exclusive
                    ? name_ + ": the table is open by another user and cannot be opened exclusively"
                    : name_ + ": the table is opened exclusively by another user");
}

Status TableLocks::AcquireOpen(bool exclusive) {
  if (open_taken_ && (exclusive_ || !exclusive)) return Status::Ok();
  ACE_RETURN_IF_ERROR(TakeOpenLocks(exclusive));
  open_taken_ = true;
  exclusive_ = exclusive;
  return Status::Ok();
}

Status TableLocks::LockRecord(uint32_t recno) {
  if (exclusive_ || records_.count(recno) != 0) return Status::Ok();
  // The read lock on the table byte says "this user holds record locks"; it is already there
  // when this user holds other record locks or the table lock (a write lock that must stay).
  bool need_marker = records_.empty() && !table_locked_;
  if (need_marker) {
    Status s = Set(TableByte(), F_RDLCK, "table");
    if (s.code() == kErrLockRefused) {
      return Status(kErrLockRefused, name_ + ": record " + std::to_string(recno) +
                                         " cannot be locked: another user has locked the table");
    }
    ACE_RETURN_IF_ERROR(s);
  }
  Status s = Set(RecordByte(recno), F_WRLCK, "record");
  if (!s.ok()) {
    if (need_marker) (void)Set(TableByte(), F_UNLCK, "table");
    if (s.code() == kErrLockRefused) {
      return Status(kErrLockRefused,
                    name_ + ": record " + std::to_string(recno) + " is locked by another user");
    }
    return s;
  }
  records_.insert(recno);
  return Status::Ok();
}

Status TableLocks::UnlockRecord(uint32_t recno) {
  if (records_.count(recno) == 0) {
    return Status(kErrRecordNotLocked,
                  name_ + ": record " + std::to_string(recno) + " was not locked");
  }
  if (auto pin = pinned_.find(recno); pin != pinned_.end()) {
    pin->second = false;
    return Status::Ok();
  }
  ACE_RETURN_IF_ERROR(Set(RecordByte(recno), F_UNLCK, "record"));
  records_.erase(recno);
  if (records_.empty() && !table_locked_) ACE_RETURN_IF_ERROR(Set(TableByte(), F_UNLCK, "table"));
  return Status::Ok();
}

Status TableLocks::LockTable() {
  if (exclusive_ || table_locked_) return Status::Ok();
  // Upgrading this description's own read marker succeeds unless another user holds one.
  Status s = Set(TableByte(), F_WRLCK, "table");
  if (s.code() == kErrLockRefused) {
    return Status(kErrLockRefused,
                  name_ + ": the table cannot be locked: another user holds a lock on it");
  }
  ACE_RETURN_IF_ERROR(s);
  table_locked_ = true;
  return Status::Ok();
}

Status TableLocks::UnlockTable() {
  if (!table_locked_) {
    if (exclusive_) return Status::Ok();
    return Status(kErrTableNotLocked, name_ + ": the table was not locked");
  }
  // With record locks still held the byte goes back to the read marker.
  ACE_RETURN_IF_ERROR(Set(TableByte(), records_.empty() ? F_UNLCK : F_RDLCK, "table"));
  table_locked_ = false;
  return Status::Ok();
}

Status TableLocks::LockAppend() {
  if (exclusive_) return Status::Ok();
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + kAppendWait;
  // Another user waits for the append lock: it gets the next turn. (A user appending in a loop
  // would otherwise take the lock back before the waiting one wakes up.)
  while (Clock::now() < deadline) {
    Result<bool> waiting = HeldByOther(AppendWaitByte());
    if (!waiting.ok() || !waiting.value()) break;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  Status s = Set(AppendByte(), F_WRLCK, "append");
  if (s.code() != kErrLockRefused) return s;
  // The other user's append takes a moment: wait for it in short sleeps, telling others so.
  const bool marked = Set(AppendWaitByte(), F_RDLCK, "append").ok();
  auto pause = std::chrono::microseconds(100);
  while (s.code() == kErrLockRefused && Clock::now() < deadline) {
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(1000));
    s = Set(AppendByte(), F_WRLCK, "append");
  }
  if (marked) (void)Set(AppendWaitByte(), F_UNLCK, "append");
  return s;
}

void TableLocks::UnlockAppend() {
  if (!exclusive_) (void)Set(AppendByte(), F_UNLCK, "append");
}

Result<bool> TableLocks::LockedByOther(uint32_t recno) const {
  for (uint64_t offset : {RecordByte(recno), TableByte()}) {
    struct flock lock;
    std::memset(&lock, 0, sizeof lock);
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = 1;
    if (fcntl(fd_, F_OFD_GETLK, &lock) != 0) {
      return Status(kErrIo, name_ + ": cannot test a lock: " + std::strerror(errno));
    }
    // A read marker on the table byte is only another user's record locks.
    if (lock.l_type == F_WRLCK) return true;
  }
  return false;
}

Status TableLocks::Rebind(int fd) {
  fd_ = fd;
  records_.clear();
  if (open_taken_) {
    open_taken_ = false;
    ACE_RETURN_IF_ERROR(TakeOpenLocks(exclusive_));
    open_taken_ = true;
  }
  if (table_locked_) ACE_RETURN_IF_ERROR(Set(TableByte(), F_WRLCK, "table"));
  return Status::Ok();
}

void TableLocks::PinRecord(uint32_t recno) {
  if (pinned_.count(recno) == 0) pinned_[recno] = records_.count(recno) != 0;
}

void TableLocks::ReleasePins() {
  std::map<uint32_t, bool> pins = std::move(pinned_);
  pinned_.clear();
  for (const auto& [recno, keep] : pins) {
    if (!keep && records_.count(recno) != 0) (void)UnlockRecord(recno);
  }
}

void TableLocks::ReleaseAll() {
  pinned_.clear();
  for (uint32_t recno : records_) (void)Set(RecordByte(recno), F_UNLCK, "record");
  if (!records_.empty() || table_locked_) (void)Set(TableByte(), F_UNLCK, "table");
  records_.clear();
  table_locked_ = false;
}

}  // namespace ace::cursor
