#include "engine/runtime/stored_units.h"

#include <fmt/format.h>

#include "engine/catalog/stored_code.h"
#include "engine/plsql/interpreter.h"
#include "engine/plsql/parser.h"
#include "engine/runtime/connection.h"
#include "engine/runtime/plsql_session.h"
#include "engine/runtime/stored_packages.h"
#include "engine/syntax/lexer.h"
#include "engine/values/date.h"
#include "engine/values/number.h"

namespace volmek::engine {
namespace {

// Oracle's function codes of these statements.
constexpr std::uint16_t kCreateProcedure = 24;
constexpr std::uint16_t kAlterProcedure = 25;
constexpr std::uint16_t kAlterFunction = 92;
constexpr std::uint16_t kDropProcedure = 68;
constexpr std::uint16_t kCreateFunction = 91;
constexpr std::uint16_t kDropFunction = 93;

// Compiles `source` as the code of `object_id` and keeps it with its errors: true when it
// compiled without any.
OraResult<bool> Compile(EngineConnection& connection, std::int64_t object_id,
                        std::string_view source) {
  std::unique_ptr<plsql::Host> host = MakeSessionHost(connection);
  auto compiled = plsql::CompileUnit(*host, source);
  std::vector<CompilationError> errors;
  if (!compiled.has_value()) {
    for (const plsql::CompileIssue& issue : compiled.error()) {
      CompilationError error;
      error.line = issue.line;
      error.position = issue.column;
      error.text = issue.text;
      if (issue.text.starts_with("PLS-")) error.message_number = std::atoi(issue.text.c_str() + 4);
      errors.push_back(std::move(error));
    }
  }
  VK_RETURN_IF_ORA_ERROR(SaveStoredCode(connection.catalog(), object_id, source, errors));
  return errors.empty();
}

}  // namespace

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

OraStatus RecompileDependents(EngineConnection& connection, std::int64_t changed) {
  connection.stored_units().clear();
  connection.stored_packages().clear();
  VK_ASSIGN_OR_ORA_RETURN(std::vector<ObjectRef> objects,
                          connection.catalog().ObjectsOf(connection.user()));
  for (const ObjectRef& object : objects) {
    if (object.object_id != changed && object.type == ObjectType::kPackageBody) {
      VK_RETURN_IF_ORA_ERROR(RecompilePackageBody(connection, object.name));
      continue;
    }
    if (object.object_id == changed ||
        (object.type != ObjectType::kProcedure && object.type != ObjectType::kFunction)) {
      continue;
    }
    VK_ASSIGN_OR_ORA_RETURN(std::optional<StoredCode> code,
                            LoadStoredCode(connection.catalog(), object.owner, object.name));
    if (!code.has_value()) continue;
    VK_ASSIGN_OR_ORA_RETURN(bool clean, Compile(connection, object.object_id, code->source));
    if (clean != code->valid) connection.stored_units().clear();
  }
  return {};
}

namespace {

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
    VK_ASSIGN_OR_ORA_RETURN(compiled_clean, Compile(connection, object_id, source));
    return RecompileDependents(connection, object_id);
  }));
  if (!compiled_clean) {
    return OraErr(Ora(kSuccessWithCompilationError, "success with compilation error"));
  }
  return function ? kCreateFunction : kCreateProcedure;
}

// ALTER PROCEDURE|FUNCTION name COMPILE [DEBUG] [REUSE SETTINGS]: compiles the kept source
// again.
OraResult<std::uint16_t> Recompile(EngineConnection& connection, const std::vector<Token>& tokens,
                                   std::size_t at) {
  const bool function = tokens[at].IsKeyword("FUNCTION");
  const ObjectType type = function ? ObjectType::kFunction : ObjectType::kProcedure;
  ++at;
  VK_ASSIGN_OR_ORA_RETURN(std::string name, UnitName(connection, tokens, &at));
  if (!tokens[at].IsKeyword("COMPILE")) return OraErr(Ora(922, "missing or invalid option"));
  ++at;
  if (tokens[at].IsKeyword("DEBUG")) ++at;
  if (tokens[at].IsKeyword("REUSE") && tokens[at + 1].IsKeyword("SETTINGS")) at += 2;
  if (tokens[at].IsSymbol(";")) return OraErr(Ora(911, "invalid character"));
  if (!tokens[at].IsEnd()) return OraErr(Ora(922, "missing or invalid option"));
  bool compiled_clean = true;
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(std::optional<StoredCode> code,
                            LoadStoredCode(connection.catalog(), connection.user(), name));
    if (!code.has_value() || code->ref.type != type) {
      return OraErr(Ora(4043, fmt::format("object {} does not exist", name)));
    }
    VK_RETURN_IF_ORA_ERROR(connection.catalog().TouchObject(code->ref.object_id));
    VK_ASSIGN_OR_ORA_RETURN(compiled_clean, Compile(connection, code->ref.object_id, code->source));
    return {};
  }));
  if (!compiled_clean) {
    return OraErr(Ora(kSuccessWithCompilationError, "success with compilation error"));
  }
  return function ? kAlterFunction : kAlterProcedure;
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
    VK_RETURN_IF_ORA_ERROR(connection.catalog().RemoveObject(existing->object_id));
    return RecompileDependents(connection, existing->object_id);
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
    if (tokens[at].IsKeyword("PACKAGE")) return PackageDdl(connection, sql, tokens, at, replace);
    for (std::string_view kind : {"TRIGGER", "TYPE"}) {
      if (tokens[at].IsKeyword(kind)) {
        return OraResult<std::uint16_t>(
            OraErr(plsql::CompileError(sql, tokens[at].offset,
                                       "PLS-00999: implementation restriction (may be temporary) "
                                       "triggers and types")));
      }
    }
    if (!tokens[at].IsKeyword("PROCEDURE") && !tokens[at].IsKeyword("FUNCTION")) {
      return std::nullopt;
    }
    return Create(connection, sql, tokens, at, replace);
  }
  if (tokens[at].IsKeyword("PACKAGE") &&
      (tokens[0].IsKeyword("ALTER") || tokens[0].IsKeyword("DROP"))) {
    return PackageDdl(connection, sql, tokens, at, false);
  }
  if (!tokens[at].IsKeyword("PROCEDURE") && !tokens[at].IsKeyword("FUNCTION")) {
    return std::nullopt;
  }
  if (tokens[0].IsKeyword("ALTER")) return Recompile(connection, tokens, at);
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

namespace {

constexpr int kMaxSqlLevels = 50;

StoredFunctionInfo::Param ParamOf(const plsql::TypeSpec& spec) {
  StoredFunctionInfo::Param param;
  // %TYPE and %ROWTYPE parameters take what SQL gives them as text.
  if (spec.kind != plsql::TypeSpec::Kind::kBase) {
    param.known = false;
    return param;
  }
  switch (spec.base.base) {
    case plsql::BaseType::kNumber:
    case plsql::BaseType::kPlsInteger:
      param.kind = TypeKind::kNumber;
      break;
    case plsql::BaseType::kDate:
      param.kind = TypeKind::kDate;
      break;
    case plsql::BaseType::kChar:
      param.kind = TypeKind::kChar;
      break;
    case plsql::BaseType::kVarchar2:
      break;
    case plsql::BaseType::kBoolean:
      param.boolean = true;
      break;
  }
  return param;
}

void ResultError(sqlite3_context* context, std::string_view message) {
  sqlite3_result_error(context, message.data(), static_cast<int>(message.size()));
}

void SetResult(sqlite3_context* context, const OraResult<plsql::Value>& result);

// What SQL knows of `tree`: its parameters and its result.
void DescribeForSql(const plsql::Subprogram& tree, StoredFunctionInfo* info) {
  info->is_function = tree.is_function;
  for (const plsql::Param& param : tree.params) {
    StoredFunctionInfo::Param described = ParamOf(param.type);
    described.out = param.mode != plsql::Param::Mode::kIn;
    described.has_default = param.fallback != nullptr;
    info->params.push_back(described);
  }
  StoredFunctionInfo::Param result = ParamOf(tree.return_type);
  info->return_kind = result.kind;
  info->returns_boolean = result.boolean;
}

// The functions `name` a package's interface declares, in its order; the first procedure
// of that name when there is no such function; none when neither.
std::vector<const plsql::Subprogram*> PackageFunctions(const plsql::StoredPackage& package,
                                                       std::string_view name) {
  std::vector<const plsql::Subprogram*> functions;
  if (package.spec == nullptr) return functions;
  const plsql::Subprogram* procedure = nullptr;
  for (const plsql::Decl& decl : package.spec->block.decls) {
    if (decl.kind != plsql::Decl::Kind::kSubprogram || decl.name != name) continue;
    if (decl.subprogram->is_function) functions.push_back(decl.subprogram.get());
    if (procedure == nullptr) procedure = decl.subprogram.get();
  }
  if (functions.empty() && procedure != nullptr) functions.push_back(procedure);
  return functions;
}

// vk_call(owner, name, args...): NAME a stored function's, PACKAGE.NAME a package's,
// PACKAGE.NAME/K the Kth (from 0) of the package's functions of that name.
void CallFromSql(sqlite3_context* context, int argc, sqlite3_value** argv) {
  auto* connection = static_cast<EngineConnection*>(sqlite3_user_data(context));
  if (argc < 2) return ResultError(context, "ORA-00909: invalid number of arguments");
  auto text = [&](int index) {
    const unsigned char* chars = sqlite3_value_text(argv[index]);
    return chars == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char*>(chars),
                             static_cast<std::size_t>(sqlite3_value_bytes(argv[index])));
  };
  std::string owner = text(0);
  std::string name = text(1);
  std::size_t overload = 0;
  if (std::size_t slash = name.rfind('/'); slash != std::string::npos) {
    overload = static_cast<std::size_t>(std::atoi(name.c_str() + slash + 1));
    name.resize(slash);
  }
  if (connection->functions_in_sql() >= kMaxSqlLevels) {
    return ResultError(context, "ORA-00036: maximum number of recursive SQL levels (50) exceeded");
  }
  std::shared_ptr<const plsql::StoredUnit> unit;
  std::shared_ptr<plsql::PackageInstance> package;
  const plsql::Subprogram* tree = nullptr;
  if (std::size_t dot = name.find('.'); dot != std::string::npos) {
    package = PackageStateOf(*connection, {owner, name.substr(0, dot)});
    if (package != nullptr) {
      std::vector<const plsql::Subprogram*> functions =
          PackageFunctions(package->package(), name.substr(dot + 1));
      if (overload < functions.size()) tree = functions[overload];
    }
  } else {
    unit = FindStoredUnit(*connection, {owner, name});
    if (unit != nullptr) tree = unit->tree.get();
  }
  if (tree == nullptr || !tree->is_function) {
    return ResultError(
        context, fmt::format("ORA-06575: Package or function {} is in an invalid state", name));
  }
  std::vector<plsql::Value> args;
  for (int index = 2; index < argc; ++index) {
    sqlite3_value* value = argv[index];
    const std::size_t param = static_cast<std::size_t>(index - 2);
    StoredFunctionInfo::Param kind = param < tree->params.size() ? ParamOf(tree->params[param].type)
                                                                 : StoredFunctionInfo::Param();
    switch (sqlite3_value_type(value)) {
      case SQLITE_NULL:
        args.push_back(plsql::Value::Null());
        break;
      case SQLITE_INTEGER:
        args.push_back(plsql::Value::Integer(sqlite3_value_int64(value)));
        break;
      case SQLITE_FLOAT: {
        OraResult<Decimal> number = Decimal::FromDouble(sqlite3_value_double(value));
        if (!number.has_value()) return ResultError(context, number.error().message);
        args.push_back(plsql::Value::Number(*number));
        break;
      }
      default: {
        std::string given = text(index);
        if (kind.kind == TypeKind::kNumber) {
          OraResult<Decimal> number = Decimal::Parse(given);
          if (!number.has_value()) return ResultError(context, "ORA-01722: invalid number");
          args.push_back(plsql::Value::Number(*number));
        } else if (kind.kind == TypeKind::kDate) {
          std::optional<Date> date = ParseStoredText(given);
          args.push_back(date.has_value() ? plsql::Value::FromDate(*date)
                                          : plsql::Value::Text(std::move(given)));
        } else {
          args.push_back(plsql::Value::Text(std::move(given)));
        }
        break;
      }
    }
  }
  if (package != nullptr) {
    ++connection->functions_in_sql();
    OraResult<plsql::Value> result = package->CallFunction(*tree, std::move(args));
    --connection->functions_in_sql();
    return SetResult(context, result);
  }
  std::unique_ptr<plsql::Host>& host = connection->function_host();
  if (!host) host = MakeSessionHost(*connection);
  std::unique_ptr<plsql::FunctionCaller>& cached =
      connection->function_callers()[unit->owner + "." + unit->name];
  // A call through SQL inside a call of the same function runs on a caller of its own.
  std::unique_ptr<plsql::FunctionCaller> own;
  plsql::FunctionCaller* caller = cached.get();
  if (caller == nullptr || caller->busy()) {
    own = std::make_unique<plsql::FunctionCaller>(*host, unit);
    caller = own.get();
  }
  ++connection->functions_in_sql();
  OraResult<plsql::Value> result = caller->Call(std::move(args));
  --connection->functions_in_sql();
  if (own && !cached) cached = std::move(own);
  SetResult(context, result);
}

void SetResult(sqlite3_context* context, const OraResult<plsql::Value>& result) {
  if (!result.has_value()) return ResultError(context, result.error().message);
  const plsql::Value& value = *result;
  switch (value.kind) {
    case plsql::Value::Kind::kNull:
      return sqlite3_result_null(context);
    case plsql::Value::Kind::kNumber: {
      if (std::optional<std::int64_t> integer = value.number.ToInt64Exact()) {
        return sqlite3_result_int64(context, *integer);
      }
      std::string canonical = value.number.ToCanonical();
      return sqlite3_result_text(context, canonical.data(), static_cast<int>(canonical.size()),
                                 SQLITE_TRANSIENT);
    }
    case plsql::Value::Kind::kDate: {
      std::string stored = ToStoredText(value.date);
      return sqlite3_result_text(context, stored.data(), static_cast<int>(stored.size()),
                                 SQLITE_TRANSIENT);
    }
    case plsql::Value::Kind::kText:
      return sqlite3_result_text(context, value.text.data(), static_cast<int>(value.text.size()),
                                 SQLITE_TRANSIENT);
    case plsql::Value::Kind::kBool:
      break;
  }
  ResultError(context, "ORA-06553: PLS-382: expression is of wrong type");
}

}  // namespace

std::optional<StoredFunctionInfo> StoredFunctionForSql(EngineConnection& connection,
                                                       std::string_view name) {
  if (std::size_t dot = name.find('.'); dot != std::string_view::npos) {
    // PACKAGE.FUNCTION: public ones only.
    std::shared_ptr<const plsql::StoredPackage> package =
        FindStoredPackage(connection, {std::string(name.substr(0, dot))});
    if (package == nullptr) return std::nullopt;
    StoredFunctionInfo info;
    info.owner = connection.user();
    info.name = std::string(name);
    if (package->spec == nullptr || (package->has_body && package->body == nullptr)) {
      info.valid = false;
      return info;
    }
    // SQL calls functions only: a procedure of the same name is no overload for them.
    std::vector<const plsql::Subprogram*> functions =
        PackageFunctions(*package, name.substr(dot + 1));
    if (functions.empty()) return std::nullopt;
    DescribeForSql(*functions[0], &info);
    if (functions.size() == 1) return info;
    for (std::size_t i = 0; i < functions.size(); ++i) {
      StoredFunctionInfo overload;
      overload.owner = info.owner;
      overload.name = info.name;
      overload.overload = static_cast<int>(i);
      DescribeForSql(*functions[i], &overload);
      info.overloads.push_back(std::move(overload));
    }
    info.overload = 0;
    return info;
  }
  OraResult<std::optional<StoredCode>> code =
      LoadStoredCode(connection.catalog(), connection.user(), name);
  if (!code.has_value() || !code->has_value()) return std::nullopt;
  StoredFunctionInfo info;
  info.owner = connection.user();
  info.name = std::string(name);
  info.is_function = (*code)->ref.type == ObjectType::kFunction;
  std::shared_ptr<const plsql::StoredUnit> unit =
      FindStoredUnit(connection, {info.owner, info.name});
  if (unit == nullptr || unit->tree == nullptr) {
    info.valid = false;
    return info;
  }
  DescribeForSql(*unit->tree, &info);
  return info;
}

OraStatus RegisterStoredCalls(EngineConnection& connection) {
  int rc = sqlite3_create_function_v2(connection.db(), "vk_call", -1, SQLITE_UTF8, &connection,
                                      CallFromSql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return OraErr(Ora(600, "internal error code, arguments: [vk_call]"));
  return {};
}

}  // namespace volmek::engine
