#include "store/connect.h"

#include "core/error.h"
#include "store/connection_string.h"
#include "store/odbc/odbc_connection.h"
#include "store/postgresql/pg_connection.h"
#include "store/sqlite/sqlite_connection.h"

namespace ostrand::store {

std::unique_ptr<Connection> Connect(std::string_view connection_string, OpenMode mode) {
  const ConnectionTarget target = ParseConnectionString(connection_string);
  switch (target.backend) {
    case Backend::kSqlite:
      return OpenSqlite(target.database, mode == OpenMode::kCreate);
    case Backend::kPostgresql:
      return OpenPostgresql(target.database);
    case Backend::kOdbc:
      return OpenOdbc(target.database, RedactConnectionString(connection_string));
  }
  throw Error("unsupported connection string '" + RedactConnectionString(connection_string) + "'");
}

}  // namespace ostrand::store
