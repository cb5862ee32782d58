#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "core/format_support.h"
#include "core/line_format.h"

namespace vemo {

// RFC 4180: comma-separated, CR LF after every row, a field holding a comma, a quote, CR or LF
// quoted with its quotes doubled; a header line first; a ninth column "skipped" (1 for a record
// without a layout, whose other fields are empty).
struct CsvFormat {
  static constexpr FormatId kId = FormatId::kCsv;
  static constexpr bool kColumns = true;
  static constexpr std::array<std::string_view, 8> kLeads = {"", ",", ",", ",", ",", ",", ",", ","};
  static constexpr std::string_view kRowOpen = "";
  static constexpr std::string_view kRowEnd = ",0\r\n";
  static constexpr std::string_view kSkipRow = ",,,,,,,,1\r\n";
  static constexpr std::string_view kFileOpen = "", kFileClose = ",";
  static constexpr std::string_view kOffsetOpen = "", kOffsetClose = ",";
  static constexpr std::string_view kHeaderFile = "file,", kHeaderOffset = "offset,";
  static constexpr std::string_view kHeader =
      "date,time,number1,number2,elapsed_seconds,counter,text1,text2,skipped\r\n";
  static constexpr std::size_t kExpansion = 2, kColumnExtra = 2;

  static constexpr bool kChecks = true;
  static constexpr char kLow = 0;
  static constexpr bool special(unsigned char c) noexcept {
    return c == ',' || c == '"' || c == '\r' || c == '\n';
  }

  // The four lie below '-' (0x2D): one compare marks them, with a few other rare bytes (control
  // characters, '!' to '+', bytes from 0x80 up), and the space is let through.
  template <typename V>
  static V marks(V v, V spaces) noexcept {
    using namespace format_support;
    return except(signed_below(v, '-'), spaces);
  }

  static char* put_text(char* out, std::string_view s) noexcept {
    bool quote = false;
    for (const char c : s) quote |= special(static_cast<unsigned char>(c));
    if (!quote) return format_support::put_lit(out, s);
    *out++ = '"';
    for (const char c : s) {
      if (c == '"') *out++ = '"';
      *out++ = c;
    }
    *out++ = '"';
    return out;
  }
};

}  // namespace vemo
