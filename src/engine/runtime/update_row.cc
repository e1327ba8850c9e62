// EngineCursor::UpdateByRowid: PL/SQL's direct path of an UPDATE keyed by a unique column, for
// the row a cursor FOR loop has just read (plsql/rowid_loops.cc).
//
// "update t set a = <value> where k = r.k", with the loop's ROWID added, translates to
//   UPDATE "t12" SET "A" = vk_store(?1, 2, 22, ...) WHERE ("t12"."K" = ?2) AND ("t12".rowid = ?3)
// and is run once per row with its literals bound again. UpdateByRowid does that work without
// the text: it stores each value as vk_store would (StoreValue with the same targets), binds the
// stored forms and the key to a plain UPDATE "t12" SET "A" = ?1 WHERE rowid = ?2 AND "K" = ?3
// prepared once per table, SET list and key, and runs it. The key, a NUMBER, is bound as its
// canonical text, which the column's VKNUM collation compares as the statement compares its
// number. Whatever it does not take (a view, a value it would store otherwise, a write SQLite
// refuses, a row that is not there) updates nothing, and the caller runs the statement, which
// answers for it.
#include <sqlite3.h>

#include <algorithm>
#include <charconv>

#include "engine/runtime/connection.h"
#include "engine/syntax/lexer.h"
#include "engine/translate/describe_infer.h"

namespace volmek::engine {

OraStatus EngineCursor::ResolveUpdateTarget(std::string_view table,
                                            std::span<const std::string> columns,
                                            std::string_view key_column) {
  EngineConnection& connection = *connection_;
  if (update_target_ != nullptr && update_target_->name == table &&
      update_target_->key_column == key_column &&
      std::equal(columns.begin(), columns.end(), update_target_->columns.begin(),
                 update_target_->columns.end()) &&
      update_target_->generation == connection.schema_generation()) {
    return {};
  }
  update_target_.reset();
  OraError refused = Ora(db::kRcUnimplemented, "unimplemented feature");
  std::optional<TableInfo> found = connection.lookup().FindTable(UpperAscii(table));
  if (!found.has_value() || found->is_view || columns.empty()) return OraErr(refused);
  auto target = std::make_unique<UpdateTarget>();
  target->name = std::string(table);
  target->columns.assign(columns.begin(), columns.end());
  target->key_column = std::string(key_column);
  target->generation = connection.schema_generation();
  target->table = std::move(*found);
  const TableInfo& info = target->table;
  auto column_of = [&info](std::string_view name) -> const ColumnInfo* {
    for (const ColumnInfo& column : info.columns) {
      if (column.name == name) return &column;
    }
    return nullptr;
  };
  std::string sql = "UPDATE " + info.physical_name + " SET ";
  for (std::size_t idx = 0; idx < columns.size(); ++idx) {
    const ColumnInfo* column = column_of(columns[idx]);
    if (column == nullptr) return OraErr(refused);
    target->stores.push_back(StoreTargetOf(info, *column));
    target->exact_numbers.push_back(column->type.kind == TypeKind::kNumber);
    if (idx > 0) sql += ", ";
    sql += QuoteName(column->name) + " = ?" + std::to_string(idx + 1);
  }
  const ColumnInfo* key = column_of(key_column);
  if (key == nullptr || key->type.kind != TypeKind::kNumber) return OraErr(refused);
  sql += " WHERE rowid = ?" + std::to_string(columns.size() + 1) + " AND " + QuoteName(key->name) +
         " = ?" + std::to_string(columns.size() + 2);
  VK_ASSIGN_OR_ORA_RETURN(target->stmt,
                          SqliteStatement::Prepare(connection.db(), sql, /*persistent=*/true));
  target->stored.resize(columns.size() + 1);
  update_target_ = std::move(target);
  return {};
}

bool EngineCursor::UpdateByRowid(std::string_view table, std::span<const std::string> columns,
                                 std::span<const plsql::NativeValue> values,
                                 std::string_view key_column, const plsql::NativeValue& key,
                                 std::int64_t rowid) {
  using Kind = plsql::NativeValue::Kind;
  if (connection_ == nullptr || connection_->lost()) return false;
  EngineConnection& connection = *connection_;
  // What the statement refuses, it refuses in its own words: DML inside a query, a read-only
  // transaction.
  if (connection.functions_in_sql() > 0 || connection.read_only()) return false;
  if (values.size() != columns.size()) return false;
  if (key.kind != Kind::kInteger && key.kind != Kind::kNumber) return false;
  CloseQuery();
  kind_ = ParsedKind::kNone;
  function_type_ = 0;
  rows_processed_ = 0;
  if (!ResolveUpdateTarget(table, columns, key_column).has_value()) return false;
  UpdateTarget& target = *update_target_;
  sqlite3_stmt* stmt = target.stmt.get();
  std::string given;
  for (std::size_t idx = 0; idx < values.size(); ++idx) {
    std::optional<SqlValue> bound =
        StatementValue(values[idx], target.stores[idx], target.exact_numbers[idx], &given);
    if (!bound.has_value()) return false;
    std::string& stored = target.stored[idx];
    OraResult<bool> has_value =
        StoreValue(*bound, target.stores[idx], connection.settings(), &stored);
    if (!has_value.has_value()) return false;
    int param = static_cast<int>(idx + 1);
    if (*has_value) {
      sqlite3_bind_text64(stmt, param, stored.data(), stored.size(), SQLITE_STATIC, SQLITE_UTF8);
    } else {
      sqlite3_bind_null(stmt, param);
    }
  }
  const int rowid_param = static_cast<int>(values.size() + 1);
  sqlite3_bind_int64(stmt, rowid_param, rowid);
  std::string& key_text = target.stored.back();
  key_text.clear();
  if (key.kind == Kind::kInteger) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, key.integer);
    key_text.assign(digits, end);
  } else {
    key.number.AppendCanonical(key_text);
  }
  sqlite3_bind_text64(stmt, rowid_param + 1, key_text.data(), key_text.size(), SQLITE_STATIC,
                      SQLITE_UTF8);
  if (!WriteBoundRow(stmt).has_value()) return false;
  if (sqlite3_changes64(connection.db()) != 1) return false;
  function_type_ = db::kFunctionUpdate;
  rows_processed_ = 1;
  return true;
}

}  // namespace volmek::engine
