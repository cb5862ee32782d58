#include "run/output_writer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <signal.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "run/pending_removal.h"

namespace vemo {
namespace {

// Six characters for a temporary name; O_EXCL, not the randomness, keeps the name unique.
std::string random_suffix() {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::uint64_t state = 0;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  state ^= static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(::getpid()) << 32);
  std::string out(6, 'X');
  for (char& c : out) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    c = kChars[(state >> 33) % (sizeof kChars - 1)];
  }
  return out;
}

// Reasons a folder may refuse a new file while the output in it can still be written in place.
bool folder_refuses_new_file(int err) {
  return err == EACCES || err == EPERM || err == EROFS || err == ENAMETOOLONG;
}

}  // namespace

OutputWriter::OutputWriter() : buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {}

OutputWriter::~OutputWriter() {
  // A temporary file still open here belongs to a run that did not end normally.
  if (!temporary_.empty()) {
    abandon();
  } else {
    close();
  }
}

void OutputWriter::fail(int err) {
  if (!failed_) error_ = std::error_code(err, std::system_category());
  failed_ = true;
}

bool OutputWriter::open(const std::string& path, Mode mode) {
  close();
  failed_ = false;
  error_ = {};
  const int fd = mode == Mode::kReplaceWhenDone ? open_replacement(path) : open_direct(path);
  if (fd < 0) {
    fail(errno);
    return false;
  }
  // A pipe or FIFO stays non-blocking: a slow reader is waited for in slices (wait_for_room), so
  // the caller can keep its window alive meanwhile. Everything else is written blocking.
  struct stat st {};
  identified_ = ::fstat(fd, &st) == 0;
  const bool pipe = identified_ && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
  if (!pipe) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  flush_size_ = pipe ? kPipeFlushSize : kFileFlushSize;
  device_ = identified_ ? static_cast<std::uint64_t>(st.st_dev) : 0;
  inode_ = identified_ ? static_cast<std::uint64_t>(st.st_ino) : 0;
  fd_ = fd;
  owns_fd_ = true;
  return true;
}

int OutputWriter::open_direct(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
}

int OutputWriter::open_replacement(const std::string& path) {
  std::string target = path;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return open_direct(path);  // a dangling link: create its target
    target = resolved;
    std::free(resolved);
  }
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return open_direct(path);

  // May the output be written at all? Opened without emptying it, so that it stays as it is.
  int in_place = -1;
  if (exists) {
    in_place = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (in_place < 0) return -1;
  }

  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  // Signals wait until the temporary file is registered for removal, so none is left behind.
  sigset_t all, old;
  sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, &old);
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary_ = folder + "." + name + "." + random_suffix();
    fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  const int err = errno;
  if (fd >= 0) removal_slot_ = PendingRemoval::add(temporary_);
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);

  if (fd < 0) {
    temporary_.clear();
    if (!folder_refuses_new_file(err)) {
      if (in_place >= 0) ::close(in_place);
      errno = err;
      return -1;
    }
    if (in_place < 0) return open_direct(path);
    if (::ftruncate(in_place, 0) != 0) {
      const int truncate_err = errno;
      ::close(in_place);
      errno = truncate_err;
      return -1;
    }
    return in_place;
  }
  if (in_place >= 0) ::close(in_place);
  target_ = target;
  if (exists) {
    // Owner first: a change of owner clears the set-user and set-group bits of the mode.
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
      // Only the owner's own group or root may keep the old owner; the mode is kept regardless.
    }
    ::fchmod(fd, st.st_mode & 07777);
  }
  return fd;
}

void OutputWriter::end_replacement(bool keep) {
  if (temporary_.empty()) return;
  if (!keep || failed_) {
    ::unlink(temporary_.c_str());
  } else if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    fail(errno);
    ::unlink(temporary_.c_str());
  }
  PendingRemoval::forget(removal_slot_);
  removal_slot_ = -1;
  temporary_.clear();
  target_.clear();
}

bool OutputWriter::open_stdout() {
  close();
  failed_ = false;
  error_ = {};
  fd_ = STDOUT_FILENO;
  owns_fd_ = false;
  flush_size_ = kFileFlushSize;
  struct stat st {};
  identified_ = ::fstat(fd_, &st) == 0;
  device_ = identified_ ? static_cast<std::uint64_t>(st.st_dev) : 0;
  inode_ = identified_ ? static_cast<std::uint64_t>(st.st_ino) : 0;
  return true;
}

void OutputWriter::write(std::string_view bytes) {
  if (bytes.size() >= kDirectWriteSize) {
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
  // An open descriptor keeps its file: its identity is taken once, at the open.
  return fd_ >= 0 && identified_ && device_ == device && inode_ == inode;
}

bool OutputWriter::close() {
  if (fd_ < 0) return !failed_;
  flush();
  if (owns_fd_ && ::close(fd_) != 0) fail(errno);
  fd_ = -1;
  owns_fd_ = false;
  end_replacement(true);
  return !failed_;
}

void OutputWriter::abandon() {
  if (temporary_.empty()) {
    close();
    return;
  }
  used_ = 0;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  owns_fd_ = false;
  end_replacement(false);
}

}  // namespace vemo
