#include <windows.h>

#include <atomic>

#include "platform/folder_events.h"

namespace vemo::platform {
namespace {

std::atomic<bool> g_stop{false};
HANDLE g_wake = nullptr;  // set by a stop, so that a wait ends at once

BOOL WINAPI on_console_event(DWORD) {
  g_stop = true;
  if (g_wake) ::SetEvent(g_wake);
  return TRUE;
}

}  // namespace

void catch_stop_signals() {
  g_wake = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

bool stop_signalled() {
  return g_stop;
}

bool take_hangup() {
  return false;
}

struct FolderEvents::State {};

FolderEvents::FolderEvents() : state_(std::make_unique<State>()) {}

FolderEvents::~FolderEvents() = default;

bool FolderEvents::add(const std::string&) {
  return false;
}

std::vector<FolderEvents::Event> FolderEvents::wait(int timeout_ms) {
  if (!g_stop) {
    if (g_wake) {
      ::WaitForSingleObject(g_wake, static_cast<DWORD>(timeout_ms));
    } else {
      ::Sleep(static_cast<DWORD>(timeout_ms));
    }
  }
  return {};
}

}  // namespace vemo::platform
