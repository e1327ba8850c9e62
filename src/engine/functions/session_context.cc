// SYS_CONTEXT('USERENV', parameter[, length]) and USERENV(parameter): what the session knows of
// itself. The language settings are the fixed ones of this engine (American, AL32UTF8), the
// date format and sort the session's own.
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "engine/functions/function_support.h"

namespace volmek::engine::fn {

namespace {

OraError InvalidParameter() { return Ora(2003, "invalid USERENV parameter"); }

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

std::string HostName() {
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0) return "localhost";
  return std::string(name.data());
}

std::string OsUser() {
  if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_name != nullptr) {
    return entry->pw_name;
  }
  return "unknown";
}

// The terminal as Oracle names it ("pts/0"), "unknown" without one.
std::string Terminal() {
  const char* tty = ttyname(STDIN_FILENO);
  if (tty == nullptr) return "unknown";
  std::string name(tty);
  constexpr std::string_view kDev = "/dev/";
  return name.starts_with(kDev) ? name.substr(kDev.size()) : name;
}

// The USERENV namespace's value of `parameter` (upper case); nullopt for NULL.
OraResult<std::optional<std::string>> UserenvValue(const SessionSettings& settings,
                                                   std::string_view parameter) {
  using Value = std::optional<std::string>;
  if (parameter == "SESSION_USER" || parameter == "CURRENT_USER" || parameter == "CURRENT_SCHEMA" ||
      parameter == "AUTHENTICATED_IDENTITY" || parameter == "PROXY_USER") {
    return parameter == "PROXY_USER" ? Value() : Value(settings.session_user);
  }
  if (parameter == "SESSIONID" || parameter == "AUDSESSID" || parameter == "SID") {
    return Value(std::to_string(settings.session_id));
  }
  if (parameter == "DB_NAME" || parameter == "DB_UNIQUE_NAME" || parameter == "INSTANCE_NAME" ||
      parameter == "SERVICE_NAME" || parameter == "DB_DOMAIN") {
    return parameter == "DB_DOMAIN" ? Value() : Value(settings.database_name);
  }
  if (parameter == "HOST" || parameter == "SERVER_HOST") return Value(HostName());
  if (parameter == "OS_USER") return Value(OsUser());
  if (parameter == "TERMINAL") return Value(Terminal());
  if (parameter == "INSTANCE") return Value("1");
  if (parameter == "ISDBA") return Value("FALSE");
  if (parameter == "LANGUAGE") return Value("AMERICAN_AMERICA.AL32UTF8");
  if (parameter == "LANG") return Value("US");
  if (parameter == "NLS_TERRITORY") return Value("AMERICA");
  if (parameter == "NLS_DATE_LANGUAGE") return Value("AMERICAN");
  if (parameter == "NLS_CALENDAR") return Value("GREGORIAN");
  if (parameter == "NLS_CURRENCY") return Value("$");
  if (parameter == "NLS_DATE_FORMAT") return Value(settings.nls_date_format);
  if (parameter == "NLS_SORT") return Value(settings.nls_sort);
  if (parameter == "AUTHENTICATION_METHOD") return Value("PASSWORD");
  if (parameter == "NETWORK_PROTOCOL") return Value("beq");
  // Set by clients and applications this engine has none of.
  if (parameter == "IP_ADDRESS" || parameter == "CLIENT_INFO" || parameter == "CLIENT_IDENTIFIER" ||
      parameter == "MODULE" || parameter == "ACTION" || parameter == "BG_JOB_ID" ||
      parameter == "FG_JOB_ID") {
    return Value();
  }
  return OraErr(InvalidParameter());
}

void ResultValue(sqlite3_context* ctx, const OraResult<std::optional<std::string>>& value) {
  if (!value) return ResultError(ctx, value.error());
  if (!value->has_value()) return sqlite3_result_null(ctx);
  ResultText(ctx, **value);
}

void SysContext(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(Arg(argv, 0)) || IsNull(Arg(argv, 1))) return ResultError(ctx, InvalidParameter());
  auto space = TextOf(Arg(argv, 0));
  if (!space) return ResultError(ctx, space.error());
  auto parameter = TextOf(Arg(argv, 1));
  if (!parameter) return ResultError(ctx, parameter.error());
  // Other namespaces are contexts an application creates; none exists here, so they are NULL.
  if (Upper(space->view()) != "USERENV") return sqlite3_result_null(ctx);
  ResultValue(ctx, UserenvValue(Settings(ctx), Upper(parameter->view())));
}

// The older USERENV(parameter) knows fewer parameters.
void Userenv(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(Arg(argv, 0))) return ResultError(ctx, InvalidParameter());
  auto parameter = TextOf(Arg(argv, 0));
  if (!parameter) return ResultError(ctx, parameter.error());
  const std::string name = Upper(parameter->view());
  if (name == "ENTRYID") return ResultText(ctx, std::string_view("0"));
  static constexpr std::array<std::string_view, 8> kKnown = {
      "SESSIONID", "TERMINAL", "LANGUAGE", "LANG", "ISDBA", "INSTANCE", "CLIENT_INFO", "SID"};
  if (std::find(kKnown.begin(), kKnown.end(), name) == kKnown.end()) {
    return ResultError(ctx, InvalidParameter());
  }
  ResultValue(ctx, UserenvValue(Settings(ctx), name));
}

constexpr FunctionDef kSessionFunctions[] = {
    {"sys_context", 2, 3, false, SysContext},
    {"userenv", 1, 1, false, Userenv},
};

}  // namespace

std::span<const FunctionDef> SessionFunctions() { return kSessionFunctions; }

}  // namespace volmek::engine::fn
