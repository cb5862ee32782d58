#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>

#include "core/decompressor.h"

namespace vemo {

// Compresses a stream a piece at a time into a fixed buffer, handing each full buffer on: one
// gzip member or one zstd frame (with its checksum, as the zstd tool writes it).
class Compressor {
 public:
  static constexpr std::size_t kOutputBytes = 256 * 1024;

  // Receives compressed bytes; false when they could not be written (the stream then stops).
  using Emit = std::function<bool(std::string_view)>;

  // A compressor of `kind` (not kNone) at `level`, or the library's default level. Throws
  // std::bad_alloc when the library's state cannot be had.
  static std::unique_ptr<Compressor> create(Compression kind, std::optional<int> level);

  // The levels `kind` takes.
  static int min_level(Compression kind);
  static int max_level(Compression kind);

  virtual ~Compressor();
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  // Compresses `in`; with `finish`, also ends the stream. False when emit failed.
  virtual bool compress(std::string_view in, bool finish, const Emit& emit) = 0;

 protected:
  Compressor();
  std::unique_ptr<char[]> out_;
};

}  // namespace vemo
