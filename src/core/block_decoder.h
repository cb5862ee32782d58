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
      const RecordLayout* layout = layout_for_whole_length(length);
      if (layout == nullptr) {
        std::memcpy(p, kSkipLineWithEnd.data(), kSkipLineWithEnd.size());
        p += kSkipLineWithEnd.size();
      } else {
        p += RecordDecoder::decode({b + k, step}, *layout, p);
        p[0] = '\r';
        p[1] = '\n';
        p += 2;
      }
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

}  // namespace vemo
