// Arbitrary bytes as a whole data file through the reader, the probe test, the scanner and the
// decoder, against the reference converter: the same verdict, the same output byte for byte,
// and, with the probe test left out so that any bytes reach the scanner, the same lines and one
// block end per 2048 bytes plus one. The same lines again through the parallel converter, and
// through the converter of many files, the input among a missing file and itself again.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/decompressor.h"
#include "core/many_files_converter.h"
#include "reference/core_converter.h"
#include "reference/reference_converter.h"

namespace {

// The input lives in a memory file, reopened by path as a run would open a data file.
class MemoryFile {
 public:
  MemoryFile() : fd_(::memfd_create("fuzz_file", 0)) {
    if (fd_ < 0) {
      std::perror("memfd_create");
      std::abort();
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  const std::string& write(const std::uint8_t* data, std::size_t size) {
    if (::ftruncate(fd_, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      if (n <= 0) std::abort();
      done += static_cast<std::size_t>(n);
    }
    return path_;
  }

 private:
  int fd_;
  std::string path_;
};

[[noreturn]] void fail(const char* what, const std::string& expected, const std::string& actual) {
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  std::fprintf(stderr, "fuzz_file: %s (first difference at output byte %zu of %zu / %zu)\n", what,
               at, expected.size(), actual.size());
  std::abort();
}

std::string with_line_ends(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}

// Collects what a converter hands on.
class Collector final : public vemo::ChunkSink {
 public:
  std::string lines;
  std::int64_t records = 0;
  bool on_chunk(std::string_view chunk, std::int64_t n, std::uint64_t) override {
    lines += chunk;
    records += n;
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Bytes that start like gzip or zstd are read decompressed: fuzz_compressed's inputs.
  const std::string_view head(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 4));
  if (vemo::compression_of(head) != vemo::Compression::kNone) return 0;
  static MemoryFile file;
  static vemo::DataFileReader reader;  // one read buffer for all inputs
  const std::string& path = file.write(data, size);
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  // What a file passing the probe test gives; one that fails gives nothing.
  const std::string all_expected = with_line_ends(vemo::reference_scan_lines(bytes));

  const vemo::CoreConversion core = vemo::convert_with_core(reader, path);
  if (!core.opened) fail("could not open the input", "", "");
  const bool accepted = vemo::reference_is_data_file(bytes);
  if (core.accepted != accepted) {
    fail(accepted ? "rejected, reference accepts" : "accepted, reference rejects", "", "");
  }
  const std::string expected = accepted ? all_expected : std::string();
  if (core.output != expected) fail("output differs", expected, core.output);
  if (core.scan != vemo::ScanResult::kCompleted) fail("scan did not complete", "", "");

  const vemo::CoreConversion all = vemo::convert_with_core(reader, path, /*probe_test=*/false);
  if (all.output != all_expected) fail("unchecked scan differs", all_expected, all.output);
  const std::size_t blocks = size / 2048 + 1;
  if (all.block_ends.size() != blocks) fail("wrong number of block ends", "", "");
  for (std::size_t b = 0; b < blocks; ++b) {
    if (all.block_ends[b] != (b + 1) * 2048 + 1) fail("wrong block end position", "", "");
  }

  // The parallel path that runs with jobs take for large files, with chunks of one to three
  // blocks so that small inputs cross chunk borders too.
  const std::size_t blocks_per_chunk = 1 + size % 3;
  const vemo::CoreConversion parallel =
      vemo::convert_in_parallel(reader, path, 2, blocks_per_chunk);
  if (parallel.output != all_expected)
    fail("parallel conversion differs", all_expected, parallel.output);
  if (parallel.records != all.records) fail("parallel conversion counts differ", "", "");
  if (parallel.scan != vemo::ScanResult::kCompleted)
    fail("parallel conversion did not complete", "", "");
  if (parallel.block_ends.empty() || parallel.block_ends.back() != blocks * 2048 + 1) {
    fail("parallel conversion ends at the wrong block", "", "");
  }

  // Several files in flight at once: each one's verdict and lines as on its own.
  vemo::ManyFilesConverter many({path, "/nonexistent/fuzz_file", path}, 2, UINT64_MAX);
  if (!many.start()) fail("no worker for many files", "", "");
  for (int i = 0; i < 3; ++i) {
    const vemo::FileReport& report = many.next();
    const bool opened = report.verdict != vemo::FileVerdict::kNotOpened;
    const bool passed = report.verdict == vemo::FileVerdict::kDataFile;
    if (opened != (i != 1)) fail("many files: wrong open verdict", "", "");
    if (opened && passed != accepted) fail("many files: wrong verdict", "", "");
    if (passed) {
      Collector collector;
      if (many.convert(collector).end != vemo::ScanResult::kCompleted)
        fail("many files: conversion did not complete", "", "");
      if (collector.lines != expected) fail("many files differ", expected, collector.lines);
      if (collector.records != all.records) fail("many files: counts differ", "", "");
      if (many.length_after() != size) fail("many files: wrong length after", "", "");
    }
    many.release();
  }
  return 0;
}
