// The platform layer on Windows: wide Win32 calls, names converted from and to UTF-8 here.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, which these need.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/internal.h"
#include "platform/platform.h"

namespace vemo::platform {
namespace {

// Longest part handed to one ReadFile or WriteFile, which count in 32 bits.
constexpr std::size_t kMaxTransfer = 1u << 30;

// The errno value closest to a Windows error, so that messages read as they do elsewhere.
int errno_of(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_CANNOT_MAKE:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NO_DATA:
    case ERROR_BROKEN_PIPE:
    case ERROR_PIPE_NOT_CONNECTED:
      return EPIPE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    default:
      return EIO;
  }
}

std::error_code last_error() {
  return error_from_errno(errno_of(::GetLastError()));
}

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(std::max(n, 0)), L'\0');
  if (n > 0) {
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  }
  return out;
}

std::string utf8(const wchar_t* text) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.pop_back();  // the terminating zero
  return out;
}

HANDLE handle_of(int fd) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// A C runtime descriptor that owns `h`; closes `h` when none can be had.
Result<int> descriptor_of(HANDLE h, int flags) {
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), flags);
  if (fd < 0) {
    ::CloseHandle(h);
    return error_from_errno(EMFILE);
  }
  return fd;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

FileStatus status_of(HANDLE h) {
  FileStatus out;
  switch (::GetFileType(h)) {
    case FILE_TYPE_DISK: {
      BY_HANDLE_FILE_INFORMATION info{};
      if (!::GetFileInformationByHandle(h, &info)) break;
      out.kind = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? FileKind::kDirectory
                                                                  : FileKind::kRegular;
      out.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
      out.id = {info.dwVolumeSerialNumber,
                (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, true};
      // 100-nanosecond steps since 1601-01-01, 11,644,473,600 seconds before 1970.
      const std::uint64_t ticks =
          (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
          info.ftLastWriteTime.dwLowDateTime;
      out.mtime_ns = (static_cast<std::int64_t>(ticks) - 116444736000000000LL) * 100;
      break;
    }
    case FILE_TYPE_PIPE:
      out.kind = FileKind::kPipe;
      break;
    default:
      out.kind = FileKind::kOther;
  }
  return out;
}

BOOL WINAPI on_console_event(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      PendingRemoval::remove_all();
      break;
    default:
      break;
  }
  // Not handled: the next handler, finally the system's, ends the process.
  return FALSE;
}

UINT g_console_output_cp = 0;
DWORD g_console_mode = 0;
bool g_console_mode_changed = false;

std::atomic<bool> g_end_on_broken_pipe{false};
// What a POSIX shell reports for a process ended by SIGPIPE.
constexpr UINT kBrokenPipeStatus = 128 + 13;

void restore_console() {
  if (g_console_output_cp != 0) ::SetConsoleOutputCP(g_console_output_cp);
  if (g_console_mode_changed) ::SetConsoleMode(handle_of(kStderr), g_console_mode);
}

}  // namespace

namespace internal {
void remove_from_handler(const char* path) {
  // The console handler runs on a thread of its own, where converting the name is allowed.
  wchar_t name[kMaxPendingPath];
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, path, -1, name, kMaxPendingPath);
  if (n > 0) ::DeleteFileW(name);
}
}  // namespace internal

std::error_code error_from_errno(int errno_value) {
  // The generic category: its messages are the C library's, as on other systems. The system
  // category of Windows reads the number as a Windows error instead.
  return std::error_code(errno_value, std::generic_category());
}

Result<FileStatus> status(int fd) {
  const HANDLE h = handle_of(fd);
  if (h == INVALID_HANDLE_VALUE) return error_from_errno(EBADF);
  return status_of(h);
}

Result<FileStatus> status(const std::string& path) {
  // FILE_FLAG_BACKUP_SEMANTICS opens folders too.
  const HANDLE h = ::CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return last_error();
  const FileStatus out = status_of(h);
  ::CloseHandle(h);
  return out;
}

Result<int> open_for_reading(const std::string& path) {
  const HANDLE h =
      ::CreateFileW(wide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return last_error();
  return descriptor_of(h, _O_RDONLY | _O_BINARY);
}

Result<int> open_for_reading(const std::string& path, FileStatus& status) {
  const Result<int> fd = open_for_reading(path);
  if (fd.ok()) status = status_of(handle_of(*fd));
  return fd;
}

void fail_writes_past_file_size_limit() {}

Result<int> open_list(const std::string& path) {
  return open_for_reading(path);
}

int standard_stream_named(const std::string&) {
  return -1;  // no paths name the standard streams here
}

Result<int> duplicate(int fd) {
  HANDLE own = nullptr;
  const HANDLE process = ::GetCurrentProcess();
  if (!::DuplicateHandle(process, handle_of(fd), process, &own, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return last_error();
  }
  return descriptor_of(own, _O_RDONLY | _O_BINARY);
}

void set_blocking(int) {
  // Windows files and pipes opened here always block.
}

Status close(int fd) {
  return ::_close(fd) == 0 ? std::error_code() : error_from_errno(errno);
}

Result<std::size_t> read_at(int fd, char* out, std::size_t n, std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!::ReadFile(handle_of(fd), out, static_cast<DWORD>(std::min(n, kMaxTransfer)), &got, &at)) {
    if (::GetLastError() == ERROR_HANDLE_EOF) return std::size_t{0};
    return last_error();
  }
  return std::size_t{got};
}

Result<std::size_t> read_some(int fd, char* out, std::size_t n) {
  DWORD got = 0;
  if (!::ReadFile(handle_of(fd), out, static_cast<DWORD>(std::min(n, kMaxTransfer)), &got,
                  nullptr)) {
    // The writing end of a pipe closed: the end of the data.
    const DWORD code = ::GetLastError();
    if (code == ERROR_BROKEN_PIPE || code == ERROR_HANDLE_EOF) return std::size_t{0};
    return error_from_errno(errno_of(code));
  }
  return std::size_t{got};
}

Result<std::size_t> write_some(int fd, const char* p, std::size_t n) {
  DWORD put = 0;
  if (!::WriteFile(handle_of(fd), p, static_cast<DWORD>(std::min(n, kMaxTransfer)), &put,
                   nullptr)) {
    const DWORD code = ::GetLastError();
    // Windows says ERROR_NO_DATA, wine ERROR_PIPE_NOT_CONNECTED.
    if (g_end_on_broken_pipe && errno_of(code) == EPIPE) {
      PendingRemoval::remove_all();
      ::ExitProcess(kBrokenPipeStatus);
    }
    return error_from_errno(errno_of(code));
  }
  return std::size_t{put};
}

void end_on_broken_pipe() {
  g_end_on_broken_pipe = true;
}

// A write to a closed pipe fails with EPIPE here unless end_on_broken_pipe() was called.
void ignore_broken_pipe() {}

// Drive letters come and go without a notification to watch: Drive1 reads them when opened.
int open_mount_watch() {
  return -1;
}

Status wait_writable(int, int timeout_ms) {
  // Writes block on Windows and never ask to wait; should one, wait the slice.
  ::Sleep(static_cast<DWORD>(timeout_ms));
  return {};
}

Result<int> open_for_writing(const std::string& path, bool create_or_empty) {
  const std::wstring name = wide(path);
  HANDLE h = ::CreateFileW(name.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                           create_or_empty ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE && create_or_empty) {
    // Pipes and devices take no CREATE_ALWAYS.
    h = ::CreateFileW(name.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (h == INVALID_HANDLE_VALUE) return last_error();
  return descriptor_of(h, _O_BINARY);
}

Result<int> open_for_append(const std::string& path) {
  const HANDLE h = ::CreateFileW(wide(path).c_str(), GENERIC_READ | FILE_APPEND_DATA, kShareAll,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return last_error();
  return descriptor_of(h, _O_BINARY);
}

Status lock_file(int fd) {
  // One byte far past any end the file will have: a lock on its bytes would keep other
  // processes from reading them.
  OVERLAPPED at{};
  at.Offset = MAXDWORD;
  at.OffsetHigh = 0x7FFFFFFF;
  if (!::LockFileEx(handle_of(fd), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                    &at)) {
    if (::GetLastError() == ERROR_LOCK_VIOLATION) {
      return std::make_error_code(std::errc::resource_unavailable_try_again);
    }
    return last_error();
  }
  return {};
}

std::optional<std::uint64_t> lock_holder(const FileId&) {
  return std::nullopt;
}

Status sync(int fd) {
  if (!::FlushFileBuffers(handle_of(fd))) return last_error();
  return {};
}

Result<int> create_new(const std::string& path) {
  const HANDLE h = ::CreateFileW(wide(path).c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return last_error();
  return descriptor_of(h, _O_BINARY);
}

Status truncate(int fd) {
  const HANDLE h = handle_of(fd);
  LARGE_INTEGER zero{};
  if (!::SetFilePointerEx(h, zero, nullptr, FILE_BEGIN) || !::SetEndOfFile(h)) {
    return last_error();
  }
  return {};
}

void copy_permissions(int, const std::string&) {
  // A new file takes the permissions of its folder, as the old one most likely did.
}

bool can_replace_by_rename(const std::string&) {
  return true;
}

std::optional<std::string> link_target(const std::string&) {
  // Symbolic links are rare on Windows and need privileges to make: the output is replaced as
  // named.
  return std::nullopt;
}

Status rename_over(const std::string& from, const std::string& to) {
  if (!::MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return last_error();
  }
  return {};
}

void remove_file(const std::string& path) {
  ::DeleteFileW(wide(path).c_str());
}

// The console handler removes only registered files, so nothing needs holding back.
SignalsHeld::SignalsHeld() : saved_{} {}
SignalsHeld::~SignalsHeld() = default;

void hold_interrupts() {}
void release_interrupts() {}

std::string absolute_path(const std::string& path) {
  const std::wstring name = wide(path);
  const DWORD size = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (size == 0) return {};
  std::wstring full(size, L'\0');
  const DWORD n = ::GetFullPathNameW(name.c_str(), size, full.data(), nullptr);
  if (n == 0 || n >= size) return {};
  return utf8(full.c_str());
}

std::uint64_t process_id() {
  return ::GetCurrentProcessId();
}

void PendingRemoval::remove_on_signals() {
  ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

std::vector<std::string> arguments(int, char**) {
  // The C runtime's argv holds the names in the ANSI code page, where most of Unicode is lost:
  // the wide command line holds them whole.
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  std::vector<std::string> out;
  if (argv == nullptr) return out;
  for (int i = 1; i < argc; ++i) out.push_back(utf8(argv[i]));
  ::LocalFree(argv);
  return out;
}

void hold_closed_standard_streams(bool closed[3]) {
  for (int fd = 0; fd <= 2; ++fd) {
    closed[fd] = false;
    if (::_get_osfhandle(fd) == -1 || ::_get_osfhandle(fd) == -2) {
      closed[fd] = true;
      const int held = ::_open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
      if (held >= 0 && held != fd) {
        ::_dup2(held, fd);
        ::_close(held);
      }
    }
  }
}

void prepare_standard_streams() {
  // Lines end "\n" as written, as on other systems.
  ::_setmode(kStdout, _O_BINARY);
  ::_setmode(kStderr, _O_BINARY);
  if (!is_terminal(kStderr) && !is_terminal(kStdout)) return;
  // Messages are UTF-8; a console shows them right with its output code page set so. The
  // progress line clears itself with an escape sequence, which a console takes once asked to.
  // Both are put back at the end.
  g_console_output_cp = ::GetConsoleOutputCP();
  if (g_console_output_cp == CP_UTF8 || !::SetConsoleOutputCP(CP_UTF8)) g_console_output_cp = 0;
  const HANDLE err = handle_of(kStderr);
  if (::GetConsoleMode(err, &g_console_mode) &&
      !(g_console_mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
    g_console_mode_changed =
        ::SetConsoleMode(err, g_console_mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
  }
  if (g_console_output_cp != 0 || g_console_mode_changed) std::atexit(restore_console);
}

bool is_terminal(int fd) {
  DWORD mode = 0;
  return ::GetConsoleMode(handle_of(fd), &mode) != 0;
}

bool output_shares_the_terminal(const std::string& path) {
  // A process has one console; a pipe from standard output most likely ends at a reader that
  // prints there.
  if (path != "-" || !is_terminal(kStderr)) return false;
  if (is_terminal(kStdout)) return true;
  const Result<FileStatus> out = status(kStdout);
  return out.ok() && out->kind == FileKind::kPipe;
}

std::size_t terminal_width() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) {
    return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
  }
  return 0;
}

unsigned usable_cpu_count() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0) {
    return static_cast<unsigned>(std::popcount(static_cast<std::uint64_t>(process)));
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

bool has_display() {
  return true;
}

}  // namespace vemo::platform
