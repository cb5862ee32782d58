#include "cli/cpu_count.h"

#include <sched.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <string>
#include <thread>

namespace vemo {
namespace {

bool parse_number(std::string_view text, unsigned long long& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

unsigned affinity_cpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return static_cast<unsigned>(n);
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

// The tightest quota on the process's cgroup v2 group and the groups above it.
std::optional<unsigned> quota_cpus() {
  std::ifstream cgroup("/proc/self/cgroup");
  std::string line;
  std::string group;
  while (std::getline(cgroup, line)) {
    if (line.starts_with("0::")) group = line.substr(3);
  }
  if (group.empty() || group.front() != '/') return std::nullopt;
  std::optional<unsigned> tightest;
  for (;;) {
    std::ifstream file("/sys/fs/cgroup" + (group == "/" ? std::string() : group) + "/cpu.max");
    std::string cpu_max;
    if (file && std::getline(file, cpu_max)) {
      const auto cpus = cpus_of_quota(cpu_max);
      if (cpus && (!tightest || *cpus < *tightest)) tightest = cpus;
    }
    if (group == "/") break;
    const auto slash = group.rfind('/');
    group = slash == 0 ? "/" : group.substr(0, slash);
  }
  return tightest;
}

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

unsigned usable_cpu_count() {
  const unsigned cpus = affinity_cpus();
  const auto quota = quota_cpus();
  return std::max(1u, quota ? std::min(cpus, *quota) : cpus);
}

}  // namespace vemo
