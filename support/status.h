// Errors as values: a failure carries one sentence saying what failed and where.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace baleport {

class Status {
 public:
  Status() = default;  // success
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !message_.has_value(); }
  explicit operator bool() const { return ok(); }
  // Empty for success.
  const std::string& message() const {
    static const std::string kEmpty;
    return message_ ? *message_ : kEmpty;
  }
  // The same failure with its context put in front: "opening /a/b.pst: " + message.
  Status WithContext(const std::string& context) const {
    return ok() ? *this : Error(context + ": " + *message_);
  }

 private:
  explicit Status(std::string message) : message_(std::move(message)) {}
  std::optional<std::string> message_;
};

// A value or the failure that prevented it.
template <typename T>
class Result {
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
