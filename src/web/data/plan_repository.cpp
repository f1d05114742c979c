#include "web/data/plan_repository.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "store/connection.h"
#include "store/engine_sql.h"
#include "web/data/outbox.h"
#include "web/data/plan_changes.h"
#include "web/data/plan_events.h"
#include "web/data/plan_rows.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

// The plan's values (PlanValues) followed by `rest`.
std::vector<store::SqlParam> PlanParams(const PlanInput& plan,
                                        std::initializer_list<std::int64_t> rest) {
  std::vector<store::SqlParam> params = PlanValues(plan);
  for (const std::int64_t id : rest) params.push_back(store::SqlParam::Integer(id));
  return params;
}

}  // namespace

store::SqlParam StartsBefore(const DateTime& last) {
  const DateTime day = last.DateOnly();
  if (day == DateTime::FromCivil(9999, 12, 31)) {
    return store::SqlParam::Timestamp(DateTime::FromCivil(9999, 12, 31, 23, 59, 59));
  }
  return store::SqlParam::Date(day.AddDays(1));
}

std::vector<PlaceKind> PlanRepository::PlaceKinds() {
  std::vector<PlaceKind> kinds;
  for (store::RecordSet rows = db_.QueryStored(
           "SELECT planAddrTypeID, planAddrTypeName FROM planAddrType ORDER BY planAddrTypeID");
       !rows.Eof(); rows.MoveNext()) {
    kinds.push_back({Int(rows, 0), Text(rows, 1)});
  }
  return kinds;
}

std::vector<Place> PlanRepository::Places() {
  std::vector<Place> places;
  for (store::RecordSet rows = db_.QueryStored(
           "SELECT planAddrID, planAddrName, planAddrTypeID FROM planAddr ORDER BY planAddrID");
       !rows.Eof(); rows.MoveNext()) {
    places.push_back({Int(rows, 0), Text(rows, 1), OptionalInt(rows, 2)});
  }
  return places;
}

std::vector<StoredPlan> PlanRepository::PlansBetween(std::int64_t person_id,
                                                     const DateTime& first, const DateTime& last) {
  // Plans that start before the day after `last` and end on `first` or
  // later. A date compares with a stored time as its midnight, so a plan
  // stored with a bare date as its end still covers that day.
  const std::array params{store::SqlParam::Integer(person_id),
                          StartsBefore(last),
                          store::SqlParam::Date(first.DateOnly())};
  return ReadPlans(db_.Query(PlanSelect(db_.engine()) +
                                 "WHERE personPlan.personID = ? "
                                 "AND personPlan.planStartTime < ? "
                                 "AND personPlan.planEndTime >= ? "
                                 "ORDER BY personPlan.planStartTime, personPlan.planID",
                             params));
}

std::optional<StoredPlan> PlanRepository::FindPlan(std::int64_t person_id, std::int64_t plan_id) {
  const std::array params{store::SqlParam::Integer(person_id), store::SqlParam::Integer(plan_id)};
  const store::RecordSet rows =
      db_.Query(PlanSelect(db_.engine()) +
                    "WHERE personPlan.personID = ? AND personPlan.planID = ?",
                params);
  if (rows.Eof()) return std::nullopt;
  return ReadPlan(rows);
}

std::optional<DateTime> PlanRepository::FirstFullDay(std::int64_t person_id, const DateTime& first,
                                                     const DateTime& last, std::size_t limit,
                                                     std::int64_t except) {
  const std::array params{store::SqlParam::Integer(person_id), store::SqlParam::Integer(except),
                          StartsBefore(last), store::SqlParam::Date(first)};
  const store::Engine engine = db_.engine();
  store::RecordSet rows =
      db_.Query("SELECT " + store::TimeText(engine, "planStartTime") + ", " +
                    store::TimeText(engine, "planEndTime") +
                    " FROM personPlan WHERE personID = ? AND planID <> ? "
                    "AND planStartTime < ? AND planEndTime >= ?",
                params);
  // Each plan adds one on its first day within the range and takes it back
  // after its last; the running sum is the day's count.
  std::vector<std::pair<std::int64_t, int>> changes;
  for (; !rows.Eof(); rows.MoveNext()) {
    const std::optional<DateTime> start = store::ReadStoredDateTime(Text(rows, 0));
    const std::optional<DateTime> end = store::ReadStoredDateTime(Text(rows, 1));
    if (!start || !end || end->day() < start->day()) continue;
    changes.emplace_back(std::max(start->day(), first.day()), 1);
    changes.emplace_back(std::min(end->day(), last.day()) + 1, -1);
  }
  std::sort(changes.begin(), changes.end());
  std::size_t count = 0;
  for (const auto& [day, change] : changes) {
    count = change > 0 ? count + 1 : count - 1;
    if (count >= limit) return DateTime::FromSerial(day, 0);
  }
  return std::nullopt;
}

void PlanRepository::LockPerson(std::int64_t person_id) {
  // Parallel writes for one person count one after the other.
  store::LockRow(db_, "person", "personID", person_id);
}

PlanWrite PlanRepository::Add(std::int64_t person_id, const PlanInput& plan,
                              std::size_t per_day_limit) {
  store::Transaction transaction(db_);
  LockPerson(person_id);
  PlanWrite write;
  write.full_day =
      FirstFullDay(person_id, plan.start.DateOnly(), plan.end.DateOnly(), per_day_limit, 0);
  if (write.full_day) return write;
  write.plan_id = Insert(person_id, plan);
  transaction.Commit();
  return write;
}

std::int64_t PlanRepository::Insert(std::int64_t person_id, const PlanInput& plan) {
  const std::int64_t plan_id = db_.InsertReturningId(
      InsertPlanSql(), PlanParams(plan, {person_id}), "planID");
  RecordNewPlan(db_, person_id, plan_id, plan.flag == store::kSharedPlanFlag, UtcNow());
  TellOf(kPlanAdded, person_id, plan_id);
  return plan_id;
}

PlanWrite PlanRepository::Update(std::int64_t person_id, std::int64_t plan_id,
                                 const PlanInput& plan, std::size_t per_day_limit) {
  store::Transaction transaction(db_);
  LockPerson(person_id);
  PlanWrite write;
  const std::optional<bool> was_shared = SharedNow(person_id, plan_id);
  if (!was_shared) return write;
  write.full_day =
      FirstFullDay(person_id, plan.start.DateOnly(), plan.end.DateOnly(), per_day_limit, plan_id);
  if (write.full_day) return write;
  const std::int64_t changed = db_.Execute(
      UpdatePlanSql(), PlanParams(plan, {person_id, plan_id}));
  if (changed > 0) {
    write.plan_id = plan_id;
    RecordPlanChange(db_, person_id, plan_id, *was_shared || plan.flag == store::kSharedPlanFlag, UtcNow());
    TellOf(kPlanChanged, person_id, plan_id);
  }
  transaction.Commit();
  return write;
}

PlanWrite PlanRepository::AddAll(std::int64_t person_id, const std::vector<PlanInput>& plans,
                                 std::size_t per_day_limit) {
  store::Transaction transaction(db_);
  LockPerson(person_id);
  PlanWrite write;
  // Each check counts the copies written before it in this transaction.
  for (const PlanInput& plan : plans) {
    write.full_day =
        FirstFullDay(person_id, plan.start.DateOnly(), plan.end.DateOnly(), per_day_limit, 0);
    if (write.full_day) return PlanWrite{0, write.full_day};
    const std::int64_t id = Insert(person_id, plan);
    if (write.plan_id == 0) write.plan_id = id;
  }
  transaction.Commit();
  return write;
}

std::vector<StoredPlan> PlanRepository::Overlapping(std::int64_t person_id,
                                                    const StoredPlan& plan) {
  if (!plan.start || !plan.end) return {};
  const std::array params{store::SqlParam::Integer(person_id), store::SqlParam::Integer(plan.id),
                          store::SqlParam::Timestamp(*plan.end),
                          store::SqlParam::Timestamp(*plan.start),
                          store::SqlParam::Timestamp(*plan.start)};
  std::vector<StoredPlan> found = ReadPlans(
      db_.Query(PlanSelect(db_.engine()) +
                    "WHERE personPlan.personID = ? AND personPlan.planID <> ? "
                    "AND ((personPlan.planStartTime < ? AND personPlan.planEndTime > ?) "
                    "OR personPlan.planStartTime = ?) "
                    "ORDER BY personPlan.planStartTime, personPlan.planID",
                params));
  // The database compares stored texts on SQLite; the times decide.
  std::erase_if(found, [&](const StoredPlan& other) {
    if (!other.start || !other.end) return true;
    const bool same_start = *other.start == *plan.start;
    return !same_start && !(*other.start < *plan.end && *plan.start < *other.end);
  });
  return found;
}

void PlanRepository::TellOf(std::string_view kind, std::int64_t person_id,
                            std::int64_t plan_id) {
  if (const std::optional<StoredPlan> plan = FindPlan(person_id, plan_id)) {
    AddPlanEvent(db_, kind, *plan, actor_);
  }
}

std::optional<bool> PlanRepository::SharedNow(std::int64_t person_id, std::int64_t plan_id) {
  const std::array ids{store::SqlParam::Integer(person_id), store::SqlParam::Integer(plan_id)};
  const store::RecordSet row =
      db_.Query("SELECT CASE WHEN planFlagID = 1 THEN 1 ELSE 0 END FROM personPlan "
                "WHERE personID = ? AND planID = ?",
                ids);
  if (row.Eof()) return std::nullopt;
  return Int(row, 0) == 1;
}

}  // namespace ostrand::web
