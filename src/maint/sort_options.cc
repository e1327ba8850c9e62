#include "maint/sort_options.h"

#include <array>

#include <fmt/format.h>

#include "base/text.h"
#include "datafiles/table_name.h"
#include "maint/table_name.h"
#include "text/tokenizer.h"

namespace volmek::maint {

namespace {

using tokenizer::Token;

constexpr std::array<std::string_view, 6> kListKeywords{"-orden", "-ORDEN",   "-omite",
                                                        "-OMITE", "-incluye", "-INCLUYE"};

bool StartsWithEither(std::string_view word, std::string_view lower, std::string_view upper) {
  return word.starts_with(lower) || word.starts_with(upper);
}

bool IsListKeyword(std::string_view word) {
  for (std::string_view keyword : kListKeywords) {
    if (word.starts_with(keyword)) return true;
  }
  return false;
}

// Walks the words of the line; reading past the last word gives the empty text.
class Words {
 public:
  Words(std::string_view line, std::vector<Token> tokens)
      : line_(line), tokens_(std::move(tokens)) {}

  bool done() const { return idx_ >= tokens_.size(); }
  std::string_view current() const {
    return done() ? std::string_view() : std::string_view(tokens_[idx_].text);
  }
  void Next() { ++idx_; }
  void Back() { --idx_; }

  // The raw text of the line from word `first` to word `last` (both included), so that a
  // condition keeps its quotes and operators as they were typed.
  std::string_view Span(std::size_t first, std::size_t last) const {
    std::size_t begin = tokens_[first].offset;
    std::size_t end = tokens_[last].offset + tokens_[last].text.size();
    return line_.substr(begin, end - begin);
  }
  std::size_t index() const { return idx_; }

 private:
  std::string_view line_;
  std::vector<Token> tokens_;
  std::size_t idx_ = 0;
};

// Takes the value of -i1, -i2 and -o: the rest of the word, or the next word.
std::string OptionValue(Words& words, std::size_t prefix) {
  std::string_view word = words.current();
  if (word.size() > prefix) return std::string(word.substr(prefix));
  words.Next();
  return std::string(words.current());
}

// Moves past the list keyword and over the words of the list; returns the index range taken
// (first > last when the list is empty). Leaves the walk at the word that ended the list.
std::pair<std::size_t, std::size_t> TakeList(Words& words) {
  words.Next();
  std::size_t first = words.index();
  while (!words.done() && !IsListKeyword(words.current())) words.Next();
  return {first, words.index() - 1};
}

void AddCondition(const Words& words, std::pair<std::size_t, std::size_t> range,
                  std::string& text) {
  if (range.first > range.second || range.second == static_cast<std::size_t>(-1)) return;
  text += RebuildCondition(words.Span(range.first, range.second));
}

bool IsOperatorPair(char first, char second) {
  return (first == '<' && (second == '>' || second == '=')) || (first == '>' && second == '=') ||
         ((first == '!' || first == '^') && second == '=') || (first == '|' && second == '|');
}

}  // namespace

std::string RebuildCondition(std::string_view raw) {
  std::string text;
  std::size_t pos = 0;
  auto is_blank = [](char c) { return c == ' ' || c == '\t'; };
  while (pos < raw.size()) {
    char c = raw[pos];
    if (is_blank(c)) {
      ++pos;
      continue;
    }
    std::size_t start = pos;
    if (c == '\'' || c == '"') {
      // A quoted text runs to its closing quote; a doubled quote inside does not close it.
      ++pos;
      while (pos < raw.size()) {
        if (raw[pos] == c) {
          if (pos + 1 < raw.size() && raw[pos + 1] == c) {
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        ++pos;
      }
    } else if (pos + 1 < raw.size() && IsOperatorPair(c, raw[pos + 1])) {
      pos += 2;
    } else if (tokenizer::IsDelimiter(c, tokenizer::Mode::kOption)) {
      ++pos;
    } else {
      while (pos < raw.size() && !is_blank(raw[pos]) &&
             !tokenizer::IsDelimiter(raw[pos], tokenizer::Mode::kOption) && raw[pos] != '\'' &&
             raw[pos] != '"' && !(pos + 1 < raw.size() && IsOperatorPair(raw[pos], raw[pos + 1]))) {
        ++pos;
      }
    }
    text += raw.substr(start, pos - start);
    text += ' ';
  }
  return text;
}

Result<SortOptions> ParseSortOptions(std::string_view line) {
  SortOptions options;
  Words words(line, tokenizer::Tokenize(line, tokenizer::Mode::kOption));
  while (!words.done()) {
    bool matched = false;
    if (StartsWithEither(words.current(), "-i1", "-I1")) {
      matched = true;
      options.input = OptionValue(words, 3);
    }
    if (StartsWithEither(words.current(), "-i2", "-I2")) {
      matched = true;
      OptionValue(words, 3);
    }
    if (StartsWithEither(words.current(), "-o", "-O")) {
      matched = true;
      std::string_view rest = words.current().substr(2);
      if (rest.empty()) {
        options.output = OptionValue(words, 2);
      } else if (StartsWithEither(rest, "rden", "RDEN") || StartsWithEither(rest, "mite", "MITE")) {
        matched = false;
      } else {
        options.output = std::string(rest);
      }
    }
    if (StartsWithEither(words.current(), "-orden", "-ORDEN")) {
      matched = true;
      auto [first, last] = TakeList(words);
      for (std::size_t word_idx = first; word_idx <= last && last != static_cast<std::size_t>(-1);
           ++word_idx) {
        std::string_view word = words.Span(word_idx, word_idx);
        if (word == "DESC" && !options.keys.empty()) {
          options.keys.back().descending = true;
        } else if (word != "DESC") {
          options.keys.push_back({std::string(word), false});
        }
      }
      if (!options.keys.empty()) words.Back();
    }
    if (StartsWithEither(words.current(), "-omite", "-OMITE")) {
      matched = true;
      auto range = TakeList(words);
      AddCondition(words, range, options.omit);
      if (!options.omit.empty()) words.Back();
    }
    if (StartsWithEither(words.current(), "-incluye", "-INCLUYE")) {
      auto range = TakeList(words);
      AddCondition(words, range, options.include);
      if (!options.include.empty()) words.Back();
    } else if (!matched) {
      return Err(
          Status::InvalidInput(fmt::format("Argumento sort no tratado ({}) \n", words.current())));
    }
    words.Next();
  }
  if (options.input.empty() || options.output.empty()) {
    return Err(Status::InvalidInput(
        "\nError sort. Se tiene que especificar fichero entrada y/o salida.\n\n"));
  }
  return options;
}

std::string SortCreateText(const SortOptions& options) {
  return fmt::format("create table {} as {}", options.output, SortSelectText(options));
}

std::string SortSelectText(const SortOptions& options) {
  std::string sql = fmt::format("select * from {}", options.input);
  if (!options.include.empty() && !options.omit.empty()) {
    sql += fmt::format(" where ({}) and not ({})", options.include, options.omit);
  } else if (!options.include.empty()) {
    sql += fmt::format(" where ({})", options.include);
  } else if (!options.omit.empty()) {
    sql += fmt::format(" where not ({})", options.omit);
  }
  return sql;
}

Status CheckSortNames(const SortOptions& options) {
  VOLMEK_RETURN_IF_ERROR(CheckTableName(options.input));
  VOLMEK_RETURN_IF_ERROR(CheckTableName(options.output));
  for (const SortKey& key : options.keys) {
    if (key.name == ",") continue;
    if (!IsPlainIdentifier(key.name)) {
      return Status::Refused(fmt::format(
          "Error sort. Campo de orden no valido ({}). No se modifica nada.\n", key.name));
    }
    // A column name never passes Oracle's 30 characters, nor may a key field of the dictionary.
    if (key.name.size() > datafiles::kMaxIdentifierLength) {
      return Status::Refused(
          fmt::format("Error sort. Campo de orden {} pasa de {} caracteres. No se modifica nada.\n",
                      key.name, datafiles::kMaxIdentifierLength));
    }
  }
  return Status::Ok();
}

}  // namespace volmek::maint
