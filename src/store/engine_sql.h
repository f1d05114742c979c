// What the host's own SQL texts write differently per engine, as functions
// of the engine: callers write one text and ask here for the part that
// differs, rather than switching on the engine themselves. The component's
// T-SQL texts are translated instead (store/dialect.h).
//
// Nothing here runs on its own but LockRow and UpdateOrInsert, which use
// the caller's connection and transaction and throw what the connection
// throws (DatabaseError when the database refuses). The texts returned hold
// only the names the caller passed: names must be the caller's own
// constants, never outside text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "store/connection.h"
#include "store/dialect.h"
#include "store/sql_param.h"

namespace ostrand::store {

// The select-list expression that reads the stored time `column` as its
// text on the engine (SQL Server's style 120, the others' cast), so that a
// time another program wrote in a form that reads as no date still shows
// as it was written (ReadStoredDateTime reads the rest).
std::string TimeText(Engine engine, std::string_view column);

// A '?' bound to a time where the statement itself gives it no type (in a
// select list): a cast to the engine's timestamp type, or the bare '?' on
// SQLite.
std::string_view TimestampParam(Engine engine);

// Whether an INSERT may give an identity column its value (SQLite and
// PostgreSQL); SQL Server's ids only the database gives.
bool InsertsGivenIds(Engine engine);

// The end of a SELECT (after its ORDER BY, which SQL Server requires) that
// keeps `count` rows from the 0-based `offset`: LIMIT/OFFSET, or SQL
// Server's OFFSET ... FETCH.
std::string RowWindow(Engine engine, std::size_t offset, std::size_t count);

// Inside the caller's write transaction: holds the row of `table` whose
// `key_column` is `key` until the commit, on engines that lock rows
// (PostgreSQL's FOR UPDATE, SQL Server's UPDLOCK/HOLDLOCK). SQLite's write
// transaction holds the whole database already: nothing runs there.
void LockRow(Connection& db, std::string_view table, std::string_view key_column, std::int64_t key);

// Runs `update` ("UPDATE table SET ..."); when it changes no row, runs
// `insert` ("INSERT INTO table (...) VALUES (...)"). Returns true when a
// row was updated. The caller holds the transaction that makes the pair
// one write. Two writers of the same new key both succeed: the second
// waits for the first one's commit and then updates the row it inserted
// (PostgreSQL's ON CONFLICT DO NOTHING, SQL Server's HOLDLOCK; SQLite's
// write transaction holds the whole database). An insert that meets
// another of the table's keys throws DatabaseError.
bool UpdateOrInsert(Connection& db, std::string_view update,
                    std::span<const SqlParam> update_params, std::string_view insert,
                    std::span<const SqlParam> insert_params);

}  // namespace ostrand::store
