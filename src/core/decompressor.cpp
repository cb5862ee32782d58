#include "core/decompressor.h"

#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "core/errors.h"

namespace vemo {

Compression compression_of(std::string_view b) noexcept {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(b[i]); };
  if (b.size() >= 2 && at(0) == 0x1f && at(1) == 0x8b) return Compression::kGzip;
  if (b.size() < 4) return Compression::kNone;
  if (at(0) == 0x28 && at(1) == 0xb5 && at(2) == 0x2f && at(3) == 0xfd) return Compression::kZstd;
  if ((at(0) & 0xf0) == 0x50 && at(1) == 0x2a && at(2) == 0x4d && at(3) == 0x18) {
    return Compression::kZstd;
  }
  return Compression::kNone;
}

Decompressor::Decompressor(ByteSource& source)
    : source_(source), in_(std::make_unique_for_overwrite<char[]>(kInputBytes)) {}

Decompressor::~Decompressor() = default;

void Decompressor::put_back(const char* p, std::size_t n) {
  n = std::min(n, kInputBytes - in_size_);
  if (n == 0) return;  // p may be null then
  std::memcpy(in_.get() + in_size_, p, n);
  in_size_ += n;
  source_bytes_ += n;
}

Status Decompressor::fill() {
  // The buffer is filled whole (short only at the end), however the source hands its bytes out,
  // so that a pipe gives the library the same pieces as the file: damage is then found after the
  // same bytes every time.
  in_pos_ = 0;
  in_size_ = 0;
  while (in_size_ < kInputBytes) {
    const Result<std::size_t> r = source_.read(in_.get() + in_size_, kInputBytes - in_size_);
    if (!r.ok()) return r.status();
    if (*r == 0) break;
    in_size_ += *r;
  }
  source_bytes_ += in_size_;
  source_end_ = in_size_ < kInputBytes;
  return {};
}

Result<std::size_t> Decompressor::read(char* out, std::size_t n) {
  if (failed_) return failed_;
  if (n == 0) return std::size_t{0};
  for (;;) {
    if (input_size() == 0 && !source_end_) {
      if (const Status filled = fill(); !filled.ok()) {
        failed_ = filled.error();
        return failed_;
      }
    }
    const bool last = input_size() == 0 && source_end_;
    std::error_code error;
    const std::size_t written = step(out, n, last, error);
    if (error) {
      // The bytes before the damage first; the error at the next call.
      failed_ = error;
      if (written > 0) return written;
      return failed_;
    }
    if (written > 0 || last) return written;
  }
}

namespace {

constexpr std::size_t kMaxStep = std::numeric_limits<unsigned>::max();

// gzip through zlib's inflate, one member after another.
class GzipDecompressor final : public Decompressor {
 public:
  explicit GzipDecompressor(ByteSource& source) : Decompressor(source) {
    // 16 + 15: a gzip wrapper (header, CRC-32 and length checked) around a 32 KiB window.
    const int r = inflateInit2(&z_, 16 + MAX_WBITS);
    if (r != Z_OK) throw std::bad_alloc();
  }
  ~GzipDecompressor() override { inflateEnd(&z_); }

 private:
  std::size_t step(char* out, std::size_t n, bool last, std::error_code& error) override {
    if (between_members_) {
      if (last) return 0;
      // Another member must follow; anything else is not ours to ignore.
      if (static_cast<unsigned char>(*input()) != 0x1f) {
        error = Error::kDamagedTrailing;
        return 0;
      }
      inflateReset(&z_);
      between_members_ = false;
    }
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input()));
    z_.avail_in = static_cast<uInt>(std::min(input_size(), kMaxStep));
    z_.next_out = reinterpret_cast<Bytef*>(out);
    z_.avail_out = static_cast<uInt>(std::min(n, kMaxStep));
    const uInt avail_in = z_.avail_in;
    const uInt avail_out = z_.avail_out;
    const int r = inflate(&z_, Z_NO_FLUSH);
    consume(avail_in - z_.avail_in);
    const std::size_t written = avail_out - z_.avail_out;
    switch (r) {
      case Z_STREAM_END:
        between_members_ = true;
        break;
      case Z_OK:
        break;
      case Z_BUF_ERROR:  // no progress possible: more input wanted
        if (last && written == 0) error = Error::kDamagedCut;
        break;
      case Z_MEM_ERROR:
        error = std::make_error_code(std::errc::not_enough_memory);
        break;
      default:
        error = reason(z_.msg);
        break;
    }
    return written;
  }

  // zlib's words for what it found, as our error.
  static Error reason(const char* msg) {
    const std::string_view m = msg != nullptr ? msg : "";
    if (m == "incorrect data check") return Error::kDamagedCrc;
    if (m == "incorrect length check") return Error::kDamagedLength;
    if (m.find("header") != std::string_view::npos || m == "unknown compression method") {
      return Error::kDamagedHeader;
    }
    return Error::kDamagedData;
  }

  z_stream z_{};
  bool between_members_ = false;
};

// zstd frames one after another.
class ZstdDecompressor final : public Decompressor {
 public:
  explicit ZstdDecompressor(ByteSource& source) : Decompressor(source), z_(ZSTD_createDStream()) {
    if (z_ == nullptr) throw std::bad_alloc();
    // zstd's own default, said here: windows above 128 MiB are refused, not allocated.
    ZSTD_DCtx_setParameter(z_, ZSTD_d_windowLogMax, 27);
  }
  ~ZstdDecompressor() override { ZSTD_freeDStream(z_); }

 private:
  std::size_t step(char* out, std::size_t n, bool last, std::error_code& error) override {
    if (last && frame_done_) return 0;
    ZSTD_inBuffer in{input(), input_size(), 0};
    ZSTD_outBuffer o{out, n, 0};
    const std::size_t r = ZSTD_decompressStream(z_, &o, &in);
    consume(in.pos);
    if (ZSTD_isError(r)) {
      error = reason(ZSTD_getErrorCode(r));
    } else {
      frame_done_ = r == 0;
      if (last && o.pos == 0 && !frame_done_) error = Error::kDamagedCut;
    }
    return o.pos;
  }

  static std::error_code reason(ZSTD_ErrorCode code) {
    switch (code) {
      case ZSTD_error_checksum_wrong:
        return Error::kDamagedChecksum;
      case ZSTD_error_frameParameter_windowTooLarge:
        return Error::kWindowTooLarge;
      case ZSTD_error_prefix_unknown:  // the first frame's magic was checked: this one follows
        return Error::kDamagedTrailing;
      case ZSTD_error_memory_allocation:
        return std::make_error_code(std::errc::not_enough_memory);
      default:
        return Error::kDamagedData;
    }
  }

  ZSTD_DStream* z_;
  bool frame_done_ = false;
};

}  // namespace

std::unique_ptr<Decompressor> Decompressor::create(Compression kind, ByteSource& source) {
  switch (kind) {
    case Compression::kGzip:
      return std::make_unique<GzipDecompressor>(source);
    case Compression::kZstd:
      return std::make_unique<ZstdDecompressor>(source);
    case Compression::kNone:
      break;
  }
  return nullptr;
}

}  // namespace vemo
