#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vemo {

// The output file: written through a large buffer, every failure of the system kept with its
// reason so that a run never reports success over a short or broken file.
class OutputWriter {
 public:
  static constexpr std::size_t kBufferSize = 1 << 20;
  // A pipe or FIFO is handed this much at a time (a pipe's usual capacity), so that a run that
  // stops does not wait long for a slow reader to take what is still buffered.
  static constexpr std::size_t kPipeFlushSize = 1 << 16;

  OutputWriter();
  ~OutputWriter();
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;

  // Creates or empties the file. A FIFO without a reader is refused rather than waited for.
  bool open(const std::string& path);
  // Writes to standard output instead; close() flushes but leaves it open.
  bool open_stdout();

  // Called at least every kWaitSliceMs while a write to a pipe or FIFO waits for its reader, so
  // that the caller stays responsive. The write goes on waiting afterwards.
  static constexpr int kWaitSliceMs = 50;
  void set_wait_handler(std::function<void()> handler) { wait_handler_ = std::move(handler); }

  // Room for n bytes at the end of the buffer (n <= kBufferSize); commit() what was used.
  char* reserve(std::size_t n) {
    if (flush_size_ < used_ + n) flush();
    return buffer_.get() + used_;
  }
  void commit(std::size_t n) { used_ += n; }
  void write(std::string_view bytes);

  // Hands the buffer to the system. False (and error() says why) once anything failed.
  bool flush();
  // Flushes and closes; false when anything written so far was lost.
  bool close();

  bool is_open() const { return fd_ >= 0; }
  // Whether the open output is the file with this device and inode.
  bool is_file(std::uint64_t device, std::uint64_t inode) const;
  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }

 private:
  void fail(int err);
  bool write_all(const char* p, std::size_t n);
  bool wait_for_room();

  int fd_ = -1;
  std::size_t flush_size_ = kBufferSize;
  std::function<void()> wait_handler_;
  bool owns_fd_ = false;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
  std::string error_;
};

}  // namespace vemo
