#include "platform/platform.h"

#include <gtest/gtest.h>

#include <optional>

namespace vemo {
namespace {

using platform::cpus_of_quota;

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

}  // namespace
}  // namespace vemo
