#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "cli/arguments.h"
#include "run/input_report.h"
#include "run/report_file.h"

namespace vemo {

// The report of one vemo-convert command: every input's entry as it ends, then one object for
// the run. Entries of converted inputs are synced, so that the ledger survives a power cut.
class RunReport final : public InputReportSink {
 public:
  // `hold`: each entry waits for complete_held(), which adds what the input's own output became.
  RunReport(ReportFile& file, bool hold) : file_(file), hold_(hold) {}

  void on_input(const InputReport& report) override;
  // A held entry of a converted input becomes "stopped" for this reason: its output is lost.
  // Entries written already stay as they are.
  void on_output_failed(const std::string& reason) override;
  // Writes the held entry, with its output when `output` is not empty (the input was converted
  // into it). False when no entry was held: the run ended before the input's step.
  bool complete_held(const std::string& output, std::uint64_t bytes, const std::string& sha256);
  // Writes an entry now.
  void write(const InputReport& report);
  // The object for the run: totals, the exit status, the version and the options.
  // `output_bytes`: the length of the one output (-o) once it was closed whole.
  void write_end(int exit_status, const CliArguments& args, const std::string& output_sha256,
                 std::optional<std::uint64_t> output_bytes);

  // The entry written last.
  const InputReport& last() const { return last_; }
  // Why a write failed, once one did; empty otherwise.
  const std::string& error() const { return error_; }

 private:
  ReportFile& file_;
  bool hold_;
  std::optional<InputReport> held_;
  InputReport last_;
  std::string error_;
  // The entries written, by status (InputStatus's order); their sum is the files.
  std::array<std::int64_t, static_cast<std::size_t>(InputStatus::kUpToDate) + 1> by_status_{};
  std::int64_t records_ = 0, skipped_records_ = 0, cut_records_ = 0;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

}  // namespace vemo
