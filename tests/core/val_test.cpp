#include "core/val.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace vemo {
namespace {

struct ValCase {
  std::string text;
  double expected;
};

TEST(Val, ReadsNumberFromTheLeft) {
  const ValCase cases[] = {
      // Plain and padded whole numbers
      ValCase{"119", 119}, ValCase{"000042", 42}, ValCase{" 97", 97}, ValCase{"", 0},
      ValCase{"      ", 0}, ValCase{"abc", 0}, ValCase{"12AB34", 12},
      // Blanks are skipped wherever they stand, also between digits
      ValCase{"1 2", 12}, ValCase{" 1 2 3", 123}, ValCase{"\t7\n8", 78}, ValCase{"- 5", -5},
      // Carriage return is not a blank
      ValCase{"1\r2", 1},
      // Signs
      ValCase{"-00012", -12}, ValCase{"+5", 5}, ValCase{"--5", 0}, ValCase{"-", 0},
      // Fractions
      ValCase{"12.500", 12.5}, ValCase{".5", 0.5}, ValCase{"5.", 5}, ValCase{".", 0},
      ValCase{"1.2.3", 1.2}, ValCase{"-.25", -0.25},
      // Exponents with E or D, either case; a bare letter is not an exponent
      ValCase{"1E5", 1e5}, ValCase{"1e5", 1e5}, ValCase{"2D3", 2000}, ValCase{"1E-3", 0.001},
      ValCase{"1E+2", 100}, ValCase{"1E", 1}, ValCase{"1E-", 1}, ValCase{"1 E 2", 100},
      ValCase{"E5", 0}, ValCase{"1E999", 0}, ValCase{"1E-999", 0},
      // A zero byte stops the number
      ValCase{std::string("12\0"
                          "3",
                          4),
              12},
      ValCase{std::string("\0"
                          "99",
                          3),
              0},
      // Hexadecimal and octal
      ValCase{"&HFF", 255}, ValCase{"&hff", 255}, ValCase{"&O17", 15}, ValCase{"&O8", 0},
      ValCase{"&H", 0}, ValCase{"&X1", 0}, ValCase{" &H 1 0", 16}, ValCase{"&H1G", 1},
      // Long digit runs still convert correctly
      ValCase{"12345678901234567890123", 1.2345678901234568e22},
      ValCase{std::string(200, '9') + "E-190", 1e10}};
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(Val(c.text), c.expected) << "text: \"" << c.text << "\"";
  }
}

TEST(Val, NegativeZeroAndExactness) {
  EXPECT_TRUE(std::signbit(Val("-0")));
  EXPECT_EQ(Val("0.1"), 0.1);  // correctly rounded, not accumulated
  EXPECT_EQ(Val("123456789012345678"), 123456789012345678.0);
}

}  // namespace
}  // namespace vemo
