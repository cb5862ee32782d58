#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <system_error>

#include "platform/result.h"

namespace vemo {

// How a data file is stored, told by its first bytes, never by its name.
enum class Compression { kNone, kGzip, kZstd };

// Bytes compression_of() needs to tell.
inline constexpr std::size_t kMagicBytes = 4;

// gzip (1f 8b), a zstd frame (28 b5 2f fd) or a zstd skippable frame (5? 2a 4d 18); anything
// else, fewer bytes included, is kNone. AXE data starts with digits or blanks, never with these.
Compression compression_of(std::string_view first_bytes) noexcept;

// Where compressed bytes come from: a file, a pipe, memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to n bytes; 0 at the end. Fails when the system failed the read.
  virtual Result<std::size_t> read(char* out, std::size_t n) = 0;
};

// Decompresses a stream a piece at a time, in bounded memory: an input buffer and the library's
// own state (for zstd, a window of at most 128 MiB; larger ones are refused). gzip members follow
// one another as `cat a.gz b.gz` leaves them; zstd frames too, skippable frames among them.
// Damaged data (a bad check value, a cut stream, bytes after the end that start no member) is an
// error from the Error::kDamaged... family, reported after the bytes decompressed before it.
class Decompressor {
 public:
  static constexpr std::size_t kInputBytes = 128 * 1024;

  // A decompressor of `kind` (not kNone) reading from `source`, which must outlive it.
  // Throws std::bad_alloc when the library's state cannot be had.
  static std::unique_ptr<Decompressor> create(Compression kind, ByteSource& source);

  virtual ~Decompressor();
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  // Bytes already taken from the source (to tell the compression), read before what the source
  // still holds. At most kInputBytes, before the first read().
  void put_back(const char* p, std::size_t n);

  // Up to n decompressed bytes, at least one unless at the end: 0 after the last member or frame.
  // Fails when the data is damaged or the source failed; after that, every call fails.
  Result<std::size_t> read(char* out, std::size_t n);

  // Compressed bytes taken from the source so far.
  std::uint64_t compressed_bytes_read() const noexcept { return source_bytes_; }

 protected:
  explicit Decompressor(ByteSource& source);

  // One step of the library: decompresses into out[0, n) from the unread input, and consumes
  // input or writes output (or both) whenever there is input. Returns the bytes written; sets
  // `error` when it found damage (after those bytes). `last`: the input is empty and the source
  // has ended; a step that then writes nothing says the stream ended, cleanly or cut short.
  virtual std::size_t step(char* out, std::size_t n, bool last, std::error_code& error) = 0;

  // The unread input.
  const char* input() const noexcept { return in_.get() + in_pos_; }
  std::size_t input_size() const noexcept { return in_size_ - in_pos_; }
  void consume(std::size_t n) noexcept { in_pos_ += n; }

 private:
  ByteSource& source_;
  std::unique_ptr<char[]> in_;
  std::size_t in_pos_ = 0;
  std::size_t in_size_ = 0;
  bool source_end_ = false;
  std::uint64_t source_bytes_ = 0;
  std::error_code failed_;

  // Reads more input into the empty buffer, as much as it holds unless the source ends first.
  Status fill();
};

}  // namespace vemo
