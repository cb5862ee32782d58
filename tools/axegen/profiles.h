#pragma once

// axegen's profiles: seeded, deterministic AXE data files for tests, samples and benchmarks. The
// same profile, size and seed always give the same bytes.
//
//   realistic  plausible switch data, ~1% unknown record lengths
//   edge       framing and field oddities; still passes the six probes
//   random     random bytes behind six valid probe lengths
//   invalid    fails the probe test; the seed picks how (seed mod 5): 0: probe 079, 1: probe 151,
//              2: probe 000 in block 1 + (seed / 5) mod 6; 3: file cut to at most 10240 bytes;
//              4: plain text

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace axegen {

inline constexpr std::uint64_t kDefaultSize = 1024 * 1024;

// What to generate.
struct FileRecipe {
  std::string profile = "realistic";
  std::uint64_t seed = 1;
  std::optional<std::uint64_t> size;     // kDefaultSize when neither size nor records is given
  std::optional<std::uint64_t> records;  // realistic only: stop after N records, "000" at the end
};

// Whether name is one of the profiles above.
bool is_profile(std::string_view name);

class Generator;

// Produces a file's bytes front to back in fixed memory, whatever the file size.
class FileStream {
 public:
  // Throws std::invalid_argument for an unknown profile.
  explicit FileStream(const FileRecipe& recipe);
  ~FileStream();
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  // Writes the next bytes of the file to out, at most capacity (a multiple of kBlock), and
  // returns how many; 0 once the file is complete.
  std::size_t read(char* out, std::size_t capacity);

 private:
  std::unique_ptr<Generator> gen_;
  std::optional<std::uint64_t> size_;  // absent: run until the generator finishes
  std::uint64_t produced_ = 0;
  std::uint64_t index_ = 0;
};

// The whole file in memory.
std::string generate(const FileRecipe& recipe);

}  // namespace axegen
