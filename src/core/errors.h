#pragma once

#include <system_error>

namespace vemo {

// Failures of Vemo's own that the system has no number for. They travel as std::error_code like
// the system's, so that every layer keeps the error and only the one that shows it words it.
enum class Error {
  kNotRegularFile = 1,  // an input that is a pipe, a device or a socket
  kInputIsOutput,       // an input that is the output file the run writes
  // A compressed input that cannot be decompressed, and why.
  kDamagedCut,       // the stream ends inside a member or frame
  kDamagedCrc,       // a gzip member's CRC-32 does not match its data
  kDamagedChecksum,  // a zstd frame's checksum does not match its data
  kDamagedLength,    // a gzip member's length does not match its data
  kDamagedHeader,    // a gzip member's header is not valid
  kDamagedData,      // the compressed data itself is not valid
  kDamagedTrailing,  // bytes after the last member or frame that start no other
  kWindowTooLarge,   // a zstd frame asks for a window above 128 MiB
};

const std::error_category& error_category() noexcept;

inline std::error_code make_error_code(Error e) noexcept {
  return {static_cast<int>(e), error_category()};
}

}  // namespace vemo

template <>
struct std::is_error_code_enum<vemo::Error> : std::true_type {};
