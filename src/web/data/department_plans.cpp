#include "web/data/department_plans.h"

#include <array>

#include "plans/leader_list.h"
#include "plans/retired.h"
#include "store/dialect.h"
#include "web/data/organisation.h"
#include "web/data/plan_repository.h"
#include "web/data/plan_rows.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

// The leader's list of the component's summaries (plans::LeaderListFrom)
// for the system bound as its one parameter. The operator's condition is
// T-SQL, translated for the engine as the component's texts are; it is
// kept in parentheses, so that it cannot reach past the system.
std::string LeaderListSelect(store::Engine engine, std::string_view columns, std::string_view cond,
                             std::string_view order = {}) {
  return store::TranslateTsql("select " + std::string(columns) + " from " +
                                  plans::LeaderListFrom("?", "(" + std::string(cond) + ")") +
                                  std::string(order),
                              engine);
}

// Plans that start before the day after `last` and end on `first` or later.
constexpr std::string_view kTouchesDays =
    " AND personPlan.planStartTime < ? AND personPlan.planEndTime >= ?";
constexpr std::string_view kPlanOrder =
    " ORDER BY personPlan.personID, personPlan.planStartTime, personPlan.planID";

DepartmentPlan Dated(StoredPlan stored) {
  const PlanDates dates = DatesOf(stored);
  DepartmentPlan plan;
  plan.person_id = stored.person_id;
  plan.plan_id = stored.id;
  plan.start = dates.start;
  plan.end = dates.end;
  plan.kind_id = stored.kind_id;
  plan.kind_name = std::move(stored.kind_name);
  plan.place_name = std::move(stored.place_name);
  plan.detail = std::move(stored.detail).value_or("");
  plan.content = std::move(stored.content).value_or("");
  plan.addition = std::move(stored.addition).value_or("");
  plan.shared = stored.flag == store::kSharedPlanFlag;
  return plan;
}

std::vector<DepartmentPlan> ReadDated(store::RecordSet rows) {
  std::vector<DepartmentPlan> plans;
  for (; !rows.Eof(); rows.MoveNext()) plans.push_back(Dated(ReadPlan(rows)));
  return plans;
}

}  // namespace

std::vector<Person> LeaderListPersons(store::Connection& db, std::int64_t system_id,
                                      std::string_view cond) {
  const std::string sql = LeaderListSelect(
      db.engine(), "person.personID, person.personName, person.dutyID, person.systemID", cond,
      " ORDER BY person.dutyID, person.personID");
  const std::array params{store::SqlParam::Integer(system_id)};
  std::vector<Person> persons;
  for (store::RecordSet rows = db.Query(sql, params); !rows.Eof(); rows.MoveNext()) {
    persons.push_back({Int(rows, 0), Text(rows, 1), OptionalInt(rows, 2), OptionalInt(rows, 3)});
  }
  SortByDuty(db, persons);
  return persons;
}

std::vector<DepartmentPlan> LeaderListPlans(store::Connection& db, std::int64_t system_id,
                                            std::string_view cond, const DateTime& first,
                                            const DateTime& last) {
  const std::string sql = PlanSelect(db.engine()) + "WHERE personPlan.personID IN (" +
                          LeaderListSelect(db.engine(), "person.personID", cond) +
                          ") AND personPlan.planFlagID = 1" + std::string(kTouchesDays) +
                          std::string(kPlanOrder);
  const std::array params{store::SqlParam::Integer(system_id), StartsBefore(last),
                          store::SqlParam::Date(first)};
  return ReadDated(db.Query(sql, params));
}

std::vector<DepartmentPlan> SystemPlans(store::Connection& db, std::int64_t system_id,
                                        std::int64_t viewer_id, const DateTime& first,
                                        const DateTime& last,
                                        const std::vector<std::int64_t>& kinds) {
  std::string sql = PlanSelect(db.engine()) +
                    "WHERE personPlan.personID IN (SELECT personID FROM person WHERE systemID = ? AND " +
                    plans::NotRetired("personID") +
                    ") "
                    "AND (personPlan.planFlagID = 1 OR personPlan.personID = ?)" +
                    std::string(kTouchesDays);
  std::vector<store::SqlParam> params{store::SqlParam::Integer(system_id),
                                      store::SqlParam::Integer(viewer_id), StartsBefore(last),
                                      store::SqlParam::Date(first)};
  if (!kinds.empty()) {
    sql += " AND personPlan.planAddrTypeID IN (";
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      sql += i == 0 ? "?" : ", ?";
      params.push_back(store::SqlParam::Integer(kinds[i]));
    }
    sql += ")";
  }
  sql += kPlanOrder;
  return ReadDated(db.Query(sql, params));
}

}  // namespace ostrand::web
