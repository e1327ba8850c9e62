#include "db/oci/number.h"

#include <charconv>

namespace volmek::db::oci {

namespace {

constexpr std::uint8_t kZeroExponent = 0x80;
constexpr int kPositiveBias = 0xC1;
constexpr int kNegativeBias = 0x3E;
constexpr std::uint8_t kNegativeEnd = 102;
constexpr std::size_t kMaxMantissa = 20;
// E, the base-100 exponent of the first digit, spans 1e-130 .. 9.99...e125.
constexpr int kMinExponent = -65;
constexpr int kMaxExponent = 62;

void AppendPair(std::string& out, int digit) {
  out.push_back(static_cast<char>('0' + digit / 10));
  out.push_back(static_cast<char>('0' + digit % 10));
}

}  // namespace

std::optional<std::string> DecodeVnu(std::span<const std::uint8_t> vnu) {
  if (vnu.empty()) return std::nullopt;
  std::size_t length = vnu[0];
  if (length < 1 || length + 1 > vnu.size() || length > kVnuSize - 1) return std::nullopt;
  std::span<const std::uint8_t> number = vnu.subspan(1, length);
  std::uint8_t exponent_byte = number[0];
  if (length == 1 && exponent_byte == kZeroExponent) return std::string("0");
  bool negative = (exponent_byte & 0x80) == 0;
  std::span<const std::uint8_t> mantissa = number.subspan(1);
  if (negative && !mantissa.empty() && mantissa.back() == kNegativeEnd) {
    mantissa = mantissa.first(mantissa.size() - 1);
  }
  // No digits: the infinities (0x00 alone, 0xFF 0x65) or a damaged value.
  if (mantissa.empty() || mantissa.size() > kMaxMantissa) return std::nullopt;
  int exponent = negative ? kNegativeBias - exponent_byte : exponent_byte - kPositiveBias;
  std::string pairs;
  pairs.reserve(mantissa.size() * 2);
  for (std::uint8_t byte : mantissa) {
    int digit = negative ? 101 - byte : byte - 1;
    if (digit < 0 || digit > 99) return std::nullopt;
    AppendPair(pairs, digit);
  }
  // The integer part is pairs 0..E, the fraction the rest.
  std::string integer_part;
  std::string fraction;
  if (exponent >= 0) {
    std::size_t integer_digits = static_cast<std::size_t>(exponent + 1) * 2;
    if (pairs.size() >= integer_digits) {
      integer_part = pairs.substr(0, integer_digits);
      fraction = pairs.substr(integer_digits);
    } else {
      integer_part = pairs + std::string(integer_digits - pairs.size(), '0');
    }
  } else {
    fraction = std::string(static_cast<std::size_t>(-exponent - 1) * 2, '0') + pairs;
  }
  std::size_t first = integer_part.find_first_not_of('0');
  integer_part = first == std::string::npos ? "0" : integer_part.substr(first);
  std::size_t last = fraction.find_last_not_of('0');
  fraction = last == std::string::npos ? "" : fraction.substr(0, last + 1);
  if (integer_part == "0" && fraction.empty()) return std::string("0");
  std::string text;
  text.reserve(integer_part.size() + fraction.size() + 2);
  if (negative) text.push_back('-');
  text += integer_part;
  if (!fraction.empty()) {
    text.push_back('.');
    text += fraction;
  }
  return text;
}

std::optional<std::int64_t> IntegerPart(std::string_view decimal_text) {
  std::string_view integer = decimal_text.substr(0, decimal_text.find('.'));
  if (integer == "-0") return 0;
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(integer.data(), integer.data() + integer.size(), value);
  if (error != std::errc() || end != integer.data() + integer.size()) return std::nullopt;
  return value;
}

std::optional<std::vector<std::uint8_t>> EncodeVnu(std::string_view text) {
  bool negative = false;
  std::size_t at = 0;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  // The significant digits and the decimal exponent of the first of them.
  std::string digits;
  int point = 0;  // digits before the point
  bool seen_point = false;
  bool any_digit = false;
  for (; at < text.size(); ++at) {
    char c = text[at];
    if (c >= '0' && c <= '9') {
      any_digit = true;
      if (digits.empty() && c == '0') {
        if (seen_point) --point;
        continue;
      }
      digits.push_back(c);
      if (!seen_point) ++point;
    } else if (c == '.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
  }
  if (!any_digit) return std::nullopt;
  if (at < text.size()) {
    if (text[at] != 'e' && text[at] != 'E') return std::nullopt;
    std::string_view rest = text.substr(at + 1);
    if (!rest.empty() && rest[0] == '+') rest.remove_prefix(1);
    int shift = 0;
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), shift);
    if (error != std::errc() || end != rest.data() + rest.size() || rest.empty()) {
      return std::nullopt;
    }
    point += shift;
  }
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  if (digits.empty()) return std::vector<std::uint8_t>{1, kZeroExponent};
  // Value = 0.digits x 10^point. Align to base-100 pairs: E is the pair exponent of the first.
  int exponent = point > 0 ? (point - 1) / 2 : -((-point) / 2) - 1;
  int lead = point - 2 * exponent;  // digits of the first pair that come from `digits`: 1 or 2
  std::string aligned = (lead == 1 ? "0" : "") + digits;
  if (aligned.size() % 2 != 0) aligned.push_back('0');
  std::size_t pairs = aligned.size() / 2;
  if (pairs > kMaxMantissa || exponent < kMinExponent || exponent > kMaxExponent) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> out;
  out.push_back(0);  // the length, set below
  out.push_back(
      static_cast<std::uint8_t>(negative ? kNegativeBias - exponent : kPositiveBias + exponent));
  for (std::size_t pair_idx = 0; pair_idx < pairs; ++pair_idx) {
    int digit = (aligned[2 * pair_idx] - '0') * 10 + (aligned[2 * pair_idx + 1] - '0');
    out.push_back(static_cast<std::uint8_t>(negative ? 101 - digit : digit + 1));
  }
  if (negative && pairs < kMaxMantissa) out.push_back(kNegativeEnd);
  out[0] = static_cast<std::uint8_t>(out.size() - 1);
  return out;
}

}  // namespace volmek::db::oci
