#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/data_file_reader.h"
#include "core/data_file_scanner.h"

namespace vemo {

// Receives a file's output in order, one chunk of whole blocks at a time.
class ChunkSink {
 public:
  virtual ~ChunkSink() = default;
  // The output lines of the chunk's records (line ends included), how many records they are,
  // and the 1-based position of the block after the chunk. Returns false to stop.
  virtual bool on_chunk(std::string_view lines, std::int64_t records,
                        std::uint64_t next_block_position) = 0;
};

// Converts a data file on several threads. Blocks are independent, so the file is cut into
// chunks of whole blocks that worker threads read and decode, while the calling thread hands the
// chunks' lines to the sink in file order. The lines are exactly those a block-by-block scan
// gives, the extra empty read after a file that ends on a block boundary included. Memory is
// bounded by the number of jobs times the chunk size, whatever the file's size.
class ParallelConverter {
 public:
  static constexpr std::size_t kBlocksPerChunk = 512;  // 1 MiB of input
  static constexpr std::size_t kChunkBytes = kBlocksPerChunk * kBlockSize;

  // Converts the file open in `reader` with `jobs` worker threads (at least 1). On kReadFailed
  // `error` holds the system's reason.
  // `blocks_per_chunk` is there for tests, which use small chunks to cross many chunk borders.
  static ScanResult convert(const DataFileReader& reader, unsigned jobs, ChunkSink& sink,
                            std::string& error, std::size_t blocks_per_chunk = kBlocksPerChunk);
};

}  // namespace vemo
