#include "core/number_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/digit_chars.h"
#include "core/val.h"

namespace vemo {
namespace {

std::string written(double v) {
  char buf[kMaxNumberChars];
  return std::string(buf, write_number(v, buf));
}

TEST(WriteNumber, WholeValuesAreExactDigits) {
  EXPECT_EQ(written(0), "0");
  EXPECT_EQ(written(-0.0), "0");
  EXPECT_EQ(written(42), "42");
  EXPECT_EQ(written(-12), "-12");
  EXPECT_EQ(written(999999), "999999");
  EXPECT_EQ(written(362439), "362439");
  EXPECT_EQ(written(999999999999999), "999999999999999");
  EXPECT_EQ(written(-999999999999999), "-999999999999999");
}

TEST(WriteNumber, OtherValuesRoundTo15SignificantDigitsInPlainNotation) {
  struct Case {
    const char* field;  // read with Val, as the counter column is
    const char* expected;
  } cases[] = {
      {"12.500", "12.5"},
      {".5", "0.5"},
      {"-.25", "-0.25"},
      {"1E-9", "0.000000001"},
      {"1E20", "100000000000000000000"},
      {"1E15", "1000000000000000"},
      {"0.1", "0.1"},
      {"1.1", "1.1"},
      {"123456789012345678", "123456789012346000"},
      {"3.14159265358979323846", "3.14159265358979"},
      {"0.000123", "0.000123"},
      {"99999.99999999999", "100000"},
  };
  for (const auto& c : cases) EXPECT_EQ(written(Val(c.field)), c.expected) << c.field;
}

TEST(WriteNumber, HugeValuesAreWrittenInFull) {
  EXPECT_EQ(written(Val("-99E306")), "-99" + std::string(306, '0'));
}

TEST(WriteNumber, TinyValuesStayPlainAndFitTheBuffer) {
  const std::string s = written(4.9e-324);
  EXPECT_EQ(s.rfind("0.", 0), 0u);
  EXPECT_EQ(s.find('e'), std::string::npos);
  EXPECT_LT(s.size(), kMaxNumberChars);
  EXPECT_EQ(written(1e-308).size(), 2 + 307 + 1);
}

}  // namespace
}  // namespace vemo

// The word of six digit characters the decoders write numbers from, for every value it takes,
// and the seconds of every hhmmss.
TEST(DigitChars, SixDigitWordsAndSeconds) {
  for (std::uint32_t v = 0; v < 1000000; ++v) {
    const std::uint64_t word = vemo::digit_chars::six_digit_word(v);
    char expected[8];
    std::snprintf(expected, sizeof expected, "%06u", static_cast<unsigned>(v));
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(&word), 6), expected) << v;
    ASSERT_EQ(word >> 48, 0u) << v;
    ASSERT_TRUE(vemo::digit_chars::six_digits(word)) << v;
    const std::uint32_t h = v / 10000, m = v / 100 % 100, s = v % 100;
    ASSERT_EQ(vemo::digit_chars::hhmmss_seconds(word), h * 3600 + m * 60 + s) << v;
  }
  for (const char* not_six : {"12345 ", "/00000", ":00000", "00000\x80"}) {
    std::uint64_t word = 0;
    std::memcpy(&word, not_six, 6);
    EXPECT_FALSE(vemo::digit_chars::six_digits(word)) << not_six;
  }
}
