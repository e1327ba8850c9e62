#include "copybook/generation.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>

#include "base/oracle_reserved_words.h"
#include "base/text.h"

namespace volmek::copybook {

namespace {

std::string PadTo(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

bool IsFloatColumn(const Field& field) { return field.is_float && !field.has_picture; }

class ColumnWalker {
 public:
  explicit ColumnWalker(const FieldTable& fields) : fields_(fields), children_(fields.size()) {
    for (std::size_t idx = 0; idx < fields_.size(); ++idx) {
      if (fields_[idx].parent >= 0) {
        children_[fields_[idx].parent].push_back(idx);
      } else {
        top_.push_back(idx);
      }
    }
  }

  std::vector<Column> Walk() {
    for (std::size_t idx : top_) Visit(idx, "", false);
    return std::move(columns_);
  }

 private:
  // `in_span`: the entry lies inside an OCCURS group, where a REDEFINES item is one more item
  // repeated with its group and gives its columns.
  void Visit(std::size_t idx, const std::string& suffix, bool in_span) {
    const Field& field = fields_[idx];
    if (field.redefines >= 0 && !in_span) return;
    if (field.group) {
      if (field.occurs == 0) {
        for (std::size_t child : children_[idx]) Visit(child, suffix, in_span);
        return;
      }
      for (std::int64_t occurrence = 1; occurrence <= field.occurs; ++occurrence) {
        const std::string inner = suffix + std::to_string(occurrence);
        for (std::size_t child : children_[idx]) Visit(child, inner, true);
      }
      return;
    }
    if (field.occurs == 0) {
      columns_.push_back(Column{field.name + suffix, idx});
      return;
    }
    for (std::int64_t occurrence = 1; occurrence <= field.occurs; ++occurrence) {
      columns_.push_back(Column{field.name + suffix + std::to_string(occurrence), idx});
    }
  }

  const FieldTable& fields_;
  std::vector<std::vector<std::size_t>> children_;
  std::vector<std::size_t> top_;
  std::vector<Column> columns_;
};

Status CheckField(const Field& field) {
  if (field.type == 'A' && field.length > kMaxCharLength) {
    return Status::InvalidInput(
        fmt::format("El campo {} (linea {} del copy) ocupa {} caracteres; una columna CHAR "
                    "admite {}.\n",
                    field.name, field.line, field.length, kMaxCharLength));
  }
  if (field.type == 'N' && !IsFloatColumn(field)) {
    if (field.precision > kMaxDecimalDigits) {
      return Status::InvalidInput(
          fmt::format("El campo {} (linea {} del copy) tiene {} digitos; una columna DEC "
                      "admite {}.\n",
                      field.name, field.line, field.precision, kMaxDecimalDigits));
    }
    if (field.precision == 0) {
      return Status::InvalidInput(fmt::format("El campo {} (linea {} del copy) no tiene digitos.\n",
                                              field.name, field.line));
    }
  }
  return Status::Ok();
}

}  // namespace

Result<std::vector<Column>> PlanColumns(const FieldTable& fields, std::string_view table) {
  // An occurrence count can make the walk enormous: refuse a copybook whose column count is
  // past Oracle's limit before generating its names.
  std::vector<std::int64_t> repeats(fields.size(), 1);
  std::vector<bool> in_span(fields.size(), false);
  std::int64_t count = 1;  // the identifier column
  for (std::size_t idx = 0; idx < fields.size(); ++idx) {
    const Field& field = fields[idx];
    if (field.parent >= 0) {
      const Field& parent = fields[field.parent];
      in_span[idx] = in_span[field.parent] || (parent.group && parent.occurs > 0);
    }
    std::int64_t outer = field.parent >= 0 ? repeats[field.parent] : 1;
    if ((field.redefines >= 0 && !in_span[idx]) ||
        (field.parent >= 0 && repeats[field.parent] == 0)) {
      outer = 0;
    }
    repeats[idx] = std::min<std::int64_t>(outer * Repeats(field), kMaxColumns + 1);
    if (!field.group && repeats[idx] > 0) {
      VOLMEK_RETURN_IF_ERROR(CheckField(field));
      count = std::min<std::int64_t>(count + repeats[idx], kMaxColumns + 1);
    }
  }
  if (count > static_cast<std::int64_t>(kMaxColumns)) {
    return Err(Status::InvalidInput(
        fmt::format("La tabla {} tendria mas de {} columnas; Oracle admite {}.\n", table,
                    kMaxColumns, kMaxColumns)));
  }

  std::vector<Column> columns = ColumnWalker(fields).Walk();
  const std::string id_column = fmt::format("ID_{}", table);
  std::map<std::string, std::size_t, std::less<>> seen;
  for (const Column& column : columns) {
    const Field& field = fields[column.field];
    if (column.name.size() > kMaxColumnName) {
      return Err(Status::InvalidInput(
          fmt::format("La columna {} (linea {} del copy) pasa de {} caracteres.\n", column.name,
                      field.line, kMaxColumnName)));
    }
    if (!IsPlainIdentifier(column.name)) {
      return Err(Status::InvalidInput(
          fmt::format("La columna {} (linea {} del copy) no es un nombre valido de columna.\n",
                      column.name, field.line)));
    }
    if (IsOracleReservedWord(column.name)) {
      return Err(Status::InvalidInput(
          fmt::format("La columna {} (linea {} del copy) es una palabra reservada de Oracle.\n",
                      column.name, field.line)));
    }
    if (column.name == id_column) {
      return Err(Status::InvalidInput(
          fmt::format("La columna {} coincide con el identificador de la tabla.\n", column.name)));
    }
    auto [it, inserted] = seen.emplace(column.name, column.field);
    if (!inserted) {
      return Err(Status::InvalidInput(
          fmt::format("La columna {} sale dos veces (lineas {} y {} del copy).\n", column.name,
                      fields[it->second].line, field.line)));
    }
  }
  return columns;
}

std::string ColumnDefinition(const Column& column, const FieldTable& fields) {
  const Field& field = fields[column.field];
  std::string type;
  std::string size;
  if (field.type == 'A') {
    type = "CHAR ";
    size = fmt::format("({}) ", field.length);
  } else if (IsFloatColumn(field)) {
    type = "FLOAT";
  } else {
    type = "DEC  ";
    size = fmt::format("({},{}) ", field.precision, field.decimals);
  }
  // At least one blank stands between the name and its type, a name of 30 characters included.
  const std::size_t name_width = std::max(kMaxColumnName, column.name.size() + 1);
  return fmt::format("    {}{}{}NULL,\n", PadTo(column.name, name_width), type, PadTo(size, 8));
}

std::string CreateTableText(std::string_view table, const std::vector<Column>& columns,
                            const FieldTable& fields, std::string_view tbdatos) {
  std::string sql = fmt::format("create table {} (\n ID_{}   DEC(10,0),\n", table, table);
  for (const Column& column : columns) sql += ColumnDefinition(column, fields);
  sql.resize(sql.size() - 2);  // the ",\n" of the last column line
  sql += ") storage (initial 1000000 next 2000000 pctincrease 0) ";
  if (!tbdatos.empty()) sql += fmt::format(" tablespace {}", tbdatos);
  return sql;
}

std::string XcampoInsertText(std::string_view key, std::size_t order, const Column& column,
                             const FieldTable& fields) {
  const Field& field = fields[column.field];
  const char type = field.type == 'A' ? 'A' : 'N';
  return fmt::format(
      "insert into XCAMPO values ('{}', {}, '{}', '{}', '{}', '{}', {}, {}, '{}') \n", key, order,
      column.name, column.name, type, field.usage, field.precision, field.decimals,
      field.is_signed ? 'S' : ' ');
}

}  // namespace volmek::copybook
