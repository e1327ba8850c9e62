// What the PL/SQL compiler checks before a block or a stored unit runs, beyond its syntax: that
// every procedure a statement calls exists, is a procedure, is valid and takes the arguments
// given. Names inside expressions and SQL are resolved as they run (see interpreter.h).
#include <fmt/format.h>

#include "engine/plsql/interpreter.h"
#include "engine/plsql/overloads.h"
#include "engine/plsql/parser.h"

namespace volmek::engine::plsql {
namespace {

struct Issue {
  std::size_t offset = 0;
  std::string text;
};

// What is wrong with `args` for the parameters of `subprogram` (positional ones first, then
// by name): the error and where; nullopt when they fit.
std::optional<Issue> ArgumentError(const Subprogram& subprogram, const Expr& call) {
  const std::vector<Param>& params = subprogram.params;
  Issue wrong{call.offset, fmt::format("PLS-00306: wrong number or types of arguments in call "
                                       "to '{}'",
                                       call.names.back())};
  std::vector<bool> given(params.size(), false);
  std::size_t position = 0;
  bool named = false;
  for (const ExprPtr& arg : call.args) {
    if (arg->arg_name.empty()) {
      if (named) {
        return Issue{arg->offset,
                     "PLS-00312: a positional parameter association may not follow a named "
                     "association"};
      }
      if (position >= params.size()) return wrong;
      given[position++] = true;
      continue;
    }
    named = true;
    std::size_t at = 0;
    while (at < params.size() && params[at].name != arg->arg_name) ++at;
    if (at == params.size() || given[at]) return wrong;
    given[at] = true;
  }
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (!given[i] && params[i].fallback == nullptr) return wrong;
  }
  return std::nullopt;
}

// Two declarations of one procedure or function with the same heading in `block`, other than
// a forward declaration and its body: PLS-00305 at the second one's name.
std::optional<Issue> RepeatedHeading(const Block& block, std::string_view text) {
  for (std::size_t i = 0; i < block.decls.size(); ++i) {
    const Decl& decl = block.decls[i];
    if (decl.kind != Decl::Kind::kSubprogram) continue;
    const Decl* first = nullptr;
    bool defined = false;  // an earlier one of the same heading has its body
    for (std::size_t j = 0; j < i; ++j) {
      const Decl& other = block.decls[j];
      if (other.kind != Decl::Kind::kSubprogram || other.name != decl.name ||
          !SameHeading(*other.subprogram, *decl.subprogram)) {
        continue;
      }
      if (first == nullptr) first = &other;
      defined = defined || other.subprogram->body != nullptr;
    }
    if (first == nullptr || (!defined && decl.subprogram->body != nullptr)) continue;
    return Issue{decl.subprogram->name_offset,
                 fmt::format("PLS-00305: previous use of '{}' (at line {}) conflicts with this use",
                             decl.name, LineOf(text, first->subprogram->name_offset))};
  }
  return std::nullopt;
}

// The subprograms `name` a package interface declares (overloads: several).
std::vector<const Subprogram*> SpecSubprograms(const PackageUnit& spec, const std::string& name) {
  std::vector<const Subprogram*> found;
  for (const Decl& decl : spec.block.decls) {
    if (decl.kind == Decl::Kind::kSubprogram && decl.name == name) {
      found.push_back(decl.subprogram.get());
    }
  }
  return found;
}

// The family of a column's type, as PL/SQL reads it (what is neither a number nor a date is
// character data).
TypeFamily FamilyOfColumn(const SqlType& type) {
  switch (type.kind) {
    case TypeKind::kNumber:
    case TypeKind::kFloat:
      return TypeFamily::kNumber;
    case TypeKind::kDate:
      return TypeFamily::kDate;
    default:
      return TypeFamily::kText;
  }
}

// A name a scope declares, and for a variable or a parameter the family of its type.
struct Declared {
  std::string name;
  std::optional<TypeFamily> family;  // nullopt: no variable (a cursor, an exception, a type)
};

class Checker : public FamilySource {
 public:
  Checker(Host& host, const Subprogram* self, std::string_view text)
      : host_(host), self_(self), text_(text) {}

  // A package body's own items: the interface's, in a scope around the body's.
  void EnterSpec(const PackageUnit& spec) {
    std::vector<const Subprogram*>& scope = scopes_.emplace_back();
    std::vector<Declared>& names = names_.emplace_back();
    for (const Decl& decl : spec.block.decls) {
      if (decl.kind == Decl::Kind::kSubprogram) AddSubprogram(scope, *decl.subprogram);
      if (decl.kind != Decl::Kind::kPragma) names.push_back(DeclaredBy(decl));
    }
  }

  void CheckBlock(const Block& block) {
    if (std::optional<Issue> repeated = RepeatedHeading(block, text_)) {
      issues.push_back(std::move(*repeated));
    }
    std::vector<const Subprogram*>& scope = scopes_.emplace_back();
    std::vector<Declared>& names = names_.emplace_back();
    for (const Decl& decl : block.decls) {
      if (decl.kind == Decl::Kind::kSubprogram) AddSubprogram(scope, *decl.subprogram);
      if (decl.kind != Decl::Kind::kPragma) names.push_back(DeclaredBy(decl));
    }
    for (const Decl& decl : block.decls) {
      if (decl.kind == Decl::Kind::kSubprogram && decl.subprogram->body != nullptr) {
        CheckSubprogram(*decl.subprogram);
      }
    }
    CheckList(block.body);
    for (const Handler& handler : block.handlers) CheckList(handler.body);
    scopes_.pop_back();
    names_.pop_back();
  }

  // The body of a procedure or function, its parameters in scope.
  void CheckSubprogram(const Subprogram& subprogram) {
    scopes_.emplace_back();
    std::vector<Declared>& names = names_.emplace_back();
    for (const Param& param : subprogram.params) {
      names.push_back(Declared{param.name, FamilyOfType(param.type)});
    }
    CheckBlock(*subprogram.body);
    scopes_.pop_back();
    names_.pop_back();
  }

  std::vector<Issue> issues;

 private:
  void CheckList(const StmtList& list) {
    for (const StmtPtr& stmt : list) Check(*stmt);
  }

  void Check(const Stmt& stmt) {
    if (stmt.kind == Stmt::Kind::kAssign) CheckTarget(stmt, *stmt.target);
    for (const StmtList& body : stmt.bodies) CheckList(body);
    CheckList(stmt.else_body);
    const bool loop_variable =
        stmt.kind == Stmt::Kind::kForRange || stmt.kind == Stmt::Kind::kForCursor;
    if (loop_variable) {
      names_.push_back(
          {Declared{stmt.name, stmt.kind == Stmt::Kind::kForRange ? TypeFamily::kNumber
                                                                  : TypeFamily::kRecord}});
    }
    CheckList(stmt.body);
    if (loop_variable) names_.pop_back();
    if (stmt.block) CheckBlock(*stmt.block);
    if (stmt.kind == Stmt::Kind::kCall) CheckCall(stmt);
  }

  // A forward declaration and its body are one subprogram: the body stands for both.
  static void AddSubprogram(std::vector<const Subprogram*>& scope, const Subprogram& subprogram) {
    for (const Subprogram*& known : scope) {
      if (known->name == subprogram.name && known->body == nullptr &&
          SameHeading(*known, subprogram)) {
        known = &subprogram;
        return;
      }
    }
    scope.push_back(&subprogram);
  }

  bool IsDeclared(const std::string& name) const { return FindDeclared(name) != nullptr; }

  // The innermost declaration of `name`; null when none.
  const Declared* FindDeclared(const std::string& name) const {
    for (auto scope = names_.rbegin(); scope != names_.rend(); ++scope) {
      for (const Declared& declared : *scope) {
        if (declared.name == name) return &declared;
      }
    }
    return nullptr;
  }

  Declared DeclaredBy(const Decl& decl) {
    Declared declared{decl.name, std::nullopt};
    if (decl.kind == Decl::Kind::kVariable) declared.family = FamilyOfType(decl.type);
    return declared;
  }

  // FamilySource: what is known of names before the block runs.
  std::optional<TypeFamily> VariableFamily(const std::vector<std::string>& names) override {
    if (const Declared* declared = FindDeclared(names[0])) {
      if (!declared->family.has_value()) return std::nullopt;
      // A record's field: of a type this does not follow.
      return names.size() == 1 ? *declared->family : TypeFamily::kUnknown;
    }
    if (names.size() == 2) {
      // PACKAGE.VARIABLE
      if (std::shared_ptr<const StoredPackage> package = host_.FindPackage({names[0]});
          package != nullptr && package->spec != nullptr) {
        for (const Decl& decl : package->spec->block.decls) {
          if (decl.kind == Decl::Kind::kVariable && decl.name == names[1]) {
            return FamilyOfType(decl.type);
          }
        }
      }
    }
    return std::nullopt;
  }

  std::vector<const Subprogram*> Subprograms(const std::vector<std::string>& names) override {
    std::vector<const Subprogram*> found;
    if (names.size() == 1) found = FindLocal(names[0]);
    if (found.empty() && self_ != nullptr && names.size() == 1 && names[0] == self_->name) {
      found.push_back(self_);
    }
    if (found.empty() && names.size() == 2) {
      if (names[0] == own_package) found = FindLocal(names[1]);
      std::shared_ptr<const StoredPackage> package = host_.FindPackage({names[0]});
      if (found.empty() && package != nullptr && package->spec != nullptr) {
        found = SpecSubprograms(*package->spec, names[1]);
      }
    }
    if (found.empty() && names.size() <= 2) {
      std::shared_ptr<const StoredUnit> unit = host_.FindUnit(names);
      if (unit != nullptr && unit->tree != nullptr) found.push_back(unit->tree.get());
    }
    return found;
  }

  // TABLE.COLUMN%TYPE only: what else a %TYPE names is followed when the block runs.
  TypeFamily FamilyOfPercentType(const TypeSpec& type) override {
    std::optional<TableInfo> table = host_.schema().FindTable(type.ref[type.ref.size() - 2]);
    if (!table.has_value()) return TypeFamily::kUnknown;
    for (const ColumnInfo& column : table->columns) {
      if (column.name == type.ref.back()) return FamilyOfColumn(column.type);
    }
    return TypeFamily::kUnknown;
  }

  // An assignment's target is a variable, a parameter or a record's field of this unit, or a
  // host variable of the caller (":NAME", bound or not only when the block runs).
  void CheckTarget(const Stmt& stmt, const Expr& target) {
    if (target.names.empty() || IsDeclared(target.names[0]) || target.names[0][0] == ':') return;
    if (target.names.size() >= 2) {
      // PACKAGE.VARIABLE[.FIELD]
      if (std::shared_ptr<const StoredPackage> package = host_.FindPackage({target.names[0]})) {
        if (package->spec == nullptr) {
          issues.push_back(Issue{target.offset, fmt::format("PLS-00905: object {}.{} is invalid",
                                                            package->owner, package->name)});
        } else {
          for (const Decl& decl : package->spec->block.decls) {
            if (decl.kind == Decl::Kind::kVariable && decl.name == target.names[1]) return;
          }
          issues.push_back(
              Issue{MemberOffset(text_, target.offset, 1),
                    fmt::format("PLS-00302: component '{}' must be declared", target.names[1])});
        }
        issues.push_back(Issue{stmt.offset, "PL/SQL: Statement ignored"});
        return;
      }
    }
    std::string dotted = target.names[0];
    for (std::size_t i = 1; i < target.names.size(); ++i) dotted += "." + target.names[i];
    issues.push_back(
        Issue{target.offset, fmt::format("PLS-00201: identifier '{}' must be declared", dotted)});
    issues.push_back(Issue{stmt.offset, "PL/SQL: Statement ignored"});
  }

  // The subprograms `name` of the innermost scope that declares that name.
  std::vector<const Subprogram*> FindLocal(const std::string& name) const {
    std::vector<const Subprogram*> found;
    for (auto scope = scopes_.rbegin(); scope != scopes_.rend() && found.empty(); ++scope) {
      for (const Subprogram* subprogram : *scope) {
        if (subprogram->name == name) found.push_back(subprogram);
      }
    }
    return found;
  }

  void CheckCall(const Stmt& stmt) {
    const Expr& call = *stmt.value;
    const std::vector<std::string>& names = call.names;
    if (IsSuppliedProcedure(names)) return;
    auto report = [&](std::string text) {
      issues.push_back(Issue{call.offset, std::move(text)});
      issues.push_back(Issue{stmt.offset, "PL/SQL: Statement ignored"});
    };
    std::string dotted = names[0];
    for (std::size_t i = 1; i < names.size(); ++i) dotted += "." + names[i];
    std::vector<const Subprogram*> targets;
    if (names.size() == 1 || (names.size() == 2 && names[0] == own_package)) {
      // Inside a package body, its own items are named alone or by the package's name.
      targets = FindLocal(names.back());
    }
    if (targets.empty() && self_ != nullptr && names.size() == 1 && names[0] == self_->name) {
      targets.push_back(self_);
    }
    if (targets.empty() && names.size() >= 2 && names.size() <= 3) {
      // PACKAGE.NAME or OWNER.PACKAGE.NAME
      std::vector<std::string> prefix(names.begin(), names.end() - 1);
      if (std::shared_ptr<const StoredPackage> package = host_.FindPackage(prefix)) {
        if (package->spec == nullptr) {
          return report(
              fmt::format("PLS-00905: object {}.{} is invalid", package->owner, package->name));
        }
        targets = SpecSubprograms(*package->spec, names.back());
        if (targets.empty()) {
          issues.push_back(
              Issue{MemberOffset(text_, call.offset, names.size() - 1),
                    fmt::format("PLS-00302: component '{}' must be declared", names.back())});
          issues.push_back(Issue{stmt.offset, "PL/SQL: Statement ignored"});
          return;
        }
      }
    }
    std::shared_ptr<const StoredUnit> unit;
    if (targets.empty() && names.size() <= 2) {
      unit = host_.FindUnit(names);
      if (unit != nullptr && unit->tree == nullptr) {
        return report(fmt::format("PLS-00905: object {}.{} is invalid", unit->owner, unit->name));
      }
      if (unit != nullptr) targets.push_back(unit->tree.get());
    }
    if (targets.empty()) {
      return report(fmt::format("PLS-00201: identifier '{}' must be declared", dotted));
    }
    // Of overloads, the one the arguments choose: none or several is an error now, as in
    // Oracle; what cannot be told before the call runs is left to then.
    const Subprogram* procedure = nullptr;
    std::size_t procedures = 0;
    for (const Subprogram* target : targets) {
      if (target->is_function) continue;
      if (procedure == nullptr) procedure = target;
      ++procedures;
    }
    if (procedures > 1) {
      std::string problem;
      if (ChooseOverload(targets, call, false, *this, &problem).has_value() ||
          problem.starts_with("PLS-00999")) {
        return;
      }
      return report(std::move(problem));
    }
    if (procedure == nullptr) {
      return report(
          fmt::format("PLS-00221: '{}' is not a procedure or is undefined", names.back()));
    }
    if (std::optional<Issue> wrong = ArgumentError(*procedure, call)) {
      if (wrong->text.starts_with("PLS-00312")) return issues.push_back(std::move(*wrong));
      return report(std::move(wrong->text));
    }
  }

 public:
  std::string own_package;  // the package whose body is compiled

 private:
  Host& host_;
  const Subprogram* self_;
  std::string_view text_;
  std::vector<std::vector<const Subprogram*>> scopes_;
  std::vector<std::vector<Declared>> names_;  // every name each scope declares
};

std::vector<CompileIssue> ToCompileIssues(std::string_view text, const std::vector<Issue>& issues) {
  std::vector<CompileIssue> out;
  for (const Issue& issue : issues) {
    CompileIssue converted;
    converted.line = LineOf(text, issue.offset);
    std::size_t line_start = text.rfind('\n', issue.offset == 0 ? 0 : issue.offset - 1);
    line_start = line_start == std::string_view::npos || issue.offset == 0 ? 0 : line_start + 1;
    converted.column = static_cast<int>(issue.offset - line_start) + 1;
    converted.text = issue.text;
    out.push_back(std::move(converted));
  }
  return out;
}

// The pairs of an ORA-06550 message: "ORA-06550: line L, column C:\n<text>" repeated.
std::vector<CompileIssue> SplitCompileError(const OraError& error) {
  std::vector<CompileIssue> out;
  constexpr std::string_view kHead = "ORA-06550: line ";
  std::string_view rest = error.message;
  if (!rest.starts_with(kHead)) {
    out.push_back(CompileIssue{1, 1, error.message});
    return out;
  }
  while (rest.starts_with(kHead)) {
    rest.remove_prefix(kHead.size());
    CompileIssue issue;
    std::size_t comma = rest.find(", column ");
    std::size_t colon = rest.find(":\n");
    if (comma == std::string_view::npos || colon == std::string_view::npos) break;
    issue.line = std::atoi(std::string(rest.substr(0, comma)).c_str());
    issue.column = std::atoi(std::string(rest.substr(comma + 9, colon - comma - 9)).c_str());
    rest.remove_prefix(colon + 2);
    std::size_t next = rest.find(std::string("\n") + std::string(kHead));
    issue.text = std::string(rest.substr(0, next));
    rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
    out.push_back(std::move(issue));
  }
  return out;
}

}  // namespace

OraStatus CheckBlock(Host& host, std::string_view text) {
  VK_ASSIGN_OR_ORA_RETURN(std::unique_ptr<Block> block, ParseBlock(text));
  Checker checker(host, nullptr, text);
  checker.CheckBlock(*block);
  if (checker.issues.empty()) return {};
  OraError error{6550, ""};
  for (const Issue& issue : checker.issues) {
    if (!error.message.empty()) error.message += "\n";
    error.message += CompileError(text, issue.offset, issue.text).message;
  }
  return OraErr(std::move(error));
}

std::expected<std::unique_ptr<Subprogram>, std::vector<CompileIssue>> CompileUnit(
    Host& host, std::string_view text) {
  OraResult<std::unique_ptr<Subprogram>> parsed = ParseUnit(text);
  if (!parsed.has_value()) return std::unexpected(SplitCompileError(parsed.error()));
  Checker checker(host, parsed->get(), text);
  checker.CheckSubprogram(**parsed);
  if (!checker.issues.empty()) return std::unexpected(ToCompileIssues(text, checker.issues));
  return std::move(*parsed);
}

namespace {

CompileIssue IssueAt(std::string_view text, std::size_t offset, std::string message) {
  std::vector<CompileIssue> converted = ToCompileIssues(text, {Issue{offset, std::move(message)}});
  return std::move(converted[0]);
}

}  // namespace

std::expected<std::unique_ptr<PackageUnit>, std::vector<CompileIssue>> CompilePackage(
    Host& host, std::string_view text, const PackageUnit* spec, std::string_view spec_text) {
  OraResult<std::unique_ptr<PackageUnit>> parsed = ParsePackage(text);
  if (!parsed.has_value()) return std::unexpected(SplitCompileError(parsed.error()));
  PackageUnit& unit = **parsed;
  if (!unit.is_body) {
    // What a interface declares is checked where the body defines it; only that no two
    // of its procedures and functions have the same heading is checked here.
    if (std::optional<Issue> repeated = RepeatedHeading(unit.block, text)) {
      return std::unexpected(ToCompileIssues(text, {*repeated}));
    }
    return std::move(*parsed);
  }
  if (spec == nullptr) {
    // Oracle stops there, at the body's name.
    std::vector<CompileIssue> issues = ToCompileIssues(
        text,
        {Issue{unit.name_offset,
               fmt::format("PLS-00201: identifier '{}' must be declared", unit.name)},
         Issue{unit.name_offset, fmt::format("PLS-00304: cannot compile body of '{}' without its "
                                             "specification",
                                             unit.name)}});
    issues.push_back(CompileIssue{0, 0, "PL/SQL: Compilation unit analysis terminated"});
    return std::unexpected(std::move(issues));
  }
  Checker checker(host, nullptr, text);
  checker.own_package = unit.name;
  checker.EnterSpec(*spec);
  checker.CheckBlock(unit.block);
  std::vector<CompileIssue> issues = ToCompileIssues(text, checker.issues);
  // Every subprogram of the interface has its definition in the body, with the same
  // heading; PLS-00323 is placed at the declaration's name in the interface.
  for (const Decl& declared : spec->block.decls) {
    if (declared.kind != Decl::Kind::kSubprogram) continue;
    bool defined = false;
    for (const Decl& decl : unit.block.decls) {
      defined = defined || (decl.kind == Decl::Kind::kSubprogram && decl.name == declared.name &&
                            decl.subprogram->body != nullptr &&
                            SameHeading(*declared.subprogram, *decl.subprogram));
    }
    if (!defined) {
      issues.push_back(IssueAt(spec_text, declared.subprogram->name_offset,
                               fmt::format("PLS-00323: subprogram or cursor '{}' is declared in a "
                                           "package specification and must be defined in the "
                                           "package body",
                                           declared.name)));
    }
  }
  if (!issues.empty()) return std::unexpected(std::move(issues));
  return std::move(*parsed);
}

FunctionCaller::FunctionCaller(Host& host, std::shared_ptr<const StoredUnit> unit)
    : unit_(std::move(unit)), interpreter_(std::make_unique<Interpreter>(host, unit_->text)) {
  interpreter_->SetUnit(unit_->Label(), 0);
}

FunctionCaller::~FunctionCaller() = default;

OraResult<Value> FunctionCaller::Call(std::vector<Value> args) {
  StackBase base;
  busy_ = true;
  std::vector<Argument> arguments;
  for (Value& value : args) {
    Variable variable;
    variable.value = std::move(value);
    arguments.emplace_back(std::move(variable));
  }
  arguments.resize(unit_->tree->params.size());
  interpreter_->StartCall();
  std::expected<Value, RunError> result = interpreter_->RunSubprogram(*unit_->tree, arguments, 0);
  busy_ = false;
  if (result.has_value()) return std::move(*result);
  const RunError& error = result.error();
  return OraErr(OraError{error.error.code, error.error.message + error.stack});
}

}  // namespace volmek::engine::plsql
