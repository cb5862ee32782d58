#include "core/data_file_scanner.h"

#include "core/val.h"

namespace vemo {

namespace {
constexpr int kProbeCount = 6;
constexpr double kMinProbe = 80;
constexpr double kMaxProbe = 150;
}  // namespace

namespace DataFileScanner {

double prefix_value(std::string_view block, std::size_t k) noexcept {
  const std::string_view prefix = block.substr(k, 3);
  // Three digits are by far the usual case.
  if (prefix.size() == 3 && static_cast<unsigned>(prefix[0] - '0') < 10 &&
      static_cast<unsigned>(prefix[1] - '0') < 10 && static_cast<unsigned>(prefix[2] - '0') < 10) {
    return (prefix[0] - '0') * 100 + (prefix[1] - '0') * 10 + (prefix[2] - '0');
  }
  return Val(prefix);
}

bool is_data_file(DataFileReader& reader) {
  for (int i = 0; i < kProbeCount; ++i) {
    const double v = Val(reader.view(1 + static_cast<std::uint64_t>(i) * kBlockSize, 3));
    if (v < kMinProbe || v > kMaxProbe) return false;
  }
  return true;
}

bool scan_block(std::string_view block, RecordSink& sink) {
  // A record may start at offset 2047 (1-based) at the latest: k < 2048 - 1 here, 0-based.
  std::size_t k = 0;
  while (k < kBlockSize - 1) {
    const double length = prefix_value(block, k);
    // Zero ends the block's records; so does a value below 1 (a sign or a fraction), which would
    // otherwise step backwards or stand still.
    if (!(length >= 1)) break;
    const std::size_t room = kBlockSize - k;
    const std::size_t step =
        length >= static_cast<double>(room) ? room : static_cast<std::size_t>(length);
    if (!sink.on_record(block.substr(k, step), length)) return false;
    k += step;
  }
  return true;
}

ScanResult scan(DataFileReader& reader, RecordSink& sink) {
  std::uint64_t position = 1;
  for (;;) {
    const std::string_view block = reader.view(position, kBlockSize);
    const bool at_end = reader.end_of_data();
    // The blocks before a failed read are whole and scanned; the one the failure falls in is not.
    if (at_end && reader.failed()) return ScanResult::kReadFailed;
    if (!scan_block(block, sink)) return ScanResult::kStopped;
    position += kBlockSize;
    sink.on_block_done(position);
    if (at_end) return ScanResult::kCompleted;
  }
}

}  // namespace DataFileScanner
}  // namespace vemo
