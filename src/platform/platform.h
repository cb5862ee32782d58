#pragma once

// Every call into the operating system that core, run and the command line make. Two
// implementations: posix.cpp and windows.cpp.
//
// Files are C runtime descriptors on both systems (on Windows, wrapping a HANDLE that was opened
// with the wide Win32 calls), so that the code above keeps one type for them. Names are UTF-8 on
// both systems; Windows converts them at this boundary. Failures are errno values, as error codes
// whose messages read the same on both systems, returned in a Status or Result (result.h).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/result.h"

namespace vemo::platform {

// Windows, where names reach the system as UTF-16 and are compared without regard to case; the
// layers above choose with it where they must (`if constexpr`), instead of an #ifdef.
#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// Whether c separates the parts of a path ('/' everywhere, '\\' and the drive's ':' on Windows).
constexpr bool is_separator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\' || c == ':';
#else
  return c == '/';
#endif
}

inline constexpr int kStdin = 0;
inline constexpr int kStdout = 1;
inline constexpr int kStderr = 2;

// An errno value as an error code of this system.
std::error_code error_from_errno(int errno_value);

enum class FileKind {
  kRegular,
  kDirectory,
  kPipe,   // a pipe, FIFO or socket
  kOther,  // a device, a terminal
};

// Which file an open file or a path is, to tell whether two names are one file: device and inode,
// or on Windows volume serial number and file index. Pipes and devices have no identity on
// Windows: same_file() is then false.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool known = false;
};
constexpr bool same_file(const FileId& a, const FileId& b) {
  return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

struct FileStatus {
  FileKind kind = FileKind::kOther;
  std::uint64_t size = 0;  // bytes, for a regular file
  FileId id;
  std::int64_t mtime_ns = 0;  // last modification, nanoseconds since 1970-01-01 UTC
};

// The status of an open file, or of a path (symbolic links followed).
Result<FileStatus> status(int fd);
Result<FileStatus> status(const std::string& path);

// Opens a file for reading. A FIFO is opened without waiting for a writer; reads from it may then
// find no data yet until set_blocking(). A regular file is set up for reading front to back.
// The calls that open a file give its descriptor, or the reason it could not be opened.
Result<int> open_for_reading(const std::string& path);
// The same, and the status of the file opened into `status`, taken as part of the open (one call
// to the system fewer than status() after it). On failure nothing stays open.
Result<int> open_for_reading(const std::string& path, FileStatus& status);
// Opens a list of names for reading front to back. Unlike open_for_reading(), a FIFO waits for
// its writer, as `cat` does, rather than reading as empty.
Result<int> open_list(const std::string& path);
// The standard stream (kStdin, kStdout or kStderr) that a path names through the process's own
// descriptors (/dev/stdout, /dev/fd/1, /proc/self/fd/1, or a link to one), or -1.
int standard_stream_named(const std::string& path);
// A descriptor of our own for the same open file, above the standard slots.
Result<int> duplicate(int fd);
// Makes reads and writes wait for the other end of a pipe.
void set_blocking(int fd);
Status close(int fd);

// Reads up to n bytes at 0-based `offset`, in one call to the system, without moving a file
// position that other threads rely on. Gives the bytes read (0 at the end of the file).
Result<std::size_t> read_at(int fd, char* out, std::size_t n, std::uint64_t offset);
// Reads up to n bytes from the current position (a pipe: what has arrived, waiting for it); 0 at
// the end. An interrupted read is retried, and so is one that finds a pipe left non-blocking by
// someone else empty.
Result<std::size_t> read_some(int fd, char* out, std::size_t n);
// Writes up to n bytes; gives the count written. A pipe left by its reader fails with EPIPE; a
// non-blocking pipe that is full fails with EAGAIN.
Result<std::size_t> write_some(int fd, const char* p, std::size_t n);
// From now on a write to a pipe whose reader has gone ends the process at once, quietly, with the
// status a shell shows for a process ended by SIGPIPE (128 + 13): what POSIX systems do by
// default, so that `vemo-convert -o - ... | head` ends the same way on Windows.
void end_on_broken_pipe();
// From now on a write past the process's file size limit fails with EFBIG instead of ending the
// process (SIGXFSZ ignored). Nothing to do where there is no such limit.
void fail_writes_past_file_size_limit();
// The opposite, for the window: a write to a pipe whose reader has gone fails with EPIPE, so that
// the run ends with "Broken pipe" rather than the program.
void ignore_broken_pipe();
// A descriptor that turns exceptional (QSocketNotifier::Exception, poll's POLLPRI) whenever a
// file system is mounted or unmounted, for the caller to watch and close(); -1 where the system
// offers none.
int open_mount_watch();
// Waits up to timeout_ms for room in a non-blocking pipe; fails only when the wait itself does.
Status wait_writable(int fd, int timeout_ms);

// Opens an output for writing; with `create_or_empty` it is created when missing and emptied. A
// FIFO without a reader is refused (ENXIO) rather than waited for.
Result<int> open_for_writing(const std::string& path, bool create_or_empty);
// Opens a file for reading from its start and for writes that always go to its end, creating it
// when missing.
Result<int> open_for_append(const std::string& path);
// Takes an exclusive lock on the whole open file without waiting (flock, LockFileEx): an error
// (resource_unavailable_try_again) when another open file holds it. Released at close.
Status lock_file(int fd);
// The process holding a lock on the file, where the system tells (Linux: /proc/locks).
std::optional<std::uint64_t> lock_holder(const FileId& id);
// Puts what was written to the file on its disk.
Status sync(int fd);
// Creates a file that must not exist yet (EEXIST otherwise).
Result<int> create_new(const std::string& path);
Status truncate(int fd);
// Gives a new file the owner, group and permissions of an existing one, as far as the system has
// them and allows it (the group alone where the owner cannot be given).
void copy_permissions(int fd, const std::string& from);
// Whether a new file renamed over the existing file `path` takes its place whole. Not when the
// rename would be refused (the file is a mount point of its own, or another user's in a sticky
// folder), nor when the new file would lose what others rely on: the old one's other hard links,
// its access control list, or both its owner and its group.
bool can_replace_by_rename(const std::string& path);
// The target of a symbolic link, followed to the end: nothing when `path` is no link, an empty
// string when the link leads nowhere.
std::optional<std::string> link_target(const std::string& path);
// Renames `from` over `to`, replacing it as one step.
Status rename_over(const std::string& from, const std::string& to);
void remove_file(const std::string& path);

// While one lives, interrupting signals wait, so that a step and its bookkeeping are one.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  alignas(8) unsigned char saved_[128];  // the signal mask before, on POSIX
};

// SIGINT, SIGTERM and SIGHUP wait for the calling thread from hold_interrupts() until
// release_interrupts(); a thread that holds them for good leaves them to the others. On Windows
// nothing is held.
void hold_interrupts();
void release_interrupts();

std::uint64_t process_id();

// `path` made absolute against the current folder, without resolving links or "..". Empty when
// the current folder cannot be had.
std::string absolute_path(const std::string& path);

// Files to remove should the process be ended by a signal (Ctrl+C, a console closed): the
// temporary files that are not yet renamed over their outputs. Registering and removing may
// happen on any thread; the removal on a signal only calls what a signal handler may call.
class PendingRemoval {
 public:
  static constexpr int kSlots = 16;

  // Registers a path; returns its slot, or -1 when every slot is taken or the path is too long
  // (the file then simply is not removed on a signal).
  static int add(const std::string& path);
  // Forgets a slot from add(); -1 is ignored.
  static void forget(int slot);
  // Removes every registered file now. Async-signal-safe.
  static void remove_all();

  // On SIGINT, SIGTERM and SIGHUP (unless ignored when the process started), or on Windows a
  // console's Ctrl+C, Ctrl+Break or close: removes every registered file, then lets the process
  // end as it would have, so that its parent sees why.
  static void remove_on_signals();
};

// The command line's arguments after the program's name, as UTF-8.
std::vector<std::string> arguments(int argc, char** argv);

// Holds the slots of closed standard streams with the null device, so that a file opened later
// cannot take one and receive our messages. Returns which of the three were closed.
void hold_closed_standard_streams(bool closed[3]);
// Standard output and error write their bytes as they are (no "\r\n" for "\n" on Windows), and
// a console shows UTF-8 text right.
void prepare_standard_streams();
bool is_terminal(int fd);
// Whether what is written to the output `path` ("-": standard output) may show on the terminal
// of standard error: it is that terminal (also as /dev/stdout or /dev/tty), or it is standard
// output into a pipe, whose reader (`| head`) most likely prints there.
bool output_shares_the_terminal(const std::string& path);
// The width of the terminal of standard error in columns ($COLUMNS when the terminal does not
// tell), or 0 when unknown.
std::size_t terminal_width();

// The number of CPUs this process may use: those of its CPU affinity set, fewer when a cgroup v2
// CPU quota allows less. At least 1.
unsigned usable_cpu_count();

// The CPUs a cgroup v2 "cpu.max" line allows ("quota period", rounded up), or nothing for "max"
// (no quota) and for a line that does not parse.
std::optional<unsigned> cpus_of_quota(std::string_view cpu_max);

// Whether a window can be shown: always on Windows; elsewhere when DISPLAY (X11) or
// WAYLAND_DISPLAY is set and not empty.
bool has_display();

}  // namespace vemo::platform
