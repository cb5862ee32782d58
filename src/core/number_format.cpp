#include "core/number_format.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace vemo {

char* write_number(double value, char* out) noexcept {
  if (!std::isfinite(value)) {
    *out++ = '0';  // no input can produce these; keep the column a number all the same
    return out;
  }
  const double magnitude = std::fabs(value);
  if (magnitude < 1e15 && value == std::trunc(value)) {
    if (value < 0) *out++ = '-';
    // Below 10^15: at most 15 digits, within the caller's kMaxNumberChars.
    return std::to_chars(out, out + 20, static_cast<std::uint64_t>(magnitude)).ptr;
  }

  // Round to 15 significant digits: d.dddddddddddddde[+-]x
  char sci[32];
  const auto res =
      std::to_chars(sci, sci + sizeof(sci), magnitude, std::chars_format::scientific, 14);
  char digits[15];
  std::size_t count = 0;
  const char* p = sci;
  for (; p < res.ptr && *p != 'e'; ++p) {
    if (*p != '.') digits[count++] = *p;
  }
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+'), res.ptr, exponent);
  while (count > 1 && digits[count - 1] == '0') --count;

  if (value < 0) *out++ = '-';
  if (exponent < 0) {
    *out++ = '0';
    *out++ = '.';
    for (int i = -1; i > exponent; --i) *out++ = '0';
    std::memcpy(out, digits, count);
    return out + count;
  }
  const std::size_t int_digits = static_cast<std::size_t>(exponent) + 1;
  if (int_digits >= count) {
    std::memcpy(out, digits, count);
    out += count;
    for (std::size_t i = count; i < int_digits; ++i) *out++ = '0';
    return out;
  }
  std::memcpy(out, digits, int_digits);
  out += int_digits;
  *out++ = '.';
  std::memcpy(out, digits + int_digits, count - int_digits);
  return out + (count - int_digits);
}

}  // namespace vemo
