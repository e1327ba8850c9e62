// The translator tests' fixture: a fake schema of a few tables and a SQLite database that runs
// what the translator emits.
#pragma once

#include "engine/translate/translate.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <random>
#include <set>

#include "engine/functions/functions.h"
#include "engine/storage/sqlite_handle.h"

namespace volmek::engine::translate_testing {

inline SqlType Number(std::optional<int> precision = std::nullopt,
                      std::optional<int> scale = std::nullopt) {
  SqlType type;
  type.kind = TypeKind::kNumber;
  type.length = 22;
  type.precision = precision;
  type.scale = scale;
  return type;
}

inline SqlType Text(TypeKind kind, int length) {
  SqlType type;
  type.kind = kind;
  type.length = length;
  return type;
}

inline SqlType DateType() {
  SqlType type;
  type.kind = TypeKind::kDate;
  type.length = 7;
  return type;
}

// Two tables of user SCOTT, a view and one sequence, kept as the engine core stores them.
class FakeSchema : public SchemaLookup {
 public:
  FakeSchema() {
    Add("EMP", {{"ID", Number(10, 0), false},
                {"ENAME", Text(TypeKind::kVarchar2, 20), true},
                {"SAL", Number(8, 2), true},
                {"HIRED", DateType(), true},
                {"CODE", Text(TypeKind::kChar, 3), true},
                {"DEPT_ID", Number(4, 0), true}});
    Add("DEPT", {{"ID", Number(4, 0), false}, {"NAME", Text(TypeKind::kVarchar2, 14), true}});
    Add("STATS", {{"AVG_ROW_LEN", Number(), true},
                  {"NUM_ROWS", Number(), true},
                  {"N",
                   [] {
                     SqlType type = Number();
                     type.scale = 0;
                     return type;
                   }(),
                   true}});
    TableInfo view = tables_.at("DEPT");
    view.name = "V";
    view.physical_name = "\"V\"";
    view.is_view = true;
    tables_["V"] = view;
  }

  void Add(const std::string& name, std::vector<ColumnInfo> columns) {
    TableInfo table;
    table.owner = "SCOTT";
    table.name = name;
    table.physical_name = "\"" + name + "\"";
    table.columns = std::move(columns);
    tables_[name] = std::move(table);
  }

  std::optional<TableInfo> FindTable(std::string_view name) const override {
    auto found = tables_.find(std::string(name));
    if (found == tables_.end()) return std::nullopt;
    return found->second;
  }
  bool SequenceExists(std::string_view name) const override { return name == "ID_T"; }
  std::string CurrentUser() const override { return "SCOTT"; }

  std::map<std::string, TableInfo> tables_;
};

// The physical table of `table` as the storage rules have it.
inline std::string CreateSql(const TableInfo& table) {
  std::string sql = "CREATE TABLE " + table.physical_name + " (";
  for (std::size_t idx = 0; idx < table.columns.size(); ++idx) {
    const ColumnInfo& column = table.columns[idx];
    sql += (idx == 0 ? "\"" : ", \"") + column.name + "\" TEXT";
    if (column.type.kind == TypeKind::kNumber) sql += " COLLATE VKNUM";
    if (column.type.kind == TypeKind::kChar) sql += " COLLATE RTRIM";
    if (!column.nullable) sql += " NOT NULL";
  }
  return sql + ")";
}

class TranslatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
    db_.reset(raw);
    ASSERT_TRUE(RegisterFunctions(db_.get(), &settings_).ok());
    ASSERT_TRUE(ExecSql(db_.get(), "PRAGMA case_sensitive_like = ON").has_value());
    for (const auto& [name, table] : schema_.tables_) {
      if (table.is_view) continue;
      ASSERT_TRUE(ExecSql(db_.get(), CreateSql(table)).has_value()) << name;
    }
    ASSERT_TRUE(ExecSql(db_.get(), "CREATE VIEW \"V\" AS SELECT * FROM \"DEPT\"").has_value());
    Run("insert into dept values (10, 'SALES')");
    Run("insert into dept values (20, 'ADMIN')");
    Run("insert into dept values (30, 'EMPTY')");
    Run("insert into emp values (1, 'ANA', 1200.5, '15-NOV-03', 'A', 10)");
    Run("insert into emp values (2, 'LUIS', NULL, '01-JAN-1999', 'B', 20)");
    Run("insert into emp values (3, 'EVA', 800, NULL, 'C', 10)");
    Run("insert into emp values (4, 'PEDRO', 3000, '20-FEB-05', NULL, NULL)");
  }

  OraResult<Translation> Translate(std::string_view sql) {
    return translator_.Translate(sql, schema_);
  }

  std::string Error(std::string_view sql) {
    auto translation = Translate(sql);
    return translation ? "no error: " + translation->sql : translation.error().message;
  }

  // Runs `sql`; returns its rows as "a|b" lines (NULL as NULL), or the error text.
  std::vector<std::string> Run(std::string_view sql) {
    auto translation = Translate(sql);
    if (!translation) return {translation.error().message};
    auto stmt = SqliteStatement::Prepare(db_.get(), translation->sql);
    if (!stmt) return {stmt.error().message + " in " + translation->sql};
    for (std::size_t idx = 0; idx < translation->parameters.size(); ++idx) {
      const BindValue& value = translation->parameters[idx];
      const int position = static_cast<int>(idx + 1);
      switch (value.kind) {
        case BindValue::Kind::kNull:
          stmt->BindNull(position);
          break;
        case BindValue::Kind::kInteger:
          stmt->BindInt(position, value.integer);
          break;
        case BindValue::Kind::kReal:
          stmt->BindDouble(position, value.real);
          break;
        case BindValue::Kind::kText:
          stmt->BindText(position, value.text);
          break;
      }
    }
    std::vector<std::string> rows;
    while (true) {
      auto step = stmt->Step();
      if (!step) return {step.error().message};
      if (!*step) break;
      std::string row;
      for (int col = 0; col < sqlite3_column_count(stmt->get()); ++col) {
        if (col != 0) row += "|";
        const unsigned char* text = sqlite3_column_text(stmt->get(), col);
        row += text == nullptr ? "NULL" : reinterpret_cast<const char*>(text);
      }
      rows.push_back(std::move(row));
    }
    return rows;
  }

  db::ColumnDescription Describe(std::string_view sql, std::size_t item) {
    auto translation = Translate(sql);
    EXPECT_TRUE(translation.has_value()) << (translation ? "" : translation.error().message);
    if (!translation || item >= translation->columns.size()) return {};
    return translation->columns[item];
  }

  using Rows = std::vector<std::string>;

  FakeSchema schema_;
  SessionSettings settings_;
  SqliteDb db_;
  Translator translator_;
};

// ---- describe ----

}  // namespace volmek::engine::translate_testing
