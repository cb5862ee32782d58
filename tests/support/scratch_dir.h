#pragma once

// Temporary folders for tests: unique (mkdtemp) and removed with everything in them.

#include <string>
#include <string_view>

namespace vemo::test {

// A fresh folder under the system temp folder; removed with its content when destroyed, so that
// large and numerous test files never outlive the test. Only the process that made it removes
// it: a forked child that exits leaves it to its parent.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string operator/(std::string_view name) const;
  // Writes a file of these bytes and returns its path.
  std::string file(std::string_view name, std::string_view bytes) const;

 private:
  std::string path_;
  int owner_;  // the process id that made the folder
};

// A fresh empty folder inside one ScratchDir per test process, removed when the process ends.
std::string temp_folder();

}  // namespace vemo::test
