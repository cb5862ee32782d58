// axegen: writes seeded, deterministic AXE data files for tests, samples and benchmarks.
//
// The generator itself is the axegen library (tools/axegen/); this file is its command line.
// Output is written chunk by chunk from a fixed buffer, so memory stays flat for any size.

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "axegen/layouts.h"
#include "axegen/profiles.h"

namespace {

constexpr std::size_t kChunkBlocks = 128;  // 256 KiB per write: stays in cache for the copy

// ---------------------------------------------------------------------------------------------
// Command line.

constexpr std::string_view kUsage =
    "usage: axegen [--profile NAME] [--size BYTES | --records N] [--seed N] -o FILE\n"
    "\n"
    "Writes a deterministic AXE data file for tests: the same profile, size and seed always give\n"
    "the same bytes.\n"
    "\n"
    "  --profile NAME  realistic (default)  plausible switch data, ~1% unknown record lengths\n"
    "                  edge       framing and field oddities; still passes the six probes\n"
    "                  random     random bytes behind six valid probe lengths\n"
    "                  invalid    fails the probe test; the seed picks how (seed mod 5):\n"
    "                             0: probe 079, 1: probe 151, 2: probe 000 in block\n"
    "                             1 + (seed / 5) mod 6; 3: file cut to at most 10240 bytes;\n"
    "                             4: plain text\n"
    "                  skips      3-character records only: 16 bytes out per 3 in\n"
    "  --size BYTES    file size, suffix K, M or G for KiB, MiB, GiB (default 1M)\n"
    "  --records N     realistic only: stop after N records (counting unknown and cut ones) and\n"
    "                  end the last block with \"000\"; fewer than ~110 records give a file\n"
    "                  shorter than six blocks, which the converter refuses\n"
    "  --seed N        unsigned 64-bit seed (default 1)\n"
    "  -o FILE         output file\n";

struct Options {
  std::string profile = "realistic";
  std::optional<std::uint64_t> size;
  std::optional<std::uint64_t> records;
  std::uint64_t seed = 1;
  std::string out;
};

bool parse_u64(std::string_view s, std::uint64_t& v) {
  if (s.empty()) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size();
}

bool parse_size(std::string_view s, std::uint64_t& v) {
  std::uint64_t unit = 1;
  if (!s.empty()) {
    switch (s.back()) {
      case 'K':
      case 'k':
        unit = 1ULL << 10;
        break;
      case 'M':
      case 'm':
        unit = 1ULL << 20;
        break;
      case 'G':
      case 'g':
        unit = 1ULL << 30;
        break;
      default:
        break;
    }
    if (unit != 1) s.remove_suffix(1);
  }
  std::uint64_t n = 0;
  if (!parse_u64(s, n) || n > (1ULL << 50) / unit) return false;
  v = n * unit;
  return true;
}

// Returns the options, or nullopt with the reason in why.
std::optional<Options> parse_args(int argc, char** argv, std::string& why) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::optional<std::string_view> inline_value;
    if (arg.starts_with("--")) {
      if (const auto eq = arg.find('='); eq != std::string_view::npos) {
        inline_value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
      }
    }
    auto value = [&]() -> std::optional<std::string_view> {
      if (inline_value) return inline_value;
      if (i + 1 < argc) return std::string_view(argv[++i]);
      return std::nullopt;
    };
    auto bad = [&](std::string_view what) {
      why = std::string(arg) + ": " + std::string(what);
      return std::nullopt;
    };

    if (arg == "--profile") {
      const auto v = value();
      if (!v) return bad("missing profile name");
      o.profile = std::string(*v);
    } else if (arg == "--size") {
      const auto v = value();
      std::uint64_t n = 0;
      if (!v || !parse_size(*v, n)) return bad("expected a byte count such as 40960, 24K or 1G");
      o.size = n;
    } else if (arg == "--records") {
      const auto v = value();
      std::uint64_t n = 0;
      if (!v || !parse_u64(*v, n) || n == 0) return bad("expected a positive record count");
      o.records = n;
    } else if (arg == "--seed") {
      const auto v = value();
      if (!v || !parse_u64(*v, o.seed)) return bad("expected an unsigned 64-bit number");
    } else if (arg == "-o" || arg == "--output") {
      const auto v = value();
      if (!v || v->empty()) return bad("missing file name");
      o.out = std::string(*v);
    } else {
      return bad("unknown option");
    }
  }
  const bool known_profile = o.profile == "realistic" || o.profile == "edge" ||
                             o.profile == "random" || o.profile == "invalid" ||
                             o.profile == "skips";
  if (!known_profile) {
    why = "unknown profile " + o.profile;
    return std::nullopt;
  }
  if (o.out.empty()) {
    why = "no output file (-o FILE)";
    return std::nullopt;
  }
  if (o.records && o.size) {
    why = "--records and --size exclude each other";
    return std::nullopt;
  }
  if (o.records && o.profile != "realistic") {
    why = "--records works with the realistic profile only";
    return std::nullopt;
  }
  return o;
}

int fail(const std::string& path, const char* what, int err) {
  std::fprintf(stderr, "axegen: %s %s: %s\n", what, path.c_str(), std::strerror(err));
  return 1;
}

int write_file(const Options& o) {
  axegen::FileStream stream({o.profile, o.seed, o.size, o.records});
  std::FILE* f = std::fopen(o.out.c_str(), "wb");
  if (f == nullptr) return fail(o.out, "cannot open", errno);
  std::setvbuf(f, nullptr, _IONBF, 0);  // writes are already large; skip stdio's copy

  std::vector<char> buf(kChunkBlocks * axegen::kBlock);
  while (const std::size_t n = stream.read(buf.data(), buf.size())) {
    if (std::fwrite(buf.data(), 1, n, f) != n) {
      const int err = errno;
      std::fclose(f);
      return fail(o.out, "cannot write", err);
    }
  }
  if (std::fclose(f) != 0) return fail(o.out, "cannot write", errno);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage.data(), stdout);
      return 0;
    }
  }
  std::string why;
  const std::optional<Options> options = parse_args(argc, argv, why);
  if (!options) {
    std::fprintf(stderr, "axegen: %s\n\n", why.c_str());
    std::fputs(kUsage.data(), stderr);
    return 2;
  }
  return write_file(*options);
}
