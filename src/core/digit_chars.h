#pragma once

#include <cstdint>

namespace vemo::digit_chars {

// The six decimal digits of v (below 10^6), leading zeros included, as the characters of one
// little-endian word: the most significant digit in its lowest byte, zero bytes on top. Three
// two-digit numbers in 16-bit lanes are each split into tens (x * 103 >> 10 is x / 10 below 100)
// and units; the divisions by 10^4 and 100 are multiplications that are exact in these ranges.
constexpr std::uint64_t six_digit_word(std::uint32_t v) noexcept {
  const std::uint64_t high = static_cast<std::uint64_t>(v) * 429497 >> 32;  // v / 10000
  const std::uint32_t rest = v - static_cast<std::uint32_t>(high) * 10000;
  const std::uint32_t middle = rest * 5243 >> 19;  // rest / 100
  const std::uint64_t pairs = high | static_cast<std::uint64_t>(middle) << 16 |
                              static_cast<std::uint64_t>(rest - middle * 100) << 32;
  const std::uint64_t tens = (pairs * 103 >> 10) & 0x0000000F000F000Full;
  return (tens | (pairs - 10 * tens) << 8) + 0x0000303030303030ull;
}

// Whether the low six bytes of a little-endian word are all digit characters: a byte is one when
// its high nibble is 3 and adding 6 keeps it so.
constexpr bool six_digits(std::uint64_t word) noexcept {
  const std::uint64_t x = word & 0x0000FFFFFFFFFFFFull;
  const std::uint64_t check =
      (x & 0x0000F0F0F0F0F0F0ull) | (((x + 0x0000060606060606ull) & 0x0000F0F0F0F0F0F0ull) >> 4);
  return check == 0x0000333333333333ull;
}

// The seconds of hhmmss given as a word whose low six bytes are its digit characters.
constexpr std::uint32_t hhmmss_seconds(std::uint64_t word) noexcept {
  // The three two-digit numbers, in bytes 0, 2 and 4.
  const std::uint64_t digits = (word & 0x0000FFFFFFFFFFFFull) - 0x0000303030303030ull;
  const std::uint64_t pairs = digits * 10 + (digits >> 8);
  return static_cast<std::uint32_t>((pairs & 0xFF) * 3600 + ((pairs >> 16) & 0xFF) * 60 +
                                    ((pairs >> 32) & 0xFF));
}

}  // namespace vemo::digit_chars
