#include "engine/catalog/accounts.h"

#include <sodium.h>

#include "engine/storage/sqlite_handle.h"

namespace volmek::engine {

OraError LogonDenied() { return Ora(1017, "invalid username/password; logon denied"); }

OraResult<std::string> HashPassword(std::string_view password) {
  if (sodium_init() < 0) return OraErr(600, "internal error code, arguments: [sodium_init]");
  std::string hash(crypto_pwhash_STRBYTES, '\0');
  if (crypto_pwhash_str(hash.data(), password.data(), password.size(), kHashPasses,
                        kHashMemoryBytes) != 0) {
    return OraErr(4030, "out of process memory");
  }
  hash.resize(hash.find('\0'));
  return hash;
}

bool VerifyPassword(std::string_view hash, std::string_view password) {
  if (sodium_init() < 0) return false;
  std::string terminated(hash);
  return crypto_pwhash_str_verify(terminated.c_str(), password.data(), password.size()) == 0;
}

OraStatus CheckLogon(const Catalog& catalog, std::string_view user, std::string_view password,
                     const PasswordWork& work) {
  if (user.empty()) return OraErr(LogonDenied());
  if (password.empty()) return OraErr(1005, "null password given; logon denied");
  VK_ASSIGN_OR_ORA_RETURN(std::optional<std::string> hash, catalog.PasswordHash(user));
  if (!hash.has_value()) {
    // The same work as a wrong password: one verification against a hash made as the stored
    // ones are. Only a catalogue without any account (never left by the engine) makes one.
    VK_ASSIGN_OR_ORA_RETURN(std::optional<std::string> other, catalog.AnyPasswordHash());
    if (other.has_value()) {
      (void)work.verify(*other, password);
    } else {
      (void)work.hash(password);
    }
    return OraErr(LogonDenied());
  }
  if (!work.verify(*hash, password)) return OraErr(LogonDenied());
  return {};
}

bool NeedsRehash(std::string_view hash) {
  if (sodium_init() < 0) return false;
  std::string terminated(hash);
  return crypto_pwhash_str_needs_rehash(terminated.c_str(), kHashPasses, kHashMemoryBytes) != 0;
}

OraStatus RehashIfOld(Catalog& catalog, std::string_view user, std::string_view password) {
  VK_ASSIGN_OR_ORA_RETURN(std::optional<std::string> hash, catalog.PasswordHash(user));
  if (!hash.has_value() || !NeedsRehash(*hash)) return {};
  VK_ASSIGN_OR_ORA_RETURN(std::string fresh, HashPassword(password));
  VK_RETURN_IF_ORA_ERROR(ExecSql(catalog.db(), "BEGIN IMMEDIATE"));
  OraStatus set = catalog.SetPasswordHash(user, fresh);
  if (!set.has_value()) {
    (void)ExecSql(catalog.db(), "ROLLBACK");
    return set;
  }
  return ExecSql(catalog.db(), "COMMIT");
}

}  // namespace volmek::engine
