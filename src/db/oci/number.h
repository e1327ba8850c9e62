// Oracle's internal NUMBER format, as a define of external type SQLT_VNU delivers it, decoded
// into exact decimal text (and encoded from it, for the tests' fake client).
//
// The format, from the OCI Programmer's Guide (data types, "Oracle NUMBER"): a length byte
// (SQLT_VNU only), then an exponent byte, then 1 to 20 mantissa bytes, each one base-100 digit.
//   - Zero is the exponent byte 0x80 alone.
//   - Positive: exponent byte = 0xC1 + E, digits stored as digit + 1 (1..100), where the value
//     is d0.d1d2... x 100^E.
//   - Negative: every byte is the complement of the positive form: exponent byte = 0x3E - E,
//     digits stored as 101 - digit (2..101), and a byte 102 ends the mantissa when it has fewer
//     than 20 digits.
//   - Beyond the range (|x| >= 1e126) the library has two markers: 0xFF 0x65 for +infinity and
//     0x00 for -infinity.
// Examples (with the length byte): 0 = 01 80; 5 = 02 C1 06; 100 = 02 C2 02; 0.001 = 02 BF 0B;
// -5 = 03 3E 60 66; 12.5 = 03 C1 0D 33.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace volmek::db::oci {

// The largest SQLT_VNU value: the length byte and 21 bytes of number.
inline constexpr std::size_t kVnuSize = 22;

// The exact decimal text of the SQLT_VNU value `vnu`: no exponent, "-" for negatives, a "0"
// before a leading point, no trailing fraction zeros ("0", "-0.25", "1200", "0.001").
// Nothing for a value the format cannot hold (a bad length, a byte out of range, an infinity).
std::optional<std::string> DecodeVnu(std::span<const std::uint8_t> vnu);

// The integer part of a decimal text of DecodeVnu, when it fits in 64 bits.
std::optional<std::int64_t> IntegerPart(std::string_view decimal_text);

// The SQLT_VNU form of the decimal text `text` ("-12.5", "1e125", ".001"). Nothing when the
// text is not a number, needs more than 40 significant digits or is outside 1e-130 .. 1e126.
std::optional<std::vector<std::uint8_t>> EncodeVnu(std::string_view text);

}  // namespace volmek::db::oci
