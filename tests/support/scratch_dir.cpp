#include "support/scratch_dir.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace vemo::test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() : owner_(::getpid()) {
  std::string pattern = (fs::temp_directory_path() / "vemo-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  if (::getpid() != owner_) return;
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
