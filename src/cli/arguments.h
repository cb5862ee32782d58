#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/decompressor.h"
#include "core/line_format.h"

namespace vemo {

// When the progress line is drawn.
enum class ProgressWhen { kAuto, kAlways, kNever };

// A --files-from list: its path ("-" is standard input) and where its names go among the files
// named as arguments (before files[position]).
struct FileList {
  std::string path;
  std::size_t position = 0;
};

struct CliArguments {
  std::string output;              // "-" is standard output
  std::string output_dir;          // one output per input in this folder instead of `output`
  std::vector<std::string> files;  // "-" reads standard input
  std::vector<FileList> lists;
  bool null_separated = false;  // list names end with NUL rather than a line feed
  ProgressWhen progress = ProgressWhen::kAuto;
  bool sample = false;
  bool stop_on_invalid = false;
  bool force = false;  // replace an output file that is an AXE data file
  bool quiet = false;
  bool help = false;
  bool version = false;
  int jobs = 0;         // 0: one per core
  OutputFormat format;  // --format, --no-header, --with-filename, --with-offset
  // --compress: the output's compression, whatever its name; nothing: by the name's suffix.
  std::optional<Compression> compress;
  std::optional<int> compress_level;  // the library's default when not given
  std::string report;                 // the per-input report ("-": standard error); empty: none
  bool checksums = true;              // the report's SHA-256 of inputs and outputs
  bool update = false;     // leave inputs alone whose output or report entry is up to date
  bool watch = false;      // the FILEs are folders to watch
  int settle_seconds = 5;  // --watch: unchanged this long counts as complete
  int scan_seconds = 30;   // --watch: the folders are scanned this often
};

struct ParseState;

// One option of vemo-convert. The table of them (options()) drives the parsing and --help; a test
// holds the man page, the bash completion and the README to it. Adding an option is one row and
// its `apply`.
struct OptionSpec {
  std::string_view name;   // the long name, without "--"
  char letter;             // the short form, or 0
  std::string_view value;  // how --help shows the value with its separator (" PATH", "=WHEN"),
                           // empty when the option takes none
  std::string_view help;   // what --help says; "\n" starts a continuation line
  // Takes the option in, with its value (nullptr when it takes none); returns a usage error, or
  // an empty text.
  std::string (*apply)(ParseState& state, const char* value);
};

std::span<const OptionSpec> options();

// The --help text.
std::string usage();

// Parses the command line (without the program name). On a usage error returns nothing and puts
// the reason in `error`.
std::optional<CliArguments> parse_arguments(const std::vector<std::string>& args,
                                            std::string& error);

// The names of a --files-from list, one per line (a CR before the line feed dropped) or
// NUL-terminated; empty names are left out. A name "-" in a list is a file of that name, not
// standard input.
std::vector<std::string> split_file_list(std::string_view text, bool null_separated);

// The inputs in the order given: the arguments with each list's names in its place.
std::vector<std::string> ordered_inputs(const CliArguments& args,
                                        const std::vector<std::vector<std::string>>& list_names);

// How the output is compressed: as --compress says, else by the suffix of -o's name (".gz",
// ".zst"); an output folder's outputs and standard output only with --compress.
Compression output_compression(const CliArguments& args);

// The suffix a compressed output is named with in an output folder: ".gz", ".zst", or none.
std::string_view compression_suffix(Compression kind);

// The output for `input` in an output folder: its file name without a compression suffix (".gz",
// ".zst") and then without the last extension, the format's extension added (".csv" for legacy
// and csv). Empty when the input names no file ("", ".", "..", "/").
std::string output_name_for(const std::string& input, FormatId format = FormatId::kLegacy);

}  // namespace vemo
