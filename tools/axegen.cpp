// axegen: writes seeded, deterministic AXE data files for tests, samples and benchmarks.
//
// The generator itself is the axegen library (tools/axegen/); this file is its command line.
// Output is written chunk by chunk from a fixed buffer, so memory stays flat for any size.

#include <getopt.h>

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
  enum : int { kProfile = 256, kSize, kRecords, kSeed };
  static const option kLongOptions[] = {
      {"profile", required_argument, nullptr, kProfile},
      {"size", required_argument, nullptr, kSize},
      {"records", required_argument, nullptr, kRecords},
      {"seed", required_argument, nullptr, kSeed},
      {"output", required_argument, nullptr, 'o'},
      {"help", no_argument, nullptr, 'h'},
      {nullptr, 0, nullptr, 0},
  };
  opterr = 0;  // the messages are our own
  optind = 0;
  for (;;) {
    const int before = optind;
    const int c = ::getopt_long(argc, argv, ":o:h", kLongOptions, nullptr);
    if (c == -1) break;
    // The option as typed: a long one up to its "=", a short one by its letter.
    // A value given as the next argument puts the option one further back.
    const bool separate_value = optarg != nullptr && optind >= 2 && optarg == argv[optind - 1];
    const std::string_view word = optind > before ? argv[optind - 1 - separate_value] : "";
    const std::string arg = word.starts_with("--")
                                ? std::string(word.substr(0, word.find('=')))
                                : std::string("-") + static_cast<char>(optopt ? optopt : c);
    const std::string_view v = optarg != nullptr ? optarg : "";
    auto bad = [&](std::string_view what) {
      why = arg + ": " + std::string(what);
      return std::nullopt;
    };
    std::uint64_t n = 0;
    switch (c) {
      case kProfile:
        o.profile = std::string(v);
        break;
      case kSize:
        if (!parse_size(v, n)) return bad("expected a byte count such as 40960, 24K or 1G");
        o.size = n;
        break;
      case kRecords:
        if (!parse_u64(v, n) || n == 0) return bad("expected a positive record count");
        o.records = n;
        break;
      case kSeed:
        if (!parse_u64(v, o.seed)) return bad("expected an unsigned 64-bit number");
        break;
      case 'o':
        if (v.empty()) return bad("missing file name");
        o.out = std::string(v);
        break;
      case 'h':
        break;  // main prints the help before parsing
      case ':':
        return bad("missing value");
      default:
        return bad("unknown option");
    }
  }
  if (optind < argc) {
    why = std::string(argv[optind]) + ": unexpected argument";
    return std::nullopt;
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
    std::fprintf(stderr, "axegen: %s\nTry 'axegen --help'.\n", why.c_str());
    return 2;
  }
  return write_file(*options);
}
