#include "engine/runtime/stored_units.h"

#include <fmt/format.h>

#include "engine/catalog/stored_code.h"
#include "engine/plsql/parser.h"
#include "engine/runtime/connection.h"
#include "engine/runtime/plsql_session.h"
#include "engine/syntax/lexer.h"

namespace volmek::engine {
namespace {

// Oracle's function codes of these statements.
constexpr std::uint16_t kCreateProcedure = 24;
constexpr std::uint16_t kDropProcedure = 68;
constexpr std::uint16_t kCreateFunction = 91;
constexpr std::uint16_t kDropFunction = 93;

// [OWNER.]NAME at `*at`: the name, after checking that the owner is the user.
OraResult<std::string> UnitName(const EngineConnection& connection,
                                const std::vector<Token>& tokens, std::size_t* at) {
  if (!tokens[*at].IsName()) return OraErr(Ora(900, "invalid SQL statement"));
  std::string name = tokens[(*at)++].Value();
  if (tokens[*at].IsSymbol(".") && tokens[*at + 1].IsName()) {
    if (name != connection.user()) return OraErr(Ora(1031, "insufficient privileges"));
    name = tokens[*at + 1].Value();
    *at += 2;
  }
  return name;
}

OraResult<std::uint16_t> Create(EngineConnection& connection, std::string_view sql,
                                const std::vector<Token>& tokens, std::size_t at, bool replace) {
  const bool function = tokens[at].IsKeyword("FUNCTION");
  const ObjectType type = function ? ObjectType::kFunction : ObjectType::kProcedure;
  // The source as USER_SOURCE keeps it: from the PROCEDURE or FUNCTION keyword on, without
  // the blanks after its last line.
  std::string_view source = sql.substr(tokens[at].offset);
  while (!source.empty() && (source.back() == ' ' || source.back() == '\n' ||
                             source.back() == '\r' || source.back() == '\t')) {
    source.remove_suffix(1);
  }
  ++at;
  VK_ASSIGN_OR_ORA_RETURN(std::string name, UnitName(connection, tokens, &at));
  bool compiled_clean = true;
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    Catalog& catalog = connection.catalog();
    VK_ASSIGN_OR_ORA_RETURN(std::optional<ObjectRef> existing,
                            catalog.FindObject(connection.user(), name));
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
    std::unique_ptr<plsql::Host> host = MakeSessionHost(connection);
    auto compiled = plsql::CompileUnit(*host, source);
    std::vector<CompilationError> errors;
    if (!compiled.has_value()) {
      for (const plsql::CompileIssue& issue : compiled.error()) {
        CompilationError error;
        error.line = issue.line;
        error.position = issue.column;
        error.text = issue.text;
        if (issue.text.starts_with("PLS-"))
          error.message_number = std::atoi(issue.text.c_str() + 4);
        errors.push_back(std::move(error));
      }
    }
    compiled_clean = errors.empty();
    return SaveStoredCode(catalog, object_id, source, errors);
  }));
  if (!compiled_clean) {
    return OraErr(Ora(kSuccessWithCompilationError, "success with compilation error"));
  }
  return function ? kCreateFunction : kCreateProcedure;
}

OraResult<std::uint16_t> Drop(EngineConnection& connection, const std::vector<Token>& tokens,
                              std::size_t at) {
  const bool function = tokens[at].IsKeyword("FUNCTION");
  const ObjectType type = function ? ObjectType::kFunction : ObjectType::kProcedure;
  ++at;
  VK_ASSIGN_OR_ORA_RETURN(std::string name, UnitName(connection, tokens, &at));
  if (tokens[at].IsSymbol(";")) return OraErr(Ora(911, "invalid character"));
  if (!tokens[at].IsEnd()) return OraErr(Ora(933, "SQL command not properly ended"));
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(std::optional<ObjectRef> existing,
                            connection.catalog().FindObject(connection.user(), name));
    if (!existing.has_value() || existing->type != type) {
      return OraErr(Ora(4043, fmt::format("object {} does not exist", name)));
    }
    return connection.catalog().RemoveObject(existing->object_id);
  }));
  return function ? kDropFunction : kDropProcedure;
}

}  // namespace

std::optional<OraResult<std::uint16_t>> StoredCodeDdl(EngineConnection& connection,
                                                      std::string_view sql) {
  std::vector<Token> tokens;
  std::size_t error_offset = 0;
  if (Tokenize(sql, &tokens, &error_offset).has_value()) {
    // What reads before the bad spot tells whether this is stored code (whose text is then
    // compiled, with that error).
    if (Tokenize(sql.substr(0, error_offset), &tokens).has_value()) return std::nullopt;
  }
  std::size_t at = 1;
  bool replace = false;
  if (tokens[0].IsKeyword("CREATE")) {
    if (tokens[at].IsKeyword("OR") && tokens[at + 1].IsKeyword("REPLACE")) {
      at += 2;
      replace = true;
    }
    if (!tokens[at].IsKeyword("PROCEDURE") && !tokens[at].IsKeyword("FUNCTION")) {
      return std::nullopt;
    }
    return Create(connection, sql, tokens, at, replace);
  }
  if (!tokens[at].IsKeyword("PROCEDURE") && !tokens[at].IsKeyword("FUNCTION")) {
    return std::nullopt;
  }
  return Drop(connection, tokens, at);
}

std::shared_ptr<const plsql::StoredUnit> FindStoredUnit(EngineConnection& connection,
                                                        const std::vector<std::string>& names) {
  if (names.empty() || names.size() > 2) return nullptr;
  const std::string owner = names.size() == 2 ? names[0] : connection.user();
  const std::string& name = names.back();
  std::string key = owner + "." + name;
  auto cached = connection.stored_units().find(key);
  if (cached != connection.stored_units().end()) return cached->second;
  std::shared_ptr<const plsql::StoredUnit> found;
  OraResult<std::optional<StoredCode>> code = LoadStoredCode(connection.catalog(), owner, name);
  if (code.has_value() && code->has_value()) {
    auto unit = std::make_shared<plsql::StoredUnit>();
    unit->owner = owner;
    unit->name = name;
    unit->text = std::move((*code)->source);
    if ((*code)->valid) {
      OraResult<std::unique_ptr<plsql::Subprogram>> tree = plsql::ParseUnit(unit->text);
      if (tree.has_value()) unit->tree = std::move(*tree);
    }
    found = std::move(unit);
  }
  connection.stored_units().emplace(key, found);
  return found;
}

}  // namespace volmek::engine
