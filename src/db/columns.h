// Column buffers: how a query's select list is described, defined and read.
//
// DescribeAndDefine asks the database for the description of every select-list item of a
// parsed query, picks how each is delivered (integer, floating-point or text) and its display
// width, and defines it on the cursor. Printers and writers then read each fetched row through
// the cursor's values (SessionCursor::Value) with the Column descriptions returned here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "db/call.h"
#include "db/session.h"

namespace volmek::db {

// The display width of every NUMBER column, and the field width printers use for numbers.
inline constexpr int kNumberWidth = 18;

enum class Delivery { kInteger, kFloat, kText };

struct Column {
  ColumnDescription description;  // as described
  Delivery delivery = Delivery::kText;
  std::int32_t display_width = 0;
  // The delivered type code: 3 (integer) or 4 (floating) for NUMBER, otherwise the internal type.
  std::int16_t delivered_type = 0;
};

// The delivery rule for one described item: NUMBER with scale 0 and precision 10 or less as
// integer, any other NUMBER as floating-point (display width 18); DATE as text of width 9;
// ROWID as text of width 18; everything else as text of its described size.
Column ChooseDelivery(const ColumnDescription& description);

// Describes and defines every select-list item of the query parsed on `cursor` (all of them,
// however many). A failure other than the end of the list is reported with the Oracle error
// report and gives an empty list. Fails only when the error limit is reached.
Result<std::vector<Column>> DescribeAndDefine(Session& session, SessionCursor& cursor);

// The table-exists test: true when `name` (compared exactly) is the name of any object of the
// user. Runs on the main cursor. A failing query counts as "not found" and is not reported.
Result<bool> TableExists(Session& session, std::string_view name);

}  // namespace volmek::db
