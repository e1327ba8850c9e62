// UPPER, LOWER, INITCAP and their NLS_ forms, by Unicode's case mapping (ICU), so that accented
// letters and ñ change case as in Oracle's AL32UTF8 database (UPPER('año') is 'AÑO'). The
// mapping is the simple one, character for character. A byte that is no UTF-8 is kept as it is.
// LENGTHB and SUBSTRB count bytes where LENGTH and SUBSTR count characters.
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/functions/function_support.h"

namespace volmek::engine::fn {

namespace {

enum class Mapping { kUpper, kLower, kInitcap };

std::string MapCase(std::string_view text, Mapping mapping) {
  std::string out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  bool in_word = false;
  for (std::int32_t at = 0; at < length;) {
    std::int32_t start = at;
    UChar32 c = 0;
    U8_NEXT(bytes, at, length, c);
    if (c < 0) {
      out.append(
          text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(at - start)));
      in_word = false;
      continue;
    }
    UChar32 mapped = c;
    switch (mapping) {
      case Mapping::kUpper:
        mapped = u_toupper(c);
        break;
      case Mapping::kLower:
        mapped = u_tolower(c);
        break;
      case Mapping::kInitcap:
        // Words are runs of letters and digits; the first letter of each goes upper case.
        mapped = in_word ? u_tolower(c) : u_toupper(c);
        in_word = u_isalnum(c) != 0;
        break;
    }
    char buffer[U8_MAX_LENGTH];
    std::int32_t written = 0;
    UBool error = false;
    U8_APPEND(reinterpret_cast<std::uint8_t*>(buffer), written, U8_MAX_LENGTH, mapped, error);
    if (error) {
      out.append(
          text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(at - start)));
    } else {
      out.append(buffer, static_cast<std::size_t>(written));
    }
  }
  return out;
}

template <Mapping kMapping>
void CaseFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  // NLS_UPPER(text, 'NLS_SORT=...'): the sort named does not change the mapping.
  if (argc < 1 || argc > 2) return ResultError(ctx, WrongArgumentCount());
  SqlValue value = Arg(argv, 0);
  if (IsNull(value)) return sqlite3_result_null(ctx);
  auto text = TextOf(value);
  if (!text) return ResultError(ctx, text.error());
  ResultText(ctx, MapCase(text->view(), kMapping));
}

void LengthB(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SqlValue value = Arg(argv, 0);
  if (IsNull(value)) return sqlite3_result_null(ctx);
  auto text = TextOf(value);
  if (!text) return ResultError(ctx, text.error());
  sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(text->view().size()));
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// SUBSTRB(text, position[, length]) in bytes. A character the byte range cuts is not returned
// in part: each of its bytes inside the range becomes a blank, so the result still takes the
// bytes asked for and is valid text.
void SubstrB(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  SqlValue value = Arg(argv, 0);
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  auto text = TextOf(value);
  if (!text) return ResultError(ctx, text.error());
  auto start = IntegerArg(Arg(argv, 1));
  if (!start) return ResultError(ctx, start.error());
  std::optional<long long> length;
  if (argc > 2) {
    auto given = IntegerArg(Arg(argv, 2));
    if (!given) return ResultError(ctx, given.error());
    if (**given < 1) return sqlite3_result_null(ctx);
    length = **given;
  }
  std::string_view bytes = text->view();
  const auto size = static_cast<long long>(bytes.size());
  long long first = **start == 0 ? 1 : **start;
  if (first < 0) first = size + first + 1;
  if (first < 1 || first > size) return sqlite3_result_null(ctx);
  const long long end = length ? std::min(size, first - 1 + *length) : size;
  auto from = static_cast<std::size_t>(first - 1);
  auto to = static_cast<std::size_t>(end);
  std::string out;
  out.reserve(to - from);
  // The tail of a character that starts before the range.
  while (from < to && IsContinuationByte(bytes[from])) {
    out.push_back(' ');
    ++from;
  }
  // The head of a character that ends after the range.
  std::size_t whole_end = to;
  if (to < bytes.size() && IsContinuationByte(bytes[to])) {
    while (whole_end > from && IsContinuationByte(bytes[whole_end])) --whole_end;
  }
  out.append(bytes.substr(from, whole_end - from));
  out.append(to - whole_end, ' ');
  ResultText(ctx, out);
}

constexpr FunctionDef kCaseFunctions[] = {
    {"upper", 1, 1, true, CaseFunction<Mapping::kUpper>},
    {"lower", 1, 1, true, CaseFunction<Mapping::kLower>},
    {"initcap", 1, 1, true, CaseFunction<Mapping::kInitcap>},
    {"nls_upper", 1, 2, true, CaseFunction<Mapping::kUpper>},
    {"nls_lower", 1, 2, true, CaseFunction<Mapping::kLower>},
    {"nls_initcap", 1, 2, true, CaseFunction<Mapping::kInitcap>},
    {"lengthb", 1, 1, true, LengthB},
    {"substrb", 2, 3, true, SubstrB},
};

}  // namespace

std::span<const FunctionDef> CaseFunctions() { return kCaseFunctions; }

}  // namespace volmek::engine::fn
