#include "core/data_file_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "core/errors.h"
#include "platform/platform.h"

namespace vemo {

namespace {

// The bytes of an open file: in order from a position for a file (with positioned reads, which
// leave any file pointer alone), as they come for a pipe.
class DescriptorSource final : public ByteSource {
 public:
  DescriptorSource(int fd, bool positioned, std::uint64_t offset)
      : fd_(fd), positioned_(positioned), offset_(offset) {}
  Result<std::size_t> read(char* out, std::size_t n) override {
    const Result<std::size_t> r =
        positioned_ ? platform::read_at(fd_, out, n, offset_) : platform::read_some(fd_, out, n);
    if (r.ok()) offset_ += *r;
    return r;
  }

 private:
  int fd_;
  bool positioned_;
  std::uint64_t offset_;
};

}  // namespace

DataFileReader::DataFileReader() = default;

DataFileReader::~DataFileReader() {
  close();
}

char* DataFileReader::window() {
  if (!buffer_) {
    owned_ = std::make_unique_for_overwrite<char[]>(kBufferBytes);
    buffer_ = owned_.get();
  }
  return buffer_;
}

void DataFileReader::start_over() noexcept {
  close();
  failure_ = {};
}

void DataFileReader::adopt(int fd, bool stream, std::uint64_t length, platform::FileId id) {
  fd_ = fd;
  stream_ = stream;
  length_ = length;
  id_ = id;
  (void)window();
  window_offset_ = 0;
  window_size_ = 0;
  window_at_eof_ = false;
  end_of_data_ = false;
  hashed_ = 0;
}

Status DataFileReader::open(const std::string& path) {
  start_over();
  // A FIFO is opened without blocking; only regular files are read.
  platform::FileStatus st;
  const Result<int> opened = platform::open_for_reading(path, st);
  if (!opened.ok()) return opened.status();
  const int fd = *opened;
  if (st.kind != platform::FileKind::kRegular) {
    (void)platform::close(fd);
    return st.kind == platform::FileKind::kDirectory ? platform::error_from_errno(EISDIR)
                                                     : make_error_code(Error::kNotRegularFile);
  }
  adopt(fd, /*stream=*/false, st.size, st.id);
  by_path_ = true;
  // The first bytes tell a compressed file; a failed read here is left to the reads that follow.
  char first[kMagicBytes];
  const Result<std::size_t> got = platform::read_at(fd, first, sizeof first, 0);
  const Compression kind = compression_of({first, got.ok() ? *got : std::size_t{0}});
  if (kind != Compression::kNone) {
    stream_ = true;
    start_decompressing(kind, /*positioned=*/true, {});
  }
  return {};
}

void DataFileReader::start_decompressing(Compression kind, bool positioned,
                                         std::string_view taken) {
  source_ = std::make_unique<DescriptorSource>(fd_, positioned, taken.size());
  decompressor_ = Decompressor::create(kind, *source_);
  decompressor_->put_back(taken.data(), taken.size());
}

Status DataFileReader::sniff() {
  sniff_done_ = true;
  while (sniffed_size_ < kMagicBytes) {
    const Result<std::size_t> r =
        platform::read_some(fd_, sniffed_ + sniffed_size_, kMagicBytes - sniffed_size_);
    if (!r.ok()) return r.status();
    if (*r == 0) break;
    sniffed_size_ += *r;
  }
  const Compression kind = compression_of({sniffed_, sniffed_size_});
  if (kind != Compression::kNone) {
    start_decompressing(kind, /*positioned=*/false, {sniffed_, sniffed_size_});
    sniffed_size_ = 0;
  }
  return {};
}

Result<std::size_t> DataFileReader::pull(char* out, std::size_t n) {
  if (!sniff_done_ && !decompressor_) {
    if (const Status sniffed = sniff(); !sniffed.ok()) return sniffed.error();
  }
  if (decompressor_) return decompressor_->read(out, n);
  if (sniffed_pos_ < sniffed_size_) {
    const std::size_t k = std::min(n, sniffed_size_ - sniffed_pos_);
    std::memcpy(out, sniffed_ + sniffed_pos_, k);
    sniffed_pos_ += k;
    return k;
  }
  return platform::read_some(fd_, out, n);
}

Status DataFileReader::open_stream(int fd) {
  start_over();
  // A descriptor of our own, above the standard slots, so that closing it leaves the caller's.
  const Result<int> duplicated = platform::duplicate(fd);
  if (!duplicated.ok()) return duplicated.status();
  const int own = *duplicated;
  const Result<platform::FileStatus> st = platform::status(own);
  if (st.ok() && st->kind == platform::FileKind::kDirectory) {
    (void)platform::close(own);
    return platform::error_from_errno(EISDIR);
  }
  adopt(own, /*stream=*/true, 0, st.ok() ? st->id : platform::FileId{});
  return {};
}

void DataFileReader::close() noexcept {
  stream_ = false;
  by_path_ = false;
  decompressor_.reset();
  source_.reset();
  sniffed_size_ = 0;
  sniffed_pos_ = 0;
  sniff_done_ = false;
  if (fd_ >= 0) (void)platform::close(fd_);
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
  // One byte more than the window: when it is there the file goes on, and when it is not the
  // file ends here, so that a file whose length is a multiple of the window needs no further read
  // that finds nothing. The buffer has room for it.
  constexpr std::size_t kAsked = kWindowSize + 1;
  window_size_ = read_direct(offset, buffer_, kAsked, failure);
  // The window ends at the end of the file, or where a read failed: what lies before the failure
  // is still served.
  window_at_eof_ = window_size_ < kAsked;
  if (failure) failure_ = failure;
  feed_hash();
}

void DataFileReader::feed_hash() {
  // A compressed file's window holds its decompressed bytes, not the file's: no digest of those.
  if (hash_ == nullptr || decompressor_ || window_offset_ > hashed_) return;
  const std::uint64_t window_end = window_offset_ + window_size_;
  if (window_end <= hashed_) return;
  hash_->update(buffer_ + (hashed_ - window_offset_),
                static_cast<std::size_t>(window_end - hashed_));
  hashed_ = window_end;
}

void DataFileReader::fill_stream(std::uint64_t offset) {
  const auto fail = [&](std::uint64_t at, std::error_code err) {
    failure_ = {at, err};
    window_at_eof_ = true;
  };
  const std::uint64_t window_end = window_offset_ + window_size_;
  if (offset < window_offset_) {
    // Behind what the stream still holds: it cannot be read again.
    window_offset_ = offset;
    window_size_ = 0;
    fail(offset, platform::error_from_errno(ESPIPE));
    return;
  }
  if (offset <= window_end) {
    // Keep the bytes from `offset` on and read more behind them.
    const std::size_t keep = static_cast<std::size_t>(window_end - offset);
    std::memmove(buffer_, buffer_ + (offset - window_offset_), keep);
    window_size_ = keep;
  } else {
    // Skip ahead to `offset`, discarding what lies between.
    std::uint64_t skip = offset - window_end;
    while (skip > 0 && !window_at_eof_) {
      const Result<std::size_t> r =
          pull(buffer_, static_cast<std::size_t>(std::min<std::uint64_t>(skip, kWindowSize)));
      if (!r.ok()) {
        fail(offset - skip, r.error());
      } else if (*r > 0) {
        skip -= *r;
      } else {
        window_at_eof_ = true;
      }
    }
    window_size_ = 0;
  }
  window_offset_ = offset;
  while (window_size_ < kWindowSize && !window_at_eof_) {
    const Result<std::size_t> r = pull(buffer_ + window_size_, kWindowSize - window_size_);
    if (!r.ok()) {
      fail(window_offset_ + window_size_, r.error());
    } else if (*r > 0) {
      window_size_ += *r;
    } else {
      window_at_eof_ = true;
    }
  }
  feed_hash();
}

std::size_t DataFileReader::read_direct(std::uint64_t offset, char* out, std::size_t n,
                                        ReadFailure& failure) const {
  // Once a read fails, the rest is tried one block at a time, so the failure is found at the
  // same block whatever the size of the read that met it.
  constexpr std::size_t kRetryBytes = 2048;
  failure = {};
  if (stream_) {
    // A stream has no positions to read at.
    failure = {offset, platform::error_from_errno(ESPIPE)};
    return 0;
  }
  bool narrowed = false;
  std::size_t got = 0;
  while (got < n) {
    const std::uint64_t at = offset + got;
    const std::size_t part =
        narrowed ? std::min(n - got, kRetryBytes - static_cast<std::size_t>(at % kRetryBytes))
                 : n - got;
    const Result<std::size_t> r = platform::read_at(fd_, out + got, part, at);
    if (!r.ok()) {
      if (narrowed) {
        failure = {at, r.error()};
        break;
      }
      narrowed = true;
    } else if (*r > 0) {
      got += *r;
      // Short at or past the length the file had when opened: the file ends here, as a read
      // that found nothing would only confirm. Short before it, the file may have been cut, or
      // the system gave less than it had: ask again.
      if (*r < part && offset + got >= length_) break;
    } else {
      break;
    }
  }
  return got;
}

std::optional<std::uint64_t> DataFileReader::current_length() const noexcept {
  if (fd_ < 0 || !by_path_) return std::nullopt;
  const Result<platform::FileStatus> st = platform::status(fd_);
  if (!st.ok()) return std::nullopt;
  return st->size;
}

std::string_view DataFileReader::view(std::uint64_t position, std::size_t n) {
  // Past kMaxView the zero fill below would run beyond the buffer.
  if (n > kMaxView) throw std::length_error("DataFileReader::view: more than kMaxView bytes");
  const std::uint64_t offset = position - 1;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const std::uint64_t window_end = window_offset_ + window_size_;
    if (fd_ >= 0 && offset >= window_offset_ && offset + n <= window_end) {
      end_of_data_ = false;
      return {buffer_ + (offset - window_offset_), n};
    }
    if (fd_ >= 0 && window_at_eof_ && offset >= window_offset_ && offset <= window_end) {
      // The read runs past the end of the file: what is there, then zero bytes.
      char* start = buffer_ + (offset - window_offset_);
      const std::size_t found = static_cast<std::size_t>(window_end - offset);
      std::memset(start + found, 0, n - found);
      end_of_data_ = true;
      return {start, n};
    }
    if (fd_ < 0) break;
    refill_window(offset);
  }
  // Not open: nothing to read.
  std::memset(window(), 0, n);
  window_size_ = 0;
  end_of_data_ = true;
  return {buffer_, n};
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
