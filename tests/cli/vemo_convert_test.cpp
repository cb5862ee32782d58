// Runs the built vemo-convert as a script would, and checks its exit status, its messages and
// that its output is byte for byte what the run writes.

#include <fcntl.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "axegen/profiles.h"
#include "cli/arguments.h"
#include "cli/console_observer.h"
#include "cli/quote.h"
#include "platform/platform.h"
#include "run/extraction_run.h"
#include "support/compression.h"
#include "support/process.h"
#include "support/record_builder.h"
#include "support/recording_observer.h"
#include "version.h"

namespace vemo {
namespace {

using test::Outcome;

// Standard input from a file: through a pipe, as `cat FILE |` gives it, or the file itself.
test::Launch stdin_from(const std::string& path, bool through_pipe) {
  test::Launch launch;
  launch.stdin_path = path;
  launch.stdin_through_pipe = through_pipe;
  return launch;
}

// Runs vemo-convert with `args`, its standard output and error captured.
Outcome convert(const std::vector<std::string>& args, test::Launch launch = {}) {
  launch.argv = {VEMO_CONVERT};
  launch.argv.insert(launch.argv.end(), args.begin(), args.end());
  return test::run(launch);
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

TEST_F(VemoConvert, AFullDiskExitsWithTwo) {
  const Outcome o = convert({"-o", "/dev/full", a});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err,
            "vemo-convert: Could not write the output file /dev/full: No space left on device\n");
}

TEST_F(VemoConvert, OutputFailuresExitWithTwo) {
  Outcome o = convert({"-o", dir + "/no/such/folder.csv", a});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, "vemo-convert: Cannot create the output file " + dir +
                       "/no/such/folder.csv: No such file or directory\n");

  const std::string before = test::read_file(a);
  o = convert({"-o", a, b, a});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(test::read_file(a), before);

  // Standard output appended onto an input: refused, the input left as it was.
  const std::string b_before = test::read_file(b);
  test::Launch append;
  append.stdout_path = b;
  append.stdout_flags = O_WRONLY | O_APPEND;
  EXPECT_EQ(convert({"-q", "-o", "-", b}, append).status, 2);
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
  test::Launch head;  // as `| head -c 10` reads it
  head.stdout_read_limit = 10;
  const Outcome o = convert({"-o", "-", many}, head);
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

TEST(QuoteName, ControlCharactersAndInvalidUtf8AreQuotedAsAShellWould) {
  const struct {
    std::string name;
    std::string shown;
  } cases[] = {
      {"plain.dat", "plain.dat"},
      {"with blank 'quote' \\ $(x).dat", "with blank 'quote' \\ $(x).dat"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80.dat",
       "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80.dat"},
      {"", ""},
      {"a\nb", "$'a\\nb'"},
      {"x\033[31my", "$'x\\033[31my'"},
      {"tab\there\r", "$'tab\\there\\r'"},
      {"del\x7f", "$'del\\177'"},
      {"caf\xe9", "$'caf\\351'"},
      {"it's\n\\", "$'it\\'s\\n\\\\'"},
      {"c1 \xc2\x9b", "$'c1 \\302\\233'"},              // CSI as a UTF-8 C1 control
      {"overlong \xc0\xaf", "$'overlong \\300\\257'"},  // '/' in two bytes
      {"surrogate \xed\xa0\x80", "$'surrogate \\355\\240\\200'"},
      {"cut \xe2\x82", "$'cut \\342\\202'"},
      {std::string("nul\0x", 5), "$'nul\\000x'"},
  };
  for (const auto& c : cases) EXPECT_EQ(quote_name(c.name), c.shown) << c.shown;
}

TEST(ParseArguments, GnuConventionsAndUsageErrors) {
  const struct {
    std::vector<std::string> args;
    std::string error;  // empty: parses
    std::string output;
    std::vector<std::string> files;
    int jobs;
    bool quiet;
  } cases[] = {
      {{"-qj2", "-o", "o", "f"}, "", "o", {"f"}, 2, true},
      {{"--jobs=3", "--out=o", "f"}, "", "o", {"f"}, 3, false},
      {{"-o", "o", "--", "-q", "--jobs=3"}, "", "o", {"-q", "--jobs=3"}, 0, false},
      {{"f", "-qo-", "-"}, "", "-", {"f", "-"}, 0, true},
      {{"-o", "a", "-o", "b", "f"}, "the output is given more than once", "", {}, 0, false},
      {{"-o", "a", "--output=a", "f"}, "the output is given more than once", "", {}, 0, false},
      {{"-qx", "-o", "o", "f"}, "unknown option -x", "", {}, 0, false},
      {{"--bogus=1", "-o", "o", "f"}, "unknown option --bogus", "", {}, 0, false},
      {{"--quiet=yes", "-o", "o", "f"}, "option --quiet takes no value", "", {}, 0, false},
      {{"f", "-o"}, "option -o needs a value", "", {}, 0, false},
      {{"f", "--jobs"}, "option --jobs needs a value", "", {}, 0, false},
      {{"--\x1b[2J", "-o", "o", "f"}, "unknown option $'--\\033[2J'", "", {}, 0, false},
      {{"-\x1b", "-o", "o", "f"}, "unknown option $'-\\033'", "", {}, 0, false},
      {{"-\n", "-o", "o", "f"}, "unknown option $'-\\n'", "", {}, 0, false},
      {{"--compress=lz4", "-o", "o", "f"}, "--compress takes gzip, zstd or none", "", {}, 0, false},
      {{"--compress-level=3", "-o", "o.csv", "f"},
       "--compress-level needs a compressed output (-o NAME.gz, -o NAME.zst or --compress)",
       "",
       {},
       0,
       false},
      {{"--compress-level=10", "-o", "o.gz", "f"},
       "--compress-level takes 1 to 9 for gzip",
       "",
       {},
       0,
       false},
      {{"--compress-level", "0", "--compress=zstd", "-o-", "f"},
       "--compress-level takes 1 to 19 for zstd",
       "",
       {},
       0,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front());
    std::string error;
    const auto args = parse_arguments(c.args, error);
    EXPECT_EQ(error, c.error);
    ASSERT_EQ(args.has_value(), c.error.empty());
    if (!args) continue;
    EXPECT_EQ(args->output, c.output);
    EXPECT_EQ(args->files, c.files);
    EXPECT_EQ(args->jobs, c.jobs);
    EXPECT_EQ(args->quiet, c.quiet);
  }
  // The command prints the reason and a pointer to the help, not the whole help.
  EXPECT_EQ(convert({"-o", "a", "-o", "b", "f"}).err,
            "vemo-convert: the output is given more than once\nTry 'vemo-convert --help'.\n");
}

TEST(ConsoleObserver, ProgressLineShowsTheFileItIsAt) {
  struct Case {
    std::int64_t number, count;
    std::string name;
    bool quiet;
    std::string shown;
    std::size_t width = 0;
  };
  const Case cases[] = {
      {2, 5, "a.dat", false,
       "\r\033[Kfile 2/5 a.dat 0%, 0 bytes\r\033[Kfile 2/5 a.dat 100%, 0 bytes"},
      // A name that would break the line is shown quoted; "Processing " is never part of it.
      {1, 1, "Processing \n.dat", false,
       "\r\033[Kfile 1/1 $'Processing \\n.dat' 0%, 0 bytes\r\033[Kfile 1/1 $'Processing "
       "\\n.dat' 100%, 0 bytes"},
      {1, 1, "a.dat", true, ""},
      // Never wider than the terminal: the name gives way in its middle.
      {1, 1, "a-very-long-file-name-of-many-characters.dat", false,
       "\r\033[Kfile 1/1 a-ve\xE2\x80\xA6s.dat 0%, 0 bytes\r\033[Kfile 1/1 a-v\xE2\x80\xA6.dat "
       "100%, "
       "0 bytes",
       32},
  };
  for (const auto& c : cases) {
    const test::ScratchDir scratch;
    std::FILE* err = std::fopen((scratch / "err").c_str(), "w+b");
    ASSERT_NE(err, nullptr);
    {
      ConsoleObserver observer(err, {.quiet = c.quiet, .show_progress = true, .width = c.width});
      observer.set_file_status({.number = c.number, .count = c.count, .name = c.name});
      observer.set_progress(100);
      observer.clear_status();
      observer.set_progress(0);  // after the run: no line for no file
      std::fflush(err);
      EXPECT_EQ(test::read_file(scratch / "err"), c.shown);
    }
    std::fclose(err);
  }
}

#ifndef _WIN32
// Runs vemo-convert with standard error on a new terminal, and standard output on the same
// terminal, into `out_file`, or into a pipe for "|"; returns what the terminal showed.
std::string on_terminal(const std::vector<std::string>& args, const std::string& out_file) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return "no terminal";
  const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  int pipe_ends[2] = {-1, -1};
  if (out_file == "|" && ::pipe(pipe_ends) != 0) return "no pipe";
  const int file = out_file == "|"    ? pipe_ends[1]
                   : out_file.empty() ? -1
                                      : ::open(out_file.c_str(), O_WRONLY | O_CREAT, 0644);
  std::vector<std::string> all = {VEMO_CONVERT};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(file >= 0 ? file : slave, STDOUT_FILENO);
    ::dup2(slave, STDERR_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(slave);
  if (file >= 0) ::close(file);
  std::string shown;
  char buf[4096];
  for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) shown.append(buf, n);
  ::waitpid(pid, nullptr, 0);
  ::close(master);
  if (pipe_ends[0] >= 0) ::close(pipe_ends[0]);
  return shown;
}

TEST_F(VemoConvert, ProgressLineOnlyWhereTheLinesDoNotGo) {
  const struct {
    std::vector<std::string> args;
    std::string out_file;
    bool progress;
  } cases[] = {
      {{"-o", "-", a}, "", false},
      {{"-o", "/dev/stdout", a}, "", false},
      {{"-o", "-", a}, "|", false},  // `| head` prints on the same terminal
      {{"-o", dir + "/t.csv", a}, "", true},
      {{"-o", "-", a}, dir + "/redirected.csv", true},
      {{"--progress=never", "-o", dir + "/t.csv", a}, "", false},
      {{"--progress=always", "-o", "-", a}, "", true},
  };
  for (const auto& c : cases) {
    const std::string shown = on_terminal(c.args, c.out_file);
    EXPECT_EQ(shown.find("\033[K") != std::string::npos, c.progress) << shown.substr(0, 200);
    EXPECT_NE(shown.find("120 Records Written from 1 Files"), std::string::npos);
  }
}
#endif

TEST_F(VemoConvert, ProgressLineWhereNoTerminalIsWhenAskedFor) {
  // It counts files and bytes of all files.
  const std::string total = std::to_string(test::read_file(a).size() + test::read_file(b).size());
  Outcome o = convert({"--progress=always", "-o", dir + "/t.csv", a, b});
  EXPECT_NE(o.err.find("\r\033[Kfile 2/2 " + b + " 100%, " + total + " of " + total + " bytes"),
            std::string::npos)
      << o.err;
  o = convert({"--progress=always", "-qo", dir + "/t.csv", a});
  EXPECT_EQ(o.err, "");
  o = convert({"--progress=always", "-o", dir + "/t.csv", "-"}, stdin_from(a, true));
  EXPECT_NE(
      o.err.find("\r\033[Kfile 1/1 -, " + std::to_string(test::read_file(a).size()) + " bytes"),
      std::string::npos)
      << o.err;
}

TEST_F(VemoConvert, EveryRoadGivesTheSameBytes) {
  // Large enough for the parallel path, with records across chunk borders.
  const std::string big_bytes = axegen::generate({"edge", 5, 5243657, {}});
  const std::string reference = run_output({a, file("big.dat", big_bytes), b});
  // Each form of the three files: as they are, and compressed (gzip in two members as well, cut
  // inside a record).
  const struct {
    const char* name;
    std::string suffix;
    std::string (*compress)(std::string_view);
  } forms[] = {
      {"plain", "", [](std::string_view s) { return std::string(s); }},
      {"gzip", ".gz", [](std::string_view s) { return test::gzip(s); }},
      {"gzip members", ".gz",
       [](std::string_view s) {
         return test::gzip_members({s.substr(0, 7001), s.substr(7001)});
       }},
      {"zstd", ".zst", [](std::string_view s) { return test::zstd(s); }},
  };
  for (const auto& form : forms) {
    const auto form_of = [&](const std::string& path, const std::string& name) {
      return file(name + form.suffix, form.compress(test::read_file(path)));
    };
    const std::string fa = form_of(a, "a.dat"), fbig = form_of(dir + "/big.dat", "big.dat"),
                      fb = form_of(b, "b.dat");
    const std::string list = file("list", fa + "\n" + fbig + "\n" + fb + "\n");
    const std::string nul_list = file("nul-list", fa + '\0' + fbig + '\0' + fb + '\0');
    const std::string folder = dir + "/each";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const struct {
      const char* road;
      std::vector<std::string> args;
      test::Launch launch;
    } roads[] = {
        {"arguments", {"-o", "-", fa, fbig, fb}, {}},
        {"-j 2", {"-j", "2", "-o", "-", fa, fbig, fb}, {}},
        {"-j 3", {"-j3", "-o", "-", fa, fbig, fb}, {}},
        {"list", {"-o", "-", "--files-from", list}, {}},
        {"list among arguments", {"-o", "-", fa, "--files-from=" + file("one", fbig), fb}, {}},
        {"NUL list on stdin", {"-0", "-o", "-", "--files-from", "-"}, stdin_from(nul_list, true)},
        {"stdin pipe", {"-o", "-", fa, "-", fb}, stdin_from(fbig, true)},
        {"stdin file", {"-j2", "-o", "-", fa, "-", fb}, stdin_from(fbig, false)},
        {"output folder", {"-j2", "--output-dir", folder, "--files-from", list}, {}},
    };
    for (const auto& r : roads) {
      SCOPED_TRACE(std::string(form.name) + ", " + r.road);
      const Outcome o = convert(r.args, r.launch);
      EXPECT_EQ(o.status, 0) << o.err;
      const std::string got = o.out.empty() ? test::read_file(folder + "/a.csv") +
                                                  test::read_file(folder + "/big.csv") +
                                                  test::read_file(folder + "/b.csv")
                                            : o.out;
      EXPECT_TRUE(got == reference);
      EXPECT_NE(o.err.find(" Records Written from 3 Files"), std::string::npos);
    }
  }
}

TEST_F(VemoConvert, DamagedCompressedInputsFailAsUnreadableFilesDo) {
  // Cut inside its second block: the first block's lines are kept with -o, none with
  // --output-dir, and the message says where in the decompressed data, at every -j.
  const std::string bytes = test::read_file(a);
  const std::string gz = test::gzip(bytes);
  const std::string zst = test::zstd(bytes);
  const std::string folder = dir + "/out";
  std::filesystem::create_directories(folder);
  const std::string first_block = run_output({file("first.dat", bytes.substr(0, 2048))});
  const struct {
    std::string input;
    std::string reason;
  } cases[] = {
      {file("cut.dat.gz", gz.substr(0, gz.size() - 20)), "cut short"},
      {file("crc.dat.gz", gz.substr(0, gz.size() - 8) + "XXXX" + gz.substr(gz.size() - 4)),
       "bad CRC"},
      {file("tail.dat.zst", zst + "tail"), "garbage after the end"},
      // Damaged before the sixth block: found by the data file test, told the same way.
      {file("early.dat.gz", gz.substr(0, 40)), "cut short"},
  };
  for (const auto& c : cases) {
    for (const char* jobs : {"-j1", "-j2"}) {
      SCOPED_TRACE(c.input + " " + jobs);
      const Outcome o = convert({jobs, "-o", "-", c.input, b});
      EXPECT_EQ(o.status, 1);
      EXPECT_NE(o.err.find("Cannot read the input file " + c.input + " at byte "),
                std::string::npos)
          << o.err;
      EXPECT_NE(o.err.find(": the compressed data is damaged (" + c.reason + ")"),
                std::string::npos)
          << o.err;
      // Whatever came before the damage, whole blocks only, then the next file.
      const std::string b_lines = run_output({b});
      ASSERT_GE(o.out.size(), b_lines.size());
      EXPECT_TRUE(o.out.ends_with(b_lines));
      EXPECT_TRUE(first_block.starts_with(o.out.substr(0, o.out.size() - b_lines.size())) ||
                  run_output({a}).starts_with(o.out.substr(0, o.out.size() - b_lines.size())));
      const Outcome each = convert({jobs, "--output-dir", folder, c.input});
      EXPECT_EQ(each.status, 1);
      EXPECT_TRUE(std::filesystem::is_empty(folder));
    }
  }
}

// Runs another program, its output captured.
Outcome run_tool(std::vector<std::string> argv) {
  test::Launch launch;
  launch.argv = std::move(argv);
  return test::run(launch);
}

TEST_F(VemoConvert, CompressedOutputsReadBackWithGzipAndZstd) {
  const std::string gzip_tool = VEMO_GZIP_TOOL, zstd_tool = VEMO_ZSTD_TOOL;
  if (gzip_tool.find('/') == std::string::npos || zstd_tool.find('/') == std::string::npos) {
    GTEST_SKIP() << "gzip or zstd is missing (scripts/install-deps.sh --test)";
  }
  // Each output decompressed by the tool of its kind gives the plain output; --compress=none
  // writes it plain under any name.
  const std::string plain = run_output({a, b});
  const std::string folder = dir + "/packed";
  std::filesystem::create_directories(folder);
  const struct {
    std::vector<std::string> args;
    std::string output;  // the file written, or "-"
    std::string tool;    // the decompressor, or nullptr for a plain output
  } cases[] = {
      {{"-o", dir + "/o.csv.gz", a, b}, dir + "/o.csv.gz", gzip_tool},
      {{"-j2", "-o", dir + "/o.csv.zst", a, b}, dir + "/o.csv.zst", zstd_tool},
      {{"--compress=zstd", "--compress-level", "19", "-o", "-", a, b}, "-", zstd_tool},
      {{"--compress=gzip", "--compress-level=1", "-o", dir + "/o.txt", a, b},
       dir + "/o.txt",
       gzip_tool},
      {{"--compress=none", "-o", dir + "/plain.gz", a, b}, dir + "/plain.gz", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    const Outcome o = convert(c.args);
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string written = c.output == "-" ? file("stdout.bin", o.out) : c.output;
    if (c.tool.empty()) {
      EXPECT_EQ(test::read_file(written), plain);
      continue;
    }
    const Outcome back = run_tool({c.tool, "-dc", written});
    EXPECT_EQ(back.status, 0) << back.err;
    EXPECT_TRUE(back.out == plain);
  }
  // An output folder names its outputs after the inputs, compressed or not, with the suffix of
  // the kind; no temporary file stays.
  const Outcome o = convert({"--compress=zstd", "--output-dir", folder, a,
                             file("b.dat.gz", test::gzip(test::read_file(b)))});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);
  const Outcome back = run_tool({zstd_tool, "-dc", folder + "/a.csv.zst", folder + "/b.csv.zst"});
  EXPECT_TRUE(back.out == plain) << back.err;
}

// csv, tsv and jsonl with the offset column: the same bytes on every road, one header per output
// file, the output folder's names ending in the format's extension, and a sample of 50 rows.
TEST_F(VemoConvert, FormatsGiveTheSameRowsOnEveryRoad) {
  const std::string big = file("big.dat", axegen::generate({"edge", 5, 5243657, {}}));
  const std::string list = file("list", a + "\n" + big + "\n" + b + "\n");
  for (const std::string format : {"csv", "tsv", "jsonl"}) {
    SCOPED_TRACE(format);
    const std::string option = "--format=" + format;
    const std::string header =
        format == "jsonl" ? ""
                          : LineEncoder({*format_by_name(format), true, false, true}, {}).header();
    const Outcome base = convert({option, "--with-offset", "-j1", "-o", "-", a, big, b});
    EXPECT_EQ(base.status, 0) << base.err;
    EXPECT_TRUE(base.out.starts_with(header));
    if (!header.empty()) {
      EXPECT_EQ(base.out.find(header, 1), std::string::npos) << "one header";
    }
    const struct {
      std::vector<std::string> args;
      test::Launch launch;
    } roads[] = {
        {{"-j", "2", "-o", "-", a, big, b}, {}},
        {{"-j4", "-o", "-", "--files-from", list}, {}},
        {{"-o", "-", a, "-", b}, stdin_from(big, true)},
    };
    for (const auto& r : roads) {
      std::vector<std::string> args = {option, "--with-offset"};
      args.insert(args.end(), r.args.begin(), r.args.end());
      EXPECT_TRUE(convert(args, r.launch).out == base.out) << args[2];
    }
    const std::string folder = dir + "/each-" + format;
    std::filesystem::create_directories(folder);
    EXPECT_EQ(convert({option, "--with-offset", "-j2", "--output-dir", folder, a, big, b}).status,
              0);
    std::string joined;
    for (const std::string name : {"a", "big", "b"}) {
      const std::string one = test::read_file(folder + "/" + name + "." + format);
      EXPECT_TRUE(one.starts_with(header)) << name;
      joined += joined.empty() ? one : one.substr(header.size());
    }
    EXPECT_TRUE(joined == base.out);
    const std::string sample = convert({option, "--sample", "-o", "-", a, b}).out;
    const std::size_t rows =
        static_cast<std::size_t>(std::count(sample.begin(), sample.end(), '\n'));
    EXPECT_EQ(rows, header.empty() ? 50u : 51u);
  }
}

// Format options that make no run are usage errors, found before any output is touched.
TEST_F(VemoConvert, FormatOptionErrorsWriteNothing) {
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"--format=xml"}, "unknown format xml: --format takes legacy, csv, tsv, jsonl"},
      {{"--format", "CSV"}, "unknown format CSV: --format takes legacy, csv, tsv, jsonl"},
      {{"--no-header"}, "--no-header needs --format=csv, tsv or jsonl"},
      {{"--format=legacy", "--with-filename"}, "--with-filename needs --format=csv, tsv or jsonl"},
      {{"--with-offset", "--format=legacy"}, "--with-offset needs --format=csv, tsv or jsonl"},
  };
  const std::string out = file("kept.csv", "kept\r\n");
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-o", out, a});
    const Outcome o = convert(args);
    EXPECT_EQ(o.status, 2) << c.error;
    EXPECT_EQ(o.err, "vemo-convert: " + c.error + "\nTry 'vemo-convert --help'.\n");
    EXPECT_EQ(test::read_file(out), "kept\r\n");
  }
}

TEST_F(VemoConvert, OutputFolderAndFileLists) {
  const std::string folder = dir + "/out";
  std::filesystem::create_directories(folder);
  std::filesystem::create_directories(dir + "/sub");
  const std::string short_file =
      file("short.dat", test::data_file_with_records(120).substr(0, 10240));
  const std::string previous = file("previous.csv", "kept\r\n");
  const struct {
    std::vector<std::string> args;
    test::Launch launch;
    int status;
    std::string err;                   // the start of standard error
    std::vector<std::string> outputs;  // the files the output folder holds afterwards
  } cases[] = {
      // A rejected or unreadable input leaves no output; the summary counts every file.
      {{"--output-dir", folder, a, bad, dir + "/gone.dat", b},
       {},
       1,
       "vemo-convert: The Input File Selected is not AXE Data File: " + bad,
       {"a.csv", "b.csv"}},
      {{"--output-dir", folder, "--stop-on-invalid", a, bad, b}, {}, 1, "", {"a.csv"}},
      // Usage errors, found before anything is written.
      {{"--output-dir", folder, a, dir + "/sub/a.dat"},
       {},
       2,
       "vemo-convert: " + a + " and " + dir + "/sub/a.dat would both be written to " + folder +
           platform::kSeparator + "a.csv",
       {}},
      {{"--output-dir", folder, "-o", previous, a},
       {},
       2,
       "vemo-convert: -o and --output-dir exclude each other",
       {}},
      {{"--output-dir", dir + "/none", a}, {}, 2, "vemo-convert: the output folder", {}},
      {{"--output-dir", folder, "-"}, {}, 2, "vemo-convert: standard input (\"-\") has no", {}},
      {{"-o", previous, "--files-from", dir + "/no-list", a},
       {},
       2,
       "vemo-convert: Cannot read the file list " + dir + "/no-list: No such file or directory",
       {}},
      {{"-o", previous, "--files-from", "-", "-"},
       {},
       2,
       "vemo-convert: standard input (\"-\") can be read only once",
       {}},
      // Standard input shorter than six blocks is rejected as the file is; the previous output
      // stays.
      {{"-o", previous, "-"},
       stdin_from(short_file, true),
       1,
       "vemo-convert: The Input File Selected is not AXE Data File: -",
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      std::filesystem::remove(entry.path());
    }
    const Outcome o = convert(c.args, c.launch);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.err.substr(0, c.err.size()), c.err);
    std::vector<std::string> outputs;
    for (const char* name : {"a.csv", "b.csv", "bad.csv", "gone.csv"}) {
      if (!test::read_file(folder + "/" + name).empty()) outputs.push_back(name);
    }
    EXPECT_EQ(outputs, c.outputs);
    // No temporary file is left behind either.
    const auto entries = std::distance(std::filesystem::directory_iterator(folder), {});
    EXPECT_EQ(entries, static_cast<long>(c.outputs.size()));
    EXPECT_EQ(test::read_file(previous), "kept\r\n");
  }
  const Outcome o = convert({"--output-dir", folder, a, bad, b});
  EXPECT_EQ(o.err, "vemo-convert: The Input File Selected is not AXE Data File: " + bad +
                       "\nvemo-convert: 200 Records Written from 3 Files\n");
  EXPECT_EQ(test::read_file(folder + "/a.csv"), run_output({a}));
  EXPECT_EQ(test::read_file(folder + "/b.csv"), run_output({b}));
}

TEST(ParseArguments, ListsFoldersStandardInputAndProgress) {
  std::string error;
  auto args = parse_arguments(
      {"x.dat", "--files-from", "l1", "-0", "y.dat", "--files-from=-", "--output-dir", "d"}, error);
  ASSERT_TRUE(args) << error;
  EXPECT_EQ(args->output_dir, "d");
  EXPECT_TRUE(args->null_separated);
  EXPECT_EQ(ordered_inputs(*args, {{"p", "q"}, {"r"}}),
            (std::vector<std::string>{"x.dat", "p", "q", "y.dat", "r"}));

  const struct {
    std::vector<std::string> args;
    ProgressWhen progress;
    std::string error;
  } cases[] = {
      {{"--progress=never", "-o", "o", "f"}, ProgressWhen::kNever, ""},
      {{"--progress", "always", "-o", "o", "f"}, ProgressWhen::kAlways, ""},
      {{"--progress=auto", "--files-from", "l", "-o", "o"}, ProgressWhen::kAuto, ""},
      {{"--progress=sometimes", "-o", "o", "f"}, {}, "--progress takes auto, always or never"},
      {{"--output-dir", "", "f"}, {}, "the output folder is empty"},
      {{"--output-dir=d", "--output-dir=e", "f"}, {}, "the output folder is given more than once"},
      {{"-o", "o", "-", "-"}, {}, "standard input (\"-\") can be read only once"},
      {{"-o", "o", "-", "--", "-"}, ProgressWhen::kAuto, ""},  // the second is a file "./-"
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front());
    error.clear();
    args = parse_arguments(c.args, error);
    EXPECT_EQ(error, c.error);
    if (args) {
      EXPECT_EQ(args->progress, c.progress);
    }
  }

  const struct {
    std::string text;
    bool nul;
    std::vector<std::string> names;
  } lists[] = {
      {"a.dat\nb c.dat\n\nlast", false, {"a.dat", "b c.dat", "last"}},
      {"a.dat\r\n\r\nlast\r", false, {"a.dat", "last"}},  // written on Windows
      {std::string("new\nline.dat\0-\0", 15), true, {"new\nline.dat", "./-"}},
      {"", false, {}},
  };
  for (const auto& l : lists) EXPECT_EQ(split_file_list(l.text, l.nul), l.names);

  const std::pair<std::string, std::string> names[] = {
      {"TT0142.dat", "TT0142.csv"},
      {"/x/y.z/TT.dat.gz", "TT.csv"},
      {"TT0142.dat.zst", "TT0142.csv"},
      {"calls.gz", "calls.csv"},
      {"noext", "noext.csv"},
      {".hidden", ".hidden.csv"},
      {"dir/sub/", "sub.csv"},
      {"..", ""},
      {"", ""},
  };
  for (const auto& [in, out] : names) EXPECT_EQ(output_name_for(in), out) << in;
}

}  // namespace
}  // namespace vemo
