// Runs the SQL script tests in tests/sql/*.test against a fresh database each, through the
// db::Connection / db::Cursor interface, as the session layer drives it.
//
// A script is a list of blocks separated by blank lines; lines starting with "#" are comments.
//
//   statement ok                        the statement parses and executes
//   <sql, one or more lines>
//
//   statement error ORA-00942           parse or execute fails with that code; when more text
//   <sql>                               follows the code, the whole message must match it;
//   [----                               lines after "----" are the whole message, one line
//   ORA-01403: no data found            each (error stacks)
//   ORA-06512: at line 4]
//
//   output                              what PL/SQL blocks wrote with DBMS_OUTPUT since the last
//   ----                                `output` block, one line each
//   hello
//
//   statement rows 3                    succeeds and rows_processed() is 3
//   <sql>
//
//   query                               the rows, every column fetched as text, tab-separated,
//   <sql>                               NULL for a null value; "----" separates the expected
//   ----                                rows (none after it: no rows)
//   1	A
//
//   query error ORA-01476               parse, execute or a fetch fails with that code
//   <sql>
//
//   describe                            one line per select-list item:
//   <sql>                               NAME type size precision scale nullok
//   ----
//   A 2 22 10 0 0
//
//   logon USER PASSWORD                 logs off and logs on again as USER (a fresh session)
//
//   reopen                              ends the session without log-off (a crash: the open
//                                       transaction is lost) and logs on again as before
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "db/call.h"
#include "engine/engine.h"
#include "engine/runtime/connection.h"
#include "testing/harness.h"

namespace volmek::engine {
namespace {

struct Block {
  int line = 0;
  std::string header;
  std::string sql;
  std::vector<std::string> expected;
  bool has_expected = false;
};

std::vector<Block> ReadBlocks(const std::string& path) {
  std::ifstream in(path);
  std::vector<Block> blocks;
  std::string line;
  int line_number = 0;
  Block current;
  bool in_block = false;
  bool in_expected = false;
  auto finish = [&] {
    if (in_block) blocks.push_back(current);
    current = Block();
    in_block = false;
    in_expected = false;
  };
  while (std::getline(in, line)) {
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) {
      finish();
      continue;
    }
    if (!in_block) {
      if (line[0] == '#') continue;
      in_block = true;
      current.line = line_number;
      current.header = line;
      continue;
    }
    if (!in_expected && line == "----") {
      in_expected = true;
      current.has_expected = true;
      continue;
    }
    if (in_expected) {
      current.expected.push_back(line);
    } else {
      if (!current.sql.empty()) current.sql += "\n";
      current.sql += line;
    }
  }
  finish();
  return blocks;
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

class ScriptRunner {
 public:
  explicit ScriptRunner(std::string db_path) : db_path_(std::move(db_path)) {}

  ~ScriptRunner() {
    if (connection_) connection_->LogOff();
  }

  void Logon(const std::string& user, const std::string& password) {
    if (connection_) connection_->LogOff();
    cursor_.reset();
    connection_.reset();
    user_ = user;
    password_ = password;
    db::LogonResult result = engine::Logon(db_path_, user, password);
    ASSERT_EQ(result.rc, 0) << result.error_text;
    connection_ = std::move(result.connection);
    int rc = 0;
    cursor_ = connection_->OpenCursor(&rc);
    ASSERT_EQ(rc, 0);
  }

  void Reopen() {
    cursor_.reset();
    connection_.reset();
    Logon(user_, password_);
  }

  void Run(const Block& block, const std::string& where) {
    SCOPED_TRACE(where + ": " + block.sql);
    std::vector<std::string> words = Words(block.header);
    if (words.empty()) return;
    if (words[0] == "logon") {
      ASSERT_EQ(words.size(), 3u);
      Logon(words[1], words[2]);
      return;
    }
    if (words[0] == "reopen") {
      Reopen();
      return;
    }
    ASSERT_TRUE(cursor_ != nullptr);
    db::Cursor& cursor = *cursor_;
    if (words[0] == "output") {
      auto* engine = dynamic_cast<EngineConnection*>(connection_.get());
      ASSERT_NE(engine, nullptr);
      plsql::DbmsOutput& output = engine->dbms_output();
      std::vector<std::string> lines(output.lines.begin() + static_cast<long>(output.next),
                                     output.lines.end());
      output.lines.clear();
      output.next = 0;
      EXPECT_EQ(lines, block.expected);
      return;
    }
    if (words[0] == "statement") {
      ASSERT_GE(words.size(), 2u) << "statement needs ok, rows or error";
      int rc = cursor.Parse(block.sql);
      if (rc == 0) rc = cursor.Execute();
      if (words[1] == "ok" || words[1] == "rows") {
        ASSERT_EQ(rc, 0) << cursor.ErrorText();
        if (words[1] == "rows") {
          ASSERT_EQ(words.size(), 3u);
          EXPECT_EQ(cursor.rows_processed(), std::stoull(words[2]));
        }
        return;
      }
      ASSERT_EQ(words[1], "error");
      CheckError(rc, cursor.ErrorText(), block.header);
      if (block.has_expected) {
        std::string stack;
        for (const std::string& line : block.expected) stack += (stack.empty() ? "" : "\n") + line;
        EXPECT_EQ(cursor.ErrorText(), stack);
      }
      return;
    }
    if (words[0] == "describe") {
      ASSERT_EQ(cursor.Parse(block.sql), 0) << cursor.ErrorText();
      std::vector<std::string> actual;
      for (int position = 1;; ++position) {
        db::ColumnDescription description;
        int rc = cursor.Describe(position, &description);
        if (rc == db::kRcNotInSelectList) break;
        ASSERT_EQ(rc, 0) << cursor.ErrorText();
        actual.push_back(description.name + " " + std::to_string(description.db_type) + " " +
                         std::to_string(description.db_size) + " " +
                         std::to_string(description.precision) + " " +
                         std::to_string(description.scale) + " " +
                         std::to_string(description.nulls_allowed));
      }
      EXPECT_EQ(actual, block.expected);
      return;
    }
    ASSERT_EQ(words[0], "query") << "unknown block " << block.header;
    bool expect_error = words.size() >= 3 && words[1] == "error";
    int rc = cursor.Parse(block.sql);
    int columns = 0;
    if (rc == 0) {
      for (int position = 1;; ++position) {
        db::ColumnDescription description;
        int describe_rc = cursor.Describe(position, &description);
        if (describe_rc != 0) break;
        cursor.Define(position, db::ExternalType::kString);
        ++columns;
      }
      rc = cursor.Execute();
    }
    std::vector<std::string> rows;
    while (rc == 0) {
      rc = cursor.Fetch();
      if (rc == db::kRcNoData) break;
      if (rc != 0 && rc != db::kRcNullValue) break;
      rc = 0;
      std::string row;
      for (int position = 1; position <= columns; ++position) {
        if (position > 1) row += "\t";
        const db::FetchedValue& value = cursor.Value(position);
        row += value.is_null ? "NULL" : value.text;
      }
      rows.push_back(row);
    }
    if (expect_error) {
      CheckError(rc, cursor.ErrorText(), block.header);
      return;
    }
    ASSERT_EQ(rc, db::kRcNoData) << cursor.ErrorText();
    EXPECT_EQ(cursor.rows_processed(), rows.size());
    EXPECT_EQ(rows, block.expected);
  }

 private:
  static void CheckError(int rc, const std::string& text, const std::string& header) {
    // "statement error ORA-00942[: full message]"
    std::size_t at = header.find("ORA-");
    ASSERT_NE(at, std::string::npos) << "expected error needs an ORA- code: " << header;
    std::string expected = header.substr(at);
    int code = std::stoi(expected.substr(4, 5));
    EXPECT_EQ(rc, code) << text;
    if (expected.size() > 9) {
      EXPECT_EQ(text, expected);
    }
  }

  std::string db_path_;
  std::string user_;
  std::string password_;
  std::unique_ptr<db::Connection> connection_;
  std::unique_ptr<db::Cursor> cursor_;
};

std::vector<std::string> ScriptFiles() {
  std::vector<std::string> files;
  std::filesystem::path dir = std::filesystem::path(VOLMEK_SOURCE_DIR) / "tests" / "sql";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    if (entry.path().extension() == ".test") files.push_back(entry.path().stem().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class SqlScript : public ::testing::TestWithParam<std::string> {};

TEST_P(SqlScript, GivesTheExpectedResults) {
  testing::TempDir dir;
  std::string path = std::string(VOLMEK_SOURCE_DIR) + "/tests/sql/" + GetParam() + ".test";
  std::vector<Block> blocks = ReadBlocks(path);
  ASSERT_FALSE(blocks.empty()) << path;
  ScriptRunner runner(dir.File("script.db"));
  runner.Logon("VOLMEK", "secret");
  for (const Block& block : blocks) {
    runner.Run(block, GetParam() + ".test:" + std::to_string(block.line));
    if (::testing::Test::HasFatalFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(Scripts, SqlScript, ::testing::ValuesIn(ScriptFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           std::replace_if(
                               name.begin(), name.end(),
                               [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
                               '_');
                           return name;
                         });

}  // namespace
}  // namespace volmek::engine
