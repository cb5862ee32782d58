#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/data_file_reader.h"
#include "core/val.h"

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

// Receives whole blocks, for a caller that takes a block's records at once.
class BlockSink {
 public:
  virtual ~BlockSink() = default;
  // One block (kBlockSize characters, valid during the call) and the 1-based file position of the
  // next block. Returns false to stop the scan.
  virtual bool on_block(std::string_view block, std::uint64_t next_block_position) = 0;
};

enum class ScanResult {
  kCompleted,   // every block was read
  kStopped,     // the sink asked to stop
  kReadFailed,  // the system failed a read; the blocks before it were handed on
  kNotStarted,  // nothing was handed on: a converter could not have its threads or memory
};

// How a walk over a file's blocks ended, and on kReadFailed where and why: the one shape in
// which the scanner and the converters report.
struct ScanOutcome {
  ScanResult end = ScanResult::kCompleted;
  ReadFailure failure;  // set on kReadFailed
};

// Finding the records of a data file: the data file test and the walk over its blocks.
namespace DataFileScanner {

// The six-probe test: the record length at the start of each of blocks 1 to 6 must read as a
// number from 80 to 150.
bool is_data_file(DataFileReader& reader);

// Walks every record of every block, from block 1 until a read reaches the end of the file.
ScanOutcome scan(DataFileReader& reader, RecordSink& sink);

// The same walk, a block at a time.
ScanOutcome scan(DataFileReader& reader, BlockSink& sink);

// Hands the records of one block (kBlockSize characters) to the sink; false when it said stop.
bool scan_block(std::string_view block, RecordSink& sink);

// The value of the record length prefix at 0-based offset k of a block: three characters, fewer
// when the block ends sooner.
inline double prefix_value(std::string_view block, std::size_t k) noexcept {
  const std::string_view prefix = block.substr(k, 3);
  // Three digits are by far the usual case.
  if (prefix.size() == 3 && static_cast<unsigned>(prefix[0] - '0') < 10 &&
      static_cast<unsigned>(prefix[1] - '0') < 10 && static_cast<unsigned>(prefix[2] - '0') < 10) {
    return (prefix[0] - '0') * 100 + (prefix[1] - '0') * 10 + (prefix[2] - '0');
  }
  return Val(prefix);
}

// Whether a prefix value ends the block's records: zero does, and so does a value below 1 (a
// sign or a fraction), which would otherwise step backwards or stand still.
inline bool ends_records(double length) noexcept {
  return !(length >= 1);
}

// The characters a record whose prefix value is `length` takes from 0-based offset k of its
// block: its length, cut short at the end of the block. Also where the next record starts.
inline std::size_t record_step(std::size_t length, std::size_t k) noexcept {
  const std::size_t room = kBlockSize - k;
  return length < room ? length : room;
}
inline std::size_t record_step(double length, std::size_t k) noexcept {
  return length >= static_cast<double>(kBlockSize - k)
             ? kBlockSize - k
             : record_step(static_cast<std::size_t>(length), k);
}

// Calls f(record, length) for each record of one block until f returns false; false then.
template <typename F>
bool for_each_record(std::string_view block, F&& f) {
  // A record may start at offset 2047 (1-based) at the latest: k < 2048 - 1 here, 0-based.
  std::size_t k = 0;
  while (k < kBlockSize - 1) {
    const double length = prefix_value(block, k);
    if (ends_records(length)) break;
    const std::size_t step = record_step(length, k);
    if (!f(block.substr(k, step), length)) return false;
    k += step;
  }
  return true;
}

}  // namespace DataFileScanner

}  // namespace vemo
