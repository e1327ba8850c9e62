#include "db/two_decimals.h"

#include <fmt/format.h>

#include <algorithm>

namespace volmek::db {

namespace {

bool IsDigits(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> RoundDecimalText(std::string_view text) {
  bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  std::size_t point = text.find('.');
  std::string whole(text.substr(0, point));
  std::string fraction(point == std::string_view::npos ? std::string_view()
                                                       : text.substr(point + 1));
  if (whole.empty() || !IsDigits(whole) || !IsDigits(fraction)) return std::nullopt;
  bool round_up = fraction.size() > 2 && fraction[2] >= '5';
  fraction.resize(2, '0');
  std::string digits = whole + fraction;
  for (std::size_t idx = digits.size(); round_up && idx-- > 0;) {
    if (digits[idx] == '9') {
      digits[idx] = '0';
    } else {
      ++digits[idx];
      round_up = false;
    }
  }
  if (round_up) digits.insert(digits.begin(), '1');
  // A negative value that rounds to zero keeps its sign ("-0.00"), as fixed point printing
  // of it does; only a zero itself has none.
  if (text.find_first_of("123456789") == std::string_view::npos) negative = false;
  std::size_t first = digits.find_first_not_of('0');
  // Leading zeros of the whole part go, but one digit is always left before the point.
  std::size_t keep_from =
      std::min(first == std::string::npos ? digits.size() : first, digits.size() - 3);
  std::string result = negative ? "-" : "";
  result.append(digits, keep_from, digits.size() - 2 - keep_from);
  result += '.';
  result.append(digits, digits.size() - 2, 2);
  return result;
}

std::string TwoDecimals(const db::FetchedValue& value) {
  if (!value.text.empty()) {
    if (std::optional<std::string> rounded = RoundDecimalText(value.text)) return *rounded;
  }
  return fmt::format("{:.2f}", value.real);
}

}  // namespace volmek::db
