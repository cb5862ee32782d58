#include "reference/reference_converter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace vemo {
namespace {

constexpr std::size_t kBlock = 2048;

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

bool is_decimal_digit(char c) {
  return c >= '0' && c <= '9';
}

bool is_digit_in_base(char c, int base) {
  if (is_decimal_digit(c)) return c - '0' < base;
  if (base != 16) return false;
  return (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Blanks are skipped wherever they stand, so the text reads the same with all of them removed.
std::string without_blanks(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (!is_blank(c)) out += c;
  }
  return out;
}

// strtod gives the nearest double, and infinity beyond the range of a double, which reads as 0.
// Test programs keep the "C" locale, so "." is the decimal point strtod expects.
double nearest_double(const std::string& number_text) {
  const double value = std::strtod(number_text.c_str(), nullptr);
  return std::isinf(value) ? 0 : value;
}

// Three binary digits per octal digit, regrouped into four per hexadecimal digit.
std::string octal_to_hex(const std::string& octal) {
  std::string bits;
  for (char c : octal) {
    const int d = c - '0';
    bits += (d & 4) ? '1' : '0';
    bits += (d & 2) ? '1' : '0';
    bits += (d & 1) ? '1' : '0';
  }
  while (bits.size() % 4 != 0) bits.insert(bits.begin(), '0');
  std::string hex;
  for (std::size_t i = 0; i < bits.size(); i += 4) {
    int nibble = 0;
    for (std::size_t j = 0; j < 4; ++j) nibble = nibble * 2 + (bits[i + j] - '0');
    hex += "0123456789abcdef"[nibble];
  }
  return hex;
}

// The twelve fields of a layout by their first position; the widths are the same everywhere.
struct Layout {
  std::vector<int> lengths;
  int number1, number2;
  int hour, minute, second;
  int elapsed, counter;
  int year, month, day;
  int text1, text2;
};

// Tried in this order; the first layout that serves the length value wins.
const std::vector<Layout>& layouts() {
  static const std::vector<Layout> table = {
      {{119}, 18, 34, 50, 52, 54, 56, 62, 71, 73, 75, 84, 91},
      {{113}, 18, 37, 66, 68, 70, 72, 78, 87, 89, 91, 100, 107},
      {{97, 105, 108, 112, 116}, 18, 33, 50, 52, 54, 56, 62, 71, 73, 75, 84, 91},
      {{109}, 18, 33, 62, 64, 66, 68, 74, 83, 85, 87, 96, 103},
  };
  return table;
}

const Layout* layout_for(double length) {
  for (const Layout& layout : layouts()) {
    for (int served : layout.lengths) {
      if (length == static_cast<double>(served)) return &layout;
    }
  }
  return nullptr;
}

// The characters from 1-based `start` for `width`, fewer (or none) when the record ends sooner.
std::string cut(const std::string& record, int start, int width) {
  const std::size_t first = static_cast<std::size_t>(start - 1);
  if (record.size() <= first) return "";
  return record.substr(first, static_cast<std::size_t>(width));
}

std::string trim_spaces(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  return text.substr(begin, end - begin);
}

// hhmmss: h from characters 1-2, m from 3-4, s from the last two (or all when fewer).
double elapsed_seconds(const std::string& e) {
  const double h = reference_val(e.substr(0, std::min<std::size_t>(2, e.size())));
  const double m = reference_val(e.size() > 2 ? e.substr(2, 2) : "");
  const double s = reference_val(e.size() >= 2 ? e.substr(e.size() - 2) : e);
  return h * 3600 + m * 60 + s;
}

// `n` characters of the file from 0-based `first`, zero bytes where the file has ended.
std::string bytes_at(const std::string& file, std::size_t first, std::size_t n) {
  std::string out(n, '\0');
  for (std::size_t i = 0; i < n; ++i) {
    if (first + i < file.size()) out[i] = file[first + i];
  }
  return out;
}

}  // namespace

double reference_val(const std::string& text) {
  const std::string t = without_blanks(text);
  // Past the end reads as a zero byte, which no number continues with.
  auto at = [&t](std::size_t i) { return i < t.size() ? t[i] : '\0'; };

  if (at(0) == '&') {
    int base = 0;
    if (at(1) == 'H' || at(1) == 'h') base = 16;
    if (at(1) == 'O' || at(1) == 'o') base = 8;
    if (base == 0) return 0;
    std::string digits;
    for (std::size_t i = 2; is_digit_in_base(at(i), base); ++i) digits += at(i);
    if (digits.empty()) return 0;
    return nearest_double("0x" + (base == 16 ? digits : octal_to_hex(digits)));
  }

  std::string number;
  std::size_t i = 0;
  if (at(i) == '+' || at(i) == '-') number += at(i++);
  int digit_count = 0;
  while (is_decimal_digit(at(i))) {
    number += at(i++);
    ++digit_count;
  }
  if (at(i) == '.') {
    number += at(i++);
    while (is_decimal_digit(at(i))) {
      number += at(i++);
      ++digit_count;
    }
  }
  if (digit_count == 0) return 0;

  const char letter = at(i);
  if (letter == 'E' || letter == 'e' || letter == 'D' || letter == 'd') {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (at(j) == '+' || at(j) == '-') exponent += at(j++);
    // An exponent letter without digits after it is not part of the number.
    if (is_decimal_digit(at(j))) {
      while (is_decimal_digit(at(j))) exponent += at(j++);
      number += exponent;
    }
  }
  return nearest_double(number);
}

std::string reference_write_number(double value) {
  if (value == 0) return "0";
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    return std::to_string(static_cast<long long>(value));
  }
  // printf rounds to 15 significant digits: "-d.dddddddddddddde+XX".
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.14e", value);
  std::string text = buffer;
  const bool negative = text[0] == '-';
  if (negative) text.erase(0, 1);
  const std::size_t e = text.find('e');
  std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
  const int exponent = std::stoi(text.substr(e + 1));
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out;
  if (exponent >= 0) {
    const std::size_t whole_count = static_cast<std::size_t>(exponent) + 1;
    std::string whole = digits.substr(0, std::min(whole_count, digits.size()));
    while (whole.size() < whole_count) whole += '0';
    const std::string fraction = digits.size() > whole_count ? digits.substr(whole_count) : "";
    out = fraction.empty() ? whole : whole + "." + fraction;
  } else {
    out = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  }
  return negative ? "-" + out : out;
}

std::optional<std::array<std::string, 8>> reference_columns(const std::string& record,
                                                            double length) {
  const Layout* layout = layout_for(length);
  if (layout == nullptr) return std::nullopt;

  const std::string number1 = trim_spaces(cut(record, layout->number1, 15));
  std::string number2 = trim_spaces(cut(record, layout->number2, 15));
  if (!number2.empty() && number2.back() == 'F') number2.pop_back();
  const std::string hour = cut(record, layout->hour, 2);
  const std::string minute = cut(record, layout->minute, 2);
  const std::string second = cut(record, layout->second, 2);
  const double elapsed = elapsed_seconds(cut(record, layout->elapsed, 6));
  const double counter = reference_val(cut(record, layout->counter, 6));
  const std::string year = cut(record, layout->year, 2);
  const std::string month = cut(record, layout->month, 2);
  const std::string day = cut(record, layout->day, 2);
  const std::string text1 = trim_spaces(cut(record, layout->text1, 7));
  const std::string text2 = trim_spaces(cut(record, layout->text2, 7));
  return std::array<std::string, 8>{
      "20" + year + "-" + month + "-" + day, hour + ":" + minute + ":" + second, number1, number2,
      reference_write_number(elapsed),       reference_write_number(counter),    text1,   text2};
}

std::string reference_decode(const std::string& record, double length) {
  const auto columns = reference_columns(record, length);
  if (!columns) return "Record Skipped";
  std::string line = (*columns)[0];
  for (std::size_t i = 1; i < columns->size(); ++i) line += "," + (*columns)[i];
  return line;
}

bool reference_is_data_file(const std::string& file_bytes) {
  for (std::size_t block = 0; block < 6; ++block) {
    const double probe = reference_val(bytes_at(file_bytes, block * kBlock, 3));
    if (probe < 80 || probe > 150) return false;
  }
  return true;
}

std::vector<ReferenceRow> reference_scan_rows(const std::string& file_bytes) {
  std::vector<ReferenceRow> out;
  for (std::size_t start = 0;; start += kBlock) {
    const std::string block = bytes_at(file_bytes, start, kBlock);
    const bool end_of_data = start + kBlock > file_bytes.size();
    // k is the 1-based offset of the record in the block; a record may start at 2047 at the
    // latest, its prefix then holding two characters.
    std::size_t k = 1;
    while (k < kBlock) {
      const double length = reference_val(block.substr(k - 1, 3));
      // Zero ends the block's records, and so does anything else below 1: a sign or a fraction.
      if (length < 1) break;
      // The record takes the whole part of its length, or the rest of the block when that is
      // less; a fractional length still reaches the decoder as it is (and is skipped there).
      const std::size_t room = kBlock - k + 1;
      const std::size_t taken =
          length >= static_cast<double>(room) ? room : static_cast<std::size_t>(std::floor(length));
      out.push_back({start + k - 1, reference_columns(block.substr(k - 1, taken), length)});
      k += taken;
    }
    if (end_of_data) break;
  }
  return out;
}

std::vector<std::string> reference_scan_lines(const std::string& file_bytes) {
  std::vector<std::string> out;
  for (const ReferenceRow& row : reference_scan_rows(file_bytes)) {
    if (!row.columns) {
      out.emplace_back("Record Skipped");
      continue;
    }
    std::string line = (*row.columns)[0];
    for (std::size_t i = 1; i < row.columns->size(); ++i) line += "," + (*row.columns)[i];
    out.push_back(std::move(line));
  }
  return out;
}

std::vector<std::string> reference_lines(const std::string& file_bytes) {
  if (!reference_is_data_file(file_bytes)) return {};
  return reference_scan_lines(file_bytes);
}

std::string reference_convert(const std::string& file_bytes) {
  std::string out;
  for (const std::string& line : reference_lines(file_bytes)) out += line + "\r\n";
  return out;
}

}  // namespace vemo

namespace vemo {
namespace {

bool reference_utf8(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80                ? 1
                    : c >= 0xC2 && c < 0xE0 ? 2
                    : c >= 0xE0 && c < 0xF0 ? 3
                    : c >= 0xF0 && c < 0xF5 ? 4
                                            : 0;
    if (n == 0 || i + n > s.size()) return false;
    std::uint32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (std::size_t j = 1; j < n; ++j) {
      const auto d = static_cast<unsigned char>(s[i + j]);
      if ((d & 0xC0) != 0x80) return false;
      cp = cp << 6 | (d & 0x3F);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

std::string reference_field(const std::string& format, const std::string& s) {
  std::string out;
  if (format == "csv") {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    out += '"';
    for (const char c : s) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
    return out;
  }
  if (format == "tsv") {
    for (const char c : s) {
      out += c == '\t'   ? "\\t"
             : c == '\r' ? "\\r"
             : c == '\n' ? "\\n"
             : c == '\\' ? "\\\\"
                         : std::string(1, c);
    }
    return out;
  }
  const bool utf8 = reference_utf8(s);
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    char buffer[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20) {
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else if (c >= 0x80 && !utf8) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace

std::string reference_row(const std::string& format, const std::string& file, std::uint64_t offset,
                          const std::optional<std::array<std::string, 8>>& columns) {
  static const char* const kNames[] = {"date",    "time",  "number1", "number2", "elapsed_seconds",
                                       "counter", "text1", "text2"};
  std::string out;
  if (format == "jsonl") {
    out =
        "{\"file\":\"" + reference_field(format, file) + "\",\"offset\":" + std::to_string(offset);
    for (std::size_t i = 0; i < 8; ++i) {
      const bool number = i == 4 || i == 5;
      out += ",\"";
      out += kNames[i];
      out += "\":";
      if (!columns) {
        out += number ? "null" : "\"\"";
      } else if (number) {
        out += (*columns)[i];
      } else {
        out += '"';
        out += reference_field(format, (*columns)[i]);
        out += '"';
      }
    }
    return out + ",\"skipped\":" + (columns ? "false" : "true") + "}\n";
  }
  const std::string sep = format == "csv" ? "," : "\t";
  out = reference_field(format, file) + sep + std::to_string(offset);
  for (std::size_t i = 0; i < 8; ++i)
    out += sep + (columns ? reference_field(format, (*columns)[i]) : "");
  return out + sep + (columns ? "0" : "1") + (format == "csv" ? "\r\n" : "\n");
}

}  // namespace vemo
