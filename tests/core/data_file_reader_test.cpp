#include "core/data_file_reader.h"
#include "core/errors.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "support/record_builder.h"

namespace vemo {
namespace {

TEST(DataFileReader, ReadsExactlyWhatTheFileHoldsThenZeroBytes) {
  // Large enough to cross the read-ahead window several times, not a multiple of anything.
  const std::string bytes = test::pattern_bytes(3 * DataFileReader::kWindowSize + 1234);
  DataFileReader reader;
  ASSERT_TRUE(reader.open(test::write_temp_file("p.bin", bytes)).ok());
  EXPECT_EQ(reader.length(), bytes.size());

  struct Case {
    std::uint64_t position;
    std::size_t n;
  } cases[] = {
      {1, 3},
      {2049, 2048},
      {DataFileReader::kWindowSize - 10, 2048},  // straddles the window end
      {DataFileReader::kWindowSize + 1, 5},
      {5, 3},  // backwards
      {bytes.size() - 100, 2048},
      {bytes.size() + 1, 2048},
      {bytes.size() + 5000, 3},
      {1, 3 * DataFileReader::kWindowSize},  // larger than a view: read() splits it
  };
  for (const auto& c : cases) {
    const std::string expected = test::bytes_at(bytes, c.position, c.n);
    std::string got(c.n, 'z');
    reader.read(c.position, c.n, got.data());
    EXPECT_EQ(got, expected) << "at " << c.position << " n " << c.n;
    EXPECT_EQ(reader.end_of_data(), c.position - 1 + c.n > bytes.size()) << "at " << c.position;
  }
  EXPECT_FALSE(reader.failure());
}

TEST(DataFileReader, ReadsToTheEndTheFileHasWhenItsLastWindowIsRead) {
  // Lengths at and around the window's multiples; the file grows, when it does, after the first
  // window was read, as a file still being written does.
  constexpr std::size_t kWindow = DataFileReader::kWindowSize;
  const struct {
    std::size_t length;
    std::size_t grows_by;
  } cases[] = {{2 * kWindow, 0}, {2 * kWindow, 5000}, {2 * kWindow + 1234, 5000}, {kWindow + 1, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.length) + " + " + std::to_string(c.grows_by));
    const std::string all = test::pattern_bytes(c.length + c.grows_by);
    const std::string path = test::write_temp_file("grows.bin", all.substr(0, c.length));
    DataFileReader reader;
    ASSERT_TRUE(reader.open(path).ok());
    EXPECT_EQ(reader.view(1, 3), all.substr(0, 3));
    std::ofstream(path, std::ios::binary | std::ios::app) << all.substr(c.length);

    std::string got(all.size() + 2048, 'z');
    reader.read(1, got.size(), got.data());
    EXPECT_TRUE(got == test::bytes_at(all, 1, got.size()));
    EXPECT_TRUE(reader.end_of_data());
    EXPECT_EQ(reader.view(all.size() - 1, 3), test::bytes_at(all, all.size() - 1, 3));
    EXPECT_TRUE(reader.end_of_data());
    EXPECT_EQ(reader.current_length(), all.size());
    EXPECT_EQ(reader.length(), c.length);
    EXPECT_FALSE(reader.failure());
  }
}

TEST(DataFileReader, EndOfDataFlagFollowsTheLastRead) {
  DataFileReader reader;
  ASSERT_TRUE(reader.open(test::write_temp_file("s.bin", "12345")).ok());
  reader.view(1, 5);
  EXPECT_FALSE(reader.end_of_data());
  EXPECT_EQ(reader.view(4, 3), std::string_view("45\0", 3));
  EXPECT_TRUE(reader.end_of_data());
  reader.view(1, 2);
  EXPECT_FALSE(reader.end_of_data());
}

TEST(DataFileReader, RefusesWhatIsNotARegularFile) {
  DataFileReader reader;
  EXPECT_EQ(reader.open("/nonexistent/vemo/file").error(), std::errc::no_such_file_or_directory);

  const auto dir = std::filesystem::path(test::write_temp_file("x", "")).parent_path();
  const Status folder = reader.open(dir.string());
  EXPECT_EQ(folder.error(), std::errc::is_a_directory);
  EXPECT_EQ(folder.error().message(), "Is a directory");
}

TEST(DataFileReader, ViewLargerThanItServesIsRefused) {
  DataFileReader reader;
  ASSERT_TRUE(reader.open(test::write_temp_file("v.bin", "12345")).ok());
  EXPECT_EQ(reader.view(1, DataFileReader::kMaxView).size(), DataFileReader::kMaxView);
  // Larger views, on an open file or not, would be zero-filled past the end of the buffer.
  EXPECT_THROW(reader.view(1, DataFileReader::kMaxView + 1), std::length_error);
  EXPECT_THROW(reader.view(1, 2 * DataFileReader::kWindowSize), std::length_error);
  reader.close();
  EXPECT_THROW(reader.view(1, 2 * DataFileReader::kWindowSize), std::length_error);
}

TEST(DataFileReader, PositionsBeyondFourGigabytes) {
  // A sparse file: a marker just past 4 GiB and at its end.
  const std::string path = test::write_temp_file("big.bin", "");
  const std::uint64_t marker = (std::uint64_t{1} << 32) + 4096;
  {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(marker));
    f.write("MARK", 4);
    ASSERT_TRUE(f.good());
  }
  DataFileReader reader;
  ASSERT_TRUE(reader.open(path).ok());
  EXPECT_EQ(reader.length(), marker + 4);
  EXPECT_EQ(reader.view(marker + 1, 4), "MARK");
  EXPECT_FALSE(reader.end_of_data());
  EXPECT_EQ(reader.view(marker + 3, 4), std::string_view("RK\0\0", 4));
  EXPECT_TRUE(reader.end_of_data());
  EXPECT_EQ(reader.view(1, 4), std::string_view("\0\0\0\0", 4));
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace vemo
