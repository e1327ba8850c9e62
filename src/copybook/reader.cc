#include "copybook/reader.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <optional>
#include <ostream>
#include <span>
#include <sstream>
#include <vector>

#include "base/text.h"
#include "copybook/picture.h"
#include "text/tokenizer.h"

namespace volmek::copybook {

namespace {

// One line of the copybook as the reader sees it: the text area and the line for messages.
struct SourceLine {
  std::string content;  // the program text of the line (columns 8-72 in fixed format)
  std::string raw;      // the whole line with its line end, as messages print it
  std::int64_t number = 0;
  bool continuation = false;  // "-" in the indicator column
};

// A COBOL word of an entry: a character-string, a literal, or the separator period.
struct Word {
  std::string text;  // upper case, except literals
  bool literal = false;
  bool period = false;
  std::size_t line = 0;  // index into the lines
  bool starts_line = false;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

// Splits a physical line into its areas. Returns nothing for comment and debugging lines.
std::optional<SourceLine> ClassifyLine(std::string line, std::int64_t number, bool had_end) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  SourceLine source;
  source.number = number;
  source.raw = line + (had_end ? "\n" : "");
  const std::string_view area =
      std::string_view(line).substr(0, std::min<std::size_t>(6, line.size()));
  const bool all_blank = area.find_first_not_of(' ') == std::string_view::npos;
  const bool no_blank = area.size() == 6 && area.find(' ') == std::string_view::npos;
  const char indicator = line.size() > 6 ? line[6] : ' ';
  const bool indicator_ok = std::string_view(" -*/dD").find(indicator) != std::string_view::npos;
  if ((all_blank || no_blank) && indicator_ok) {
    if (indicator == '*' || indicator == '/' || indicator == 'd' || indicator == 'D') {
      return std::nullopt;
    }
    source.continuation = indicator == '-';
    if (line.size() > 7) source.content = line.substr(7, 65);
    return source;
  }
  if (indicator == '*') return std::nullopt;
  source.content = std::move(line);
  return source;
}

// The end of the literal whose opening quote is at `begin` (one past its closing quote, or the
// end of the text when it is not closed). A doubled quote stands for one quote inside.
std::size_t LiteralEnd(std::string_view text, std::size_t begin) {
  const char quote = text[begin];
  std::size_t pos = begin + 1;
  while (pos < text.size()) {
    if (text[pos] == quote) {
      if (pos + 1 < text.size() && text[pos + 1] == quote) {
        pos += 2;
        continue;
      }
      return pos + 1;
    }
    ++pos;
  }
  return text.size();
}

bool LiteralClosed(std::string_view literal) {
  return literal.size() >= 2 && LiteralEnd(literal, 0) == literal.size() &&
         literal.back() == literal.front();
}

// The words of one line. The line tokenizer splits at the copybook delimiters; tokens that
// touch each other are joined again into one COBOL word (a picture such as ZZ,ZZ9.99 or
// S9(7)V99 is one word), and a period, comma or semicolon that ends a word is a separator.
void LexLine(const SourceLine& line, std::size_t line_idx, std::vector<Word>& words) {
  const std::string& text = line.content;
  const std::vector<tokenizer::Token> tokens =
      tokenizer::Tokenize(text, tokenizer::Mode::kCopybook);
  bool first = true;
  auto emit = [&](Word word) {
    word.line = line_idx;
    word.starts_line = first;
    first = false;
    words.push_back(std::move(word));
  };
  std::size_t token_idx = 0;
  while (token_idx < tokens.size()) {
    const tokenizer::Token& token = tokens[token_idx];
    const std::size_t begin = token.offset;
    // A floating comment "*>" ends the line's text; "/*" comments are the tokenizer's own.
    if (token.text.starts_with("/*")) break;
    if (text[begin] == '*' && begin + 1 < text.size() && text[begin + 1] == '>') break;
    std::size_t end = begin + token.text.size();
    if (text[begin] == '\'' || text[begin] == '"') {
      end = LiteralEnd(text, begin);
      while (token_idx < tokens.size() && tokens[token_idx].offset < end) ++token_idx;
      emit(Word{text.substr(begin, end - begin), true});
      continue;
    }
    ++token_idx;
    while (token_idx < tokens.size() && tokens[token_idx].offset == end && text[end] != '\'' &&
           text[end] != '"') {
      end += tokens[token_idx].text.size();
      ++token_idx;
    }
    std::string word = UpperCase(std::string_view(text).substr(begin, end - begin));
    char separator = '\0';
    if (!word.empty() && (word.back() == '.' || word.back() == ',' || word.back() == ';')) {
      separator = word.back();
      word.pop_back();
    }
    if (!word.empty()) emit(Word{std::move(word)});
    if (separator == '.') emit(Word{".", false, true});
  }
}

// Keywords that begin a clause: a name is never one of them, and a VALUE clause ends at one.
bool IsClauseKeyword(std::string_view word) {
  static constexpr std::string_view kKeywords[] = {
      "REDEFINES",
      "OCCURS",
      "PIC",
      "PICTURE",
      "USAGE",
      "COMP",
      "COMPUTATIONAL",
      "COMP-1",
      "COMP-2",
      "COMP-3",
      "COMP-4",
      "COMP-5",
      "COMPUTATIONAL-1",
      "COMPUTATIONAL-2",
      "COMPUTATIONAL-3",
      "COMPUTATIONAL-4",
      "COMPUTATIONAL-5",
      "BINARY",
      "PACKED-DECIMAL",
      "DISPLAY",
      "SIGN",
      "LEADING",
      "TRAILING",
      "SYNC",
      "SYNCHRONIZED",
      "JUST",
      "JUSTIFIED",
      "BLANK",
      "VALUE",
      "VALUES",
      "EXTERNAL",
      "GLOBAL",
      "INDEX",
      "POINTER",
      "RENAMES",
  };
  for (std::string_view keyword : kKeywords) {
    if (word == keyword) return true;
  }
  return false;
}

// The usage code of a usage word, or nothing when `word` is not one.
std::optional<char> UsageWord(std::string_view word) {
  if (word == "COMP" || word == "COMPUTATIONAL") return kUsageComp;
  if (word == "COMP-1" || word == "COMPUTATIONAL-1") return kUsageComp1;
  if (word == "COMP-2" || word == "COMPUTATIONAL-2") return kUsageComp2;
  if (word == "COMP-3" || word == "COMPUTATIONAL-3" || word == "PACKED-DECIMAL") {
    return kUsageComp3;
  }
  if (word == "COMP-4" || word == "COMPUTATIONAL-4" || word == "BINARY") return kUsageComp4;
  if (word == "COMP-5" || word == "COMPUTATIONAL-5") return kUsageComp5;
  if (word == "DISPLAY") return kUsageDisplay;
  return std::nullopt;
}

bool IsName(std::string_view word) {
  bool letter = false;
  for (char c : word) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
      letter = true;
    } else if (!IsDigit(c) && c != '-' && c != '_') {
      return false;
    }
  }
  return letter && word.front() != '-' && word.back() != '-';
}

// Reads the entries of the lines into the field table.
class EntryReader {
 public:
  explicit EntryReader(const std::vector<SourceLine>& lines) : lines_(lines) {}

  Result<FieldTable> Read(const std::vector<Word>& words);

 private:
  Status Parse(std::span<const Word> entry);
  Status ParseClauses(std::span<const Word> entry, std::size_t k, Field& field,
                      bool& explicit_usage);
  Status SyntaxError(const Word& at, std::string_view what) const {
    const SourceLine& line = lines_[at.line];
    return Status::InvalidInput(
        fmt::format("Error de sintaxis en la linea {}: {}.\n{}", line.number, what, line.raw));
  }
  Status Plain(const Word& at, std::string_view message) const {
    return Status::InvalidInput(fmt::format("{}\n{}", message, lines_[at.line].raw));
  }
  std::int64_t FindRedefinable(std::string_view name, const Field& entry) const;

  const std::vector<SourceLine>& lines_;
  FieldTable fields_;
  std::vector<std::size_t> open_;  // indexes of the entries that may still get subordinates
  int filler_count_ = 0;
};

Result<FieldTable> EntryReader::Read(const std::vector<Word>& words) {
  static constexpr std::string_view kOpenEnded[] = {"OCCURS", "TO",  "VALUE",   "VALUES",
                                                    "IS",     "ARE", "THROUGH", "THRU"};
  std::size_t word_idx = 0;
  while (word_idx < words.size()) {
    const Word& first = words[word_idx];
    if (first.period) {
      ++word_idx;
      continue;
    }
    if (first.literal || !IsAllDigits(first.text)) {
      // Text outside an entry (a compiler directive such as EJECT): the rest of its line.
      const std::size_t line = first.line;
      while (word_idx < words.size() && words[word_idx].line == line) ++word_idx;
      continue;
    }
    // The entry runs to its separator period or, when that is missing, to the next line that
    // begins with a level number where no clause is waiting for its number.
    std::size_t end = word_idx + 1;
    while (end < words.size() && !words[end].period) {
      const Word& word = words[end];
      if (word.starts_line && !word.literal && IsAllDigits(word.text)) {
        const std::string& before = words[end - 1].text;
        bool open = false;
        for (std::string_view keyword : kOpenEnded) open = open || before == keyword;
        if (!open) break;
      }
      ++end;
    }
    VOLMEK_RETURN_IF_ERROR(Parse(std::span<const Word>(words).subspan(word_idx, end - word_idx)));
    word_idx = end < words.size() && words[end].period ? end + 1 : end;
  }
  return std::move(fields_);
}

std::int64_t EntryReader::FindRedefinable(std::string_view name, const Field& entry) const {
  // COBOL lets an entry redefine only an entry of its own level under the same group; the
  // latest such entry with the name is meant.
  for (std::size_t idx = fields_.size(); idx-- > 0;) {
    const Field& candidate = fields_[idx];
    if (candidate.parent == entry.parent && candidate.name == name &&
        candidate.level == entry.level) {
      return static_cast<std::int64_t>(idx);
    }
  }
  return -1;
}

Status EntryReader::Parse(std::span<const Word> entry) {
  const Word& level_word = entry[0];
  std::int64_t level = 0;
  for (char c : level_word.text) {
    level = level * 10 + (c - '0');
    if (level > 99) break;
  }
  if (level == 66 || level == 88) return Status::Ok();  // no storage, no column
  if (!((level >= 1 && level <= 49) || level == 77)) {
    return SyntaxError(level_word, fmt::format("nivel {} no valido", level_word.text));
  }
  Field field;
  field.level = static_cast<int>(level);
  field.line = lines_[level_word.line].number;

  std::size_t k = 1;
  if (k < entry.size() && !entry[k].literal && !IsClauseKeyword(entry[k].text)) {
    if (!IsName(entry[k].text)) {
      return SyntaxError(entry[k], fmt::format("nombre de campo {} no valido", entry[k].text));
    }
    field.name = entry[k].text;
    ++k;
  } else if (k < entry.size() && entry[k].literal) {
    return SyntaxError(entry[k], fmt::format("nombre de campo {} no valido", entry[k].text));
  } else {
    field.name = "FILLER";
  }
  NormalizeName(field.name);
  if (field.name == "FILLER") field.name += std::to_string(++filler_count_);

  // The group the entry belongs to: the nearest open entry of a lower level.
  if (field.level == 1 || field.level == 77) {
    open_.clear();
  } else {
    while (!open_.empty() && fields_[open_.back()].level >= field.level) open_.pop_back();
  }
  if (!open_.empty()) {
    const Field& parent = fields_[open_.back()];
    if (!parent.group || parent.level == 77) {
      return SyntaxError(level_word, fmt::format("el campo {} no es un grupo y no puede tener "
                                                 "subordinados",
                                                 parent.name));
    }
    field.parent = static_cast<int>(open_.back());
  }

  bool explicit_usage = false;
  VOLMEK_RETURN_IF_ERROR(ParseClauses(entry, k, field, explicit_usage));
  if (!explicit_usage && field.parent >= 0) field.usage = fields_[field.parent].usage;
  field.is_float = field.usage == kUsageComp1 || field.usage == kUsageComp2;
  field.group = !field.has_picture && !field.is_float;
  if (field.is_float && !field.has_picture) field.type = 'N';

  open_.push_back(fields_.size());
  fields_.push_back(std::move(field));
  return Status::Ok();
}

Status EntryReader::ParseClauses(std::span<const Word> entry, std::size_t k, Field& field,
                                 bool& explicit_usage) {
  auto at = [&](std::size_t idx) -> const Word& { return entry[std::min(idx, entry.size() - 1)]; };
  auto is = [&](std::size_t idx, std::string_view text) {
    return idx < entry.size() && !entry[idx].literal && entry[idx].text == text;
  };
  auto number = [&](std::size_t idx) -> std::optional<std::int64_t> {
    if (idx >= entry.size() || entry[idx].literal || !IsAllDigits(entry[idx].text) ||
        entry[idx].text.size() > 9) {
      return std::nullopt;
    }
    return std::stoll(entry[idx].text);
  };

  while (k < entry.size()) {
    const Word& word = entry[k];
    const std::string& text = word.text;
    if (word.literal) return SyntaxError(word, fmt::format("literal {} fuera de lugar", text));
    if (text == "REDEFINES") {
      if (field.redefines >= 0) return SyntaxError(word, "REDEFINES repetido");
      if (k + 1 >= entry.size() || entry[k + 1].literal) {
        return SyntaxError(word, "falta el campo redefinido tras REDEFINES");
      }
      std::string target = entry[k + 1].text;
      NormalizeName(target);
      field.redefines = FindRedefinable(target, field);
      if (field.redefines < 0) {
        for (const Field& other : fields_) {
          if (other.name == target) {
            return SyntaxError(entry[k + 1],
                               fmt::format("{} no es un campo anterior del mismo nivel y grupo "
                                           "que {}",
                                           target, field.name));
          }
        }
        return Status::InvalidInput(fmt::format("Campo ({}) no localizado [3].\n{}", target,
                                                lines_[entry[k + 1].line].raw));
      }
      k += 2;
    } else if (text == "OCCURS") {
      std::optional<std::int64_t> count = number(k + 1);
      if (!count) return SyntaxError(at(k + 1), "falta el numero de veces tras OCCURS");
      k += 2;
      if (is(k, "TO")) {
        std::optional<std::int64_t> most = number(k + 1);
        if (!most) return SyntaxError(at(k + 1), "falta el maximo de OCCURS ... TO");
        count = most;
        k += 2;
      }
      if (*count <= 0) return SyntaxError(word, "OCCURS necesita al menos una vez");
      field.occurs = *count;
      if (is(k, "TIMES")) ++k;
      if (is(k, "DEPENDING")) {
        k += is(k + 1, "ON") ? 3 : 2;
      }
      while (is(k, "ASCENDING") || is(k, "DESCENDING") || is(k, "INDEXED")) {
        ++k;
        if (is(k, "KEY") || is(k, "BY")) ++k;
        if (is(k, "IS")) ++k;
        while (k < entry.size() && !entry[k].literal && IsName(entry[k].text) &&
               !IsClauseKeyword(entry[k].text) && !is(k, "ASCENDING") && !is(k, "DESCENDING") &&
               !is(k, "INDEXED")) {
          ++k;
        }
      }
    } else if (text == "PIC" || text == "PICTURE") {
      if (field.has_picture) return SyntaxError(word, "PICTURE repetido");
      ++k;
      if (is(k, "IS")) ++k;
      if (k >= entry.size() || entry[k].literal) {
        return SyntaxError(word, "falta la mascara tras PIC");
      }
      Result<Picture> picture = ParsePicture(entry[k].text);
      if (!picture) {
        if (picture.error().message() == "Esperado \")\"") {
          return Plain(entry[k], picture.error().message());
        }
        return SyntaxError(entry[k], picture.error().message());
      }
      field.has_picture = true;
      field.type = picture->alphanumeric ? 'A' : 'N';
      field.is_signed = !picture->alphanumeric && picture->is_signed;
      field.display_size = picture->positions;
      field.leading_minus = !picture->alphanumeric && entry[k].text.starts_with('-');
      if (picture->alphanumeric) {
        field.length = picture->positions;
      } else {
        field.length = picture->integer_digits;
        field.decimals = picture->decimals;
      }
      ++k;
    } else if (text == "USAGE") {
      ++k;
      if (is(k, "IS")) ++k;
      std::optional<char> usage = k < entry.size() ? UsageWord(entry[k].text) : std::nullopt;
      if (!usage) return SyntaxError(at(k), fmt::format("uso {} no admitido", at(k).text));
      field.usage = *usage;
      explicit_usage = true;
      ++k;
    } else if (std::optional<char> usage = UsageWord(text)) {
      field.usage = *usage;
      explicit_usage = true;
      ++k;
    } else if (text == "SIGN" || text == "LEADING" || text == "TRAILING") {
      if (text == "SIGN") {
        ++k;
        if (is(k, "IS")) ++k;
        if (!is(k, "LEADING") && !is(k, "TRAILING")) {
          return SyntaxError(at(k), "falta LEADING o TRAILING tras SIGN");
        }
      }
      ++k;
      if (is(k, "SEPARATE")) {
        field.sign_separate = true;
        ++k;
        if (is(k, "CHARACTER")) ++k;
      }
    } else if (text == "SYNC" || text == "SYNCHRONIZED") {
      field.sync = true;
      ++k;
      if (is(k, "LEFT") || is(k, "RIGHT")) ++k;
    } else if (text == "JUST" || text == "JUSTIFIED") {
      ++k;
      if (is(k, "RIGHT")) ++k;
    } else if (text == "BLANK") {
      ++k;
      if (is(k, "WHEN")) ++k;
      if (!is(k, "ZERO") && !is(k, "ZEROS") && !is(k, "ZEROES")) {
        return SyntaxError(at(k), "falta ZERO tras BLANK WHEN");
      }
      ++k;
    } else if (text == "VALUE" || text == "VALUES") {
      // The initial value is of no use to a table: pass over it up to the next clause.
      ++k;
      while (k < entry.size() && (entry[k].literal || !IsClauseKeyword(entry[k].text))) ++k;
    } else if (text == "EXTERNAL" || text == "GLOBAL") {
      ++k;
    } else if (text == "INDEX" || text == "POINTER") {
      return SyntaxError(word, fmt::format("uso {} no admitido", text));
    } else {
      return SyntaxError(word, fmt::format("clausula {} no reconocida", text));
    }
  }
  return Status::Ok();
}

Result<FieldTable> ReadLines(std::vector<SourceLine> lines) {
  std::vector<Word> words;
  for (std::size_t line_idx = 0; line_idx < lines.size(); ++line_idx) {
    const SourceLine& line = lines[line_idx];
    if (line.continuation && !words.empty() && !words.back().period) {
      // The line goes on with the last word of the line before: a literal from after its
      // opening quote, any other word from the first character that is not blank.
      Word& last = words.back();
      const std::size_t start = line.content.find_first_not_of(' ');
      if (start == std::string::npos) continue;
      std::string rest = line.content.substr(start);
      if (last.literal && !LiteralClosed(last.text) && (rest[0] == '\'' || rest[0] == '"')) {
        const std::size_t end = LiteralEnd(rest, 0);
        last.text += rest.substr(1, end - 1);
        rest.erase(0, end);
      } else if (!last.literal) {
        std::vector<Word> tail;
        LexLine(SourceLine{rest, line.raw, line.number, false}, line_idx, tail);
        if (!tail.empty() && !tail.front().period && !tail.front().literal) {
          last.text += tail.front().text;
          tail.erase(tail.begin());
        }
        for (Word& word : tail) words.push_back(std::move(word));
        continue;
      }
      std::vector<Word> tail;
      LexLine(SourceLine{rest, line.raw, line.number, false}, line_idx, tail);
      if (!tail.empty()) tail.front().starts_line = false;
      for (Word& word : tail) words.push_back(std::move(word));
      continue;
    }
    LexLine(line, line_idx, words);
  }
  EntryReader reader(lines);
  return reader.Read(words);
}

}  // namespace

void NormalizeName(std::string& name) {
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  if (name == "IMP" || name == "MOD") name = "K_" + name;
}

Result<FieldTable> ReadFields(std::istream& in) {
  std::vector<SourceLine> lines;
  std::string line;
  std::int64_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::optional<SourceLine> source = ClassifyLine(std::move(line), number, !in.eof());
    if (source) lines.push_back(std::move(*source));
    line.clear();
  }
  return ReadLines(std::move(lines));
}

Result<FieldTable> ReadFields(std::string_view text) {
  std::istringstream in{std::string(text)};
  return ReadFields(in);
}

Result<std::string> CopybookPath(const Environment& env, std::string_view name) {
  std::string path = env.Get("KORVEL");
  if (path.empty()) return Err(Status::InvalidInput("Definir variable de entorno KORVEL.\n\n"));
  path += "/copys/";
  path += name;
  if (name.find('.') == std::string_view::npos) path += ".cpy";
  return path;
}

Result<FieldTable> ReadCopybookFile(const std::string& path, bool echo, std::ostream& out) {
  if (echo) out << fmt::format("Apertura fichero [{}] \n", path);
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    return Err(Status::IoError(fmt::format("Error apertura programa {} ...\n", path)));
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (errno == ENOENT || errno == ENOTDIR || errno == 0) {
      return Err(Status::NotFound(fmt::format("Programa {} inexistente ...\n", path)));
    }
    return Err(Status::IoError(fmt::format("Error apertura programa {} ...\n", path)));
  }
  Result<FieldTable> fields = ReadFields(in);
  if (fields && in.bad()) {
    return Err(Status::IoError(fmt::format("Error apertura programa {} ...\n", path)));
  }
  return fields;
}

}  // namespace volmek::copybook
