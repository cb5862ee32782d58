#include "core/record_decoder.h"

#include <cstring>

#include "core/record_layout.h"
#include "core/val.h"

namespace vemo {
namespace {

// Lengths 97..119 map straight to their layout; every other slot is empty.
constexpr int kFirstLength = 97;
constexpr int kLastLength = 119;

struct LayoutIndex {
  const RecordLayout* by_length[kLastLength - kFirstLength + 1] = {};
  constexpr LayoutIndex() {
    for (const auto& entry : kLengthLayouts) by_length[entry.length - kFirstLength] = entry.layout;
  }
};
constexpr LayoutIndex kIndex;

// The characters of the record under a field: shortened or empty where the record ends early.
constexpr std::string_view cut(std::string_view record, Field f) noexcept {
  const std::size_t start = f.start - 1u;
  if (start >= record.size()) return {};
  return record.substr(start, f.width);
}

// Removes leading and trailing spaces only; tabs and other characters stay.
constexpr std::string_view trim_spaces(std::string_view s) noexcept {
  std::size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}

// hhmmss as seconds. Hours from characters 1-2, minutes from 3-4, seconds from the last two
// (all of it when shorter): a cut-short text gives partial, possibly overlapping, parts.
double elapsed_seconds(std::string_view e) noexcept {
  const double h = Val(e.substr(0, 2));
  const double m = e.size() > 2 ? Val(e.substr(2, 2)) : 0.0;
  const double s = Val(e.size() >= 2 ? e.substr(e.size() - 2) : e);
  return h * 3600 + m * 60 + s;
}

inline char* put(char* out, std::string_view s) noexcept {
  std::memcpy(out, s.data(), s.size());
  return out + s.size();
}

}  // namespace

const RecordLayout* layout_for_length(double length) noexcept {
  if (!(length >= kFirstLength && length <= kLastLength)) return nullptr;
  const int whole = static_cast<int>(length);
  if (whole != length) return nullptr;
  return kIndex.by_length[whole - kFirstLength];
}

std::size_t RecordDecoder::decode(std::string_view record, double length, char* out) noexcept {
  const RecordLayout* layout = layout_for_length(length);
  if (layout == nullptr) return static_cast<std::size_t>(put(out, kSkipLine) - out);

  std::string_view number2 = trim_spaces(cut(record, layout->number2));
  if (!number2.empty() && number2.back() == 'F') number2.remove_suffix(1);

  char* p = out;
  *p++ = '2';
  *p++ = '0';
  p = put(p, cut(record, layout->year));
  *p++ = '-';
  p = put(p, cut(record, layout->month));
  *p++ = '-';
  p = put(p, cut(record, layout->day));
  *p++ = ',';
  p = put(p, cut(record, layout->hour));
  *p++ = ':';
  p = put(p, cut(record, layout->minute));
  *p++ = ':';
  p = put(p, cut(record, layout->second));
  *p++ = ',';
  p = put(p, trim_spaces(cut(record, layout->number1)));
  *p++ = ',';
  p = put(p, number2);
  *p++ = ',';
  p = write_number(elapsed_seconds(cut(record, layout->elapsed)), p);
  *p++ = ',';
  p = write_number(Val(cut(record, layout->counter)), p);
  *p++ = ',';
  p = put(p, trim_spaces(cut(record, layout->text1)));
  *p++ = ',';
  p = put(p, trim_spaces(cut(record, layout->text2)));
  return static_cast<std::size_t>(p - out);
}

std::string RecordDecoder::decode(std::string_view record, double length) {
  std::string line(kMaxLineSize, '\0');
  line.resize(decode(record, length, line.data()));
  return line;
}

}  // namespace vemo
