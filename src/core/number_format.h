#pragma once

#include <cstddef>

namespace vemo {

// The most characters write_number can produce (a double in plain notation, sign included).
inline constexpr std::size_t kMaxNumberChars = 360;

// Writes `value` in plain decimal notation: whole values below 10^15 exactly; anything else
// rounded to 15 significant digits, never with an exponent, without trailing zeros, with "." as
// the decimal separator and "0" before it for magnitudes below 1. Zero (also -0) is "0".
// `out` must have room for kMaxNumberChars; returns the end of what was written.
char* write_number(double value, char* out) noexcept;

}  // namespace vemo
