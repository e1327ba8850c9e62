#include "maint/managed_table.h"

#include <fmt/format.h>

namespace volmek::maint {

namespace {

// The key columns a sub-table repeats: those that name a field of the record; a key name that
// is no field cannot be given a type and is left out of the columns.
std::string KeyColumnLines(const RecordEntry& entry) {
  std::string lines;
  for (const std::string& key : entry.keys) {
    if (const Field* field = entry.FindField(key)) lines += ColumnLine(*field) + ", \n";
  }
  return lines;
}

}  // namespace

std::string CreateSequenceText(std::string_view table) {
  return fmt::format(
      "create sequence ID_{} start with 1 increment by 1 nomaxvalue nocycle cache 10", table);
}

std::string ColumnLine(const Field& field) {
  if (field.type == 'A') return fmt::format(" {}      CHAR ({}) NULL", field.name, field.length);
  return fmt::format(" {}      DEC  ({},{}) NULL", field.name, field.length, field.decimals);
}

std::string SegmentTable(std::string_view table, std::size_t segment_idx) {
  if (segment_idx == 0) return std::string(table);
  return fmt::format("{}{}", table, segment_idx);
}

std::string CreateTableText(std::string_view table, const RecordEntry& entry,
                            std::size_t segment_idx, std::string_view tbdatos) {
  std::string sql = fmt::format("create table {} (\n ID_{}   DEC(10,0),\n", table, table);
  if (segment_idx > 0) sql += KeyColumnLines(entry);
  std::vector<Segment> segments = entry.Segments();
  Segment segment = segment_idx < segments.size() ? segments[segment_idx] : Segment{};
  for (std::int64_t field_idx = segment.first; field_idx <= segment.last; ++field_idx) {
    sql += ColumnLine(entry.fields[static_cast<std::size_t>(field_idx)]);
    sql += field_idx == segment.last ? "\n)\n" : ", \n";
  }
  if (!tbdatos.empty()) sql += fmt::format(" tablespace {}", tbdatos);
  return sql;
}

std::string PrimaryKeyText(std::string_view table, std::string_view tbindices) {
  std::string sql = fmt::format("alter table {} add primary key (ID_{}) using index {}", table,
                                table, kStorageClause);
  if (!tbindices.empty()) sql += fmt::format(" tablespace {}", tbindices);
  return sql;
}

std::string UniqueIndexText(std::string_view table, const RecordEntry& entry,
                            std::string_view tbindices) {
  std::string sql = fmt::format("create unique index {}I on {} (", table, table);
  for (std::size_t key_idx = 0; key_idx < entry.keys.size(); ++key_idx) {
    if (key_idx > 0) sql += ", ";
    sql += entry.keys[key_idx];
  }
  sql += fmt::format(")  {} ", kStorageClause);
  if (!tbindices.empty()) sql += fmt::format(" tablespace {}", tbindices);
  return sql;
}

std::string FillText(std::string_view table, std::string_view source, const RecordEntry& entry,
                     std::size_t segment_idx) {
  std::string sql = fmt::format("insert into {} select ID_{}.nextval, \n", table, table);
  if (segment_idx > 0) {
    for (const std::string& key : entry.keys) sql += key + ", ";
  }
  std::vector<Segment> segments = entry.Segments();
  Segment segment = segment_idx < segments.size() ? segments[segment_idx] : Segment{};
  for (std::int64_t field_idx = segment.first; field_idx <= segment.last; ++field_idx) {
    if (field_idx > segment.first) sql += ", ";
    sql += entry.fields[static_cast<std::size_t>(field_idx)].name;
  }
  sql += fmt::format(" from {} ", source);
  return sql;
}

}  // namespace volmek::maint
