// The reader on what only POSIX systems have: pipes made with pipe(2), FIFOs and devices.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "core/data_file_reader.h"
#include "core/errors.h"
#include "support/record_builder.h"

namespace vemo {
namespace {

TEST(DataFileReader, AStreamReadsForwardAsTheFileWouldAndRefusesToGoBack) {
  const std::string bytes = test::pattern_bytes(3 * DataFileReader::kWindowSize + 1234);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  // Small, odd pieces, so that reads come back short.
  std::thread writer([&] {
    for (std::size_t at = 0; at < bytes.size(); at += 1000) {
      if (::write(fds[1], bytes.data() + at, std::min<std::size_t>(1000, bytes.size() - at)) < 0)
        break;
    }
    ::close(fds[1]);
  });
  DataFileReader reader;
  ASSERT_TRUE(reader.open_stream(fds[0]).ok());
  ::close(fds[0]);  // the reader holds its own descriptor
  const struct {
    std::uint64_t position;
    std::size_t n;
  } cases[] = {
      {1, 3},
      {2049, 3},
      {4097, 3},
      {6145, 3},
      {8193, 3},
      {10241, 3},
      {1, 2048},
      {DataFileReader::kWindowSize - 10, 2048},  // straddles the window end
      {2 * DataFileReader::kWindowSize + 7, 5},  // skips ahead
      {bytes.size() - 100, 2048},
      {bytes.size() + 2049, 2048},
  };
  for (const auto& c : cases) {
    const std::string expected = test::bytes_at(bytes, c.position, c.n);
    EXPECT_EQ(reader.view(c.position, c.n), expected) << "at " << c.position;
    EXPECT_EQ(reader.end_of_data(), c.position - 1 + c.n > bytes.size()) << "at " << c.position;
  }
  EXPECT_FALSE(reader.failure());
  writer.join();
  EXPECT_EQ(reader.view(1, 3), std::string(3, '\0'));
  EXPECT_TRUE(reader.failure());
  EXPECT_EQ(reader.failure().code, std::errc::invalid_seek);
}

TEST(DataFileReader, RefusesFifosAndDevices) {
  DataFileReader reader;
  const auto dir = std::filesystem::path(test::write_temp_file("x", "")).parent_path();
  // A FIFO with no writer must be refused without blocking.
  const std::string fifo = (dir / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const Status opened = reader.open(fifo);
  EXPECT_EQ(opened.error(), Error::kNotRegularFile);
  EXPECT_EQ(opened.error().message(), "not a regular file");

  EXPECT_FALSE(reader.open("/dev/zero").ok());
  EXPECT_FALSE(reader.is_open());
}

}  // namespace
}  // namespace vemo
