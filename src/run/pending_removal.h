#pragma once

#include <string>

namespace vemo {

// Files to remove should the process be ended by a signal: the temporary files that are not yet
// renamed over their outputs. Registering and removing may happen on any thread; the removal on
// a signal only calls what a signal handler may call.
class PendingRemoval {
 public:
  static constexpr int kSlots = 16;

  // Registers a path; returns its slot, or -1 when every slot is taken or the path is too long
  // (the file then simply is not removed on a signal).
  static int add(const std::string& path);
  // Forgets a slot from add(); -1 is ignored.
  static void forget(int slot);
  // Removes every registered file now. Async-signal-safe.
  static void remove_all();

  // On SIGINT, SIGTERM and SIGHUP (unless ignored when the process started): removes every
  // registered file, then ends the process by the same signal, so that its parent sees it.
  static void remove_on_signals();
};

}  // namespace vemo
