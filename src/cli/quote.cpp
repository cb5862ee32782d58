#include "cli/quote.h"

#include <cstdint>

#include "core/utf8.h"

namespace vemo {
namespace {

// Length of the valid UTF-8 sequence at the start of s (1 to 4) that encodes a printable
// character, or 0 when the first byte starts no such sequence: a control character (C0, DEL or
// C1), a stray or missing continuation byte, an overlong form, a surrogate, or a value past
// U+10FFFF.
std::size_t printable_sequence(std::string_view s) {
  const auto lead = static_cast<std::uint8_t>(s[0]);
  if (lead < 0x20 || lead == 0x7f) return 0;
  const std::size_t n = utf8_sequence(s);
  // U+0080 to U+009F, the C1 controls, are C2 80 to C2 9F.
  if (n == 2 && lead == 0xc2 && static_cast<std::uint8_t>(s[1]) < 0xa0) return 0;
  return n;
}

}  // namespace

std::string quote_name(std::string_view name) {
  bool clean = true;
  for (std::size_t i = 0; i < name.size() && clean;) {
    const std::size_t n = printable_sequence(name.substr(i));
    clean = n > 0;
    i += n;
  }
  if (clean) return std::string(name);

  std::string out = "$'";
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t n = printable_sequence(name.substr(i));
    if (n > 0) {
      for (std::size_t k = 0; k < n; ++k) {
        const char c = name[i + k];
        if (c == '\\' || c == '\'') out += '\\';
        out += c;
      }
      i += n;
      continue;
    }
    const auto byte = static_cast<std::uint8_t>(name[i++]);
    switch (byte) {
      case '\a':
        out += "\\a";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\v':
        out += "\\v";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += '\\';
        out += static_cast<char>('0' + (byte >> 6));
        out += static_cast<char>('0' + ((byte >> 3) & 7));
        out += static_cast<char>('0' + (byte & 7));
    }
  }
  return out + "'";
}

}  // namespace vemo
