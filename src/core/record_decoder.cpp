#include "core/record_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "core/block_decoder.h"
#include "core/digit_chars.h"
#include "core/format_csv.h"
#include "core/format_jsonl.h"
#include "core/format_legacy.h"
#include "core/format_support.h"
#include "core/format_tsv.h"
#include "core/line_format.h"
#include "core/record_layout.h"
#include "core/val.h"

namespace vemo {
namespace {

// The characters of the record under a field: shortened or empty where the record ends early.
constexpr std::string_view field_chars(std::string_view record, Field f) noexcept {
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

// Copies up to 16 bytes with a few fixed-size moves that never read outside [src, src + n).
inline void copy_short(char* dst, const char* src, std::size_t n) noexcept {
  if (n >= 8) {
    std::uint64_t a, b;
    std::memcpy(&a, src, 8);
    std::memcpy(&b, src + n - 8, 8);
    std::memcpy(dst, &a, 8);
    std::memcpy(dst + n - 8, &b, 8);
  } else if (n >= 4) {
    std::uint32_t a, b;
    std::memcpy(&a, src, 4);
    std::memcpy(&b, src + n - 4, 4);
    std::memcpy(dst, &a, 4);
    std::memcpy(dst + n - 4, &b, 4);
  } else if (n >= 2) {
    std::uint16_t a, b;
    std::memcpy(&a, src, 2);
    std::memcpy(&b, src + n - 2, 2);
    std::memcpy(dst, &a, 2);
    std::memcpy(dst + n - 2, &b, 2);
  } else if (n == 1) {
    *dst = *src;
  }
}

// Copies the characters to `out` and returns the end of what it wrote.
inline char* write_chars(char* out, std::string_view s) noexcept {
  if (s.size() <= 16) {
    copy_short(out, s.data(), s.size());
  } else {
    std::memcpy(out, s.data(), s.size());
  }
  return out + s.size();
}

inline bool is_digit(char c) noexcept {
  return static_cast<unsigned char>(c - '0') < 10;
}

// The value of two digit characters, or -1 when either is not a digit.
inline int two_digits(const char* s) noexcept {
  return is_digit(s[0]) && is_digit(s[1]) ? (s[0] - '0') * 10 + (s[1] - '0') : -1;
}

// Writes the word of six digit characters (little-endian, the most significant first) without its
// leading zeros, all but the last, as one 8-byte store.
inline char* put_six_chars(std::uint64_t word, char* out) noexcept {
  const std::uint64_t digits = word - 0x0000303030303030ull;
  const unsigned zeros = digits == 0 ? 5u : static_cast<unsigned>(__builtin_ctzll(digits)) / 8;
  word >>= 8 * zeros;
  std::memcpy(out, &word, 8);
  return out + 6 - zeros;
}

// Writes a value below 10^6 without leading zeros, as six digits stored at once and an advance
// past the leading zeros: no loop and no branch on the digit count.
inline char* write_six(std::uint32_t v, char* out) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    return put_six_chars(digit_chars::six_digit_word(v), out);
  }
  char tmp[16] = {};
  std::memcpy(tmp + 2, digit_chars::kDigitPairs + 2 * (v / 10000), 2);
  std::memcpy(tmp + 4, digit_chars::kDigitPairs + 2 * (v / 100 % 100), 2);
  std::memcpy(tmp + 6, digit_chars::kDigitPairs + 2 * (v % 100), 2);
  const unsigned digits = 1u + (v >= 10) + (v >= 100) + (v >= 1000) + (v >= 10000) + (v >= 100000);
  std::memcpy(out, tmp + 8 - digits, 8);
  return out + digits;
}

// The six characters at s as one little-endian word (two zero bytes on top), when all six are
// digits.
inline bool six_digits(const char* s, std::uint64_t& word) noexcept {
  std::memcpy(&word, s, 8);
  word &= 0x0000FFFFFFFFFFFFull;
  return digit_chars::six_digits(word);
}

// Elapsed seconds and counter, the usual all-digit fields converted without the general rule.
inline char* put_elapsed(std::string_view e, char* out) noexcept {
  if (e.size() == 6) {
    const int h = two_digits(e.data()), m = two_digits(e.data() + 2), s = two_digits(e.data() + 4);
    if ((h | m | s) >= 0) return write_six(static_cast<std::uint32_t>(h * 3600 + m * 60 + s), out);
  }
  return write_number(elapsed_seconds(e), out);
}

inline char* put_counter(std::string_view c, char* out) noexcept {
  if (c.size() == 6) {
    const int a = two_digits(c.data()), b = two_digits(c.data() + 2), d = two_digits(c.data() + 4);
    if ((a | b | d) >= 0)
      return write_six(static_cast<std::uint32_t>(a * 10000 + b * 100 + d), out);
  }
  return write_number(Val(c), out);
}

// The same for a whole record, whose elapsed time and counter are followed by at least two more
// of its characters: eight are loaded at once.
[[gnu::always_inline]] inline char* put_elapsed_whole(const char* e, char* out) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t word;
    if (six_digits(e, word)) [[likely]]
      return write_six(digit_chars::hhmmss_seconds(word), out);
  }
  return put_elapsed({e, 6}, out);
}

// Six digits are written as they stand, less their leading zeros (all but the last).
[[gnu::always_inline]] inline char* put_counter_whole(const char* c, char* out) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t word;
    if (six_digits(c, word)) [[likely]]
      return put_six_chars(word, out);
  }
  return put_counter({c, 6}, out);
}

// Bit i set where character i of the 16 at s is not a space; the 16 go into the row's marks.
template <typename F>
[[gnu::always_inline]] inline unsigned non_space_mask(const char* s,
                                                      format_support::RowMarks<F>& marks) noexcept {
#ifdef __SSE2__
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  const __m128i spaces = _mm_cmpeq_epi8(v, _mm_set1_epi8(' '));
  marks.add(v, spaces);
  return ~static_cast<unsigned>(_mm_movemask_epi8(spaces)) & 0xFFFFu;
#else
  static_cast<void>(marks);
  unsigned mask = 0;
  for (unsigned i = 0; i < 16; ++i) mask |= static_cast<unsigned>(s[i] != ' ') << i;
  return mask;
#endif
}

// The whole-record path stores fixed-size runs and advances only by what belongs to the line:
// the caller's buffer has kMaxLineSize of room, far more than a whole record's line plus 16.

// A 15-wide number field, trimmed of spaces; `drop_f` also removes one trailing "F". The field
// starts at position 18 or later and ends by 51, and records with a layout are at least 97 long,
// so the character before it and the 15 after its last non-space are inside the record.
template <typename F>
inline char* put_number_field(char* out, const char* s, bool drop_f,
                              format_support::RowMarks<F>& marks) noexcept {
  const unsigned mask = non_space_mask(s - 1, marks) >> 1;
  if (mask == 0) return out;
  const unsigned first = static_cast<unsigned>(__builtin_ctz(mask));
  const unsigned last = 31u - static_cast<unsigned>(__builtin_clz(mask));
  std::memcpy(out, s + first, 16);
  return out + (last - first + 1) - (drop_f && s[last] == 'F');
}

// A 7-wide text field, trimmed of spaces, whose non-spaces are the bits of `mask`. It may end the
// record, so the eight characters from the one before it are loaded and shifted into place.
inline char* put_text_field(char* out, const char* s, unsigned mask) noexcept {
  std::uint64_t word;
  std::memcpy(&word, s - 1, 8);
  if (mask == 0) return out;
  const unsigned first = static_cast<unsigned>(__builtin_ctz(mask));
  const unsigned last = 31u - static_cast<unsigned>(__builtin_clz(mask));
  static_assert(std::endian::native == std::endian::little ||
                std::endian::native == std::endian::big);
  if constexpr (std::endian::native == std::endian::little) {
    word >>= 8 * (first + 1);
  } else {
    word <<= 8 * (first + 1);
  }
  std::memcpy(out, &word, 8);
  return out + (last - first + 1);
}

// A record that holds every field of its layout: no field needs its length checked. Inlined
// into its callers, as it is the path of nearly every record. The fields are copied as they are,
// and the bytes they come from go into `marks`: the row stands only if the format finds none
// there that it would quote or escape. The counter and elapsed time are written as numbers,
// which need neither.
template <typename F>
[[gnu::always_inline]] inline char* decode_full(const char* r, const RecordLayout& l, char* p,
                                                format_support::RowMarks<F>& marks) noexcept {
  using format_support::put_lit;
  auto field_start = [r](Field f) { return r + f.start - 1; };
  // hhmmss and yymmdd, each with the two characters after it.
  marks.add_halves(field_start(l.hour), field_start(l.year));
  p = put_lit(p, F::kLeads[0]);
  p[0] = '2';
  p[1] = '0';
  std::memcpy(p + 2, field_start(l.year), 2);
  p[4] = '-';
  std::memcpy(p + 5, field_start(l.month), 2);
  p[7] = '-';
  std::memcpy(p + 8, field_start(l.day), 2);
  p = put_lit(p + 10, F::kLeads[1]);
  std::memcpy(p, field_start(l.hour), 2);
  p[2] = ':';
  std::memcpy(p + 3, field_start(l.minute), 2);
  p[5] = ':';
  std::memcpy(p + 6, field_start(l.second), 2);
  p = put_lit(p + 8, F::kLeads[2]);
  p = put_number_field(p, field_start(l.number1), false, marks);
  p = put_lit(p, F::kLeads[3]);
  p = put_number_field(p, field_start(l.number2), true, marks);
  p = put_lit(p, F::kLeads[4]);
  p = put_elapsed_whole(field_start(l.elapsed), p);
  p = put_lit(p, F::kLeads[5]);
  p = put_counter_whole(field_start(l.counter), p);
  // The two text fields (text2 follows text1) and the two characters before them, at once.
  const char* const text = field_start(l.text1);
  const unsigned text_mask = non_space_mask(text - 2, marks);
  p = put_lit(p, F::kLeads[6]);
  p = put_text_field(p, text, text_mask >> 2 & 0x7Fu);
  p = put_lit(p, F::kLeads[7]);
  return put_text_field(p, text + 7, text_mask >> 9 & 0x7Fu);
}

// Any record with a layout, each field taken as far as the record reaches (a record cut short by
// its block end), each text column quoted or escaped as the format needs.
template <typename F>
char* decode_fields(std::string_view record, const RecordLayout& layout, char* p) noexcept {
  using format_support::put_lit;
  // Most records here are only cut short: one look at the bytes from the first field on tells
  // whether any text column needs the format's quoting at all.
  constexpr std::size_t kFirst = 17;  // number field 1, the first field of every layout
  const bool plain = record.size() >= kFirst + 16 &&
                     format_support::plain<F>(record.data() + kFirst, record.size() - kFirst);
  const auto put_text = [plain](char* to, std::string_view s) {
    return plain ? put_lit(to, s) : F::put_text(to, s);
  };
  std::string_view number2 = trim_spaces(field_chars(record, layout.number2));
  if (!number2.empty() && number2.back() == 'F') number2.remove_suffix(1);

  // The date or the time of day, before the format's quoting; each part is at most 2 wide.
  char column[16];
  const auto put_part = [](char* to, std::string_view part) {
    for (const char ch : part.substr(0, 2)) *to++ = ch;
    return to;
  };
  char* c = column;
  *c++ = '2';
  *c++ = '0';
  c = put_part(c, field_chars(record, layout.year));
  *c++ = '-';
  c = put_part(c, field_chars(record, layout.month));
  *c++ = '-';
  c = put_part(c, field_chars(record, layout.day));
  p = put_lit(p, F::kLeads[0]);
  p = put_text(p, {column, static_cast<std::size_t>(c - column)});
  c = column;
  c = put_part(c, field_chars(record, layout.hour));
  *c++ = ':';
  c = put_part(c, field_chars(record, layout.minute));
  *c++ = ':';
  c = put_part(c, field_chars(record, layout.second));
  p = put_lit(p, F::kLeads[1]);
  p = put_text(p, {column, static_cast<std::size_t>(c - column)});
  p = put_lit(p, F::kLeads[2]);
  p = put_text(p, trim_spaces(field_chars(record, layout.number1)));
  p = put_lit(p, F::kLeads[3]);
  p = put_text(p, number2);
  p = put_lit(p, F::kLeads[4]);
  p = put_elapsed(field_chars(record, layout.elapsed), p);
  p = put_lit(p, F::kLeads[5]);
  p = put_counter(field_chars(record, layout.counter), p);
  p = put_lit(p, F::kLeads[6]);
  p = put_text(p, trim_spaces(field_chars(record, layout.text1)));
  p = put_lit(p, F::kLeads[7]);
  return put_text(p, trim_spaces(field_chars(record, layout.text2)));
}

// The columns of a record with a layout: the whole-record path when the record holds every field
// and no byte the format would change.
template <typename F>
[[gnu::always_inline]] inline char* decode_columns(const char* r, std::size_t size,
                                                   const RecordLayout& layout, char* p) noexcept {
  const std::size_t end = layout_end(layout);
  if (size >= end) {
    format_support::RowMarks<F> marks;
    if constexpr (format_support::RowMarks<F>::kGathers) {
      char* const row_end = decode_full<F>(r, layout, p, marks);
      // Written again the careful way, over the same room, when a field holds a marked byte.
      if (!marks.any()) return row_end;
    } else {
      constexpr std::size_t kFirst = 17;  // number field 1, the first field of every layout
      if (format_support::plain<F>(r + kFirst, end - kFirst))
        return decode_full<F>(r, layout, p, marks);
    }
  }
  return decode_fields<F>({r, size}, layout, p);
}

// What stands before a row's columns: the format's opening and the provenance columns. The
// block loop is made twice for a format with columns, with and without them, so that rows
// without provenance pay no test for it.
struct RowStart {
  std::string_view file_column;  // rendered once per file
  bool with_offset;
};

template <typename F, bool kProvenance>
[[gnu::always_inline]] inline char* put_row_start(const RowStart& start, std::uint64_t offset,
                                                  char* p) noexcept {
  using format_support::put_lit;
  p = put_lit(p, F::kRowOpen);
  if constexpr (kProvenance) {
    if (!start.file_column.empty()) p = put_lit(p, start.file_column);
    if (start.with_offset) {
      p = put_lit(p, F::kOffsetOpen);
      p = std::to_chars(p, p + 20, offset).ptr;
      p = put_lit(p, F::kOffsetClose);
    }
  }
  return p;
}

// One whole row, line end included. `layout` is null for a record without one.
template <typename F, bool kProvenance>
[[gnu::always_inline]] inline char* put_row(const RowStart& start, const char* r, std::size_t size,
                                            const RecordLayout* layout, std::uint64_t offset,
                                            char* p) noexcept {
  p = put_row_start<F, kProvenance>(start, offset, p);
  if (layout == nullptr) return format_support::put_lit(p, F::kSkipRow);
  p = decode_columns<F>(r, size, *layout, p);
  return format_support::put_lit(p, F::kRowEnd);
}

template <typename F, bool kProvenance>
std::size_t decode_block_as(const RowStart& start, std::string_view block,
                            std::uint64_t block_offset, char* out, std::int64_t& records) noexcept {
  const char* const b = block.data();
  char* p = out;
  std::int64_t n = 0;
  std::size_t k = 0;
  // Any prefix but three digits of a nonzero value, by the scanner's rule; false when it ends the
  // block's records.
  const auto other_prefix = [&] {
    const double length = DataFileScanner::prefix_value(block, k);
    if (DataFileScanner::ends_records(length)) return false;
    const std::size_t step = DataFileScanner::record_step(length, k);
    p = put_row<F, kProvenance>(start, b + k, step, layout_for_length(length), block_offset + k, p);
    ++n;
    k += step;
    return true;
  };
  // While the prefix has all three characters in the block.
  while (k < kBlockSize - 2) {
    const unsigned d0 = static_cast<unsigned char>(b[k]) - unsigned{'0'};
    const unsigned d1 = static_cast<unsigned char>(b[k + 1]) - unsigned{'0'};
    const unsigned d2 = static_cast<unsigned char>(b[k + 2]) - unsigned{'0'};
    const unsigned length = d0 * 100 + d1 * 10 + d2;
    // One branch for the usual case; "000" goes the other way too and ends the block there. Each
    // digit is tested on its own: an OR of digits can pass 9 ("097" gives 0 | 9 | 7 = 15).
    if (static_cast<unsigned>(d0 < 10) & static_cast<unsigned>(d1 < 10) &
        static_cast<unsigned>(d2 < 10) & static_cast<unsigned>(length != 0)) {
      const std::size_t step = DataFileScanner::record_step(std::size_t{length}, k);
      p = put_row<F, kProvenance>(start, b + k, step, layout_for_whole_length(length),
                                  block_offset + k, p);
      ++n;
      k += step;
    } else if (!other_prefix()) {
      records += n;
      return static_cast<std::size_t>(p - out);
    }
  }
  // A record may start at offset 2047 (1-based) at the latest, with a two-character prefix.
  if (k == kBlockSize - 2) other_prefix();
  records += n;
  return static_cast<std::size_t>(p - out);
}

template <typename F>
std::size_t decode_record_as(const RowStart& start, std::string_view record, double length,
                             std::uint64_t offset, char* out) noexcept {
  return static_cast<std::size_t>(put_row<F, F::kColumns>(start, record.data(), record.size(),
                                                          layout_for_length(length), offset, out) -
                                  out);
}

}  // namespace

const RecordLayout* layout_for_length(double length) noexcept {
  // Range first: the conversion to a whole number is only defined for values that fit.
  if (!(length >= LayoutIndex::kFirstLength && length <= LayoutIndex::kLastLength)) return nullptr;
  const auto whole = static_cast<unsigned>(length);
  return whole == length ? layout_for_whole_length(whole) : nullptr;
}

namespace RecordDecoder {

std::size_t decode(std::string_view record, double length, char* out) noexcept {
  const RecordLayout* layout = layout_for_length(length);
  if (layout == nullptr) return static_cast<std::size_t>(write_chars(out, kSkipLine) - out);
  return static_cast<std::size_t>(
      decode_columns<LegacyFormat>(record.data(), record.size(), *layout, out) - out);
}

std::string decode(std::string_view record, double length) {
  std::string line(kMaxLineSize, '\0');
  line.resize(decode(record, length, line.data()));
  return line;
}

}  // namespace RecordDecoder

// Here, beside the record decoder, so that the whole-record path is inlined into the block loop.
std::size_t decode_block(std::string_view block, char* out, std::int64_t& records) noexcept {
  return decode_block_as<LegacyFormat, false>(RowStart{{}, false}, block, 0, out, records);
}

// ---------------------------------------------------------------------------------------------
// The formats the program offers.

namespace {

template <typename F>
std::size_t block_as(const LineEncoder& e, std::string_view block, std::uint64_t block_offset,
                     char* out, std::int64_t& records) noexcept {
  const RowStart start{e.file_column(), e.format().with_offset};
  if constexpr (F::kColumns) {
    if (!start.file_column.empty() || start.with_offset)
      return decode_block_as<F, true>(start, block, block_offset, out, records);
  }
  return decode_block_as<F, false>(start, block, block_offset, out, records);
}

template <typename F>
std::size_t record_as(const LineEncoder& e, std::string_view record, double length,
                      std::uint64_t offset, char* out) noexcept {
  return decode_record_as<F>(RowStart{e.file_column(), e.format().with_offset}, record, length,
                             offset, out);
}

// The text columns' characters at most (date, time, two number fields, two text fields).
constexpr std::size_t kTextColumnChars = 10 + 8 + 15 + 15 + 7 + 7;
// Room the whole-record path stores past a row's end.
constexpr std::size_t kStoreSlack = 32;

template <typename F>
constexpr std::size_t max_columns_size() {
  std::size_t leads = 0;
  for (const std::string_view lead : F::kLeads) leads += lead.size();
  const std::size_t row = leads + F::kExpansion * kTextColumnChars + 6 * F::kColumnExtra +
                          2 * kMaxNumberChars + F::kRowEnd.size();
  return std::max(row, F::kSkipRow.size()) + F::kRowOpen.size() + F::kOffsetOpen.size() + 20 +
         F::kOffsetClose.size() + kStoreSlack;
}

template <typename F>
constexpr std::size_t row_frame() {
  std::size_t frame = F::kRowOpen.size() + F::kRowEnd.size();
  for (const std::string_view lead : F::kLeads) frame += lead.size();
  return frame;
}

// The characters of the eight values of a typical record ("2024-02-18", "16:02:39", numbers of
// ten digits, a few seconds, a six-digit counter, texts of four letters).
constexpr std::size_t kTypicalValueChars = 56;
// The digits of a typical offset (hundreds of megabytes).
constexpr std::size_t kTypicalOffsetDigits = 9;

struct FormatEntry {
  FormatName name;
  std::size_t (*block)(const LineEncoder&, std::string_view, std::uint64_t, char*,
                       std::int64_t&) noexcept;
  std::size_t (*record)(const LineEncoder&, std::string_view, double, std::uint64_t,
                        char*) noexcept;
  std::size_t max_columns;  // a row's most bytes without the file column
  std::size_t skip_row;     // the skip row's bytes without the file column
  std::string_view file_open, file_close;
  std::size_t expansion;
  std::string_view header_file, header_offset, header;
  std::string (*put_file)(std::string_view);
  std::size_t row_frame;  // a row's fixed texts, without the provenance columns
  std::size_t offset_frame;
};

template <typename F>
constexpr FormatEntry entry(std::string_view name, std::string_view extension) {
  return FormatEntry{
      .name = {F::kId, name, extension, F::kColumns},
      .block = block_as<F>,
      .record = record_as<F>,
      .max_columns = max_columns_size<F>(),

      .skip_row = F::kRowOpen.size() + F::kOffsetOpen.size() + 20 + F::kOffsetClose.size() +
                  F::kSkipRow.size(),
      .file_open = F::kFileOpen,
      .file_close = F::kFileClose,
      .expansion = F::kExpansion,
      .header_file = F::kHeaderFile,
      .header_offset = F::kHeaderOffset,
      .header = F::kHeader,
      .put_file =
          [](std::string_view name) {
            std::string column(
                F::kFileOpen.size() + F::kExpansion * name.size() + 2 + F::kFileClose.size(), '\0');
            char* p = format_support::put_lit(column.data(), F::kFileOpen);
            p = F::put_text(p, name);
            p = format_support::put_lit(p, F::kFileClose);
            column.resize(static_cast<std::size_t>(p - column.data()));
            return column;
          },
      .row_frame = row_frame<F>(),
      .offset_frame = F::kOffsetOpen.size() + F::kOffsetClose.size(),
  };
}

// One entry per format.
constexpr std::array<FormatEntry, 4> kFormats = {
    entry<LegacyFormat>("legacy", ".csv"),
    entry<CsvFormat>("csv", ".csv"),
    entry<TsvFormat>("tsv", ".tsv"),
    entry<JsonlFormat>("jsonl", ".jsonl"),
};

const FormatEntry& format_entry(FormatId id) noexcept {
  for (const FormatEntry& f : kFormats) {
    if (f.name.id == id) return f;
  }
  return kFormats[0];
}

}  // namespace

const std::array<FormatName, 4> kFormatNames = [] {
  std::array<FormatName, 4> names{};
  for (std::size_t i = 0; i < kFormats.size(); ++i) names[i] = kFormats[i].name;
  return names;
}();

std::optional<FormatId> format_by_name(std::string_view name) noexcept {
  for (const FormatEntry& f : kFormats) {
    if (f.name.name == name) return f.name.id;
  }
  return std::nullopt;
}

const FormatName& format_name(FormatId id) noexcept {
  return format_entry(id).name;
}

std::string format_name_list() {
  std::string list;
  for (const FormatEntry& f : kFormats) {
    if (!list.empty()) list += ", ";
    list += f.name.name;
  }
  return list;
}

LineEncoder::LineEncoder(const OutputFormat& format, std::string_view file_name) : format_(format) {
  const FormatEntry& f = format_entry(format.id);
  if (!f.name.has_columns) {
    format_.header = false;
    format_.with_filename = false;
    format_.with_offset = false;
  }
  if (format_.with_filename) file_column_ = f.put_file(file_name);
  typical_row_size_ = kTypicalValueChars + f.row_frame + file_column_.size() +
                      (format_.with_offset ? f.offset_frame + kTypicalOffsetDigits : 0);
  block_ = f.block;
  record_ = f.record;
  if (format_.id == FormatId::kLegacy) {
    max_row_size_ = RecordDecoder::kMaxLineSize + 2;
    max_block_output_ = kMaxBlockOutput;
  } else {
    max_row_size_ = f.max_columns + file_column_.size();
    // At most this many records of a layout fit a block; every other record is a skip row.
    max_block_output_ =
        (kBlockSize / 97 + 1) * max_row_size_ + kBlockSize * (f.skip_row + file_column_.size());
  }
}

const LineEncoder kLegacyEncoder;

std::string LineEncoder::header() const {
  if (!format_.header) return {};
  const FormatEntry& f = format_entry(format_.id);
  std::string line;
  if (format_.with_filename) line += f.header_file;
  if (format_.with_offset) line += f.header_offset;
  line += f.header;
  return line;
}

}  // namespace vemo
