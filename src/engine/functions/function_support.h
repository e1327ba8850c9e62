// Shared by the files that implement the SQL functions (functions.cc, text_functions.cc,
// conversion_functions.cc, typed_functions.cc, case_mapping.cc): reading arguments and setting
// results by the engine's value rules. Not part of the engine's interface.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/functions/functions.h"
#include "engine/values/coerce.h"
#include "engine/values/date.h"
#include "engine/values/number.h"

namespace volmek::engine::fn {

using ScalarFunction = void (*)(sqlite3_context*, int, sqlite3_value**);

// One SQL function: its name, how many arguments it takes (max_args -1: any number from
// min_args on), whether its result depends on its arguments only.
struct FunctionDef {
  const char* name;
  int min_args;
  int max_args;
  bool deterministic;
  ScalarFunction function;
};

std::span<const FunctionDef> TextFunctions();
std::span<const FunctionDef> ConversionFunctions();
std::span<const FunctionDef> TypedFunctions();
std::span<const FunctionDef> CaseFunctions();
std::span<const FunctionDef> RegexpFunctions();
std::span<const FunctionDef> SessionFunctions();
std::span<const FunctionDef> RecursiveWithFunctions();
// SUM, AVG, their window forms, LISTAGG and vk_range_key (aggregate_functions.cc); a SQLite
// result code.
int RegisterAggregates(sqlite3* db, void* user_data);

const SessionSettings& Settings(sqlite3_context* ctx);
// The date SYSDATE names for this session.
Date CurrentDate(sqlite3_context* ctx);

inline SqlValue Arg(sqlite3_value** argv, int index) { return FromSqlite(argv[index]); }
// NULL, or the empty text (which is NULL).
bool IsNull(const SqlValue& value);
bool AnyNull(int argc, sqlite3_value** argv);

void ResultError(sqlite3_context* ctx, const OraError& error);
// INTEGER when integral within 64 bits, REAL when the double names it exactly, TEXT otherwise.
void ResultNumber(sqlite3_context* ctx, const Decimal& value);
// The empty text gives NULL.
void ResultText(sqlite3_context* ctx, std::string_view text);
// The same for a whole string: handed over with its terminator, so that SQLite need not grow
// the copy to add one when the value is read as text again.
void ResultText(sqlite3_context* ctx, const std::string& text);
void ResultDate(sqlite3_context* ctx, const Date& date);

// The text of a value as a character function sees it: numbers in Oracle's text form.
// Safe to move: the view is computed, so it never points into a moved-from buffer.
class TextArg {
 public:
  TextArg() = default;
  static TextArg Borrow(std::string_view text) {
    TextArg arg;
    arg.borrowed_ = text;
    return arg;
  }
  static TextArg Own(std::string text) {
    TextArg arg;
    arg.owned_ = std::move(text);
    arg.is_owned_ = true;
    return arg;
  }
  std::string_view view() const { return is_owned_ ? std::string_view(owned_) : borrowed_; }

 private:
  std::string owned_;
  std::string_view borrowed_;
  bool is_owned_ = false;
};
OraResult<TextArg> TextOf(const SqlValue& value);
// Reads argument `index` as text into *out; false when it is NULL (the result is then NULL) or
// an error was raised.
bool TextArgument(sqlite3_context* ctx, sqlite3_value** argv, int index, TextArg* out);

// A number argument; nullopt for NULL.
OraResult<std::optional<Decimal>> NumberArg(const SqlValue& value);
// An integer argument (positions, lengths, counts): the number truncated and clamped to
// +-2^53 so that later arithmetic cannot overflow; nullopt for NULL.
OraResult<std::optional<long long>> IntegerArg(const SqlValue& value);
// A date argument: the stored form, or text read with the session's date format.
// ORA-00932 for numbers. nullopt for NULL.
OraResult<std::optional<Date>> DateArg(const SqlValue& value, const SessionSettings& settings);
// True when the value is text in the stored date form.
std::optional<Date> StoredDateOf(const SqlValue& value);

// The ORA-00909 raised for a call with the wrong count of arguments.
OraError WrongArgumentCount();

}  // namespace volmek::engine::fn
