#include "engine/values/coerce.h"

#include <sqlite3.h>

#include <fmt/format.h>

#include <charconv>
#include <cmath>

namespace volmek::engine {

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The text a non-text value takes when it is written into a character column.
OraStatus AppendAsText(const SqlValue& value, std::string* out) {
  switch (value.kind) {
    case SqlValue::Kind::kInteger:
      fmt::format_to(std::back_inserter(*out), "{}", value.integer);
      return {};
    case SqlValue::Kind::kReal: {
      VK_ASSIGN_OR_ORA_RETURN(Decimal number, Decimal::FromDouble(value.real));
      *out += number.ToOracleText();
      return {};
    }
    default:
      out->append(value.text);
      return {};
  }
}

// The hot path of loads: appends the stored form of `value` when it needs no arithmetic, that
// is when the value's text (an integer's digits, a double's shortest text, a text as given) is
// canonical already and the column takes it unchanged: no more than 38 digits, no more
// decimals than the scale and no more integer digits than precision - scale. False (nothing
// appended) otherwise.
bool AppendPlainNumber(const SqlValue& value, const StoreTarget& target, std::string* out) {
  constexpr std::size_t kMaxPlainText = 38;
  char buffer[64];
  std::string_view text;
  switch (value.kind) {
    case SqlValue::Kind::kInteger: {
      auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value.integer);
      if (ec != std::errc()) return false;
      text = std::string_view(buffer, static_cast<std::size_t>(end - buffer));
      break;
    }
    case SqlValue::Kind::kReal: {
      // Decimal::FromDouble reads the same shortest text.
      if (!std::isfinite(value.real)) return false;
      auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value.real);
      if (ec != std::errc()) return false;
      text = std::string_view(buffer, static_cast<std::size_t>(end - buffer));
      break;
    }
    case SqlValue::Kind::kText:
      text = value.text;
      break;
    default:
      return false;
  }
  if (text.size() > kMaxPlainText || !IsCanonicalNumberText(text)) return false;
  if (target.precision || target.scale) {
    const int precision = target.precision.value_or(38);
    const int scale = target.scale.value_or(0);
    if (scale < 0) return false;
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '-') digits.remove_prefix(1);
    const std::size_t point = digits.find('.');
    std::size_t integer_digits = point == std::string_view::npos ? digits.size() : point;
    const std::size_t decimals = point == std::string_view::npos ? 0 : digits.size() - point - 1;
    if (integer_digits == 1 && digits.front() == '0') integer_digits = 0;
    if (decimals > static_cast<std::size_t>(scale)) return false;
    if (static_cast<long long>(integer_digits) > static_cast<long long>(precision) - scale) {
      return false;
    }
  }
  out->append(text);
  return true;
}

OraStatus StoreNumber(const SqlValue& value, const StoreTarget& target, std::string* out) {
  if (AppendPlainNumber(value, target, out)) return {};
  VK_ASSIGN_OR_ORA_RETURN(std::optional<Decimal> number, NumberOf(value));
  // NumberOf gives nullopt only for NULL and '', which the caller has already handled.
  VK_ASSIGN_OR_ORA_RETURN(
      Decimal fitted, FitNumberColumn(number.value_or(Decimal()), target.precision, target.scale));
  fitted.AppendCanonical(*out);
  return {};
}

OraStatus StoreCharacters(const SqlValue& value, const StoreTarget& target, bool pad,
                          std::string* out) {
  std::size_t start = out->size();
  VK_RETURN_IF_ORA_ERROR(AppendAsText(value, out));
  std::int64_t actual = static_cast<std::int64_t>(out->size() - start);
  if (target.char_semantics && target.length > 0) {
    // Counted in characters (a byte that starts no UTF-8 sequence's continuation starts one),
    // within the type's limit in bytes all the same.
    std::int64_t characters = 0;
    for (std::size_t i = start; i < out->size(); ++i) {
      if ((static_cast<unsigned char>((*out)[i]) & 0xC0) != 0x80) ++characters;
    }
    const std::int64_t byte_limit = pad ? 2000 : 4000;
    if (characters > target.length) {
      out->resize(start);
      return OraErr(ValueTooLarge(target, characters));
    }
    if (pad && target.length > characters) {
      out->append(static_cast<std::size_t>(target.length - characters), ' ');
    }
    if (static_cast<std::int64_t>(out->size() - start) > byte_limit) {
      StoreTarget in_bytes = target;
      in_bytes.length = byte_limit;
      actual = static_cast<std::int64_t>(out->size() - start);
      out->resize(start);
      return OraErr(ValueTooLarge(in_bytes, actual));
    }
    return {};
  }
  if (target.length > 0 && actual > target.length) {
    out->resize(start);
    return OraErr(ValueTooLarge(target, actual));
  }
  if (pad && target.length > actual) {
    out->append(static_cast<std::size_t>(target.length - actual), ' ');
  }
  return {};
}

OraStatus StoreDate(const SqlValue& value, const SessionSettings& settings, std::string* out) {
  if (value.kind == SqlValue::Kind::kInteger || value.kind == SqlValue::Kind::kReal) {
    return OraErr(Ora(932, "inconsistent datatypes: expected DATE got NUMBER"));
  }
  if (ParseStoredText(value.text).has_value()) {
    // Already the stored form, digit for digit.
    out->append(value.text);
    return {};
  }
  VK_ASSIGN_OR_ORA_RETURN(Date date, ParseDate(value.text, settings.nls_date_format, Now()));
  AppendStoredText(date, *out);
  return {};
}

OraStatus StoreRaw(const SqlValue& value, const StoreTarget& target, std::string* out) {
  std::string hex;
  VK_RETURN_IF_ORA_ERROR(AppendAsText(value, &hex));
  for (char c : hex) {
    if (!IsHexDigit(c)) return OraErr(Ora(1465, "invalid hex number"));
  }
  // An odd count of hexadecimal digits has an implied leading zero.
  if (hex.size() % 2 != 0) hex.insert(hex.begin(), '0');
  std::int64_t bytes = static_cast<std::int64_t>(hex.size() / 2);
  if (target.type_code == db::kTypeRaw && target.length > 0 && bytes > target.length) {
    return OraErr(ValueTooLarge(target, bytes));
  }
  for (char& c : hex) {
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
  out->append(hex);
  return {};
}

}  // namespace

SqlValue FromSqlite(sqlite3_value* value) {
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      return SqlValue::Integer(sqlite3_value_int64(value));
    case SQLITE_FLOAT:
      return SqlValue::Real(sqlite3_value_double(value));
    case SQLITE_TEXT: {
      const unsigned char* text = sqlite3_value_text(value);
      int bytes = sqlite3_value_bytes(value);
      if (text == nullptr) return SqlValue::Null();
      return SqlValue::Text(
          std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(bytes)));
    }
    case SQLITE_BLOB: {
      const void* blob = sqlite3_value_blob(value);
      int bytes = sqlite3_value_bytes(value);
      SqlValue result;
      result.kind = SqlValue::Kind::kBlob;
      if (blob != nullptr) {
        result.text =
            std::string_view(static_cast<const char*>(blob), static_cast<std::size_t>(bytes));
      }
      return result;
    }
    default:
      return SqlValue::Null();
  }
}

OraError ValueTooLarge(const StoreTarget& target, std::int64_t actual) {
  return Ora(12899, fmt::format(
                        "value too large for column \"{}\".\"{}\".\"{}\" (actual: {}, maximum: {})",
                        target.owner, target.table, target.column, actual, target.length));
}

OraResult<std::optional<Decimal>> NumberOf(const SqlValue& value) {
  switch (value.kind) {
    case SqlValue::Kind::kNull:
      return std::optional<Decimal>();
    case SqlValue::Kind::kInteger:
      return std::optional<Decimal>(Decimal::FromInt64(value.integer));
    case SqlValue::Kind::kReal: {
      VK_ASSIGN_OR_ORA_RETURN(Decimal number, Decimal::FromDouble(value.real));
      return std::optional<Decimal>(number);
    }
    case SqlValue::Kind::kText:
    case SqlValue::Kind::kBlob: {
      if (value.text.empty()) return std::optional<Decimal>();
      VK_ASSIGN_OR_ORA_RETURN(Decimal number, Decimal::Parse(value.text));
      return std::optional<Decimal>(number);
    }
  }
  return std::optional<Decimal>();
}

OraResult<bool> StoreValue(const SqlValue& value, const StoreTarget& target,
                           const SessionSettings& settings, std::string* out) {
  if (value.kind == SqlValue::Kind::kNull) return false;
  bool textual = value.kind == SqlValue::Kind::kText || value.kind == SqlValue::Kind::kBlob;
  if (textual && value.text.empty()) return false;
  out->clear();
  switch (target.type_code) {
    case db::kTypeNumber:
      VK_RETURN_IF_ORA_ERROR(StoreNumber(value, target, out));
      break;
    case db::kTypeChar:
      VK_RETURN_IF_ORA_ERROR(StoreCharacters(value, target, true, out));
      break;
    case db::kTypeDate:
      VK_RETURN_IF_ORA_ERROR(StoreDate(value, settings, out));
      break;
    case db::kTypeRaw:
    case db::kTypeLongRaw:
      VK_RETURN_IF_ORA_ERROR(StoreRaw(value, target, out));
      break;
    case db::kTypeLong: {
      StoreTarget unlimited = target;
      unlimited.length = 0;
      VK_RETURN_IF_ORA_ERROR(StoreCharacters(value, unlimited, false, out));
      break;
    }
    default:
      VK_RETURN_IF_ORA_ERROR(StoreCharacters(value, target, false, out));
      break;
  }
  return !out->empty();
}

OraStatus FetchNumber(const SqlValue& value, db::ExternalType type, db::FetchedValue* out) {
  out->rcode = 0;
  out->text.clear();
  bool textual = value.kind == SqlValue::Kind::kText || value.kind == SqlValue::Kind::kBlob;
  if (value.kind == SqlValue::Kind::kNull || (textual && value.text.empty())) {
    out->is_null = true;
    out->integer = 0;
    out->real = 0;
    out->rcode = db::kRcNullValue;
    return {};
  }
  out->is_null = false;
  if (value.kind == SqlValue::Kind::kInteger) {
    out->integer = value.integer;
    out->real = static_cast<double>(value.integer);
    fmt::format_to(std::back_inserter(out->text), "{}", value.integer);
    return {};
  }
  VK_ASSIGN_OR_ORA_RETURN(std::optional<Decimal> number, NumberOf(value));
  Decimal d = number.value_or(Decimal());
  std::optional<std::int64_t> integer = d.ToInt64Truncated();
  if (!integer && type == db::ExternalType::kInteger) {
    return OraErr(Ora(1455, "converting column overflows integer datatype"));
  }
  out->integer = integer.value_or(d.is_negative() ? INT64_MIN : INT64_MAX);
  out->real = d.ToDouble();
  if (type == db::ExternalType::kString) {
    out->text = d.ToOracleText();
  } else {
    d.AppendCanonical(out->text);
  }
  return {};
}

OraResult<std::string> FetchDateText(std::string_view stored, std::string_view date_format) {
  std::optional<Date> date = ParseStoredText(stored);
  if (!date) return std::string(stored);
  return FormatDate(*date, date_format);
}

}  // namespace volmek::engine
