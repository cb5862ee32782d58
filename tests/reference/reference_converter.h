#pragma once

// A deliberately simple converter from AXE data file bytes to output text, written apart from
// src/core so that the fast path can be checked against it. Clarity over speed: it copies
// strings freely, holds the whole file in memory and follows each rule step by step.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vemo {

// The number that a text reads as: blanks (space, tab, line feed) skipped wherever they stand, a
// signed decimal number with optional fraction and E/D exponent, or "&H"/"&O" followed by a
// hexadecimal or octal whole number. No number gives 0; so does a value beyond double range.
double reference_val(const std::string& text);

// A number as the output writes it: whole values below 10^15 in exact digits, anything else
// rounded to 15 significant digits in plain notation without trailing zeros.
std::string reference_write_number(double value);

// The eight columns of one record (date, time, number 1, number 2, elapsed seconds, counter,
// text 1, text 2), or nothing for a record without a layout.
std::optional<std::array<std::string, 8>> reference_columns(const std::string& record,
                                                            double length);

// One record of a file: its 0-based byte position and its columns.
struct ReferenceRow {
  std::uint64_t offset = 0;
  std::optional<std::array<std::string, 8>> columns;
};

// Every record of every block, in order; the probe test is not applied.
std::vector<ReferenceRow> reference_scan_rows(const std::string& file_bytes);

// The row of "csv", "tsv" or "jsonl" with both provenance columns, line end included.
std::string reference_row(const std::string& format, const std::string& file, std::uint64_t offset,
                          const std::optional<std::array<std::string, 8>>& columns);

// The output line for one record (without the line end), or "Record Skipped".
std::string reference_decode(const std::string& record, double length);

// The six-probe test on the whole file.
bool reference_is_data_file(const std::string& file_bytes);

// The line of every record of every block, in order, without line ends; the probe test is not
// applied.
std::vector<std::string> reference_scan_lines(const std::string& file_bytes);

// The lines of a file that passes the probe test; none for a file that fails it.
std::vector<std::string> reference_lines(const std::string& file_bytes);

// The whole output for one file: its lines, each followed by CR LF.
std::string reference_convert(const std::string& file_bytes);

}  // namespace vemo
