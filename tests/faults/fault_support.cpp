#include "fault_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "recording_observer.h"
#include "run/extraction_run.h"
#include "support/record_builder.h"

namespace vemo::faults {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "vemo-faults-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // A test may have left folders without write permission; give them back before removing.
  for (auto it = fs::recursive_directory_iterator(
           path_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
  }
  fs::remove_all(path_, ec);
}

std::string ScratchDir::operator/(std::string_view name) const {
  return path_ + "/" + std::string(name);
}

std::string ScratchDir::file(std::string_view name, std::string_view bytes) const {
  const std::string p = *this / name;
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + p);
  return p;
}

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
  const int in_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int out_fd = ::open(out_path.c_str(), out_flags | O_CLOEXEC, 0644);
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
    ::dup2(out_fd, STDOUT_FILENO);
    ::dup2(err_fd, STDERR_FILENO);
    if (launch.close_stderr) ::close(STDERR_FILENO);
    if (launch.close_stdout) ::close(STDOUT_FILENO);
    if (!launch.cwd.empty() && ::chdir(launch.cwd.c_str()) != 0) ::_exit(127);
    if (launch.max_open_files > 0) {
      const rlimit lim{static_cast<rlim_t>(launch.max_open_files),
                       static_cast<rlim_t>(launch.max_open_files)};
      if (::setrlimit(RLIMIT_NOFILE, &lim) != 0) ::_exit(127);
    }
    if (launch.max_address_space > 0) {
      const rlimit lim{launch.max_address_space, launch.max_address_space};
      if (::setrlimit(RLIMIT_AS, &lim) != 0) ::_exit(127);
    }
    if (launch.max_processes > 0) {
      const rlimit lim{static_cast<rlim_t>(launch.max_processes),
                       static_cast<rlim_t>(launch.max_processes)};
      if (::setrlimit(RLIMIT_NPROC, &lim) != 0) ::_exit(127);
    }
    if (launch.run_as) {
      // Groups first, then the group, then the user: after setuid nothing can be regained.
      if (::setgroups(0, nullptr) != 0 || ::setgid(launch.run_as->gid) != 0 ||
          ::setuid(launch.run_as->uid) != 0 || ::geteuid() != launch.run_as->uid ||
          ::setuid(0) == 0) {
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
  o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  if (launch.stdout_path.empty()) o.out = test::read_file(out_path);
  o.err = test::read_file(err_path);
  return o;
}

Outcome convert(const std::vector<std::string>& args, const std::string& cwd) {
  Launch l;
  l.argv = {VEMO_CONVERT};
  l.argv.insert(l.argv.end(), args.begin(), args.end());
  l.cwd = cwd;
  return run(l);
}

AccessWatch::AccessWatch() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  if (fd_ < 0) throw std::runtime_error("inotify_init1 failed");
}

AccessWatch::~AccessWatch() {
  ::close(fd_);
}

void AccessWatch::add(const std::string& path) {
  if (::inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_ACCESS | IN_MODIFY) < 0) {
    throw std::runtime_error("cannot watch " + path);
  }
}

void AccessWatch::drain() {
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n <= 0) return;
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      if (e->mask & (IN_OPEN | IN_ACCESS)) opened_ = true;
      if (e->mask & IN_MODIFY) modified_ = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
}

bool AccessWatch::opened() {
  drain();
  return opened_;
}

bool AccessWatch::modified() {
  drain();
  return modified_;
}

int open_descriptor_count() {
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int n = 0;
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] != '.') ++n;
  }
  ::closedir(dir);
  return n - 1;  // the listing's own descriptor
}

std::string clean_output(const std::vector<std::string>& paths) {
  const ScratchDir dir;
  test::ScriptedSelection selection;
  selection.names = paths;
  selection.chosen.assign(paths.size(), true);
  selection.output = dir / "clean.csv";
  test::RecordingObserver observer;
  RunState state;
  extract(state, selection, observer);
  return test::read_file(selection.output);
}

std::int64_t count_lines(std::string_view text) {
  return std::count(text.begin(), text.end(), '\n');
}

}  // namespace vemo::faults
