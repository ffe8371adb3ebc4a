// Per-thread storage of the last error.
#include "engine/base/last_error.h"

#include <unistd.h>

#include "engine/base/error_codes.h"

namespace ace {

namespace {

// The record lives on the heap behind a trivially destructible thread-local pointer: a
// thread-local object would be destroyed before the process's static objects, whose destructors
// may still call the engine (and record an error) while the program ends. Each thread's record
// is freed when the thread ends, except the main thread's, which the end of the process takes.
struct LastErrorOwner {
  ~LastErrorOwner();
};

bool IsMainThread() {
  return ::gettid() == ::getpid();
}

thread_local LastError* t_last_error = nullptr;
thread_local bool t_owner_armed = false;

LastError& Slot() {
  if (t_last_error == nullptr) {
    t_last_error = new LastError();
    if (!t_owner_armed && !IsMainThread()) {
      static thread_local LastErrorOwner owner;
      t_owner_armed = true;
    }
  }
  return *t_last_error;
}

LastErrorOwner::~LastErrorOwner() {
  delete t_last_error;
  t_last_error = nullptr;
}

}  // namespace

std::string ComposeErrorText(const Status& status) {
  std::string text = "Error " + std::to_string(status.code()) + ": ";
  if (status.code() == kErrSql && status.message().rfind("SQL error", 0) == 0) {
    return text + status.message();
  }
  std::string base(ErrorText(status.code()));
  if (status.message().empty()) return text + base;
  if (!base.empty() && base.back() == '.') base.pop_back();
  return text + base + ": " + status.message();
}

void RecordError(const Status& status) {
  LastError& e = Slot();
  e.code = status.code();
  e.text = ComposeErrorText(status);
}

void RecordErrorVerbatim(uint32_t code, std::string text) {
  LastError& e = Slot();
  e.code = code;
  e.text = std::move(text);
}

const LastError& CurrentLastError() {
  return Slot();
}

void ClearLastError() {
  Slot() = LastError{};
}

void ReleaseThreadLastError() {
  delete t_last_error;
  t_last_error = nullptr;
}

}  // namespace ace
