#include "oci_double/oracle_number.h"

#include <string>

namespace volmek::ocidouble {
namespace {

constexpr std::size_t kMaxDigits = 20;  // base-100 mantissa digits

}  // namespace

std::optional<std::vector<std::uint8_t>> EncodeOracleNumber(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (whole.empty() && fraction.empty()) return std::nullopt;
  for (std::string_view part : {whole, fraction}) {
    for (char c : part) {
      if (c < '0' || c > '9') return std::nullopt;
    }
  }
  // Pad both parts to whole base-100 digits around the point.
  std::string digits;
  if (whole.size() % 2 != 0) digits.push_back('0');
  digits.append(whole);
  long point_pairs = static_cast<long>(digits.size() / 2);
  digits.append(fraction);
  if (digits.size() % 2 != 0) digits.push_back('0');
  std::vector<int> pairs;
  for (std::size_t idx = 0; idx < digits.size(); idx += 2) {
    pairs.push_back((digits[idx] - '0') * 10 + (digits[idx + 1] - '0'));
  }
  std::size_t leading = 0;
  while (leading < pairs.size() && pairs[leading] == 0) ++leading;
  if (leading == pairs.size()) return std::vector<std::uint8_t>{0x80};
  pairs.erase(pairs.begin(), pairs.begin() + static_cast<long>(leading));
  long exponent = point_pairs - static_cast<long>(leading) - 1;
  if (pairs.size() > kMaxDigits) {
    bool round_up = pairs[kMaxDigits] >= 50;
    pairs.resize(kMaxDigits);
    for (std::size_t idx = kMaxDigits; round_up && idx-- > 0;) {
      round_up = ++pairs[idx] == 100;
      if (round_up) pairs[idx] = 0;
    }
    if (round_up) {
      pairs.insert(pairs.begin(), 1);
      pairs.pop_back();
      ++exponent;
    }
  }
  while (pairs.back() == 0) pairs.pop_back();
  if (exponent < -65 || exponent > 62) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  if (negative) {
    bytes.push_back(static_cast<std::uint8_t>(0x3E - exponent));
    for (int pair : pairs) bytes.push_back(static_cast<std::uint8_t>(101 - pair));
    if (pairs.size() < kMaxDigits) bytes.push_back(102);
  } else {
    bytes.push_back(static_cast<std::uint8_t>(0xC1 + exponent));
    for (int pair : pairs) bytes.push_back(static_cast<std::uint8_t>(pair + 1));
  }
  return bytes;
}

}  // namespace volmek::ocidouble
