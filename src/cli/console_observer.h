#pragma once

#include <chrono>
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
    bool quiet = false;            // no progress, no summary
    bool stop_on_invalid = false;  // answer No to "continue with other files?"
    bool show_progress = false;    // draw the progress line (standard error is a terminal)
    bool force = false;            // replace an output file that is an AXE data file
  };

  ConsoleObserver(std::FILE* err, Settings settings) : err_(err), settings_(settings) {}
  ~ConsoleObserver() override { clear_progress_line(); }

  void set_file_status(const FileStatus& status) override;
  void clear_status() override;
  void set_progress(int percent) override;
  bool ask_yes_no(const Question& question) override;
  void show_message(const Message& message) override;
  void open_viewer(const std::string&) override {}

 private:
  void print(const std::string& line);
  void draw_progress_line();
  void clear_progress_line();

  std::FILE* err_;
  Settings settings_;
  std::string files_;  // "i/n"
  std::string name_;   // quoted for the terminal
  int percent_ = 0;
  bool line_drawn_ = false;
  std::chrono::steady_clock::time_point last_draw_{};
};

}  // namespace vemo
