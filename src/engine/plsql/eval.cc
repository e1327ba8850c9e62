// Expressions: evaluated here when they are PL/SQL's own (arithmetic, comparisons, logic,
// CASE, attributes), handed to SQL otherwise (functions, LIKE, SYSDATE).
#include <fmt/format.h>

#include "engine/plsql/interpreter.h"
#include "engine/plsql/parser.h"

namespace volmek::engine::plsql {
namespace {

OraError WrongType() { return Ora(6550, "PLS-00382: expression is of wrong type"); }

Value Tristate(std::optional<bool> value) { return value ? Value::Bool(*value) : Value::Null(); }

OraResult<std::optional<bool>> AsBool(const Value& value) {
  if (value.is_null()) return std::optional<bool>();
  if (value.kind != Value::Kind::kBool) return OraErr(WrongType());
  return std::optional<bool>(value.boolean);
}

}  // namespace

Variable* Interpreter::FindVariable(const std::vector<std::string>& names) {
  Symbol* symbol = Find(names[0]);
  std::size_t used = 1;
  if (symbol == nullptr && names.size() >= 2 && names[0][0] != ':') {
    // PACKAGE.ITEM[.FIELD]
    std::optional<OraResult<Symbol*>> item = FindPackageItem({names[0]}, names[1]);
    if (!item.has_value() || !item->has_value()) return nullptr;
    symbol = **item;
    used = 2;
  }
  if (symbol == nullptr || symbol->kind != Symbol::Kind::kVariable) return nullptr;
  Variable* variable = symbol->variable;
  if (names.size() == used) return variable;
  if (names.size() != used + 1 || !variable->is_record) return nullptr;
  for (std::size_t i = 0; i < variable->field_names.size(); ++i) {
    if (variable->field_names[i] == names[used]) return &variable->fields[i];
  }
  return nullptr;
}

OraResult<std::optional<bool>> Interpreter::EvalCondition(const Expr& expr) {
  VK_ASSIGN_OR_ORA_RETURN(Value value, Eval(expr));
  return AsBool(value);
}

OraResult<Value> Interpreter::Eval(const Expr& expr) {
  switch (expr.kind) {
    case ExprKind::kLiteral:
      return expr.literal;
    case ExprKind::kName: {
      if (Variable* variable = FindVariable(expr.names)) {
        if (variable->is_record) return OraErr(WrongType());
        return variable->value;
      }
      if (expr.names[0][0] == ':') return OraErr(Ora(1008, "not all variables bound"));
      // A function without arguments of the block's or a stored one.
      if (std::optional<OraResult<Value>> called = CallFunction(expr)) return std::move(*called);
      // SYSDATE, USER, a sequence's NEXTVAL: SQL's.
      Expr sql;
      sql.kind = ExprKind::kSql;
      sql.sql = expr.sql;
      sql.offset = expr.offset;
      OraResult<Value> value = EvalSql(sql);
      if (value.has_value() || value.error().code != 904) return value;
      std::string name = expr.names[0];
      for (std::size_t i = 1; i < expr.names.size(); ++i) name += "." + expr.names[i];
      return OraErr(CompileError(text_, expr.offset,
                                 fmt::format("PLS-00201: identifier '{}' must be declared", name)));
    }
    case ExprKind::kNegate: {
      VK_ASSIGN_OR_ORA_RETURN(Value value, Eval(*expr.args[0]));
      VK_ASSIGN_OR_ORA_RETURN(std::optional<Decimal> number, AsNumber(value));
      if (!number) return Value::Null();
      return Value::Number(number->Negated());
    }
    case ExprKind::kBinary:
      return EvalBinary(expr);
    case ExprKind::kCompare: {
      VK_ASSIGN_OR_ORA_RETURN(Value left, Eval(*expr.args[0]));
      VK_ASSIGN_OR_ORA_RETURN(Value right, Eval(*expr.args[1]));
      if (left.is_null() || right.is_null()) return Value::Null();
      VK_ASSIGN_OR_ORA_RETURN(int order, CompareValues(left, right, host_.date_format()));
      const std::string& op = expr.op;
      bool result = op == "="    ? order == 0
                    : op == "<>" ? order != 0
                    : op == "<"  ? order < 0
                    : op == "<=" ? order <= 0
                    : op == ">"  ? order > 0
                                 : order >= 0;
      return Value::Bool(result);
    }
    case ExprKind::kAnd:
    case ExprKind::kOr: {
      VK_ASSIGN_OR_ORA_RETURN(std::optional<bool> left, EvalCondition(*expr.args[0]));
      bool is_and = expr.kind == ExprKind::kAnd;
      // Short-circuit, as PL/SQL evaluates.
      if (left && *left != is_and) return Value::Bool(*left);
      VK_ASSIGN_OR_ORA_RETURN(std::optional<bool> right, EvalCondition(*expr.args[1]));
      if (right && *right != is_and) return Value::Bool(*right);
      if (!left || !right) return Value::Null();
      return Value::Bool(is_and);
    }
    case ExprKind::kNot: {
      VK_ASSIGN_OR_ORA_RETURN(std::optional<bool> inner, EvalCondition(*expr.args[0]));
      if (!inner) return Value::Null();
      return Value::Bool(!*inner);
    }
    case ExprKind::kIsNull: {
      VK_ASSIGN_OR_ORA_RETURN(Value value, Eval(*expr.args[0]));
      return Value::Bool(value.is_null() != expr.negated);
    }
    case ExprKind::kBetween: {
      VK_ASSIGN_OR_ORA_RETURN(Value value, Eval(*expr.args[0]));
      VK_ASSIGN_OR_ORA_RETURN(Value low, Eval(*expr.args[1]));
      VK_ASSIGN_OR_ORA_RETURN(Value high, Eval(*expr.args[2]));
      std::optional<bool> above;
      std::optional<bool> below;
      if (!value.is_null() && !low.is_null()) {
        VK_ASSIGN_OR_ORA_RETURN(int order, CompareValues(value, low, host_.date_format()));
        above = order >= 0;
      }
      if (!value.is_null() && !high.is_null()) {
        VK_ASSIGN_OR_ORA_RETURN(int order, CompareValues(value, high, host_.date_format()));
        below = order <= 0;
      }
      std::optional<bool> result;
      if ((above && !*above) || (below && !*below)) {
        result = false;
      } else if (above && below) {
        result = true;
      }
      if (result && expr.negated) result = !*result;
      return Tristate(result);
    }
    case ExprKind::kIn: {
      VK_ASSIGN_OR_ORA_RETURN(Value value, Eval(*expr.args[0]));
      bool unknown = value.is_null();
      for (std::size_t i = 1; i < expr.args.size() && !value.is_null(); ++i) {
        VK_ASSIGN_OR_ORA_RETURN(Value item, Eval(*expr.args[i]));
        if (item.is_null()) {
          unknown = true;
          continue;
        }
        VK_ASSIGN_OR_ORA_RETURN(int order, CompareValues(value, item, host_.date_format()));
        if (order == 0) return Value::Bool(!expr.negated);
      }
      if (unknown) return Value::Null();
      return Value::Bool(expr.negated);
    }
    case ExprKind::kAttribute:
      return EvalAttribute(expr);
    case ExprKind::kCall:
      return EvalCall(expr);
    case ExprKind::kSql:
      return EvalSql(expr);
    case ExprKind::kCase:
      return EvalCase(expr);
  }
  return Value::Null();
}

OraResult<Value> Interpreter::EvalBinary(const Expr& expr) {
  VK_ASSIGN_OR_ORA_RETURN(Value left, Eval(*expr.args[0]));
  VK_ASSIGN_OR_ORA_RETURN(Value right, Eval(*expr.args[1]));
  const std::string& op = expr.op;
  const std::string format = host_.date_format();
  if (op == "||") {
    VK_ASSIGN_OR_ORA_RETURN(std::optional<std::string> a, AsText(left, format));
    VK_ASSIGN_OR_ORA_RETURN(std::optional<std::string> b, AsText(right, format));
    std::string joined = a.value_or("");
    joined += b.value_or("");
    return Value::Text(std::move(joined));
  }
  if (left.is_null() || right.is_null()) {
    if (left.kind == Value::Kind::kBool || right.kind == Value::Kind::kBool) {
      return OraErr(WrongType());
    }
    return Value::Null();
  }
  if (left.kind == Value::Kind::kDate && (op == "+" || op == "-")) {
    if (op == "-" && right.kind == Value::Kind::kDate) {
      VK_ASSIGN_OR_ORA_RETURN(Decimal days, DaysBetween(left.date, right.date));
      return Value::Number(days);
    }
    VK_ASSIGN_OR_ORA_RETURN(std::optional<Decimal> days, AsNumber(right));
    VK_ASSIGN_OR_ORA_RETURN(Date date, AddDays(left.date, op == "-" ? days->Negated() : *days));
    return Value::FromDate(date);
  }
  if (right.kind == Value::Kind::kDate && op == "+") {
    VK_ASSIGN_OR_ORA_RETURN(std::optional<Decimal> days, AsNumber(left));
    VK_ASSIGN_OR_ORA_RETURN(Date date, AddDays(right.date, *days));
    return Value::FromDate(date);
  }
  VK_ASSIGN_OR_ORA_RETURN(std::optional<Decimal> a, AsNumber(left));
  VK_ASSIGN_OR_ORA_RETURN(std::optional<Decimal> b, AsNumber(right));
  OraResult<Decimal> result = op == "+"   ? Decimal::Add(*a, *b)
                              : op == "-" ? Decimal::Sub(*a, *b)
                              : op == "*" ? Decimal::Mul(*a, *b)
                                          : Decimal::Div(*a, *b);
  if (!result.has_value()) return OraErr(result.error());
  return Value::Number(*result);
}

OraResult<Value> Interpreter::EvalCase(const Expr& expr) {
  std::size_t at = 0;
  std::optional<Value> selector;
  if (expr.simple_case) {
    VK_ASSIGN_OR_ORA_RETURN(selector, Eval(*expr.args[0]));
    at = 1;
  }
  std::size_t pairs_end = expr.args.size() - (expr.has_else ? 1 : 0);
  for (; at + 1 < pairs_end + 1 && at < pairs_end; at += 2) {
    bool taken = false;
    if (selector) {
      VK_ASSIGN_OR_ORA_RETURN(Value when, Eval(*expr.args[at]));
      if (!selector->is_null() && !when.is_null()) {
        VK_ASSIGN_OR_ORA_RETURN(int order, CompareValues(*selector, when, host_.date_format()));
        taken = order == 0;
      }
    } else {
      VK_ASSIGN_OR_ORA_RETURN(std::optional<bool> cond, EvalCondition(*expr.args[at]));
      taken = cond.value_or(false);
    }
    if (taken) return Eval(*expr.args[at + 1]);
  }
  if (expr.has_else) return Eval(*expr.args.back());
  return Value::Null();
}

OraResult<Value> Interpreter::EvalAttribute(const Expr& expr) {
  const std::string& attribute = expr.op;
  if (expr.names.size() == 1 && expr.names[0] == "SQL") {
    if (attribute == "ISOPEN") return Value::Bool(false);
    if (!sql_rowcount_) return Value::Null();
    if (attribute == "ROWCOUNT") {
      return Value::Number(Decimal::FromInt64(static_cast<std::int64_t>(*sql_rowcount_)));
    }
    return Value::Bool((*sql_rowcount_ > 0) == (attribute == "FOUND"));
  }
  CursorState* state = expr.names.size() == 1   ? FindCursor(expr.names[0])
                       : expr.names.size() == 2 ? FindCursor(expr.names[0] + "." + expr.names[1])
                                                : nullptr;
  if (state == nullptr) {
    return OraErr(
        CompileError(text_, expr.offset,
                     fmt::format("PLS-00201: identifier '{}' must be declared", expr.names[0])));
  }
  if (attribute == "ISOPEN") return Value::Bool(state->open);
  if (!state->open) return OraErr(Ora(1001, "invalid cursor"));
  if (attribute == "ROWCOUNT") {
    return Value::Number(Decimal::FromInt64(static_cast<std::int64_t>(state->rowcount)));
  }
  if (!state->fetched) return Value::Null();
  return Value::Bool(state->found == (attribute == "FOUND"));
}

OraResult<Value> Interpreter::EvalCall(const Expr& expr) {
  const std::vector<std::string>& names = expr.names;
  if (names.size() == 1 && names[0] == "SQLCODE") {
    if (!expr.args.empty()) return OraErr(WrongType());
    if (handling_.empty()) return Value::Integer(0);
    const RunError& error = handling_.back();
    if (error.user != nullptr) return Value::Integer(1);
    return Value::Integer(error.error.code == 1403 ? 100 : -error.error.code);
  }
  if (names.size() == 1 && names[0] == "SQLERRM") {
    if (expr.args.size() > 1) return OraErr(WrongType());
    if (expr.args.size() == 1) {
      VK_ASSIGN_OR_ORA_RETURN(Value code_value, Eval(*expr.args[0]));
      VK_ASSIGN_OR_ORA_RETURN(std::optional<Decimal> code, AsNumber(code_value));
      std::optional<std::int64_t> number = code ? code->ToInt64Truncated() : std::nullopt;
      if (!number || *number == 0) return Value::Text("ORA-0000: normal, successful completion");
      if (*number == 1) return Value::Text("User-Defined Exception");
      if (*number == 100) return Value::Text("ORA-01403: no data found");
      if (*number > 0) return Value::Text(fmt::format("-{}: non-ORACLE exception ", *number));
      return Value::Text(fmt::format("ORA-{:05}: ", -*number));
    }
    if (handling_.empty()) return Value::Text("ORA-0000: normal, successful completion");
    const RunError& error = handling_.back();
    if (error.user != nullptr) return Value::Text("User-Defined Exception");
    return Value::Text(error.error.message);
  }
  if (names.size() == 2 && names[0] == "DBMS_UTILITY" && names[1] == "GET_TIME") {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::int64_t centiseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count() / 10;
    return Value::Integer(centiseconds % 2147483648LL);
  }
  // A function of the block's or a stored one; else a SQL function, run as SQL.
  if (std::optional<OraResult<Value>> called = CallFunction(expr)) return std::move(*called);
  if (expr.op == "SQL") return EvalSqlCall(expr);
  std::string name = names[0];
  for (std::size_t i = 1; i < names.size(); ++i) name += "." + names[i];
  return OraErr(CompileError(text_, expr.offset,
                             fmt::format("PLS-00201: identifier '{}' must be declared", name)));
}

}  // namespace volmek::engine::plsql
