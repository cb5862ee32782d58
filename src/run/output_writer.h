#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "core/compressor.h"
#include "platform/platform.h"
#include "platform/result.h"
#include "platform/sha256.h"

namespace vemo {

// The output file: written through a large buffer, every failure of the system kept with its
// reason so that a run never reports success over a short or broken file.
class OutputWriter {
 public:
  static constexpr std::size_t kBufferSize = 1 << 20;
  // A pipe or FIFO is handed this much at a time (a pipe's usual capacity), so that a run that
  // stops does not wait long for a slow reader to take what is still buffered.
  static constexpr std::size_t kPipeFlushSize = 1 << 16;
  // Anything else is handed this much at a time: lines written into the buffer then stay in the
  // processor's cache until the system copies them, where a full megabyte would not.
  static constexpr std::size_t kFileFlushSize = 1 << 18;
  // write() hands spans of this size or more straight to the system after what is buffered:
  // copying them into the buffer first would cost more than the extra system call.
  static constexpr std::size_t kDirectWriteSize = 1 << 16;

  OutputWriter();
  // Writes through `buffer` (kBufferSize), which the caller keeps for as long as the writer:
  // writers used one after another then share one buffer rather than each allocating its own.
  // Nothing: the writer allocates its own.
  explicit OutputWriter(char* buffer);
  ~OutputWriter();
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;

  // How open() treats an output that is a regular file or does not exist yet.
  enum class Mode {
    kTruncate,  // create or empty it at once
    // Write a temporary file beside it (".NAME.XXXXXX", the old file's mode kept) that close()
    // renames over it, so that the old output stays whole until the new one is complete. A
    // symbolic link is followed: its target is replaced and the link stays. Where the folder
    // takes no new file but the output may be written, or a new file could not take the old
    // one's place whole (platform::can_replace_by_rename), it is emptied and written in place.
    kReplaceWhenDone,
  };

  // Compresses what the outputs opened from now on receive (kNone: written as it is), at `level`
  // or the library's default. The temporary file and its rename are as for a plain output.
  void set_compression(Compression kind, std::optional<int> level = std::nullopt) {
    compression_ = kind;
    level_ = level;
  }

  // A compressor an earlier output left in `spare` is taken up by the next output of the same
  // kind and level rather than made afresh, and the writer leaves its own there when its output
  // ends (nothing: none is kept). The caller keeps `spare` for as long as the writer.
  void set_spare_compressor(std::unique_ptr<Compressor>* spare) { spare_ = spare; }

  // Opens the output. Devices, FIFOs and folders are always opened directly; a FIFO without a
  // reader is refused rather than waited for.
  Status open(const std::string& path, Mode mode = Mode::kTruncate);
  // Writes to standard output instead; close() flushes but leaves it open.
  Status open_stdout();

  // Called at least every kWaitSliceMs while a write to a pipe or FIFO waits for its reader, so
  // that the caller stays responsive. The write goes on waiting afterwards.
  static constexpr int kWaitSliceMs = 50;
  void set_wait_handler(std::function<void()> handler) { wait_handler_ = std::move(handler); }

  // From the moment a temporary file replaces the output, interrupting signals stay held on
  // this thread (platform::release_interrupts() lets them in), so that a signal cannot end the
  // process after the output was replaced but before the caller said so.
  void hold_interrupts_once_replaced(bool hold) { hold_interrupts_once_replaced_ = hold; }

  // Room for n bytes at the end of the buffer (n <= kBufferSize); commit() what was used.
  // A room larger than the flush size (a block's worst case in a format with long rows) is
  // reserved without a flush until the flush size is reached, while the buffer holds it.
  char* reserve(std::size_t n) {
    if (n <= flush_size_ ? flush_size_ < used_ + n
                         : flush_size_ <= used_ || kBufferSize < used_ + n) {
      (void)flush();
    }
    return buffer_ + used_;
  }
  void commit(std::size_t n) { used_ += n; }
  void write(std::string_view bytes);

  // Hands the buffer to the system. The first failure, kept (as status()), once anything failed.
  Status flush();
  // Flushes and closes, and puts a temporary file in the output's place; a failure when anything
  // written so far was lost (a temporary file is then removed and the old output stays).
  Status close();
  // Closes without putting a temporary file in the output's place: it is removed and the old
  // output stays. An output opened directly is flushed and closed as by close().
  void abandon();

  // Every byte handed to the system from now on also goes into `hash` (nullptr: none).
  void set_hash(platform::Sha256* hash) { hash_ = hash; }
  // Bytes handed to the system since the writer was made.
  std::uint64_t bytes_written() const { return bytes_written_; }

  bool is_open() const { return fd_ >= 0; }
  // Whether the open output is this file.
  bool is_file(const platform::FileId& id) const;
  // Why the output failed: the first failure, kept from the open on; ok while nothing failed.
  Status status() const { return error_; }

 private:
  // Keeps the first failure (EIO should the system have given no reason).
  void fail(std::error_code err);
  // Hands bytes on, through the compressor when there is one; false once the output failed.
  bool write_all(const char* p, std::size_t n);
  // Hands bytes to the system.
  bool write_raw(const char* p, std::size_t n);
  // Starts the compressor of a newly opened output; fails it when its memory cannot be had.
  void start_compressor();
  // Done with the compressor: left as the spare when there is a place for one.
  void retire_compressor();
  bool wait_for_room();
  Result<int> open_direct(const std::string& path);
  Result<int> open_replacement(const std::string& path);
  void end_replacement(bool keep);

  int fd_ = -1;
  Compression compression_ = Compression::kNone;
  std::optional<int> level_;
  std::unique_ptr<Compressor> compressor_;
  std::unique_ptr<Compressor>* spare_ = nullptr;
  Compressor::Emit emit_ = [this](std::string_view bytes) {
    return write_raw(bytes.data(), bytes.size());
  };
  std::size_t flush_size_ = kFileFlushSize;
  std::function<void()> wait_handler_;
  bool owns_fd_ = false;
  // The open output's identity, taken once at the open (unknown when the system cannot tell it).
  platform::FileId id_;
  std::unique_ptr<char[]> owned_;  // the buffer, when the caller gave none
  char* buffer_;
  std::size_t used_ = 0;
  platform::Sha256* hash_ = nullptr;
  std::uint64_t bytes_written_ = 0;
  std::error_code error_;  // the first failure
  // While a temporary file stands in for the output: its path, the file it will replace, and
  // its slot among the files removed on a signal.
  std::string temporary_;
  std::string target_;
  int removal_slot_ = -1;
  bool hold_interrupts_once_replaced_ = false;
};

}  // namespace vemo
