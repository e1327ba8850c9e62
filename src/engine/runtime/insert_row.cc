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
#include <sqlite3.h>

#include "engine/runtime/connection.h"
#include "engine/syntax/lexer.h"
#include "engine/translate/describe_infer.h"
#include "engine/values/number.h"

namespace volmek::engine {
namespace {

OraError Unimplemented() { return Ora(db::kRcUnimplemented, "unimplemented feature"); }

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

}  // namespace

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
    const ColumnInfo& column = info.columns[idx];
    if (idx > 0) {
      columns += ", ";
      parameters += ", ";
    }
    columns += QuoteName(column.name);
    parameters += "?" + std::to_string(idx + 1);
    // What the translation passes vk_store for this column.
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
    target->stores.push_back(store);
    target->exact_numbers.push_back(column.type.kind == TypeKind::kNumber);
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
