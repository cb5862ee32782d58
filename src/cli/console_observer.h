#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "run/run_observer.h"

namespace vemo {

// Reports a run on the console: messages on standard error prefixed with the program's name,
// questions answered from the options, and a one-line progress display when standard error is a
// terminal.
class ConsoleObserver final : public RunObserver {
 public:
  struct Settings {
    bool quiet = false;             // no progress, no summary
    bool stop_on_invalid = false;   // answer No to "continue with other files?"
    bool show_progress = false;     // draw the progress line (standard error is a terminal)
    bool force = false;             // replace an output file that is an AXE data file
    std::uint64_t total_bytes = 0;  // of all inputs, for the progress line; 0 when unknown
    // Columns of the terminal: the progress line stays narrower, its name shortened in the
    // middle, so that it never wraps (a wrapped line leaves a copy at every redraw). 0: unknown.
    std::size_t width = 0;
    bool summary = true;  // print the summary (not when the report takes its place)
  };

  ConsoleObserver(std::FILE* err, Settings settings) : err_(err), settings_(settings) {}
  ~ConsoleObserver() override { clear_progress_line(); }

  void set_file_status(const FileStatus& status) override;
  void clear_status() override;
  void set_progress(int percent) override;
  bool ask_yes_no(const Question& question) override;
  void show_message(const Message& message) override;
  void open_viewer(const std::string&) override {}
  void set_bytes_read(std::uint64_t bytes) override;

  // For runs of one file each over a list of n (one output per input): the next run's file is
  // number i of n, and its own summary is left for the caller to print once for all.
  void set_file_number(std::size_t i, std::size_t n);
  // Prints the summary of such runs, unless quiet.
  void print_summary(const std::string& text);

 private:
  void print(const std::string& line);
  void draw_progress_line();
  void clear_progress_line();
  std::string fitted_name(std::size_t room) const;

  std::FILE* err_;
  Settings settings_;
  std::string files_;      // "i/n"
  std::string name_;       // quoted for the terminal
  bool stream_ = false;    // the current file is standard input: no percent
  bool numbered_ = false;  // set_file_number() numbers the files, not the run
  int percent_ = 0;
  std::uint64_t done_bytes_ = 0;     // of the files before the current one
  std::uint64_t current_bytes_ = 0;  // of the current file
  unsigned byte_reports_ = 0;
  bool line_drawn_ = false;
  std::chrono::steady_clock::time_point last_draw_{};
};

}  // namespace vemo
