#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vemo::platform {

// From now on SIGINT and SIGTERM (on Windows Ctrl+C, Ctrl+Break and a closed console) only ask
// the process to stop, and SIGHUP asks it to re-open its files; the process looks when it likes.
void catch_stop_signals();
bool stop_signalled();
// Whether SIGHUP came since the last call.
bool take_hangup();

// What the system says about files in watched folders (Linux: inotify). Elsewhere it says
// nothing, and a periodic look through the folders has to do.
class FolderEvents {
 public:
  struct Event {
    std::string path;       // folder, separator, name
    bool complete = false;  // closed after writing, or moved in; otherwise merely changed
  };

  FolderEvents();
  ~FolderEvents();
  FolderEvents(const FolderEvents&) = delete;
  FolderEvents& operator=(const FolderEvents&) = delete;

  // Watches a folder; false when the system cannot (the caller then relies on looking).
  bool add(const std::string& folder);
  // Waits up to timeout_ms for events, or less when a signal came; returns those that came.
  std::vector<Event> wait(int timeout_ms);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vemo::platform
