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

  // Drops the stream so far and starts a new one at the same level, keeping the library's
  // memory: the bytes that follow are those a new compressor would give.
  virtual void restart() = 0;

  // What create() was asked for.
  Compression kind() const { return kind_; }
  const std::optional<int>& level() const { return level_; }

 protected:
  Compressor();
  std::unique_ptr<char[]> out_;

 private:
  Compression kind_ = Compression::kNone;
  std::optional<int> level_;
};

}  // namespace vemo
