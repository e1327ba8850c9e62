#include "tools/companion.h"

#include <fmt/format.h>

#include <fstream>
#include <memory>
#include <set>

#include "base/environment.h"
#include "base/text.h"
#include "db/columns.h"
#include "db/session.h"
#include "tools/dump_file.h"

namespace volmek::tools {

namespace {

constexpr std::string_view kDateFormatStatement =
    "alter session set nls_date_format = 'YYYY-MM-DD HH24:MI:SS'";
constexpr std::string_view kTableList =
    "select object_name from user_objects where object_type = 'TABLE' order by object_name";

// Everything printed goes to the output and to the log file.
class Reporter {
 public:
  Reporter(std::ostream& out, const std::string& log) : out_(out) {
    if (!log.empty()) log_ = std::make_unique<std::ofstream>(log, std::ios::trunc);
  }
  bool log_ok() const { return log_ == nullptr || log_->good(); }
  void Print(std::string_view text) {
    out_ << text;
    if (log_ != nullptr) *log_ << text;
  }

 private:
  std::ostream& out_;
  std::unique_ptr<std::ofstream> log_;
};

Result<std::unique_ptr<db::Session>> Logon(const ToolArgs& args, std::ostream& out) {
  Environment env;
  env.Set("NOMBREBD", args.user);
  env.Set("PASSWD", args.password);
  env.Set("TNS", args.tns);
  VOLMEK_ASSIGN_OR_RETURN(std::unique_ptr<db::Session> session, db::Session::Open(env, false, out));
  VOLMEK_ASSIGN_OR_RETURN(bool switched,
                          session->RunStatement(kDateFormatStatement, db::Report::kSilent));
  (void)switched;  // a database that keeps its own format still round-trips its own texts
  return session;
}

// The texts of the first column of every row of `sql`.
Result<std::vector<std::string>> ListTables(db::Session& session) {
  db::SessionCursor& cursor = session.main();
  if (cursor.Parse(kTableList) != db::kRcOk) {
    VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
    return Err(Status::Database(""));
  }
  VOLMEK_ASSIGN_OR_RETURN(std::vector<db::Column> columns, db::DescribeAndDefine(session, cursor));
  if (columns.empty() || cursor.Execute() != db::kRcOk) {
    VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
    return Err(Status::Database(""));
  }
  std::vector<std::string> names;
  while (true) {
    VOLMEK_ASSIGN_OR_RETURN(db::FetchStep step, session.FetchRow(cursor));
    if (step == db::FetchStep::kEnd) return names;
    names.push_back(cursor.Value(0).text);
  }
}

// Exports one table; returns its row count, or false-y error already reported.
Result<std::uint64_t> ExportTable(db::Session& session, const std::string& name,
                                  DumpWriter& writer) {
  if (!IsPlainIdentifier(name)) {
    return Err(Status::InvalidInput(fmt::format("nombre de tabla no valido: {}", name)));
  }
  db::SessionCursor& cursor = session.main();
  std::string sql = fmt::format("select * from {}", name);
  if (cursor.Parse(sql) != db::kRcOk) {
    VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
    return Err(Status::Database(fmt::format("no se puede leer la tabla {}", name)));
  }
  VOLMEK_ASSIGN_OR_RETURN(std::vector<db::Column> columns, db::DescribeAndDefine(session, cursor));
  if (columns.empty())
    return Err(Status::Database(fmt::format("no se puede leer la tabla {}", name)));
  for (std::size_t idx = 0; idx < columns.size(); ++idx) {
    // Unconstrained NUMBER (precision 0) would come as an integer, without its decimals.
    db::Column& column = columns[idx];
    if (column.delivery == db::Delivery::kInteger && column.description.precision == 0 &&
        cursor.Define(static_cast<int>(idx) + 1, db::ExternalType::kFloat) == db::kRcOk) {
      column.delivery = db::Delivery::kFloat;
    }
  }
  DumpTable table{name, {}};
  for (const db::Column& column : columns) {
    VOLMEK_ASSIGN_OR_RETURN(std::string type, ColumnTypeText(column.description));
    table.columns.push_back(
        DumpColumn{column.description.name, type, column.description.nulls_allowed != 0});
  }
  if (cursor.Execute() != db::kRcOk) {
    VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
    return Err(Status::Database(fmt::format("no se puede leer la tabla {}", name)));
  }
  VOLMEK_RETURN_IF_ERROR(writer.BeginTable(table));
  std::uint64_t rows = 0;
  std::string line;
  while (true) {
    VOLMEK_ASSIGN_OR_RETURN(db::FetchStep step, session.FetchRow(cursor));
    if (step == db::FetchStep::kEnd) break;
    line.clear();
    for (std::size_t idx = 0; idx < columns.size(); ++idx) {
      if (idx > 0) line.push_back('\t');
      const db::FetchedValue& value = cursor.Value(static_cast<int>(idx));
      if (value.is_null) {
        AppendDumpValue(std::nullopt, line);
      } else if (columns[idx].delivery == db::Delivery::kInteger) {
        AppendDumpValue(fmt::format("{}", value.integer), line);
      } else if (columns[idx].delivery == db::Delivery::kFloat && value.text.empty()) {
        AppendDumpValue(fmt::format("{}", value.real), line);
      } else {
        AppendDumpValue(value.text, line);
      }
    }
    VOLMEK_RETURN_IF_ERROR(writer.WriteRow(line));
    ++rows;
  }
  VOLMEK_RETURN_IF_ERROR(writer.EndTable());
  return rows;
}

bool IsPlainNumber(std::string_view text) {
  std::size_t pos = text.starts_with('-') ? 1 : 0;
  bool digits = false;
  bool point = false;
  for (; pos < text.size(); ++pos) {
    if (text[pos] >= '0' && text[pos] <= '9') {
      digits = true;
    } else if (text[pos] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digits;
}

bool IsPlainType(std::string_view type) {
  if (type.empty()) return false;
  for (char c : type) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '(' || c == ')' ||
              c == ',' || c == ' ';
    if (!ok) return false;
  }
  return true;
}

Status CheckTable(const DumpTable& table) {
  // Names go into the statements as they are: only an identifier Oracle accepts unquoted.
  constexpr std::size_t kMaxName = 30;
  if (!IsPlainIdentifier(table.name)) {
    return Status::Corrupt(fmt::format("nombre de tabla no valido: {}", table.name));
  }
  if (table.name.size() > kMaxName) {
    return Status::Corrupt(
        fmt::format("nombre de tabla demasiado largo: {} (mas de 30 caracteres)", table.name));
  }
  for (const DumpColumn& column : table.columns) {
    if (!IsPlainIdentifier(column.name) || column.name.size() > kMaxName ||
        !IsPlainType(column.type)) {
      return Status::Corrupt(
          fmt::format("columna no valida en {}: {} {}", table.name, column.name, column.type));
    }
  }
  return Status::Ok();
}

std::string CreateStatement(const DumpTable& table) {
  std::string sql = fmt::format("create table {} (", table.name);
  for (std::size_t idx = 0; idx < table.columns.size(); ++idx) {
    const DumpColumn& column = table.columns[idx];
    if (idx > 0) sql += ", ";
    sql += fmt::format("{} {}{}", column.name, column.type, column.nullable ? "" : " not null");
  }
  sql += ")";
  return sql;
}

std::string Plural(std::uint64_t count) { return count == 1 ? "" : "s"; }

}  // namespace

Result<std::string> ColumnTypeText(const db::ColumnDescription& column) {
  switch (column.db_type) {
    case db::kTypeNumber:
      if (column.scale == -127) {
        return column.precision > 0 ? fmt::format("FLOAT({})", column.precision)
                                    : std::string("FLOAT");
      }
      if (column.precision == 0) return std::string("NUMBER");
      if (column.scale == 0) return fmt::format("NUMBER({})", column.precision);
      return fmt::format("NUMBER({},{})", column.precision, column.scale);
    case db::kTypeChar:
      return fmt::format("CHAR({})", column.db_size);
    case db::kTypeVarchar2:
      return fmt::format("VARCHAR2({})", column.db_size);
    case db::kTypeDate:
      return std::string("DATE");
    case db::kTypeLong:
      return std::string("LONG");
    case db::kTypeRaw:
      return fmt::format("RAW({})", column.db_size);
    case db::kTypeLongRaw:
      return std::string("LONG RAW");
    case db::kTypeRowid:
      return std::string("ROWID");
    default:
      return Err(Status::Unsupported(
          fmt::format("tipo {} de la columna {} no exportable", column.db_type, column.name)));
  }
}

Result<std::string> InsertStatement(const DumpTable& table, const DumpRow& row) {
  std::string sql = fmt::format("insert into {} values (", table.name);
  for (std::size_t idx = 0; idx < row.size(); ++idx) {
    if (idx > 0) sql.push_back(',');
    const std::optional<std::string>& value = row[idx];
    if (!value.has_value()) {
      sql += "NULL";
    } else if (table.columns[idx].IsNumeric()) {
      if (!IsPlainNumber(*value)) {
        return Err(Status::Corrupt(fmt::format("valor numerico no valido en {}.{}: {}", table.name,
                                               table.columns[idx].name, *value)));
      }
      sql += *value;
    } else {
      sql.push_back('\'');
      for (char c : *value) {
        if (c == '\'') sql.push_back('\'');
        sql.push_back(c);
      }
      sql.push_back('\'');
    }
  }
  sql.push_back(')');
  return sql;
}

Status Export(const ToolArgs& args, std::ostream& out) {
  Reporter report(out, args.log);
  if (!report.log_ok())
    return Status::IoError(fmt::format("Imposible abrir fichero ({}).\n", args.log));
  Result<std::unique_ptr<db::Session>> session = Logon(args, out);
  if (!session.has_value()) return session.error();
  std::vector<std::string> tables = args.tables;
  if (args.full || tables.empty()) {
    VOLMEK_ASSIGN_OR_RETURN(tables, ListTables(**session));
  }
  Result<DumpWriter> writer = DumpWriter::Create(args.file);
  if (!writer.has_value()) {
    return Status::IoError(fmt::format("Imposible abrir fichero ({}).\n", args.file));
  }
  int failures = 0;
  for (const std::string& name : tables) {
    Result<std::uint64_t> rows = ExportTable(**session, name, *writer);
    if (rows.has_value()) {
      report.Print(fmt::format("Exportada tabla {} con {} fila{}.\n", name, *rows, Plural(*rows)));
      continue;
    }
    if (rows.error().code() == Status::Code::kFatal) return rows.error();
    if (rows.error().code() == Status::Code::kIoError) {
      return Status::IoError(fmt::format("Imposible escribir fichero ({}).\n", args.file));
    }
    report.Print(fmt::format("Error: {}.\n", rows.error().message()));
    ++failures;
  }
  if (!writer->Finish().ok()) {
    return Status::IoError(fmt::format("Imposible escribir fichero ({}).\n", args.file));
  }
  VOLMEK_RETURN_IF_ERROR((*session)->Close());
  if (failures > 0) {
    report.Print(fmt::format("Exportacion terminada con {} error{}.\n", failures,
                             failures == 1 ? "" : "es"));
    return Status::Database("");
  }
  report.Print(fmt::format("Exportacion terminada: {} tabla{} en {}.\n", tables.size(),
                           Plural(tables.size()), args.file));
  return Status::Ok();
}

Status Import(const ToolArgs& args, std::ostream& out) {
  Reporter report(out, args.log);
  if (!report.log_ok())
    return Status::IoError(fmt::format("Imposible abrir fichero ({}).\n", args.log));
  Result<DumpReader> reader = DumpReader::Open(args.file);
  if (!reader.has_value()) {
    report.Print(fmt::format("Error: {}.\n", reader.error().message()));
    return Status::IoError("");
  }
  Result<std::unique_ptr<db::Session>> session = Logon(args, out);
  if (!session.has_value()) return session.error();
  db::Session& db = **session;

  std::set<std::string> wanted(args.tables.begin(), args.tables.end());
  std::set<std::string> found;
  int failures = 0;
  DumpTable table;
  DumpRow row;
  while (true) {
    Result<bool> more = reader->NextTable(table);
    if (!more.has_value()) {
      report.Print(fmt::format("Error: {}.\n", more.error().message()));
      ++failures;
      break;
    }
    if (!*more) break;
    bool selected = args.full || wanted.contains(table.name);
    Status checked = selected ? CheckTable(table) : Status::Ok();
    if (!selected || !checked.ok()) {
      if (!checked.ok()) {
        report.Print(fmt::format("Error: {}.\n", checked.message()));
        ++failures;
      }
      VOLMEK_RETURN_IF_ERROR(reader->SkipRows());
      continue;
    }
    found.insert(table.name);
    VOLMEK_ASSIGN_OR_RETURN(bool created, db.RunStatement(CreateStatement(table)));
    if (!created && !args.ignore) {
      report.Print(fmt::format("Error: no se puede crear la tabla {}; sus filas no se importan.\n",
                               table.name));
      ++failures;
      VOLMEK_RETURN_IF_ERROR(reader->SkipRows());
      continue;
    }
    std::uint64_t rows = 0;
    std::uint64_t rejected = 0;
    while (true) {
      Result<bool> got = reader->NextRow(row);
      if (!got.has_value()) {
        report.Print(fmt::format("Error: {}.\n", got.error().message()));
        ++failures;
        break;
      }
      if (!*got) break;
      Result<std::string> sql = InsertStatement(table, row);
      bool inserted = false;
      if (sql.has_value()) {
        VOLMEK_ASSIGN_OR_RETURN(inserted, db.RunStatement(*sql));
      } else {
        report.Print(fmt::format("Error: {}.\n", sql.error().message()));
      }
      if (inserted) {
        ++rows;
      } else {
        ++rejected;
      }
    }
    report.Print(
        fmt::format("Importada tabla {} con {} fila{}.\n", table.name, rows, Plural(rows)));
    if (rejected > 0) {
      report.Print(fmt::format("Warning. {} fila{} rechazada{}.\n", rejected, Plural(rejected),
                               Plural(rejected)));
      ++failures;
    }
  }
  for (const std::string& name : wanted) {
    if (!found.contains(name)) {
      report.Print(fmt::format("Error: la tabla {} no esta en {}.\n", name, args.file));
      ++failures;
    }
  }
  VOLMEK_RETURN_IF_ERROR(db.Commit());
  VOLMEK_RETURN_IF_ERROR(db.Close());
  if (failures > 0) {
    report.Print("Importacion terminada con errores.\n");
    return Status::Database("");
  }
  report.Print("Importacion terminada.\n");
  return Status::Ok();
}

}  // namespace volmek::tools
