#include "db/columns.h"

#include <fmt/format.h>

namespace volmek::db {

namespace {

constexpr std::int32_t kDateWidth = 9;
constexpr std::int32_t kRowidWidth = 18;
constexpr std::int16_t kMaxIntegerPrecision = 10;

ExternalType ExternalFor(Delivery delivery) {
  switch (delivery) {
    case Delivery::kInteger:
      return ExternalType::kInteger;
    case Delivery::kFloat:
      return ExternalType::kFloat;
    case Delivery::kText:
      break;
  }
  return ExternalType::kString;
}

// Doubles the apostrophes of `text` so that it can stand inside an SQL literal.
std::string QuoteLiteral(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted.push_back('\'');
  for (char c : text) {
    if (c == '\'') quoted.push_back('\'');
    quoted.push_back(c);
  }
  quoted.push_back('\'');
  return quoted;
}

}  // namespace

Column ChooseDelivery(const ColumnDescription& description) {
  Column column;
  column.description = description;
  column.display_width = description.db_size;
  column.delivered_type = description.db_type;
  switch (description.db_type) {
    case kTypeNumber:
      column.display_width = kNumberWidth;
      if (description.scale == 0 && description.precision <= kMaxIntegerPrecision) {
        column.delivery = Delivery::kInteger;
        column.delivered_type = static_cast<std::int16_t>(ExternalType::kInteger);
      } else {
        column.delivery = Delivery::kFloat;
        column.delivered_type = static_cast<std::int16_t>(ExternalType::kFloat);
      }
      break;
    case kTypeDate:
      column.display_width = kDateWidth;
      break;
    case kTypeRowid:
      column.display_width = kRowidWidth;
      break;
    default:
      break;
  }
  return column;
}

Result<std::vector<Column>> DescribeAndDefine(Session& session, SessionCursor& cursor) {
  std::vector<Column> columns;
  // Every item is described: a select list is never cut, however long it is.
  for (int position = 1;; ++position) {
    ColumnDescription description;
    int rc = cursor.Describe(position, &description);
    if (rc == kRcNotInSelectList) break;
    if (rc != kRcOk) {
      VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
      return std::vector<Column>();
    }
    Column column = ChooseDelivery(description);
    if (cursor.Define(position, ExternalFor(column.delivery)) != kRcOk) {
      VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
      return std::vector<Column>();
    }
    columns.push_back(std::move(column));
  }
  return columns;
}

Result<bool> TableExists(Session& session, std::string_view name) {
  std::string sql = fmt::format("select object_name from user_objects where object_name = {}",
                                QuoteLiteral(name));
  session.Echo(sql);
  SessionCursor& cursor = session.main();
  if (cursor.Parse(sql) != kRcOk) return false;
  VOLMEK_ASSIGN_OR_RETURN(std::vector<Column> columns, DescribeAndDefine(session, cursor));
  (void)columns;
  if (cursor.Execute() != kRcOk) return false;
  // Only "no data" says the object is missing; any other failure of the fetch leaves the answer
  // at found, as callers have always relied on.
  return cursor.Fetch() != kRcNoData;
}

}  // namespace volmek::db
