#include "web/data/settings.h"

#include <array>
#include <string>

#include "store/engine_sql.h"
#include "store/sql_param.h"
#include "web/data/row_values.h"

namespace ostrand::web {

std::optional<std::int64_t> ReadSetting(store::Connection& db, std::string_view name) {
  const std::array params{store::SqlParam::Text(std::string(name))};
  const store::RecordSet rows =
      db.QueryStored("SELECT value FROM hostSetting WHERE name = ?", params);
  if (rows.Eof()) return std::nullopt;
  return Int(rows, 0);
}

void IncrementSetting(store::Connection& db, std::string_view name) {
  const std::array params{store::SqlParam::Text(std::string(name))};
  store::UpdateOrInsert(db, "UPDATE hostSetting SET value = value + 1 WHERE name = ?", params,
                        "INSERT INTO hostSetting (name, value) VALUES (?, 1)", params);
}

void SetSettingOnce(store::Connection& db, std::string_view name, std::int64_t value) {
  const std::array params{store::SqlParam::Text(std::string(name)), store::SqlParam::Integer(value),
                          store::SqlParam::Text(std::string(name))};
  db.Execute(
      "INSERT INTO hostSetting (name, value) SELECT ?, ? WHERE NOT EXISTS "
      "(SELECT 1 FROM hostSetting WHERE name = ?)",
      params);
}

}  // namespace ostrand::web
