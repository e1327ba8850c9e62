#include "engine/catalog/catalog.h"

#include <fmt/format.h>

#include "engine/storage/sqlite_handle.h"

namespace volmek::engine {
namespace {

constexpr std::string_view kCreateCatalog = R"sql(
CREATE TABLE vk_meta(key TEXT PRIMARY KEY, value TEXT);
CREATE TABLE vk_users(name TEXT PRIMARY KEY, user_id INTEGER NOT NULL, password_hash TEXT NOT NULL,
  default_tablespace TEXT NOT NULL, created TEXT NOT NULL);
CREATE TABLE vk_tablespaces(name TEXT PRIMARY KEY);
CREATE TABLE vk_objects(object_id INTEGER PRIMARY KEY, owner TEXT NOT NULL, name TEXT NOT NULL,
  object_type TEXT NOT NULL, namespace INTEGER NOT NULL, created TEXT NOT NULL,
  last_ddl_time TEXT NOT NULL, generated TEXT NOT NULL, UNIQUE(owner, namespace, name));
CREATE TABLE vk_tables(object_id INTEGER PRIMARY KEY, tablespace_name TEXT, pct_free INTEGER,
  pct_used INTEGER, ini_trans INTEGER, max_trans INTEGER, initial_extent INTEGER,
  next_extent INTEGER, min_extents INTEGER, max_extents INTEGER, pct_increase INTEGER,
  num_rows INTEGER, blocks INTEGER, avg_row_len INTEGER, last_analyzed TEXT);
CREATE TABLE vk_columns(object_id INTEGER NOT NULL, column_id INTEGER NOT NULL,
  column_name TEXT NOT NULL, data_type TEXT NOT NULL, data_length INTEGER NOT NULL,
  data_precision INTEGER, data_scale INTEGER, binary_precision INTEGER, nullable TEXT NOT NULL,
  data_default TEXT, default_sqlite TEXT, char_used TEXT, PRIMARY KEY(object_id, column_id));
CREATE TABLE vk_indexes(object_id INTEGER PRIMARY KEY, table_object_id INTEGER NOT NULL,
  uniqueness TEXT NOT NULL, constraint_type TEXT NOT NULL, tablespace_name TEXT, pct_free INTEGER,
  ini_trans INTEGER, max_trans INTEGER, initial_extent INTEGER, next_extent INTEGER,
  min_extents INTEGER, max_extents INTEGER, pct_increase INTEGER, num_rows INTEGER,
  distinct_keys INTEGER, last_analyzed TEXT);
CREATE TABLE vk_ind_columns(index_object_id INTEGER NOT NULL, column_position INTEGER NOT NULL,
  column_name TEXT NOT NULL, descend TEXT NOT NULL, PRIMARY KEY(index_object_id, column_position));
CREATE TABLE vk_sequences(object_id INTEGER PRIMARY KEY, min_value TEXT NOT NULL,
  max_value TEXT NOT NULL, increment_by TEXT NOT NULL, cycle_flag TEXT NOT NULL,
  order_flag TEXT NOT NULL, cache_size INTEGER NOT NULL, last_number TEXT NOT NULL);
CREATE TABLE vk_views(object_id INTEGER PRIMARY KEY, text TEXT NOT NULL);
CREATE TABLE vk_dual("DUMMY" TEXT);
INSERT INTO vk_dual VALUES('X');
INSERT INTO vk_tablespaces VALUES('SYSTEM');
INSERT INTO vk_tablespaces VALUES('USERS');
INSERT INTO vk_meta VALUES('format', '1');
INSERT INTO vk_meta VALUES('constraint_counter', '0');
)sql";

constexpr std::string_view kNow = "strftime('%Y-%m-%d %H:%M:%S','now','localtime')";

constexpr int kPackageBodyNamespace = 3;

int Namespace(ObjectType type) {
  if (type == ObjectType::kPackageBody) return kPackageBodyNamespace;
  return type == ObjectType::kIndex ? 2 : 1;
}

ObjectType TypeFromName(std::string_view name) {
  if (name == "VIEW") return ObjectType::kView;
  if (name == "INDEX") return ObjectType::kIndex;
  if (name == "SEQUENCE") return ObjectType::kSequence;
  if (name == "SYNONYM") return ObjectType::kSynonym;
  if (name == "PROCEDURE") return ObjectType::kProcedure;
  if (name == "FUNCTION") return ObjectType::kFunction;
  if (name == "PACKAGE") return ObjectType::kPackage;
  if (name == "PACKAGE BODY") return ObjectType::kPackageBody;
  return ObjectType::kTable;
}

void BindOptional(SqliteStatement& stmt, int index, const std::optional<std::int64_t>& value) {
  if (value.has_value()) {
    stmt.BindInt(index, *value);
  } else {
    stmt.BindNull(index);
  }
}

void BindOptionalText(SqliteStatement& stmt, int index, const std::optional<std::string>& value) {
  if (value.has_value()) {
    stmt.BindText(index, *value);
  } else {
    stmt.BindNull(index);
  }
}

TypeKind KindFromName(std::string_view name) {
  if (name == "NUMBER") return TypeKind::kNumber;
  if (name == "FLOAT") return TypeKind::kFloat;
  if (name == "CHAR") return TypeKind::kChar;
  if (name == "DATE") return TypeKind::kDate;
  if (name == "LONG") return TypeKind::kLong;
  if (name == "RAW") return TypeKind::kRaw;
  if (name == "LONG RAW") return TypeKind::kLongRaw;
  if (name == "ROWID") return TypeKind::kRowid;
  return TypeKind::kVarchar2;
}

ObjectRef ReadRef(const SqliteStatement& stmt) {
  ObjectRef ref;
  ref.object_id = stmt.ColumnInt(0);
  ref.owner = std::string(stmt.ColumnText(1));
  ref.name = std::string(stmt.ColumnText(2));
  ref.type = TypeFromName(stmt.ColumnText(3));
  return ref;
}

// Runs `sql` with text parameters bound in order.
OraStatus RunWithTexts(sqlite3* db, std::string_view sql,
                       std::initializer_list<std::string_view> texts) {
  VK_ASSIGN_OR_ORA_RETURN(SqliteStatement stmt, SqliteStatement::Prepare(db, sql));
  int index = 1;
  for (std::string_view text : texts) stmt.BindText(index++, text);
  return stmt.Run();
}

OraStatus RunWithId(sqlite3* db, std::string_view sql, std::int64_t id) {
  VK_ASSIGN_OR_ORA_RETURN(SqliteStatement stmt, SqliteStatement::Prepare(db, sql));
  stmt.BindInt(1, id);
  return stmt.Run();
}

// Prepares `sql`, binds `id` to ?1 and collects `read(statement)` for every row.
template <typename Row, typename Read>
OraResult<std::vector<Row>> SelectById(sqlite3* db, std::string_view sql, std::int64_t id,
                                       Read read) {
  VK_ASSIGN_OR_ORA_RETURN(SqliteStatement stmt, SqliteStatement::Prepare(db, sql));
  stmt.BindInt(1, id);
  std::vector<Row> rows;
  while (true) {
    VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
    if (!row) return rows;
    rows.push_back(read(stmt));
  }
}

// Binds a sequence's row of vk_sequences: ?1 its object id, then ?2 to ?8 its columns in order.
void BindSequence(const SequenceInfo& sequence, SqliteStatement& stmt) {
  stmt.BindInt(1, sequence.ref.object_id);
  stmt.BindText(2, sequence.min_value);
  stmt.BindText(3, sequence.max_value);
  stmt.BindText(4, sequence.increment_by);
  stmt.BindText(5, sequence.cycle ? "Y" : "N");
  stmt.BindText(6, sequence.order ? "Y" : "N");
  stmt.BindInt(7, sequence.cache_size);
  stmt.BindText(8, sequence.last_number);
}

}  // namespace

std::string_view ObjectTypeName(ObjectType type) {
  switch (type) {
    case ObjectType::kTable:
      return "TABLE";
    case ObjectType::kView:
      return "VIEW";
    case ObjectType::kIndex:
      return "INDEX";
    case ObjectType::kSequence:
      return "SEQUENCE";
    case ObjectType::kSynonym:
      return "SYNONYM";
    case ObjectType::kProcedure:
      return "PROCEDURE";
    case ObjectType::kFunction:
      return "FUNCTION";
    case ObjectType::kPackage:
      return "PACKAGE";
    case ObjectType::kPackageBody:
      return "PACKAGE BODY";
  }
  return "TABLE";
}

std::string PhysicalName(ObjectType type, std::int64_t object_id) {
  char prefix = type == ObjectType::kIndex ? 'i' : type == ObjectType::kView ? 'v' : 't';
  return fmt::format("\"{}{}\"", prefix, object_id);
}

std::optional<std::int64_t> ObjectIdFromPhysical(std::string_view physical) {
  if (physical.size() >= 2 && physical.front() == '"' && physical.back() == '"') {
    physical = physical.substr(1, physical.size() - 2);
  }
  if (physical.size() < 2 || (physical[0] != 't' && physical[0] != 'v')) return std::nullopt;
  std::int64_t id = 0;
  for (char c : physical.substr(1)) {
    if (c < '0' || c > '9' || id > (INT64_MAX - 9) / 10) return std::nullopt;
    id = id * 10 + (c - '0');
  }
  return id;
}

std::string PhysicalColumnDeclaration(const CatalogColumn& column) {
  std::string out = QuoteIdentifier(column.info.name);
  switch (column.info.type.kind) {
    case TypeKind::kNumber:
    case TypeKind::kFloat:
      out += " TEXT COLLATE VKNUM";
      break;
    case TypeKind::kChar:
      out += " TEXT COLLATE RTRIM";
      break;
    default:
      out += " TEXT";
      break;
  }
  if (!column.info.nullable) out += " NOT NULL";
  if (column.default_sqlite.has_value())
    out += fmt::format(" DEFAULT ({})", *column.default_sqlite);
  return out;
}

OraResult<bool> Catalog::Exists(sqlite3* db) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db, "SELECT 1 FROM sqlite_schema WHERE name = 'vk_users'"));
  return stmt.Step();
}

OraStatus Catalog::Create(sqlite3* db) {
  VK_RETURN_IF_ORA_ERROR(ExecSql(db, kCreateCatalog));
  VK_RETURN_IF_ORA_ERROR(EnsureViewOptionTable(db));
  return UpgradeCatalog(db);
}

OraResult<std::optional<std::string>> Catalog::PasswordHash(std::string_view user) const {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_, "SELECT password_hash FROM vk_users WHERE name = ?1"));
  stmt.BindText(1, user);
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  if (!row) return std::optional<std::string>();
  return std::optional<std::string>(std::string(stmt.ColumnText(0)));
}

OraResult<std::optional<std::string>> Catalog::AnyPasswordHash() const {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_, "SELECT password_hash FROM vk_users ORDER BY user_id LIMIT 1"));
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  if (!row) return std::optional<std::string>();
  return std::optional<std::string>(std::string(stmt.ColumnText(0)));
}

OraResult<bool> Catalog::UserExists(std::string_view user) const {
  VK_ASSIGN_OR_ORA_RETURN(std::optional<std::string> hash, PasswordHash(user));
  return hash.has_value();
}

OraStatus Catalog::AddUser(std::string_view user, std::string_view hash,
                           std::string_view default_tablespace) {
  return RunWithTexts(db_,
                      fmt::format("INSERT INTO vk_users VALUES(?1, (SELECT coalesce(max(user_id), "
                                  "4) + 1 FROM vk_users), ?2, ?3, {})",
                                  kNow),
                      {user, hash, default_tablespace});
}

OraStatus Catalog::SetPasswordHash(std::string_view user, std::string_view hash) {
  return RunWithTexts(db_, "UPDATE vk_users SET password_hash = ?2 WHERE name = ?1", {user, hash});
}

OraStatus Catalog::RemoveUser(std::string_view user) {
  return RunWithTexts(db_, "DELETE FROM vk_users WHERE name = ?1", {user});
}

OraResult<std::vector<std::string>> Catalog::UserNames() const {
  VK_ASSIGN_OR_ORA_RETURN(SqliteStatement stmt,
                          SqliteStatement::Prepare(db_, "SELECT name FROM vk_users ORDER BY 1"));
  std::vector<std::string> names;
  while (true) {
    VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
    if (!row) break;
    names.emplace_back(stmt.ColumnText(0));
  }
  return names;
}

OraResult<std::string> Catalog::DefaultTablespace(std::string_view user) const {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_, "SELECT default_tablespace FROM vk_users WHERE name = ?1"));
  stmt.BindText(1, user);
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  if (!row) return std::string("USERS");
  return std::string(stmt.ColumnText(0));
}

OraResult<bool> Catalog::TablespaceExists(std::string_view name) const {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_, "SELECT 1 FROM vk_tablespaces WHERE name = ?1"));
  stmt.BindText(1, name);
  return stmt.Step();
}

OraStatus Catalog::AddTablespace(std::string_view name) {
  return RunWithTexts(db_, "INSERT INTO vk_tablespaces VALUES(?1)", {name});
}

OraStatus Catalog::RemoveTablespace(std::string_view name) {
  return RunWithTexts(db_, "DELETE FROM vk_tablespaces WHERE name = ?1", {name});
}

OraResult<std::optional<ObjectRef>> Catalog::FindObject(std::string_view owner,
                                                        std::string_view name,
                                                        bool index_namespace) const {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_,
                               "SELECT object_id, owner, name, object_type FROM vk_objects "
                               "WHERE owner = ?1 AND namespace = ?2 AND name = ?3"));
  stmt.BindText(1, owner);
  stmt.BindInt(2, index_namespace ? 2 : 1);
  stmt.BindText(3, name);
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  if (!row) return std::optional<ObjectRef>();
  return std::optional<ObjectRef>(ReadRef(stmt));
}

OraResult<std::optional<ObjectRef>> Catalog::FindPackageBody(std::string_view owner,
                                                             std::string_view name) const {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_,
                               "SELECT object_id, owner, name, object_type FROM vk_objects "
                               "WHERE owner = ?1 AND namespace = ?2 AND name = ?3"));
  stmt.BindText(1, owner);
  stmt.BindInt(2, kPackageBodyNamespace);
  stmt.BindText(3, name);
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  if (!row) return std::optional<ObjectRef>();
  return std::optional<ObjectRef>(ReadRef(stmt));
}

OraResult<std::optional<ObjectRef>> Catalog::FindById(std::int64_t object_id) const {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(
          db_, "SELECT object_id, owner, name, object_type FROM vk_objects WHERE object_id = ?1"));
  stmt.BindInt(1, object_id);
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  if (!row) return std::optional<ObjectRef>();
  return std::optional<ObjectRef>(ReadRef(stmt));
}

OraResult<std::vector<ObjectRef>> Catalog::ObjectsOf(std::string_view owner) const {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_,
                               "SELECT object_id, owner, name, object_type FROM vk_objects "
                               "WHERE owner = ?1 ORDER BY object_id"));
  stmt.BindText(1, owner);
  std::vector<ObjectRef> refs;
  while (true) {
    VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
    if (!row) break;
    refs.push_back(ReadRef(stmt));
  }
  return refs;
}

OraResult<std::int64_t> Catalog::AddObject(std::string_view owner, std::string_view name,
                                           ObjectType type, bool generated) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(
          db_, fmt::format("INSERT INTO vk_objects(owner, name, object_type, namespace, created, "
                           "last_ddl_time, generated) VALUES(?1, ?2, ?3, ?4, {0}, {0}, ?5)",
                           kNow)));
  stmt.BindText(1, owner);
  stmt.BindText(2, name);
  stmt.BindText(3, ObjectTypeName(type));
  stmt.BindInt(4, Namespace(type));
  stmt.BindText(5, generated ? "Y" : "N");
  VK_RETURN_IF_ORA_ERROR(stmt.Run());
  changed_names_.emplace_back(name);
  return sqlite3_last_insert_rowid(db_);
}

OraStatus Catalog::NoteChanged(std::int64_t object_id) {
  VK_ASSIGN_OR_ORA_RETURN(std::optional<ObjectRef> object, FindById(object_id));
  if (object.has_value()) changed_names_.push_back(std::move(object->name));
  return {};
}

OraStatus Catalog::RenameObject(std::int64_t object_id, std::string_view new_name) {
  VK_RETURN_IF_ORA_ERROR(NoteChanged(object_id));
  changed_names_.emplace_back(new_name);
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(
          db_,
          fmt::format("UPDATE vk_objects SET name = ?2, last_ddl_time = {} WHERE object_id = ?1",
                      kNow)));
  stmt.BindInt(1, object_id);
  stmt.BindText(2, new_name);
  return stmt.Run();
}

OraStatus Catalog::TouchObject(std::int64_t object_id) {
  VK_RETURN_IF_ORA_ERROR(NoteChanged(object_id));
  return RunWithId(
      db_, fmt::format("UPDATE vk_objects SET last_ddl_time = {} WHERE object_id = ?1", kNow),
      object_id);
}

OraStatus Catalog::RemoveObject(std::int64_t object_id) {
  VK_RETURN_IF_ORA_ERROR(NoteChanged(object_id));
  for (std::string_view sql : {
           "DELETE FROM vk_objects WHERE object_id = ?1",
           "DELETE FROM vk_tables WHERE object_id = ?1",
           "DELETE FROM vk_columns WHERE object_id = ?1",
           "DELETE FROM vk_indexes WHERE object_id = ?1",
           "DELETE FROM vk_ind_columns WHERE index_object_id = ?1",
           "DELETE FROM vk_sequences WHERE object_id = ?1",
           "DELETE FROM vk_views WHERE object_id = ?1",
           "DELETE FROM vk_view_options WHERE object_id = ?1",
           "DELETE FROM vk_invalid_views WHERE object_id = ?1",
           "DELETE FROM vk_comments WHERE object_id = ?1",
           "DELETE FROM vk_synonyms WHERE object_id = ?1",
           "DELETE FROM vk_code WHERE object_id = ?1",
           "DELETE FROM vk_source WHERE object_id = ?1",
           "DELETE FROM vk_errors WHERE object_id = ?1",
       }) {
    VK_RETURN_IF_ORA_ERROR(RunWithId(db_, sql, object_id));
  }
  return {};
}

OraStatus Catalog::AddTable(std::int64_t object_id, const PhysicalAttributes& attributes) {
  VK_RETURN_IF_ORA_ERROR(RunWithId(db_, "INSERT INTO vk_tables(object_id) VALUES(?1)", object_id));
  return SetTableAttributes(object_id, attributes);
}

OraStatus Catalog::SetTableAttributes(std::int64_t object_id,
                                      const PhysicalAttributes& attributes) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(
          db_,
          "UPDATE vk_tables SET tablespace_name = coalesce(?2, tablespace_name), "
          "pct_free = coalesce(?3, pct_free), pct_used = coalesce(?4, pct_used), "
          "ini_trans = coalesce(?5, ini_trans), max_trans = coalesce(?6, max_trans), "
          "initial_extent = coalesce(?7, initial_extent), next_extent = coalesce(?8, "
          "next_extent), min_extents = coalesce(?9, min_extents), max_extents = coalesce(?10, "
          "max_extents), pct_increase = coalesce(?11, pct_increase) WHERE object_id = ?1"));
  stmt.BindInt(1, object_id);
  BindOptionalText(stmt, 2, attributes.tablespace);
  BindOptional(stmt, 3, attributes.pct_free);
  BindOptional(stmt, 4, attributes.pct_used);
  BindOptional(stmt, 5, attributes.ini_trans);
  BindOptional(stmt, 6, attributes.max_trans);
  BindOptional(stmt, 7, attributes.initial_extent);
  BindOptional(stmt, 8, attributes.next_extent);
  BindOptional(stmt, 9, attributes.min_extents);
  BindOptional(stmt, 10, attributes.max_extents);
  BindOptional(stmt, 11, attributes.pct_increase);
  return stmt.Run();
}

OraStatus Catalog::SetTableStatistics(std::int64_t object_id, std::int64_t num_rows,
                                      std::int64_t avg_row_len, std::int64_t blocks) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(
          db_, fmt::format("UPDATE vk_tables SET num_rows = ?2, avg_row_len = ?3, blocks = ?4, "
                           "last_analyzed = {} WHERE object_id = ?1",
                           kNow)));
  stmt.BindInt(1, object_id);
  stmt.BindInt(2, num_rows);
  stmt.BindInt(3, avg_row_len);
  stmt.BindInt(4, blocks);
  return stmt.Run();
}

OraStatus Catalog::ClearTableStatistics(std::int64_t object_id) {
  return RunWithId(db_,
                   "UPDATE vk_tables SET num_rows = NULL, avg_row_len = NULL, blocks = NULL, "
                   "last_analyzed = NULL WHERE object_id = ?1",
                   object_id);
}

OraResult<std::vector<CatalogColumn>> Catalog::Columns(std::int64_t object_id) const {
  return SelectById<CatalogColumn>(
      db_,
      "SELECT column_name, data_type, data_length, data_precision, data_scale, binary_precision, "
      "nullable, data_default, default_sqlite, char_used FROM vk_columns WHERE object_id = ?1 "
      "ORDER BY column_id",
      object_id, [](const SqliteStatement& stmt) {
        CatalogColumn column;
        column.info.name = std::string(stmt.ColumnText(0));
        column.info.type.kind = KindFromName(stmt.ColumnText(1));
        column.info.type.length = static_cast<int>(stmt.ColumnInt(2));
        if (!stmt.ColumnIsNull(3)) column.info.type.precision = static_cast<int>(stmt.ColumnInt(3));
        if (!stmt.ColumnIsNull(4)) column.info.type.scale = static_cast<int>(stmt.ColumnInt(4));
        if (!stmt.ColumnIsNull(5)) {
          column.info.type.binary_precision = static_cast<int>(stmt.ColumnInt(5));
        }
        column.info.nullable = stmt.ColumnText(6) != "N";
        if (!stmt.ColumnIsNull(7)) column.default_text = std::string(stmt.ColumnText(7));
        if (!stmt.ColumnIsNull(8)) column.default_sqlite = std::string(stmt.ColumnText(8));
        column.info.type.char_semantics = stmt.ColumnText(9) == "C";
        return column;
      });
}

OraStatus Catalog::SetColumns(std::int64_t object_id, const std::vector<CatalogColumn>& columns) {
  VK_RETURN_IF_ORA_ERROR(NoteChanged(object_id));
  VK_RETURN_IF_ORA_ERROR(RunWithId(db_, "DELETE FROM vk_columns WHERE object_id = ?1", object_id));
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_,
                               "INSERT INTO vk_columns(object_id, column_id, column_name, "
                               "data_type, data_length, data_precision, data_scale, "
                               "binary_precision, nullable, data_default, default_sqlite, "
                               "char_used) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, "
                               "?12)"));
  int column_id = 0;
  for (const CatalogColumn& column : columns) {
    const SqlType& type = column.info.type;
    stmt.BindInt(1, object_id);
    stmt.BindInt(2, ++column_id);
    stmt.BindText(3, column.info.name);
    stmt.BindText(4, type.DataTypeName());
    stmt.BindInt(5, type.length);
    if (type.kind == TypeKind::kFloat) {
      stmt.BindInt(6, type.binary_precision);
    } else {
      BindOptional(stmt, 6, type.precision);
    }
    BindOptional(stmt, 7, type.scale);
    if (type.kind == TypeKind::kFloat) {
      stmt.BindInt(8, type.binary_precision);
    } else {
      stmt.BindNull(8);
    }
    stmt.BindText(9, column.info.nullable ? "Y" : "N");
    BindOptionalText(stmt, 10, column.default_text);
    BindOptionalText(stmt, 11, column.default_sqlite);
    if (type.kind == TypeKind::kChar || type.kind == TypeKind::kVarchar2) {
      stmt.BindText(12, type.char_semantics ? "C" : "B");
    } else {
      stmt.BindNull(12);
    }
    VK_RETURN_IF_ORA_ERROR(stmt.Run());
  }
  return {};
}

OraStatus Catalog::AddView(std::int64_t object_id, std::string_view text) {
  VK_ASSIGN_OR_ORA_RETURN(SqliteStatement stmt,
                          SqliteStatement::Prepare(db_, "INSERT INTO vk_views VALUES(?1, ?2)"));
  stmt.BindInt(1, object_id);
  stmt.BindText(2, text);
  return stmt.Run();
}

OraStatus Catalog::AddIndex(const IndexInfo& index, const PhysicalAttributes& attributes) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_,
                               "INSERT INTO vk_indexes(object_id, table_object_id, uniqueness, "
                               "constraint_type, tablespace_name, pct_free, ini_trans, "
                               "max_trans, initial_extent, next_extent, min_extents, "
                               "max_extents, pct_increase) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, "
                               "?8, ?9, ?10, ?11, ?12, ?13)"));
  stmt.BindInt(1, index.ref.object_id);
  stmt.BindInt(2, index.table_object_id);
  stmt.BindText(3, index.unique ? "UNIQUE" : "NONUNIQUE");
  stmt.BindText(4, index.constraint_type);
  BindOptionalText(stmt, 5, attributes.tablespace);
  BindOptional(stmt, 6, attributes.pct_free);
  BindOptional(stmt, 7, attributes.ini_trans);
  BindOptional(stmt, 8, attributes.max_trans);
  BindOptional(stmt, 9, attributes.initial_extent);
  BindOptional(stmt, 10, attributes.next_extent);
  BindOptional(stmt, 11, attributes.min_extents);
  BindOptional(stmt, 12, attributes.max_extents);
  BindOptional(stmt, 13, attributes.pct_increase);
  VK_RETURN_IF_ORA_ERROR(stmt.Run());
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement column_stmt,
      SqliteStatement::Prepare(db_, "INSERT INTO vk_ind_columns VALUES(?1, ?2, ?3, ?4)"));
  for (std::size_t column_idx = 0; column_idx < index.columns.size(); ++column_idx) {
    column_stmt.BindInt(1, index.ref.object_id);
    column_stmt.BindInt(2, static_cast<std::int64_t>(column_idx + 1));
    column_stmt.BindText(3, index.columns[column_idx]);
    bool descending = column_idx < index.descending.size() && index.descending[column_idx];
    column_stmt.BindText(4, descending ? "DESC" : "ASC");
    VK_RETURN_IF_ORA_ERROR(column_stmt.Run());
  }
  return {};
}

OraResult<std::vector<IndexInfo>> Catalog::IndexesOf(std::int64_t table_object_id) const {
  VK_ASSIGN_OR_ORA_RETURN(
      std::vector<IndexInfo> indexes,
      SelectById<IndexInfo>(db_,
                            "SELECT o.object_id, o.owner, o.name, o.object_type, i.uniqueness, "
                            "i.constraint_type FROM vk_indexes i JOIN vk_objects o "
                            "USING(object_id) WHERE i.table_object_id = ?1 ORDER BY o.object_id",
                            table_object_id, [&](const SqliteStatement& stmt) {
                              IndexInfo index;
                              index.ref = ReadRef(stmt);
                              index.table_object_id = table_object_id;
                              index.unique = stmt.ColumnText(4) == "UNIQUE";
                              index.constraint_type = std::string(stmt.ColumnText(5));
                              return index;
                            }));
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement column_stmt,
      SqliteStatement::Prepare(db_,
                               "SELECT column_name, descend FROM vk_ind_columns WHERE "
                               "index_object_id = ?1 ORDER BY column_position"));
  for (IndexInfo& index : indexes) {
    column_stmt.BindInt(1, index.ref.object_id);
    while (true) {
      VK_ASSIGN_OR_ORA_RETURN(bool row, column_stmt.Step());
      if (!row) break;
      index.columns.emplace_back(column_stmt.ColumnText(0));
      index.descending.push_back(column_stmt.ColumnText(1) == "DESC");
    }
    column_stmt.Reset();
  }
  return indexes;
}

OraStatus Catalog::SetIndexStatistics(std::int64_t object_id, std::int64_t num_rows,
                                      std::int64_t distinct_keys) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(
          db_, fmt::format("UPDATE vk_indexes SET num_rows = ?2, distinct_keys = ?3, "
                           "last_analyzed = {} WHERE object_id = ?1",
                           kNow)));
  stmt.BindInt(1, object_id);
  stmt.BindInt(2, num_rows);
  stmt.BindInt(3, distinct_keys);
  return stmt.Run();
}

OraStatus Catalog::AddSequence(const SequenceInfo& sequence) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_,
                               "INSERT INTO vk_sequences VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"));
  BindSequence(sequence, stmt);
  return stmt.Run();
}

OraResult<std::optional<SequenceInfo>> Catalog::FindSequence(std::string_view owner,
                                                             std::string_view name) const {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_,
                               "SELECT o.object_id, o.owner, o.name, o.object_type, "
                               "s.min_value, s.max_value, s.increment_by, s.cycle_flag, "
                               "s.order_flag, s.cache_size, s.last_number FROM vk_objects o "
                               "JOIN vk_sequences s USING(object_id) WHERE o.owner = ?1 AND "
                               "o.name = ?2 AND o.namespace = 1"));
  stmt.BindText(1, owner);
  stmt.BindText(2, name);
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  if (!row) return std::optional<SequenceInfo>();
  SequenceInfo sequence;
  sequence.ref = ReadRef(stmt);
  sequence.min_value = std::string(stmt.ColumnText(4));
  sequence.max_value = std::string(stmt.ColumnText(5));
  sequence.increment_by = std::string(stmt.ColumnText(6));
  sequence.cycle = stmt.ColumnText(7) == "Y";
  sequence.order = stmt.ColumnText(8) == "Y";
  sequence.cache_size = stmt.ColumnInt(9);
  sequence.last_number = std::string(stmt.ColumnText(10));
  return std::optional<SequenceInfo>(std::move(sequence));
}

OraStatus Catalog::UpdateSequence(const SequenceInfo& sequence) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_,
                               "UPDATE vk_sequences SET min_value = ?2, max_value = ?3, "
                               "increment_by = ?4, cycle_flag = ?5, order_flag = ?6, "
                               "cache_size = ?7, last_number = ?8 WHERE object_id = ?1"));
  BindSequence(sequence, stmt);
  return stmt.Run();
}

OraResult<std::string> Catalog::NextConstraintName() {
  VK_RETURN_IF_ORA_ERROR(ExecSql(db_,
                                 "UPDATE vk_meta SET value = CAST(value AS INTEGER) + 1 WHERE "
                                 "key = 'constraint_counter'"));
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_, "SELECT value FROM vk_meta WHERE key = 'constraint_counter'"));
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  std::int64_t counter = row ? stmt.ColumnInt(0) : 1;
  return fmt::format("SYS_C{:06d}", counter);
}

}  // namespace volmek::engine
