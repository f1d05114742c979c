#include "web/data/department_plans.h"

#include <array>

#include "store/dialect.h"
#include "web/data/plan_repository.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

// The persons of the leader's list, as the component selects them (the
// condition may name person's and personDuty's columns unqualified).
std::string LeaderListSelect(std::string_view columns, std::string_view cond) {
  return "SELECT " + std::string(columns) +
         " FROM person, personDuty WHERE person.dutyID = personDuty.dutyID AND "
         "person.systemID = ? AND (" +
         std::string(cond) + ")";
}

std::string PlanSelect(store::Engine engine) {
  return "SELECT personPlan.personID, personPlan.planID, " +
         TimeText(engine, "personPlan.planStartTime") + ", " +
         TimeText(engine, "personPlan.planEndTime") +
         ", personPlan.planAddrTypeID, planAddrType.planAddrTypeName, planAddr.planAddrName, "
         "personPlan.planAddrDetail, personPlan.planContent, personPlan.planAddition, "
         "personPlan.planFlagID FROM personPlan "
         "LEFT JOIN planAddrType ON planAddrType.planAddrTypeID = personPlan.planAddrTypeID "
         "LEFT JOIN planAddr ON planAddr.planAddrID = personPlan.planAddrID ";
}

// Plans that start before the day after `last` and end on `first` or later.
constexpr std::string_view kTouchesDays =
    " AND personPlan.planStartTime < ? AND personPlan.planEndTime >= ?";
constexpr std::string_view kPlanOrder =
    " ORDER BY personPlan.personID, personPlan.planStartTime, personPlan.planID";

std::vector<DepartmentPlan> ReadPlans(store::RecordSet rows) {
  std::vector<DepartmentPlan> plans;
  for (; !rows.Eof(); rows.MoveNext()) {
    const std::optional<DateTime> start = store::ReadStoredDateTime(Text(rows, 2));
    const std::optional<DateTime> end = store::ReadStoredDateTime(Text(rows, 3));
    if (!start || !end) continue;
    DepartmentPlan plan;
    plan.person_id = Int(rows, 0);
    plan.plan_id = Int(rows, 1);
    plan.start = *start;
    plan.end = *end;
    plan.kind_id = OptionalInt(rows, 4);
    plan.kind_name = Text(rows, 5);
    plan.place_name = Text(rows, 6);
    plan.detail = Text(rows, 7);
    plan.content = Text(rows, 8);
    plan.addition = Text(rows, 9);
    plan.shared = OptionalInt(rows, 10) == 1;
    plans.push_back(std::move(plan));
  }
  return plans;
}

}  // namespace

std::vector<Person> LeaderListPersons(store::Connection& db, std::int64_t system_id,
                                      std::string_view cond) {
  const std::string sql = store::TranslateTsql(
      LeaderListSelect("person.personID, person.personName, person.dutyID, person.systemID",
                       cond) +
          " ORDER BY person.dutyID, person.personID",
      db.engine());
  const std::array params{store::SqlParam::Integer(system_id)};
  std::vector<Person> persons;
  for (store::RecordSet rows = db.Query(sql, params); !rows.Eof(); rows.MoveNext()) {
    persons.push_back({Int(rows, 0), Text(rows, 1), OptionalInt(rows, 2), OptionalInt(rows, 3)});
  }
  return persons;
}

std::vector<DepartmentPlan> LeaderListPlans(store::Connection& db, std::int64_t system_id,
                                            std::string_view cond, const DateTime& first,
                                            const DateTime& last) {
  const std::string sql = store::TranslateTsql(
      PlanSelect(db.engine()) + "WHERE personPlan.personID IN (" +
          LeaderListSelect("person.personID", cond) + ") AND personPlan.planFlagID = 1" +
          std::string(kTouchesDays) + std::string(kPlanOrder),
      db.engine());
  const std::array params{store::SqlParam::Integer(system_id),
                          StartsBefore(last),
                          store::SqlParam::Date(first)};
  return ReadPlans(db.Query(sql, params));
}

std::vector<DepartmentPlan> SystemPlans(store::Connection& db, std::int64_t system_id,
                                        std::int64_t viewer_id, const DateTime& first,
                                        const DateTime& last,
                                        const std::vector<std::int64_t>& kinds) {
  std::string sql = PlanSelect(db.engine()) +
                    "WHERE personPlan.personID IN (SELECT personID FROM person WHERE systemID = ?) "
                    "AND (personPlan.planFlagID = 1 OR personPlan.personID = ?)" +
                    std::string(kTouchesDays);
  std::vector<store::SqlParam> params{store::SqlParam::Integer(system_id),
                                      store::SqlParam::Integer(viewer_id),
                                      StartsBefore(last),
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
  return ReadPlans(db.Query(sql, params));
}

}  // namespace ostrand::web
