#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "run/input_report.h"

namespace vemo {

// The text of JSON strings and report lines.
namespace report_json {
// `text` as a JSON string, quotes included. Bytes that are not UTF-8 are written as \u00XX, so
// every line is valid JSON whatever the file names.
std::string quote(std::string_view text);
// A modification time as "yyyy-mm-ddThh:mm:ss.nnnnnnnnnZ" (UTC).
std::string time_text(std::int64_t ns_since_1970);
// One input's report as a JSON object, without a line end.
std::string entry(const InputReport& report);
}  // namespace report_json

// The report as a ledger: a JSON Lines file of one entry per input, appended whole and synced,
// locked while a process writes it. What its entries say is read back so that a later run can
// tell which inputs were converted, and which failed, in the state they are in now.
class ReportFile {
 public:
  ReportFile() = default;
  ~ReportFile();
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  // Opens or creates the report, locks it and reads its entries. False with the reason, in
  // words fit for the user, when it cannot be created or read, another process holds it, or a
  // line that is not a report entry stands in it (named by file and line). A last line cut short
  // by a crash is left out, and the next entry starts on a fresh line.
  bool open(const std::string& path, std::string& error);
  // Writes to standard error instead: nothing to read, lock or sync.
  void open_stderr();
  // Closes and opens the same path again (after the file was rotated), reading it afresh.
  bool reopen(std::string& error);

  // Appends one line (a line end is added) with one write; synced when `sync`. False with the
  // reason when the write failed.
  bool append(std::string_view line, bool sync, std::string& error);

  // The key of an input's state for the ledger: its absolute path, size and modification time.
  static std::string key(const std::string& path, std::uint64_t size, std::int64_t mtime_ns);
  // Whether an entry says the input in this state was converted: its input_sha256 (empty when
  // the entry had none) then; nothing otherwise.
  const std::string* converted(const std::string& key) const;
  // Whether an entry says the input in this state failed (skipped or unreadable).
  bool failed(const std::string& key) const { return failed_.count(key) > 0; }
  // Notes an entry written now, as if read back.
  void note(const InputReport& report);

  const std::string& path() const { return path_; }

 private:
  bool read_entries(std::string& error);

  int fd_ = -1;
  bool to_stderr_ = false;
  bool needs_line_end_ = false;  // the file ends in a cut line: the next entry starts a new one
  std::string path_;
  std::map<std::string, std::string> converted_;  // key: input_sha256 or ""
  std::set<std::string> failed_;
};

}  // namespace vemo
