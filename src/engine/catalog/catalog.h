// The catalogue: what the database knows of its users and their objects, kept in tables of
// the SQLite file itself (names beginning with "vk_"), so that it commits and rolls back with
// the data it describes.
//
//   vk_meta          key/value: format version, the counter of system constraint names
//   vk_users         name, password hash (libsodium crypto_pwhash_str), default tablespace
//   vk_tablespaces   SYSTEM, USERS and those created
//   vk_objects       every table, view, index and sequence: object_id, owner, name, type,
//                    namespace (tables, views and sequences share one; indexes have their own)
//   vk_tables        physical attributes and statistics of each table
//   vk_columns       the columns of tables and views, in column_id order; char_used 'C' for
//                    character length semantics
//   vk_indexes       index -> table, uniqueness, constraint kind, physical attributes
//   vk_ind_columns   the columns of each index
//   vk_sequences     sequence options and LAST_NUMBER (canonical decimal text)
//   vk_views         the text of each view
//   vk_view_options  WITH CHECK OPTION / WITH READ ONLY of the views that have one
//   vk_invalid_views the views that do not compile since a DDL on what they read
//   vk_comments      COMMENT ON TABLE (column_name '') and COMMENT ON COLUMN texts
//   vk_synonyms      the object each synonym names (synonyms are objects of owner PUBLIC
//                    for public ones)
//   vk_code          stored procedures and functions: status and source (stored_code.h), with
//   vk_source        their lines and
//   vk_errors        their compilation errors
//   vk_dual          DUAL's one row
//
// The SQLite objects behind the catalogue's objects are named from the object_id: table
// "t<id>", index "i<id>", view "v<id>", so that renaming an object never touches SQLite and two
// names that differ only in case (quoted identifiers) never collide.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/storage/ora_result.h"
#include "engine/storage/schema.h"

namespace volmek::engine {

enum class ObjectType {
  kTable,
  kView,
  kIndex,
  kSequence,
  kSynonym,
  kProcedure,
  kFunction,
  kPackage,
  kPackageBody
};

// "TABLE", "VIEW", "INDEX", "SEQUENCE", "SYNONYM", "PROCEDURE", "FUNCTION", "PACKAGE",
// "PACKAGE BODY".
std::string_view ObjectTypeName(ObjectType type);

struct ObjectRef {
  std::int64_t object_id = 0;
  std::string owner;
  std::string name;
  ObjectType type = ObjectType::kTable;
};

// The physical clauses of a table or an index. Unset values show as NULL or as the defaults
// Oracle shows (see dictionary.cc).
struct PhysicalAttributes {
  std::optional<std::string> tablespace;
  std::optional<std::int64_t> pct_free, pct_used, ini_trans, max_trans;
  std::optional<std::int64_t> initial_extent, next_extent, min_extents, max_extents;
  std::optional<std::int64_t> pct_increase;
};

// A column as the catalogue keeps it: its type, nullability and default (the stored form of a
// literal default, already coerced; nullopt for none).
struct CatalogColumn {
  ColumnInfo info;
  std::optional<std::string> default_text;    // the DEFAULT as written, for DATA_DEFAULT
  std::optional<std::string> default_sqlite;  // the SQLite expression of the default
};

struct IndexInfo {
  ObjectRef ref;
  std::int64_t table_object_id = 0;
  bool unique = false;
  std::string constraint_type;  // "P" primary key, "U" unique constraint, "" plain index
  std::vector<std::string> columns;
  std::vector<bool> descending;
};

struct SequenceInfo {
  ObjectRef ref;
  std::string min_value, max_value, increment_by, last_number;  // canonical decimal texts
  bool cycle = false;
  bool order = false;
  std::int64_t cache_size = 20;
};

// The physical SQLite name of an object, quoted: "t12", "i13", "v14".
std::string PhysicalName(ObjectType type, std::int64_t object_id);
// The object_id behind a physical table name as SQLite writes it in messages (t12 -> 12).
std::optional<std::int64_t> ObjectIdFromPhysical(std::string_view physical);

// The SQLite column declaration of one column: "\"A\" TEXT COLLATE VKNUM NOT NULL".
std::string PhysicalColumnDeclaration(const CatalogColumn& column);

// The catalogue of one open database file. Does not own the connection.
class Catalog {
 public:
  explicit Catalog(sqlite3* db) : db_(db) {}

  // True when the file already holds a catalogue.
  static OraResult<bool> Exists(sqlite3* db);
  // Creates the catalogue tables, the tablespaces SYSTEM and USERS and DUAL.
  static OraStatus Create(sqlite3* db);

  // Users.
  OraResult<std::optional<std::string>> PasswordHash(std::string_view user) const;
  // The password hash of the oldest account, or none when there is no account.
  OraResult<std::optional<std::string>> AnyPasswordHash() const;
  OraResult<bool> UserExists(std::string_view user) const;
  OraStatus AddUser(std::string_view user, std::string_view hash,
                    std::string_view default_tablespace);
  OraStatus SetPasswordHash(std::string_view user, std::string_view hash);
  OraStatus RemoveUser(std::string_view user);
  OraResult<std::vector<std::string>> UserNames() const;
  OraResult<std::string> DefaultTablespace(std::string_view user) const;

  // Tablespaces.
  OraResult<bool> TablespaceExists(std::string_view name) const;
  OraStatus AddTablespace(std::string_view name);
  OraStatus RemoveTablespace(std::string_view name);

  // Objects. Tables, views and sequences are found together (one namespace); indexes apart.
  OraResult<std::optional<ObjectRef>> FindObject(std::string_view owner, std::string_view name,
                                                 bool index_namespace = false) const;
  OraResult<std::optional<ObjectRef>> FindById(std::int64_t object_id) const;
  // The body of package `name`, which has a namespace of its own.
  OraResult<std::optional<ObjectRef>> FindPackageBody(std::string_view owner,
                                                      std::string_view name) const;
  OraResult<std::vector<ObjectRef>> ObjectsOf(std::string_view owner) const;
  OraResult<std::int64_t> AddObject(std::string_view owner, std::string_view name, ObjectType type,
                                    bool generated);
  OraStatus RenameObject(std::int64_t object_id, std::string_view new_name);
  OraStatus TouchObject(std::int64_t object_id);
  // Removes every catalogue row of the object (columns, index columns, statistics ...).
  OraStatus RemoveObject(std::int64_t object_id);

  // Tables and views.
  OraStatus AddTable(std::int64_t object_id, const PhysicalAttributes& attributes);
  OraStatus SetTableAttributes(std::int64_t object_id, const PhysicalAttributes& attributes);
  OraStatus SetTableStatistics(std::int64_t object_id, std::int64_t num_rows,
                               std::int64_t avg_row_len, std::int64_t blocks);
  OraStatus ClearTableStatistics(std::int64_t object_id);
  OraResult<std::vector<CatalogColumn>> Columns(std::int64_t object_id) const;
  // Replaces the columns of the object.
  OraStatus SetColumns(std::int64_t object_id, const std::vector<CatalogColumn>& columns);
  OraStatus AddView(std::int64_t object_id, std::string_view text);
  // A view's query as written and its option ("CHECK OPTION", "READ ONLY" or empty).
  struct ViewDefinition {
    std::string text;
    std::string option;
    bool valid = true;
  };
  OraResult<std::optional<ViewDefinition>> View(std::int64_t object_id) const;
  OraStatus SetViewOption(std::int64_t object_id, std::string_view option);
  // Every view of the database, oldest first.
  OraResult<std::vector<ObjectRef>> AllViews() const;
  // Records whether the view compiles (USER_OBJECTS.STATUS VALID or INVALID).
  OraStatus SetViewValid(std::int64_t object_id, bool valid);

  // Indexes.
  OraStatus AddIndex(const IndexInfo& index, const PhysicalAttributes& attributes);
  OraResult<std::vector<IndexInfo>> IndexesOf(std::int64_t table_object_id) const;
  OraStatus SetIndexStatistics(std::int64_t object_id, std::int64_t num_rows,
                               std::int64_t distinct_keys);

  // Sequences.
  OraStatus AddSequence(const SequenceInfo& sequence);
  OraResult<std::optional<SequenceInfo>> FindSequence(std::string_view owner,
                                                      std::string_view name) const;
  OraStatus UpdateSequence(const SequenceInfo& sequence);

  // Comments (synonyms_comments.cc). `column` empty for the table's own comment; a text of
  // nullopt removes the comment.
  OraStatus SetComment(std::int64_t object_id, std::string_view column,
                       const std::optional<std::string>& text);
  OraStatus RenameCommentColumn(std::int64_t object_id, std::string_view from, std::string_view to);

  // Synonyms: the owner and name of the object a synonym names.
  struct SynonymTarget {
    std::string owner;
    std::string name;
  };
  OraStatus AddSynonym(std::int64_t object_id, const SynonymTarget& target);
  OraResult<std::optional<SynonymTarget>> FindSynonymTarget(std::int64_t object_id) const;

  // Adds what files made by earlier versions lack: the comments and synonyms tables, the
  // character semantics of columns (vk_columns.char_used).
  static OraStatus UpgradeCatalog(sqlite3* db);
  // Creates the tables of view options and of views that do not compile in a file made before
  // they existed.
  static OraStatus EnsureViewOptionTable(sqlite3* db);

  // A new system constraint name: SYS_C000001, SYS_C000002, ...
  OraResult<std::string> NextConstraintName();

  sqlite3* db() const { return db_; }

  // The names of the objects added, removed, renamed or altered since the last call, so that
  // the views that name them can be compiled again.
  std::vector<std::string> TakeChangedNames() { return std::exchange(changed_names_, {}); }

 private:
  OraStatus NoteChanged(std::int64_t object_id);

  sqlite3* db_;
  std::vector<std::string> changed_names_;
};

}  // namespace volmek::engine
