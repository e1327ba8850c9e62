// The procedures of PL/SQL's supplied packages that maintenance scripts call: DBMS_OUTPUT,
// DBMS_STATS (as ANALYZE does), DBMS_LOCK.SLEEP / DBMS_SESSION.SLEEP, and
// RAISE_APPLICATION_ERROR.
#include <fmt/format.h>

#include <thread>

#include "engine/plsql/interpreter.h"
#include "engine/plsql/parser.h"
#include "engine/syntax/lexer.h"

namespace volmek::engine::plsql {
namespace {

constexpr std::size_t kMaxOutputLine = 32767;
constexpr std::size_t kDefaultOutputLimit = 20000;

std::string QuoteName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

}  // namespace

OraStatus Interpreter::PutOutput(std::string_view text, bool end_line) {
  DbmsOutput& output = host_.output();
  if (!output.enabled) return {};
  if (output.reading) {
    // Lines that GET_LINE left are dropped at the next write, as the package documents.
    output.lines.clear();
    output.next = 0;
    output.bytes = output.partial.size();
    output.reading = false;
  }
  if (output.partial.size() + text.size() > kMaxOutputLine) {
    return OraErr(Ora(20000, "ORU-10028: line length overflow, limit of 32767 bytes per line"));
  }
  if (output.limit != 0 && output.bytes + text.size() > output.limit) {
    return OraErr(
        Ora(20000, fmt::format("ORU-10027: buffer overflow, limit of {} bytes", output.limit)));
  }
  output.bytes += text.size();
  output.partial += text;
  if (end_line) {
    output.lines.push_back(std::move(output.partial));
    output.partial.clear();
  }
  return {};
}

OraStatus Interpreter::GatherStats(const Expr& call) {
  auto argument = [&](std::size_t position, std::string_view name) -> const Expr* {
    for (const ExprPtr& arg : call.args) {
      if (arg->arg_name == name) return arg.get();
    }
    if (position < call.args.size() && call.args[position]->arg_name.empty()) {
      return call.args[position].get();
    }
    return nullptr;
  };
  auto text_of = [&](const Expr* expr) -> OraResult<std::string> {
    if (expr == nullptr) return std::string();
    VK_ASSIGN_OR_ORA_RETURN(Value value, Eval(*expr));
    VK_ASSIGN_OR_ORA_RETURN(std::optional<std::string> text, AsText(value, host_.date_format()));
    return UpperAscii(text.value_or(""));
  };
  VK_ASSIGN_OR_ORA_RETURN(std::string owner, text_of(argument(0, "OWNNAME")));
  std::string user = host_.schema().CurrentUser();
  if (owner.empty()) owner = user;
  std::vector<std::string> tables;
  if (call.names[1] == "GATHER_TABLE_STATS") {
    VK_ASSIGN_OR_ORA_RETURN(std::string table, text_of(argument(1, "TABNAME")));
    tables.push_back(table);
  } else {
    if (owner != user) {
      return OraErr(Ora(20000, "Insufficient privileges to analyze an object in Schema"));
    }
    std::unique_ptr<SqlCursor> cursor = host_.OpenCursor();
    VK_RETURN_IF_ORA_ERROR(cursor->Parse("select table_name from user_tables order by 1"));
    VK_RETURN_IF_ORA_ERROR(cursor->Execute());
    std::vector<Value> row;
    while (true) {
      VK_ASSIGN_OR_ORA_RETURN(bool got, cursor->Fetch(&row));
      if (!got) break;
      tables.push_back(row[0].text);
    }
  }
  std::unique_ptr<SqlCursor> cursor = host_.OpenCursor();
  for (const std::string& table : tables) {
    std::string name = QuoteName(owner) + "." + QuoteName(table);
    OraStatus status = cursor->Parse("analyze table " + name + " compute statistics");
    if (status.has_value()) status = cursor->Execute();
    if (!status.has_value()) {
      if (status.error().code == 942 || status.error().code == 903) {
        return OraErr(Ora(20000, fmt::format("Unable to analyze TABLE {}, insufficient privileges "
                                             "or does not exist",
                                             name)));
      }
      return status;
    }
  }
  return {};
}

// DBMS_OUTPUT.GET_LINE(line OUT, status OUT): the oldest whole line and status 0, or NULL
// and status 1 when no line is left.
std::expected<void, RunError> Interpreter::GetOutputLine(const Stmt& stmt) {
  const Expr& call = *stmt.value;
  auto fail = [&](OraError error) { return std::unexpected(Raise(std::move(error), stmt.offset)); };
  if (call.args.size() != 2) {
    return fail(CompileError(text_, call.offset,
                             "PLS-00306: wrong number or types of arguments in call to "
                             "'GET_LINE'"));
  }
  for (const ExprPtr& arg : call.args) {
    if (arg->kind == ExprKind::kName) continue;
    // The argument as written: up to the "," or ")" that ends it.
    std::size_t end = arg->offset;
    int nesting = 0;
    while (end < text_.size() && (nesting > 0 || (text_[end] != ',' && text_[end] != ')'))) {
      if (text_[end] == '(') ++nesting;
      if (text_[end] == ')') --nesting;
      ++end;
    }
    std::string_view written = text_.substr(arg->offset, end - arg->offset);
    while (!written.empty() && (written.back() == ' ' || written.back() == '\n')) {
      written.remove_suffix(1);
    }
    return fail(CompileError(
        text_, arg->offset,
        fmt::format("PLS-00363: expression '{}' cannot be used as an assignment target",
                    UpperAscii(written))));
  }
  DbmsOutput& output = host_.output();
  Value line;
  int status = 1;
  if (output.next < output.lines.size()) {
    std::string& text = output.lines[output.next++];
    output.bytes -= std::min(output.bytes, text.size());
    line = Value::Text(std::move(text));
    status = 0;
    output.reading = true;
  }
  if (output.next >= output.lines.size()) {
    output.lines.clear();
    output.next = 0;
  }
  OraStatus assigned = AssignTo(*call.args[0], line);
  if (assigned.has_value()) assigned = AssignTo(*call.args[1], Value::Integer(status));
  if (!assigned.has_value()) return fail(assigned.error());
  return {};
}

std::expected<void, RunError> Interpreter::CallProcedure(const Stmt& stmt) {
  const Expr& call = *stmt.value;
  const std::vector<std::string>& names = call.names;
  if (names.size() == 2 && names[0] == "DBMS_OUTPUT" && names[1] == "GET_LINE") {
    return GetOutputLine(stmt);
  }
  if (!IsSuppliedProcedure(names)) return CallStatement(stmt);
  auto fail = [&](OraError error) { return std::unexpected(Raise(std::move(error), stmt.offset)); };
  auto wrong_arguments = [&]() {
    return fail(CompileError(text_, call.offset,
                             fmt::format("PLS-00306: wrong number or types of arguments in call "
                                         "to '{}'",
                                         names.back())));
  };
  std::vector<Value> args;
  for (const ExprPtr& arg : call.args) {
    if (names[0] == "DBMS_STATS") break;
    if (!arg->arg_name.empty()) {
      return fail(CompileError(text_, arg->offset,
                               "PLS-00999: implementation restriction (may be temporary) named "
                               "arguments"));
    }
    OraResult<Value> value = Eval(*arg);
    if (!value.has_value()) return fail(value.error());
    args.push_back(std::move(*value));
  }
  std::string format = host_.date_format();
  if (names.size() == 1) {  // RAISE_APPLICATION_ERROR(number, message [, keep])
    if (args.size() < 2 || args.size() > 3) return wrong_arguments();
    OraResult<std::optional<Decimal>> number = AsNumber(args[0]);
    if (!number.has_value()) return fail(number.error());
    std::optional<std::int64_t> code = *number ? (*number)->ToInt64Truncated() : std::nullopt;
    if (!code || *code < -20999 || *code > -20000) {
      return fail(Ora(21000, fmt::format("error number argument to raise_application_error of "
                                         "{} is out of range",
                                         code.value_or(0))));
    }
    OraResult<std::optional<std::string>> message = AsText(args[1], format);
    if (!message.has_value()) return fail(message.error());
    std::string text = message->value_or("");
    if (text.size() > 2048) text.resize(2048);
    return fail(OraError{static_cast<int>(-*code), fmt::format("ORA-{}: {}", -*code, text)});
  }
  const std::string& package = names[0];
  const std::string& name = names[1];
  if (package == "DBMS_OUTPUT") {
    DbmsOutput& output = host_.output();
    if (name == "ENABLE") {
      if (args.size() > 1) return wrong_arguments();
      output.enabled = true;
      output.limit = kDefaultOutputLimit;
      if (!args.empty()) {
        OraResult<std::optional<Decimal>> size = AsNumber(args[0]);
        if (!size.has_value()) return fail(size.error());
        std::optional<std::int64_t> bytes = *size ? (*size)->ToInt64Truncated() : std::nullopt;
        output.limit = bytes ? static_cast<std::size_t>(std::max<std::int64_t>(*bytes, 2000)) : 0;
      }
      return {};
    }
    if (name == "DISABLE") {
      if (!args.empty()) return wrong_arguments();
      output = DbmsOutput();
      return {};
    }
    if (name == "NEW_LINE") {
      if (!args.empty()) return wrong_arguments();
      OraStatus put = PutOutput("", true);
      if (!put.has_value()) return fail(put.error());
      return {};
    }
    if (args.size() != 1 || args[0].kind == Value::Kind::kBool) return wrong_arguments();
    OraResult<std::optional<std::string>> text = AsText(args[0], format);
    if (!text.has_value()) return fail(text.error());
    OraStatus put = PutOutput(text->value_or(""), name == "PUT_LINE");
    if (!put.has_value()) return fail(put.error());
    return {};
  }
  if (package == "DBMS_STATS") {
    OraStatus gathered = GatherStats(call);
    if (!gathered.has_value()) return fail(gathered.error());
    return {};
  }
  // DBMS_LOCK.SLEEP, DBMS_SESSION.SLEEP (seconds, to the hundredth).
  if (args.size() != 1) return wrong_arguments();
  OraResult<std::optional<Decimal>> seconds = AsNumber(args[0]);
  if (!seconds.has_value()) return fail(seconds.error());
  if (!*seconds || (*seconds)->is_negative()) {
    return fail(Ora(38148, "invalid time limit specified"));
  }
  if (host_.options().allow_sleep) {
    double wait = (*seconds)->ToDouble();
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<std::int64_t>(wait * 1000)));
  }
  return {};
}

}  // namespace volmek::engine::plsql
