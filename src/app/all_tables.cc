#include "app/all_tables.h"

#include <string>
#include <vector>

#include "db/columns.h"

namespace volmek::app {

Status ForEachTable(db::RunContext& ctx, const TableAction& action) {
  db::Session& session = ctx.db();
  db::SessionCursor& list = session.dictionary();
  session.Echo(kTableListQuery);
  if (list.Parse(kTableListQuery) != db::kRcOk) return session.ReportError(list);
  VOLMEK_ASSIGN_OR_RETURN(std::vector<db::Column> columns, db::DescribeAndDefine(session, list));
  if (list.Execute() != db::kRcOk) {
    VOLMEK_RETURN_IF_ERROR(session.ReportError(list));
    return Status::Fatal("");
  }
  // Without a described column no name can be delivered (the report was printed).
  if (columns.empty()) return Status::Ok();
  while (true) {
    int rc = list.Fetch();
    if (rc == db::kRcNoData) break;
    if (rc != db::kRcOk && rc != db::kRcNullValue) {
      VOLMEK_RETURN_IF_ERROR(session.ReportError(list));
      if (db::NoRowCanFollow(rc)) break;
      continue;
    }
    const db::FetchedValue& value = list.Value(0);
    if (value.is_null) continue;
    // Copied out: the action may run statements that change what the cursor holds.
    std::string table = value.text;
    VOLMEK_RETURN_IF_ERROR(action(table));
  }
  return Status::Ok();
}

}  // namespace volmek::app
