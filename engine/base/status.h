// Status: the engine core's result of an operation that can fail in an expected way
// (a missing file, a lock held by another user, bytes on disk that do not check out).
// It carries an engine error code (see error_codes.h) and a text with context (file,
// record, page). The C API turns a failed Status into the code it returns and the
// per-thread last error. Exceptions are not used for expected failures inside the engine.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace ace {

class [[nodiscard]] Status {
 public:
  Status() = default;  // success
  Status(uint32_t code, std::string message)
      : code_(code),
        message_(message.empty() ? nullptr : std::make_unique<std::string>(std::move(message))) {}
  Status(const Status& other)
      : code_(other.code_),
        message_(other.message_ ? std::make_unique<std::string>(*other.message_) : nullptr) {}
  Status& operator=(const Status& other) {
    if (this != &other) *this = Status(other);
    return *this;
  }
  Status(Status&&) noexcept = default;
  Status& operator=(Status&&) noexcept = default;

  static Status Ok() { return Status(); }

  bool ok() const { return code_ == 0; }
  explicit operator bool() const { return ok(); }
  uint32_t code() const { return code_; }
  const std::string& message() const { return message_ ? *message_ : NoMessage(); }

  // Prepends context ("Kinder.adt: ") to the message of a failure; success stays success.
  Status WithContext(const std::string& context) const {
    if (ok()) return *this;
    return Status(code_, context + ": " + message());
  }

 private:
  static const std::string& NoMessage() {
    static const std::string empty;
    return empty;
  }

  uint32_t code_ = 0;
  // Only a failure has a text: a success, the common case, is a code and an empty pointer,
  // made, moved and dropped without touching a string.
  std::unique_ptr<std::string> message_;
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  Result(Status status) : status_(std::move(status)) {}  // NOLINT: implicit by design

  bool ok() const { return status_.ok(); }
  const Status& status() const { return status_; }
  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() { return *value_; }

 private:
  Status status_;
  std::optional<T> value_;
};

// Returns from the enclosing function when a Status-returning expression failed.
#define ACE_RETURN_IF_ERROR(expr)        \
  do {                                   \
    ::ace::Status ace_status_ = (expr);  \
    if (!ace_status_.ok()) return ace_status_; \
  } while (0)

}  // namespace ace
