// The boundary rule of every entry point: run the body, turn a failed Status into the returned
// code and the thread's last error, and let no C++ exception out.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "engine/base/error_codes.h"
#include "engine/base/handle_table.h"
#include "engine/base/last_error.h"
#include "engine/base/status.h"

namespace ace::api {

template <typename Body>
uint32_t Guard(Body&& body) noexcept {
  HandleTable::CallScope call;  // what the call looks up stays whole until it returns
  try {
    Status s = body();
    if (s.ok()) return 0;
    RecordError(s);
    return s.code();
  } catch (const std::bad_alloc&) {
    RecordError(Status(kErrOutOfMemory, ""));
    return kErrOutOfMemory;
  } catch (const std::exception& e) {
    RecordError(Status(kErrInternal, e.what()));
    return kErrInternal;
  } catch (...) {
    RecordError(Status(kErrInternal, "unexpected failure"));
    return kErrInternal;
  }
}

// Copies text into an 8-bit out buffer with an in/out length (16- or 32-bit). A buffer of
// capacity n holds at most n - 1 characters and the zero byte; a longer text answers 5005
// with the needed length (without the zero) and leaves the buffer untouched.
template <typename Len>
Status CopyOutText(std::string_view text, uint8_t* buf, Len* len) {
  if (len == nullptr) return Status(kErrNullPointer, "the length argument is missing");
  Len capacity = *len;
  if (text.size() + 1 > static_cast<size_t>(capacity)) {
    *len = static_cast<Len>(text.size() > static_cast<size_t>(static_cast<Len>(~Len{0}))
                                ? static_cast<Len>(~Len{0})
                                : text.size());
    return Status(kErrInsufficientBuffer, "the buffer holds " + std::to_string(capacity) +
                                              " bytes; " + std::to_string(text.size() + 1) +
                                              " are needed");
  }
  if (buf == nullptr) return Status(kErrNullPointer, "the text buffer is missing");
  if (!text.empty()) std::memcpy(buf, text.data(), text.size());  // an empty view may have no data
  buf[text.size()] = 0;
  *len = static_cast<Len>(text.size());
  return Status::Ok();
}

// The failure of RequireOut, kept out of line so that the check itself inlines.
[[gnu::cold, gnu::noinline]] inline Status MissingArgument(const char* what) {
  return Status(kErrNullPointer, std::string("the argument ") + what + " is missing");
}

inline Status RequireOut(const void* p, const char* what) {
  if (p == nullptr) [[unlikely]]
    return MissingArgument(what);
  return Status::Ok();
}

// A zero-terminated 8-bit argument as a string_view (null is an error).
inline Result<std::string_view> InText(const uint8_t* p, const char* what) {
  if (p == nullptr) return Status(kErrNullPointer, std::string("the argument ") + what + " is missing");
  return std::string_view(reinterpret_cast<const char*>(p));
}

}  // namespace ace::api
