#pragma once

// The four worked records, one per layout, with the lines they must give. Every position no
// field reads holds 'X'.

#include <string>

#include "support/record_builder.h"

namespace vemo::test {

inline std::string layout_c_example() {
  std::string r = record_of(97);
  put(r, 18, "1234567        ");
  put(r, 33, "   7654321F    ");
  put(r, 50, "142503");
  put(r, 56, "000125");
  put(r, 62, "000042");
  put(r, 71, "070315");
  put(r, 84, "ABC12  ");
  put(r, 91, " QRS9  ");
  return r;
}
inline constexpr const char* kLayoutCLine = "2007-03-15,14:25:03,1234567,7654321,85,42,ABC12,QRS9";

inline std::string layout_a_example() {
  std::string r = record_of(119);
  put(r, 18, "123456789012345");
  put(r, 33, "9");
  put(r, 34, "24680F         ");
  put(r, 50, "235959");
  put(r, 56, "012000");
  put(r, 62, "100000");
  put(r, 71, "101231");
  put(r, 84, "R1     ");
  put(r, 91, "       ");
  return r;
}
inline constexpr const char* kLayoutALine =
    "2010-12-31,23:59:59,123456789012345,24680,4800,100000,R1,";

inline std::string layout_b_example() {
  std::string r = record_of(113);
  put(r, 18, "  314159       ");
  put(r, 37, "2718281828F    ");
  put(r, 66, "080910");
  put(r, 72, "000059");
  put(r, 78, "   007");
  put(r, 87, "090102");
  put(r, 100, "AB01CD ");
  put(r, 107, "  EF2  ");
  return r;
}
inline constexpr const char* kLayoutBLine = "2009-01-02,08:09:10,314159,2718281828,59,7,AB01CD,EF2";

inline std::string layout_d_example() {
  std::string r = record_of(109);
  put(r, 18, "1111           ");
  put(r, 33, "22222          ");
  put(r, 62, "010203");
  put(r, 68, "100000");
  put(r, 74, "999999");
  put(r, 83, "991130");
  put(r, 96, "Q      ");
  put(r, 103, "Z7     ");
  return r;
}
inline constexpr const char* kLayoutDLine = "2099-11-30,01:02:03,1111,22222,36000,999999,Q,Z7";

}  // namespace vemo::test
