// Preloaded into vemo-convert by the fault tests to make the disk misbehave, for files whose name
// ends in ".bad":
//   VEMO_FAIL_READS_FROM=N  every read at or past byte N fails with EIO (a read that starts
//                           before N returns the bytes up to N first, as a disk does);
//   VEMO_GROW_AT=N          the first read at or past byte N appends 1000 bytes to the file, as
//                           a collector still writing it would.
// and, for any file, VEMO_SIGNAL_AFTER_RENAME=S sends signal S to the process right after each
// rename, as a Ctrl+C at the worst moment would.

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

using PreadFn = ssize_t (*)(int, void*, size_t, off_t);

long long setting(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? -1 : std::atoll(v);
}

bool is_bad_file(int fd) {
  char link[64];
  char target[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = ::readlink(link, target, sizeof target - 1);
  if (n < 4) return false;
  target[n] = '\0';
  return std::strcmp(target + n - 4, ".bad") == 0;
}

ssize_t faulty_pread(int fd, void* buf, size_t count, off_t offset) {
  static const auto real = reinterpret_cast<PreadFn>(::dlsym(RTLD_NEXT, "pread"));
  static const long long fail_from = setting("VEMO_FAIL_READS_FROM");
  static const long long grow_at = setting("VEMO_GROW_AT");
  static std::once_flag grown;
  if (!is_bad_file(fd)) return real(fd, buf, count, offset);
  if (grow_at >= 0 && offset >= grow_at) {
    std::call_once(grown, [fd] {
      char link[64];
      std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
      const int out = ::open(link, O_WRONLY | O_APPEND);
      char tail[1000];
      std::memset(tail, '0', sizeof tail);
      if (out >= 0 && ::write(out, tail, sizeof tail) < 0) std::abort();
      if (out >= 0) ::close(out);
    });
  }
  if (fail_from >= 0 && offset + static_cast<long long>(count) > fail_from) {
    if (offset >= fail_from) {
      errno = EIO;
      return -1;
    }
    count = static_cast<size_t>(fail_from - offset);
  }
  return real(fd, buf, count, offset);
}

}  // namespace

extern "C" ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
  return faulty_pread(fd, buf, count, offset);
}
extern "C" ssize_t pread64(int fd, void* buf, size_t count, off_t offset) {
  return faulty_pread(fd, buf, count, offset);
}

extern "C" int rename(const char* from, const char* to) {
  using RenameFn = int (*)(const char*, const char*);
  static const auto real = reinterpret_cast<RenameFn>(::dlsym(RTLD_NEXT, "rename"));
  const int result = real(from, to);
  const long long signal_number = setting("VEMO_SIGNAL_AFTER_RENAME");
  if (signal_number > 0) ::kill(::getpid(), static_cast<int>(signal_number));
  return result;
}
