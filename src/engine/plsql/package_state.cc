// Stored packages as a session runs them. Each package the session uses has an instance with
// an interpreter of its own: its first scope holds the items of the interface, its second
// those of the body, and procedures and functions of the body run there, so that they see both
// and keep their values from call to call and from block to block. Elaboration (the items'
// defaults, then the body's initialisation) happens at the first use of any item.
#include <fmt/format.h>

#include "engine/plsql/interpreter.h"
#include "engine/plsql/parser.h"

namespace volmek::engine::plsql {
namespace {

// A package that cannot run: the error, then ORA-06508 naming it.
RunError Unavailable(const StoredPackage& package, std::string first) {
  const std::string qualified = package.owner + "." + package.name;
  RunError error;
  error.error = Ora(std::atoi(first.c_str() + 4), first.substr(first.find(": ") + 2));
  error.error.message += fmt::format(
      "\nORA-06508: PL/SQL: could not find program unit being called: \"{}\"", qualified);
  error.located = false;
  return error;
}

}  // namespace

PackageInstance::PackageInstance(std::unique_ptr<Host> host,
                                 std::shared_ptr<const StoredPackage> package)
    : package_(std::move(package)),
      host_(std::move(host)),
      interpreter_(std::make_unique<Interpreter>(*host_, package_->spec_text)) {
  interpreter_->SetUnit(package_->Label(), 0);
  interpreter_->own_package_ = this;
}

PackageInstance::~PackageInstance() = default;

bool PackageInstance::HasState() const {
  for (const PackageUnit* unit : {package_->spec.get(), package_->body.get()}) {
    if (unit == nullptr) continue;
    for (const Decl& decl : unit->block.decls) {
      if ((decl.kind == Decl::Kind::kVariable && !decl.constant) ||
          decl.kind == Decl::Kind::kCursor) {
        return true;
      }
    }
  }
  return false;
}

std::expected<void, RunError> PackageInstance::Ready() {
  // Its own initialisation may use its items by their full names.
  if (ready_ || elaborating_) return {};
  const StoredPackage& package = *package_;
  const std::string qualified = package.owner + "." + package.name;
  if (discarded_) {
    // The state this session had of the package's earlier version is gone, and its first use
    // since says so once (the next one elaborates the new version).
    discarded_ = false;
    const bool body = package.spec != nullptr && package.has_body;
    const std::string what = fmt::format("{} \"{}\"", body ? "package body" : "package", qualified);
    return std::unexpected(Unavailable(
        package, fmt::format("ORA-04068: existing state of packages has been discarded\n"
                             "ORA-04061: existing state of {0} has been invalidated\n"
                             "ORA-04065: not executed, altered or dropped {0}",
                             what)));
  }
  if (package.spec == nullptr) {
    return std::unexpected(
        Unavailable(package, fmt::format("ORA-04063: package \"{}\" has errors", qualified)));
  }
  bool needs_body = false;
  for (const Decl& decl : package.spec->block.decls) {
    needs_body = needs_body || decl.kind == Decl::Kind::kSubprogram;
  }
  if (package.has_body && package.body == nullptr) {
    return std::unexpected(
        Unavailable(package, fmt::format("ORA-04063: package body \"{}\" has errors", qualified)));
  }
  if (needs_body && !package.has_body) {
    return std::unexpected(Unavailable(
        package,
        fmt::format("ORA-04067: not executed, package body \"{}\" does not exist", qualified)));
  }
  StackBase base;
  interpreter_->StartCall();
  elaborating_ = true;
  std::expected<void, RunError> done = interpreter_->Elaborate(package);
  elaborating_ = false;
  if (!done.has_value()) return done;
  ready_ = true;
  return {};
}

OraResult<Value> PackageInstance::CallFunction(const Subprogram& declared,
                                               std::vector<Value> args) {
  StackBase base;
  auto flatten = [](const RunError& error) {
    return OraErr(OraError{error.error.code, error.error.message + error.stack});
  };
  if (std::expected<void, RunError> ready = Ready(); !ready.has_value()) {
    return flatten(ready.error());
  }
  Symbol* symbol = interpreter_->DeclaredItem(declared);
  if (symbol == nullptr || symbol->subprogram == nullptr) {
    return OraErr(
        Ora(904, fmt::format("\"{}\".\"{}\": invalid identifier", package_->name, declared.name)));
  }
  std::vector<Argument> arguments;
  for (Value& value : args) {
    Variable variable;
    variable.value = std::move(value);
    arguments.emplace_back(std::move(variable));
  }
  arguments.resize(symbol->subprogram->params.size());
  interpreter_->StartCall();
  std::expected<Value, RunError> result =
      interpreter_->RunSubprogram(*symbol->subprogram, arguments, symbol->visible);
  if (result.has_value()) return std::move(*result);
  return flatten(result.error());
}

std::expected<void, RunError> Interpreter::Elaborate(const StoredPackage& package) {
  scopes_.clear();
  auto declare = [&](const PackageUnit& unit,
                     std::string_view text) -> std::expected<void, RunError> {
    text_ = text;
    scopes_.push_back(std::make_unique<Scope>());
    for (const Decl& decl : unit.block.decls) {
      std::expected<void, RunError> declared = Declare(decl);
      if (!declared.has_value()) {
        RunError error = std::move(declared).error();
        if (error.error.code != 6550) error.stack += StackLine(error.offset);
        error.located = false;
        scopes_.clear();
        return std::unexpected(std::move(error));
      }
    }
    return {};
  };
  if (auto done = declare(*package.spec, package.spec_text); !done.has_value()) return done;
  if (package.body == nullptr) return {};
  if (auto done = declare(*package.body, package.body_text); !done.has_value()) return done;
  // What the interface declares, the body defines.
  for (auto& [name, symbol] : scopes_[0]->symbols) {
    if (symbol.kind != Symbol::Kind::kSubprogram) continue;
    auto defined = scopes_[1]->symbols.find(name);
    if (defined == scopes_[1]->symbols.end() || defined->second.kind != Symbol::Kind::kSubprogram) {
      continue;
    }
    std::vector<Symbol*> definitions{&defined->second};
    for (Symbol& overload : defined->second.overloads) definitions.push_back(&overload);
    std::vector<Symbol*> declarations{&symbol};
    for (Symbol& overload : symbol.overloads) declarations.push_back(&overload);
    for (Symbol* declared : declarations) {
      for (const Symbol* definition : definitions) {
        if (definition->subprogram == nullptr ||
            !SameHeading(*declared->decl->subprogram, *definition->subprogram)) {
          continue;
        }
        declared->subprogram = definition->subprogram;
        declared->visible = definition->visible;
      }
    }
  }
  const Block& init = package.body->block;
  if (init.body.empty()) return {};
  Outcome outcome = RunList(init.body);
  if (!outcome.has_value() && !aborted_) {
    for (const Handler& handler : init.handlers) {
      if (!HandlerTakes(handler, outcome.error())) continue;
      RunError error = std::move(outcome).error();
      error.stack.clear();
      handling_.push_back(std::move(error));
      outcome = RunList(handler.body);
      handling_.pop_back();
      break;
    }
  }
  if (!outcome.has_value()) {
    RunError error = std::move(outcome).error();
    if (error.error.code != 6550) error.stack += StackLine(error.offset);
    error.located = false;
    scopes_.clear();
    return std::unexpected(std::move(error));
  }
  return {};
}

Symbol* Interpreter::PackageItem(const std::string& name, bool private_too) {
  // The body's first: of a procedure or function, it holds every definition, private
  // overloads too.
  for (std::size_t i = private_too ? 2 : 1; i-- > 0;) {
    if (i >= scopes_.size()) continue;
    auto found = scopes_[i]->symbols.find(name);
    if (found != scopes_[i]->symbols.end()) return &found->second;
  }
  return nullptr;
}

Symbol* Interpreter::DeclaredItem(const Subprogram& declared) {
  Symbol* symbol = PackageItem(declared.name, false);
  if (symbol == nullptr || symbol->kind != Symbol::Kind::kSubprogram) return nullptr;
  if (symbol->decl->subprogram.get() == &declared) return symbol;
  for (Symbol& overload : symbol->overloads) {
    if (overload.decl->subprogram.get() == &declared) return &overload;
  }
  return nullptr;
}

std::shared_ptr<PackageInstance> Interpreter::FindPackage(const std::vector<std::string>& names) {
  if (names.empty() || names.size() > 2) return nullptr;
  std::string key = Dotted(names);
  if (auto cached = packages_.find(key); cached != packages_.end()) {
    if (std::shared_ptr<PackageInstance> instance = cached->second.lock()) return instance;
  }
  std::shared_ptr<PackageInstance> instance = host_.PackageState(names);
  packages_[key] = instance;
  return instance;
}

std::optional<OraResult<Symbol*>> Interpreter::FindPackageItem(
    const std::vector<std::string>& package, const std::string& member) {
  std::shared_ptr<PackageInstance> instance = FindPackage(package);
  if (instance == nullptr) return std::nullopt;
  auto missing = [&]() {
    return OraResult<Symbol*>(
        OraErr(Ora(6550, fmt::format("PLS-00302: component '{}' must be declared", member))));
  };
  // What the interface does not declare is no item from outside, whatever the state of
  // the body (a compilation error, which comes before any elaboration).
  if (const PackageUnit* spec = instance->package().spec.get();
      spec != nullptr && instance.get() != own_package_) {
    bool declared = false;
    for (const Decl& decl : spec->block.decls) {
      declared = declared || (decl.kind != Decl::Kind::kPragma && decl.name == member);
    }
    if (!declared) return missing();
  }
  if (std::expected<void, RunError> ready = instance->Ready(); !ready.has_value()) {
    package_failure_ = std::move(ready).error();
    return OraResult<Symbol*>(OraErr(package_failure_->error));
  }
  Symbol* symbol = instance->interpreter().PackageItem(member, instance.get() == own_package_);
  if (symbol == nullptr) return missing();
  return OraResult<Symbol*>(symbol);
}

std::expected<Value, RunError> Interpreter::InvokePackaged(PackageInstance& instance,
                                                           const Subprogram& subprogram,
                                                           std::vector<Argument>& args) {
  if (std::expected<void, RunError> ready = instance.Ready(); !ready.has_value()) {
    return std::unexpected(std::move(ready).error());
  }
  Interpreter& nested = instance.interpreter();
  Symbol* symbol = nested.DeclaredItem(subprogram);
  if (symbol == nullptr || symbol->subprogram == nullptr) {
    return std::unexpected(
        Unavailable(instance.package(),
                    fmt::format("ORA-04067: not executed, package body \"{}.{}\" does not exist",
                                instance.package().owner, instance.package().name)));
  }
  if (&nested == this) return RunSubprogram(*symbol->subprogram, args, symbol->visible);
  if (call_depth_ + 1 >= kMaxCallDepth) {
    return std::unexpected(Raise(Ora(6500, "PL/SQL: storage error"), subprogram.offset));
  }
  const int outer_depth = nested.call_depth_;
  nested.call_depth_ = call_depth_ + 1;
  nested.steps_ = steps_;
  std::expected<Value, RunError> result =
      nested.RunSubprogram(*symbol->subprogram, args, symbol->visible);
  nested.call_depth_ = outer_depth;
  steps_ = nested.steps_;
  aborted_ = aborted_ || nested.aborted_;
  return result;
}

}  // namespace volmek::engine::plsql
