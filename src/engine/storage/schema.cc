#include "engine/storage/schema.h"

#include <fmt/format.h>

namespace volmek::engine {

OraError Ora(int code, std::string_view text) {
  return OraError{code, fmt::format("ORA-{:05d}: {}", code, text)};
}

std::optional<OraError> OraFromMessage(std::string_view sqlite_message) {
  constexpr std::string_view kPrefix = "ORA-";
  if (!sqlite_message.starts_with(kPrefix)) return std::nullopt;
  std::size_t pos = kPrefix.size();
  int code = 0;
  std::size_t digits = 0;
  while (pos < sqlite_message.size() && sqlite_message[pos] >= '0' && sqlite_message[pos] <= '9') {
    code = code * 10 + (sqlite_message[pos] - '0');
    ++pos;
    if (++digits > 5) return std::nullopt;
  }
  if (digits != 5 || pos >= sqlite_message.size() || sqlite_message[pos] != ':') {
    return std::nullopt;
  }
  return OraError{code, std::string(sqlite_message)};
}

short SqlType::TypeCode() const {
  switch (kind) {
    case TypeKind::kNumber:
    case TypeKind::kFloat:
      return 2;
    case TypeKind::kChar:
      return 96;
    case TypeKind::kVarchar2:
      return 1;
    case TypeKind::kDate:
      return 12;
    case TypeKind::kLong:
      return 8;
    case TypeKind::kRaw:
      return 23;
    case TypeKind::kLongRaw:
      return 24;
    case TypeKind::kRowid:
      return 11;
  }
  return 1;
}

std::string SqlType::DisplayText() const {
  switch (kind) {
    case TypeKind::kNumber:
      if (!precision.has_value()) return scale.has_value() ? "NUMBER(38)" : "NUMBER";
      if (scale.value_or(0) == 0) return fmt::format("NUMBER({})", *precision);
      return fmt::format("NUMBER({},{})", *precision, *scale);
    case TypeKind::kFloat:
      return fmt::format("FLOAT({})", binary_precision);
    case TypeKind::kChar:
      return fmt::format("CHAR({}{})", length, char_semantics ? " CHAR" : "");
    case TypeKind::kVarchar2:
      return fmt::format("VARCHAR2({}{})", length, char_semantics ? " CHAR" : "");
    case TypeKind::kRaw:
      return fmt::format("RAW({})", length);
    default:
      return DataTypeName();
  }
}

int SqlType::ByteLength() const {
  if (!char_semantics) return length;
  const int limit = kind == TypeKind::kChar ? 2000 : 4000;
  return length > limit / 4 ? limit : length * 4;
}

std::string SqlType::DataTypeName() const {
  switch (kind) {
    case TypeKind::kNumber:
      return "NUMBER";
    case TypeKind::kFloat:
      return "FLOAT";
    case TypeKind::kChar:
      return "CHAR";
    case TypeKind::kVarchar2:
      return "VARCHAR2";
    case TypeKind::kDate:
      return "DATE";
    case TypeKind::kLong:
      return "LONG";
    case TypeKind::kRaw:
      return "RAW";
    case TypeKind::kLongRaw:
      return "LONG RAW";
    case TypeKind::kRowid:
      return "ROWID";
  }
  return "VARCHAR2";
}

}  // namespace volmek::engine
