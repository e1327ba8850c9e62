#include "engine/runtime/plsql_session.h"

#include <fmt/format.h>

#include "engine/plsql/host.h"
#include "engine/runtime/connection.h"
#include "engine/runtime/stored_packages.h"
#include "engine/runtime/stored_units.h"
#include "engine/values/date.h"

namespace volmek::engine {
namespace {

OraError CursorError(const EngineCursor& cursor, int rc) {
  return OraError{rc, cursor.ErrorText()};
}

// One engine cursor, its rows delivered as PL/SQL values.
class SessionCursor : public plsql::SqlCursor {
 public:
  explicit SessionCursor(EngineConnection* connection) : cursor_(connection) {
    cursor_.DeliverStoredDates(true);
    cursor_.KeepLiteralOffsets(true);
  }

  OraStatus Parse(std::string_view sql) override {
    columns_.clear();
    if (int rc = cursor_.Parse(sql); rc != 0) return OraErr(CursorError(cursor_, rc));
    if (!is_query()) return {};
    for (int position = 1;; ++position) {
      db::ColumnDescription column;
      if (cursor_.Describe(position, &column) != 0) break;
      bool number = column.db_type == db::kTypeNumber;
      cursor_.Define(position, number ? db::ExternalType::kFloat : db::ExternalType::kString);
      columns_.push_back(std::move(column));
    }
    return {};
  }

  OraStatus Execute() override {
    if (int rc = cursor_.Execute(); rc != 0) return OraErr(CursorError(cursor_, rc));
    return {};
  }

  bool is_query() const override { return cursor_.function_type() == db::kFunctionSelect; }

  std::vector<db::ColumnDescription> Columns() override { return columns_; }

  OraResult<bool> Fetch(std::vector<plsql::Value>* row) override {
    int rc = cursor_.FetchStored(&stored_);
    if (rc == db::kRcNoData) return false;
    if (rc != 0) return OraErr(CursorError(cursor_, rc));
    row->resize(columns_.size());
    for (std::size_t i = 0; i < columns_.size() && i < stored_.size(); ++i) {
      VK_RETURN_IF_ORA_ERROR(FromStored(stored_[i], columns_[i].db_type, &(*row)[i]));
    }
    return true;
  }

  std::uint64_t rows_processed() const override { return cursor_.rows_processed(); }

  void Close() override { cursor_.Close(); }

  std::vector<std::size_t> LiteralOffsets() const override { return cursor_.literal_offsets(); }

  OraResult<bool> RebindLiterals(std::span<const plsql::LiteralText> changes) override {
    changes_.clear();
    for (const plsql::LiteralText& change : changes) {
      changes_.push_back({change.slot, change.text, change.is_string});
    }
    return cursor_.RebindLiterals(changes_);
  }

  bool InsertValues(std::string_view table, std::span<const plsql::NativeValue> values) override {
    return cursor_.InsertValues(table, values);
  }

  std::size_t InsertGroupRows(std::string_view table) override {
    return cursor_.InsertGroupRows(table);
  }

  bool InsertValuesGroup(std::string_view table,
                         std::span<const plsql::NativeValue> values) override {
    return cursor_.InsertValuesGroup(table, values);
  }

  bool UpdateByRowid(std::string_view table, std::span<const std::string> columns,
                     std::span<const plsql::NativeValue> values, std::string_view key_column,
                     const plsql::NativeValue& key, std::int64_t rowid) override {
    return cursor_.UpdateByRowid(table, columns, values, key_column, key, rowid);
  }

 private:
  // The value of a column of type `db_type` stored as `stored`, as Fetch delivers it defined as
  // a number (NUMBER) or as text (the rest, dates in their stored form) and the block reads
  // that: a number exact, a date whole.
  static OraStatus FromStored(const SqlValue& stored, std::int16_t db_type, plsql::Value* value) {
    using Kind = SqlValue::Kind;
    if (stored.kind == Kind::kNull ||
        (stored.kind != Kind::kInteger && stored.kind != Kind::kReal && stored.text.empty())) {
      *value = plsql::Value::Null();
      return {};
    }
    if (db_type == db::kTypeNumber) {
      Decimal number;
      if (stored.kind == Kind::kInteger) {
        number = Decimal::FromInt64(stored.integer);
      } else if (stored.kind == Kind::kReal) {
        VK_ASSIGN_OR_ORA_RETURN(number, Decimal::FromDouble(stored.real));
      } else {
        VK_ASSIGN_OR_ORA_RETURN(number, Decimal::Parse(stored.text));
      }
      *value = plsql::Value::Number(number);
      return {};
    }
    std::string text;
    if (stored.kind == Kind::kInteger) {
      text = fmt::format("{}", stored.integer);
    } else if (stored.kind == Kind::kReal) {
      OraResult<Decimal> decimal = Decimal::FromDouble(stored.real);
      text = decimal.has_value() ? decimal->ToOracleText() : fmt::format("{}", stored.real);
    } else {
      text.assign(stored.text);
    }
    if (db_type == db::kTypeDate) {
      if (std::optional<Date> date = ParseStoredText(text)) {
        *value = plsql::Value::FromDate(*date);
        return {};
      }
    }
    *value = plsql::Value::Text(std::move(text));
    return {};
  }

  EngineCursor cursor_;
  std::vector<db::ColumnDescription> columns_;
  std::vector<SqlValue> stored_;  // the row FetchStored last gave
  std::vector<Translator::LiteralChange> changes_;
};

class SessionHost : public plsql::Host {
 public:
  explicit SessionHost(EngineConnection& connection) : connection_(connection) {}

  std::unique_ptr<plsql::SqlCursor> OpenCursor() override {
    return std::make_unique<SessionCursor>(&connection_);
  }
  const SchemaLookup& schema() const override { return connection_.lookup(); }
  std::string date_format() const override { return connection_.settings().nls_date_format; }
  Date CurrentDate() const override {
    const std::optional<Date>& fixed = connection_.settings().fixed_sysdate;
    return fixed ? *fixed : Now();
  }
  plsql::DbmsOutput& output() override { return connection_.dbms_output(); }
  const plsql::RunOptions& options() const override { return connection_.plsql_options(); }
  std::uint64_t schema_generation() const override { return connection_.schema_generation(); }
  std::shared_ptr<const plsql::StoredUnit> FindUnit(
      const std::vector<std::string>& names) override {
    return FindStoredUnit(connection_, names);
  }
  std::shared_ptr<const plsql::StoredPackage> FindPackage(
      const std::vector<std::string>& names) override {
    return FindStoredPackage(connection_, names);
  }
  std::shared_ptr<plsql::PackageInstance> PackageState(
      const std::vector<std::string>& names) override {
    return PackageStateOf(connection_, names);
  }

 private:
  EngineConnection& connection_;
};

}  // namespace

std::unique_ptr<plsql::Host> MakeSessionHost(EngineConnection& connection) {
  return std::make_unique<SessionHost>(connection);
}

OraStatus CheckBlock(EngineConnection& connection, std::string_view sql) {
  SessionHost host(connection);
  return plsql::CheckBlock(host, sql);
}

OraStatus RunBlock(EngineConnection& connection, std::string_view sql,
                   const std::vector<std::pair<std::string, db::BindVariable*>>& binds) {
  static constexpr std::string_view kSavepoint = "vk_plsql_block";
  VK_RETURN_IF_ORA_ERROR(connection.PushSavepoint(kSavepoint));
  SessionHost host(connection);
  std::vector<plsql::HostVariable> variables;
  variables.reserve(binds.size());
  for (const auto& [name, variable] : binds) variables.push_back({name, variable});
  OraStatus status = plsql::RunBlock(host, sql, variables);
  if (!status.has_value()) {
    (void)connection.RollbackToSavepoint(kSavepoint);
    (void)connection.ReleaseSavepoint(kSavepoint);
    return status;
  }
  return connection.ReleaseSavepoint(kSavepoint);
}

}  // namespace volmek::engine
