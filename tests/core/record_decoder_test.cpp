#include "core/record_decoder.h"

#include <gtest/gtest.h>

#include <string>

#include "core/record_layout.h"
#include "support/record_builder.h"
#include "support/worked_examples.h"

namespace vemo {
namespace {

using test::put;
using test::record_of;

std::string decode(const std::string& record) {
  return RecordDecoder::decode(record, std::stod(record.substr(0, 3)));
}

using test::layout_a_example;
using test::layout_b_example;
using test::layout_c_example;
using test::layout_d_example;

TEST(RecordDecoder, WorkedExamplesOfEachLayout) {
  EXPECT_EQ(decode(layout_c_example()), test::kLayoutCLine);
  EXPECT_EQ(decode(layout_a_example()), test::kLayoutALine);
  EXPECT_EQ(decode(layout_b_example()), test::kLayoutBLine);
  EXPECT_EQ(decode(layout_d_example()), test::kLayoutDLine);
}

TEST(RecordDecoder, LayoutCServesAllItsLengthsAndIgnoresTheTail) {
  for (int length : {105, 108, 112, 116}) {
    std::string r = layout_c_example();
    r.resize(static_cast<std::size_t>(length), '#');
    put(r, 1, std::to_string(length));
    EXPECT_EQ(decode(r), "2007-03-15,14:25:03,1234567,7654321,85,42,ABC12,QRS9") << length;
  }
}

TEST(RecordDecoder, UnknownLengthsGiveTheSkipLine) {
  for (double length :
       {96.0, 98.0, 100.0, 110.0, 114.0, 117.0, 118.0, 120.0, 0.0, -119.0, 119.5, 1e300}) {
    EXPECT_EQ(RecordDecoder::decode(layout_a_example(), length), "Record Skipped") << length;
  }
}

// Number field 2 of layout C (positions 33-47), and what its column becomes.
TEST(RecordDecoder, NumberField2LosesOneTrailingCapitalFAfterTrimming) {
  struct Case {
    const char* field;
    const char* column;
  } cases[] = {
      {"   123F        ", "123"},   {"123FF          ", "123F"}, {"123 F          ", "123 "},
      {"123f           ", "123f"},  {"      F        ", ""},     {"               ", ""},
      {"\t123F         ", "\t123"}, {"F123           ", "F123"},
  };
  for (const auto& c : cases) {
    std::string r = layout_c_example();
    put(r, 33, c.field);
    EXPECT_EQ(decode(r),
              std::string("2007-03-15,14:25:03,1234567,") + c.column + ",85,42,ABC12,QRS9")
        << c.field;
  }
}

TEST(RecordDecoder, NumberField1KeepsItsF) {
  std::string r = layout_c_example();
  put(r, 18, "123F           ");
  EXPECT_EQ(decode(r), "2007-03-15,14:25:03,123F,7654321,85,42,ABC12,QRS9");
}

TEST(RecordDecoder, ElapsedTimeAndCounterAreNumbers) {
  struct Case {
    const char* elapsed;
    const char* counter;
    const char* columns;  // columns 5 and 6
  } cases[] = {
      {"007090", "000000", "4290,0"},
      {"      ", "-00012", "0,-12"},
      {" 1 2 3", "      ", "3723,0"},
      {"000125", "12AB34", "85,12"},
      {"-1-1-1", "12.500", "-3661,12.5"},
      {"999999", "1E5   ", "362439,100000"},
      {"AB0000", "1E999 ", "0,0"},
      {".50000", "&HFF  ", "1800,255"},
      // Every digit count of the seconds, written without leading zeros.
      {"000000", "000001", "0,1"},
      {"000009", "000010", "9,10"},
      {"000010", "000100", "10,100"},
      {"000139", "001000", "99,1000"},
      {"000140", "010000", "100,10000"},
      {"005959", "100000", "3599,100000"},
      {"024640", "999999", "10000,999999"},
      {"274639", "090000", "99999,90000"},
      {"274640", "000700", "100000,700"},
  };
  for (const auto& c : cases) {
    std::string r = layout_c_example();
    put(r, 56, c.elapsed);
    put(r, 62, c.counter);
    EXPECT_EQ(decode(r),
              std::string("2007-03-15,14:25:03,1234567,7654321,") + c.columns + ",ABC12,QRS9")
        << c.elapsed << " / " << c.counter;
  }
}

TEST(RecordDecoder, DateAndTimePartsAreCopiedUnchanged) {
  std::string r = layout_c_example();
  put(r, 71, " 71300");
  put(r, 50, "2 0 9 ");
  EXPECT_EQ(decode(r), "20 7-13-00,2 :0 :9 ,1234567,7654321,85,42,ABC12,QRS9");
}

TEST(RecordDecoder, TextsAreTrimmedOfSpacesOnlyAndNeverQuoted) {
  std::string r = layout_c_example();
  put(r, 84, "\tA,B  \t");
  put(r, 91, std::string("  Z\0\0  ", 7));
  EXPECT_EQ(decode(r),
            "2007-03-15,14:25:03,1234567,7654321,85,42,\tA,B  \t," + std::string("Z\0\0", 3));
}

TEST(RecordDecoder, RecordsCutShortAtTheBlockEnd) {
  const std::string full = layout_a_example();
  // Started at offset 2000 of its block: only 49 characters arrived.
  EXPECT_EQ(RecordDecoder::decode(full.substr(0, 49), 119), "20--,::,123456789012345,24680,0,0,,");
  // Started at offset 1991: the elapsed time is cut to "012", read as 1 h, 2 min and 12 s.
  EXPECT_EQ(RecordDecoder::decode(full.substr(0, 58), 119),
            "20--,23:59:59,123456789012345,24680,3732,0,,");
  // Cut inside the date and the time.
  EXPECT_EQ(RecordDecoder::decode(full.substr(0, 73), 119),
            "2010-1-,23:59:59,123456789012345,24680,4800,100000,,");
  EXPECT_EQ(RecordDecoder::decode(full.substr(0, 51), 119),
            "20--,23::,123456789012345,24680,0,0,,");
  // Elapsed time cut to one character: hours and seconds both read it.
  EXPECT_EQ(RecordDecoder::decode(full.substr(0, 56), 119),
            "20--,23:59:59,123456789012345,24680,0,0,,");
  std::string one = full.substr(0, 56);
  one.back() = '2';
  EXPECT_EQ(RecordDecoder::decode(one, 119), "20--,23:59:59,123456789012345,24680,7202,0,,");
  EXPECT_EQ(RecordDecoder::decode("119", 119), "20--,::,,,0,0,,");
  EXPECT_EQ(RecordDecoder::decode("", 119), "20--,::,,,0,0,,");
}

TEST(RecordDecoder, LongestLineFitsTheBuffer) {
  std::string r = layout_c_example();
  put(r, 56, "-9-9-9");
  put(r, 62, "-99E30");
  put(r, 18, std::string(15, '9'));
  char out[RecordDecoder::kMaxLineSize];
  const std::size_t n = RecordDecoder::decode(r, 97, out);
  EXPECT_LT(n, sizeof(out));
  put(r, 62, "1E-307");
  EXPECT_LT(RecordDecoder::decode(r, 97, out), sizeof(out));
}

TEST(RecordLayout, LengthsMapToTheirLayouts) {
  EXPECT_EQ(layout_for_length(119), &kLayoutA);
  EXPECT_EQ(layout_for_length(113), &kLayoutB);
  EXPECT_EQ(layout_for_length(109), &kLayoutD);
  for (double l : {97.0, 105.0, 108.0, 112.0, 116.0}) EXPECT_EQ(layout_for_length(l), &kLayoutC);
  EXPECT_EQ(layout_for_length(97.0000001), nullptr);
  for (unsigned l = 0; l < 1000; ++l) EXPECT_EQ(layout_for_whole_length(l), layout_for_length(l));
  EXPECT_EQ(kLayoutA.text2.start + kLayoutA.text2.width - 1, 97);
  EXPECT_EQ(kLayoutB.text2.start + kLayoutB.text2.width - 1, 113);
  EXPECT_EQ(kLayoutD.text2.start + kLayoutD.text2.width - 1, 109);
}

}  // namespace
}  // namespace vemo
