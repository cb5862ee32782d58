// Runs the built vemo-convert as a script would, and checks its exit status, its messages and
// that its output is byte for byte what the run writes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "axegen/profiles.h"
#include "cli/arguments.h"
#include "run/extraction_run.h"
#include "run/recording_observer.h"
#include "support/record_builder.h"
#include "version.h"

extern char** environ;

namespace vemo {
namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs vemo-convert with `args`; standard output and error are captured through files.
Outcome convert(const std::vector<std::string>& args, const std::string& shell_suffix = "") {
  const std::string dir = test::temp_folder();
  const std::string out_path = dir + "/stdout", err_path = dir + "/stderr";
  std::string command = "'" VEMO_CONVERT "'";
  for (const auto& a : args) command += " '" + a + "'";
  command += shell_suffix + " >'" + out_path + "' 2>'" + err_path + "'";
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  pid_t pid = 0;
  Outcome o;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
    return o;
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  o.out = test::read_file(out_path);
  o.err = test::read_file(err_path);
  return o;
}

// What the run writes for these paths, selected in this order.
std::string run_output(const std::vector<std::string>& paths) {
  test::ScriptedSelection selection;
  selection.names = paths;
  selection.chosen.assign(paths.size(), true);
  selection.output = test::temp_folder() + "/expected.csv";
  test::RecordingObserver observer;
  RunState state;
  extract(state, selection, observer);
  return test::read_file(selection.output);
}

class VemoConvert : public ::testing::Test {
 protected:
  std::string dir = test::temp_folder();
  std::string a = file("a.dat", test::data_file_with_records(120, 7));
  std::string b = file("b.dat", test::data_file_with_records(80));
  std::string bad = file("bad.txt", "not a data file at all");

  std::string file(const std::string& name, const std::string& bytes) {
    std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
    return dir + "/" + name;
  }
};

TEST_F(VemoConvert, OutputFileIsByteIdenticalToTheRun) {
  const std::string out = dir + "/out.csv";
  const Outcome o = convert({"-o", out, a, b});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "vemo-convert: 200 Records Written from 2 Files\n");
  EXPECT_EQ(test::read_file(out), run_output({a, b}));
  EXPECT_EQ(test::read_file(out).size() > 0, true);
}

TEST_F(VemoConvert, DashWritesToStandardOutput) {
  const Outcome o = convert({"-q", "--output=-", b, a});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.out, run_output({b, a}));
}

TEST_F(VemoConvert, SampleStopsAtFiftyRecordsWithoutASummary) {
  const Outcome o = convert({"--sample", "-o", "-", a});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.out, run_output({a}).substr(0, o.out.size()));
  EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 50);
}

TEST_F(VemoConvert, InvalidFilesAreSkippedOrStopTheRun) {
  Outcome o = convert({"-o", "-", a, bad, dir + "/missing.dat", dir, b});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, run_output({a, b}));
  EXPECT_EQ(
      o.err,
      "vemo-convert: The Input File Selected is not AXE Data File: " + bad +
          "\nvemo-convert: Cannot read the input file " + dir +
          "/missing.dat: No such file or directory\nvemo-convert: Cannot read the input file " +
          dir + ": Is a directory\nvemo-convert: 200 Records Written from 5 Files\n");

  o = convert({"--stop-on-invalid", "-o", "-", a, bad, b});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, run_output({a}));
  EXPECT_EQ(o.err, "vemo-convert: The Input File Selected is not AXE Data File: " + bad + "\n");
}

TEST_F(VemoConvert, OutputFailuresExitWithTwo) {
  Outcome o = convert({"-o", "/dev/full", a});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err,
            "vemo-convert: Could not write the output file /dev/full: No space left on device\n");

  o = convert({"-o", dir + "/no/such/folder.csv", a});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, "vemo-convert: Cannot create the output file " + dir +
                       "/no/such/folder.csv: No such file or directory\n");

  const std::string before = test::read_file(a);
  o = convert({"-o", a, b, a});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(test::read_file(a), before);

  // Standard output appended onto an input: refused, the input left as it was.
  const std::string b_before = test::read_file(b);
  const int rc =
      std::system(("'" VEMO_CONVERT "' -q -o - '" + b + "' >>'" + b + "' 2>/dev/null").c_str());
  EXPECT_EQ(WEXITSTATUS(rc), 2);
  EXPECT_EQ(test::read_file(b), b_before);
}

TEST_F(VemoConvert, AnOutputThatIsADataFileIsReplacedOnlyWithForce) {
  const std::string data = test::data_file_with_records(90, 3);
  const std::string csv = run_output({a});
  struct Case {
    std::string before;  // what the output file holds before the run
    bool force;
    int status;
    bool replaced;
  } cases[] = {
      {data, false, 2, false},
      {data, true, 0, true},
      {csv, false, 0, true},  // a previous output never passes the data file test
      {"short", false, 0, true},
  };
  for (const Case& c : cases) {
    const std::string out = file("out.csv", c.before);
    std::vector<std::string> args = {"-q", "-o", out, a};
    if (c.force) args.insert(args.begin(), "--force");
    const Outcome o = convert(args);
    EXPECT_EQ(o.status, c.status) << c.force;
    EXPECT_EQ(test::read_file(out), c.replaced ? csv : c.before) << c.force;
    EXPECT_EQ(o.err, c.replaced ? ""
                                : "vemo-convert: " + out +
                                      " is an AXE data file; not replacing it (use --force "
                                      "to replace it)\n");
  }
}

TEST_F(VemoConvert, ClosedPipeEndsQuietly) {
  std::string big;
  for (int i = 0; i < 30; ++i) big += test::data_file_with_records(2000);
  const std::string many = file("many.dat", big);
  const Outcome o = convert({"-o", "-", many}, " | head -c 10");
  EXPECT_EQ(o.out.size(), 10u);
  EXPECT_EQ(o.err, "");
}

TEST_F(VemoConvert, UsageAndVersion) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err_start;
  } cases[] = {
      {{}, 2, "vemo-convert: an output file is required"},
      {{"-o", "x.csv"}, 2, "vemo-convert: no input files given"},
      {{a}, 2, "vemo-convert: an output file is required"},
      {{"-o"}, 2, "vemo-convert: option -o needs a value"},
      {{"--bogus", "-o", "x", a}, 2, "vemo-convert: unknown option --bogus"},
      {{"-j", "0", "-o", "x", a}, 2, "vemo-convert: --jobs takes a whole number"},
      {{"--help"}, 0, ""},
  };
  for (const auto& c : cases) {
    const Outcome o = convert(c.args);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.err.substr(0, c.err_start.size()), c.err_start);
  }
  EXPECT_EQ(convert({"--version"}).out, "vemo-convert " + std::to_string(kVersionMajor) + "." +
                                            std::to_string(kVersionMinor) + "." +
                                            std::to_string(kVersionPatch) + "\n");
  EXPECT_NE(convert({"-h"}).out.find("Usage: vemo-convert"), std::string::npos);
}

TEST_F(VemoConvert, ParallelJobsGiveTheSameBytesAsOne) {
  // Files large enough to be decoded in parallel, with sizes around chunk and block borders.
  const std::uint64_t sizes[] = {4194304, 4194305, 5240832, 5243657, 6293504};
  std::uint64_t seed = 1;
  for (const char* profile : {"realistic", "edge", "random"}) {
    for (const auto size : sizes) {
      const std::string data = file("gen.dat", axegen::generate({profile, seed++, size, {}}));
      const Outcome one = convert({"-q", "-j", "1", "-o", "-", data});
      ASSERT_EQ(one.status, 0) << profile << " " << size;
      for (const char* jobs : {"2", "3"}) {
        const Outcome many = convert({"-q", "-j", jobs, "-o", "-", data});
        EXPECT_EQ(many.status, 0);
        EXPECT_TRUE(many.out == one.out) << profile << " " << size << " -j " << jobs;
      }
    }
  }
}

TEST(ParseArguments, FormsOfOptionsAndFiles) {
  std::string error;
  auto args = parse_arguments({"-ox.csv", "--", "-dash.dat", "plain.dat"}, error);
  ASSERT_TRUE(args);
  EXPECT_EQ(args->output, "x.csv");
  EXPECT_EQ(args->files, (std::vector<std::string>{"-dash.dat", "plain.dat"}));

  args = parse_arguments({"f1", "--jobs=3", "--output", "o", "-j2", "f2", "-"}, error);
  ASSERT_TRUE(args);
  EXPECT_EQ(args->jobs, 2);
  EXPECT_EQ(args->files, (std::vector<std::string>{"f1", "f2", "-"}));

  EXPECT_FALSE(parse_arguments({"-o", "", "f"}, error));
  EXPECT_FALSE(parse_arguments({"-j", "2x", "-o", "o", "f"}, error));
}

}  // namespace
}  // namespace vemo
