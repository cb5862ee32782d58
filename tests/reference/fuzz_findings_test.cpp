// Inputs on which the fuzzers found the fast path and the reference apart, kept as plain tests
// with the values the rules give. Each case names what was wrong.

#include <gtest/gtest.h>

#include <string>

#include "core/val.h"
#include "reference/reference_converter.h"

namespace vemo {
namespace {

// Hexadecimal and octal numbers past 2^53 were summed digit by digit in a double, rounding at
// every step, and numbers past the range of a double read as infinity instead of 0.
TEST(FuzzFindings, RadixNumbersRoundOnceAndOverflowToZero) {
  const struct {
    std::string text;
    double value;
  } cases[] = {
      {"&H7723452323456234527890", 1.440287307183261e+26},
      {"&H20000000000001", 0x1p53},                     // 2^53 + 1: the tie goes to even
      {"&H20000000000003", 0x1p53 + 4},                 // 2^53 + 3: the tie goes to even
      {"&H200000000000010000", 0x1p53 * 0x1p16},        // a tie, digits dropped are zero
      {"&H200000000000010001", (0x1p53 + 2) * 0x1p16},  // just above the tie: rounds up
      {"&O1777777777777777777777", 0x1p64},
      {"&H" + std::string(255, 'F'), 0x1p1020},
      {"&H" + std::string(256, 'F'), 0},  // beyond double range
      {"&O" + std::string(1000, '7'), 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Val(c.text), c.value) << c.text;
    EXPECT_EQ(reference_val(c.text), c.value) << c.text;
  }
}

}  // namespace
}  // namespace vemo
