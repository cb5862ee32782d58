#pragma once

#include <system_error>

namespace vemo {

// What a call that can fail gave: success, or the reason it failed. Every layer returns this and
// keeps the std::error_code; only the layer that shows a failure words it. There is no conversion
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

}  // namespace vemo
