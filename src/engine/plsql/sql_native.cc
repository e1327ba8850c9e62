// SQL expressions the interpreter computes itself, and the INSERT ... VALUES that it writes by
// the direct path with them.
//
// An `INSERT INTO t VALUES (e1, ..., en)` of a block runs once per loop turn in the scripts
// administrators write. Once it has run as SQL (which settled which of its names are the
// block's variables and reported whatever SQL reports at its first run), each ei made of
// literals, the block's variables, + - * / ||, unary minus, MOD, LPAD, RPAD and TO_DATE is
// computed here, on typed values, by the rules SQL computes it with, and the row goes to the
// cursor's direct path (SqlCursor::InsertValues), which stores each value as the statement's
// vk_store would. Whatever this does not compute exactly as SQL would gives up instead: a
// value SQL converts implicitly (text to number, a date written as text), a result SQL would
// refuse or cut (a concatenation over 4000 bytes, a numeric overflow, a division by zero), a
// character that is not ASCII where LPAD and RPAD count characters. The statement then runs as
// SQL for that turn, and SQL reports its own error. The values computed have no side effects,
// so giving up after computing some of them changes nothing.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <string_view>

#include "engine/plsql/interpreter.h"
#include "engine/plsql/parser_impl.h"
#include "engine/syntax/lexer.h"

namespace volmek::engine::plsql {
namespace {

using Op = NativeNode::Op;
using Kind = NativeValue::Kind;

// Functions computed here, with the counts of arguments they take.
struct NativeFunction {
  std::string_view name;
  Op op;
  std::size_t min_args;
  std::size_t max_args;
};
constexpr std::array<NativeFunction, 4> kNativeFunctions = {{
    {"MOD", Op::kMod, 2, 2},
    {"LPAD", Op::kLpad, 2, 3},
    {"RPAD", Op::kRpad, 2, 3},
    {"TO_DATE", Op::kToDate, 1, 2},
}};

// The most bytes a VARCHAR2 value of SQL holds (a longer concatenation is ORA-01489).
constexpr std::size_t kSqlTextLimit = 4000;

void SetNull(NativeValue* out) { out->kind = Kind::kNull; }

void SetNumber(const Decimal& number, NativeValue* out) {
  if (std::optional<std::int64_t> integer = number.ToInt64Exact()) {
    out->kind = Kind::kInteger;
    out->integer = *integer;
    return;
  }
  out->kind = Kind::kNumber;
  out->number = number;
}

// A value of the block as SQL receives it; false for booleans, which SQL has not.
bool FromValue(const Value& value, NativeValue* out) {
  switch (value.kind) {
    case Value::Kind::kNull:
      SetNull(out);
      return true;
    case Value::Kind::kNumber:
      SetNumber(value.number, out);
      return true;
    case Value::Kind::kText:
      out->kind = Kind::kText;
      out->text = value.text;
      return true;
    case Value::Kind::kDate:
      out->kind = Kind::kDate;
      out->date = value.date;
      return true;
    case Value::Kind::kBool:
      break;
  }
  return false;
}

Decimal AsDecimal(const NativeValue& value) {
  return value.kind == Kind::kInteger ? Decimal::FromInt64(value.integer) : value.number;
}

bool IsNumeric(const NativeValue& value) {
  return value.kind == Kind::kInteger || value.kind == Kind::kNumber;
}

// Appends the text SQL's TO_CHAR gives a number that travels as INTEGER or REAL; false for a
// number that travels as canonical text, which SQL does not write in Oracle's form.
bool AppendNumberText(const NativeValue& value, std::string* out) {
  if (value.kind == Kind::kInteger) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value.integer);
    out->append(digits, static_cast<std::size_t>(end - digits));
    return true;
  }
  if (!value.number.IsExactDouble()) return false;
  out->append(value.number.ToOracleText());
  return true;
}

// Appends a character argument of SQL: a text as it is, a number in TO_CHAR's form; false
// for what is not computed here (dates).
bool AppendText(const NativeValue& value, std::string* out) {
  switch (value.kind) {
    case Kind::kNull:
      return true;
    case Kind::kText:
      out->append(value.text);
      return true;
    case Kind::kInteger:
    case Kind::kNumber:
      return AppendNumberText(value, out);
    case Kind::kDate:
      break;
  }
  return false;
}

void SetText(NativeValue* out) { out->kind = out->text.empty() ? Kind::kNull : Kind::kText; }

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool Arithmetic(Op op, const NativeValue& a, const NativeValue& b, NativeValue* out) {
  const bool a_null = a.kind == Kind::kNull;
  const bool b_null = b.kind == Kind::kNull;
  if ((!a_null && !IsNumeric(a)) || (!b_null && !IsNumeric(b))) return false;
  if (a_null || b_null) {
    SetNull(out);
    return true;
  }
  if (a.kind == Kind::kInteger && b.kind == Kind::kInteger) {
    // Exact within 64 bits; beyond them the decimal below takes it.
    std::int64_t result = 0;
    bool overflow = true;
    switch (op) {
      case Op::kAdd:
        overflow = __builtin_add_overflow(a.integer, b.integer, &result);
        break;
      case Op::kSubtract:
        overflow = __builtin_sub_overflow(a.integer, b.integer, &result);
        break;
      case Op::kMultiply:
        overflow = __builtin_mul_overflow(a.integer, b.integer, &result);
        break;
      case Op::kMod:
        // The machine's remainder, as SQL's MOD takes two integers: the sign of the dividend,
        // MOD(m, 0) is m.
        result = b.integer == 0 ? a.integer : (b.integer == -1 ? 0 : a.integer % b.integer);
        overflow = false;
        break;
      default:
        break;
    }
    if (!overflow) {
      out->kind = Kind::kInteger;
      out->integer = result;
      return true;
    }
  }
  const Decimal x = AsDecimal(a);
  const Decimal y = AsDecimal(b);
  OraResult<Decimal> result = op == Op::kAdd        ? Decimal::Add(x, y)
                              : op == Op::kSubtract ? Decimal::Sub(x, y)
                              : op == Op::kMultiply ? Decimal::Mul(x, y)
                              : op == Op::kDivide   ? Decimal::Div(x, y)
                                                    : Decimal::Mod(x, y);
  if (!result.has_value()) return false;
  SetNumber(*result, out);
  return true;
}

}  // namespace

bool Interpreter::CompileNative(const Expr& expr, const SqlText& sql,
                                const std::vector<bool>& substituted,
                                std::vector<const std::vector<std::string>*>* variables,
                                NativeNode* out) const {
  switch (expr.kind) {
    case ExprKind::kLiteral:
      out->op = Op::kConstant;
      return FromValue(expr.literal, &out->constant);
    case ExprKind::kName:
      // Only the names SQL took for the block's variables: a name SQL knows (a column,
      // SYSDATE, USER) stays SQL's.
      if (expr.names[0][0] == ':') return false;
      for (std::size_t i = 0; i < sql.refs.size(); ++i) {
        if (sql.refs[i].begin != expr.offset) continue;
        if (!substituted[i] || sql.refs[i].names != expr.names) return false;
        out->op = Op::kVariable;
        out->names = &expr.names;
        // One slot per variable: read once per row, however often the values name it.
        for (std::size_t slot = 0; slot < variables->size(); ++slot) {
          if (*(*variables)[slot] == expr.names) out->slot = slot;
        }
        if (out->slot == NativeNode::kNoSlot) {
          out->slot = variables->size();
          variables->push_back(&expr.names);
        }
        return true;
      }
      return false;
    case ExprKind::kNegate:
      out->op = Op::kNegate;
      break;
    case ExprKind::kBinary:
      if (expr.op == "+") {
        out->op = Op::kAdd;
      } else if (expr.op == "-") {
        out->op = Op::kSubtract;
      } else if (expr.op == "*") {
        out->op = Op::kMultiply;
      } else if (expr.op == "/") {
        out->op = Op::kDivide;
      } else if (expr.op == "||") {
        out->op = Op::kConcat;
      } else {
        return false;
      }
      break;
    case ExprKind::kCall: {
      if (expr.op != "SQL" || expr.names.size() != 1) return false;
      const NativeFunction* found = nullptr;
      for (const NativeFunction& function : kNativeFunctions) {
        if (expr.names[0] == function.name) found = &function;
      }
      if (found == nullptr || expr.args.size() < found->min_args ||
          expr.args.size() > found->max_args) {
        return false;
      }
      out->op = found->op;
      break;
    }
    default:
      return false;
  }
  out->args.resize(expr.args.size());
  for (std::size_t i = 0; i < expr.args.size(); ++i) {
    if (!expr.args[i]->arg_name.empty() ||
        !CompileNative(*expr.args[i], sql, substituted, variables, &out->args[i])) {
      return false;
    }
  }
  if (out->op == Op::kConcat) {
    // a || b || c is one concatenation of its parts.
    std::vector<NativeNode> parts;
    for (NativeNode& arg : out->args) {
      if (arg.op != Op::kConcat) {
        parts.push_back(std::move(arg));
        continue;
      }
      for (NativeNode& part : arg.args) parts.push_back(std::move(part));
    }
    out->args = std::move(parts);
  }
  return true;
}

const NativeValue* Interpreter::NativeOperand(NativeNode& node) {
  if (node.op == Op::kConstant) return &node.constant;
  if (node.op == Op::kVariable) {
    NativeValue& value = native_variables_[node.slot];
    if (!native_loaded_[node.slot]) {
      const Variable* variable = FindVariable(*node.names);
      if (variable == nullptr || variable->is_record || !FromValue(variable->value, &value)) {
        return nullptr;
      }
      native_loaded_[node.slot] = true;
    }
    return &value;
  }
  return EvalNative(node, &node.result) ? &node.result : nullptr;
}

bool Interpreter::EvalNative(NativeNode& node, NativeValue* out) {
  switch (node.op) {
    case Op::kConstant:
    case Op::kVariable: {
      const NativeValue* value = NativeOperand(node);
      if (value == nullptr) return false;
      *out = *value;
      return true;
    }
    case Op::kNegate: {
      const NativeValue* value = NativeOperand(node.args[0]);
      if (value == nullptr) return false;
      if (value->kind == Kind::kInteger && value->integer != INT64_MIN) {
        out->kind = Kind::kInteger;
        out->integer = -value->integer;
        return true;
      }
      if (value->kind == Kind::kInteger || value->kind == Kind::kNumber) {
        out->number = AsDecimal(*value).Negated();
        out->kind = Kind::kNumber;
        return true;
      }
      if (value->kind != Kind::kNull) return false;
      SetNull(out);
      return true;
    }
    case Op::kConcat: {
      // NULL is the empty text; a number takes TO_CHAR's text, as the translation writes it.
      // Each part of a longer result is shorter than it, so the limit is checked on the whole.
      // No part is `out` itself (each lives in its own node), so the text is built in place,
      // its storage kept from row to row.
      out->text.clear();
      for (NativeNode& arg : node.args) {
        const NativeValue* part = NativeOperand(arg);
        if (part == nullptr || !AppendText(*part, &out->text)) return false;
      }
      if (out->text.size() > kSqlTextLimit) return false;
      SetText(out);
      return true;
    }
    case Op::kAdd:
    case Op::kSubtract:
    case Op::kMultiply:
    case Op::kDivide:
    case Op::kMod: {
      const NativeValue* left = NativeOperand(node.args[0]);
      if (left == nullptr) return false;
      const NativeValue* right = NativeOperand(node.args[1]);
      return right != nullptr && Arithmetic(node.op, *left, *right, out);
    }
    case Op::kLpad:
    case Op::kRpad:
      return EvalPad(node, out);
    case Op::kToDate:
      return EvalToDate(node, out);
  }
  return false;
}

bool Interpreter::EvalPad(NativeNode& node, NativeValue* out) {
  // LPAD(text, width [, pad]): NULL when any argument is NULL or the width is below 1.
  static const NativeValue kBlank = [] {
    NativeValue blank;
    blank.kind = Kind::kText;
    blank.text = " ";
    return blank;
  }();
  const NativeValue* text = NativeOperand(node.args[0]);
  const NativeValue* width = NativeOperand(node.args[1]);
  const NativeValue* pad = node.args.size() > 2 ? NativeOperand(node.args[2]) : &kBlank;
  if (text == nullptr || width == nullptr || pad == nullptr) return false;
  if (text->kind == Kind::kNull || width->kind == Kind::kNull || pad->kind == Kind::kNull) {
    SetNull(out);
    return true;
  }
  std::string source;
  std::string fill;
  if (!AppendText(*text, &source) || !AppendText(*pad, &fill) || !IsAscii(source) ||
      !IsAscii(fill)) {
    return false;
  }
  if (width->kind != Kind::kInteger || width->integer > static_cast<std::int64_t>(kSqlTextLimit)) {
    return false;
  }
  if (width->integer < 1) {
    SetNull(out);
    return true;
  }
  const auto wanted = static_cast<std::size_t>(width->integer);
  out->text.clear();
  if (source.size() >= wanted) {
    out->text.append(source, 0, wanted);
  } else {
    const std::size_t missing = wanted - source.size();
    if (node.op == Op::kRpad) out->text = source;
    for (std::size_t i = 0; i < missing; ++i) out->text += fill[i % fill.size()];
    if (node.op == Op::kLpad) out->text += source;
  }
  SetText(out);
  return true;
}

bool Interpreter::EvalToDate(NativeNode& node, NativeValue* out) {
  // TO_DATE(text [, format]): the text read with the format (the session's date format when
  // none). A date argument is not text here: the statement converts it as Oracle does.
  const NativeValue* text = NativeOperand(node.args[0]);
  if (text == nullptr) return false;
  const NativeValue* format = nullptr;
  if (node.args.size() > 1) {
    format = NativeOperand(node.args[1]);
    if (format == nullptr) return false;
  }
  if (text->kind == Kind::kNull) {
    SetNull(out);
    return true;
  }
  if (text->kind != Kind::kText || (format != nullptr && format->kind != Kind::kText)) {
    return false;
  }
  OraResult<Date> date = ParseDate(
      text->text,
      format != nullptr ? std::string_view(format->text) : std::string_view(host_.date_format()),
      host_.CurrentDate());
  // A text the format does not read is left to the statement, which reports the error.
  if (!date.has_value()) return false;
  out->kind = Kind::kDate;
  out->date = *date;
  return true;
}

void Interpreter::AnalyseNativeDml(const Stmt& stmt, const SqlSlot& slot) {
  NativeDml& dml = native_dml_[&stmt];
  if (AnalyseInsert(stmt.sql, slot, dml) || AnalyseUpdate(stmt.sql, slot, dml)) {
    dml.row.resize(dml.program.size());
    dml.values.resize(dml.program.size());
    dml.usable = true;
    if (dml.update) AnalyseRowidUpdate(stmt.sql, slot, dml);
  }
}

bool Interpreter::AnalyseInsert(const SqlText& sql, const SqlSlot& slot, NativeDml& dml) {
  OraResult<std::vector<Token>> tokens = Tokenize(sql.text);
  if (!tokens.has_value()) return false;
  Parser parser(sql.text, *tokens);
  if (!parser.Accept("INSERT") || !parser.Accept("INTO")) return false;
  const Token& name = parser.Peek();
  // A plain name of one part: owners, quoted names, links and column lists are SQL's.
  if (name.kind != TokenKind::kIdentifier || !parser.Peek(1).IsKeyword("VALUES") ||
      !parser.Peek(2).IsSymbol("(")) {
    return false;
  }
  std::string table = name.Value();
  parser.pos_ += 3;
  std::vector<ExprPtr> values;
  while (true) {
    OraResult<ExprPtr> value = parser.ParseExpr();
    if (!value.has_value()) return false;
    values.push_back(std::move(*value));
    if (parser.AcceptSymbol(")")) break;
    if (!parser.AcceptSymbol(",")) return false;
  }
  if (!parser.Peek().IsEnd()) return false;
  std::vector<NativeNode> program(values.size());
  std::vector<const std::vector<std::string>*> variables;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!CompileNative(*values[i], sql, slot.substituted, &variables, &program[i])) return false;
  }
  dml.table = std::move(table);
  dml.exprs = std::move(values);
  dml.program = std::move(program);
  dml.variables = variables.size();
  return true;
}

bool Interpreter::AnalyseUpdate(const SqlText& sql, const SqlSlot& slot, NativeDml& dml) {
  OraResult<std::vector<Token>> tokens = Tokenize(sql.text);
  if (!tokens.has_value()) return false;
  Parser parser(sql.text, *tokens);
  if (!parser.Accept("UPDATE") || !parser.Peek().IsName() || parser.Peek(1).IsSymbol(".") ||
      parser.Peek(1).IsSymbol("@")) {
    return false;
  }
  std::optional<TableInfo> table = host_.schema().FindTable(parser.Peek().Value());
  ++parser.pos_;
  if (parser.Peek().IsName() && !parser.Peek().IsKeyword("SET")) ++parser.pos_;  // an alias
  if (!parser.Accept("SET")) return false;
  // Each SET value made of what EvalNative computes becomes one computed ref over its text;
  // the names inside it are no longer refs of their own.
  struct Span {
    std::size_t begin;
    std::size_t end;
  };
  std::vector<Span> spans;
  std::vector<const std::vector<std::string>*> variables;
  while (true) {
    if (!parser.Peek().IsName() || !parser.Peek(1).IsSymbol("=")) return false;
    // A NUMBER column stores a number written as text as it stores the number itself.
    bool number_column = false;
    if (table.has_value() && !table->is_view) {
      for (const ColumnInfo& column : table->columns) {
        if (column.name == parser.Peek().Value())
          number_column = column.type.kind == TypeKind::kNumber;
      }
    }
    parser.pos_ += 2;
    const std::size_t first = parser.pos_;
    OraResult<ExprPtr> value = parser.ParseExpr();
    if (!value.has_value()) return false;
    NativeNode node;
    if (CompileNative(**value, sql, slot.substituted, &variables, &node) &&
        node.op != NativeNode::Op::kConstant && node.op != NativeNode::Op::kVariable) {
      const Token& last = (*tokens)[parser.pos_ - 1];
      spans.push_back({(*tokens)[first].offset, last.offset + last.text.size()});
      dml.exprs.push_back(std::move(*value));
      dml.program.push_back(std::move(node));
      dml.as_text.push_back(number_column);
    }
    if (!parser.AcceptSymbol(",")) break;
  }
  if (!parser.Peek().IsKeyword("WHERE") && !parser.Peek().IsEnd()) spans.clear();
  if (spans.empty()) {
    dml.exprs.clear();
    dml.program.clear();
    dml.as_text.clear();
    return false;
  }
  dml.sql.text = sql.text;
  dml.sql.offset = sql.offset;
  for (const SqlRef& ref : sql.refs) {
    bool inside = false;
    for (const Span& span : spans)
      inside = inside || (ref.begin >= span.begin && ref.end <= span.end);
    if (!inside) dml.sql.refs.push_back(ref);
  }
  for (std::size_t i = 0; i < spans.size(); ++i) {
    SqlRef ref;
    ref.begin = spans[i].begin;
    ref.end = spans[i].end;
    ref.computed = static_cast<int>(i);
    dml.sql.refs.push_back(std::move(ref));
  }
  std::sort(dml.sql.refs.begin(), dml.sql.refs.end(),
            [](const SqlRef& a, const SqlRef& b) { return a.begin < b.begin; });
  dml.variables = variables.size();
  dml.update = true;
  return true;
}

bool Interpreter::ComputeValues(NativeDml& dml) {
  return ComputeProgram(dml.program, dml.variables, dml.row);
}

bool Interpreter::ComputeProgram(std::vector<NativeNode>& program, std::size_t variables,
                                 std::vector<NativeValue>& row) {
  native_variables_.resize(std::max(native_variables_.size(), variables));
  native_loaded_.assign(variables, false);
  row.resize(program.size());
  for (std::size_t i = 0; i < program.size(); ++i) {
    if (!EvalNative(program[i], &row[i])) return false;
  }
  return true;
}

bool Interpreter::WriteDirect(NativeDml& dml) {
  if (!ComputeValues(dml)) return false;
  if (!dml.cursor) dml.cursor = host_.OpenCursor();
  return dml.cursor->InsertValues(dml.table, dml.row);
}

std::optional<OraStatus> Interpreter::RunComputedUpdate(NativeDml& dml, const Stmt& stmt) {
  if (!dml.direct_columns.empty() && RunDirectUpdate(dml)) {
    sql_rowcount_ = 1;
    return OraStatus();
  }
  if (!ComputeValues(dml)) return std::nullopt;
  // Each value goes in as the literal SQL binds as the value the expression would give it: an
  // integer of fewer than 19 digits as INTEGER, a decimal whose text is at most 16 characters
  // as REAL (the double SQL's arithmetic gives it too), a text as TEXT, a date as a date. For
  // a NUMBER column a decimal goes in as its exact text, which the column stores as the same
  // number without a trip through a double.
  std::string canonical;
  for (std::size_t i = 0; i < dml.row.size(); ++i) {
    const NativeValue& computed = dml.row[i];
    Value& value = dml.values[i];
    switch (computed.kind) {
      case NativeValue::Kind::kNull:
        value = Value::Null();
        break;
      case NativeValue::Kind::kInteger: {
        constexpr std::int64_t kPlainInteger = 1'000'000'000'000'000'000;
        if (computed.integer >= kPlainInteger || computed.integer <= -kPlainInteger) {
          return std::nullopt;
        }
        value = Value::Integer(computed.integer);
        break;
      }
      case NativeValue::Kind::kNumber:
        canonical.clear();
        if (dml.as_text[i]) {
          computed.number.AppendCanonical(canonical);
          value = Value::Text(canonical);
          break;
        }
        computed.number.Abs().AppendCanonical(canonical);
        if (canonical.size() > 16) return std::nullopt;
        value = Value::Number(computed.number);
        break;
      case NativeValue::Kind::kText:
        value = Value::Text(computed.text);
        break;
      case NativeValue::Kind::kDate:
        value = Value::FromDate(computed.date);
        break;
    }
  }
  if (!dml.rowid_record.empty()) {
    if (std::optional<OraStatus> done = RunRowidUpdate(dml, stmt)) return done;
  }
  computed_ = &dml.values;
  OraResult<SqlSlot*> slot = PrepareSql(dml.sql, &dml, stmt.offset);
  computed_ = nullptr;
  if (!slot.has_value()) {
    // The statement as written reports it, now and from now on.
    dml.usable = false;
    return std::nullopt;
  }
  OraStatus executed = (*slot)->cursor->Execute();
  if (!executed.has_value()) return executed;
  sql_rowcount_ = (*slot)->cursor->rows_processed();
  return OraStatus();
}

}  // namespace volmek::engine::plsql
