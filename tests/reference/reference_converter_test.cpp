// The reference converter is the oracle of the differential tests and fuzzers, so it is held to
// the worked examples and edge cases of the rules here, independently of the fast path.

#include "reference/reference_converter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/record_builder.h"
#include "support/worked_examples.h"

namespace vemo {
namespace {

using test::put;
using test::record_of;

using test::layout_a_example;
using test::layout_b_example;
using test::layout_c_example;
using test::layout_d_example;

TEST(ReferenceVal, ReadsNumbersLikeTheRule) {
  const struct {
    std::string text;
    double value;
  } cases[] = {
      {"", 0},
      {"abc", 0},
      {"1 2", 12},
      {" \t\n7", 7},
      {"- 1 2", -12},
      {"+7", 7},
      {"--1", 0},
      {"  -3.5", -3.5},
      {".5", 0.5},
      {"5.", 5},
      {"1.2.3", 1.2},
      {"12AB", 12},
      {std::string("1\0 2", 4), 1},
      {"1E3", 1000},
      {"1e3", 1000},
      {"1D-2", 0.01},
      {"1d 3", 1000},
      {"1E", 1},
      {"1E+", 1},
      {"1E+x5", 1},
      {"1e400", 0},
      {"-1e400", 0},
      {"1e-400", 0},
      {"1e-310", 1e-310},
      {"&H1F", 31},
      {"&hff", 255},
      {"&H 1 F", 31},
      {"&O17", 15},
      {"&o8", 0},
      {"&H", 0},
      {"&X1", 0},
      {"-&H1", 0},
      {"&H" + std::string(300, 'F'), 0},  // beyond double range
      {"&HFFFFFFFFFFFFFFFF", 18446744073709551615.0},
      {"&O1777777777777777777777", 18446744073709551615.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(reference_val(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(ReferenceWriteNumber, PlainDecimalWithFifteenSignificantDigits) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {-0.0, "0"},
      {42, "42"},
      {-12, "-12"},
      {999999999999999, "999999999999999"},
      {12.5, "12.5"},
      {0.25, "0.25"},
      {-0.5, "-0.5"},
      {1e-5, "0.00001"},
      {1.0 / 3, "0.333333333333333"},
      {1234.5678, "1234.5678"},
      {1e15, "1000000000000000"},
      {123456789012345678.0, "123456789012346000"},
      {-2e20, "-200000000000000000000"},
      {0.9999999999999999, "1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(reference_write_number(c.value), c.text) << c.value;
  }
}

TEST(ReferenceDecode, WorkedExamples) {
  EXPECT_EQ(reference_decode(layout_c_example(), 97),
            "2007-03-15,14:25:03,1234567,7654321,85,42,ABC12,QRS9");
  EXPECT_EQ(reference_decode(layout_a_example(), 119),
            "2010-12-31,23:59:59,123456789012345,24680,4800,100000,R1,");
  EXPECT_EQ(reference_decode(layout_b_example(), 113),
            "2009-01-02,08:09:10,314159,2718281828,59,7,AB01CD,EF2");
  EXPECT_EQ(reference_decode(layout_d_example(), 109),
            "2099-11-30,01:02:03,1111,22222,36000,999999,Q,Z7");
  EXPECT_EQ(reference_decode(record_of(100), 100), "Record Skipped");
}

TEST(ReferenceDecode, RecordsCutAtTheBlockEnd) {
  EXPECT_EQ(reference_decode(layout_a_example().substr(0, 49), 119),
            "20--,::,123456789012345,24680,0,0,,");
  EXPECT_EQ(reference_decode(layout_a_example().substr(0, 58), 119),
            "20--,23:59:59,123456789012345,24680,3732,0,,");
  EXPECT_EQ(reference_decode("119", 119), "20--,::,,,0,0,,");
}

TEST(ReferenceDecode, OnlyTheEightLengthsHaveALayout) {
  for (double length : {96.0, 98.0, 100.0, 110.0, 114.0, 117.0, 118.0, 120.0, 119.5, 0.0, -97.0}) {
    EXPECT_EQ(reference_decode(record_of(119), length), "Record Skipped") << length;
  }
  for (double length : {97.0, 105.0, 108.0, 112.0, 116.0}) {
    std::string r = layout_c_example();
    r.resize(static_cast<std::size_t>(length), '9');  // positions past 97 have no effect
    EXPECT_EQ(reference_decode(r, length), "2007-03-15,14:25:03,1234567,7654321,85,42,ABC12,QRS9")
        << length;
  }
}

// One field of the layout C example replaced; the column it lands in.
TEST(ReferenceDecode, FieldRules) {
  const struct {
    int position;
    std::string field;
    int column;  // 0-based column of the line
    std::string expected;
  } cases[] = {
      {33, "   123F        ", 3, "123"},
      {33, "123FF          ", 3, "123F"},
      {33, "123 F          ", 3, "123 "},
      {33, "123f           ", 3, "123f"},
      {33, "      F        ", 3, ""},
      {33, "               ", 3, ""},
      {18, "123F           ", 2, "123F"},
      {18, "\t12           ", 2, "\t12"},
      {56, "007090", 4, "4290"},
      {56, "      ", 4, "0"},
      {56, " 1 2 3", 4, "3723"},
      {56, "-10000", 4, "-3600"},
      {56, ".50000", 4, "1800"},
      {62, "000000", 5, "0"},
      {62, "-00012", 5, "-12"},
      {62, "      ", 5, "0"},
      {62, "12AB34", 5, "12"},
      {62, "12.500", 5, "12.5"},
      {62, "1D-5  ", 5, "0.00001"},
      {62, "1E20  ", 5, "100000000000000000000"},
      {62, "&HFFFF", 5, "65535"},
      {62, "1E999 ", 5, "0"},
      {71, " 7", 0, "20 7-03-15"},
      {73, "13", 0, "2007-13-15"},
      {75, "00", 0, "2007-03-00"},
      {84, "\tA B\t  ", 6, "\tA B\t"},
  };
  for (const auto& c : cases) {
    std::string r = layout_c_example();
    put(r, static_cast<std::size_t>(c.position), c.field);
    const std::string line = reference_decode(r, 97);
    std::vector<std::string> columns(1);
    for (char ch : line) {
      if (ch == ',') {
        columns.emplace_back();
      } else {
        columns.back() += ch;
      }
    }
    ASSERT_EQ(columns.size(), 8u) << line;
    EXPECT_EQ(columns[static_cast<std::size_t>(c.column)], c.expected)
        << "field at " << c.position << " \"" << c.field << '"';
  }
}

TEST(ReferenceDecode, ACommaInATextFieldAddsAColumn) {
  std::string r = layout_c_example();
  put(r, 84, "A,B    ");
  EXPECT_EQ(reference_decode(r, 97), "2007-03-15,14:25:03,1234567,7654321,85,42,A,B,QRS9");
}

// A file of whole blocks, each padded with zero bytes to 2048.
std::string file_of(const std::vector<std::string>& blocks) {
  std::string bytes;
  for (const std::string& b : blocks) bytes += test::block_of({b});
  return bytes;
}

std::string lines(const std::vector<std::string>& each) {
  std::string out;
  for (const std::string& line : each) out += line + "\r\n";
  return out;
}

TEST(ReferenceFile, SixProbesDecide) {
  const struct {
    std::string probe;
    bool accepted;
  } cases[] = {
      {"080", true},  {"150", true},  {" 97", true},  {"1e2", true},
      {"079", false}, {"151", false}, {"000", false}, {"-97", false},
  };
  for (const auto& c : cases) {
    for (std::size_t which = 0; which < 6; ++which) {
      std::vector<std::string> blocks(7, record_of(119));
      blocks[which] = c.probe;
      EXPECT_EQ(reference_is_data_file(file_of(blocks)), c.accepted)
          << c.probe << " in block " << which + 1;
    }
  }
  const std::string five_blocks = file_of(std::vector<std::string>(5, record_of(119)));
  EXPECT_EQ(five_blocks.size(), 10240u);
  EXPECT_FALSE(reference_is_data_file(five_blocks));
  EXPECT_TRUE(reference_is_data_file(five_blocks + "80"));
  EXPECT_FALSE(reference_is_data_file(five_blocks + "8"));
  EXPECT_EQ(reference_convert(five_blocks), "");
}

TEST(ReferenceFile, ScansEveryRecordOfEveryBlock) {
  // Six blocks of one 119 record: six lines; the seventh read, past the end, gives none.
  const std::string six = file_of(std::vector<std::string>(6, record_of(119)));
  ASSERT_EQ(six.size(), 12288u);
  const std::string line119 = reference_decode(record_of(119), 119);
  EXPECT_EQ(reference_convert(six), lines(std::vector<std::string>(6, line119)));

  // A short last block: its missing bytes read as zero bytes.
  std::string cut = six.substr(0, 12000);
  EXPECT_EQ(reference_convert(cut), lines(std::vector<std::string>(6, line119)));

  // Records follow one another; "000" ends the block, the next block goes on.
  std::vector<std::string> blocks(6, record_of(119));
  blocks[1] = record_of(119) + record_of(119) + record_of(97) + "000" + record_of(113);
  blocks[2] = record_of(119) + record_of(100);
  EXPECT_EQ(reference_convert(file_of(blocks)),
            lines({line119, line119, line119, reference_decode(record_of(97), 97), line119,
                   "Record Skipped", line119, line119, line119}));
}

TEST(ReferenceFile, RecordsAtTheBlockEnd) {
  const std::string skip = "Record Skipped";
  std::string seventeen;
  for (int i = 0; i < 17; ++i) seventeen += record_of(111);
  const struct {
    std::string block;
    std::vector<std::string> lines;
  } cases[] = {
      // 17 x 111 + 112 bring a 119 record to offset 2000: it is cut to 49 characters.
      {seventeen + record_of(112) + record_of(119),
       {skip, skip, skip, skip, skip, skip, skip, skip, skip, skip, skip, skip, skip, skip, skip,
        skip, skip, reference_decode(record_of(112), 112),
        reference_decode(record_of(119).substr(0, 49), 119)}},
      // A record at offset 2047 has a two-character prefix and two characters.
      {record_of(119) + record_of(999) + record_of(928) + "97",
       {reference_decode(record_of(119), 119), skip, skip, reference_decode("97", 97)}},
      // Offset 2048 starts no record.
      {record_of(119) + record_of(999) + record_of(929) + "9",
       {reference_decode(record_of(119), 119), skip, skip}},
      // A length beyond the room left takes the rest of the block.
      {record_of(119) + record_of(999) + record_of(900) + "999",
       {reference_decode(record_of(119), 119), skip, skip, skip}},
  };
  const std::string line119 = reference_decode(record_of(119), 119);
  for (const auto& c : cases) {
    std::vector<std::string> blocks(6, record_of(119));
    blocks[0] = c.block;
    std::vector<std::string> expected = c.lines;
    for (int i = 0; i < 5; ++i) expected.push_back(line119);
    EXPECT_EQ(reference_convert(file_of(blocks)), lines(expected)) << c.block.size();
  }
}

// Length values that are not three plain digits: what the fast path must agree on too.
TEST(ReferenceFile, UnusualLengthPrefixes) {
  const std::string line119 = reference_decode(record_of(119), 119);
  const struct {
    std::string second_record;
    std::vector<std::string> lines_after_first;
  } cases[] = {
      {"-97" + std::string(94, 'X'), {}},                          // below 1: ends the block
      {".5 " + std::string(94, 'X'), {}},                          // below 1
      {"0.9", {}},                                                 // below 1
      {"   " + record_of(119), {}},                                // blanks: 0
      {"2.5  000", {"Record Skipped", "Record Skipped"}},          // 2 chars, then "5  ": 5 chars
      {"1e2" + std::string(97, 'X') + "000", {"Record Skipped"}},  // 100
      {"9 7" + record_of(97).substr(3), {reference_decode(record_of(97), 97)}},
      {"&H1" + std::string(10, 'X'), {"Record Skipped"}},  // 1 character, then "H1X" reads 0
  };
  for (const auto& c : cases) {
    std::vector<std::string> blocks(6, record_of(119));
    blocks[0] = record_of(119) + c.second_record;
    std::vector<std::string> expected = {line119};
    expected.insert(expected.end(), c.lines_after_first.begin(), c.lines_after_first.end());
    for (int i = 0; i < 5; ++i) expected.push_back(line119);
    EXPECT_EQ(reference_convert(file_of(blocks)), lines(expected)) << c.second_record;
  }
}

}  // namespace
}  // namespace vemo
