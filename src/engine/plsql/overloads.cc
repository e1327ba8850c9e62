// Overloads: procedures and functions of one name in one scope (a block's declarations, a
// package's interface or body). A call goes to the one its arguments fit, as PL/SQL's
// compiler chooses: by the number and the names of the arguments, then by the family of each
// argument's type (numbers, characters, dates, booleans, records), one where every argument
// is of its parameter's family before one that needs the implicit conversions between
// characters and numbers or dates. The types are those of the declarations (a variable's, a
// literal's, an expression's), never those of the values, so a call runs the same overload
// every time. Where the choice turns on a type this cannot tell before the call runs, or on
// the order PL/SQL gives NUMBER and PLS_INTEGER, the call is refused (PLS-00999) rather than
// sent somewhere Oracle would not send it.
#include <fmt/format.h>

#include <algorithm>
#include <cctype>

#include "engine/plsql/overloads.h"

#include "engine/plsql/interpreter.h"

namespace volmek::engine::plsql {

TypeFamily FamilyOfBase(BaseType base) {
  switch (base) {
    case BaseType::kNumber:
    case BaseType::kPlsInteger:
      return TypeFamily::kNumber;
    case BaseType::kVarchar2:
    case BaseType::kChar:
      return TypeFamily::kText;
    case BaseType::kDate:
      return TypeFamily::kDate;
    case BaseType::kBoolean:
      return TypeFamily::kBool;
  }
  return TypeFamily::kUnknown;
}

namespace {

// What SQL's functions return, for those whose family does not depend on their arguments.
TypeFamily FamilyOfBuiltin(std::string_view name) {
  for (std::string_view text :
       {"TO_CHAR",     "SUBSTR",  "UPPER",   "LOWER",     "TRIM",           "LTRIM",
        "RTRIM",       "LPAD",    "RPAD",    "REPLACE",   "INITCAP",        "CONCAT",
        "CHR",         "USER",    "SQLERRM", "TRANSLATE", "REGEXP_REPLACE", "REGEXP_SUBSTR",
        "SYS_CONTEXT", "USERENV", "DUMP",    "RAWTOHEX"}) {
    if (name == text) return TypeFamily::kText;
  }
  for (std::string_view number :
       {"TO_NUMBER", "LENGTH", "INSTR", "ABS", "MOD", "FLOOR", "CEIL", "SQLCODE", "SIGN", "POWER",
        "SQRT", "MONTHS_BETWEEN", "ASCII", "REGEXP_INSTR", "REGEXP_COUNT", "UID", "ROWNUM"}) {
    if (name == number) return TypeFamily::kNumber;
  }
  for (std::string_view date :
       {"TO_DATE", "SYSDATE", "ADD_MONTHS", "LAST_DAY", "NEXT_DAY", "CURRENT_DATE"}) {
    if (name == date) return TypeFamily::kDate;
  }
  return TypeFamily::kUnknown;
}

// SQL's functions whose result has the family of their first argument.
bool FollowsFirstArgument(std::string_view name) {
  for (std::string_view same : {"NVL", "COALESCE", "GREATEST", "LEAST", "TRUNC", "ROUND"}) {
    if (name == same) return true;
  }
  return false;
}

enum class Fit { kNone, kConverted, kExact };

// How an argument of family `given` fits a parameter of family `wanted`. An unknown family
// fits anything here; whether that may decide the choice is looked at afterwards.
Fit FitOf(TypeFamily given, TypeFamily wanted) {
  if (given == wanted || given == TypeFamily::kNull || given == TypeFamily::kUnknown ||
      wanted == TypeFamily::kUnknown) {
    return Fit::kExact;
  }
  auto scalar = [](TypeFamily family) {
    return family == TypeFamily::kNumber || family == TypeFamily::kDate;
  };
  const bool converted = (given == TypeFamily::kText && scalar(wanted)) ||
                         (wanted == TypeFamily::kText && scalar(given));
  return converted ? Fit::kConverted : Fit::kNone;
}

// The argument `call` gives each parameter of `subprogram`, by position and by name (null
// where left to its default); nullopt when they do not fit its parameters.
std::optional<std::vector<const Expr*>> BindArguments(const Subprogram& subprogram,
                                                      const Expr& call) {
  const std::vector<Param>& params = subprogram.params;
  std::vector<const Expr*> actuals(params.size(), nullptr);
  std::size_t position = 0;
  for (const ExprPtr& arg : call.args) {
    if (arg->arg_name.empty()) {
      if (position >= params.size()) return std::nullopt;
      actuals[position++] = arg.get();
      continue;
    }
    std::size_t at = 0;
    while (at < params.size() && params[at].name != arg->arg_name) ++at;
    if (at == params.size() || actuals[at] != nullptr) return std::nullopt;
    actuals[at] = arg.get();
  }
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (actuals[i] == nullptr && params[i].fallback == nullptr) return std::nullopt;
  }
  return actuals;
}

// What the function `names` returns, when all its overloads agree; SQL's by its name.
TypeFamily FamilyOfResult(const std::vector<std::string>& names, FamilySource& source) {
  const std::vector<const Subprogram*> functions = source.Subprograms(names);
  std::optional<TypeFamily> common;
  for (const Subprogram* function : functions) {
    if (!function->is_function) continue;
    const TypeFamily family = source.FamilyOfType(function->return_type);
    if (common.has_value() && *common != family) return TypeFamily::kUnknown;
    common = family;
  }
  if (common.has_value()) return *common;
  if (!functions.empty() || names.size() != 1) return TypeFamily::kUnknown;
  return FamilyOfBuiltin(names[0]);
}

}  // namespace

TypeFamily FamilyOfExpr(const Expr& actual, FamilySource& source) {
  switch (actual.kind) {
    case ExprKind::kLiteral:
      switch (actual.literal.kind) {
        case Value::Kind::kNumber:
          return TypeFamily::kNumber;
        case Value::Kind::kText:
          return TypeFamily::kText;
        case Value::Kind::kDate:
          return TypeFamily::kDate;
        case Value::Kind::kBool:
          return TypeFamily::kBool;
        case Value::Kind::kNull:
          return TypeFamily::kNull;
      }
      return TypeFamily::kUnknown;
    case ExprKind::kName: {
      if (std::optional<TypeFamily> variable = source.VariableFamily(actual.names)) {
        return *variable;
      }
      return FamilyOfResult(actual.names, source);
    }
    case ExprKind::kCall: {
      if (actual.names.size() == 1 && FollowsFirstArgument(actual.names[0]) &&
          !actual.args.empty() && source.Subprograms(actual.names).empty()) {
        return FamilyOfExpr(*actual.args[0], source);
      }
      return FamilyOfResult(actual.names, source);
    }
    case ExprKind::kNegate:
      return TypeFamily::kNumber;
    case ExprKind::kBinary: {
      if (actual.op == "||") return TypeFamily::kText;
      if (actual.op != "+" && actual.op != "-") return TypeFamily::kNumber;
      const TypeFamily left = FamilyOfExpr(*actual.args[0], source);
      const TypeFamily right = FamilyOfExpr(*actual.args[1], source);
      if (left == TypeFamily::kUnknown || right == TypeFamily::kUnknown) {
        return TypeFamily::kUnknown;
      }
      // A date and a number of days make a date; two dates, the days between them.
      if (left == TypeFamily::kDate && right == TypeFamily::kDate) {
        return actual.op == "-" ? TypeFamily::kNumber : TypeFamily::kUnknown;
      }
      if (left == TypeFamily::kDate || right == TypeFamily::kDate) return TypeFamily::kDate;
      return TypeFamily::kNumber;
    }
    case ExprKind::kCompare:
    case ExprKind::kAnd:
    case ExprKind::kOr:
    case ExprKind::kNot:
    case ExprKind::kIsNull:
    case ExprKind::kBetween:
    case ExprKind::kIn:
      return TypeFamily::kBool;
    case ExprKind::kAttribute:
      return actual.op == "ROWCOUNT" ? TypeFamily::kNumber : TypeFamily::kBool;
    case ExprKind::kSql: {
      if (actual.condition) return TypeFamily::kBool;
      const std::string& text = actual.sql.text;
      std::size_t end = 0;
      while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) ||
                                   text[end] == '_' || text[end] == '$' || text[end] == '#')) {
        ++end;
      }
      std::string word = text.substr(0, end);
      std::transform(word.begin(), word.end(), word.begin(),
                     [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
      return FamilyOfBuiltin(word);
    }
    case ExprKind::kCase:
      break;
  }
  return TypeFamily::kUnknown;
}

std::optional<std::size_t> ChooseOverload(const std::vector<const Subprogram*>& candidates,
                                          const Expr& call, bool want_function,
                                          FamilySource& source, std::string* problem) {
  // A procedure and a function of one name are told apart by where the call is.
  std::vector<std::size_t> of_kind;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (candidates[i]->is_function == want_function) of_kind.push_back(i);
  }
  // None of the kind wanted: the caller says so, of the first.
  if (of_kind.empty()) return 0;
  if (of_kind.size() == 1) return of_kind[0];
  const std::string& name = call.names.back();
  struct Bound {
    std::size_t index;
    std::vector<const Expr*> actuals;  // per parameter, null where left to its default
    std::vector<Fit> fits;             // per argument of the call
    Fit worst = Fit::kExact;
  };
  std::vector<Bound> bound;
  for (std::size_t index : of_kind) {
    if (std::optional<std::vector<const Expr*>> actuals = BindArguments(*candidates[index], call)) {
      bound.push_back(
          Bound{index, std::move(*actuals), std::vector<Fit>(call.args.size()), Fit::kExact});
    }
  }
  if (bound.size() == 1) return bound[0].index;
  auto fail = [&](std::string message) {
    *problem = std::move(message);
    return std::nullopt;
  };
  auto refuse = [&](std::string why) {
    return fail(fmt::format("PLS-00999: implementation restriction (may be temporary) {}", why));
  };
  auto wrong = [&]() {
    return fail(fmt::format("PLS-00306: wrong number or types of arguments in call to '{}'", name));
  };
  if (bound.empty()) return wrong();

  // The family of each argument, and what each parameter it would go to wants. Where either
  // is not known, the overloads must agree on that parameter's family, or the choice would
  // be a guess.
  std::unordered_map<const Expr*, TypeFamily> given;
  std::unordered_map<const Expr*, std::size_t> position;
  for (const ExprPtr& arg : call.args) {
    given.emplace(arg.get(), FamilyOfExpr(*arg, source));
    position.emplace(arg.get(), position.size());
  }
  std::unordered_map<const Expr*, std::vector<TypeFamily>> wanted;
  for (Bound& entry : bound) {
    const std::vector<Param>& params = candidates[entry.index]->params;
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (entry.actuals[i] == nullptr) continue;
      const TypeFamily formal = source.FamilyOfType(params[i].type);
      wanted[entry.actuals[i]].push_back(formal);
      const Fit fit = FitOf(given.at(entry.actuals[i]), formal);
      entry.fits[position.at(entry.actuals[i])] = fit;
      entry.worst = std::min(entry.worst, fit);
    }
  }
  for (const auto& [arg, formals] : wanted) {
    const bool alike = std::all_of(formals.begin(), formals.end(),
                                   [&](TypeFamily family) { return family == formals[0]; });
    // A parameter of a type not known here may be of any family, however its fellows read.
    const bool unknown_formal =
        std::find(formals.begin(), formals.end(), TypeFamily::kUnknown) != formals.end();
    if (unknown_formal || (given.at(arg) == TypeFamily::kUnknown && !alike)) {
      return refuse(
          fmt::format("overloads of '{}' told apart by types known only when the call runs", name));
    }
  }
  std::vector<const Bound*> best;
  for (Fit level : {Fit::kExact, Fit::kConverted}) {
    for (const Bound& entry : bound) {
      if (entry.worst == level) best.push_back(&entry);
    }
    if (!best.empty()) break;
  }
  if (best.empty()) return wrong();
  if (best.size() == 1) return best[0]->index;

  // Several fit alike. PLS-00307 only where Oracle's compiler finds them so too.
  for (const ExprPtr& arg : call.args) {
    bool number = false;
    bool pls_integer = false;
    std::vector<const TypeSpec*> records;
    for (const Bound* entry : best) {
      const std::vector<Param>& params = candidates[entry->index]->params;
      for (std::size_t i = 0; i < params.size(); ++i) {
        if (entry->actuals[i] != arg.get()) continue;
        const TypeSpec& type = params[i].type;
        if (type.kind == TypeSpec::Kind::kBase) {
          number = number || type.base.base == BaseType::kNumber;
          pls_integer = pls_integer || type.base.base == BaseType::kPlsInteger;
        } else if (source.FamilyOfType(type) == TypeFamily::kRecord) {
          records.push_back(&type);
        }
      }
    }
    if (number && pls_integer) {
      return refuse(fmt::format("overloads of '{}' told apart by NUMBER and PLS_INTEGER", name));
    }
    const bool same_records = std::all_of(records.begin(), records.end(), [&](const TypeSpec* t) {
      return t->kind == records[0]->kind && t->ref == records[0]->ref;
    });
    if (!same_records) {
      return refuse(fmt::format("overloads of '{}' told apart by record types", name));
    }
  }
  // Conversions of different arguments: PL/SQL's preference among them is not followed here.
  for (const Bound* entry : best) {
    if (entry->fits != best[0]->fits) {
      return refuse(
          fmt::format("overloads of '{}' each reached by converting different arguments", name));
    }
  }
  return fail(fmt::format("PLS-00307: too many declarations of '{}' match this call", name));
}

TypeFamily FamilySource::FamilyOfType(const TypeSpec& type) {
  switch (type.kind) {
    case TypeSpec::Kind::kBase:
      return FamilyOfBase(type.base.base);
    case TypeSpec::Kind::kPercentRowtype:
    case TypeSpec::Kind::kNamed:
      return TypeFamily::kRecord;
    case TypeSpec::Kind::kPercentType:
      break;
  }
  // A lone name's %TYPE is not followed from here.
  if (type.ref.size() < 2) return TypeFamily::kUnknown;
  return FamilyOfPercentType(type);
}

// The interpreter's view of names, as a call runs: its variables, its procedures and
// functions, the packages' interfaces.
class InterpreterFamilies : public FamilySource {
 public:
  explicit InterpreterFamilies(Interpreter& interpreter) : interpreter_(interpreter) {}

  std::optional<TypeFamily> VariableFamily(const std::vector<std::string>& names) override {
    const Variable* variable = interpreter_.FindVariable(names);
    if (variable == nullptr) return std::nullopt;
    return variable->is_record ? TypeFamily::kRecord : FamilyOfBase(variable->type.base);
  }

  std::vector<const Subprogram*> Subprograms(const std::vector<std::string>& names) override {
    std::vector<const Subprogram*> found;
    if (names.size() == 1) {
      const Symbol* symbol = interpreter_.Find(names[0]);
      if (symbol == nullptr || symbol->kind != Symbol::Kind::kSubprogram) return found;
      found.push_back(symbol->decl->subprogram.get());
      for (const Symbol& overload : symbol->overloads) {
        found.push_back(overload.decl->subprogram.get());
      }
    } else if (names.size() == 2) {
      std::shared_ptr<PackageInstance> package = interpreter_.FindPackage({names[0]});
      if (package != nullptr && package->package().spec != nullptr) {
        for (const Decl& decl : package->package().spec->block.decls) {
          if (decl.kind == Decl::Kind::kSubprogram && decl.name == names[1]) {
            found.push_back(decl.subprogram.get());
          }
        }
      }
    }
    if (found.empty() && names.size() <= 2) {
      std::shared_ptr<const StoredUnit> unit = interpreter_.host_.FindUnit(names);
      if (unit != nullptr && unit->tree != nullptr) found.push_back(unit->tree.get());
    }
    return found;
  }

  // TABLE.COLUMN%TYPE; a variable's %TYPE is the declaring scope's, which need not be ours.
  TypeFamily FamilyOfPercentType(const TypeSpec& type) override {
    OraResult<Variable> made = interpreter_.MakeVariable(type);
    if (!made.has_value()) return TypeFamily::kUnknown;
    return made->is_record ? TypeFamily::kRecord : FamilyOfBase(made->type.base);
  }

 private:
  Interpreter& interpreter_;
};

std::optional<std::size_t> Interpreter::ChooseOverload(
    const std::vector<const Subprogram*>& candidates, const Expr& call, bool want_function,
    std::string* problem) {
  InterpreterFamilies families(*this);
  std::optional<std::size_t> chosen =
      plsql::ChooseOverload(candidates, call, want_function, families, problem);
  // Oracle's compiler finds these before anything runs: here, where the call runs, no handler
  // may take them (as the step limit's error), so the block runs no handler Oracle's would not.
  if (!chosen.has_value()) aborted_ = true;
  return chosen;
}

std::optional<Callee> Interpreter::ChooseDeclared(const Symbol& symbol, const Expr& call,
                                                  bool want_function, std::string* problem) {
  auto callee_of = [](const Symbol& entry) {
    Callee callee;
    callee.subprogram =
        entry.subprogram != nullptr ? entry.subprogram : entry.decl->subprogram.get();
    callee.visible = entry.visible;
    return callee;
  };
  // Most names have one declaration: no choosing, nothing allocated, call after call.
  if (symbol.overloads.empty()) return callee_of(symbol);
  std::vector<const Symbol*> entries{&symbol};
  for (const Symbol& overload : symbol.overloads) entries.push_back(&overload);
  std::vector<const Subprogram*> candidates;
  for (const Symbol* entry : entries) candidates.push_back(entry->decl->subprogram.get());
  std::optional<std::size_t> chosen = ChooseOverload(candidates, call, want_function, problem);
  if (!chosen.has_value()) return std::nullopt;
  return callee_of(*entries[*chosen]);
}

}  // namespace volmek::engine::plsql
