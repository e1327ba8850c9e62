#include "engine/catalog/accounts.h"

#include <sodium.h>

namespace volmek::engine {

OraError LogonDenied() { return Ora(1017, "invalid username/password; logon denied"); }

OraResult<std::string> HashPassword(std::string_view password) {
  if (sodium_init() < 0) return OraErr(600, "internal error code, arguments: [sodium_init]");
  std::string hash(crypto_pwhash_STRBYTES, '\0');
  if (crypto_pwhash_str(hash.data(), password.data(), password.size(),
                        crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
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

OraStatus CheckLogon(const Catalog& catalog, std::string_view user, std::string_view password) {
  if (user.empty()) return OraErr(LogonDenied());
  if (password.empty()) return OraErr(1005, "null password given; logon denied");
  VK_ASSIGN_OR_ORA_RETURN(std::optional<std::string> hash, catalog.PasswordHash(user));
  if (!hash.has_value()) {
    // Spend the time of a real check, so that a refusal does not tell whether the user exists.
    static const OraResult<std::string> kDummy = HashPassword("volmek");
    if (kDummy.has_value()) VerifyPassword(*kDummy, password);
    return OraErr(LogonDenied());
  }
  if (!VerifyPassword(*hash, password)) return OraErr(LogonDenied());
  return {};
}

}  // namespace volmek::engine
