#pragma once

// The record layouts axegen writes, and the block framing they sit in.
//
// This table is deliberately kept apart from src/core: the generator states the layouts a second
// time, so that a mistake in the converter's own table shows up as a test failure on generated
// data rather than being copied into the data the tests check against.
//
// A data file is a run of 2048-byte blocks. Each block holds records that start with a
// three-digit total length; a record never spills into the next block (it is cut at the block
// end), and a "000" / blank / zero-byte length ends the block's records. The converter accepts a
// file only if the first record length of each of blocks 1..6 reads 80..150.

#include <array>
#include <cstddef>
#include <cstdint>

namespace axegen {

inline constexpr std::size_t kBlock = 2048;
inline constexpr std::uint64_t kProbeBlocks = 6;
inline constexpr std::size_t kMaxRecord = 999;  // largest length a three-digit prefix can state

// Positions are 1-based within the record, position 1 being the first prefix digit.
enum class Field {
  kNum1,
  kNum2,
  kHour,
  kMinute,
  kSecond,
  kElapsed,
  kCounter,
  kYear,
  kMonth,
  kDay,
  kText1,
  kText2
};
inline constexpr int kFieldCount = 12;
inline constexpr std::array<int, kFieldCount> kFieldWidth{15, 15, 2, 2, 2, 6, 6, 2, 2, 2, 7, 7};

constexpr int width_of(Field f) {
  return kFieldWidth[static_cast<int>(f)];
}

struct Layout {
  int len;
  std::array<int, kFieldCount> start;  // indexed by Field
  constexpr int at(Field f) const { return start[static_cast<int>(f)]; }
};

inline constexpr Layout kLayoutA{119, {18, 34, 50, 52, 54, 56, 62, 71, 73, 75, 84, 91}};
inline constexpr Layout kLayoutB{113, {18, 37, 66, 68, 70, 72, 78, 87, 89, 91, 100, 107}};
inline constexpr Layout kLayoutD{109, {18, 33, 62, 64, 66, 68, 74, 83, 85, 87, 96, 103}};
inline constexpr std::array<int, kFieldCount> kLayoutCStarts{18, 33, 50, 52, 54, 56,
                                                             62, 71, 73, 75, 84, 91};

inline constexpr std::array<Layout, 8> kLayouts{{
    kLayoutA,
    kLayoutB,
    kLayoutD,
    {97, kLayoutCStarts},
    {105, kLayoutCStarts},
    {108, kLayoutCStarts},
    {112, kLayoutCStarts},
    {116, kLayoutCStarts},
}};

constexpr bool layouts_fit() {
  for (const Layout& lay : kLayouts) {
    for (int f = 0; f < kFieldCount; ++f) {
      if (lay.start[f] < 4 || lay.start[f] + kFieldWidth[f] - 1 > lay.len) return false;
    }
  }
  return true;
}
static_assert(layouts_fit(), "every field must lie inside its record, after the prefix");

inline const Layout* layout_for(std::size_t len) {
  for (const Layout& lay : kLayouts) {
    if (static_cast<std::size_t>(lay.len) == len) return &lay;
  }
  return nullptr;
}

// fill_exactly[d]: d bytes can be filled with whole records of known lengths.
constexpr std::array<bool, kBlock + 1> make_fill_table() {
  std::array<bool, kBlock + 1> ok{};
  ok[0] = true;
  for (std::size_t d = 1; d <= kBlock; ++d) {
    for (const Layout& lay : kLayouts) {
      const auto len = static_cast<std::size_t>(lay.len);
      if (len <= d && ok[d - len]) ok[d] = true;
    }
  }
  return ok;
}
inline constexpr std::array<bool, kBlock + 1> kFillExactly = make_fill_table();
static_assert(kFillExactly[kBlock], "a block must be fillable with known records");

}  // namespace axegen
