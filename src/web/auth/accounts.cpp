#include "web/auth/accounts.h"

#include <sodium.h>

#include <array>

#include "core/error.h"
#include "web/http/request_values.h"

namespace ostrand::web {
namespace {

void InitSodium() {
  if (sodium_init() < 0) throw Error("cannot initialise libsodium");
}

std::optional<std::string> StoredHash(HostDatabase& db, std::int64_t person_id) {
  Statement query = db.Prepare("SELECT passwordHash FROM hostAccount WHERE personID = ?");
  query.Bind(1, person_id);
  if (!query.Step()) return std::nullopt;
  return query.Text(0);
}

// Stores the hash; a replaced password ends the person's sessions.
void StoreHash(HostDatabase& db, std::int64_t person_id, const std::string& hash) {
  Statement upsert = db.Prepare(
      "INSERT INTO hostAccount (personID, passwordHash) VALUES (?, ?) "
      "ON CONFLICT (personID) DO UPDATE SET passwordHash = excluded.passwordHash, "
      "sessionGeneration = hostAccount.sessionGeneration + 1");
  upsert.Bind(1, person_id).Bind(2, std::string_view(hash)).Run();
}

bool HasColumn(HostDatabase& db, std::string_view table, std::string_view column) {
  Statement query = db.Prepare("SELECT 1 FROM pragma_table_info(?) WHERE name = ?");
  query.Bind(1, table).Bind(2, column);
  return query.Step();
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

void EnsureAccountTable(HostDatabase& db) {
  // One writer at a time, so that two servers starting together do not
  // both add the column.
  HostDatabase::Transaction transaction(db);
  db.Execute(
      "CREATE TABLE IF NOT EXISTS hostAccount (personID INTEGER PRIMARY KEY, "
      "passwordHash TEXT NOT NULL, sessionGeneration INTEGER NOT NULL DEFAULT 0)");
  if (!HasColumn(db, "hostAccount", "sessionGeneration")) {
    db.Execute("ALTER TABLE hostAccount ADD COLUMN sessionGeneration INTEGER NOT NULL DEFAULT 0");
  }
  db.Execute(
      "CREATE TABLE IF NOT EXISTS hostSetting (name TEXT PRIMARY KEY, value INTEGER NOT NULL)");
  transaction.Commit();
}

std::optional<SessionGeneration> CurrentSessionGeneration(HostDatabase& db,
                                                          std::int64_t person_id) {
  Statement query = db.Prepare(
      "SELECT sessionGeneration, COALESCE((SELECT value FROM hostSetting "
      "WHERE name = 'sessionGeneration'), 0) FROM hostAccount WHERE personID = ?");
  query.Bind(1, person_id);
  if (!query.Step()) return std::nullopt;
  return SessionGeneration{query.Int(0), query.Int(1)};
}

void EndSessionsOf(HostDatabase& db, std::int64_t person_id) {
  Statement bump = db.Prepare(
      "UPDATE hostAccount SET sessionGeneration = sessionGeneration + 1 WHERE personID = ?");
  bump.Bind(1, person_id).Run();
  if (db.Changes() == 0) {
    throw Error("person " + std::to_string(person_id) + " has no sign-in account");
  }
}

void EndAllSessions(HostDatabase& db) {
  db.Execute(
      "INSERT INTO hostSetting (name, value) VALUES ('sessionGeneration', 1) "
      "ON CONFLICT (name) DO UPDATE SET value = value + 1");
}

void SetPassword(HostDatabase& db, std::int64_t person_id, std::string_view password,
                 const PasswordLimits& limits) {
  if (!FindPerson(db, person_id)) throw Error("no person with id " + std::to_string(person_id));
  const std::string hash = HashPassword(password, limits);
  EnsureAccountTable(db);
  StoreHash(db, person_id, hash);
}

void GiveDemoPasswords(const std::string& connection_string,
                       std::span<const std::int64_t> person_ids, std::string_view password,
                       const PasswordLimits& limits) {
  HostDatabase db(connection_string);
  EnsureAccountTable(db);
  const std::string hash = HashPassword(password, limits);
  HostDatabase::Transaction transaction(db);
  for (const std::int64_t id : person_ids) {
    if (!FindPerson(db, id)) throw Error("no person with id " + std::to_string(id));
    StoreHash(db, id, hash);
  }
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

SignInTarget SignInChecker::Find(HostDatabase& db, std::string_view who) const {
  SignInTarget target;
  std::optional<Person> person;
  if (const std::optional<std::int64_t> id = ReadWholeNumber(who, kLargestExactId)) {
    person = FindPerson(db, *id);
  } else {
    std::vector<Person> named = FindPersonsByName(db, who);
    if (named.size() == 1) person = std::move(named.front());
  }
  target.account_key =
      person ? "person:" + std::to_string(person->id) : "name:" + std::string(who.substr(0, 64));
  std::optional<std::string> hash;
  if (person) hash = StoredHash(db, person->id);
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

std::optional<Person> SignInChecker::Check(HostDatabase& db, std::string_view who,
                                           std::string_view password) const {
  return Verify(Find(db, who), password);
}

}  // namespace ostrand::web
