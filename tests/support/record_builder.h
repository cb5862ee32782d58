#pragma once

// Builds records, blocks and data files for tests, so that a test reads like the case it checks.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/scratch_dir.h"

namespace vemo::test {

// A record of `length` characters filled with 'X', its prefix written as three digits.
inline std::string record_of(int length, char filler = 'X') {
  std::string r(static_cast<std::size_t>(length), filler);
  const std::string prefix = std::to_string(length);
  r.replace(0, 3, std::string(3 - std::min<std::size_t>(3, prefix.size()), '0') + prefix);
  return r;
}

// Puts `text` at 1-based position `pos` of `record`, growing it when needed.
inline std::string& put(std::string& record, std::size_t pos, std::string_view text) {
  if (record.size() < pos - 1 + text.size()) record.resize(pos - 1 + text.size(), 'X');
  record.replace(pos - 1, text.size(), text);
  return record;
}

// A 2048-byte block: the records one after another, the rest zero bytes.
inline std::string block_of(const std::vector<std::string>& records, char fill = '\0') {
  std::string block;
  for (const auto& r : records) block += r;
  block.resize(2048, fill);
  return block;
}

// A realistic record of the given known length: digits in every field.
inline std::string sample_record(int length, int serial = 0) {
  std::string r = record_of(length, ' ');
  const std::string digits = std::to_string(100000 + serial % 900000);
  put(r, 4, "0000000000000");
  put(r, 18, "55512" + digits);
  put(r, 33, "7788" + digits + "F");
  return r;
}

// n bytes of letters in a pattern that repeats at no power of two, so a misplaced read shows.
std::string pattern_bytes(std::size_t n);

// What a reader must give for n bytes at 1-based `position` of a file holding `bytes`: the bytes
// there, zeros past the end.
std::string bytes_at(const std::string& bytes, std::uint64_t position, std::size_t n);

// Writes `bytes` to a file in a fresh temp_folder() and returns its path.
std::string write_temp_file(std::string_view name, std::string_view bytes);

// A data file whose first `blocks` blocks each hold records of 119, 113, 109 and 97, padded
// with a "000" prefix; then cut to `size` bytes when size is given.
std::string data_file_bytes(int blocks, std::int64_t size = -1);

// A data file of exactly `records` records (at least 6), spread over at least six blocks so that
// it passes the data file test. Record i carries i in its counter field; `skip_at` (1-based)
// makes that record one of unknown length.
std::string data_file_with_records(int records, int skip_at = 0);

// The bytes of a file.
std::string read_file(const std::string& path);

}  // namespace vemo::test
