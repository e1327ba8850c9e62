#include "datafiles/old_form_nulls.h"

#include <fmt/format.h>

#include "datafiles/table_text.h"

namespace volmek::datafiles {

bool MayHoldBlankValue(std::string_view line) { return line.find("' ") != std::string_view::npos; }

std::optional<std::string> BlanksToNull(std::string_view line,
                                        const std::vector<bool>& null_if_blank) {
  Result<std::vector<Field>> fields = ParseLine(line);
  if (!fields.has_value()) return std::nullopt;
  bool changed = false;
  for (std::size_t field_idx = 0; field_idx < fields->size() && field_idx < null_if_blank.size();
       ++field_idx) {
    Field& field = (*fields)[field_idx];
    if (!null_if_blank[field_idx] || field.kind != FieldKind::kText || field.text.empty() ||
        field.text.find_first_not_of(' ') != std::string::npos) {
      continue;
    }
    field = Field{FieldKind::kNull, ""};
    changed = true;
  }
  if (!changed) return std::nullopt;
  return FormatLine(*fields);
}

std::vector<bool> NumberAndDateColumns(db::Session& session, std::string_view table) {
  db::SessionCursor& cursor = session.main();
  std::vector<bool> kinds;
  if (cursor.Parse(fmt::format("select * from {}", table)) != db::kRcOk) return kinds;
  for (int position = 1;; ++position) {
    db::ColumnDescription description;
    if (cursor.Describe(position, &description) != db::kRcOk) break;
    kinds.push_back(description.db_type == db::kTypeNumber || description.db_type == db::kTypeDate);
  }
  return kinds;
}

}  // namespace volmek::datafiles
