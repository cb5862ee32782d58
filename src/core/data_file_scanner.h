#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/data_file_reader.h"

namespace vemo {

inline constexpr std::size_t kBlockSize = 2048;

// Receives what the scanner finds: each record, and the end of each block.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // A record as cut from its block (a view into the block, valid during the call) and the value
  // of its length prefix. Returns false to stop the scan at once.
  virtual bool on_record(std::string_view record, double length) = 0;
  // Called after each block with the 1-based file position of the next block.
  virtual void on_block_done(std::uint64_t next_block_position) = 0;
};

enum class ScanResult {
  kCompleted,   // every block was read
  kStopped,     // the sink asked to stop
  kReadFailed,  // the system failed a read; the blocks before it were scanned, the reader says why
};

// Finding the records of a data file: the data file test and the walk over its blocks.
namespace DataFileScanner {

// The six-probe test: the record length at the start of each of blocks 1 to 6 must read as a
// number from 80 to 150.
bool is_data_file(DataFileReader& reader);

// Walks every record of every block, from block 1 until a read reaches the end of the file.
ScanResult scan(DataFileReader& reader, RecordSink& sink);

// Hands the records of one block (kBlockSize characters) to the sink; false when it said stop.
bool scan_block(std::string_view block, RecordSink& sink);

// The value of the record length prefix at 0-based offset k of a block: three characters, fewer
// when the block ends sooner.
double prefix_value(std::string_view block, std::size_t k) noexcept;

}  // namespace DataFileScanner

}  // namespace vemo
