#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/decompressor.h"
#include "core/line_format.h"
#include "run/input_report.h"
#include "run/run_observer.h"
#include "run/run_state.h"
#include "run/selection_view.h"

namespace vemo {

// Records a trial run writes before it stops.
inline constexpr std::int64_t kTrialRecordLimit = 50;

enum class RunEnd {
  kNoSelection,   // nothing selected: nothing opened
  kOutputFailed,  // the output could not be created, was an input, or a write failed
  kDeclined,      // the user said No after a rejected or unreadable file
  kTrialEnd,      // a trial run reached its limit and opened the viewer
  kCompleted,     // every selected file was handled; the summary was shown
  kStopped,       // the observer asked to stop; the output ends after a whole line
};

struct RunResult {
  RunEnd end = RunEnd::kNoSelection;
  std::int64_t records = 0;        // the record counter at the end
  std::int64_t files = 0;          // selected files opened (or tried), rejected ones included
  std::int64_t skipped_files = 0;  // rejected or unreadable files
  std::int64_t changed_files = 0;  // converted files whose length changed while they were read
  // Once the output was closed whole with a converted file in it: the bytes written to the file
  // (compressed, when it is), and with checksums their SHA-256.
  std::string output_sha256;
  std::optional<std::uint64_t> output_bytes;
};

class Compressor;
class ConversionBuffers;

// The large buffers of a run (the output's buffer and compressor, the input's read-ahead window,
// the parallel decoding's slots and reads), for a caller
// that runs one extraction after another, one output per input: kept here, they are allocated
// once, rather than allocated, handed back to the system and faulted in again by every run.
// One run at a time uses them.
class RunBuffers {
 public:
  RunBuffers();
  ~RunBuffers();
  RunBuffers(const RunBuffers&) = delete;
  RunBuffers& operator=(const RunBuffers&) = delete;

  // Allocated at the first call.
  char* output();  // OutputWriter::kBufferSize bytes
  char* reader();  // DataFileReader::kBufferBytes bytes
  // The compressor the last compressed output left, for the next one.
  std::unique_ptr<Compressor>* compressor() { return &compressor_; }
  ConversionBuffers& conversion();

 private:
  std::unique_ptr<char[]> output_, reader_;
  std::unique_ptr<Compressor> compressor_;
  std::unique_ptr<ConversionBuffers> conversion_;
};

struct RunOptions {
  // Write the lines to standard output instead of the output path (the command line's "-").
  bool output_to_stdout = false;
  // Leave an output that is a regular file as it was until the run ends: the lines go to a
  // temporary file beside it that replaces it when the run ends without an output failure and
  // converted at least one file. Otherwise the output is emptied when the run starts.
  bool replace_output_when_done = false;
  // From the moment the output is replaced, SIGINT, SIGTERM and SIGHUP stay held on the calling
  // thread, so that the summary and the exit status can say so (platform::release_interrupts()).
  bool hold_interrupts_once_replaced = false;
  // Worker threads that decode a large file in parallel; 0 or 1 decodes on the calling thread.
  // Trial runs always decode on the calling thread, record by record.
  unsigned jobs = 0;
  // An item named "-" (with no folder) reads one data file from standard input, as a stream.
  bool dash_reads_stdin = false;
  // Told about every input as it ends (nothing: no per-input report).
  InputReportSink* report = nullptr;
  // The SHA-256 of every converted input and of the output, in the same pass.
  bool checksums = false;
  // A file whose reading failed part way counts as not converted, as a rejected one does: with
  // replace_output_when_done and one file per run, it leaves no output.
  bool whole_files_only = false;
  // The output compressed (gzip or zstd) at this level, or the library's default.
  Compression compression = Compression::kNone;
  std::optional<int> compression_level;
  // Where the run's large buffers live (nothing: the run allocates its own).
  RunBuffers* buffers = nullptr;
  // The form of the rows; the window always writes the legacy form. A format with a header
  // writes it once at the top of the output.
  OutputFormat format;
};

// "Extract": converts every selected file into the one output file. Runs on the caller's thread
// and returns when the run has ended, however it ended.
RunResult extract(RunState& state, const SelectionView& selection, RunObserver& observer,
                  const RunOptions& options = {});

// "Show Sample": the same as a trial run that stops after kTrialRecordLimit records and opens the
// output in the viewer.
RunResult show_sample(RunState& state, const SelectionView& selection, RunObserver& observer,
                      const RunOptions& options = {});

}  // namespace vemo
