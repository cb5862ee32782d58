#include "run/output_writer.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>

#include "platform/platform.h"

namespace vemo {
namespace {

// Six characters for a temporary name; O_EXCL, not the randomness, keeps the name unique. Safe
// on several threads at once: each call draws its own state from the clock, the process and a
// shared atomic count.
std::string random_suffix() {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::atomic<std::uint64_t> calls{0};
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  std::uint64_t state =
      static_cast<std::uint64_t>(std::chrono::nanoseconds(now).count() % 1000000000) ^
      (platform::process_id() << 32) ^ (calls.fetch_add(1) * 0x9E3779B97F4A7C15ull);
  std::string out(6, 'X');
  for (char& c : out) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    c = kChars[(state >> 33) % (sizeof kChars - 1)];
  }
  return out;
}

// Reasons a folder may refuse a new file while the output in it can still be written in place.
bool folder_refuses_new_file(std::error_code err) {
  return err == std::errc::permission_denied || err == std::errc::operation_not_permitted ||
         err == std::errc::read_only_file_system;
}

// The part of the output's name that its temporary name ".NAME.XXXXXX" keeps: all of it where
// that fits the longest name file systems take (255 bytes), else its start, cut between
// characters.
std::string_view temporary_stem(std::string_view name) {
  constexpr std::size_t kMaxName = 255;
  constexpr std::size_t kAdded = 8;  // the leading dot, the dot and the six characters
  if (name.size() + kAdded <= kMaxName) return name;
  std::size_t keep = kMaxName - kAdded;
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  return name.substr(0, keep);
}

}  // namespace

OutputWriter::OutputWriter() : OutputWriter(nullptr) {}

OutputWriter::OutputWriter(char* buffer)
    : owned_(buffer ? nullptr : std::make_unique_for_overwrite<char[]>(kBufferSize)),
      buffer_(buffer ? buffer : owned_.get()) {}

OutputWriter::~OutputWriter() {
  // A temporary file still open here belongs to a run that did not end normally.
  if (!temporary_.empty()) {
    abandon();
  } else {
    (void)close();
  }
}

void OutputWriter::fail(std::error_code err) {
  if (!error_) error_ = err ? err : platform::error_from_errno(EIO);
}

Status OutputWriter::open(const std::string& path, Mode mode) {
  (void)close();
  error_ = {};
  const Result<int> opened =
      mode == Mode::kReplaceWhenDone ? open_replacement(path) : open_direct(path);
  if (!opened.ok()) {
    fail(opened.error());
    return error_;
  }
  const int fd = *opened;
  // A pipe or FIFO stays non-blocking: a slow reader is waited for in slices (wait_for_room), so
  // the caller can keep its window alive meanwhile. Everything else is written blocking.
  const Result<platform::FileStatus> st = platform::status(fd);
  const bool pipe = st.ok() && st->kind == platform::FileKind::kPipe;
  if (!pipe) platform::set_blocking(fd);
  flush_size_ = pipe ? kPipeFlushSize : kFileFlushSize;
  id_ = st.ok() ? st->id : platform::FileId{};
  fd_ = fd;
  owns_fd_ = true;
  start_compressor();
  return error_;
}

void OutputWriter::start_compressor() {
  retire_compressor();
  if (compression_ == Compression::kNone) return;
  if (spare_ && *spare_ && (*spare_)->kind() == compression_ && (*spare_)->level() == level_) {
    compressor_ = std::move(*spare_);
    compressor_->restart();
    return;
  }
  try {
    compressor_ = Compressor::create(compression_, level_);
  } catch (const std::bad_alloc&) {
    fail(std::make_error_code(std::errc::not_enough_memory));
    abandon();
  }
}

void OutputWriter::retire_compressor() {
  if (spare_ && compressor_) *spare_ = std::move(compressor_);
  compressor_.reset();
}

Result<int> OutputWriter::open_direct(const std::string& path) {
  return platform::open_for_writing(path, /*create_or_empty=*/true);
}

Result<int> OutputWriter::open_replacement(const std::string& path) {
  std::string target = path;
  if (auto link = platform::link_target(path)) {
    if (link->empty()) return open_direct(path);  // a dangling link: create its target
    target = std::move(*link);
  }
  const Result<platform::FileStatus> st = platform::status(target);
  const bool exists = st.ok();
  if (exists && st->kind != platform::FileKind::kRegular) return open_direct(path);

  // May the output be written at all? Opened without emptying it, so that it stays as it is.
  int in_place = -1;
  if (exists) {
    const Result<int> opened = platform::open_for_writing(target, /*create_or_empty=*/false);
    if (!opened.ok()) return opened;
    in_place = *opened;
  }
  const auto write_in_place = [&]() -> Result<int> {
    const Status emptied = platform::truncate(in_place);
    if (emptied.ok()) return in_place;
    (void)platform::close(in_place);
    return emptied.error();
  };
  // Where a new file could not take the old one's place whole, the old one is written in place.
  if (exists && !platform::can_replace_by_rename(target)) return write_in_place();

  std::size_t slash = target.size();
  while (slash > 0 && !platform::is_separator(target[slash - 1])) --slash;
  const std::string folder = target.substr(0, slash);
  const std::string name = target.substr(slash);
  Result<int> created = std::make_error_code(std::errc::file_exists);
  {
    // Signals wait until the temporary file is registered for removal, so none is left behind.
    const platform::SignalsHeld held;
    for (int attempt = 0; attempt < 100 && created.error() == std::errc::file_exists; ++attempt) {
      temporary_ = folder + "." + std::string(temporary_stem(name)) + "." + random_suffix();
      created = platform::create_new(temporary_);
    }
    if (created.ok()) removal_slot_ = platform::PendingRemoval::add(temporary_);
  }

  if (!created.ok()) {
    temporary_.clear();
    if (!folder_refuses_new_file(created.error())) {
      if (in_place >= 0) (void)platform::close(in_place);
      return created;
    }
    if (in_place < 0) return open_direct(path);
    return write_in_place();
  }
  if (in_place >= 0) (void)platform::close(in_place);
  target_ = target;
  if (exists) platform::copy_permissions(*created, target);
  return created;
}

void OutputWriter::end_replacement(bool keep) {
  if (temporary_.empty()) return;
  const bool replace = keep && !error_;
  // Held before the step below, whose end restores the signal mask it found.
  if (replace && hold_interrupts_once_replaced_) platform::hold_interrupts();
  // The rename and forgetting the temporary file are one step for a signal's handler.
  const platform::SignalsHeld held;
  if (!replace) {
    platform::remove_file(temporary_);
  } else if (const Status renamed = platform::rename_over(temporary_, target_); !renamed.ok()) {
    fail(renamed.error());
    platform::remove_file(temporary_);
  }
  platform::PendingRemoval::forget(removal_slot_);
  removal_slot_ = -1;
  temporary_.clear();
  target_.clear();
}

Status OutputWriter::open_stdout() {
  (void)close();
  error_ = {};
  fd_ = platform::kStdout;
  owns_fd_ = false;
  flush_size_ = kFileFlushSize;
  const Result<platform::FileStatus> st = platform::status(fd_);
  id_ = st.ok() ? st->id : platform::FileId{};
  start_compressor();
  return error_;
}

void OutputWriter::write(std::string_view bytes) {
  if (bytes.size() >= kDirectWriteSize) {
    if (flush().ok()) write_all(bytes.data(), bytes.size());
    return;
  }
  std::memcpy(reserve(bytes.size()), bytes.data(), bytes.size());
  commit(bytes.size());
}

Status OutputWriter::flush() {
  const std::size_t n = used_;
  used_ = 0;
  write_all(buffer_, n);
  return error_;
}

bool OutputWriter::write_all(const char* p, std::size_t n) {
  if (error_ || fd_ < 0) return !error_;
  if (compressor_) return compressor_->compress({p, n}, /*finish=*/false, emit_) && !error_;
  return write_raw(p, n);
}

bool OutputWriter::write_raw(const char* p, std::size_t left) {
  if (error_ || fd_ < 0) return !error_;
  if (hash_ != nullptr) hash_->update(p, left);
  bytes_written_ += left;
  while (left > 0) {
    const Result<std::size_t> n = platform::write_some(fd_, p, left);
    if (n.error() == std::errc::resource_unavailable_try_again ||
        n.error() == std::errc::operation_would_block) {
      if (!wait_for_room()) return false;
      continue;
    }
    if (!n.ok() || *n == 0) {
      fail(!n.ok() ? n.error() : platform::error_from_errno(EIO));
      return false;
    }
    p += *n;
    left -= *n;
  }
  return true;
}

bool OutputWriter::wait_for_room() {
  if (const Status waited = platform::wait_writable(fd_, kWaitSliceMs); !waited.ok()) {
    fail(waited.error());
    return false;
  }
  if (wait_handler_) wait_handler_();
  return true;
}

bool OutputWriter::is_file(const platform::FileId& id) const {
  // An open descriptor keeps its file: its identity is taken once, at the open.
  return fd_ >= 0 && platform::same_file(id_, id);
}

Status OutputWriter::close() {
  if (fd_ < 0) return error_;
  (void)flush();
  // The end of the compressed stream: a half-written one would read as damaged.
  if (compressor_ && !error_) compressor_->compress({}, /*finish=*/true, emit_);
  retire_compressor();
  if (owns_fd_) {
    if (const Status closed = platform::close(fd_); !closed.ok()) fail(closed.error());
  }
  fd_ = -1;
  owns_fd_ = false;
  end_replacement(true);
  return error_;
}

void OutputWriter::abandon() {
  if (temporary_.empty()) {
    (void)close();
    return;
  }
  used_ = 0;
  retire_compressor();
  if (fd_ >= 0) (void)platform::close(fd_);
  fd_ = -1;
  owns_fd_ = false;
  end_replacement(false);
}

}  // namespace vemo
