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

namespace {

// `update` ("UPDATE table SET ...") with SQL Server's HOLDLOCK after the
// table's name: an update that finds no row then holds the key's range
// until the commit, so that a second writer of the same new key waits for
// the first one's insert rather than inserting beside it.
std::string HoldingTheRange(std::string_view update) {
  constexpr std::string_view kUpdate = "UPDATE ";
  const std::size_t name_end = update.find(' ', kUpdate.size());
  if (!update.starts_with(kUpdate) || name_end == std::string_view::npos) {
    return std::string(update);
  }
  return std::string(update.substr(0, name_end)) + " WITH (HOLDLOCK)" +
         std::string(update.substr(name_end));
}

}  // namespace

bool UpdateOrInsert(Connection& db, std::string_view update,
                    std::span<const SqlParam> update_params, std::string_view insert,
                    std::span<const SqlParam> insert_params) {
  const Engine engine = db.engine();
  if (db.Execute(engine == Engine::kSqlServer ? HoldingTheRange(update) : std::string(update),
                 update_params) > 0) {
    return true;
  }
  if (engine == Engine::kPostgresql) {
    // A second writer's insert of the same key waits for the first one's
    // commit and then inserts nothing: the row is there to update.
    if (db.Execute(std::string(insert) + " ON CONFLICT DO NOTHING", insert_params) > 0) {
      return false;
    }
    if (db.Execute(update, update_params) > 0) return true;
    // Else the insert met another of the table's keys: the plain insert
    // below reports it as the database words it.
  }
  // SQLite's write transaction holds the whole database: no second writer
  // runs between the update and the insert.
  db.Execute(insert, insert_params);
  return false;
}

}  // namespace ostrand::store
