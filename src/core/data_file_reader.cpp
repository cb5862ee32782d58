#include "core/data_file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vemo {

DataFileReader::DataFileReader() = default;

DataFileReader::~DataFileReader() {
  close();
}

bool DataFileReader::open(const std::string& path) {
  close();
  failed_ = false;
  error_.clear();
  // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error_ = std::strerror(errno);
    ::close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error_ = S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file";
    ::close(fd);
    return false;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
#ifdef POSIX_FADV_SEQUENTIAL
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  fd_ = fd;
  length_ = static_cast<std::uint64_t>(st.st_size);
  device_ = static_cast<std::uint64_t>(st.st_dev);
  inode_ = static_cast<std::uint64_t>(st.st_ino);
  if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(kWindowSize + kMaxView);
  window_offset_ = 0;
  window_size_ = 0;
  window_at_eof_ = false;
  end_of_data_ = false;
  return true;
}

void DataFileReader::close() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  length_ = 0;
  window_size_ = 0;
  window_at_eof_ = false;
}

void DataFileReader::fill(std::uint64_t offset) {
  window_offset_ = offset;
  window_size_ = 0;
  window_at_eof_ = false;
  while (window_size_ < kWindowSize) {
    const ssize_t got = ::pread(fd_, buffer_.get() + window_size_, kWindowSize - window_size_,
                                static_cast<off_t>(offset + window_size_));
    if (got > 0) {
      window_size_ += static_cast<std::size_t>(got);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      failed_ = true;
      error_ = std::strerror(errno);
    }
    window_at_eof_ = true;
    return;
  }
}

std::int64_t DataFileReader::read_direct(std::uint64_t offset, char* out, std::size_t n,
                                         std::string& error) const {
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::pread(fd_, out + got, n - got, static_cast<off_t>(offset + got));
    if (r > 0) {
      got += static_cast<std::size_t>(r);
    } else if (r == 0) {
      break;
    } else if (errno != EINTR) {
      error = std::strerror(errno);
      return -1;
    }
  }
  return static_cast<std::int64_t>(got);
}

std::string_view DataFileReader::view(std::uint64_t position, std::size_t n) {
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
    fill(offset);
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
