// Prints the reference converter's rows of each data file named, for checks outside C++ (the
// formats check): one line per record of a file that passes the probe test,
//   INDEX OFFSET 0 HEX,HEX,HEX,HEX,HEX,HEX,HEX,HEX   a record with a layout, its eight columns
//   INDEX OFFSET 1                                   a record without one
// INDEX being the file's place among the arguments (from 0) and HEX a column's bytes.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "reference/reference_converter.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "reference_rows: cannot read %s\n", argv[i]);
      return 2;
    }
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!vemo::reference_is_data_file(bytes)) continue;
    for (const vemo::ReferenceRow& row : vemo::reference_scan_rows(bytes)) {
      std::printf("%d %llu %d", i - 1, static_cast<unsigned long long>(row.offset),
                  row.columns ? 0 : 1);
      if (row.columns) {
        for (std::size_t c = 0; c < row.columns->size(); ++c) {
          std::putchar(c == 0 ? ' ' : ',');
          for (const char ch : (*row.columns)[c])
            std::printf("%02x", static_cast<unsigned char>(ch));
        }
      }
      std::putchar('\n');
    }
  }
  return 0;
}
