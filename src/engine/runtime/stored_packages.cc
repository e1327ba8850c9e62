#include "engine/runtime/stored_packages.h"

#include <fmt/format.h>

#include "engine/catalog/stored_code.h"
#include "engine/plsql/interpreter.h"
#include "engine/plsql/parser.h"
#include "engine/runtime/connection.h"
#include "engine/runtime/plsql_session.h"
#include "engine/runtime/stored_units.h"

namespace volmek::engine {
namespace {

// Oracle's function codes of these statements.
constexpr std::uint16_t kCreatePackage = 94;
constexpr std::uint16_t kAlterPackage = 95;
constexpr std::uint16_t kDropPackage = 96;
constexpr std::uint16_t kCreatePackageBody = 97;
constexpr std::uint16_t kDropPackageBody = 99;

// Keeps `source` as the code of `object_id` with the errors of its compilation: true when
// there were none.
OraResult<bool> Save(EngineConnection& connection, std::int64_t object_id, std::string_view source,
                     const std::vector<plsql::CompileIssue>& issues) {
  std::vector<CompilationError> errors;
  for (const plsql::CompileIssue& issue : issues) {
    CompilationError error;
    error.line = issue.line;
    error.position = issue.column;
    error.text = issue.text;
    if (issue.text.starts_with("PLS-")) error.message_number = std::atoi(issue.text.c_str() + 4);
    errors.push_back(std::move(error));
  }
  VK_RETURN_IF_ORA_ERROR(SaveStoredCode(connection.catalog(), object_id, source, errors));
  return errors.empty();
}

// The compiled interface of package `name` of the user, with its text; a null tree when
// there is none or it is INVALID.
struct Spec {
  std::string text;
  std::unique_ptr<plsql::PackageUnit> tree;
};

OraResult<Spec> LoadSpec(EngineConnection& connection, const std::string& name) {
  Spec spec;
  VK_ASSIGN_OR_ORA_RETURN(std::optional<ObjectRef> ref,
                          connection.catalog().FindObject(connection.user(), name));
  if (!ref.has_value() || ref->type != ObjectType::kPackage) return spec;
  VK_ASSIGN_OR_ORA_RETURN(std::optional<StoredCode> code, LoadCodeOf(connection.catalog(), *ref));
  if (!code.has_value() || !code->valid) return spec;
  spec.text = std::move(code->source);
  OraResult<std::unique_ptr<plsql::PackageUnit>> tree = plsql::ParsePackage(spec.text);
  if (tree.has_value()) spec.tree = std::move(*tree);
  return spec;
}

OraResult<bool> CompileBody(EngineConnection& connection, std::int64_t object_id,
                            const std::string& name, std::string_view source) {
  connection.stored_packages().clear();
  VK_ASSIGN_OR_ORA_RETURN(Spec spec, LoadSpec(connection, name));
  std::unique_ptr<plsql::Host> host = MakeSessionHost(connection);
  auto compiled = plsql::CompilePackage(*host, source, spec.tree.get(), spec.text);
  return Save(connection, object_id, source,
              compiled.has_value() ? std::vector<plsql::CompileIssue>() : compiled.error());
}

OraResult<bool> CompileSpec(EngineConnection& connection, std::int64_t object_id,
                            std::string_view source) {
  connection.stored_packages().clear();
  std::unique_ptr<plsql::Host> host = MakeSessionHost(connection);
  auto compiled = plsql::CompilePackage(*host, source, nullptr, {});
  return Save(connection, object_id, source,
              compiled.has_value() ? std::vector<plsql::CompileIssue>() : compiled.error());
}

OraResult<std::uint16_t> Create(EngineConnection& connection, std::string_view sql,
                                const std::vector<Token>& tokens, std::size_t at, bool replace) {
  // The source as USER_SOURCE keeps it: from the PACKAGE keyword on, without the blanks after
  // its last line.
  std::string_view source = sql.substr(tokens[at].offset);
  while (!source.empty() && (source.back() == ' ' || source.back() == '\n' ||
                             source.back() == '\r' || source.back() == '\t')) {
    source.remove_suffix(1);
  }
  ++at;
  const bool body = tokens[at].IsKeyword("BODY");
  if (body) ++at;
  VK_ASSIGN_OR_ORA_RETURN(std::string name, UnitName(connection, tokens, &at));
  bool clean = true;
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    Catalog& catalog = connection.catalog();
    const ObjectType type = body ? ObjectType::kPackageBody : ObjectType::kPackage;
    std::optional<ObjectRef> existing;
    if (body) {
      VK_ASSIGN_OR_ORA_RETURN(existing, catalog.FindPackageBody(connection.user(), name));
    } else {
      VK_ASSIGN_OR_ORA_RETURN(existing, catalog.FindObject(connection.user(), name));
    }
    std::int64_t object_id = 0;
    if (existing.has_value()) {
      if (!replace || existing->type != type) {
        return OraErr(Ora(955, "name is already used by an existing object"));
      }
      object_id = existing->object_id;
      VK_RETURN_IF_ORA_ERROR(catalog.TouchObject(object_id));
    } else {
      VK_ASSIGN_OR_ORA_RETURN(object_id, catalog.AddObject(connection.user(), name, type, false));
    }
    if (body) {
      VK_ASSIGN_OR_ORA_RETURN(clean, CompileBody(connection, object_id, name, source));
    } else {
      VK_ASSIGN_OR_ORA_RETURN(clean, CompileSpec(connection, object_id, source));
      // Its body is compiled again against the new interface.
      VK_RETURN_IF_ORA_ERROR(RecompilePackageBody(connection, name));
    }
    return RecompileDependents(connection, object_id);
  }));
  if (!clean) return OraErr(Ora(kSuccessWithCompilationError, "success with compilation error"));
  return body ? kCreatePackageBody : kCreatePackage;
}

// ALTER PACKAGE name COMPILE [PACKAGE | SPECIFICATION | BODY] [DEBUG] [REUSE SETTINGS].
OraResult<std::uint16_t> Recompile(EngineConnection& connection, const std::vector<Token>& tokens,
                                   std::size_t at) {
  ++at;
  VK_ASSIGN_OR_ORA_RETURN(std::string name, UnitName(connection, tokens, &at));
  if (!tokens[at].IsKeyword("COMPILE")) return OraErr(Ora(922, "missing or invalid option"));
  ++at;
  bool spec = true;
  bool body = true;
  if (tokens[at].IsKeyword("BODY")) {
    spec = false;
    ++at;
  } else if (tokens[at].IsKeyword("SPECIFICATION")) {
    body = false;
    ++at;
  } else if (tokens[at].IsKeyword("PACKAGE")) {
    ++at;
  }
  if (tokens[at].IsKeyword("DEBUG")) ++at;
  if (tokens[at].IsKeyword("REUSE") && tokens[at + 1].IsKeyword("SETTINGS")) at += 2;
  if (tokens[at].IsSymbol(";")) return OraErr(Ora(911, "invalid character"));
  if (!tokens[at].IsEnd()) return OraErr(Ora(922, "missing or invalid option"));
  bool clean = true;
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    Catalog& catalog = connection.catalog();
    VK_ASSIGN_OR_ORA_RETURN(std::optional<ObjectRef> ref,
                            catalog.FindObject(connection.user(), name));
    if (!ref.has_value() || ref->type != ObjectType::kPackage) {
      return OraErr(Ora(4043, fmt::format("object {} does not exist", name)));
    }
    VK_ASSIGN_OR_ORA_RETURN(std::optional<ObjectRef> body_ref,
                            catalog.FindPackageBody(connection.user(), name));
    if (!spec && !body_ref.has_value()) {
      return OraErr(Ora(4043, fmt::format("object {} does not exist", name)));
    }
    if (spec) {
      VK_ASSIGN_OR_ORA_RETURN(std::optional<StoredCode> code, LoadCodeOf(catalog, *ref));
      if (code.has_value()) {
        VK_RETURN_IF_ORA_ERROR(catalog.TouchObject(ref->object_id));
        VK_ASSIGN_OR_ORA_RETURN(clean, CompileSpec(connection, ref->object_id, code->source));
      }
    }
    if (body && body_ref.has_value()) {
      VK_ASSIGN_OR_ORA_RETURN(std::optional<StoredCode> code, LoadCodeOf(catalog, *body_ref));
      if (code.has_value()) {
        VK_RETURN_IF_ORA_ERROR(catalog.TouchObject(body_ref->object_id));
        VK_ASSIGN_OR_ORA_RETURN(bool body_clean,
                                CompileBody(connection, body_ref->object_id, name, code->source));
        clean = clean && body_clean;
      }
    }
    return {};
  }));
  if (!clean) return OraErr(Ora(kSuccessWithCompilationError, "success with compilation error"));
  return kAlterPackage;
}

OraResult<std::uint16_t> Drop(EngineConnection& connection, const std::vector<Token>& tokens,
                              std::size_t at) {
  ++at;
  const bool body = tokens[at].IsKeyword("BODY");
  if (body) ++at;
  VK_ASSIGN_OR_ORA_RETURN(std::string name, UnitName(connection, tokens, &at));
  if (tokens[at].IsSymbol(";")) return OraErr(Ora(911, "invalid character"));
  if (!tokens[at].IsEnd()) return OraErr(Ora(933, "SQL command not properly ended"));
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    Catalog& catalog = connection.catalog();
    VK_ASSIGN_OR_ORA_RETURN(std::optional<ObjectRef> spec,
                            catalog.FindObject(connection.user(), name));
    VK_ASSIGN_OR_ORA_RETURN(std::optional<ObjectRef> body_ref,
                            catalog.FindPackageBody(connection.user(), name));
    if (spec.has_value() && spec->type != ObjectType::kPackage) spec.reset();
    if (body ? !body_ref.has_value() : !spec.has_value()) {
      return OraErr(Ora(4043, fmt::format("object {} does not exist", name)));
    }
    std::int64_t changed = 0;
    if (body_ref.has_value()) {
      changed = body_ref->object_id;
      VK_RETURN_IF_ORA_ERROR(catalog.RemoveObject(body_ref->object_id));
    }
    if (!body) {
      changed = spec->object_id;
      VK_RETURN_IF_ORA_ERROR(catalog.RemoveObject(spec->object_id));
    }
    return RecompileDependents(connection, changed);
  }));
  return body ? kDropPackageBody : kDropPackage;
}

}  // namespace

OraResult<std::uint16_t> PackageDdl(EngineConnection& connection, std::string_view sql,
                                    const std::vector<Token>& tokens, std::size_t at,
                                    bool replace) {
  if (tokens[0].IsKeyword("CREATE")) return Create(connection, sql, tokens, at, replace);
  if (tokens[0].IsKeyword("ALTER")) return Recompile(connection, tokens, at);
  return Drop(connection, tokens, at);
}

OraStatus RecompilePackageBody(EngineConnection& connection, const std::string& name) {
  VK_ASSIGN_OR_ORA_RETURN(std::optional<ObjectRef> body_ref,
                          connection.catalog().FindPackageBody(connection.user(), name));
  if (!body_ref.has_value()) return {};
  VK_ASSIGN_OR_ORA_RETURN(std::optional<StoredCode> code,
                          LoadCodeOf(connection.catalog(), *body_ref));
  if (!code.has_value()) return {};
  VK_ASSIGN_OR_ORA_RETURN(bool clean,
                          CompileBody(connection, body_ref->object_id, name, code->source));
  (void)clean;
  return {};
}

std::shared_ptr<const plsql::StoredPackage> FindStoredPackage(
    EngineConnection& connection, const std::vector<std::string>& names) {
  if (names.empty() || names.size() > 2) return nullptr;
  const std::string owner = names.size() == 2 ? names[0] : connection.user();
  const std::string& name = names.back();
  const std::string key = owner + "." + name;
  auto cached = connection.stored_packages().find(key);
  if (cached != connection.stored_packages().end()) return cached->second;
  std::shared_ptr<plsql::StoredPackage> found;
  Catalog& catalog = connection.catalog();
  OraResult<std::optional<ObjectRef>> ref = catalog.FindObject(owner, name);
  if (ref.has_value() && ref->has_value() && (*ref)->type == ObjectType::kPackage) {
    OraResult<std::optional<StoredCode>> code = LoadCodeOf(catalog, **ref);
    if (code.has_value() && code->has_value()) {
      found = std::make_shared<plsql::StoredPackage>();
      found->owner = owner;
      found->name = name;
      found->spec_text = std::move((*code)->source);
      if ((*code)->valid) {
        auto tree = plsql::ParsePackage(found->spec_text);
        if (tree.has_value()) found->spec = std::move(*tree);
      }
      OraResult<std::optional<ObjectRef>> body_ref = catalog.FindPackageBody(owner, name);
      if (body_ref.has_value() && body_ref->has_value()) {
        OraResult<std::optional<StoredCode>> body = LoadCodeOf(catalog, **body_ref);
        if (body.has_value() && body->has_value()) {
          found->has_body = true;
          found->body_text = std::move((*body)->source);
          if ((*body)->valid) {
            auto tree = plsql::ParsePackage(found->body_text);
            if (tree.has_value()) found->body = std::move(*tree);
          }
        }
      }
    }
  }
  connection.stored_packages().emplace(key, found);
  return found;
}

std::shared_ptr<plsql::PackageInstance> PackageStateOf(EngineConnection& connection,
                                                       const std::vector<std::string>& names) {
  std::shared_ptr<const plsql::StoredPackage> stored = FindStoredPackage(connection, names);
  if (stored == nullptr) return nullptr;
  std::shared_ptr<plsql::PackageInstance>& state =
      connection.package_states()[stored->owner + "." + stored->name];
  bool discarded = false;
  if (state != nullptr) {
    const plsql::StoredPackage& old = state->package();
    if (old.spec_text == stored->spec_text && old.has_body == stored->has_body &&
        old.body_text == stored->body_text && (old.spec == nullptr) == (stored->spec == nullptr) &&
        (old.body == nullptr) == (stored->body == nullptr)) {
      return state;
    }
    discarded = state->ready() && state->HasState();
  }
  state = std::make_shared<plsql::PackageInstance>(MakeSessionHost(connection), stored);
  if (discarded) state->MarkDiscarded();
  return state;
}

}  // namespace volmek::engine
