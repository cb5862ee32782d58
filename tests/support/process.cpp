#include "support/process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "support/record_builder.h"
#include "support/scratch_dir.h"

extern char** environ;

namespace vemo::test {
namespace {

// Reads up to `limit` bytes from `fd`, or until its writer closes it or the deadline passes, then
// closes it: later writes to the pipe fail as they do after `head -c N`.
void read_then_close(int fd, std::size_t limit, std::chrono::steady_clock::time_point deadline,
                     std::string& out) {
  char buffer[4096];
  while (out.size() < limit && std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit - out.size()));
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
}

}  // namespace

std::optional<Unprivileged> nobody() {
  const passwd* pw = ::getpwnam("nobody");
  if (pw == nullptr || pw->pw_uid == 0) return std::nullopt;
  const group* gr = ::getgrnam("nogroup");
  return Unprivileged{pw->pw_uid, gr != nullptr ? gr->gr_gid : pw->pw_gid};
}

Outcome run(const Launch& launch) {
  const ScratchDir capture;
  const std::string out_path = launch.stdout_path.empty() ? capture / "stdout" : launch.stdout_path;
  const std::string err_path = capture / "stderr";
  const int out_flags = launch.stdout_path.empty() || launch.stdout_flags == 0
                            ? O_WRONLY | O_CREAT | O_TRUNC
                            : launch.stdout_flags;

  // Everything the child needs is made before fork, so that the child only makes system calls.
  int in_fd = ::open(launch.stdin_path.empty() ? "/dev/null" : launch.stdin_path.c_str(),
                     O_RDONLY | O_CLOEXEC);
  pid_t feeder = -1;
  if (in_fd >= 0 && launch.stdin_through_pipe) {
    int feed[2] = {-1, -1};
    if (::pipe2(feed, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
    feeder = ::fork();
    if (feeder == 0) {
      ::signal(SIGPIPE, SIG_DFL);
      ::dup2(in_fd, STDIN_FILENO);
      ::dup2(feed[1], STDOUT_FILENO);
      if (launch.stdin_nonblocking) ::usleep(300000);
      const char* const cat[] = {"/bin/cat", nullptr};
      ::execv(cat[0], const_cast<char* const*>(cat));
      ::_exit(127);
    }
    ::close(in_fd);
    ::close(feed[1]);
    if (feeder < 0) throw std::runtime_error("fork failed");
    in_fd = feed[0];
  }
  int pipe_fds[2] = {-1, -1};
  if (launch.stdout_read_limit > 0 && ::pipe2(pipe_fds, O_CLOEXEC) != 0) {
    throw std::runtime_error("cannot make a pipe");
  }
  const int out_fd = launch.stdout_read_limit > 0
                         ? pipe_fds[1]
                         : ::open(out_path.c_str(), out_flags | O_CLOEXEC, 0644);
  const int err_fd = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (in_fd < 0 || out_fd < 0 || err_fd < 0) throw std::runtime_error("cannot open " + out_path);
  std::vector<char*> argv;
  for (const auto& a : launch.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
  for (const auto& e : launch.env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    ::signal(SIGPIPE, launch.ignore_sigpipe ? SIG_IGN : SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::dup2(in_fd, STDIN_FILENO);
    if (launch.stdin_nonblocking) ::fcntl(STDIN_FILENO, F_SETFL, O_NONBLOCK);
    ::dup2(out_fd, STDOUT_FILENO);
    ::dup2(err_fd, STDERR_FILENO);
    if (launch.close_stderr) ::close(STDERR_FILENO);
    if (launch.close_stdout) ::close(STDOUT_FILENO);
    if (!launch.cwd.empty() && ::chdir(launch.cwd.c_str()) != 0) ::_exit(127);
    if (launch.max_open_files > 0) {
      // The limit counts from the three standard streams: nothing a test runner leaked is left.
      ::close_range(3, ~0u, 0);
      const rlimit lim{static_cast<rlim_t>(launch.max_open_files),
                       static_cast<rlim_t>(launch.max_open_files)};
      if (::setrlimit(RLIMIT_NOFILE, &lim) != 0) ::_exit(127);
    }
    if (launch.max_address_space > 0) {
      const rlimit lim{launch.max_address_space, launch.max_address_space};
      if (::setrlimit(RLIMIT_AS, &lim) != 0) ::_exit(127);
    }
    if (launch.max_file_size > 0) {
      const rlimit lim{launch.max_file_size, launch.max_file_size};
      if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) ::_exit(127);
    }
    if (launch.max_processes > 0) {
      const rlimit lim{static_cast<rlim_t>(launch.max_processes),
                       static_cast<rlim_t>(launch.max_processes)};
      if (::setrlimit(RLIMIT_NPROC, &lim) != 0) ::_exit(127);
    }
    if (launch.run_as) {
      // Groups first, then the group, then the user: after setuid nothing can be regained.
      if (::setgroups(launch.run_as_groups.size(), launch.run_as_groups.data()) != 0 ||
          ::setgid(launch.run_as->gid) != 0 || ::setuid(launch.run_as->uid) != 0 ||
          ::geteuid() != launch.run_as->uid || ::setuid(0) == 0) {
        ::_exit(125);
      }
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(in_fd);
  ::close(out_fd);
  ::close(err_fd);
  if (pid < 0) throw std::runtime_error("fork failed");

  if (launch.meanwhile) launch.meanwhile(pid);
  Outcome o;
  if (launch.stdout_read_limit > 0) {
    read_then_close(pipe_fds[0], launch.stdout_read_limit, start + launch.time_limit, o.out);
  }
  int wstatus = 0;
  const auto deadline = start + launch.time_limit;
  for (;;) {
    const pid_t done = ::waitpid(pid, &wstatus, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      o.timed_out = true;
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &wstatus, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (feeder > 0) {
    ::kill(feeder, SIGKILL);  // it has ended already unless the program left input unread
    ::waitpid(feeder, nullptr, 0);
  }
  o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  if (launch.stdout_path.empty() && launch.stdout_read_limit == 0) o.out = read_file(out_path);
  o.err = read_file(err_path);
  return o;
}

}  // namespace vemo::test
