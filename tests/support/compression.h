#pragma once

// Compressed forms of test data, made with zlib and libzstd directly.

#include <string>
#include <string_view>
#include <vector>

namespace vemo::test {

// One gzip member per part, one after another, as `cat a.gz b.gz` leaves them.
std::string gzip_members(const std::vector<std::string_view>& parts);
inline std::string gzip(std::string_view bytes) {
  return gzip_members({bytes});
}

// One zstd frame per part (with its checksum, as the zstd tool writes it); `skippable` puts a
// skippable frame before each.
std::string zstd_frames(const std::vector<std::string_view>& parts, bool skippable = false);
inline std::string zstd(std::string_view bytes) {
  return zstd_frames({bytes});
}

// A zstd frame that declares a window of 2^window_log bytes.
std::string zstd_with_window(std::string_view bytes, int window_log);

}  // namespace vemo::test
