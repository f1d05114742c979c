#include "web/data/app_passwords_table.h"

#include <array>

#include "plans/retired.h"
#include "store/sql_param.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

std::array<store::SqlParam, 2> Key(std::int64_t person_id, std::string_view name) {
  return {store::SqlParam::Integer(person_id), store::SqlParam::Text(std::string(name))};
}

std::optional<DateTime> StoredTime(const store::RecordSet& rows, std::size_t column) {
  const std::optional<std::string> text = OptionalText(rows, column);
  if (!text) return std::nullopt;
  return store::ReadStoredDateTime(*text);
}

}  // namespace

bool HasAppPasswordNamed(store::Connection& db, std::int64_t person_id, std::string_view name) {
  const store::RecordSet rows =
      db.Query("SELECT 1 FROM hostAppPassword WHERE personID = ? AND name = ?",
               Key(person_id, name));
  return !rows.Eof();
}

bool InsertAppPassword(store::Connection& db, std::int64_t person_id, std::string_view name,
                       const std::string& hash, const DateTime& now) {
  store::Transaction transaction(db);
  if (HasAppPasswordNamed(db, person_id, name)) return false;
  const std::array key = Key(person_id, name);
  const std::array row{store::SqlParam::Text(hash), key[0], key[1],
                       store::SqlParam::Timestamp(now)};
  db.Execute(
      "INSERT INTO hostAppPassword (passwordHash, personID, name, createdAt) VALUES (?, ?, ?, ?)",
      row);
  transaction.Commit();
  return true;
}

std::vector<StoredAppPassword> ListStoredAppPasswords(store::Connection& db,
                                                      std::int64_t person_id) {
  const std::array params{store::SqlParam::Integer(person_id)};
  store::RecordSet rows = db.Query(
      "SELECT name, createdAt, lastUsedAt FROM hostAppPassword WHERE personID = ? ORDER BY name",
      params);
  std::vector<StoredAppPassword> passwords;
  for (; !rows.Eof(); rows.MoveNext()) {
    passwords.push_back({Text(rows, 0), StoredTime(rows, 1), StoredTime(rows, 2)});
  }
  return passwords;
}

bool RemoveAppPassword(store::Connection& db, std::int64_t person_id, std::string_view name) {
  store::Transaction transaction(db);
  const std::int64_t removed = db.Execute(
      "DELETE FROM hostAppPassword WHERE personID = ? AND name = ?", Key(person_id, name));
  transaction.Commit();
  return removed > 0;
}

std::optional<AppPasswordHolder> FindAppPasswordHolder(store::Connection& db,
                                                       const std::string& hash) {
  const std::array params{store::SqlParam::Text(hash)};
  const store::RecordSet rows =
      db.Query("SELECT personID, lastUsedAt FROM hostAppPassword WHERE passwordHash = ? AND " +
                   plans::NotRetired("personID"),
               params);
  if (rows.Eof()) return std::nullopt;
  return AppPasswordHolder{Int(rows, 0), StoredTime(rows, 1)};
}

void TouchAppPassword(store::Connection& db, const std::string& hash, const DateTime& now) {
  const std::array params{store::SqlParam::Timestamp(now), store::SqlParam::Text(hash)};
  db.Execute("UPDATE hostAppPassword SET lastUsedAt = ? WHERE passwordHash = ?", params);
}

}  // namespace ostrand::web
