// A scripted stand-in for a database, for unit tests of the layers above the call interface.
//
// A FakeDatabase answers each SQL text with the Response registered for it (texts compared
// exactly); a text with no Response parses as an "other" statement that executes without
// effect. Every call is written to log(), so tests can assert what was sent and in which order.
// Connections and cursors share the FakeDatabase; it must outlive them.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "db/call.h"

namespace volmek::db::testing {

struct Response {
  int parse_rc = 0;
  std::string parse_error;  // ErrorText after a failed parse
  int execute_rc = 0;
  std::string execute_error;
  std::uint16_t function_type = 1;
  std::uint64_t rows_changed = 0;  // rows_processed after Execute of DML
  std::vector<ColumnDescription> columns;
  std::vector<std::vector<std::optional<std::string>>> rows;  // nullopt: NULL
  // Fetch number (from 1) -> rc and text of a failing fetch that still delivers its row.
  std::map<int, std::pair<int, std::string>> fetch_errors;
  int describe_rc = 0;  // a failure of Describe at position 1
  std::string describe_error;
};

class FakeDatabase {
 public:
  void Add(const std::string& sql, Response response) { responses_[sql] = std::move(response); }
  const Response* Find(const std::string& sql) const {
    auto it = responses_.find(sql);
    return it == responses_.end() ? nullptr : &it->second;
  }
  std::vector<std::string>& log() { return log_; }
  const std::vector<std::string>& log() const { return log_; }
  // Cursor openings (from 1) that fail.
  std::vector<int> failing_opens;
  int opens = 0;
  bool logged_off = false;
  bool destroyed = false;
  // What LogOff answers: 0, or the code of a commit that fails (with its text).
  int logoff_rc = 0;
  std::string logoff_error;

 private:
  std::map<std::string, Response> responses_;
  std::vector<std::string> log_;
};

class FakeCursor : public Cursor {
 public:
  explicit FakeCursor(FakeDatabase& db, int id) : db_(db), id_(id) {}

  int Parse(std::string_view sql) override {
    Log("parse " + std::string(sql));
    fetched_ = 0;
    executed_ = false;
    rows_ = 0;
    const Response* found = db_.Find(std::string(sql));
    current_ = found != nullptr ? *found : Response();
    parsed_ = current_.parse_rc == 0;
    function_type_ = parsed_ ? current_.function_type : 0;
    return Set(current_.parse_rc, current_.parse_error);
  }
  int Execute() override {
    Log("execute");
    if (!parsed_) return Set(kRcNoStatementParsed, "ORA-01003: no statement parsed");
    if (current_.execute_rc != 0) return Set(current_.execute_rc, current_.execute_error);
    executed_ = true;
    rows_ = current_.function_type == kFunctionSelect ? 0 : current_.rows_changed;
    return Set(0, "");
  }
  int Describe(int position, ColumnDescription* out) override {
    if (!parsed_) return Set(kRcNoStatementParsed, "ORA-01003: no statement parsed");
    if (position == 1 && current_.describe_rc != 0) {
      return Set(current_.describe_rc, current_.describe_error);
    }
    if (position < 1 || position > static_cast<int>(current_.columns.size())) {
      return Set(kRcNotInSelectList, "ORA-01007: variable not in select list");
    }
    *out = current_.columns[static_cast<std::size_t>(position - 1)];
    return Set(0, "");
  }
  int Define(int position, ExternalType type) override {
    if (position < 1 || position > static_cast<int>(current_.columns.size())) {
      return Set(kRcNotInSelectList, "ORA-01007: variable not in select list");
    }
    defined_[position] = type;
    return Set(0, "");
  }
  int Fetch() override {
    if (!executed_) return Set(1002, "ORA-01002: fetch out of sequence");
    if (fetched_ >= current_.rows.size()) return Set(kRcNoData, "ORA-01403: no data found");
    const auto& row = current_.rows[fetched_++];
    rows_ = fetched_;
    values_.clear();
    for (const auto& [position, type] : defined_) {
      FetchedValue value;
      const auto& cell = row.at(static_cast<std::size_t>(position - 1));
      value.is_null = !cell.has_value();
      if (cell.has_value()) {
        value.text = *cell;
        if (type == ExternalType::kInteger)
          value.integer = std::strtoll(cell->c_str(), nullptr, 10);
        if (type == ExternalType::kFloat) value.real = std::strtod(cell->c_str(), nullptr);
      } else {
        value.rcode = kRcNullValue;
      }
      values_[position] = value;
    }
    auto error = current_.fetch_errors.find(static_cast<int>(fetched_));
    if (error != current_.fetch_errors.end()) return Set(error->second.first, error->second.second);
    return Set(0, "");
  }
  const FetchedValue& Value(int position) const override { return values_.at(position); }
  int rc() const override { return rc_; }
  std::uint16_t function_type() const override { return function_type_; }
  std::uint64_t rows_processed() const override { return rows_; }
  std::string ErrorText() const override { return error_; }

 private:
  int Set(int rc, std::string error) {
    rc_ = rc;
    error_ = rc == 0 ? std::string() : std::move(error);
    return rc;
  }
  void Log(const std::string& what) { db_.log().push_back(fmt::format("c{} {}", id_, what)); }

  FakeDatabase& db_;
  int id_;
  Response current_;
  bool parsed_ = false;
  bool executed_ = false;
  std::uint16_t function_type_ = 0;
  std::uint64_t rows_ = 0;
  std::size_t fetched_ = 0;
  std::map<int, ExternalType> defined_;
  std::map<int, FetchedValue> values_;
  int rc_ = 0;
  std::string error_;
};

class FakeConnection : public Connection {
 public:
  explicit FakeConnection(FakeDatabase& db) : db_(db) {}
  ~FakeConnection() override { db_.destroyed = true; }

  std::unique_ptr<Cursor> OpenCursor(int* rc) override {
    int number = ++db_.opens;
    for (int failing : db_.failing_opens) {
      if (failing == number) {
        *rc = 1000;
        return nullptr;
      }
    }
    *rc = 0;
    return std::make_unique<FakeCursor>(db_, number);
  }
  int LogOff() override {
    db_.log().push_back("logoff");
    db_.logged_off = true;
    return db_.logoff_rc;
  }
  std::string ErrorText() const override { return db_.logoff_rc != 0 ? db_.logoff_error : ""; }

 private:
  FakeDatabase& db_;
};

// Description helpers.
inline ColumnDescription NumberColumn(std::string name, int precision, int scale) {
  return {22,
          kTypeNumber,
          std::move(name),
          precision + 2,
          static_cast<std::int16_t>(precision),
          static_cast<std::int16_t>(scale),
          1};
}
inline ColumnDescription TextColumn(std::string name, std::int16_t type, int size) {
  return {size, type, std::move(name), size, 0, 0, 1};
}

}  // namespace volmek::db::testing
