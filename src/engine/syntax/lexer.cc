#include "engine/syntax/lexer.h"

#include <cstring>

namespace volmek::engine {
namespace {

// Oracle's limit for names (bytes), up to release 12.1.
constexpr std::size_t kMaxIdentifierLength = 30;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// Bytes above 0x7F belong to multibyte characters, which Oracle accepts in names.
bool IsNameStart(char c) { return IsLetter(c) || static_cast<unsigned char>(c) >= 0x80; }
bool IsNamePart(char c) { return IsNameStart(c) || IsDigit(c) || c == '_' || c == '$' || c == '#'; }
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Two-character symbols first, so that "<=" is not read as "<" "=".
constexpr const char* kLongSymbols[] = {
    "||", "<>", "!=", "^=", "~=", "<=", ">=", ":=", "=>", "..", "<<", ">>"};
constexpr const char kShortSymbols[] = "(),.;+-*/=<>:@%";

}  // namespace

bool Token::IsKeyword(std::string_view upper_word) const {
  if (kind != TokenKind::kIdentifier || text.size() != upper_word.size()) return false;
  for (std::size_t idx = 0; idx < text.size(); ++idx) {
    char c = text[idx];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper_word[idx]) return false;
  }
  return true;
}

std::string Token::Value() const {
  switch (kind) {
    case TokenKind::kIdentifier:
      return UpperAscii(text);
    case TokenKind::kQuotedIdentifier:
      return std::string(text.substr(1, text.size() - 2));
    case TokenKind::kString: {
      std::string value;
      value.reserve(text.size());
      for (std::size_t idx = 1; idx + 1 < text.size(); ++idx) {
        value.push_back(text[idx]);
        if (text[idx] == '\'') ++idx;  // '' stands for one apostrophe
      }
      return value;
    }
    default:
      return std::string(text);
  }
}

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

std::optional<OraError> Tokenize(std::string_view sql, std::vector<Token>* tokens,
                                 std::size_t* error_offset) {
  tokens->clear();
  std::size_t pos = 0;
  const std::size_t size = sql.size();
  auto fail = [&](std::size_t at, int code, std::string_view text) {
    if (error_offset != nullptr) *error_offset = at;
    return std::optional<OraError>(Ora(code, text));
  };
  auto push = [&](TokenKind kind, std::size_t begin, std::size_t end) {
    tokens->push_back(Token{kind, sql.substr(begin, end - begin), begin});
  };
  while (pos < size) {
    char c = sql[pos];
    if (IsSpace(c)) {
      ++pos;
      continue;
    }
    if (c == '-' && pos + 1 < size && sql[pos + 1] == '-') {
      while (pos < size && sql[pos] != '\n') ++pos;
      continue;
    }
    if (c == '/' && pos + 1 < size && sql[pos + 1] == '*') {
      std::size_t close = sql.find("*/", pos + 2);
      pos = close == std::string_view::npos ? size : close + 2;
      continue;
    }
    const std::size_t begin = pos;
    if (IsNameStart(c)) {
      while (pos < size && IsNamePart(sql[pos])) ++pos;
      if (pos - begin > kMaxIdentifierLength) {
        return fail(begin, 972, "identifier is too long");
      }
      push(TokenKind::kIdentifier, begin, pos);
      continue;
    }
    if (c == '"') {
      std::size_t close = sql.find('"', pos + 1);
      if (close == std::string_view::npos) {
        return fail(begin, 1740, "missing double quote in identifier");
      }
      if (close == pos + 1) return fail(begin, 1741, "illegal zero-length identifier");
      if (close - pos - 1 > kMaxIdentifierLength) {
        return fail(begin, 972, "identifier is too long");
      }
      pos = close + 1;
      push(TokenKind::kQuotedIdentifier, begin, pos);
      continue;
    }
    if (c == '\'') {
      ++pos;
      bool closed = false;
      while (pos < size) {
        if (sql[pos] == '\'') {
          if (pos + 1 < size && sql[pos + 1] == '\'') {
            pos += 2;
            continue;
          }
          ++pos;
          closed = true;
          break;
        }
        ++pos;
      }
      if (!closed) return fail(begin, 1756, "quoted string not properly terminated");
      push(TokenKind::kString, begin, pos);
      continue;
    }
    if (IsDigit(c) || (c == '.' && pos + 1 < size && IsDigit(sql[pos + 1]))) {
      while (pos < size && IsDigit(sql[pos])) ++pos;
      if (pos < size && sql[pos] == '.' && !(pos + 1 < size && sql[pos + 1] == '.')) {
        ++pos;
        while (pos < size && IsDigit(sql[pos])) ++pos;
      }
      if (pos < size && (sql[pos] == 'e' || sql[pos] == 'E')) {
        std::size_t exp = pos + 1;
        if (exp < size && (sql[exp] == '+' || sql[exp] == '-')) ++exp;
        if (exp < size && IsDigit(sql[exp])) {
          pos = exp;
          while (pos < size && IsDigit(sql[pos])) ++pos;
        }
      }
      push(TokenKind::kNumber, begin, pos);
      continue;
    }
    bool matched = false;
    if (pos + 1 < size) {
      for (const char* symbol : kLongSymbols) {
        if (sql[pos] == symbol[0] && sql[pos + 1] == symbol[1]) {
          pos += 2;
          push(TokenKind::kSymbol, begin, pos);
          matched = true;
          break;
        }
      }
    }
    if (matched) continue;
    if (std::strchr(kShortSymbols, c) != nullptr && c != '\0') {
      ++pos;
      push(TokenKind::kSymbol, begin, pos);
      continue;
    }
    return fail(begin, 911, "invalid character");
  }
  tokens->push_back(Token{TokenKind::kEnd, sql.substr(size), size});
  return std::nullopt;
}

OraResult<std::vector<Token>> Tokenize(std::string_view sql) {
  std::vector<Token> tokens;
  if (auto error = Tokenize(sql, &tokens)) return OraErr(std::move(*error));
  return tokens;
}

}  // namespace volmek::engine
