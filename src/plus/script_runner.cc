#include "plus/script_runner.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <ostream>
#include <vector>

#include "base/text.h"
#include "db/server_output.h"
#include "plus/result_format.h"

namespace volmek::plus {

namespace {

constexpr int kMaxLineSize = 32767;
// The SIZE range of SERVEROUTPUT.
constexpr long long kMinServerOutput = 2000;
constexpr long long kMaxServerOutput = 1000000;

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  std::size_t pos = 0;
  while (pos < text.size()) {
    pos = text.find_first_not_of(" \t", pos);
    if (pos == std::string_view::npos) break;
    std::size_t end = text.find_first_of(" \t", pos);
    if (end == std::string_view::npos) end = text.size();
    words.emplace_back(text.substr(pos, end - pos));
    pos = end;
  }
  if (!words.empty() && !words.back().empty() && words.back().back() == ';') {
    words.back().pop_back();
    if (words.back().empty()) words.pop_back();
  }
  return words;
}

std::optional<long long> ParseCount(std::string_view text) {
  long long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

std::string_view FirstLine(std::string_view text) { return text.substr(0, text.find('\n')); }

}  // namespace

Status ScriptRunner::Run(std::istream& in) {
  ScriptReader reader(in);
  Command command;
  bool quit = false;
  while (!quit) {
    VOLMEK_ASSIGN_OR_RETURN(bool more, reader.Next(command));
    if (!more) break;
    // A statement that a blank line or the end of the script cut off is kept by the tool
    // without being run; nothing is shown.
    if (!command.run) continue;
    Status status = Execute(command, quit);
    if (!status.ok()) {
      spool_.close();
      return status;
    }
  }
  return CloseSpool();
}

Status ScriptRunner::Execute(const Command& command, bool& quit) {
  switch (command.kind) {
    case Command::Kind::kSet:
      return Set(command);
    case Command::Kind::kSpool:
      return Spool(command);
    case Command::Kind::kDescribe:
      return Describe(command);
    case Command::Kind::kSql:
      return Statement(command);
    case Command::Kind::kShow:
      return Show(command);
    case Command::Kind::kExecute: {
      // The rest of the line is one PL/SQL statement, run as the tool does: in a block.
      std::string_view text = command.text;
      std::size_t start = text.find_first_of(" \t");
      text = start == std::string_view::npos ? std::string_view() : text.substr(start + 1);
      while (!text.empty() && (text.back() == ';' || text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
      VOLMEK_RETURN_IF_ERROR(Block(fmt::format("BEGIN {}; END;", text)));
      return DisplayServerOutput();
    }
    case Command::Kind::kQuit:
      quit = true;
      return Status::Ok();
    case Command::Kind::kPrompt: {
      std::string_view text = command.text;
      std::size_t start = text.find_first_of(" \t");
      text = start == std::string_view::npos ? std::string_view() : text.substr(start + 1);
      return Display(std::string(text) + "\n");
    }
    case Command::Kind::kUnknown:
      break;
  }
  Unsupported(command, "orden no admitida");
  return Status::Ok();
}

void ScriptRunner::Unsupported(const Command& command, std::string_view what) {
  terminal_ << fmt::format("volmek-plus: linea {}: {}: {}\n", command.line, what,
                           FirstLine(command.text));
}

Status ScriptRunner::Display(std::string_view text) {
  if (term_out_) terminal_ << text;
  if (spool_.is_open()) {
    spool_ << text;
    if (!spool_)
      return Status::IoError(fmt::format("Imposible escribir fichero ({}).\n", spool_name_));
  }
  return Status::Ok();
}

Status ScriptRunner::DisplayError(const db::SessionCursor& cursor) {
  std::string message = cursor.ErrorText();
  if (message.empty()) message = fmt::format("ORA-{:05d}", cursor.rc());
  return Display("ERROR:\n" + message + "\n\n");
}

Status ScriptRunner::Set(const Command& command) {
  std::vector<std::string> words = SplitWords(command.text);
  if (words.size() < 3) {
    Unsupported(command, "SET no admitido");
    return Status::Ok();
  }
  // Every option is checked before any is applied, so that a line with a bad option changes
  // nothing.
  bool term_out = term_out_;
  int line_size = line_size_;
  long long page_size = page_size_;
  bool heading = heading_;
  long long feedback = feedback_;
  ServerOutput server_output = server_output_;
  bool server_option = false;
  for (std::size_t word_idx = 1; word_idx < words.size();) {
    std::string option = UpperCase(words[word_idx]);
    if (IsAbbreviation(option, "SERVEROUTPUT", 9)) {
      VOLMEK_ASSIGN_OR_RETURN(bool valid, SetServerOutput(words, &word_idx, &server_output));
      if (!valid) return Status::Ok();
      server_option = true;
      continue;
    }
    if (word_idx + 1 >= words.size()) {
      Unsupported(command, "SET no admitido");
      return Status::Ok();
    }
    std::string value = UpperCase(words[word_idx + 1]);
    word_idx += 2;
    std::optional<long long> count = ParseCount(value);
    bool on = value == "ON";
    bool on_off = on || value == "OFF";
    if (IsAbbreviation(option, "TERMOUT", 4) && on_off) {
      term_out = on;
    } else if (IsAbbreviation(option, "LINESIZE", 3) && count && *count >= 1 &&
               *count <= kMaxLineSize) {
      line_size = static_cast<int>(*count);
    } else if (IsAbbreviation(option, "PAGESIZE", 5) && count) {
      page_size = *count;
    } else if (IsAbbreviation(option, "HEADING", 3) && on_off) {
      heading = on;
    } else if (IsAbbreviation(option, "FEEDBACK", 4) && (on_off || count)) {
      feedback = on_off ? (on ? 1 : 0) : *count;
    } else {
      Unsupported(command, "opcion de SET no admitida");
      return Status::Ok();
    }
  }
  if (server_option) {
    // ON enables the buffer as DBMS_OUTPUT.ENABLE does (again, for a new SIZE); OFF disables
    // it. A session that refuses keeps the setting it had.
    db::SessionCursor& cursor = session_.main();
    int rc = server_output.on ? db::EnableServerOutput(cursor, server_output.size)
                              : db::DisableServerOutput(cursor);
    if (rc != db::kRcOk) {
      VOLMEK_RETURN_IF_ERROR(DisplayError(cursor));
    } else {
      server_output_ = server_output;
    }
  }
  term_out_ = term_out;
  line_size_ = line_size;
  page_size_ = page_size;
  heading_ = heading;
  feedback_ = feedback;
  return Status::Ok();
}

Result<bool> ScriptRunner::SetServerOutput(const std::vector<std::string>& words, std::size_t* at,
                                           ServerOutput* setting) {
  std::size_t idx = *at + 1;
  std::string value = idx < words.size() ? UpperCase(words[idx]) : "";
  if (value != "ON" && value != "OFF") {
    VOLMEK_RETURN_IF_ERROR(Display("SP2-0265: serveroutput must be set ON or OFF\n"));
    return false;
  }
  setting->on = value == "ON";
  ++idx;
  while (idx < words.size()) {
    std::string word = UpperCase(words[idx]);
    if (word == "SIZE" || word == "SIZ") {
      std::string size = idx + 1 < words.size() ? UpperCase(words[idx + 1]) : "";
      if (IsAbbreviation(size, "UNLIMITED", 3)) {
        setting->size.reset();
      } else {
        std::optional<long long> count = ParseCount(size);
        if (!count) {
          VOLMEK_RETURN_IF_ERROR(Display("SP2-0268: serveroutput option not a valid number\n"));
          return false;
        }
        if (*count < kMinServerOutput || *count > kMaxServerOutput) {
          VOLMEK_RETURN_IF_ERROR(
              Display(fmt::format("SP2-0547: size option {} out of range ({} through {})\n", *count,
                                  kMinServerOutput, kMaxServerOutput)));
          return false;
        }
        setting->size = *count;
      }
      idx += 2;
    } else if (IsAbbreviation(word, "FORMAT", 3)) {
      std::string format = idx + 1 < words.size() ? UpperCase(words[idx + 1]) : "";
      if (IsAbbreviation(format, "WRAPPED", 3)) {
        setting->format = ServerOutputFormat::kWrapped;
      } else if (IsAbbreviation(format, "WORD_WRAPPED", 3)) {
        setting->format = ServerOutputFormat::kWordWrapped;
      } else if (IsAbbreviation(format, "TRUNCATED", 3)) {
        setting->format = ServerOutputFormat::kTruncated;
      } else {
        VOLMEK_RETURN_IF_ERROR(Display(
            "SP2-0265: serveroutput FORMAT must be set to WRAPPED, WORD_WRAPPED or TRUNCATED\n"));
        return false;
      }
      idx += 2;
    } else {
      break;
    }
  }
  *at = idx;
  return true;
}

Status ScriptRunner::Show(const Command& command) {
  std::vector<std::string> words = SplitWords(command.text);
  if (words.size() != 2 || !IsAbbreviation(UpperCase(words[1]), "SERVEROUTPUT", 9)) {
    Unsupported(command, "opcion de SHOW no admitida");
    return Status::Ok();
  }
  const ServerOutput& setting = server_output_;
  if (!setting.on) return Display("serveroutput OFF\n");
  std::string_view format = setting.format == ServerOutputFormat::kWrapped       ? "WRAPPED"
                            : setting.format == ServerOutputFormat::kWordWrapped ? "WORD_WRAPPED"
                                                                                 : "TRUNCATED";
  return Display(fmt::format("serveroutput ON SIZE {} FORMAT {}\n",
                             setting.size ? std::to_string(*setting.size) : "UNLIMITED", format));
}

Status ScriptRunner::DisplayServerOutput() {
  if (!server_output_.on) return Status::Ok();
  std::vector<std::string> lines;
  db::SessionCursor& cursor = session_.main();
  int rc = db::ReadServerOutput(cursor, &lines);
  for (const std::string& line : lines) {
    VOLMEK_RETURN_IF_ERROR(
        Display(FormatServerOutputLine(line, line_size_, server_output_.format)));
  }
  if (rc != db::kRcOk) return DisplayError(cursor);
  return Status::Ok();
}

Status ScriptRunner::Statement(const Command& command) {
  std::string word = FirstWord(command.text);
  if (word == "BEGIN" || word == "DECLARE") {
    VOLMEK_RETURN_IF_ERROR(Block(command.text));
    return DisplayServerOutput();
  }
  if (word != "SELECT" && word != "WITH") {
    Unsupported(command, "solo se ejecutan consultas y bloques PL/SQL");
    return Status::Ok();
  }
  VOLMEK_RETURN_IF_ERROR(Select(command));
  return DisplayServerOutput();
}

Status ScriptRunner::Block(std::string_view text) {
  db::SessionCursor& cursor = session_.main();
  if (cursor.Parse(text) != db::kRcOk || cursor.Execute() != db::kRcOk) {
    return DisplayError(cursor);
  }
  // What the block wrote comes before the feedback line.
  VOLMEK_RETURN_IF_ERROR(DisplayServerOutput());
  if (feedback_ > 0) return Display("\nPL/SQL procedure successfully completed.\n");
  return Status::Ok();
}

Status ScriptRunner::CloseSpool() {
  if (!spool_.is_open()) return Status::Ok();
  spool_.close();
  if (spool_.fail())
    return Status::IoError(fmt::format("Imposible escribir fichero ({}).\n", spool_name_));
  return Status::Ok();
}

Status ScriptRunner::Spool(const Command& command) {
  std::vector<std::string> words = SplitWords(command.text);
  if (words.size() == 2 && UpperCase(words[1]) == "OFF") return CloseSpool();
  std::string mode = words.size() == 3 ? UpperCase(words[2]) : "REPLACE";
  if (words.size() < 2 || words.size() > 3 ||
      (mode != "REPLACE" && mode != "APPEND" && mode != "CREATE")) {
    Unsupported(command, "SPOOL no admitido");
    return Status::Ok();
  }
  VOLMEK_RETURN_IF_ERROR(CloseSpool());
  std::string name = words[1];
  if (std::filesystem::path(name).filename().string().find('.') == std::string::npos)
    name += ".lst";
  spool_name_ = name;
  std::ios::openmode open_mode =
      std::ios::binary | (mode == "APPEND" ? std::ios::app : std::ios::trunc);
  spool_.clear();
  spool_.open(directory_ / name, open_mode);
  if (!spool_.is_open())
    return Status::IoError(fmt::format("Imposible abrir fichero ({}).\n", name));
  return Status::Ok();
}

Status ScriptRunner::Describe(const Command& command) {
  std::vector<std::string> words = SplitWords(command.text);
  if (words.size() != 2) {
    Unsupported(command, "DESCRIBE no admitido");
    return Status::Ok();
  }
  const std::string& typed = words[1];
  std::string name = UpperCase(typed);
  if (typed.size() >= 2 && typed.front() == '"' && typed.back() == '"') {
    name = typed.substr(1, typed.size() - 2);
  }
  std::string not_found = fmt::format("ERROR:\nORA-04043: object {} does not exist\n\n", typed);
  // Only a name that cannot change the meaning of the query is looked up.
  if (!IsPlainIdentifier(name)) return Display(not_found);

  db::SessionCursor& cursor = session_.main();
  // A column of character semantics shows its length in characters: VARCHAR2(10 CHAR).
  std::string query = fmt::format(
      "select column_name, data_type, decode(char_used, 'C', char_length || ' CHAR', "
      "data_length), data_precision, data_scale, nullable from user_tab_columns where "
      "table_name = '{}' order by column_id",
      name);
  if (cursor.Parse(query) != db::kRcOk) return DisplayError(cursor);
  constexpr int kItems = 6;
  for (int position = 1; position <= kItems; ++position) {
    if (cursor.Define(position, db::ExternalType::kString) != db::kRcOk)
      return DisplayError(cursor);
  }
  if (cursor.Execute() != db::kRcOk) return DisplayError(cursor);
  std::vector<DescribedColumn> columns;
  while (true) {
    int rc = cursor.Fetch();
    if (rc == db::kRcNoData) break;
    if (rc != db::kRcOk && rc != db::kRcNullValue) return DisplayError(cursor);
    auto text = [&](int index) -> std::string {
      const db::FetchedValue& value = cursor.Value(index);
      return value.is_null ? std::string() : value.text;
    };
    columns.push_back(
        DescribedColumn{text(0), text(5) == "N", TypeText(text(1), text(2), text(3), text(4))});
  }
  if (columns.empty()) return Display(not_found);
  return Display(FormatDescribe(columns));
}

Status ScriptRunner::Select(const Command& command) {
  db::SessionCursor& cursor = session_.main();
  if (cursor.Parse(command.text) != db::kRcOk) return DisplayError(cursor);
  std::vector<OutputColumn> columns;
  for (int position = 1;; ++position) {
    db::ColumnDescription description;
    int rc = cursor.Describe(position, &description);
    if (rc == db::kRcNotInSelectList) break;
    if (rc != db::kRcOk) return DisplayError(cursor);
    OutputColumn column = LayoutColumn(description);
    // Numbers come as their exact decimal text, everything else as text.
    db::ExternalType type = column.is_number ? db::ExternalType::kFloat : db::ExternalType::kString;
    if (cursor.Define(position, type) != db::kRcOk) return DisplayError(cursor);
    columns.push_back(std::move(column));
  }
  if (cursor.Execute() != db::kRcOk) return DisplayError(cursor);

  std::string page_start = page_size_ > 0 ? "\n" : "";
  if (page_size_ > 0 && heading_) page_start += FormatHeadings(columns, line_size_);
  const long long page_start_lines =
      static_cast<long long>(std::count(page_start.begin(), page_start.end(), '\n'));
  long long rows = 0;
  long long page_lines = 0;
  std::vector<OutputValue> values(columns.size());
  while (true) {
    int rc = cursor.Fetch();
    if (rc == db::kRcNoData) break;
    if (rc != db::kRcOk && rc != db::kRcNullValue) {
      VOLMEK_RETURN_IF_ERROR(DisplayError(cursor));
      break;
    }
    for (std::size_t column_idx = 0; column_idx < columns.size(); ++column_idx) {
      const db::FetchedValue& value = cursor.Value(static_cast<int>(column_idx));
      values[column_idx] = value.is_null ? OutputValue() : OutputValue(value.text);
    }
    std::string row = FormatRow(columns, values, line_size_);
    long long row_lines = static_cast<long long>(std::count(row.begin(), row.end(), '\n'));
    if (rows == 0 || (page_size_ > 0 && page_lines + row_lines > page_size_)) {
      VOLMEK_RETURN_IF_ERROR(Display(page_start));
      page_lines = page_start_lines;
    }
    VOLMEK_RETURN_IF_ERROR(Display(row));
    page_lines += row_lines;
    ++rows;
  }
  if (feedback_ > 0) {
    if (rows == 0) return Display("\nno rows selected\n");
    if (rows >= feedback_) {
      return Display(fmt::format("\n{} row{} selected.\n", rows, rows == 1 ? "" : "s"));
    }
  }
  return Status::Ok();
}

}  // namespace volmek::plus
