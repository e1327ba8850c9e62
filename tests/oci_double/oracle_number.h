// Oracle's internal NUMBER format, as the Programmer's Guide describes it for the NUMBER (2)
// and VARNUM (6) external types.
//
// A number is an exponent byte followed by up to 20 base-100 mantissa digits, most significant
// first, with no trailing zero digits:
//   - zero is the single byte 0x80;
//   - a positive number m * 100^e (first digit of m in 1..99) has the exponent byte 0xC1 + e
//     and each digit d stored as d + 1;
//   - a negative number has the exponent byte 0x3E - e, each digit d stored as 101 - d, and a
//     terminating byte 102 when it has fewer than 20 digits.
// Examples: 1 = C1 02; 100 = C2 02; 0.5 = C0 33; 123.45 = C2 02 18 2E; -1 = 3E 64 66.
// VARNUM is the same preceded by a length byte, 22 bytes at most.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace volmek::ocidouble {

// The internal form of the decimal text `text` ("-12.5", "0.25", "3": no exponent). A value
// with more than 40 significant digits is rounded to 40, half away from zero. nullopt when the
// text is no such number or lies outside Oracle's range.
std::optional<std::vector<std::uint8_t>> EncodeOracleNumber(std::string_view text);

}  // namespace volmek::ocidouble
