#include "core/file_tally.h"

#include <algorithm>
#include <cstring>

#include "core/data_file_scanner.h"
#include "core/record_decoder.h"
#include "core/record_layout.h"

namespace vemo {
namespace {

void keep_call(FileTally& t, const char* call) noexcept {
  if (!t.has_call) {
    std::memcpy(t.first_call, call, FileTally::kCallChars);
    std::memcpy(t.last_call, call, FileTally::kCallChars);
    t.has_call = true;
    return;
  }
  // The columns have fixed widths and zero-padded digits, so text order is time order.
  if (std::memcmp(call, t.first_call, FileTally::kCallChars) < 0) {
    std::memcpy(t.first_call, call, FileTally::kCallChars);
  } else if (std::memcmp(call, t.last_call, FileTally::kCallChars) > 0) {
    std::memcpy(t.last_call, call, FileTally::kCallChars);
  }
}

bool digits_at(const char* p, std::string_view shape) noexcept {
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == 'd' ? static_cast<unsigned char>(p[i] - '0') > 9 : p[i] != shape[i]) {
      return false;
    }
  }
  return true;
}

// The call date and time of a line in [p, end): the first "yyyy-mm-dd" followed by the
// separator of its format and "hh:mm:ss". The columns before the date (file, offset) hold no
// such text, and the texts after it are too short to; a cut record's blank date has none.
bool find_call(const char* p, const char* end, char* call) noexcept {
  static constexpr std::string_view kJsonTime = "\",\"time\":\"";
  for (const char* q = p; q < end;) {
    const auto* dash =
        static_cast<const char*>(std::memchr(q, '-', static_cast<std::size_t>(end - q)));
    if (dash == nullptr) return false;
    q = dash + 1;
    if (dash - p < 4 || end - dash < 6 || !digits_at(dash - 4, "dddd-dd-dd")) continue;
    const char* date = dash - 4;
    const char* sep = date + 10;
    std::size_t sep_size = 1;
    if (end - sep >= static_cast<std::ptrdiff_t>(kJsonTime.size()) &&
        std::string_view(sep, kJsonTime.size()) == kJsonTime) {
      sep_size = kJsonTime.size();
    } else if (sep >= end || (*sep != ',' && *sep != '\t')) {
      return false;
    }
    const char* time = sep + sep_size;
    if (end - time < 8 || !digits_at(time, "dd:dd:dd")) return false;
    std::memcpy(call, date, 10);
    call[10] = ',';
    std::memcpy(call + 11, time, 8);
    return true;
  }
  return false;
}

}  // namespace

void FileTally::add_block(std::string_view block) noexcept {
  DataFileScanner::for_each_record(block, [&](std::string_view record, double length) {
    add_record(record, length);
    return true;
  });
}

void FileTally::add_record(std::string_view record, double length) noexcept {
  // Only the block's end cuts a record shorter than its length says.
  if (length > static_cast<double>(record.size())) ++cut_records;
  if (layout_for_length(length) == nullptr) ++skipped_records;
}

void FileTally::add_lines(std::string_view lines) noexcept {
  const char* p = lines.data();
  const char* const end = p + lines.size();
  char call[kCallChars];
  while (p < end) {
    const auto* line_end =
        static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const char* stop = line_end ? line_end : end;
    if (find_call(p, stop, call)) keep_call(*this, call);
    if (line_end == nullptr) break;
    p = line_end + 1;
  }
}

void FileTally::add(const FileTally& other) noexcept {
  skipped_records += other.skipped_records;
  cut_records += other.cut_records;
  if (other.has_call) {
    keep_call(*this, other.first_call);
    keep_call(*this, other.last_call);
  }
}

std::string FileTally::call_text(const char (&call)[kCallChars]) {
  std::string text(call, kCallChars);
  text[10] = ' ';
  return text;
}

}  // namespace vemo
