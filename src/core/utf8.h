#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vemo {

// Length (1 to 4) of the well-formed UTF-8 sequence at the start of s, or 0 when s is empty or
// starts with a stray continuation byte, a cut sequence, an overlong form, a surrogate, or a value
// past U+10FFFF. The one UTF-8 rule of the project: names shown, names quoted, JSON text.
constexpr std::size_t utf8_sequence(std::string_view s) noexcept {
  if (s.empty()) return 0;
  const auto b = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  const std::uint8_t lead = b(0);
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
  if (overlong || (cp >= 0xd800 && cp <= 0xdfff) || cp > 0x10ffff) return 0;
  return n;
}

// Whether all of s is well-formed UTF-8.
constexpr bool valid_utf8(std::string_view s) noexcept {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = utf8_sequence(s.substr(i));
    if (n == 0) return false;
    i += n;
  }
  return true;
}

}  // namespace vemo
