// The calling thread's callback registrations (progress callback, callback function with its
// id, SQL abort function) and Progress, through which a long operation reports how far it is
// and learns that it is to stop.
//
// Registrations are per thread: an operation calls the functions its own thread registered,
// on that thread, and never those of another thread. Nothing here takes a lock.
#pragma once

#include <cstdint>

#include "engine/base/status.h"

namespace ace {

using ProgressCallback = uint32_t (*)(uint16_t percent);
using SqlAbortFunction = uint32_t (*)();
using CallbackFunction = uint32_t (*)(uint16_t percent, uint32_t id);

struct ThreadCallbacks {
  ProgressCallback progress = nullptr;
  CallbackFunction callback = nullptr;
  uint32_t callback_id = 0;
  SqlAbortFunction sql_abort = nullptr;
};

// This thread's registrations (all empty on a new thread).
ThreadCallbacks& CurrentCallbacks();
void ClearThreadCallbacks();

// The status of an operation stopped by a callback's answer.
Status CancelledStatus(const char* what);

// Reports one long operation's progress, 0 to 100 percent of `total` units, to the thread's
// progress callback and callback function; an answer other than 0 makes Advance answer
// kErrOperationCancelled, and the caller then stops and undoes what it did.
//
// Operations nest (a pack rebuilds the table's indexes, an ALTER copies records and builds
// indexes): a Progress made while another is alive on the thread reports into the part of the
// outer one's range that the outer one gave to it with Share (all that is left when it gave
// none), so the callbacks see one rising percentage per outermost operation. Percent values
// are reported when they change, never falling; a cancellation answer is remembered, so every
// later Advance of the same operation (inner or outer) answers it as well.
class Progress {
 public:
  explicit Progress(uint64_t total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // `done` units of total are complete.
  Status Advance(uint64_t done);
  // The next inner Progress covers the units [from, to) of this one.
  void Share(uint64_t from, uint64_t to);
  // Whether any callback is registered (callers may skip work done only for reporting).
  static bool Wanted();

 private:
  Status Report(double fraction);

  Progress* outer_;
  uint64_t total_;
  double lo_ = 0.0, hi_ = 1.0;  // this operation's part of the outermost range
  double share_lo_ = -1.0, share_hi_ = -1.0;
  // Advance calls with done in [quiet_from_, quiet_until_) come before the next whole percent
  // and report nothing: a loop over many records pays for the reporting once per percent.
  uint64_t quiet_from_ = 0, quiet_until_ = 0;
};

// While one is alive on the thread, Progress reports nothing and never cancels: for the work an
// operation does after its point of no return (the indexes rebuilt after a pack put its new
// files in place), which must not be stopped half-way.
class ProgressMute {
 public:
  ProgressMute();
  ~ProgressMute();
  ProgressMute(const ProgressMute&) = delete;
  ProgressMute& operator=(const ProgressMute&) = delete;

 private:
  bool was_;
};

// Polls the thread's SQL abort function; kErrOperationCancelled when it asks to stop (and for
// the rest of the running operation once it did).
Status PollSqlAbort();

}  // namespace ace
