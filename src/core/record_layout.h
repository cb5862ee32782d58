#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vemo {

// A run of record characters: 1-based start position and width.
struct Field {
  std::uint16_t start;
  std::uint16_t width;
};

// Where the twelve fields of one record layout lie. The widths are the same in every layout.
struct RecordLayout {
  Field number1;  // 15 wide, trimmed
  Field number2;  // 15 wide, trimmed, one trailing "F" removed
  Field hour, minute, second;
  Field elapsed;  // hhmmss
  Field counter;
  Field year, month, day;
  Field text1, text2;  // 7 wide each, trimmed
};

// Builds a layout from the start positions; the widths are fixed.
constexpr RecordLayout make_layout(std::uint16_t number2, std::uint16_t hour, std::uint16_t elapsed,
                                   std::uint16_t year, std::uint16_t text1) {
  return RecordLayout{
      .number1 = {18, 15},
      .number2 = {number2, 15},
      .hour = {hour, 2},
      .minute = {static_cast<std::uint16_t>(hour + 2), 2},
      .second = {static_cast<std::uint16_t>(hour + 4), 2},
      .elapsed = {elapsed, 6},
      .counter = {static_cast<std::uint16_t>(elapsed + 6), 6},
      .year = {year, 2},
      .month = {static_cast<std::uint16_t>(year + 2), 2},
      .day = {static_cast<std::uint16_t>(year + 4), 2},
      .text1 = {text1, 7},
      .text2 = {static_cast<std::uint16_t>(text1 + 7), 7},
  };
}

//                                                number2 hour elapsed year text1
inline constexpr RecordLayout kLayoutA = make_layout(34, 50, 56, 71, 84);   // 119
inline constexpr RecordLayout kLayoutB = make_layout(37, 66, 72, 87, 100);  // 113
inline constexpr RecordLayout kLayoutC = make_layout(33, 50, 56, 71, 84);   // 97 105 108 112 116
inline constexpr RecordLayout kLayoutD = make_layout(33, 62, 68, 83, 96);   // 109

// The last position any field of the layout reads: a record of at least this many characters
// holds all of them.
constexpr std::size_t layout_end(const RecordLayout& l) noexcept {
  return static_cast<std::size_t>(l.text2.start + l.text2.width - 1);
}

// The record lengths the decoder knows, with their layouts.
struct LengthLayout {
  int length;
  const RecordLayout* layout;
};
inline constexpr std::array<LengthLayout, 8> kLengthLayouts = {{
    {119, &kLayoutA},
    {113, &kLayoutB},
    {97, &kLayoutC},
    {105, &kLayoutC},
    {108, &kLayoutC},
    {112, &kLayoutC},
    {116, &kLayoutC},
    {109, &kLayoutD},
}};

// The layout for a record length value, or nullptr when no layout serves it (the record is then
// written as the skip line). Only whole values equal to one of the eight lengths match.
const RecordLayout* layout_for_length(double length) noexcept;

// Lengths 97..119 map straight to their layout; every other slot is empty.
struct LayoutIndex {
  static constexpr int kFirstLength = 97;
  static constexpr int kLastLength = 119;
  const RecordLayout* by_length[kLastLength - kFirstLength + 1] = {};
  constexpr LayoutIndex() {
    for (const auto& entry : kLengthLayouts) by_length[entry.length - kFirstLength] = entry.layout;
  }
};
inline constexpr LayoutIndex kLayoutIndex;

// The same for a whole length value, as a three-digit prefix gives, without floating point.
inline const RecordLayout* layout_for_whole_length(unsigned length) noexcept {
  const unsigned slot = length - LayoutIndex::kFirstLength;
  return slot <= LayoutIndex::kLastLength - LayoutIndex::kFirstLength ? kLayoutIndex.by_length[slot]
                                                                      : nullptr;
}

}  // namespace vemo
