// Retired persons: a person who left is never deleted. He or she keeps an
// id that is never given again and every plan, and is marked by a row of
// the host table hostRetiredPerson. Every list of the current staff (the
// pickers, the leader lists, who is away, the department feeds) and every
// way in (sign-in, sessions, tokens) leaves those persons out by this one
// condition.
#pragma once

#include <string>
#include <string_view>

namespace ostrand::plans {

// The SQL condition "`person_id` is not a retired person's id", for a
// WHERE or an ON. `person_id` is a column expression of the caller's own
// text ("person.personID"), never request data.
inline std::string NotRetired(std::string_view person_id) {
  std::string sql(person_id);
  sql += " NOT IN (SELECT personID FROM hostRetiredPerson)";
  return sql;
}

}  // namespace ostrand::plans
