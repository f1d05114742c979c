// Connection strings: the one place that knows their forms.
//  - "sqlite:PATH", or a path ending in ".db": an SQLite file;
//    "sqlite::memory:" a new empty database;
//  - "postgresql://..." or "postgres://...": a PostgreSQL server, as libpq
//    reads the URI (user, password, host, port, database, ?parameters);
//  - "odbc:" and what SQLDriverConnect takes ("odbc:DSN=plans;UID=me" or
//    "odbc:Driver={PostgreSQL Unicode};Server=...;Database=...").
// Prefixes are compared without regard to ASCII case.
#pragma once

#include <string>
#include <string_view>

namespace ostrand::store {

enum class Backend { kSqlite, kPostgresql, kOdbc };

// Where a connection string points.
struct ConnectionTarget {
  Backend backend = Backend::kSqlite;
  // SQLite: the file path or ":memory:"; PostgreSQL: the URI as given;
  // ODBC: the text after "odbc:".
  std::string database;
  bool in_memory = false;  // sqlite::memory:
};

// Reads a connection string (surrounding spaces and line breaks ignored).
// Throws Error for an empty string ("no connection string"), an SQLite form
// without a path, an "odbc:" without anything after it, or another form
// (naming the string, its password hidden). Does not connect.
ConnectionTarget ParseConnectionString(std::string_view connection_string);

// The connection string with any password replaced by "***": the
// "user:password@" of a URI, a "password=" parameter, and ODBC's "PWD=" and
// "Password=" attributes. Every message that names a connection string
// shows it through this.
std::string RedactConnectionString(std::string_view connection_string);

}  // namespace ostrand::store
