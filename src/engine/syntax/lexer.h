// The Oracle SQL lexer: splits a statement into tokens for the SQL translator and for the DDL
// and PL/SQL parsers.
//
// Tokens are views into the statement text, so scanning allocates nothing but the token vector;
// the statement must outlive its tokens. What the lexer knows of Oracle SQL:
//   - unquoted identifiers and keywords: a letter, then letters, digits, "_", "$", "#"; compared
//     case-insensitively (IsKeyword) and folded to upper case by Value();
//   - quoted identifiers "Mixed Case": kept as written, without the quotes;
//   - string literals 'it''s': '' inside stands for one apostrophe;
//   - numbers: 12, 12.5, .5, 7., 1e10, 2.5E-3 (no sign: "-" is a symbol of its own);
//   - symbols: ( ) , . ; + - * / || = <> != ^= ~= < <= > >= : := => @ %, and PL/SQL's
//     .. (ranges) and << >> (labels);
//   - comments (-- to the end of the line, /* ... */) and white space separate tokens.
// ";" is a symbol here: the SQL parser refuses it (ORA-00911), PL/SQL needs it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/ora_result.h"
#include "engine/storage/schema.h"

namespace volmek::engine {

enum class TokenKind {
  kIdentifier,        // unquoted name or keyword: SELECT, emp, ID_T$
  kQuotedIdentifier,  // "Mixed Case"
  kString,            // 'text'
  kNumber,            // 12.5
  kSymbol,            // <=
  kEnd,               // after the last token; its offset is the length of the statement
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string_view text;   // exactly as written, quotes included ("'it''s'", "\"A b\"")
  std::size_t offset = 0;  // byte offset of `text` in the statement

  // True for an unquoted identifier equal to `upper_word` ignoring case: IsKeyword("SELECT").
  // REQUIRES: `upper_word` is upper case.
  bool IsKeyword(std::string_view upper_word) const;
  // True for the symbol `symbol`: IsSymbol("(").
  bool IsSymbol(std::string_view symbol) const {
    return kind == TokenKind::kSymbol && text == symbol;
  }
  bool IsEnd() const { return kind == TokenKind::kEnd; }
  bool IsName() const {
    return kind == TokenKind::kIdentifier || kind == TokenKind::kQuotedIdentifier;
  }

  // The token's value: unquoted identifiers upper-cased, quoted identifiers without their
  // quotes, string literals without their quotes and with '' turned into ', numbers and
  // symbols as written.
  std::string Value() const;
};

// Splits `sql` into `tokens` (cleared first, its storage reused), always ending with one kEnd
// token. Returns the error of the first bad spot:
//   ORA-01756: quoted string not properly terminated   (a ' never closed)
//   ORA-01740: missing double quote in identifier       (a " never closed)
//   ORA-00972: identifier is too long                   (a name over 30 bytes)
//   ORA-00911: invalid character                        (a character no token starts with)
// `error_offset`, when given, receives the byte offset of the bad spot.
std::optional<OraError> Tokenize(std::string_view sql, std::vector<Token>* tokens,
                                 std::size_t* error_offset = nullptr);

// The same, returning a new vector.
OraResult<std::vector<Token>> Tokenize(std::string_view sql);

// Upper-cases ASCII letters (Oracle folds unquoted names this way).
std::string UpperAscii(std::string_view text);

}  // namespace volmek::engine
