// Connect: opens a Connection (store/connection.h) for a connection string
// (store/connection_string.h), on the backend the string names.
#pragma once

#include <memory>
#include <string_view>

#include "store/connection.h"

namespace ostrand::store {

enum class OpenMode {
  kExisting,  // the database must exist
  kCreate,    // an SQLite file is made when missing (servers are never created)
};

// Throws Error naming the connection string (its password hidden) when no
// backend reads it or the database cannot be opened; DatabaseError that is
// unavailable() when a database server cannot be reached within
// kConnectTimeout.
std::unique_ptr<Connection> Connect(std::string_view connection_string,
                                    OpenMode mode = OpenMode::kExisting);

}  // namespace ostrand::store
