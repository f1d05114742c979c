// The persons of the schedule database as the web host needs them: the
// signed-in person's row (system and duty), a person looked up by name for
// the sign-in, and the current persons of one system for the picker. A
// retired person is still found by id and by name (his or her plans stay
// readable); the sign-in and the sessions refuse him or her elsewhere
// (accounts_table.h).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/connection.h"

namespace ostrand::web {

struct Person {
  std::int64_t id = 0;
  std::string name;
  std::optional<std::int64_t> duty_id;
  std::optional<std::int64_t> system_id;
};

// The person with that id, or nothing. Throws Error on a database failure.
std::optional<Person> FindPerson(store::Connection& db, std::int64_t id);

// Every person whose name is exactly `name`, in id order.
std::vector<Person> FindPersonsByName(store::Connection& db, std::string_view name);

// The persons of one system who have not retired (plans/retired.h), the
// most senior duty first, then by id. Kept with the connection's rows while
// the database is unchanged (store::Connection::KeptValue): the list is
// shared, never changed. Throws Error on a database failure.
std::shared_ptr<const std::vector<Person>> PersonsOfSystem(store::Connection& db,
                                                           std::int64_t system_id);

}  // namespace ostrand::web
