// Corpus replayer: a main() for the fuzz targets where libFuzzer is not linked (g++ builds). Each
// argument is a file or a folder; every file found is fed once to LLVMFuzzerTestOneInput, in name
// order. A target reports a finding by aborting, which fails the run. Replaying nothing is a
// failure too, so a moved or empty corpus cannot pass unnoticed.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const fs::path arg = argv[i];
    std::error_code ec;
    if (fs::is_directory(arg, ec)) {
      std::vector<fs::path> found;
      for (const auto& entry : fs::directory_iterator(arg, ec)) {
        if (entry.is_regular_file()) found.push_back(entry.path());
      }
      if (ec) {
        std::fprintf(stderr, "%s: cannot read %s: %s\n", argv[0], argv[i], ec.message().c_str());
        return 1;
      }
      std::sort(found.begin(), found.end());
      inputs.insert(inputs.end(), found.begin(), found.end());
    } else {
      inputs.push_back(arg);
    }
  }

  for (const fs::path& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    if (!in.good() && !in.eof()) {
      std::fprintf(stderr, "%s: cannot read %s\n", argv[0], path.string().c_str());
      return 1;
    }
    std::fprintf(stderr, "%s: %s (%zu bytes)\n", argv[0], path.string().c_str(), bytes.size());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "%s: no inputs to replay\n", argv[0]);
    return 1;
  }
  std::fprintf(stderr, "%s: %zu inputs replayed\n", argv[0], inputs.size());
  return 0;
}
