#pragma once

#include <cstdint>

namespace vemo::digit_chars {

// "00" to "99", two characters each.
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The two digit characters of p (below 100), the tens in the low byte.
constexpr std::uint64_t pair_chars(std::uint32_t p) noexcept {
  return static_cast<std::uint64_t>(static_cast<unsigned char>(kDigitPairs[2 * p])) |
         static_cast<std::uint64_t>(static_cast<unsigned char>(kDigitPairs[2 * p + 1])) << 8;
}

// The six decimal digits of v (below 10^6), leading zeros included, as the characters of one
// little-endian word: the most significant digit in its lowest byte, zero bytes on top. The three
// two-digit parts are each worked out from v, side by side rather than one after another; the
// divisions by 10^4 and 100 are multiplications that are exact below 10^6.
constexpr std::uint64_t six_digit_word(std::uint32_t v) noexcept {
  const auto high = static_cast<std::uint32_t>(std::uint64_t{v} * 429497 >> 32);        // v / 10^4
  const auto hundreds = static_cast<std::uint32_t>(std::uint64_t{v} * 42949673 >> 32);  // v / 100
  return pair_chars(high) | pair_chars(hundreds - high * 100) << 16 |
         pair_chars(v - hundreds * 100) << 32;
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
