#include "web/auth/accounts.h"

#include <sodium.h>

#include <array>
#include <memory>

#include "core/error.h"
#include "core/sodium_start.h"
#include "store/connect.h"
#include "store/schema.h"
#include "web/auth/session_records.h"
#include "web/data/accounts_table.h"
#include "web/data/plan_changes.h"
#include "web/data/sessions_table.h"
#include "web/http/request_values.h"

namespace ostrand::web {

PasswordLimits PasswordLimits::Interactive() {
  return {crypto_pwhash_argon2id_OPSLIMIT_INTERACTIVE, crypto_pwhash_argon2id_MEMLIMIT_INTERACTIVE};
}

PasswordLimits PasswordLimits::Minimal() {
  return {crypto_pwhash_argon2id_OPSLIMIT_MIN, crypto_pwhash_argon2id_MEMLIMIT_MIN};
}

std::string HashPassword(std::string_view password, const PasswordLimits& limits) {
  StartSodium();
  if (password.empty()) throw Error("the password is empty");
  std::array<char, crypto_pwhash_STRBYTES> out{};
  if (crypto_pwhash_str_alg(out.data(), password.data(), password.size(), limits.ops, limits.mem,
                            crypto_pwhash_ALG_ARGON2ID13) != 0) {
    throw Error("cannot hash the password (out of memory)");
  }
  return std::string(out.data());
}

bool VerifyPassword(const std::string& hash, std::string_view password) {
  StartSodium();
  return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

void EnsureAccountTable(store::Connection& db) { store::UpgradeHostTables(db); }

std::optional<SessionGeneration> CurrentSessionGeneration(store::Connection& db,
                                                          std::int64_t person_id) {
  const std::optional<StoredGenerations> stored = SessionGenerations(db, person_id);
  if (!stored) return std::nullopt;
  return SessionGeneration{stored->person, stored->all};
}

void EndSessionsOf(store::Connection& db, std::int64_t person_id) {
  if (!RaisePersonGeneration(db, person_id)) {
    throw Error("person " + std::to_string(person_id) + " has no sign-in account");
  }
  EndSessionRecordsOf(db, person_id);
}

void EndAllSessions(store::Connection& db) {
  store::Transaction transaction(db);
  RaiseAllGeneration(db);
  EndEveryStoredSession(db, UtcNow());
  transaction.Commit();
}

void SetPassword(store::Connection& db, std::int64_t person_id, std::string_view password,
                 const PasswordLimits& limits) {
  if (!FindPerson(db, person_id)) throw Error("no person with id " + std::to_string(person_id));
  const std::string hash = HashPassword(password, limits);
  EnsureAccountTable(db);
  store::Transaction transaction(db);
  StorePasswordHash(db, person_id, hash);
  EndSessionRecordsOf(db, person_id);
  transaction.Commit();
}

void GiveDemoPasswords(store::Connection& db, std::span<const std::int64_t> person_ids,
                       std::string_view password, const PasswordLimits& limits) {
  const std::string hash = HashPassword(password, limits);
  for (const std::int64_t id : person_ids) {
    if (!FindPerson(db, id)) throw Error("no person with id " + std::to_string(id));
    StorePasswordHash(db, id, hash);
  }
}

void GiveDemoPasswords(const std::string& connection_string,
                       std::span<const std::int64_t> person_ids, std::string_view password,
                       const PasswordLimits& limits) {
  const std::unique_ptr<store::Connection> db = store::Connect(connection_string);
  EnsureAccountTable(*db);
  store::Transaction transaction(*db);
  GiveDemoPasswords(*db, person_ids, password, limits);
  transaction.Commit();
}

std::string RandomPassword() {
  StartSodium();
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

std::string PersonAccountKey(std::int64_t person_id) {
  return "person:" + std::to_string(person_id);
}

SignInTarget SignInChecker::Find(store::Connection& db, std::string_view who) const {
  SignInTarget target;
  std::optional<Person> person;
  if (const std::optional<std::int64_t> id = ReadWholeNumber(who, kLargestExactId)) {
    person = FindPerson(db, *id);
  } else {
    std::vector<Person> named = FindPersonsByName(db, who);
    if (named.size() == 1) person = std::move(named.front());
  }
  target.account_key =
      person ? PersonAccountKey(person->id) : "name:" + std::string(who.substr(0, 64));
  std::optional<std::string> hash;
  if (person) hash = StoredPasswordHash(db, person->id);
  if (hash) {
    target.person = std::move(person);
    target.hash = std::move(*hash);
  } else {
    target.hash = stand_in_hash_;
  }
  return target;
}

std::optional<Person> SignInChecker::Verify(const SignInTarget& target, std::string_view password) {
  // Without a person the stand-in hash costs the same time, then refuses.
  const bool matches = VerifyPassword(target.hash, password);
  if (!matches || !target.person) return std::nullopt;
  return target.person;
}

std::optional<Person> SignInChecker::Check(store::Connection& db, std::string_view who,
                                           std::string_view password) const {
  return Verify(Find(db, who), password);
}

}  // namespace ostrand::web
