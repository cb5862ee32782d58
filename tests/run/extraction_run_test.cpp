#include "run/extraction_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "axegen/profiles.h"
#include "support/compression.h"
#include "support/record_builder.h"
#include "support/recording_observer.h"

namespace vemo {
namespace {

namespace fs = std::filesystem;
using test::RecordingObserver;
using test::ScriptedSelection;

std::size_t count_lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// A folder holding the given files (name, bytes), all selected, output in the same folder.
struct Fixture {
  std::string folder = test::temp_folder();
  ScriptedSelection selection;
  RecordingObserver observer;
  RunState state;

  explicit Fixture(const std::vector<std::pair<std::string, std::string>>& files) {
    selection.folder = folder;
    for (const auto& [name, bytes] : files) {
      std::ofstream(folder + "/" + name, std::ios::binary) << bytes;
      selection.names.push_back(name);
      selection.chosen.push_back(true);
    }
    selection.output = folder + "/out.csv";
  }
  std::string output() const { return test::read_file(selection.output); }
  RunResult extract() { return vemo::extract(state, selection, observer); }
  RunResult sample() { return vemo::show_sample(state, selection, observer); }
};

TEST(ExtractionRun, ConvertsEverySelectedFileIntoOneOutput) {
  Fixture f(
      {{"a.dat", test::data_file_with_records(120)}, {"b.dat", test::data_file_with_records(80)}});
  const RunResult r = f.extract();
  EXPECT_EQ(r.end, RunEnd::kCompleted);
  EXPECT_EQ(r.records, 200);
  EXPECT_EQ(r.files, 2);
  const std::string out = f.output();
  EXPECT_EQ(count_lines(out), 200u);
  EXPECT_EQ(out.substr(out.size() - 2), "\r\n");
  EXPECT_EQ(out.find("\n\n"), std::string::npos);
  ASSERT_EQ(f.observer.messages.size(), 1u);
  EXPECT_EQ(f.observer.messages[0].text, "200 Records Written from 2 Files");
  EXPECT_EQ(f.observer.messages[0].icon, Icon::kInformation);
  EXPECT_EQ(f.observer.panel(1), "");
  EXPECT_EQ(f.observer.panel(2), "");
  EXPECT_EQ(f.observer.progress(), 0);
}

TEST(ExtractionRun, StatusAndProgressSequence) {
  // 100 full blocks: 204,800 bytes, size in hundreds 2048; block ends at 2049, 4097, ...
  Fixture f({{"x.dat", test::data_file_with_records(16 * 100)},
             {"y.dat", test::data_file_bytes(6, 11000)}});
  f.extract();
  std::vector<std::string> expected = {"status1 1/2", "status2 Processing x.dat"};
  for (int p = 0; p <= 100; ++p) expected.push_back("progress " + std::to_string(p));
  // The extra read past the end sets nothing; the finished file sets 100.
  expected.insert(expected.end(),
                  {"progress 100", "status1 2/2", "status2 Processing y.dat", "progress 0"});
  // 11,000 bytes, size in hundreds 110: blocks end at 2049 (18), 4097 (37), ... 12289 (111 -> 100).
  for (int p : {18, 37, 55, 74, 93, 100, 100}) expected.push_back("progress " + std::to_string(p));
  expected.insert(expected.end(), {"message 1687 Records Written from 2 Files", "status1 ",
                                   "status2 ", "progress 0"});
  EXPECT_EQ(f.observer.events, expected);
}

TEST(ExtractionRun, RejectedFileAnsweredYesIsSkipped) {
  Fixture f({{"a.dat", test::data_file_with_records(30)},
             {"b.txt", "not a data file"},
             {"c.dat", test::data_file_with_records(40)}});
  const RunResult r = f.extract();
  EXPECT_EQ(r.end, RunEnd::kCompleted);
  EXPECT_EQ(r.skipped_files, 1);
  ASSERT_EQ(f.observer.questions.size(), 1u);
  EXPECT_EQ(f.observer.questions[0].kind, QuestionKind::kNotDataFile);
  EXPECT_EQ(f.observer.questions[0].text,
            "The Input File Selected is not AXE Data File. Do you want to continue with other "
            "Files?");
  EXPECT_EQ(f.observer.messages.back().text, "70 Records Written from 3 Files");
  EXPECT_EQ(count_lines(f.output()), 70u);
}

TEST(ExtractionRun, RejectedFileAnsweredNoEndsTheRunAsItStands) {
  Fixture f({{"a.dat", test::data_file_with_records(30)},
             {"b.txt", "not a data file"},
             {"c.dat", test::data_file_with_records(40)}});
  f.observer.answers = {false};
  const RunResult r = f.sample();  // a trial run that ends this way must not leave the flag set
  EXPECT_FALSE(f.state.trial);
  EXPECT_EQ(r.end, RunEnd::kDeclined);
  EXPECT_TRUE(f.observer.messages.empty());
  EXPECT_EQ(count_lines(f.output()), 30u);
  EXPECT_EQ(f.observer.panel(1), "2/3");
  EXPECT_EQ(f.observer.panel(2), "Processing b.txt");
  EXPECT_EQ(f.observer.progress(), 100);
}

TEST(ExtractionRun, SampleStopsAtExactlyFiftyRecordsAndOpensTheViewer) {
  Fixture f({{"big.dat", test::data_file_with_records(500)}});
  const RunResult r = f.sample();
  EXPECT_EQ(r.end, RunEnd::kTrialEnd);
  EXPECT_EQ(r.records, 50);
  EXPECT_EQ(count_lines(f.output()), 50u);
  EXPECT_TRUE(f.observer.messages.empty());
  EXPECT_EQ(f.observer.viewers, std::vector<std::string>{f.selection.output});
  EXPECT_FALSE(f.state.trial);
  EXPECT_EQ(f.observer.panel(1), "");
  EXPECT_EQ(f.observer.progress(), 0);
}

TEST(ExtractionRun, SampleCountsSkipLinesTowardsTheLimit) {
  Fixture f({{"a.dat", test::data_file_with_records(60, 50)}});
  f.sample();
  const std::string out = f.output();
  ASSERT_EQ(count_lines(out), 50u);
  EXPECT_EQ(out.substr(out.size() - 16), "Record Skipped\r\n");
}

TEST(ExtractionRun, SampleLimitSpansFiles) {
  Fixture f(
      {{"a.dat", test::data_file_with_records(30)}, {"b.dat", test::data_file_with_records(30)}});
  const RunResult r = f.sample();
  EXPECT_EQ(r.end, RunEnd::kTrialEnd);
  EXPECT_EQ(count_lines(f.output()), 50u);
}

TEST(ExtractionRun, SampleOfFewerRecordsEndsWithTheSummaryAndClearsTheTrialFlag) {
  Fixture f({{"a.dat", test::data_file_with_records(30)}});
  const RunResult r = f.sample();
  EXPECT_EQ(r.end, RunEnd::kCompleted);
  EXPECT_EQ(f.observer.messages.back().text, "30 Records Written from 1 Files");
  EXPECT_TRUE(f.observer.viewers.empty());
  EXPECT_FALSE(f.state.trial);
  // The next Extract converts everything.
  Fixture g({{"b.dat", test::data_file_with_records(80)}});
  g.state = f.state;
  EXPECT_EQ(g.extract().records, 80);
}

TEST(ExtractionRun, NothingSelected) {
  Fixture f({{"a.dat", test::data_file_with_records(30)}});
  f.selection.chosen = {false};
  f.state.trial = true;
  const RunResult r = f.sample();
  EXPECT_EQ(r.end, RunEnd::kNoSelection);
  ASSERT_EQ(f.observer.events.size(), 1u);
  EXPECT_EQ(f.observer.events[0], "message Please Select input Files in the List Box");
  EXPECT_EQ(f.observer.messages[0].icon, Icon::kCritical);
  EXPECT_FALSE(fs::exists(f.selection.output));
  EXPECT_FALSE(f.state.trial);
}

TEST(ExtractionRun, OnlySelectedItemsInListOrder) {
  Fixture f({{"a.dat", test::data_file_with_records(10)},
             {"b.dat", test::data_file_with_records(20)},
             {"c.dat", test::data_file_with_records(30)},
             {"d.dat", test::data_file_with_records(40)}});
  f.selection.chosen = {true, false, true, true};
  f.selection.folder += "/";  // a folder that already ends with the separator
  const RunResult r = f.extract();
  EXPECT_EQ(r.records, 80);
  EXPECT_EQ(f.observer.messages.back().text, "80 Records Written from 3 Files");
  EXPECT_EQ(f.observer.events[0], "status1 1/3");
}

TEST(ExtractionRun, ProgressNeverPassesOneHundred) {
  // 20,000 bytes: size in hundreds 200; the last block end (20481) would give 102.
  Fixture f({{"a.dat", test::data_file_bytes(10, 20000)}});
  f.extract();
  for (const auto& e : f.observer.events) {
    if (e.rfind("progress ", 0) == 0) {
      EXPECT_LE(std::stoi(e.substr(9)), 100) << e;
    }
  }
}

TEST(ExtractionRun, CompressedFilesGiveTheLinesOfTheirContentWithProgressOnTheCompressedBytes) {
  // Compressed large enough for several reads, so that the progress moves between its ends.
  const std::string bytes = axegen::generate({"realistic", 3, 3 << 20, {}});
  Fixture plain({{"a.dat", bytes}});
  plain.extract();
  for (const auto& [name, compressed] :
       {std::pair{"a.dat.gz", test::gzip(bytes)}, {"a.dat.zst", test::zstd(bytes)}}) {
    SCOPED_TRACE(name);
    Fixture f({{name, compressed}});
    const RunResult r = f.extract();
    EXPECT_EQ(r.end, RunEnd::kCompleted);
    EXPECT_TRUE(f.output() == plain.output());
    std::vector<int> progress;
    for (const auto& e : f.observer.events) {
      if (e.starts_with("progress ")) progress.push_back(std::stoi(e.substr(9)));
    }
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end() - 1));
    EXPECT_GT(
        std::count_if(progress.begin(), progress.end(), [](int p) { return p > 0 && p < 100; }), 1);
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress[progress.size() - 2], 100);  // then cleared to 0 at the end
    // The trial run reads the same lines.
    const RunResult sample = f.sample();
    EXPECT_EQ(sample.end, RunEnd::kTrialEnd);
    EXPECT_EQ(f.output(), plain.output().substr(0, f.output().size()));
    EXPECT_EQ(count_lines(f.output()), 50u);
  }
}

// Says stop when it is asked for the `stop_at`-th time (never when 0).
struct StoppingObserver : RecordingObserver {
  int stop_at = 0;
  int asked = 0;
  bool stop_requested() override { return ++asked == stop_at || (stop_at > 0 && asked > stop_at); }
};

TEST(ExtractionRun, StopsAfterAWholeLineWhenTheObserverAsks) {
  // The observer is asked before each file and every 32 blocks (16 records to a block here).
  struct Case {
    const char* what;
    std::vector<int> records;  // per file
    int stop_at;
    RunEnd end;
    std::int64_t lines;
    std::int64_t files;
    unsigned jobs = 0;
  };
  const Case cases[] = {
      {"in the middle of a file", {1600}, 2, RunEnd::kStopped, 32 * 16, 1},
      {"between two files", {96, 1600}, 2, RunEnd::kStopped, 96, 1},
      {"never", {96, 1600}, 0, RunEnd::kCompleted, 1696, 2},
      // Files decoded ahead by workers: what they did for the later files is dropped.
      {"between files decoded ahead", {96, 96, 96, 96}, 2, RunEnd::kStopped, 96, 1, 3},
      {"never, decoded ahead", {96, 96, 1600}, 0, RunEnd::kCompleted, 1792, 3, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::pair<std::string, std::string>> files;
    for (std::size_t i = 0; i < c.records.size(); ++i) {
      files.emplace_back(std::to_string(i) + ".dat", test::data_file_with_records(c.records[i]));
    }
    Fixture f(files);
    StoppingObserver observer;
    observer.stop_at = c.stop_at;
    RunOptions options;
    options.jobs = c.jobs;
    const RunResult r = vemo::extract(f.state, f.selection, observer, options);

    EXPECT_EQ(r.end, c.end);
    EXPECT_EQ(r.records, c.lines);
    EXPECT_EQ(r.files, c.files);
    const std::string out = f.output();
    EXPECT_EQ(count_lines(out), static_cast<std::size_t>(c.lines));
    EXPECT_EQ(out.substr(out.size() - 2), "\r\n");
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].icon, Icon::kInformation);
    const std::string counts =
        std::to_string(c.lines) + " Records Written from " + std::to_string(c.files) + " Files";
    if (c.end == RunEnd::kStopped) {
      EXPECT_EQ(observer.messages[0].kind, MessageKind::kStopped);
      std::string stopped = "Run stopped: ";
      EXPECT_EQ(observer.messages[0].text, stopped.append(counts));
    } else {
      EXPECT_EQ(observer.messages[0].text, counts);
    }
    EXPECT_EQ(observer.panel(1), "");
    EXPECT_EQ(observer.panel(2), "");
    EXPECT_EQ(observer.progress(), 0);
  }
}

// --- Faults the run mends ---

TEST(ExtractionRunFaults, OutputThatCannotBeCreated) {
  for (const std::string& bad : {std::string("/nonexistent-folder/out.csv"), std::string()}) {
    Fixture f({{"a.dat", test::data_file_with_records(30)}});
    f.selection.output = bad.empty() ? f.folder : bad;  // a missing folder, then a folder
    const RunResult r = f.extract();
    EXPECT_EQ(r.end, RunEnd::kOutputFailed);
    ASSERT_EQ(f.observer.messages.size(), 1u);
    EXPECT_EQ(f.observer.messages[0].kind, MessageKind::kOutputCannotCreate);
    EXPECT_EQ(f.observer.messages[0].text.rfind(
                  "Cannot create the output file " + f.selection.output + ": ", 0),
              0u)
        << f.observer.messages[0].text;
    EXPECT_EQ(r.files, 0);  // no data file was opened
  }
}

TEST(ExtractionRunFaults, OutputNamingAnInputIsRefusedBeforeAnythingIsOpened) {
  Fixture f({{"a.dat", test::data_file_with_records(30)}});
  const std::string input = f.folder + "/a.dat";
  const std::string original = test::read_file(input);
  std::vector<std::string> outputs = {input, f.folder + "/./a.dat", f.folder + "/hard.csv"};
  fs::create_hard_link(input, outputs.back());
#ifndef _WIN32  // mingw's std::filesystem makes no symbolic links
  outputs.push_back(f.folder + "/link.csv");
  fs::create_symlink(input, outputs.back());
#endif
  for (const std::string& out : outputs) {
    f.observer = {};
    f.selection.output = out;
    const RunResult r = f.extract();
    EXPECT_EQ(r.end, RunEnd::kOutputFailed) << out;
    ASSERT_EQ(f.observer.messages.size(), 1u);
    EXPECT_EQ(f.observer.messages[0].text,
              "The output file is one of the selected input Files. Please choose another output "
              "file.");
    EXPECT_EQ(test::read_file(input), original) << out;
  }
}

TEST(ExtractionRunFaults, OutputCreatedByTheRunIsNeverReadBackAsAnInput) {
  Fixture f(
      {{"a.dat", test::data_file_with_records(30)}, {"c.dat", test::data_file_with_records(40)}});
  f.selection.names = {"a.dat", "out.csv", "c.dat"};  // out.csv does not exist before the run
  f.selection.chosen = {true, true, true};
  const RunResult r = f.extract();
  EXPECT_EQ(r.end, RunEnd::kCompleted);
  ASSERT_EQ(f.observer.questions.size(), 1u);
  EXPECT_EQ(f.observer.questions[0].text,
            "The Input File out.csv could not be read (it is the output file). Do you want to "
            "continue with other Files?");
  EXPECT_EQ(count_lines(f.output()), 70u);
}

TEST(ExtractionRunFaults, FailedWritesAreReportedAndNeverFollowedByTheSummary) {
  Fixture f({{"a.dat", test::data_file_with_records(300)}});
  f.selection.output = "/dev/full";
  const RunResult r = f.extract();
  EXPECT_EQ(r.end, RunEnd::kOutputFailed);
  ASSERT_EQ(f.observer.messages.size(), 1u);
  EXPECT_EQ(f.observer.messages[0].text,
            "Could not write the output file /dev/full: No space left on device");
  // Also for a trial run: no viewer on a broken file.
  f.observer = {};
  f.sample();
  EXPECT_TRUE(f.observer.viewers.empty());
  EXPECT_EQ(f.observer.messages.at(0).kind, MessageKind::kOutputWriteFailed);
}

TEST(ExtractionRunFaults, UnreadableInputIsAskedAboutAndCounted) {
  for (const bool go_on : {true, false}) {
    Fixture f(
        {{"a.dat", test::data_file_with_records(30)}, {"c.dat", test::data_file_with_records(40)}});
    fs::create_directory(f.folder + "/folder.dat");
    f.selection.names = {"a.dat", "gone.dat", "folder.dat", "c.dat"};
    f.selection.chosen = {true, true, true, true};
    f.observer.answers = {go_on, go_on};
    const RunResult r = f.extract();
    ASSERT_FALSE(f.observer.questions.empty());
    EXPECT_EQ(f.observer.questions[0].kind, QuestionKind::kUnreadable);
    EXPECT_EQ(f.observer.questions[0].text,
              "The Input File gone.dat could not be read (No such file or directory). Do you want "
              "to continue with other Files?");
    if (go_on) {
      EXPECT_EQ(r.end, RunEnd::kCompleted);
      EXPECT_EQ(f.observer.questions.at(1).text,
                "The Input File folder.dat could not be read (Is a directory). Do you want to "
                "continue with other Files?");
      EXPECT_EQ(f.observer.messages.back().text, "70 Records Written from 4 Files");
      EXPECT_EQ(r.skipped_files, 2);
    } else {
      EXPECT_EQ(r.end, RunEnd::kDeclined);
      EXPECT_TRUE(f.observer.messages.empty());
      EXPECT_EQ(count_lines(f.output()), 30u);
      EXPECT_EQ(f.observer.panel(1), "2/4");
    }
  }
}

}  // namespace
}  // namespace vemo
