#include "core/many_files_converter.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "core/block_decoder.h"
#include "platform/platform.h"

namespace vemo {

FileReport FileReport::of_open(const DataFileReader& reader, const Status& opened) {
  FileReport report;
  if (!opened.ok()) {
    report.failure.code = opened.error();
    return report;
  }
  report.verdict = FileVerdict::kNotTested;
  report.length = reader.length();
  report.id = reader.id();
  report.compressed = reader.is_compressed();
  return report;
}

void FileReport::run_test(DataFileReader& reader) {
  if (DataFileScanner::is_data_file(reader)) {
    verdict = FileVerdict::kDataFile;
  } else if (reader.failure()) {
    // A read the system failed is not the file's verdict.
    verdict = FileVerdict::kUnreadable;
    failure = reader.failure();
    // A stream's compression is known once the test has read its first bytes.
    offset_told = reader.is_compressed();
  } else {
    verdict = FileVerdict::kNotDataFile;
  }
}

namespace {

static_assert(kMaxBlockOutput <= ManyFilesConverter::kPieceBytes);

// One file in flight: file i of the list uses slot i % slots, once file i - slots was released.
struct Slot {
  std::uint64_t index = UINT64_MAX;  // the file the slot holds
  FileReport report;
  bool reported = false;  // report is filled
  // The piece of output waiting for the caller.
  std::unique_ptr<char[]> lines;
  std::size_t size = 0;
  std::int64_t records = 0;
  FileTally tally;
  std::unique_ptr<platform::Sha256> hash;  // with input hashing only
  std::string input_sha256;
  std::uint64_t hashed_bytes = 0;
  std::size_t blocks = 0;
  std::uint64_t next_block_position = 0;
  bool ready = false;     // a piece is filled and not yet taken
  bool finished = false;  // the piece is the file's last; result, failure and length are set
  ScanOutcome outcome;
  std::uint64_t length_after = 0;
  std::atomic<bool> cancel{false};  // the caller released the file: stop working on it
  // Each side is woken only for its own slot: the caller when the report, a piece or the end is
  // ready, the worker when its piece was taken or the file released.
  std::condition_variable to_caller;
  std::condition_variable to_worker;
};

}  // namespace

class ManyFilesConverter::Impl {
 public:
  Impl(std::vector<std::string> paths, unsigned jobs, std::uint64_t large_bytes,
       const OutputFormat& format, std::vector<std::string> names)
      : paths_(std::move(paths)),
        names_(std::move(names)),
        format_(format),
        jobs_(static_cast<unsigned>(std::clamp<std::size_t>(paths_.size(), 1, std::max(1u, jobs)))),
        large_bytes_(large_bytes) {}

  ~Impl() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      for (auto& slot : slots_) slot->cancel = true;
    }
    freed_.notify_all();
    for (auto& slot : slots_) slot->to_worker.notify_all();
    for (auto& w : workers_) w.join();
  }

  void set_tally(bool tally) { tally_ = tally; }
  void set_input_hash(bool hash) { input_hash_ = hash; }
  const Slot& current_slot() { return current(); }

  bool start() {
    try {
      // Two files per worker, so that a worker goes on with the next file while the caller
      // still writes the one it finished.
      // A format with longer rows needs room for more than one block's worst case, or every
      // few blocks would make a piece.
      for (std::size_t i = 0; i < paths_.size(); ++i) {
        piece_bytes_ = std::max(piece_bytes_, 2 * encoder_for(i).max_block_output());
      }
      for (unsigned i = 0; i < 2 * jobs_; ++i) {
        auto slot = std::make_unique<Slot>();
        slot->lines = std::make_unique_for_overwrite<char[]>(piece_bytes_);
        if (input_hash_) slot->hash = std::make_unique<platform::Sha256>();
        slots_.push_back(std::move(slot));
      }
      workers_.reserve(jobs_);
    } catch (const std::bad_alloc&) {
      return false;
    }
    for (unsigned i = 0; i < jobs_; ++i) {
      try {
        workers_.emplace_back([this] { work(); });
      } catch (const std::system_error&) {
        break;
      } catch (const std::bad_alloc&) {
        break;
      }
    }
    return !workers_.empty();
  }

  const FileReport& next() {
    current_ = taken_++;
    Slot& slot = current();
    std::unique_lock lock(mutex_);
    slot.to_caller.wait(lock, [&] { return slot.index == current_ && slot.reported; });
    return slot.report;
  }

  ScanOutcome convert(ChunkSink& sink) {
    Slot& slot = current();
    for (;;) {
      {
        std::unique_lock lock(mutex_);
        slot.to_caller.wait(lock, [&] { return slot.ready; });
      }
      if (tally_ && slot.blocks > 0) sink.on_tally(slot.tally);
      if (slot.blocks > 0 &&
          !sink.on_chunk({slot.lines.get(), slot.size}, slot.records, slot.next_block_position)) {
        return {ScanResult::kStopped, {}};
      }
      if (slot.finished) return slot.outcome;
      {
        std::lock_guard lock(mutex_);
        slot.ready = false;
      }
      slot.to_worker.notify_one();
    }
  }

  void release() {
    Slot& slot = current();
    slot.cancel = true;
    {
      std::unique_lock lock(mutex_);
      // Wakes a worker waiting for its piece to be taken, so that it sees the cancel.
      slot.to_worker.notify_one();
      slot.to_caller.wait(lock, [&] { return slot.finished; });
      ++released_;
    }
    freed_.notify_all();
  }

  std::uint64_t length_after() const { return slots_[current_ % slots_.size()]->length_after; }

 private:
  Slot& current() { return *slots_[current_ % slots_.size()]; }

  // Decodes whole blocks into the slot's buffer, handing it on as a piece when the next block
  // might not fit.
  class PieceSink final : public BlockSink {
   public:
    PieceSink(Impl& impl, Slot& slot, const LineEncoder& encoder)
        : impl_(impl), slot_(slot), encoder_(encoder) {}
    bool on_block(std::string_view block, std::uint64_t next_block_position) override {
      if (impl_.piece_bytes_ - slot_.size < encoder_.max_block_output()) impl_.hand_on(slot_);
      if (slot_.cancel.load(std::memory_order_relaxed)) return false;
      char* const lines = slot_.lines.get() + slot_.size;
      const std::size_t n =
          encoder_.decode_block(block, next_block_position - 1 - kBlockSize, lines, slot_.records);
      if (impl_.tally_) {
        slot_.tally.add_block(block);
        slot_.tally.add_lines({lines, n});
      }
      slot_.size += n;
      ++slot_.blocks;
      slot_.next_block_position = next_block_position;
      return true;
    }

   private:
    Impl& impl_;
    Slot& slot_;
    const LineEncoder& encoder_;
  };

  LineEncoder encoder_for(std::size_t index) const {
    return LineEncoder(format_, index < names_.size() ? names_[index] : paths_[index]);
  }

  void work() {
    platform::hold_interrupts();  // they go to the thread that runs the run
    DataFileReader reader;        // its read buffer is allocated at the first open
    for (;;) {
      Slot* slot;
      std::uint64_t index;
      {
        std::unique_lock lock(mutex_);
        index = next_index_++;
        if (index >= paths_.size()) return;
        slot = slots_[index % slots_.size()].get();
        freed_.wait(lock, [&] { return stopping_ || index < released_ + slots_.size(); });
        if (stopping_) return;
        slot->index = index;
        slot->reported = false;
        slot->ready = false;
        slot->finished = false;
        slot->size = 0;
        slot->records = 0;
        slot->tally = {};
        slot->input_sha256.clear();
        slot->hashed_bytes = 0;
        slot->blocks = 0;
        slot->outcome = {};
        slot->cancel = false;
      }
      process(*slot, reader, paths_[index], encoder_for(index));
    }
  }

  // Opens and tests one file, then converts it unless it is left to the caller. The report of a
  // file that is converted comes with its first piece, so the caller, which waits for both, is
  // woken once.
  void process(Slot& slot, DataFileReader& reader, const std::string& path,
               const LineEncoder& encoder) {
    bool reported = false;
    // The caller tries a file itself when its worker cannot have the memory or a descriptor for
    // it. Once descriptors ran short, every file left is the caller's, so that the workers take
    // none of those the caller needs.
    const auto leave_to_caller = [&] {
      slot.report = FileReport{};
      slot.report.left_to_caller = true;
      publish(slot);
    };
    try {
      if (out_of_descriptors_.load()) {
        leave_to_caller();
        finish(slot);
        return;
      }
      // Hashing starts with the open: the data file test reads the file's first window.
      if (slot.hash) slot.hash->reset();
      reader.set_input_hash(slot.hash.get());
      const Status opened = reader.open(path);
      if (opened.error() == std::errc::too_many_files_open ||
          opened.error() == std::errc::too_many_files_open_in_system) {
        out_of_descriptors_.store(true);
        leave_to_caller();
        finish(slot);
        return;
      }
      FileReport report = FileReport::of_open(reader, opened);
      report.left_to_caller = opened.ok() && !report.compressed && report.length >= large_bytes_;
      if (opened.ok() && !report.left_to_caller) report.run_test(reader);
      const bool convert = report.verdict == FileVerdict::kDataFile;
      // The caller reads the report only once `reported` is set, under the lock.
      slot.report = std::move(report);
      if (!convert) publish(slot);
      reported = true;
      if (convert) {
        PieceSink sink(*this, slot, encoder);
        slot.outcome = DataFileScanner::scan(reader, sink);
        if (slot.hash) {
          slot.hashed_bytes = reader.hashed_bytes();
          slot.input_sha256 = slot.hash->finish();
        }
        slot.length_after = reader.current_length().value_or(slot.report.length);
      }
    } catch (const std::bad_alloc&) {
      if (!reported) {
        leave_to_caller();  // not even the reader's buffer
      } else {
        slot.outcome = {ScanResult::kReadFailed,
                        {slot.next_block_position > 0 ? slot.next_block_position - 1 : 0,
                         std::make_error_code(std::errc::not_enough_memory)}};
      }
    }
    reader.close();
    finish(slot);
  }

  void publish(Slot& slot) {
    {
      std::lock_guard lock(mutex_);
      slot.reported = true;
    }
    slot.to_caller.notify_one();
  }

  // Marks a piece ready and waits for the caller to take it (or to release the file), then
  // empties the buffer for the rest of the file.
  void hand_on(Slot& slot) {
    std::unique_lock lock(mutex_);
    slot.reported = true;
    slot.ready = true;
    slot.to_caller.notify_one();
    slot.to_worker.wait(lock, [&] { return !slot.ready || slot.cancel; });
    slot.size = 0;
    slot.records = 0;
    slot.tally = {};
    slot.blocks = 0;
  }

  void finish(Slot& slot) {
    {
      std::lock_guard lock(mutex_);
      slot.reported = true;
      slot.ready = true;
      slot.finished = true;
    }
    slot.to_caller.notify_one();
  }

  const std::vector<std::string> paths_;
  const std::vector<std::string> names_;
  const OutputFormat format_;
  std::size_t piece_bytes_ = kPieceBytes;
  const unsigned jobs_;
  const std::uint64_t large_bytes_;
  bool tally_ = false;
  bool input_hash_ = false;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable freed_;  // a file was released: its slot takes a later one
  std::uint64_t next_index_ = 0;   // the next file a worker takes
  std::uint64_t released_ = 0;     // files the caller is done with
  std::uint64_t taken_ = 0;        // files the caller asked for
  std::uint64_t current_ = 0;
  bool stopping_ = false;
  std::atomic<bool> out_of_descriptors_{false};
};

ManyFilesConverter::ManyFilesConverter(std::vector<std::string> paths, unsigned jobs,
                                       std::uint64_t large_bytes, const OutputFormat& format,
                                       std::vector<std::string> names)
    : impl_(std::make_unique<Impl>(std::move(paths), jobs, large_bytes, format, std::move(names))) {
}

ManyFilesConverter::~ManyFilesConverter() = default;

bool ManyFilesConverter::start() {
  return impl_->start();
}

const FileReport& ManyFilesConverter::next() {
  return impl_->next();
}

ScanOutcome ManyFilesConverter::convert(ChunkSink& sink) {
  return impl_->convert(sink);
}

std::uint64_t ManyFilesConverter::length_after() const {
  return impl_->length_after();
}

void ManyFilesConverter::set_tally(bool tally) {
  impl_->set_tally(tally);
}

void ManyFilesConverter::set_input_hash(bool hash) {
  impl_->set_input_hash(hash);
}

const std::string& ManyFilesConverter::input_sha256() const {
  return impl_->current_slot().input_sha256;
}

std::uint64_t ManyFilesConverter::hashed_bytes() const {
  return impl_->current_slot().hashed_bytes;
}

void ManyFilesConverter::release() {
  impl_->release();
}

}  // namespace vemo
