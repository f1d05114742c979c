#include "store/schema.h"

#include <sqlite3.h>

#include <memory>

#include "core/error.h"

namespace ostrand::store {
namespace {

// Kept identical to db/schema.sql (a unit test compares the two).
constexpr std::string_view kSchemaSql = R"sql(
-- Tables the staff-schedule component reads. Dates are stored as text
-- 'YYYY-MM-DD HH:MM:SS'. Every statement can be run again on an existing
-- database without harm.

CREATE TABLE IF NOT EXISTS personDuty (
  dutyID INTEGER PRIMARY KEY,
  dutyName TEXT
);

CREATE TABLE IF NOT EXISTS person (
  personID INTEGER PRIMARY KEY,
  personName TEXT,
  dutyID INTEGER,
  systemID INTEGER
);

CREATE TABLE IF NOT EXISTS planAddrType (
  planAddrTypeID INTEGER PRIMARY KEY,
  planAddrTypeName TEXT
);

-- planAddrTypeID lets a host form offer the places of one kind; the
-- component's queries do not read it.
CREATE TABLE IF NOT EXISTS planAddr (
  planAddrID INTEGER PRIMARY KEY,
  planAddrName TEXT,
  planAddrTypeID INTEGER
);

CREATE TABLE IF NOT EXISTS personPlan (
  planID INTEGER PRIMARY KEY,
  personID INTEGER NOT NULL,
  planStartTime DATETIME,
  planEndTime DATETIME,
  planAddrTypeID INTEGER,
  planAddrID INTEGER,
  planAddrDetail TEXT,
  planTypeID INTEGER,
  planContent TEXT,
  planAddition TEXT,
  planFlagID INTEGER
);

CREATE INDEX IF NOT EXISTS personPlan_person_start ON personPlan (personID, planStartTime);

-- Sign-in accounts of the web host: one Argon2id hash (libsodium's string
-- form, salt and limits included) per person who may sign in, and the
-- generation of the person's sessions (raising it ends them all).
CREATE TABLE IF NOT EXISTS hostAccount (
  personID INTEGER PRIMARY KEY,
  passwordHash TEXT NOT NULL,
  sessionGeneration INTEGER NOT NULL DEFAULT 0
);

-- Settings of the web host by name; 'sessionGeneration' ends everybody's
-- sessions when raised.
CREATE TABLE IF NOT EXISTS hostSetting (
  name TEXT PRIMARY KEY,
  value INTEGER NOT NULL
);
)sql";

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};

}  // namespace

// The literal starts with a line break after its opening delimiter; the
// script itself begins on the next line.
std::string_view SchemaSql() { return kSchemaSql.substr(1); }

void CreateSqliteDatabase(const std::string& path) {
  sqlite3* raw = nullptr;
  const int opened = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                     nullptr);
  // sqlite3_open_v2 hands out a handle even on failure; it must be closed.
  const std::unique_ptr<sqlite3, CloseDatabase> db(raw);
  if (opened != SQLITE_OK) {
    throw Error("cannot create database '" + path + "': " +
                (db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(opened)));
  }
  char* message = nullptr;
  const std::string script(SchemaSql());
  if (sqlite3_exec(db.get(), script.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string reason = message ? message : sqlite3_errmsg(db.get());
    sqlite3_free(message);
    throw Error("cannot create the tables in database '" + path + "': " + reason);
  }
}

}  // namespace ostrand::store
