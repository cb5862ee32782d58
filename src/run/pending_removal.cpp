#include "run/pending_removal.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace vemo {
namespace {

struct Slot {
  std::atomic<bool> taken{false};  // owned by one add() until forget()
  std::atomic<bool> armed{false};  // path is complete and is to be removed on a signal
  char path[PATH_MAX];
};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler reads these flags");

Slot g_slots[PendingRemoval::kSlots];

void on_signal(int signal_number) {
  PendingRemoval::remove_all();
  // The handler was installed with SA_RESETHAND: the default action now ends the process.
  ::raise(signal_number);
}

}  // namespace

int PendingRemoval::add(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (!g_slots[i].taken.compare_exchange_strong(expected, true)) continue;
    std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
    g_slots[i].armed.store(true);
    return i;
  }
  return -1;
}

void PendingRemoval::forget(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  g_slots[slot].armed.store(false);
  g_slots[slot].taken.store(false);
}

void PendingRemoval::remove_all() {
  for (Slot& slot : g_slots) {
    if (slot.armed.load()) ::unlink(slot.path);
  }
}

void PendingRemoval::remove_on_signals() {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    if (::sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    ::sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace vemo
