#include "core/record_decoder.h"

#include <bit>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "core/block_decoder.h"
#include "core/digit_chars.h"
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
inline char* put_elapsed_whole(const char* e, char* out) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t word;
    if (six_digits(e, word)) return write_six(digit_chars::hhmmss_seconds(word), out);
  }
  return put_elapsed({e, 6}, out);
}

// Six digits are written as they stand, less their leading zeros (all but the last).
inline char* put_counter_whole(const char* c, char* out) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t word;
    if (six_digits(c, word)) return put_six_chars(word, out);
  }
  return put_counter({c, 6}, out);
}

inline char* put_pair(char* out, std::string_view s) noexcept {
  if (s.size() == 2) {
    std::memcpy(out, s.data(), 2);
    return out + 2;
  }
  return write_chars(out, s);
}

// Bit i set where character i of the n (<= 16) characters at s is not a space.
inline unsigned non_space_mask(const char* s, std::size_t n) noexcept {
#ifdef __SSE2__
  const __m128i spaces = _mm_set1_epi8(' ');
  __m128i v;
  if (n > 8) {
    v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  } else {
    v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s));
  }
  const unsigned is_space = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, spaces)));
  return ~is_space & ((1u << n) - 1);
#else
  unsigned mask = 0;
  for (std::size_t i = 0; i < n; ++i) mask |= static_cast<unsigned>(s[i] != ' ') << i;
  return mask;
#endif
}

// The whole-record path stores fixed-size runs and advances only by what belongs to the line:
// the caller's buffer has kMaxLineSize of room, far more than a whole record's line plus 16.

// A 15-wide number field, trimmed of spaces; `drop_f` also removes one trailing "F". The field
// starts at position 18 or later and ends by 51, and records with a layout are at least 97 long,
// so the character before it and the 15 after its last non-space are inside the record.
inline char* put_number_field(char* out, const char* s, bool drop_f) noexcept {
  const unsigned mask = non_space_mask(s - 1, 16) >> 1;
  if (mask == 0) return out;
  const unsigned first = static_cast<unsigned>(__builtin_ctz(mask));
  const unsigned last = 31u - static_cast<unsigned>(__builtin_clz(mask));
  std::memcpy(out, s + first, 16);
  return out + (last - first + 1) - (drop_f && s[last] == 'F');
}

// A 7-wide text field, trimmed of spaces. It may end the record, so the eight characters from
// the one before it are loaded and shifted into place.
inline char* put_text_field(char* out, const char* s) noexcept {
  std::uint64_t word;
  std::memcpy(&word, s - 1, 8);
  const unsigned mask = non_space_mask(s - 1, 8) >> 1;
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
// into its callers, as it is the path of nearly every record.
[[gnu::always_inline]] inline char* decode_full(const char* r, const RecordLayout& l,
                                                char* p) noexcept {
  auto field_start = [r](Field f) { return r + f.start - 1; };
  p[0] = '2';
  p[1] = '0';
  std::memcpy(p + 2, field_start(l.year), 2);
  p[4] = '-';
  std::memcpy(p + 5, field_start(l.month), 2);
  p[7] = '-';
  std::memcpy(p + 8, field_start(l.day), 2);
  p[10] = ',';
  std::memcpy(p + 11, field_start(l.hour), 2);
  p[13] = ':';
  std::memcpy(p + 14, field_start(l.minute), 2);
  p[16] = ':';
  std::memcpy(p + 17, field_start(l.second), 2);
  p[19] = ',';
  p = put_number_field(p + 20, field_start(l.number1), false);
  *p++ = ',';
  p = put_number_field(p, field_start(l.number2), true);
  *p++ = ',';
  p = put_elapsed_whole(field_start(l.elapsed), p);
  *p++ = ',';
  p = put_counter_whole(field_start(l.counter), p);
  *p++ = ',';
  p = put_text_field(p, field_start(l.text1));
  *p++ = ',';
  return put_text_field(p, field_start(l.text2));
}

// A record cut short by its block end: each field is taken as far as the record reaches.
std::size_t decode_short(std::string_view record, const RecordLayout& layout, char* out) noexcept {
  std::string_view number2 = trim_spaces(field_chars(record, layout.number2));
  if (!number2.empty() && number2.back() == 'F') number2.remove_suffix(1);

  char* p = out;
  *p++ = '2';
  *p++ = '0';
  p = put_pair(p, field_chars(record, layout.year));
  *p++ = '-';
  p = put_pair(p, field_chars(record, layout.month));
  *p++ = '-';
  p = put_pair(p, field_chars(record, layout.day));
  *p++ = ',';
  p = put_pair(p, field_chars(record, layout.hour));
  *p++ = ':';
  p = put_pair(p, field_chars(record, layout.minute));
  *p++ = ':';
  p = put_pair(p, field_chars(record, layout.second));
  *p++ = ',';
  p = write_chars(p, trim_spaces(field_chars(record, layout.number1)));
  *p++ = ',';
  p = write_chars(p, number2);
  *p++ = ',';
  p = put_elapsed(field_chars(record, layout.elapsed), p);
  *p++ = ',';
  p = put_counter(field_chars(record, layout.counter), p);
  *p++ = ',';
  p = write_chars(p, trim_spaces(field_chars(record, layout.text1)));
  *p++ = ',';
  p = write_chars(p, trim_spaces(field_chars(record, layout.text2)));
  return static_cast<std::size_t>(p - out);
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
  if (record.size() >= layout_end(*layout)) {
    return static_cast<std::size_t>(decode_full(record.data(), *layout, out) - out);
  }
  return decode_short(record, *layout, out);
}

std::string decode(std::string_view record, double length) {
  std::string line(kMaxLineSize, '\0');
  line.resize(decode(record, length, line.data()));
  return line;
}

}  // namespace RecordDecoder

// Here, beside the record decoder, so that the whole-record path is inlined into the block loop.
std::size_t decode_block(std::string_view block, char* out, std::int64_t& records) noexcept {
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
    p += RecordDecoder::decode({b + k, step}, length, p);
    p[0] = '\r';
    p[1] = '\n';
    p += 2;
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
    // One test for the usual case; "000" goes the other way too and ends the block there.
    if (static_cast<unsigned>((d0 | d1 | d2) < 10) & static_cast<unsigned>(length != 0)) {
      const std::size_t step = DataFileScanner::record_step(std::size_t{length}, k);
      const RecordLayout* layout = layout_for_whole_length(length);
      if (layout == nullptr) {
        std::memcpy(p, kSkipLineWithEnd.data(), kSkipLineWithEnd.size());
        p += kSkipLineWithEnd.size();
      } else {
        if (step >= layout_end(*layout)) {
          p = decode_full(b + k, *layout, p);
        } else {
          p += decode_short({b + k, step}, *layout, p);
        }
        p[0] = '\r';
        p[1] = '\n';
        p += 2;
      }
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

}  // namespace vemo
