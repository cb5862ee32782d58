#include <poll.h>
#include <signal.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/inotify.h>
#endif

#include <csignal>
#include <map>

#include "platform/folder_events.h"

namespace vemo::platform {
namespace {

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_hangup = 0;

void on_signal(int signal_number) {
  if (signal_number == SIGHUP) {
    g_hangup = 1;
  } else {
    g_stop = 1;
  }
}

}  // namespace

void catch_stop_signals() {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait for events ends at once.
    action.sa_flags = 0;
    ::sigaction(signal_number, &action, nullptr);
  }
}

bool stop_signalled() {
  return g_stop != 0;
}

bool take_hangup() {
  if (g_hangup == 0) return false;
  g_hangup = 0;
  return true;
}

struct FolderEvents::State {
  int fd = -1;
  std::map<int, std::string> folders;  // by watch descriptor
};

FolderEvents::FolderEvents() : state_(std::make_unique<State>()) {
#ifdef __linux__
  state_->fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
#endif
}

FolderEvents::~FolderEvents() {
  if (state_->fd >= 0) ::close(state_->fd);
}

bool FolderEvents::add(const std::string& folder) {
#ifdef __linux__
  if (state_->fd < 0) return false;
  const int wd = ::inotify_add_watch(state_->fd, folder.c_str(),
                                     IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_MODIFY);
  if (wd < 0) return false;
  state_->folders[wd] = folder;
  return true;
#else
  (void)folder;
  return false;
#endif
}

std::vector<FolderEvents::Event> FolderEvents::wait(int timeout_ms) {
  std::vector<Event> events;
  if (g_stop != 0 || g_hangup != 0) return events;
  if (state_->fd < 0) {
    // Nothing to wait on but the time; a signal cuts the sleep short.
    ::usleep(static_cast<useconds_t>(timeout_ms) * 1000);
    return events;
  }
  pollfd p{state_->fd, POLLIN, 0};
  if (::poll(&p, 1, timeout_ms) <= 0) return events;
#ifdef __linux__
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(state_->fd, buffer, sizeof buffer);
    if (n <= 0) break;
    for (char* at = buffer; at < buffer + n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(at);
      at += sizeof(inotify_event) + e->len;
      const auto folder = state_->folders.find(e->wd);
      if (folder == state_->folders.end() || e->len == 0 || (e->mask & IN_ISDIR)) continue;
      std::string path = folder->second;
      if (path.back() != '/') path += '/';
      path += e->name;
      events.push_back({std::move(path), (e->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) != 0});
    }
  }
#endif
  return events;
}

}  // namespace vemo::platform
