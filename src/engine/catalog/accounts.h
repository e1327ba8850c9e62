// Accounts: password hashing and the logon check.
//
// Passwords are kept only as libsodium crypto_pwhash_str strings (Argon2id, a random salt per
// hash, the interactive cost settings); the check uses crypto_pwhash_str_verify, whose
// comparison takes the same time whatever the difference.
#pragma once

#include <string>
#include <string_view>

#include "engine/catalog/catalog.h"
#include "engine/storage/ora_result.h"

namespace volmek::engine {

// ORA-01017: invalid username/password; logon denied
OraError LogonDenied();

// A new salted hash of `password`.
OraResult<std::string> HashPassword(std::string_view password);

// True when `password` matches `hash`.
bool VerifyPassword(std::string_view hash, std::string_view password);

// Checks `user` (already upper-cased) and `password` against the catalogue: ORA-01017 for an
// empty or unknown user or a wrong password, ORA-01005 for an empty password.
OraStatus CheckLogon(const Catalog& catalog, std::string_view user, std::string_view password);

}  // namespace volmek::engine
