// The record decoder on arbitrary records and length values: the line stays within
// kMaxLineSize and equals the reference's, and the csv, tsv and jsonl rows equal the reference's
// columns put in those formats. A record of a known length is also decoded as the
// first record of a block by the block decoder, which must give the same line.
//
// Input: byte 0 chooses how the length value is made, the rest is the record.
//   0: one of the eight known lengths, chosen by byte 1
//   1: the reading of the record's own first three characters, as the scanner takes it
//   2: the eight bytes after byte 0 as a double (fractions, negatives, NaN, infinities)
//   3: bytes 1-2 as a whole number from 0 to 1199, plus one half when byte 0 has bit 2 set

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "core/block_decoder.h"
#include "core/line_format.h"
#include "core/record_decoder.h"
#include "core/val.h"
#include "reference/reference_converter.h"

namespace {

constexpr int kKnownLengths[] = {97, 105, 108, 109, 112, 113, 116, 119};

std::string visible(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

// The record, behind its three-digit length prefix, starts a block of spaces. Only the
// characters after the prefix come from the input, so records of the length are whole or cut by
// the block end exactly when the input is long enough.
void check_block_decoders(std::string_view record, int length, const std::string& expected) {
  if (record.size() < 3) return;
  std::string block(vemo::kBlockSize, '0');  // "000" after the record ends the block's records
  char prefix[4];
  std::snprintf(prefix, sizeof prefix, "%03d", length);
  const std::size_t n = std::min(record.size(), static_cast<std::size_t>(length));
  const std::string_view body = record.substr(3, std::min(n, block.size()) - 3);
  block.replace(0, 3, prefix);
  block.replace(3, body.size(), body);
  const std::string own(block.substr(0, std::min<std::size_t>(length, block.size())));
  const std::string line =
      (own.size() == record.size() ? expected
                                   : vemo::reference_decode(own, static_cast<double>(length))) +
      "\r\n";
  static const std::unique_ptr<char[]> out(new char[vemo::kMaxBlockOutput]);
  std::int64_t records = 0;
  const std::size_t size = vemo::decode_block(block, out.get(), records);
  if (std::string_view(out.get(), size) != line) {
    std::fprintf(stderr, "fuzz_decoder: block decoder, record \"%s\"\n  decoder:   \"%s\"\n",
                 visible(own).c_str(),
                 visible(std::string_view(out.get(), std::min(size, line.size() + 20))).c_str());
    std::abort();
  }
}

// The row of every other format, with a file name that needs quoting and an offset, against the
// reference's columns put in that format.
void check_formats(std::string_view record, double length) {
  static const std::unique_ptr<char[]> row(new char[1 << 16]);
  const auto columns = vemo::reference_columns(std::string(record), length);
  for (const vemo::FormatId id :
       {vemo::FormatId::kCsv, vemo::FormatId::kTsv, vemo::FormatId::kJsonl}) {
    const vemo::LineEncoder encoder({id, true, true, true}, "a,\"\t\xe9");
    const std::size_t n = encoder.decode_record(record, length, 4099, row.get());
    const std::string expected =
        vemo::reference_row(std::string(vemo::format_name(id).name), "a,\"\t\xe9", 4099, columns);
    if (n > encoder.max_row_size() || std::string_view(row.get(), n) != expected) {
      std::fprintf(stderr,
                   "fuzz_decoder: %s, length %.17g, record \"%s\"\n  decoder:   \"%s\"\n"
                   "  reference: \"%s\"\n",
                   std::string(vemo::format_name(id).name).c_str(), length, visible(record).c_str(),
                   visible(std::string_view(row.get(), n)).c_str(), visible(expected).c_str());
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const char* bytes = reinterpret_cast<const char*>(data);
  const unsigned mode = data[0] % 4;
  double length = 0;
  std::size_t skip = 1;
  switch (mode) {
    case 0:
      if (size < 2) return 0;
      length = kKnownLengths[data[1] % 8];
      skip = 2;
      break;
    case 1:
      length = vemo::Val(std::string_view(bytes + 1, size - 1).substr(0, 3));
      break;
    case 2:
      if (size < 9) return 0;
      std::memcpy(&length, bytes + 1, sizeof length);
      skip = 9;
      break;
    default:
      if (size < 3) return 0;
      length = (data[1] | data[2] << 8) % 1200 + ((data[0] & 4) ? 0.5 : 0.0);
      skip = 3;
      break;
  }
  const std::string_view record(bytes + skip, size - skip);

  static const std::unique_ptr<char[]> line(new char[vemo::RecordDecoder::kMaxLineSize]);
  const std::size_t n = vemo::RecordDecoder::decode(record, length, line.get());
  const std::string expected = vemo::reference_decode(std::string(record), length);
  if (n > vemo::RecordDecoder::kMaxLineSize || std::string_view(line.get(), n) != expected) {
    std::fprintf(
        stderr,
        "fuzz_decoder: length %.17g, record (%zu chars) \"%s\"\n  decoder:   \"%s\"\n"
        "  reference: \"%s\"\n",
        length, record.size(), visible(record).c_str(),
        visible(std::string_view(line.get(), std::min(n, vemo::RecordDecoder::kMaxLineSize)))
            .c_str(),
        visible(expected).c_str());
    std::abort();
  }
  if (mode == 0) check_block_decoders(record, static_cast<int>(length), expected);
  check_formats(record, length);
  return 0;
}
