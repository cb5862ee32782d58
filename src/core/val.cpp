#include "core/val.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

namespace vemo {
namespace {

constexpr bool is_blank(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n';
}
constexpr bool is_digit(char c) noexcept {
  return c >= '0' && c <= '9';
}
constexpr bool is_exponent_letter(char c) noexcept {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd';
}

// Skips blanks starting at i; returns the index of the next non-blank (or size).
constexpr std::size_t skip_blanks(std::string_view t, std::size_t i) noexcept {
  while (i < t.size() && is_blank(t[i])) ++i;
  return i;
}

// "&H..." or "&O...": a whole number in base 16 or 8, digits read as far as they go.
double read_radix(std::string_view t, std::size_t i) noexcept {
  i = skip_blanks(t, i);
  if (i >= t.size()) return 0;
  const char letter = t[i];
  int base;
  if (letter == 'H' || letter == 'h') {
    base = 16;
  } else if (letter == 'O' || letter == 'o') {
    base = 8;
  } else {
    return 0;
  }
  // The digits are exact in binary: keep the leading bits (at most 60) in an integer, count the
  // bits beyond them and note whether any of those is set, then round once to the nearest double.
  // Adding digit by digit in a double would round at every step past 2^53.
  const int bits_per_digit = base == 16 ? 4 : 3;
  std::uint64_t leading = 0;
  int dropped_bits = 0;
  bool dropped_nonzero = false;
  for (i = skip_blanks(t, i + 1); i < t.size(); i = skip_blanks(t, i + 1)) {
    const char c = t[i];
    int digit;
    if (is_digit(c)) {
      digit = c - '0';
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else {
      break;
    }
    if (digit >= base) break;
    if (leading < (std::uint64_t{1} << 56)) {
      leading = leading << bits_per_digit | static_cast<std::uint64_t>(digit);
    } else {
      dropped_bits += bits_per_digit;
      dropped_nonzero = dropped_nonzero || digit != 0;
      if (dropped_bits > 2048) return 0;  // far beyond the range of a double
    }
  }
  // With 56 or more leading bits, the lowest one lies below the rounding point and can stand for
  // all dropped bits in the rounding.
  if (dropped_nonzero) leading |= 1;
  const double value = std::ldexp(static_cast<double>(leading), dropped_bits);
  return std::isinf(value) ? 0 : value;  // beyond the range of a double, as for exponents
}

// Appends the characters of a decimal number (blanks removed, D turned into e) to `out`, which
// std::from_chars then converts with correct rounding. Returns false when no digit was found.
template <typename Out>
bool gather_decimal(std::string_view t, std::size_t i, Out& out) {
  bool any_digit = false;
  for (; i < t.size() && is_digit(t[i]); i = skip_blanks(t, i + 1)) {
    out.push_back(t[i]);
    any_digit = true;
  }
  if (i < t.size() && t[i] == '.') {
    out.push_back('.');
    for (i = skip_blanks(t, i + 1); i < t.size() && is_digit(t[i]); i = skip_blanks(t, i + 1)) {
      out.push_back(t[i]);
      any_digit = true;
    }
  }
  if (!any_digit) return false;
  if (i < t.size() && is_exponent_letter(t[i])) {
    std::size_t j = skip_blanks(t, i + 1);
    char sign = 0;
    if (j < t.size() && (t[j] == '+' || t[j] == '-')) {
      sign = t[j];
      j = skip_blanks(t, j + 1);
    }
    if (j < t.size() && is_digit(t[j])) {
      out.push_back('e');
      if (sign == '-') out.push_back('-');
      for (; j < t.size() && is_digit(t[j]); j = skip_blanks(t, j + 1)) out.push_back(t[j]);
    }
  }
  return true;
}

// A fixed buffer with a heap fallback, so that the usual short field never allocates.
class NumberText {
 public:
  void push_back(char c) {
    if (size_ < sizeof(small_)) {
      small_[size_++] = c;
      return;
    }
    if (large_.empty()) large_.assign(small_, size_);
    large_.push_back(c);
    ++size_;
  }
  const char* data() const { return large_.empty() ? small_ : large_.data(); }
  std::size_t size() const { return size_; }

 private:
  char small_[64];
  std::size_t size_ = 0;
  std::string large_;
};

double read_decimal(std::string_view t, std::size_t i) {
  NumberText digits;
  if (!gather_decimal(t, i, digits)) return 0;
  double value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  (void)end;
  if (ec != std::errc()) return 0;  // beyond the range of a double
  return value;
}

}  // namespace

double Val(std::string_view t) noexcept {
  std::size_t i = skip_blanks(t, 0);
  if (i >= t.size()) return 0;
  if (t[i] == '&') return read_radix(t, i + 1);

  bool negative = false;
  if (t[i] == '+' || t[i] == '-') {
    negative = t[i] == '-';
    i = skip_blanks(t, i + 1);
  }

  // Fast path: plain whole numbers, the common case in record fields.
  const std::size_t start = i;
  std::uint64_t whole = 0;
  int count = 0;
  for (; i < t.size() && is_digit(t[i]) && count < 19; i = skip_blanks(t, i + 1), ++count) {
    whole = whole * 10 + static_cast<std::uint64_t>(t[i] - '0');
  }
  if (i >= t.size() || (!is_digit(t[i]) && t[i] != '.' && !is_exponent_letter(t[i]))) {
    const double value = static_cast<double>(whole);
    return negative ? -value : value;
  }

  try {
    const double value = read_decimal(t, start);
    return negative ? -value : value;
  } catch (...) {
    return 0;  // only a failed allocation for an absurdly long text lands here
  }
}

}  // namespace vemo
