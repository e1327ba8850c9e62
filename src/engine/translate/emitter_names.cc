// Emitter: resolving column names and ROWID in the scopes of a query.
#include "engine/translate/emitter_internal.h"

#include "engine/syntax/lexer.h"
#include "engine/values/collation.h"

namespace volmek::engine::emitter_internal {

OraResult<std::pair<std::size_t, std::size_t>> Emitter::FindInScope(const Expr& expr,
                                                                    const Scope& scope) {
  std::optional<std::pair<std::size_t, std::size_t>> found;
  for (std::size_t source_idx = 0; source_idx < scope.sources.size(); ++source_idx) {
    const Source& source = scope.sources[source_idx];
    if (!expr.qualifier2.empty()) {
      if (source.aliased || source.owner != expr.qualifier2 || source.table != expr.qualifier) {
        continue;
      }
    } else if (!expr.qualifier.empty() && source.name != expr.qualifier) {
      continue;
    }
    for (std::size_t column_idx = 0; column_idx < source.columns.size(); ++column_idx) {
      if (source.columns[column_idx].name != expr.name) continue;
      if (found.has_value()) return OraErr(918, "column ambiguously defined");
      found = std::make_pair(source_idx, column_idx);
    }
  }
  if (!found.has_value()) return OraErr(OraError{});
  return *found;
}

OraResult<std::optional<Out>> Emitter::FindJoined(const Expr& expr, const Scope& scope) {
  if (scope.joined.empty()) return std::optional<Out>();
  if (!expr.qualifier.empty()) {
    for (const JoinedColumn& joined : scope.joined) {
      if (joined.name != expr.name) continue;
      for (std::size_t source_idx : joined.sides) {
        const Source& source = scope.sources[source_idx];
        const bool named = expr.qualifier2.empty()
                               ? source.name == expr.qualifier
                               : !source.aliased && source.owner == expr.qualifier2 &&
                                     source.table == expr.qualifier;
        if (!named) continue;
        if (joined.join->natural) {
          return OraErr(25155, "column used in NATURAL join cannot have qualifier");
        }
        return OraErr(25154, "column part of USING clause cannot have qualifier");
      }
    }
    return std::optional<Out>();
  }
  const JoinedColumn* found = nullptr;
  for (auto joined = scope.joined.rbegin(); joined != scope.joined.rend(); ++joined) {
    if (joined->name == expr.name) {
      found = &*joined;
      break;
    }
  }
  if (found == nullptr) return std::optional<Out>();
  // The same name outside the join is ambiguous.
  for (const JoinedColumn& joined : scope.joined) {
    if (joined.name == expr.name && (joined.first < found->first || joined.end > found->end)) {
      return OraErr(918, "column ambiguously defined");
    }
  }
  for (std::size_t source_idx = 0; source_idx < scope.sources.size(); ++source_idx) {
    if (source_idx >= found->first && source_idx < found->end) continue;
    for (const ColumnInfo& column : scope.sources[source_idx].columns) {
      if (column.name == expr.name) return OraErr(918, "column ambiguously defined");
    }
  }
  Out out;
  out.sql = found->sql;
  out.type = found->type;
  out.stored = found->stored;
  return std::optional<Out>(std::move(out));
}

OraResult<Out> Emitter::Column(const Expr& expr, const Ctx& ctx) {
  const bool level = expr.name == "LEVEL" && expr.qualifier.empty();
  if (level && !ctx.level.empty()) {
    Out out;
    out.sql = std::string(ctx.level);
    out.type = Typed::Number();
    out.type.nullable = false;
    return out;
  }
  bool own_scope = true;
  for (const Scope* scope = ctx.scope; scope != nullptr; scope = scope->parent) {
    VK_ASSIGN_OR_ORA_RETURN(std::optional<Out> joined, FindJoined(expr, *scope));
    if (joined.has_value()) {
      joined->bare = own_scope;
      return std::move(*joined);
    }
    auto found = FindInScope(expr, *scope);
    if (found.has_value()) {
      const Source& source = scope->sources[found->first];
      const ColumnInfo& column = source.columns[found->second];
      Out out;
      out.sql = ColumnSql(source, column);
      out.type.type = column.type;
      out.type.nullable = column.nullable || source.outer;
      out.bare = own_scope;
      out.stored = source.stored;
      if (!own_scope && scope->only_group_keys && scope->group_keys != nullptr &&
          std::find(scope->group_keys->begin(), scope->group_keys->end(), out.sql) ==
              scope->group_keys->end()) {
        scope->named_ungrouped = true;
      }
      if (!own_scope && scope->grouping != nullptr) {
        for (const GroupingKey& key : *scope->grouping) {
          if (key.sql != out.sql) continue;
          out.sql = key.grouped;
          out.stored = false;
          out.type.nullable = true;
          break;
        }
      }
      return out;
    }
    if (!found.error().message.empty()) return OraErr(std::move(found.error()));
    own_scope = false;
  }
  std::string name;
  if (!expr.qualifier2.empty()) name += QuoteName(expr.qualifier2) + ".";
  if (!expr.qualifier.empty()) name += QuoteName(expr.qualifier) + ".";
  name += QuoteName(expr.name);
  if (level) return OraErr(1788, "CONNECT BY clause required in this query block");
  // A name that is no column may be a stored function called without arguments, or a
  // package's (PACKAGE.FUNCTION).
  if (expr.qualifier2.empty()) {
    const std::string function =
        expr.qualifier.empty() ? expr.name : expr.qualifier + "." + expr.name;
    if (std::optional<StoredFunctionInfo> stored = schema_.FindStoredFunction(function)) {
      if (stored->is_function) {
        ast::Expr call;
        call.kind = ExprKind::kFunction;
        call.name = expr.name;
        return StoredFunction(call, *stored, ctx);
      }
    }
  }
  return OraErr(InvalidIdentifier(name));
}

OraResult<Out> Emitter::Rowid(const Expr& expr, const Ctx& ctx) {
  for (const Scope* scope = ctx.scope; scope != nullptr; scope = scope->parent) {
    for (const Source& source : scope->sources) {
      if (!expr.qualifier.empty() && source.name != expr.qualifier) continue;
      if (!source.has_rowid) continue;
      Out out;
      out.sql = source.sql_alias + ".rowid";
      out.type = Typed::Rowid();
      return out;
    }
  }
  return OraErr(InvalidIdentifier("\"ROWID\""));
}

}  // namespace volmek::engine::emitter_internal
