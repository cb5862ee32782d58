// vemo-convert: the batch face of the extraction run, for scripts and servers.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/console_observer.h"
#include "cli/cpu_count.h"
#include "run/extraction_run.h"
#include "run/pending_removal.h"
#include "version.h"

namespace {

// The files named on the command line, all selected, in the order given.
class ArgumentSelection final : public vemo::SelectionView {
 public:
  explicit ArgumentSelection(const vemo::CliArguments& args) : args_(args) {}
  std::string current_folder() const override { return {}; }
  std::size_t item_count() const override { return args_.files.size(); }
  std::string item_name(std::size_t i) const override { return args_.files[i]; }
  bool selected(std::size_t) const override { return true; }
  std::string output_path() const override { return args_.output; }

 private:
  const vemo::CliArguments& args_;
};

int exit_status(const vemo::RunResult& r) {
  switch (r.end) {
    case vemo::RunEnd::kOutputFailed:
    case vemo::RunEnd::kNoSelection:
      return 2;
    case vemo::RunEnd::kDeclined:
    case vemo::RunEnd::kStopped:
      return 1;
    case vemo::RunEnd::kTrialEnd:
    case vemo::RunEnd::kCompleted:
      return r.skipped_files > 0 || r.changed_files > 0 ? 1 : 0;
  }
  return 2;
}

// Whether standard output and standard error are the same terminal, where a progress line would
// fall between the lines.
bool output_shares_the_terminal() {
  struct stat out {
  }, err{};
  return ::isatty(STDOUT_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1 &&
         ::fstat(STDOUT_FILENO, &out) == 0 && ::fstat(STDERR_FILENO, &err) == 0 &&
         out.st_rdev == err.st_rdev;
}

}  // namespace

int main(int argc, char** argv) {
  // With a standard stream closed, the output file could be given its descriptor and receive
  // our messages: hold those slots with /dev/null.
  bool closed[3] = {};
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) < 0) {
      closed[fd] = true;
      const int held = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
      if (held >= 0 && held != fd) ::close(held);
    }
  }
  const std::vector<std::string> raw(argv + 1, argv + argc);
  std::string error;
  const auto args = vemo::parse_arguments(raw, error);
  if (!args) {
    std::fprintf(stderr, "vemo-convert: %s\nTry 'vemo-convert --help'.\n", error.c_str());
    return 2;
  }
  if (args->help) {
    std::fputs(vemo::kUsage, stdout);
    return 0;
  }
  if (args->version) {
    std::printf("vemo-convert %s\n", vemo::kVersion);
    return 0;
  }

  const bool to_stdout = args->output == "-";
  if (to_stdout && closed[STDOUT_FILENO]) {
    // The lines would go into the /dev/null that holds the slot, and the run would look a success.
    std::fputs("vemo-convert: Cannot create the output file -: standard output is closed\n",
               stderr);
    return 2;
  }

  vemo::ConsoleObserver observer(stderr,
                                 {.quiet = args->quiet,
                                  .stop_on_invalid = args->stop_on_invalid,
                                  .show_progress = !args->quiet && ::isatty(STDERR_FILENO) == 1 &&
                                                   !(to_stdout && output_shares_the_terminal()),
                                  .force = args->force});
  ArgumentSelection selection(*args);
  vemo::RunState state;
  vemo::RunOptions options;
  options.output_to_stdout = to_stdout;
  // An interrupted or failed run leaves the previous output as it was.
  options.replace_output_when_done = true;
  vemo::PendingRemoval::remove_on_signals();
  options.jobs = args->jobs > 0 ? static_cast<unsigned>(args->jobs) : vemo::usable_cpu_count();
  const vemo::RunResult result = args->sample
                                     ? vemo::show_sample(state, selection, observer, options)
                                     : vemo::extract(state, selection, observer, options);
  return exit_status(result);
}
