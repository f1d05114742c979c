// Who is on a leader's list: the one definition that the component's
// leader summaries (views/leader_rows.h) and the host's pages over the
// same persons share.
#pragma once

#include <string>
#include <string_view>

namespace ostrand::plans {

// The FROM and WHERE of the persons of a system that satisfy `condition`:
// "person,personDuty where  person.DutyID=personDuty.DutyID and
// systemID=<system_id> and <condition>". `system_id` is a checked id text
// (IdForSql) or a '?' the caller binds. `condition` goes in verbatim: an
// SQL condition over the columns of person and personDuty that the
// operator configured, never request data.
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

}  // namespace ostrand::plans
