// The fast path (DataFileReader, DataFileScanner, RecordDecoder) against the reference converter,
// byte for byte, on many generated files: our own generator aimed at block borders and odd length
// prefixes, and axegen's profiles.
//
// VEMO_DIFF_FILES and VEMO_DIFF_SEED (environment) change how many files are generated and from
// which seed; a mismatching file is kept under the temp folder and its path printed.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "axegen/profiles.h"
#include "core/line_format.h"
#include "core/parallel_converter.h"
#include "core/record_decoder.h"
#include "reference/core_converter.h"
#include "reference/reference_converter.h"
#include "run/extraction_run.h"
#include "support/compression.h"
#include "support/record_builder.h"
#include "support/recording_observer.h"
#include "support/scratch_dir.h"

namespace vemo {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBlock = 2048;

std::uint64_t env_number(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Where two outputs part: the line number and both lines, control characters made visible.
std::string first_difference(const std::string& expected, const std::string& actual) {
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  const std::size_t line_start = expected.rfind('\n', at == 0 ? 0 : at - 1);
  const std::size_t from = line_start == std::string::npos ? 0 : line_start + 1;
  std::size_t line_number = 1;
  for (std::size_t i = 0; i < from; ++i) line_number += expected[i] == '\n';
  auto line_at = [from](const std::string& s) {
    std::string shown;
    for (std::size_t i = from; i < s.size() && s[i] != '\n'; ++i) {
      const unsigned char c = static_cast<unsigned char>(s[i]);
      if (c < 32 || c >= 127) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        shown += hex;
      } else {
        shown += static_cast<char>(c);
      }
    }
    return shown;
  };
  std::ostringstream out;
  out << "line " << line_number << " (byte " << at << ")\n  reference: " << line_at(expected)
      << "\n  fast path: " << line_at(actual);
  return out.str();
}

// Converts `bytes` both ways and compares everything the two can be compared on. Returns true
// when they agree; otherwise keeps the file for reproduction.
bool agree(const test::ScratchDir& dir, const std::string& name, const std::string& bytes) {
  const fs::path path = fs::path(dir / "input.dat");
  write_file(path, bytes);

  const std::string expected = reference_convert(bytes);
  const CoreConversion core = convert_with_core(path.string());
  const CoreConversion core_unchecked = convert_with_core(path.string(), /*probe_test=*/false);
  bool ok = true;
  auto fail = [&](const std::string& what) {
    if (ok) {
      const fs::path kept = fs::temp_directory_path() / ("vemo-diff-mismatch-" + name + ".dat");
      write_file(kept, bytes);
      ADD_FAILURE() << name << " (" << bytes.size() << " bytes, kept as " << kept << "): " << what;
    } else {
      ADD_FAILURE() << name << ": " << what;
    }
    ok = false;
  };

  if (!core.opened) fail("the fast path could not open the file");
  if (core.accepted != reference_is_data_file(bytes)) {
    fail(std::string("probe test: reference ") +
         (reference_is_data_file(bytes) ? "accepts" : "rejects"));
  }
  if (core.output != expected) fail("output differs at " + first_difference(expected, core.output));
  if (core.scan != ScanResult::kCompleted) fail("scan did not complete");
  // Compressed, the same file reads as a stream: the same lines.
  for (const auto& [form, compressed] :
       {std::pair{"gzip", test::gzip(bytes)}, {"zstd", test::zstd(bytes)}}) {
    const CoreConversion decompressed = convert_with_core(dir.file("input.dat.z", compressed));
    if (decompressed.output != expected || decompressed.scan != ScanResult::kCompleted) {
      fail(std::string(form) + " form differs at " +
           first_difference(expected, decompressed.output));
    }
  }

  // Without the probe test every file reaches the scanner, rejected ones included.
  std::string all_lines;
  for (const std::string& line : reference_scan_lines(bytes)) all_lines += line + "\r\n";
  if (core_unchecked.output != all_lines) {
    fail("unchecked scan differs at " + first_difference(all_lines, core_unchecked.output));
  }
  // One block per 2048 bytes, and one more: the read that finds the end of the file.
  const std::size_t blocks = bytes.size() / kBlock + 1;
  std::vector<std::uint64_t> positions;
  for (std::size_t b = 1; b <= blocks; ++b) positions.push_back(b * kBlock + 1);
  if (core_unchecked.block_ends != positions) {
    fail("block ends: " + std::to_string(core_unchecked.block_ends.size()) + " calls, expected " +
         std::to_string(blocks));
  }
  if (core_unchecked.longest_line > RecordDecoder::kMaxLineSize) fail("a line overran its room");

  // The parallel path of large files, here with small chunks (one or three blocks, by the size)
  // so that files cross chunk borders.
  DataFileReader reader;
  const std::size_t blocks_per_chunk = bytes.size() % 2 == 0 ? 1 : 3;
  const CoreConversion parallel = convert_in_parallel(reader, path.string(), 2, blocks_per_chunk);
  if (parallel.output != all_lines) {
    fail("parallel conversion (chunks of " + std::to_string(blocks_per_chunk) +
         " blocks) differs at " + first_difference(all_lines, parallel.output));
  }
  if (parallel.records != core_unchecked.records) fail("parallel conversion counts differ");
  if (parallel.scan != ScanResult::kCompleted) fail("parallel conversion did not complete");
  if (parallel.block_ends.empty() || parallel.block_ends.back() != positions.back()) {
    fail("parallel conversion ends at the wrong block");
  }
  return ok;
}

// ---------------------------------------------------------------------------------------------
// Our generator: blocks built record by record, aimed at the places where converters go wrong.

class Rng {
 public:
  explicit Rng(std::uint64_t seed) : engine_(seed) {}
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(engine_() % n); }
  bool chance(int percent) { return below(100) < static_cast<std::size_t>(percent); }
  template <typename T>
  const T& pick(const std::vector<T>& from) {
    return from[below(from.size())];
  }

 private:
  std::mt19937_64 engine_;
};

const std::vector<int> kKnownLengths = {97, 105, 108, 109, 112, 113, 116, 119};

// A length near a known one, or anything a three-digit prefix can say.
int record_length(Rng& rng) {
  if (rng.chance(70)) return rng.pick(kKnownLengths) + (rng.chance(70) ? 0 : int(rng.below(5)) - 2);
  if (rng.chance(50)) return 80 + int(rng.below(71));
  return 1 + int(rng.below(999));
}

// Characters that mean something to one of the rules.
const char kTrickyChars[] = " \t\n\r\0+-.EeDdFf&HhOo,X0123456789\x7f\x80\xff";
const std::string kTricky(kTrickyChars, sizeof kTrickyChars - 1);

char content_char(Rng& rng, int style) {
  switch (style) {
    case 0:  // digits and blanks, the usual record
      return rng.chance(80) ? char('0' + rng.below(10)) : ' ';
    case 1:  // mostly digits, sometimes a character that a rule treats specially
      return rng.chance(85) ? char('0' + rng.below(10)) : kTricky[rng.below(kTricky.size())];
    case 2:
      return kTricky[rng.below(kTricky.size())];
    default:
      return static_cast<char>(rng.below(256));
  }
}

// Field contents that the number and trimming rules treat specially, put where the number fields
// of one layout or another lie (record positions 33, 34, 37; 56, 62, 68, 72, 74, 78).
const std::vector<std::string> kFieldPatterns = {
    "      F        ", "   123F        ", "123FF          ", "123 F          ", "F",      "  F",
    "123f           ", " 1 2 3",          "007090",          "-00012",          "12.500", "1E-300",
    "1D308 ",          "&HFFFF",          "&o777 ",          "-.5e3 ",          "9e9999", "1e-320",
    "000.5 ",          ".5E-5 ",          "1E20  ",          "-1D15 ",          "99999e", "1.5E+2",
    "-0    ",
};
const std::vector<std::size_t> kFieldPositions = {33, 34, 37, 56, 62, 68, 72, 74, 78};

// The characters of a record after its three-character prefix.
std::string record_body(Rng& rng, std::size_t n) {
  const int style = int(rng.below(4));
  std::string body;
  for (std::size_t i = 0; i < n; ++i) body += content_char(rng, style);
  for (int i = 0; i < 3 && rng.chance(40); ++i) {
    const std::size_t at = rng.pick(kFieldPositions) - 4;  // body index of a record position
    const std::string& pattern = rng.pick(kFieldPatterns);
    if (at < n) body.replace(at, std::min(pattern.size(), n - at), pattern, 0, n - at);
  }
  return body;
}

// Three characters reading as `length`, in one of the ways the number rule allows.
std::string prefix_for(Rng& rng, int length) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%03d", length);
  if (length >= 100 || !rng.chance(40)) return digits;
  const std::string d = std::to_string(length);
  switch (rng.below(6)) {
    case 0:
      return std::string(3 - d.size(), ' ') + d;
    case 1:
      return d + std::string(3 - d.size(), ' ');
    case 2:
      return d.size() == 2 ? d.substr(0, 1) + " " + d.substr(1) : "\t" + d + " ";
    case 3:
      return "+" + std::string(2 - std::min<std::size_t>(2, d.size()), '0') + d.substr(0, 2);
    case 4:
      return d + std::string(3 - d.size(), '\0');
    default:
      return "\n" + std::string(2 - d.size(), '0') + d;
  }
}

// Prefixes whose reading is not three plain digits: fractions, exponents, radix numbers, and
// values below 1 that end the block.
const std::vector<std::string> kOddPrefixes = {
    "1.5",
    "2.5",
    "9.9",
    "1e2",
    "1D2",
    "9E1",
    "&H7",
    "&h7",
    "&O7",
    "&o1",
    "1 1",
    "+12",
    "000",
    "   ",
    std::string(3, '\0'),
    "-97",
    ".5 ",
    "0.9",
    "-0 ",
    "+0 ",
    "e12",
    "&HX",
    "-1 ",
    "1e-",
    ".  ",
    std::string("1\0"
                "9",
                3),
    "1\t2",
    "&H",
    "0e5",
    "119",
};

// One 2048-byte block. `probe` is what its first prefix says when given.
std::string make_block(Rng& rng, const std::string& probe) {
  std::string block;
  bool first = true;
  // Aim: bring a record start to 2049 - cut, then put one whose length runs past the block end,
  // so that every field of every layout is seen cut short; cuts 1-4 are offsets 2048-2045.
  const bool aimed = rng.chance(60);
  const std::size_t cut = rng.chance(40) ? 1 + rng.below(4) : 1 + rng.below(125);
  const std::size_t target = kBlock + 1 - cut;  // 1-based start of the aimed record

  while (block.size() < kBlock) {
    const std::size_t k = block.size() + 1;
    std::string prefix;
    int length;
    if (first && !probe.empty()) {
      prefix = probe;
      length = int(reference_val(probe));
    } else if (aimed && k < target) {
      // Fill with whole records and land exactly on the target.
      const std::size_t distance = target - k;
      if (distance > 240) {
        length = rng.pick(kKnownLengths);
      } else if (distance >= 160) {
        length = int(distance / 2);
      } else if (distance >= 3) {
        length = int(distance);
      } else {
        length = int(distance);  // 1 or 2: the prefix reaches into what follows
      }
      prefix = prefix_for(rng, length);
    } else if (aimed && k == target) {
      prefix = rng.chance(80) ? prefix_for(rng, rng.pick(kKnownLengths)) : rng.pick(kOddPrefixes);
      length = 999;
    } else if (rng.chance(8)) {
      prefix = rng.pick(kOddPrefixes);
      length = 3;
    } else {
      length = record_length(rng);
      prefix = prefix_for(rng, length);
    }
    first = false;
    block += prefix;
    const std::size_t body = length > 3 ? std::size_t(length) - 3 : 0;
    block += record_body(rng, body);
    if (!aimed && rng.chance(3)) {
      block += "000";  // ends the block; what follows must be ignored
      block += record_body(rng, 2048);
    }
  }
  block.resize(kBlock);
  return block;
}

std::string make_file(Rng& rng) {
  // Mostly files that pass the probe test; some with a probe just out of range.
  const std::vector<std::string> good_probes = {"119", "113", "109", "097", "080",
                                                "150", " 97", "1e2", "97 "};
  const std::vector<std::string> bad_probes = {"079", "151", "000", "-97", "  ", "&H5", "1e3"};
  const std::size_t blocks = 5 + rng.below(5);
  const std::size_t bad_block = rng.chance(10) ? rng.below(6) : SIZE_MAX;
  std::string bytes;
  for (std::size_t b = 0; b < blocks; ++b) {
    std::string probe;
    if (b == bad_block) {
      probe = rng.pick(bad_probes);
    } else if (b < 6 || rng.chance(50)) {
      probe = rng.chance(80) ? prefix_for(rng, rng.pick(kKnownLengths)) : rng.pick(good_probes);
    }
    bytes += make_block(rng, probe.substr(0, 3));
  }
  // Exact multiples of 2048, a short last block, or cut anywhere (also below six blocks).
  switch (rng.below(5)) {
    case 0:
      break;
    case 1:
    case 2:
      bytes.resize(bytes.size() - kBlock + 1 + rng.below(kBlock - 1));
      break;
    case 3: {
      const std::size_t sizes[] = {0, 1, 2, 3, 2047, 2048, 2049, 10240, 10241, 10242, 10243};
      bytes.resize(std::min(bytes.size(), sizes[rng.below(std::size(sizes))]));
      break;
    }
    default:
      bytes.resize(rng.below(bytes.size() + 1));
  }
  return bytes;
}

TEST(Differential, GeneratedFilesAgreeByteForByte) {
  const std::uint64_t seed = env_number("VEMO_DIFF_SEED", 20240607);
  const std::uint64_t count = env_number("VEMO_DIFF_FILES", 1500);
  const test::ScratchDir dir;
  Rng rng(seed);
  int failures = 0;
  for (std::uint64_t i = 0; i < count && failures < 5; ++i) {
    const std::string bytes = make_file(rng);
    if (!agree(dir, "seed" + std::to_string(seed) + "-file" + std::to_string(i), bytes)) {
      ++failures;
    }
  }
}

// Every known length and its neighbours cut at every position a block end can cut it, with the
// odd prefixes in front of the same bodies: the whole decoder table in one sweep.
TEST(Differential, EveryLengthCutAtEveryPosition) {
  const test::ScratchDir dir;
  Rng rng(7);
  std::vector<std::string> prefixes = kOddPrefixes;
  for (int length = 90; length <= 125; ++length) prefixes.push_back(prefix_for(rng, length));
  int index = 0;
  for (const std::string& prefix : prefixes) {
    std::string file;
    for (std::size_t cut = 1; cut <= 126; ++cut) {
      // Block: a probe record of 119, fillers, then the tested record starting at 2049 - cut.
      std::string block = "119" + record_body(rng, 116);
      const std::size_t target = kBlock + 1 - cut;
      while (block.size() + 1 + 240 < target) block += "113" + record_body(rng, 110);
      const std::size_t gap = target - 1 - block.size();
      if (gap >= 160) {
        block += "080" + record_body(rng, 77);
      }
      const std::size_t rest = target - 1 - block.size();
      char filler[8];
      std::snprintf(filler, sizeof filler, "%03zu", rest);
      block += filler + record_body(rng, rest - 3);
      block += prefix;
      block += record_body(rng, kBlock);
      block.resize(kBlock);
      file += block;
    }
    agree(dir, "cut-" + std::to_string(index++), file);
  }
}

// The whole run: many files, rejected ones among them, into one output file through the run's
// own writer. The output must be the reference's outputs one after another.
class FolderSelection : public SelectionView {
 public:
  FolderSelection(std::string folder, std::vector<std::string> names, std::string output)
      : folder_(std::move(folder)), names_(std::move(names)), output_(std::move(output)) {}
  std::string current_folder() const override { return folder_; }
  std::size_t item_count() const override { return names_.size(); }
  std::string item_name(std::size_t index) const override { return names_[index]; }
  bool selected(std::size_t) const override { return true; }
  std::string output_path() const override { return output_; }

 private:
  std::string folder_;
  std::vector<std::string> names_;
  std::string output_;
};

// Goes on after every rejected file, and records nothing.
class GoOnObserver : public RunObserver {
 public:
  void set_file_status(const FileStatus&) override {}
  void clear_status() override {}
  void set_progress(int) override {}
  bool ask_yes_no(const Question&) override { return true; }
  void show_message(const Message&) override {}
  void open_viewer(const std::string&) override {}
};

TEST(Differential, ExtractionRunWritesTheReferenceOutput) {
  const test::ScratchDir dir;
  Rng rng(env_number("VEMO_DIFF_SEED", 20240607) + 1);
  std::vector<std::string> names;
  std::string expected;
  std::int64_t expected_records = 0;
  for (int i = 0; i < 200; ++i) {
    std::string bytes = make_file(rng);
    if (i % 50 == 0) {
      // A few larger files, built from many generated blocks.
      for (int j = 0; j < 40; ++j) bytes += make_file(rng);
    }
    names.push_back("file" + std::to_string(i) + ".dat");
    write_file(fs::path(dir / names.back()), bytes);
    expected += reference_convert(bytes);
    expected_records += static_cast<std::int64_t>(reference_lines(bytes).size());
  }
  const FolderSelection selection(dir / "", names, dir / "out.txt");
  GoOnObserver observer;
  RunState state;
  const RunResult result = extract(state, selection, observer);
  EXPECT_EQ(result.end, RunEnd::kCompleted);
  EXPECT_EQ(result.records, expected_records);
  const std::string output = read_file(fs::path(dir / "out.txt"));
  EXPECT_TRUE(output == expected) << first_difference(expected, output);
}

// Files large enough for a run with jobs to decode them in parallel (four chunks and more):
// the same bytes as the reference, and as a run on one thread.
TEST(Differential, ParallelRunWritesTheReferenceOutput) {
  const test::ScratchDir dir;
  Rng rng(env_number("VEMO_DIFF_SEED", 20240607) + 2);
  const std::size_t chunk = ParallelConverter::kChunkBytes;
  const std::size_t sizes[] = {4 * chunk + 1000, 5 * chunk, 4 * chunk - 2048};
  std::vector<std::string> names;
  std::string expected;
  std::int64_t expected_records = 0;
  for (const std::size_t size : sizes) {
    std::string bytes;
    while (bytes.size() < size) {
      const std::string probe = bytes.size() < 6 * kBlock ? "119" : "";
      bytes += make_block(rng, rng.chance(80) ? prefix_for(rng, 113) : probe);
    }
    bytes.resize(size);
    names.push_back("large" + std::to_string(names.size()) + ".dat");
    write_file(fs::path(dir / names.back()), bytes);
    expected += reference_convert(bytes);
    expected_records += static_cast<std::int64_t>(reference_lines(bytes).size());
  }
  for (const unsigned jobs : {2u, 1u}) {
    const FolderSelection selection(dir / "", names, dir / "out.txt");
    GoOnObserver observer;
    RunState state;
    RunOptions options;
    options.jobs = jobs;
    const RunResult result = extract(state, selection, observer, options);
    EXPECT_EQ(result.end, RunEnd::kCompleted) << jobs << " jobs";
    EXPECT_EQ(result.records, expected_records) << jobs << " jobs";
    const std::string output = read_file(fs::path(dir / "out.txt"));
    EXPECT_TRUE(output == expected) << jobs << " jobs: " << first_difference(expected, output);
  }
}

// Many small files decoded ahead, several at once, with rejected, missing and unreadable ones, a
// large file and a skip-heavy one among them: for every job count, and whether the user goes on
// after every question or says No to one, the same bytes, counters, status texts, questions and
// messages in the same order as on one thread.
TEST(Differential, ManyFilesRunMatchesOneThreadWhateverTheJobs) {
  const test::ScratchDir dir;
  Rng rng(env_number("VEMO_DIFF_SEED", 20240607) + 3);
  std::vector<std::string> names;
  auto add = [&](const std::string& bytes) {
    names.push_back("small" + std::to_string(names.size()) + ".dat");
    write_file(fs::path(dir / names.back()), bytes);
  };
  for (int i = 0; i < 40; ++i) {
    add(i % 8 == 3 ? axegen::generate({"realistic", std::uint64_t(i), 200 << 10, std::nullopt})
                   : make_file(rng));
    if (i == 5) names.push_back("missing.dat");
    if (i == 12) {
      names.push_back("folder.dat");
      fs::create_directory(dir / names.back());
    }
    if (i == 20) add(axegen::generate({"skips", 1, 3 << 19, std::nullopt}));
    if (i == 30) {
      std::string large;
      while (large.size() < 4 * ParallelConverter::kChunkBytes + 5000) {
        large += make_block(rng, large.size() < 6 * kBlock ? "119" : "");
      }
      add(large);
    }
  }

  struct Outcome {
    std::string output;
    RunResult result;
    std::vector<std::string> events;
  };
  auto run = [&](unsigned jobs, int no_at) {
    const FolderSelection selection(dir.path(), names, dir / "out.txt");
    test::RecordingObserver observer;
    observer.record_progress = false;
    for (int i = 1; i < no_at; ++i) observer.answers.push_back(true);
    if (no_at > 0) observer.answers.push_back(false);
    RunState state;
    RunOptions options;
    options.jobs = jobs;
    const RunResult result = extract(state, selection, observer, options);
    return Outcome{read_file(fs::path(dir / "out.txt")), result, observer.events};
  };

  for (const int no_at : {0, 3}) {
    const Outcome one = run(1, no_at);
    EXPECT_EQ(one.result.end, no_at == 0 ? RunEnd::kCompleted : RunEnd::kDeclined);
    for (unsigned jobs = 2; jobs <= 7; ++jobs) {
      SCOPED_TRACE(std::to_string(jobs) + " jobs, No to question " + std::to_string(no_at));
      const Outcome many = run(jobs, no_at);
      EXPECT_TRUE(many.output == one.output) << first_difference(one.output, many.output);
      EXPECT_EQ(many.result.end, one.result.end);
      EXPECT_EQ(many.result.records, one.result.records);
      EXPECT_EQ(many.result.files, one.result.files);
      EXPECT_EQ(many.result.skipped_files, one.result.skipped_files);
      EXPECT_EQ(many.events, one.events);
    }
  }
}

TEST(Differential, AxegenProfilesAgree) {
  const test::ScratchDir dir;
  const struct {
    const char* profile;
    std::uint64_t size;
  } runs[] = {
      {"realistic", 300 << 10}, {"realistic", 12289}, {"edge", 300 << 10},   {"edge", 20480},
      {"random", 300 << 10},    {"random", 14000},    {"invalid", 64 << 10},
  };
  for (const auto& run : runs) {
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
      agree(dir,
            std::string("axegen-") + run.profile + "-" + std::to_string(run.size) + "-" +
                std::to_string(seed),
            axegen::generate({run.profile, seed, run.size, std::nullopt}));
    }
  }
}

// A byte that a format quotes or escapes, at every position of a whole record of every known
// length: the row from the block loop, with and without the provenance columns, and from the
// record decoder is the reference's. The block loop looks for such bytes only where it loads a
// record's fields, so a field byte it missed would show here.
TEST(Formats, AQuotedByteAnywhereInAWholeRecord) {
  const std::string bytes = {',', '"', '\t', '\r', '\n', '\\', '\0', '\xe9'};
  const struct {
    FormatId id;
    std::string name, provenance;  // the file and offset columns for file "f", offset 0
  } formats[] = {{FormatId::kCsv, "csv", "f,0,"},
                 {FormatId::kTsv, "tsv", "f\t0\t"},
                 {FormatId::kJsonl, "jsonl", R"("file":"f","offset":0,)"}};
  std::string out(1 << 20, '\0');
  for (const int length : {97, 105, 108, 109, 112, 113, 116, 119}) {
    for (std::size_t at = 3; at < static_cast<std::size_t>(length); ++at) {
      for (const char byte : bytes) {
        std::string record = test::sample_record(length, static_cast<int>(at));
        record[at] = byte;
        const auto columns = reference_columns(record, length);
        const std::string block = test::block_of({record});
        for (const auto& f : formats) {
          SCOPED_TRACE(f.name + ", length " + std::to_string(length) + ", byte " +
                       std::to_string(static_cast<unsigned char>(byte)) + " at " +
                       std::to_string(at));
          const std::string with = reference_row(f.name, "f", 0, columns);
          std::string without = with;
          without.erase(f.id == FormatId::kJsonl ? 1 : 0, f.provenance.size());
          const LineEncoder provenance({f.id, true, true, true}, "f");
          const LineEncoder plain({f.id}, "f");
          std::int64_t records = 0;
          EXPECT_EQ(std::string(out.data(), plain.decode_block(block, 0, out.data(), records)),
                    without);
          EXPECT_EQ(std::string(out.data(), provenance.decode_block(block, 0, out.data(), records)),
                    with);
          EXPECT_EQ(std::string(out.data(), plain.decode_record(record, length, 0, out.data())),
                    without);
        }
      }
    }
  }
}

}  // namespace
}  // namespace vemo
