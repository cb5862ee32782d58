#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "core/format_support.h"
#include "core/line_format.h"

namespace vemo {

// The original form, byte for byte: eight columns joined by commas without quoting (a comma in
// a field adds a column, a CR or LF in a text field ends the line early), "Record Skipped" for a
// record without a layout, CR LF after every line, no header and no extra columns.
//
// Every format has these members; the comments say what each means.
struct LegacyFormat {
  static constexpr FormatId kId = FormatId::kLegacy;
  // Whether the format has the header, the provenance columns and the skipped column.
  static constexpr bool kColumns = false;
  // Written before each of the eight columns.
  static constexpr std::array<std::string_view, 8> kLeads = {"", ",", ",", ",", ",", ",", ",", ","};
  // Written before a row (before the provenance columns).
  static constexpr std::string_view kRowOpen = "";
  // Written after the eighth column of a record with a layout.
  static constexpr std::string_view kRowEnd = "\r\n";
  // The row of a record without a layout, after kRowOpen and the provenance columns.
  static constexpr std::string_view kSkipRow = "Record Skipped\r\n";
  // Around the file column and the offset column.
  static constexpr std::string_view kFileOpen = "", kFileClose = "";
  static constexpr std::string_view kOffsetOpen = "", kOffsetClose = "";
  // The header: the provenance names, then the columns with the line end.
  static constexpr std::string_view kHeaderFile = "", kHeaderOffset = "", kHeader = "";
  // The most output bytes put_text() writes per input byte, and the most beside them per column.
  static constexpr std::size_t kExpansion = 1, kColumnExtra = 0;

  // Whether any byte needs quoting or escaping; when none does, a row is written with its fields
  // copied as they are. special(c) tells whether byte c does; with kChecks, marks(v, spaces)
  // marks, in 16 bytes v at once, at least those of them not below kLow (taken as signed bytes),
  // which are all marked (see format_support::plain).
  static constexpr bool kChecks = false;
  static constexpr char kLow = 0;
  static constexpr bool special(unsigned char) noexcept { return false; }
  // One text column, quoted or escaped as the format needs.
  static char* put_text(char* out, std::string_view s) noexcept {
    return format_support::put_lit(out, s);
  }
};

}  // namespace vemo
