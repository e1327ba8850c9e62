// The cost of the stored password hashes: new hashes carry the chosen cost, hashes of an older
// cost still log on and are replaced at the first successful logon, never at a refused one.
#include <gtest/gtest.h>
#include <sodium.h>
#include <sqlite3.h>

#include <string>

#include "db/call.h"
#include "engine/catalog/accounts.h"
#include "engine/engine.h"
#include "testing/harness.h"

namespace volmek::engine {
namespace {

// The stored hash of `user`, read past the engine.
std::string StoredHash(const std::string& path, const std::string& user) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  std::string hash;
  if (sqlite3_prepare_v2(db, "SELECT password_hash FROM vk_users WHERE name = ?1", -1, &stmt,
                         nullptr) == SQLITE_OK) {
    sqlite3_bind_text(stmt, 1, user.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(stmt) == SQLITE_ROW) {
      hash = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return hash;
}

void StoreHash(const std::string& path, const std::string& user, const std::string& hash) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  std::string sql =
      "UPDATE vk_users SET password_hash = '" + hash + "' WHERE name = '" + user + "'";
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(sqlite3_changes(db), 1);
  sqlite3_close(db);
}

// A hash as databases made before the cost was chosen hold: 64 MiB, 2 passes.
std::string OldCostHash(const std::string& password) {
  EXPECT_GE(sodium_init(), 0);
  std::string hash(crypto_pwhash_STRBYTES, '\0');
  EXPECT_EQ(
      crypto_pwhash_str(hash.data(), password.data(), password.size(),
                        crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE),
      0);
  hash.resize(hash.find('\0'));
  return hash;
}

TEST(PasswordCostTest, NewHashesAreSaltedArgon2idOfTheChosenCost) {
  OraResult<std::string> first = HashPassword("tiger");
  OraResult<std::string> second = HashPassword("tiger");
  ASSERT_TRUE(first.has_value() && second.has_value());
  EXPECT_TRUE(first->starts_with("$argon2id$v=19$m=8192,t=2,p=1$")) << *first;
  EXPECT_NE(*first, *second);  // a salt of its own each
  EXPECT_FALSE(NeedsRehash(*first));
  EXPECT_TRUE(VerifyPassword(*first, "tiger"));
  EXPECT_FALSE(VerifyPassword(*first, "Tiger"));
  EXPECT_TRUE(NeedsRehash(OldCostHash("tiger")));
}

TEST(PasswordCostTest, AnOldCostHashLogsOnAndIsReplacedOnlyByASuccessfulLogon) {
  testing::TempDir dir;
  std::string path = dir.File("old.db");
  db::LogonResult created = Logon(path, "scott", "tiger");
  ASSERT_EQ(created.rc, 0) << created.error_text;
  created.connection->LogOff();
  created.connection.reset();
  const std::string old_hash = OldCostHash("tiger");
  StoreHash(path, "SCOTT", old_hash);

  // A refused logon changes nothing.
  EXPECT_EQ(Logon(path, "scott", "lion").rc, 1017);
  EXPECT_EQ(StoredHash(path, "SCOTT"), old_hash);

  db::LogonResult good = Logon(path, "scott", "tiger");
  ASSERT_EQ(good.rc, 0) << good.error_text;
  good.connection->LogOff();
  good.connection.reset();
  std::string rehashed = StoredHash(path, "SCOTT");
  EXPECT_NE(rehashed, old_hash);
  EXPECT_FALSE(NeedsRehash(rehashed));
  EXPECT_TRUE(VerifyPassword(rehashed, "tiger"));

  // The new hash serves the next logons, and the wrong password is still refused.
  EXPECT_EQ(Logon(path, "scott", "tiger").rc, 0);
  EXPECT_EQ(Logon(path, "scott", "lion").rc, 1017);
  EXPECT_EQ(StoredHash(path, "SCOTT"), rehashed);
}

}  // namespace
}  // namespace volmek::engine
