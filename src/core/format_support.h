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

// Copies a fixed text; with a constant text the copy is a few stores.
[[gnu::always_inline]] inline char* put_lit(char* out, std::string_view s) noexcept {
  std::memcpy(out, s.data(), s.size());
  return out + s.size();
}

// Whether any of the n (>= 16) bytes at s is one for which `special` holds. `vector` answers
// the same for 16 bytes at once as a movemask-style bit mask.
template <typename Scalar, typename Vector>
[[gnu::always_inline]] inline bool any_byte(const char* s, std::size_t n,
                                            [[maybe_unused]] Scalar special,
                                            [[maybe_unused]] Vector vector) noexcept {
#ifdef __SSE2__
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    if (vector(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i))) != 0) return true;
  }
  // The last bytes as the final 16, overlapping what was already seen.
  return i < n && vector(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n - 16))) != 0;
#else
  for (std::size_t i = 0; i < n; ++i) {
    if (special(static_cast<unsigned char>(s[i]))) return true;
  }
  return false;
#endif
}

// Bit i set where byte i of v equals c, or lies below c taken as signed bytes (so that the bytes
// from 0x80 up count as below too).
#ifdef __SSE2__
inline int equal_mask(__m128i v, char c) noexcept {
  return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c)));
}
inline int signed_below_mask(__m128i v, char c) noexcept {
  return _mm_movemask_epi8(_mm_cmplt_epi8(v, _mm_set1_epi8(c)));
}
#else
// Never called without SSE2; there for the vector lambdas, which are never instantiated.
template <typename V>
int equal_mask(V, char) noexcept {
  return 0;
}
template <typename V>
int signed_below_mask(V, char) noexcept {
  return 0;
}
#endif

}  // namespace vemo::format_support
