#pragma once

#include <cstdint>
#include <string_view>

namespace vornix7 {

// The number that `text` begins with, read the same under every locale:
// - blanks, tabs and line feeds are skipped wherever they stand ("1 2 3" is
//   123); a carriage return ends the number like any other character;
// - an optional sign, digits with at most one "." (never ","), then an
//   optional exponent: E or D in either case, an optional sign and digits;
// - "&H" or "&O" (either case) starts a hexadecimal or octal integer, read
//   as a non-negative whole number however many digits follow;
// - reading stops at the first character that cannot continue the number;
//   no number at all reads as 0.
// A number too large for a double reads as +/-infinity and one too small as
// 0, so a device reporting 1E400 is logged as "inf" instead of crashing.
double LeadingNumber(std::string_view text);

// Rounds to the nearest integer, an exact half going to the even neighbour.
// Throws RuntimeError "Overflow" when the result lies outside int32 (also
// for infinity and NaN).
std::int32_t RoundToInt32(double value);

} // namespace vornix7
