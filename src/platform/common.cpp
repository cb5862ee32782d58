// The parts of the platform layer that are the same on every system.

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstring>

#include "platform/internal.h"
#include "platform/platform.h"

namespace vemo::platform {
namespace {

bool parse_number(std::string_view text, unsigned long long& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

struct Slot {
  std::atomic<bool> taken{false};  // owned by one add() until forget()
  std::atomic<bool> armed{false};  // path is complete and is to be removed on a signal
  char path[internal::kMaxPendingPath];
};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler reads these flags");

Slot g_slots[PendingRemoval::kSlots];

}  // namespace

std::optional<unsigned> cpus_of_quota(std::string_view cpu_max) {
  while (!cpu_max.empty() && (cpu_max.back() == '\n' || cpu_max.back() == ' '))
    cpu_max.remove_suffix(1);
  const auto space = cpu_max.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  unsigned long long quota = 0;
  unsigned long long period = 0;
  if (!parse_number(cpu_max.substr(0, space), quota) ||
      !parse_number(cpu_max.substr(space + 1), period) || quota == 0 || period == 0) {
    return std::nullopt;
  }
  const unsigned long long cpus = (quota + period - 1) / period;
  return static_cast<unsigned>(std::min<unsigned long long>(cpus, 1u << 16));
}

int PendingRemoval::add(const std::string& path) {
  if (path.size() >= internal::kMaxPendingPath) return -1;
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
    if (slot.armed.load()) internal::remove_from_handler(slot.path);
  }
}

}  // namespace vemo::platform
