#pragma once

#include <optional>
#include <string_view>

namespace vemo {

// The number of CPUs this process may use: those of its CPU affinity set, fewer when a cgroup v2
// CPU quota allows less. At least 1.
unsigned usable_cpu_count();

// The CPUs a cgroup v2 "cpu.max" line allows ("quota period", rounded up), or nothing for "max"
// (no quota) and for a line that does not parse.
std::optional<unsigned> cpus_of_quota(std::string_view cpu_max);

}  // namespace vemo
