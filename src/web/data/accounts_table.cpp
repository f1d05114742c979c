#include "web/data/accounts_table.h"

#include <array>

#include "plans/retired.h"
#include "store/engine_sql.h"
#include "store/sql_param.h"
#include "web/data/row_values.h"
#include "web/data/settings.h"

namespace ostrand::web {

std::optional<std::string> StoredPasswordHash(store::Connection& db, std::int64_t person_id) {
  const std::array params{store::SqlParam::Integer(person_id)};
  const store::RecordSet rows = db.Query(
      "SELECT passwordHash FROM hostAccount WHERE personID = ? AND " + plans::NotRetired("personID"),
      params);
  if (rows.Eof()) return std::nullopt;
  std::string hash = Text(rows, 0);
  if (hash.empty()) return std::nullopt;
  return hash;
}

void EnsureSessionAccount(store::Connection& db, std::int64_t person_id) {
  const std::array params{store::SqlParam::Integer(person_id)};
  store::UpdateOrInsert(db, "UPDATE hostAccount SET personID = personID WHERE personID = ?", params,
                        "INSERT INTO hostAccount (passwordHash, personID) VALUES ('', ?)", params);
}

void StorePasswordHash(store::Connection& db, std::int64_t person_id, const std::string& hash) {
  const std::array params{store::SqlParam::Text(hash), store::SqlParam::Integer(person_id)};
  store::UpdateOrInsert(db,
                        "UPDATE hostAccount SET passwordHash = ?, "
                        "sessionGeneration = sessionGeneration + 1 WHERE personID = ?",
                        params, "INSERT INTO hostAccount (passwordHash, personID) VALUES (?, ?)",
                        params);
}

std::optional<StoredGenerations> SessionGenerations(store::Connection& db, std::int64_t person_id) {
  const std::array params{store::SqlParam::Integer(person_id)};
  const store::RecordSet rows = db.QueryStored(
      "SELECT sessionGeneration, COALESCE((SELECT value FROM hostSetting "
      "WHERE name = 'sessionGeneration'), 0) FROM hostAccount WHERE personID = ? AND " +
          plans::NotRetired("personID"),
      params);
  if (rows.Eof()) return std::nullopt;
  return StoredGenerations{Int(rows, 0), Int(rows, 1)};
}

bool RaisePersonGeneration(store::Connection& db, std::int64_t person_id) {
  const std::array params{store::SqlParam::Integer(person_id)};
  return db.Execute(
             "UPDATE hostAccount SET sessionGeneration = sessionGeneration + 1 "
             "WHERE personID = ?",
             params) > 0;
}

void RaiseAllGeneration(store::Connection& db) { IncrementSetting(db, kAllSessionsSetting); }

}  // namespace ostrand::web
