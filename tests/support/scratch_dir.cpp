#include "support/scratch_dir.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace vemo::test {

namespace fs = std::filesystem;

namespace {

int process_id() {
#ifdef _WIN32
  return ::_getpid();
#else
  return ::getpid();
#endif
}

// A new folder of a name no other process has: mkdtemp on POSIX. Windows has none, and wine
// reuses process ids, so there the name is random and creating it fails when it exists.
std::string make_unique_folder() {
#ifdef _WIN32
  static std::mt19937_64 random{
      std::random_device{}() ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path folder =
        fs::temp_directory_path() / ("vemo-test-" + std::to_string(random() % 1'000'000'000'000));
    std::error_code ec;
    if (fs::create_directory(folder, ec)) return folder.string();
  }
  throw std::runtime_error("cannot make a temporary folder");
#else
  std::string pattern = (fs::temp_directory_path() / "vemo-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
#endif
}

}  // namespace

ScratchDir::ScratchDir() : path_(make_unique_folder()), owner_(process_id()) {}

ScratchDir::~ScratchDir() {
  if (process_id() != owner_) return;
  std::error_code ec;
  // A test may have left folders without write permission; give them back before removing.
  for (auto it = fs::recursive_directory_iterator(
           path_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
  }
  fs::remove_all(path_, ec);
#ifdef _WIN32
  // A file that a program a test ran still holds open (its handles close a moment after it ends)
  // is removed only when the last handle closes; until then its folder cannot be.
  for (int attempt = 0; attempt < 100 && fs::exists(path_, ec); ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    fs::remove_all(path_, ec);
  }
#endif
}

std::string ScratchDir::operator/(std::string_view name) const {
  return path_ + "/" + std::string(name);
}

std::string ScratchDir::file(std::string_view name, std::string_view bytes) const {
  const std::string p = *this / name;
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + p);
  return p;
}

std::string temp_folder() {
  static const ScratchDir process_folder;
  static std::atomic<int> serial{0};
  const std::string folder = process_folder / std::to_string(serial++);
  fs::create_directory(folder);
  return folder;
}

}  // namespace vemo::test
