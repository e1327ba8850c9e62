// Emitter: MERGE and INSERT ALL|FIRST, written as several SQLite statements that run as one.
//
// MERGE copies its source rows into a temporary table, pairs each with the target rows the ON
// condition matches (noting whether the update's WHERE lets the pair through, on the values as
// they were), and then updates the paired rows, deletes the updated ones the DELETE WHERE names
// (on their new values) and inserts the source rows left without a pair. Working from the copy
// and the pairs, each step sees the rows as the statement found them: an inserted row is never
// updated, a deleted one never inserted again.
#include "engine/translate/emitter_internal.h"

namespace volmek::engine::emitter_internal {
namespace {

constexpr std::string_view kMergeSource = "\"__vk_merge_source\"";
constexpr std::string_view kMergePairs = "\"__vk_merge_pairs\"";
constexpr std::string_view kMultiSource = "\"__vk_insert_source\"";
// The column of a copy that tells its rows apart.
constexpr std::string_view kCopyRow = "\"__vk_row\"";

void DropTemporary(std::string_view table, std::vector<Translation::Step>* steps) {
  steps->push_back({"DROP TABLE IF EXISTS temp." + std::string(table), false});
}

// The target columns a condition names (through the target's name or unqualified).
void TargetColumnsOf(const Expr& expr, const Source& target, std::vector<std::string>* out) {
  if (expr.kind == ExprKind::kColumn && (expr.qualifier.empty() || expr.qualifier == target.name)) {
    for (const ColumnInfo& column : target.columns) {
      if (column.name == expr.name) out->push_back(column.name);
    }
  }
  for (const auto& arg : expr.args) TargetColumnsOf(*arg, target, out);
}

}  // namespace

OraResult<Source> Emitter::CopiedSource(const ast::FromItem& item, std::string_view table,
                                        std::vector<Translation::Step>* steps) {
  Scope scope;
  VK_RETURN_IF_ORA_ERROR(ResolveFrom(item, &scope, nullptr));
  Source source = std::move(scope.sources[0]);
  std::vector<std::string> values;
  for (const ColumnInfo& column : source.columns) {
    values.push_back(source.sql_alias + "." + QuoteName(column.name));
  }
  VK_RETURN_IF_ORA_ERROR(CopyRows(SourceSql(source), values, table, &source, steps));
  return source;
}

OraStatus Emitter::CopyRows(const std::string& from, const std::vector<std::string>& values,
                            std::string_view table, Source* source,
                            std::vector<Translation::Step>* steps) {
  std::string names;
  std::string select;
  std::string reads;
  for (std::size_t idx = 0; idx < source->columns.size(); ++idx) {
    const std::string name = QuoteName(source->columns[idx].name);
    for (std::size_t other = 0; other < idx; ++other) {
      if (source->columns[other].name == source->columns[idx].name) {
        return OraErr(918, "column ambiguously defined");
      }
    }
    names += (idx == 0 ? "" : ", ") + name;
    select += (idx == 0 ? "" : ", ") + values[idx];
    // "+column" has no affinity, as a value read through an inline view: compared with a
    // stored column it takes that column's.
    reads += "+" + name + " AS " + name + ", ";
  }
  // No declared types: the values keep the forms they travel in.
  DropTemporary(table, steps);
  steps->push_back({"CREATE TEMP TABLE " + std::string(table) + " (" + names + ")", false});
  steps->push_back(
      {"INSERT INTO temp." + std::string(table) + " SELECT " + select + " FROM " + from, false});
  source->physical = "(SELECT " + reads + "rowid AS " + std::string(kCopyRow) + " FROM temp." +
                     std::string(table) + ")";
  source->has_rowid = false;
  source->stored = false;
  source->outer = false;
  return {};
}

OraStatus Emitter::Merge(const ast::Merge& merge, Translation* translation) {
  VK_ASSIGN_OR_ORA_RETURN(Source target, Target(merge.target, translation, false));
  std::vector<Translation::Step>& steps = translation->steps;
  VK_ASSIGN_OR_ORA_RETURN(Source source, CopiedSource(*merge.source, kMergeSource, &steps));
  if (source.name == target.name) return OraErr(918, "column ambiguously defined");
  const std::string pairs(kMergePairs);

  Scope both;
  both.sources.push_back(target);
  both.sources.push_back(source);
  const bool params = !options_.inline_literals;
  Ctx ctx{&both, params, false, {}};
  VK_ASSIGN_OR_ORA_RETURN(Out on, Condition(*merge.on, ctx));
  std::string passes = "1";
  if (merge.update_where != nullptr) {
    VK_ASSIGN_OR_ORA_RETURN(Out where, Condition(*merge.update_where, ctx));
    passes = "CASE WHEN " + where.sql + " THEN 1 ELSE 0 END";
  }
  DropTemporary(kMergePairs, &steps);
  steps.push_back({"CREATE TEMP TABLE " + pairs + " (\"T\", \"S\", \"U\")", false});
  const std::string source_row = source.sql_alias + "." + std::string(kCopyRow);
  steps.push_back({"INSERT INTO temp." + pairs + " SELECT " + target.sql_alias + ".rowid, " +
                       source_row + ", " + passes + " FROM " + SourceSql(target) + ", " +
                       SourceSql(source) + " WHERE " + on.sql,
                   false});
  const std::string pair_of_target = "\"__m\".\"T\" = " + target.sql_alias + ".rowid";
  const std::string pair_source = SourceSql(source) + " ON " + source_row + " = \"__m\".\"S\"";

  if (merge.matched) {
    // A target row paired with two source rows would be updated twice.
    steps.push_back(
        {"SELECT vk_error(30926, 'unable to get a stable set of rows in the source "
         "tables') FROM temp." +
             pairs + " WHERE \"U\" = 1 GROUP BY \"T\" HAVING count(*) > 1",
         false});
    std::vector<std::size_t> set_columns;
    VK_ASSIGN_OR_ORA_RETURN(std::string sets, SetList(merge.set, target, ctx, &set_columns));
    std::vector<std::string> on_columns;
    TargetColumnsOf(*merge.on, target, &on_columns);
    for (std::size_t idx : set_columns) {
      const std::string& name = target.columns[idx].name;
      if (std::find(on_columns.begin(), on_columns.end(), name) != on_columns.end()) {
        return OraErr(38104, "Columns referenced in the ON Clause cannot be updated: " +
                                 QuoteName(target.name) + "." + QuoteName(name));
      }
    }
    steps.push_back({"UPDATE " + SourceSql(target) + " SET " + sets + " FROM temp." + pairs +
                         " AS \"__m\" JOIN " + pair_source + " WHERE " + pair_of_target +
                         " AND \"__m\".\"U\" = 1",
                     true});
    if (merge.delete_where != nullptr) {
      // The rows the update changed, as they are now.
      VK_ASSIGN_OR_ORA_RETURN(Out remove, Condition(*merge.delete_where, ctx));
      steps.push_back({"DELETE FROM " + SourceSql(target) + " WHERE EXISTS (SELECT 1 FROM temp." +
                           pairs + " AS \"__m\" JOIN " + pair_source + " WHERE " + pair_of_target +
                           " AND \"__m\".\"U\" = 1 AND " + remove.sql + ")",
                       false});
    }
  }

  if (merge.not_matched) {
    std::vector<std::size_t> columns;
    VK_RETURN_IF_ORA_ERROR(InsertColumns(target, merge.insert_columns, &columns));
    if (merge.insert_values.size() > columns.size()) return OraErr(913, "too many values");
    if (merge.insert_values.size() < columns.size()) return OraErr(947, "not enough values");
    // The values and the condition see the source row alone.
    Scope own;
    own.sources.push_back(source);
    Ctx insert_ctx{&own, params, false, {}};
    std::string names;
    std::string values;
    for (std::size_t idx = 0; idx < columns.size(); ++idx) {
      const ColumnInfo& column = target.columns[columns[idx]];
      VK_ASSIGN_OR_ORA_RETURN(std::string value,
                              ColumnValue(*merge.insert_values[idx], column, target, insert_ctx));
      names += (idx == 0 ? "" : ", ") + QuoteName(column.name);
      values += (idx == 0 ? "" : ", ") + value;
    }
    std::string sql = "INSERT INTO " + target.physical + " (" + names + ") SELECT " + values +
                      " FROM " + SourceSql(source) + " WHERE " + source_row +
                      " NOT IN (SELECT \"S\" FROM temp." + pairs + ")";
    if (merge.insert_where != nullptr) {
      VK_ASSIGN_OR_ORA_RETURN(Out where, Condition(*merge.insert_where, insert_ctx));
      sql += " AND " + where.sql;
    }
    steps.push_back({std::move(sql), true});
  }
  DropTemporary(kMergePairs, &steps);
  DropTemporary(kMergeSource, &steps);
  return {};
}

OraStatus Emitter::MultiInsert(const ast::MultiInsert& insert, Translation* translation) {
  std::vector<Translation::Step>& steps = translation->steps;
  // The subquery's rows are read once, whatever the INTO clauses do with them. A multitable
  // insert takes no sequence anywhere.
  const int sequences_before = sequence_references_;
  VK_ASSIGN_OR_ORA_RETURN(QueryOut query, Query(*insert.query, nullptr, false));
  bool sequence = sequence_references_ != sequences_before;
  for (const ast::MultiInsert::Branch& branch : insert.branches) {
    if (branch.when != nullptr) sequence = sequence || ContainsSequence(*branch.when);
    for (const ast::InsertInto& into : branch.intos) {
      for (const auto& value : into.values) sequence = sequence || ContainsSequence(*value);
    }
  }
  if (sequence) return OraErr(2287, "sequence number not allowed here");
  Source source;
  source.name = "";
  source.sql_alias = QuoteName("__vk_rows");
  std::vector<std::string> values;
  for (const Item& item : query.items) {
    ColumnInfo column;
    column.name = item.name;
    column.type = item.type.type;
    column.nullable = item.type.nullable;
    values.push_back("\"__q\"." + QuoteName(item.name));
    source.columns.push_back(std::move(column));
  }
  VK_RETURN_IF_ORA_ERROR(
      CopyRows("(" + query.sql + ") AS \"__q\"", values, kMultiSource, &source, &steps));
  Scope scope;
  scope.sources.push_back(source);
  const bool params = !options_.inline_literals;
  Ctx ctx{&scope, params, false, {}};
  // FIRST: a branch takes the rows no earlier condition took.
  std::string earlier;
  std::string any;
  for (const ast::MultiInsert::Branch& branch : insert.branches) {
    std::string where;
    if (branch.when != nullptr) {
      VK_ASSIGN_OR_ORA_RETURN(Out when, Condition(*branch.when, ctx));
      const std::string holds = "coalesce(" + when.sql + ", 0)";
      where = insert.first && !earlier.empty() ? holds + " AND NOT (" + earlier + ")" : holds;
      earlier += (earlier.empty() ? "" : " OR ") + holds;
    } else if (branch.otherwise) {
      where = earlier.empty() ? std::string() : "NOT (" + earlier + ")";
    }
    for (const ast::InsertInto& into : branch.intos) {
      Translation target_names;
      VK_ASSIGN_OR_ORA_RETURN(Source target, Target(into.table, &target_names, false));
      if (translation->target_table.empty()) {
        translation->target_owner = target_names.target_owner;
        translation->target_table = target_names.target_table;
      }
      std::vector<std::size_t> columns;
      VK_RETURN_IF_ORA_ERROR(InsertColumns(target, into.columns, &columns));
      std::string column_names;
      std::string values;
      const std::size_t given = into.has_values ? into.values.size() : source.columns.size();
      if (given > columns.size()) return OraErr(913, "too many values");
      if (given < columns.size()) return OraErr(947, "not enough values");
      for (std::size_t idx = 0; idx < columns.size(); ++idx) {
        const ColumnInfo& column = target.columns[columns[idx]];
        std::string value;
        if (into.has_values) {
          VK_ASSIGN_OR_ORA_RETURN(value, ColumnValue(*into.values[idx], column, target, ctx));
        } else {
          value = StoreSql(source.sql_alias + "." + QuoteName(source.columns[idx].name), column,
                           target);
        }
        column_names += (idx == 0 ? "" : ", ") + QuoteName(column.name);
        values += (idx == 0 ? "" : ", ") + value;
      }
      std::string sql = "INSERT INTO " + target.physical + " (" + column_names + ") SELECT " +
                        values + " FROM " + SourceSql(source);
      if (!where.empty()) sql += " WHERE " + where;
      steps.push_back({std::move(sql), true});
    }
  }
  DropTemporary(kMultiSource, &steps);
  return {};
}

}  // namespace volmek::engine::emitter_internal
