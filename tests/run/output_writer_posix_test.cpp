// The writer on what only POSIX systems have: FIFOs and a device that is always full.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "run/output_writer.h"
#include "support/record_builder.h"

namespace vemo {
namespace {

TEST(OutputWriter, FifoWithoutReaderIsRefusedNotWaitedFor) {
  const std::string fifo = test::temp_folder() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  OutputWriter w;
  EXPECT_FALSE(w.open(fifo).ok());
  EXPECT_TRUE(w.status().error());
}

TEST(OutputWriter, ASlowFifoReaderIsWaitedForInSlicesAndGetsEverything) {
  // The writer must not sit in one blocking write while the reader dawdles: its caller is told
  // every slice, so that a window can keep answering its desktop.
  const std::string fifo = test::temp_folder() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] {
    const int fd = ::open(fifo.c_str(), O_RDONLY);
    char chunk[16384];
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) {
      received.append(chunk, static_cast<std::size_t>(n));
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::close(fd);
  });
  OutputWriter w;
  while (!w.open(fifo).ok()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  int waits = 0;
  w.set_wait_handler([&] { ++waits; });
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    const std::string line = "line " + std::to_string(i) + "\r\n";
    std::memcpy(w.reserve(line.size()), line.data(), line.size());
    w.commit(line.size());
    expected += line;
    if (i % 1000 == 0) {
      // A span larger than what a pipe is handed at a time, as a parallel chunk can be.
      const std::string span(3 * OutputWriter::kPipeFlushSize / 2, static_cast<char>('a' + i % 7));
      w.write(span);
      expected += span;
    }
  }
  EXPECT_TRUE(w.close().ok());
  reader.join();
  EXPECT_EQ(received, expected);
  EXPECT_GT(waits, 0);
}

TEST(OutputWriter, DiskFullIsAFailureThatSticks) {
  OutputWriter w;
  ASSERT_TRUE(w.open("/dev/full").ok());
  w.write("abc");
  EXPECT_FALSE(w.flush().ok());
  EXPECT_EQ(w.status().error(), std::errc::no_space_on_device);
  EXPECT_EQ(w.status().error().message(), "No space left on device");
  w.write("more");
  EXPECT_FALSE(w.close().ok());
  EXPECT_FALSE(w.status().ok());
}

}  // namespace
}  // namespace vemo
