#include "web/data/founding_person.h"

#include <array>

#include "store/sql_param.h"
#include "web/data/row_values.h"

namespace ostrand::web {

std::int64_t AddFoundingPerson(store::Connection& db, const std::string& name,
                               std::int64_t system_id, std::optional<std::int64_t> duty_id) {
  const store::RecordSet rows = db.Query("SELECT COALESCE(MAX(personID), 0) FROM person");
  const std::int64_t id = Int(rows, 0) + 1;
  const std::array params{store::SqlParam::Integer(id), store::SqlParam::Text(name),
                          duty_id ? store::SqlParam::Integer(*duty_id) : store::SqlParam::Null(),
                          store::SqlParam::Integer(system_id)};
  db.Execute("INSERT INTO person (personID, personName, dutyID, systemID) VALUES (?, ?, ?, ?)",
             params);
  return id;
}

}  // namespace ostrand::web
