#include "engine/runtime/ddl_synonyms_comments.h"

#include <fmt/format.h>

#include "engine/catalog/dictionary.h"
#include "engine/runtime/connection.h"
#include "engine/syntax/ddl_parser.h"

namespace volmek::engine {
namespace {

constexpr std::uint16_t kCreateSynonym = 30;
constexpr std::uint16_t kDropSynonym = 31;
constexpr std::uint16_t kComment = 38;

OraError TableDoesNotExist() { return Ora(942, "table or view does not exist"); }
OraError NameInUse() { return Ora(955, "name is already used by an existing object"); }
OraError InvalidSynonymName() { return Ora(903, "invalid table name"); }

// [owner.]name; the owner is nullopt when not written.
struct QualifiedName {
  std::optional<std::string> owner;
  std::string name;
};

OraResult<QualifiedName> ReadQualified(DdlParser& parser, const OraError& error) {
  QualifiedName out;
  VK_ASSIGN_OR_ORA_RETURN(out.name, parser.Name(error));
  if (parser.AcceptSymbol(".")) {
    out.owner = std::move(out.name);
    VK_ASSIGN_OR_ORA_RETURN(out.name, parser.Name(error));
  }
  return out;
}

// The table or view of the user that a comment is for: ORA-00942 for anything else.
OraResult<ObjectRef> CommentedObject(EngineConnection& connection, const QualifiedName& table) {
  if (table.owner && *table.owner != connection.user()) return OraErr(TableDoesNotExist());
  VK_ASSIGN_OR_ORA_RETURN(auto found,
                          connection.catalog().FindObject(connection.user(), table.name));
  if (!found || (found->type != ObjectType::kTable && found->type != ObjectType::kView)) {
    return OraErr(TableDoesNotExist());
  }
  return std::move(*found);
}

}  // namespace

OraResult<DdlParse> CommentOn(EngineConnection& connection, DdlParser& parser) {
  VK_RETURN_IF_ORA_ERROR(parser.Expect("ON"));
  const bool column = parser.Accept("COLUMN");
  if (!column) VK_RETURN_IF_ORA_ERROR(parser.Expect("TABLE"));
  // COMMENT ON COLUMN [owner.]table.column; COMMENT ON TABLE [owner.]table.
  std::vector<std::string> parts;
  do {
    VK_ASSIGN_OR_ORA_RETURN(std::string part, parser.Name(TableDoesNotExist()));
    parts.push_back(std::move(part));
  } while (parts.size() < 3 && parser.AcceptSymbol("."));
  const std::size_t wanted_min = column ? 2 : 1;
  if (parts.size() < wanted_min || parts.size() > wanted_min + 1) {
    return OraErr(column ? Ora(904, "invalid identifier") : MissingKeyword());
  }
  QualifiedName table;
  std::string column_name;
  if (column) {
    column_name = parts.back();
    parts.pop_back();
  }
  table.name = parts.back();
  if (parts.size() == 2) table.owner = parts.front();
  VK_RETURN_IF_ORA_ERROR(parser.Expect("IS"));
  const Token& text = parser.Peek();
  if (text.kind != TokenKind::kString) return OraErr(1780, "string literal required");
  parser.Next();
  std::string value = text.Value();
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(ObjectRef object, CommentedObject(connection, table));
    if (column) {
      VK_ASSIGN_OR_ORA_RETURN(std::vector<CatalogColumn> columns,
                              connection.catalog().Columns(object.object_id));
      bool known = false;
      for (const CatalogColumn& candidate : columns) known |= candidate.info.name == column_name;
      if (!known) return OraErr(InvalidIdentifier(column_name));
    }
    // '' is NULL: the comment goes.
    std::optional<std::string> comment;
    if (!value.empty()) comment = value;
    return connection.catalog().SetComment(object.object_id, column_name, comment);
  }));
  return DdlParse{kComment, false};
}

OraResult<DdlParse> CreateSynonym(EngineConnection& connection, DdlParser& parser, bool replace,
                                  bool is_public) {
  VK_ASSIGN_OR_ORA_RETURN(QualifiedName synonym, ReadQualified(parser, InvalidSynonymName()));
  // A public synonym has no schema; a private one is made only in the user's own.
  if (synonym.owner && (is_public || *synonym.owner != connection.user())) {
    return OraErr(is_public ? Ora(933, "SQL command not properly ended")
                            : Ora(1031, "insufficient privileges"));
  }
  VK_RETURN_IF_ORA_ERROR(parser.Expect("FOR"));
  VK_ASSIGN_OR_ORA_RETURN(QualifiedName target, ReadQualified(parser, InvalidSynonymName()));
  if (parser.Peek().IsSymbol("@")) return OraErr(Ora(3001, "unimplemented feature"));
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  const std::string owner = is_public ? "PUBLIC" : connection.user();
  Catalog::SynonymTarget names{target.owner.value_or(connection.user()), target.name};
  if (names.owner == owner && names.name == synonym.name) {
    return OraErr(1471, "cannot create a synonym with same name as object");
  }
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    Catalog& catalog = connection.catalog();
    VK_ASSIGN_OR_ORA_RETURN(auto existing, catalog.FindObject(owner, synonym.name));
    // The dictionary views are public synonyms already.
    if (is_public && FindDictionaryView(synonym.name, owner)) return OraErr(NameInUse());
    if (existing) {
      if (existing->type != ObjectType::kSynonym || !replace) return OraErr(NameInUse());
      VK_RETURN_IF_ORA_ERROR(catalog.RemoveObject(existing->object_id));
    }
    VK_ASSIGN_OR_ORA_RETURN(std::int64_t id,
                            catalog.AddObject(owner, synonym.name, ObjectType::kSynonym, false));
    return catalog.AddSynonym(id, names);
  }));
  return DdlParse{kCreateSynonym, false};
}

OraResult<DdlParse> DropSynonym(EngineConnection& connection, DdlParser& parser, bool is_public) {
  VK_ASSIGN_OR_ORA_RETURN(QualifiedName synonym, ReadQualified(parser, InvalidSynonymName()));
  parser.Accept("FORCE");
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  const OraError missing = is_public ? Ora(1432, "public synonym to be dropped does not exist")
                                     : Ora(1434, "private synonym to be dropped does not exist");
  if (synonym.owner && (is_public || *synonym.owner != connection.user())) {
    return OraErr(missing);
  }
  const std::string owner = is_public ? "PUBLIC" : connection.user();
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(auto existing, connection.catalog().FindObject(owner, synonym.name));
    if (!existing || existing->type != ObjectType::kSynonym) return OraErr(missing);
    return connection.catalog().RemoveObject(existing->object_id);
  }));
  return DdlParse{kDropSynonym, false};
}

}  // namespace volmek::engine
