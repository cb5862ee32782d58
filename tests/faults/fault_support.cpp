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

#include "run/extraction_run.h"
#include "support/record_builder.h"
#include "support/recording_observer.h"

namespace vemo::faults {

namespace fs = std::filesystem;

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
