#include "cli/run_report.h"

#include <cstdio>

#include "version.h"

namespace vemo {

void RunReport::on_input(const InputReport& report) {
  if (hold_) {
    held_ = report;
  } else {
    write(report);
  }
}

void RunReport::on_output_failed(const std::string& reason) {
  if (!held_ || held_->status != InputStatus::kConverted) return;
  held_->status = InputStatus::kStopped;
  held_->reason = reason;
  held_->input_sha256.clear();
}

bool RunReport::complete_held(const std::string& output, std::uint64_t bytes,
                              const std::string& sha256) {
  if (!held_) return false;
  if (held_->status == InputStatus::kConverted && !output.empty()) {
    held_->output = output;
    held_->output_bytes = bytes;
    held_->output_sha256 = sha256;
  }
  write(*held_);
  held_.reset();
  return true;
}

void RunReport::write(const InputReport& r) {
  ++by_status_[static_cast<std::size_t>(r.status)];
  records_ += r.records;
  skipped_records_ += r.skipped_records;
  cut_records_ += r.cut_records;
  file_.note(r);
  last_ = r;
  std::string error;
  if (!file_.append(report_json::entry(r), r.status == InputStatus::kConverted, error) &&
      error_.empty()) {
    error_ = error;
  }
}

void RunReport::write_end(int exit_status, const CliArguments& args,
                          const std::string& output_sha256,
                          std::optional<std::uint64_t> output_bytes) {
  using report_json::quote;
  const auto flag = [](bool b) { return b ? "true" : "false"; };
  const auto count = [this](InputStatus s) {
    return std::to_string(by_status_[static_cast<std::size_t>(s)]);
  };
  std::int64_t files = 0;
  for (const std::int64_t n : by_status_) files += n;
  std::string line = "{\"run\":\"vemo-convert\",\"version\":" + quote(kVersion) +
                     ",\"exit_status\":" + std::to_string(exit_status) +
                     ",\"files\":" + std::to_string(files) +
                     ",\"converted\":" + count(InputStatus::kConverted) +
                     ",\"skipped\":" + count(InputStatus::kSkipped) +
                     ",\"unreadable\":" + count(InputStatus::kUnreadable) +
                     ",\"stopped\":" + count(InputStatus::kStopped) +
                     ",\"up_to_date\":" + count(InputStatus::kUpToDate) +
                     ",\"records\":" + std::to_string(records_) +
                     ",\"skipped_records\":" + std::to_string(skipped_records_) +
                     ",\"cut_records\":" + std::to_string(cut_records_);
  if (!args.output.empty()) {
    line += ",\"output\":" + quote(args.output);
    if (output_bytes) line += ",\"output_bytes\":" + std::to_string(*output_bytes);
    if (!output_sha256.empty()) line += ",\"output_sha256\":" + quote(output_sha256);
  }
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.6f",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count());
  line += ",\"seconds\":";
  line += seconds;
  line += ",\"options\":{\"output_dir\":" +
          (args.output_dir.empty() ? std::string("null") : quote(args.output_dir)) +
          ",\"report\":" + quote(args.report) +
          ",\"jobs\":" + (args.jobs > 0 ? std::to_string(args.jobs) : std::string("null")) +
          ",\"checksums\":" + flag(args.checksums) + ",\"update\":" + flag(args.update) +
          ",\"watch\":" + flag(args.watch) + ",\"sample\":" + flag(args.sample) +
          ",\"stop_on_invalid\":" + flag(args.stop_on_invalid) + ",\"force\":" + flag(args.force);
  if (args.watch) {
    line += ",\"settle\":" + std::to_string(args.settle_seconds) +
            ",\"scan\":" + std::to_string(args.scan_seconds);
  }
  line += "}}";
  std::string error;
  if (!file_.append(line, true, error) && error_.empty()) error_ = error;
}

}  // namespace vemo
