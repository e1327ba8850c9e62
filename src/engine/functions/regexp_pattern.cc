#include "engine/functions/regexp_pattern.h"

#include <fmt/format.h>
#include <unicode/uregex.h>
#include <unicode/utf8.h>

#include <array>
#include <optional>
#include <vector>

namespace volmek::engine::fn {

namespace {

OraError UnmatchedParentheses() {
  return Ora(12725, "unmatched parentheses in regular expression");
}
OraError UnmatchedBracket() { return Ora(12726, "unmatched bracket in regular expression"); }
OraError InvalidRange() { return Ora(12728, "invalid range in regular expression"); }
OraError InvalidClass() { return Ora(12729, "invalid character class in regular expression"); }
OraError InvalidCollation() { return Ora(12731, "invalid collation class in regular expression"); }
OraError InvalidInterval() { return Ora(12732, "invalid interval value in regular expression"); }

bool IsAsciiAlnum(UChar32 c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// One character of the UTF-8 `text` at *pos; a byte that is no UTF-8 stands for itself.
UChar32 NextChar(std::string_view text, std::size_t* pos) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  auto at = static_cast<std::int32_t>(*pos);
  const auto length = static_cast<std::int32_t>(text.size());
  const std::int32_t start = at;
  UChar32 c = 0;
  U8_NEXT(bytes, at, length, c);
  if (c < 0) {
    c = bytes[start];
    at = start + 1;
  }
  *pos = static_cast<std::size_t>(at);
  return c;
}

void AppendLiteral(std::string& out, UChar32 c) {
  if (IsAsciiAlnum(c)) {
    out.push_back(static_cast<char>(c));
  } else {
    fmt::format_to(std::back_inserter(out), "\\x{{{:x}}}", static_cast<std::uint32_t>(c));
  }
}

// The ICU set items of the POSIX class `name` ("alpha" for [[:alpha:]]).
std::optional<std::string_view> ClassItems(std::string_view name) {
  struct Entry {
    std::string_view name;
    std::string_view items;
  };
  static constexpr std::array<Entry, 12> kClasses = {{
      {"alpha", "\\p{Alphabetic}"},
      {"digit", "\\p{Nd}"},
      {"alnum", "\\p{Alphabetic}\\p{Nd}"},
      {"upper", "\\p{Uppercase}"},
      {"lower", "\\p{Lowercase}"},
      {"space", "\\p{White_Space}"},
      {"blank", "\\p{Blank}"},
      {"punct", "\\p{P}\\p{S}"},
      {"cntrl", "\\p{Cc}"},
      {"print", "\\p{Print}"},
      {"graph", "\\p{Graph}"},
      {"xdigit", "0-9A-Fa-f"},
  }};
  for (const Entry& entry : kClasses) {
    if (entry.name == name) return entry.items;
  }
  return std::nullopt;
}

class Translator {
 public:
  Translator(std::string_view pattern, const RegexpOptions& options)
      : in_(pattern), options_(options) {}

  OraResult<std::string> Run() {
    while (pos_ < in_.size()) {
      const char c = in_[pos_];
      if (options_.ignore_blanks && IsBlank(c)) {
        ++pos_;
        continue;
      }
      switch (c) {
        case '\\':
          Escape();
          break;
        case '[':
          BeginAtom();
          VK_RETURN_IF_ORA_ERROR(Bracket());
          break;
        case '(':
          ++pos_;
          groups_.push_back(out_.size());
          out_ += '(';
          atom_start_.reset();
          break;
        case ')':
          ++pos_;
          if (groups_.empty()) return OraErr(UnmatchedParentheses());
          out_ += ')';
          atom_start_ = groups_.back();
          quantified_ = false;
          groups_.pop_back();
          break;
        case '|':
          ++pos_;
          out_ += '|';
          atom_start_.reset();
          break;
        case '^':
          ++pos_;
          out_ += '^';
          atom_start_.reset();
          break;
        case '$':
          ++pos_;
          // Without 'm', $ is the end of the text only (not also before a last line end).
          out_ += options_.multiline ? "$" : "\\z";
          atom_start_.reset();
          break;
        case '.':
          ++pos_;
          BeginAtom();
          out_ += '.';
          break;
        case '*':
        case '+':
        case '?':
          ++pos_;
          Quantifier(std::string(1, c));
          break;
        case '{': {
          VK_ASSIGN_OR_ORA_RETURN(std::optional<std::string> interval, Interval());
          if (interval) {
            Quantifier(*interval);
          } else {
            ++pos_;
            BeginAtom();
            AppendLiteral(out_, '{');
          }
          break;
        }
        default:
          BeginAtom();
          AppendLiteral(out_, NextChar(in_, &pos_));
          break;
      }
    }
    if (!groups_.empty()) return OraErr(UnmatchedParentheses());
    return std::move(out_);
  }

 private:
  static bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
  }

  void BeginAtom() {
    atom_start_ = out_.size();
    quantified_ = false;
  }

  // `text` applies to the atom before it; with no atom before it, it is plain text. A second
  // quantifier applies to the quantified atom as a whole, as (a*){2}.
  void Quantifier(const std::string& text) {
    if (!atom_start_) {
      BeginAtom();
      for (char c : text) AppendLiteral(out_, static_cast<unsigned char>(c));
      return;
    }
    if (quantified_) {
      out_.insert(*atom_start_, "(?:");
      out_ += ')';
    }
    out_ += text;
    if (pos_ < in_.size() && in_[pos_] == '?') {
      out_ += '?';
      ++pos_;
    }
    quantified_ = true;
  }

  // {n}, {n,} or {n,m} at pos_ (consumed); nullopt (nothing consumed) when the brace starts no
  // interval.
  OraResult<std::optional<std::string>> Interval() {
    std::size_t at = pos_ + 1;
    auto number = [&]() -> std::optional<long long> {
      std::size_t start = at;
      long long value = 0;
      while (at < in_.size() && in_[at] >= '0' && in_[at] <= '9') {
        value = std::min<long long>(value * 10 + (in_[at] - '0'), 1'000'000);
        ++at;
      }
      if (at == start) return std::nullopt;
      return value;
    };
    std::optional<long long> low = number();
    if (!low) return std::optional<std::string>();
    std::optional<long long> high = low;
    bool open = false;
    if (at < in_.size() && in_[at] == ',') {
      ++at;
      high = number();
      open = !high;
    }
    if (at >= in_.size() || in_[at] != '}') return std::optional<std::string>();
    // ICU's intervals stop at 2^31 - 1; Oracle's at 32767 repetitions.
    if ((high && *high < *low) || *low > 32767 || (high && *high > 32767)) {
      return OraErr(InvalidInterval());
    }
    pos_ = at + 1;
    if (open) return std::optional<std::string>(fmt::format("{{{},}}", *low));
    return std::optional<std::string>(fmt::format("{{{},{}}}", *low, *high));
  }

  void Escape() {
    if (pos_ + 1 >= in_.size()) {
      // A backslash that ends the pattern stands for itself.
      ++pos_;
      BeginAtom();
      AppendLiteral(out_, '\\');
      return;
    }
    const char e = in_[pos_ + 1];
    switch (e) {
      case 'd':
      case 'D':
      case 'w':
      case 'W':
      case 's':
      case 'S':
        pos_ += 2;
        BeginAtom();
        out_ += '\\';
        out_ += e;
        return;
      case 'A':
      case 'Z':
      case 'z':
        pos_ += 2;
        out_ += '\\';
        out_ += e;
        atom_start_.reset();
        return;
      default:
        break;
    }
    if (e >= '1' && e <= '9') {
      pos_ += 2;
      BeginAtom();
      // A group of its own, so that a digit after it is not read as part of the number.
      out_ += "(?:\\";
      out_ += e;
      out_ += ')';
      return;
    }
    ++pos_;
    BeginAtom();
    AppendLiteral(out_, NextChar(in_, &pos_));
  }

  // A bracket expression: [abc], [^a-z], []a], [[:alpha:]], [[.-.]]. Inside it a backslash
  // is a plain character.
  OraStatus Bracket() {
    ++pos_;
    out_ += '[';
    if (pos_ < in_.size() && in_[pos_] == '^') {
      out_ += '^';
      ++pos_;
    }
    bool first = true;
    while (true) {
      if (pos_ >= in_.size()) return OraErr(UnmatchedBracket());
      const char c = in_[pos_];
      if (c == ']' && !first) {
        ++pos_;
        break;
      }
      first = false;
      if (c == '[' && pos_ + 1 < in_.size() &&
          (in_[pos_ + 1] == ':' || in_[pos_ + 1] == '=' || in_[pos_ + 1] == '.')) {
        const char kind = in_[pos_ + 1];
        const std::size_t close = in_.find(std::string{kind, ']'}, pos_ + 2);
        if (close == std::string_view::npos) return OraErr(UnmatchedBracket());
        std::string_view name = in_.substr(pos_ + 2, close - pos_ - 2);
        pos_ = close + 2;
        if (kind == ':') {
          std::optional<std::string_view> items = ClassItems(name);
          if (!items) return OraErr(InvalidClass());
          out_ += *items;
          continue;
        }
        // A collating element: one character here.
        std::size_t at = 0;
        if (name.empty()) return OraErr(InvalidCollation());
        UChar32 element = NextChar(name, &at);
        if (at != name.size()) return OraErr(InvalidCollation());
        if (kind == '=') return OraErr(Ora(3001, "unimplemented feature"));
        VK_RETURN_IF_ORA_ERROR(RangeFrom(element));
        continue;
      }
      VK_RETURN_IF_ORA_ERROR(RangeFrom(NextChar(in_, &pos_)));
    }
    out_ += ']';
    return {};
  }

  // `low`, or the range low-high when a '-' and a character other than the closing ']' follow.
  OraStatus RangeFrom(UChar32 low) {
    if (pos_ + 1 < in_.size() && in_[pos_] == '-' && in_[pos_ + 1] != ']') {
      ++pos_;
      UChar32 high = 0;
      if (in_.compare(pos_, 2, "[.") == 0) {
        const std::size_t close = in_.find(".]", pos_ + 2);
        if (close == std::string_view::npos) return OraErr(UnmatchedBracket());
        std::string_view name = in_.substr(pos_ + 2, close - pos_ - 2);
        std::size_t at = 0;
        if (name.empty()) return OraErr(InvalidCollation());
        high = NextChar(name, &at);
        if (at != name.size()) return OraErr(InvalidCollation());
        pos_ = close + 2;
      } else {
        high = NextChar(in_, &pos_);
      }
      if (high < low) return OraErr(InvalidRange());
      AppendLiteral(out_, low);
      out_ += '-';
      AppendLiteral(out_, high);
      return {};
    }
    AppendLiteral(out_, low);
    return {};
  }

  std::string_view in_;
  const RegexpOptions& options_;
  std::size_t pos_ = 0;
  std::string out_;
  std::vector<std::size_t> groups_;        // where each open group starts in out_
  std::optional<std::size_t> atom_start_;  // where the atom a quantifier applies to starts
  bool quantified_ = false;                // that atom already has a quantifier
};

}  // namespace

OraResult<RegexpOptions> ParseMatchParameter(std::string_view text) {
  RegexpOptions options;
  for (char c : text) {
    switch (c) {
      case 'i':
        options.case_insensitive = true;
        break;
      case 'c':
        options.case_insensitive = false;
        break;
      case 'n':
        options.dot_matches_newline = true;
        break;
      case 'm':
        options.multiline = true;
        break;
      case 'x':
        options.ignore_blanks = true;
        break;
      default:
        return OraErr(1760, "illegal argument for function");
    }
  }
  return options;
}

std::uint32_t IcuFlags(const RegexpOptions& options) {
  // Only the line feed ends a line, for the period, ^ and $ alike.
  std::uint32_t flags = UREGEX_UNIX_LINES;
  if (options.case_insensitive) flags |= UREGEX_CASE_INSENSITIVE;
  if (options.dot_matches_newline) flags |= UREGEX_DOTALL;
  if (options.multiline) flags |= UREGEX_MULTILINE;
  return flags;
}

OraResult<std::string> ToIcuPattern(std::string_view pattern, const RegexpOptions& options) {
  return Translator(pattern, options).Run();
}

}  // namespace volmek::engine::fn
