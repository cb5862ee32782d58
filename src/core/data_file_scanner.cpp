#include "core/data_file_scanner.h"

#include "core/val.h"

namespace vemo {

namespace {
constexpr int kProbeCount = 6;
constexpr double kMinProbe = 80;
constexpr double kMaxProbe = 150;
}  // namespace

namespace DataFileScanner {

bool is_data_file(DataFileReader& reader) {
  for (int i = 0; i < kProbeCount; ++i) {
    const double v = Val(reader.view(1 + static_cast<std::uint64_t>(i) * kBlockSize, 3));
    if (v < kMinProbe || v > kMaxProbe) return false;
  }
  return true;
}

bool scan_block(std::string_view block, RecordSink& sink) {
  return for_each_record(block, [&sink](std::string_view record, double length) {
    return sink.on_record(record, length);
  });
}

ScanOutcome scan(DataFileReader& reader, RecordSink& sink) {
  std::uint64_t position = 1;
  for (;;) {
    const std::string_view block = reader.view(position, kBlockSize);
    const bool at_end = reader.end_of_data();
    // The blocks before a failed read are whole and scanned; the one the failure falls in is not.
    if (at_end && reader.failure()) return {ScanResult::kReadFailed, reader.failure()};
    if (!scan_block(block, sink)) return {ScanResult::kStopped, {}};
    position += kBlockSize;
    sink.on_block_done(position);
    if (at_end) return {ScanResult::kCompleted, {}};
  }
}

ScanOutcome scan(DataFileReader& reader, BlockSink& sink) {
  std::uint64_t position = 1;
  for (;;) {
    const std::string_view block = reader.view(position, kBlockSize);
    const bool at_end = reader.end_of_data();
    if (at_end && reader.failure()) return {ScanResult::kReadFailed, reader.failure()};
    position += kBlockSize;
    if (!sink.on_block(block, position)) return {ScanResult::kStopped, {}};
    if (at_end) return {ScanResult::kCompleted, {}};
  }
}

}  // namespace DataFileScanner
}  // namespace vemo
