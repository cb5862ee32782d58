#include "cli/arguments.h"

#include "cli/quote.h"
#include "platform/platform.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <deque>
#include <string_view>

namespace vemo {

const char* const kUsage =
    "Usage: vemo-convert [options] -o OUTPUT FILE...\n"
    "  or:  vemo-convert [options] --output-dir DIR FILE...\n"
    "Converts AXE data files into one comma-separated text file, or one per input.\n"
    "A FILE \"-\" reads one data file from standard input (after \"--\", a file named -).\n"
    "\n"
    "  -o, --output PATH     output file; \"-\" writes the lines to standard output\n"
    "      --output-dir DIR  one output per input: DIR/NAME.csv, NAME being the input's file\n"
    "                        name without its last extension\n"
    "      --files-from LIST also convert the files named in LIST, one per line (\"-\" reads\n"
    "                        the list from standard input), in its place among the FILEs;\n"
    "                        a CR ending a line is dropped (no name ends in CR in practice)\n"
    "  -0, --null            names in a list end with a NUL byte (find -print0)\n"
    "      --sample          stop after 50 records, as Show Sample does\n"
    "      --stop-on-invalid stop at the first file that is not an AXE data file or cannot be\n"
    "                        read (the default skips it and goes on)\n"
    "      --force           replace the output file even when it is an AXE data file\n"
    "  -j, --jobs N          decode with N threads (default: one per CPU it may run on)\n"
    "  -q, --quiet           no progress and no summary\n"
    "      --progress=WHEN   draw the progress line: auto (on a terminal), always, never\n"
    "  -h, --help            this help\n"
    "      --version         print the version\n"
    "\n"
    "Exit status: 0 every file converted; 1 a file was skipped or the run stopped at one;\n"
    "2 a usage error or an output failure.\n";

std::optional<CliArguments> parse_arguments(const std::vector<std::string>& args,
                                            std::string& error) {
  enum : int { kSample = 256, kStopOnInvalid, kForce, kVersion, kOutputDir, kFilesFrom, kProgress };
  static const option kLongOptions[] = {
      {"output", required_argument, nullptr, 'o'},
      {"jobs", required_argument, nullptr, 'j'},
      {"quiet", no_argument, nullptr, 'q'},
      {"help", no_argument, nullptr, 'h'},
      {"sample", no_argument, nullptr, kSample},
      {"stop-on-invalid", no_argument, nullptr, kStopOnInvalid},
      {"force", no_argument, nullptr, kForce},
      {"version", no_argument, nullptr, kVersion},
      {"output-dir", required_argument, nullptr, kOutputDir},
      {"files-from", required_argument, nullptr, kFilesFrom},
      {"null", no_argument, nullptr, '0'},
      {"progress", required_argument, nullptr, kProgress},
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
  // "--o" up to "--outpu" once stood for --output alone; --output-dir must not make
  // them ambiguous. They are spelled out just before getopt_long reaches them, which also leaves
  // an option's value alone ("-o --out" names the file "--out").
  std::deque<std::string> spelled_out;
  const auto spell_out_output = [&] {
    const int next = optind == 0 ? 1 : optind;
    if (next >= argc) return;
    const std::string_view word = argv[next];
    const std::string_view name = word.substr(0, word.find('='));
    if (name.size() >= 3 && name.size() < 8 && std::string_view("--output").starts_with(name)) {
      spelled_out.push_back("--output" + std::string(word.substr(name.size())));
      argv[next] = spelled_out.back().data();
    }
  };
  for (;;) {
    spell_out_output();
    const int before = optind;
    // The leading "-" hands over file names where they stand, so that they keep their order
    // among the lists.
    const int c = ::getopt_long(argc, argv.data(), "-:o:j:qh0", kLongOptions, nullptr);
    if (c == -1) break;
    // The option in error as typed: a long one up to its "=", a short one by its letter (it may
    // sit inside a bundle such as -qx, where optind has not moved on yet).
    const auto typed = [&] {
      const std::string_view word = optind > before ? argv[optind - 1] : "";
      if (word.rfind("--", 0) == 0) return quote_name(word.substr(0, word.find('=')));
      return quote_name(std::string("-") + static_cast<char>(optopt));
    };
    switch (c) {
      case 1:
        out.files.emplace_back(optarg);
        break;
      case kOutputDir:
        if (!out.output_dir.empty()) {
          error = "the output folder is given more than once";
          return std::nullopt;
        }
        out.output_dir = optarg;
        if (out.output_dir.empty()) {
          error = "the output folder is empty";
          return std::nullopt;
        }
        break;
      case kFilesFrom:
        out.lists.push_back({optarg, out.files.size()});
        break;
      case '0':
        out.null_separated = true;
        break;
      case kProgress: {
        const std::string_view v = optarg;
        if (v == "auto") {
          out.progress = ProgressWhen::kAuto;
        } else if (v == "always") {
          out.progress = ProgressWhen::kAlways;
        } else if (v == "never") {
          out.progress = ProgressWhen::kNever;
        } else {
          error = "--progress takes auto, always or never";
          return std::nullopt;
        }
        break;
      }
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
        // mingw's getopt_long also answers ':' for a value given to an option that takes none.
        if (optind > before && std::string_view(argv[optind - 1]).starts_with("--") &&
            std::string_view(argv[optind - 1]).find('=') != std::string_view::npos) {
          error = "option " + typed() + " takes no value";
          return std::nullopt;
        }
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
  // After "--" every word is a file name: "-" there is a file of that name, not standard input.
  for (int i = optind; i < argc; ++i) {
    out.files.emplace_back(std::string_view(argv[i]) == "-" ? "./-" : argv[i]);
  }
  if (out.help || out.version) return out;
  if (have_output && !out.output_dir.empty()) {
    error = "-o and --output-dir exclude each other";
    return std::nullopt;
  }
  const auto reads_stdin = [](const std::string& name) { return name == "-"; };
  const auto stdin_readers = std::count_if(out.files.begin(), out.files.end(), reads_stdin) +
                             std::count_if(out.lists.begin(), out.lists.end(),
                                           [&](const FileList& l) { return reads_stdin(l.path); });
  if (stdin_readers > 1) {
    error = "standard input (\"-\") can be read only once";
    return std::nullopt;
  }
  if (!out.output_dir.empty()) {
    if (std::any_of(out.files.begin(), out.files.end(), reads_stdin)) {
      error = "standard input (\"-\") has no file name for --output-dir";
      return std::nullopt;
    }
  } else if (!have_output) {
    error = "an output file is required (-o PATH, or -o - for standard output)";
    return std::nullopt;
  }
  if (out.output_dir.empty() && out.output.empty()) {
    error = "the output path is empty";
    return std::nullopt;
  }
  if (out.files.empty() && out.lists.empty()) {
    error = "no input files given";
    return std::nullopt;
  }
  return out;
}

std::vector<std::string> split_file_list(std::string_view text, bool null_separated) {
  const char end = null_separated ? '\0' : '\n';
  std::vector<std::string> names;
  while (!text.empty()) {
    const std::size_t at = std::min(text.find(end), text.size());
    std::string_view name = text.substr(0, at);
    // A list written on Windows ends its lines with CR LF; no real name ends in CR.
    if (!null_separated && name.ends_with('\r')) name.remove_suffix(1);
    if (!name.empty()) names.emplace_back(name == "-" ? "./-" : name);
    text.remove_prefix(std::min(at + 1, text.size()));
  }
  return names;
}

std::vector<std::string> ordered_inputs(const CliArguments& args,
                                        const std::vector<std::vector<std::string>>& list_names) {
  std::vector<std::string> inputs;
  std::size_t next_list = 0;
  for (std::size_t i = 0; i <= args.files.size(); ++i) {
    for (; next_list < args.lists.size() && args.lists[next_list].position == i; ++next_list) {
      const auto& names = list_names[next_list];
      inputs.insert(inputs.end(), names.begin(), names.end());
    }
    if (i < args.files.size()) inputs.push_back(args.files[i]);
  }
  return inputs;
}

std::string output_name_for(const std::string& input) {
  std::string_view name = input;
  while (name.size() > 1 && platform::is_separator(name.back())) name.remove_suffix(1);
  std::size_t start = name.size();
  while (start > 0 && !platform::is_separator(name[start - 1])) --start;
  if (start < name.size()) name.remove_prefix(start);
  if (name.empty() || name == "." || name == ".." || platform::is_separator(name[0])) return {};
  // A leading dot names a hidden file rather than starting an extension.
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return std::string(name) + ".csv";
}

}  // namespace vemo
