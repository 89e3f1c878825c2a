// Errors as values: a failure carries one sentence saying what failed and where, and a
// code for callers that act on the kind of failure rather than report it.
#pragma once

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace baleport {

// The kinds of failure some caller tells apart; every other failure is kFailed.
enum class StatusCode : uint8_t {
  kOk,
  kFailed,
  kNotFound,
  kAlreadyExists,
  kCorrupt,      // the data is damaged or is not what it claims to be
  kUnsupported,  // valid, but of a kind this program does not handle
  kIOError,
  kNoSpace,      // the disk or the user's quota is full
};

class [[nodiscard]] Status {
 public:
  Status() = default;  // success
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(StatusCode::kFailed, std::move(message)); }
  static Status Error(StatusCode code, std::string message) { return Status(code, std::move(message)); }

  bool ok() const { return !message_.has_value(); }
  StatusCode code() const { return code_; }
  explicit operator bool() const { return ok(); }
  // Empty for success.
  const std::string& message() const {
    static const std::string kEmpty;
    return message_ ? *message_ : kEmpty;
  }
  // The same failure with its context put in front: "opening /a/b.pst: " + message.
  Status WithContext(const std::string& context) const {
    return ok() ? *this : Error(code_, context + ": " + *message_);
  }

 private:
  Status(StatusCode code, std::string message) : code_(code), message_(std::move(message)) {}
  StatusCode code_ = StatusCode::kOk;
  std::optional<std::string> message_;
};

// The code of a failed C library call's errno.
inline StatusCode CodeOfErrno(int err) {
  switch (err) {
    case ENOENT: case ENOTDIR: return StatusCode::kNotFound;
    case EEXIST: return StatusCode::kAlreadyExists;
    case ENOSPC: return StatusCode::kNoSpace;
#ifdef EDQUOT
    case EDQUOT: return StatusCode::kNoSpace;
#endif
    default: return StatusCode::kIOError;
  }
}

// A value or the failure that prevented it.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::move(value)) {}  // NOLINT: implicit by design
  Result(Status error) : v_(std::move(error)) {}  // NOLINT: must not be Ok

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  Status status() const { return ok() ? Status::Ok() : std::get<1>(v_); }

 private:
  std::variant<T, Status> v_;
};

}  // namespace baleport

// Returns the failure of an expression that yields a Status.
#define BALEPORT_RETURN_IF_ERROR(expr)            \
  do {                                            \
    ::baleport::Status baleport_status_ = (expr); \
    if (!baleport_status_.ok()) return baleport_status_; \
  } while (0)
