// The ODBC backend of Connection (store/connection.h), on unixODBC.
//
// The text after "odbc:" goes to SQLDriverConnect as it is ("DSN=plans;
// UID=me;PWD=..." or "Driver={PostgreSQL Unicode};Server=...;Database=...").
// The login timeout is kConnectTimeout. The dialect follows the database
// behind the driver (SQLGetInfo SQL_DBMS_NAME): PostgreSQL and SQLite get
// the same translation as when reached directly; SQL Server, and any other
// database, receives the component's T-SQL unchanged.
//
// Statements are prepared once per text (SQLPrepare) and executed with
// bound values. Text is read as UTF-16 where the driver describes a column
// as wide, otherwise as UTF-8 bytes; text values are bound as UTF-8.
// Connection failures (SQLSTATE class 08) and timeouts are reported as
// unavailable and break the connection.
#pragma once

#include <memory>
#include <string>

#include "store/connection.h"

namespace ostrand::store {

// Connects with `attributes` (what follows "odbc:"); `name` names the
// database in messages (the connection string, its password hidden).
// Throws DatabaseError (unavailable) with the driver manager's and the
// driver's reasons when the connection fails.
std::unique_ptr<Connection> OpenOdbc(const std::string& attributes, const std::string& name);

}  // namespace ostrand::store
