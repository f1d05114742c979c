#include "web/data/tokens_table.h"

#include <array>

#include "plans/retired.h"
#include "store/database_error.h"
#include "store/sql_param.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

std::array<store::SqlParam, 2> Key(std::int64_t person_id, std::string_view purpose) {
  return {store::SqlParam::Integer(person_id), store::SqlParam::Text(std::string(purpose))};
}

}  // namespace

std::optional<StoredToken> FindStoredToken(store::Connection& db, std::int64_t person_id,
                                           std::string_view purpose) {
  const store::RecordSet rows = db.Query(
      "SELECT tokenHash, seed, createdAt FROM hostToken WHERE personID = ? AND purpose = ?",
      Key(person_id, purpose));
  if (rows.Eof()) return std::nullopt;
  return StoredToken{Text(rows, 0), OptionalText(rows, 1),
                     store::ReadStoredDateTime(Text(rows, 2))};
}

void PutStoredToken(store::Connection& db, std::int64_t person_id, std::string_view purpose,
                    const std::string& hash, const std::optional<std::string>& seed,
                    const DateTime& now) {
  const std::array key = Key(person_id, purpose);
  const std::array row{store::SqlParam::Text(hash), key[0], key[1],
                       store::SqlParam::OptionalText(seed), store::SqlParam::Timestamp(now)};
  db.Execute("DELETE FROM hostToken WHERE personID = ? AND purpose = ?", key);
  db.Execute(
      "INSERT INTO hostToken (tokenHash, personID, purpose, seed, createdAt) "
      "VALUES (?, ?, ?, ?, ?)",
      row);
}

std::optional<TokenHolder> FindTokenHolder(store::Connection& db, const std::string& hash,
                                           std::string_view purpose) {
  const std::array params{store::SqlParam::Text(hash), store::SqlParam::Text(std::string(purpose))};
  const store::RecordSet rows = db.Query(
      "SELECT personID, createdAt FROM hostToken WHERE tokenHash = ? AND purpose = ?", params);
  if (rows.Eof()) return std::nullopt;
  return TokenHolder{Int(rows, 0), store::ReadStoredDateTime(Text(rows, 1))};
}

bool TakeStoredToken(store::Connection& db, const std::string& hash, std::string_view purpose) {
  const std::array params{store::SqlParam::Text(hash), store::SqlParam::Text(std::string(purpose))};
  return db.Execute("DELETE FROM hostToken WHERE tokenHash = ? AND purpose = ?", params) > 0;
}

void ReplaceStoredToken(store::Connection& db, std::int64_t person_id, std::string_view purpose,
                        const std::string& hash, const std::optional<std::string>& seed,
                        const DateTime& now) {
  for (int attempt = 0;; ++attempt) {
    try {
      store::Transaction transaction(db);
      PutStoredToken(db, person_id, purpose, hash, seed, now);
      transaction.Commit();
      return;
    } catch (const store::DatabaseError& e) {
      if (attempt > 0 || e.unavailable()) throw;
    }
  }
}

bool RemoveStoredToken(store::Connection& db, std::int64_t person_id, std::string_view purpose) {
  store::Transaction transaction(db);
  const std::int64_t removed = db.Execute(
      "DELETE FROM hostToken WHERE personID = ? AND purpose = ?", Key(person_id, purpose));
  transaction.Commit();
  return removed > 0;
}

std::optional<std::int64_t> StoredTokenOwner(store::Connection& db, const std::string& hash,
                                             std::string_view purpose) {
  const std::array params{store::SqlParam::Text(hash), store::SqlParam::Text(std::string(purpose))};
  const store::RecordSet rows =
      db.Query("SELECT personID FROM hostToken WHERE tokenHash = ? AND purpose = ? AND " +
                   plans::NotRetired("personID"),
               params);
  if (rows.Eof()) return std::nullopt;
  return Int(rows, 0);
}

}  // namespace ostrand::web
