// Sign-in accounts: the host table hostAccount(personID, passwordHash) holds
// one Argon2id hash per person (libsodium's string form, which carries its
// own salt and limits, so hashes made with different limits all verify).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "store/connection.h"
#include "web/data/persons.h"

namespace ostrand::web {

// How much work one password hash costs.
struct PasswordLimits {
  unsigned long long ops = 0;
  std::size_t mem = 0;
  // libsodium's interactive limits: the default for real accounts.
  static PasswordLimits Interactive();
  // The smallest limits libsodium allows: for tests only, which hash a few
  // passwords and must stay fast.
  static PasswordLimits Minimal();
};

// The Argon2id hash of the password in libsodium's string form. Throws Error
// for an empty password or when hashing fails (out of memory).
std::string HashPassword(std::string_view password, const PasswordLimits& limits);

// Whether the password matches a hash made by HashPassword. A malformed hash
// never matches.
bool VerifyPassword(const std::string& hash, std::string_view password);

// Sets (or replaces) the password of the person, in one transaction.
// Throws Error naming the id when no such person exists, or for an empty
// password.
void SetPassword(store::Connection& db, std::int64_t person_id, std::string_view password,
                 const PasswordLimits& limits);

// Gives each listed person the same password, for a demo database. The
// password is hashed once and the hash stored for all, so that forty
// persons cost one hash. Runs inside the caller's transaction, if any (the
// demo writer's). Throws Error naming a missing person.
void GiveDemoPasswords(store::Connection& db, std::span<const std::int64_t> person_ids,
                       std::string_view password,
                       const PasswordLimits& limits = PasswordLimits::Interactive());
// As above on the database of the connection string, in one transaction of
// its own: nothing is stored when a person is missing.
void GiveDemoPasswords(const std::string& connection_string,
                       std::span<const std::int64_t> person_ids, std::string_view password,
                       const PasswordLimits& limits = PasswordLimits::Interactive());

// A fresh random password of twelve letters and digits (about 70 bits; no look-alike characters such as 0 and O), for
// demo accounts. Throws Error when libsodium cannot start.
std::string RandomPassword();

// Checks sign-ins. `who` is a person id, or a name that exactly one person
// bears. An unknown person, an ambiguous name, a person without an account
// and a wrong password all give nothing, after the same work: a password is
// verified against a stand-in hash when there is no real one, so the answer
// time does not tell them apart.
class SignInChecker {
 public:
  explicit SignInChecker(const PasswordLimits& limits);
  std::optional<Person> Check(store::Connection& db, std::string_view who,
                              std::string_view password) const;

 private:
  std::string stand_in_hash_;
};

}  // namespace ostrand::web
