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

bool DataFileReader::open(const std::string& path) {
  close();
  failed_ = false;
  error_ = {};
  failure_ = {};
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

void DataFileReader::refill_window(std::uint64_t offset) {
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

std::size_t DataFileReader::read_direct(std::uint64_t offset, char* out, std::size_t n,
                                        ReadFailure& failure) const {
  // Once a read fails, the rest is tried one block at a time, so the failure is found at the
  // same block whatever the size of the read that met it.
  constexpr std::size_t kRetryBytes = 2048;
  failure = {};
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
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return false;
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
