// A run context on a scripted database, for the tests of this directory.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "db/run_context.h"
#include "db/session.h"
#include "testing/fake_db.h"
#include "testing/harness.h"

namespace volmek::datafiles::testing {

class FakeRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx_ = std::make_unique<db::RunContext>(Environment(), out_, in_);
    auto session = db::Session::FromConnection(std::make_unique<db::testing::FakeConnection>(db_),
                                               false, out_);
    ASSERT_TRUE(session.has_value());
    ctx_->session = std::move(*session);
    db_.log().clear();
    ASSERT_EQ(getcwd(previous_dir_, sizeof previous_dir_), previous_dir_);
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  }

  void TearDown() override { ASSERT_EQ(chdir(previous_dir_), 0); }

  // The statements parsed on any cursor, in order.
  std::vector<std::string> Parsed() {
    std::vector<std::string> parsed;
    for (const std::string& entry : db_.log()) {
      std::size_t at = entry.find(" parse ");
      if (at != std::string::npos) parsed.push_back(entry.substr(at + 7));
    }
    return parsed;
  }

  // A query answer with the given columns and rows (every cell as text).
  static db::testing::Response Query(std::vector<db::ColumnDescription> columns,
                                     std::vector<std::vector<std::optional<std::string>>> rows) {
    db::testing::Response response;
    response.function_type = db::kFunctionSelect;
    response.columns = std::move(columns);
    response.rows = std::move(rows);
    return response;
  }

  volmek::testing::TempDir dir_;
  db::testing::FakeDatabase db_;
  std::ostringstream out_;
  std::istringstream in_;
  std::unique_ptr<db::RunContext> ctx_;
  char previous_dir_[4096] = {};
};

}  // namespace volmek::datafiles::testing
