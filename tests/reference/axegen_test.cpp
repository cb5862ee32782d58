// axegen's output is fixed: the differential tests, the samples and the benchmark figures all
// rest on a profile, size and seed always giving the same bytes. Each case pins a digest of the
// file, and the same file must come out whatever chunk size the stream is read in.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "axegen/layouts.h"
#include "axegen/profiles.h"

namespace {

std::uint64_t fnv1a(const std::string& bytes) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (const char c : bytes) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
  return h;
}

TEST(Axegen, EveryProfileGivesItsPinnedBytesInAnyChunkSize) {
  const struct {
    axegen::FileRecipe recipe;
    std::size_t size;
    std::uint64_t digest;
  } cases[] = {
      {{"realistic", 1, 307200, std::nullopt}, 307200, 0x2ef165bfdb0b53d3ULL},
      {{"realistic", 7, 12289, std::nullopt}, 12289, 0xfba74efb762835c0ULL},
      {{"realistic", 1, std::nullopt, 1000}, 110592, 0xbc7b5130b522ce92ULL},
      {{"edge", 2, 307200, std::nullopt}, 307200, 0x429b6382cb90b60aULL},
      {{"random", 3, 14000, std::nullopt}, 14000, 0xed07079cba193098ULL},
      {{"invalid", 0, 65536, std::nullopt}, 65536, 0x98183bd4e340eb5fULL},  // probe 079
      {{"invalid", 6, 65536, std::nullopt}, 65536, 0x438093dad1abb65dULL},  // probe 151
      {{"invalid", 2, 65536, std::nullopt}, 65536, 0xc8db4b401f98f3d9ULL},  // probe 000
      {{"invalid", 3, 65536, std::nullopt}, 10240, 0xe96f4e65406a0782ULL},  // cut short
      {{"invalid", 4, 65536, std::nullopt}, 65536, 0x6e690ac265a72125ULL},  // plain text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.recipe.profile + " seed " + std::to_string(c.recipe.seed));
    const std::string whole = axegen::generate(c.recipe);
    EXPECT_EQ(whole.size(), c.size);
    EXPECT_EQ(fnv1a(whole), c.digest);

    axegen::FileStream stream(c.recipe);
    std::vector<char> block(axegen::kBlock);
    std::string blockwise;
    while (const std::size_t n = stream.read(block.data(), block.size())) {
      blockwise.append(block.data(), n);
    }
    EXPECT_TRUE(blockwise == whole);
  }
}

}  // namespace
