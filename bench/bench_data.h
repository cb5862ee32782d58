#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vemo::bench {

// The bytes of a realistic data file of `size` bytes, made by axegen (realistic profile, seed 1)
// on first use and kept for the life of the program.
const std::string& realistic_file(std::size_t size);

// A record cut from realistic data together with the value of its length prefix.
struct SampleRecord {
  std::string bytes;
  double length = 0;
};

// Kinds of record the decoder benchmarks pick from realistic data.
enum class RecordKind {
  kWhole,  // a record of the given length, whole
  kCut,    // a record of a known length, cut short at its block end
  kSkip,   // a whole record of a length no layout serves
};

// The first record of that kind (and, for kWhole, of that length) in the realistic data; a record
// with length 0 when there is none.
SampleRecord find_record(RecordKind kind, int length = 0);

}  // namespace vemo::bench
