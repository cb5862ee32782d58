#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/data_file_scanner.h"
#include "core/record_decoder.h"

namespace vemo {

// The most output one block can give: at most 22 records long enough to have a layout, and skip
// lines for everything else. The decoder stores whole 16-byte runs past the end of a line; the
// room meant for the long lines more than covers that.
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
std::size_t decode_block(std::string_view block, char* out, std::int64_t& records) noexcept;

}  // namespace vemo
