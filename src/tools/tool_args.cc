#include "tools/tool_args.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>

#include "base/line_reader.h"
#include "base/text.h"
#include "base/version.h"

namespace volmek::tools {

namespace {

using Keywords = std::map<std::string, std::string>;

Status Invalid(std::string_view what) {
  return Status::InvalidInput(fmt::format("Parametro no valido: {}", what));
}

Status AddKeyword(std::string_view arg, std::span<const std::string_view> keywords, Keywords& out) {
  std::size_t equals = arg.find('=');
  if (equals == std::string_view::npos || equals == 0) return Invalid(arg);
  std::string key = UpperCase(arg.substr(0, equals));
  bool known = key == "PARFILE" || key == "USERID";
  for (std::string_view keyword : keywords) known = known || key == UpperCase(keyword);
  if (!known) return Invalid(arg);
  out[key] = std::string(arg.substr(equals + 1));
  return Status::Ok();
}

Status ReadParameterFile(const std::string& path, std::span<const std::string_view> keywords,
                         Keywords& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return Invalid(fmt::format("parfile={} (no se puede leer)", path));
  LineReader reader(in);
  std::string line;
  while (true) {
    VOLMEK_ASSIGN_OR_RETURN(bool more, reader.Next(line));
    if (!more) return Status::Ok();
    std::string_view text = WithoutLineEnd(line);
    if (text.empty() || text[0] == '#') continue;
    VOLMEK_RETURN_IF_ERROR(AddKeyword(text, keywords, out));
  }
}

bool IsYes(std::string_view value) {
  std::string upper = UpperCase(value);
  return upper == "Y" || upper == "YES";
}

std::vector<std::string> TableList(std::string_view value) {
  if (value.size() >= 2 && value.front() == '(' && value.back() == ')') {
    value = value.substr(1, value.size() - 2);
  }
  std::vector<std::string> tables;
  std::size_t start = 0;
  while (start <= value.size()) {
    std::size_t comma = value.find(',', start);
    if (comma == std::string_view::npos) comma = value.size();
    std::string name = UpperCase(value.substr(start, comma - start));
    name.erase(0, name.find_first_not_of(' '));
    RightTrim(name);
    if (!name.empty()) tables.push_back(name);
    start = comma + 1;
  }
  return tables;
}

}  // namespace

std::optional<std::string> OptionAnswer(std::span<const std::string> args, std::string_view program,
                                        std::string_view help) {
  if (args.size() != 1) return std::nullopt;
  if (args[0] == "--help") return std::string(help);
  if (args[0] == "--version") return VersionLine(program);
  return std::nullopt;
}

void SplitUserid(std::string_view userid, ToolArgs& out) {
  std::size_t slash = userid.find('/');
  std::size_t at = userid.find('@', slash == std::string_view::npos ? 0 : slash);
  std::size_t user_end = std::min(slash, at);
  out.user = std::string(userid.substr(0, user_end));
  if (slash != std::string_view::npos) {
    std::size_t password_end = at == std::string_view::npos ? userid.size() : at;
    out.password = std::string(userid.substr(slash + 1, password_end - slash - 1));
  }
  if (at != std::string_view::npos) out.tns = std::string(userid.substr(at + 1));
}

Result<ToolArgs> ParseToolArgs(std::span<const std::string> args,
                               std::span<const std::string_view> keywords) {
  Keywords given;
  for (const std::string& arg : args) VOLMEK_RETURN_IF_ERROR(AddKeyword(arg, keywords, given));
  Keywords all;
  if (auto parfile = given.find("PARFILE"); parfile != given.end()) {
    VOLMEK_RETURN_IF_ERROR(ReadParameterFile(parfile->second, keywords, all));
  }
  for (auto& [key, value] : given) all[key] = value;

  ToolArgs result;
  auto userid = all.find("USERID");
  if (userid == all.end()) return Err(Invalid("falta userid"));
  SplitUserid(userid->second, result);
  result.file = all.contains("FILE") ? all["FILE"] : "expdat.dmp";
  if (all.contains("LOG")) result.log = all["LOG"];
  if (all.contains("FULL")) result.full = IsYes(all["FULL"]);
  if (all.contains("IGNORE")) result.ignore = IsYes(all["IGNORE"]);
  if (all.contains("TABLES")) result.tables = TableList(all["TABLES"]);
  return result;
}

}  // namespace volmek::tools
