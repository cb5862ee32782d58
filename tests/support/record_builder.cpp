#include "support/record_builder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vemo::test {

std::string pattern_bytes(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('A' + (i * 7 + i / 251) % 26);
  return s;
}

std::string bytes_at(const std::string& bytes, std::uint64_t position, std::size_t n) {
  std::string expected(n, '\0');
  const std::uint64_t offset = position - 1;
  if (offset < bytes.size()) {
    const std::size_t found = std::min<std::size_t>(n, bytes.size() - offset);
    expected.replace(0, found, bytes, offset, found);
  }
  return expected;
}

std::string write_temp_file(std::string_view name, std::string_view bytes) {
  const auto path = std::filesystem::path(temp_folder()) / std::string(name);
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
  return path.string();
}

std::string data_file_bytes(int blocks, std::int64_t size) {
  std::string bytes;
  int serial = 0;
  for (int b = 0; b < blocks; ++b) {
    std::vector<std::string> records;
    std::size_t used = 0;
    for (int len : {119, 113, 109, 97}) {
      for (int i = 0; i < 4; ++i) {
        records.push_back(sample_record(len, serial++));
        used += static_cast<std::size_t>(len);
      }
    }
    (void)used;
    records.push_back("000");
    bytes += block_of(records, ' ');
  }
  if (size >= 0) bytes.resize(static_cast<std::size_t>(size), '\0');
  return bytes;
}

}  // namespace vemo::test

namespace vemo::test {

std::string data_file_with_records(int records, int skip_at) {
  const int blocks = std::max(6, (records + 15) / 16);
  std::string bytes;
  int serial = 0;
  for (int b = 0; b < blocks; ++b) {
    const int here = records / blocks + (b < records % blocks ? 1 : 0);
    std::vector<std::string> block;
    for (int i = 0; i < here; ++i) {
      ++serial;
      std::string r = sample_record(serial == skip_at ? 118 : 119, serial);
      std::string counter = std::to_string(serial);
      put(r, 62, std::string(6 - counter.size(), '0') + counter);
      block.push_back(r);
    }
    block.push_back("000");
    bytes += block_of(block, ' ');
  }
  return bytes;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace vemo::test
