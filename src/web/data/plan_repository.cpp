#include "web/data/plan_repository.h"

#include <algorithm>
#include <array>
#include <utility>

#include "store/connection.h"
#include "web/data/plan_changes.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

// A stored time as its text, so that a time another program wrote in a form
// that reads as no date still shows as it was written.
std::string TimeText(store::Engine engine, std::string_view column) {
  if (engine == store::Engine::kSqlServer) {
    return "CONVERT(VARCHAR(19), " + std::string(column) + ", 120)";
  }
  return "CAST(" + std::string(column) + " AS TEXT)";
}

std::string PlanColumns(store::Engine engine) {
  return "SELECT personPlan.planID, " + TimeText(engine, "personPlan.planStartTime") + ", " +
         TimeText(engine, "personPlan.planEndTime") +
         ", personPlan.planAddrTypeID, personPlan.planAddrID, planAddrType.planAddrTypeName, "
         "planAddr.planAddrName, personPlan.planAddrDetail, personPlan.planContent, "
         "personPlan.planAddition, personPlan.planFlagID "
         "FROM personPlan "
         "LEFT JOIN planAddrType ON planAddrType.planAddrTypeID = personPlan.planAddrTypeID "
         "LEFT JOIN planAddr ON planAddr.planAddrID = personPlan.planAddrID ";
}

StoredPlan ReadPlan(const store::RecordSet& row) {
  StoredPlan plan;
  plan.id = Int(row, 0);
  plan.start_text = Text(row, 1);
  plan.end_text = Text(row, 2);
  plan.start = store::ReadStoredDateTime(plan.start_text);
  plan.end = store::ReadStoredDateTime(plan.end_text);
  plan.kind_id = OptionalInt(row, 3);
  plan.place_id = OptionalInt(row, 4);
  plan.kind_name = Text(row, 5);
  plan.place_name = Text(row, 6);
  plan.detail = OptionalText(row, 7);
  plan.content = OptionalText(row, 8);
  plan.addition = OptionalText(row, 9);
  plan.flag = OptionalInt(row, 10);
  return plan;
}

std::vector<StoredPlan> ReadPlans(store::RecordSet rows) {
  std::vector<StoredPlan> plans;
  for (; !rows.Eof(); rows.MoveNext()) plans.push_back(ReadPlan(rows));
  return plans;
}

// Whether the person's plan is shared now (1 or 0); no row without such a
// plan.
constexpr std::string_view kSharedNowSql =
    "SELECT CASE WHEN planFlagID = 1 THEN 1 ELSE 0 END FROM personPlan "
    "WHERE personID = ? AND planID = ?";

// The plan's fields in the column order of the INSERT and UPDATE below,
// followed by `rest`.
std::vector<store::SqlParam> PlanParams(const PlanInput& plan,
                                        std::initializer_list<std::int64_t> rest) {
  std::vector<store::SqlParam> params{store::SqlParam::Timestamp(plan.start),
                                      store::SqlParam::Timestamp(plan.end),
                                      store::SqlParam::Integer(plan.kind_id),
                                      store::SqlParam::Integer(plan.place_id),
                                      store::SqlParam::OptionalText(plan.detail),
                                      store::SqlParam::OptionalText(plan.content),
                                      store::SqlParam::OptionalText(plan.addition),
                                      store::SqlParam::Integer(plan.flag)};
  for (const std::int64_t id : rest) params.push_back(store::SqlParam::Integer(id));
  return params;
}

}  // namespace

std::vector<PlaceKind> PlanRepository::PlaceKinds() {
  std::vector<PlaceKind> kinds;
  for (store::RecordSet rows = db_.Query(
           "SELECT planAddrTypeID, planAddrTypeName FROM planAddrType ORDER BY planAddrTypeID");
       !rows.Eof(); rows.MoveNext()) {
    kinds.push_back({Int(rows, 0), Text(rows, 1)});
  }
  return kinds;
}

std::vector<Place> PlanRepository::Places() {
  std::vector<Place> places;
  for (store::RecordSet rows = db_.Query(
           "SELECT planAddrID, planAddrName, planAddrTypeID FROM planAddr ORDER BY planAddrID");
       !rows.Eof(); rows.MoveNext()) {
    places.push_back({Int(rows, 0), Text(rows, 1), OptionalInt(rows, 2)});
  }
  return places;
}

std::vector<StoredPlan> PlanRepository::PlansOfDay(std::int64_t person_id, const DateTime& day) {
  return PlansBetween(person_id, day, day);
}

std::vector<StoredPlan> PlanRepository::PlansBetween(std::int64_t person_id,
                                                     const DateTime& first, const DateTime& last) {
  // Plans that start before the day after `last` and end on `first` or
  // later. A date compares with a stored time as its midnight, so a plan
  // stored with a bare date as its end still covers that day.
  const std::array params{store::SqlParam::Integer(person_id),
                          store::SqlParam::Date(last.DateOnly().AddDays(1)),
                          store::SqlParam::Date(first.DateOnly())};
  return ReadPlans(db_.Query(PlanColumns(db_.engine()) +
                                 "WHERE personPlan.personID = ? "
                                 "AND personPlan.planStartTime < ? "
                                 "AND personPlan.planEndTime >= ? "
                                 "ORDER BY personPlan.planStartTime, personPlan.planID",
                             params));
}

std::optional<StoredPlan> PlanRepository::FindPlan(std::int64_t person_id, std::int64_t plan_id) {
  const std::array params{store::SqlParam::Integer(person_id), store::SqlParam::Integer(plan_id)};
  const store::RecordSet rows =
      db_.Query(PlanColumns(db_.engine()) +
                    "WHERE personPlan.personID = ? AND personPlan.planID = ?",
                params);
  if (rows.Eof()) return std::nullopt;
  return ReadPlan(rows);
}

std::optional<DateTime> PlanRepository::FirstFullDay(std::int64_t person_id, const DateTime& first,
                                                     const DateTime& last, std::size_t limit,
                                                     std::int64_t except) {
  const std::array params{store::SqlParam::Integer(person_id), store::SqlParam::Integer(except),
                          store::SqlParam::Date(last.AddDays(1)), store::SqlParam::Date(first)};
  const store::Engine engine = db_.engine();
  store::RecordSet rows =
      db_.Query("SELECT " + TimeText(engine, "planStartTime") + ", " +
                    TimeText(engine, "planEndTime") +
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
  // SQLite's write transaction holds the whole database already; a server
  // locks the person's row, so that parallel writes for one person count
  // one after the other.
  const std::array params{store::SqlParam::Integer(person_id)};
  switch (db_.engine()) {
    case store::Engine::kPostgresql:
      db_.Query("SELECT personID FROM person WHERE personID = ? FOR UPDATE", params);
      break;
    case store::Engine::kSqlServer:
      db_.Query("SELECT personID FROM person WITH (UPDLOCK, HOLDLOCK) WHERE personID = ?", params);
      break;
    case store::Engine::kSqlite:
      break;
  }
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
      "INSERT INTO personPlan (planStartTime, planEndTime, planAddrTypeID, planAddrID, "
      "planAddrDetail, planContent, planAddition, planFlagID, personID) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
      PlanParams(plan, {person_id}), "planID");
  RecordPlanChange(db_, person_id, plan_id, plan.flag == kSharedPlan, UtcNow());
  return plan_id;
}

PlanWrite PlanRepository::Update(std::int64_t person_id, std::int64_t plan_id,
                                 const PlanInput& plan, std::size_t per_day_limit) {
  store::Transaction transaction(db_);
  LockPerson(person_id);
  PlanWrite write;
  const std::array ids{store::SqlParam::Integer(person_id), store::SqlParam::Integer(plan_id)};
  const store::RecordSet before =
      db_.Query(std::string(kSharedNowSql), ids);
  if (before.Eof()) return write;
  const bool was_shared = Int(before, 0) == 1;
  write.full_day =
      FirstFullDay(person_id, plan.start.DateOnly(), plan.end.DateOnly(), per_day_limit, plan_id);
  if (write.full_day) return write;
  const std::int64_t changed = db_.Execute(
      "UPDATE personPlan SET planStartTime = ?, planEndTime = ?, planAddrTypeID = ?, "
      "planAddrID = ?, planAddrDetail = ?, planContent = ?, planAddition = ?, planFlagID = ? "
      "WHERE personID = ? AND planID = ?",
      PlanParams(plan, {person_id, plan_id}));
  if (changed > 0) {
    write.plan_id = plan_id;
    RecordPlanChange(db_, person_id, plan_id, was_shared || plan.flag == kSharedPlan, UtcNow());
  }
  transaction.Commit();
  return write;
}

bool PlanRepository::Remove(std::int64_t person_id, std::int64_t plan_id) {
  store::Transaction transaction(db_);
  const std::array params{store::SqlParam::Integer(person_id), store::SqlParam::Integer(plan_id)};
  const store::RecordSet before =
      db_.Query(std::string(kSharedNowSql), params);
  if (before.Eof()) return false;
  const bool was_shared = Int(before, 0) == 1;
  const std::int64_t changed =
      db_.Execute("DELETE FROM personPlan WHERE personID = ? AND planID = ?", params);
  if (changed > 0) RecordPlanChange(db_, person_id, plan_id, was_shared, UtcNow());
  transaction.Commit();
  return changed > 0;
}

}  // namespace ostrand::web
