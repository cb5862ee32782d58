#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vemo {

// What a report says about one file's records beyond their number: how many had no layout, how
// many were cut short at a block's end, and the earliest and latest call date-time as written in
// the output. Gathered from the blocks and the lines as they pass, without allocating.
//
// The counts come from the records' length prefixes; the date-times from the lines in any output
// format, where only a well-formed date and time count: a cut record's date may be partly blank,
// and a text holding a line end starts a line that is no record's.
struct FileTally {
  // "yyyy-mm-dd,hh:mm:ss": the date and time columns of an output line.
  static constexpr std::size_t kCallChars = 19;

  std::int64_t skipped_records = 0;  // records of a length without a layout (skip lines)
  std::int64_t cut_records = 0;      // records whose length reaches past their block's end
  bool has_call = false;
  char first_call[kCallChars] = {};
  char last_call[kCallChars] = {};

  // Counts the skipped and cut records of one block (kBlockSize characters).
  void add_block(std::string_view block) noexcept;
  // The same for one record as cut from its block, with its length value.
  void add_record(std::string_view record, double length) noexcept;
  // Keeps the earliest and latest date-time among whole output lines.
  void add_lines(std::string_view lines) noexcept;
  // Takes in the tally of a later part of the same file.
  void add(const FileTally& other) noexcept;

  // The date-time as "yyyy-mm-dd hh:mm:ss" (the two columns joined by a space).
  static std::string call_text(const char (&call)[kCallChars]);
};

}  // namespace vemo
