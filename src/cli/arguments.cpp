#include "cli/arguments.h"

#include <charconv>

namespace vemo {

const char* const kUsage =
    "Usage: vemo-convert [options] FILE...\n"
    "Converts AXE data files into one comma-separated text file.\n"
    "\n"
    "  -o, --output PATH     output file, required; \"-\" writes the lines to standard output\n"
    "      --sample          stop after 50 records, as Show Sample does\n"
    "      --stop-on-invalid stop at the first file that is not an AXE data file or cannot be\n"
    "                        read (the default skips it and goes on)\n"
    "      --force           replace the output file even when it is an AXE data file\n"
    "  -j, --jobs N          decode with N threads (default: one per core)\n"
    "  -q, --quiet           no progress and no summary\n"
    "  -h, --help            this help\n"
    "      --version         print the version\n"
    "\n"
    "Exit status: 0 every file converted; 1 a file was skipped or the run stopped at one;\n"
    "2 a usage error or an output failure.\n";

std::optional<CliArguments> parse_arguments(const std::vector<std::string>& args,
                                            std::string& error) {
  CliArguments out;
  bool have_output = false;
  bool options_done = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options_done || a == "-" || a.empty() || a[0] != '-') {
      out.files.push_back(a);
      continue;
    }
    // The value of an option: "--opt=V", "-oV", or the next argument.
    auto value = [&](const std::string& long_name, std::string& v) -> bool {
      if (a.rfind(long_name + "=", 0) == 0) {
        v = a.substr(long_name.size() + 1);
        return true;
      }
      if (a.size() > 2 && a[1] != '-') {
        v = a.substr(2);
        return true;
      }
      if (i + 1 >= args.size()) {
        error = "option " + a + " needs a value";
        return false;
      }
      v = args[++i];
      return true;
    };
    auto is = [&](const char* short_name, const std::string& long_name) {
      return (short_name &&
              (a == short_name || (a.size() > 2 && a.rfind(short_name, 0) == 0 && a[1] != '-'))) ||
             a == long_name || a.rfind(long_name + "=", 0) == 0;
    };

    if (a == "--") {
      options_done = true;
    } else if (is("-o", "--output")) {
      if (!value("--output", out.output)) return std::nullopt;
      have_output = true;
    } else if (is("-j", "--jobs")) {
      std::string v;
      if (!value("--jobs", v)) return std::nullopt;
      int jobs = 0;
      const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), jobs);
      if (ec != std::errc() || end != v.data() + v.size() || jobs < 1 || jobs > 256) {
        error = "--jobs takes a whole number from 1 to 256";
        return std::nullopt;
      }
      out.jobs = jobs;
    } else if (a == "--sample") {
      out.sample = true;
    } else if (a == "--stop-on-invalid") {
      out.stop_on_invalid = true;
    } else if (a == "--force") {
      out.force = true;
    } else if (a == "-q" || a == "--quiet") {
      out.quiet = true;
    } else if (a == "-h" || a == "--help") {
      out.help = true;
    } else if (a == "--version") {
      out.version = true;
    } else {
      error = "unknown option " + a;
      return std::nullopt;
    }
  }
  if (out.help || out.version) return out;
  if (!have_output) {
    error = "an output file is required (-o PATH, or -o - for standard output)";
    return std::nullopt;
  }
  if (out.output.empty()) {
    error = "the output path is empty";
    return std::nullopt;
  }
  if (out.files.empty()) {
    error = "no input files given";
    return std::nullopt;
  }
  return out;
}

}  // namespace vemo
