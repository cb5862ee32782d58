#pragma once

#include <string_view>

namespace vemo {

// Reads a number from the left of `text`, the one way the system reads numbers out of text.
// Spaces, tabs and line feeds are skipped wherever they stand (also between digits). A number is
// an optional sign, digits with an optional "." and fraction, and an optional exponent introduced
// by E or D; "&H" and "&O" start a hexadecimal or octal whole number. Reading stops at the first
// character that cannot continue the number (a zero byte included). No number at the start, or an
// exponent beyond the range of a double, gives 0.
double Val(std::string_view text) noexcept;

}  // namespace vemo
