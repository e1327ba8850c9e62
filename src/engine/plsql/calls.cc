// Procedures and functions: those a block declares and the stored ones, called from
// statements (`p(1, x);`) and from expressions (`y := f(x);`). Arguments go by position or by
// name (`a => 1`); IN parameters are constants of the callee, OUT and IN OUT ones are copied
// back to the caller's variables when the call ends normally (NOCOPY is taken as a copy too,
// which PL/SQL allows). A declared procedure or function runs with the scopes of the block
// that declares it; a stored one runs in an interpreter of its own text, so that its errors
// name it: "ORA-06512: at "SCOTT.P", line 3".
#include <fmt/format.h>

#include <cstdint>

#include "engine/plsql/interpreter.h"
#include "engine/plsql/parser.h"

namespace volmek::engine::plsql {
namespace {

OraError WrongArguments(std::string_view text, std::size_t offset, std::size_t statement,
                        std::string_view name) {
  OraError error = CompileError(
      text, offset,
      fmt::format("PLS-00306: wrong number or types of arguments in call to '{}'", name));
  error.message += "\n" + CompileError(text, statement, "PL/SQL: Statement ignored").message;
  return error;
}

// Where the outermost StackBase of this thread is on the stack; 0 when none.
thread_local std::uintptr_t stack_base = 0;

std::uintptr_t StackHere() { return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)); }

}  // namespace

StackBase::StackBase() {
  if (stack_base != 0) return;
  stack_base = StackHere();
  outermost_ = true;
}

StackBase::~StackBase() {
  if (outermost_) stack_base = 0;
}

std::size_t StackBase::Used() {
  if (stack_base == 0) return 0;
  const std::uintptr_t now = StackHere();
  return now < stack_base ? stack_base - now : now - stack_base;
}

std::string Interpreter::StackLine(std::size_t offset) const {
  if (unit_label_.empty()) return fmt::format("\nORA-06512: at line {}", LineOf(text_, offset));
  return fmt::format("\nORA-06512: at {}, line {}", unit_label_, LineOf(text_, offset));
}

std::optional<Callee> Interpreter::FindCallee(const Expr& call, bool want_function,
                                              std::string* problem) {
  const std::vector<std::string>& names = call.names;
  problem->clear();
  if (names.size() == 1) {
    if (Symbol* symbol = Find(names[0]); symbol != nullptr) {
      if (symbol->kind != Symbol::Kind::kSubprogram) return std::nullopt;
      return ChooseDeclared(*symbol, call, want_function, problem);
    }
  }
  if (names.size() >= 2 && names.size() <= 3) {
    // PACKAGE.NAME or OWNER.PACKAGE.NAME.
    std::vector<std::string> prefix(names.begin(), names.end() - 1);
    if (std::shared_ptr<PackageInstance> instance = FindPackage(prefix)) {
      const StoredPackage& package = instance->package();
      if (package.spec == nullptr) {
        *problem = fmt::format("PLS-00905: object {}.{} is invalid", package.owner, package.name);
        return std::nullopt;
      }
      // Inside the package, its own ones, private too, as declared here.
      if (instance.get() == own_package_) {
        if (Symbol* symbol = PackageItem(names.back(), true);
            symbol != nullptr && symbol->kind == Symbol::Kind::kSubprogram) {
          return ChooseDeclared(*symbol, call, want_function, problem);
        }
      }
      std::vector<const Subprogram*> candidates;
      for (const Decl& decl : package.spec->block.decls) {
        if (decl.kind == Decl::Kind::kSubprogram && decl.name == names.back()) {
          candidates.push_back(decl.subprogram.get());
        }
      }
      if (!candidates.empty()) {
        std::optional<std::size_t> chosen =
            ChooseOverload(candidates, call, want_function, problem);
        if (!chosen.has_value()) return std::nullopt;
        Callee callee;
        callee.subprogram = candidates[*chosen];
        callee.package = std::move(instance);
        return callee;
      }
      *problem = fmt::format("PLS-00302: component '{}' must be declared", names.back());
      return std::nullopt;
    }
  }
  if (names.size() > 2) return std::nullopt;
  std::string key = Dotted(names);
  auto cached = units_.find(key);
  if (cached == units_.end()) cached = units_.emplace(key, host_.FindUnit(names)).first;
  if (cached->second == nullptr) return std::nullopt;
  if (cached->second->tree == nullptr) {
    *problem = fmt::format("PLS-00905: object {}.{} is invalid", cached->second->owner,
                           cached->second->name);
    return std::nullopt;
  }
  Callee callee;
  callee.subprogram = cached->second->tree.get();
  callee.unit = cached->second;
  return callee;
}

std::expected<Value, RunError> Interpreter::Invoke(const Callee& callee, const Expr& call,
                                                   std::size_t statement_offset) {
  const Subprogram& subprogram = *callee.subprogram;
  auto fail = [&](OraError error) {
    return std::unexpected(Raise(std::move(error), statement_offset));
  };
  auto wrong = [&]() {
    return fail(WrongArguments(text_, call.offset, statement_offset, call.names.back()));
  };
  if (subprogram.body == nullptr && callee.package == nullptr) {
    return fail(CompileError(text_, call.offset,
                             fmt::format("PLS-00328: A subprogram body must be defined for the "
                                         "forward declaration of {}.",
                                         subprogram.name)));
  }
  // Positional arguments first, then named ones.
  const std::vector<Param>& params = subprogram.params;
  std::vector<const Expr*> actuals(params.size(), nullptr);
  std::size_t position = 0;
  bool named = false;
  for (const ExprPtr& arg : call.args) {
    if (arg->arg_name.empty()) {
      if (named) {
        return fail(CompileError(text_, arg->offset,
                                 "PLS-00312: a positional parameter association may not follow "
                                 "a named association"));
      }
      if (position >= params.size()) return wrong();
      actuals[position++] = arg.get();
      continue;
    }
    named = true;
    std::size_t at = 0;
    while (at < params.size() && params[at].name != arg->arg_name) ++at;
    if (at == params.size() || actuals[at] != nullptr) return wrong();
    actuals[at] = arg.get();
  }
  std::vector<Argument> args(params.size());
  for (std::size_t i = 0; i < params.size(); ++i) {
    const Expr* actual = actuals[i];
    if (actual == nullptr) {
      if (params[i].fallback == nullptr) return wrong();
      continue;
    }
    Variable* variable = actual->kind == ExprKind::kName ? FindVariable(actual->names) : nullptr;
    if (params[i].mode != Param::Mode::kIn) {
      if (variable == nullptr || variable->constant) {
        return fail(CompileError(text_, actual->offset,
                                 fmt::format("PLS-00363: expression '{}' cannot be used as an "
                                             "assignment target",
                                             actual->kind == ExprKind::kName ? Dotted(actual->names)
                                                                             : std::string("?"))));
      }
      args[i] = *variable;
      continue;
    }
    if (variable != nullptr && variable->is_record) {
      args[i] = *variable;
      continue;
    }
    OraResult<Value> value = Eval(*actual);
    if (!value.has_value()) return fail(value.error());
    Variable passed;
    passed.value = std::move(*value);
    args[i] = std::move(passed);
  }

  std::expected<Value, RunError> result;
  if (callee.package != nullptr) {
    result = InvokePackaged(*callee.package, subprogram, args);
  } else if (callee.unit == nullptr) {
    result = RunSubprogram(subprogram, args, callee.visible);
  } else {
    if (call_depth_ + 1 >= kMaxCallDepth) return fail(Ora(6500, "PL/SQL: storage error"));
    std::unique_ptr<Interpreter>& nested = callees_[callee.unit.get()];
    if (!nested) {
      nested = std::make_unique<Interpreter>(host_, callee.unit->text);
      nested->SetUnit(callee.unit->Label(), call_depth_ + 1);
    }
    nested->steps_ = steps_;
    result = nested->RunSubprogram(subprogram, args, 0);
    steps_ = nested->steps_;
    aborted_ = aborted_ || nested->aborted_;
  }
  if (!result.has_value()) {
    RunError error = std::move(result).error();
    error.located = false;
    return std::unexpected(std::move(error));
  }
  // OUT and IN OUT values back to the caller's variables.
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (params[i].mode == Param::Mode::kIn || actuals[i] == nullptr) continue;
    Variable* target = FindVariable(actuals[i]->names);
    const Variable& out = *args[i];
    if (target->is_record) {
      for (std::size_t f = 0; f < target->fields.size() && f < out.fields.size(); ++f) {
        OraResult<Value> fitted =
            Assign(out.fields[f].value, target->fields[f].type, host_.date_format());
        if (!fitted.has_value()) return fail(fitted.error());
        target->fields[f].value = std::move(*fitted);
      }
      continue;
    }
    OraStatus assigned = AssignTo(*actuals[i], out.value);
    if (!assigned.has_value()) return fail(assigned.error());
  }
  return result;
}

std::expected<Value, RunError> Interpreter::RunSubprogram(const Subprogram& subprogram,
                                                          std::vector<Argument>& args,
                                                          std::size_t visible) {
  auto fail = [&](OraError error, std::size_t offset) {
    return std::unexpected(Raise(std::move(error), offset));
  };
  if (call_depth_ + 1 >= kMaxCallDepth || StackBase::Used() > kStackBudget) {
    return fail(Ora(6500, "PL/SQL: storage error"), subprogram.offset);
  }
  // The body sees the scopes of the block that declares it, not those of its caller.
  std::vector<std::unique_ptr<Scope>> hidden;
  for (std::size_t i = visible; i < scopes_.size(); ++i) hidden.push_back(std::move(scopes_[i]));
  scopes_.resize(visible);
  // A second activation of the same body gets SQL cursors of its own.
  int& active = active_[&subprogram];
  std::unordered_map<const void*, SqlSlot> outer_sql;
  if (active > 0) outer_sql.swap(sql_);
  ++active;
  ++call_depth_;
  std::vector<RunError> outer_handling;
  outer_handling.swap(handling_);
  const PlType* outer_return_type = return_type_;
  std::optional<Value> outer_return_value = std::move(return_value_);
  return_value_.reset();
  struct Restore {
    Interpreter* self;
    std::size_t visible;
    std::vector<std::unique_ptr<Scope>>& hidden;
    std::unordered_map<const void*, SqlSlot>& outer_sql;
    bool swapped;
    int& active;
    std::vector<RunError>& outer_handling;
    const PlType* outer_return_type;
    std::optional<Value>& outer_return_value;
    ~Restore() {
      self->scopes_.resize(visible);
      for (auto& scope : hidden) self->scopes_.push_back(std::move(scope));
      if (swapped) self->sql_.swap(outer_sql);
      --active;
      --self->call_depth_;
      self->handling_.swap(outer_handling);
      self->return_type_ = outer_return_type;
      self->return_value_ = std::move(outer_return_value);
    }
  } restore{this,           visible,           hidden,
            outer_sql,      active > 1,        active,
            outer_handling, outer_return_type, outer_return_value};

  // The parameters, one scope around the body's own.
  scopes_.push_back(std::make_unique<Scope>());
  Scope& params = *scopes_.back();
  for (std::size_t i = 0; i < subprogram.params.size(); ++i) {
    const Param& param = subprogram.params[i];
    OraResult<Variable> made = MakeVariable(param.type);
    if (!made.has_value()) return fail(made.error(), param.offset);
    Variable variable = std::move(*made);
    if (param.mode != Param::Mode::kOut) {
      if (!args[i].has_value()) {
        OraResult<Value> value = Eval(*param.fallback);
        if (!value.has_value()) return fail(value.error(), param.offset);
        Variable given;
        given.value = std::move(*value);
        args[i] = std::move(given);
      }
      const Variable& given = *args[i];
      if (variable.is_record != given.is_record || variable.fields.size() != given.fields.size()) {
        return fail(Ora(6550, fmt::format("PLS-00306: wrong number or types of arguments in call "
                                          "to '{}'",
                                          subprogram.name)),
                    subprogram.offset);
      }
      for (std::size_t f = 0; f < variable.fields.size(); ++f) {
        OraResult<Value> fitted =
            Assign(given.fields[f].value, variable.fields[f].type, host_.date_format());
        if (!fitted.has_value()) return fail(fitted.error(), param.offset);
        variable.fields[f].value = std::move(*fitted);
      }
      if (!variable.is_record) {
        OraResult<Value> fitted = Assign(given.value, variable.type, host_.date_format());
        if (!fitted.has_value()) return fail(fitted.error(), param.offset);
        variable.value = std::move(*fitted);
      }
    }
    variable.constant = param.mode == Param::Mode::kIn;
    Symbol symbol;
    symbol.variable = &params.variables.emplace_back(std::move(variable));
    params.symbols.emplace(param.name, symbol);
  }
  PlType return_type;
  if (subprogram.is_function) {
    OraResult<Variable> made = MakeVariable(subprogram.return_type);
    if (!made.has_value()) return fail(made.error(), subprogram.offset);
    if (made->is_record) {
      return fail(CompileError(text_, subprogram.return_type.offset,
                               "PLS-00999: implementation restriction (may be temporary) "
                               "functions returning records"),
                  subprogram.offset);
    }
    return_type = made->type;
    return_type_ = &return_type;
  } else {
    return_type_ = nullptr;
  }

  Outcome outcome = RunBlock(*subprogram.body);
  if (!outcome.has_value()) {
    RunError error = std::move(outcome).error();
    if (error.error.code == 6550 && !error.error.message.starts_with("ORA-06550: line ")) {
      // A type error found while running: placed where it is, in this text.
      error.error = CompileError(text_, error.offset, error.error.message.substr(11));
    } else if (error.error.code != 6550) {
      error.stack += StackLine(error.offset);
    }
    return std::unexpected(std::move(error));
  }
  for (std::size_t i = 0; i < subprogram.params.size(); ++i) {
    if (subprogram.params[i].mode == Param::Mode::kIn) continue;
    args[i] = *params.symbols.at(subprogram.params[i].name).variable;
  }
  if (!subprogram.is_function) return Value::Null();
  if (!return_value_.has_value()) {
    RunError error =
        Raise(Ora(6503, "PL/SQL: Function returned without value"), subprogram.body->end_offset);
    error.stack = StackLine(error.offset);
    error.located = false;
    return std::unexpected(std::move(error));
  }
  return std::move(*return_value_);
}

std::expected<void, RunError> Interpreter::CallStatement(const Stmt& stmt) {
  const Expr& call = *stmt.value;
  std::string problem;
  std::optional<Callee> callee = FindCallee(call, false, &problem);
  auto statement_error = [&](std::string message) {
    const std::size_t at = message.starts_with("PLS-00302")
                               ? MemberOffset(text_, call.offset, call.names.size() - 1)
                               : call.offset;
    OraError error = CompileError(text_, at, message);
    error.message += "\n" + CompileError(text_, stmt.offset, "PL/SQL: Statement ignored").message;
    return std::unexpected(Raise(std::move(error), stmt.offset));
  };
  if (package_failure_.has_value()) {
    RunError failure = std::move(*package_failure_);
    package_failure_.reset();
    return std::unexpected(std::move(failure));
  }
  if (!problem.empty()) return statement_error(std::move(problem));
  if (!callee.has_value()) {
    return statement_error(
        fmt::format("PLS-00201: identifier '{}' must be declared", Dotted(call.names)));
  }
  if (callee->subprogram->is_function) {
    return statement_error(
        fmt::format("PLS-00221: '{}' is not a procedure or is undefined", call.names.back()));
  }
  std::expected<Value, RunError> result = Invoke(*callee, call, stmt.offset);
  if (!result.has_value()) return std::unexpected(std::move(result).error());
  return {};
}

std::optional<OraResult<Value>> Interpreter::CallFunction(const Expr& call) {
  std::string problem;
  std::optional<Callee> callee = FindCallee(call, true, &problem);
  if (package_failure_.has_value()) {
    OraError error = package_failure_->error;
    call_failure_ = std::move(*package_failure_);
    package_failure_.reset();
    return OraResult<Value>(OraErr(std::move(error)));
  }
  if (!problem.empty()) {
    const std::size_t at = problem.starts_with("PLS-00302")
                               ? MemberOffset(text_, call.offset, call.names.size() - 1)
                               : call.offset;
    return OraResult<Value>(OraErr(CompileError(text_, at, problem)));
  }
  if (!callee.has_value()) return std::nullopt;
  if (!callee->subprogram->is_function) {
    return OraResult<Value>(OraErr(
        CompileError(text_, call.offset,
                     fmt::format("PLS-00222: no function with name '{}' exists in this scope",
                                 call.names.back()))));
  }
  std::expected<Value, RunError> result = Invoke(*callee, call, call.offset);
  if (result.has_value()) return OraResult<Value>(std::move(*result));
  OraError error = result.error().error;
  call_failure_ = std::move(result).error();
  return OraResult<Value>(OraErr(std::move(error)));
}

bool Interpreter::CallsDeclared(const Expr& expr) {
  for (const ExprPtr& arg : expr.args) {
    if ((arg->kind == ExprKind::kCall || arg->kind == ExprKind::kName) && arg->names.size() == 1) {
      Symbol* symbol = Find(arg->names[0]);
      if (symbol != nullptr && symbol->kind == Symbol::Kind::kSubprogram) return true;
    }
    if (CallsDeclared(*arg)) return true;
  }
  return false;
}

OraResult<Value> Interpreter::EvalSqlCall(const Expr& expr) {
  if (!CallsDeclared(expr)) return EvalSql(expr);
  // SQL cannot see the block's procedures and functions: their values go to it instead.
  std::string text = Dotted(expr.names) + "(";
  for (std::size_t i = 0; i < expr.args.size(); ++i) {
    if (!expr.args[i]->arg_name.empty()) return EvalSql(expr);
    VK_ASSIGN_OR_ORA_RETURN(Value value, Eval(*expr.args[i]));
    VK_ASSIGN_OR_ORA_RETURN(std::string literal, SqlLiteral(value));
    text += (i == 0 ? "" : ", ") + literal;
  }
  text += ")";
  Expr sql;
  sql.kind = ExprKind::kSql;
  sql.sql.text = std::move(text);
  sql.sql.offset = expr.offset;
  sql.offset = expr.offset;
  return EvalSql(sql);
}

}  // namespace volmek::engine::plsql
