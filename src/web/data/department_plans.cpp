#include "web/data/department_plans.h"

#include <array>

#include "plans/leader_list.h"
#include "plans/retired.h"
#include "store/dialect.h"
#include "store/engine_sql.h"
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

// The order of SortByDuty in SQL: persons without a duty last, then the
// duty's order of hostDuty (else its id), the duty, the id. Needs the join
// of kWithDutyOrder.
constexpr std::string_view kDutyOrder =
    " ORDER BY CASE WHEN person.dutyID IS NULL THEN 1 ELSE 0 END,"
    " COALESCE(hostDuty.dutyOrder, person.dutyID), person.dutyID, person.personID";
constexpr std::string_view kWithDutyOrder =
    " FROM person LEFT JOIN hostDuty ON hostDuty.dutyID = person.dutyID";
// A window without an end: the engines want a count with an offset.
constexpr std::size_t kAllRows = std::size_t{1} << 31;
constexpr std::string_view kPersonColumns =
    "person.personID, person.personName, person.dutyID, person.systemID";

std::vector<Person> ReadPersons(store::RecordSet rows) {
  std::vector<Person> persons;
  for (; !rows.Eof(); rows.MoveNext()) {
    persons.push_back({Int(rows, 0), Text(rows, 1), OptionalInt(rows, 2), OptionalInt(rows, 3)});
  }
  return persons;
}

// "personPlan.personID IN (?, ...)" for the persons, their ids bound.
void AppendPersonIds(const std::vector<Person>& persons, std::string& sql,
                     std::vector<store::SqlParam>& params) {
  sql += "personPlan.personID IN (";
  for (std::size_t i = 0; i < persons.size(); ++i) {
    sql += i == 0 ? "?" : ", ?";
    params.push_back(store::SqlParam::Integer(persons[i].id));
  }
  sql += ")";
}

// The WHERE of the leader's list as a page of it: the persons of the
// leader list (the operator's condition, translated, stays inside the
// subquery) that the filter keeps.
std::string LeaderListWhere(store::Engine engine, std::string_view cond, const PersonFilter& filter,
                            std::int64_t system_id, std::vector<store::SqlParam>& params) {
  std::string where = " WHERE person.personID IN (" +
                      LeaderListSelect(engine, "person.personID", cond) + ")";
  params.push_back(store::SqlParam::Integer(system_id));
  AppendPersonFilter(filter, where, params);
  return where;
}

// " AND ..." for the plans a viewer sees (others' shared ones, all of his
// or her own) that touch the days, of one of `kinds` when given.
void AppendSeenPlans(std::string& sql, std::vector<store::SqlParam>& params,
                     std::int64_t viewer_id, const DateTime& first, const DateTime& last,
                     const std::vector<std::int64_t>& kinds) {
  sql += " AND (personPlan.planFlagID = 1 OR personPlan.personID = ?)";
  sql += kTouchesDays;
  params.push_back(store::SqlParam::Integer(viewer_id));
  params.push_back(StartsBefore(last));
  params.push_back(store::SqlParam::Date(first));
  if (!kinds.empty()) {
    sql += " AND personPlan.planAddrTypeID IN (";
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      sql += i == 0 ? "?" : ", ?";
      params.push_back(store::SqlParam::Integer(kinds[i]));
    }
    sql += ")";
  }
}

// The WHERE of who is away: current persons of the system that the filter
// keeps with a plan the viewer sees on those days.
std::string AwayWhere(std::int64_t system_id, std::int64_t viewer_id, const DateTime& first,
                      const DateTime& last, const std::vector<std::int64_t>& kinds,
                      const PersonFilter& filter, std::vector<store::SqlParam>& params) {
  std::string where = " WHERE person.systemID = ? AND " + plans::NotRetired("person.personID");
  params.push_back(store::SqlParam::Integer(system_id));
  AppendPersonFilter(filter, where, params);
  where +=
      " AND EXISTS (SELECT 1 FROM personPlan WHERE personPlan.personID = person.personID";
  AppendSeenPlans(where, params, viewer_id, first, last, kinds);
  where += ")";
  return where;
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
                    plans::NotRetired("personID") + ")";
  std::vector<store::SqlParam> params{store::SqlParam::Integer(system_id)};
  AppendSeenPlans(sql, params, viewer_id, first, last, kinds);
  sql += kPlanOrder;
  return ReadDated(db.Query(sql, params));
}

std::int64_t CountLeaderListPersons(store::Connection& db, std::int64_t system_id,
                                    std::string_view cond, const PersonFilter& filter) {
  std::vector<store::SqlParam> params;
  const std::string where = LeaderListWhere(db.engine(), cond, filter, system_id, params);
  const store::RecordSet rows = db.QueryStored("SELECT COUNT(*) FROM person" + where, params);
  return Int(rows, 0);
}

std::vector<Person> LeaderListWindow(store::Connection& db, std::int64_t system_id,
                                     std::string_view cond, const PersonFilter& filter,
                                     std::size_t offset, std::size_t limit) {
  std::vector<store::SqlParam> params;
  std::string sql = "SELECT " + std::string(kPersonColumns) + std::string(kWithDutyOrder) +
                    LeaderListWhere(db.engine(), cond, filter, system_id, params) +
                    std::string(kDutyOrder);
  if (limit > 0 || offset > 0) {
    sql += store::RowWindow(db.engine(), offset, limit > 0 ? limit : kAllRows);
  }
  return ReadPersons(db.QueryStored(sql, params));
}

std::vector<DepartmentPlan> PlansOfPersons(store::Connection& db,
                                           const std::vector<Person>& persons,
                                           const DateTime& first, const DateTime& last) {
  if (persons.empty()) return {};
  std::vector<store::SqlParam> params;
  std::string sql = PlanSelect(db.engine()) + "WHERE ";
  AppendPersonIds(persons, sql, params);
  sql += " AND personPlan.planFlagID = 1";
  sql += kTouchesDays;
  sql += kPlanOrder;
  params.push_back(StartsBefore(last));
  params.push_back(store::SqlParam::Date(first));
  return ReadDated(db.QueryStored(sql, params));
}

std::int64_t CountAwayPersons(store::Connection& db, std::int64_t system_id,
                              std::int64_t viewer_id, const DateTime& first, const DateTime& last,
                              const std::vector<std::int64_t>& kinds, const PersonFilter& filter) {
  std::vector<store::SqlParam> params;
  const std::string where = AwayWhere(system_id, viewer_id, first, last, kinds, filter, params);
  const store::RecordSet rows = db.QueryStored("SELECT COUNT(*) FROM person" + where, params);
  return Int(rows, 0);
}

std::vector<Person> AwayPersonsWindow(store::Connection& db, std::int64_t system_id,
                                      std::int64_t viewer_id, const DateTime& first,
                                      const DateTime& last,
                                      const std::vector<std::int64_t>& kinds,
                                      const PersonFilter& filter, std::size_t offset,
                                      std::size_t limit) {
  std::vector<store::SqlParam> params;
  std::string sql = "SELECT " + std::string(kPersonColumns) + std::string(kWithDutyOrder) +
                    AwayWhere(system_id, viewer_id, first, last, kinds, filter, params) +
                    std::string(kDutyOrder);
  if (limit > 0 || offset > 0) {
    sql += store::RowWindow(db.engine(), offset, limit > 0 ? limit : kAllRows);
  }
  return ReadPersons(db.QueryStored(sql, params));
}

std::vector<DepartmentPlan> SystemPlansOf(store::Connection& db, const std::vector<Person>& persons,
                                          std::int64_t viewer_id, const DateTime& first,
                                          const DateTime& last,
                                          const std::vector<std::int64_t>& kinds) {
  if (persons.empty()) return {};
  std::vector<store::SqlParam> params;
  std::string sql = PlanSelect(db.engine()) + "WHERE ";
  AppendPersonIds(persons, sql, params);
  AppendSeenPlans(sql, params, viewer_id, first, last, kinds);
  sql += kPlanOrder;
  return ReadDated(db.Query(sql, params));
}

}  // namespace ostrand::web
