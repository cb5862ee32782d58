#include "bench_data.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <vector>

#include "core/data_file_scanner.h"
#include "core/record_layout.h"

extern char** environ;

namespace vemo::bench {
namespace {

std::string axegen_path() {
  if (const char* env = std::getenv("VEMO_AXEGEN"); env != nullptr && *env != '\0') return env;
  return VEMO_AXEGEN_PATH;
}

// Runs axegen into a temporary file and reads it back; empty on any failure.
std::string generate(std::size_t size) {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string path =
      std::string(tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp") + "/vemo_bench_XXXXXX";
  const int fd = ::mkstemp(path.data());
  if (fd < 0) {
    std::perror("vemo_bench: mkstemp");
    return {};
  }
  ::close(fd);

  const std::string program = axegen_path();
  const std::string size_arg = std::to_string(size);
  std::vector<std::string> args = {program,  "--profile", "realistic", "--size", size_arg,
                                   "--seed", "1",         "-o",        path};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::string data;
  pid_t pid = 0;
  int status = 0;
  if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0 ||
      ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "vemo_bench: could not run %s to make test data\n", program.c_str());
  } else {
    std::ifstream in(path, std::ios::binary);
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (data.size() != size) {
      std::fprintf(stderr, "vemo_bench: %s made %zu bytes, not %zu\n", program.c_str(), data.size(),
                   size);
      data.clear();
    }
  }
  ::unlink(path.c_str());
  return data;
}

// Keeps the first record of each kind the scanner hands over.
class Picker final : public RecordSink {
 public:
  Picker(RecordKind kind, int length) : kind_(kind), length_(length) {}

  bool on_record(std::string_view record, double length) override {
    const bool known = layout_for_length(length) != nullptr;
    const bool whole = record.size() == static_cast<std::size_t>(length);
    bool match = false;
    switch (kind_) {
      case RecordKind::kWhole:
        match = whole && length == length_;
        break;
      case RecordKind::kCut:
        match = known && !whole;
        break;
      case RecordKind::kSkip:
        match = !known && whole;
        break;
    }
    if (!match) return true;
    found_ = {std::string(record), length};
    return false;
  }
  void on_block_done(std::uint64_t) override {}

  const SampleRecord& found() const { return found_; }

 private:
  RecordKind kind_;
  int length_;
  SampleRecord found_;
};

}  // namespace

const std::string& realistic_file(std::size_t size) {
  static std::map<std::size_t, std::unique_ptr<std::string>> files;
  auto& slot = files[size];
  if (!slot) slot = std::make_unique<std::string>(generate(size));
  return *slot;
}

SampleRecord find_record(RecordKind kind, int length) {
  const std::string& data = realistic_file(std::size_t{4} << 20);
  Picker picker(kind, length);
  for (std::size_t at = 0; at + kBlockSize <= data.size(); at += kBlockSize) {
    if (!DataFileScanner::scan_block(std::string_view(data).substr(at, kBlockSize), picker)) break;
  }
  return picker.found();
}

}  // namespace vemo::bench
