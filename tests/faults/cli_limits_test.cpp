// vemo-convert under a failing disk, a file still being written, and too little memory or too
// few processes for its threads: the lines of earlier files and blocks always survive, and the
// outcome does not depend on the number of jobs.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fault_support.h"
#include "support/record_builder.h"

namespace vemo {
namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
// Sanitizers reserve far more address space than any limit here, and their leak check at exit
// starts a process of its own.
#define VEMO_SANITIZED 1
#endif
#endif

namespace fs = std::filesystem;
using faults::clean_output;
using faults::count_lines;
using faults::Launch;
using faults::Outcome;
using faults::ScratchDir;

std::string line(const std::string& text) {
  return faults::cli_line(text);
}
std::string summary(std::int64_t records, int files) {
  return line(std::to_string(records) + " Records Written from " + std::to_string(files) +
              " Files");
}

constexpr int kBigBlocks = 2600;  // about 5 MiB: large enough for the parallel path

TEST(CliReadFaults, ReadErrorKeepsEveryBlockBeforeItWhateverTheJobs) {
  // The shim fails every read from byte `fail_from` on; reads before it succeed. A large file is
  // decoded in chunks, a small one among others by one worker ahead of the run.
  const ScratchDir dir;
  const std::string a = dir.file("a.dat", test::data_file_with_records(20));
  const std::string c = dir.file("c.dat", test::data_file_with_records(30));
  const struct {
    int blocks;
    std::size_t fail_from;
  } cases[] = {{kBigBlocks, 3000000}, {kBigBlocks, 2048 * 1500}, {120, 2048 * 50 + 700}};
  for (const auto& k : cases) {
    const std::string bytes = test::data_file_bytes(k.blocks);
    const std::string bad = dir.file("file.bad", bytes);
    // What a clean run gives for the blocks wholly before the failure.
    const std::string before = dir.file("before.dat", bytes.substr(0, k.fail_from / 2048 * 2048));
    const std::string expected = clean_output({a, before, c});
    for (const char* jobs : {"1", "2", "3"}) {
      SCOPED_TRACE(std::to_string(k.fail_from) + " -j " + jobs);
      Launch l;
      l.argv = {VEMO_CONVERT, "-j", jobs, "-o", "-", a, bad, c};
      l.env = {"LD_PRELOAD=" READ_FAULT_SHIM,
               "VEMO_FAIL_READS_FROM=" + std::to_string(k.fail_from)};

      const Outcome o = faults::run(l);

      EXPECT_EQ(o.status, 1);
      EXPECT_TRUE(o.out == expected) << count_lines(o.out) << " lines";
      EXPECT_EQ(o.err, line("Cannot read the input file " + bad + " at byte " +
                            std::to_string(k.fail_from) + ": Input/output error") +
                           summary(count_lines(expected), 3));
    }
  }
}

TEST(CliReadFaults, OutputDirKeepsTheEarlierOutputOfAnInputThatFailsMidway) {
  const ScratchDir dir;
  const std::string a = dir.file("a.dat", test::data_file_with_records(20));
  const std::string bad = dir.file("file.bad", test::data_file_bytes(4096));  // 8 MiB
  const std::string c = dir.file("c.dat", test::data_file_with_records(30));
  for (const bool stop : {false, true}) {
    for (const char* jobs : {"1", "2", "7"}) {
      SCOPED_TRACE(std::string(stop ? "--stop-on-invalid" : "") + " -j " + jobs);
      const ScratchDir out;
      const std::string earlier = out.file("file.csv", "the complete earlier output\r\n");
      Launch l;
      l.argv = {VEMO_CONVERT, "-j", jobs, "--output-dir", out.path(), a, bad, c};
      if (stop) l.argv.insert(l.argv.begin() + 1, "--stop-on-invalid");
      l.env = {"LD_PRELOAD=" READ_FAULT_SHIM, "VEMO_FAIL_READS_FROM=3000000"};

      const Outcome o = faults::run(l);

      EXPECT_EQ(o.status, 1) << o.err;
      EXPECT_TRUE(test::read_file(earlier) == "the complete earlier output\r\n");
      std::vector<std::string> names;
      for (const auto& e : fs::directory_iterator(out.path())) {
        names.push_back(e.path().filename().string());
      }
      std::sort(names.begin(), names.end());
      const std::vector<std::string> expected =
          stop ? std::vector<std::string>{"a.csv", "file.csv"}
               : std::vector<std::string>{"a.csv", "c.csv", "file.csv"};
      EXPECT_EQ(names, expected);
    }
  }
}

TEST(CliReadFaults, FileThatGrowsWhileReadIsReported) {
  const ScratchDir dir;
  for (const char* jobs : {"1", "3"}) {
    SCOPED_TRACE(std::string("-j ") + jobs);
    const std::string bytes = test::data_file_bytes(kBigBlocks);
    const std::string growing = dir.file("growing.bad", bytes);
    Launch l;
    l.argv = {VEMO_CONVERT, "-j", jobs, "-o", "-", growing};
    l.env = {"LD_PRELOAD=" READ_FAULT_SHIM, "VEMO_GROW_AT=1000000"};

    const Outcome o = faults::run(l);

    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err,
              line(growing + " changed size while it was read (" + std::to_string(bytes.size()) +
                   " \xE2\x86\x92 " + std::to_string(bytes.size() + 1000) + " bytes)") +
                  summary(count_lines(o.out), 1));
  }
}

TEST(CliResourceLimits, ThreadsOrMemoryThatCannotBeHadFallBackToOneThread) {
#ifdef VEMO_SANITIZED
  GTEST_SKIP() << "resource limits do not apply to a sanitized build";
#endif
  const auto user = faults::nobody();
  const ScratchDir dir;
  fs::permissions(dir.path(), fs::perms::all);
  const std::string a = dir.file("a.dat", test::data_file_with_records(20));
  const std::string big = dir.file("big.dat", test::data_file_bytes(kBigBlocks));
  const std::string expected = clean_output({a, big});
  struct Case {
    const char* what;
    std::uint64_t address_space;  // RLIMIT_AS
    int processes;                // RLIMIT_NPROC, as "nobody" when run by root
  };
  const Case cases[] = {
      {"no room for thread stacks", 40u << 20, 0},
      {"no room for the chunk buffers", 28u << 20, 0},
      {"no second process", 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Launch l;
    l.argv = {VEMO_CONVERT, "-j", "7", "-o", "-", a, big};
    l.max_address_space = c.address_space;
    l.max_processes = c.processes;
    if (c.processes > 0 && ::geteuid() == 0) {
      if (!user) continue;  // root is not bound by RLIMIT_NPROC
      l.run_as = user;
    }

    const Outcome o = faults::run(l);

    if (o.status == 125) continue;  // privileges could not be dropped
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(o.out == expected) << count_lines(o.out) << " lines";
    EXPECT_EQ(o.err, summary(count_lines(expected), 2));
  }
}

TEST(CliResourceLimits, LimitsGiveTheResultOfOneJobOrAnOutputFailure) {
#ifdef VEMO_SANITIZED
  GTEST_SKIP() << "resource limits do not apply to a sanitized build";
#endif
  const ScratchDir dir;
  // Large enough that the workers still hold them while the next ones are opened.
  const std::string a = dir.file("a.dat", test::data_file_with_records(2000));
  const std::string b = dir.file("b.dat", test::data_file_with_records(3000));
  const std::string big = dir.file("big.dat", test::data_file_with_records(20000));
  const std::string kept = "earlier output\r\n";
  struct Case {
    const char* what;
    std::vector<std::string> inputs;
    int open_files;               // RLIMIT_NOFILE
    std::uint64_t address_space;  // RLIMIT_AS
    std::uint64_t file_size;      // RLIMIT_FSIZE
    int status;
    std::string err;  // standard error; empty: the summary of a clean run
  };
  const std::string out = dir / "out.csv";
  const Case cases[] = {
      // Descriptors for the standard streams, the output and one input only.
      {"five descriptors", {a, b, a, b, a, b, a, b}, 5, 0, 0, 0, ""},
      {"a list that never ends",
       {"--files-from", "/dev/zero", a},
       0,
       64u << 20,
       0,
       2,
       line("Cannot read the file list /dev/zero: Cannot allocate memory") +
           "Try 'vemo-convert --help'.\n"},
      {"an output over the file size limit",
       {big},
       0,
       0,
       100000,
       2,
       line("Could not write the output file " + out + ": File too large")},
  };
  for (const Case& c : cases) {
    for (const char* jobs : {"1", "2"}) {
      SCOPED_TRACE(std::string(c.what) + " -j " + jobs);
      dir.file("out.csv", kept);
      Launch l;
      l.argv = {VEMO_CONVERT, "-j", jobs, "-o", out};
      l.argv.insert(l.argv.end(), c.inputs.begin(), c.inputs.end());
      l.max_open_files = c.open_files;
      l.max_address_space = c.address_space;
      l.max_file_size = c.file_size;

      const Outcome o = faults::run(l);

      EXPECT_EQ(o.status, c.status);
      if (c.status == 0) {
        EXPECT_EQ(o.err, summary(20000, 8));
        EXPECT_TRUE(test::read_file(out) == clean_output(c.inputs));
      } else {
        EXPECT_EQ(o.err, c.err);
        EXPECT_EQ(test::read_file(out), kept);
      }
      EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 4);
    }
  }
}

}  // namespace
}  // namespace vemo
