#include "store/schema.h"

#include <array>

#include "core/error.h"
#include "core/text.h"
#include "store/connect.h"
#include "store/schedule_tables.h"
#include "store/sql_lexer.h"

namespace ostrand::store {
namespace {

std::string_view TableCatalogSql(Engine engine) {
  switch (engine) {
    case Engine::kPostgresql:
      return "SELECT 1 FROM information_schema.tables WHERE table_schema = ANY "
             "(current_schemas(false)) AND table_name = lower(?)";
    case Engine::kSqlServer:
      return "SELECT 1 FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = ?";
    case Engine::kSqlite:
      break;
  }
  return "SELECT 1 FROM sqlite_master WHERE type = 'table' AND lower(name) = lower(?)";
}

std::string_view ColumnCatalogSql(Engine engine) {
  switch (engine) {
    case Engine::kPostgresql:
      return "SELECT 1 FROM information_schema.columns WHERE table_schema = ANY "
             "(current_schemas(false)) AND table_name = lower(?) AND column_name = lower(?)";
    case Engine::kSqlServer:
      return "SELECT 1 FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = ? AND COLUMN_NAME = ?";
    case Engine::kSqlite:
      break;
  }
  return "SELECT 1 FROM pragma_table_info(?) WHERE lower(name) = lower(?)";
}

// Adds the column to a hostAccount of the first form.
std::string_view AddSessionGenerationSql(Engine engine) {
  switch (engine) {
    case Engine::kPostgresql:
      return "ALTER TABLE hostAccount ADD COLUMN IF NOT EXISTS sessionGeneration BIGINT NOT NULL "
             "DEFAULT 0";
    case Engine::kSqlServer:
      return "ALTER TABLE hostAccount ADD sessionGeneration BIGINT NOT NULL DEFAULT 0";
    case Engine::kSqlite:
      break;
  }
  return "ALTER TABLE hostAccount ADD COLUMN sessionGeneration INTEGER NOT NULL DEFAULT 0";
}

// Runs the statements of the engine's script that create `table`.
void CreateFromScript(Connection& db, std::string_view table) {
  for (const std::string_view statement : SplitSqlStatements(SchemaSql(db.engine()))) {
    const std::vector<SqlToken> tokens = TokenizeSql(statement);
    for (const SqlToken& t : tokens) {
      if (t.kind == SqlTokenKind::kIdentifier && EqualsNoCase(t.text, table)) {
        db.ExecuteScript(statement);
        break;
      }
    }
  }
}

// The host's tables that later versions added whole.
constexpr std::string_view kAddedHostTables[] = {"hostSetting", "hostToken", "hostPlanChange",
                                                 "hostHoliday", "hostDeletedPlan"};

bool HostTablesCurrent(Connection& db) {
  if (!HasTable(db, "hostAccount") || !HasColumn(db, "hostAccount", "sessionGeneration")) {
    return false;
  }
  for (const std::string_view table : kAddedHostTables) {
    if (!HasTable(db, table)) return false;
  }
  return true;
}

std::string JoinNames(const std::vector<std::string_view>& names) {
  std::string out;
  for (const std::string_view name : names) {
    if (!out.empty()) out += ", ";
    out += name;
  }
  return out;
}

}  // namespace

bool HasTable(Connection& db, std::string_view table) {
  const SqlParam name = SqlParam::Text(std::string(table));
  return !db.Query(TableCatalogSql(db.engine()), std::span(&name, 1)).Eof();
}

std::vector<std::string_view> MissingTables(Connection& db) {
  std::vector<std::string_view> missing;
  for (const ScheduleTable& table : kScheduleTables) {
    if (!HasTable(db, table.name)) missing.push_back(table.name);
  }
  return missing;
}

bool HasColumn(Connection& db, std::string_view table, std::string_view column) {
  const std::array params{SqlParam::Text(std::string(table)), SqlParam::Text(std::string(column))};
  return !db.Query(ColumnCatalogSql(db.engine()), params).Eof();
}

int ReadSchemaVersion(Connection& db) {
  std::vector<std::string_view> missing;
  for (std::size_t i = 0; i < kComponentTableCount; ++i) {
    if (!HasTable(db, kScheduleTables[i].name)) missing.push_back(kScheduleTables[i].name);
  }
  if (missing.size() == kComponentTableCount) return 0;
  if (!missing.empty()) {
    throw Error("database '" + db.name() + "' lacks the tables " + JoinNames(missing) +
                " (create them with 'ostrand init-db CONN --add-missing')");
  }
  return HostTablesCurrent(db) ? kSchemaVersion : 1;
}

void UpgradeHostTables(Connection& db) {
  if (HostTablesCurrent(db)) return;
  Transaction transaction(db);
  if (!HasTable(db, "hostAccount")) CreateFromScript(db, "hostAccount");
  if (!HasColumn(db, "hostAccount", "sessionGeneration")) {
    db.ExecuteScript(AddSessionGenerationSql(db.engine()));
  }
  for (const std::string_view table : kAddedHostTables) {
    if (!HasTable(db, table)) CreateFromScript(db, table);
  }
  transaction.Commit();
}

void CheckSchema(Connection& db) {
  if (ReadSchemaVersion(db) == 0) {
    throw Error("database '" + db.name() +
                "' has none of the schedule tables (create them with 'ostrand init-db CONN')");
  }
  UpgradeHostTables(db);
}

void CreateSchema(Connection& db) {
  const std::string_view script = SchemaSql(db.engine());
  if (db.engine() == Engine::kSqlite) {
    db.ExecuteScript(script);
    return;
  }
  // Servers and ODBC drivers take one statement at a time.
  for (const std::string_view statement : SplitSqlStatements(script)) db.ExecuteScript(statement);
}

void CreateSqliteDatabase(const std::string& path) {
  try {
    const std::unique_ptr<Connection> db = Connect("sqlite:" + path, OpenMode::kCreate);
    CreateSchema(*db);
  } catch (const Error& e) {
    throw Error("cannot create database '" + path + "': " + e.what());
  }
}

}  // namespace ostrand::store
