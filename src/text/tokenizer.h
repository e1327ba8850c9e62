// Line tokenizer: splits one line of text into words and one-character delimiters.
//
// Shared by the copybook reader (copybook mode, one copybook line at a time) and by `sort`
// (option mode, on its parameters joined with blanks). The line ends at its first newline or at
// the end of the text; nothing after a newline is looked at. There is no limit on the length of
// the line, of a token or on the number of tokens.
//
// Tokens, in the order they stand in the line (blanks and tabs separate them and are dropped):
//   - a comment: "/" followed by "*" begins a token that runs to the end of the line (without
//     the newline);
//   - a string: a double quote and everything after it up to the next double quote (included)
//     or to the end of the line;
//   - a delimiter: one character of the mode's delimiter set is a token of its own;
//   - a word: anything else, up to a blank, a tab, the end of the line or a delimiter of the
//     mode. A word that has taken two apostrophes ends right there, so 'AB'C gives 'AB' and C.
//
// Delimiters:
//   copybook mode:  , . ( ) / + > < & * : ; =
//   option mode:    , ( ) / + > < & | * : ; =   (the period is part of words: 9.99 is one word)
// The minus sign is a delimiter in neither mode, so CLI-CODIGO stays one word.
//
// Example, copybook mode: `05 CLI-SALDO PIC S9(7)V99 COMP-3.` gives
//   05 | CLI-SALDO | PIC | S9 | ( | 7 | ) | V99 | COMP-3 | .
// Example, option mode: `INCLUDE COND=(1,3,CH,EQ,'ABC')|X` gives
//   INCLUDE | COND | = | ( | 1 | , | 3 | , | CH | , | EQ | , | 'ABC' | ) | | | X
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace volmek::tokenizer {

enum class Mode {
  kCopybook,  // COBOL copybook lines: the period is a delimiter
  kOption,    // `sort` parameters: the vertical bar is a delimiter, the period is not
};

struct Token {
  std::string text;
  // Index in the line of the token's first character: lets a caller go back to the raw text
  // (the copybook reader reads a picture string as one word from there).
  std::size_t offset = 0;
};

// The tokens of `line` from index `start` on. Returns no tokens when `start` is at or past the
// end of the line (its first newline or the end of the text). Never fails.
std::vector<Token> Tokenize(std::string_view line, Mode mode, std::size_t start = 0);

// Only the texts of Tokenize's tokens, for callers that do not need the offsets.
std::vector<std::string> TokenizeWords(std::string_view line, Mode mode, std::size_t start = 0);

// True when `c` is a one-character token of `mode`.
bool IsDelimiter(char c, Mode mode);

}  // namespace volmek::tokenizer
