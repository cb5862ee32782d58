#include "run/report_file.h"

#include <cctype>
#include <cstdio>

#include "platform/platform.h"

namespace vemo {

namespace report_json {

std::string quote(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  const auto escape_byte = [&](unsigned char c) {
    out += "\\u00";
    out += kHex[c >> 4];
    out += kHex[c & 15];
  };
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20 || c == 0x7f) {
      escape_byte(c);
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else {
      // A whole, shortest UTF-8 sequence goes through as it is.
      const std::size_t n = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 ? 2 : 0;
      bool whole = n > 0 && c < 0xf5 && i + n <= text.size();
      for (std::size_t k = 1; whole && k < n; ++k) {
        whole = (static_cast<unsigned char>(text[i + k]) & 0xc0) == 0x80;
      }
      if (whole && n >= 3) {
        const auto c1 = static_cast<unsigned char>(text[i + 1]);
        whole = !(c == 0xe0 && c1 < 0xa0) && !(c == 0xed && c1 >= 0xa0) &&
                !(c == 0xf0 && c1 < 0x90) && !(c == 0xf4 && c1 >= 0x90);
      }
      if (whole) {
        out.append(text.substr(i, n));
        i += n;
      } else {
        escape_byte(c);
        ++i;
      }
    }
  }
  out += '"';
  return out;
}

std::string time_text(std::int64_t ns) {
  std::int64_t seconds = ns / 1000000000;
  std::int64_t fraction = ns % 1000000000;
  if (fraction < 0) {
    fraction += 1000000000;
    --seconds;
  }
  std::int64_t days = seconds / 86400;
  std::int64_t in_day = seconds % 86400;
  if (in_day < 0) {
    in_day += 86400;
    --days;
  }
  // Days since 1970-01-01 as a civil date (proleptic Gregorian).
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2);
  char text[40];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%09lldZ",
                static_cast<long long>(year), static_cast<long long>(month),
                static_cast<long long>(day), static_cast<long long>(in_day / 3600),
                static_cast<long long>(in_day / 60 % 60), static_cast<long long>(in_day % 60),
                static_cast<long long>(fraction));
  return text;
}

std::string entry(const InputReport& r) {
  std::string line = "{\"input\":" + quote(r.input) + ",\"path\":" + quote(r.path);
  if (r.has_status) {
    line += ",\"size\":" + std::to_string(r.size) + ",\"mtime\":" + quote(time_text(r.mtime_ns));
  }
  line += ",\"status\":" + quote(status_name(r.status));
  if (r.status != InputStatus::kConverted && r.status != InputStatus::kUpToDate) {
    line += ",\"reason\":" + quote(r.reason);
  }
  if (r.status != InputStatus::kUpToDate) {
    line += ",\"records\":" + std::to_string(r.records) +
            ",\"skipped_records\":" + std::to_string(r.skipped_records) +
            ",\"cut_records\":" + std::to_string(r.cut_records);
    line += ",\"first_call\":" + (r.first_call.empty() ? "null" : quote(r.first_call));
    line += ",\"last_call\":" + (r.last_call.empty() ? "null" : quote(r.last_call));
  }
  if (!r.output.empty()) {
    line +=
        ",\"output\":" + quote(r.output) + ",\"output_bytes\":" + std::to_string(r.output_bytes);
  }
  if (!r.input_sha256.empty()) line += ",\"input_sha256\":" + quote(r.input_sha256);
  if (!r.output_sha256.empty()) line += ",\"output_sha256\":" + quote(r.output_sha256);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.6f", r.seconds);
  line += ",\"seconds\":";
  line += seconds;
  line += '}';
  return line;
}

}  // namespace report_json

namespace {

// Checks that a line is one JSON object and takes its top-level members, values as written
// (strings with their quotes).
class LineParser {
 public:
  enum class Result { kObject, kCut, kBad };

  explicit LineParser(std::string_view s) : s_(s) {}

  Result parse(std::map<std::string_view, std::string_view>& members) {
    space();
    // An empty line is no entry cut short: at least its "{" was written.
    if (i_ == s_.size()) return Result::kBad;
    if (!object(&members)) return cut_ ? Result::kCut : Result::kBad;
    space();
    return i_ == s_.size() ? Result::kObject : Result::kBad;
  }

 private:
  bool at_end() {
    if (i_ < s_.size()) return false;
    cut_ = true;
    return true;
  }
  void space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r')) ++i_;
  }
  bool take(char c) {
    space();
    if (at_end() || s_[i_] != c) return false;
    ++i_;
    return true;
  }
  bool string() {
    if (!take('"')) return false;
    for (;;) {
      if (at_end()) return false;
      const char c = s_[i_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c == '\\') {
        if (at_end()) return false;
        const char e = s_[i_++];
        if (e == 'u') {
          for (int k = 0; k < 4; ++k) {
            if (at_end()) return false;
            if (!std::isxdigit(static_cast<unsigned char>(s_[i_++]))) return false;
          }
        } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
          return false;
        }
      }
    }
  }
  bool number() {
    const std::size_t start = i_;
    if (i_ < s_.size() && s_[i_] == '-') ++i_;
    while (i_ < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[i_])) || s_[i_] == '.' ||
                              s_[i_] == 'e' || s_[i_] == 'E' || s_[i_] == '+' || s_[i_] == '-')) {
      ++i_;
    }
    if (i_ == s_.size()) cut_ = true;
    return i_ > start && std::isdigit(static_cast<unsigned char>(s_[i_ - 1]));
  }
  bool word(std::string_view w) {
    for (const char c : w) {
      if (at_end()) return false;
      if (s_[i_++] != c) return false;
    }
    return true;
  }
  bool value() {
    space();
    if (at_end()) return false;
    switch (s_[i_]) {
      case '"':
        return string();
      case '{':
        return object(nullptr);
      case '[': {
        ++i_;
        if (take(']')) return true;
        if (cut_) return false;
        do {
          if (!value()) return false;
        } while (take(','));
        return !cut_ && take(']');
      }
      case 't':
        return word("true");
      case 'f':
        return word("false");
      case 'n':
        return word("null");
      default:
        return number();
    }
  }
  bool object(std::map<std::string_view, std::string_view>* members) {
    if (!take('{')) return false;
    if (take('}')) return true;
    if (cut_) return false;
    do {
      space();
      const std::size_t key_start = i_;
      if (!string()) return false;
      const std::string_view key = s_.substr(key_start + 1, i_ - key_start - 2);
      if (!take(':')) return false;
      space();
      const std::size_t value_start = i_;
      if (!value()) return false;
      if (members) (*members)[key] = s_.substr(value_start, i_ - value_start);
    } while (take(','));
    return !cut_ && take('}');
  }

  std::string_view s_;
  std::size_t i_ = 0;
  bool cut_ = false;
};

std::string unquoted(std::string_view v) {
  return v.size() >= 2 && v.front() == '"' ? std::string(v.substr(1, v.size() - 2)) : std::string();
}

}  // namespace

ReportFile::~ReportFile() {
  if (fd_ >= 0) (void)platform::close(fd_);
}

bool ReportFile::open(const std::string& path, std::string& error) {
  path_ = path;
  const Result<int> opened = platform::open_for_append(path);
  if (!opened.ok()) {
    fd_ = -1;
    error = "Cannot create the report " + path + ": " + opened.error().message();
    return false;
  }
  fd_ = *opened;
  const Result<platform::FileStatus> st = platform::status(fd_);
  if (st.ok() && st->kind != platform::FileKind::kRegular) {
    error = "The report " + path + " is not a regular file";
    return false;
  }
  if (const Status locked = platform::lock_file(fd_); !locked.ok()) {
    if (locked.error() != std::errc::resource_unavailable_try_again) {
      error = "Cannot lock the report " + path + ": " + locked.error().message();
    } else if (const auto pid = platform::lock_holder(st->id)) {
      error = path + " is in use by process " + std::to_string(*pid);
    } else {
      error = path + " is in use by another process";
    }
    return false;
  }
  return read_entries(error);
}

void ReportFile::open_stderr() {
  to_stderr_ = true;
  fd_ = -1;
}

bool ReportFile::reopen(std::string& error) {
  if (to_stderr_) return true;
  if (fd_ >= 0) (void)platform::close(fd_);
  fd_ = -1;
  // What the old file said stays known: a rotated report starts empty.
  needs_line_end_ = false;
  return open(path_, error);
}

bool ReportFile::read_entries(std::string& error) {
  std::string pending;
  char buffer[65536];
  std::size_t line_number = 0;
  const auto take_line = [&](std::string_view line) {
    ++line_number;
    std::map<std::string_view, std::string_view> m;
    switch (LineParser(line).parse(m)) {
      case LineParser::Result::kCut:
        // An entry cut short by a crash before the entries after it: nothing was reported.
        return true;
      case LineParser::Result::kBad:
        break;
      case LineParser::Result::kObject:
        if (m.count("run")) return true;
        if (m.count("input") && m.count("path") && m.count("status")) {
          if (m.count("size") && m.count("mtime")) {
            const std::string k = std::string(m["path"]) + ' ' + std::string(m["size"]) + ' ' +
                                  std::string(m["mtime"]);
            const std::string status = unquoted(m["status"]);
            if (status == "converted") {
              converted_[k] = m.count("input_sha256") ? unquoted(m["input_sha256"]) : "";
              failed_.erase(k);
            } else if (status == "skipped" || status == "unreadable") {
              failed_.insert(k);
            }
          }
          return true;
        }
        break;
    }
    error = path_ + ":" + std::to_string(line_number) + ": not a report entry";
    return false;
  };
  for (;;) {
    const Result<std::size_t> n = platform::read_some(fd_, buffer, sizeof buffer);
    if (!n.ok()) {
      error = "Cannot read the report " + path_ + ": " + n.error().message();
      return false;
    }
    if (*n == 0) break;
    pending.append(buffer, *n);
    std::size_t start = 0;
    for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
      if (!take_line(std::string_view(pending).substr(start, end - start))) return false;
    }
    pending.erase(0, start);
  }
  // What follows the last line end was cut short while it was written.
  needs_line_end_ = !pending.empty();
  return true;
}

bool ReportFile::append(std::string_view line, bool sync, std::string& error) {
  std::string text;
  text.reserve(line.size() + 2);
  if (needs_line_end_) text += '\n';
  text.append(line);
  text += '\n';
  if (to_stderr_) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    return true;
  }
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const Result<std::size_t> n = platform::write_some(fd_, p, left);
    if (!n.ok() || *n == 0) {
      error = "Cannot write the report " + path_ + ": " +
              (!n.ok() ? n.error().message() : std::string("nothing written"));
      return false;
    }
    p += *n;
    left -= *n;
  }
  needs_line_end_ = false;
  if (sync) {
    if (const Status synced = platform::sync(fd_); !synced.ok()) {
      error = "Cannot write the report " + path_ + ": " + synced.error().message();
      return false;
    }
  }
  return true;
}

std::string ReportFile::key(const std::string& path, std::uint64_t size, std::int64_t mtime_ns) {
  return report_json::quote(path) + ' ' + std::to_string(size) + ' ' +
         report_json::quote(report_json::time_text(mtime_ns));
}

const std::string* ReportFile::converted(const std::string& key) const {
  const auto at = converted_.find(key);
  return at == converted_.end() ? nullptr : &at->second;
}

void ReportFile::note(const InputReport& r) {
  if (!r.has_status) return;
  const std::string k = key(r.path, r.size, r.mtime_ns);
  if (r.status == InputStatus::kConverted) {
    converted_[k] = r.input_sha256;
    failed_.erase(k);
  } else if (r.status == InputStatus::kSkipped || r.status == InputStatus::kUnreadable) {
    failed_.insert(k);
  }
}

}  // namespace vemo
