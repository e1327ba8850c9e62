#include "maint/dictionary.h"

#include <array>

#include <fmt/format.h>

#include "base/text.h"

namespace volmek::maint {

namespace {

constexpr XKind T = XKind::kText;
constexpr XKind I = XKind::kInteger;

constexpr std::array kCampo{I, T, T, T, T, I, I, T};
constexpr std::array kClave{I, T, T};
constexpr std::array kDivide{I, T, I};
constexpr std::array kSelec{I, I, T, T, T, T, T};
constexpr std::array kCondi{I, I, T, I, T, I, T, I, T};
constexpr std::array kIndice{I, T, T};

// xdivide is read by its fourth column, the field number, so that the division values come in
// increasing order whatever order the rows were inserted in.
const std::array<XTable, 6> kXTables{{
    {"xcampo", kCampo, 2},
    {"xclave", kClave, 2},
    {"xdivide", kDivide, 4},
    {"xselec", kSelec, 2},
    {"xcondi", kCondi, 2},
    {"xindice", kIndice, 2},
}};

constexpr std::size_t kCampoIdx = 0;
constexpr std::size_t kClaveIdx = 1;
constexpr std::size_t kDivideIdx = 2;
constexpr std::size_t kIndiceIdx = 5;

std::string Literal(const XValue& value, XKind kind) {
  if (value.is_null) return "NULL";
  if (kind == XKind::kInteger) return fmt::format("{}", value.integer);
  return SqlQuote(value.text);
}

}  // namespace

std::string DictionaryKey(std::string_view table_name) {
  if (table_name.size() >= 3 && table_name[2] == '_') return std::string(table_name.substr(3));
  return std::string(table_name);
}

std::vector<Segment> RecordEntry::Segments() const {
  std::vector<Segment> segments;
  std::int64_t first = 0;
  for (std::int64_t division : divisions) {
    segments.push_back({first, division});
    first = division + 1;
  }
  segments.push_back({first, static_cast<std::int64_t>(fields.size()) - 1});
  return segments;
}

const Field* RecordEntry::FindField(std::string_view name) const {
  const Field* found = nullptr;
  for (const Field& field : fields) {
    if (field.name == name) found = &field;
  }
  return found;
}

Status CheckDivisions(const RecordEntry& entry, std::string_view table, std::string_view key) {
  std::int64_t previous = -1;
  std::int64_t last_field = static_cast<std::int64_t>(entry.fields.size()) - 1;
  for (std::int64_t division : entry.divisions) {
    if (division <= previous || division >= last_field) {
      return Status::Refused(fmt::format(
          "Error. Divisiones no validas en el diccionario de la tabla {} (clave {}): el valor {} "
          "no esta entre los campos 0 a {} en orden creciente. No se modifica nada.\n",
          table, key, division, last_field - 1));
    }
    previous = division;
  }
  return Status::Ok();
}

std::span<const XTable> XTables() { return kXTables; }

std::string SqlQuote(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  quoted += '\'';
  return quoted;
}

std::string InsertText(const XTable& table, std::string_view key, std::span<const XValue> row) {
  std::string sql = fmt::format("insert into {} values ({}", table.name, SqlQuote(key));
  bool is_indice = table.name == kXTables[kIndiceIdx].name;
  for (std::size_t column_idx = 0; column_idx < table.columns.size(); ++column_idx) {
    sql += ", ";
    if (is_indice && column_idx == 1) {
      sql += SqlQuote(key);
    } else if (column_idx < row.size()) {
      sql += Literal(row[column_idx], table.columns[column_idx]);
    } else {
      sql += "NULL";
    }
  }
  sql += ")";
  return sql;
}

RecordEntry EntryFromRows(const DictionaryRows& rows) {
  RecordEntry entry;
  auto text_of = [](const std::vector<XValue>& row, std::size_t idx) -> std::string {
    if (idx >= row.size() || row[idx].is_null) return {};
    return std::string(RightTrimmed(row[idx].text));
  };
  auto integer_of = [](const std::vector<XValue>& row, std::size_t idx) -> std::int64_t {
    return idx < row.size() && !row[idx].is_null ? row[idx].integer : 0;
  };
  if (rows.tables.size() > kCampoIdx) {
    for (const auto& row : rows.tables[kCampoIdx]) {
      Field field;
      field.name = text_of(row, 1);
      std::string type = text_of(row, 3);
      field.type = type.empty() ? ' ' : type[0];
      field.length = integer_of(row, 5);
      field.decimals = integer_of(row, 6);
      entry.fields.push_back(std::move(field));
    }
  }
  if (rows.tables.size() > kClaveIdx) {
    for (const auto& row : rows.tables[kClaveIdx]) entry.keys.push_back(text_of(row, 1));
  }
  if (rows.tables.size() > kDivideIdx) {
    for (const auto& row : rows.tables[kDivideIdx]) entry.divisions.push_back(integer_of(row, 2));
  }
  return entry;
}

}  // namespace volmek::maint
