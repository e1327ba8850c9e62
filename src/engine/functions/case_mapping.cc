// UPPER, LOWER, INITCAP and their NLS_ forms, by Unicode's case mapping (ICU), so that accented
// letters and ñ change case as in Oracle's AL32UTF8 database (UPPER('año') is 'AÑO'). The
// mapping is the simple one, character for character. A byte that is no UTF-8 is kept as it is.
// ASCII maps here as ICU maps it, so text without other characters never loads ICU.
// LENGTHB and SUBSTRB count bytes where LENGTH and SUBSTR count characters.
#include "engine/functions/case_mapping.h"

#include <fmt/format.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/functions/function_support.h"
#include "engine/functions/icu_library.h"

namespace volmek::engine::fn {

namespace {

bool IsAsciiAlnum(UChar32 c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
UChar32 AsciiUpper(UChar32 c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }
UChar32 AsciiLower(UChar32 c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

}  // namespace

OraResult<std::string> MapCase(std::string_view text, CaseMapping mapping) {
  std::string out;
  out.reserve(text.size());
  const IcuLibrary* icu = nullptr;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  bool in_word = false;
  for (std::int32_t at = 0; at < length;) {
    if (bytes[at] < 0x80) {
      const UChar32 c = bytes[at++];
      UChar32 mapped = c;
      switch (mapping) {
        case CaseMapping::kUpper:
          mapped = AsciiUpper(c);
          break;
        case CaseMapping::kLower:
          mapped = AsciiLower(c);
          break;
        case CaseMapping::kInitcap:
          mapped = in_word ? AsciiLower(c) : AsciiUpper(c);
          in_word = IsAsciiAlnum(c);
          break;
      }
      out.push_back(static_cast<char>(mapped));
      continue;
    }
    std::int32_t start = at;
    UChar32 c = 0;
    U8_NEXT(bytes, at, length, c);
    if (c < 0) {
      out.append(
          text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(at - start)));
      in_word = false;
      continue;
    }
    if (icu == nullptr) {
      std::string why;
      icu = Icu(&why);
      if (icu == nullptr) {
        return OraErr(Ora(600, fmt::format("internal error code, arguments: [icu], [{}]", why)));
      }
    }
    UChar32 mapped = c;
    switch (mapping) {
      case CaseMapping::kUpper:
        mapped = icu->to_upper(c);
        break;
      case CaseMapping::kLower:
        mapped = icu->to_lower(c);
        break;
      case CaseMapping::kInitcap:
        // Words are runs of letters and digits; the first letter of each goes upper case.
        mapped = in_word ? icu->to_lower(c) : icu->to_upper(c);
        in_word = icu->is_alnum(c) != 0;
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

namespace {

template <CaseMapping kMapping>
void CaseFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  // NLS_UPPER(text, 'NLS_SORT=...'): the sort named does not change the mapping.
  if (argc < 1 || argc > 2) return ResultError(ctx, WrongArgumentCount());
  SqlValue value = Arg(argv, 0);
  if (IsNull(value)) return sqlite3_result_null(ctx);
  auto text = TextOf(value);
  if (!text) return ResultError(ctx, text.error());
  auto mapped = MapCase(text->view(), kMapping);
  if (!mapped) return ResultError(ctx, mapped.error());
  ResultText(ctx, *mapped);
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
    {"upper", 1, 1, true, CaseFunction<CaseMapping::kUpper>},
    {"lower", 1, 1, true, CaseFunction<CaseMapping::kLower>},
    {"initcap", 1, 1, true, CaseFunction<CaseMapping::kInitcap>},
    {"nls_upper", 1, 2, true, CaseFunction<CaseMapping::kUpper>},
    {"nls_lower", 1, 2, true, CaseFunction<CaseMapping::kLower>},
    {"nls_initcap", 1, 2, true, CaseFunction<CaseMapping::kInitcap>},
    {"lengthb", 1, 1, true, LengthB},
    {"substrb", 2, 3, true, SubstrB},
};

}  // namespace

std::span<const FunctionDef> CaseFunctions() { return kCaseFunctions; }

}  // namespace volmek::engine::fn
