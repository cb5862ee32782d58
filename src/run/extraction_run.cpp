#include "run/extraction_run.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "core/block_decoder.h"
#include "core/compressor.h"
#include "core/data_file_reader.h"
#include "core/data_file_scanner.h"
#include "core/errors.h"
#include "core/file_tally.h"
#include "core/many_files_converter.h"
#include "core/parallel_converter.h"
#include "core/record_decoder.h"
#include "platform/platform.h"
#include "platform/sha256.h"
#include "run/output_writer.h"

namespace vemo {
namespace {

constexpr char kSeparator = platform::kSeparator;

// Smaller files are not worth starting threads for.
constexpr std::uint64_t kMinParallelChunks = 4;

// Blocks between two questions to the observer whether to stop: 64 KiB of input, a small
// fraction of a millisecond at full speed.
constexpr int kBlocksPerStopCheck = 32;

// The file behind a path (links followed); unknown, and so the same as no other, when there is
// none. By the system's file identity rather than std::filesystem::equivalent, which declines to
// compare two FIFOs or two devices: an output FIFO or device named as an input too must still
// count as one of the inputs.
platform::FileId identify(const std::string& path) {
  const Result<platform::FileStatus> st = platform::status(path);
  return st.ok() ? st->id : platform::FileId{};
}

// One run over the selection: the loop over the files, the counters, what is reported, and the
// sink that decodes and writes every record the scanner finds.
class ExtractionRun final : public RecordSink, public BlockSink, public ChunkSink {
 public:
  ExtractionRun(RunState& state, const SelectionView& selection, RunObserver& observer,
                const RunOptions& options)
      : state_(state),
        selection_(selection),
        observer_(observer),
        options_(options),
        output_(options.buffers ? options.buffers->output() : nullptr),
        reader_(options.buffers ? options.buffers->reader() : nullptr) {
    output_.set_wait_handler([this] { check_stop(); });
    if (options_.buffers) output_.set_spare_compressor(options_.buffers->compressor());
    if (options_.checksums) {
      input_hash_ = std::make_unique<platform::Sha256>();
      output_hash_ = std::make_unique<platform::Sha256>();
      reader_.set_input_hash(input_hash_.get());
      output_.set_hash(output_hash_.get());
    }
  }

  RunResult run() {
    try {
      result_.end = execute();
    } catch (const std::bad_alloc&) {
      // Memory even the one-thread path needs: the lines written so far are kept.
      result_.end = end_write_failed(selection_.output_path(),
                                     std::make_error_code(std::errc::not_enough_memory));
    }
    result_.records = state_.record_counter;
    // However the run ended, the next one starts as a normal Extract unless asked otherwise.
    state_.trial = false;
    return result_;
  }

  bool on_record(std::string_view record, double length) override {
    if (stop_) return false;  // asked between blocks: the previous line was the last
    char* const line = output_.reserve(encoder_.max_row_size());
    const std::size_t n = encoder_.decode_record(record, length, block_offset_ + in_block_, line);
    if (tallying()) {
      tally_.add_record(record, length);
      tally_.add_lines({line, n});
    }
    output_.commit(n);
    // Records follow each other in their block: the next starts where this one ends.
    in_block_ += record.size();
    ++state_.record_counter;
    if (!output_.status().ok() || stop_) return false;
    if (state_.trial && state_.record_counter >= kTrialRecordLimit) {
      trial_limit_reached_ = true;
      return false;
    }
    return true;
  }

  // A normal run takes a block's records at once; a trial run goes record by record to stop at
  // its limit.
  bool on_block(std::string_view block, std::uint64_t next_block_position) override {
    if (stop_) return false;
    const std::uint64_t block_offset = next_block_position - 1 - kBlockSize;
    if (encoder_.max_block_output() <= OutputWriter::kBufferSize) {
      char* const lines = output_.reserve(encoder_.max_block_output());
      const std::size_t n =
          encoder_.decode_block(block, block_offset, lines, state_.record_counter);
      if (tallying()) tally_.add_lines({lines, n});
      output_.commit(n);
    } else {
      // Rows longer than the writer's buffer can take a block of (a very long file name in
      // each): decoded aside first.
      if (!long_rows_) long_rows_ = std::make_unique<char[]>(encoder_.max_block_output());
      const std::size_t n =
          encoder_.decode_block(block, block_offset, long_rows_.get(), state_.record_counter);
      if (tallying()) tally_.add_lines({long_rows_.get(), n});
      output_.write({long_rows_.get(), n});
    }
    if (tallying()) tally_.add_block(block);
    if (!output_.status().ok()) return false;
    on_block_done(next_block_position);
    return !stop_;
  }

  bool on_chunk(std::string_view lines, std::int64_t records,
                std::uint64_t next_block_position) override {
    output_.write(lines);
    state_.record_counter += records;
    check_stop();
    on_block_done(next_block_position);
    return output_.status().ok() && !stop_;
  }

  void on_tally(const FileTally& tally) override { tally_.add(tally); }

  void on_block_done(std::uint64_t next_block_position) override {
    block_offset_ = next_block_position - 1;
    in_block_ = 0;
    if (++blocks_since_stop_check_ >= kBlocksPerStopCheck) {
      blocks_since_stop_check_ = 0;
      check_stop();
      report_bytes(next_block_position);
    }
    // A stream's length is unknown: its progress is in bytes only. A compressed file's moves
    // with the compressed bytes read.
    if (shown_progress_ >= 100) return;
    std::uint64_t done = next_block_position;
    if (progress_by_ == ProgressBy::kCompressedBytes) {
      done = reader_.compressed_bytes_read();
    } else if (progress_by_ != ProgressBy::kBlocks) {
      return;
    }
    const std::uint64_t percent = std::min<std::uint64_t>(100, done / bytes_per_percent_);
    if (static_cast<int>(percent) != shown_progress_) {
      report_bytes(next_block_position);
      set_progress(static_cast<int>(percent));
    }
  }

 private:
  // What became of one file, and so how the run goes on.
  enum class FileEnd {
    kNext,         // converted, or skipped with the user's consent: on to the next file
    kDeclined,     // the user said No to going on after this file
    kWriteFailed,  // the output failed while this file was written
    kStopped,      // the user asked to stop
    kTrialEnd,     // a trial run reached its limit in this file
  };

  // What the progress of the current file is measured by.
  enum class ProgressBy {
    kBlocks,           // the blocks read of a file of known length
    kCompressedBytes,  // the compressed bytes read of a compressed file of known length
    kStreamBytes,      // the bytes read of a stream: no percentage
    kAtEnd,            // a compressed file decoded ahead: told when it is done
  };

  RunEnd execute() {
    std::string folder = selection_.current_folder();
    if (!folder.empty() && folder.back() != kSeparator) folder += kSeparator;

    state_.record_counter = 0;
    const std::size_t items = selection_.item_count();
    std::vector<std::size_t> chosen;
    for (std::size_t i = 0; i < items; ++i) {
      if (selection_.selected(i)) chosen.push_back(i);
    }
    if (chosen.empty()) {
      message(MessageKind::kNoSelection, Icon::kCritical,
              "Please Select input Files in the List Box");
      return RunEnd::kNoSelection;
    }

    const std::string output_path = selection_.output_path();
    if (!open_output(output_path, folder, chosen)) return RunEnd::kOutputFailed;

    const auto count = static_cast<std::int64_t>(chosen.size());
    const std::unique_ptr<ManyFilesConverter> ahead = start_ahead(folder, chosen);
    for (const std::size_t index : chosen) {
      check_stop();
      if (stop_) return end_stopped(output_path);
      const std::string name = selection_.item_name(index);
      const std::string path = folder + name;
      begin_input(name, path);
      FileEnd end;
      if (!ahead) {
        end = convert_file(name, path, count);
      } else if (const FileReport& report = ahead->next(); report.left_to_caller) {
        ahead->release();
        end = convert_file(name, path, count);
      } else {
        end = convert_ahead(*ahead, report, name, path, count);
        ahead->release();
      }
      end_input(end);
      switch (end) {
        case FileEnd::kNext:
          continue;
        case FileEnd::kDeclined:
          return end_declined();
        case FileEnd::kWriteFailed:
          return end_write_failed(output_path);
        case FileEnd::kStopped:
          return end_stopped(output_path);
        case FileEnd::kTrialEnd:
          return end_trial(output_path);
      }
    }

    if (!close_output().ok()) return end_write_failed(output_path);
    if (converted_files_ > 0) {
      result_.output_bytes = output_.bytes_written();
      if (output_hash_) result_.output_sha256 = output_hash_->finish();
    }
    message(MessageKind::kSummary, Icon::kInformation,
            std::to_string(state_.record_counter) + " Records Written from " +
                std::to_string(result_.files) + " Files");
    clear_display();
    return RunEnd::kCompleted;
  }

  // Checks that the output may be written and opens it; false, the reason shown, when not.
  bool open_output(const std::string& output_path, const std::string& folder,
                   const std::vector<std::size_t>& chosen) {
    if (output_path.empty() && !options_.output_to_stdout) {
      message(MessageKind::kNoOutputName, Icon::kCritical,
              "Please type the name of the output file in the box below the lists.");
      return false;
    }
    if (output_is_an_input(output_path, folder, chosen)) {
      message(MessageKind::kOutputIsInput, Icon::kCritical,
              "The output file is one of the selected input Files. Please choose another output "
              "file.");
      return false;
    }
    if (!options_.output_to_stdout && output_is_a_data_file(output_path) &&
        !observer_.ask_yes_no(Question{.kind = QuestionKind::kOutputIsDataFile,
                                       .text = "The output file " + output_path +
                                               " is an AXE data file. Do you want to replace it?",
                                       .path = output_path,
                                       .error = {},
                                       .yes_is_default = false})) {
      return false;
    }
    output_.hold_interrupts_once_replaced(options_.hold_interrupts_once_replaced);
    output_.set_compression(options_.compression, options_.compression_level);
    const Status opened = options_.output_to_stdout
                              ? output_.open_stdout()
                              : output_.open(output_path, options_.replace_output_when_done
                                                              ? OutputWriter::Mode::kReplaceWhenDone
                                                              : OutputWriter::Mode::kTruncate);
    if (!opened.ok()) {
      message(MessageKind::kOutputCannotCreate, Icon::kCritical,
              "Cannot create the output file " + output_path + ": " + opened.error().message(),
              output_path);
      return false;
    }
    // One header for the whole output, however many files go into it.
    output_.write(LineEncoder(options_.format, {}).header());
    return true;
  }

  // What converting an accepted file gave, by either road.
  struct Converted {
    ScanOutcome scanned;
    std::uint64_t bytes = 0;          // the bytes converted in all, for the last progress report
    std::uint64_t length_before = 0;  // the file's length when it was opened,
    std::uint64_t length_after = 0;  // and after it was read (the same when the system cannot tell)
  };

  // The one step per file, whichever road the file took: `report` says what opening and testing
  // it gave, and `convert` converts it once it is accepted. A file that cannot be read or is not a
  // data file is asked about, in the same order and words on both roads.
  template <typename Convert>
  FileEnd step(const FileReport& report, const std::string& name, const std::string& path,
               std::int64_t count, Convert&& convert) {
    bytes_per_percent_ = std::max<std::uint64_t>(1, report.length / 100);
    ++result_.files;
    observer_.set_file_status(FileStatus{.number = result_.files, .count = count, .name = name});

    std::error_code unreadable;
    std::int64_t failed_at = -1;
    if (report.verdict == FileVerdict::kNotOpened) {
      unreadable = report.failure.code;
    } else if (output_.is_file(report.id)) {
      // Named as an input after the run created it: reading it would feed the output back in.
      unreadable = make_error_code(Error::kInputIsOutput);
    } else if (report.verdict == FileVerdict::kUnreadable) {
      unreadable = report.failure.code;
      if (report.offset_told) failed_at = static_cast<std::int64_t>(report.failure.offset);
    } else if (report.verdict != FileVerdict::kDataFile) {
      return go_on_after_not_data_file(path) ? FileEnd::kNext : FileEnd::kDeclined;
    } else {
      ++converted_files_;
      set_progress(0);
      const Converted converted = convert();
      if (!output_.status().ok()) return FileEnd::kWriteFailed;
      if (stop_) return FileEnd::kStopped;
      if (trial_limit_reached_) return FileEnd::kTrialEnd;
      if (converted.scanned.end != ScanResult::kReadFailed) {
        outcome_ = InputStatus::kConverted;
        converted_length_ = converted.length_before;
        observer_.set_bytes_read(converted.bytes);
        set_progress(100);
        report_changed_length(path, converted.length_before, converted.length_after);
        return FileEnd::kNext;
      }
      unreadable = converted.scanned.failure.code;
      failed_at = static_cast<std::int64_t>(converted.scanned.failure.offset);
      if (options_.whole_files_only) --converted_files_;
    }
    return go_on_after_unreadable(name, path, unreadable, failed_at) ? FileEnd::kNext
                                                                     : FileEnd::kDeclined;
  }

  // One of the `count` selected files, opened, tested and converted here. The reader is closed
  // before any question and at the end.
  FileEnd convert_file(const std::string& name, const std::string& path, std::int64_t count) {
    encoder_ = LineEncoder(options_.format, name);
    block_offset_ = 0;
    in_block_ = 0;
    const Status opened = options_.dash_reads_stdin && path == "-"
                              ? reader_.open_stream(platform::kStdin)
                              : reader_.open(path);
    FileReport report = FileReport::of_open(reader_, opened);
    progress_by_ = !reader_.is_stream()                     ? ProgressBy::kBlocks
                   : report.compressed && report.length > 0 ? ProgressBy::kCompressedBytes
                                                            : ProgressBy::kStreamBytes;
    // The output named as an input is never read, not even by the test.
    if (opened.ok() && !output_.is_file(report.id)) report.run_test(reader_);
    if (report.verdict != FileVerdict::kDataFile) reader_.close();
    return step(report, name, path, count, [&] {
      Converted converted;
      converted.length_before = reader_.length();
      converted.scanned = scan();
      hashed_bytes_ = parallel_hashed_ ? *parallel_hashed_ : reader_.hashed_bytes();
      converted.bytes =
          report.compressed ? reader_.compressed_bytes_read() : reader_.bytes_available();
      converted.length_after = reader_.current_length().value_or(converted.length_before);
      reader_.close();
      return converted;
    });
  }

  // Large files of a normal run are decoded in parallel when jobs allow; the lines, the
  // counters and the progress are the same either way. When threads or their memory cannot be
  // had, the file is decoded here instead.
  ScanOutcome scan() {
    const bool parallel = options_.jobs > 1 && !state_.trial && !reader_.is_stream() &&
                          reader_.length() >= kMinParallelChunks * ParallelConverter::kChunkBytes;
    if (parallel) {
      ParallelConverter converter(reader_, options_.jobs, ParallelConverter::kBlocksPerChunk,
                                  encoder_);
      // Kept for the run's next large file, or the next run's.
      converter.set_buffers(options_.buffers ? &options_.buffers->conversion()
                                             : &conversion_buffers_);
      converter.set_tally(tallying());
      if (input_hash_) {
        // The workers hash the file from its start; the window's share is dropped.
        reader_.set_input_hash(nullptr);
        input_hash_->reset();
        converter.set_input_hash(input_hash_.get());
      }
      const ScanOutcome outcome = converter.convert(*this);
      const bool started = outcome.end != ScanResult::kNotStarted;
      if (input_hash_) {
        reader_.set_input_hash(input_hash_.get());
        // Decoded here after all: the window's bytes are not hashed again, so no digest.
        parallel_hashed_ = started ? converter.hashed_bytes() : 0;
      }
      if (started) return outcome;
    }
    return state_.trial ? DataFileScanner::scan(reader_, static_cast<RecordSink&>(*this))
                        : DataFileScanner::scan(reader_, static_cast<BlockSink&>(*this));
  }

  // The bytes converted so far: the blocks before `next_block_position`, at most what the file
  // holds.
  void report_bytes(std::uint64_t next_block_position) {
    if (progress_by_ == ProgressBy::kAtEnd) return;
    if (progress_by_ == ProgressBy::kCompressedBytes) {
      observer_.set_bytes_read(reader_.compressed_bytes_read());
      return;
    }
    const std::uint64_t available = ahead_length_ ? *ahead_length_ : reader_.bytes_available();
    observer_.set_bytes_read(std::min(next_block_position - 1, available));
  }

  // A file still being written when it was converted: its lines are kept, but the run says so.
  void report_changed_length(const std::string& path, std::uint64_t before, std::uint64_t now) {
    if (now == before) return;
    ++result_.changed_files;
    message(MessageKind::kInputChangedSize, Icon::kInformation,
            path + " changed size while it was read (" + std::to_string(before) + " \xE2\x86\x92 " +
                std::to_string(now) + " bytes)",
            path);
  }

  // Several selected files of a normal run with jobs to spare are opened, tested and decoded
  // ahead by worker threads, one file each; large files are still left to scan(). Nothing when
  // no worker could start: every file is then handled here.
  std::unique_ptr<ManyFilesConverter> start_ahead(const std::string& folder,
                                                  const std::vector<std::size_t>& chosen) const {
    if (options_.jobs <= 1 || state_.trial || chosen.size() < 2) return nullptr;
    std::vector<std::string> paths, names;
    paths.reserve(chosen.size());
    names.reserve(chosen.size());
    for (const std::size_t index : chosen) {
      names.push_back(selection_.item_name(index));
      paths.push_back(folder + names.back());
      // Standard input is read here, as a stream, in its turn: not by a worker.
      if (options_.dash_reads_stdin && paths.back() == "-") return nullptr;
    }
    auto ahead = std::make_unique<ManyFilesConverter>(
        std::move(paths), options_.jobs, kMinParallelChunks * ParallelConverter::kChunkBytes,
        options_.format, std::move(names));
    ahead->set_tally(tallying());
    ahead->set_input_hash(options_.checksums);
    if (!ahead->start()) return nullptr;
    return ahead;
  }

  // One of the `count` selected files, opened, tested and decoded ahead by a worker.
  FileEnd convert_ahead(ManyFilesConverter& ahead, const FileReport& report,
                        const std::string& name, const std::string& path, std::int64_t count) {
    progress_by_ = report.compressed ? ProgressBy::kAtEnd : ProgressBy::kBlocks;
    return step(report, name, path, count, [&] {
      Converted converted;
      converted.bytes = converted.length_before = converted.length_after = report.length;
      ahead_length_ = report.length;
      converted.scanned = ahead.convert(*this);
      converted.length_after = ahead.length_after();
      ahead_length_.reset();
      ahead_sha256_ = ahead.input_sha256();
      ahead_hashed_ = ahead.hashed_bytes();
      return converted;
    });
  }

  bool tallying() const { return options_.report != nullptr; }

  // A new input: what the report says about it is gathered from here on.
  void begin_input(const std::string& name, const std::string& path) {
    if (!tallying()) return;
    input_ = InputReport{};
    input_.input = name;
    const bool stream = options_.dash_reads_stdin && path == "-";
    input_.path = stream ? path : platform::absolute_path(path);
    if (!stream) {
      const Result<platform::FileStatus> st = platform::status(path);
      if (st.ok() && st->kind == platform::FileKind::kRegular) {
        input_.has_status = true;
        input_.size = st->size;
        input_.mtime_ns = st->mtime_ns;
      }
    }
    input_started_ = std::chrono::steady_clock::now();
    records_before_ = state_.record_counter;
    tally_ = {};
    outcome_ = InputStatus::kStopped;
    reason_.clear();
    converted_length_ = 0;
    hashed_bytes_ = 0;
    parallel_hashed_.reset();
    ahead_sha256_.clear();
    ahead_hashed_ = 0;
    if (input_hash_) input_hash_->reset();
  }

  // The input ended: its report goes to the sink.
  void end_input(FileEnd end) {
    if (!tallying()) return;
    switch (end) {
      case FileEnd::kWriteFailed:
        outcome_ = InputStatus::kStopped;
        reason_ = "Could not write the output file: " + output_.status().error().message();
        break;
      case FileEnd::kStopped:
        outcome_ = InputStatus::kStopped;
        reason_ = "Run stopped";
        break;
      case FileEnd::kTrialEnd:
        outcome_ = InputStatus::kStopped;
        reason_ = "Sample of " + std::to_string(kTrialRecordLimit) + " records written";
        break;
      case FileEnd::kNext:
      case FileEnd::kDeclined:
        break;
    }
    input_.status = outcome_;
    input_.reason = outcome_ == InputStatus::kConverted ? std::string() : reason_;
    input_.records = state_.record_counter - records_before_;
    input_.skipped_records = tally_.skipped_records;
    input_.cut_records = tally_.cut_records;
    if (tally_.has_call) {
      input_.first_call = FileTally::call_text(tally_.first_call);
      input_.last_call = FileTally::call_text(tally_.last_call);
    }
    if (outcome_ == InputStatus::kConverted && input_hash_) {
      // A digest only of the whole file as it was opened: not of one that grew meanwhile.
      if (!ahead_sha256_.empty()) {
        if (ahead_hashed_ == converted_length_) input_.input_sha256 = ahead_sha256_;
      } else if (hashed_bytes_ == converted_length_) {
        input_.input_sha256 = input_hash_->finish();
      }
    }
    input_.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - input_started_).count();
    options_.report->on_input(input_);
  }

  // Emptying the output must never destroy an input: the same file under another spelling or
  // through a link counts too.
  bool output_is_an_input(const std::string& output_path, const std::string& folder,
                          const std::vector<std::size_t>& chosen) const {
    platform::FileId out;
    if (options_.output_to_stdout) {
      const Result<platform::FileStatus> st = platform::status(platform::kStdout);
      if (!st.ok() || st->kind != platform::FileKind::kRegular) return false;
      out = st->id;
    } else {
      out = identify(output_path);
    }
    for (const std::size_t index : chosen) {
      if (platform::same_file(identify(folder + selection_.item_name(index)), out)) return true;
    }
    return false;
  }

  // Whether the output exists as a regular file that passes the data file test: emptying it
  // would lose data that was most likely meant as an input. Pipes and devices are never opened.
  bool output_is_a_data_file(const std::string& output_path) const {
    const Result<platform::FileStatus> st = platform::status(output_path);
    if (!st.ok() || st->kind != platform::FileKind::kRegular) return false;
    // Done with before the run's reader opens anything: the two can share the window.
    DataFileReader reader(options_.buffers ? options_.buffers->reader() : nullptr);
    return reader.open(output_path).ok() && DataFileScanner::is_data_file(reader) &&
           !reader.failure();
  }

  bool go_on_after_not_data_file(const std::string& path) {
    outcome_ = InputStatus::kSkipped;
    reason_ = "The Input File Selected is not AXE Data File";
    const bool yes = ask(QuestionKind::kNotDataFile,
                         "The Input File Selected is not AXE Data File. Do you want to continue "
                         "with other Files?",
                         path, {});
    if (yes) ++result_.skipped_files;
    return yes;
  }

  bool go_on_after_unreadable(const std::string& name, const std::string& path,
                              std::error_code error, std::int64_t failed_at = -1) {
    outcome_ = InputStatus::kUnreadable;
    reason_ = "Cannot read the input file" +
              (failed_at >= 0 ? " at byte " + std::to_string(failed_at) : std::string()) + ": " +
              error.message();
    const bool yes = ask(QuestionKind::kUnreadable,
                         "The Input File " + name + " could not be read (" + error.message() +
                             "). Do you want to continue with other Files?",
                         path, error, failed_at);
    if (yes) ++result_.skipped_files;
    return yes;
  }

  RunEnd end_declined() {
    ++result_.skipped_files;
    reader_.close();
    if (!close_output().ok()) return end_write_failed(selection_.output_path());
    return RunEnd::kDeclined;
  }

  // A run that converted no file at all (every input skipped) leaves a previous output as it was
  // rather than replace it with nothing.
  Status close_output() {
    if (options_.replace_output_when_done && converted_files_ == 0) {
      output_.abandon();
      return {};
    }
    return output_.close();
  }

  RunEnd end_write_failed(const std::string& output_path, std::error_code error = {}) {
    if (!error) error = output_.status().error();
    output_.abandon();
    // An input reported converted before its output failed is not converted after all.
    if (tallying()) {
      options_.report->on_output_failed("Could not write the output file: " + error.message());
    }
    reader_.close();
    message(MessageKind::kOutputWriteFailed, Icon::kCritical,
            "Could not write the output file " + output_path + ": " + error.message(), output_path);
    return RunEnd::kOutputFailed;
  }

  RunEnd end_trial(const std::string& output_path) {
    state_.trial = false;
    reader_.close();
    if (!close_output().ok()) return end_write_failed(output_path);
    clear_display();
    observer_.open_viewer(output_path);
    return RunEnd::kTrialEnd;
  }

  // Asked by the user between blocks or while the output waited; the stop itself happens at the
  // next record, file or scan end, so the output always ends after a whole line.
  void check_stop() {
    if (observer_.stop_requested()) stop_ = true;
  }

  RunEnd end_stopped(const std::string& output_path) {
    reader_.close();
    if (!close_output().ok()) return end_write_failed(output_path);
    message(MessageKind::kStopped, Icon::kInformation,
            "Run stopped: " + std::to_string(state_.record_counter) + " Records Written from " +
                std::to_string(result_.files) + " Files");
    clear_display();
    return RunEnd::kStopped;
  }

  bool ask(QuestionKind kind, std::string text, const std::string& path, std::error_code error,
           std::int64_t failed_at = -1) {
    return observer_.ask_yes_no(Question{kind, std::move(text), path, error, failed_at});
  }

  void message(MessageKind kind, Icon icon, std::string text, std::string path = {}) {
    observer_.show_message(Message{kind, icon, std::move(text), std::move(path)});
  }

  void set_progress(int percent) {
    shown_progress_ = percent;
    observer_.set_progress(percent);
  }

  void clear_display() {
    observer_.clear_status();
    set_progress(0);
  }

  RunState& state_;
  const SelectionView& selection_;
  RunObserver& observer_;
  const RunOptions& options_;
  RunResult result_;
  OutputWriter output_;
  DataFileReader reader_;
  LineEncoder encoder_;                        // the rows of the current file
  std::unique_ptr<char[]> long_rows_;          // a block's rows when the writer cannot take them
  ConversionBuffers conversion_buffers_;       // for large files, when the caller keeps none
  std::uint64_t block_offset_ = 0;             // the current block's 0-based position in its file
  std::uint64_t in_block_ = 0;                 // the next record's offset in its block
  std::uint64_t bytes_per_percent_ = 1;        // of the current file, for the progress bar
  std::optional<std::uint64_t> ahead_length_;  // the length of a file decoded ahead, meanwhile
  ProgressBy progress_by_ = ProgressBy::kBlocks;
  int shown_progress_ = 0;
  int blocks_since_stop_check_ = 0;
  bool trial_limit_reached_ = false;
  bool stop_ = false;
  std::int64_t converted_files_ = 0;  // files that passed the data file test and were scanned
  // The report of the current input, while it is converted.
  std::unique_ptr<platform::Sha256> input_hash_, output_hash_;  // with checksums only
  InputReport input_;
  FileTally tally_;
  std::chrono::steady_clock::time_point input_started_;
  std::int64_t records_before_ = 0;
  InputStatus outcome_ = InputStatus::kStopped;
  std::string reason_;
  std::uint64_t converted_length_ = 0;
  std::uint64_t hashed_bytes_ = 0;                // of the file converted here
  std::optional<std::uint64_t> parallel_hashed_;  // the same, when its blocks were decoded apart
  std::string ahead_sha256_;                      // of a file decoded ahead
  std::uint64_t ahead_hashed_ = 0;
};

}  // namespace

RunBuffers::RunBuffers() = default;
RunBuffers::~RunBuffers() = default;

char* RunBuffers::output() {
  if (!output_) output_ = std::make_unique_for_overwrite<char[]>(OutputWriter::kBufferSize);
  return output_.get();
}

ConversionBuffers& RunBuffers::conversion() {
  if (!conversion_) conversion_ = std::make_unique<ConversionBuffers>();
  return *conversion_;
}

char* RunBuffers::reader() {
  if (!reader_) reader_ = std::make_unique_for_overwrite<char[]>(DataFileReader::kBufferBytes);
  return reader_.get();
}

std::string_view status_name(InputStatus status) {
  switch (status) {
    case InputStatus::kConverted:
      return "converted";
    case InputStatus::kSkipped:
      return "skipped";
    case InputStatus::kUnreadable:
      return "unreadable";
    case InputStatus::kStopped:
      return "stopped";
    case InputStatus::kUpToDate:
      return "up-to-date";
  }
  return "stopped";
}

RunResult extract(RunState& state, const SelectionView& selection, RunObserver& observer,
                  const RunOptions& options) {
  return ExtractionRun(state, selection, observer, options).run();
}

RunResult show_sample(RunState& state, const SelectionView& selection, RunObserver& observer,
                      const RunOptions& options) {
  state.trial = true;
  return extract(state, selection, observer, options);
}

}  // namespace vemo
