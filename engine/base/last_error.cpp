// Per-thread storage of the last error.
#include "engine/base/last_error.h"

#include "engine/base/error_codes.h"

namespace ace {

namespace {
thread_local LastError t_last_error;
}

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
  t_last_error.code = status.code();
  t_last_error.text = ComposeErrorText(status);
}

void RecordErrorVerbatim(uint32_t code, std::string text) {
  t_last_error.code = code;
  t_last_error.text = std::move(text);
}

const LastError& CurrentLastError() { return t_last_error; }

void ClearLastError() { t_last_error = LastError{}; }

}  // namespace ace
