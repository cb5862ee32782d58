#include "core/parallel_converter.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/record_decoder.h"

namespace vemo {
namespace {

// The most output one block can give: at most 22 records long enough to have a layout, and
// skip lines for everything else.
constexpr std::size_t kMaxBlockOutput =
    (kBlockSize / 97 + 1) * (RecordDecoder::kMaxLineSize + 2) + kBlockSize * (kSkipLine.size() + 2);

// A growable byte buffer that never initialises what it does not write.
class LineBuffer {
 public:
  char* reserve(std::size_t n) {
    if (capacity_ - size_ < n) {
      const std::size_t wanted = std::max(capacity_ * 2, size_ + n);
      auto grown = std::unique_ptr<char[]>(new char[wanted]);
      if (size_ != 0) std::memcpy(grown.get(), data_.get(), size_);
      data_ = std::move(grown);
      capacity_ = wanted;
    }
    return data_.get() + size_;
  }
  void commit(std::size_t n) { size_ += n; }
  void clear() { size_ = 0; }
  std::string_view view() const { return {data_.get(), size_}; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Decodes records into a chunk's buffer.
class ChunkDecoder final : public RecordSink {
 public:
  explicit ChunkDecoder(LineBuffer& out) : out_(out) {}
  bool on_record(std::string_view record, double length) override {
    char* line = out_.reserve(RecordDecoder::kMaxLineSize + 2);
    std::size_t n = RecordDecoder::decode(record, length, line);
    line[n++] = '\r';
    line[n++] = '\n';
    out_.commit(n);
    ++records;
    return true;
  }
  void on_block_done(std::uint64_t) override {}
  std::int64_t records = 0;

 private:
  LineBuffer& out_;
};

struct Slot {
  bool ready = false;  // filled and not yet handed on
  std::uint64_t index = 0;
  LineBuffer lines;
  std::int64_t records = 0;
  std::uint64_t next_block_position = 0;
  bool last = false;    // the chunk holding the end of the file
  bool failed = false;  // the read failed
  std::string error;
};

class Conversion {
 public:
  Conversion(const DataFileReader& reader, unsigned jobs, std::size_t blocks_per_chunk)
      : reader_(reader),
        jobs_(std::max(1u, jobs)),
        blocks_per_chunk_(std::max<std::size_t>(1, blocks_per_chunk)),
        chunk_bytes_(blocks_per_chunk_ * kBlockSize),
        slots_(2 * jobs_) {}

  ScanResult run(ChunkSink& sink, std::string& error) {
    std::vector<std::thread> workers;
    workers.reserve(jobs_);
    for (unsigned i = 0; i < jobs_; ++i) workers.emplace_back([this] { work(); });

    ScanResult result = ScanResult::kCompleted;
    for (std::uint64_t index = 0;; ++index) {
      Slot& slot = slots_[index % slots_.size()];
      {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return slot.ready && slot.index == index; });
      }
      if (slot.failed) {
        error = slot.error;
        result = ScanResult::kReadFailed;
        break;
      }
      if (!sink.on_chunk(slot.lines.view(), slot.records, slot.next_block_position)) {
        result = ScanResult::kStopped;
        break;
      }
      if (slot.last) break;
      {
        std::lock_guard lock(mutex_);
        slot.ready = false;
        ++handed_on_;
      }
      freed_.notify_all();
    }
    {
      std::lock_guard lock(mutex_);
      cancelled_ = true;
    }
    freed_.notify_all();
    for (auto& w : workers) w.join();
    return result;
  }

 private:
  void work() {
    auto input = std::unique_ptr<char[]>(new char[chunk_bytes_]);
    for (;;) {
      std::uint64_t index;
      Slot* slot;
      {
        std::unique_lock lock(mutex_);
        index = next_index_++;
        if (index > end_index_) return;
        slot = &slots_[index % slots_.size()];
        // Chunk i uses slot i % slots once chunk i - slots has been handed on. Waiting for the
        // slot merely to be free is not enough: a worker that ran ahead could take it for a
        // later chunk than the one the sink waits for.
        freed_.wait(lock, [&] { return cancelled_ || index < handed_on_ + slots_.size(); });
        if (cancelled_ || index > end_index_) return;
      }
      fill(*slot, index, input.get());
      {
        std::lock_guard lock(mutex_);
        if (slot->last || slot->failed) end_index_ = std::min(end_index_, index);
        slot->ready = true;
      }
      ready_.notify_all();
    }
  }

  void fill(Slot& slot, std::uint64_t index, char* input) {
    slot.index = index;
    slot.lines.clear();
    slot.records = 0;
    slot.failed = false;
    const std::uint64_t offset = index * chunk_bytes_;
    const std::int64_t got = reader_.read_direct(offset, input, chunk_bytes_, slot.error);
    if (got < 0) {
      slot.failed = true;
      slot.last = true;
      return;
    }
    const auto found = static_cast<std::size_t>(got);
    // A short read holds the end of the file: its blocks run up to and including the one that
    // reaches past the end, which is read as zero bytes (an empty one when the file ends on a
    // block boundary).
    slot.last = found < chunk_bytes_;
    const std::size_t blocks = slot.last ? found / kBlockSize + 1 : blocks_per_chunk_;
    std::memset(input + found, 0, blocks * kBlockSize - found);

    ChunkDecoder decoder(slot.lines);
    for (std::size_t b = 0; b < blocks; ++b) {
      slot.lines.reserve(kMaxBlockOutput);
      DataFileScanner::scan_block({input + b * kBlockSize, kBlockSize}, decoder);
    }
    slot.records = decoder.records;
    slot.next_block_position = offset + blocks * kBlockSize + 1;
  }

  const DataFileReader& reader_;
  const unsigned jobs_;
  const std::size_t blocks_per_chunk_;
  const std::size_t chunk_bytes_;
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable freed_;
  std::uint64_t next_index_ = 0;
  std::uint64_t handed_on_ = 0;  // chunks given to the sink so far
  std::uint64_t end_index_ = UINT64_MAX;
  bool cancelled_ = false;
};

}  // namespace

ScanResult ParallelConverter::convert(const DataFileReader& reader, unsigned jobs, ChunkSink& sink,
                                      std::string& error, std::size_t blocks_per_chunk) {
  return Conversion(reader, jobs, blocks_per_chunk).run(sink, error);
}

}  // namespace vemo
