#include "run/output_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "support/record_builder.h"

namespace vemo {
namespace {

TEST(OutputWriter, WritesEverythingAcrossBufferBoundaries) {
  const std::string path = test::temp_folder() + "/o.txt";
  std::string expected;
  {
    OutputWriter w;
    ASSERT_TRUE(w.open(path).ok());
    for (int i = 0; i < 40000; ++i) {
      const std::string line = "line " + std::to_string(i) + std::string(i % 97, 'x') + "\r\n";
      w.write(line);
      expected += line;
    }
    w.write(std::string(3 * OutputWriter::kBufferSize + 5, 'y'));
    expected += std::string(3 * OutputWriter::kBufferSize + 5, 'y');
    ASSERT_TRUE(w.close().ok());
  }
  EXPECT_EQ(test::read_file(path), expected);
}

TEST(OutputWriter, SpansAroundTheDirectWriteSizeKeepTheirOrder) {
  // Spans written straight to the system must come after what is still buffered.
  const std::size_t d = OutputWriter::kDirectWriteSize;
  const std::size_t sizes[] = {1, d - 1, d, 7, d + 1, d, 3, OutputWriter::kBufferSize - 2, 5};
  const std::string path = test::temp_folder() + "/o.txt";
  std::string expected;
  {
    OutputWriter w;
    ASSERT_TRUE(w.open(path).ok());
    char fill = 'a';
    for (const std::size_t n : sizes) {
      const std::string span(n, fill++);
      w.write(span);
      expected += span;
    }
    ASSERT_TRUE(w.close().ok());
  }
  EXPECT_EQ(test::read_file(path), expected);
}

TEST(OutputWriter, OpeningEmptiesAnExistingFile) {
  const std::string path = test::write_temp_file("old.txt", "old contents");
  OutputWriter w;
  ASSERT_TRUE(w.open(path).ok());
  ASSERT_TRUE(w.close().ok());
  EXPECT_EQ(test::read_file(path), "");
}

}  // namespace
}  // namespace vemo
