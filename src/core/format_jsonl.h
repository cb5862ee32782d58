#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "core/format_support.h"
#include "core/line_format.h"
#include "core/utf8.h"

namespace vemo {

// JSON Lines: one object per row, LF after it, keys as the csv header names. The two numbers are
// JSON numbers (every form the number writer gives is one); everything else is a string. A text
// that is valid UTF-8 is written as it is; one that is not is read as Latin-1, each byte one
// character, so the output is always valid and no byte is lost. A record without a layout has
// empty strings, null numbers and "skipped":true.
struct JsonlFormat {
  static constexpr FormatId kId = FormatId::kJsonl;
  static constexpr bool kColumns = true;
  static constexpr std::array<std::string_view, 8> kLeads = {
      R"("date":")",      R"(","time":")",           R"(","number1":")",
      R"(","number2":")", R"(","elapsed_seconds":)", R"(,"counter":)",
      R"(,"text1":")",    R"(","text2":")"};
  static constexpr std::string_view kRowOpen = "{";
  static constexpr std::string_view kRowEnd = "\",\"skipped\":false}\n";
  static constexpr std::string_view kSkipRow =
      R"("date":"","time":"","number1":"","number2":"","elapsed_seconds":null,"counter":null,)"
      R"("text1":"","text2":"","skipped":true})"
      "\n";
  static constexpr std::string_view kFileOpen = R"("file":")", kFileClose = R"(",)";
  static constexpr std::string_view kOffsetOpen = R"("offset":)", kOffsetClose = ",";
  static constexpr std::string_view kHeaderFile = "", kHeaderOffset = "", kHeader = "";
  // A control character becomes \u00XX.
  static constexpr std::size_t kExpansion = 6, kColumnExtra = 0;

  static constexpr bool kChecks = true;
  // The control characters.
  static constexpr char kLow = 0x20;
  static constexpr bool special(unsigned char c) noexcept {
    return c < 0x20 || c >= 0x80 || c == '"' || c == '\\';
  }

  // A byte from 0x80 up has its top bit set, which is its mark.
  template <typename V>
  static V marks(V v, V) noexcept {
    using namespace format_support;
    return either(v, either(equal(v, '"'), equal(v, '\\')));
  }

  static char* put_text(char* out, std::string_view s) noexcept {
    bool high = false;
    for (const char c : s) high |= static_cast<unsigned char>(c) >= 0x80;
    const bool latin1 = high && !vemo::valid_utf8(s);
    for (const char ch : s) {
      const auto c = static_cast<unsigned char>(ch);
      if (c == '"' || c == '\\') {
        *out++ = '\\';
        *out++ = ch;
      } else if (c < 0x20) {
        *out++ = '\\';
        switch (c) {
          case '\n':
            *out++ = 'n';
            break;
          case '\r':
            *out++ = 'r';
            break;
          case '\t':
            *out++ = 't';
            break;
          default:
            *out++ = 'u';
            *out++ = '0';
            *out++ = '0';
            *out++ = "0123456789abcdef"[c >> 4];
            *out++ = "0123456789abcdef"[c & 15];
        }
      } else if (c >= 0x80 && latin1) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
      } else {
        *out++ = ch;
      }
    }
    return out;
  }
};

}  // namespace vemo
