#include "core/number_format.h"

#include <gtest/gtest.h>

#include <string>

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
