#pragma once

#include <system_error>

namespace vemo {

// Failures of Vemo's own that the system has no number for. They travel as std::error_code like
// the system's, so that every layer keeps the error and only the one that shows it words it.
enum class Error {
  kNotRegularFile = 1,  // an input that is a pipe, a device or a socket
  kInputIsOutput,       // an input that is the output file the run writes
};

const std::error_category& error_category() noexcept;

inline std::error_code make_error_code(Error e) noexcept {
  return {static_cast<int>(e), error_category()};
}

}  // namespace vemo

template <>
struct std::is_error_code_enum<vemo::Error> : std::true_type {};
