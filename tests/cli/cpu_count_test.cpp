#include "platform/platform.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>

namespace vemo {
namespace {

using platform::cpus_of_quota;
using platform::usable_cpu_count;

TEST(CpuCount, QuotaLinesGiveWholeCpusRoundedUp) {
  const struct {
    const char* line;
    std::optional<unsigned> cpus;
  } cases[] = {
      {"max 100000\n", std::nullopt}, {"100000 100000\n", 1u}, {"150000 100000", 2u},
      {"50000 100000", 1u},           {"400000 100000\n", 4u}, {"0 100000", std::nullopt},
      {"100000", std::nullopt},       {"", std::nullopt},      {"x 100000", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(cpus_of_quota(c.line), c.cpus) << c.line;
}

TEST(CpuCount, CountsOnlyTheCpusTheProcessMayRunOn) {
  // Narrowed to one CPU in a child, so the test runner keeps its own set.
  const pid_t pid = ::fork();
  if (pid == 0) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    if (::sched_setaffinity(0, sizeof one, &one) != 0) ::_exit(2);
    ::_exit(usable_cpu_count() == 1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 2) GTEST_SKIP() << "CPU 0 is not available";
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace vemo
