#include "run/output_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "core/compressor.h"

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

TEST(OutputWriter, OutputsSharingBufferAndCompressorGiveTheBytesOfWritersOfTheirOwn) {
  // Outputs written in turn through one buffer and one spare compressor, the first abandoned
  // part way (its stream left unfinished), then one at another level: each kept output holds the
  // bytes a writer of its own gives it.
  struct Case {
    Compression kind;
    std::optional<int> level, other_level;
  };
  const Case cases[] = {
      {Compression::kNone, {}, {}}, {Compression::kGzip, {}, 1}, {Compression::kZstd, {}, 5}};
  std::string text;
  for (int i = 0; text.size() < 3 * OutputWriter::kBufferSize; ++i) {
    text += "line " + std::to_string(i * 7919 % 100003) + std::string(i % 13, 'x') + "\n";
  }
  const std::string folder = test::temp_folder();
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    const auto own = [&](std::optional<int> level, std::string_view part) {
      OutputWriter w;
      w.set_compression(c.kind, level);
      EXPECT_TRUE(w.open(folder + "/own").ok());
      w.write(part);
      EXPECT_TRUE(w.close().ok());
      return test::read_file(folder + "/own");
    };
    auto buffer = std::make_unique<char[]>(OutputWriter::kBufferSize);
    std::unique_ptr<Compressor> spare;
    const auto shared = [&](std::optional<int> level, std::string_view part, bool keep) {
      OutputWriter w(buffer.get());
      w.set_spare_compressor(&spare);
      w.set_compression(c.kind, level);
      EXPECT_TRUE(w.open(folder + "/shared", OutputWriter::Mode::kReplaceWhenDone).ok());
      w.write(part);
      if (!keep) {
        w.abandon();
        return std::string();
      }
      EXPECT_TRUE(w.close().ok());
      return test::read_file(folder + "/shared");
    };
    const std::string_view all(text), half = all.substr(0, all.size() / 2);
    shared(c.level, all, /*keep=*/false);
    EXPECT_EQ(shared(c.level, half, true), own(c.level, half));
    EXPECT_EQ(shared(c.level, all, true), own(c.level, all));
    EXPECT_EQ(shared(c.other_level, half, true), own(c.other_level, half));
  }
}

}  // namespace
}  // namespace vemo
