#include "store/connect.h"

#include "core/error.h"
#include "store/connection_string.h"
#include "store/sqlite/sqlite_connection.h"

namespace ostrand::store {

std::unique_ptr<Connection> Connect(std::string_view connection_string, OpenMode mode) {
  const ConnectionTarget target = ParseConnectionString(connection_string);
  switch (target.backend) {
    case Backend::kSqlite:
      return OpenSqlite(target.database, mode == OpenMode::kCreate);
    case Backend::kPostgresql:
    case Backend::kOdbc:
      break;
  }
  throw Error("connection string '" + RedactConnectionString(connection_string) +
              "' names a database server, which this build cannot reach yet");
}

}  // namespace ostrand::store
