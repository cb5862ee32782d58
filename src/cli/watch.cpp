#include "cli/watch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/quote.h"
#include "cli/run_report.h"
#include "platform/folder_events.h"
#include "platform/platform.h"
#include "run/extraction_run.h"
#include "run/report_file.h"

namespace vemo {
namespace {

using Clock = std::chrono::steady_clock;

void say(const std::string& line) {
  std::fprintf(stderr, "vemo-convert: %s\n", line.c_str());
  std::fflush(stderr);
}

// One file to convert, the folder it is in, and the output it goes to.
class OneFile final : public SelectionView {
 public:
  OneFile(std::string path, std::string output)
      : path_(std::move(path)), output_(std::move(output)) {}
  std::string current_folder() const override { return {}; }
  std::size_t item_count() const override { return 1; }
  std::string item_name(std::size_t) const override { return path_; }
  bool selected(std::size_t) const override { return true; }
  std::string output_path() const override { return output_; }

 private:
  std::string path_, output_;
};

// The run says nothing while a watch converts: the one line per file comes from the report.
class QuietObserver final : public RunObserver {
 public:
  explicit QuietObserver(bool force) : force_(force) {}
  void set_file_status(const FileStatus&) override {}
  void clear_status() override {}
  void set_progress(int) override {}
  bool ask_yes_no(const Question& q) override {
    return q.kind != QuestionKind::kOutputIsDataFile || force_;
  }
  void show_message(const Message& m) override {
    if (m.kind == MessageKind::kOutputCannotCreate || m.kind == MessageKind::kOutputWriteFailed) {
      say(m.text);
    }
  }
  void open_viewer(const std::string&) override {}

 private:
  bool force_;
};

// A file seen in a folder, not yet known to be complete.
struct Candidate {
  std::uint64_t size = 0;
  std::int64_t mtime_ns = 0;
  Clock::time_point changed_at;
  bool complete = false;  // closed after writing or moved in since it last changed
};

std::string join(const std::string& folder, const std::string& name) {
  return platform::is_separator(folder.back()) ? folder + name
                                               : folder + platform::kSeparator + name;
}

std::string name_of(const std::string& path) {
  std::size_t start = path.size();
  while (start > 0 && !platform::is_separator(path[start - 1])) --start;
  return path.substr(start);
}

// The names of the regular files in a folder; nothing when it cannot be read now.
std::vector<std::string> file_names(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  const std::u8string utf8(folder.begin(), folder.end());
  for (std::filesystem::directory_iterator it(std::filesystem::path(utf8), error), end;
       !error && it != end; it.increment(error)) {
    const std::u8string name = it->path().filename().u8string();
    names.emplace_back(name.begin(), name.end());
  }
  return names;
}

// Temporary outputs (".NAME.csv.XXXXXX", or .tsv, .jsonl) that a killed process left behind.
void remove_stale_temporaries(const std::string& output_dir) {
  for (const std::string& name : file_names(output_dir)) {
    if (name.size() < 12 || name[0] != '.' || name[name.size() - 7] != '.') continue;
    const std::string output = name.substr(1, name.size() - 8);
    if (!output.ends_with(".csv") && !output.ends_with(".tsv") && !output.ends_with(".jsonl")) {
      continue;
    }
    const std::string suffix = name.substr(name.size() - 6);
    if (!std::all_of(suffix.begin(), suffix.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; })) {
      continue;
    }
    platform::remove_file(join(output_dir, name));
    say("removed the unfinished output " + quote_name(join(output_dir, name)));
  }
}

class Watch {
 public:
  explicit Watch(const CliArguments& args) : args_(args), observer_(args.force) {}

  int run() {
    std::string error;
    if (!ledger_.open(args_.report, error)) return fail(error);
    if (!is_folder(args_.output_dir)) {
      return fail("the output folder " + quote_name(args_.output_dir) + " is not a folder");
    }
    // An identity the system cannot tell is unknown, and never the same as another.
    const platform::FileId out = platform::status(args_.output_dir)->id;
    for (const std::string& folder : args_.files) {
      if (!is_folder(folder)) return fail(quote_name(folder) + " is not a folder to watch");
      if (platform::same_file(platform::status(folder)->id, out)) {
        return fail("the output folder " + quote_name(folder) + " cannot be watched too");
      }
    }
    remove_stale_temporaries(args_.output_dir);

    platform::catch_stop_signals();
    bool all_events = true;
    for (const std::string& folder : args_.files) all_events = events_.add(folder) && all_events;
    say("watching " + std::to_string(args_.files.size()) + " folder(s) into " +
        quote_name(args_.output_dir) + (all_events ? "" : " (by looking only)") + ", report " +
        quote_name(args_.report));

    report_.emplace(ledger_, true);
    options_.replace_output_when_done = true;
    options_.jobs =
        args_.jobs > 0 ? static_cast<unsigned>(args_.jobs) : platform::usable_cpu_count();
    options_.report = &*report_;
    options_.checksums = args_.checksums;
    options_.format = args_.format;
    options_.whole_files_only = true;
    options_.buffers = &buffers_;

    const auto scan_every = std::chrono::seconds(args_.scan_seconds);
    const auto settle = std::chrono::seconds(args_.settle_seconds);
    Clock::time_point next_scan = Clock::now();
    while (!platform::stop_signalled()) {
      if (platform::take_hangup()) {
        if (!ledger_.reopen(error)) return fail(error);
        say("re-opened the report " + quote_name(args_.report));
      }
      if (Clock::now() >= next_scan) {
        for (const std::string& folder : args_.files) {
          for (const std::string& name : file_names(folder)) look_at(join(folder, name), false);
        }
        next_scan = Clock::now() + scan_every;
      }
      // Converts what is ready, the oldest change first.
      for (auto it = candidates_.begin(); it != candidates_.end() && !platform::stop_signalled();) {
        const Candidate& c = it->second;
        if (c.complete || Clock::now() - c.changed_at >= settle) {
          const std::string path = it->first;
          it = candidates_.erase(it);
          if (!convert(path)) return 2;
        } else {
          ++it;
        }
      }
      // Until the next scan, or the next candidate's settling, and at least once a second.
      auto wait = std::min<Clock::duration>(next_scan - Clock::now(), std::chrono::seconds(1));
      for (const auto& [path, c] : candidates_) {
        wait = std::min<Clock::duration>(wait, c.changed_at + settle - Clock::now());
      }
      const auto ms = std::max<long long>(
          10, std::chrono::duration_cast<std::chrono::milliseconds>(wait).count());
      for (const auto& e : events_.wait(static_cast<int>(ms))) look_at(e.path, e.complete);
    }
    say("stopped");
    report_->write_end(0, args_, {}, std::nullopt);
    if (!report_->error().empty()) return fail(report_->error());
    return 0;
  }

 private:
  static bool is_folder(const std::string& path) {
    const auto st = platform::status(path);
    return st.ok() && st->kind == platform::FileKind::kDirectory;
  }

  int fail(const std::string& reason) {
    say(reason);
    return 2;
  }

  // A file seen by a look or an event: a candidate unless the ledger already has it as it is.
  void look_at(const std::string& path, bool complete) {
    if (!watch_takes_name(name_of(path))) return;
    const auto found = platform::status(path);
    if (!found.ok() || found->kind != platform::FileKind::kRegular) {
      candidates_.erase(path);
      return;
    }
    const platform::FileStatus& st = *found;
    const std::string key = ReportFile::key(platform::absolute_path(path), st.size, st.mtime_ns);
    if (ledger_.converted(key) || ledger_.failed(key)) {
      candidates_.erase(path);
      return;
    }
    auto [it, fresh] = candidates_.try_emplace(path);
    Candidate& c = it->second;
    if (fresh || c.size != st.size || c.mtime_ns != st.mtime_ns) {
      c.size = st.size;
      c.mtime_ns = st.mtime_ns;
      c.changed_at = Clock::now();
      c.complete = false;
      // Found on a look with a modification time older than the settling time: already at rest.
      const auto age = std::chrono::system_clock::now().time_since_epoch() -
                       std::chrono::nanoseconds(st.mtime_ns);
      if (fresh && age >= std::chrono::seconds(args_.settle_seconds)) {
        c.changed_at -= std::chrono::seconds(args_.settle_seconds);
      }
    }
    c.complete = c.complete || complete;
  }

  // Converts one file and reports it; false when the report cannot be written (the ledger would
  // no longer hold what was done).
  bool convert(const std::string& path) {
    const std::string output = join(args_.output_dir, output_name_for(path, args_.format.id));
    OneFile selection(path, output);
    RunState state;
    const RunResult r = extract(state, selection, observer_, options_);
    const bool whole = r.end == RunEnd::kCompleted;
    if (!report_->complete_held(whole ? output : std::string(), r.output_bytes.value_or(0),
                                r.output_sha256)) {
      // The output could not be opened (the run said why): tried again at the next look.
      return true;
    }
    if (!report_->error().empty()) {
      say(report_->error());
      return false;
    }
    const InputReport& e = report_->last();
    if (e.status == InputStatus::kConverted) {
      say("converted " + quote_name(path) + " to " + quote_name(output) + ": " +
          std::to_string(e.records) + " records");
    } else {
      say(std::string(status_name(e.status)) + " " + quote_name(path) + ": " + e.reason);
    }
    return true;
  }

  const CliArguments& args_;
  QuietObserver observer_;
  ReportFile ledger_;
  std::optional<RunReport> report_;
  RunOptions options_;
  RunBuffers buffers_;  // shared by the runs, one per file
  platform::FolderEvents events_;
  std::map<std::string, Candidate> candidates_;
};

}  // namespace

bool watch_takes_name(std::string_view name) {
  if (name.empty() || name[0] == '.') return false;
  for (const std::string_view partial : {".tmp", ".part", ".filepart"}) {
    if (name.ends_with(partial)) return false;
  }
  return true;
}

int watch(const CliArguments& args) {
  return Watch(args).run();
}

}  // namespace vemo
