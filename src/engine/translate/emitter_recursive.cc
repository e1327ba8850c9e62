// Emitter: the tables of WITH, and the recursive ones: a table whose query is a UNION ALL of
// an anchor and of a member that reads the table itself.
//
// SQLite computes a recursive common table as Oracle does: the anchor's rows, then the rows the
// member makes from each row made so far, until it makes none. What Oracle adds is done here. A
// row equal to one of its ancestors is a cycle, ORA-32044, where SQLite would go round it for
// ever: each row carries the digests of its own values and of its nearest ancestors'
// (kAncestryColumn, see vk_with_step), so a cycle through up to that many rows stops at once.
// Any longer one, or a recursion that never ends, is stopped once the member has made
// kMaxRecursiveWithRows rows, with the error Oracle gives when such a query fills its
// temporary space.
#include "engine/translate/emitter_internal.h"

#include <utility>

namespace volmek::engine::emitter_internal {

namespace {

OraError Unsupported() {
  return Ora(32486, "unsupported operation in recursive branch of recursive WITH clause");
}

}  // namespace

Source Emitter::CommonTableSource(const ast::CommonTable& table, const std::vector<Item>& items) {
  Source source;
  source.name = table.name;
  source.sql_alias = QuoteName(table.name);
  source.physical = QuoteName(table.name);
  for (std::size_t idx = 0; idx < items.size(); ++idx) {
    ColumnInfo column;
    column.name = table.columns.empty() ? items[idx].name : table.columns[idx];
    column.type = items[idx].type.type;
    column.nullable = items[idx].type.nullable;
    source.columns.push_back(std::move(column));
  }
  return source;
}

OraResult<Emitter::CommonTableOut> Emitter::CommonTable(const ast::CommonTable& table,
                                                        const Scope* parent) {
  const ast::Query& query = *table.query;
  CommonTableOut out;
  // Only a set operation of two queries can read itself, in its right-hand query.
  const bool candidate = query.select == nullptr && query.with.empty() && query.offset == nullptr &&
                         !query.fetch && query.order_by.empty() && !query.order_siblings;
  if (!candidate) {
    VK_ASSIGN_OR_ORA_RETURN(out.query, Query(query, parent, false));
    return out;
  }
  VK_ASSIGN_OR_ORA_RETURN(QueryOut anchor, Query(*query.left, parent, true, true));
  if (!table.columns.empty() && table.columns.size() != anchor.items.size()) {
    return OraErr(32038,
                  "number of WITH clause column names does not match number of elements in "
                  "select list");
  }
  // The table as its member reads it: named as WITH names it, typed as the anchor's rows.
  Source self = CommonTableSource(table, anchor.items);
  self.recursive_with = true;
  common_tables_.push_back(std::move(self));
  std::optional<RecursiveWith> outer = std::exchange(recursive_, RecursiveWith{0, true, false});
  OraResult<QueryOut> member = Query(*query.right, parent, true, true);
  const RecursiveWith state = *recursive_;
  recursive_ = std::move(outer);
  common_tables_.pop_back();
  if (!member.has_value()) return OraErr(std::move(member).error());
  if (state.references == 0) {
    VK_ASSIGN_OR_ORA_RETURN(out.query, SetOperation(query, std::move(anchor), std::move(*member)));
    return out;
  }
  if (table.columns.empty()) {
    return OraErr(32039, "recursive WITH clause must have column alias list");
  }
  if (query.set_op != "UNION ALL") {
    return OraErr(32040, "recursive WITH clause must use a UNION ALL operation");
  }
  if (!state.member_read) {
    return OraErr(32042,
                  "recursive WITH clause must reference itself directly in one of the UNION ALL "
                  "branches");
  }
  if (state.references > 1 || member->form != QueryOut::Form::kPlain) {
    return OraErr(Unsupported());
  }
  // The anchor's types are the table's; the member's must match them.
  std::vector<Item> matched = anchor.items;
  VK_RETURN_IF_ORA_ERROR(MatchSetColumns(matched, member->items));
  // The anchor's rows start their ancestry with themselves.
  std::string columns;
  for (std::size_t idx = 0; idx < anchor.items.size(); ++idx) {
    columns += (idx == 0 ? "\"__c" : ", \"__c") + std::to_string(idx + 1) + "\"";
  }
  out.query.sql = "SELECT " + columns + ", vk_with_step(" + std::to_string(kMaxRecursiveWithRows) +
                  ", X'', '', " + columns + ") FROM (" + anchor.sql + ") UNION ALL " + member->sql;
  out.query.items = std::move(anchor.items);
  out.query.form = QueryOut::Form::kCompound;
  out.recursive = true;
  return out;
}

OraResult<std::string> Emitter::RecursiveMemberColumn(const ast::Select& select,
                                                      const Source& recursion,
                                                      const std::vector<std::string>& values,
                                                      bool unsupported) {
  if (unsupported || select.distinct || select.connect_by != nullptr) {
    return OraErr(Unsupported());
  }
  recursive_->member_read = true;
  // The anchor's types are the table's: a text the member makes longer than its column holds
  // is refused (0: not checked).
  std::string limits;
  for (const ColumnInfo& column : recursion.columns) {
    const bool text =
        column.type.kind == TypeKind::kChar || column.type.kind == TypeKind::kVarchar2;
    limits += (limits.empty() ? "" : ",") + std::to_string(text ? column.type.length : 0);
  }
  std::string sql = "vk_with_step(" + std::to_string(kMaxRecursiveWithRows) + ", " +
                    recursion.sql_alias + "." + std::string(kAncestryColumn) + ", '" + limits + "'";
  for (const std::string& value : values) sql += ", " + value;
  return sql + ") AS " + std::string(kAncestryColumn);
}

}  // namespace volmek::engine::emitter_internal
