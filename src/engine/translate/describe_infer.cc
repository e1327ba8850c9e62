#include "engine/translate/describe_infer.h"

#include <cstdio>
#include <cstdlib>
#include <limits>

namespace volmek::engine {
namespace {

// Oracle numbers reach 1E126 and go down to 1E-130; literals outside are an overflow.
constexpr long kMaxExponent = 126;
constexpr long kMinExponent = -130;
// A double names every decimal of up to 15 significant digits exactly (it round-trips).
constexpr std::size_t kExactDoubleDigits = 15;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

Typed Typed::Number() {
  Typed typed;
  typed.type.kind = TypeKind::kNumber;
  typed.type.length = 22;
  return typed;
}

Typed Typed::Char(int length) {
  Typed typed;
  typed.type.kind = TypeKind::kChar;
  typed.type.length = length;
  return typed;
}

Typed Typed::Varchar2(int length) {
  Typed typed;
  typed.type.kind = TypeKind::kVarchar2;
  typed.type.length = length;
  return typed;
}

Typed Typed::Date() {
  Typed typed;
  typed.type.kind = TypeKind::kDate;
  typed.type.length = 7;
  return typed;
}

Typed Typed::Null() {
  Typed typed = Varchar2(0);
  typed.is_null = true;
  return typed;
}

Typed Typed::Rowid() {
  Typed typed;
  typed.type.kind = TypeKind::kRowid;
  typed.type.length = 10;
  typed.nullable = false;
  return typed;
}

db::ColumnDescription Describe(const Typed& typed, std::string name) {
  db::ColumnDescription description;
  description.name = std::move(name);
  description.nulls_allowed = typed.nullable ? 1 : 0;
  const SqlType& type = typed.type;
  switch (type.kind) {
    case TypeKind::kNumber:
      description.db_type = db::kTypeNumber;
      description.db_size = 22;
      if (type.precision.has_value()) {
        description.precision = static_cast<std::int16_t>(*type.precision);
        description.scale = static_cast<std::int16_t>(type.scale.value_or(0));
        description.display_size = *type.precision + (description.scale > 0 ? 2 : 1);
      } else if (type.scale.has_value()) {
        // INTEGER, INT, SMALLINT: NUMBER(38) in disguise.
        description.precision = 38;
        description.scale = 0;
        description.display_size = 39;
      } else {
        description.display_size = 40;
      }
      break;
    case TypeKind::kFloat:
      description.db_type = db::kTypeNumber;
      description.db_size = 22;
      description.precision = static_cast<std::int16_t>(type.binary_precision);
      description.scale = -127;
      description.display_size = 40;
      break;
    case TypeKind::kChar:
    case TypeKind::kVarchar2:
      description.db_type = type.kind == TypeKind::kChar ? db::kTypeChar : db::kTypeVarchar2;
      // In bytes, as Oracle's describe gives a column of character semantics.
      description.db_size = type.ByteLength();
      description.display_size = type.ByteLength();
      break;
    case TypeKind::kDate:
      description.db_type = db::kTypeDate;
      description.db_size = 7;
      description.display_size = 9;
      break;
    case TypeKind::kLong:
      description.db_type = db::kTypeLong;
      break;
    case TypeKind::kRaw:
      description.db_type = db::kTypeRaw;
      description.db_size = type.length;
      description.display_size = type.length * 2;
      break;
    case TypeKind::kLongRaw:
      description.db_type = db::kTypeLongRaw;
      break;
    case TypeKind::kRowid:
      description.db_type = db::kTypeRowid;
      description.db_size = 10;
      description.display_size = 18;
      break;
  }
  return description;
}

std::string ExpressionName(std::string_view source_text) {
  std::string name;
  name.reserve(source_text.size());
  for (char c : source_text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') continue;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    name.push_back(c);
  }
  return name;
}

namespace {

// CanonicalNumber into `*canonical` (cleared first).
std::optional<OraError> Canonicalize(std::string_view text, bool negate, std::string* canonical) {
  canonical->clear();
  // Split into digits and the position of the decimal point within them.
  std::string digits;
  long point = -1;
  std::size_t pos = 0;
  for (; pos < text.size(); ++pos) {
    char c = text[pos];
    if (IsDigit(c)) {
      digits.push_back(c);
    } else if (c == '.' && point < 0) {
      point = static_cast<long>(digits.size());
    } else {
      break;
    }
  }
  if (point < 0) point = static_cast<long>(digits.size());
  long exponent = 0;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    bool exponent_negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
      exponent_negative = text[pos] == '-';
      ++pos;
    }
    for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
      if (exponent > 100000) return Ora(1426, "numeric overflow");
      exponent = exponent * 10 + (text[pos] - '0');
    }
    if (exponent_negative) exponent = -exponent;
  }
  if (digits.empty() || pos != text.size()) return Ora(1722, "invalid number");
  point += exponent;
  // Drop leading zeros (moving the point) and trailing zeros after the point.
  std::size_t first = 0;
  while (first < digits.size() && digits[first] == '0') ++first;
  if (first == digits.size()) {
    canonical->push_back('0');
    return std::nullopt;
  }
  digits.erase(0, first);
  point -= static_cast<long>(first);
  while (!digits.empty() && digits.back() == '0' && static_cast<long>(digits.size()) > point) {
    digits.pop_back();
  }
  if (point > kMaxExponent || point < kMinExponent) return Ora(1426, "numeric overflow");
  if (negate) canonical->push_back('-');
  const long size = static_cast<long>(digits.size());
  if (point <= 0) {
    *canonical += "0.";
    canonical->append(static_cast<std::size_t>(-point), '0');
    *canonical += digits;
  } else if (point >= size) {
    *canonical += digits;
    canonical->append(static_cast<std::size_t>(point - size), '0');
  } else {
    *canonical += digits.substr(0, static_cast<std::size_t>(point));
    *canonical += '.';
    *canonical += digits.substr(static_cast<std::size_t>(point));
  }
  return std::nullopt;
}

}  // namespace

OraResult<std::string> CanonicalNumber(std::string_view text, bool negate) {
  std::string canonical;
  if (auto error = Canonicalize(text, negate, &canonical)) return OraErr(std::move(*error));
  return canonical;
}

OraResult<BindValue> NumberLiteral(std::string_view text, bool negate) {
  std::string canonical;
  if (auto error = Canonicalize(text, negate, &canonical)) return OraErr(std::move(*error));
  BindValue value;
  const std::size_t sign = canonical[0] == '-' ? 1 : 0;
  const std::size_t dot = canonical.find('.');
  if (dot == std::string::npos) {
    // Integral: INTEGER when it fits in 64 bits (19 digits always do, 20 never).
    const std::size_t length = canonical.size() - sign;
    if (length <= 18 || (length == 19 && canonical.compare(sign, 19, "9223372036854775807") <= 0)) {
      value.kind = BindValue::Kind::kInteger;
      value.integer = std::strtoll(canonical.c_str(), nullptr, 10);
      return value;
    }
  }
  std::size_t significant = 0;
  bool started = false;
  for (std::size_t idx = sign; idx < canonical.size(); ++idx) {
    char c = canonical[idx];
    if (c == '.') continue;
    if (c != '0') started = true;
    if (started) ++significant;
  }
  // Trailing zeros of an integral value are not significant either.
  if (dot == std::string::npos) {
    for (std::size_t idx = canonical.size(); idx > sign && canonical[idx - 1] == '0'; --idx) {
      --significant;
    }
  }
  if (significant <= kExactDoubleDigits) {
    value.kind = BindValue::Kind::kReal;
    value.real = std::strtod(canonical.c_str(), nullptr);
    return value;
  }
  value.kind = BindValue::Kind::kText;
  value.text = std::move(canonical);
  return value;
}

BindValue StringLiteral(std::string value) {
  BindValue bind;
  if (value.empty()) return bind;
  bind.kind = BindValue::Kind::kText;
  bind.text = std::move(value);
  return bind;
}

std::string LiteralSql(const BindValue& value) {
  switch (value.kind) {
    case BindValue::Kind::kNull:
      return "NULL";
    case BindValue::Kind::kInteger:
      if (value.integer == std::numeric_limits<std::int64_t>::min()) {
        return "(-9223372036854775807-1)";
      }
      return std::to_string(value.integer);
    case BindValue::Kind::kReal: {
      // 17 significant digits name the double exactly; SQLite reads it back to the same value.
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "%.17g", value.real);
      std::string text(buffer);
      if (text.find_first_of(".e") == std::string::npos) text += ".0";
      return text;
    }
    case BindValue::Kind::kText:
      return QuoteString(value.text);
  }
  return "NULL";
}

OraResult<std::string> LikePatternToGlob(std::string_view pattern, std::string_view escape) {
  std::string glob;
  glob.reserve(pattern.size() + 8);
  for (std::size_t idx = 0; idx < pattern.size(); ++idx) {
    char c = pattern[idx];
    if (!escape.empty() && c == escape[0]) {
      if (idx + 1 >= pattern.size() ||
          (pattern[idx + 1] != '%' && pattern[idx + 1] != '_' && pattern[idx + 1] != escape[0])) {
        return OraErr(1424, "missing or illegal character following the escape character");
      }
      c = pattern[++idx];
      if (c == '*' || c == '?' || c == '[') {
        glob += '[';
        glob += c;
        glob += ']';
      } else {
        glob += c;
      }
      continue;
    }
    switch (c) {
      case '%':
        glob += '*';
        break;
      case '_':
        glob += '?';
        break;
      case '*':
      case '?':
      case '[':
        glob += '[';
        glob += c;
        glob += ']';
        break;
      default:
        glob += c;
    }
  }
  return glob;
}

std::string QuoteString(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted.push_back(c);
    if (c == '\'') quoted.push_back('\'');
  }
  quoted.push_back('\'');
  return quoted;
}

std::string QuoteName(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    quoted.push_back(c);
    if (c == '"') quoted.push_back('"');
  }
  quoted.push_back('"');
  return quoted;
}

}  // namespace volmek::engine
