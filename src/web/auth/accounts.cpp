#include "web/auth/accounts.h"

#include <sodium.h>

#include <array>
#include <memory>

#include "core/error.h"
#include "store/connect.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

void InitSodium() {
  if (sodium_init() < 0) throw Error("cannot initialise libsodium");
}

// A person id as typed into the sign-in form: digits only.
std::optional<std::int64_t> ReadPersonId(std::string_view text) {
  if (text.empty() || text.size() > 15) return std::nullopt;
  std::int64_t id = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    id = id * 10 + (c - '0');
  }
  return id;
}

std::optional<std::string> StoredHash(store::Connection& db, std::int64_t person_id) {
  const std::array params{store::SqlParam::Integer(person_id)};
  const store::RecordSet rows =
      db.Query("SELECT passwordHash FROM hostAccount WHERE personID = ?", params);
  if (rows.Eof()) return std::nullopt;
  return Text(rows, 0);
}

// Replaces the person's hash, or adds it: every engine runs these two
// statements alike. Runs inside the caller's transaction.
void StoreHash(store::Connection& db, std::int64_t person_id, const std::string& hash) {
  const std::array params{store::SqlParam::Text(hash), store::SqlParam::Integer(person_id)};
  if (db.Execute("UPDATE hostAccount SET passwordHash = ? WHERE personID = ?", params) > 0) return;
  db.Execute("INSERT INTO hostAccount (passwordHash, personID) VALUES (?, ?)", params);
}

}  // namespace

PasswordLimits PasswordLimits::Interactive() {
  return {crypto_pwhash_argon2id_OPSLIMIT_INTERACTIVE, crypto_pwhash_argon2id_MEMLIMIT_INTERACTIVE};
}

PasswordLimits PasswordLimits::Minimal() {
  return {crypto_pwhash_argon2id_OPSLIMIT_MIN, crypto_pwhash_argon2id_MEMLIMIT_MIN};
}

std::string HashPassword(std::string_view password, const PasswordLimits& limits) {
  InitSodium();
  if (password.empty()) throw Error("the password is empty");
  std::array<char, crypto_pwhash_STRBYTES> out{};
  if (crypto_pwhash_str_alg(out.data(), password.data(), password.size(), limits.ops, limits.mem,
                            crypto_pwhash_ALG_ARGON2ID13) != 0) {
    throw Error("cannot hash the password (out of memory)");
  }
  return std::string(out.data());
}

bool VerifyPassword(const std::string& hash, std::string_view password) {
  InitSodium();
  return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

void SetPassword(store::Connection& db, std::int64_t person_id, std::string_view password,
                 const PasswordLimits& limits) {
  if (!FindPerson(db, person_id)) throw Error("no person with id " + std::to_string(person_id));
  const std::string hash = HashPassword(password, limits);
  store::Transaction transaction(db);
  StoreHash(db, person_id, hash);
  transaction.Commit();
}

void GiveDemoPasswords(store::Connection& db, std::span<const std::int64_t> person_ids,
                       std::string_view password, const PasswordLimits& limits) {
  const std::string hash = HashPassword(password, limits);
  for (const std::int64_t id : person_ids) {
    if (!FindPerson(db, id)) throw Error("no person with id " + std::to_string(id));
    StoreHash(db, id, hash);
  }
}

void GiveDemoPasswords(const std::string& connection_string,
                       std::span<const std::int64_t> person_ids, std::string_view password,
                       const PasswordLimits& limits) {
  const std::unique_ptr<store::Connection> db = store::Connect(connection_string);
  store::Transaction transaction(*db);
  GiveDemoPasswords(*db, person_ids, password, limits);
  transaction.Commit();
}

std::string RandomPassword() {
  if (sodium_init() < 0) throw Error("cannot initialise libsodium");
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
  std::string password(12, ' ');
  for (char& c : password) {
    c = kAlphabet[randombytes_uniform(static_cast<std::uint32_t>(kAlphabet.size()))];
  }
  return password;
}

SignInChecker::SignInChecker(const PasswordLimits& limits)
    : stand_in_hash_(HashPassword("stand-in password of no account", limits)) {}

std::optional<Person> SignInChecker::Check(store::Connection& db, std::string_view who,
                                           std::string_view password) const {
  std::optional<Person> person;
  if (const std::optional<std::int64_t> id = ReadPersonId(who)) {
    person = FindPerson(db, *id);
  } else {
    std::vector<Person> named = FindPersonsByName(db, who);
    if (named.size() == 1) person = std::move(named.front());
  }
  std::optional<std::string> hash;
  if (person) hash = StoredHash(db, person->id);
  if (!hash) {
    // Spend the same time as a real check, then refuse.
    VerifyPassword(stand_in_hash_, password);
    return std::nullopt;
  }
  if (!VerifyPassword(*hash, password)) return std::nullopt;
  return person;
}

}  // namespace ostrand::web
