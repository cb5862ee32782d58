#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "core/data_file_reader.h"
#include "core/data_file_scanner.h"
#include "core/line_format.h"
#include "core/parallel_converter.h"

namespace vemo {

// What opening a file and the data file test gave.
enum class FileVerdict {
  kNotOpened,    // `failure.code` says why
  kNotTested,    // opened; the test is left to the caller, or the file must not be read
  kUnreadable,   // the test's read failed in the system: `failure` says where and why
  kNotDataFile,  // read and found not to be a data file
  kDataFile,     // passed the test
};

// What a worker, or the caller on its own, found when it opened and tested one file.
struct FileReport {
  FileVerdict verdict = FileVerdict::kNotOpened;
  ReadFailure failure;  // on kNotOpened and kUnreadable
  // On kUnreadable: the file was read decompressed, and the failure's offset in its decompressed
  // data is worth telling (a plain file's failed test read is told without one).
  bool offset_told = false;
  std::uint64_t length = 0;
  platform::FileId id;
  bool compressed = false;  // read decompressed; `length` is the compressed size
  // The caller opens and converts this file itself: it is large (opened only; a compressed file
  // never is, since the caller could not split it either), or its worker could not get the
  // memory or a descriptor to open it.
  bool left_to_caller = false;

  // What `reader` was found to be by an open that gave `opened`: why it failed, or kNotTested.
  static FileReport of_open(const DataFileReader& reader, const Status& opened);
  // Runs the data file test on the opened file and keeps the verdict.
  void run_test(DataFileReader& reader);
};

// Decodes a list of files ahead of the caller, several at once, each by one worker thread, while
// the caller takes them in list order: for each file its report, then (when accepted) its lines,
// exactly those a block-by-block scan of it gives. The caller decides what to do with every file
// in order, so questions and messages still come in list order; work done ahead for a file the
// caller does not take is discarded.
//
// Memory is bounded in bytes: two line buffers and one reader per worker. A file whose output does
// not fit its buffer is handed on in pieces; its worker waits for the caller to take each one.
class ManyFilesConverter {
 public:
  // Output a file's buffer holds before it is handed on.
  static constexpr std::size_t kPieceBytes = 512 * 1024;

  // Files of `large_bytes` or more are only opened and tested: the caller converts them itself.
  // The rows are in `format`; `names` (the inputs' names as given, one per path) fill its file
  // column.
  ManyFilesConverter(std::vector<std::string> paths, unsigned jobs, std::uint64_t large_bytes,
                     const OutputFormat& format = {}, std::vector<std::string> names = {});

  // Tallies each piece for ChunkSink::on_tally(), and digests every converted file's bytes as
  // its worker reads them. Set before start().
  void set_tally(bool tally);
  void set_input_hash(bool hash);
  ~ManyFilesConverter();
  ManyFilesConverter(const ManyFilesConverter&) = delete;
  ManyFilesConverter& operator=(const ManyFilesConverter&) = delete;

  // Allocates the buffers and starts the workers; false when not one worker (or its memory)
  // could be had, and the caller then handles every file itself.
  bool start();

  // Waits for the next file in list order to be opened and tested, and makes it the current one.
  const FileReport& next();
  // Hands the current file's lines to the sink in pieces. On kReadFailed the sink has had the
  // lines of every block before the one whose read failed, and the outcome says where and why.
  ScanOutcome convert(ChunkSink& sink);
  // After convert(): the current file's length after it was read, when the system could tell
  // (else its length at open).
  std::uint64_t length_after() const;
  // After convert(): the SHA-256 of the current file's bytes, and how many bytes it covers (the
  // file from its start); empty without set_input_hash().
  const std::string& input_sha256() const;
  std::uint64_t hashed_bytes() const;
  // Done with the current file, converted or not; any work left on it is cancelled.
  void release();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vemo
