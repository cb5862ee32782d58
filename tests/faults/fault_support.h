#pragma once

// What the fault tests share beyond the test support library: vemo-convert run as a separate
// process, a watch that tells whether a file was opened, and the lines a clean run writes for a
// list of files.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/process.h"
#include "support/scratch_dir.h"

namespace vemo::faults {

using test::Launch;
using test::nobody;
using test::Outcome;
using test::run;
using test::ScratchDir;
using test::Unprivileged;

// Runs vemo-convert with these arguments.
Outcome convert(const std::vector<std::string>& args, const std::string& cwd = {});

// Tells whether any of the watched files was opened, read or written since it was added.
class AccessWatch {
 public:
  AccessWatch();
  ~AccessWatch();
  AccessWatch(const AccessWatch&) = delete;
  AccessWatch& operator=(const AccessWatch&) = delete;

  void add(const std::string& path);
  // Collects what happened so far; true when any watched file was opened.
  bool opened();
  // True when any watched file was written to or truncated.
  bool modified();

 private:
  void drain();
  int fd_;
  bool opened_ = false;
  bool modified_ = false;
};

// Entries of /proc/self/fd: the process's open file descriptors.
int open_descriptor_count();

// The output of a clean run over these input paths, selected in this order.
std::string clean_output(const std::vector<std::string>& paths);

// Number of line ends in a text.
std::int64_t count_lines(std::string_view text);

// One line vemo-convert writes to standard error.
inline std::string cli_line(const std::string& text) {
  return "vemo-convert: " + text + "\n";
}

}  // namespace vemo::faults
