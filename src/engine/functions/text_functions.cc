// Character functions. Positions and lengths count characters (UTF-8 sequences; a stray byte
// counts as one character), so that no function cuts a character in two.
#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/functions/function_support.h"

namespace volmek::engine::fn {

namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Byte offsets where the characters of `text` begin, and its size at the end.
std::vector<std::size_t> CharStarts(std::string_view text) {
  std::vector<std::size_t> starts;
  starts.reserve(text.size() + 1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == 0 || !IsContinuation(text[i])) starts.push_back(i);
  }
  starts.push_back(text.size());
  return starts;
}

long long CharCount(std::string_view text) {
  long long count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == 0 || !IsContinuation(text[i])) ++count;
  }
  return count;
}

std::vector<std::string_view> Chars(std::string_view text) {
  std::vector<std::size_t> starts = CharStarts(text);
  std::vector<std::string_view> chars;
  for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
    chars.push_back(text.substr(starts[i], starts[i + 1] - starts[i]));
  }
  return chars;
}

// The longest text a function may build on this connection.
long long MaxLength(sqlite3_context* ctx) {
  return sqlite3_limit(sqlite3_context_db_handle(ctx), SQLITE_LIMIT_LENGTH, -1);
}

bool IntegerArgument(sqlite3_context* ctx, sqlite3_value** argv, int index, long long* out) {
  auto value = IntegerArg(Arg(argv, index));
  if (!value) {
    ResultError(ctx, value.error());
    return false;
  }
  if (!*value) {
    sqlite3_result_null(ctx);
    return false;
  }
  *out = **value;
  return true;
}

OraError OutOfRange(long long value) {
  return Ora(1428, "argument '" + std::to_string(value) + "' is out of range");
}

void Substr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  TextArg text;
  long long start = 0;
  if (!TextArgument(ctx, argv, 0, &text) || !IntegerArgument(ctx, argv, 1, &start)) return;
  long long length = -1;
  if (argc > 2) {
    if (!IntegerArgument(ctx, argv, 2, &length)) return;
    if (length < 1) return sqlite3_result_null(ctx);
  }
  std::vector<std::size_t> starts = CharStarts(text.view());
  long long count = static_cast<long long>(starts.size()) - 1;
  if (start == 0) start = 1;
  if (start < 0) start = count + start + 1;
  if (start < 1 || start > count) return sqlite3_result_null(ctx);
  long long end = length < 0 ? count : std::min(count, start - 1 + length);
  std::size_t from = starts[static_cast<std::size_t>(start - 1)];
  std::size_t to = starts[static_cast<std::size_t>(end)];
  ResultText(ctx, text.view().substr(from, to - from));
}

void Instr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  TextArg text;
  TextArg pattern;
  if (!TextArgument(ctx, argv, 0, &text) || !TextArgument(ctx, argv, 1, &pattern)) return;
  long long position = 1;
  long long occurrence = 1;
  if (argc > 2 && !IntegerArgument(ctx, argv, 2, &position)) return;
  if (argc > 3 && !IntegerArgument(ctx, argv, 3, &occurrence)) return;
  if (occurrence < 1) return ResultError(ctx, OutOfRange(occurrence));
  if (position == 0) return sqlite3_result_int64(ctx, 0);
  std::vector<std::size_t> starts = CharStarts(text.view());
  long long count = static_cast<long long>(starts.size()) - 1;
  auto matches_at = [&](long long char_index) {
    std::size_t at = starts[static_cast<std::size_t>(char_index)];
    return text.view().compare(at, pattern.view().size(), pattern.view()) == 0 &&
           at + pattern.view().size() <= text.view().size();
  };
  long long found = 0;
  if (position > 0) {
    for (long long i = position - 1; i < count; ++i) {
      if (matches_at(i) && ++found == occurrence) return sqlite3_result_int64(ctx, i + 1);
    }
  } else {
    for (long long i = count + position; i >= 0; --i) {
      if (i < count && matches_at(i) && ++found == occurrence) {
        return sqlite3_result_int64(ctx, i + 1);
      }
    }
  }
  sqlite3_result_int64(ctx, 0);
}

void Length(sqlite3_context* ctx, int, sqlite3_value** argv) {
  TextArg text;
  if (!TextArgument(ctx, argv, 0, &text)) return;
  sqlite3_result_int64(ctx, CharCount(text.view()));
}

// Removes from the left (mode 1), the right (mode 2) or both ends (3) the characters of `set`.
std::string_view TrimSet(std::string_view text, std::string_view set, int mode) {
  std::vector<std::string_view> members = Chars(set);
  auto is_member = [&](std::string_view ch) {
    return std::find(members.begin(), members.end(), ch) != members.end();
  };
  std::vector<std::size_t> starts = CharStarts(text);
  std::size_t first = 0;
  std::size_t last = starts.size() - 1;  // characters [first, last)
  if (mode & 1) {
    while (first < last &&
           is_member(text.substr(starts[first], starts[first + 1] - starts[first]))) {
      ++first;
    }
  }
  if (mode & 2) {
    while (last > first &&
           is_member(text.substr(starts[last - 1], starts[last] - starts[last - 1]))) {
      --last;
    }
  }
  return text.substr(starts[first], starts[last] - starts[first]);
}

void TrimWithMode(sqlite3_context* ctx, int argc, sqlite3_value** argv, int mode) {
  TextArg text;
  if (!TextArgument(ctx, argv, 0, &text)) return;
  TextArg set;
  set = TextArg::Borrow(" ");
  if (argc > 1 && !TextArgument(ctx, argv, 1, &set)) return;
  ResultText(ctx, TrimSet(text.view(), set.view(), mode));
}

void Ltrim(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  TrimWithMode(ctx, argc, argv, 1);
}
void Rtrim(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  TrimWithMode(ctx, argc, argv, 2);
}
void Trim(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  TrimWithMode(ctx, argc, argv, 3);
}

// vk_trim(mode, character, text): TRIM(LEADING|TRAILING|BOTH character FROM text).
void VkTrim(sqlite3_context* ctx, int, sqlite3_value** argv) {
  TextArg mode_text;
  TextArg set;
  TextArg text;
  if (!TextArgument(ctx, argv, 0, &mode_text) || !TextArgument(ctx, argv, 1, &set) ||
      !TextArgument(ctx, argv, 2, &text)) {
    return;
  }
  if (CharCount(set.view()) != 1) {
    return ResultError(ctx, Ora(30001, "trim set should have only one character"));
  }
  std::string mode_name = UpperCase(mode_text.view());
  int mode = mode_name == "LEADING" ? 1 : (mode_name == "TRAILING" ? 2 : 3);
  ResultText(ctx, TrimSet(text.view(), set.view(), mode));
}

void Pad(sqlite3_context* ctx, int argc, sqlite3_value** argv, bool left) {
  TextArg text;
  long long width = 0;
  if (!TextArgument(ctx, argv, 0, &text) || !IntegerArgument(ctx, argv, 1, &width)) return;
  TextArg pad;
  pad = TextArg::Borrow(" ");
  if (argc > 2 && !TextArgument(ctx, argv, 2, &pad)) return;
  if (width < 1) return sqlite3_result_null(ctx);
  std::vector<std::size_t> starts = CharStarts(text.view());
  long long count = static_cast<long long>(starts.size()) - 1;
  if (count >= width) {
    return ResultText(ctx, text.view().substr(0, starts[static_cast<std::size_t>(width)]));
  }
  std::vector<std::string_view> pad_chars = Chars(pad.view());
  long long missing = width - count;
  // Bounded before building: each pad character is at most pad.view().size() bytes.
  long long worst = static_cast<long long>(text.view().size()) +
                    missing * static_cast<long long>(pad.view().size());
  if (missing > MaxLength(ctx) || worst > MaxLength(ctx)) return sqlite3_result_error_toobig(ctx);
  std::string fill;
  for (long long i = 0; i < missing; ++i)
    fill.append(pad_chars[static_cast<std::size_t>(i) % pad_chars.size()]);
  ResultText(ctx, left ? fill + std::string(text.view()) : std::string(text.view()) + fill);
}

void Lpad(sqlite3_context* ctx, int argc, sqlite3_value** argv) { Pad(ctx, argc, argv, true); }
void Rpad(sqlite3_context* ctx, int argc, sqlite3_value** argv) { Pad(ctx, argc, argv, false); }

void Replace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  TextArg text;
  if (!TextArgument(ctx, argv, 0, &text)) return;
  SqlValue from_value = Arg(argv, 1);
  if (IsNull(from_value)) return ResultText(ctx, text.view());
  auto from = TextOf(from_value);
  if (!from) return ResultError(ctx, from.error());
  TextArg to;
  if (argc > 2 && !IsNull(Arg(argv, 2))) {
    auto value = TextOf(Arg(argv, 2));
    if (!value) return ResultError(ctx, value.error());
    to = std::move(*value);
  }
  std::string result;
  std::size_t at = 0;
  while (true) {
    std::size_t next = text.view().find(from->view(), at);
    if (next == std::string_view::npos) break;
    result.append(text.view().substr(at, next - at));
    result.append(to.view());
    if (static_cast<long long>(result.size()) > MaxLength(ctx)) {
      return sqlite3_result_error_toobig(ctx);
    }
    at = next + from->view().size();
  }
  result.append(text.view().substr(at));
  ResultText(ctx, result);
}

void Translate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  TextArg text;
  TextArg from;
  TextArg to;
  if (!TextArgument(ctx, argv, 0, &text) || !TextArgument(ctx, argv, 1, &from) ||
      !TextArgument(ctx, argv, 2, &to)) {
    return;
  }
  std::vector<std::string_view> from_chars = Chars(from.view());
  std::vector<std::string_view> to_chars = Chars(to.view());
  std::string result;
  for (std::string_view ch : Chars(text.view())) {
    auto found = std::find(from_chars.begin(), from_chars.end(), ch);
    if (found == from_chars.end()) {
      result.append(ch);
      continue;
    }
    std::size_t index = static_cast<std::size_t>(found - from_chars.begin());
    if (index < to_chars.size()) result.append(to_chars[index]);
  }
  ResultText(ctx, result);
}

void Chr(sqlite3_context* ctx, int, sqlite3_value** argv) {
  long long code = 0;
  if (!IntegerArgument(ctx, argv, 0, &code)) return;
  if (code < 0 || code > 0xFFFFFFFFLL) return ResultError(ctx, OutOfRange(code));
  // The code's bytes, most significant first, as Oracle's CHR gives them.
  std::string bytes;
  do {
    bytes.insert(bytes.begin(), static_cast<char>(code & 0xFF));
    code >>= 8;
  } while (code > 0);
  sqlite3_result_text(ctx, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

void Ascii(sqlite3_context* ctx, int, sqlite3_value** argv) {
  TextArg text;
  if (!TextArgument(ctx, argv, 0, &text)) return;
  std::vector<std::size_t> starts = CharStarts(text.view());
  long long code = 0;
  for (std::size_t i = 0; i < starts[1]; ++i) {
    code = code * 256 + static_cast<unsigned char>(text.view()[i]);
  }
  sqlite3_result_int64(ctx, code);
}

constexpr FunctionDef kTextFunctions[] = {
    {"substr", 2, 3, true, Substr},       {"instr", 2, 4, true, Instr},
    {"length", 1, 1, true, Length},       {"ltrim", 1, 2, true, Ltrim},
    {"rtrim", 1, 2, true, Rtrim},         {"trim", 1, 2, true, Trim},
    {"vk_trim", 3, 3, true, VkTrim},      {"lpad", 2, 3, true, Lpad},
    {"rpad", 2, 3, true, Rpad},           {"replace", 2, 3, true, Replace},
    {"translate", 3, 3, true, Translate}, {"chr", 1, 1, true, Chr},
    {"ascii", 1, 1, true, Ascii},
};

}  // namespace

std::span<const FunctionDef> TextFunctions() { return kTextFunctions; }

}  // namespace volmek::engine::fn
