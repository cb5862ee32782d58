#pragma once

// The walk over one block's records, shared by the block decoders. Include it only from the
// files that define a block decoder: each instantiates it with a line writer of its own.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/data_file_scanner.h"
#include "core/record_decoder.h"

namespace vemo::block_loop {

// Decodes the records of one block into `out` and returns how many characters it wrote, adding
// the records to `records`. `line(record, step, length, p)` writes the line and line end of a
// record whose prefix is three digits of a nonzero value (`length`), cut to `step` characters by
// the block end, at p, and returns the end of what it wrote. Any other prefix goes the scanner's
// way here.
template <typename Line>
[[gnu::always_inline]] inline std::size_t decode(std::string_view block, char* out,
                                                 std::int64_t& records, Line line) noexcept {
  const char* const b = block.data();
  char* p = out;
  std::int64_t n = 0;
  std::size_t k = 0;
  // Any prefix but three digits of a nonzero value, by the scanner's rule; false when it ends the
  // block's records.
  const auto other_prefix = [&] {
    const double length = DataFileScanner::prefix_value(block, k);
    // Zero ends the block's records; so does a value below 1 (a sign or a fraction), which
    // would otherwise step backwards or stand still.
    if (!(length >= 1)) return false;
    const std::size_t room = kBlockSize - k;
    const std::size_t step =
        length >= static_cast<double>(room) ? room : static_cast<std::size_t>(length);
    p += RecordDecoder::decode({b + k, step}, length, p);
    p[0] = '\r';
    p[1] = '\n';
    p += 2;
    ++n;
    k += step;
    return true;
  };
  // While the prefix has all three characters in the block.
  while (k < kBlockSize - 2) {
    const unsigned d0 = static_cast<unsigned char>(b[k]) - unsigned{'0'};
    const unsigned d1 = static_cast<unsigned char>(b[k + 1]) - unsigned{'0'};
    const unsigned d2 = static_cast<unsigned char>(b[k + 2]) - unsigned{'0'};
    const unsigned length = d0 * 100 + d1 * 10 + d2;
    // One test for the usual case; "000" goes the other way too and ends the block there.
    if (static_cast<unsigned>((d0 | d1 | d2) < 10) & static_cast<unsigned>(length != 0)) {
      const std::size_t room = kBlockSize - k;
      const std::size_t step = length < room ? length : room;
      p = line(b + k, step, length, p);
      ++n;
      k += step;
    } else if (!other_prefix()) {
      records += n;
      return static_cast<std::size_t>(p - out);
    }
  }
  // A record may start at offset 2047 (1-based) at the latest, with a two-character prefix.
  if (k == kBlockSize - 2) other_prefix();
  records += n;
  return static_cast<std::size_t>(p - out);
}

}  // namespace vemo::block_loop
