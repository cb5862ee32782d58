#include "core/parallel_converter.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "core/block_decoder.h"
#include "platform/platform.h"

namespace vemo {
namespace {

static_assert(kMaxBlockOutput <= ParallelConverter::kSlotBytes);

// A chunk is read in this many parts (256 KiB each for a 1 MiB chunk).
constexpr std::size_t kReadsPerChunk = 4;

// How many times as long as legacy's a format's typical rows are, in whole steps. A chunk of a
// format with longer rows (jsonl's keys make them three times as long) is that many times fewer
// blocks, so that its rows fit in one slot as legacy's do: a worker whose rows overflow its slot
// hands them on in pieces and waits for the sink at each, which is for the chunks before it to
// be written, and the workers would take turns instead of working side by side.
std::size_t row_growth(const LineEncoder& encoder) {
  const std::size_t legacy = kLegacyEncoder.typical_row_size();
  return std::max<std::size_t>(1, (encoder.typical_row_size() + legacy / 2) / legacy);
}

// A byte buffer of fixed capacity that never initialises what it does not write.
class LineBuffer {
 public:
  void adopt(std::unique_ptr<char[]> data, std::size_t capacity) {
    data_ = std::move(data);
    capacity_ = capacity;
  }
  std::unique_ptr<char[]> release() { return std::move(data_); }
  std::size_t capacity() const { return capacity_; }
  char* end() { return data_.get() + size_; }
  std::size_t room() const { return capacity_ - size_; }
  void commit(std::size_t n) { size_ += n; }
  void clear() { size_ = 0; }
  std::string_view view() const { return {data_.get(), size_}; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

struct Slot {
  bool ready = false;       // a piece is filled and not yet handed on
  std::uint64_t index = 0;  // the chunk the piece belongs to
  LineBuffer lines;
  std::int64_t records = 0;
  FileTally tally;
  std::size_t blocks = 0;  // blocks in the piece
  std::uint64_t next_block_position = 0;
  bool chunk_done = false;  // the piece is the chunk's last
  bool last = false;        // the chunk holding the end of the file
  ReadFailure failure;      // set when the chunk's read failed
};

class Conversion {
 public:
  Conversion(const DataFileReader& reader, unsigned jobs, std::size_t blocks_per_chunk,
             const LineEncoder& encoder, bool tally, platform::Sha256* input_hash,
             ConversionBuffers& buffers)
      : buffers_(buffers),
        reader_(reader),
        encoder_(encoder),
        // A format with longer rows needs room for more than one block's worst case, or every
        // few blocks would make a piece.
        slot_bytes_(std::max(ParallelConverter::kSlotBytes, 2 * encoder.max_block_output())),
        tally_(tally),
        input_hash_(input_hash),
        jobs_(std::max(1u, jobs)),
        blocks_per_chunk_(std::max<std::size_t>(1, blocks_per_chunk / row_growth(encoder))),
        chunk_bytes_(blocks_per_chunk_ * kBlockSize),
        read_bytes_(std::max<std::size_t>(1, blocks_per_chunk_ / kReadsPerChunk) * kBlockSize) {}

  ~Conversion() {
    stop_workers();
    for (Slot& slot : slots_) {
      if (slot.lines.capacity() > 0) buffers_.give_back(kLines, slot.lines.release(), slot_bytes_);
    }
    for (auto& input : inputs_) buffers_.give_back(kReads, std::move(input), read_bytes_);
  }

  std::uint64_t hashed_up_to() {
    std::lock_guard lock(mutex_);
    return hashed_up_to_;
  }

  ScanOutcome run(ChunkSink& sink) {
    if (!start_workers()) return {ScanResult::kNotStarted, {}};

    ScanOutcome outcome;
    std::uint64_t index = 0;
    for (;;) {
      Slot& slot = slots_[index % slots_.size()];
      {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return slot.ready && slot.index == index; });
      }
      if (tally_ && slot.blocks > 0) sink.on_tally(slot.tally);
      if (slot.blocks > 0 &&
          !sink.on_chunk(slot.lines.view(), slot.records, slot.next_block_position)) {
        outcome.end = ScanResult::kStopped;
        break;
      }
      if (slot.chunk_done && slot.failure) {
        outcome = {ScanResult::kReadFailed, slot.failure};
        break;
      }
      if (slot.chunk_done && slot.last) break;
      {
        std::lock_guard lock(mutex_);
        slot.ready = false;
        if (slot.chunk_done) {
          ++handed_on_;
          ++index;
        }
      }
      freed_.notify_all();
    }
    stop_workers();
    return outcome;
  }

 private:
  // Allocates every buffer and starts the workers; false when not even one worker could start.
  // Fewer workers than asked for still convert the whole file.
  bool start_workers() {
    try {
      slots_ = std::vector<Slot>(2 * jobs_);
      for (Slot& slot : slots_) slot.lines.adopt(buffers_.take(kLines, slot_bytes_), slot_bytes_);
      inputs_.reserve(jobs_);
      for (unsigned i = 0; i < jobs_; ++i) inputs_.push_back(buffers_.take(kReads, read_bytes_));
      workers_.reserve(jobs_);
    } catch (const std::bad_alloc&) {
      return false;
    }
    for (unsigned i = 0; i < jobs_; ++i) {
      try {
        workers_.emplace_back([this, input = inputs_[i].get()] {
          platform::hold_interrupts();  // they go to the thread that runs the run
          work(input);
        });
      } catch (const std::system_error&) {
        break;
      } catch (const std::bad_alloc&) {
        break;
      }
    }
    return !workers_.empty();
  }

  void stop_workers() noexcept {
    {
      std::lock_guard lock(mutex_);
      cancelled_ = true;
    }
    freed_.notify_all();
    hashed_.notify_all();
    for (auto& w : workers_) w.join();
    workers_.clear();
  }

  void work(char* input) {
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
      if (!convert_chunk(*slot, index, input)) return;
    }
  }

  // Reads and decodes one chunk into its slot, handing it on in pieces when the output does not
  // fit. The chunk is read a part at a time, each decoded while it is still in the processor's
  // cache. False when the conversion was cancelled meanwhile.
  bool convert_chunk(Slot& slot, std::uint64_t index, char* input) {
    slot.index = index;
    slot.lines.clear();
    slot.records = 0;
    slot.tally = {};
    slot.blocks = 0;
    slot.last = false;
    const std::uint64_t chunk_offset = index * chunk_bytes_;
    for (std::size_t done = 0; done < chunk_bytes_ && !slot.last; done += read_bytes_) {
      const std::uint64_t offset = chunk_offset + done;
      const std::size_t want = std::min(read_bytes_, chunk_bytes_ - done);
      const std::size_t found = reader_.read_direct(offset, input, want, slot.failure);
      std::size_t blocks;
      if (slot.failure) {
        // Only the blocks wholly before the failure are converted.
        blocks = found / kBlockSize;
        slot.last = true;
      } else {
        // A short read holds the end of the file: its blocks run up to and including the one
        // that reaches past the end, which is read as zero bytes (an empty one when the file ends
        // on a block boundary).
        slot.last = found < want;
        blocks = slot.last ? found / kBlockSize + 1 : want / kBlockSize;
        std::memset(input + found, 0, blocks * kBlockSize - found);
      }
      for (std::size_t b = 0; b < blocks; ++b) {
        if (slot.lines.room() < encoder_.max_block_output() && !hand_on(slot, false)) {
          return false;
        }
        const std::string_view block(input + b * kBlockSize, kBlockSize);
        char* const lines = slot.lines.end();
        const std::size_t n =
            encoder_.decode_block(block, offset + b * kBlockSize, lines, slot.records);
        if (tally_) {
          slot.tally.add_block(block);
          slot.tally.add_lines({lines, n});
        }
        slot.lines.commit(n);
        ++slot.blocks;
        slot.next_block_position = offset + (b + 1) * kBlockSize + 1;
      }
      if (input_hash_ != nullptr && found > 0 && !slot.failure &&
          !hash_in_turn(offset, input, found)) {
        return false;
      }
    }
    return hand_on(slot, true);
  }

  // Hands the bytes read at `offset` to the input hash once every byte before them is in it.
  // False when the conversion was cancelled meanwhile.
  bool hash_in_turn(std::uint64_t offset, const char* bytes, std::size_t n) {
    {
      std::unique_lock lock(mutex_);
      hashed_.wait(lock, [&] { return cancelled_ || hashed_up_to_ == offset; });
      if (cancelled_) return false;
    }
    // Only the worker whose turn it is gets here, so the hash needs no lock of its own.
    input_hash_->update(bytes, n);
    {
      std::lock_guard lock(mutex_);
      hashed_up_to_ = offset + n;
    }
    hashed_.notify_all();
    return true;
  }

  // Marks the slot's piece ready for the sink. A piece that does not end the chunk waits until
  // the sink has taken it, then the slot is emptied for the rest of the chunk.
  bool hand_on(Slot& slot, bool chunk_done) {
    std::unique_lock lock(mutex_);
    slot.chunk_done = chunk_done;
    if (chunk_done && slot.last) end_index_ = std::min(end_index_, slot.index);
    slot.ready = true;
    ready_.notify_all();
    if (chunk_done) return true;
    freed_.wait(lock, [&] { return cancelled_ || !slot.ready; });
    if (cancelled_) return false;
    slot.lines.clear();
    slot.records = 0;
    slot.tally = {};
    slot.blocks = 0;
    return true;
  }

  static constexpr auto kLines = ConversionBuffers::Kind::kLines;
  static constexpr auto kReads = ConversionBuffers::Kind::kReads;
  ConversionBuffers& buffers_;
  const DataFileReader& reader_;
  const LineEncoder& encoder_;
  const std::size_t slot_bytes_;
  const bool tally_;
  platform::Sha256* const input_hash_;
  const unsigned jobs_;
  const std::size_t blocks_per_chunk_;
  const std::size_t chunk_bytes_;
  const std::size_t read_bytes_;  // a worker's read: a quarter of a chunk
  std::vector<Slot> slots_;
  std::vector<std::unique_ptr<char[]>> inputs_;  // one read of input per worker
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable freed_;
  std::condition_variable hashed_;  // the input hash moved on
  std::uint64_t hashed_up_to_ = 0;  // bytes of the file in the input hash
  std::uint64_t next_index_ = 0;
  std::uint64_t handed_on_ = 0;  // chunks given to the sink so far
  std::uint64_t end_index_ = UINT64_MAX;
  bool cancelled_ = false;
};

}  // namespace

ConversionBuffers::ConversionBuffers() = default;
ConversionBuffers::~ConversionBuffers() = default;

std::unique_ptr<char[]> ConversionBuffers::take(Kind kind, std::size_t size) {
  Kept& kept = kept_[static_cast<int>(kind)];
  if (kept.size != size) {
    kept.buffers.clear();
    kept.size = size;
  }
  if (kept.buffers.empty()) return std::make_unique_for_overwrite<char[]>(size);
  std::unique_ptr<char[]> buffer = std::move(kept.buffers.back());
  kept.buffers.pop_back();
  return buffer;
}

void ConversionBuffers::give_back(Kind kind, std::unique_ptr<char[]> buffer,
                                  std::size_t size) noexcept {
  Kept& kept = kept_[static_cast<int>(kind)];
  if (!buffer || size != kept.size) return;
  try {
    kept.buffers.push_back(std::move(buffer));
  } catch (const std::bad_alloc&) {
    // Not kept: freed as before.
  }
}

ScanOutcome ParallelConverter::convert(ChunkSink& sink) {
  // Without buffers from the caller, the conversion's are freed at its end.
  ConversionBuffers own;
  Conversion conversion(reader_, jobs_, blocks_per_chunk_, encoder_, tally_, input_hash_,
                        buffers_ ? *buffers_ : own);
  const ScanOutcome outcome = conversion.run(sink);
  hashed_bytes_ = conversion.hashed_up_to();
  return outcome;
}

}  // namespace vemo
