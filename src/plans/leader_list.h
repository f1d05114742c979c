// Who is on a leader's list: the one definition that the component's
// leader summaries (views/leader_rows.h) and the host's pages over the
// same persons share.
#pragma once

#include <string>
#include <string_view>

#include "plans/retired.h"

namespace ostrand::plans {

// The FROM and WHERE of the persons of a system that satisfy `condition`:
// "person,personDuty where  person.DutyID=personDuty.DutyID and
// systemID=<system_id> and <condition>". `system_id` is a checked id text
// (IdForSql) or a '?' the caller binds. `condition` goes in verbatim, as
// the component's callers have always given it: an SQL condition over the
// columns of person and personDuty that the operator configured, never
// request data. The web host gives CurrentStaffCondition.
inline std::string LeaderListFrom(std::string_view system_id, std::string_view condition) {
  constexpr std::string_view kFrom =
      "person,personDuty where  person.DutyID=personDuty.DutyID and systemID=";
  std::string sql;
  sql.reserve(kFrom.size() + system_id.size() + condition.size() + 8);
  sql += kFrom;
  sql += system_id;
  sql += " and ";
  sql += condition;
  return sql;
}

// The web host's leader condition: the operator's `condition`, in
// parentheses so that an OR in it cannot reach past the leader's system,
// for the persons who have not retired (NotRetired). The host hands it to
// the component's leader lists and uses it for its own pages over the
// same persons. Needs the host's tables.
inline std::string CurrentStaffCondition(std::string_view condition) {
  std::string sql = "(";
  sql += condition;
  sql += ") and ";
  sql += NotRetired("person.personID");
  return sql;
}

}  // namespace ostrand::plans
