#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "core/data_file_reader.h"
#include "core/data_file_scanner.h"
#include "core/file_tally.h"
#include "core/line_format.h"

namespace vemo {

// Receives a file's output in order, a run of whole blocks at a time.
class ChunkSink {
 public:
  virtual ~ChunkSink() = default;
  // The output lines of the blocks' records (line ends included), how many records they are,
  // and the 1-based position of the block after them. Returns false to stop.
  virtual bool on_chunk(std::string_view lines, std::int64_t records,
                        std::uint64_t next_block_position) = 0;
  // When the converter was asked to tally: the tally of the lines that the next on_chunk() hands
  // on, just before it.
  virtual void on_tally(const FileTally&) {}
};

// Converts a data file on several threads. Blocks are independent, so the file is cut into
// chunks of whole blocks that worker threads read and decode, while the calling thread hands the
// chunks' lines to the sink in file order. The lines are exactly those a block-by-block scan
// gives, the extra empty read after a file that ends on a block boundary included.
//
// Memory is bounded in bytes, whatever the file and its records: every buffer is allocated
// before the workers start and never grows. A worker whose chunk gives more output than its slot
// holds hands it on in pieces, waiting for the sink to take each one.
// The buffers of one parallel conversion, kept for the next rather than freed: conversions of
// file after file then do not allocate and fault them in afresh. At most one conversion's worth
// is kept (buffers of a size no longer asked for are dropped). One conversion at a time uses it.
class ConversionBuffers {
 public:
  ConversionBuffers();
  ~ConversionBuffers();
  ConversionBuffers(const ConversionBuffers&) = delete;
  ConversionBuffers& operator=(const ConversionBuffers&) = delete;

  enum class Kind { kLines, kReads };  // a slot's lines, a worker's reads
  // A buffer of a kind: `size` bytes, one kept when there is one of that size, else new
  // (std::bad_alloc when it cannot be had).
  std::unique_ptr<char[]> take(Kind kind, std::size_t size);
  // Keeps `buffer`, of `size` bytes, for a later take().
  void give_back(Kind kind, std::unique_ptr<char[]> buffer, std::size_t size) noexcept;

 private:
  struct Kept {
    std::size_t size = 0;
    std::vector<std::unique_ptr<char[]>> buffers;
  };
  Kept kept_[2];  // by Kind
};

class ParallelConverter {
 public:
  static constexpr std::size_t kBlocksPerChunk = 512;  // 1 MiB of input
  static constexpr std::size_t kChunkBytes = kBlocksPerChunk * kBlockSize;
  // Output a slot holds before it is handed on.
  static constexpr std::size_t kSlotBytes = 1024 * 1024;

  // Converts the file open in `reader` with `jobs` worker threads (at least 1), into rows of
  // the encoder's format. `blocks_per_chunk` is there for tests, which use small chunks to cross
  // many chunk borders; a format whose typical rows are several times as long as legacy's takes
  // that many times fewer blocks per chunk, so that a chunk's rows fit in one slot.
  ParallelConverter(const DataFileReader& reader, unsigned jobs,
                    std::size_t blocks_per_chunk = kBlocksPerChunk,
                    const LineEncoder& encoder = kLegacyEncoder)
      : reader_(reader), jobs_(jobs), blocks_per_chunk_(blocks_per_chunk), encoder_(encoder) {}

  // Hands the file's lines to the sink. On kReadFailed the sink has had every block before the
  // one the failure falls in, and the outcome says where and why. kNotStarted, having handed
  // nothing to the sink, when no worker thread or not all the buffers could be had: the caller
  // then decodes the file itself.
  ScanOutcome convert(ChunkSink& sink);

  // Tallies each piece for ChunkSink::on_tally().
  void set_tally(bool tally) noexcept { tally_ = tally; }
  // Hands every byte read to `hash` in file order (the workers take turns); the bytes hashed
  // are those of the file up to its end or a failed read.
  void set_input_hash(platform::Sha256* hash) noexcept { input_hash_ = hash; }
  // Takes its buffers from `buffers` and leaves them there afterwards (nothing: its own).
  void set_buffers(ConversionBuffers* buffers) noexcept { buffers_ = buffers; }
  // After convert(): the bytes from the file's start that went into the input hash.
  std::uint64_t hashed_bytes() const noexcept { return hashed_bytes_; }

 private:
  const DataFileReader& reader_;
  unsigned jobs_;
  std::size_t blocks_per_chunk_;
  const LineEncoder& encoder_;
  bool tally_ = false;
  platform::Sha256* input_hash_ = nullptr;
  ConversionBuffers* buffers_ = nullptr;
  std::uint64_t hashed_bytes_ = 0;
};

}  // namespace vemo
