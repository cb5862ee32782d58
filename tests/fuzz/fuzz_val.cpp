// Val on arbitrary text, and the number it gives written out: never a crash, never an exponent,
// never more than kMaxNumberChars characters, and the same value and text as the reference.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "core/number_format.h"
#include "core/val.h"
#include "reference/reference_converter.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& text, const std::string& detail) {
  std::fprintf(stderr, "fuzz_val: %s\n  input (%zu bytes):", what, text.size());
  for (unsigned char c : text) std::fprintf(stderr, " %02x", c);
  std::fprintf(stderr, "\n  %s\n", detail.c_str());
  std::abort();
}

// Digits, at most one "." with a digit on both sides, an optional leading "-".
bool plain_decimal(std::string_view s) {
  if (!s.empty() && s[0] == '-') s.remove_prefix(1);
  if (s.empty()) return false;
  bool point = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '.') {
      if (point || i == 0 || i + 1 == s.size()) return false;
      point = true;
    } else if (s[i] < '0' || s[i] > '9') {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const double value = vemo::Val(text);

  // Exactly the promised room, on the heap, so that the sanitizer sees any overrun.
  static const std::unique_ptr<char[]> buffer(new char[vemo::kMaxNumberChars]);
  const char* end = vemo::write_number(value, buffer.get());
  const std::size_t n = static_cast<std::size_t>(end - buffer.get());
  const std::string written(buffer.get(), n);
  if (n == 0 || n > vemo::kMaxNumberChars) fail("bad length", text, written);
  if (!plain_decimal(written)) fail("not plain decimal", text, written);

  const double expected = vemo::reference_val(text);
  if (!(value == expected)) {
    char detail[160];
    std::snprintf(detail, sizeof detail, "Val %.17g, reference %.17g", value, expected);
    fail("value differs from the reference", text, detail);
  }
  const std::string expected_text = vemo::reference_write_number(expected);
  if (written != expected_text) {
    fail("written form differs from the reference", text, written + " vs " + expected_text);
  }
  return 0;
}
