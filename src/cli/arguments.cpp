#include "cli/arguments.h"

#include "cli/quote.h"

#include <getopt.h>

#include <charconv>
#include <string_view>

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
    "  -j, --jobs N          decode with N threads (default: one per CPU it may run on)\n"
    "  -q, --quiet           no progress and no summary\n"
    "  -h, --help            this help\n"
    "      --version         print the version\n"
    "\n"
    "Exit status: 0 every file converted; 1 a file was skipped or the run stopped at one;\n"
    "2 a usage error or an output failure.\n";

std::optional<CliArguments> parse_arguments(const std::vector<std::string>& args,
                                            std::string& error) {
  enum : int { kSample = 256, kStopOnInvalid, kForce, kVersion };
  static const option kLongOptions[] = {
      {"output", required_argument, nullptr, 'o'},
      {"jobs", required_argument, nullptr, 'j'},
      {"quiet", no_argument, nullptr, 'q'},
      {"help", no_argument, nullptr, 'h'},
      {"sample", no_argument, nullptr, kSample},
      {"stop-on-invalid", no_argument, nullptr, kStopOnInvalid},
      {"force", no_argument, nullptr, kForce},
      {"version", no_argument, nullptr, kVersion},
      {nullptr, 0, nullptr, 0},
  };
  // getopt_long wants a mutable argv with the program's name first; it reorders the pointers,
  // never the strings.
  std::vector<std::string> storage;
  storage.reserve(args.size() + 1);
  storage.emplace_back("vemo-convert");
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(storage.size());

  CliArguments out;
  bool have_output = false;
  opterr = 0;  // the messages are our own
  optind = 0;  // a full restart, so that the parser can be called more than once
  for (;;) {
    const int before = optind;
    const int c = ::getopt_long(argc, argv.data(), ":o:j:qh", kLongOptions, nullptr);
    if (c == -1) break;
    // The option in error as typed: a long one up to its "=", a short one by its letter (it may
    // sit inside a bundle such as -qx, where optind has not moved on yet).
    const auto typed = [&] {
      const std::string_view word = optind > before ? argv[optind - 1] : "";
      if (word.rfind("--", 0) == 0) return quote_name(word.substr(0, word.find('=')));
      return std::string("-") + static_cast<char>(optopt);
    };
    switch (c) {
      case 'o':
        if (have_output) {
          error = "the output is given more than once";
          return std::nullopt;
        }
        out.output = optarg;
        have_output = true;
        break;
      case 'j': {
        const std::string_view v = optarg;
        int jobs = 0;
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), jobs);
        if (ec != std::errc() || end != v.data() + v.size() || jobs < 1 || jobs > 256) {
          error = "--jobs takes a whole number from 1 to 256";
          return std::nullopt;
        }
        out.jobs = jobs;
        break;
      }
      case 'q':
        out.quiet = true;
        break;
      case 'h':
        out.help = true;
        break;
      case kSample:
        out.sample = true;
        break;
      case kStopOnInvalid:
        out.stop_on_invalid = true;
        break;
      case kForce:
        out.force = true;
        break;
      case kVersion:
        out.version = true;
        break;
      case ':':
        error = "option " + typed() + " needs a value";
        return std::nullopt;
      default:
        if (optopt != 0 && optind > before &&
            std::string_view(argv[optind - 1]).find('=') != std::string_view::npos) {
          error = "option " + typed() + " takes no value";
          return std::nullopt;
        }
        error = "unknown option " + typed();
        return std::nullopt;
    }
  }
  out.files.assign(argv.begin() + optind, argv.end() - 1);
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
