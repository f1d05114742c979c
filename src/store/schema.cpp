#include "store/schema.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

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
constexpr std::string_view kAddedHostTables[] = {
    "hostSetting", "hostToken",         "hostPlanChange", "hostHoliday", "hostDeletedPlan",
    "hostAdmin",   "hostRetiredPerson", "hostDepartment", "hostDuty",    "hostSession",
    "hostAudit",   "hostIdentity",      "hostSecondFactor", "hostRecoveryCode", "hostSignInState",
    "hostCalendarObject", "hostObjectPlan", "hostCalendarChange", "hostAppPassword",
    "hostEvent", "hostDelivery", "hostDeliveryEvent", "hostWebhook", "hostMailAddress",
    "hostMailChoice"};

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

// The name and CREATE statement of SQLite's personPlan; nothing when there
// is no such table.
std::optional<std::pair<std::string, std::string>> PlanTableSql(Connection& db) {
  const RecordSet rows = db.Query(
      "SELECT name, sql FROM sqlite_master WHERE type = 'table' AND lower(name) = 'personplan'");
  if (rows.Eof()) return std::nullopt;
  return std::pair{rows.Field(std::size_t{0}).ToText(), rows.Field(std::size_t{1}).ToText()};
}

// The CREATE statement with AUTOINCREMENT after the PRIMARY KEY of the
// planID column, or nothing when it has it already. Throws Error when
// planID is not an INTEGER PRIMARY KEY column (a key SQLite cannot count)
// and `strict`; otherwise gives nothing then either.
std::optional<std::string> WithAutoincrement(std::string_view create, bool strict = true) {
  std::vector<SqlToken> tokens = TokenizeSql(create);
  std::erase_if(tokens, IsBlankToken);
  const auto is = [&](std::size_t i, std::string_view word) {
    return i < tokens.size() && EqualsNoCase(tokens[i].text, word);
  };
  // The columns and constraints inside the outer parentheses, split at the
  // commas between them.
  int depth = 0;
  std::size_t definition = 0;  // index of the first token of the current one
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].text == "(") {
      if (++depth == 1) definition = i + 1;
      continue;
    }
    if (tokens[i].text == ")") {
      --depth;
      continue;
    }
    if (depth == 1 && tokens[i].text == ",") definition = i + 1;
    if (depth != 1 || i != definition) continue;
    std::string_view name = tokens[i].text;
    if (tokens[i].kind == SqlTokenKind::kQuoted && name.size() >= 2) {
      name = name.substr(1, name.size() - 2);
    }
    if (!EqualsNoCase(name, "planID")) continue;
    for (std::size_t k = i + 1; k + 1 < tokens.size() && tokens[k].text != ","; ++k) {
      if (tokens[k].text == "(" || tokens[k].text == ")") break;
      if (is(k, "AUTOINCREMENT")) return std::nullopt;
      if (!is(k, "PRIMARY") || !is(k + 1, "KEY") || !is(i + 1, "INTEGER")) continue;
      std::size_t after = k + 2;
      if (is(after, "ASC") || is(after, "DESC")) ++after;
      if (is(after, "ON") && is(after + 1, "CONFLICT")) after += 3;
      if (is(after, "AUTOINCREMENT")) return std::nullopt;
      const std::size_t at =
          static_cast<std::size_t>(tokens[after - 1].text.data() - create.data()) +
          tokens[after - 1].text.size();
      return std::string(create.substr(0, at)) + " AUTOINCREMENT" +
             std::string(create.substr(at));
    }
    break;
  }
  if (!strict) return std::nullopt;
  throw Error("table personPlan has no 'planID INTEGER PRIMARY KEY' column, so its ids cannot be "
              "kept from being given again; make planID such a column");
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
  // A key of another form stays as it is, so that the database still opens;
  // init-db --add-missing says what is wrong with it.
  if (db.engine() == Engine::kSqlite) {
    const auto table = PlanTableSql(db);
    if (table && WithAutoincrement(table->second, false)) KeepPlanIdsUnique(db);
  }
}

bool PlanIdsCanReturn(Connection& db) {
  if (db.engine() != Engine::kSqlite) return false;
  const auto table = PlanTableSql(db);
  if (!table) return false;
  for (const SqlToken& t : TokenizeSql(table->second)) {
    if (EqualsNoCase(t.text, "AUTOINCREMENT")) return false;
  }
  return true;
}

bool KeepPlanIdsUnique(Connection& db) {
  if (!PlanIdsCanReturn(db)) return false;
  Transaction transaction(db);
  // Checked again while holding the database: another process may have
  // rebuilt it meanwhile.
  const auto table = PlanTableSql(db);
  if (!table) return false;
  const std::optional<std::string> create = WithAutoincrement(table->second);
  if (!create) return false;
  std::vector<std::string> dependents;  // its indexes and triggers, made again after
  for (RecordSet rows = db.Query(
           "SELECT sql FROM sqlite_master WHERE type IN ('index', 'trigger') "
           "AND lower(tbl_name) = 'personplan' AND sql IS NOT NULL ORDER BY type, rowid");
       !rows.Eof(); rows.MoveNext()) {
    dependents.push_back(rows.Field(std::size_t{0}).ToText());
  }
  // Copied aside rather than renamed, so that views naming personPlan stay
  // as they are.
  db.ExecuteScript(
      "DROP TABLE IF EXISTS temp.ostrand_plan_copy; "
      "CREATE TEMP TABLE ostrand_plan_copy AS SELECT * FROM personPlan; "
      "DROP TABLE personPlan");
  db.ExecuteScript(*create);
  db.ExecuteScript(
      "INSERT INTO personPlan SELECT * FROM temp.ostrand_plan_copy; "
      "DROP TABLE temp.ostrand_plan_copy");
  for (const std::string& sql : dependents) db.ExecuteScript(sql);

  std::int64_t highest = 0;
  for (const std::string_view source : {"personPlan", "hostPlanChange", "hostDeletedPlan"}) {
    if (!HasTable(db, source)) continue;
    const RecordSet rows =
        db.Query("SELECT COALESCE(MAX(planID), 0) FROM " + std::string(source));
    highest = std::max(highest, ExactInteger(rows.Field(std::size_t{0})).value_or(0));
  }
  if (highest > 0) {
    const std::array params{SqlParam::Integer(highest), SqlParam::Text(table->first)};
    if (db.Execute("UPDATE sqlite_sequence SET seq = ? WHERE name = ?", params) == 0) {
      db.Execute("INSERT INTO sqlite_sequence (seq, name) VALUES (?, ?)", params);
    }
  }
  transaction.Commit();
  return true;
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
