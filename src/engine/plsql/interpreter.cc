#include "engine/plsql/interpreter.h"

#include <fmt/format.h>

#include "engine/plsql/parser.h"

namespace volmek::engine::plsql {
namespace {

// The predefined exceptions and their Oracle errors.
std::optional<int> PredefinedCode(std::string_view name) {
  if (name == "NO_DATA_FOUND") return 1403;
  if (name == "TOO_MANY_ROWS") return 1422;
  if (name == "ZERO_DIVIDE") return 1476;
  if (name == "VALUE_ERROR") return 6502;
  if (name == "DUP_VAL_ON_INDEX") return 1;
  if (name == "INVALID_NUMBER") return 1722;
  if (name == "INVALID_CURSOR") return 1001;
  if (name == "CURSOR_ALREADY_OPEN") return 6511;
  if (name == "CASE_NOT_FOUND") return 6592;
  if (name == "ROWTYPE_MISMATCH") return 6504;
  if (name == "STORAGE_ERROR") return 6500;
  if (name == "PROGRAM_ERROR") return 6501;
  return std::nullopt;
}

std::string PredefinedMessage(int code) {
  switch (code) {
    case 1403:
      return "ORA-01403: no data found";
    case 1422:
      return "ORA-01422: exact fetch returns more than requested number of rows";
    case 1476:
      return "ORA-01476: divisor is equal to zero";
    case 6502:
      return "ORA-06502: PL/SQL: numeric or value error";
    case 1:
      return "ORA-00001: unique constraint (.) violated";
    case 1722:
      return "ORA-01722: invalid number";
    case 1001:
      return "ORA-01001: invalid cursor";
    case 6511:
      return "ORA-06511: PL/SQL: cursor already open";
    case 6592:
      return "ORA-06592: CASE not found while executing CASE statement";
    default:
      return fmt::format("ORA-{:05}: ", code);
  }
}

PlType TypeOfColumn(const SqlType& type) {
  PlType result;
  switch (type.kind) {
    case TypeKind::kNumber:
      result.base = BaseType::kNumber;
      result.precision = type.precision;
      result.scale = type.scale;
      break;
    case TypeKind::kFloat:
      result.base = BaseType::kNumber;
      break;
    case TypeKind::kChar:
      result.base = BaseType::kChar;
      result.length = type.length;
      break;
    case TypeKind::kDate:
      result.base = BaseType::kDate;
      break;
    default:
      result.base = BaseType::kVarchar2;
      result.length = type.kind == TypeKind::kVarchar2 ? type.length : 0;
      break;
  }
  return result;
}

}  // namespace

RunError Interpreter::Raise(OraError error, std::size_t offset) const {
  RunError raised{std::move(error), offset, true, nullptr, {}};
  if (call_failure_.has_value()) {
    // The error of a function this statement called: it keeps its stack and its exception.
    if (call_failure_->error.code == raised.error.code &&
        call_failure_->error.message == raised.error.message) {
      raised.stack = std::move(call_failure_->stack);
      raised.user = call_failure_->user;
    }
    call_failure_.reset();
  }
  return raised;
}

Outcome Interpreter::RunTop(const Block& block) { return RunBlock(block); }

Symbol* Interpreter::Find(const std::string& name) {
  for (auto scope = scopes_.rbegin(); scope != scopes_.rend(); ++scope) {
    auto found = (*scope)->symbols.find(name);
    if (found != (*scope)->symbols.end()) return &found->second;
  }
  if (!name.empty() && name[0] == ':') return FindHost(name);
  if (std::size_t dot = name.find('.'); dot != std::string::npos) {
    // PACKAGE.ITEM: an exception, a cursor or a type of a package.
    std::optional<OraResult<Symbol*>> item =
        FindPackageItem({name.substr(0, dot)}, name.substr(dot + 1));
    if (item.has_value() && item->has_value()) return **item;
  }
  return nullptr;
}

Symbol* Interpreter::FindHost(const std::string& name) {
  auto found = host_symbols_.find(name);
  if (found != host_symbols_.end()) return &found->second;
  for (const HostVariable& bind : binds_) {
    if (name.compare(1, std::string::npos, bind.name) != 0) continue;
    Variable& variable = host_variables_.emplace_back();
    variable.type.base = BaseType::kVarchar2;
    // PL/SQL's longest VARCHAR2.
    variable.type.length = static_cast<int>(std::min<std::size_t>(bind.variable->max_size, 32767));
    if (!bind.variable->is_null) variable.value = Value::Text(bind.variable->text);
    host_bound_.emplace_back(&variable, bind.variable);
    Symbol symbol;
    symbol.variable = &variable;
    return &host_symbols_.emplace(name, symbol).first->second;
  }
  return nullptr;
}

void Interpreter::ReturnHostValues() {
  for (auto [variable, bind] : host_bound_) {
    bind->is_null = variable->value.is_null();
    bind->text = bind->is_null ? std::string() : variable->value.text;
  }
}

Outcome Interpreter::RunBlock(const Block& block) {
  scopes_.push_back(std::make_unique<Scope>());
  struct Pop {
    Interpreter* self;
    ~Pop() { self->scopes_.pop_back(); }
  } pop{this};
  for (const Decl& decl : block.decls) {
    std::expected<void, RunError> declared = Declare(decl);
    if (!declared.has_value()) return std::unexpected(std::move(declared).error());
  }
  Outcome outcome = RunList(block.body);
  if (outcome.has_value() || aborted_) return outcome;
  RunError error = std::move(outcome).error();
  for (const Handler& handler : block.handlers) {
    if (!HandlerTakes(handler, error)) continue;
    error.stack.clear();
    handling_.push_back(error);
    Outcome handled = RunList(handler.body);
    handling_.pop_back();
    return handled;
  }
  return std::unexpected(std::move(error));
}

bool Interpreter::HandlerTakes(const Handler& handler, const RunError& error) {
  if (handler.names.empty()) return true;
  for (const std::string& name : handler.names) {
    Symbol* symbol = Find(name);
    if (symbol != nullptr && symbol->kind == Symbol::Kind::kException) {
      if (symbol->code != 0 ? error.error.code == symbol->code : error.user == symbol->decl) {
        return true;
      }
      continue;
    }
    std::optional<int> code = PredefinedCode(name);
    if (code && error.user == nullptr && error.error.code == *code) return true;
  }
  return false;
}

OraResult<Variable> Interpreter::RecordFromColumns(
    const std::vector<db::ColumnDescription>& columns) {
  Variable record;
  record.is_record = true;
  for (const db::ColumnDescription& column : columns) {
    Variable field;
    switch (column.db_type) {
      case db::kTypeNumber:
        field.type.base = BaseType::kNumber;
        break;
      case db::kTypeDate:
        field.type.base = BaseType::kDate;
        break;
      case db::kTypeChar:
        field.type.base = BaseType::kChar;
        field.type.length = column.db_size;
        break;
      default:
        field.type.base = BaseType::kVarchar2;
        break;
    }
    record.field_names.push_back(column.name);
    record.fields.push_back(std::move(field));
  }
  return record;
}

OraResult<Variable> Interpreter::MakeVariable(const TypeSpec& spec) {
  auto undeclared = [&](const std::vector<std::string>& names) {
    std::string name = names[0];
    for (std::size_t i = 1; i < names.size(); ++i) name += "." + names[i];
    return CompileError(text_, spec.offset,
                        fmt::format("PLS-00201: identifier '{}' must be declared", name));
  };
  Variable variable;
  switch (spec.kind) {
    case TypeSpec::Kind::kBase:
      variable.type = spec.base;
      return variable;
    case TypeSpec::Kind::kPercentType: {
      if (spec.ref.size() == 1) {
        Symbol* symbol = Find(spec.ref[0]);
        if (symbol == nullptr || symbol->kind != Symbol::Kind::kVariable) {
          return OraErr(undeclared(spec.ref));
        }
        variable = *symbol->variable;
        variable.constant = false;
        variable.value = Value::Null();
        for (Variable& field : variable.fields) field.value = Value::Null();
        return variable;
      }
      if (spec.ref.size() == 2) {
        if (Variable* record = FindVariable(spec.ref)) {
          variable.type = record->type;
          return variable;
        }
      }
      const std::string& table = spec.ref[spec.ref.size() - 2];
      const std::string& column = spec.ref.back();
      std::optional<TableInfo> info = host_.schema().FindTable(table);
      if (!info) return OraErr(undeclared(spec.ref));
      for (const ColumnInfo& candidate : info->columns) {
        if (candidate.name != column) continue;
        variable.type = TypeOfColumn(candidate.type);
        return variable;
      }
      return OraErr(undeclared(spec.ref));
    }
    case TypeSpec::Kind::kPercentRowtype: {
      if (spec.ref.size() <= 2) {
        CursorState* cursor =
            FindCursor(spec.ref.size() == 1 ? spec.ref[0] : spec.ref[0] + "." + spec.ref[1]);
        // An open cursor (one of a package's, open from an earlier block) keeps its query.
        if (cursor != nullptr && cursor->open) return RecordFromColumns(cursor->columns);
        if (cursor != nullptr) {
          Interpreter& home = *cursor->owner;
          VK_RETURN_IF_ORA_ERROR(home.PushCursorParams(*cursor->decl, {}));
          OraResult<SqlSlot*> slot =
              home.PrepareSql(cursor->decl->query, cursor->decl, cursor->decl->query.offset);
          home.scopes_.pop_back();
          if (!slot.has_value()) return OraErr(slot.error());
          return RecordFromColumns((*slot)->columns);
        }
      }
      std::optional<TableInfo> info = host_.schema().FindTable(spec.ref.back());
      if (!info) return OraErr(undeclared(spec.ref));
      variable.is_record = true;
      for (const ColumnInfo& column : info->columns) {
        Variable field;
        field.type = TypeOfColumn(column.type);
        variable.field_names.push_back(column.name);
        variable.fields.push_back(std::move(field));
      }
      return variable;
    }
    case TypeSpec::Kind::kNamed: {
      Symbol* symbol = Find(spec.ref.size() == 2 ? spec.ref[0] + "." + spec.ref[1] : spec.ref[0]);
      if (symbol == nullptr || symbol->kind != Symbol::Kind::kRecordType) {
        return OraErr(undeclared(spec.ref));
      }
      variable.is_record = true;
      for (const Field& field : symbol->decl->fields) {
        VK_ASSIGN_OR_ORA_RETURN(Variable member, MakeVariable(field.type));
        variable.field_names.push_back(field.name);
        variable.fields.push_back(std::move(member));
      }
      return variable;
    }
  }
  return variable;
}

std::expected<void, RunError> Interpreter::Declare(const Decl& decl) {
  Scope& scope = *scopes_.back();
  auto fail = [&](OraError error) { return std::unexpected(Raise(std::move(error), decl.offset)); };
  if (scope.symbols.contains(decl.name) && decl.kind != Decl::Kind::kPragma &&
      decl.kind != Decl::Kind::kSubprogram) {
    return fail(CompileError(
        text_, decl.offset,
        fmt::format("PLS-00371: at most one declaration for '{}' is permitted", decl.name)));
  }
  Symbol symbol;
  symbol.decl = &decl;
  switch (decl.kind) {
    case Decl::Kind::kSubprogram: {
      const Subprogram& subprogram = *decl.subprogram;
      symbol.kind = Symbol::Kind::kSubprogram;
      symbol.subprogram = subprogram.body != nullptr ? &subprogram : nullptr;
      symbol.visible = scopes_.size();
      auto found = scope.symbols.find(decl.name);
      if (found == scope.symbols.end()) {
        scope.symbols.emplace(decl.name, symbol);
        return {};
      }
      Symbol& first = found->second;
      auto duplicate = [&]() {
        return fail(CompileError(
            text_, decl.offset,
            fmt::format("PLS-00371: at most one declaration for '{}' is permitted", decl.name)));
      };
      if (first.kind != Symbol::Kind::kSubprogram) return duplicate();
      std::vector<Symbol*> entries{&first};
      for (Symbol& overload : first.overloads) entries.push_back(&overload);
      for (Symbol* entry : entries) {
        if (!SameHeading(*entry->decl->subprogram, subprogram)) continue;
        // The body of a procedure or function declared forward; twice the same heading
        // otherwise, which no call could tell apart.
        if (entry->subprogram != nullptr || subprogram.body == nullptr) {
          return fail(CompileError(
              text_, subprogram.name_offset,
              fmt::format("PLS-00305: previous use of '{}' (at line {}) conflicts with this use",
                          decl.name, LineOf(text_, entry->decl->subprogram->name_offset))));
        }
        entry->subprogram = &subprogram;
        return {};
      }
      // Another heading for the same name: an overload.
      first.overloads.push_back(std::move(symbol));
      return {};
    }
    case Decl::Kind::kException:
      symbol.kind = Symbol::Kind::kException;
      break;
    case Decl::Kind::kPragma: {
      auto found = scope.symbols.find(decl.name);
      if (found == scope.symbols.end() || found->second.kind != Symbol::Kind::kException) {
        return fail(CompileError(text_, decl.offset,
                                 fmt::format("PLS-00109: unknown exception name '{}' in pragma "
                                             "EXCEPTION_INIT",
                                             decl.name)));
      }
      int code = decl.pragma_code == 100 ? -1403 : decl.pragma_code;
      if (code >= 0 || decl.pragma_code == -1403) {
        return fail(CompileError(text_, decl.offset,
                                 "PLS-00701: illegal ORACLE error number " +
                                     std::to_string(decl.pragma_code) +
                                     " for PRAGMA EXCEPTION_INIT"));
      }
      found->second.code = -code;
      return {};
    }
    case Decl::Kind::kCursor: {
      symbol.kind = Symbol::Kind::kCursor;
      CursorState& state = scope.cursors.emplace_back();
      state.decl = &decl;
      state.owner = this;
      symbol.cursor = &state;
      break;
    }
    case Decl::Kind::kRecordType:
      symbol.kind = Symbol::Kind::kRecordType;
      break;
    case Decl::Kind::kVariable: {
      OraResult<Variable> made = MakeVariable(decl.type);
      if (!made.has_value()) return fail(made.error());
      Variable variable = std::move(*made);
      variable.type.not_null = variable.type.not_null || decl.not_null;
      variable.constant = decl.constant;
      if (decl.init) {
        OraResult<Value> value = Eval(*decl.init);
        if (!value.has_value()) return fail(value.error());
        if (variable.is_record) {
          return fail(CompileError(text_, decl.offset, "PLS-00382: expression is of wrong type"));
        }
        OraResult<Value> assigned = Assign(*value, variable.type, host_.date_format());
        if (!assigned.has_value()) return fail(assigned.error());
        variable.value = std::move(*assigned);
      }
      symbol.kind = Symbol::Kind::kVariable;
      symbol.variable = &scope.variables.emplace_back(std::move(variable));
      break;
    }
  }
  scope.symbols.emplace(decl.name, symbol);
  return {};
}

Outcome Interpreter::RunList(const StmtList& list) {
  for (const StmtPtr& stmt : list) {
    Outcome outcome = Run(*stmt);
    if (!outcome.has_value() || *outcome != Flow::kNormal) return outcome;
  }
  return Flow::kNormal;
}

Outcome Interpreter::Run(const Stmt& stmt) {
  if (++steps_ > host_.options().max_steps) {
    aborted_ = true;
    return std::unexpected(Raise(Ora(2393, "exceeded call limit on CPU usage"), stmt.offset));
  }
  Outcome outcome = RunStatement(stmt);
  if (!outcome.has_value() && !outcome.error().located) {
    outcome.error().offset = stmt.offset;
    outcome.error().located = true;
  }
  return outcome;
}

OraStatus Interpreter::AssignTo(const Expr& target, const Value& value) {
  Variable* variable = FindVariable(target.names);
  std::string name = target.names[0];
  for (std::size_t i = 1; i < target.names.size(); ++i) name += "." + target.names[i];
  if (variable == nullptr && name[0] == ':') return OraErr(Ora(1008, "not all variables bound"));
  if (variable == nullptr && package_failure_.has_value()) {
    // The package of PACKAGE.ITEM could not be elaborated: its error, stack and all.
    OraError error = package_failure_->error;
    call_failure_ = std::move(*package_failure_);
    package_failure_.reset();
    return OraErr(std::move(error));
  }
  if (variable == nullptr) {
    return OraErr(CompileError(text_, target.offset,
                               fmt::format("PLS-00201: identifier '{}' must be declared", name)));
  }
  if (variable->constant) {
    return OraErr(CompileError(
        text_, target.offset,
        fmt::format("PLS-00363: expression '{}' cannot be used as an assignment target", name)));
  }
  if (variable->is_record) {
    return OraErr(CompileError(text_, target.offset, "PLS-00382: expression is of wrong type"));
  }
  VK_ASSIGN_OR_ORA_RETURN(variable->value, Assign(value, variable->type, host_.date_format()));
  return {};
}

OraStatus Interpreter::AssignRow(const std::vector<ExprPtr>& targets,
                                 const std::vector<Value>& row) {
  if (targets.size() == 1 && row.size() != 1) {
    Variable* record = FindVariable(targets[0]->names);
    if (record != nullptr && record->is_record) {
      if (record->fields.size() != row.size()) {
        return OraErr(Ora(6504,
                          "PL/SQL: Return types of Result Set variables or query do not "
                          "match"));
      }
      for (std::size_t i = 0; i < row.size(); ++i) {
        VK_ASSIGN_OR_ORA_RETURN(record->fields[i].value,
                                Assign(row[i], record->fields[i].type, host_.date_format()));
      }
      return {};
    }
  }
  if (targets.size() != row.size()) {
    return OraErr(targets.size() < row.size() ? Ora(913, "too many values")
                                              : Ora(947, "not enough values"));
  }
  for (std::size_t i = 0; i < row.size(); ++i)
    VK_RETURN_IF_ORA_ERROR(AssignTo(*targets[i], row[i]));
  return {};
}

Outcome Interpreter::RunLoopBody(const Stmt& stmt, bool* stop) {
  *stop = false;
  Outcome outcome = RunList(stmt.body);
  if (!outcome.has_value()) return outcome;
  if (*outcome == Flow::kExit || *outcome == Flow::kContinue) {
    if (!flow_label_.empty() && flow_label_ != stmt.label) return outcome;
    flow_label_.clear();
    *stop = *outcome == Flow::kExit;
    return Flow::kNormal;
  }
  if (*outcome == Flow::kReturn) *stop = true;
  return outcome;
}

Outcome Interpreter::RunForRange(const Stmt& stmt) {
  auto bound = [&](const Expr& expr) -> OraResult<std::int64_t> {
    VK_ASSIGN_OR_ORA_RETURN(Value value, Eval(expr));
    PlType integer;
    integer.base = BaseType::kPlsInteger;
    integer.not_null = true;
    VK_ASSIGN_OR_ORA_RETURN(Value fitted, Assign(value, integer, host_.date_format()));
    return *fitted.number.ToInt64Exact();
  };
  OraResult<std::int64_t> low = bound(*stmt.low);
  if (!low.has_value()) return std::unexpected(Raise(low.error(), stmt.offset));
  OraResult<std::int64_t> high = bound(*stmt.high);
  if (!high.has_value()) return std::unexpected(Raise(high.error(), stmt.offset));
  scopes_.push_back(std::make_unique<Scope>());
  struct Pop {
    Interpreter* self;
    ~Pop() { self->scopes_.pop_back(); }
  } pop{this};
  Variable& counter = scopes_.back()->variables.emplace_back();
  counter.type.base = BaseType::kPlsInteger;
  counter.constant = true;
  Symbol symbol;
  symbol.variable = &counter;
  scopes_.back()->symbols.emplace(stmt.name, symbol);
  const std::int64_t last = stmt.reverse ? *low : *high;
  auto within = [&](std::int64_t turn) { return stmt.reverse ? turn >= last : turn <= last; };
  // After the first turn, a body that is one INSERT computed here may write its rows in groups
  // (insert_loops.cc); what it leaves runs here.
  NativeDml* grouped = nullptr;
  for (std::int64_t i = stmt.reverse ? *high : *low; within(i); stmt.reverse ? --i : ++i) {
    if (grouped != nullptr) {
      const std::int64_t next = RunGroupedInserts(*grouped, counter, i, last, stmt.reverse);
      if (next == i) grouped = nullptr;  // not even one row: the turns go as usual
      i = next;
      if (!within(i)) break;
    }
    counter.value = Value::Integer(i);
    bool stop = false;
    Outcome outcome = RunLoopBody(stmt, &stop);
    if (!outcome.has_value() || *outcome != Flow::kNormal || stop) return outcome;
    if (++steps_ > host_.options().max_steps) {
      aborted_ = true;
      return std::unexpected(Raise(Ora(2393, "exceeded call limit on CPU usage"), stmt.offset));
    }
    if (i == (stmt.reverse ? *high : *low)) grouped = GroupedInsertOf(stmt);
  }
  return Flow::kNormal;
}

Outcome Interpreter::RunStatement(const Stmt& stmt) {
  auto fail = [&](OraError error) -> Outcome {
    return std::unexpected(Raise(std::move(error), stmt.offset));
  };
  auto check = [&](OraStatus status) -> Outcome {
    if (!status.has_value()) return fail(status.error());
    return Flow::kNormal;
  };
  switch (stmt.kind) {
    case Stmt::Kind::kNull:
      return Flow::kNormal;
    case Stmt::Kind::kAssign: {
      if (stmt.target->names.size() == 1 && stmt.value->kind == ExprKind::kName) {
        Variable* target = FindVariable(stmt.target->names);
        Variable* source = FindVariable(stmt.value->names);
        if (target != nullptr && source != nullptr && target->is_record && source->is_record) {
          std::vector<ExprPtr> none;
          std::vector<Value> row;
          for (const Variable& field : source->fields) row.push_back(field.value);
          if (row.size() != target->fields.size()) {
            return fail(CompileError(text_, stmt.offset, "PLS-00382: expression is of wrong type"));
          }
          for (std::size_t i = 0; i < row.size(); ++i) {
            OraResult<Value> fitted = Assign(row[i], target->fields[i].type, host_.date_format());
            if (!fitted.has_value()) return fail(fitted.error());
            target->fields[i].value = std::move(*fitted);
          }
          return Flow::kNormal;
        }
      }
      OraResult<Value> value = Eval(*stmt.value);
      if (!value.has_value()) return fail(value.error());
      return check(AssignTo(*stmt.target, *value));
    }
    case Stmt::Kind::kIf: {
      for (std::size_t i = 0; i < stmt.conds.size(); ++i) {
        OraResult<std::optional<bool>> cond = EvalCondition(*stmt.conds[i]);
        if (!cond.has_value()) return fail(cond.error());
        if (cond->value_or(false)) return RunList(stmt.bodies[i]);
      }
      if (stmt.has_else) return RunList(stmt.else_body);
      return Flow::kNormal;
    }
    case Stmt::Kind::kCase: {
      std::optional<Value> selector;
      if (stmt.value) {
        OraResult<Value> value = Eval(*stmt.value);
        if (!value.has_value()) return fail(value.error());
        selector = std::move(*value);
      }
      for (std::size_t i = 0; i < stmt.conds.size(); ++i) {
        bool taken = false;
        if (selector) {
          OraResult<Value> when = Eval(*stmt.conds[i]);
          if (!when.has_value()) return fail(when.error());
          if (!selector->is_null() && !when->is_null()) {
            OraResult<int> order = CompareValues(*selector, *when, host_.date_format());
            if (!order.has_value()) return fail(order.error());
            taken = *order == 0;
          }
        } else {
          OraResult<std::optional<bool>> cond = EvalCondition(*stmt.conds[i]);
          if (!cond.has_value()) return fail(cond.error());
          taken = cond->value_or(false);
        }
        if (taken) return RunList(stmt.bodies[i]);
      }
      if (stmt.has_else) return RunList(stmt.else_body);
      return fail(Ora(6592, "CASE not found while executing CASE statement"));
    }
    case Stmt::Kind::kLoop:
    case Stmt::Kind::kWhile:
      while (true) {
        if (stmt.kind == Stmt::Kind::kWhile) {
          OraResult<std::optional<bool>> cond = EvalCondition(*stmt.value);
          if (!cond.has_value()) return fail(cond.error());
          if (!cond->value_or(false)) return Flow::kNormal;
        }
        bool stop = false;
        Outcome outcome = RunLoopBody(stmt, &stop);
        if (!outcome.has_value() || *outcome != Flow::kNormal || stop) return outcome;
        if (++steps_ > host_.options().max_steps) {
          aborted_ = true;
          return fail(Ora(2393, "exceeded call limit on CPU usage"));
        }
      }
    case Stmt::Kind::kForRange:
      return RunForRange(stmt);
    case Stmt::Kind::kForCursor:
      return RunForCursor(stmt);
    case Stmt::Kind::kExit: {
      if (stmt.value) {
        OraResult<std::optional<bool>> cond = EvalCondition(*stmt.value);
        if (!cond.has_value()) return fail(cond.error());
        if (!cond->value_or(false)) return Flow::kNormal;
      }
      flow_label_ = stmt.name;
      return stmt.op == "EXIT" ? Flow::kExit : Flow::kContinue;
    }
    case Stmt::Kind::kSql:
      return check(ExecuteSql(stmt));
    case Stmt::Kind::kSelectInto:
      return check(SelectInto(stmt));
    case Stmt::Kind::kExecute:
      return check(ExecuteImmediate(stmt));
    case Stmt::Kind::kOpen:
    case Stmt::Kind::kFetch:
    case Stmt::Kind::kClose: {
      CursorState* state = FindCursor(stmt.name);
      if (state == nullptr) {
        return fail(
            CompileError(text_, stmt.offset,
                         fmt::format("PLS-00201: identifier '{}' must be declared", stmt.name)));
      }
      if (stmt.kind == Stmt::Kind::kOpen) return check(OpenCursor(*state, stmt.args, stmt.offset));
      if (!state->open) return fail(Ora(1001, "invalid cursor"));
      if (stmt.kind == Stmt::Kind::kClose) {
        state->cursor->Close();
        state->open = false;
        return Flow::kNormal;
      }
      std::vector<Value> row;
      OraResult<bool> got = FetchCursor(*state, &row);
      if (!got.has_value()) return fail(got.error());
      if (*got) return check(AssignRow(stmt.into, row));
      return Flow::kNormal;
    }
    case Stmt::Kind::kRaise: {
      if (stmt.name.empty()) {
        if (handling_.empty()) {
          return fail(CompileError(text_, stmt.offset,
                                   "PLS-00367: a RAISE statement with no exception name must be "
                                   "inside an exception handler"));
        }
        RunError again = handling_.back();
        again.offset = stmt.offset;
        return std::unexpected(std::move(again));
      }
      Symbol* symbol = Find(stmt.name);
      if (symbol != nullptr && symbol->kind == Symbol::Kind::kException) {
        RunError error =
            Raise(symbol->code != 0 ? OraError{symbol->code, PredefinedMessage(symbol->code)}
                                    : Ora(6510, "PL/SQL: unhandled user-defined exception"),
                  stmt.offset);
        if (symbol->code == 0) error.user = symbol->decl;
        return std::unexpected(std::move(error));
      }
      std::string name = stmt.name.starts_with("STANDARD.") ? stmt.name.substr(9) : stmt.name;
      if (std::optional<int> code = PredefinedCode(name)) {
        return fail(OraError{*code, PredefinedMessage(*code)});
      }
      return fail(
          CompileError(text_, stmt.offset,
                       fmt::format("PLS-00201: identifier '{}' must be declared", stmt.name)));
    }
    case Stmt::Kind::kCall: {
      std::expected<void, RunError> called = CallProcedure(stmt);
      if (!called.has_value()) return std::unexpected(std::move(called).error());
      return Flow::kNormal;
    }
    case Stmt::Kind::kBlock: {
      Outcome outcome = RunBlock(*stmt.block);
      if (outcome.has_value() && (*outcome == Flow::kExit || *outcome == Flow::kContinue) &&
          !stmt.block->label.empty() && flow_label_ == stmt.block->label) {
        flow_label_.clear();
        return Flow::kNormal;
      }
      return outcome;
    }
    case Stmt::Kind::kReturn:
      if (stmt.value) {
        OraResult<Value> value = Eval(*stmt.value);
        if (!value.has_value()) return fail(value.error());
        if (return_type_ != nullptr) {
          value = Assign(*value, *return_type_, host_.date_format());
          if (!value.has_value()) return fail(value.error());
        }
        return_value_ = std::move(*value);
      }
      return Flow::kReturn;
  }
  return Flow::kNormal;
}

OraStatus RunBlock(Host& host, std::string_view text, std::span<const HostVariable> binds) {
  VK_ASSIGN_OR_ORA_RETURN(std::unique_ptr<Block> block, ParseBlock(text));
  StackBase base;
  Interpreter interpreter(host, text, binds);
  Outcome outcome = interpreter.RunTop(*block);
  if (outcome.has_value()) {
    interpreter.ReturnHostValues();
    return {};
  }
  const RunError& error = outcome.error();
  // A compilation error found while running (a name SQL did not know) has no line stack.
  if (error.error.code == 6550) {
    if (error.error.message.starts_with("ORA-06550: line ")) return OraErr(error.error);
    // A type error found while running: placed at the statement, as the compiler places it.
    return OraErr(CompileError(text, error.offset, error.error.message.substr(11)));
  }
  return OraErr(
      OraError{error.error.code, fmt::format("{}{}\nORA-06512: at line {}", error.error.message,
                                             error.stack, LineOf(text, error.offset))});
}

}  // namespace volmek::engine::plsql
