#include "plus/script_reader.h"

#include <array>
#include <string>
#include <vector>

#include "base/text.h"

namespace volmek::plus {

namespace {

// First words that start a SQL statement (sent to the database) rather than a tool command.
constexpr std::array<std::string_view, 16> kSqlWords = {
    "SELECT", "WITH",     "INSERT", "UPDATE", "DELETE",   "MERGE", "CREATE", "DROP",
    "ALTER",  "TRUNCATE", "RENAME", "COMMIT", "ROLLBACK", "GRANT", "REVOKE", "ANALYZE"};

bool IsSqlWord(std::string_view word) {
  for (std::string_view sql : kSqlWords) {
    if (word == sql) return true;
  }
  return false;
}

bool IsBlockWord(std::string_view word) { return word == "DECLARE" || word == "BEGIN"; }

// CREATE [OR REPLACE] [EDITIONABLE | NONEDITIONABLE] of stored PL/SQL (a procedure, function,
// package, package body, trigger or type), which the tool reads as a block: its inner ";" do
// not end it, only the "/" line does.
bool CreatesStoredCode(std::string_view text) {
  std::vector<std::string> words;
  while (words.size() < 5) {
    std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) break;
    text.remove_prefix(start);
    std::size_t end = text.find_first_of(" \t(;");
    words.push_back(UpperCase(text.substr(0, end)));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end);
    if (text.front() == '(' || text.front() == ';') break;
  }
  std::size_t at = 1;
  if (words.empty() || words[0] != "CREATE") return false;
  if (at + 1 < words.size() && words[at] == "OR" && words[at + 1] == "REPLACE") at += 2;
  if (at < words.size() && (words[at] == "EDITIONABLE" || words[at] == "NONEDITIONABLE")) ++at;
  if (at >= words.size()) return false;
  const std::string& kind = words[at];
  return kind == "PROCEDURE" || kind == "FUNCTION" || kind == "PACKAGE" || kind == "TRIGGER" ||
         kind == "TYPE";
}

std::string_view Trimmed(std::string_view text) {
  std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  std::size_t end = text.find_last_not_of(" \t");
  return text.substr(start, end - start + 1);
}

}  // namespace

std::string FirstWord(std::string_view text) {
  text = Trimmed(text);
  std::size_t end = text.find_first_of(" \t\r\n;(");
  return UpperCase(text.substr(0, end));
}

bool IsAbbreviation(std::string_view word, std::string_view full, std::size_t shortest) {
  return word.size() >= shortest && word.size() <= full.size() &&
         full.substr(0, word.size()) == word;
}

Result<bool> ScriptReader::Next(Command& command) {
  std::string line;
  while (true) {
    VOLMEK_ASSIGN_OR_RETURN(bool more, lines_.Next(line));
    if (!more) return false;
    std::string_view text = Trimmed(WithoutLineEnd(line));
    if (text.empty() || text.substr(0, 2) == "--") continue;
    command = Command();
    command.line = lines_.line_number();
    command.text = std::string(text);
    std::string word = FirstWord(text);
    if (IsAbbreviation(word, "REMARK", 3)) continue;
    if (word == "CREATE" && CreatesStoredCode(text)) return ReadStatement(command, true);
    if (IsSqlWord(word)) return ReadStatement(command, /*block=*/false);
    if (IsBlockWord(word)) return ReadStatement(command, /*block=*/true);
    if (word == "SET") {
      command.kind = Command::Kind::kSet;
    } else if (IsAbbreviation(word, "SPOOL", 3)) {
      command.kind = Command::Kind::kSpool;
    } else if (IsAbbreviation(word, "DESCRIBE", 4)) {
      command.kind = Command::Kind::kDescribe;
    } else if (word == "QUIT" || word == "EXIT") {
      command.kind = Command::Kind::kQuit;
    } else if (IsAbbreviation(word, "PROMPT", 3)) {
      command.kind = Command::Kind::kPrompt;
    } else if (IsAbbreviation(word, "SHOW", 3)) {
      command.kind = Command::Kind::kShow;
    } else if (IsAbbreviation(word, "EXECUTE", 4)) {
      command.kind = Command::Kind::kExecute;
    } else {
      command.kind = Command::Kind::kUnknown;
    }
    return true;
  }
}

Result<bool> ScriptReader::ReadStatement(Command& command, bool block) {
  command.kind = Command::Kind::kSql;
  std::string line;
  // The first line may already end the statement.
  std::string_view first = command.text;
  if (!block && !first.empty() && first.back() == ';') {
    command.text = std::string(Trimmed(first.substr(0, first.size() - 1)));
    return true;
  }
  while (true) {
    VOLMEK_ASSIGN_OR_RETURN(bool more, lines_.Next(line));
    if (!more) {
      command.run = false;
      return true;
    }
    std::string_view raw = WithoutLineEnd(line);
    std::string_view text = Trimmed(raw);
    if (text == "/") return true;
    if (!block && text.empty()) {
      command.run = false;
      return true;
    }
    command.text += '\n';
    if (!block && text.back() == ';') {
      std::string_view body = raw.substr(0, raw.find_last_of(';'));
      command.text += std::string(RightTrimmed(body));
      return true;
    }
    command.text += std::string(raw);
  }
}

}  // namespace volmek::plus
