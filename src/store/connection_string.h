// Connection strings: the one place that knows their forms. "sqlite:PATH"
// and a path ending in ".db" name an SQLite file; "sqlite::memory:" a new
// empty database. Server databases will be added here.
#pragma once

#include <string>

#include "store/dialect.h"

namespace ostrand::store {

// Where a connection string points.
struct ConnectionTarget {
  Engine engine = Engine::kSqlite;
  std::string database;  // file path, or ":memory:"
  bool in_memory = false;
};

// Reads a connection string (surrounding spaces and line breaks ignored; the
// "sqlite:" prefix and ".db" suffix in any ASCII case). Throws Error for an
// empty string ("no connection string"), an empty path, or another form
// (naming the string). Does not look at the file.
ConnectionTarget ParseConnectionString(const std::string& connection_string);

}  // namespace ostrand::store
