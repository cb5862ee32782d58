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

// "dddd-dd-dd,dd:dd:dd".
bool is_call(const char* p) noexcept {
  static constexpr char kShape[] = "dddd-dd-dd,dd:dd:dd";
  for (std::size_t i = 0; i < FileTally::kCallChars; ++i) {
    if (kShape[i] == 'd' ? static_cast<unsigned char>(p[i] - '0') > 9 : p[i] != kShape[i]) {
      return false;
    }
  }
  return true;
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
  while (p < end) {
    const auto left = static_cast<std::size_t>(end - p);
    if (left >= kCallChars && is_call(p)) keep_call(*this, p);
    const void* line_end = std::memchr(p, '\n', left);
    if (line_end == nullptr) break;
    p = static_cast<const char*>(line_end) + 1;
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
