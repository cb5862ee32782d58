#include "core/compressor.h"

#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <limits>
#include <new>

namespace vemo {

Compressor::Compressor() : out_(std::make_unique_for_overwrite<char[]>(kOutputBytes)) {}

Compressor::~Compressor() = default;

namespace {

// One gzip member through zlib's deflate.
class GzipCompressor final : public Compressor {
 public:
  explicit GzipCompressor(int level) {
    // 16 + 15: a gzip wrapper around a 32 KiB window; memory level 8 is zlib's default.
    if (deflateInit2(&z_, level, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw std::bad_alloc();
    }
    set_header();
  }
  ~GzipCompressor() override { deflateEnd(&z_); }

  void restart() override {
    // The level and the wrapper stay; the header is given again for the new member.
    deflateReset(&z_);
    set_header();
  }

  bool compress(std::string_view in, bool finish, const Emit& emit) override {
    constexpr std::size_t kMaxStep = std::numeric_limits<uInt>::max();
    for (;;) {
      const std::size_t step = std::min(in.size(), kMaxStep);
      z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
      z_.avail_in = static_cast<uInt>(step);
      const bool last_step = step == in.size();
      const int flush = finish && last_step ? Z_FINISH : Z_NO_FLUSH;
      int r;
      do {
        z_.next_out = reinterpret_cast<Bytef*>(out_.get());
        z_.avail_out = static_cast<uInt>(kOutputBytes);
        r = deflate(&z_, flush);
        const std::size_t n = kOutputBytes - z_.avail_out;
        if (n > 0 && !emit({out_.get(), n})) return false;
      } while (z_.avail_out == 0 || (flush == Z_FINISH && r != Z_STREAM_END));
      in.remove_prefix(step);
      if (last_step) return true;
    }
  }

 private:
  // No name, no time, and the system "unknown" rather than the one zlib was built for, so that
  // every system writes the same bytes.
  void set_header() {
    header_ = {};
    header_.os = 255;
    deflateSetHeader(&z_, &header_);
  }

  z_stream z_{};
  gz_header header_{};
};

// One zstd frame.
class ZstdCompressor final : public Compressor {
 public:
  explicit ZstdCompressor(int level) : z_(ZSTD_createCCtx()) {
    if (z_ == nullptr) throw std::bad_alloc();
    ZSTD_CCtx_setParameter(z_, ZSTD_c_compressionLevel, level);
    ZSTD_CCtx_setParameter(z_, ZSTD_c_checksumFlag, 1);
  }
  ~ZstdCompressor() override { ZSTD_freeCCtx(z_); }

  // The parameters stay.
  void restart() override { ZSTD_CCtx_reset(z_, ZSTD_reset_session_only); }

  bool compress(std::string_view in, bool finish, const Emit& emit) override {
    ZSTD_inBuffer input{in.data(), in.size(), 0};
    const ZSTD_EndDirective mode = finish ? ZSTD_e_end : ZSTD_e_continue;
    for (;;) {
      ZSTD_outBuffer output{out_.get(), kOutputBytes, 0};
      const std::size_t left = ZSTD_compressStream2(z_, &output, &input, mode);
      // With the parameters checked before, only the library's memory can fail here.
      if (ZSTD_isError(left)) throw std::bad_alloc();
      if (output.pos > 0 && !emit({out_.get(), output.pos})) return false;
      const bool done = finish ? left == 0 : input.pos == input.size;
      if (done) return true;
    }
  }

 private:
  ZSTD_CCtx* z_;
};

}  // namespace

std::unique_ptr<Compressor> Compressor::create(Compression kind, std::optional<int> level) {
  std::unique_ptr<Compressor> made;
  switch (kind) {
    case Compression::kGzip:
      made = std::make_unique<GzipCompressor>(level.value_or(Z_DEFAULT_COMPRESSION));
      break;
    case Compression::kZstd:
      made = std::make_unique<ZstdCompressor>(level.value_or(ZSTD_CLEVEL_DEFAULT));
      break;
    case Compression::kNone:
      return nullptr;
  }
  made->kind_ = kind;
  made->level_ = level;
  return made;
}

int Compressor::min_level(Compression) {
  return 1;
}

int Compressor::max_level(Compression kind) {
  // zstd's levels above 19 need hundreds of MiB; its own tool asks for --ultra first.
  return kind == Compression::kZstd ? 19 : 9;
}

}  // namespace vemo
