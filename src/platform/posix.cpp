// The platform layer on Linux and other POSIX systems.

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/internal.h"
#include "platform/platform.h"

namespace vemo::platform {
namespace {

std::error_code last_error() {
  return error_from_errno(errno);
}

// What a call that opens gave: its descriptor, or -1 and errno.
Result<int> descriptor(int fd) {
  if (fd < 0) return last_error();
  return fd;
}

FileStatus status_of(const struct stat& st) {
  FileStatus out;
  if (S_ISREG(st.st_mode)) {
    out.kind = FileKind::kRegular;
  } else if (S_ISDIR(st.st_mode)) {
    out.kind = FileKind::kDirectory;
  } else if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
    out.kind = FileKind::kPipe;
  } else {
    out.kind = FileKind::kOther;
  }
  out.size = static_cast<std::uint64_t>(st.st_size);
  out.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
  out.mtime_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return out;
}

void on_signal(int signal_number) {
  PendingRemoval::remove_all();
  // The handler was installed with SA_RESETHAND: the default action now ends the process.
  ::raise(signal_number);
}

unsigned affinity_cpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return static_cast<unsigned>(n);
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

// The tightest quota on the process's cgroup v2 group and the groups above it.
std::optional<unsigned> quota_cpus() {
  std::ifstream cgroup("/proc/self/cgroup");
  std::string line;
  std::string group;
  while (std::getline(cgroup, line)) {
    if (line.starts_with("0::")) group = line.substr(3);
  }
  if (group.empty() || group.front() != '/') return std::nullopt;
  std::optional<unsigned> tightest;
  for (;;) {
    std::ifstream file("/sys/fs/cgroup" + (group == "/" ? std::string() : group) + "/cpu.max");
    std::string cpu_max;
    if (file && std::getline(file, cpu_max)) {
      const auto cpus = cpus_of_quota(cpu_max);
      if (cpus && (!tightest || *cpus < *tightest)) tightest = cpus;
    }
    if (group == "/") break;
    const auto slash = group.rfind('/');
    group = slash == 0 ? "/" : group.substr(0, slash);
  }
  return tightest;
}

}  // namespace

namespace internal {
void remove_from_handler(const char* path) {
  ::unlink(path);
}
}  // namespace internal

std::error_code error_from_errno(int errno_value) {
  return std::error_code(errno_value, std::system_category());
}

Result<FileStatus> status(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return last_error();
  return status_of(st);
}

Result<FileStatus> status(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return last_error();
  return status_of(st);
}

Result<int> open_for_reading(const std::string& path, FileStatus& status) {
  // O_NONBLOCK keeps a FIFO from blocking the open. It stays set on a regular file: reads of one
  // wait for the disk whatever the flag, so clearing it would only cost two more calls per file.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return last_error();
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const std::error_code error = last_error();
    ::close(fd);
    return error;
  }
  status = status_of(st);
#ifdef POSIX_FADV_SEQUENTIAL
  // The kernel's own read-ahead already covers a file read front to back in a few large reads;
  // a longer one is worth the call only where the reads go on for a while.
  constexpr std::uint64_t kSequentialHintBytes = 4 * 1024 * 1024;
  if (status.kind == FileKind::kRegular && status.size >= kSequentialHintBytes) {
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  }
#endif
  return fd;
}

Result<int> open_for_reading(const std::string& path) {
  FileStatus status;
  return open_for_reading(path, status);
}

Result<int> open_list(const std::string& path) {
  return descriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

int standard_stream_named(const std::string& path) {
  // Follows the links one at a time: the last one, /proc/self/fd/N, leads to whatever the slot
  // holds, which must not be taken for a file named by the user.
  char* own = ::realpath("/proc/self/fd", nullptr);
  if (own == nullptr) return -1;
  const std::string fd_folder = own;
  std::free(own);
  std::string p = path;
  for (int hop = 0; hop < 40; ++hop) {
    const auto slash = p.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : p.substr(0, slash + (slash == 0));
    const std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
    if (char* resolved = ::realpath(folder.c_str(), nullptr)) {
      const bool in_fd_folder = fd_folder == resolved;
      std::free(resolved);
      if (in_fd_folder) {
        return name == "0" || name == "1" || name == "2" ? name[0] - '0' : -1;
      }
    }
    char target[4096];
    const ssize_t n = ::readlink(p.c_str(), target, sizeof target - 1);
    if (n <= 0) return -1;
    target[n] = '\0';
    p = target[0] == '/' || slash == std::string::npos ? std::string(target)
                                                       : p.substr(0, slash + 1) + target;
  }
  return -1;
}

Result<int> duplicate(int fd) {
  return descriptor(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
}

void set_blocking(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
}

Status close(int fd) {
  return ::close(fd) == 0 ? std::error_code() : last_error();
}

// Makes a read or write call again while a signal interrupts it.
template <class Call>
Result<std::size_t> retrying(Call call) {
  for (;;) {
    const ssize_t r = call();
    if (r >= 0) return static_cast<std::size_t>(r);
    if (errno != EINTR) return last_error();
  }
}

Result<std::size_t> read_at(int fd, char* out, std::size_t n, std::uint64_t offset) {
  return retrying([&] { return ::pread(fd, out, n, static_cast<off_t>(offset)); });
}

Result<std::size_t> read_some(int fd, char* out, std::size_t n) {
  for (;;) {
    const Result<std::size_t> r = retrying([&] { return ::read(fd, out, n); });
    if (r.ok() || (r.error() != std::errc::resource_unavailable_try_again &&
                   r.error() != std::errc::operation_would_block)) {
      return r;
    }
    // A pipe the shell left non-blocking: wait for its data as a blocking read would.
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, -1) < 0 && errno != EINTR) return last_error();
  }
}

Result<std::size_t> write_some(int fd, const char* p, std::size_t n) {
  return retrying([&] { return ::write(fd, p, n); });
}

void end_on_broken_pipe() {
  // SIGPIPE does it, unless the caller's parent chose to ignore it.
}

void fail_writes_past_file_size_limit() {
  ::signal(SIGXFSZ, SIG_IGN);
}

void ignore_broken_pipe() {
  ::signal(SIGPIPE, SIG_IGN);
}

int open_mount_watch() {
#ifdef __linux__
  // The kernel marks this file exceptional whenever something is mounted or unmounted.
  return ::open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
#else
  return -1;
#endif
}

Status wait_writable(int fd, int timeout_ms) {
  pollfd p{fd, POLLOUT, 0};
  if (::poll(&p, 1, timeout_ms) < 0 && errno != EINTR) return last_error();
  // A reader that went away shows as POLLERR; the next write reports it with its reason.
  return {};
}

Result<int> open_for_writing(const std::string& path, bool create_or_empty) {
  return descriptor(
      ::open(path.c_str(),
             O_WRONLY | O_CLOEXEC | O_NONBLOCK | (create_or_empty ? O_CREAT | O_TRUNC : 0), 0666));
}

Result<int> create_new(const std::string& path) {
  return descriptor(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
}

Status truncate(int fd) {
  return ::ftruncate(fd, 0) == 0 ? std::error_code() : last_error();
}

void copy_permissions(int fd, const std::string& from) {
  struct stat st {};
  if (::stat(from.c_str(), &st) != 0) return;
  // Owner first: a change of owner clears the set-user and set-group bits of the mode. Only
  // root may give the old owner; a member of the old group may still give that.
  if (::fchown(fd, st.st_uid, st.st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), st.st_gid)) {
    // Neither: can_replace_by_rename() kept such a file from being replaced.
  }
  ::fchmod(fd, st.st_mode & 07777);
}

bool can_replace_by_rename(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return true;  // nothing there to lose
  if (st.st_nlink > 1) return false;
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  struct stat dir {};
  if (::stat(folder.c_str(), &dir) != 0) return true;
  const uid_t me = ::geteuid();
  // A sticky folder lets only the file's owner, the folder's owner and root replace it.
  if ((dir.st_mode & S_ISVTX) != 0 && me != 0 && me != st.st_uid && me != dir.st_uid) {
    return false;
  }
  // A file mounted over its name (a container's file volume) cannot be renamed over.
  struct statx file_x {
  }, dir_x{};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_MNT_ID, &file_x) == 0 &&
      ::statx(AT_FDCWD, folder.c_str(), 0, STATX_MNT_ID, &dir_x) == 0 &&
      (file_x.stx_mask & dir_x.stx_mask & STATX_MNT_ID) != 0) {
    if (file_x.stx_mnt_id != dir_x.stx_mnt_id) return false;
  } else if (st.st_dev != dir.st_dev) {
    return false;
  }
  if (::getxattr(path.c_str(), "system.posix_acl_access", nullptr, 0) >= 0) return false;
  if (me == 0 || me == st.st_uid || ::getegid() == st.st_gid) return true;
  const int count = ::getgroups(0, nullptr);
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
  const int got = ::getgroups(count, groups.data());
  return std::find(groups.begin(), groups.begin() + std::max(got, 0), st.st_gid) !=
         groups.begin() + std::max(got, 0);
}

std::optional<std::string> link_target(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return std::nullopt;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  std::string target = resolved;
  std::free(resolved);
  return target;
}

Status rename_over(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? std::error_code() : last_error();
}

void remove_file(const std::string& path) {
  ::unlink(path.c_str());
}

static_assert(sizeof(sigset_t) <= 128, "SignalsHeld keeps a signal mask");

SignalsHeld::SignalsHeld() {
  sigset_t all;
  sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, reinterpret_cast<sigset_t*>(saved_));
}

SignalsHeld::~SignalsHeld() {
  ::pthread_sigmask(SIG_SETMASK, reinterpret_cast<const sigset_t*>(saved_), nullptr);
}

namespace {
void mask_interrupts(int how) {
  sigset_t interrupts;
  sigemptyset(&interrupts);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&interrupts, signal_number);
  ::pthread_sigmask(how, &interrupts, nullptr);
}
}  // namespace

void hold_interrupts() {
  mask_interrupts(SIG_BLOCK);
}

void release_interrupts() {
  mask_interrupts(SIG_UNBLOCK);
}

Result<int> open_for_append(const std::string& path) {
  return descriptor(::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
}

Status lock_file(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    return errno == EWOULDBLOCK ? std::make_error_code(std::errc::resource_unavailable_try_again)
                                : last_error();
  }
  return {};
}

std::optional<std::uint64_t> lock_holder(const FileId& id) {
  // "1: FLOCK  ADVISORY  WRITE 4242 08:01:131075 0 EOF": the pid, then major:minor:inode.
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    char kind[16], mode[16], access[16];
    unsigned long long pid = 0, inode = 0;
    unsigned major = 0, minor = 0;
    if (std::sscanf(line.c_str(), "%*[^:]: %15s %15s %15s %llu %x:%x:%llu", kind, mode, access,
                    &pid, &major, &minor, &inode) == 7 &&
        inode == id.inode && makedev(major, minor) == id.device) {
      return pid;
    }
  }
  return std::nullopt;
}

Status sync(int fd) {
  if (::fsync(fd) != 0) return last_error();
  return {};
}

std::string absolute_path(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[4096];
  if (::getcwd(cwd, sizeof cwd) == nullptr) return {};
  std::string out = cwd;
  if (out.back() != '/') out += '/';
  // "./name" reads better as "name".
  std::string_view rest = path;
  while (rest.starts_with("./")) rest.remove_prefix(2);
  return out.append(rest);
}

std::uint64_t process_id() {
  return static_cast<std::uint64_t>(::getpid());
}

void PendingRemoval::remove_on_signals() {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    if (::sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    ::sigaction(signal_number, &action, nullptr);
  }
}

std::vector<std::string> arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

void hold_closed_standard_streams(bool closed[3]) {
  for (int fd = 0; fd <= 2; ++fd) {
    closed[fd] = false;
    if (::fcntl(fd, F_GETFD) < 0) {
      closed[fd] = true;
      const int held = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
      if (held >= 0 && held != fd) ::close(held);
    }
  }
}

void prepare_standard_streams() {}

bool is_terminal(int fd) {
  return ::isatty(fd) == 1;
}

bool output_shares_the_terminal(const std::string& path) {
  struct stat out {
  }, err{};
  if (::isatty(STDERR_FILENO) != 1 || ::fstat(STDERR_FILENO, &err) != 0) return false;
  const bool to_stdout = path == "-" || standard_stream_named(path) == kStdout;
  if (to_stdout ? ::fstat(STDOUT_FILENO, &out) != 0 : ::stat(path.c_str(), &out) != 0) {
    return false;
  }
  if (S_ISCHR(out.st_mode)) {
    // /dev/tty is the process's own terminal, whichever it is.
    return out.st_rdev == err.st_rdev || out.st_rdev == makedev(5, 0);
  }
  return to_stdout && S_ISFIFO(out.st_mode);
}

std::size_t terminal_width() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  const char* columns = std::getenv("COLUMNS");
  return columns != nullptr ? static_cast<std::size_t>(std::max(0L, std::atol(columns))) : 0;
}

unsigned usable_cpu_count() {
  const unsigned cpus = affinity_cpus();
  const auto quota = quota_cpus();
  return std::max(1u, quota ? std::min(cpus, *quota) : cpus);
}

bool has_display() {
  const auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

}  // namespace vemo::platform
