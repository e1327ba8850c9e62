// EngineCursor::InsertRow: the direct path of loads.
//
// "insert into T values (1,'A',NULL)" translates to
//   INSERT INTO "t12" ("ID", "NOMBRE", "FECHA") VALUES (vk_store(?1, 2, 22, ...), vk_store(?2,
//   ...), ...)
// with each literal bound as SetNumberParameter or the string literal rules give it. InsertRow
// does the same work without the text: it binds each value as the statement would, applies
// StoreValue (the function behind vk_store) itself, in column order, and binds the stored forms
// to a plain INSERT INTO "t12" ("ID", ...) VALUES (?1, ...) prepared once per table. Whatever it
// does not take (a name that is not a plain identifier, a view, a value that is no literal)
// fails before anything is written, and the caller runs the statement, which answers for it.
//
// OpenRowConverter splits that work in two for a load that converts on another thread: the
// converter does the binding and StoreValue with copies of the column targets and of the
// session settings, and InsertConverted binds its stored forms and writes them, after checking
// that the schema and the settings are still those the converter was made under. It writes
// one row, or group_rows rows with one statement of as many value lists: SQLite's work that
// comes once per statement (opening the table, finding its last row, ending the statement) is
// then shared by the group, and the group is written whole or, like any statement that fails,
// not at all.
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "engine/runtime/connection.h"
#include "engine/syntax/lexer.h"
#include "engine/translate/describe_infer.h"
#include "engine/values/date.h"
#include "engine/values/number.h"

namespace volmek::engine {
namespace {

OraError Unimplemented() { return Ora(db::kRcUnimplemented, "unimplemented feature"); }

// Rows per group statement: enough to make SQLite's work per statement small beside the rows,
// and within the parameters any SQLite build takes (32,766 since 3.32).
std::size_t GroupRows(std::size_t columns) {
  constexpr std::size_t kGroupRows = 64;
  constexpr std::size_t kMaxParameters = 32766;
  if (columns == 0) return 1;
  return std::max<std::size_t>(1, std::min(kGroupRows, kMaxParameters / columns));
}

bool IsPlainName(std::string_view name) {
  if (name.empty() || name.size() > 30) return false;
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (!letter(name.front())) return false;
  for (char c : name) {
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '_' && c != '$' && c != '#') return false;
  }
  return true;
}

// The value vk_store receives for `value`, as SQLite hands a bound parameter over; for a
// NUMBER column (`exact_number`) a short canonical decimal is handed over as its text, which
// StoreValue stores as it stands: the REAL a statement binds for it is that same decimal, which
// StoreValue would first have to write back as text.
OraResult<SqlValue> BoundValue(const db::RowValue& value, bool exact_number, BindValue* number) {
  switch (value.kind) {
    case db::RowValue::Kind::kNull:
      return SqlValue::Null();
    case db::RowValue::Kind::kText:
      return value.text.empty() ? SqlValue::Null() : SqlValue::Text(value.text);
    case db::RowValue::Kind::kNumber:
      break;
  }
  std::string_view text = value.text;
  const bool negate = !text.empty() && text.front() == '-';
  if (negate) text.remove_prefix(1);
  if (text.empty() || text.front() < '0' || text.front() > '9') return OraErr(Unimplemented());
  // The same bounds as SetNumberParameter's REAL: at most 15 significant digits, which the
  // double holds exactly.
  constexpr std::size_t kPlainDecimalText = 16;
  if (exact_number && text.size() <= kPlainDecimalText &&
      text.find('.') != std::string_view::npos && IsCanonicalNumberText(text)) {
    return SqlValue::Text(value.text);
  }
  VK_RETURN_IF_ORA_ERROR(SetNumberParameter(text, negate, number));
  switch (number->kind) {
    case BindValue::Kind::kNull:
      return SqlValue::Null();
    case BindValue::Kind::kInteger:
      return SqlValue::Integer(number->integer);
    case BindValue::Kind::kReal:
      return SqlValue::Real(number->real);
    case BindValue::Kind::kText:
      return SqlValue::Text(number->text);
  }
  return OraErr(Unimplemented());
}

// What vk_store is given for each column of `info`; the targets point into `info`.
void AddStoreTargets(const TableInfo& info, std::vector<StoreTarget>* stores,
                     std::vector<bool>* exact_numbers) {
  for (const ColumnInfo& column : info.columns) {
    stores->push_back(StoreTargetOf(info, column));
    exact_numbers->push_back(column.type.kind == TypeKind::kNumber);
  }
}

// The converter of EngineCursor::OpenRowConverter. Everything it reads is its own copy; only
// `number_` and `stored_` change, and only Convert (one thread) touches them.
class EngineRowConverter final : public db::RowConverter {
 public:
  EngineRowConverter(const EngineCursor* cursor, std::string name, std::uint64_t generation,
                     const TableInfo& table, const SessionSettings& settings)
      : cursor_(cursor),
        name_(std::move(name)),
        generation_(generation),
        table_(table),
        settings_(settings) {
    AddStoreTargets(table_, &stores_, &exact_numbers_);
  }
  EngineRowConverter(const EngineRowConverter&) = delete;
  EngineRowConverter& operator=(const EngineRowConverter&) = delete;

  bool Convert(std::span<const db::RowValue> values, db::ConvertedRows& out) override {
    if (values.size() != stores_.size()) return false;
    const std::size_t bytes_before = out.bytes.size();
    const std::size_t values_before = out.values.size();
    for (std::size_t idx = 0; idx < values.size(); ++idx) {
      OraResult<SqlValue> bound = BoundValue(values[idx], exact_numbers_[idx], &number_);
      OraResult<bool> has_value = bound.has_value()
                                      ? StoreValue(*bound, stores_[idx], settings_, &stored_)
                                      : OraResult<bool>(std::unexpected(bound.error()));
      if (!has_value.has_value()) {
        // The row goes by InsertRow, whose statement reports the error.
        out.bytes.resize(bytes_before);
        out.values.resize(values_before);
        return false;
      }
      db::ConvertedRows::Value value;
      value.offset = out.bytes.size();
      value.is_null = !*has_value;
      if (*has_value) {
        out.bytes.append(stored_);
        value.size = stored_.size();
      }
      out.values.push_back(value);
    }
    return true;
  }

  const EngineCursor* cursor() const { return cursor_; }
  const std::string& name() const { return name_; }
  std::uint64_t generation() const { return generation_; }
  const SessionSettings& settings() const { return settings_; }
  std::size_t column_count() const { return stores_.size(); }
  std::size_t group_rows() const override { return GroupRows(stores_.size()); }

 private:
  const EngineCursor* cursor_;
  std::string name_;          // as OpenRowConverter was given it
  std::uint64_t generation_;  // the schema generation it was made under
  TableInfo table_;
  SessionSettings settings_;  // what StoreValue reads, as they were when it was made
  std::vector<StoreTarget> stores_;
  std::vector<bool> exact_numbers_;
  BindValue number_;
  std::string stored_;
};

}  // namespace

StoreTarget StoreTargetOf(const TableInfo& info, const ColumnInfo& column) {
  StoreTarget store;
  store.type_code = column.type.TypeCode();
  store.length = column.type.length;
  store.char_semantics = column.type.char_semantics;
  if (column.type.kind != TypeKind::kFloat) {
    store.precision = column.type.precision;
    store.scale = column.type.scale;
  }
  store.owner = info.owner;
  store.table = info.name;
  store.column = column.name;
  return store;
}

int EngineCursor::InsertRow(std::string_view table, std::span<const db::RowValue> values) {
  if (connection_ == nullptr) return Fail(Ora(1012, "not logged on"));
  if (connection_->lost()) return Fail(Ora(db::kRcNotConnected, "not connected to ORACLE"));
  CloseQuery();
  kind_ = ParsedKind::kNone;
  function_type_ = 0;
  rows_processed_ = 0;
  OraStatus status = InsertRowInto(table, values);
  if (!status.has_value()) return Fail(status.error());
  function_type_ = db::kFunctionInsert;
  rows_processed_ = 1;
  return Succeed();
}

OraStatus EngineCursor::ResolveRowTarget(std::string_view table) {
  EngineConnection& connection = *connection_;
  if (row_target_ != nullptr && row_target_->name == table &&
      row_target_->generation == connection.schema_generation()) {
    return {};
  }
  row_target_.reset();
  // Owner-qualified and quoted names, and names that resolve to views, are left to the
  // statement.
  if (!IsPlainName(table)) return OraErr(Unimplemented());
  std::optional<TableInfo> found = connection.lookup().FindTable(UpperAscii(table));
  if (!found.has_value() || found->is_view || found->columns.empty()) {
    return OraErr(Unimplemented());
  }
  auto target = std::make_unique<RowTarget>();
  target->name = std::string(table);
  target->generation = connection.schema_generation();
  target->table = std::move(*found);
  const TableInfo& info = target->table;
  std::string columns;
  std::string parameters;
  for (std::size_t idx = 0; idx < info.columns.size(); ++idx) {
    if (idx > 0) {
      columns += ", ";
      parameters += ", ";
    }
    columns += QuoteName(info.columns[idx].name);
    parameters += "?" + std::to_string(idx + 1);
  }
  // What the translation passes vk_store for each column.
  AddStoreTargets(info, &target->stores, &target->exact_numbers);
  target->group_rows = GroupRows(info.columns.size());
  if (target->group_rows > 1) {
    std::string lists;
    std::size_t param = 0;
    for (std::size_t row = 0; row < target->group_rows; ++row) {
      lists += row == 0 ? "(" : ", (";
      for (std::size_t idx = 0; idx < info.columns.size(); ++idx) {
        if (idx > 0) lists += ", ";
        lists += "?" + std::to_string(++param);
      }
      lists += ")";
    }
    std::string group_sql =
        "INSERT INTO " + info.physical_name + " (" + columns + ") VALUES " + lists;
    VK_ASSIGN_OR_ORA_RETURN(target->group_stmt, SqliteStatement::Prepare(connection.db(), group_sql,
                                                                         /*persistent=*/true));
  }
  target->stored.resize(info.columns.size());
  std::string sql =
      "INSERT INTO " + info.physical_name + " (" + columns + ") VALUES (" + parameters + ")";
  VK_ASSIGN_OR_ORA_RETURN(target->stmt,
                          SqliteStatement::Prepare(connection.db(), sql, /*persistent=*/true));
  row_target_ = std::move(target);
  return {};
}

OraStatus EngineCursor::InsertRowInto(std::string_view table,
                                      std::span<const db::RowValue> values) {
  EngineConnection& connection = *connection_;
  VK_RETURN_IF_ORA_ERROR(ResolveRowTarget(table));
  RowTarget& target = *row_target_;
  if (connection.read_only()) {
    return OraErr(1456,
                  "may not perform insert/delete/update operation inside a READ ONLY "
                  "transaction");
  }
  if (values.size() > target.stores.size()) return OraErr(913, "too many values");
  if (values.size() < target.stores.size()) return OraErr(947, "not enough values");
  sqlite3_stmt* stmt = target.stmt.get();
  for (std::size_t idx = 0; idx < values.size(); ++idx) {
    VK_ASSIGN_OR_ORA_RETURN(SqlValue bound,
                            BoundValue(values[idx], target.exact_numbers[idx], &target.number));
    std::string& stored = target.stored[idx];
    VK_ASSIGN_OR_ORA_RETURN(bool has_value,
                            StoreValue(bound, target.stores[idx], connection.settings(), &stored));
    int param = static_cast<int>(idx + 1);
    if (has_value) {
      sqlite3_bind_text64(stmt, param, stored.data(), stored.size(), SQLITE_STATIC, SQLITE_UTF8);
    } else {
      sqlite3_bind_null(stmt, param);
    }
  }
  return WriteBoundRow(stmt);
}

std::optional<SqlValue> EngineCursor::StatementValue(const plsql::NativeValue& value,
                                                     const StoreTarget& store, bool exact_number,
                                                     std::string* given) {
  using Kind = plsql::NativeValue::Kind;
  // What vk_store receives from the statement for the value: an integer of fewer than 19
  // digits as INTEGER, any other number as its exact decimal (only for a NUMBER column, which
  // stores that decimal however it comes), a text as TEXT, a date in its stored form (only for
  // a DATE column).
  constexpr std::int64_t kPlainInteger = 1'000'000'000'000'000'000;
  switch (value.kind) {
    case Kind::kNull:
      return SqlValue::Null();
    case Kind::kText:
      return SqlValue::Text(value.text);
    case Kind::kInteger:
      if (value.integer < kPlainInteger && value.integer > -kPlainInteger) {
        return SqlValue::Integer(value.integer);
      }
      if (!exact_number) return std::nullopt;
      *given = std::to_string(value.integer);
      return SqlValue::Text(*given);
    case Kind::kNumber:
      if (!exact_number) return std::nullopt;
      given->clear();
      value.number.AppendCanonical(*given);
      return SqlValue::Text(*given);
    case Kind::kDate:
      if (store.type_code != db::kTypeDate) return std::nullopt;
      given->clear();
      AppendStoredText(value.date, *given);
      return SqlValue::Text(*given);
  }
  return std::nullopt;
}

bool EngineCursor::InsertValues(std::string_view table,
                                std::span<const plsql::NativeValue> values) {
  if (!StartDirectInsert(table)) return false;
  RowTarget& target = *row_target_;
  if (values.size() != target.stores.size()) return false;
  if (!BindNativeRows(values, target.stmt.get(), target.stored)) return false;
  if (!WriteBoundRow(target.stmt.get()).has_value()) return false;
  function_type_ = db::kFunctionInsert;
  rows_processed_ = 1;
  return true;
}

std::size_t EngineCursor::InsertGroupRows(std::string_view table) {
  if (!StartDirectInsert(table)) return 0;
  return row_target_->group_rows > 1 ? row_target_->group_rows : 0;
}

bool EngineCursor::InsertValuesGroup(std::string_view table,
                                     std::span<const plsql::NativeValue> values) {
  if (!StartDirectInsert(table)) return false;
  RowTarget& target = *row_target_;
  if (target.group_rows < 2 || values.size() != target.group_rows * target.stores.size()) {
    return false;
  }
  target.group_stored.resize(values.size());
  if (!BindNativeRows(values, target.group_stmt.get(), target.group_stored)) return false;
  // The group is one statement: a row SQLite refuses undoes the rows before it.
  if (!WriteBoundRow(target.group_stmt.get()).has_value()) return false;
  function_type_ = db::kFunctionInsert;
  rows_processed_ = target.group_rows;
  return true;
}

bool EngineCursor::StartDirectInsert(std::string_view table) {
  if (connection_ == nullptr || connection_->lost()) return false;
  // What the statement refuses, it refuses in its own words: DML inside a query, a read-only
  // transaction.
  if (connection_->functions_in_sql() > 0 || connection_->read_only()) return false;
  CloseQuery();
  kind_ = ParsedKind::kNone;
  function_type_ = 0;
  rows_processed_ = 0;
  return ResolveRowTarget(table).has_value();
}

bool EngineCursor::BindNativeRows(std::span<const plsql::NativeValue> values, sqlite3_stmt* stmt,
                                  std::vector<std::string>& stored) {
  RowTarget& target = *row_target_;
  const std::size_t columns = target.stores.size();
  std::string given;
  for (std::size_t idx = 0; idx < values.size(); ++idx) {
    const std::size_t column = idx % columns;
    std::optional<SqlValue> bound =
        StatementValue(values[idx], target.stores[column], target.exact_numbers[column], &given);
    if (!bound.has_value()) return false;
    OraResult<bool> has_value =
        StoreValue(*bound, target.stores[column], connection_->settings(), &stored[idx]);
    if (!has_value.has_value()) return false;
    int param = static_cast<int>(idx + 1);
    if (*has_value) {
      sqlite3_bind_text64(stmt, param, stored[idx].data(), stored[idx].size(), SQLITE_STATIC,
                          SQLITE_UTF8);
    } else {
      sqlite3_bind_null(stmt, param);
    }
  }
  return true;
}

std::unique_ptr<db::RowConverter> EngineCursor::OpenRowConverter(std::string_view table) {
  if (connection_ == nullptr || connection_->lost()) return nullptr;
  if (!ResolveRowTarget(table).has_value()) return nullptr;
  return std::make_unique<EngineRowConverter>(this, row_target_->name, row_target_->generation,
                                              row_target_->table, connection_->settings());
}

int EngineCursor::InsertConverted(const db::RowConverter& converter, const db::ConvertedRows& rows,
                                  std::size_t first, std::size_t count) {
  if (connection_ == nullptr) return Fail(Ora(1012, "not logged on"));
  if (connection_->lost()) return Fail(Ora(db::kRcNotConnected, "not connected to ORACLE"));
  CloseQuery();
  kind_ = ParsedKind::kNone;
  function_type_ = 0;
  rows_processed_ = 0;
  OraStatus status = InsertConvertedInto(converter, rows, first, count);
  if (!status.has_value()) return Fail(status.error());
  function_type_ = db::kFunctionInsert;
  rows_processed_ = count;
  return Succeed();
}

OraStatus EngineCursor::InsertConvertedInto(const db::RowConverter& any_converter,
                                            const db::ConvertedRows& rows, std::size_t first,
                                            std::size_t count) {
  const auto* converter = dynamic_cast<const EngineRowConverter*>(&any_converter);
  if (converter == nullptr || converter->cursor() != this) return OraErr(Unimplemented());
  EngineConnection& connection = *connection_;
  VK_RETURN_IF_ORA_ERROR(ResolveRowTarget(converter->name()));
  RowTarget& target = *row_target_;
  // Stored forms made for another schema or under other settings are not this row's.
  if (target.generation != converter->generation() ||
      !(connection.settings() == converter->settings()) ||
      converter->column_count() != target.stores.size()) {
    return OraErr(Unimplemented());
  }
  const std::size_t columns = target.stores.size();
  if ((count != 1 && count != target.group_rows) || first > rows.values.size() ||
      count * columns > rows.values.size() - first) {
    return OraErr(Unimplemented());
  }
  if (connection.read_only()) {
    return OraErr(1456,
                  "may not perform insert/delete/update operation inside a READ ONLY "
                  "transaction");
  }
  sqlite3_stmt* stmt = count == 1 ? target.stmt.get() : target.group_stmt.get();
  for (std::size_t idx = 0; idx < count * columns; ++idx) {
    const db::ConvertedRows::Value& value = rows.values[first + idx];
    int param = static_cast<int>(idx + 1);
    if (value.is_null) {
      sqlite3_bind_null(stmt, param);
    } else {
      sqlite3_bind_text64(stmt, param, rows.bytes.data() + value.offset, value.size, SQLITE_STATIC,
                          SQLITE_UTF8);
    }
  }
  return WriteBoundRow(stmt);
}

OraStatus EngineCursor::WriteBoundRow(sqlite3_stmt* stmt) {
  EngineConnection& connection = *connection_;
  connection.DetachQueries(this);
  connection.MarkTransactionWrote();
  connection.sequences().StartStatement();
  // Sequence values taken before reach the catalogue first, as after every statement; a
  // failure here must come before the row is written.
  VK_RETURN_IF_ORA_ERROR(connection.FlushSequences());
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
    OraError error = ErrorFromSqlite(connection.db(), rc);
    sqlite3_reset(stmt);
    return OraErr(connection.MapWriteError(error, /*is_update=*/false));
  }
  sqlite3_reset(stmt);
  return {};
}

}  // namespace volmek::engine
