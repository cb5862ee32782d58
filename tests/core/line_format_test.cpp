#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/line_format.h"
#include "support/record_builder.h"

namespace vemo {
namespace {

// The row of `record` (length 97) in a format, written record by record and by the block loop
// (the record first in its block): both must give the same bytes.
std::string row_of(const OutputFormat& format, const std::string& record) {
  const LineEncoder encoder(format, "in.dat");
  std::string one(encoder.max_row_size(), '\0');
  one.resize(encoder.decode_record(record, 97, 0, one.data()));
  const std::string block = test::block_of({record});
  std::string rows(encoder.max_block_output(), '\0');
  std::int64_t records = 0;
  rows.resize(encoder.decode_block(block, 0, rows.data(), records));
  EXPECT_EQ(rows, one) << "the block loop and the record decoder disagree";
  EXPECT_EQ(records, 1);
  return one;
}

// A layout C record (97): date 2007-03-15, time 14:25:03, numbers 1234567 and 7654321, elapsed
// 85, counter 42; the two text fields as given (7 wide, trimmed).
std::string record_with_texts(const std::string& text1, const std::string& text2) {
  std::string r = test::record_of(97);
  test::put(r, 18, "1234567        ");
  test::put(r, 33, "   7654321F    ");
  test::put(r, 50, "142503000125000042");
  test::put(r, 71, "070315");
  test::put(r, 84, (text1 + "       ").substr(0, 7));
  test::put(r, 91, (text2 + "       ").substr(0, 7));
  return r;
}

// How each format writes a text field that holds the characters its quoting or escaping is about,
// and that a field never changes content between formats.
TEST(LineFormat, EachFormatQuotesOrEscapesTextItsOwnWay) {
  const struct {
    std::string text;
    std::string csv, tsv, jsonl;
  } cases[] = {
      {"AB", "AB", "AB", "AB"},
      {"A,B", "\"A,B\"", "A,B", "A,B"},
      {"A\"B", "\"A\"\"B\"", "A\"B", "A\\\"B"},
      {"A\tB", "A\tB", "A\\tB", "A\\tB"},
      {"A\r\nB", "\"A\r\nB\"", "A\\r\\nB", "A\\r\\nB"},
      {"A\\B", "A\\B", "A\\\\B", "A\\\\B"},
      {std::string("A\0B", 3), std::string("A\0B", 3), std::string("A\0B", 3), "A\\u0000B"},
      {"A\x1f", "A\x1f", "A\x1f", "A\\u001f"},
      // Not UTF-8: each byte a Latin-1 character. UTF-8 stays as it is.
      {"\xe9t\xe9", "\xe9t\xe9", "\xe9t\xe9", "\xc3\xa9t\xc3\xa9"},
      {"\xc3\xa9t\xe2\x82\xac", "\xc3\xa9t\xe2\x82\xac", "\xc3\xa9t\xe2\x82\xac",
       "\xc3\xa9t\xe2\x82\xac"},
      {"\xed\xa0\x80", "\xed\xa0\x80", "\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"},  // a surrogate
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string record = record_with_texts(c.text, "Z9");
    EXPECT_EQ(row_of({FormatId::kLegacy}, record),
              "2007-03-15,14:25:03,1234567,7654321,85,42," + c.text + ",Z9\r\n");
    EXPECT_EQ(row_of({FormatId::kCsv}, record),
              "2007-03-15,14:25:03,1234567,7654321,85,42," + c.csv + ",Z9,0\r\n");
    EXPECT_EQ(row_of({FormatId::kTsv}, record),
              "2007-03-15\t14:25:03\t1234567\t7654321\t85\t42\t" + c.tsv + "\tZ9\t0\n");
    EXPECT_EQ(row_of({FormatId::kJsonl}, record),
              R"({"date":"2007-03-15","time":"14:25:03","number1":"1234567","number2":"7654321",)"
              R"("elapsed_seconds":85,"counter":42,"text1":")" +
                  c.jsonl + R"(","text2":"Z9","skipped":false})" + "\n");
  }
}

// The header, the provenance columns and the row of a record without a layout, per format.
TEST(LineFormat, HeaderProvenanceAndSkippedRows) {
  const struct {
    OutputFormat format;
    std::string header, skipped_row;
  } cases[] = {
      {{FormatId::kLegacy}, "", "Record Skipped\r\n"},
      {{FormatId::kCsv, true, true, true},
       "file,offset,date,time,number1,number2,elapsed_seconds,counter,text1,text2,skipped\r\n",
       "\"a,\"\"b\"\"\",4101,,,,,,,,,1\r\n"},
      {{FormatId::kCsv, false, false, true}, "", "4101,,,,,,,,,1\r\n"},
      {{FormatId::kTsv, true, true, false},
       "file\tdate\ttime\tnumber1\tnumber2\telapsed_seconds\tcounter\ttext1\ttext2\tskipped\n",
       "a,\"b\"\t\t\t\t\t\t\t\t\t1\n"},
      {{FormatId::kJsonl, true, true, true},
       "",
       R"({"file":"a,\"b\"","offset":4101,"date":"","time":"","number1":"","number2":"",)"
       R"("elapsed_seconds":null,"counter":null,"text1":"","text2":"","skipped":true})"
       "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(format_name(c.format.id).name));
    const LineEncoder encoder(c.format, "a,\"b\"");
    EXPECT_EQ(encoder.header(), c.header);
    // The second record of the third block: 4096 + 5.
    const std::string block = test::block_of({"005XX", test::record_of(100)});
    std::string rows(encoder.max_block_output(), '\0');
    std::int64_t records = 0;
    rows.resize(encoder.decode_block(block, 4096, rows.data(), records));
    EXPECT_EQ(records, 2);
    EXPECT_EQ(rows.substr(rows.size() / 2), c.skipped_row);
  }
  EXPECT_EQ(format_by_name("jsonl"), FormatId::kJsonl);
  EXPECT_EQ(format_by_name("json"), std::nullopt);
  EXPECT_EQ(format_name_list(), "legacy, csv, tsv, jsonl");
}

}  // namespace
}  // namespace vemo
