// The administrators table (hostAdmin): who may use the administration
// pages, apart from any leading duty. Reads and writes run on the
// caller's connection, inside the caller's transaction if any, with bound
// values. Every function throws DatabaseError when the database refuses
// (the table missing: store::UpgradeHostTables creates it), Error naming
// the column when a stored id is no whole number.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/date.h"
#include "store/connection.h"

namespace ostrand::web {

// Whether the person is an administrator. Read on every request, fresh
// from the database (never cached across requests), so that servers
// sharing a database see a grant or a revoke at once.
bool IsAdministrator(store::Connection& db, std::int64_t person_id);

// Makes the person an administrator, granted by `by` (nothing: from the
// command line) at `now`; false when the person was one already. Does not
// check that the person exists: the caller does.
bool GrantAdministrator(store::Connection& db, std::int64_t person_id,
                        std::optional<std::int64_t> by, const DateTime& now);

// Ends the person's administration; false when the person was none.
bool RevokeAdministrator(store::Connection& db, std::int64_t person_id);

// Every administrator's id, in id order.
std::vector<std::int64_t> Administrators(store::Connection& db);

}  // namespace ostrand::web
