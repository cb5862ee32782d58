#include "bench_data.h"

#include <map>
#include <memory>

#include "axegen/profiles.h"
#include "core/data_file_scanner.h"
#include "core/record_layout.h"

namespace vemo::bench {
namespace {

// Keeps the first record of each kind the scanner hands over.
class Picker final : public RecordSink {
 public:
  Picker(RecordKind kind, int length) : kind_(kind), length_(length) {}

  bool on_record(std::string_view record, double length) override {
    const bool known = layout_for_length(length) != nullptr;
    const bool whole = record.size() == static_cast<std::size_t>(length);
    bool match = false;
    switch (kind_) {
      case RecordKind::kWhole:
        match = whole && length == length_;
        break;
      case RecordKind::kCut:
        match = known && !whole;
        break;
      case RecordKind::kSkip:
        match = !known && whole;
        break;
    }
    if (!match) return true;
    found_ = {std::string(record), length};
    return false;
  }
  void on_block_done(std::uint64_t) override {}

  const SampleRecord& found() const { return found_; }

 private:
  RecordKind kind_;
  int length_;
  SampleRecord found_;
};

}  // namespace

const std::string& realistic_file(std::size_t size) {
  static std::map<std::size_t, std::unique_ptr<std::string>> files;
  auto& slot = files[size];
  if (!slot) {
    slot = std::make_unique<std::string>(axegen::generate({"realistic", 1, size, std::nullopt}));
  }
  return *slot;
}

SampleRecord find_record(RecordKind kind, int length) {
  const std::string& data = realistic_file(std::size_t{4} << 20);
  Picker picker(kind, length);
  for (std::size_t at = 0; at + kBlockSize <= data.size(); at += kBlockSize) {
    if (!DataFileScanner::scan_block(std::string_view(data).substr(at, kBlockSize), picker)) break;
  }
  return picker.found();
}

}  // namespace vemo::bench
