#include "engine/runtime/ddl.h"

#include <fmt/format.h>

#include <algorithm>
#include <set>

#include "engine/catalog/accounts.h"
#include "engine/runtime/connection.h"
#include "engine/runtime/ddl_synonyms_comments.h"
#include "engine/runtime/ddl_tables.h"
#include "engine/syntax/ddl_parser.h"

namespace volmek::engine {
namespace {

constexpr std::uint16_t kDropView = 7;
constexpr std::uint16_t kDropTable = 8;
constexpr std::uint16_t kCreateView = 10;
constexpr std::uint16_t kDropUser = 11;
constexpr std::uint16_t kCreateSequence = 13;
constexpr std::uint16_t kAlterSequence = 14;
constexpr std::uint16_t kDropSequence = 16;
constexpr std::uint16_t kCreateUser = 19;
constexpr std::uint16_t kCreateIndex = 20;
constexpr std::uint16_t kDropIndex = 21;
constexpr std::uint16_t kAlterTable = 26;
constexpr std::uint16_t kGrant = 28;
constexpr std::uint16_t kRevoke = 29;
constexpr std::uint16_t kRename = 37;
constexpr std::uint16_t kAlterIndex = 41;
constexpr std::uint16_t kCreateTablespace = 49;
constexpr std::uint16_t kAlterTablespace = 50;
constexpr std::uint16_t kDropTablespace = 51;
constexpr std::uint16_t kAlterUser = 53;
constexpr std::uint16_t kAnalyzeTable = 62;
constexpr std::uint16_t kAnalyzeIndex = 63;
constexpr std::uint16_t kTruncateTable = 85;
constexpr std::uint16_t kPurgeUserRecyclebin = 197;
constexpr std::uint16_t kPurgeDbaRecyclebin = 198;
constexpr std::uint16_t kPurgeTablespace = 199;

OraError TableDoesNotExist() { return Ora(942, "table or view does not exist"); }
OraError NameInUse() { return Ora(955, "name is already used by an existing object"); }
OraError InvalidTableName() { return Ora(903, "invalid table name"); }
OraError InvalidIndexName() { return Ora(953, "missing or invalid index name"); }
OraError NoSuchIndex() { return Ora(1418, "specified index does not exist"); }
OraError NoSuchSequence() { return Ora(2289, "sequence does not exist"); }
OraError InsufficientPrivileges() { return Ora(1031, "insufficient privileges"); }
OraError InvalidSequenceName() { return Ora(2277, "invalid sequence name"); }
OraError InvalidUserName() { return Ora(1935, "missing user or role name"); }

// The first account of the database administers the others.
OraResult<bool> IsAdministrator(EngineConnection& connection) {
  VK_ASSIGN_OR_ORA_RETURN(std::vector<std::string> users, connection.catalog().UserNames());
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(connection.db(),
                               "SELECT name FROM vk_users ORDER BY user_id LIMIT 1"));
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  return row && stmt.ColumnText(0) == connection.user();
}

// The password of IDENTIFIED BY: as written (passwords are case-sensitive).
OraResult<std::string> Password(DdlParser& parser) {
  const Token& token = parser.Peek();
  if (token.kind == TokenKind::kQuotedIdentifier) {
    parser.Next();
    return token.Value();
  }
  if (token.kind != TokenKind::kIdentifier) return OraErr(988, "missing or invalid password(s)");
  parser.Next();
  return std::string(token.text);
}

// ---- CREATE / DROP TABLESPACE ----

OraResult<DdlParse> CreateTablespace(EngineConnection& connection, DdlParser& parser) {
  if (parser.AtEnd()) return OraErr(2216, "tablespace name expected");
  VK_ASSIGN_OR_ORA_RETURN(std::string name, parser.Name(Ora(2216, "tablespace name expected")));
  // DATAFILE, SIZE, EXTENT MANAGEMENT ... describe files this engine does not have.
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(bool exists, connection.catalog().TablespaceExists(name));
    if (exists) return OraErr(1543, fmt::format("tablespace '{}' already exists", name));
    return connection.catalog().AddTablespace(name);
  }));
  return DdlParse{kCreateTablespace, false};
}

OraResult<DdlParse> DropTablespace(EngineConnection& connection, DdlParser& parser) {
  if (parser.AtEnd()) return OraErr(2216, "tablespace name expected");
  VK_ASSIGN_OR_ORA_RETURN(std::string name, parser.Name(Ora(2216, "tablespace name expected")));
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(bool exists, connection.catalog().TablespaceExists(name));
    if (!exists) return OraErr(959, fmt::format("tablespace '{}' does not exist", name));
    if (name == "SYSTEM" || name == "USERS") {
      return OraErr(1549, "tablespace not empty, use INCLUDING CONTENTS option");
    }
    return connection.catalog().RemoveTablespace(name);
  }));
  return DdlParse{kDropTablespace, false};
}

// ---- users ----

OraResult<DdlParse> CreateUser(EngineConnection& connection, DdlParser& parser) {
  VK_ASSIGN_OR_ORA_RETURN(std::string name, parser.Name(InvalidUserName()));
  VK_RETURN_IF_ORA_ERROR(parser.Expect("IDENTIFIED"));
  VK_RETURN_IF_ORA_ERROR(parser.Expect("BY"));
  VK_ASSIGN_OR_ORA_RETURN(std::string password, Password(parser));
  std::string tablespace = "USERS";
  while (!parser.AtEnd()) {
    if (parser.Peek().IsKeyword("DEFAULT") || parser.Peek().IsKeyword("TEMPORARY")) {
      bool is_default = parser.Accept("DEFAULT");
      if (!is_default) parser.Accept("TEMPORARY");
      VK_RETURN_IF_ORA_ERROR(parser.Expect("TABLESPACE"));
      if (parser.AtEnd()) return OraErr(2216, "tablespace name expected");
      VK_ASSIGN_OR_ORA_RETURN(std::string space,
                              parser.Name(Ora(2216, "tablespace name expected")));
      if (is_default) tablespace = space;
    } else if (parser.Accept("QUOTA")) {
      if (!parser.Accept("UNLIMITED")) VK_RETURN_IF_ORA_ERROR(parser.Integer(true));
      VK_RETURN_IF_ORA_ERROR(parser.Expect("ON"));
      VK_RETURN_IF_ORA_ERROR(parser.Name(Ora(2216, "tablespace name expected")));
    } else if (parser.Accept("ACCOUNT")) {
      if (!parser.Accept("LOCK")) VK_RETURN_IF_ORA_ERROR(parser.Expect("UNLOCK"));
    } else {
      VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
    }
  }
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(bool admin, IsAdministrator(connection));
    if (!admin) return OraErr(InsufficientPrivileges());
    VK_ASSIGN_OR_ORA_RETURN(bool exists, connection.catalog().UserExists(name));
    if (exists) {
      return OraErr(1920,
                    fmt::format("user name '{}' conflicts with another user or role name", name));
    }
    VK_ASSIGN_OR_ORA_RETURN(bool space_exists, connection.catalog().TablespaceExists(tablespace));
    if (!space_exists)
      return OraErr(959, fmt::format("tablespace '{}' does not exist", tablespace));
    VK_ASSIGN_OR_ORA_RETURN(std::string hash, HashPassword(password));
    return connection.catalog().AddUser(name, hash, tablespace);
  }));
  return DdlParse{kCreateUser, false};
}

OraResult<DdlParse> AlterUser(EngineConnection& connection, DdlParser& parser) {
  VK_ASSIGN_OR_ORA_RETURN(std::string name, parser.Name(InvalidUserName()));
  VK_RETURN_IF_ORA_ERROR(parser.Expect("IDENTIFIED"));
  VK_RETURN_IF_ORA_ERROR(parser.Expect("BY"));
  VK_ASSIGN_OR_ORA_RETURN(std::string password, Password(parser));
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(bool exists, connection.catalog().UserExists(name));
    if (name != connection.user()) {
      VK_ASSIGN_OR_ORA_RETURN(bool admin, IsAdministrator(connection));
      if (!admin) return OraErr(InsufficientPrivileges());
    }
    if (!exists) return OraErr(1918, fmt::format("user '{}' does not exist", name));
    VK_ASSIGN_OR_ORA_RETURN(std::string hash, HashPassword(password));
    return connection.catalog().SetPasswordHash(name, hash);
  }));
  return DdlParse{kAlterUser, false};
}

OraResult<DdlParse> DropUser(EngineConnection& connection, DdlParser& parser) {
  VK_ASSIGN_OR_ORA_RETURN(std::string name, parser.Name(InvalidUserName()));
  bool cascade = parser.Accept("CASCADE");
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(bool admin, IsAdministrator(connection));
    if (!admin) return OraErr(InsufficientPrivileges());
    VK_ASSIGN_OR_ORA_RETURN(bool exists, connection.catalog().UserExists(name));
    if (!exists) return OraErr(1918, fmt::format("user '{}' does not exist", name));
    if (name == connection.user()) {
      return OraErr(1940, "cannot drop a user that is currently connected");
    }
    VK_ASSIGN_OR_ORA_RETURN(std::vector<ObjectRef> objects, connection.catalog().ObjectsOf(name));
    if (!objects.empty() && !cascade) {
      return OraErr(1922, fmt::format("CASCADE must be specified to drop '{}'", name));
    }
    for (const ObjectRef& object : objects) {
      if (object.type == ObjectType::kIndex) continue;
      VK_RETURN_IF_ORA_ERROR(DropObjectStorage(connection, object));
    }
    for (const ObjectRef& object : objects) {
      VK_RETURN_IF_ORA_ERROR(connection.catalog().RemoveObject(object.object_id));
    }
    return connection.catalog().RemoveUser(name);
  }));
  return DdlParse{kDropUser, false};
}

// ---- sequences ----

struct SequenceOptions {
  std::optional<std::string> increment, start, min, max;
  bool no_max = false, no_min = false;
  std::optional<bool> cycle, order;
  std::optional<std::int64_t> cache;
};

OraResult<SequenceOptions> ParseSequenceOptions(DdlParser& parser, bool for_alter) {
  SequenceOptions options;
  while (!parser.AtEnd()) {
    if (parser.Accept("INCREMENT")) {
      VK_RETURN_IF_ORA_ERROR(parser.Expect("BY"));
      VK_ASSIGN_OR_ORA_RETURN(options.increment, parser.IntegerText());
      if (*options.increment == "0") return OraErr(2208, "INCREMENT must be a nonzero integer");
    } else if (parser.Accept("START")) {
      if (for_alter) return OraErr(2283, "cannot alter starting sequence number");
      VK_RETURN_IF_ORA_ERROR(parser.Expect("WITH"));
      VK_ASSIGN_OR_ORA_RETURN(options.start, parser.IntegerText());
    } else if (parser.Accept("MAXVALUE")) {
      VK_ASSIGN_OR_ORA_RETURN(options.max, parser.IntegerText());
    } else if (parser.Accept("NOMAXVALUE")) {
      options.no_max = true;
    } else if (parser.Accept("MINVALUE")) {
      VK_ASSIGN_OR_ORA_RETURN(options.min, parser.IntegerText());
    } else if (parser.Accept("NOMINVALUE")) {
      options.no_min = true;
    } else if (parser.Accept("CYCLE")) {
      options.cycle = true;
    } else if (parser.Accept("NOCYCLE")) {
      options.cycle = false;
    } else if (parser.Accept("ORDER")) {
      options.order = true;
    } else if (parser.Accept("NOORDER")) {
      options.order = false;
    } else if (parser.Accept("CACHE")) {
      VK_ASSIGN_OR_ORA_RETURN(std::int64_t cache, parser.Integer());
      if (cache < 2) return OraErr(4010, "the number of values to CACHE must be greater than 1");
      options.cache = cache;
    } else if (parser.Accept("NOCACHE")) {
      options.cache = 0;
    } else {
      VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
    }
  }
  return options;
}

// Applies `options` to `sequence` and checks the result as Oracle does.
OraStatus ApplySequenceOptions(const SequenceOptions& options, SequenceInfo* sequence,
                               bool creating) {
  if (options.increment) sequence->increment_by = *options.increment;
  VK_ASSIGN_OR_ORA_RETURN(SeqValue increment, ParseSeqValue(sequence->increment_by));
  bool ascending = increment > 0;
  const std::string kAscMax = "999999999999999999999999999";
  const std::string kDescMin = "-99999999999999999999999999";
  if (options.max) {
    sequence->max_value = *options.max;
  } else if (creating || options.no_max) {
    sequence->max_value = ascending ? kAscMax : "-1";
  }
  if (options.min) {
    sequence->min_value = *options.min;
  } else if (creating || options.no_min) {
    sequence->min_value = ascending ? "1" : kDescMin;
  }
  if (options.cycle) sequence->cycle = *options.cycle;
  if (options.order) sequence->order = *options.order;
  if (options.cache) sequence->cache_size = *options.cache;
  VK_ASSIGN_OR_ORA_RETURN(SeqValue min, ParseSeqValue(sequence->min_value));
  VK_ASSIGN_OR_ORA_RETURN(SeqValue max, ParseSeqValue(sequence->max_value));
  if (min >= max) return OraErr(4004, "MINVALUE must be less than MAXVALUE");
  if (creating) {
    sequence->last_number =
        options.start ? *options.start : (ascending ? sequence->min_value : sequence->max_value);
  }
  VK_ASSIGN_OR_ORA_RETURN(SeqValue start, ParseSeqValue(sequence->last_number));
  if (creating && start < min) return OraErr(4006, "START WITH cannot be less than MINVALUE");
  if (creating && start > max) return OraErr(4008, "START WITH cannot be more than MAXVALUE");
  SeqValue span = max - min;
  SeqValue cache = std::max<std::int64_t>(sequence->cache_size, 1);
  if (sequence->cycle && cache * (increment > 0 ? increment : -increment) > span) {
    return OraErr(4013, "number to CACHE must be less than one cycle");
  }
  return {};
}

OraResult<DdlParse> CreateSequence(EngineConnection& connection, DdlParser& parser) {
  VK_ASSIGN_OR_ORA_RETURN(std::string name,
                          parser.ObjectName(InvalidSequenceName(), connection.user()));
  VK_ASSIGN_OR_ORA_RETURN(SequenceOptions options, ParseSequenceOptions(parser, false));
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(auto existing,
                            connection.catalog().FindObject(connection.user(), name));
    if (existing.has_value()) return OraErr(NameInUse());
    SequenceInfo sequence;
    sequence.increment_by = "1";
    VK_RETURN_IF_ORA_ERROR(ApplySequenceOptions(options, &sequence, true));
    VK_ASSIGN_OR_ORA_RETURN(
        sequence.ref.object_id,
        connection.catalog().AddObject(connection.user(), name, ObjectType::kSequence, false));
    connection.sequences().Forget(connection.user(), name);
    return connection.catalog().AddSequence(sequence);
  }));
  return DdlParse{kCreateSequence, false};
}

OraResult<DdlParse> AlterSequence(EngineConnection& connection, DdlParser& parser) {
  VK_ASSIGN_OR_ORA_RETURN(std::string name,
                          parser.ObjectName(InvalidSequenceName(), connection.user()));
  VK_ASSIGN_OR_ORA_RETURN(SequenceOptions options, ParseSequenceOptions(parser, true));
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_RETURN_IF_ORA_ERROR(connection.FlushSequences());
    VK_ASSIGN_OR_ORA_RETURN(auto sequence,
                            connection.catalog().FindSequence(connection.user(), name));
    if (!sequence.has_value()) return OraErr(NoSuchSequence());
    VK_RETURN_IF_ORA_ERROR(ApplySequenceOptions(options, &*sequence, false));
    connection.sequences().Forget(connection.user(), name);
    return connection.catalog().UpdateSequence(*sequence);
  }));
  return DdlParse{kAlterSequence, false};
}

OraResult<DdlParse> DropSequence(EngineConnection& connection, DdlParser& parser) {
  VK_ASSIGN_OR_ORA_RETURN(std::string name,
                          parser.ObjectName(InvalidSequenceName(), connection.user()));
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(auto sequence,
                            connection.catalog().FindSequence(connection.user(), name));
    if (!sequence.has_value()) return OraErr(NoSuchSequence());
    connection.sequences().Forget(connection.user(), name);
    return connection.catalog().RemoveObject(sequence->ref.object_id);
  }));
  return DdlParse{kDropSequence, false};
}

// ---- views ----

OraResult<DdlParse> CreateView(EngineConnection& connection, DdlParser& parser, bool replace) {
  VK_ASSIGN_OR_ORA_RETURN(std::string name,
                          parser.ObjectName(InvalidTableName(), connection.user()));
  std::vector<std::string> names;
  if (parser.Peek().IsSymbol("(")) {
    VK_ASSIGN_OR_ORA_RETURN(names, parser.NameList(Ora(904, "invalid identifier")));
  }
  VK_RETURN_IF_ORA_ERROR(parser.Expect("AS"));
  std::string query(parser.TextFrom(parser.position()));
  // WITH READ ONLY / WITH CHECK OPTION end the text; they are kept apart from it.
  std::string option;
  for (std::string_view tail : {"WITH READ ONLY", "WITH CHECK OPTION"}) {
    std::string upper = UpperAscii(query);
    std::size_t at = upper.rfind(tail);
    if (at != std::string::npos &&
        upper.find_first_not_of(" \t\r\n", at + tail.size()) == std::string::npos) {
      query.resize(at);
      option = tail.substr(5);
    }
  }
  while (!query.empty() && (query.back() == ' ' || query.back() == '\n' || query.back() == '\t' ||
                            query.back() == '\r')) {
    query.pop_back();
  }
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(auto existing,
                            connection.catalog().FindObject(connection.user(), name));
    if (existing.has_value()) {
      if (!replace || existing->type != ObjectType::kView) return OraErr(NameInUse());
    }
    TranslateOptions options;
    options.inline_literals = true;
    VK_ASSIGN_OR_ORA_RETURN(Translation translation,
                            Translate(query, connection.lookup(), options));
    VK_ASSIGN_OR_ORA_RETURN(std::vector<CatalogColumn> columns,
                            ColumnsOfQuery(translation, names, /*refuse_zero_length=*/false));
    if (existing.has_value()) {
      VK_RETURN_IF_ORA_ERROR(DropObjectStorage(connection, *existing));
      VK_RETURN_IF_ORA_ERROR(connection.catalog().RemoveObject(existing->object_id));
    }
    VK_ASSIGN_OR_ORA_RETURN(
        std::int64_t id,
        connection.catalog().AddObject(connection.user(), name, ObjectType::kView, false));
    std::string column_list;
    for (const CatalogColumn& column : columns) {
      if (!column_list.empty()) column_list += ", ";
      column_list += QuoteIdentifier(column.info.name);
    }
    VK_RETURN_IF_ORA_ERROR(ExecSql(connection.db(), fmt::format("CREATE VIEW {}({}) AS {}",
                                                                PhysicalName(ObjectType::kView, id),
                                                                column_list, translation.sql)));
    VK_RETURN_IF_ORA_ERROR(connection.catalog().SetColumns(id, columns));
    VK_RETURN_IF_ORA_ERROR(connection.catalog().AddView(id, query));
    if (option.empty()) return {};
    return connection.catalog().SetViewOption(id, option);
  }));
  return DdlParse{kCreateView, false};
}

OraResult<DdlParse> DropView(EngineConnection& connection, DdlParser& parser) {
  VK_ASSIGN_OR_ORA_RETURN(std::string name,
                          parser.ObjectName(InvalidTableName(), connection.user()));
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(auto existing,
                            connection.catalog().FindObject(connection.user(), name));
    if (!existing.has_value() || existing->type != ObjectType::kView) {
      return OraErr(TableDoesNotExist());
    }
    VK_RETURN_IF_ORA_ERROR(DropObjectStorage(connection, *existing));
    return connection.catalog().RemoveObject(existing->object_id);
  }));
  return DdlParse{kDropView, false};
}

// ---- indexes ----

OraResult<DdlParse> CreateIndex(EngineConnection& connection, DdlParser& parser, bool unique) {
  VK_ASSIGN_OR_ORA_RETURN(std::string name,
                          parser.ObjectName(InvalidIndexName(), connection.user()));
  VK_RETURN_IF_ORA_ERROR(parser.Expect("ON"));
  VK_ASSIGN_OR_ORA_RETURN(std::string table,
                          parser.ObjectName(InvalidTableName(), connection.user()));
  VK_RETURN_IF_ORA_ERROR(parser.ExpectSymbol("("));
  IndexSpec definition;
  definition.name = name;
  definition.unique = unique;
  do {
    VK_ASSIGN_OR_ORA_RETURN(std::string column, parser.Name(Ora(904, "invalid identifier")));
    bool descending = parser.Accept("DESC");
    if (!descending) parser.Accept("ASC");
    definition.columns.push_back(std::move(column));
    definition.descending.push_back(descending);
  } while (parser.AcceptSymbol(","));
  VK_RETURN_IF_ORA_ERROR(parser.ExpectSymbol(")"));
  VK_RETURN_IF_ORA_ERROR(parser.Physical(&definition.attributes));
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(auto table_ref,
                            connection.catalog().FindObject(connection.user(), table));
    if (!table_ref.has_value() || table_ref->type != ObjectType::kTable) {
      return OraErr(TableDoesNotExist());
    }
    return AddIndex(connection, *table_ref, definition);
  }));
  return DdlParse{kCreateIndex, false};
}

OraResult<DdlParse> DropIndex(EngineConnection& connection, DdlParser& parser) {
  VK_ASSIGN_OR_ORA_RETURN(std::string name,
                          parser.ObjectName(InvalidIndexName(), connection.user()));
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(auto index,
                            connection.catalog().FindObject(connection.user(), name, true));
    if (!index.has_value()) return OraErr(NoSuchIndex());
    VK_ASSIGN_OR_ORA_RETURN(auto info, FindIndex(connection, index->object_id));
    if (info.has_value() && !info->constraint_type.empty()) {
      return OraErr(2429, "cannot drop index used for enforcement of unique/primary key");
    }
    VK_RETURN_IF_ORA_ERROR(
        ExecSql(connection.db(),
                "DROP INDEX IF EXISTS " + PhysicalName(ObjectType::kIndex, index->object_id)));
    return connection.catalog().RemoveObject(index->object_id);
  }));
  return DdlParse{kDropIndex, false};
}

// ---- RENAME, TRUNCATE ----

OraResult<DdlParse> Rename(EngineConnection& connection, DdlParser& parser) {
  VK_ASSIGN_OR_ORA_RETURN(std::string from, parser.Name(InvalidTableName()));
  VK_RETURN_IF_ORA_ERROR(parser.Expect("TO"));
  VK_ASSIGN_OR_ORA_RETURN(std::string to, parser.Name(InvalidTableName()));
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  VK_RETURN_IF_ORA_ERROR(
      connection.RunDdl([&]() -> OraStatus { return RenameObject(connection, from, to); }));
  return DdlParse{kRename, false};
}

OraResult<DdlParse> Truncate(EngineConnection& connection, DdlParser& parser) {
  VK_RETURN_IF_ORA_ERROR(parser.Expect("TABLE"));
  VK_ASSIGN_OR_ORA_RETURN(std::string name,
                          parser.ObjectName(InvalidTableName(), connection.user()));
  if (parser.Accept("DROP") || parser.Accept("REUSE")) {
    VK_RETURN_IF_ORA_ERROR(parser.Expect("STORAGE"));
  }
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(auto table, connection.catalog().FindObject(connection.user(), name));
    if (!table.has_value() || table->type != ObjectType::kTable) {
      return OraErr(TableDoesNotExist());
    }
    VK_RETURN_IF_ORA_ERROR(ExecSql(
        connection.db(), "DELETE FROM " + PhysicalName(ObjectType::kTable, table->object_id)));
    return connection.catalog().TouchObject(table->object_id);
  }));
  return DdlParse{kTruncateTable, false};
}

// ---- ANALYZE ----

struct AnalyzeSpec {
  bool index = false;
  std::string name;
  bool delete_statistics = false;
};

OraResult<AnalyzeSpec> ParseAnalyze(EngineConnection& connection, DdlParser& parser) {
  AnalyzeSpec definition;
  if (parser.Accept("INDEX")) {
    definition.index = true;
    VK_ASSIGN_OR_ORA_RETURN(definition.name,
                            parser.ObjectName(InvalidIndexName(), connection.user()));
  } else {
    VK_RETURN_IF_ORA_ERROR(parser.Expect("TABLE"));
    VK_ASSIGN_OR_ORA_RETURN(definition.name,
                            parser.ObjectName(InvalidTableName(), connection.user()));
  }
  if (parser.Accept("COMPUTE")) {
    VK_RETURN_IF_ORA_ERROR(parser.Expect("STATISTICS"));
  } else if (parser.Accept("ESTIMATE")) {
    VK_RETURN_IF_ORA_ERROR(parser.Expect("STATISTICS"));
    if (parser.Accept("SAMPLE")) {
      VK_RETURN_IF_ORA_ERROR(parser.Integer());
      if (!parser.Accept("ROWS")) VK_RETURN_IF_ORA_ERROR(parser.Expect("PERCENT"));
    }
  } else if (parser.Accept("DELETE")) {
    VK_RETURN_IF_ORA_ERROR(parser.Expect("STATISTICS"));
    definition.delete_statistics = true;
  } else if (parser.Accept("VALIDATE")) {
    VK_RETURN_IF_ORA_ERROR(parser.Expect("STRUCTURE"));
    parser.Accept("CASCADE");
  } else {
    return OraErr(MissingKeyword());
  }
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  return definition;
}

OraStatus RunAnalyze(EngineConnection& connection, const AnalyzeSpec& definition) {
  return connection.RunDdl([&]() -> OraStatus {
    if (definition.index) {
      VK_ASSIGN_OR_ORA_RETURN(
          auto index, connection.catalog().FindObject(connection.user(), definition.name, true));
      if (!index.has_value()) return OraErr(NoSuchIndex());
      return AnalyzeIndex(connection, index->object_id, definition.delete_statistics);
    }
    VK_ASSIGN_OR_ORA_RETURN(auto table,
                            connection.catalog().FindObject(connection.user(), definition.name));
    if (!table.has_value() || table->type != ObjectType::kTable) {
      return OraErr(TableDoesNotExist());
    }
    return AnalyzeTable(connection, *table, definition.delete_statistics);
  });
}

// ---- statements accepted without effect ----

OraResult<DdlParse> SkipToEnd(DdlParser& parser, std::uint16_t function_type,
                              EngineConnection& connection) {
  while (!parser.AtEnd()) {
    if (parser.Peek().IsSymbol(";")) return OraErr(911, "invalid character");
    parser.Next();
  }
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([]() -> OraStatus { return {}; }));
  return DdlParse{function_type, false};
}

// PURGE. A dropped table or index goes at once here, never to a recycle bin, so the bins are
// always empty: purging one does nothing, and a table or an index named in one is not there.
OraResult<DdlParse> Purge(EngineConnection& connection, DdlParser& parser) {
  if (parser.Accept("TABLE") || parser.Accept("INDEX")) {
    // The name may be the object's original name or its name in the bin ("BIN$..."), quoted.
    if (parser.AtEnd()) return OraErr(MissingKeyword());
    parser.Next();
    return OraErr(38307, "object not in RECYCLE BIN");
  }
  std::uint16_t type = kPurgeUserRecyclebin;
  if (parser.Accept("DBA_RECYCLEBIN")) {
    VK_ASSIGN_OR_ORA_RETURN(bool admin, IsAdministrator(connection));
    if (!admin) return OraErr(InsufficientPrivileges());
    type = kPurgeDbaRecyclebin;
  } else if (parser.Accept("TABLESPACE")) {
    return SkipToEnd(parser, kPurgeTablespace, connection);
  } else if (!parser.Accept("RECYCLEBIN") && !parser.Accept("USER_RECYCLEBIN")) {
    return OraErr(38302, "invalid PURGE option");
  }
  return SkipToEnd(parser, type, connection);
}

}  // namespace

bool IsDdlVerb(std::string_view upper_word) {
  return upper_word == "CREATE" || upper_word == "DROP" || upper_word == "ALTER" ||
         upper_word == "TRUNCATE" || upper_word == "RENAME" || upper_word == "ANALYZE" ||
         upper_word == "GRANT" || upper_word == "REVOKE" || upper_word == "COMMENT" ||
         upper_word == "PURGE";
}

OraResult<DdlParse> ParseDdl(EngineConnection& connection, std::string_view sql) {
  DdlParser parser(sql);
  VK_RETURN_IF_ORA_ERROR(parser.Tokenize());
  if (parser.Accept("CREATE")) {
    bool replace = false;
    if (parser.Accept("OR")) {
      VK_RETURN_IF_ORA_ERROR(parser.Expect("REPLACE"));
      replace = true;
    }
    if (parser.Accept("FORCE") || parser.Accept("NOFORCE")) {
      VK_RETURN_IF_ORA_ERROR(parser.Expect("VIEW"));
      return CreateView(connection, parser, replace);
    }
    if (parser.Accept("VIEW")) return CreateView(connection, parser, replace);
    if (parser.Accept("PUBLIC")) {
      VK_RETURN_IF_ORA_ERROR(parser.Expect("SYNONYM"));
      return CreateSynonym(connection, parser, replace, true);
    }
    if (parser.Accept("SYNONYM")) return CreateSynonym(connection, parser, replace, false);
    if (replace) return OraErr(922, "missing or invalid option");
    if (parser.Accept("TABLE")) {
      VK_ASSIGN_OR_ORA_RETURN(std::uint16_t type, CreateTable(connection, parser));
      return DdlParse{type, false};
    }
    if (parser.Accept("UNIQUE")) {
      if (!parser.Accept("INDEX")) return OraErr(MissingKeyword());
      return CreateIndex(connection, parser, true);
    }
    if (parser.Accept("INDEX")) return CreateIndex(connection, parser, false);
    if (parser.Accept("SEQUENCE")) return CreateSequence(connection, parser);
    if (parser.Accept("TABLESPACE")) return CreateTablespace(connection, parser);
    if (parser.Accept("USER")) return CreateUser(connection, parser);
    return OraErr(901, "invalid CREATE command");
  }
  if (parser.Accept("DROP")) {
    if (parser.Accept("TABLE")) {
      VK_ASSIGN_OR_ORA_RETURN(std::uint16_t type, DropTable(connection, parser));
      (void)type;
      return DdlParse{kDropTable, false};
    }
    if (parser.Accept("INDEX")) return DropIndex(connection, parser);
    if (parser.Accept("VIEW")) return DropView(connection, parser);
    if (parser.Accept("SEQUENCE")) return DropSequence(connection, parser);
    if (parser.Accept("TABLESPACE")) return DropTablespace(connection, parser);
    if (parser.Accept("USER")) return DropUser(connection, parser);
    if (parser.Accept("PUBLIC")) {
      VK_RETURN_IF_ORA_ERROR(parser.Expect("SYNONYM"));
      return DropSynonym(connection, parser, true);
    }
    if (parser.Accept("SYNONYM")) return DropSynonym(connection, parser, false);
    return OraErr(950, "invalid DROP option");
  }
  if (parser.Accept("ALTER")) {
    if (parser.Accept("TABLE")) {
      VK_ASSIGN_OR_ORA_RETURN(std::uint16_t type, AlterTable(connection, parser));
      (void)type;
      return DdlParse{kAlterTable, false};
    }
    if (parser.Accept("SEQUENCE")) return AlterSequence(connection, parser);
    if (parser.Accept("USER")) return AlterUser(connection, parser);
    if (parser.Accept("INDEX")) {
      VK_ASSIGN_OR_ORA_RETURN(std::string name,
                              parser.ObjectName(InvalidIndexName(), connection.user()));
      // REBUILD, storage and similar clauses change nothing this engine keeps.
      VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
        VK_ASSIGN_OR_ORA_RETURN(auto index,
                                connection.catalog().FindObject(connection.user(), name, true));
        if (!index.has_value()) return OraErr(NoSuchIndex());
        return {};
      }));
      return DdlParse{kAlterIndex, false};
    }
    if (parser.Accept("TABLESPACE")) return SkipToEnd(parser, kAlterTablespace, connection);
    return OraErr(940, "invalid ALTER command");
  }
  if (parser.Accept("TRUNCATE")) return Truncate(connection, parser);
  if (parser.Accept("RENAME")) return Rename(connection, parser);
  if (parser.Accept("ANALYZE")) {
    VK_ASSIGN_OR_ORA_RETURN(AnalyzeSpec definition, ParseAnalyze(connection, parser));
    return DdlParse{definition.index ? kAnalyzeIndex : kAnalyzeTable, true};
  }
  // Privileges: every user owns only its own schema here; the statements are accepted (and
  // commit) as Oracle's do.
  if (parser.Accept("GRANT")) return SkipToEnd(parser, kGrant, connection);
  if (parser.Accept("REVOKE")) return SkipToEnd(parser, kRevoke, connection);
  if (parser.Accept("COMMENT")) return CommentOn(connection, parser);
  if (parser.Accept("PURGE")) return Purge(connection, parser);
  return OraErr(900, "invalid SQL statement");
}

OraStatus ExecuteDeferredDdl(EngineConnection& connection, std::string_view sql) {
  DdlParser parser(sql);
  VK_RETURN_IF_ORA_ERROR(parser.Tokenize());
  VK_RETURN_IF_ORA_ERROR(parser.Expect("ANALYZE"));
  VK_ASSIGN_OR_ORA_RETURN(AnalyzeSpec definition, ParseAnalyze(connection, parser));
  return RunAnalyze(connection, definition);
}

}  // namespace volmek::engine
