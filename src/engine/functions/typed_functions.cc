// Functions whose arguments the translator has already brought to one type, because the
// datatype of a value cannot be told from its SQLite form alone: a NUMBER column holds its
// canonical decimal text ("0.1") and TO_CHAR can return text in the stored date form. The
// translator knows each operand's Oracle type and converts explicitly before calling these.
//
//   vk_cat(a, b, ...)            || and CONCAT: texts joined as they are; INTEGER and REAL (the
//                                form computed numbers travel in) as TO_CHAR writes them;
//                                NULLs skipped, NULL when every part is NULL or empty
//   vk_greatest_text(a, ...)     GREATEST/LEAST of texts: byte by byte, NULL if any is NULL
//   vk_least_text(a, ...)
//   vk_greatest_num(a, ...)      GREATEST/LEAST of numbers: by value, ORA-01722 for text that
//   vk_least_num(a, ...)         is not a number
//   vk_error(code, text)         raises ORA-<code>: <text>
#include <string>
#include <vector>

#include "engine/functions/function_support.h"

namespace volmek::engine::fn {

namespace {

void Cat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string result;
  for (int i = 0; i < argc; ++i) {
    SqlValue value = Arg(argv, i);
    if (IsNull(value)) continue;
    auto text = TextOf(value);
    if (!text) return ResultError(ctx, text.error());
    result.append(text->view());
  }
  // A VARCHAR2 of SQL holds 4000 bytes: Oracle refuses a longer concatenation rather than cut it
  // (SYS_CONNECT_BY_PATH builds its path here too).
  if (result.size() > kMaxVarchar2Bytes) {
    return ResultError(ctx, Ora(1489, "result of string concatenation is too long"));
  }
  ResultText(ctx, result);
}

void ExtremeText(sqlite3_context* ctx, int argc, sqlite3_value** argv, int wanted_sign) {
  if (argc < 1) return ResultError(ctx, WrongArgumentCount());
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::vector<TextArg> texts;
  texts.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) {
    auto text = TextOf(Arg(argv, i));
    if (!text) return ResultError(ctx, text.error());
    texts.push_back(std::move(*text));
  }
  std::size_t best = 0;
  for (std::size_t idx = 1; idx < texts.size(); ++idx) {
    int c = texts[idx].view().compare(texts[best].view());
    if ((c > 0 ? 1 : (c < 0 ? -1 : 0)) == wanted_sign) best = idx;
  }
  ResultText(ctx, texts[best].view());
}

void ExtremeNumber(sqlite3_context* ctx, int argc, sqlite3_value** argv, int wanted_sign) {
  if (argc < 1) return ResultError(ctx, WrongArgumentCount());
  // Every argument is converted, so that text that is no number fails even beside a NULL.
  std::vector<Decimal> values;
  bool any_null = false;
  for (int i = 0; i < argc; ++i) {
    auto number = NumberArg(Arg(argv, i));
    if (!number) return ResultError(ctx, number.error());
    if (!*number) {
      any_null = true;
      continue;
    }
    values.push_back(**number);
  }
  if (any_null) return sqlite3_result_null(ctx);
  std::size_t best = 0;
  for (std::size_t idx = 1; idx < values.size(); ++idx) {
    if (Decimal::Compare(values[idx], values[best]) == wanted_sign) best = idx;
  }
  ResultNumber(ctx, values[best]);
}

void GreatestText(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  ExtremeText(ctx, argc, argv, 1);
}
void LeastText(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  ExtremeText(ctx, argc, argv, -1);
}
void GreatestNumber(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  ExtremeNumber(ctx, argc, argv, 1);
}
void LeastNumber(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  ExtremeNumber(ctx, argc, argv, -1);
}

void RaiseError(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int code = sqlite3_value_int(argv[0]);
  const unsigned char* text = sqlite3_value_text(argv[1]);
  ResultError(ctx, Ora(code, text == nullptr ? "" : reinterpret_cast<const char*>(text)));
}

constexpr FunctionDef kTypedFunctions[] = {
    {"vk_cat", 1, -1, true, Cat},
    {"vk_greatest_text", 1, -1, true, GreatestText},
    {"vk_least_text", 1, -1, true, LeastText},
    {"vk_greatest_num", 1, -1, true, GreatestNumber},
    {"vk_least_num", 1, -1, true, LeastNumber},
    // Not deterministic: SQLite must not evaluate it once ahead of the rows.
    {"vk_error", 2, 2, false, RaiseError},
};

}  // namespace

std::span<const FunctionDef> TypedFunctions() { return kTypedFunctions; }

}  // namespace volmek::engine::fn
