#include "core/decompressor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/data_file_reader.h"
#include "core/errors.h"
#include "support/compression.h"
#include "support/record_builder.h"

namespace vemo {
namespace {

// Compressed bytes from memory, handed out `piece` bytes at a time.
class MemorySource final : public ByteSource {
 public:
  MemorySource(std::string_view bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
  Result<std::size_t> read(char* out, std::size_t n) override {
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

struct Decompressed {
  std::string bytes;
  std::error_code error;
  std::uint64_t compressed_read = 0;
};

// Everything a decompressor gives for `compressed`, read `out_piece` bytes at a time.
Decompressed decompress(std::string_view compressed, std::size_t in_piece = 1 << 20,
                        std::size_t out_piece = 1 << 16) {
  MemorySource source(compressed, in_piece);
  const auto d = Decompressor::create(compression_of(compressed.substr(0, kMagicBytes)), source);
  Decompressed result;
  std::string buffer(out_piece, '\0');
  // Each call gives at least one byte, so a stream cannot take more calls than this.
  for (std::size_t calls = 0; calls < (1u << 22); ++calls) {
    const Result<std::size_t> n = d->read(buffer.data(), buffer.size());
    result.error = n.error();
    if (!n.ok() || *n == 0) break;
    result.bytes.append(buffer.data(), *n);
  }
  result.compressed_read = d->compressed_bytes_read();
  return result;
}

const std::string kData = test::pattern_bytes(300000);
const std::string_view kFirst = std::string_view(kData).substr(0, 100000);
const std::string_view kRest = std::string_view(kData).substr(100000);

TEST(Decompressor, EveryFormGivesTheBytesBack) {
  const struct {
    const char* form;
    std::string compressed;
  } forms[] = {
      {"gzip", test::gzip(kData)},
      {"gzip members", test::gzip_members({kFirst, "", kRest})},
      {"zstd", test::zstd(kData)},
      {"zstd frames", test::zstd_frames({kFirst, "", kRest})},
      {"zstd skippable frames", test::zstd_frames({kFirst, kRest}, /*skippable=*/true)},
  };
  for (const auto& f : forms) {
    // Whole, and in small pieces both ways, so that every step boundary is crossed.
    for (const auto& [in_piece, out_piece] :
         {std::pair<std::size_t, std::size_t>{1 << 20, 1 << 16}, {7, 5}, {1, 4096}}) {
      SCOPED_TRACE(std::string(f.form) + " in " + std::to_string(in_piece) + " out " +
                   std::to_string(out_piece));
      const Decompressed d = decompress(f.compressed, in_piece, out_piece);
      EXPECT_FALSE(d.error) << d.error.message();
      EXPECT_TRUE(d.bytes == kData);
      EXPECT_EQ(d.compressed_read, f.compressed.size());
    }
  }
}

TEST(Decompressor, DamagedStreamsSayWhyAfterTheBytesBeforeTheDamage) {
  const std::string gz = test::gzip(kData);
  const std::string zst = test::zstd(kData);
  const auto flipped = [](std::string s, std::size_t at) {
    s[at] = static_cast<char>(s[at] ^ 0x01);
    return s;
  };
  const struct {
    const char* form;
    std::string compressed;
    Error reason;
  } cases[] = {
      {"gzip cut", gz.substr(0, gz.size() / 2), Error::kDamagedCut},
      {"gzip cut in its trailer", gz.substr(0, gz.size() - 3), Error::kDamagedCut},
      {"gzip CRC", flipped(gz, gz.size() - 8), Error::kDamagedCrc},
      {"gzip length", flipped(gz, gz.size() - 4), Error::kDamagedLength},
      {"gzip garbage after", gz + "garbage", Error::kDamagedTrailing},
      {"gzip second header", gz + "\x1f\x8c\x08", Error::kDamagedHeader},
      {"zstd cut", zst.substr(0, zst.size() / 2), Error::kDamagedCut},
      {"zstd checksum", flipped(zst, zst.size() - 1), Error::kDamagedChecksum},
      {"zstd garbage after", zst + "garbage!", Error::kDamagedTrailing},
      {"zstd window of 256 MiB", test::zstd_with_window(kFirst, 28), Error::kWindowTooLarge},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.form);
    const Decompressed d = decompress(c.compressed);
    EXPECT_EQ(d.error, make_error_code(c.reason)) << d.error.message();
    EXPECT_EQ(d.bytes, kData.substr(0, d.bytes.size()));
  }
  // A window of 128 MiB is still taken.
  EXPECT_FALSE(decompress(test::zstd_with_window(kFirst, 27)).error);
}

TEST(Decompressor, NoDamageGoesUnnoticed) {
  // Every byte of small streams flipped, and every cut: the right bytes or an error, never a
  // silent difference, never a hang.
  // A cut between two members leaves a whole stream of the first.
  const std::string data = test::pattern_bytes(3000);
  const std::string first = data.substr(0, 1000);
  const std::size_t between = test::gzip(first).size();
  for (const std::string& compressed :
       {test::gzip_members({first, data.substr(1000)}), test::zstd(data)}) {
    for (std::size_t at = 0; at <= compressed.size(); ++at) {
      SCOPED_TRACE(std::to_string(at) + " of " + std::to_string(compressed.size()));
      const std::string cut = compressed.substr(0, at);
      if (at >= kMagicBytes) {
        const Decompressed d = decompress(cut, 64);
        const bool whole = at == compressed.size() || (compressed[0] == '\x1f' && at == between);
        EXPECT_TRUE(whole ? !d.error && d.bytes == data.substr(0, d.bytes.size())
                          : static_cast<bool>(d.error))
            << "cut";
      }
      if (at == compressed.size()) break;
      std::string bad = compressed;
      for (const char bit : {'\x01', '\x80'}) {
        bad[at] = static_cast<char>(compressed[at] ^ bit);
        if (compression_of(bad.substr(0, kMagicBytes)) == Compression::kNone) continue;
        const Decompressed d = decompress(bad, 64);
        EXPECT_TRUE(d.error || d.bytes == data) << "flipped";
      }
    }
  }
}

TEST(Decompressor, TheReaderReadsCompressedFilesAndStreamsDecompressed) {
  const std::string bytes = test::pattern_bytes(3 * DataFileReader::kWindowSize + 1234);
  for (const std::string& compressed : {test::gzip(bytes), test::zstd(bytes)}) {
    const std::string path = test::write_temp_file("c.bin", compressed);
    DataFileReader reader;
    ASSERT_TRUE(reader.open(path).ok());
    EXPECT_TRUE(reader.is_compressed());
    EXPECT_EQ(reader.length(), compressed.size());
    std::string got(bytes.size() + 10, 'z');
    reader.read(1, got.size(), got.data());
    EXPECT_TRUE(reader.end_of_data());
    EXPECT_EQ(got, bytes + std::string(10, '\0'));
    EXPECT_EQ(reader.compressed_bytes_read(), compressed.size());
    EXPECT_EQ(reader.current_length(), compressed.size());
  }
}

}  // namespace
}  // namespace vemo
