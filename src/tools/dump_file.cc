#include "tools/dump_file.h"

#include <fmt/format.h>

#include <cstdio>

namespace volmek::tools {

namespace {

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (true) {
    std::size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
}

}  // namespace

bool DumpColumn::IsNumeric() const {
  return type.starts_with("NUMBER") || type.starts_with("FLOAT") || type.starts_with("INTEGER");
}

void AppendDumpValue(const std::optional<std::string>& value, std::string& line) {
  if (!value.has_value()) {
    line.append("\\N");
    return;
  }
  for (char c : *value) {
    switch (c) {
      case '\\':
        line.append("\\\\");
        break;
      case '\t':
        line.append("\\t");
        break;
      case '\n':
        line.append("\\n");
        break;
      case '\r':
        line.append("\\r");
        break;
      default:
        line.push_back(c);
    }
  }
}

Result<DumpRow> ParseDumpRow(std::string_view line, std::size_t columns) {
  std::vector<std::string_view> fields = SplitTabs(line);
  if (fields.empty() || fields[0] != "R" || fields.size() != columns + 1) {
    return Err(Status::Corrupt(fmt::format("fila con {} valores en lugar de {}",
                                           fields.empty() ? 0 : fields.size() - 1, columns)));
  }
  DumpRow row;
  row.reserve(columns);
  for (std::size_t idx = 1; idx < fields.size(); ++idx) {
    std::string_view field = fields[idx];
    if (field == "\\N") {
      row.emplace_back(std::nullopt);
      continue;
    }
    std::string value;
    for (std::size_t pos = 0; pos < field.size(); ++pos) {
      if (field[pos] != '\\') {
        value.push_back(field[pos]);
        continue;
      }
      if (++pos == field.size()) return Err(Status::Corrupt("escape incompleto"));
      switch (field[pos]) {
        case '\\':
          value.push_back('\\');
          break;
        case 't':
          value.push_back('\t');
          break;
        case 'n':
          value.push_back('\n');
          break;
        case 'r':
          value.push_back('\r');
          break;
        default:
          return Err(Status::Corrupt(fmt::format("escape no valido \\{}", field[pos])));
      }
    }
    row.emplace_back(std::move(value));
  }
  return row;
}

Result<DumpWriter> DumpWriter::Create(const std::string& path) {
  auto out = std::make_unique<std::ofstream>(path + ".tmp", std::ios::binary | std::ios::trunc);
  if (!out->is_open()) return Err(Status::IoError(fmt::format("no se puede crear {}", path)));
  DumpWriter writer(path, std::move(out));
  *writer.out_ << kDumpHeader << '\n';
  VOLMEK_RETURN_IF_ERROR(writer.Check());
  return writer;
}

DumpWriter::~DumpWriter() {
  if (out_ != nullptr && !finished_) {
    out_->close();
    std::remove((path_ + ".tmp").c_str());
  }
}

Status DumpWriter::Check() {
  if (out_->good()) return Status::Ok();
  return Status::IoError(fmt::format("no se puede escribir {}", path_));
}

Status DumpWriter::BeginTable(const DumpTable& table) {
  *out_ << "TABLE\t" << table.name << '\n';
  for (const DumpColumn& column : table.columns) {
    *out_ << "COLUMN\t" << column.name << '\t' << column.type << '\t'
          << (column.nullable ? "NULL" : "NOT NULL") << '\n';
  }
  *out_ << "ROWS\n";
  return Check();
}

Status DumpWriter::WriteRow(const std::string& line) {
  *out_ << "R\t" << line << '\n';
  return Check();
}

Status DumpWriter::EndTable() {
  *out_ << "END\n";
  return Check();
}

Status DumpWriter::Finish() {
  out_->flush();
  out_->close();
  if (out_->fail()) return Status::IoError(fmt::format("no se puede escribir {}", path_));
  if (std::rename((path_ + ".tmp").c_str(), path_.c_str()) != 0) {
    return Status::IoError(fmt::format("no se puede escribir {}", path_));
  }
  finished_ = true;
  return Status::Ok();
}

Result<DumpReader> DumpReader::Open(const std::string& path) {
  Result<LineReader> reader = LineReader::OpenFile(path);
  if (!reader.has_value()) {
    return Err(Status::NotFound(fmt::format("no existe el fichero {}", path)));
  }
  DumpReader dump(std::move(*reader), path);
  VOLMEK_ASSIGN_OR_RETURN(bool more, dump.reader_.Next(dump.line_));
  if (!more || WithoutLineEnd(dump.line_) != kDumpHeader) {
    return Err(dump.Corrupt("no es un fichero de exportacion"));
  }
  return dump;
}

Status DumpReader::Corrupt(std::string_view what) const {
  return Status::Corrupt(fmt::format("{}, linea {}: {}", path_, reader_.line_number(), what));
}

Result<bool> DumpReader::NextTable(DumpTable& table) {
  VOLMEK_ASSIGN_OR_RETURN(bool more, reader_.Next(line_));
  if (!more) return false;
  std::vector<std::string_view> fields = SplitTabs(WithoutLineEnd(line_));
  if (fields.size() != 2 || fields[0] != "TABLE") return Err(Corrupt("se esperaba TABLE"));
  table.name = std::string(fields[1]);
  table.columns.clear();
  while (true) {
    VOLMEK_ASSIGN_OR_RETURN(bool line_read, reader_.Next(line_));
    if (!line_read) return Err(Corrupt("fin de fichero dentro de una tabla"));
    std::string_view text = WithoutLineEnd(line_);
    if (text == "ROWS") break;
    fields = SplitTabs(text);
    if (fields.size() != 4 || fields[0] != "COLUMN" ||
        (fields[3] != "NULL" && fields[3] != "NOT NULL")) {
      return Err(Corrupt("se esperaba COLUMN"));
    }
    table.columns.push_back(
        DumpColumn{std::string(fields[1]), std::string(fields[2]), fields[3] == "NULL"});
  }
  columns_ = table.columns.size();
  return true;
}

Result<bool> DumpReader::NextRow(DumpRow& row) {
  VOLMEK_ASSIGN_OR_RETURN(bool more, reader_.Next(line_));
  if (!more) return Err(Corrupt("fin de fichero dentro de una tabla"));
  std::string_view text = WithoutLineEnd(line_);
  if (text == "END") return false;
  Result<DumpRow> parsed = ParseDumpRow(text, columns_);
  if (!parsed.has_value()) return Err(Corrupt(parsed.error().message()));
  row = std::move(*parsed);
  return true;
}

Status DumpReader::SkipRows() {
  DumpRow row;
  while (true) {
    VOLMEK_ASSIGN_OR_RETURN(bool more, NextRow(row));
    if (!more) return Status::Ok();
  }
}

}  // namespace volmek::tools
