// The host's settings table (hostSetting): named whole numbers the host
// keeps in the schedule database, such as the host-wide session generation
// (accounts) and the site identity (site_identity.h). Reads and writes run
// on the caller's connection, inside the caller's transaction if any, with
// bound values. Every function throws DatabaseError when the database
// refuses (the table missing: store::UpgradeHostTables creates it), Error
// naming the column when a stored value is no whole number.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "store/connection.h"

namespace ostrand::web {

// The setting's value, or nothing when it is not set. Read through the
// connection's cache of stored reads (Connection::QueryStored).
std::optional<std::int64_t> ReadSetting(store::Connection& db, std::string_view name);

// Raises the setting by one, setting it to 1 when it is not set. The
// caller's transaction makes the two statements one write.
void IncrementSetting(store::Connection& db, std::string_view name);

// Sets the setting to `value` unless it is set already. A second writer
// racing this one may make the insert fail on the key: that DatabaseError
// is the caller's to judge (it is not unavailable()).
void SetSettingOnce(store::Connection& db, std::string_view name, std::int64_t value);

}  // namespace ostrand::web
