// The SQLite schema of the tables the component reads (a copy of
// db/schema.sql compiled into the library), and a helper that creates a
// database file with it, for hosts that set up a new database and for tests.
#pragma once

#include <string>
#include <string_view>

namespace ostrand::store {

// The schema script: CREATE TABLE / CREATE INDEX statements, each guarded by
// IF NOT EXISTS so that running it again changes nothing. The text lives for
// the whole program.
std::string_view SchemaSql();

// Creates the SQLite database file at `path` when it does not exist and runs
// the schema script in it; an existing database keeps its rows and gains any
// missing table. Throws Error naming the path when the file cannot be
// created or opened, is not a database, or the script fails.
void CreateSqliteDatabase(const std::string& path);

}  // namespace ostrand::store
