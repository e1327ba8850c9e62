#include "engine/plsql/value.h"

#include <fmt/format.h>

namespace volmek::engine::plsql {

Value Value::Number(Decimal value) {
  Value result;
  result.kind = Kind::kNumber;
  result.number = value;
  return result;
}

Value Value::Text(std::string value) {
  Value result;
  if (value.empty()) return result;
  result.kind = Kind::kText;
  result.text = std::move(value);
  return result;
}

Value Value::FromDate(Date value) {
  Value result;
  result.kind = Kind::kDate;
  result.date = value;
  return result;
}

Value Value::Bool(bool value) {
  Value result;
  result.kind = Kind::kBool;
  result.boolean = value;
  return result;
}

OraError ValueError(std::string_view detail) {
  return Ora(6502, fmt::format("PL/SQL: numeric or value error{}", detail));
}

namespace {

OraError ExpressionWrongType() { return Ora(6550, "PLS-00382: expression is of wrong type"); }

}  // namespace

OraResult<std::optional<Decimal>> AsNumber(const Value& value) {
  switch (value.kind) {
    case Value::Kind::kNull:
      return std::optional<Decimal>();
    case Value::Kind::kNumber:
      return std::optional<Decimal>(value.number);
    case Value::Kind::kText: {
      OraResult<Decimal> parsed = Decimal::Parse(value.text);
      if (!parsed.has_value()) return OraErr(ValueError(": character to number conversion error"));
      return std::optional<Decimal>(*parsed);
    }
    case Value::Kind::kDate:
    case Value::Kind::kBool:
      break;
  }
  return OraErr(ExpressionWrongType());
}

OraResult<std::optional<std::string>> AsText(const Value& value, std::string_view date_format) {
  switch (value.kind) {
    case Value::Kind::kNull:
      return std::optional<std::string>();
    case Value::Kind::kNumber:
      return std::optional<std::string>(value.number.ToOracleText());
    case Value::Kind::kText:
      return std::optional<std::string>(value.text);
    case Value::Kind::kDate: {
      VK_ASSIGN_OR_ORA_RETURN(std::string text, FormatDate(value.date, date_format));
      return std::optional<std::string>(std::move(text));
    }
    case Value::Kind::kBool:
      break;
  }
  return OraErr(ExpressionWrongType());
}

OraResult<std::optional<Date>> AsDate(const Value& value, std::string_view date_format) {
  switch (value.kind) {
    case Value::Kind::kNull:
      return std::optional<Date>();
    case Value::Kind::kDate:
      return std::optional<Date>(value.date);
    case Value::Kind::kText: {
      VK_ASSIGN_OR_ORA_RETURN(Date date, ParseDate(value.text, date_format, Now()));
      return std::optional<Date>(date);
    }
    case Value::Kind::kNumber:
    case Value::Kind::kBool:
      break;
  }
  return OraErr(ExpressionWrongType());
}

OraResult<Value> Assign(const Value& value, const PlType& type, std::string_view date_format) {
  if (value.is_null()) {
    if (type.not_null) return OraErr(ValueError());
    return Value::Null();
  }
  switch (type.base) {
    case BaseType::kNumber:
    case BaseType::kPlsInteger: {
      VK_ASSIGN_OR_ORA_RETURN(std::optional<Decimal> number, AsNumber(value));
      if (type.base == BaseType::kPlsInteger) {
        VK_ASSIGN_OR_ORA_RETURN(Decimal rounded, number->Round(0));
        std::optional<std::int64_t> exact = rounded.ToInt64Exact();
        if (!exact || *exact > 2147483647 || *exact < -2147483648LL) {
          return OraErr(Ora(1426, "numeric overflow"));
        }
        return Value::Number(rounded);
      }
      OraResult<Decimal> fitted = FitNumberColumn(*number, type.precision, type.scale);
      if (!fitted.has_value()) return OraErr(ValueError(": number precision too large"));
      return Value::Number(*fitted);
    }
    case BaseType::kVarchar2:
    case BaseType::kChar: {
      OraResult<std::optional<std::string>> converted = AsText(value, date_format);
      if (!converted.has_value()) return OraErr(converted.error());
      std::string text = converted->value_or(std::string());
      if (type.length > 0 && text.size() > static_cast<std::size_t>(type.length)) {
        return OraErr(ValueError(": character string buffer too small"));
      }
      if (type.base == BaseType::kChar && type.length > 0) {
        text.append(static_cast<std::size_t>(type.length) - text.size(), ' ');
      }
      return Value::Text(std::move(text));
    }
    case BaseType::kDate: {
      VK_ASSIGN_OR_ORA_RETURN(std::optional<Date> date, AsDate(value, date_format));
      return Value::FromDate(*date);
    }
    case BaseType::kBoolean:
      if (value.kind != Value::Kind::kBool) return OraErr(ExpressionWrongType());
      return value;
  }
  return value;
}

OraResult<std::string> SqlLiteral(const Value& value) {
  switch (value.kind) {
    case Value::Kind::kNull:
      return std::string("NULL");
    case Value::Kind::kNumber: {
      std::string text = value.number.ToCanonical();
      if (value.number.is_negative()) return "(" + text + ")";
      return text;
    }
    case Value::Kind::kText: {
      std::string out = "'";
      for (char c : value.text) {
        out += c;
        if (c == '\'') out += '\'';
      }
      out += '\'';
      return out;
    }
    case Value::Kind::kDate:
      return fmt::format("TO_DATE('{}','YYYY-MM-DD HH24:MI:SS')", ToStoredText(value.date));
    case Value::Kind::kBool:
      break;
  }
  return OraErr(ExpressionWrongType());
}

OraResult<int> CompareValues(const Value& a, const Value& b, std::string_view date_format) {
  auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  if (a.kind == Value::Kind::kNumber || b.kind == Value::Kind::kNumber) {
    VK_ASSIGN_OR_ORA_RETURN(std::optional<Decimal> x, AsNumber(a));
    VK_ASSIGN_OR_ORA_RETURN(std::optional<Decimal> y, AsNumber(b));
    return Decimal::Compare(*x, *y);
  }
  if (a.kind == Value::Kind::kDate || b.kind == Value::Kind::kDate) {
    VK_ASSIGN_OR_ORA_RETURN(std::optional<Date> x, AsDate(a, date_format));
    VK_ASSIGN_OR_ORA_RETURN(std::optional<Date> y, AsDate(b, date_format));
    return sign(ToSeconds(*x), ToSeconds(*y));
  }
  if (a.kind == Value::Kind::kBool && b.kind == Value::Kind::kBool) {
    return sign(a.boolean, b.boolean);
  }
  if (a.kind == Value::Kind::kText && b.kind == Value::Kind::kText) {
    return a.text < b.text ? -1 : (b.text < a.text ? 1 : 0);
  }
  return OraErr(ExpressionWrongType());
}

}  // namespace volmek::engine::plsql
