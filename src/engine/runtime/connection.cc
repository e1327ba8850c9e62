#include "engine/runtime/connection.h"

#include "engine/runtime/constraints.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>

#include "engine/catalog/accounts.h"
#include "engine/catalog/stored_code.h"
#include "engine/runtime/database_file.h"
#include "engine/runtime/stored_units.h"

namespace volmek::engine {
namespace {

// The most memory the page cache of one connection takes.
constexpr int kCacheKiB = 32 * 1024;

// The savepoint an operation unit's commits move (see connection.h).
constexpr const char* kUnitSavepoint = "VOLMEK_UNIT";

// The SQLite message inside the ORA-00600 that ErrorFromSqliteMessage built, or "".
std::string_view SqliteMessageOf(const OraError& error) {
  constexpr std::string_view kMarker = "[sqlite], [";
  if (error.code != 600) return {};
  std::size_t at = error.message.find(kMarker);
  if (at == std::string::npos) return {};
  std::string_view rest = std::string_view(error.message).substr(at + kMarker.size());
  if (!rest.empty() && rest.back() == ']') rest.remove_suffix(1);
  return rest;
}

struct ColumnRef {
  std::int64_t table_id = 0;
  std::string column;
};

// "t12.A, t12.B" -> {12, A}, {12, B}.
std::vector<ColumnRef> ParseColumnRefs(std::string_view list) {
  std::vector<ColumnRef> refs;
  while (!list.empty()) {
    std::size_t comma = list.find(", ");
    std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 2);
    std::size_t dot = item.find('.');
    if (dot == std::string_view::npos) continue;
    std::optional<std::int64_t> id = ObjectIdFromPhysical(item.substr(0, dot));
    if (!id.has_value()) continue;
    refs.push_back(ColumnRef{*id, std::string(item.substr(dot + 1))});
  }
  return refs;
}

}  // namespace

namespace {

// `in_place`: the values outlive the statement's use of them, so texts are bound without a
// copy; otherwise SQLite copies each text.
void BindOne(sqlite3_stmt* stmt, const std::vector<BindValue>& parameters, std::size_t param_idx,
             bool in_place) {
  const BindValue& value = parameters[param_idx];
  int index = static_cast<int>(param_idx + 1);
  switch (value.kind) {
    case BindValue::Kind::kNull:
      sqlite3_bind_null(stmt, index);
      break;
    case BindValue::Kind::kInteger:
      sqlite3_bind_int64(stmt, index, value.integer);
      break;
    case BindValue::Kind::kReal:
      sqlite3_bind_double(stmt, index, value.real);
      break;
    case BindValue::Kind::kText: {
      // Bound with its terminator when it has no NUL inside, so that SQLite need not copy it
      // to add one when it reads the text.
      const bool terminated =
          value.text.size() <= static_cast<std::size_t>(std::numeric_limits<int>::max()) &&
          std::memchr(value.text.data(), '\0', value.text.size()) == nullptr;
      if (!in_place) {
        sqlite3_bind_text64(stmt, index, value.text.data(), value.text.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8);
      } else if (terminated) {
        sqlite3_bind_text(stmt, index, value.text.c_str(), -1, SQLITE_STATIC);
      } else {
        sqlite3_bind_text64(stmt, index, value.text.data(), value.text.size(), SQLITE_STATIC,
                            SQLITE_UTF8);
      }
      break;
    }
  }
}

void Bind(sqlite3_stmt* stmt, const std::vector<BindValue>& parameters, bool in_place) {
  for (std::size_t param_idx = 0; param_idx < parameters.size(); ++param_idx) {
    BindOne(stmt, parameters, param_idx, in_place);
  }
}

}  // namespace

void BindParameters(sqlite3_stmt* stmt, const std::vector<BindValue>& parameters) {
  Bind(stmt, parameters, false);
}

void BindParametersInPlace(sqlite3_stmt* stmt, const std::vector<BindValue>& parameters) {
  Bind(stmt, parameters, true);
}

void RebindParametersInPlace(sqlite3_stmt* stmt, const std::vector<BindValue>& parameters,
                             std::span<const std::size_t> indices) {
  for (std::size_t param_idx : indices) BindOne(stmt, parameters, param_idx, true);
}

namespace {

// The database's name: its file's name without the extension ("/data/nomina.db": "nomina").
std::string DatabaseName(std::string_view path) {
  if (std::size_t slash = path.find_last_of('/'); slash != std::string_view::npos) {
    path.remove_prefix(slash + 1);
  }
  if (std::size_t dot = path.rfind('.'); dot != std::string_view::npos && dot > 0) {
    path = path.substr(0, dot);
  }
  return std::string(path);
}

// A session number no other open session has: the process's id, then a count within it.
std::int64_t NextSessionId() {
  static std::atomic<std::int64_t> next{0};
  return static_cast<std::int64_t>(getpid()) * 1000 + next.fetch_add(1) % 1000;
}

}  // namespace

EngineConnection::EngineConnection(SqliteDb db, std::string path, std::string user)
    : db_(std::move(db)),
      path_(std::move(path)),
      user_(std::move(user)),
      catalog_(db_.get()),
      lookup_(catalog_, user_),
      sequences_(catalog_) {
  settings_.session_user = user_;
  settings_.database_name = DatabaseName(path_);
  settings_.session_id = NextSessionId();
}

EngineConnection::~EngineConnection() {
  for (EngineCursor* cursor : cursors_) cursor->Orphan();
  cursors_.clear();
  if (open_ && db_) {
    // A session that ends without log-off loses its open transaction.
    (void)ExecSql(db_.get(), "ROLLBACK");
  }
}

OraResult<std::unique_ptr<EngineConnection>> EngineConnection::Open(const std::string& path,
                                                                    std::string_view user,
                                                                    std::string_view password,
                                                                    bool* created,
                                                                    std::string* detail) {
  *created = false;
  detail->clear();
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    // Refuse before creating anything: an empty user or password never makes a database.
    if (user.empty()) return OraErr(LogonDenied());
    if (password.empty()) return OraErr(1005, "null password given; logon denied");
    VK_ASSIGN_OR_ORA_RETURN(std::string hash, HashPassword(password));
    VK_ASSIGN_OR_ORA_RETURN(*created, CreateDatabaseFile(path, user, hash, detail));
  }
  // Only a file volmek made is opened: anything else is refused untouched.
  *detail = RefusedFileDetail(path);
  if (!detail->empty()) return OraErr(1034, "ORACLE not available");

  sqlite3* raw = nullptr;
  int rc =
      sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  SqliteDb db(raw);
  if (rc != SQLITE_OK) {
    *detail = SqliteFailureDetail(rc, path);
    return OraErr(1034, "ORACLE not available");
  }
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, 10000);
  // A page cache of up to kCacheKiB, taken as pages are read: a load or a backup of a large
  // table keeps its working pages in memory instead of writing them out and reading them back
  // in the middle of the transaction. The commit's sync is unchanged.
  (void)ExecSql(raw, fmt::format("PRAGMA cache_size = -{}", kCacheKiB));
  // Deleted rows are wiped from the pages that stay in their table, whatever the library's
  // default; a page freed whole keeps its bytes until it is reused (as an Oracle block keeps a
  // deleted row until it is overwritten), instead of being zeroed and written out first: a
  // restore, which empties its table and fills the same pages again, would write them twice.
  (void)ExecSql(raw, "PRAGMA secure_delete = FAST");
  // A commit is the deletion of the rollback journal. FULL syncs the journal and the file but
  // not the directory after that deletion, so a power loss just after a commit could bring the
  // journal back and roll the committed transaction back at the next logon; EXTRA syncs the
  // directory too (one more sync per commit).
  (void)ExecSql(raw, "PRAGMA synchronous = EXTRA");
  auto connection = std::make_unique<EngineConnection>(std::move(db), path, std::string(user));
  bool foreign = false;
  OraStatus status = [&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(bool has_catalog, Catalog::Exists(connection->db()));
    if (!has_catalog) {
      foreign = true;
      return OraErr(1034, "ORACLE not available");
    }
    VK_RETURN_IF_ORA_ERROR(CheckLogon(connection->catalog_, user, password));
    // A hash of an older cost gives way to one of the current cost; a database that cannot
    // be written now keeps the old one, which still verifies.
    (void)RehashIfOld(connection->catalog_, user, password);
    return connection->Setup();
  }();
  if (!status.has_value()) {
    *detail = foreign ? ForeignDatabaseDetail(path)
                      : SqliteFailureDetail(sqlite3_extended_errcode(connection->db()), path);
    // A refused password says nothing more: the file is sound.
    if (status.error().code == 1017 || status.error().code == 1005) detail->clear();
    connection->open_ = false;
    connection.reset();
    if (status.error().code == 600 || status.error().code == 54) {
      return OraErr(1034, "ORACLE not available");
    }
    return OraErr(status.error());
  }
  return connection;
}

OraStatus EngineConnection::Setup() {
  Status registered = RegisterFunctions(db(), &settings_);
  if (!registered.ok()) {
    return OraErr(600,
                  "internal error code, arguments: [functions], [" + registered.message() + "]");
  }
  VK_RETURN_IF_ORA_ERROR(sequences_.RegisterFunctions(db()));
  VK_RETURN_IF_ORA_ERROR(EnsureConstraintTables(db()));
  VK_RETURN_IF_ORA_ERROR(Catalog::UpgradeCatalog(db()));
  VK_RETURN_IF_ORA_ERROR(Catalog::EnsureViewOptionTable(db()));
  VK_RETURN_IF_ORA_ERROR(EnsureStoredCodeTables(db()));
  VK_RETURN_IF_ORA_ERROR(RegisterStoredCalls(*this));
  lookup_.SetFunctionFinder(
      [this](std::string_view name) { return StoredFunctionForSql(*this, name); });
  return Begin();
}

OraStatus EngineConnection::Begin() {
  read_only_ = false;
  transaction_wrote_ = false;
  return ExecSql(db(), "BEGIN");
}

OraStatus EngineConnection::RestoreSavepoints() {
  for (const std::string& name : savepoints_) {
    VK_RETURN_IF_ORA_ERROR(ExecSql(db(), "SAVEPOINT " + QuoteIdentifier(name)));
  }
  return {};
}

OraStatus EngineConnection::Commit() {
  DetachQueries(nullptr);
  VK_RETURN_IF_ORA_ERROR(sequences_.Flush());
  if (in_unit_ && sqlite3_get_autocommit(db()) == 0) {
    // Inside a unit a commit only moves the point a rollback returns to; for the session a
    // new transaction begins all the same.
    VK_RETURN_IF_ORA_ERROR(ExecSql(db(), std::string("RELEASE ") + kUnitSavepoint));
    VK_RETURN_IF_ORA_ERROR(ExecSql(db(), std::string("SAVEPOINT ") + kUnitSavepoint));
    read_only_ = false;
    transaction_wrote_ = false;
    return RestoreSavepoints();
  }
  if (sqlite3_get_autocommit(db()) == 0) VK_RETURN_IF_ORA_ERROR(ExecSql(db(), "COMMIT"));
  VK_RETURN_IF_ORA_ERROR(Begin());
  if (in_unit_) VK_RETURN_IF_ORA_ERROR(ExecSql(db(), std::string("SAVEPOINT ") + kUnitSavepoint));
  return RestoreSavepoints();
}

OraStatus EngineConnection::Rollback() {
  DetachQueries(nullptr);
  sequences_.MarkAllDirty();
  if (in_unit_ && sqlite3_get_autocommit(db()) == 0) {
    VK_RETURN_IF_ORA_ERROR(ExecSql(db(), std::string("ROLLBACK TO ") + kUnitSavepoint));
    read_only_ = false;
    transaction_wrote_ = false;
    return RestoreSavepoints();
  }
  // Outside a unit, or after SQLite itself ended the transaction (a full disk): a new one.
  if (sqlite3_get_autocommit(db()) == 0) VK_RETURN_IF_ORA_ERROR(ExecSql(db(), "ROLLBACK"));
  VK_RETURN_IF_ORA_ERROR(Begin());
  if (in_unit_) VK_RETURN_IF_ORA_ERROR(ExecSql(db(), std::string("SAVEPOINT ") + kUnitSavepoint));
  return RestoreSavepoints();
}

int EngineConnection::BeginUnit() {
  if (!open_) return 1012;
  if (in_unit_) return 0;
  OraStatus status = Commit();
  if (status.has_value()) status = ExecSql(db(), std::string("SAVEPOINT ") + kUnitSavepoint);
  if (!status.has_value()) return status.error().code;
  in_unit_ = true;
  return 0;
}

void EngineConnection::EndUnit() {
  if (!open_ || !in_unit_) return;
  in_unit_ = false;
  // The unit's work joins the open transaction, which the next commit keeps.
  if (sqlite3_get_autocommit(db()) == 0) {
    (void)ExecSql(db(), std::string("RELEASE ") + kUnitSavepoint);
    (void)RestoreSavepoints();
  }
}

OraStatus EngineConnection::PushSavepoint(std::string_view name) {
  VK_RETURN_IF_ORA_ERROR(ExecSql(db(), "SAVEPOINT " + QuoteIdentifier(name)));
  savepoints_.emplace_back(name);
  return {};
}

OraStatus EngineConnection::RollbackToSavepoint(std::string_view name) {
  DetachQueries(nullptr);
  sequences_.MarkAllDirty();
  return ExecSql(db(), "ROLLBACK TO " + QuoteIdentifier(name));
}

OraStatus EngineConnection::ReleaseSavepoint(std::string_view name) {
  auto it = std::find(savepoints_.begin(), savepoints_.end(), name);
  if (it != savepoints_.end()) savepoints_.erase(it, savepoints_.end());
  return ExecSql(db(), "RELEASE " + QuoteIdentifier(name));
}

std::unique_ptr<db::Cursor> EngineConnection::OpenCursor(int* rc) {
  if (!open_) {
    *rc = 1012;
    return nullptr;
  }
  *rc = 0;
  return std::make_unique<EngineCursor>(this);
}

int EngineConnection::LogOff() {
  if (!open_) return 0;
  OraStatus committed = lost_ ? OraStatus(OraErr(3114, "not connected to ORACLE")) : Commit();
  in_unit_ = false;
  for (EngineCursor* cursor : cursors_) cursor->Orphan();
  cursors_.clear();
  // Commit left an empty transaction open: ending it writes nothing.
  if (committed.has_value()) committed = ExecSql(db(), "COMMIT");
  open_ = false;
  if (committed.has_value()) {
    error_text_.clear();
    return 0;
  }
  // What could not be committed is not kept, as on any session that ends without its commit.
  if (sqlite3_get_autocommit(db()) == 0) (void)ExecSql(db(), "ROLLBACK");
  error_text_ = committed.error().message;
  return committed.error().code;
}

OraError EngineConnection::CheckTransaction(OraError error) {
  if (lost_ || !open_ || sqlite3_get_autocommit(db()) == 0) return error;
  lost_ = true;
  return OraError{db::kRcSessionTerminated,
                  "ORA-00603: ORACLE server session terminated by fatal error\n" + error.message};
}

void EngineConnection::NoticeOtherSessions() {
  if (!schema_version_ || !data_version_) {
    OraResult<SqliteStatement> schema =
        SqliteStatement::Prepare(db(), "PRAGMA schema_version", true);
    OraResult<SqliteStatement> data = SqliteStatement::Prepare(db(), "PRAGMA data_version", true);
    if (!schema.has_value() || !data.has_value()) return;
    schema_version_ = std::move(*schema);
    data_version_ = std::move(*data);
  }
  // Reading the header takes the transaction's read lock, which is when SQLite looks at what
  // other sessions committed; data_version only moves then.
  (void)schema_version_.Step();
  schema_version_.Reset();
  OraResult<bool> row = data_version_.Step();
  const std::int64_t version = row.has_value() && *row ? data_version_.ColumnInt(0) : -1;
  data_version_.Reset();
  if (version == seen_data_version_) return;
  if (seen_data_version_ != -1) SchemaChanged();
  seen_data_version_ = version;
}

void EngineConnection::DetachQueries(const EngineCursor* except) {
  // A function called from SQL runs inside a step of an open query, and may only read.
  if (functions_in_sql_ > 0) return;
  for (EngineCursor* cursor : cursors_) {
    if (cursor != except) cursor->Detach();
  }
}

void EngineConnection::Unregister(EngineCursor* cursor) {
  cursors_.erase(std::remove(cursors_.begin(), cursors_.end(), cursor), cursors_.end());
}

OraError EngineConnection::MapWriteError(const OraError& error, bool is_update) const {
  std::string_view message = SqliteMessageOf(error);
  constexpr std::string_view kNotNull = "NOT NULL constraint failed: ";
  constexpr std::string_view kUnique = "UNIQUE constraint failed: ";
  if (message.starts_with(kNotNull)) {
    std::vector<ColumnRef> refs = ParseColumnRefs(message.substr(kNotNull.size()));
    if (!refs.empty()) {
      auto ref = catalog_.FindById(refs[0].table_id);
      if (ref.has_value() && ref->has_value()) {
        std::string target =
            fmt::format("(\"{}\".\"{}\".\"{}\")", (*ref)->owner, (*ref)->name, refs[0].column);
        if (is_update) return Ora(1407, fmt::format("cannot update {} to NULL", target));
        return Ora(1400, fmt::format("cannot insert NULL into {}", target));
      }
    }
  }
  if (message.starts_with(kUnique)) {
    std::vector<ColumnRef> refs = ParseColumnRefs(message.substr(kUnique.size()));
    if (!refs.empty()) {
      std::vector<std::string> columns;
      for (const ColumnRef& ref : refs) columns.push_back(ref.column);
      auto indexes = catalog_.IndexesOf(refs[0].table_id);
      if (indexes.has_value()) {
        for (const IndexInfo& index : *indexes) {
          if (index.unique && index.columns == columns) {
            return Ora(1, fmt::format("unique constraint ({}.{}) violated", index.ref.owner,
                                      index.ref.name));
          }
        }
      }
      return Ora(1, fmt::format("unique constraint ({}.SYS_C000000) violated", user_));
    }
  }
  return error;
}

}  // namespace volmek::engine
