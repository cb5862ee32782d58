#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vemo {

// How one input ended.
enum class InputStatus {
  kConverted,   // every record written
  kSkipped,     // not a data file
  kUnreadable,  // could not be opened or read
  kStopped,     // the run stopped inside it (asked to, or a sample's limit)
  kUpToDate,    // left alone: converted before and not changed since
};

std::string_view status_name(InputStatus status);

// What became of one input: a line of the report.
struct InputReport {
  std::string input;  // as given
  std::string path;   // absolute
  std::uint64_t size = 0;
  std::int64_t mtime_ns = 0;
  bool has_status = false;  // size and mtime are known
  InputStatus status = InputStatus::kConverted;
  std::string reason;  // why it was not converted
  std::int64_t records = 0;
  std::int64_t skipped_records = 0;
  std::int64_t cut_records = 0;
  std::string first_call, last_call;  // "yyyy-mm-dd hh:mm:ss"; empty without records
  std::string output;                 // with one output per input
  std::uint64_t output_bytes = 0;
  std::string input_sha256, output_sha256;  // empty when not computed
  double seconds = 0;
};

// Takes each input's report as the input ends, in the order of the inputs.
class InputReportSink {
 public:
  virtual ~InputReportSink() = default;
  virtual void on_input(const InputReport& report) = 0;
  // The output failed after the inputs reported so far ended: those reported converted lost
  // their lines, unless their reports can still be changed.
  virtual void on_output_failed(const std::string& reason) { (void)reason; }
};

}  // namespace vemo
