#include "text/tokenizer.h"

#include <utility>

namespace volmek::tokenizer {

namespace {

constexpr std::string_view kCopybookDelimiters = ",.()/+><&*:;=";
constexpr std::string_view kOptionDelimiters = ",()/+><&|*:;=";

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool IsDelimiter(char c, Mode mode) {
  const std::string_view set = mode == Mode::kCopybook ? kCopybookDelimiters : kOptionDelimiters;
  return set.find(c) != std::string_view::npos;
}

std::vector<Token> Tokenize(std::string_view line, Mode mode, std::size_t start) {
  // Only the text before the first newline is the line.
  const std::size_t newline = line.find('\n');
  if (newline != std::string_view::npos) line = line.substr(0, newline);

  std::vector<Token> tokens;
  std::size_t pos = start;
  while (pos < line.size()) {
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    if (pos >= line.size()) break;
    const std::size_t begin = pos;
    const char c = line[pos];
    if (c == '/' && pos + 1 < line.size() && line[pos + 1] == '*') {
      pos = line.size();
    } else if (c == '"') {
      const std::size_t close = line.find('"', pos + 1);
      pos = close == std::string_view::npos ? line.size() : close + 1;
    } else if (IsDelimiter(c, mode)) {
      ++pos;
    } else {
      int apostrophes = 0;
      while (pos < line.size() && !IsSpace(line[pos]) && !IsDelimiter(line[pos], mode)) {
        if (line[pos] == '\'') ++apostrophes;
        ++pos;
        if (apostrophes == 2) break;
      }
    }
    tokens.push_back(Token{std::string(line.substr(begin, pos - begin)), begin});
  }
  return tokens;
}

std::vector<std::string> TokenizeWords(std::string_view line, Mode mode, std::size_t start) {
  std::vector<std::string> words;
  for (Token& token : Tokenize(line, mode, start)) words.push_back(std::move(token.text));
  return words;
}

}  // namespace volmek::tokenizer
