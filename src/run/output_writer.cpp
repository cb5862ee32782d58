#include "run/output_writer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vemo {

OutputWriter::OutputWriter() : buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {}

OutputWriter::~OutputWriter() {
  close();
}

void OutputWriter::fail(int err) {
  if (!failed_) error_ = std::strerror(err);
  failed_ = true;
}

bool OutputWriter::open(const std::string& path) {
  close();
  failed_ = false;
  error_.clear();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) {
    fail(errno);
    return false;
  }
  // A pipe or FIFO stays non-blocking: a slow reader is waited for in slices (wait_for_room), so
  // the caller can keep its window alive meanwhile. Everything else is written blocking.
  struct stat st {};
  const bool pipe = ::fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
  if (!pipe) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  flush_size_ = pipe ? kPipeFlushSize : kBufferSize;
  fd_ = fd;
  owns_fd_ = true;
  return true;
}

bool OutputWriter::open_stdout() {
  close();
  failed_ = false;
  error_.clear();
  fd_ = STDOUT_FILENO;
  owns_fd_ = false;
  flush_size_ = kBufferSize;
  return true;
}

void OutputWriter::write(std::string_view bytes) {
  if (bytes.size() >= kBufferSize / 2) {
    // Large spans go straight to the system rather than through the buffer.
    if (flush()) write_all(bytes.data(), bytes.size());
    return;
  }
  std::memcpy(reserve(bytes.size()), bytes.data(), bytes.size());
  commit(bytes.size());
}

bool OutputWriter::flush() {
  const std::size_t n = used_;
  used_ = 0;
  return write_all(buffer_.get(), n);
}

bool OutputWriter::write_all(const char* p, std::size_t left) {
  if (failed_ || fd_ < 0) return !failed_;
  while (left > 0) {
    const ssize_t n = ::write(fd_, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait_for_room()) return false;
      continue;
    }
    if (n <= 0) {
      fail(n < 0 ? errno : EIO);
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

bool OutputWriter::wait_for_room() {
  pollfd p{fd_, POLLOUT, 0};
  const int ready = ::poll(&p, 1, kWaitSliceMs);
  if (ready < 0 && errno != EINTR) {
    fail(errno);
    return false;
  }
  // A reader that went away shows as POLLERR; the next write reports it with its reason.
  if (wait_handler_) wait_handler_();
  return true;
}

bool OutputWriter::is_file(std::uint64_t device, std::uint64_t inode) const {
  struct stat st {};
  return fd_ >= 0 && ::fstat(fd_, &st) == 0 && static_cast<std::uint64_t>(st.st_dev) == device &&
         static_cast<std::uint64_t>(st.st_ino) == inode;
}

bool OutputWriter::close() {
  if (fd_ < 0) return !failed_;
  flush();
  if (owns_fd_ && ::close(fd_) != 0) fail(errno);
  fd_ = -1;
  owns_fd_ = false;
  return !failed_;
}

}  // namespace vemo
