// The plans of a department for the host's own tables: the leader
// summaries over several months and the page of who is away. The persons
// of a leader summary are those the component's summaries list
// (plans::LeaderListFrom): of the leader's system, satisfying the
// operator's leader condition (T-SQL over person and personDuty, as the
// component receives it; configuration, never request data), by duty.
// Values are bound; the list with its condition is translated for the
// engine as the component's texts are (store/dialect.h). Plans are read by
// the host's one plan reader (plan_rows.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "store/connection.h"
#include "web/data/person_filter.h"
#include "web/data/persons.h"

namespace ostrand::web {

// A plan as the department's tables show it, with its dates. A plan whose
// stored start or end reads as no date makes the reading fail: Error names
// the plan and the stored text (plan_rows.h DatesOf), as the component's
// plan reader does.
struct DepartmentPlan {
  std::int64_t person_id = 0;
  std::int64_t plan_id = 0;
  DateTime start;
  DateTime end;
  std::optional<std::int64_t> kind_id;
  std::string kind_name;   // empty when the kind is unknown
  std::string place_name;  // empty when the place is unknown
  std::string detail;
  std::string content;
  std::string addition;
  bool shared = true;
};

// The persons of the system that satisfy `cond`, the most senior duty first
// (SortByDuty), then by id.
// Throws Error (the database's message) when the condition does not run.
// The functions below throw so too, and as DepartmentPlan says.
std::vector<Person> LeaderListPersons(store::Connection& db, std::int64_t system_id,
                                      std::string_view cond);

// The shared plans of those persons (LeaderListPersons) that touch the days
// from `first` to `last`, by person, then by start.
std::vector<DepartmentPlan> LeaderListPlans(store::Connection& db, std::int64_t system_id,
                                            std::string_view cond, const DateTime& first,
                                            const DateTime& last);

// How many persons LeaderListPersons lists that `filter` keeps.
std::int64_t CountLeaderListPersons(store::Connection& db, std::int64_t system_id,
                                    std::string_view cond, const PersonFilter& filter);

// The `limit` persons from `offset` of LeaderListPersons that `filter`
// keeps, in the same order (limit 0: all from `offset`). The database
// reads only those rows (store/engine_sql.h RowWindow).
std::vector<Person> LeaderListWindow(store::Connection& db, std::int64_t system_id,
                                     std::string_view cond, const PersonFilter& filter,
                                     std::size_t offset, std::size_t limit);

// The shared plans of `persons` (from LeaderListWindow) that touch the
// days from `first` to `last`, by person, then by start. No query for no
// persons.
std::vector<DepartmentPlan> PlansOfPersons(store::Connection& db,
                                           const std::vector<Person>& persons,
                                           const DateTime& first, const DateTime& last);

// The plans of the persons of the system who have not retired
// (plans/retired.h) that touch the days from `first`
// to `last` and whose kind of place is one of `kinds`: the shared plans of
// everybody and every plan of `viewer_id`. By person, then by start.
std::vector<DepartmentPlan> SystemPlans(store::Connection& db, std::int64_t system_id,
                                        std::int64_t viewer_id, const DateTime& first,
                                        const DateTime& last,
                                        const std::vector<std::int64_t>& kinds);

// Who is away, a page at a time: the persons of the system who have not
// retired, whom `filter` keeps and who have a plan that SystemPlans lists
// for the same viewer, days and kinds. How many there are:
std::int64_t CountAwayPersons(store::Connection& db, std::int64_t system_id,
                              std::int64_t viewer_id, const DateTime& first, const DateTime& last,
                              const std::vector<std::int64_t>& kinds, const PersonFilter& filter);

// And `limit` of them from `offset` (limit 0: all from `offset`), the most
// senior duty first (SortByDuty's order, here the database's), then by id.
std::vector<Person> AwayPersonsWindow(store::Connection& db, std::int64_t system_id,
                                      std::int64_t viewer_id, const DateTime& first,
                                      const DateTime& last,
                                      const std::vector<std::int64_t>& kinds,
                                      const PersonFilter& filter, std::size_t offset,
                                      std::size_t limit);

// SystemPlans of `persons` only (from AwayPersons). No query for no
// persons.
std::vector<DepartmentPlan> SystemPlansOf(store::Connection& db, const std::vector<Person>& persons,
                                          std::int64_t viewer_id, const DateTime& first,
                                          const DateTime& last,
                                          const std::vector<std::int64_t>& kinds);

}  // namespace ostrand::web
