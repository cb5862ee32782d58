#pragma once

// What the fault tests share: a scratch folder removed with everything in it, a way to run
// vemo-convert as a separate process (bounded in time, optionally as an unprivileged user or with
// few file descriptors), a watch that tells whether a file was opened, and the lines a clean run
// writes for a list of files.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vemo::faults {

// A fresh folder under the system temp folder; removed with its content when destroyed, so that
// large and numerous test files never outlive the test.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string operator/(std::string_view name) const;
  // Writes a file of these bytes and returns its path.
  std::string file(std::string_view name, std::string_view bytes) const;

 private:
  std::string path_;
};

// The user and group the privilege-dropping tests run as.
struct Unprivileged {
  uid_t uid;
  gid_t gid;
};
// "nobody" and its group, when the system has them.
std::optional<Unprivileged> nobody();

struct Launch {
  std::vector<std::string> argv;  // argv[0] is the program's path
  std::string cwd;                // empty: the test's own
  // Standard output: captured when empty, else this file opened with these flags.
  std::string stdout_path;
  int stdout_flags = 0;
  std::optional<Unprivileged> run_as;    // drop every privilege to this user before exec
  int max_open_files = 0;                // RLIMIT_NOFILE when not 0
  bool ignore_sigpipe = false;           // start with SIGPIPE ignored, as some services do
  bool close_stderr = false;             // start with no standard error at all (2>&-)
  bool close_stdout = false;             // start with no standard output at all (>&-)
  std::function<void(pid_t)> meanwhile;  // called while the program runs, with its process id
  std::chrono::seconds time_limit{20};

  std::uint64_t max_address_space = 0;  // RLIMIT_AS in bytes when not 0
  int max_processes = 0;                // RLIMIT_NPROC when not 0 (binds only without root)
  std::vector<std::string> env;         // NAME=value entries added to the environment
};

struct Outcome {
  int status = -1;  // exit status; 128 + signal when killed
  bool timed_out = false;
  std::string out;  // captured standard output
  std::string err;  // standard error
  double seconds = 0;
};

// Runs a program to its end, or kills it (and everything it started) at the time limit.
// Exit status 125 means privileges could not be dropped; 127 that exec failed.
Outcome run(const Launch& launch);

// Runs vemo-convert with these arguments.
Outcome convert(const std::vector<std::string>& args, const std::string& cwd = {});

// Tells whether any of the watched files was opened, read or written since it was added.
class AccessWatch {
 public:
  AccessWatch();
  ~AccessWatch();
  AccessWatch(const AccessWatch&) = delete;
  AccessWatch& operator=(const AccessWatch&) = delete;

  void add(const std::string& path);
  // Collects what happened so far; true when any watched file was opened.
  bool opened();
  // True when any watched file was written to or truncated.
  bool modified();

 private:
  void drain();
  int fd_;
  bool opened_ = false;
  bool modified_ = false;
};

// Entries of /proc/self/fd: the process's open file descriptors.
int open_descriptor_count();

// The output of a clean run over these input paths, selected in this order.
std::string clean_output(const std::vector<std::string>& paths);

// Number of line ends in a text.
std::int64_t count_lines(std::string_view text);

}  // namespace vemo::faults
