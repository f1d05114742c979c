#include "store/engine_sql.h"

#include <array>

namespace ostrand::store {

std::string TimeText(Engine engine, std::string_view column) {
  if (engine == Engine::kSqlServer) {
    return "CONVERT(VARCHAR(19), " + std::string(column) + ", 120)";
  }
  return "CAST(" + std::string(column) + " AS TEXT)";
}

std::string_view TimestampParam(Engine engine) {
  switch (engine) {
    case Engine::kPostgresql:
      return "CAST(? AS TIMESTAMP)";
    case Engine::kSqlServer:
      return "CAST(? AS DATETIME)";
    case Engine::kSqlite:
      break;
  }
  return "?";
}

std::string RowWindow(Engine engine, std::int64_t skip, std::int64_t count) {
  const std::string rows = std::to_string(count < 0 ? 0 : count);
  const std::string skipped = std::to_string(skip < 0 ? 0 : skip);
  if (engine == Engine::kSqlServer) {
    return " OFFSET " + skipped + " ROWS FETCH NEXT " + rows + " ROWS ONLY";
  }
  return " LIMIT " + rows + " OFFSET " + skipped;
}

bool InsertsGivenIds(Engine engine) { return engine != Engine::kSqlServer; }

void LockRow(Connection& db, std::string_view table, std::string_view key_column,
             std::int64_t key) {
  const std::array params{SqlParam::Integer(key)};
  const std::string column(key_column);
  switch (db.engine()) {
    case Engine::kPostgresql:
      db.Query("SELECT " + column + " FROM " + std::string(table) + " WHERE " + column +
                   " = ? FOR UPDATE",
               params);
      break;
    case Engine::kSqlServer:
      db.Query("SELECT " + column + " FROM " + std::string(table) +
                   " WITH (UPDLOCK, HOLDLOCK) WHERE " + column + " = ?",
               params);
      break;
    case Engine::kSqlite:
      break;
  }
}

bool UpdateOrInsert(Connection& db, std::string_view update,
                    std::span<const SqlParam> update_params, std::string_view insert,
                    std::span<const SqlParam> insert_params) {
  if (db.Execute(update, update_params) > 0) return true;
  db.Execute(insert, insert_params);
  return false;
}

}  // namespace ostrand::store
