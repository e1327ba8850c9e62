// REGEXP_LIKE, REGEXP_SUBSTR, REGEXP_INSTR, REGEXP_REPLACE and REGEXP_COUNT over ICU's regular
// expressions (the pattern translated by regexp_pattern.h). The subject is searched as UTF-8 in
// place; positions and occurrences count characters, as Oracle's do in an AL32UTF8 database.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/functions/function_support.h"
#include "engine/functions/icu_library.h"
#include "engine/functions/regexp_pattern.h"

namespace volmek::engine::fn {

namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The 1-based character position of byte `offset`.
long long CharPosition(std::string_view text, std::size_t offset) {
  long long count = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (!IsContinuation(text[i])) ++count;
  }
  return count;
}

// The byte offset of character `position` (1-based); nullopt past the end.
std::optional<std::size_t> ByteOffset(std::string_view text, long long position) {
  long long seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsContinuation(text[i]) && ++seen == position) return i;
  }
  return std::nullopt;
}

OraError OutOfRange(long long value) {
  return Ora(1428, "argument '" + std::to_string(value) + "' is out of range");
}

OraError InternalError() { return Ora(12722, "regular expression internal error"); }

OraError FromIcu(UErrorCode status) {
  switch (status) {
    case U_REGEX_MISMATCHED_PAREN:
      return Ora(12725, "unmatched parentheses in regular expression");
    case U_REGEX_INVALID_BACK_REF:
      return Ora(12727, "invalid back reference in regular expression");
    case U_REGEX_INVALID_RANGE:
      return Ora(12728, "invalid range in regular expression");
    case U_REGEX_BAD_INTERVAL:
    case U_REGEX_MAX_LT_MIN:
    case U_REGEX_NUMBER_TOO_BIG:
      return Ora(12732, "invalid interval value in regular expression");
    case U_REGEX_PATTERN_TOO_BIG:
      return Ora(12733, "regular expression too long");
    default:
      return InternalError();
  }
}

// ICU once a pattern is compiled: only Compiled::Make loads it, and nothing below runs without
// a compiled pattern.
const IcuLibrary& Loaded() { return *Icu(); }

struct RegexCloser {
  void operator()(URegularExpression* regex) const { Loaded().regex_close(regex); }
};
struct TextCloser {
  void operator()(UText* text) const { Loaded().text_close(text); }
};

// A compiled pattern with the Oracle pattern and match parameter it was compiled from, kept
// by SQLite as the auxiliary data of the pattern argument while that stays the same.
class Compiled {
 public:
  static OraResult<std::unique_ptr<Compiled>> Make(std::string_view pattern,
                                                   std::string_view match_parameter) {
    VK_ASSIGN_OR_ORA_RETURN(RegexpOptions options, ParseMatchParameter(match_parameter));
    VK_ASSIGN_OR_ORA_RETURN(std::string icu, ToIcuPattern(pattern, options));
    std::string why;
    const IcuLibrary* library = Icu(&why);
    if (library == nullptr) {
      return OraErr(Ora(600, "internal error code, arguments: [icu], [" + why + "]"));
    }
    UErrorCode status = U_ZERO_ERROR;
    UParseError where{};
    std::unique_ptr<UText, TextCloser> text(library->text_open_utf8(
        nullptr, icu.data(), static_cast<std::int64_t>(icu.size()), &status));
    if (U_FAILURE(status)) return OraErr(InternalError());
    std::unique_ptr<URegularExpression, RegexCloser> owned(
        library->regex_open_utext(text.get(), IcuFlags(options), &where, &status));
    if (U_FAILURE(status)) return OraErr(FromIcu(status));
    auto compiled = std::make_unique<Compiled>();
    compiled->pattern_ = std::string(pattern);
    compiled->match_parameter_ = std::string(match_parameter);
    compiled->regex_ = std::move(owned);
    return compiled;
  }

  bool Is(std::string_view pattern, std::string_view match_parameter) const {
    return pattern_ == pattern && match_parameter_ == match_parameter;
  }
  URegularExpression* regex() const { return regex_.get(); }

 private:
  std::string pattern_;
  std::string match_parameter_;
  std::unique_ptr<URegularExpression, RegexCloser> regex_;
};

// Byte ranges of one match: the whole match and each group (-1 when a group took no part).
struct Match {
  std::vector<std::pair<std::int64_t, std::int64_t>> groups;
};

// Searching one subject with a compiled pattern, match after match from a start position.
class Search {
 public:
  Search(URegularExpression* regex, std::string_view subject) : regex_(regex), subject_(subject) {}

  OraStatus Start(std::size_t from) {
    UErrorCode status = U_ZERO_ERROR;
    text_.reset(Loaded().text_open_utf8(nullptr, subject_.data(),
                                        static_cast<std::int64_t>(subject_.size()), &status));
    if (U_FAILURE(status)) return OraErr(InternalError());
    Loaded().regex_set_utext(regex_, text_.get(), &status);
    Loaded().regex_reset64(regex_, static_cast<std::int64_t>(from), &status);
    if (U_FAILURE(status)) return OraErr(InternalError());
    return {};
  }

  // The next match; nullopt at the end.
  OraResult<std::optional<Match>> Next() {
    UErrorCode status = U_ZERO_ERROR;
    const bool found = Loaded().regex_find_next(regex_, &status);
    if (U_FAILURE(status)) return OraErr(FromIcu(status));
    if (!found) return std::optional<Match>();
    Match match;
    const std::int32_t groups = Loaded().regex_group_count(regex_, &status);
    for (std::int32_t group = 0; group <= groups; ++group) {
      std::int64_t begin = Loaded().regex_start64(regex_, group, &status);
      std::int64_t end = Loaded().regex_end64(regex_, group, &status);
      match.groups.emplace_back(begin, end);
    }
    if (U_FAILURE(status)) return OraErr(InternalError());
    return std::optional<Match>(std::move(match));
  }

  ~Search() {
    if (text_) {
      // The pattern keeps no reference to a subject that is about to go.
      UErrorCode status = U_ZERO_ERROR;
      Loaded().regex_set_text(regex_, u"", 0, &status);
    }
  }
  Search(const Search&) = delete;
  Search& operator=(const Search&) = delete;

 private:
  URegularExpression* regex_;
  std::string_view subject_;
  std::unique_ptr<UText, TextCloser> text_;
};

// The compiled pattern of one call: the one SQLite kept from the call before when the pattern
// and match parameter are the same, else a new one, which SQLite is given to keep when the call
// is over (it may drop it at once, so it is not handed over while still in use).
class PatternArg {
 public:
  PatternArg() = default;
  PatternArg(const PatternArg&) = delete;
  PatternArg& operator=(const PatternArg&) = delete;
  ~PatternArg() {
    if (owned_) {
      sqlite3_set_auxdata(ctx_, index_, owned_.release(), [](void* data) {
        std::unique_ptr<Compiled>(static_cast<Compiled*>(data));
      });
    }
  }

  // Reads argument `pattern_index` with the match parameter at `parameter_index` (-1: none).
  // False after an error was raised.
  bool Read(sqlite3_context* ctx, sqlite3_value** argv, int argc, int pattern_index,
            int parameter_index, std::string_view pattern) {
    std::string parameter;
    if (parameter_index >= 0 && parameter_index < argc) {
      SqlValue value = Arg(argv, parameter_index);
      if (!IsNull(value)) {
        auto text = TextOf(value);
        if (!text) {
          ResultError(ctx, text.error());
          return false;
        }
        parameter = std::string(text->view());
      }
    }
    auto* cached = static_cast<Compiled*>(sqlite3_get_auxdata(ctx, pattern_index));
    if (cached != nullptr && cached->Is(pattern, parameter)) {
      compiled_ = cached;
      return true;
    }
    auto compiled = Compiled::Make(pattern, parameter);
    if (!compiled) {
      ResultError(ctx, compiled.error());
      return false;
    }
    owned_ = std::move(*compiled);
    compiled_ = owned_.get();
    ctx_ = ctx;
    index_ = pattern_index;
    return true;
  }

  URegularExpression* regex() const { return compiled_->regex(); }

 private:
  Compiled* compiled_ = nullptr;
  std::unique_ptr<Compiled> owned_;
  sqlite3_context* ctx_ = nullptr;
  int index_ = 0;
};

// An optional integer argument: `fallback` when absent; nullopt (NULL set) when NULL or after
// an error.
std::optional<long long> OptionalInteger(sqlite3_context* ctx, sqlite3_value** argv, int argc,
                                         int index, long long fallback) {
  if (index >= argc) return fallback;
  auto value = IntegerArg(Arg(argv, index));
  if (!value) {
    ResultError(ctx, value.error());
    return std::nullopt;
  }
  if (!*value) {
    sqlite3_result_null(ctx);
    return std::nullopt;
  }
  return **value;
}

// What every REGEXP_ function reads first: the subject, the pattern and the start position.
struct Call {
  TextArg subject;
  TextArg pattern;
  PatternArg compiled;
  std::optional<std::size_t> from;  // byte offset of the start position; nullopt past the end
};

// False when the result is already set (NULL or an error).
bool ReadCall(sqlite3_context* ctx, int argc, sqlite3_value** argv, int position_index,
              int parameter_index, Call* call) {
  if (!TextArgument(ctx, argv, 0, &call->subject)) return false;
  if (!TextArgument(ctx, argv, 1, &call->pattern)) return false;
  long long position = 1;
  if (position_index >= 0) {
    std::optional<long long> given = OptionalInteger(ctx, argv, argc, position_index, 1);
    if (!given) return false;
    position = *given;
    if (position < 1) {
      ResultError(ctx, OutOfRange(position));
      return false;
    }
  }
  if (!call->compiled.Read(ctx, argv, argc, 1, parameter_index, call->pattern.view())) {
    return false;
  }
  call->from = ByteOffset(call->subject.view(), position);
  return true;
}

// The `occurrence`th match from the call's start; nullopt when there are fewer.
OraResult<std::optional<Match>> Nth(const Call& call, long long occurrence) {
  Search search(call.compiled.regex(), call.subject.view());
  VK_RETURN_IF_ORA_ERROR(search.Start(*call.from));
  for (long long seen = 1;; ++seen) {
    VK_ASSIGN_OR_ORA_RETURN(std::optional<Match> match, search.Next());
    if (!match || seen == occurrence) return match;
  }
}

std::optional<long long> Subexpression(sqlite3_context* ctx, sqlite3_value** argv, int argc,
                                       int index) {
  std::optional<long long> value = OptionalInteger(ctx, argv, argc, index, 0);
  if (value && (*value < 0 || *value > 9)) {
    ResultError(ctx, OutOfRange(*value));
    return std::nullopt;
  }
  return value;
}

// REGEXP_LIKE(subject, pattern[, match_parameter]): 1 or 0, NULL when either is NULL.
void RegexpLike(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Call call;
  if (!ReadCall(ctx, argc, argv, -1, 2, &call)) return;
  auto match = Nth(call, 1);
  if (!match) return ResultError(ctx, match.error());
  sqlite3_result_int(ctx, match->has_value() ? 1 : 0);
}

// REGEXP_SUBSTR(subject, pattern[, position[, occurrence[, match_parameter[, subexpr]]]]).
void RegexpSubstr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Call call;
  if (!ReadCall(ctx, argc, argv, 2, 4, &call)) return;
  std::optional<long long> occurrence = OptionalInteger(ctx, argv, argc, 3, 1);
  if (!occurrence) return;
  if (*occurrence < 1) return ResultError(ctx, OutOfRange(*occurrence));
  std::optional<long long> group = Subexpression(ctx, argv, argc, 5);
  if (!group) return;
  if (!call.from) return sqlite3_result_null(ctx);
  auto match = Nth(call, *occurrence);
  if (!match) return ResultError(ctx, match.error());
  if (!*match || static_cast<std::size_t>(*group) >= (*match)->groups.size()) {
    return sqlite3_result_null(ctx);
  }
  auto [begin, end] = (*match)->groups[static_cast<std::size_t>(*group)];
  if (begin < 0) return sqlite3_result_null(ctx);
  ResultText(ctx, call.subject.view().substr(static_cast<std::size_t>(begin),
                                             static_cast<std::size_t>(end - begin)));
}

// REGEXP_INSTR(subject, pattern[, position[, occurrence[, return_option[, match_parameter[,
// subexpr]]]]]): the character position of the match (return_option 0) or of the character
// after it (1); 0 when there is none.
void RegexpInstr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Call call;
  if (!ReadCall(ctx, argc, argv, 2, 5, &call)) return;
  std::optional<long long> occurrence = OptionalInteger(ctx, argv, argc, 3, 1);
  if (!occurrence) return;
  if (*occurrence < 1) return ResultError(ctx, OutOfRange(*occurrence));
  std::optional<long long> after = OptionalInteger(ctx, argv, argc, 4, 0);
  if (!after) return;
  if (*after < 0) return ResultError(ctx, OutOfRange(*after));
  std::optional<long long> group = Subexpression(ctx, argv, argc, 6);
  if (!group) return;
  if (!call.from) return sqlite3_result_int(ctx, 0);
  auto match = Nth(call, *occurrence);
  if (!match) return ResultError(ctx, match.error());
  if (!*match || static_cast<std::size_t>(*group) >= (*match)->groups.size()) {
    return sqlite3_result_int(ctx, 0);
  }
  auto [begin, end] = (*match)->groups[static_cast<std::size_t>(*group)];
  if (begin < 0) return sqlite3_result_int(ctx, 0);
  const std::size_t offset = static_cast<std::size_t>(*after > 0 ? end : begin);
  sqlite3_result_int64(ctx, CharPosition(call.subject.view(), offset));
}

// REGEXP_COUNT(subject, pattern[, position[, match_parameter]]).
void RegexpCount(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Call call;
  if (!ReadCall(ctx, argc, argv, 2, 3, &call)) return;
  if (!call.from) return sqlite3_result_int(ctx, 0);
  Search search(call.compiled.regex(), call.subject.view());
  if (auto started = search.Start(*call.from); !started) {
    return ResultError(ctx, started.error());
  }
  long long count = 0;
  while (true) {
    auto match = search.Next();
    if (!match) return ResultError(ctx, match.error());
    if (!*match) break;
    ++count;
  }
  sqlite3_result_int64(ctx, count);
}

// The replacement text for one match: \1 .. \9 are the groups, \\ a backslash.
void AppendReplacement(std::string& out, std::string_view replacement, std::string_view subject,
                       const Match& match) {
  for (std::size_t i = 0; i < replacement.size(); ++i) {
    const char c = replacement[i];
    if (c == '\\' && i + 1 < replacement.size()) {
      const char next = replacement[i + 1];
      if (next >= '1' && next <= '9') {
        const auto group = static_cast<std::size_t>(next - '0');
        if (group < match.groups.size() && match.groups[group].first >= 0) {
          auto [begin, end] = match.groups[group];
          out.append(subject.substr(static_cast<std::size_t>(begin),
                                    static_cast<std::size_t>(end - begin)));
        }
        ++i;
        continue;
      }
      if (next == '\\') {
        out.push_back('\\');
        ++i;
        continue;
      }
    }
    out.push_back(c);
  }
}

// REGEXP_REPLACE(subject, pattern[, replacement[, position[, occurrence[, match_parameter]]]]):
// occurrence 0 (the default) replaces every match. A NULL pattern leaves the subject as it is.
void RegexpReplace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Call call;
  if (!TextArgument(ctx, argv, 0, &call.subject)) return;
  if (IsNull(Arg(argv, 1))) {
    std::string subject(call.subject.view());
    return ResultText(ctx, subject);
  }
  if (!TextArgument(ctx, argv, 1, &call.pattern)) return;
  TextArg replacement;
  if (argc > 2 && !IsNull(Arg(argv, 2))) {
    auto text = TextOf(Arg(argv, 2));
    if (!text) return ResultError(ctx, text.error());
    replacement = std::move(*text);
  }
  std::optional<long long> position = OptionalInteger(ctx, argv, argc, 3, 1);
  if (!position) return;
  if (*position < 1) return ResultError(ctx, OutOfRange(*position));
  std::optional<long long> occurrence = OptionalInteger(ctx, argv, argc, 4, 0);
  if (!occurrence) return;
  if (*occurrence < 0) return ResultError(ctx, OutOfRange(*occurrence));
  if (!call.compiled.Read(ctx, argv, argc, 1, 5, call.pattern.view())) return;
  const std::string_view subject = call.subject.view();
  call.from = ByteOffset(subject, *position);
  if (!call.from) return ResultText(ctx, std::string(subject));
  Search search(call.compiled.regex(), subject);
  if (auto started = search.Start(*call.from); !started) {
    return ResultError(ctx, started.error());
  }
  const auto limit = static_cast<std::size_t>(
      sqlite3_limit(sqlite3_context_db_handle(ctx), SQLITE_LIMIT_LENGTH, -1));
  std::string out;
  std::size_t copied = 0;
  for (long long seen = 1;; ++seen) {
    auto match = search.Next();
    if (!match) return ResultError(ctx, match.error());
    if (!*match) break;
    if (*occurrence != 0 && seen < *occurrence) continue;
    auto [begin, end] = (*match)->groups[0];
    out.append(subject.substr(copied, static_cast<std::size_t>(begin) - copied));
    AppendReplacement(out, replacement.view(), subject, **match);
    copied = static_cast<std::size_t>(end);
    if (out.size() > limit) return sqlite3_result_error_toobig(ctx);
    if (*occurrence != 0) break;
  }
  out.append(subject.substr(copied));
  if (out.size() > limit) return sqlite3_result_error_toobig(ctx);
  ResultText(ctx, out);
}

constexpr FunctionDef kRegexpFunctions[] = {
    {"regexp_like", 2, 3, true, RegexpLike},   {"regexp_substr", 2, 6, true, RegexpSubstr},
    {"regexp_instr", 2, 7, true, RegexpInstr}, {"regexp_replace", 2, 6, true, RegexpReplace},
    {"regexp_count", 2, 4, true, RegexpCount},
};

}  // namespace

std::span<const FunctionDef> RegexpFunctions() { return kRegexpFunctions; }

}  // namespace volmek::engine::fn
