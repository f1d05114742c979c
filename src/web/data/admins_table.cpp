#include "web/data/admins_table.h"

#include <array>

#include "store/sql_param.h"
#include "web/data/row_values.h"

namespace ostrand::web {

bool IsAdministrator(store::Connection& db, std::int64_t person_id) {
  const std::array params{store::SqlParam::Integer(person_id)};
  return !db.QueryStored("SELECT 1 FROM hostAdmin WHERE personID = ?", params).Eof();
}

bool GrantAdministrator(store::Connection& db, std::int64_t person_id,
                        std::optional<std::int64_t> by, const DateTime& now) {
  const std::array params{store::SqlParam::Integer(person_id), store::SqlParam::Timestamp(now),
                          by ? store::SqlParam::Integer(*by) : store::SqlParam::Null(),
                          store::SqlParam::Integer(person_id)};
  return db.Execute(
             "INSERT INTO hostAdmin (personID, grantedAt, grantedBy) SELECT ?, ?, ? WHERE NOT "
             "EXISTS (SELECT 1 FROM hostAdmin WHERE personID = ?)",
             params) > 0;
}

bool RevokeAdministrator(store::Connection& db, std::int64_t person_id) {
  const std::array params{store::SqlParam::Integer(person_id)};
  return db.Execute("DELETE FROM hostAdmin WHERE personID = ?", params) > 0;
}

std::vector<std::int64_t> Administrators(store::Connection& db) {
  std::vector<std::int64_t> ids;
  for (store::RecordSet rows = db.Query("SELECT personID FROM hostAdmin ORDER BY personID");
       !rows.Eof(); rows.MoveNext()) {
    ids.push_back(Int(rows, 0));
  }
  return ids;
}

}  // namespace ostrand::web
