// The logon check: what it costs must not tell whether an account exists.
#include "engine/catalog/accounts.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "engine/storage/sqlite_handle.h"

namespace volmek::engine {
namespace {

class CheckLogonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
    db_.reset(raw);
    ASSERT_TRUE(Catalog::Create(db_.get()).has_value());
    catalog_ = std::make_unique<Catalog>(db_.get());
    ASSERT_TRUE(catalog_->AddUser("SCOTT", "hash-scott", "USERS").has_value());
    ASSERT_TRUE(catalog_->AddUser("OTRO", "hash-otro", "USERS").has_value());
    work_.verify = [this](std::string_view hash, std::string_view password) {
      verified_.emplace_back(hash);
      return hash == "hash-scott" && password == "tiger";
    };
    work_.hash = [this](std::string_view password) -> OraResult<std::string> {
      ++hashed_;
      return "hash-" + std::string(password);
    };
  }

  int Check(std::string_view user, std::string_view password) {
    OraStatus status = CheckLogon(*catalog_, user, password, work_);
    return status.has_value() ? 0 : status.error().code;
  }

  SqliteDb db_;
  std::unique_ptr<Catalog> catalog_;
  PasswordWork work_;
  std::vector<std::string> verified_;
  int hashed_ = 0;
};

TEST_F(CheckLogonTest, RightPasswordVerifiesOnce) {
  EXPECT_EQ(Check("SCOTT", "tiger"), 0);
  EXPECT_EQ(verified_, std::vector<std::string>{"hash-scott"});
}

// The bug: an unknown user made a new hash and verified against it (twice the work of a wrong
// password: 163 ms against 86 ms).
TEST_F(CheckLogonTest, UnknownUserDoesTheWorkOfAWrongPassword) {
  EXPECT_EQ(Check("SCOTT", "mala"), 1017);
  const std::vector<std::string> wrong_password = verified_;
  verified_.clear();
  EXPECT_EQ(Check("NADIE", "mala"), 1017);
  // One verification, against a hash stored for an account, and no hash made.
  EXPECT_EQ(verified_.size(), wrong_password.size());
  ASSERT_EQ(verified_.size(), 1u);
  EXPECT_TRUE(verified_[0] == "hash-scott" || verified_[0] == "hash-otro") << verified_[0];
  EXPECT_EQ(hashed_, 0);
  // Even the right password of another account does not let an unknown user in.
  EXPECT_EQ(Check("NADIE", "tiger"), 1017);
}

TEST_F(CheckLogonTest, EmptyUserOrPasswordIsRefusedBeforeAnyWork) {
  EXPECT_EQ(Check("", "tiger"), 1017);
  EXPECT_EQ(Check("SCOTT", ""), 1005);
  EXPECT_TRUE(verified_.empty());
  EXPECT_EQ(hashed_, 0);
}

}  // namespace
}  // namespace volmek::engine
