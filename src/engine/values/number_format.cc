#include "engine/values/number_format.h"

#include <algorithm>

#include "base/text.h"

namespace volmek::engine {

namespace {

enum class SignMode { kDefault, kLeadingS, kTrailingS, kMinus, kBrackets };

struct Model {
  bool fill = false;
  bool blank_zero = false;
  bool currency = false;
  bool text_minimum = false;
  bool scientific = false;
  bool hex = false;
  bool hex_lower = false;
  bool has_point = false;
  SignMode sign = SignMode::kDefault;
  std::string integer_part;   // '9', '0' and ',' of the integer positions, left to right
  std::string fraction_part;  // '9' and '0' after the point
  int hex_positions = 0;
  bool hex_zero_fill = false;
};

int CountDigits(std::string_view part) {
  return static_cast<int>(
      std::count_if(part.begin(), part.end(), [](char c) { return c == '9' || c == '0'; }));
}

OraResult<Model> ParseModel(std::string_view format) {
  Model model;
  std::string upper = UpperCase(format);
  std::size_t i = 0;
  bool any_digit = false;
  auto at_end = [&](std::size_t next) { return next >= upper.size(); };
  if (upper.starts_with("FM")) {
    model.fill = true;
    i = 2;
  }
  std::string_view rest = std::string_view(upper).substr(i);
  if (rest == "TM" || rest == "TM9" || rest == "TME") {
    model.text_minimum = true;
    return model;
  }
  while (i < upper.size()) {
    char c = upper[i];
    if (c == '9' || c == '0') {
      any_digit = true;
      if (model.hex) {
        return OraErr(InvalidNumberFormat());
      }
      (model.has_point ? model.fraction_part : model.integer_part).push_back(c);
      ++i;
    } else if (c == 'X') {
      if (model.has_point || model.scientific) return OraErr(InvalidNumberFormat());
      if (!model.hex) {
        model.hex_zero_fill = model.integer_part.find('0') != std::string::npos;
        model.hex_positions = CountDigits(model.integer_part);
        if (model.integer_part.find('9') != std::string::npos) {
          return OraErr(InvalidNumberFormat());
        }
        model.integer_part.clear();
      }
      model.hex = true;
      model.hex_lower = format[i] == 'x';
      ++model.hex_positions;
      any_digit = true;
      ++i;
    } else if (c == '.' || c == 'D') {
      if (model.has_point || model.hex) return OraErr(InvalidNumberFormat());
      model.has_point = true;
      ++i;
    } else if (c == ',' || c == 'G') {
      if (model.has_point || model.hex) return OraErr(InvalidNumberFormat());
      model.integer_part.push_back(',');
      ++i;
    } else if (c == '$' || c == 'L') {
      if (model.currency) return OraErr(InvalidNumberFormat());
      model.currency = true;
      ++i;
    } else if (c == 'B') {
      model.blank_zero = true;
      ++i;
    } else if (c == 'S') {
      if (model.sign != SignMode::kDefault) return OraErr(InvalidNumberFormat());
      if (!any_digit && !model.has_point) {
        model.sign = SignMode::kLeadingS;
      } else if (at_end(i + 1)) {
        model.sign = SignMode::kTrailingS;
      } else {
        return OraErr(InvalidNumberFormat());
      }
      ++i;
    } else if (upper.compare(i, 2, "MI") == 0 && at_end(i + 2)) {
      if (model.sign != SignMode::kDefault) return OraErr(InvalidNumberFormat());
      model.sign = SignMode::kMinus;
      i += 2;
    } else if (upper.compare(i, 2, "PR") == 0 && at_end(i + 2)) {
      if (model.sign != SignMode::kDefault) return OraErr(InvalidNumberFormat());
      model.sign = SignMode::kBrackets;
      i += 2;
    } else if (upper.compare(i, 4, "EEEE") == 0) {
      if (model.scientific || model.hex) return OraErr(InvalidNumberFormat());
      model.scientific = true;
      i += 4;
    } else {
      return OraErr(InvalidNumberFormat());
    }
  }
  if (!any_digit) return OraErr(InvalidNumberFormat());
  return model;
}

std::size_t FirstNonBlank(const std::string& s) {
  std::size_t f = s.find_first_not_of(' ');
  return f == std::string::npos ? s.size() : f;
}

std::string Hashes(std::size_t width) { return std::string(width, '#'); }

std::string Trimmed(const std::string& s) {
  std::size_t start = s.find_first_not_of(' ');
  if (start == std::string::npos) return std::string();
  std::size_t end = s.find_last_not_of(' ');
  return s.substr(start, end - start + 1);
}

// Adds the sign (and the blank slot kept for it) to a formatted magnitude.
std::string WithSign(std::string body, bool negative, SignMode mode) {
  switch (mode) {
    case SignMode::kDefault:
    case SignMode::kLeadingS: {
      std::string s = " " + body;
      std::size_t f = std::max<std::size_t>(FirstNonBlank(s), 1);
      if (negative) {
        s[f - 1] = '-';
      } else if (mode == SignMode::kLeadingS) {
        s[f - 1] = '+';
      }
      return s;
    }
    case SignMode::kTrailingS:
      return body + (negative ? '-' : '+');
    case SignMode::kMinus:
      return body + (negative ? '-' : ' ');
    case SignMode::kBrackets: {
      std::string s = " " + body + " ";
      if (negative) {
        std::size_t f = std::max<std::size_t>(FirstNonBlank(s), 1);
        s[f - 1] = '<';
        s.back() = '>';
      }
      return s;
    }
  }
  return body;
}

// Width of the whole result when it overflows: the model's positions plus the sign slot.
std::size_t OverflowWidth(const Model& model) {
  std::size_t width = model.integer_part.size() + model.fraction_part.size() +
                      (model.has_point ? 1 : 0) + (model.currency ? 1 : 0) +
                      static_cast<std::size_t>(model.hex_positions) + (model.scientific ? 4 : 0);
  return width + 1;
}

OraResult<std::string> FormatHex(const Decimal& value, const Model& model) {
  VK_ASSIGN_OR_ORA_RETURN(Decimal rounded, value.Round(0));
  std::size_t width = static_cast<std::size_t>(model.hex_positions);
  if (rounded.is_negative()) return Hashes(width + 1);
  std::string digits;
  Decimal rest = rounded;
  const Decimal sixteen = Decimal::FromInt64(16);
  const char* alphabet = model.hex_lower ? "0123456789abcdef" : "0123456789ABCDEF";
  while (!rest.is_zero() && digits.size() <= width) {
    VK_ASSIGN_OR_ORA_RETURN(Decimal remainder, Decimal::Mod(rest, sixteen));
    std::int64_t digit = remainder.ToInt64Exact().value_or(0);
    digits.insert(digits.begin(), alphabet[digit & 15]);
    VK_ASSIGN_OR_ORA_RETURN(Decimal quotient, Decimal::Div(rest, sixteen));
    rest = quotient.Trunc(0);
  }
  if (digits.empty()) digits = "0";
  if (digits.size() > width) return Hashes(width + 1);
  std::string body = std::string(width - digits.size(), model.hex_zero_fill ? '0' : ' ') + digits;
  std::string s = " " + body;
  return model.fill ? Trimmed(s) : s;
}

OraResult<std::string> FormatScientific(const Decimal& value, const Model& model) {
  int decimals = CountDigits(model.fraction_part);
  VK_ASSIGN_OR_ORA_RETURN(Decimal rounded, value.RoundSignificant(1 + decimals));
  std::string canonical = rounded.Abs().ToCanonical();
  std::string digits;
  for (char c : canonical) {
    if (c >= '0' && c <= '9') digits.push_back(c);
  }
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  if (digits.empty()) digits = "0";
  digits.resize(static_cast<std::size_t>(1 + decimals), '0');
  int power = rounded.is_zero() ? 0 : rounded.Exponent() - 1;
  std::string body = digits.substr(0, 1);
  if (model.has_point) body += "." + digits.substr(1);
  body += power < 0 ? "E-" : "E+";
  int magnitude = power < 0 ? -power : power;
  if (magnitude < 10) body.push_back('0');
  body += std::to_string(magnitude);
  std::string s = WithSign(" " + body, rounded.is_negative(), model.sign);
  return model.fill ? Trimmed(s) : s;
}

}  // namespace

OraError InvalidNumberFormat() { return Ora(1481, "invalid number format model"); }

OraResult<std::string> FormatNumber(const Decimal& value, std::string_view format) {
  VK_ASSIGN_OR_ORA_RETURN(Model model, ParseModel(format));
  if (model.text_minimum) return value.ToOracleText();
  if (model.hex) return FormatHex(value, model);
  if (model.scientific) return FormatScientific(value, model);

  const int decimals = static_cast<int>(model.fraction_part.size());
  VK_ASSIGN_OR_ORA_RETURN(Decimal rounded, value.Round(decimals));
  const bool negative = rounded.is_negative();
  std::string canonical = rounded.Abs().ToCanonical();
  std::size_t point = canonical.find('.');
  std::string integer_digits = canonical.substr(0, point);
  std::string fraction_digits = point == std::string::npos ? "" : canonical.substr(point + 1);
  if (integer_digits == "0") integer_digits.clear();
  fraction_digits.resize(static_cast<std::size_t>(decimals), '0');

  const int positions = CountDigits(model.integer_part);
  if (static_cast<int>(integer_digits.size()) > positions) return Hashes(OverflowWidth(model));
  if (model.blank_zero && rounded.is_zero()) {
    return model.fill ? std::string() : std::string(OverflowWidth(model), ' ');
  }

  // Digit positions left to right; position p shows a digit when it is within the value's digits
  // counted from the right, a zero from the first '0' of the model on, a blank before that.
  std::size_t first_zero = model.integer_part.find('0');
  int first_zero_position = first_zero == std::string::npos
                                ? positions
                                : CountDigits(model.integer_part.substr(0, first_zero));
  if (integer_digits.empty() && decimals == 0)
    first_zero_position = std::min(first_zero_position, positions - 1);
  std::string body;
  int position = 0;
  bool previous_shown = false;
  for (char c : model.integer_part) {
    if (c == ',') {
      body.push_back(previous_shown ? ',' : ' ');
      continue;
    }
    int from_right = positions - 1 - position;
    if (from_right < static_cast<int>(integer_digits.size())) {
      body.push_back(
          integer_digits[integer_digits.size() - 1 - static_cast<std::size_t>(from_right)]);
      previous_shown = true;
    } else if (position >= first_zero_position) {
      body.push_back('0');
      previous_shown = true;
    } else {
      body.push_back(' ');
    }
    ++position;
  }
  if (model.has_point) {
    std::size_t keep = fraction_digits.size();
    if (model.fill) {
      while (keep > 0 && model.fraction_part[keep - 1] == '9' && fraction_digits[keep - 1] == '0') {
        --keep;
      }
    }
    body += "." + fraction_digits.substr(0, keep);
  }
  if (model.currency) body.insert(FirstNonBlank(body), "$");
  std::string s = WithSign(body, negative, model.sign);
  return model.fill ? Trimmed(s) : s;
}

OraResult<Decimal> ParseNumber(std::string_view text, std::string_view format) {
  VK_ASSIGN_OR_ORA_RETURN(Model model, ParseModel(format));
  std::string_view trimmed = text;
  while (!trimmed.empty() && trimmed.front() == ' ') trimmed.remove_prefix(1);
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.remove_suffix(1);
  if (model.text_minimum) return Decimal::Parse(trimmed);
  if (model.hex) {
    if (trimmed.empty() || static_cast<int>(trimmed.size()) > model.hex_positions) {
      return OraErr(InvalidNumber());
    }
    Decimal value;
    const Decimal sixteen = Decimal::FromInt64(16);
    for (char c : trimmed) {
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (digit < 0) return OraErr(InvalidNumber());
      VK_ASSIGN_OR_ORA_RETURN(Decimal shifted, Decimal::Mul(value, sixteen));
      VK_ASSIGN_OR_ORA_RETURN(value, Decimal::Add(shifted, Decimal::FromInt64(digit)));
    }
    return value;
  }
  bool negative = false;
  if (model.sign == SignMode::kBrackets && trimmed.size() >= 2 && trimmed.front() == '<' &&
      trimmed.back() == '>') {
    negative = true;
    trimmed = trimmed.substr(1, trimmed.size() - 2);
  }
  if ((model.sign == SignMode::kMinus || model.sign == SignMode::kTrailingS) && !trimmed.empty() &&
      (trimmed.back() == '-' || trimmed.back() == '+')) {
    negative = trimmed.back() == '-';
    trimmed.remove_suffix(1);
  }
  std::string cleaned;
  bool has_group = model.integer_part.find(',') != std::string::npos;
  for (char c : trimmed) {
    if (c == ',' && has_group) continue;
    if (c == '$' && model.currency) continue;
    cleaned.push_back(c);
  }
  VK_ASSIGN_OR_ORA_RETURN(Decimal value, Decimal::Parse(cleaned));
  if (!model.scientific && value.IntegerDigits() > CountDigits(model.integer_part)) {
    return OraErr(InvalidNumber());
  }
  return negative ? value.Negated() : value;
}

}  // namespace volmek::engine
