#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/data_file_scanner.h"
#include "core/record_decoder.h"

namespace vemo {

// The most output one block can give: at most 22 records long enough to have a layout, and skip
// lines for everything else.
inline constexpr std::size_t kMaxBlockOutput =
    (kBlockSize / 97 + 1) * (RecordDecoder::kMaxLineSize + 2) + kBlockSize * (kSkipLine.size() + 2);

// The output lines of one block's records, line ends included, written at `out`, which must have
// room for kMaxBlockOutput characters; returns how many characters, and adds the records to
// `records`. The same lines as scanning the block and decoding each record, at a fraction of the
// calls.
inline std::size_t decode_block(std::string_view block, char* out, std::int64_t& records) noexcept {
  char* p = out;
  std::int64_t n = 0;
  DataFileScanner::for_each_record(block, [&](std::string_view record, double length) {
    p += RecordDecoder::decode(record, length, p);
    p[0] = '\r';
    p[1] = '\n';
    p += 2;
    ++n;
    return true;
  });
  records += n;
  return static_cast<std::size_t>(p - out);
}

}  // namespace vemo
