#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace vemo {

enum class Icon { kCritical, kInformation };

// What a question is about, so that a face without dialogs (the command line) can answer and
// word it in its own way. `text` is always the full question as the window shows it.
enum class QuestionKind {
  kNotDataFile,       // the file failed the data file test
  kUnreadable,        // the file could not be opened or read
  kOutputIsDataFile,  // the existing output file passes the data file test
};

struct Question {
  QuestionKind kind;
  std::string text;
  std::string path;       // the data file's full path (for kOutputIsDataFile the output path)
  std::error_code error;  // for kUnreadable: why the file could not be read
  // For kUnreadable after part of the file was converted: the 0-based offset of the byte whose
  // read failed; -1 when the file could not be read at all.
  std::int64_t failed_at = -1;
  bool yes_is_default = true;
};

enum class MessageKind {
  kNoSelection,
  kOutputIsInput,
  kOutputCannotCreate,
  kOutputWriteFailed,
  kNoOutputName,  // the output path is empty
  kSummary,
  kStopped,           // the user stopped the run: what was written so far
  kInputChangedSize,  // a file's length changed while it was converted (the window shows none)
};

struct Message {
  MessageKind kind;
  Icon icon;
  std::string text;
  std::string path;  // the file the text names, when it names one (a face may quote it)
};

// The file a run is at: the `number`th (from 1) of the `count` selected, by its name in the
// folder.
struct FileStatus {
  std::int64_t number = 0;
  std::int64_t count = 0;
  std::string name;
};

// How a run reports and asks. The window shows dialogs; the command line prints and answers
// from its options.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // The run starts on a file. Each face words it in its own way (the window's panels show
  // "2/5" and "Processing NAME").
  virtual void set_file_status(const FileStatus& status) = 0;
  // The run is over: no file is shown any more.
  virtual void clear_status() = 0;
  // A whole percentage from 0 to 100.
  virtual void set_progress(int percent) = 0;
  // A yes/no question; Yes is the default unless the question says otherwise. Returns true for
  // Yes.
  virtual bool ask_yes_no(const Question& question) = 0;
  virtual void show_message(const Message& message) = 0;
  // Opens the output file in a text viewer without waiting for it. The path is one argument,
  // never a command line to split.
  virtual void open_viewer(const std::string& path) = 0;
  // Asked every few blocks and while the output waits for a slow reader, so that a window can
  // take its pending events and keep answering its desktop. True asks the run to stop; it then
  // ends after a whole line.
  virtual bool stop_requested() { return false; }
  // How many bytes of the current file have been converted; given now and then during a file and
  // once at its end. A face that shows bytes rather than percent (a stream has no length) uses it.
  virtual void set_bytes_read(std::uint64_t) {}
};

}  // namespace vemo
