#pragma once

#include <system_error>
#include <utility>

namespace vemo {

// What a call that can fail gave: success, or the reason it failed. Every layer returns this (or
// Result<T> when the call also gives a value) and keeps the std::error_code; only the layer that
// shows a failure words it. There is no conversion
// to bool, so that no caller has to remember which way round a true goes: `ok()` says it.
class [[nodiscard]] Status {
 public:
  Status() noexcept = default;
  // Implicit, so that a function returns its error code as it is; an empty code is success.
  Status(std::error_code error) noexcept : error_(error) {}

  bool ok() const noexcept { return !error_; }
  std::error_code error() const noexcept { return error_; }

 private:
  std::error_code error_;
};

// A value, or the reason there is none: Status with the value beside it. T is default-constructible
// and small (a descriptor, a file's status).
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) noexcept : value_(std::move(value)) {}
  Result(std::error_code error) noexcept : error_(error) {}

  bool ok() const noexcept { return !error_; }
  std::error_code error() const noexcept { return error_; }
  Status status() const noexcept { return error_; }
  // The value; a default one when the call failed.
  const T& operator*() const noexcept { return value_; }
  const T* operator->() const noexcept { return &value_; }

 private:
  T value_{};
  std::error_code error_;
};

}  // namespace vemo
