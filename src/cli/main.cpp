// vemo-convert: the batch face of the extraction run, for scripts and servers.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/arguments.h"
#include "cli/console_observer.h"
#include "cli/quote.h"
#include "cli/run_report.h"
#include "cli/watch.h"
#include "platform/platform.h"
#include "platform/sha256.h"
#include "run/extraction_run.h"
#include "run/report_file.h"
#include "version.h"

namespace {

// The input files, all selected, in the order given, and the output they go to.
class ArgumentSelection final : public vemo::SelectionView {
 public:
  ArgumentSelection(const std::vector<std::string>& files, std::string output)
      : files_(files), output_(std::move(output)) {}
  std::string current_folder() const override { return {}; }
  std::size_t item_count() const override { return files_.size(); }
  std::string item_name(std::size_t i) const override { return files_[i]; }
  bool selected(std::size_t) const override { return true; }
  std::string output_path() const override { return output_; }

 private:
  const std::vector<std::string>& files_;
  std::string output_;
};

int exit_status(const vemo::RunResult& r);

int usage_error(const std::string& reason) {
  std::fprintf(stderr, "vemo-convert: %s\nTry 'vemo-convert --help'.\n", reason.c_str());
  return 2;
}

// The whole content of a file list ("-": standard input). False with the reason when it cannot
// be read.
bool read_list(const std::string& path, std::string& text, std::string& reason) {
  const bool from_stdin = path == "-";
  const vemo::Result<int> fd_or =
      from_stdin ? vemo::Result<int>(vemo::platform::kStdin) : vemo::platform::open_list(path);
  if (!fd_or.ok()) {
    reason = fd_or.error().message();
    return false;
  }
  const int fd = *fd_or;
  char buffer[65536];
  bool ok = true;
  for (;;) {
    const vemo::Result<std::size_t> n = vemo::platform::read_some(fd, buffer, sizeof buffer);
    if (n.ok() && *n > 0) {
      try {
        text.append(buffer, *n);
      } catch (const std::bad_alloc&) {
        // A list that never ends (--files-from /dev/zero) or one larger than memory.
        reason = std::make_error_code(std::errc::not_enough_memory).message();
        ok = false;
        break;
      }
    } else if (n.ok()) {
      break;
    } else {
      reason = n.error().message();
      ok = false;
      break;
    }
  }
  if (!from_stdin) (void)vemo::platform::close(fd);
  return ok;
}

// The total length of the inputs for the progress line; 0 (unknown) when one is a stream.
std::uint64_t total_length(const std::vector<std::string>& inputs) {
  std::uint64_t total = 0;
  for (const std::string& input : inputs) {
    if (input == "-") return 0;
    const auto st = vemo::platform::status(input);
    if (st.ok() && st->kind == vemo::platform::FileKind::kRegular) total += st->size;
  }
  return total;
}

// The outputs of an output folder, one per input; an empty result after printing the usage error
// when two inputs would share an output or an output would replace an input.
std::vector<std::string> outputs_in_folder(const std::string& dir,
                                           const std::vector<std::string>& inputs,
                                           vemo::FormatId format, std::string_view suffix) {
  const auto folder = vemo::platform::status(dir);
  if (!folder.ok()) {
    usage_error("the output folder " + vemo::quote_name(dir) +
                " is not a folder: " + folder.error().message());
    return {};
  }
  if (folder->kind != vemo::platform::FileKind::kDirectory) {
    usage_error("the output folder " + vemo::quote_name(dir) + " is not a folder");
    return {};
  }
  const std::string prefix =
      vemo::platform::is_separator(dir.back()) ? dir : dir + vemo::platform::kSeparator;
  std::vector<std::string> outputs;
  std::map<std::string, std::size_t> taken;
  std::vector<vemo::platform::FileId> input_files;
  for (const std::string& input : inputs) {
    if (const auto st = vemo::platform::status(input); st.ok()) input_files.push_back(st->id);
  }
  const auto is_an_input = [&](const vemo::platform::FileId& id) {
    return std::any_of(input_files.begin(), input_files.end(),
                       [&](const vemo::platform::FileId& in) { return same_file(in, id); });
  };
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    std::string name = vemo::output_name_for(inputs[i], format);
    if (name.empty()) {
      usage_error(vemo::quote_name(inputs[i]) + " has no file name to name its output after");
      return {};
    }
    name += suffix;
    const auto [at, fresh] = taken.emplace(name, i);
    if (!fresh) {
      usage_error(vemo::quote_name(inputs[at->second]) + " and " + vemo::quote_name(inputs[i]) +
                  " would both be written to " + vemo::quote_name(prefix + name));
      return {};
    }
    outputs.push_back(prefix + name);
    if (const auto st = vemo::platform::status(outputs.back()); st.ok() && is_an_input(st->id)) {
      usage_error("the output file " + vemo::quote_name(outputs.back()) + " is one of the inputs");
      return {};
    }
  }
  return outputs;
}

// The SHA-256 of a whole file, read once; empty when it cannot be read.
std::string file_sha256(const std::string& path) {
  const vemo::Result<int> opened = vemo::platform::open_for_reading(path);
  if (!opened.ok()) return {};
  const int fd = *opened;
  vemo::platform::Sha256 hash;
  std::vector<char> buffer(1 << 18);
  bool ok = true;
  for (;;) {
    const vemo::Result<std::size_t> n = vemo::platform::read_some(fd, buffer.data(), buffer.size());
    if (!n.ok()) {
      ok = false;
      break;
    }
    if (*n == 0) break;
    hash.update(buffer.data(), *n);
  }
  (void)vemo::platform::close(fd);
  return ok ? hash.finish() : std::string();
}

// With --update: whether `input` needs no conversion, as `make` and `cp -u` decide (its output
// is newer than it), or because the report lists it as converted in the state it is in now
// (path, size, modification time and, where the entry has one, checksum). Then `entry` is its
// report.
bool up_to_date(const std::string& input, const std::string& output, const vemo::ReportFile* ledger,
                vemo::InputReport& entry) {
  const auto in_status = vemo::platform::status(input);
  if (!in_status.ok() || in_status->kind != vemo::platform::FileKind::kRegular) return false;
  const vemo::platform::FileStatus& in = *in_status;
  entry = {};
  entry.input = input;
  entry.path = vemo::platform::absolute_path(input);
  entry.has_status = true;
  entry.size = in.size;
  entry.mtime_ns = in.mtime_ns;
  entry.status = vemo::InputStatus::kUpToDate;
  if (const auto out = vemo::platform::status(output);
      out.ok() && out->kind == vemo::platform::FileKind::kRegular && out->mtime_ns > in.mtime_ns) {
    return true;
  }
  if (ledger == nullptr) return false;
  const std::string* sha =
      ledger->converted(vemo::ReportFile::key(entry.path, in.size, in.mtime_ns));
  if (sha == nullptr) return false;
  if (sha->empty()) return true;
  entry.input_sha256 = file_sha256(input);
  return entry.input_sha256 == *sha;
}

// Converts every input into its own output, one run each, and prints one summary for all.
int convert_each(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs,
                 vemo::ConsoleObserver& observer, vemo::RunOptions options, bool sample,
                 bool update, vemo::RunReport* report, const vemo::ReportFile* ledger) {
  std::int64_t records = 0, files = 0;
  bool skipped = false;
  // One set of large buffers for all the runs, rather than one allocated per input.
  vemo::RunBuffers buffers;
  options.buffers = &buffers;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    // A signal held once the previous input's output was in place ends the run now.
    vemo::platform::release_interrupts();
    vemo::InputReport entry;
    if (update && up_to_date(inputs[i], outputs[i], ledger, entry)) {
      if (report) report->write(entry);
      continue;
    }
    const std::vector<std::string> one = {inputs[i]};
    ArgumentSelection selection(one, outputs[i]);
    vemo::RunState state;
    observer.set_file_number(i + 1, inputs.size());
    const vemo::RunResult r = sample ? vemo::show_sample(state, selection, observer, options)
                                     : vemo::extract(state, selection, observer, options);
    if (report) {
      const bool whole = (r.end == vemo::RunEnd::kCompleted || r.end == vemo::RunEnd::kTrialEnd) &&
                         r.skipped_files == 0;
      report->complete_held(whole ? outputs[i] : std::string(), r.output_bytes.value_or(0),
                            r.output_sha256);
    }
    // The lines of an input whose output was dropped are not counted as written.
    if (r.skipped_files == 0) records += r.records;
    files += r.files;
    skipped = skipped || r.skipped_files > 0 || r.changed_files > 0;
    const int status = exit_status(r);
    // As with one output: an output failure or a stop at an invalid file ends the whole run.
    if (r.end == vemo::RunEnd::kOutputFailed || r.end == vemo::RunEnd::kDeclined) return status;
  }
  observer.print_summary(std::to_string(records) + " Records Written from " +
                         std::to_string(files) + " Files");
  return skipped ? 1 : 0;
}

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

int convert_main(int argc, char** argv) {
  // With a standard stream closed, the output file could be given its descriptor and receive
  // our messages: hold those slots with the null device.
  bool closed[3] = {};
  vemo::platform::hold_closed_standard_streams(closed);
  // The lines of "-o -" go out as they are, the same bytes on every system.
  vemo::platform::prepare_standard_streams();
  const std::vector<std::string> raw = vemo::platform::arguments(argc, argv);
  std::string error;
  const auto args = vemo::parse_arguments(raw, error);
  if (!args) return usage_error(error);
  if (args->help) {
    std::fputs(vemo::usage().c_str(), stdout);
    return 0;
  }
  if (args->version) {
    std::printf("vemo-convert %s\n", vemo::kVersion);
    return 0;
  }

  if (args->watch) return vemo::watch(*args);

  // The lists are read whole before any output is touched.
  std::vector<std::vector<std::string>> list_names;
  for (const vemo::FileList& list : args->lists) {
    std::string text, reason;
    if (!read_list(list.path, text, reason)) {
      return usage_error("Cannot read the file list " + vemo::quote_name(list.path) + ": " +
                         reason);
    }
    list_names.push_back(vemo::split_file_list(text, args->null_separated));
  }
  const std::vector<std::string> inputs = vemo::ordered_inputs(*args, list_names);
  if (inputs.empty()) return usage_error("no input files given");
  const bool to_folder = !args->output_dir.empty();
  std::vector<std::string> outputs;
  if (to_folder) {
    outputs = outputs_in_folder(args->output_dir, inputs, args->format.id,
                                vemo::compression_suffix(vemo::output_compression(*args)));
    if (outputs.empty()) return 2;
  }

  const bool to_stdout = args->output == "-";
  const int slot = to_stdout              ? vemo::platform::kStdout
                   : args->output.empty() ? -1
                                          : vemo::platform::standard_stream_named(args->output);
  if (slot >= 0 && closed[slot]) {
    // The lines would go into the null device that holds the slot, and the run would look a
    // success.
    static const char* const kStreams[] = {"input", "output", "error"};
    std::fprintf(stderr, "vemo-convert: Cannot create the output file %s: standard %s is closed\n",
                 vemo::quote_name(args->output).c_str(), kStreams[slot]);
    return 2;
  }

  bool show_progress = false;
  switch (args->progress) {
    case vemo::ProgressWhen::kAuto:
      show_progress = vemo::platform::is_terminal(vemo::platform::kStderr) &&
                      !vemo::platform::output_shares_the_terminal(args->output);
      break;
    case vemo::ProgressWhen::kAlways:
      show_progress = true;
      break;
    case vemo::ProgressWhen::kNever:
      break;
  }
  // The report is opened, locked and read before any output is touched: one that cannot be
  // written is a usage error.
  vemo::ReportFile report_file;
  const bool report_to_stderr = args->report == "-";
  if (report_to_stderr) {
    report_file.open_stderr();
  } else if (!args->report.empty() && !report_file.open(args->report, error)) {
    std::fprintf(stderr, "vemo-convert: %s\n", error.c_str());
    return 2;
  }
  std::optional<vemo::RunReport> report;
  if (!args->report.empty()) report.emplace(report_file, to_folder);

  vemo::ConsoleObserver observer(stderr,
                                 {.quiet = args->quiet,
                                  .stop_on_invalid = args->stop_on_invalid,
                                  .show_progress = show_progress && !args->quiet,
                                  .force = args->force,
                                  .total_bytes = show_progress ? total_length(inputs) : 0,
                                  .width = show_progress ? vemo::platform::terminal_width() : 0,
                                  .summary = !report_to_stderr});
  vemo::RunState state;
  vemo::RunOptions options;
  options.output_to_stdout = to_stdout;
  // An interrupted or failed run leaves the previous output as it was.
  options.replace_output_when_done = true;
  // A signal after the output was replaced waits until the program ends with its summary and
  // status, which it then no longer changes.
  options.hold_interrupts_once_replaced = true;
  vemo::platform::PendingRemoval::remove_on_signals();
  // An output past the file size limit (ulimit -f) fails as a write ("File too large") rather
  // than ending the process and leaving its temporary file.
  vemo::platform::fail_writes_past_file_size_limit();
  // A reader that stops early (`| head`) ends the run quietly, as it ends any filter.
  vemo::platform::end_on_broken_pipe();
  options.format = args->format;
  options.jobs =
      args->jobs > 0 ? static_cast<unsigned>(args->jobs) : vemo::platform::usable_cpu_count();
  options.dash_reads_stdin = true;
  options.compression = vemo::output_compression(*args);
  options.compression_level = args->compress_level;
  if (report) {
    options.report = &*report;
    options.checksums = args->checksums;
  }
  // The report's last word: the run's object, and exit status 2 when the report failed.
  const auto finish = [&](int status, const std::string& output_sha256,
                          std::optional<std::uint64_t> bytes) {
    if (!report) return status;
    if (report->error().empty()) report->write_end(status, *args, output_sha256, bytes);
    if (report->error().empty()) return status;
    std::fprintf(stderr, "vemo-convert: %s\n", report->error().c_str());
    return 2;
  };
  if (to_folder) {
    // An input that is skipped, also part way through, leaves no output.
    options.whole_files_only = true;
    const int status =
        convert_each(inputs, outputs, observer, options, args->sample, args->update,
                     report ? &*report : nullptr, report_to_stderr ? nullptr : &report_file);
    return finish(status, {}, std::nullopt);
  }
  ArgumentSelection selection(inputs, args->output);
  const vemo::RunResult result = args->sample
                                     ? vemo::show_sample(state, selection, observer, options)
                                     : vemo::extract(state, selection, observer, options);
  return finish(exit_status(result), result.output_sha256, result.output_bytes);
}

}  // namespace

int main(int argc, char** argv) {
  // A failure that no step answers still ends with a message and the status of a failure, never
  // with an abort. The output's temporary file is removed as the writer unwinds.
  try {
    return convert_main(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("vemo-convert: out of memory\n", stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vemo-convert: %s\n", e.what());
  }
  return 2;
}
