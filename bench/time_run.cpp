// time_run: runs a command and reports its wall time and peak resident memory, for
// bench/throughput. Starting the command directly (posix_spawn, no shell, no /usr/bin/time or
// timeout in between) keeps the measuring overhead to the command's own start, which matters when
// the command itself takes only tens of milliseconds.
//
//   time_run [-t SECONDS] [-o REPORT] COMMAND [ARG...]
//
// Writes "SECONDS PEAK_RSS_KIB CPU_SECONDS OTHER_CPU_SECONDS" to REPORT, or to standard error:
// wall seconds, the command's peak resident memory, the processor time it used (user and
// system), and the processor time the rest of the machine used meanwhile (from /proc/stat; steal
// time included), which tells a clean timing from one disturbed by other work on a shared machine.
// The command inherits standard input, output and error. Exit status: the command's; 128 + N when
// a signal N ended it; 124 when it was stopped after -t SECONDS; 127 when it could not be started;
// 2 for a usage error.

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern char** environ;

namespace {

volatile sig_atomic_t timed_out = 0;
pid_t child = 0;

void on_alarm(int) {
  timed_out = 1;
  ::kill(child, SIGKILL);
}

double now() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Processor time used on all processors since boot, in seconds; 0 when /proc/stat is unreadable.
double busy_seconds() {
  std::FILE* f = std::fopen("/proc/stat", "r");
  if (f == nullptr) return 0;
  unsigned long long user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0,
                     steal = 0;
  const int n = std::fscanf(f, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &user, &nice, &system,
                            &idle, &iowait, &irq, &softirq, &steal);
  std::fclose(f);
  if (n < 4) return 0;
  const unsigned long long ticks = user + nice + system + irq + softirq + steal;
  return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double seconds_of(const timeval& tv) {
  return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
}

int usage() {
  std::fputs("usage: time_run [-t SECONDS] [-o REPORT] COMMAND [ARG...]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned limit = 0;
  const char* report_path = nullptr;
  // "+": the options end at the command, whose own options are left alone.
  opterr = 0;
  for (int c; (c = ::getopt(argc, argv, "+t:o:")) != -1;) {
    if (c == 't') {
      char* end = nullptr;
      const unsigned long v = std::strtoul(optarg, &end, 10);
      if (*end != '\0' || v == 0 || v > 86400) return usage();
      limit = static_cast<unsigned>(v);
    } else if (c == 'o') {
      report_path = optarg;
    } else {
      return usage();
    }
  }
  const int i = optind;
  if (i >= argc) return usage();

  struct sigaction sa {};
  sa.sa_handler = on_alarm;
  ::sigaction(SIGALRM, &sa, nullptr);

  const double busy_before = busy_seconds();
  const double start = now();
  const int spawn_error = ::posix_spawnp(&child, argv[i], nullptr, nullptr, argv + i, environ);
  if (spawn_error != 0) {
    std::fprintf(stderr, "time_run: cannot run %s: %s\n", argv[i], std::strerror(spawn_error));
    return 127;
  }
  if (limit > 0) ::alarm(limit);
  int status = 0;
  rusage usage{};
  while (::wait4(child, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::perror("time_run: wait4");
      return 127;
    }
  }
  const double seconds = now() - start;
  const double busy = busy_seconds() - busy_before;
  ::alarm(0);
  const double cpu = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
  const double other = busy > cpu ? busy - cpu : 0.0;

  std::FILE* report = report_path != nullptr ? std::fopen(report_path, "w") : stderr;
  if (report == nullptr) {
    std::perror("time_run: report file");
    return 2;
  }
  std::fprintf(report, "%.6f %ld %.3f %.3f\n", seconds, usage.ru_maxrss, cpu, other);
  if (report != stderr) std::fclose(report);

  if (timed_out) return 124;
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}
