#pragma once

// The form of the output's rows: one place for separators, quoting, line end, skip row, header
// and column order. A format is a struct of constants and two small functions (see
// format_legacy.h for the members every format has); the decoder is a template over it, so a row
// is written without a virtual call or an allocation. The formats the program offers are the
// table in line_format.cpp: adding one is a header and an entry there.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vemo {

enum class FormatId : std::uint8_t { kLegacy, kCsv, kTsv, kJsonl };

// What the user chose for the output's rows.
struct OutputFormat {
  FormatId id = FormatId::kLegacy;
  bool header = true;          // a header line at the top of every output file (csv, tsv)
  bool with_filename = false;  // a first column "file": the input's name as given
  bool with_offset = false;    // a column "offset": the record's 0-based byte position
};

// A format's name and file name extension, in the order the help lists them.
struct FormatName {
  FormatId id;
  std::string_view name;
  std::string_view extension;  // of an output named after its input
  bool has_columns;            // header, provenance and the skipped column apply
};
extern const std::array<FormatName, 4> kFormatNames;

std::optional<FormatId> format_by_name(std::string_view name) noexcept;
const FormatName& format_name(FormatId id) noexcept;
// "legacy, csv, tsv, jsonl"
std::string format_name_list();

// The rows of one input file in one format: the block loop and the record decoder of that
// format, chosen once, with the file's own column rendered once.
class LineEncoder {
 public:
  LineEncoder() : LineEncoder(OutputFormat{}, {}) {}
  // `file_name` is the input's name as given ("-" for standard input); used when the format
  // carries a file column.
  LineEncoder(const OutputFormat& format, std::string_view file_name);

  const OutputFormat& format() const noexcept { return format_; }

  // The header line with its line end, or nothing.
  std::string header() const;

  // Room decode_block() and decode_record() may need at `out`.
  std::size_t max_block_output() const noexcept { return max_block_output_; }
  std::size_t max_row_size() const noexcept { return max_row_size_; }
  // The bytes of a typical record's row: its values and the format's fixed texts around them.
  std::size_t typical_row_size() const noexcept { return typical_row_size_; }

  // The rows of one block's records, line ends included; adds the records to `records`.
  // `block_offset` is the 0-based position of the block in its file.
  std::size_t decode_block(std::string_view block, std::uint64_t block_offset, char* out,
                           std::int64_t& records) const noexcept {
    return block_(*this, block, block_offset, out, records);
  }

  // The row of one record at 0-based file position `offset`, line end included.
  std::size_t decode_record(std::string_view record, double length, std::uint64_t offset,
                            char* out) const noexcept {
    return record_(*this, record, length, offset, out);
  }

  // The file column as written in every row (separator included), empty when there is none.
  std::string_view file_column() const noexcept { return file_column_; }

 private:
  using BlockFn = std::size_t (*)(const LineEncoder&, std::string_view, std::uint64_t, char*,
                                  std::int64_t&) noexcept;
  using RecordFn = std::size_t (*)(const LineEncoder&, std::string_view, double, std::uint64_t,
                                   char*) noexcept;
  OutputFormat format_;
  std::string file_column_;
  BlockFn block_;
  RecordFn record_;
  std::size_t max_row_size_;
  std::size_t max_block_output_;
  std::size_t typical_row_size_;
};

// The original form, as the window writes it.
extern const LineEncoder kLegacyEncoder;

}  // namespace vemo
