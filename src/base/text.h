// Small text routines shared by every layer.
#pragma once

#include <string>
#include <string_view>

namespace volmek {

// Upper-cases "a" to "z" only; every other byte is kept (no locale-dependent letters).
std::string UpperCase(std::string_view text);
void UpperCaseInPlace(std::string& text);

// n blanks; the empty text when n is 0 or less.
std::string BlankFill(long long n);

// Removes the blanks (only ' ') at the end of `text`.
void RightTrim(std::string& text);
std::string_view RightTrimmed(std::string_view text);

// The letter of "fila%c": "s" unless count is exactly 1, then nothing.
std::string_view PluralS(long long count);

// True when `name` is an ordinary identifier that can be put into SQL text unquoted: a letter,
// then letters, digits, "_", "$" or "#". Used to refuse names taken from files or the command
// line before they become part of a statement.
bool IsPlainIdentifier(std::string_view name);

}  // namespace volmek
