#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/data_file_scanner.h"
#include "core/record_decoder.h"

namespace vemo {

// The most output one block can give: at most 22 records long enough to have a layout, and skip
// lines for everything else.
inline constexpr std::size_t kMaxBlockOutput =
    (kBlockSize / 97 + 1) * (RecordDecoder::kMaxLineSize + 2) + kBlockSize * (kSkipLine.size() + 2);

// The skip line with its line end, 16 characters: copied as one block of bytes.
inline constexpr std::array<char, 16> kSkipLineWithEnd = [] {
  static_assert(kSkipLine.size() + 2 == 16);
  std::array<char, 16> line{};
  for (std::size_t i = 0; i < kSkipLine.size(); ++i) line[i] = kSkipLine[i];
  line[14] = '\r';
  line[15] = '\n';
  return line;
}();

// The output lines of one block's records, line ends included, written at `out`, which must have
// room for kMaxBlockOutput characters; returns how many characters, and adds the records to
// `records`. The same lines as scanning the block and decoding each record, at a fraction of the
// calls: a prefix of three digits, by far the usual one, is read as a whole number here, and any
// other goes the scanner's way.
inline std::size_t decode_block(std::string_view block, char* out, std::int64_t& records) noexcept {
  const char* const b = block.data();
  char* p = out;
  std::int64_t n = 0;
  // A record may start at offset 2047 (1-based) at the latest: k < 2048 - 1 here, 0-based.
  std::size_t k = 0;
  while (k < kBlockSize - 1) {
    const std::size_t room = kBlockSize - k;
    const unsigned d0 = static_cast<unsigned char>(b[k]) - unsigned{'0'};
    const unsigned d1 = static_cast<unsigned char>(b[k + 1]) - unsigned{'0'};
    // b[k + 2] lies in the block while the prefix has all three characters.
    const unsigned d2 = room >= 3 ? static_cast<unsigned char>(b[k + 2]) - unsigned{'0'} : 10u;
    std::size_t step;
    if ((d0 | d1 | d2) < 10) {
      const unsigned length = d0 * 100 + d1 * 10 + d2;
      if (length == 0) break;
      step = length < room ? length : room;
      const RecordLayout* layout = layout_for_whole_length(length);
      if (layout == nullptr) {
        std::memcpy(p, kSkipLineWithEnd.data(), kSkipLineWithEnd.size());
        p += kSkipLineWithEnd.size();
        ++n;
        k += step;
        continue;
      }
      p += RecordDecoder::decode({b + k, step}, *layout, p);
    } else {
      const double length = DataFileScanner::prefix_value(block, k);
      // Zero ends the block's records; so does a value below 1 (a sign or a fraction), which
      // would otherwise step backwards or stand still.
      if (!(length >= 1)) break;
      step = length >= static_cast<double>(room) ? room : static_cast<std::size_t>(length);
      p += RecordDecoder::decode({b + k, step}, length, p);
    }
    p[0] = '\r';
    p[1] = '\n';
    p += 2;
    ++n;
    k += step;
  }
  records += n;
  return static_cast<std::size_t>(p - out);
}

}  // namespace vemo
