#include "run/output_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vemo {

OutputWriter::OutputWriter() : buffer_(std::make_unique<char[]>(kBufferSize)) {}

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
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
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
  return true;
}

void OutputWriter::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t n = std::min(bytes.size(), kBufferSize);
    std::memcpy(reserve(n), bytes.data(), n);
    commit(n);
    bytes.remove_prefix(n);
  }
}

bool OutputWriter::flush() {
  const char* p = buffer_.get();
  std::size_t left = used_;
  used_ = 0;
  if (failed_ || fd_ < 0) return !failed_;
  while (left > 0) {
    const ssize_t n = ::write(fd_, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fail(n < 0 ? errno : EIO);
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
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
