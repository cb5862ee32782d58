#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/number_format.h"
#include "core/record_layout.h"

namespace vemo {

// The line written in place of a record whose length no layout serves.
inline constexpr std::string_view kSkipLine = "Record Skipped";

// Turns one record into the text of its output line (without the line end):
//   20yy-mm-dd,hh:mm:ss,number1,number2,elapsed seconds,counter,text1,text2
// or the skip line. A pure function of the record and its length value.
namespace RecordDecoder {

// Room that decode() may need: the fixed-width columns plus two numbers at their longest.
inline constexpr std::size_t kMaxLineSize = 128 + 2 * kMaxNumberChars;

// Writes the line into `out`, which must have room for kMaxLineSize characters; returns the
// number of characters written. Never allocates.
std::size_t decode(std::string_view record, double length, char* out) noexcept;

// Convenience for callers off the hot path.
std::string decode(std::string_view record, double length);

}  // namespace RecordDecoder

}  // namespace vemo
