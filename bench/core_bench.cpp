// Micro-benchmarks of the decoding core: Val, one record through the decoder, one block through
// the scanner, and a whole file held in memory converted block by block. Each reports input bytes
// per second and records (or texts) per second.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench_data.h"
#include "core/block_decoder.h"
#include "core/data_file_scanner.h"
#include "core/record_decoder.h"
#include "core/val.h"

namespace {

namespace DataFileScanner = vemo::DataFileScanner;
using vemo::kBlockSize;
namespace RecordDecoder = vemo::RecordDecoder;
using vemo::bench::RecordKind;

// The run's output buffer is 1 MiB; lines are decoded into one of the same size.
constexpr std::size_t kOutputBufferSize = std::size_t{1} << 20;
constexpr std::size_t kWholeFileSize = std::size_t{64} << 20;
constexpr std::size_t kLineRoom = RecordDecoder::kMaxLineSize + 2;

// Decodes every record it is handed into a reused buffer, line end included, as the run does,
// starting over at the front of the buffer when it is full instead of writing it anywhere.
class DecodeSink final : public vemo::RecordSink {
 public:
  explicit DecodeSink(std::size_t capacity) : buffer_(capacity) {}

  bool on_record(std::string_view record, double length) override {
    if (buffer_.size() - used_ < kLineRoom) used_ = 0;
    char* line = buffer_.data() + used_;
    std::size_t n = RecordDecoder::decode(record, length, line);
    line[n++] = '\r';
    line[n++] = '\n';
    used_ += n;
    output_bytes_ += n;
    ++records_;
    return true;
  }
  void on_block_done(std::uint64_t) override {}

  char* data() { return buffer_.data(); }
  std::int64_t records() const { return records_; }
  std::int64_t output_bytes() const { return output_bytes_; }

 private:
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  std::int64_t records_ = 0;
  std::int64_t output_bytes_ = 0;
};

void report(benchmark::State& state, std::int64_t input_bytes, std::int64_t records,
            std::int64_t output_bytes) {
  state.SetBytesProcessed(input_bytes);
  state.SetItemsProcessed(records);
  state.counters["out_bytes_per_second"] = benchmark::Counter(
      static_cast<double>(output_bytes), benchmark::Counter::kIsRate, benchmark::Counter::kIs1024);
}

// ---------------------------------------------------------------------------------------------
// Val on the texts fields usually hold.

void BM_Val(benchmark::State& state, std::string_view text) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(text);
    double v = vemo::Val(text);
    benchmark::DoNotOptimize(v);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK_CAPTURE(BM_Val, digits_000042, std::string_view("000042"));
BENCHMARK_CAPTURE(BM_Val, space_97, std::string_view(" 97"));
BENCHMARK_CAPTURE(BM_Val, fraction_12_500, std::string_view("12.500"));
BENCHMARK_CAPTURE(BM_Val, negative_00012, std::string_view("-00012"));
BENCHMARK_CAPTURE(BM_Val, exponent_1E5, std::string_view("1E5   "));

// ---------------------------------------------------------------------------------------------
// One record decoded into a reused line buffer, for every record length and layout.

void BM_Decode(benchmark::State& state, RecordKind kind, int length) {
  const vemo::bench::SampleRecord sample = vemo::bench::find_record(kind, length);
  if (sample.length == 0) {
    state.SkipWithError("no such record in the generated data");
    return;
  }
  std::string_view record = sample.bytes;
  double record_length = sample.length;
  char line[RecordDecoder::kMaxLineSize];
  std::size_t output_bytes = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(record);
    benchmark::DoNotOptimize(record_length);
    const std::size_t n = RecordDecoder::decode(record, record_length, line);
    benchmark::DoNotOptimize(line);
    benchmark::ClobberMemory();
    output_bytes = n;
  }
  const auto iterations = static_cast<std::int64_t>(state.iterations());
  report(state, iterations * static_cast<std::int64_t>(record.size()), iterations,
         iterations * static_cast<std::int64_t>(output_bytes));
}
BENCHMARK_CAPTURE(BM_Decode, A_119, RecordKind::kWhole, 119);
BENCHMARK_CAPTURE(BM_Decode, B_113, RecordKind::kWhole, 113);
BENCHMARK_CAPTURE(BM_Decode, C_97, RecordKind::kWhole, 97);
BENCHMARK_CAPTURE(BM_Decode, C_105, RecordKind::kWhole, 105);
BENCHMARK_CAPTURE(BM_Decode, C_108, RecordKind::kWhole, 108);
BENCHMARK_CAPTURE(BM_Decode, C_112, RecordKind::kWhole, 112);
BENCHMARK_CAPTURE(BM_Decode, C_116, RecordKind::kWhole, 116);
BENCHMARK_CAPTURE(BM_Decode, D_109, RecordKind::kWhole, 109);
BENCHMARK_CAPTURE(BM_Decode, cut_at_block_end, RecordKind::kCut, 0);
BENCHMARK_CAPTURE(BM_Decode, skip_line, RecordKind::kSkip, 0);

// Every record of 4 MiB of realistic data, cut beforehand, decoded one after the other: the
// decoder alone on the real mix of lengths, without the scanner.
void BM_DecodeMix(benchmark::State& state) {
  const std::string& data = vemo::bench::realistic_file(std::size_t{4} << 20);
  class Collector final : public vemo::RecordSink {
   public:
    bool on_record(std::string_view record, double length) override {
      records.emplace_back(record, length);
      return true;
    }
    void on_block_done(std::uint64_t) override {}
    std::vector<std::pair<std::string_view, double>> records;
  } collector;
  for (std::size_t at = 0; at + kBlockSize <= data.size(); at += kBlockSize) {
    DataFileScanner::scan_block(std::string_view(data).substr(at, kBlockSize), collector);
  }
  std::int64_t record_bytes = 0;
  for (const auto& r : collector.records) record_bytes += static_cast<std::int64_t>(r.first.size());

  std::vector<char> out(kOutputBufferSize);
  std::int64_t output_bytes = 0;
  for (auto _ : state) {
    std::size_t used = 0;
    for (const auto& [record, length] : collector.records) {
      if (out.size() - used < kLineRoom) used = 0;
      char* line = out.data() + used;
      std::size_t n = RecordDecoder::decode(record, length, line);
      line[n++] = '\r';
      line[n++] = '\n';
      used += n;
      output_bytes += static_cast<std::int64_t>(n);
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  const auto iterations = static_cast<std::int64_t>(state.iterations());
  report(state, iterations * record_bytes,
         iterations * static_cast<std::int64_t>(collector.records.size()), output_bytes);
}
BENCHMARK(BM_DecodeMix)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------------------------
// scan_block with a sink that decodes every record into a buffer.

// The same block again and again: the first block after the six probe blocks.
void BM_ScanBlock(benchmark::State& state) {
  const std::string& data = vemo::bench::realistic_file(std::size_t{4} << 20);
  const std::string_view block = std::string_view(data).substr(6 * kBlockSize, kBlockSize);
  DecodeSink sink(kOutputBufferSize);
  for (auto _ : state) {
    const bool whole = DataFileScanner::scan_block(block, sink);
    benchmark::DoNotOptimize(whole);
  }
  benchmark::DoNotOptimize(sink.data());
  report(state, static_cast<std::int64_t>(state.iterations() * kBlockSize), sink.records(),
         sink.output_bytes());
}
BENCHMARK(BM_ScanBlock);

// One block per iteration, going round 1 MiB of blocks, so that the branch predictor meets the
// real variety of blocks (cut records, "000" ends, exact ends).
void BM_ScanBlockVaried(benchmark::State& state) {
  const std::string& data = vemo::bench::realistic_file(std::size_t{4} << 20);
  constexpr std::size_t kBlocks = (std::size_t{1} << 20) / kBlockSize;
  const std::string_view blocks = std::string_view(data).substr(0, kBlocks * kBlockSize);
  DecodeSink sink(kOutputBufferSize);
  std::size_t next = 0;
  for (auto _ : state) {
    const bool whole =
        DataFileScanner::scan_block(blocks.substr(next * kBlockSize, kBlockSize), sink);
    benchmark::DoNotOptimize(whole);
    if (++next == kBlocks) next = 0;
  }
  benchmark::DoNotOptimize(sink.data());
  report(state, static_cast<std::int64_t>(state.iterations() * kBlockSize), sink.records(),
         sink.output_bytes());
}
BENCHMARK(BM_ScanBlockVaried);

// decode_block on 1 MiB of realistic blocks, one block per iteration, each block's lines into the
// same buffer.
void BM_DecodeBlocks(benchmark::State& state) {
  const std::string& data = vemo::bench::realistic_file(std::size_t{4} << 20);
  constexpr std::size_t kBlocks = (std::size_t{1} << 20) / kBlockSize;
  const std::string_view blocks = std::string_view(data).substr(0, kBlocks * kBlockSize);
  std::vector<char> lines(vemo::kMaxBlockOutput);
  std::int64_t records = 0, output = 0;
  std::size_t next = 0;
  for (auto _ : state) {
    output += static_cast<std::int64_t>(
        vemo::decode_block(blocks.substr(next * kBlockSize, kBlockSize), lines.data(), records));
    benchmark::DoNotOptimize(lines.data());
    if (++next == kBlocks) next = 0;
  }
  report(state, static_cast<std::int64_t>(state.iterations() * kBlockSize), records, output);
}
BENCHMARK(BM_DecodeBlocks);

// ---------------------------------------------------------------------------------------------
// A whole 64 MiB file in memory: every block scanned and every record decoded into a reused
// 1 MiB output buffer. The core's share of a conversion, without reading or writing files.

void BM_ConvertInMemory(benchmark::State& state) {
  const std::string& data = vemo::bench::realistic_file(kWholeFileSize);
  const std::string_view file = data;
  DecodeSink sink(kOutputBufferSize);
  for (auto _ : state) {
    for (std::size_t at = 0; at + kBlockSize <= file.size(); at += kBlockSize) {
      DataFileScanner::scan_block(file.substr(at, kBlockSize), sink);
    }
    benchmark::DoNotOptimize(sink.data());
    benchmark::ClobberMemory();
  }
  report(state, static_cast<std::int64_t>(state.iterations() * file.size()), sink.records(),
         sink.output_bytes());
}
BENCHMARK(BM_ConvertInMemory)->Unit(benchmark::kMillisecond);

}  // namespace
