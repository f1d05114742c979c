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

std::string RowWindow(Engine engine, std::size_t offset, std::size_t count) {
  if (engine == Engine::kSqlServer) {
    return " OFFSET " + std::to_string(offset) + " ROWS FETCH NEXT " + std::to_string(count) +
           " ROWS ONLY";
  }
  return " LIMIT " + std::to_string(count) + " OFFSET " + std::to_string(offset);
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
