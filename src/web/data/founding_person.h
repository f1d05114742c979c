// The first person of a new database, made by `ostrand init-db --admin`:
// the one who then adds everybody else in the browser. Runs on the
// caller's connection, inside the caller's transaction if any, with bound
// values. Throws DatabaseError when the database refuses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "store/connection.h"

namespace ostrand::web {

// Adds a person named `name` of department `system_id` with the duty
// `duty_id` (none: no duty), with the id after the highest one in the
// person table (1 in an empty one); returns the id.
std::int64_t AddFoundingPerson(store::Connection& db, const std::string& name,
                               std::int64_t system_id, std::optional<std::int64_t> duty_id);

}  // namespace ostrand::web
