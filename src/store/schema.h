// The schema of the schedule database on every engine, and the one place
// that checks it. The scripts live in db/ (schema.sql for SQLite,
// schema-postgresql.sql, schema-sqlserver.sql) and are compiled in; each
// creates only what is missing, so running it again changes nothing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "store/connection.h"
#include "store/dialect.h"

namespace ostrand::store {

// The version of the schema this program reads and writes: 1 is the five
// tables of the component and hostAccount; 2 adds the session generations
// (hostAccount.sessionGeneration and hostSetting); 3 the personal tokens
// (hostToken), the host's record of plan changes (hostPlanChange), the
// holidays (hostHoliday) and the day editor's deleted plans
// (hostDeletedPlan); 4 the administration: administrators (hostAdmin),
// retired persons (hostRetiredPerson), department names (hostDepartment),
// the order and leading of duties (hostDuty), sessions (hostSession) and
// the audit log (hostAudit); 5 the company sign-in: identities at OpenID
// providers and directories (hostIdentity), second factors
// (hostSecondFactor, hostRecoveryCode) and sign-ins under way at a
// provider (hostSignInState); 6 the calendars of calendar programs: the
// events they wrote (hostCalendarObject, hostObjectPlan), the numbered
// changes behind their sync tokens (hostCalendarChange) and app passwords
// (hostAppPassword); 7 what the site tells of changes: the outbox of
// events (hostEvent) and their deliveries (hostDelivery,
// hostDeliveryEvent), webhook receivers (hostWebhook) and persons' mail
// addresses and the mails they asked for (hostMailAddress,
// hostMailChoice).
inline constexpr int kSchemaVersion = 7;

// The schema script of the engine. The text lives for the whole program.
std::string_view SchemaSql(Engine engine = Engine::kSqlite);

// Whether the database holds a table of that name (without regard to ASCII
// case). Throws DatabaseError when the catalog cannot be read.
bool HasTable(Connection& db, std::string_view table);

// The schedule tables (kScheduleTables) that the database lacks, in their
// order.
std::vector<std::string_view> MissingTables(Connection& db);

// Whether the table holds a column of that name (without regard to ASCII
// case).
bool HasColumn(Connection& db, std::string_view table, std::string_view column);

// The schema version of the database: 0 when it holds none of the
// component's tables, 1 when it holds them (with or without a hostAccount
// of the first form), kSchemaVersion when the host's tables are current.
// Throws Error naming the database and the missing tables when it holds
// only some of the component's.
int ReadSchemaVersion(Connection& db);

// Brings the web host's tables to kSchemaVersion in a database made before
// they (or their columns) existed: creates the host tables that it lacks
// from the engine's script and adds
// hostAccount.sessionGeneration, in one transaction, so that several
// servers starting at once do it once.
void UpgradeHostTables(Connection& db);

// Whether a new plan may get the id of a deleted one: true for an SQLite
// personPlan made before its key was AUTOINCREMENT. The sequences of
// PostgreSQL and SQL Server never give an id twice. Throws DatabaseError
// when the catalog cannot be read.
bool PlanIdsCanReturn(Connection& db);

// Makes an SQLite personPlan of the older form give no id twice: rebuilds
// it with an AUTOINCREMENT key, rows, ids, indexes and triggers kept, and
// sets its counter to the highest plan id the database names anywhere
// (hostPlanChange and hostDeletedPlan too, so that the id of a plan deleted
// before is not given again either). All in one transaction. Returns
// whether it rebuilt the table; does nothing on other engines or when the
// table is current. Throws Error naming the table when its key is not an
// `planID INTEGER PRIMARY KEY` column, and DatabaseError when a statement
// fails; nothing is changed then.
bool KeepPlanIdsUnique(Connection& db);

// Checks that the database holds the component's five tables, then
// UpgradeHostTables and KeepPlanIdsUnique (left out, without an error, for
// a personPlan key it cannot rebuild). Throws Error naming the database
// and the missing tables, with a hint to `ostrand init-db`.
void CheckSchema(Connection& db);

// Runs the engine's schema script: every missing table and index is
// created, existing ones keep their rows. Throws DatabaseError when a
// statement fails.
void CreateSchema(Connection& db);

// Creates the SQLite database file at `path` when it does not exist and
// runs the schema script in it; an existing database keeps its rows and
// gains any missing table. Throws Error naming the path when the file
// cannot be created or opened, is not a database, or the script fails.
void CreateSqliteDatabase(const std::string& path);

}  // namespace ostrand::store
