#include "engine/syntax/ddl_parser.h"

#include <fmt/format.h>

#include <algorithm>

#include "base/oracle_reserved_words.h"

namespace volmek::engine {
namespace {

OraError MissingLeftParenthesis() { return Ora(906, "missing left parenthesis"); }
OraError MissingRightParenthesis() { return Ora(907, "missing right parenthesis"); }
OraError InvalidDatatype() { return Ora(902, "invalid datatype"); }
OraError InvalidOption() { return Ora(922, "missing or invalid option"); }
OraError PrecisionOutOfRange() {
  return Ora(1727, "numeric precision specifier is out of range (1 to 38)");
}

OraError ScaleOutOfRange() {
  return Ora(1728, "numeric scale specifier is out of range (-84 to 127)");
}

OraError LengthTooLong() { return Ora(910, "specified length too long for its datatype"); }
OraError ZeroLength() { return Ora(1723, "zero-length columns are not allowed"); }

}  // namespace

bool IsReservedWord(std::string_view upper_word) { return IsOracleReservedWord(upper_word); }

OraError MissingKeyword() { return Ora(905, "missing keyword"); }

OraError InvalidIdentifier(std::string_view name) {
  return Ora(904, fmt::format("\"{}\": invalid identifier", name));
}

OraStatus DdlParser::Tokenize() {
  if (auto error = engine::Tokenize(sql_, &tokens_)) return OraErr(*error);
  return {};
}

const Token& DdlParser::Peek(std::size_t ahead) const {
  std::size_t at = std::min(pos_ + ahead, tokens_.size() - 1);
  return tokens_[at];
}

bool DdlParser::Accept(std::string_view keyword) {
  if (Peek().IsKeyword(keyword)) {
    ++pos_;
    return true;
  }
  return false;
}

bool DdlParser::AcceptSymbol(std::string_view symbol) {
  if (Peek().IsSymbol(symbol)) {
    ++pos_;
    return true;
  }
  return false;
}

OraStatus DdlParser::Expect(std::string_view keyword) {
  if (!Accept(keyword)) return OraErr(MissingKeyword());
  return {};
}

OraStatus DdlParser::ExpectSymbol(std::string_view symbol) {
  if (AcceptSymbol(symbol)) return {};
  if (symbol == "(") return OraErr(MissingLeftParenthesis());
  if (symbol == ")") return OraErr(MissingRightParenthesis());
  if (symbol == ",") return OraErr(917, "missing comma");
  return OraErr(MissingKeyword());
}

OraStatus DdlParser::ExpectEnd() const {
  if (Peek().IsSymbol(";")) return OraErr(911, "invalid character");
  if (!Peek().IsEnd()) return OraErr(InvalidOption());
  return {};
}

OraResult<std::string> DdlParser::Name(const OraError& error) {
  const Token& token = Peek();
  if (token.kind == TokenKind::kQuotedIdentifier) {
    ++pos_;
    std::string value = token.Value();
    if (value.empty()) return OraErr(1741, "illegal zero-length identifier");
    return value;
  }
  if (token.kind != TokenKind::kIdentifier) return OraErr(error);
  std::string value = token.Value();
  if (IsReservedWord(value)) return OraErr(error);
  ++pos_;
  return value;
}

OraResult<std::string> DdlParser::ObjectName(const OraError& error, std::string_view user) {
  VK_ASSIGN_OR_ORA_RETURN(std::string name, Name(error));
  if (AcceptSymbol(".")) {
    if (name != user) return OraErr(1031, "insufficient privileges");
    VK_ASSIGN_OR_ORA_RETURN(name, Name(error));
  }
  return name;
}

OraResult<std::int64_t> DdlParser::Integer(bool sizes) {
  bool negative = AcceptSymbol("-");
  if (!negative) AcceptSymbol("+");
  const Token& token = Peek();
  if (token.kind != TokenKind::kNumber) return OraErr(2017, "integer value required");
  std::string_view text = token.text;
  std::int64_t value = 0;
  std::size_t digit_idx = 0;
  for (; digit_idx < text.size() && text[digit_idx] >= '0' && text[digit_idx] <= '9'; ++digit_idx) {
    if (value > (INT64_MAX - 9) / 10) return OraErr(1426, "numeric overflow");
    value = value * 10 + (text[digit_idx] - '0');
  }
  if (digit_idx != text.size()) return OraErr(2017, "integer value required");
  ++pos_;
  if (sizes) {
    std::int64_t factor = 1;
    if (Peek().IsKeyword("K")) factor = 1024;
    if (Peek().IsKeyword("M")) factor = 1024 * 1024;
    if (Peek().IsKeyword("G")) factor = 1024LL * 1024 * 1024;
    if (factor != 1) {
      ++pos_;
      if (value > INT64_MAX / factor) return OraErr(1426, "numeric overflow");
      value *= factor;
    }
  }
  return negative ? -value : value;
}

OraResult<std::string> DdlParser::IntegerText() {
  bool negative = AcceptSymbol("-");
  if (!negative) AcceptSymbol("+");
  const Token& token = Peek();
  if (token.kind != TokenKind::kNumber) return OraErr(2017, "integer value required");
  std::string_view text = token.text;
  if (text.empty() || text.size() > 28 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return OraErr(2017, "integer value required");
  }
  ++pos_;
  std::size_t first = text.find_first_not_of('0');
  if (first == std::string_view::npos) return std::string("0");
  std::string out;
  if (negative) out += '-';
  out.append(text.substr(first));
  return out;
}

OraResult<SqlType> DdlParser::Type() {
  const Token& token = Peek();
  if (token.kind != TokenKind::kIdentifier) return OraErr(InvalidDatatype());
  std::string word = token.Value();
  ++pos_;
  SqlType type;
  auto length_in_parens = [&](int max, bool required, int default_length) -> OraResult<int> {
    if (!AcceptSymbol("(")) {
      if (required) return OraErr(MissingLeftParenthesis());
      return default_length;
    }
    VK_ASSIGN_OR_ORA_RETURN(std::int64_t length, Integer());
    if (!Accept("BYTE") && Accept("CHAR")) type.char_semantics = true;
    VK_RETURN_IF_ORA_ERROR(ExpectSymbol(")"));
    if (length == 0) return OraErr(ZeroLength());
    if (length < 0 || length > max) return OraErr(LengthTooLong());
    return static_cast<int>(length);
  };
  if (word == "NUMBER" || word == "DEC" || word == "DECIMAL" || word == "NUMERIC") {
    type.kind = TypeKind::kNumber;
    type.length = 22;
    if (word != "NUMBER") type.scale = 0;
    if (AcceptSymbol("(")) {
      if (AcceptSymbol("*")) {
        type.precision.reset();
      } else {
        VK_ASSIGN_OR_ORA_RETURN(std::int64_t precision, Integer());
        if (precision < 1 || precision > 38) return OraErr(PrecisionOutOfRange());
        type.precision = static_cast<int>(precision);
      }
      type.scale = 0;
      if (AcceptSymbol(",")) {
        VK_ASSIGN_OR_ORA_RETURN(std::int64_t scale, Integer());
        if (scale < -84 || scale > 127) return OraErr(ScaleOutOfRange());
        type.scale = static_cast<int>(scale);
      }
      VK_RETURN_IF_ORA_ERROR(ExpectSymbol(")"));
    }
    return type;
  }
  if (word == "INTEGER" || word == "INT" || word == "SMALLINT") {
    type.kind = TypeKind::kNumber;
    type.length = 22;
    type.scale = 0;
    return type;
  }
  if (word == "FLOAT" || word == "REAL" || word == "DOUBLE") {
    type.kind = TypeKind::kFloat;
    type.length = 22;
    type.binary_precision = word == "REAL" ? 63 : 126;
    if (word == "DOUBLE") VK_RETURN_IF_ORA_ERROR(Expect("PRECISION"));
    if (word == "FLOAT" && AcceptSymbol("(")) {
      VK_ASSIGN_OR_ORA_RETURN(std::int64_t bits, Integer());
      if (bits < 1 || bits > 126) {
        return OraErr(1724, "floating point precision is out of range (1 to 126)");
      }
      type.binary_precision = static_cast<int>(bits);
      VK_RETURN_IF_ORA_ERROR(ExpectSymbol(")"));
    }
    return type;
  }
  if (word == "CHAR" || word == "CHARACTER" || word == "NCHAR") {
    if (word == "CHARACTER" && Accept("VARYING")) {
      type.kind = TypeKind::kVarchar2;
      VK_ASSIGN_OR_ORA_RETURN(type.length, length_in_parens(4000, true, 1));
      return type;
    }
    type.kind = TypeKind::kChar;
    VK_ASSIGN_OR_ORA_RETURN(type.length, length_in_parens(2000, false, 1));
    return type;
  }
  if (word == "VARCHAR2" || word == "VARCHAR" || word == "NVARCHAR2") {
    type.kind = TypeKind::kVarchar2;
    VK_ASSIGN_OR_ORA_RETURN(type.length, length_in_parens(4000, true, 1));
    return type;
  }
  if (word == "DATE") {
    type.kind = TypeKind::kDate;
    type.length = 7;
    return type;
  }
  if (word == "LONG") {
    if (Accept("RAW")) {
      type.kind = TypeKind::kLongRaw;
    } else {
      Accept("VARCHAR");
      type.kind = TypeKind::kLong;
    }
    type.length = 0;
    return type;
  }
  if (word == "RAW") {
    type.kind = TypeKind::kRaw;
    VK_ASSIGN_OR_ORA_RETURN(type.length, length_in_parens(2000, true, 1));
    return type;
  }
  if (word == "ROWID") {
    type.kind = TypeKind::kRowid;
    type.length = 10;
    return type;
  }
  return OraErr(InvalidDatatype());
}

OraResult<std::vector<std::string>> DdlParser::NameList(const OraError& error) {
  VK_RETURN_IF_ORA_ERROR(ExpectSymbol("("));
  std::vector<std::string> names;
  do {
    VK_ASSIGN_OR_ORA_RETURN(std::string name, Name(error));
    names.push_back(std::move(name));
  } while (AcceptSymbol(","));
  VK_RETURN_IF_ORA_ERROR(ExpectSymbol(")"));
  return names;
}

OraResult<KeyConstraint> DdlParser::Key(std::optional<std::string> name) {
  KeyConstraint key;
  key.name = std::move(name);
  if (Accept("PRIMARY")) {
    VK_RETURN_IF_ORA_ERROR(Expect("KEY"));
    key.primary = true;
  } else if (!Accept("UNIQUE")) {
    if (Peek().IsKeyword("CHECK") || Peek().IsKeyword("FOREIGN")) {
      VK_ASSIGN_OR_ORA_RETURN(key.rule, Rule(key.name, std::nullopt));
      return key;
    }
    return OraErr(MissingKeyword());
  }
  VK_ASSIGN_OR_ORA_RETURN(key.columns, NameList(Ora(904, "invalid identifier")));
  VK_RETURN_IF_ORA_ERROR(UsingIndex(&key.index_attributes));
  return key;
}

OraResult<RuleConstraint> DdlParser::Rule(std::optional<std::string> name,
                                          std::optional<std::string> column) {
  RuleConstraint rule;
  rule.name = std::move(name);
  if (Accept("CHECK")) {
    VK_RETURN_IF_ORA_ERROR(ExpectSymbol("("));
    std::size_t start = pos_;
    int depth = 0;
    while (!Peek().IsEnd() && !(depth == 0 && Peek().IsSymbol(")"))) {
      if (Peek().IsSymbol("(")) ++depth;
      if (Peek().IsSymbol(")")) --depth;
      ++pos_;
    }
    if (pos_ == start) return OraErr(936, "missing expression");
    rule.condition = std::string(TextBetween(start, pos_));
    VK_RETURN_IF_ORA_ERROR(ExpectSymbol(")"));
  } else {
    rule.kind = RuleConstraint::Kind::kForeignKey;
    if (column.has_value()) {
      rule.columns = {*column};
    } else {
      VK_RETURN_IF_ORA_ERROR(Expect("FOREIGN"));
      VK_RETURN_IF_ORA_ERROR(Expect("KEY"));
      VK_ASSIGN_OR_ORA_RETURN(rule.columns, NameList(Ora(904, "invalid identifier")));
    }
    VK_RETURN_IF_ORA_ERROR(Expect("REFERENCES"));
    VK_ASSIGN_OR_ORA_RETURN(rule.parent_table, Name(Ora(903, "invalid table name")));
    if (AcceptSymbol(".")) {
      // owner.table: the owner must be the user's own (checked when the statement runs).
      VK_ASSIGN_OR_ORA_RETURN(std::string table, Name(Ora(903, "invalid table name")));
      rule.parent_table += "." + table;
    }
    if (Peek().IsSymbol("(")) {
      VK_ASSIGN_OR_ORA_RETURN(rule.parent_columns, NameList(Ora(904, "invalid identifier")));
    }
    if (Accept("ON")) {
      VK_RETURN_IF_ORA_ERROR(Expect("DELETE"));
      if (Accept("CASCADE")) {
        rule.delete_rule = "CASCADE";
      } else if (Accept("SET")) {
        VK_RETURN_IF_ORA_ERROR(Expect("NULL"));
        rule.delete_rule = "SET NULL";
      } else {
        return OraErr(MissingKeyword());
      }
    }
  }
  if (Accept("DISABLE")) {
    rule.enabled = false;
  } else {
    Accept("ENABLE");
  }
  if (!Accept("VALIDATE")) Accept("NOVALIDATE");
  return rule;
}

OraResult<ColumnDefinition> DdlParser::Column(bool for_modify) {
  ColumnDefinition column;
  const Token& name_token = Peek();
  if (name_token.kind == TokenKind::kIdentifier && IsReservedWord(name_token.Value())) {
    return OraErr(Ora(904, ": invalid identifier"));
  }
  VK_ASSIGN_OR_ORA_RETURN(column.name, Name(Ora(904, ": invalid identifier")));
  bool starts_constraint = Peek().IsKeyword("NOT") || Peek().IsKeyword("NULL") ||
                           Peek().IsKeyword("DEFAULT") || Peek().IsKeyword("CONSTRAINT") ||
                           Peek().IsKeyword("PRIMARY") || Peek().IsKeyword("UNIQUE");
  if (!(for_modify && starts_constraint)) {
    VK_ASSIGN_OR_ORA_RETURN(column.type, Type());
  }
  while (true) {
    if (Accept("DEFAULT")) {
      // The expression runs to the next constraint keyword, "," or ")" outside parentheses.
      std::size_t start = pos_;
      int depth = 0;
      while (!Peek().IsEnd()) {
        const Token& token = Peek();
        if (depth == 0 && (token.IsSymbol(",") || token.IsSymbol(")") || token.IsKeyword("NOT") ||
                           token.IsKeyword("NULL") || token.IsKeyword("CONSTRAINT") ||
                           token.IsKeyword("PRIMARY") || token.IsKeyword("UNIQUE") ||
                           token.IsKeyword("CHECK") || token.IsKeyword("REFERENCES"))) {
          break;
        }
        if (token.IsSymbol("(")) ++depth;
        if (token.IsSymbol(")")) --depth;
        ++pos_;
      }
      if (pos_ == start) return OraErr(936, "missing expression");
      column.default_text = std::string(TextBetween(start, pos_));
      continue;
    }
    std::optional<std::string> constraint_name;
    if (Accept("CONSTRAINT")) {
      VK_ASSIGN_OR_ORA_RETURN(std::string name,
                              Name(Ora(2250, "missing or invalid constraint name")));
      constraint_name = std::move(name);
    }
    if (Accept("NOT")) {
      VK_RETURN_IF_ORA_ERROR(Expect("NULL"));
      column.nullable = false;
    } else if (Accept("NULL")) {
      column.nullable = true;
    } else if (Accept("PRIMARY")) {
      VK_RETURN_IF_ORA_ERROR(Expect("KEY"));
      column.primary_key = true;
      column.constraint_name = constraint_name;
      VK_RETURN_IF_ORA_ERROR(UsingIndex(&column.index_attributes));
    } else if (Accept("UNIQUE")) {
      column.unique = true;
      column.constraint_name = constraint_name;
      VK_RETURN_IF_ORA_ERROR(UsingIndex(&column.index_attributes));
    } else if (Peek().IsKeyword("CHECK") || Peek().IsKeyword("REFERENCES")) {
      VK_ASSIGN_OR_ORA_RETURN(RuleConstraint rule, Rule(constraint_name, column.name));
      column.rules.push_back(std::move(rule));
    } else if (constraint_name.has_value()) {
      return OraErr(MissingKeyword());
    } else {
      break;
    }
  }
  return column;
}

OraStatus DdlParser::UsingIndex(PhysicalAttributes* attributes) {
  if (!Accept("USING")) return {};
  VK_RETURN_IF_ORA_ERROR(Expect("INDEX"));
  return Physical(attributes);
}

OraStatus DdlParser::Physical(PhysicalAttributes* attributes, bool allow_using_index) {
  while (true) {
    if (Accept("TABLESPACE")) {
      const Token& token = Peek();
      if (!token.IsName()) return OraErr(2216, "tablespace name expected");
      VK_ASSIGN_OR_ORA_RETURN(std::string name, Name(Ora(2216, "tablespace name expected")));
      attributes->tablespace = std::move(name);
    } else if (Accept("PCTFREE")) {
      VK_ASSIGN_OR_ORA_RETURN(attributes->pct_free, Integer());
    } else if (Accept("PCTUSED")) {
      VK_ASSIGN_OR_ORA_RETURN(attributes->pct_used, Integer());
    } else if (Accept("INITRANS")) {
      VK_ASSIGN_OR_ORA_RETURN(attributes->ini_trans, Integer());
    } else if (Accept("MAXTRANS")) {
      VK_ASSIGN_OR_ORA_RETURN(attributes->max_trans, Integer());
    } else if (Accept("STORAGE")) {
      VK_RETURN_IF_ORA_ERROR(ExpectSymbol("("));
      bool any = false;
      while (!AcceptSymbol(")")) {
        if (Accept("INITIAL")) {
          VK_ASSIGN_OR_ORA_RETURN(attributes->initial_extent, Integer(true));
        } else if (Accept("NEXT")) {
          VK_ASSIGN_OR_ORA_RETURN(attributes->next_extent, Integer(true));
        } else if (Accept("MINEXTENTS")) {
          VK_ASSIGN_OR_ORA_RETURN(attributes->min_extents, Integer());
        } else if (Accept("MAXEXTENTS")) {
          if (Accept("UNLIMITED")) {
            attributes->max_extents = 2147483645;
          } else {
            VK_ASSIGN_OR_ORA_RETURN(attributes->max_extents, Integer());
          }
        } else if (Accept("PCTINCREASE")) {
          VK_ASSIGN_OR_ORA_RETURN(attributes->pct_increase, Integer());
        } else if (Accept("FREELISTS") || Accept("OPTIMAL")) {
          if (!Accept("NULL")) VK_RETURN_IF_ORA_ERROR(Integer(true));
        } else if (Accept("FREELIST")) {
          VK_RETURN_IF_ORA_ERROR(Expect("GROUPS"));
          VK_RETURN_IF_ORA_ERROR(Integer());
        } else if (Accept("BUFFER_POOL")) {
          if (!Accept("DEFAULT") && !Accept("KEEP") && !Accept("RECYCLE")) {
            return OraErr(InvalidOption());
          }
        } else if (Peek().IsEnd()) {
          return OraErr(MissingRightParenthesis());
        } else {
          return OraErr(2143, "invalid STORAGE option");
        }
        any = true;
      }
      if (!any) return OraErr(2143, "invalid STORAGE option");
    } else if (Accept("LOGGING") || Accept("NOLOGGING") || Accept("COMPRESS") ||
               Accept("NOCOMPRESS") || Accept("CACHE") || Accept("NOCACHE") ||
               Accept("NOPARALLEL") || Accept("MONITORING") || Accept("NOMONITORING") ||
               Accept("NOSORT") || Accept("REVERSE") || Accept("ONLINE")) {
    } else if (Accept("PARALLEL")) {
      if (Peek().kind == TokenKind::kNumber) VK_RETURN_IF_ORA_ERROR(Integer());
    } else if (Accept("COMPUTE")) {
      VK_RETURN_IF_ORA_ERROR(Expect("STATISTICS"));
    } else if (allow_using_index && Peek().IsKeyword("USING")) {
      VK_RETURN_IF_ORA_ERROR(UsingIndex(attributes));
    } else {
      return {};
    }
  }
}

std::string_view DdlParser::TextFrom(std::size_t index) const {
  std::size_t offset = tokens_[std::min(index, tokens_.size() - 1)].offset;
  return sql_.substr(offset);
}

std::string_view DdlParser::TextBetween(std::size_t from, std::size_t to) const {
  std::size_t start = tokens_[std::min(from, tokens_.size() - 1)].offset;
  const Token& last = tokens_[std::min(to - 1, tokens_.size() - 1)];
  std::size_t end = last.offset + last.text.size();
  return sql_.substr(start, end - start);
}

}  // namespace volmek::engine
