#include "core/data_file_scanner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "core/block_decoder.h"
#include "core/data_file_reader.h"
#include "core/many_files_converter.h"
#include "support/compression.h"
#include "support/record_builder.h"

namespace vemo {
namespace {

using test::block_of;
using test::record_of;

// Remembers every call, and can say stop at a chosen record.
struct RecordingSink : RecordSink {
  std::vector<std::string> records;
  std::vector<double> lengths;
  std::vector<std::uint64_t> block_ends;
  std::size_t stop_at = SIZE_MAX;  // 0-based record index at which to answer stop

  bool on_record(std::string_view record, double length) override {
    records.emplace_back(record);
    lengths.push_back(length);
    return records.size() - 1 != stop_at;
  }
  void on_block_done(std::uint64_t next) override { block_ends.push_back(next); }
};

RecordingSink scan_block(const std::string& block) {
  RecordingSink sink;
  EXPECT_TRUE(DataFileScanner::scan_block(block, sink));
  return sink;
}

TEST(ScanBlock, RecordsFollowOneAnother) {
  const auto sink = scan_block(block_of({record_of(119), record_of(119), record_of(97)}));
  ASSERT_EQ(sink.records.size(), 3u);
  EXPECT_EQ(sink.records[0].size(), 119u);
  EXPECT_EQ(sink.records[1].size(), 119u);
  EXPECT_EQ(sink.records[2], record_of(97));
  EXPECT_EQ(sink.lengths, (std::vector<double>{119, 119, 97}));
}

TEST(ScanBlock, RecordRunningPastTheBlockEndIsCutAndEndsTheBlock) {
  // Records up to offset 1999 (17 x 111 + 112), then a 119 record at 2000: 49 characters fit.
  std::vector<std::string> records(17, record_of(111));
  records.push_back(record_of(112));
  records.push_back(record_of(119));
  const std::string block = block_of(records);
  ASSERT_EQ(block.size(), 2048u);
  const auto sink = scan_block(block);
  ASSERT_EQ(sink.records.size(), 19u);
  EXPECT_EQ(sink.records.back().size(), 49u);
  EXPECT_EQ(sink.lengths.back(), 119);
}

TEST(ScanBlock, LastPossibleStartIsOffset2047WithATwoCharacterPrefix) {
  // Records reaching exactly to offset 2046, then "99" at 2047-2048.
  std::string block = record_of(999) + record_of(999) + record_of(48);  // up to offset 2046
  block += "99";
  ASSERT_EQ(block.size(), 2048u);
  const auto sink = scan_block(block);
  ASSERT_EQ(sink.records.size(), 4u);
  EXPECT_EQ(sink.records[3], "99");
  EXPECT_EQ(sink.lengths[3], 99);

  // A prefix at offset 2048 is never read.
  block = record_of(999) + record_of(999) + record_of(49) + "9";
  ASSERT_EQ(block.size(), 2048u);
  EXPECT_EQ(scan_block(block).records.size(), 3u);
}

TEST(ScanBlock, PrefixesThatEndTheBlock) {
  const std::string prefixes[] = {"000", "   ", std::string(3, '\0'), "-50", ".50", "0.9"};
  for (const std::string& prefix : prefixes) {
    const auto sink = scan_block(block_of({record_of(119), prefix + "119XX", record_of(97)}, 'A'));
    EXPECT_EQ(sink.records.size(), 1u) << "prefix \"" << prefix << "\"";
  }
}

TEST(ScanBlock, FractionalAndOddPrefixesStepByTheirWholePart) {
  // "3.5": handed on as length 3.5, three characters long, the next record right after it.
  auto sink = scan_block(block_of({"3.5", record_of(97)}));
  EXPECT_EQ(sink.records, (std::vector<std::string>{"3.5", record_of(97)}));
  EXPECT_EQ(sink.lengths, (std::vector<double>{3.5, 97}));
  // " 97" with a blank reads as 97; "1E2" as 100.
  sink = scan_block(block_of({" 97" + record_of(97).substr(3), "1E2" + record_of(100).substr(3)}));
  EXPECT_EQ(sink.lengths, (std::vector<double>{97, 100}));
  // A huge value takes the rest of the block.
  sink = scan_block(block_of({"9E9"}, 'Z'));
  ASSERT_EQ(sink.records.size(), 1u);
  EXPECT_EQ(sink.records[0].size(), 2048u);
}

// decode_block against scanning the block and decoding each record.
void expect_block_lines(const std::string& block) {
  ASSERT_EQ(block.size(), 2048u);
  std::string expected;
  std::int64_t expected_records = 0;
  DataFileScanner::for_each_record(block, [&](std::string_view record, double length) {
    expected += RecordDecoder::decode(record, length) + "\r\n";
    ++expected_records;
    return true;
  });
  std::string lines(kMaxBlockOutput, '\0');
  std::int64_t records = 5;
  lines.resize(decode_block(block, lines.data(), records));
  EXPECT_EQ(lines, expected) << block.substr(0, 40);
  EXPECT_EQ(records, 5 + expected_records);
}

TEST(DecodeBlock, GivesTheLinesOfScanningAndDecodingEachRecord) {
  const std::string near_end = record_of(999) + record_of(999) + record_of(48);  // to offset 2046
  const std::string blocks[] = {
      block_of({record_of(119), record_of(113), record_of(97), record_of(109), record_of(100)}),
      block_of(std::vector<std::string>(19, record_of(119))),  // the last one cut at the end
      near_end + "99",
      near_end + "1 ",
      record_of(999) + record_of(999) + record_of(49) + "9",
      block_of({record_of(119), "000119"}),
      block_of({record_of(119), " 97" + record_of(97).substr(3), "3.5", "-50"}),
      block_of({"1E2" + record_of(100).substr(3), record_of(105)}, ' '),
      block_of({"9E9"}, 'Z'),
      std::string(2048, '9'),
      std::string(2048, '\0'),
  };
  for (const std::string& block : blocks) expect_block_lines(block);
}

// Records of every known length whose fields are filled from a small alphabet, so that spaces at
// either end, inner spaces, a trailing "F", leading zeros and non-digits in the elapsed time and
// counter all occur, with records cut by the block end among them.
TEST(DecodeBlock, VariedFields) {
  constexpr int kLengths[] = {97, 105, 108, 109, 112, 113, 116, 119, 100, 96, 120};
  constexpr std::string_view kAlphabet = "0000000 9F F1 5\t.E-";
  std::uint64_t seed = 7;
  const auto next = [&seed] {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::size_t>(seed >> 33);
  };
  for (int b = 0; b < 400; ++b) {
    std::string block;
    while (block.size() < 2048) {
      const int length = kLengths[next() % std::size(kLengths)];
      std::string record = std::to_string(1000 + length).substr(1);  // three digits
      while (record.size() < static_cast<std::size_t>(length)) {
        // Mostly digits, zeros most of all, so that whole-digit fields with leading zeros are
        // common too.
        const std::size_t pick = next() % 8;
        record += pick < 2   ? kAlphabet[next() % kAlphabet.size()]
                  : pick < 5 ? '0'
                             : static_cast<char>('0' + next() % 10);
      }
      block += record;
    }
    block.resize(2048);
    expect_block_lines(block);
  }
}

// --- Whole files through the reader ---

std::string temp_file(const std::string& bytes) {
  return test::write_temp_file("data.axe", bytes);
}

struct FileScan {
  bool accepted;
  ScanResult result;
  RecordingSink sink;
};

FileScan scan_file(const std::string& bytes, std::size_t stop_at = SIZE_MAX) {
  DataFileReader reader;
  EXPECT_TRUE(reader.open(temp_file(bytes)).ok());
  FileScan out{DataFileScanner::is_data_file(reader), ScanResult::kCompleted, {}};
  out.sink.stop_at = stop_at;
  out.result = DataFileScanner::scan(reader, out.sink).end;
  return out;
}

TEST(IsDataFile, ProbeBoundsAndShortFiles) {
  struct Case {
    std::string block3_prefix;
    bool accepted;
  } cases[] = {{"080", true}, {"150", true}, {"079", false}, {"151", false},
               {" 97", true}, {"1E2", true}, {"000", false}, {"&H5", false}};
  for (const auto& c : cases) {
    std::string bytes = test::data_file_bytes(7);
    bytes.replace(2 * 2048, 3, c.block3_prefix);
    DataFileReader reader;
    ASSERT_TRUE(reader.open(temp_file(bytes)).ok());
    EXPECT_EQ(DataFileScanner::is_data_file(reader), c.accepted) << c.block3_prefix;
  }
  // Five blocks: the sixth probe reads zero bytes.
  EXPECT_FALSE(scan_file(test::data_file_bytes(5)).accepted);
  EXPECT_FALSE(scan_file(test::data_file_bytes(6, 10240)).accepted);
  EXPECT_TRUE(scan_file(test::data_file_bytes(6, 10243)).accepted);
  EXPECT_FALSE(scan_file("").accepted);
}

// One verdict for what opening and testing gave, with the reason beside it where there is one.
TEST(FileReport, OneVerdictWithItsReason) {
  const std::string data = test::data_file_bytes(8);
  const std::string gz = test::gzip(data);
  const std::string folder =
      std::filesystem::path(test::write_temp_file("report-x", "")).parent_path().string();
  const struct {
    const char* what;
    std::string path;
    FileVerdict verdict;
    std::string reason;  // the failure's message; empty: no failure
    bool offset_told;
  } cases[] = {
      {"missing", folder + "/no-such.dat", FileVerdict::kNotOpened, "No such file or directory",
       false},
      {"folder", folder, FileVerdict::kNotOpened, "Is a directory", false},
      {"text", test::write_temp_file("report-t", std::string(20000, 'x')),
       FileVerdict::kNotDataFile, "", false},
      {"data", test::write_temp_file("report-d", data), FileVerdict::kDataFile, "", false},
      {"gzip", test::write_temp_file("report-g", gz), FileVerdict::kDataFile, "", false},
      {"cut gzip", test::write_temp_file("report-c", gz.substr(0, gz.size() / 3)),
       FileVerdict::kUnreadable, "the compressed data is damaged (cut short)", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DataFileReader reader;
    const Status opened = reader.open(c.path);
    FileReport report = FileReport::of_open(reader, opened);
    if (opened.ok()) {
      EXPECT_EQ(report.verdict, FileVerdict::kNotTested);
      report.run_test(reader);
    }
    EXPECT_EQ(report.verdict, c.verdict);
    EXPECT_EQ(report.failure ? report.failure.code.message() : "", c.reason);
    EXPECT_EQ(report.offset_told, c.offset_told);
  }
}

TEST(Scan, ExactMultipleOfTheBlockSizeGetsOneMoreEmptyRead) {
  const auto s = scan_file(test::data_file_bytes(6));
  EXPECT_EQ(s.result, ScanResult::kCompleted);
  EXPECT_EQ(s.sink.block_ends,
            (std::vector<std::uint64_t>{2049, 4097, 6145, 8193, 10241, 12289, 14337}));
  EXPECT_EQ(s.sink.records.size(), 6u * 16u);
}

TEST(Scan, ShortLastBlockReadsAsZeroBytesAndEndsTheScan) {
  const auto s = scan_file(test::data_file_bytes(6, 11000));
  EXPECT_EQ(s.sink.block_ends, (std::vector<std::uint64_t>{2049, 4097, 6145, 8193, 10241, 12289}));
  // 760 bytes of block 6: four 119-records (476), two 113-records (702), and a third 113-record
  // whose missing bytes read as zero bytes; the next prefix is zero bytes.
  EXPECT_EQ(s.sink.records.size(), 5u * 16u + 7u);
  const std::string& cut = s.sink.records.back();
  ASSERT_EQ(cut.size(), 113u);
  EXPECT_EQ(cut.substr(58), std::string(113 - 58, '\0'));
}

TEST(Scan, BlockStartingWith000IsEmptyAndScanningGoesOn) {
  std::string bytes = test::data_file_bytes(8);
  bytes.replace(6 * 2048, 3, "000");
  const auto s = scan_file(bytes);
  EXPECT_EQ(s.sink.records.size(), 7u * 16u);
  EXPECT_EQ(s.sink.block_ends.size(), 9u);
}

TEST(Scan, StopEndsAtOnceWithoutABlockEnd) {
  // Stop at the first record of block 3.
  const auto s = scan_file(test::data_file_bytes(8), 2 * 16);
  EXPECT_EQ(s.result, ScanResult::kStopped);
  EXPECT_EQ(s.sink.records.size(), 2u * 16u + 1u);
  EXPECT_EQ(s.sink.block_ends, (std::vector<std::uint64_t>{2049, 4097}));
}

}  // namespace
}  // namespace vemo
