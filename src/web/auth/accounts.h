// Sign-in accounts: the accounts table (web/data/accounts_table.h) holds
// one Argon2id hash per person (libsodium's string form, which carries its
// own salt and limits, so hashes made with different limits all verify) and
// the generation of the person's sessions. A session cookie carries the
// generations it was issued under; raising the person's generation
// (sign-out, a new password, `ostrand signout PERSON`) or the host-wide one
// among the settings (`ostrand signout --all`) ends every session issued
// before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "web/auth/session_cookie.h"
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

// Brings the host tables up to date in a database made before they (or
// their columns) existed: creates the accounts and settings tables and adds
// the accounts' session generation (store::UpgradeHostTables). Safe when
// several processes start at once. Throws Error on a database failure.
void EnsureAccountTable(store::Connection& db);

// Sets (or replaces) the password of the person and ends every session of
// the person, in one transaction. Throws Error naming the id when no such
// person exists, or for an empty password.
void SetPassword(store::Connection& db, std::int64_t person_id, std::string_view password,
                 const PasswordLimits& limits);

// The current generations of the person's sessions (the account's and the
// host-wide one, web/data/accounts_table.h); nothing when the person has
// no account. Throws Error on a database failure.
std::optional<SessionGeneration> CurrentSessionGeneration(store::Connection& db,
                                                          std::int64_t person_id);

// Ends every session of the person. Throws Error naming the id when the
// person has no account.
void EndSessionsOf(store::Connection& db, std::int64_t person_id);

// Ends every session of every person, in one transaction.
void EndAllSessions(store::Connection& db);

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

// The account key (SignInTarget::account_key) of the person's account.
std::string PersonAccountKey(std::int64_t person_id);

// The account a sign-in names, looked up before its password is checked.
struct SignInTarget {
  // What throttling counts the attempt against: "person:ID" when `who`
  // names a person, else "name:" and the text as typed (cut to 64 bytes).
  std::string account_key;
  // The person when `who` names exactly one person who has an account.
  std::optional<Person> person;
  // The person's hash, or the stand-in hash when there is no person.
  std::string hash;
};

// Checks sign-ins. `who` is a person id, or a name that exactly one person
// bears. An unknown person, an ambiguous name, a person without an account
// and a wrong password all give nothing, after the same work: a password is
// verified against a stand-in hash when there is no real one, so the answer
// time does not tell them apart.
class SignInChecker {
 public:
  // Makes the stand-in hash with `limits`. Throws Error when hashing fails.
  explicit SignInChecker(const PasswordLimits& limits);

  // Looks up whom `who` names (cheap: no hashing). Throws Error on a
  // database failure.
  SignInTarget Find(store::Connection& db, std::string_view who) const;
  // The target's person when the password matches its hash (the costly
  // part: run it where the hash's memory is accounted for).
  static std::optional<Person> Verify(const SignInTarget& target, std::string_view password);
  // Find, then Verify.
  std::optional<Person> Check(store::Connection& db, std::string_view who,
                              std::string_view password) const;

 private:
  std::string stand_in_hash_;
};

}  // namespace ostrand::web
