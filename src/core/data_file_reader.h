#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "core/decompressor.h"
#include "platform/platform.h"
#include "platform/result.h"
#include "platform/sha256.h"

namespace vemo {

// A read the system failed: the 0-based offset of the first byte that could not be read, and why.
// A default one (empty code) means no failure.
struct ReadFailure {
  std::uint64_t offset = 0;
  std::error_code code;
  explicit operator bool() const noexcept { return static_cast<bool>(code); }
};

// An open data file with positioned reads. A read of n characters at a 1-based position always
// yields exactly n characters: the file's bytes from there, then zero bytes for every position
// past the end of the file. The end-of-data flag is set by a read that found fewer bytes than it
// asked for and cleared by one that found them all.
//
// Reads go through a bounded read-ahead window, so scanning block after block costs one system
// call per window, and memory stays the same whatever the file's size.
//
// A compressed file (gzip or zstd, told by its first bytes) is read decompressed, as a stream:
// positions, lengths of reads and failures are in decompressed bytes, length() stays the
// compressed size and compressed_bytes_read() tells how far the decompression got.
class DataFileReader {
 public:
  static constexpr std::size_t kWindowSize = 256 * 1024;
  // The largest read that view() serves; read() takes any size.
  static constexpr std::size_t kMaxView = 64 * 1024;
  // The read-ahead window's memory: kWindowSize + kMaxView, room for zero fill and the extra byte.
  static constexpr std::size_t kBufferBytes = kWindowSize + kMaxView;

  // Allocates its window at the first open.
  DataFileReader();
  // Reads through `window` (kBufferBytes), which the caller keeps for as long as the reader:
  // readers used one after another then share one window rather than each allocating its own.
  // Nothing: as the reader above.
  explicit DataFileReader(char* window) : buffer_(window) {}
  ~DataFileReader();
  DataFileReader(const DataFileReader&) = delete;
  DataFileReader& operator=(const DataFileReader&) = delete;

  // Opens a regular file for reading, decompressed when it is compressed. Folders, pipes and
  // devices are refused without blocking (Error::kNotRegularFile for the last two).
  Status open(const std::string& path);
  // Reads a stream (a pipe, a terminal, a file given as standard input) from its current
  // position. A stream cannot be read at positions: the window keeps what was read, so the probes
  // and the scan see the same bytes as for the file on disk, as long as reads go forward. The
  // descriptor is duplicated; the caller keeps its own. The length is unknown (0). A compressed
  // stream is told by its first bytes and decompressed.
  Status open_stream(int fd);
  // Read forward only: standard input or a compressed file.
  bool is_stream() const noexcept { return stream_; }
  bool is_compressed() const noexcept { return decompressor_ != nullptr; }
  // For a compressed input, the compressed bytes taken so far.
  std::uint64_t compressed_bytes_read() const noexcept {
    return decompressor_ ? decompressor_->compressed_bytes_read() : 0;
  }
  // Bytes taken from a stream so far (read ahead of the scan); for a file, its length.
  std::uint64_t bytes_available() const noexcept {
    return stream_ ? window_offset_ + window_size_ : length_;
  }
  void close() noexcept;
  bool is_open() const noexcept { return fd_ >= 0; }

  // Length in bytes, as it was when the file was opened (the compressed file's).
  std::uint64_t length() const noexcept { return length_; }

  // The open file's identity, to tell whether two paths are one file.
  const platform::FileId& id() const noexcept { return id_; }

  // Every byte read into the window from now on, from the start of each file opened, goes into
  // `hash` once, in file order: the file's digest comes in the same pass as its scan. Reads
  // through read_direct() are not hashed. Nothing (nullptr) stops it.
  void set_input_hash(platform::Sha256* hash) noexcept { hash_ = hash; }
  // Bytes of the current file that went into the hash: from its start, without a gap.
  std::uint64_t hashed_bytes() const noexcept { return hashed_; }

  // Copies n characters at 1-based `position` into `out`.
  void read(std::uint64_t position, std::size_t n, char* out);

  // The same read without a copy; n must not exceed kMaxView (std::length_error otherwise).
  // The view stays valid until the next read or view.
  std::string_view view(std::uint64_t position, std::size_t n);

  bool end_of_data() const noexcept { return end_of_data_; }

  // Reads up to n bytes at 0-based `offset` straight into `out`, bypassing the read-ahead window;
  // safe to call from several threads at once. Returns the bytes found: fewer at the end of the
  // file, or up to the failure when the system failed a read (then `failure` says where and why;
  // it is cleared otherwise). A failure is placed to the 2048-byte block whatever n is, so the
  // bytes found before it do not depend on the size asked for.
  std::size_t read_direct(std::uint64_t offset, char* out, std::size_t n,
                          ReadFailure& failure) const;

  // The file's length now, which differs from length() when it was written to since the open.
  // Nothing for a stream, or when the system cannot tell.
  std::optional<std::uint64_t> current_length() const noexcept;

  // The last read of the open file that failed in the system (device error and the like):
  // where and why; empty while none did. The failed part reads as zero bytes past the end.
  const ReadFailure& failure() const noexcept { return failure_; }

 private:
  // Closes any open file and forgets its errors.
  void start_over() noexcept;
  // Takes `fd` as the open file and empties the window.
  void adopt(int fd, bool stream, std::uint64_t length, platform::FileId id);
  // Reads the window afresh from 0-based `offset`.
  void refill_window(std::uint64_t offset);
  // The same for a stream, which only reads forward.
  void fill_stream(std::uint64_t offset);
  // Hands the window's bytes that follow those hashed so far to the hash.
  void feed_hash();
  // The next bytes of a stream, decompressed when it is compressed: as platform::read_some.
  Result<std::size_t> pull(char* out, std::size_t n);
  // Reads a stream's first bytes to tell whether it is compressed.
  Status sniff();
  // Reads the stream decompressed from here on; `taken` are its bytes already read.
  void start_decompressing(Compression kind, bool positioned, std::string_view taken);

  int fd_ = -1;
  std::uint64_t length_ = 0;
  platform::FileId id_;
  // The window's memory (kBufferBytes): the caller's, or owned_ once allocated.
  char* buffer_ = nullptr;
  std::unique_ptr<char[]> owned_;
  // The window, allocated at first use when the caller gave none.
  char* window();
  std::uint64_t window_offset_ = 0;  // 0-based file offset of buffer_[0]
  std::size_t window_size_ = 0;      // valid bytes in the window
  bool window_at_eof_ = false;       // the file had nothing after the window when it was filled
  bool end_of_data_ = false;
  bool stream_ = false;
  bool by_path_ = false;  // opened by open(), not open_stream()
  // A stream's first bytes, read to tell its compression, still to be served (a plain stream).
  char sniffed_[kMagicBytes] = {};
  std::size_t sniffed_size_ = 0;
  std::size_t sniffed_pos_ = 0;
  bool sniff_done_ = false;
  std::unique_ptr<ByteSource> source_;
  std::unique_ptr<Decompressor> decompressor_;
  ReadFailure failure_;
  platform::Sha256* hash_ = nullptr;
  std::uint64_t hashed_ = 0;
};

}  // namespace vemo
