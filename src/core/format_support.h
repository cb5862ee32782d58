#pragma once

// Small pieces the line formats share: copying a format's fixed texts and finding whether any byte
// of a record needs the format's quoting or escaping, either in one pass over the record or
// gathered over a row's fields while they are written.

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
// 0x80 up count as below too). A mark is a byte's top bit, which is all that is tested: below c
// is a subtraction that saturates rather than wraps, one instruction where a compare takes two.
inline __m128i equal(__m128i v, char c) noexcept {
  return _mm_cmpeq_epi8(v, _mm_set1_epi8(c));
}
inline __m128i signed_below(__m128i v, char c) noexcept {
  return _mm_subs_epi8(v, _mm_set1_epi8(c));
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

#ifdef __SSE2__
// A format's marks of 16 bytes v: F::marks(v, spaces), `spaces` marking v's spaces, and the
// bytes below F::kLow (0: none) taken as signed bytes.
template <typename F>
[[gnu::always_inline]] inline __m128i marks_of(__m128i v, __m128i spaces) noexcept {
  if constexpr (F::kLow != 0) return either(F::marks(v, spaces), signed_below(v, F::kLow));
  return F::marks(v, spaces);
}
#endif

// Whether none of the n (>= 16) bytes at s needs format F's quoting or escaping. marks_of<F>
// marks, for 16 bytes at once, at least those bytes (it may mark more: a row with a marked byte
// is only written the careful way); F::special(c) tells them one by one. The marks of all the
// bytes are gathered first and tested once.
template <typename F>
[[gnu::always_inline]] inline bool plain(const char* s, std::size_t n) noexcept {
  if constexpr (!F::kChecks) {
    return true;
  } else {
#ifdef __SSE2__
    const auto load = [s](std::size_t at) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at));
    };
    const auto vector = [](__m128i v) { return marks_of<F>(v, equal(v, ' ')); };
    // The last bytes as the final 16, overlapping what was already seen.
    __m128i marks = vector(load(n - 16));
    for (std::size_t i = 0; i + 16 < n; i += 16) marks = either(marks, vector(load(i)));
    return _mm_movemask_epi8(marks) == 0;
#else
    for (std::size_t i = 0; i < n; ++i) {
      if (F::special(static_cast<unsigned char>(s[i]))) return false;
    }
    return true;
#endif
  }
}

#ifdef __SSE2__
// The marks of format F over the bytes of one row, gathered from the 16-byte loads the row's
// fields are written from, and tested once when the row is done. The bytes below F::kLow are
// found from the least byte in each of the 16 places over all the loads (one instruction a load
// instead of a compare and an OR); a place whose least byte is 0x80 or more is marked too.
template <typename F>
class RowMarks {
 public:
  static constexpr bool kGathers = true;

  // 16 record bytes and the marks of their spaces.
  [[gnu::always_inline]] void add(__m128i v, __m128i spaces) noexcept {
    if constexpr (F::kChecks) {
      marks_ = either(marks_, F::marks(v, spaces));
      if constexpr (F::kLow != 0) least_ = _mm_min_epu8(least_, v);
    }
  }
  // The 8 bytes at a and the 8 at b.
  [[gnu::always_inline]] void add_halves(const char* a, const char* b) noexcept {
    if constexpr (F::kChecks) {
      const __m128i v = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a)),
                                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b)));
      add(v, equal(v, ' '));
    }
  }
  bool any() const noexcept {
    if constexpr (F::kChecks && F::kLow != 0)
      return _mm_movemask_epi8(either(marks_, signed_below(least_, F::kLow))) != 0;
    if constexpr (F::kChecks) return _mm_movemask_epi8(marks_) != 0;
    return false;
  }

 private:
  __m128i marks_ = _mm_setzero_si128();
  __m128i least_ = _mm_set1_epi8(-1);
};
#else
// Without vectors nothing is gathered: the row's bytes are tested with plain() beforehand.
template <typename F>
class RowMarks {
 public:
  static constexpr bool kGathers = false;
  void add_halves(const char*, const char*) noexcept {}
  bool any() const noexcept { return false; }
};
#endif

}  // namespace vemo::format_support
