#include "core/data_file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "core/errors.h"

namespace vemo {

DataFileReader::DataFileReader() = default;

DataFileReader::~DataFileReader() {
  close();
}

void DataFileReader::start_over() noexcept {
  close();
  failed_ = false;
  error_ = {};
  failure_ = {};
}

void DataFileReader::adopt(int fd, bool stream, std::uint64_t length, std::uint64_t device,
                           std::uint64_t inode) {
  fd_ = fd;
  stream_ = stream;
  length_ = length;
  device_ = device;
  inode_ = inode;
  if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(kWindowSize + kMaxView);
  window_offset_ = 0;
  window_size_ = 0;
  window_at_eof_ = false;
  end_of_data_ = false;
}

bool DataFileReader::open(const std::string& path) {
  start_over();
  // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error_ = std::error_code(errno, std::system_category());
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error_ = std::error_code(errno, std::system_category());
    ::close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error_ = S_ISDIR(st.st_mode) ? std::error_code(EISDIR, std::system_category())
                                 : make_error_code(Error::kNotRegularFile);
    ::close(fd);
    return false;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
#ifdef POSIX_FADV_SEQUENTIAL
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  adopt(fd, /*stream=*/false, static_cast<std::uint64_t>(st.st_size), st.st_dev, st.st_ino);
  return true;
}

bool DataFileReader::open_stream(int fd) {
  start_over();
  // A descriptor of our own, above the standard slots, so that closing it leaves the caller's.
  const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  if (own < 0) {
    error_ = std::error_code(errno, std::system_category());
    return false;
  }
  struct stat st {};
  if (::fstat(own, &st) == 0 && S_ISDIR(st.st_mode)) {
    error_ = std::error_code(EISDIR, std::system_category());
    ::close(own);
    return false;
  }
  adopt(own, /*stream=*/true, 0, st.st_dev, st.st_ino);
  return true;
}

void DataFileReader::close() noexcept {
  stream_ = false;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  length_ = 0;
  window_size_ = 0;
  window_at_eof_ = false;
}

void DataFileReader::refill_window(std::uint64_t offset) {
  if (stream_) {
    fill_stream(offset);
    return;
  }
  window_offset_ = offset;
  ReadFailure failure;
  window_size_ = read_direct(offset, buffer_.get(), kWindowSize, failure);
  // The window ends at the end of the file, or where a read failed: what lies before the failure
  // is still served.
  window_at_eof_ = window_size_ < kWindowSize;
  if (failure) {
    failed_ = true;
    failure_ = failure;
    error_ = failure.code;
  }
}

void DataFileReader::fill_stream(std::uint64_t offset) {
  const auto fail = [&](std::uint64_t at, int err) {
    failed_ = true;
    failure_ = {at, std::error_code(err, std::system_category())};
    error_ = failure_.code;
    window_at_eof_ = true;
  };
  const std::uint64_t window_end = window_offset_ + window_size_;
  if (offset < window_offset_) {
    // Behind what the stream still holds: it cannot be read again.
    window_offset_ = offset;
    window_size_ = 0;
    fail(offset, ESPIPE);
    return;
  }
  if (offset <= window_end) {
    // Keep the bytes from `offset` on and read more behind them.
    const std::size_t keep = static_cast<std::size_t>(window_end - offset);
    std::memmove(buffer_.get(), buffer_.get() + (offset - window_offset_), keep);
    window_size_ = keep;
  } else {
    // Skip ahead to `offset`, discarding what lies between.
    std::uint64_t skip = offset - window_end;
    while (skip > 0 && !window_at_eof_) {
      const ssize_t r = ::read(fd_, buffer_.get(), std::min<std::uint64_t>(skip, kWindowSize));
      if (r > 0) {
        skip -= static_cast<std::uint64_t>(r);
      } else if (r == 0) {
        window_at_eof_ = true;
      } else if (errno != EINTR) {
        fail(offset - skip, errno);
      }
    }
    window_size_ = 0;
  }
  window_offset_ = offset;
  while (window_size_ < kWindowSize && !window_at_eof_) {
    const ssize_t r = ::read(fd_, buffer_.get() + window_size_, kWindowSize - window_size_);
    if (r > 0) {
      window_size_ += static_cast<std::size_t>(r);
    } else if (r == 0) {
      window_at_eof_ = true;
    } else if (errno != EINTR) {
      fail(window_offset_ + window_size_, errno);
    }
  }
}

std::size_t DataFileReader::read_direct(std::uint64_t offset, char* out, std::size_t n,
                                        ReadFailure& failure) const {
  // Once a read fails, the rest is tried one block at a time, so the failure is found at the
  // same block whatever the size of the read that met it.
  constexpr std::size_t kRetryBytes = 2048;
  failure = {};
  if (stream_) {
    // A stream has no positions to read at.
    failure = {offset, std::error_code(ESPIPE, std::system_category())};
    return 0;
  }
  bool narrowed = false;
  std::size_t got = 0;
  while (got < n) {
    const std::uint64_t at = offset + got;
    const std::size_t part =
        narrowed ? std::min(n - got, kRetryBytes - static_cast<std::size_t>(at % kRetryBytes))
                 : n - got;
    const ssize_t r = ::pread(fd_, out + got, part, static_cast<off_t>(at));
    if (r > 0) {
      got += static_cast<std::size_t>(r);
    } else if (r == 0) {
      break;
    } else if (errno == EINTR) {
      continue;
    } else if (!narrowed) {
      narrowed = true;
    } else {
      failure = {at, std::error_code(errno, std::system_category())};
      break;
    }
  }
  return got;
}

bool DataFileReader::current_length(std::uint64_t& length) const noexcept {
  struct stat st {};
  if (fd_ < 0 || stream_ || ::fstat(fd_, &st) != 0) return false;
  length = static_cast<std::uint64_t>(st.st_size);
  return true;
}

std::string_view DataFileReader::view(std::uint64_t position, std::size_t n) {
  // Past kMaxView the zero fill below would run beyond the buffer.
  if (n > kMaxView) throw std::length_error("DataFileReader::view: more than kMaxView bytes");
  const std::uint64_t offset = position - 1;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const std::uint64_t window_end = window_offset_ + window_size_;
    if (fd_ >= 0 && offset >= window_offset_ && offset + n <= window_end) {
      end_of_data_ = false;
      return {buffer_.get() + (offset - window_offset_), n};
    }
    if (fd_ >= 0 && window_at_eof_ && offset >= window_offset_ && offset <= window_end) {
      // The read runs past the end of the file: what is there, then zero bytes.
      char* start = buffer_.get() + (offset - window_offset_);
      const std::size_t found = static_cast<std::size_t>(window_end - offset);
      std::memset(start + found, 0, n - found);
      end_of_data_ = true;
      return {start, n};
    }
    if (fd_ < 0) break;
    refill_window(offset);
  }
  // Not open: nothing to read.
  if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(kWindowSize + kMaxView);
  std::memset(buffer_.get(), 0, n);
  window_size_ = 0;
  end_of_data_ = true;
  return {buffer_.get(), n};
}

void DataFileReader::read(std::uint64_t position, std::size_t n, char* out) {
  bool short_read = false;
  while (n > 0) {
    const std::size_t part = std::min(n, kMaxView);
    const std::string_view v = view(position, part);
    std::memcpy(out, v.data(), part);
    short_read = short_read || end_of_data_;
    out += part;
    position += part;
    n -= part;
  }
  end_of_data_ = short_read;
}

}  // namespace vemo
