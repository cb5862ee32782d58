#pragma once

// One data file through the fast path, the way a run drives it: DataFileReader, the six-probe
// test, DataFileScanner and RecordDecoder, each line followed by CR LF; or through the
// ParallelConverter that a run uses for large files.

#include <cstdint>
#include <string>
#include <vector>

#include "core/data_file_reader.h"
#include "core/data_file_scanner.h"

namespace vemo {

struct CoreConversion {
  bool opened = false;
  bool accepted = false;  // passed the six-probe test (or the test was not applied)
  ScanResult scan = ScanResult::kCompleted;
  std::string output;                     // every line with its CR LF
  std::vector<std::uint64_t> block_ends;  // the positions handed to on_block_done
  std::size_t longest_line = 0;           // the most characters decode() wrote for one record
  std::int64_t records = 0;
};

// Converts the file at `path`. With `probe_test` false every block is scanned whatever the
// probes read, so that any bytes reach the scanner and the decoder.
CoreConversion convert_with_core(const std::string& path, bool probe_test = true);

// The same with a reader kept by the caller, whose buffer then serves many files.
CoreConversion convert_with_core(DataFileReader& reader, const std::string& path,
                                 bool probe_test = true);

// Every block of the file through ParallelConverter with `jobs` threads and chunks of
// `blocks_per_chunk` blocks, without the probe test. `block_ends` holds the chunk ends.
CoreConversion convert_in_parallel(DataFileReader& reader, const std::string& path, unsigned jobs,
                                   std::size_t blocks_per_chunk);

}  // namespace vemo
