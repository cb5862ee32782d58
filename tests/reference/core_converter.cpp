#include "reference/core_converter.h"

#include <algorithm>
#include <memory>

#include "core/data_file_reader.h"
#include "core/parallel_converter.h"
#include "core/record_decoder.h"

namespace vemo {
namespace {

// Decodes into a buffer of exactly kMaxLineSize characters on the heap, so that a sanitizer
// build catches a line that overruns the room decode() promises to stay within.
class LineCollector : public RecordSink {
 public:
  explicit LineCollector(CoreConversion& result)
      : result_(result), line_(new char[RecordDecoder::kMaxLineSize]) {}

  bool on_record(std::string_view record, double length) override {
    const std::size_t n = RecordDecoder::decode(record, length, line_.get());
    result_.longest_line = std::max(result_.longest_line, n);
    result_.output.append(line_.get(), std::min(n, RecordDecoder::kMaxLineSize));
    result_.output += "\r\n";
    ++result_.records;
    return true;
  }
  void on_block_done(std::uint64_t next_block_position) override {
    result_.block_ends.push_back(next_block_position);
  }

 private:
  CoreConversion& result_;
  std::unique_ptr<char[]> line_;
};

class ChunkCollector : public ChunkSink {
 public:
  explicit ChunkCollector(CoreConversion& result) : result_(result) {}
  bool on_chunk(std::string_view lines, std::int64_t records,
                std::uint64_t next_block_position) override {
    result_.output += lines;
    result_.records += records;
    result_.block_ends.push_back(next_block_position);
    return true;
  }

 private:
  CoreConversion& result_;
};

}  // namespace

CoreConversion convert_in_parallel(DataFileReader& reader, const std::string& path, unsigned jobs,
                                   std::size_t blocks_per_chunk) {
  CoreConversion result;
  if (!reader.open(path).ok()) return result;
  result.opened = true;
  result.accepted = true;
  ChunkCollector sink(result);
  result.scan = ParallelConverter(reader, jobs, blocks_per_chunk).convert(sink).end;
  reader.close();
  return result;
}

CoreConversion convert_with_core(const std::string& path, bool probe_test) {
  DataFileReader reader;
  return convert_with_core(reader, path, probe_test);
}

CoreConversion convert_with_core(DataFileReader& reader, const std::string& path, bool probe_test) {
  CoreConversion result;
  if (!reader.open(path).ok()) return result;
  result.opened = true;
  result.accepted = !probe_test || DataFileScanner::is_data_file(reader);
  if (result.accepted) {
    LineCollector sink(result);
    result.scan = DataFileScanner::scan(reader, sink).end;
  }
  reader.close();
  return result;
}

}  // namespace vemo
