#include "engine/translate/emitter.h"

#include "engine/translate/emitter_internal.h"

namespace volmek::engine::emitter_internal {

OraError InvalidIdentifier(std::string_view quoted_name) {
  return Ora(904, std::string(quoted_name) + ": invalid identifier");
}

const FunctionSpec* FindFunction(std::string_view name) {
  for (const FunctionSpec& spec : kFunctions) {
    if (spec.name == name) return &spec;
  }
  return nullptr;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool ContainsRownum(const Expr& expr) {
  if (expr.kind == ExprKind::kRownum) return true;
  for (const auto& arg : expr.args) {
    if (ContainsRownum(*arg)) return true;
  }
  return false;
}

bool ContainsSequence(const Expr& expr) {
  if (expr.kind == ExprKind::kSequence) return true;
  for (const auto& arg : expr.args) {
    if (ContainsSequence(*arg)) return true;
  }
  return false;
}

bool ContainsPrior(const Expr& expr) {
  if (expr.kind == ExprKind::kPrior) return true;
  for (const auto& arg : expr.args) {
    if (ContainsPrior(*arg)) return true;
  }
  return false;
}

bool ContainsOuterMark(const Expr& expr) {
  if (expr.kind == ExprKind::kColumn && expr.outer_join) return true;
  for (const auto& arg : expr.args) {
    if (ContainsOuterMark(*arg)) return true;
  }
  return false;
}

void SplitConjuncts(const Expr* expr, std::vector<const Expr*>* out) {
  if (expr == nullptr) return;
  if (expr->kind == ExprKind::kAnd) {
    SplitConjuncts(expr->args[0].get(), out);
    SplitConjuncts(expr->args[1].get(), out);
    return;
  }
  out->push_back(expr);
}

// The literal value of a (possibly negated) number literal.
std::optional<double> NumberValue(const Expr& expr) {
  bool negate = false;
  const Expr* literal = &expr;
  if (literal->kind == ExprKind::kNegate) {
    negate = true;
    literal = literal->args[0].get();
  }
  if (literal->kind != ExprKind::kNumber) return std::nullopt;
  double value = std::strtod(literal->literal.c_str(), nullptr);
  return negate ? -value : value;
}

// The literal slots a rownum bound uses (written into the text: the bound shapes the SQL).
void CollectSlots(const Expr& expr, std::vector<int>* slots) {
  if (expr.literal_slot >= 0) slots->push_back(expr.literal_slot);
  for (const auto& arg : expr.args) CollectSlots(*arg, slots);
}

// How many rows a "ROWNUM op value" condition lets through, counting as Oracle does (ROWNUM
// grows only for rows that pass): nullopt when it lets every row through.
std::optional<long long> RownumLimit(std::string op, double value, bool rownum_on_right) {
  if (rownum_on_right) {
    if (op == "<") {
      op = ">";
    } else if (op == ">") {
      op = "<";
    } else if (op == "<=") {
      op = ">=";
    } else if (op == ">=") {
      op = "<=";
    }
  }
  // No table holds 2^62 rows: a larger bound is no bound, and converts without overflow.
  constexpr double kUnbounded = 4611686018427387904.0;
  if (!(value <= kUnbounded)) value = kUnbounded;
  if (op == "<=") return value < 1 ? 0 : static_cast<long long>(std::floor(value));
  if (op == "<") return value <= 1 ? 0 : static_cast<long long>(std::ceil(value)) - 1;
  if (op == "=") return value == 1 ? 1 : 0;
  if (op == ">=") return value <= 1 ? std::nullopt : std::optional<long long>(0);
  if (op == ">") return value < 1 ? std::nullopt : std::optional<long long>(0);
  // <>: rows pass until ROWNUM would reach the value.
  if (value >= 1 && value == std::floor(value)) return static_cast<long long>(value) - 1;
  return std::nullopt;
}

}  // namespace volmek::engine::emitter_internal

namespace volmek::engine {

using emitter_internal::Emitter;

OraResult<Translation> EmitStatement(std::string_view sql, const ast::Statement& statement,
                                     const SchemaLookup& schema, const TranslateOptions& options,
                                     EmitPlan* plan) {
  std::vector<BindValue> parameters;
  Emitter emitter(sql, schema, options, plan, &parameters);
  VK_ASSIGN_OR_ORA_RETURN(Translation translation, emitter.Statement(statement));
  translation.parameters = std::move(parameters);
  return translation;
}

}  // namespace volmek::engine
