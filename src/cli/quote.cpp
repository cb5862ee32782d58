#include "cli/quote.h"

#include <cstdint>

namespace vemo {
namespace {

// Length of the valid UTF-8 sequence at the start of s (1 to 4) that encodes a printable
// character, or 0 when the first byte starts no such sequence: a control character (C0, DEL or
// C1), a stray or missing continuation byte, an overlong form, a surrogate, or a value past
// U+10FFFF.
std::size_t printable_sequence(std::string_view s) {
  const auto b = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  const std::uint8_t lead = b(0);
  if (lead < 0x20 || lead == 0x7f) return 0;
  if (lead < 0x80) return 1;
  std::size_t n = 0;
  std::uint32_t cp = 0;
  if (lead >= 0xc2 && lead <= 0xdf) {
    n = 2;
    cp = lead & 0x1fu;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    n = 3;
    cp = lead & 0x0fu;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    n = 4;
    cp = lead & 0x07u;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((b(i) & 0xc0u) != 0x80u) return 0;
    cp = (cp << 6) | (b(i) & 0x3fu);
  }
  const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
  const bool surrogate = cp >= 0xd800 && cp <= 0xdfff;
  const bool c1_control = cp >= 0x80 && cp <= 0x9f;
  if (overlong || surrogate || c1_control || cp > 0x10ffff) return 0;
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
