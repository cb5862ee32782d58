#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vemo {

struct CliArguments {
  std::string output;  // "-" is standard output
  std::vector<std::string> files;
  bool sample = false;
  bool stop_on_invalid = false;
  bool force = false;  // replace an output file that is an AXE data file
  bool quiet = false;
  bool help = false;
  bool version = false;
  int jobs = 0;  // 0: one per core
};

// Parses the command line (without the program name). On a usage error returns nothing and puts
// the reason in `error`.
std::optional<CliArguments> parse_arguments(const std::vector<std::string>& args,
                                            std::string& error);

extern const char* const kUsage;

}  // namespace vemo
