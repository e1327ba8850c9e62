// Accounts: password hashing and the logon check.
//
// Passwords are kept only as libsodium crypto_pwhash_str strings (Argon2id, a random salt per
// hash, the cost below); the check uses crypto_pwhash_str_verify, whose comparison takes the
// same time whatever the difference. A hash of another cost (databases made before the cost
// was chosen carry 64 MiB and 2 passes) still verifies, and is replaced by one of the current
// cost at the next successful logon (RehashIfOld).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "engine/catalog/catalog.h"
#include "engine/storage/ora_result.h"

namespace volmek::engine {

// The cost of a hash: Argon2id over 8 MiB, 2 passes, about 10 ms on one core. Chosen so that a
// whole run's logon stays within 20 ms and 16 MiB; the README ("Passwords") weighs it against
// Oracle's own verifiers and against offline guessing of a stolen database file.
inline constexpr unsigned long long kHashPasses = 2;
inline constexpr std::size_t kHashMemoryBytes = std::size_t{8} << 20;

// ORA-01017: invalid username/password; logon denied
OraError LogonDenied();

// A new salted hash of `password`.
OraResult<std::string> HashPassword(std::string_view password);

// True when `password` matches `hash`.
bool VerifyPassword(std::string_view hash, std::string_view password);

// True when `hash` was made with another cost than the current one (or is not a hash this
// version can read the cost of).
bool NeedsRehash(std::string_view hash);

// After a successful logon: replaces the stored hash of `user` by one of the current cost when
// it was made with another, so that the next logons pay only the current cost. Runs its own
// transaction: call it outside one.
OraStatus RehashIfOld(Catalog& catalog, std::string_view user, std::string_view password);

// The password work of a logon; tests replace it to watch what a logon does.
struct PasswordWork {
  std::function<bool(std::string_view hash, std::string_view password)> verify = VerifyPassword;
  std::function<OraResult<std::string>(std::string_view password)> hash = HashPassword;
};

// Checks `user` (already upper-cased) and `password` against the catalogue: ORA-01017 for an
// empty or unknown user or a wrong password, ORA-01005 for an empty password. An unknown user
// costs what a wrong password costs: the password is verified once against the stored hash of
// another account (whatever cost that hash was made with), so that the time of a refusal does
// not tell whether the account exists.
OraStatus CheckLogon(const Catalog& catalog, std::string_view user, std::string_view password,
                     const PasswordWork& work = {});

}  // namespace volmek::engine
