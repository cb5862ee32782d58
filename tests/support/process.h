#pragma once

// Runs a program as a separate process: argv as given (no shell), standard output and error
// captured, bounded in time, optionally as an unprivileged user or with resource limits.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vemo::test {

#ifdef _WIN32
// No user ids on Windows: run() refuses run_as there, as it refuses the resource limits.
using uid_t = unsigned;
using gid_t = unsigned;
#endif

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
  // Standard input: /dev/null when empty, else this file; through a pipe that `cat` fills when
  // stdin_through_pipe is set, as `cat FILE | program` gives it.
  std::string stdin_path;
  bool stdin_through_pipe = false;
  // Standard input left non-blocking, as some shells leave it; through a pipe, its data then
  // comes only after a while, so that the first read finds it empty.
  bool stdin_nonblocking = false;
  // Standard output: captured when empty, else this file opened with these flags.
  std::string stdout_path;
  int stdout_flags = 0;
  std::optional<Unprivileged> run_as;    // drop every privilege to this user before exec
  std::vector<gid_t> run_as_groups;      // the supplementary groups it keeps
  int max_open_files = 0;                // RLIMIT_NOFILE when not 0 (other descriptors closed)
  bool ignore_sigpipe = false;           // start with SIGPIPE ignored, as some services do
  bool close_stderr = false;             // start with no standard error at all (2>&-)
  bool close_stdout = false;             // start with no standard output at all (>&-)
  std::function<void(pid_t)> meanwhile;  // called while the program runs, with its process id
  std::chrono::seconds time_limit{20};

  std::uint64_t max_address_space = 0;  // RLIMIT_AS in bytes when not 0
  int max_processes = 0;                // RLIMIT_NPROC when not 0 (binds only without root)
  std::uint64_t max_file_size = 0;      // RLIMIT_FSIZE in bytes when not 0
  std::vector<std::string> env;         // NAME=value entries added to the environment
  // When not 0, standard output is a pipe of which this many bytes are read into Outcome::out
  // before it is closed, as a reader such as `head -c N` does.
  std::size_t stdout_read_limit = 0;
};

struct Outcome {
  int status = -1;  // exit status; 128 + signal when killed
  bool timed_out = false;
  std::string out;  // captured standard output
  std::string err;  // standard error
};

// Runs a program to its end, or kills it (and everything it started) at the time limit.
// Exit status 125 means privileges could not be dropped; 127 that exec failed. On Windows a
// launch with run_as, a resource limit or ignore_sigpipe throws std::logic_error.
Outcome run(const Launch& launch);

}  // namespace vemo::test
