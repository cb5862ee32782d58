#include "core/block_decoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "core/digit_chars.h"
#include "core/record_layout.h"

// The vector decoder is built for x86-64 with GCC or Clang, and left out on Windows, where GCC
// cannot align the stack for spilled 64-byte vectors.
#if defined(__x86_64__) && !defined(_WIN32) && (defined(__GNUC__) || defined(__clang__))
#define VEMO_VECTOR_DECODER 1
#include <immintrin.h>
#endif

namespace vemo {

std::size_t decode_block(std::string_view block, char* out, std::int64_t& records) noexcept {
  static const bool vector = vector_decoder_supported();
  return vector ? decode_block_vector(block, out, records)
                : decode_block_portable(block, out, records);
}

#ifndef VEMO_VECTOR_DECODER

bool vector_decoder_supported() noexcept {
  return false;
}

std::size_t decode_block_vector(std::string_view block, char* out, std::int64_t& records) noexcept {
  return decode_block_portable(block, out, records);
}

#else

bool vector_decoder_supported() noexcept {
  // Every processor with these AVX-512 parts also has LZCNT. The checks include whether the
  // system saves the vector registers.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
         __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
         __builtin_cpu_supports("popcnt");
}

namespace {

// A whole record becomes two vectors, each a byte permutation of its characters from kBase on
// with fixed characters laid over it: the stamp "20yy-mm-dd,hh:mm:ss," and the rest of the line
// with every field at a fixed place and its full width. The rest is then compressed: a mask keeps
// the separators and each field less its outer spaces, its leading zeros or its trailing "F".
constexpr unsigned kBase = 16;
constexpr unsigned kStampSize = 20;
// The places in the rest of the line; CR LF close it at 61 and 62.
constexpr unsigned kNumber1 = 0, kNumber2 = 16, kElapsed = 32, kCounter = 39, kText1 = 46,
                   kText2 = 54;

constexpr std::uint64_t bits(unsigned at, unsigned width) {
  return ((std::uint64_t{1} << width) - 1) << at;
}

struct alignas(64) VectorLayout {
  std::array<std::uint8_t, 64> stamp{};
  std::array<std::uint8_t, 64> line{};
  // The places whose characters come from after the first 64.
  std::uint64_t stamp_from_end = 0;
  std::uint64_t line_from_end = 0;
  const RecordLayout* layout = nullptr;
  std::uint32_t elapsed = 0;  // 0-based offset of the elapsed time in the record
  std::uint32_t end = 0;      // the characters a record needs for all its fields
};

constexpr VectorLayout make_vector_layout(const RecordLayout& l) {
  VectorLayout v;
  const auto place = [](std::array<std::uint8_t, 64>& to, unsigned at, Field f) {
    for (unsigned i = 0; i < f.width; ++i)
      to[at + i] = static_cast<std::uint8_t>(f.start - 1 + i - kBase);
  };
  const auto from_end = [](const std::array<std::uint8_t, 64>& at) {
    std::uint64_t m = 0;
    for (unsigned i = 0; i < 64; ++i) m |= std::uint64_t{at[i] >= 64} << i;
    return m;
  };
  place(v.stamp, 2, l.year);
  place(v.stamp, 5, l.month);
  place(v.stamp, 8, l.day);
  place(v.stamp, 11, l.hour);
  place(v.stamp, 14, l.minute);
  place(v.stamp, 17, l.second);
  place(v.line, kNumber1, l.number1);
  place(v.line, kNumber2, l.number2);
  place(v.line, kElapsed, l.elapsed);
  place(v.line, kCounter, l.counter);
  place(v.line, kText1, l.text1);
  place(v.line, kText2, l.text2);
  v.stamp_from_end = from_end(v.stamp);
  v.line_from_end = from_end(v.line);
  v.layout = &l;
  v.elapsed = l.elapsed.start - 1u;
  v.end = static_cast<std::uint32_t>(layout_end(l));
  return v;
}

constexpr VectorLayout kVectorA = make_vector_layout(kLayoutA);
constexpr VectorLayout kVectorB = make_vector_layout(kLayoutB);
constexpr VectorLayout kVectorC = make_vector_layout(kLayoutC);
constexpr VectorLayout kVectorD = make_vector_layout(kLayoutD);

// Lengths 97..119 to their vector layouts; every other slot is empty.
constexpr auto kVectorByLength = [] {
  std::array<const VectorLayout*, LayoutIndex::kLastLength - LayoutIndex::kFirstLength + 1> by{};
  for (const auto& entry : kLengthLayouts) {
    by[static_cast<std::size_t>(entry.length - LayoutIndex::kFirstLength)] =
        entry.layout == &kLayoutA   ? &kVectorA
        : entry.layout == &kLayoutB ? &kVectorB
        : entry.layout == &kLayoutC ? &kVectorC
                                    : &kVectorD;
  }
  return by;
}();

// The fixed characters of each vector and where they go.
constexpr auto fixed_chars(std::initializer_list<std::pair<unsigned, char> > chars) {
  std::array<char, 64> a{};
  for (const auto& [at, c] : chars) a[at] = c;
  return a;
}
alignas(64) constexpr std::array<char, 64> kStampChars = fixed_chars(
    {{0, '2'}, {1, '0'}, {4, '-'}, {7, '-'}, {10, ','}, {13, ':'}, {16, ':'}, {19, ','}});
constexpr std::uint64_t kStampFixed =
    bits(0, 2) | bits(4, 1) | bits(7, 1) | bits(10, 1) | bits(13, 1) | bits(16, 1) | bits(19, 1);
alignas(64) constexpr std::array<char, 64> kLineChars =
    fixed_chars({{15, ','}, {31, ','}, {38, ','}, {45, ','}, {53, ','}, {61, '\r'}, {62, '\n'}});
constexpr std::uint64_t kLineFixed =
    bits(15, 1) | bits(31, 1) | bits(38, 1) | bits(45, 1) | bits(53, 1) | bits(61, 2);

}  // namespace
}  // namespace vemo

#if defined(__clang__)
#pragma clang attribute push(                                                                 \
    __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,bmi,bmi2,lzcnt,popcnt"))), \
    apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,bmi,bmi2,lzcnt,popcnt")
#endif

// Only the loop's template below this line: everything defined here uses the vector instructions.
#include "core/block_loop.h"

namespace vemo {
namespace {

// The bits of m from its lowest to its highest set bit: a field less its outer spaces.
inline std::uint64_t span(std::uint64_t m) noexcept {
  return _bzhi_u64(0 - _blsi_u64(m), static_cast<unsigned>(64 - _lzcnt_u64(m)));
}

// A six-digit field at `at` less its leading zeros, all but the last.
inline std::uint64_t without_leading_zeros(std::uint64_t non_zero, unsigned at) noexcept {
  const std::uint64_t m = (non_zero & bits(at, 6)) | bits(at + 5, 1);
  return (0 - _blsi_u64(m)) & bits(at, 6);
}

// The line and line end of a record that holds all its fields, at p; nullptr when its elapsed
// time or counter is not six digits, which the general rule then takes.
inline char* decode_whole(const char* r, std::size_t step, const VectorLayout& v,
                          char* p) noexcept {
  // The first 64 characters from kBase, and the last 64 of the record (it may end the block).
  // The layout's indices take the characters after the first 64 from where they would be in a
  // record of 144, so they move by the difference.
  const __m512i lo = _mm512_loadu_si512(r + kBase);
  const __m512i hi = _mm512_loadu_si512(r + step - 64);
  const __m512i shift = _mm512_set1_epi8(static_cast<char>(kBase + 128 - step));
  const __m512i line_at = _mm512_load_si512(v.line.data());
  __m512i line = _mm512_permutex2var_epi8(
      lo, _mm512_mask_add_epi8(line_at, v.line_from_end, line_at, shift), hi);
  line = _mm512_mask_blend_epi8(kLineFixed, line, _mm512_load_si512(kLineChars.data()));
  constexpr std::uint64_t kSixDigits = bits(kElapsed, 6) | bits(kCounter, 6);
  const std::uint64_t digits =
      _mm512_cmple_epu8_mask(_mm512_sub_epi8(line, _mm512_set1_epi8('0')), _mm512_set1_epi8(9));
  if ((digits & kSixDigits) != kSixDigits) return nullptr;
  // The masks come from the line before the elapsed time goes in, so that they need not wait
  // for it; the elapsed time's own comes from its digits.
  const std::uint64_t non_space = _mm512_cmpneq_epi8_mask(line, _mm512_set1_epi8(' '));
  const std::uint64_t non_zero = _mm512_cmpneq_epi8_mask(line, _mm512_set1_epi8('0'));
  const std::uint64_t f = _mm512_cmpeq_epi8_mask(line, _mm512_set1_epi8('F'));
  // The elapsed time becomes its seconds, six digits, in place of hhmmss.
  std::uint64_t hhmmss;
  std::memcpy(&hhmmss, r + v.elapsed, 8);
  const std::uint64_t seconds = digit_chars::six_digit_word(digit_chars::hhmmss_seconds(hhmmss));
  line = _mm512_mask_mov_epi8(line, bits(kElapsed, 6),
                              _mm512_set1_epi64(static_cast<long long>(seconds)));
  // Its leading zeros, all but the last, are left out.
  const unsigned zeros =
      std::min(5u, static_cast<unsigned>(_tzcnt_u64(seconds ^ 0x303030303030ull)) / 8);
  const std::uint64_t elapsed = bits(kElapsed + zeros, 6 - zeros);
  std::uint64_t number2 = span(non_space & bits(kNumber2, 15));
  number2 &= ~(f & number2 & ~(number2 >> 1));  // one trailing "F"
  const std::uint64_t keep = kLineFixed | span(non_space & bits(kNumber1, 15)) | number2 | elapsed |
                             without_leading_zeros(non_zero, kCounter) |
                             span(non_space & bits(kText1, 7)) | span(non_space & bits(kText2, 7));

  const __m512i stamp_at = _mm512_load_si512(v.stamp.data());
  __m512i stamp = _mm512_permutex2var_epi8(
      lo, _mm512_mask_add_epi8(stamp_at, v.stamp_from_end, stamp_at, shift), hi);
  stamp = _mm512_mask_blend_epi8(kStampFixed, stamp, _mm512_load_si512(kStampChars.data()));
  // The stamp goes first: the rest of the line is stored over all but its 20 characters.
  _mm512_storeu_si512(p, stamp);
  _mm512_storeu_si512(p + kStampSize, _mm512_maskz_compress_epi8(keep, line));
  return p + kStampSize + _mm_popcnt_u64(keep);
}

}  // namespace

std::size_t decode_block_vector(std::string_view block, char* out, std::int64_t& records) noexcept {
  return block_loop::decode(
      block, out, records,
      [](const char* record, std::size_t step, unsigned length, char* p) noexcept {
        const unsigned slot = length - LayoutIndex::kFirstLength;
        const VectorLayout* v = slot < kVectorByLength.size() ? kVectorByLength[slot] : nullptr;
        if (v == nullptr) {
          std::memcpy(p, kSkipLineWithEnd.data(), kSkipLineWithEnd.size());
          return p + kSkipLineWithEnd.size();
        }
        if (step >= v->end) {
          if (char* end = decode_whole(record, step, *v, p)) return end;
        }
        p += RecordDecoder::decode({record, step}, *v->layout, p);
        p[0] = '\r';
        p[1] = '\n';
        return p + 2;
      });
}

}  // namespace vemo

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace vemo {
#endif

}  // namespace vemo
