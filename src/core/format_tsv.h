#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "core/format_support.h"
#include "core/line_format.h"

namespace vemo {

// Tab-separated, LF after every row, the columns and header of csv; a tab, CR, LF or backslash
// inside a field written as \t, \r, \n, \\ (the text form that PostgreSQL's COPY reads).
struct TsvFormat {
  static constexpr FormatId kId = FormatId::kTsv;
  static constexpr bool kColumns = true;
  static constexpr std::array<std::string_view, 8> kLeads = {"",   "\t", "\t", "\t",
                                                             "\t", "\t", "\t", "\t"};
  static constexpr std::string_view kRowOpen = "";
  static constexpr std::string_view kRowEnd = "\t0\n";
  static constexpr std::string_view kSkipRow = "\t\t\t\t\t\t\t\t1\n";
  static constexpr std::string_view kFileOpen = "", kFileClose = "\t";
  static constexpr std::string_view kOffsetOpen = "", kOffsetClose = "\t";
  static constexpr std::string_view kHeaderFile = "file\t", kHeaderOffset = "offset\t";
  static constexpr std::string_view kHeader =
      "date\ttime\tnumber1\tnumber2\telapsed_seconds\tcounter\ttext1\ttext2\tskipped\n";
  static constexpr std::size_t kExpansion = 2, kColumnExtra = 0;

  static constexpr bool kChecks = true;
  // Tab, LF and CR lie below 0x0E, with the other control characters.
  static constexpr char kLow = 0x0E;
  static constexpr bool special(unsigned char c) noexcept {
    return c == '\t' || c == '\r' || c == '\n' || c == '\\';
  }

  template <typename V>
  static V marks(V v, V) noexcept {
    return format_support::equal(v, '\\');
  }

  static char* put_text(char* out, std::string_view s) noexcept {
    for (const char c : s) {
      switch (c) {
        case '\t':
          *out++ = '\\';
          *out++ = 't';
          break;
        case '\r':
          *out++ = '\\';
          *out++ = 'r';
          break;
        case '\n':
          *out++ = '\\';
          *out++ = 'n';
          break;
        case '\\':
          *out++ = '\\';
          *out++ = '\\';
          break;
        default:
          *out++ = c;
      }
    }
    return out;
  }
};

}  // namespace vemo
