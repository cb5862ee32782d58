#pragma once

// Small pieces the line formats share: copying a format's fixed texts and finding, in one pass
// over a record, whether any byte needs the format's quoting or escaping.

#include <cstddef>
#include <cstring>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace vemo::format_support {

// Copies a fixed text; with a constant text the copy is a few stores. An empty view may hold a
// null pointer, which memcpy must not be given even for no bytes.
[[gnu::always_inline]] inline char* put_lit(char* out, std::string_view s) noexcept {
  if (s.empty()) return out;
  std::memcpy(out, s.data(), s.size());
  return out + s.size();
}

#ifdef __SSE2__
// Marks the bytes of v that equal c, or lie below c taken as signed bytes (so that the bytes from
// 0x80 up count as below too).
inline __m128i equal(__m128i v, char c) noexcept {
  return _mm_cmpeq_epi8(v, _mm_set1_epi8(c));
}
inline __m128i signed_below(__m128i v, char c) noexcept {
  return _mm_cmplt_epi8(v, _mm_set1_epi8(c));
}
inline __m128i either(__m128i a, __m128i b) noexcept {
  return _mm_or_si128(a, b);
}
// The marks of a that are not marks of b.
inline __m128i except(__m128i a, __m128i b) noexcept {
  return _mm_andnot_si128(b, a);
}
#else
// Never called without SSE2; there for the vector lambdas, which are never instantiated.
template <typename V>
V equal(V v, char) noexcept {
  return v;
}
template <typename V>
V signed_below(V v, char) noexcept {
  return v;
}
template <typename V>
V either(V a, V) noexcept {
  return a;
}
template <typename V>
V except(V a, V) noexcept {
  return a;
}
#endif

// Whether any of the n (>= 16) bytes at s is one for which `special` holds. `vector` marks, for
// 16 bytes at once, at least those bytes (it may mark more: a row with a marked byte is only
// written the careful way). The marks of all the bytes are gathered first and tested once.
template <typename Scalar, typename Vector>
[[gnu::always_inline]] inline bool any_byte(const char* s, std::size_t n,
                                            [[maybe_unused]] Scalar special,
                                            [[maybe_unused]] Vector vector) noexcept {
#ifdef __SSE2__
  const auto load = [s](std::size_t at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at));
  };
  __m128i marks;
  if (n >= 64 && n <= 96) {
    // The fields of every layout span 80 to 96 bytes: six loads, the last two overlapping the
    // first four, and no loop.
    marks = either(either(vector(load(0)), vector(load(16))),
                   either(vector(load(32)), vector(load(48))));
    marks = either(marks, either(vector(load(n - 32)), vector(load(n - 16))));
  } else {
    // The last bytes as the final 16, overlapping what was already seen.
    marks = vector(load(n - 16));
    for (std::size_t i = 0; i + 16 < n; i += 16) marks = either(marks, vector(load(i)));
  }
  return _mm_movemask_epi8(marks) != 0;
#else
  for (std::size_t i = 0; i < n; ++i) {
    if (special(static_cast<unsigned char>(s[i]))) return true;
  }
  return false;
#endif
}

}  // namespace vemo::format_support
