#include "sql/scripts.h"

#include <ostream>

#include "base/file_names.h"
#include "base/line_reader.h"

namespace volmek::sql {

namespace {

// Parses and executes `statement` on the main cursor, reporting each failing step. The
// execute is attempted after a failed parse too, and its refusal is reported as well: that is
// the form the administrators know from these scripts.
Status ParseAndExecute(db::Session& session, std::string_view statement) {
  db::SessionCursor& cursor = session.main();
  if (cursor.Parse(statement) != db::kRcOk) VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
  if (cursor.Execute() != db::kRcOk) VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
  return Status::Ok();
}

// Opens `name`, looking it up ignoring case; prints the warning when there is no such file.
std::optional<LineReader> OpenScript(db::Session& session, const std::string& name) {
  std::optional<std::string> path = FindFileIgnoringCase(name);
  if (path.has_value()) {
    Result<LineReader> reader = LineReader::OpenFile(*path);
    if (reader.has_value()) return std::move(*reader);
  }
  session.out() << "Warning. No existe el fichero " << name << "\n";
  return std::nullopt;
}

Status ReadFailure(const Status& status, std::string_view name) {
  return status.WithPrefix(std::string("Fichero ") + std::string(name) + ": ");
}

}  // namespace

ScriptName FormScriptName(std::string_view parameter) {
  std::size_t dot = parameter.find('.');
  if (dot == std::string_view::npos) return {std::string(parameter), ""};
  return {std::string(parameter.substr(0, dot)) + ".sql", std::string(parameter.substr(dot + 1))};
}

Status RunScript(db::Session& session, std::string_view parameter) {
  ScriptName script = FormScriptName(parameter);
  session.out() << "fichero (" << script.name << ")  extension (" << script.extension << ") \n";
  std::optional<LineReader> reader = OpenScript(session, script.name);
  if (!reader.has_value()) return Status::Ok();
  session.out() << "Ejecutando " << script.name << "...\n";

  std::string statement;
  std::string line;
  while (true) {
    Result<bool> more = reader->Next(line);
    if (!more.has_value()) return ReadFailure(more.error(), script.name);
    if (!*more) break;
    if (line.front() == ';') {
      session.Echo(statement);
      VOLMEK_RETURN_IF_ERROR(ParseAndExecute(session, statement));
      statement.clear();
    } else if (line.starts_with("--") || line == "\n") {
      continue;
    } else {
      statement += line;
    }
  }
  if (!statement.empty()) VOLMEK_RETURN_IF_ERROR(ParseAndExecute(session, statement));
  return Status::Ok();
}

Status RunFile(db::Session& session, std::string_view parameter) {
  std::string name(parameter);
  std::optional<LineReader> reader = OpenScript(session, name);
  if (!reader.has_value()) return Status::Ok();
  session.out() << "Ejecutando " << parameter << "...\n";

  std::string statement;
  std::string line;
  while (true) {
    Result<bool> more = reader->Next(line);
    if (!more.has_value()) return ReadFailure(more.error(), name);
    if (!*more) break;
    if (line.front() == ';' || line.back() == ';') {
      // A line that ends in ";" without a line end (the last one of the file) holds the end of
      // the statement before its ";".
      if (line.front() != ';') statement.append(line, 0, line.size() - 1);
      VOLMEK_RETURN_IF_ERROR(ParseAndExecute(session, statement));
      statement.clear();
    } else {
      statement += line;
    }
  }
  // A statement left without its ";" at the end of the file is not run.
  return Status::Ok();
}

}  // namespace volmek::sql
