#include "cli/console_observer.h"

#include <string_view>

#include "cli/quote.h"

namespace vemo {

namespace {
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

// Columns a text takes: one per character (the names are quoted, so no control characters).
std::size_t columns(std::string_view text) {
  std::size_t n = 0;
  for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}
}  // namespace

void ConsoleObserver::set_file_status(const FileStatus& status) {
  percent_ = 0;
  done_bytes_ += current_bytes_;
  current_bytes_ = 0;
  // The number and the name are for the progress line only: not made for each file without it.
  if (!settings_.show_progress) return;
  if (!numbered_) files_ = std::to_string(status.number) + "/" + std::to_string(status.count);
  name_ = quote_name(status.name);
  stream_ = status.name == "-";
  if (!name_.empty()) draw_progress_line();
}

void ConsoleObserver::clear_status() {
  if (!numbered_) files_.clear();
  name_.clear();
  stream_ = false;
  percent_ = 0;
  done_bytes_ += current_bytes_;
  current_bytes_ = 0;
}

void ConsoleObserver::set_file_number(std::size_t i, std::size_t n) {
  numbered_ = true;
  files_ = std::to_string(i) + "/" + std::to_string(n);
}

void ConsoleObserver::print_summary(const std::string& text) {
  if (!settings_.quiet && settings_.summary) print(text);
}

void ConsoleObserver::set_bytes_read(std::uint64_t bytes) {
  current_bytes_ = bytes;
  // A stream moves by bytes only; a file's line is redrawn as its percentage moves.
  if (!settings_.show_progress || name_.empty() || !stream_ || ++byte_reports_ % 16 != 0) return;
  if (std::chrono::steady_clock::now() - last_draw_ >= kRedrawInterval) draw_progress_line();
}

void ConsoleObserver::set_progress(int percent) {
  percent_ = percent;
  if (!settings_.show_progress || name_.empty()) return;
  const auto now = std::chrono::steady_clock::now();
  if (percent == 100 || now - last_draw_ >= kRedrawInterval) draw_progress_line();
}

bool ConsoleObserver::ask_yes_no(const Question& question) {
  switch (question.kind) {
    case QuestionKind::kNotDataFile:
      print("The Input File Selected is not AXE Data File: " + quote_name(question.path));
      break;
    case QuestionKind::kUnreadable:
      print("Cannot read the input file " + quote_name(question.path) +
            (question.failed_at >= 0 ? " at byte " + std::to_string(question.failed_at) : "") +
            ": " + question.error.message());
      break;
    case QuestionKind::kOutputIsDataFile:
      if (settings_.force) return true;
      print(quote_name(question.path) +
            " is an AXE data file; not replacing it (use --force to replace it)");
      return false;
  }
  return !settings_.stop_on_invalid;
}

void ConsoleObserver::show_message(const Message& message) {
  if (message.kind == MessageKind::kSummary &&
      (settings_.quiet || numbered_ || !settings_.summary)) {
    return;
  }
  // The text names its file raw: print it quoted.
  const std::size_t at = message.path.empty() ? std::string::npos : message.text.find(message.path);
  if (at == std::string::npos) {
    print(message.text);
    return;
  }
  std::string text = message.text;
  text.replace(at, message.path.size(), quote_name(message.path));
  print(text);
}

void ConsoleObserver::print(const std::string& line) {
  clear_progress_line();
  std::fprintf(err_, "vemo-convert: %s\n", line.c_str());
  std::fflush(err_);
}

// The name cut to `room` columns, its start and end kept around an ellipsis.
std::string ConsoleObserver::fitted_name(std::size_t room) const {
  const std::size_t have = columns(name_);
  if (have <= room) return name_;
  if (room < 2) return "\xE2\x80\xA6";  // "…"
  // Byte offsets of the first `head` and the last `tail` characters.
  const std::size_t head = (room - 1) / 2;
  const std::size_t tail = room - 1 - head;
  std::size_t head_end = 0;
  for (std::size_t seen = 0; head_end < name_.size(); ++head_end) {
    if ((static_cast<unsigned char>(name_[head_end]) & 0xC0) != 0x80 && seen++ == head) break;
  }
  std::size_t tail_start = name_.size();
  for (std::size_t seen = 0; tail_start > 0 && seen < tail;) {
    --tail_start;
    seen += (static_cast<unsigned char>(name_[tail_start]) & 0xC0) != 0x80;
  }
  return name_.substr(0, head_end) + "\xE2\x80\xA6" + name_.substr(tail_start);
}

void ConsoleObserver::draw_progress_line() {
  if (!settings_.show_progress || settings_.quiet) return;
  std::string rest;
  if (!stream_) rest.append(" ").append(std::to_string(percent_)).append("%");
  rest.append(", ").append(std::to_string(done_bytes_ + current_bytes_));
  if (settings_.total_bytes > 0) rest.append(" of ").append(std::to_string(settings_.total_bytes));
  rest.append(" bytes");
  const std::string head = "file " + files_ + " ";
  std::string name = name_;
  if (settings_.width > 0) {
    // One column spare: a line that fills the last column wraps on some terminals.
    const std::size_t used = columns(head) + columns(rest) + 1;
    name = fitted_name(settings_.width > used ? settings_.width - used : 0);
  }
  const std::string line = "\r\033[K" + head + name + rest;
  std::fputs(line.c_str(), err_);
  std::fflush(err_);
  line_drawn_ = true;
  last_draw_ = std::chrono::steady_clock::now();
}

void ConsoleObserver::clear_progress_line() {
  if (!line_drawn_) return;
  std::fputs("\r\033[K", err_);
  std::fflush(err_);
  line_drawn_ = false;
}

}  // namespace vemo
