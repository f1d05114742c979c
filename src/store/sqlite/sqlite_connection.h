// The SQLite backend of Connection (store/connection.h), on SQLite's C API.
//
// A file database must exist unless it is opened to be created: a missing
// or unopenable file is an error, not a new empty database. The file
// itself is never opened outside SQLite (closing any descriptor of it would
// drop SQLite's locks); it is checked with stat and access.
//
// A database that turned read-only for a while stays usable: before every
// open, a -wal or -shm file that this process's user owns and that lacks
// the write permission the database file has is given the database file's
// permissions; a write that fails because the database is read-only marks
// the connection broken, and IsUsable is false for a read-only connection
// whose file is writable again, so that a pool opens a fresh one.
#pragma once

#include <memory>
#include <string>

#include "store/connection.h"

namespace ostrand::store {

// Opens the SQLite database at `path` (":memory:" for a new empty one that
// lives as long as the connection). With `create`, a missing file is made.
// Throws Error naming the path when the file does not exist (without
// `create`), cannot be read, is no regular file or is not a database.
std::unique_ptr<Connection> OpenSqlite(const std::string& path, bool create);

}  // namespace ostrand::store
