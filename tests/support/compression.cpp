#include "support/compression.h"

#include <zlib.h>
#include <zstd.h>

#include <stdexcept>

namespace vemo::test {

std::string gzip_members(const std::vector<std::string_view>& parts) {
  std::string out;
  for (const std::string_view part : parts) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw std::runtime_error("deflateInit2");
    }
    std::string member(deflateBound(&z, static_cast<uLong>(part.size())) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data()));
    z.avail_in = static_cast<uInt>(part.size());
    z.next_out = reinterpret_cast<Bytef*>(member.data());
    z.avail_out = static_cast<uInt>(member.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
    member.resize(z.total_out);
    deflateEnd(&z);
    out += member;
  }
  return out;
}

namespace {

std::string zstd_frame(std::string_view bytes, int window_log) {
  ZSTD_CCtx* c = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, 1);
  if (window_log > 0) {
    // The frame declares the window itself rather than the content size.
    ZSTD_CCtx_setParameter(c, ZSTD_c_windowLog, window_log);
    ZSTD_CCtx_setParameter(c, ZSTD_c_contentSizeFlag, 0);
  }
  std::string out(ZSTD_compressBound(bytes.size()) + 64, '\0');
  ZSTD_inBuffer in{bytes.data(), bytes.size(), 0};
  ZSTD_outBuffer o{out.data(), out.size(), 0};
  std::size_t r;
  // Taken in first without ending, the size stays unknown and the window as set.
  if (window_log > 0) ZSTD_compressStream2(c, &o, &in, ZSTD_e_continue);
  do {
    r = ZSTD_compressStream2(c, &o, &in, ZSTD_e_end);
    if (ZSTD_isError(r)) throw std::runtime_error(ZSTD_getErrorName(r));
  } while (r != 0);
  ZSTD_freeCCtx(c);
  out.resize(o.pos);
  return out;
}

}  // namespace

std::string zstd_frames(const std::vector<std::string_view>& parts, bool skippable) {
  std::string out;
  for (const std::string_view part : parts) {
    // Magic 0x184D2A53, a 5-byte payload.
    if (skippable) out += std::string("\x53\x2a\x4d\x18\x05\x00\x00\x00notes", 13);
    out += zstd_frame(part, 0);
  }
  return out;
}

std::string zstd_with_window(std::string_view bytes, int window_log) {
  return zstd_frame(bytes, window_log);
}

}  // namespace vemo::test
