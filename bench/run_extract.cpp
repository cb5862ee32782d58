// run_extract: the window's Extract without the window. Runs vemo::extract over the files named on
// the command line with an observer that answers Yes and ignores status and progress, so that
// bench/throughput can time the run itself. Like the window, it decodes with one worker thread
// per processor it may run on, or with N given by -j.
//
//   run_extract [-j N] -o PATH FILE...     ("-o -" writes to standard output)
//
// Messages (the summary, failures) go to standard error. Exit status 0 when the run completed
// without skipping a file, 1 otherwise, 2 for a usage error.

#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "run/extraction_run.h"

namespace {

class SilentObserver final : public vemo::RunObserver {
 public:
  void set_file_status(const vemo::FileStatus&) override {}
  void clear_status() override {}
  void set_progress(int) override {}
  bool ask_yes_no(const vemo::Question&) override { return true; }
  void show_message(const vemo::Message& message) override {
    std::fprintf(stderr, "run_extract: %s\n", message.text.c_str());
  }
  void open_viewer(const std::string&) override {}
};

// The given paths, all selected, with no folder in front of them.
class PathSelection final : public vemo::SelectionView {
 public:
  PathSelection(std::vector<std::string> paths, std::string output)
      : paths_(std::move(paths)), output_(std::move(output)) {}
  std::string current_folder() const override { return {}; }
  std::size_t item_count() const override { return paths_.size(); }
  std::string item_name(std::size_t i) const override { return paths_[i]; }
  bool selected(std::size_t) const override { return true; }
  std::string output_path() const override { return output_; }

 private:
  std::vector<std::string> paths_;
  std::string output_;
};

int usage() {
  std::fputs("usage: run_extract [-j N] -o PATH FILE...\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string output;
  std::vector<std::string> files;
  opterr = 0;
  unsigned jobs = 0;
  for (int c; (c = ::getopt(argc, argv, "o:j:")) != -1;) {
    if (c == 'j') {
      const int n = std::atoi(optarg);
      if (n < 1) return usage();
      jobs = static_cast<unsigned>(n);
      continue;
    }
    if (c != 'o' || !output.empty()) return usage();
    output = optarg;
  }
  if (jobs == 0) {
    cpu_set_t cpus;
    jobs = ::sched_getaffinity(0, sizeof cpus, &cpus) == 0 ? static_cast<unsigned>(CPU_COUNT(&cpus))
                                                           : 1;
  }
  files.assign(argv + optind, argv + argc);
  if (output.empty() || files.empty()) return usage();

  SilentObserver observer;
  PathSelection selection(std::move(files), output);
  vemo::RunState state;
  vemo::RunOptions options;
  options.output_to_stdout = output == "-";
  options.jobs = jobs;
  const vemo::RunResult result = vemo::extract(state, selection, observer, options);
  return result.end == vemo::RunEnd::kCompleted && result.skipped_files == 0 ? 0 : 1;
}
