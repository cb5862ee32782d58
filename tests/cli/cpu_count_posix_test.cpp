// The CPU count under an affinity set narrowed with sched_setaffinity, in a forked child.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/platform.h"

namespace vemo {
namespace {

using platform::usable_cpu_count;

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
