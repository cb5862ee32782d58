#include "cli/arguments.h"

#include "cli/quote.h"
#include "core/compressor.h"
#include "platform/platform.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <deque>
#include <optional>
#include <string_view>
#include <utility>

namespace vemo {

// What the parse has taken in so far.
struct ParseState {
  CliArguments out;
  bool have_output = false;
  bool no_header = false;  // asked for, to be refused with the legacy format
};

namespace {

std::string set_flag(bool CliArguments::*flag, ParseState& s) {
  s.out.*flag = true;
  return {};
}

std::string take_output(ParseState& s, const char* value) {
  if (s.have_output) return "the output is given more than once";
  s.out.output = value;
  s.have_output = true;
  return {};
}

std::string take_output_dir(ParseState& s, const char* value) {
  if (!s.out.output_dir.empty()) return "the output folder is given more than once";
  s.out.output_dir = value;
  if (s.out.output_dir.empty()) return "the output folder is empty";
  return {};
}

std::string take_jobs(ParseState& s, const char* value) {
  const std::string_view v = value;
  int jobs = 0;
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), jobs);
  if (ec != std::errc() || end != v.data() + v.size() || jobs < 1 || jobs > 256) {
    return "--jobs takes a whole number from 1 to 256";
  }
  s.out.jobs = jobs;
  return {};
}

// An option whose value is one of a few words: sets `field` to the word's meaning, or returns
// the usage error "OPTION takes A, B or C".
template <typename T, std::size_t N, typename Field>
std::string take_word(std::string_view option, std::string_view value,
                      const std::pair<std::string_view, T> (&words)[N], Field& field) {
  for (const auto& [word, meaning] : words) {
    if (value == word) {
      field = meaning;
      return {};
    }
  }
  std::string error = std::string(option) + " takes ";
  for (std::size_t i = 0; i < N; ++i) {
    if (i > 0) error += i + 1 == N ? " or " : ", ";
    error += words[i].first;
  }
  return error;
}

constexpr std::pair<std::string_view, ProgressWhen> kProgressWords[] = {
    {"auto", ProgressWhen::kAuto},
    {"always", ProgressWhen::kAlways},
    {"never", ProgressWhen::kNever}};

std::string take_progress(ParseState& s, const char* value) {
  return take_word("--progress", value, kProgressWords, s.out.progress);
}

constexpr std::pair<std::string_view, Compression> kCompressWords[] = {
    {"gzip", Compression::kGzip}, {"zstd", Compression::kZstd}, {"none", Compression::kNone}};

std::string take_compress(ParseState& s, const char* value) {
  return take_word("--compress", value, kCompressWords, s.out.compress);
}

std::string take_compress_level(ParseState& s, const char* value) {
  const std::string_view v = value;
  int level = 0;
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), level);
  if (ec != std::errc() || end != v.data() + v.size()) {
    return "--compress-level takes a whole number";
  }
  s.out.compress_level = level;
  return {};
}

std::string take_report(ParseState& s, const char* value) {
  if (!s.out.report.empty()) return "the report is given more than once";
  s.out.report = value;
  if (s.out.report.empty()) return "the report path is empty";
  return {};
}

// A whole number of seconds from 1 to a day.
std::string take_seconds(int& seconds, std::string_view option, const char* value) {
  const std::string_view v = value;
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), seconds);
  if (ec != std::errc() || end != v.data() + v.size() || seconds < 1 || seconds > 86400) {
    return std::string(option) + " takes a whole number of seconds from 1 to 86400";
  }
  return {};
}

std::string take_format(ParseState& s, const char* value) {
  const std::optional<FormatId> id = format_by_name(value);
  if (!id) {
    return "unknown format " + quote_name(value) + ": --format takes " + format_name_list();
  }
  s.out.format.id = *id;
  return {};
}

// In the order --help lists them.
constexpr OptionSpec kOptions[] = {
    {"output", 'o', " PATH", "output file; \"-\" writes the lines to standard output", take_output},
    {"output-dir", 0, " DIR",
     "one output per input: DIR/NAME.csv (.tsv, .jsonl for those\n"
     "formats), NAME being the input's file name without .gz or .zst,\n"
     "then without its last extension (TT0142.dat.gz -> TT0142.csv)",
     take_output_dir},
    {"compress", 0, "=KIND",
     "compress the output: gzip, zstd or none (default: by the name of\n"
     "-o, NAME.gz or NAME.zst; --output-dir then writes NAME.csv.gz ...)",
     take_compress},
    {"compress-level", 0, " N",
     "compression level: 1 to 9 for gzip, 1 to 19 for zstd (default:\n"
     "the library's, 6 and 3)",
     take_compress_level},
    {"files-from", 0, " LIST",
     "also convert the files named in LIST, one per line (\"-\" reads\n"
     "the list from standard input), in its place among the FILEs; a CR\n"
     "ending a line is dropped (no name ends in CR in practice)",
     [](ParseState& s, const char* value) {
       s.out.lists.push_back({value, s.out.files.size()});
       return std::string();
     }},
    {"null", '0', "", "names in a list end with a NUL byte (find -print0)",
     [](ParseState& s, const char*) { return set_flag(&CliArguments::null_separated, s); }},
    {"sample", 0, "", "stop after 50 records, as Show Sample does (no viewer is opened)",
     [](ParseState& s, const char*) { return set_flag(&CliArguments::sample, s); }},
    {"stop-on-invalid", 0, "",
     "stop at the first file that is not an AXE data file or cannot be\n"
     "read (the default skips it and goes on)",
     [](ParseState& s, const char*) { return set_flag(&CliArguments::stop_on_invalid, s); }},
    {"force", 0, "", "replace the output file even when it is an AXE data file",
     [](ParseState& s, const char*) { return set_flag(&CliArguments::force, s); }},
    {"format", 0, "=FORMAT",
     "the rows: legacy (the default: the window's lines, unquoted), csv\n"
     "(RFC 4180), tsv or jsonl (JSON Lines); see the README, Output formats",
     take_format},
    {"no-header", 0, "", "csv, tsv: leave out the header line",
     [](ParseState& s, const char*) {
       s.no_header = true;
       s.out.format.header = false;
       return std::string();
     }},
    {"with-filename", 0, "",
     "csv, tsv, jsonl: a first column \"file\", the input's name as given\n"
     "(\"-\" for standard input)",
     [](ParseState& s, const char*) {
       s.out.format.with_filename = true;
       return std::string();
     }},
    {"with-offset", 0, "",
     "csv, tsv, jsonl: a column \"offset\", the record's byte position in\n"
     "its input, counted from 0",
     [](ParseState& s, const char*) {
       s.out.format.with_offset = true;
       return std::string();
     }},
    {"jobs", 'j', " N",
     "decode with N threads: a large file in chunks, small files several\n"
     "at once (default: one per CPU it may run on)",
     take_jobs},
    {"quiet", 'q', "", "no progress and no summary",
     [](ParseState& s, const char*) { return set_flag(&CliArguments::quiet, s); }},
    {"progress", 0, "=WHEN",
     "draw the progress line: auto (on a terminal, the default), always,\n"
     "or never",
     take_progress},
    {"report", 0, " FILE",
     "append a JSON line per input (counts, call times, checksums) and\n"
     "one for the run to FILE; \"-\" writes them to standard error\n"
     "instead of the summary",
     take_report},
    {"no-checksums", 0, "", "leave the SHA-256 of inputs and outputs out of the report",
     [](ParseState& s, const char*) {
       s.out.checksums = false;
       return std::string();
     }},
    {"update", 0, "",
     "with --output-dir: leave an input alone whose output is newer than\n"
     "it, or that the report lists as converted in its present state",
     [](ParseState& s, const char*) { return set_flag(&CliArguments::update, s); }},
    {"watch", 0, "",
     "the FILEs are folders: convert each data file that arrives in them,\n"
     "once, until stopped (needs --output-dir and --report)",
     [](ParseState& s, const char*) { return set_flag(&CliArguments::watch, s); }},
    {"settle", 0, " SECONDS", "--watch: a file unchanged this long is complete (default 5)",
     [](ParseState& s, const char* value) {
       return take_seconds(s.out.settle_seconds, "--settle", value);
     }},
    {"scan", 0, " SECONDS", "--watch: look through the folders this often (default 30)",
     [](ParseState& s, const char* value) {
       return take_seconds(s.out.scan_seconds, "--scan", value);
     }},
    {"help", 'h', "", "this help",
     [](ParseState& s, const char*) { return set_flag(&CliArguments::help, s); }},
    {"version", 0, "", "print the version",
     [](ParseState& s, const char*) { return set_flag(&CliArguments::version, s); }},
};

// getopt_long answers an option without a letter with 256 + its row.
constexpr int kFirstLongOnly = 256;

// The table as getopt_long takes it: the long options and the short ones' letters.
struct GetoptTable {
  std::vector<option> longs;
  std::string shorts;
};

GetoptTable getopt_table() {
  GetoptTable t;
  // The leading "-" hands over file names where they stand, so that they keep their order among
  // the lists; ":" tells a missing value from an unknown option.
  t.shorts = "-:";
  for (std::size_t i = 0; i < std::size(kOptions); ++i) {
    const OptionSpec& o = kOptions[i];
    const int has_arg = o.value.empty() ? no_argument : required_argument;
    const int val = o.letter != 0 ? o.letter : kFirstLongOnly + static_cast<int>(i);
    t.longs.push_back({o.name.data(), has_arg, nullptr, val});
    if (o.letter != 0) {
      t.shorts += o.letter;
      if (has_arg == required_argument) t.shorts += ':';
    }
  }
  t.longs.push_back({nullptr, 0, nullptr, 0});
  return t;
}

const OptionSpec* option_for(int c) {
  if (c >= kFirstLongOnly && c < kFirstLongOnly + static_cast<int>(std::size(kOptions))) {
    return &kOptions[c - kFirstLongOnly];
  }
  for (const OptionSpec& o : kOptions) {
    if (o.letter != 0 && o.letter == c) return &o;
  }
  return nullptr;
}

// The combinations of options and files that make no run, once every word is taken in.
std::string check_combination(const ParseState& s) {
  const CliArguments& out = s.out;
  if (out.format.id == FormatId::kLegacy) {
    // The legacy form has no columns to add and no header to leave out.
    for (const auto& [given, name] : {std::pair{s.no_header, "--no-header"},
                                      std::pair{out.format.with_filename, "--with-filename"},
                                      std::pair{out.format.with_offset, "--with-offset"}}) {
      if (given) return std::string(name) + " needs --format=csv, tsv or jsonl";
    }
  }
  if (s.have_output && !out.output_dir.empty()) return "-o and --output-dir exclude each other";
  const auto reads_stdin = [](const std::string& name) { return name == "-"; };
  const auto stdin_readers = std::count_if(out.files.begin(), out.files.end(), reads_stdin) +
                             std::count_if(out.lists.begin(), out.lists.end(),
                                           [&](const FileList& l) { return reads_stdin(l.path); });
  if (stdin_readers > 1) return "standard input (\"-\") can be read only once";
  if (!out.output_dir.empty()) {
    if (std::any_of(out.files.begin(), out.files.end(), reads_stdin)) {
      return "standard input (\"-\") has no file name for --output-dir";
    }
  } else if (!s.have_output) {
    return "an output file is required (-o PATH, or -o - for standard output)";
  }
  if (out.output_dir.empty() && out.output.empty()) return "the output path is empty";
  if (out.update && out.output_dir.empty()) return "--update needs --output-dir";
  if (out.watch) {
    if (out.output_dir.empty()) return "--watch needs --output-dir";
    if (out.report.empty() || out.report == "-") return "--watch needs --report FILE";
    if (!out.lists.empty()) return "--watch takes folders, not --files-from";
    if (out.sample) return "--watch and --sample exclude each other";
    if (out.files.empty()) return "--watch needs a folder to watch";
  }
  if (out.files.empty() && out.lists.empty()) return "no input files given";
  if (out.compress_level) {
    const Compression kind = output_compression(out);
    if (kind == Compression::kNone) {
      return "--compress-level needs a compressed output (-o NAME.gz, -o NAME.zst or --compress)";
    }
    const int low = Compressor::min_level(kind), high = Compressor::max_level(kind);
    if (*out.compress_level < low || *out.compress_level > high) {
      return "--compress-level takes " + std::to_string(low) + " to " + std::to_string(high) +
             " for " + (kind == Compression::kGzip ? "gzip" : "zstd");
    }
  }
  return {};
}

}  // namespace

Compression output_compression(const CliArguments& args) {
  if (args.compress) return *args.compress;
  if (!args.output_dir.empty() || args.output == "-") return Compression::kNone;
  const std::string_view name = args.output;
  if (name.ends_with(".gz")) return Compression::kGzip;
  if (name.ends_with(".zst")) return Compression::kZstd;
  return Compression::kNone;
}

std::string_view compression_suffix(Compression kind) {
  switch (kind) {
    case Compression::kGzip:
      return ".gz";
    case Compression::kZstd:
      return ".zst";
    case Compression::kNone:
      break;
  }
  return {};
}

std::span<const OptionSpec> options() {
  return kOptions;
}

std::string usage() {
  std::string text =
      "Usage: vemo-convert [options] -o OUTPUT FILE...\n"
      "  or:  vemo-convert [options] --output-dir DIR FILE...\n"
      "  or:  vemo-convert --watch --output-dir DIR --report FILE [options] FOLDER...\n"
      "Converts AXE data files into one comma-separated text file, or one per input.\n"
      "A FILE \"-\" reads one data file from standard input (after \"--\", a file named -).\n"
      "\n";
  constexpr std::size_t kHelpColumn = 24;
  for (const OptionSpec& o : kOptions) {
    std::string line = o.letter != 0 ? std::string("  -") + o.letter + ", " : "      ";
    line += "--";
    line += o.name;
    line += o.value;
    line.resize(std::max(line.size() + 1, kHelpColumn), ' ');
    std::string_view help = o.help;
    for (;;) {
      const std::size_t end = std::min(help.find('\n'), help.size());
      text += line;
      text += help.substr(0, end);
      text += '\n';
      if (end == help.size()) break;
      help.remove_prefix(end + 1);
      line.assign(kHelpColumn, ' ');
    }
  }
  text +=
      "\n"
      "Exit status: 0 every file converted; 1 a file was skipped or the run stopped at one;\n"
      "2 a usage error or an output failure.\n";
  return text;
}

std::optional<CliArguments> parse_arguments(const std::vector<std::string>& args,
                                            std::string& error) {
  static const GetoptTable table = getopt_table();
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

  ParseState state;
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
    const int c =
        ::getopt_long(argc, argv.data(), table.shorts.c_str(), table.longs.data(), nullptr);
    if (c == -1) break;
    if (c == 1) {
      state.out.files.emplace_back(optarg);
      continue;
    }
    if (const OptionSpec* o = option_for(c)) {
      error = o->apply(state, optarg);
      if (!error.empty()) return std::nullopt;
      continue;
    }
    // The option in error as typed: a long one up to its "=", a short one by its letter (it may
    // sit inside a bundle such as -qx, where optind has not moved on yet).
    const std::string_view word = optind > before ? argv[optind - 1] : "";
    const std::string typed = word.starts_with("--")
                                  ? quote_name(word.substr(0, word.find('=')))
                                  : quote_name(std::string("-") + static_cast<char>(optopt));
    const bool has_value = word.find('=') != std::string_view::npos;
    if (c == ':') {
      // mingw's getopt_long also answers ':' for a value given to an option that takes none.
      error = "option " + typed +
              (word.starts_with("--") && has_value ? " takes no value" : " needs a value");
    } else {
      error = optopt != 0 && has_value ? "option " + typed + " takes no value"
                                       : "unknown option " + typed;
    }
    return std::nullopt;
  }
  // After "--" every word is a file name: "-" there is a file of that name, not standard input.
  for (int i = optind; i < argc; ++i) {
    state.out.files.emplace_back(std::string_view(argv[i]) == "-" ? "./-" : argv[i]);
  }
  if (state.out.help || state.out.version) return state.out;
  error = check_combination(state);
  if (!error.empty()) return std::nullopt;
  return state.out;
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

std::string output_name_for(const std::string& input, FormatId format) {
  std::string_view name = input;
  while (name.size() > 1 && platform::is_separator(name.back())) name.remove_suffix(1);
  std::size_t start = name.size();
  while (start > 0 && !platform::is_separator(name[start - 1])) --start;
  if (start < name.size()) name.remove_prefix(start);
  if (name.empty() || name == "." || name == ".." || platform::is_separator(name[0])) return {};
  // A compressed input is named after what it holds: "TT0142.dat.gz" as "TT0142.dat".
  for (const std::string_view suffix : {".gz", ".zst"}) {
    if (name.size() > suffix.size() && name.ends_with(suffix)) name.remove_suffix(suffix.size());
  }
  // A leading dot names a hidden file rather than starting an extension.
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return std::string(name) + std::string(format_name(format).extension);
}

}  // namespace vemo
