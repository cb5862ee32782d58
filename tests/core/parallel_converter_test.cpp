#include "core/parallel_converter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/data_file_reader.h"
#include "core/data_file_scanner.h"
#include "core/record_decoder.h"
#include "support/record_builder.h"

namespace vemo {
namespace {

// The lines and block ends of a block-by-block scan.
struct SequentialSink : RecordSink {
  std::string lines;
  std::int64_t records = 0;
  std::uint64_t last_block_end = 0;
  bool on_record(std::string_view record, double length) override {
    lines += RecordDecoder::decode(record, length);
    lines += "\r\n";
    ++records;
    return true;
  }
  void on_block_done(std::uint64_t next) override { last_block_end = next; }
};

struct CollectingSink : ChunkSink {
  std::string lines;
  std::int64_t records = 0;
  std::uint64_t last_block_end = 0;
  int chunks = 0;
  int stop_after = -1;
  bool on_chunk(std::string_view l, std::int64_t r, std::uint64_t next) override {
    EXPECT_GT(next, last_block_end);
    lines += l;
    records += r;
    last_block_end = next;
    return ++chunks != stop_after;
  }
};

// Bytes that exercise the framing: valid probes, then a mix of records, blank and odd prefixes,
// cut records and random filler.
std::string mixed_file(std::mt19937& rng, std::size_t size) {
  std::string bytes = test::data_file_bytes(static_cast<int>(size / 2048 + 1));
  const char* odd[] = {"000", "   ", " 97", "1E2", "-50", "2.5", "119", "113", "109", "097", "116"};
  for (std::size_t b = 6; b * 2048 < bytes.size(); ++b) {
    switch (rng() % 4) {
      case 0:  // random bytes after a valid prefix
        for (std::size_t i = b * 2048 + 3; i < (b + 1) * 2048; ++i)
          bytes[i] = static_cast<char>(rng());
        break;
      case 1:  // an odd prefix somewhere in the block
        bytes.replace(b * 2048 + rng() % 2048, 3, odd[rng() % std::size(odd)]);
        break;
      case 2:  // an empty block
        bytes.replace(b * 2048, 3, "000");
        break;
      default:
        break;
    }
  }
  bytes.resize(size);
  return bytes;
}

TEST(ParallelConverter, SameLinesAsTheSequentialScan) {
  std::mt19937 rng(42);
  // Sizes around block and chunk borders, including exact multiples of the block size.
  const std::size_t sizes[] = {12288,        12289,     14335,           2048 * 7,     2048 * 8 - 1,
                               2048 * 8 + 1, 2048 * 24, 2048 * 24 + 700, 2048 * 61 + 5};
  // Kept from each conversion for the next, whatever its jobs and chunk size.
  ConversionBuffers kept;
  for (const std::size_t size : sizes) {
    const std::string path = test::write_temp_file("m.dat", mixed_file(rng, size));
    DataFileReader reader;
    ASSERT_TRUE(reader.open(path).ok());
    SequentialSink expected;
    ASSERT_EQ(DataFileScanner::scan(reader, expected).end, ScanResult::kCompleted);
    for (const unsigned jobs : {1u, 2u, 3u, 8u}) {
      for (const std::size_t blocks : {1u, 2u, 7u, 512u}) {
        CollectingSink got;
        EXPECT_EQ(ParallelConverter(reader, jobs, blocks).convert(got).end, ScanResult::kCompleted);
        EXPECT_EQ(got.lines, expected.lines) << size << " bytes, jobs " << jobs << ", " << blocks;
        EXPECT_EQ(got.records, expected.records);
        EXPECT_EQ(got.last_block_end, expected.last_block_end) << size;
        ParallelConverter sharing(reader, jobs, blocks);
        sharing.set_buffers(&kept);
        CollectingSink again;
        EXPECT_EQ(sharing.convert(again).end, ScanResult::kCompleted);
        EXPECT_EQ(again.lines, expected.lines) << size << " bytes, jobs " << jobs << ", " << blocks;
      }
    }
  }
}

TEST(ParallelConverter, OutputLargerThanASlotIsHandedOnInPieces) {
  // 3-character records only: every chunk gives about five times its size in skip lines, more
  // than a slot holds.
  std::string block = test::record_of(100, ' ');
  while (block.size() + 3 <= 2048) block += "003";
  block.resize(2048, '0');
  std::string bytes;
  for (int b = 0; b < 1100; ++b) bytes += block;
  const std::string path = test::write_temp_file("k.dat", bytes);
  DataFileReader reader;
  ASSERT_TRUE(reader.open(path).ok());
  SequentialSink expected;
  DataFileScanner::scan(reader, expected);
  ASSERT_GT(expected.lines.size(), 2 * ParallelConverter::kSlotBytes);
  for (const unsigned jobs : {1u, 3u}) {
    CollectingSink got;
    EXPECT_EQ(ParallelConverter(reader, jobs).convert(got).end, ScanResult::kCompleted);
    EXPECT_TRUE(got.lines == expected.lines) << "jobs " << jobs;
    EXPECT_GT(got.chunks, 3);
    EXPECT_EQ(got.records, expected.records);
    EXPECT_EQ(got.last_block_end, expected.last_block_end);
  }
}

TEST(ParallelConverter, ManyTinyChunksOnManyThreadsNeverStall) {
  // One block per chunk and more workers than slots can serve at once: workers run ahead of
  // the sink and must wait for their own turn.
  const std::string path =
      test::write_temp_file("t.dat", test::data_file_bytes(400, 400 * 2048 + 10));
  DataFileReader reader;
  ASSERT_TRUE(reader.open(path).ok());
  SequentialSink expected;
  DataFileScanner::scan(reader, expected);
  for (int round = 0; round < 20; ++round) {
    CollectingSink got;
    ASSERT_EQ(ParallelConverter(reader, 6, 1).convert(got).end, ScanResult::kCompleted);
    ASSERT_EQ(got.lines, expected.lines);
  }
}

TEST(ParallelConverter, StopEndsTheConversion) {
  const std::string path = test::write_temp_file("s.dat", test::data_file_bytes(100));
  DataFileReader reader;
  ASSERT_TRUE(reader.open(path).ok());
  CollectingSink got;
  got.stop_after = 3;
  EXPECT_EQ(ParallelConverter(reader, 4, 2).convert(got).end, ScanResult::kStopped);
  EXPECT_EQ(got.chunks, 3);
  EXPECT_EQ(got.last_block_end, 6u * 2048 + 1);
}

}  // namespace
}  // namespace vemo
