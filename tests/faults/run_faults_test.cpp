// Faults injected into the extraction run itself: outputs that cannot be made or written, outputs
// that are inputs, inputs that are gone, not files, unreadable or odd, a sparse file past 4 GiB,
// and the names the viewer is given.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "fault_support.h"
#include "run/extraction_run.h"
#include "support/record_builder.h"
#include "support/recording_observer.h"

namespace vemo {
namespace {

namespace fs = std::filesystem;
using faults::AccessWatch;
using faults::clean_output;
using faults::count_lines;
using faults::ScratchDir;
using test::RecordingObserver;
using test::ScriptedSelection;

const std::string kOutputIsInput =
    "The output file is one of the selected input Files. Please choose another output file.";

std::string unreadable_question(const std::string& name, const std::string& reason) {
  return "The Input File " + name + " could not be read (" + reason +
         "). Do you want to continue with other Files?";
}

const std::string kNotDataFileQuestion =
    "The Input File Selected is not AXE Data File. Do you want to continue with other Files?";

// Kills the test process (a failure in ctest) when a case blocks or runs away, instead of
// hanging the whole suite.
class Watchdog {
 public:
  explicit Watchdog(unsigned seconds) { ::alarm(seconds); }
  ~Watchdog() { ::alarm(0); }
};

// A run in a folder of its own, the window's way: the folder, item names, the output path.
struct RunInFolder {
  ScratchDir dir;
  ScriptedSelection selection;
  RecordingObserver observer;
  RunState state;

  RunInFolder() {
    selection.folder = dir.path();
    selection.output = dir / "out.csv";
  }
  // Writes a file into the folder and selects it.
  std::string add(const std::string& name, const std::string& bytes) {
    select(name);
    return dir.file(name, bytes);
  }
  // Selects a name, whatever is (or is not) behind it.
  std::string select(const std::string& name) {
    selection.names.push_back(name);
    selection.chosen.push_back(true);
    return dir / name;
  }
  RunResult extract() { return vemo::extract(state, selection, observer); }
  RunResult sample() { return vemo::show_sample(state, selection, observer); }

  bool summary_shown() const {
    return std::any_of(observer.messages.begin(), observer.messages.end(),
                       [](const Message& m) { return m.kind == MessageKind::kSummary; });
  }
  // The progress values reported, in order.
  std::vector<int> progress_values() const {
    std::vector<int> values;
    for (const auto& e : observer.events) {
      if (e.rfind("progress ", 0) == 0) values.push_back(std::stoi(e.substr(9)));
    }
    return values;
  }
};

// --- The output ---

TEST(RunOutputFaults, OutputThatCannotBeCreatedEndsTheRunBeforeAnyInputIsOpened) {
  struct Case {
    const char* what;
    std::function<std::string(const ScratchDir&)> make;  // returns the output path
    const char* reason;
  };
  const Case cases[] = {
      {"missing folder", [](const ScratchDir& d) { return d / "no/such/folder/out.csv"; },
       "No such file or directory"},
      {"folder",
       [](const ScratchDir& d) {
         fs::create_directory(d / "sub");
         return d / "sub";
       },
       "Is a directory"},
      // Opening a FIFO for writing would wait for a reader; the run must refuse it at once.
      {"FIFO without a reader",
       [](const ScratchDir& d) {
         EXPECT_EQ(::mkfifo((d / "pipe.csv").c_str(), 0644), 0);
         return d / "pipe.csv";
       },
       "No such device or address"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Watchdog watchdog(30);
    RunInFolder r;
    const std::string input = r.add("a.dat", test::data_file_with_records(40));
    r.selection.output = c.make(r.dir);
    AccessWatch watch;
    watch.add(input);

    const RunResult result = r.extract();

    EXPECT_EQ(result.end, RunEnd::kOutputFailed);
    EXPECT_EQ(result.files, 0);
    ASSERT_EQ(r.observer.messages.size(), 1u);
    EXPECT_EQ(r.observer.messages[0].kind, MessageKind::kOutputCannotCreate);
    EXPECT_EQ(r.observer.messages[0].icon, Icon::kCritical);
    EXPECT_EQ(r.observer.messages[0].text,
              "Cannot create the output file " + r.selection.output + ": " + c.reason);
    // The message is all that happened: no status, no progress, no question.
    EXPECT_EQ(r.observer.events.size(), 1u);
    EXPECT_FALSE(watch.opened());
    EXPECT_FALSE(r.state.trial);
  }
}

TEST(RunOutputFaults, OutputThatCannotBeCreatedIsLeftAsItWas) {
  RunInFolder r;
  r.add("a.dat", test::data_file_with_records(40));
  r.selection.output = r.dir / "missing/out.csv";
  r.extract();
  EXPECT_FALSE(fs::exists(r.dir / "missing"));

  fs::create_directory(r.dir / "sub");
  r.selection.output = r.dir / "sub";
  r.extract();
  EXPECT_TRUE(fs::is_directory(r.dir / "sub"));
  EXPECT_TRUE(fs::is_empty(r.dir / "sub"));

  ASSERT_EQ(::mkfifo((r.dir / "pipe.csv").c_str(), 0644), 0);
  r.selection.output = r.dir / "pipe.csv";
  r.extract();
  EXPECT_TRUE(fs::is_fifo(r.dir / "pipe.csv"));
}

TEST(RunOutputFaults, FailedWritesEndTheRunWithTheReasonAndNeverTheSummary) {
  const std::string kFull = "Could not write the output file /dev/full: No space left on device";
  struct Case {
    const char* what;
    int records;  // in the first file; more than a buffer's worth fails in the middle of it
    bool sample;
    bool decline;  // the second file is missing and the answer is No
  };
  const Case cases[] = {
      {"lost when the output is closed", 100, false, false},
      {"lost in the middle of a file", 20000, false, false},
      {"trial run: no viewer on a lost file", 100, true, false},
      {"run declined after an unreadable file", 100, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunInFolder r;
    r.add("a.dat", test::data_file_with_records(c.records));
    const std::string second =
        c.decline ? r.select("gone.dat") : r.add("b.dat", test::data_file_with_records(30));
    r.selection.output = "/dev/full";
    r.observer.answers = {!c.decline};
    AccessWatch watch;
    if (!c.decline) watch.add(second);

    const RunResult result = c.sample ? r.sample() : r.extract();

    EXPECT_EQ(result.end, RunEnd::kOutputFailed);
    ASSERT_EQ(r.observer.messages.size(), 1u);
    EXPECT_EQ(r.observer.messages[0].kind, MessageKind::kOutputWriteFailed);
    EXPECT_EQ(r.observer.messages[0].icon, Icon::kCritical);
    EXPECT_EQ(r.observer.messages[0].text, kFull);
    EXPECT_FALSE(r.summary_shown());
    EXPECT_TRUE(r.observer.viewers.empty());
    EXPECT_FALSE(r.state.trial);
    // A write that failed in the middle of the first file stops the run there.
    if (c.records > 10000) {
      EXPECT_FALSE(watch.opened());
    }
  }
}

TEST(RunOutputFaults, OutputNamingAnInputIsRefusedAndNothingIsEmptied) {
  struct Case {
    const char* what;
    // Returns the output path; may change the selection's folder spelling.
    std::function<std::string(RunInFolder&)> output;
  };
  const Case cases[] = {
      {"same path", [](RunInFolder& r) { return r.dir / "a.dat"; }},
      {"other spelling",
       [](RunInFolder& r) {
         fs::create_directory(r.dir / "sub");
         return r.dir.path() + "//sub/.././a.dat";
       }},
      {"relative path",
       [](RunInFolder& r) { return fs::relative(r.dir / "b.dat", fs::current_path()).string(); }},
      {"folder ending in a separator",
       [](RunInFolder& r) {
         r.selection.folder += "/";
         return r.dir / "b.dat";
       }},
      {"symbolic link",
       [](RunInFolder& r) {
         EXPECT_EQ(::symlink("a.dat", (r.dir / "link.csv").c_str()), 0);
         return r.dir / "link.csv";
       }},
      {"symbolic link to a link",
       [](RunInFolder& r) {
         EXPECT_EQ(::symlink("a.dat", (r.dir / "link1").c_str()), 0);
         EXPECT_EQ(::symlink((r.dir / "link1").c_str(), (r.dir / "link2.csv").c_str()), 0);
         return r.dir / "link2.csv";
       }},
      {"hard link",
       [](RunInFolder& r) {
         EXPECT_EQ(::link((r.dir / "b.dat").c_str(), (r.dir / "hard.csv").c_str()), 0);
         return r.dir / "hard.csv";
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunInFolder r;
    const std::string a = r.add("a.dat", test::data_file_with_records(40));
    const std::string b = r.add("b.dat", test::data_file_with_records(50));
    r.selection.output = c.output(r);
    const std::string a_bytes = test::read_file(a), b_bytes = test::read_file(b);
    AccessWatch watch;
    watch.add(a);
    watch.add(b);

    const RunResult result = r.extract();

    EXPECT_EQ(result.end, RunEnd::kOutputFailed);
    EXPECT_EQ(result.files, 0);
    ASSERT_EQ(r.observer.messages.size(), 1u);
    EXPECT_EQ(r.observer.messages[0].kind, MessageKind::kOutputIsInput);
    EXPECT_EQ(r.observer.messages[0].icon, Icon::kCritical);
    EXPECT_EQ(r.observer.messages[0].text, kOutputIsInput);
    EXPECT_EQ(r.observer.events.size(), 1u);
    EXPECT_FALSE(watch.modified());
    EXPECT_EQ(test::read_file(a), a_bytes);
    EXPECT_EQ(test::read_file(b), b_bytes);
  }
}

// --- The inputs ---

TEST(RunInputFaults, UnreadableInputIsAskedAboutCountedAndSkippedOrEndsTheRun) {
  struct Case {
    const char* what;
    const char* name;
    std::function<void(const ScratchDir&, const std::string&)> make;  // after selection
    const char* reason;
  };
  const Case cases[] = {
      {"vanished after selection", "gone.dat",
       [](const ScratchDir& d, const std::string& name) {
         d.file(name, test::data_file_with_records(10));
         fs::remove(d / name);
       },
       "No such file or directory"},
      {"folder", "folder.dat",
       [](const ScratchDir& d, const std::string& name) { fs::create_directory(d / name); },
       "Is a directory"},
      // A FIFO without a writer would block an ordinary open; with a writer it would never end.
      {"FIFO", "pipe.dat",
       [](const ScratchDir& d, const std::string& name) {
         EXPECT_EQ(::mkfifo((d / name).c_str(), 0644), 0);
       },
       "not a regular file"},
      // Endless zero bytes: read as a file, it would never reach its end.
      {"character device /dev/zero", "zero.dat",
       [](const ScratchDir& d, const std::string& name) {
         fs::create_symlink("/dev/zero", d / name);
       },
       "not a regular file"},
      {"character device /dev/null", "null.dat",
       [](const ScratchDir& d, const std::string& name) {
         fs::create_symlink("/dev/null", d / name);
       },
       "not a regular file"},
  };
  for (const Case& c : cases) {
    for (const bool go_on : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (go_on ? ", answered Yes" : ", answered No"));
      const Watchdog watchdog(30);
      RunInFolder r;
      const std::string a = r.add("a.dat", test::data_file_with_records(20));
      const std::string path = r.select(c.name);
      const std::string b = r.add("b.dat", test::data_file_with_records(30));
      c.make(r.dir, c.name);
      r.observer.answers = {go_on};

      const RunResult result = r.extract();

      ASSERT_EQ(r.observer.questions.size(), 1u);
      const Question& q = r.observer.questions[0];
      EXPECT_EQ(q.kind, QuestionKind::kUnreadable);
      EXPECT_EQ(q.text, unreadable_question(c.name, c.reason));
      EXPECT_EQ(q.path, path);
      EXPECT_EQ(q.error.message(), c.reason);
      EXPECT_EQ(result.skipped_files, 1);
      const std::string out = test::read_file(r.selection.output);
      if (go_on) {
        EXPECT_EQ(result.end, RunEnd::kCompleted);
        EXPECT_EQ(result.files, 3);
        ASSERT_EQ(r.observer.messages.size(), 1u);
        EXPECT_EQ(r.observer.messages[0].text, "50 Records Written from 3 Files");
        EXPECT_EQ(out, clean_output({a, b}));
      } else {
        EXPECT_EQ(result.end, RunEnd::kDeclined);
        EXPECT_EQ(result.files, 2);
        EXPECT_TRUE(r.observer.messages.empty());
        EXPECT_EQ(out, clean_output({a}));
      }
    }
  }
}

TEST(RunInputFaults, ReadErrorIsAskedAboutAsUnreadable) {
  // Reading /proc/self/mem at offset 0 (an address nothing is mapped at) fails with EIO: a
  // regular file whose first read fails, as on a damaged disk.
  RunInFolder r;
  const std::string a = r.add("a.dat", test::data_file_with_records(20));
  fs::create_symlink("/proc/self/mem", r.dir / "damaged.dat");
  r.select("damaged.dat");
  const std::string b = r.add("b.dat", test::data_file_with_records(30));

  const RunResult result = r.extract();

  EXPECT_EQ(result.end, RunEnd::kCompleted);
  EXPECT_EQ(test::read_file(r.selection.output), clean_output({a, b}));
  ASSERT_EQ(r.observer.messages.size(), 1u);
  EXPECT_EQ(r.observer.messages[0].text, "50 Records Written from 3 Files");
  ASSERT_EQ(r.observer.questions.size(), 1u);
  EXPECT_EQ(r.observer.questions[0].kind, QuestionKind::kUnreadable);
  EXPECT_EQ(r.observer.questions[0].text, unreadable_question("damaged.dat", "Input/output error"));
}

TEST(RunInputFaults, EmptyAndTruncatedFilesAreNotDataFiles) {
  const std::string whole = test::data_file_with_records(100);
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"one byte", whole.substr(0, 1)},
      {"a length prefix only", whole.substr(0, 3)},
      {"half a record", whole.substr(0, 60)},
      {"one block and a prefix", whole.substr(0, 2048 + 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunInFolder r;
    const std::string a = r.add("a.dat", test::data_file_with_records(20));
    const std::string cut = r.add("cut.dat", c.bytes);
    const std::string b = r.add("b.dat", test::data_file_with_records(30));

    const RunResult result = r.extract();

    ASSERT_EQ(r.observer.questions.size(), 1u);
    EXPECT_EQ(r.observer.questions[0].kind, QuestionKind::kNotDataFile);
    EXPECT_EQ(r.observer.questions[0].text, kNotDataFileQuestion);
    EXPECT_EQ(r.observer.questions[0].path, cut);
    EXPECT_EQ(result.end, RunEnd::kCompleted);
    EXPECT_EQ(result.files, 3);
    EXPECT_EQ(result.skipped_files, 1);
    ASSERT_EQ(r.observer.messages.size(), 1u);
    EXPECT_EQ(r.observer.messages[0].text, "50 Records Written from 3 Files");
    EXPECT_EQ(test::read_file(r.selection.output), clean_output({a, b}));
  }
}

TEST(RunInputFaults, SparseFileBeyondFourGiBIsReadWithSixtyFourBitPositions) {
  // The first six blocks of a valid file at the start, the rest placed past 4 GiB: the hole
  // between reads as blocks of zero bytes, which hold no records. A position kept in 32 bits
  // would read the start again instead, or stop early; a length kept in 32 bits would make the
  // progress jump to 100 at once.
  constexpr std::uint64_t kFar = (std::uint64_t{1} << 32) + 3 * 2048;
  const Watchdog watchdog(120);
  RunInFolder r;
  const std::string compact = r.dir.file("compact.dat", test::data_file_with_records(200));
  const std::string bytes = test::read_file(compact);
  ASSERT_EQ(bytes.size(), 13u * 2048);
  const std::string sparse = r.select("sparse.dat");
  {
    const int fd = ::open(sparse.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const std::size_t head = 6 * 2048;
    const bool written =
        ::pwrite(fd, bytes.data(), head, 0) == static_cast<ssize_t>(head) &&
        ::pwrite(fd, bytes.data() + head, bytes.size() - head, static_cast<off_t>(kFar)) ==
            static_cast<ssize_t>(bytes.size() - head) &&
        ::ftruncate(fd, static_cast<off_t>(kFar + bytes.size() - head + 1000)) == 0;
    ::close(fd);
    if (!written) GTEST_SKIP() << "the temp folder's file system cannot hold a 4 GiB sparse file";
  }
  ASSERT_GT(fs::file_size(sparse), std::uint64_t{1} << 32);

  const RunResult result = r.extract();

  EXPECT_EQ(result.end, RunEnd::kCompleted);
  EXPECT_EQ(result.records, 200);
  const std::string out = test::read_file(r.selection.output);
  EXPECT_EQ(count_lines(out), 200);
  EXPECT_EQ(out, clean_output({compact}));
  ASSERT_EQ(r.observer.messages.size(), 1u);
  EXPECT_EQ(r.observer.messages[0].text, "200 Records Written from 1 Files");

  // Progress climbs from 0 through (nearly) every value to exactly 100, then the display is
  // cleared to 0 at the end of the run.
  std::vector<int> progress = r.progress_values();
  ASSERT_GE(progress.size(), 3u);
  EXPECT_EQ(progress.back(), 0);
  progress.pop_back();
  EXPECT_EQ(progress.front(), 0);
  EXPECT_EQ(progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_LE(*std::max_element(progress.begin(), progress.end()), 100);
  EXPECT_GE(std::set<int>(progress.begin(), progress.end()).size(), 95u);
  fs::remove(sparse);
}

// --- Names ---

// File names a shell or an argument parser would take apart: the run must pass them on whole.
const std::vector<std::string> kOddNames = {
    "with blank.csv",
    "  leading and trailing blanks  ",
    "single ' quote.csv",
    "double \" quote.csv",
    "back\\slash.csv",
    "-leading-dash.csv",
    "--output=x.csv",
    "-",
    "caf\xc3\xa9 \xe2\x82\xac \xe6\x97\xa5\xe6\x9c\xac.csv",
    "not utf-8 \xff\xfe\x80.csv",
    "$(touch injected) `touch injected` ${HOME}.csv",
    "a;b|c&d>e<f*g?h[i]!j~k#l%m.csv",
    "tab\tand\nnewline.csv",
};

TEST(RunNames, ViewerReceivesTheOutputPathByteForByte) {
  for (const std::string& name : kOddNames) {
    SCOPED_TRACE(name);
    RunInFolder r;
    r.add("a.dat", test::data_file_with_records(80));
    r.selection.output = r.dir / name;

    const RunResult result = r.sample();

    EXPECT_EQ(result.end, RunEnd::kTrialEnd);
    EXPECT_EQ(r.observer.viewers, std::vector<std::string>{r.dir / name});
    EXPECT_EQ(count_lines(test::read_file(r.dir / name)), 50);
    // The file has exactly that name, and nothing else appeared beside it.
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(r.dir.path())) {
      names.insert(e.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{"a.dat", name}));
  }
}

TEST(RunNames, OddInputNamesAreReadAndQuotedWhole) {
  RunInFolder r;
  std::vector<std::string> paths;
  int n = 0;
  for (const std::string& name : kOddNames) {
    paths.push_back(r.add(name, test::data_file_with_records(10 + n++)));
  }
  const std::string missing = "-gone 'file' $(x).dat";
  r.select(missing);
  r.selection.output = r.dir / "out put.csv";

  const RunResult result = r.extract();

  EXPECT_EQ(result.end, RunEnd::kCompleted);
  EXPECT_EQ(test::read_file(r.selection.output), clean_output(paths));
  ASSERT_EQ(r.observer.questions.size(), 1u);
  EXPECT_EQ(r.observer.questions[0].text,
            unreadable_question(missing, "No such file or directory"));
  EXPECT_EQ(r.observer.questions[0].path, r.dir / missing);
  EXPECT_EQ(r.observer.panel(2), "");
  EXPECT_FALSE(fs::exists(r.dir / "injected"));
  EXPECT_FALSE(fs::exists("injected"));
}

}  // namespace
}  // namespace vemo
