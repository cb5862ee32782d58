// Arbitrary bytes as a compressed stream (those that start like gzip or zstd) through the
// decompressor: it must end, with the same verdict and bytes that agree however the input comes
// in and the output is taken, and every damaged stream must say so rather than end early.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/decompressor.h"

namespace {

class MemorySource final : public vemo::ByteSource {
 public:
  MemorySource(std::string_view bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
  vemo::Result<std::size_t> read(char* out, std::size_t n) override {
    const std::size_t k = std::min({n, piece_, bytes_.size() - at_});
    std::copy_n(bytes_.data() + at_, k, out);
    at_ += k;
    return k;
  }

 private:
  std::string_view bytes_;
  std::size_t piece_;
  std::size_t at_ = 0;
};

// Decompressed bytes beyond this are not compared: a small input may expand a thousandfold.
constexpr std::size_t kMaxOutput = 16 << 20;

struct Result {
  std::string bytes;
  std::error_code error;
};

Result decompress(std::string_view input, vemo::Compression kind, std::size_t in_piece,
                  std::size_t out_piece) {
  MemorySource source(input, in_piece);
  const auto d = vemo::Decompressor::create(kind, source);
  Result r;
  std::string buffer(out_piece, '\0');
  while (r.bytes.size() < kMaxOutput) {
    const vemo::Result<std::size_t> n = d->read(buffer.data(), buffer.size());
    r.error = n.error();
    if (!n.ok()) break;
    if (*n == 0) {
      // The end is final: asked again, it stays the end.
      const vemo::Result<std::size_t> again = d->read(buffer.data(), buffer.size());
      if (!again.ok() || *again != 0) std::abort();
      break;
    }
    r.bytes.append(buffer.data(), *n);
  }
  if (r.bytes.size() > kMaxOutput) r.bytes.resize(kMaxOutput);
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const vemo::Compression kind = vemo::compression_of(input.substr(0, vemo::kMagicBytes));
  if (kind == vemo::Compression::kNone) return 0;
  const Result whole = decompress(input, kind, vemo::Decompressor::kInputBytes, 1 << 16);
  const Result pieces = decompress(input, kind, 1 + size % 13, 1 + size % 4093);
  const std::size_t common = std::min(whole.bytes.size(), pieces.bytes.size());
  if (whole.bytes.substr(0, common) != pieces.bytes.substr(0, common)) {
    std::fprintf(stderr, "fuzz_compressed: the bytes depend on how they are read\n");
    std::abort();
  }
  // The input comes in whole buffers whatever the source's pieces; the output may be taken in
  // other pieces, after which damage can be found a little later or sooner (and named by another
  // of its symptoms), but never missed.
  if (whole.bytes.size() < kMaxOutput && pieces.bytes.size() < kMaxOutput &&
      (static_cast<bool>(whole.error) != static_cast<bool>(pieces.error) ||
       (!whole.error && whole.bytes.size() != pieces.bytes.size()))) {
    std::fprintf(stderr,
                 "fuzz_compressed: the verdict depends on how the bytes are read (%s / %s)\n",
                 whole.error.message().c_str(), pieces.error.message().c_str());
    std::abort();
  }
  return 0;
}
