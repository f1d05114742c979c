#include "web/data/plan_repository.h"

#include <algorithm>
#include <utility>

#include "web/http/request_values.h"

namespace ostrand::web {
namespace {

constexpr std::string_view kPlanColumns =
    "SELECT personPlan.planID, personPlan.planStartTime, personPlan.planEndTime, "
    "personPlan.planAddrTypeID, personPlan.planAddrID, planAddrType.planAddrTypeName, "
    "planAddr.planAddrName, personPlan.planAddrDetail, personPlan.planContent, "
    "personPlan.planAddition, personPlan.planFlagID "
    "FROM personPlan "
    "LEFT JOIN planAddrType ON planAddrType.planAddrTypeID = personPlan.planAddrTypeID "
    "LEFT JOIN planAddr ON planAddr.planAddrID = personPlan.planAddrID ";

std::optional<DateTime> ReadStoredTime(const std::string& text) {
  try {
    return DateTime::Parse(text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<std::int64_t> OptionalInt(const Statement& row, int column) {
  if (row.IsNull(column)) return std::nullopt;
  return row.Int(column);
}

StoredPlan ReadPlan(const Statement& row) {
  StoredPlan plan;
  plan.id = row.Int(0);
  plan.start_text = row.Text(1);
  plan.end_text = row.Text(2);
  plan.start = ReadStoredTime(plan.start_text);
  plan.end = ReadStoredTime(plan.end_text);
  plan.kind_id = OptionalInt(row, 3);
  plan.place_id = OptionalInt(row, 4);
  plan.kind_name = row.Text(5);
  plan.place_name = row.Text(6);
  plan.detail = row.OptionalText(7);
  plan.content = row.OptionalText(8);
  plan.addition = row.OptionalText(9);
  plan.flag = OptionalInt(row, 10);
  return plan;
}

// Binds the plan's fields to parameters 1..9 in the column order of the
// INSERT and UPDATE below.
void BindPlan(Statement& statement, const PlanInput& plan) {
  statement.Bind(1, std::string_view(StorageDateTime(plan.start)))
      .Bind(2, std::string_view(StorageDateTime(plan.end)))
      .Bind(3, plan.kind_id)
      .Bind(4, plan.place_id)
      .Bind(5, plan.detail)
      .Bind(6, plan.content)
      .Bind(7, plan.addition)
      .Bind(8, plan.flag);
}

}  // namespace

std::vector<PlaceKind> PlanRepository::PlaceKinds() {
  Statement query = db_.Prepare(
      "SELECT planAddrTypeID, planAddrTypeName FROM planAddrType ORDER BY planAddrTypeID");
  std::vector<PlaceKind> kinds;
  while (query.Step()) kinds.push_back({query.Int(0), query.Text(1)});
  return kinds;
}

std::vector<Place> PlanRepository::Places() {
  Statement query = db_.Prepare(
      "SELECT planAddrID, planAddrName, planAddrTypeID FROM planAddr ORDER BY planAddrID");
  std::vector<Place> places;
  while (query.Step()) places.push_back({query.Int(0), query.Text(1), OptionalInt(query, 2)});
  return places;
}

std::vector<StoredPlan> PlanRepository::PlansOfDay(std::int64_t person_id, const DateTime& day) {
  // Stored times are 'YYYY-MM-DD HH:MM:SS', so their first ten characters
  // compare as dates.
  Statement query = db_.Prepare(std::string(kPlanColumns) +
                                "WHERE personPlan.personID = ? "
                                "AND substr(personPlan.planStartTime, 1, 10) <= ? "
                                "AND substr(personPlan.planEndTime, 1, 10) >= ? "
                                "ORDER BY personPlan.planStartTime, personPlan.planID");
  const std::string date = IsoDate(day);
  query.Bind(1, person_id).Bind(2, std::string_view(date)).Bind(3, std::string_view(date));
  std::vector<StoredPlan> plans;
  while (query.Step()) plans.push_back(ReadPlan(query));
  return plans;
}

std::optional<StoredPlan> PlanRepository::FindPlan(std::int64_t person_id, std::int64_t plan_id) {
  Statement query = db_.Prepare(std::string(kPlanColumns) +
                                "WHERE personPlan.personID = ? AND personPlan.planID = ?");
  query.Bind(1, person_id).Bind(2, plan_id);
  if (!query.Step()) return std::nullopt;
  return ReadPlan(query);
}

std::optional<DateTime> PlanRepository::FirstFullDay(std::int64_t person_id, const DateTime& first,
                                                     const DateTime& last, std::size_t limit,
                                                     std::int64_t except) {
  Statement query = db_.Prepare(
      "SELECT substr(planStartTime, 1, 10), substr(planEndTime, 1, 10) FROM personPlan "
      "WHERE personID = ? AND planID <> ? "
      "AND substr(planStartTime, 1, 10) <= ? AND substr(planEndTime, 1, 10) >= ?");
  const std::string first_text = IsoDate(first);
  const std::string last_text = IsoDate(last);
  query.Bind(1, person_id)
      .Bind(2, except)
      .Bind(3, std::string_view(last_text))
      .Bind(4, std::string_view(first_text));
  // Each plan adds one on its first day within the range and takes it back
  // after its last; the running sum is the day's count.
  std::vector<std::pair<std::int64_t, int>> changes;
  while (query.Step()) {
    const std::optional<DateTime> start = ReadStoredTime(query.Text(0));
    const std::optional<DateTime> end = ReadStoredTime(query.Text(1));
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

PlanWrite PlanRepository::Add(std::int64_t person_id, const PlanInput& plan,
                              std::size_t per_day_limit) {
  HostDatabase::Transaction transaction(db_);
  PlanWrite write;
  write.full_day =
      FirstFullDay(person_id, plan.start.DateOnly(), plan.end.DateOnly(), per_day_limit, 0);
  if (write.full_day) return write;
  Statement insert = db_.Prepare(
      "INSERT INTO personPlan (planStartTime, planEndTime, planAddrTypeID, planAddrID, "
      "planAddrDetail, planContent, planAddition, planFlagID, personID) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
  BindPlan(insert, plan);
  insert.Bind(9, person_id).Run();
  write.plan_id = db_.LastInsertId();
  transaction.Commit();
  return write;
}

PlanWrite PlanRepository::Update(std::int64_t person_id, std::int64_t plan_id,
                                 const PlanInput& plan, std::size_t per_day_limit) {
  HostDatabase::Transaction transaction(db_);
  PlanWrite write;
  Statement exists = db_.Prepare("SELECT 1 FROM personPlan WHERE personID = ? AND planID = ?");
  exists.Bind(1, person_id).Bind(2, plan_id);
  if (!exists.Step()) return write;
  write.full_day =
      FirstFullDay(person_id, plan.start.DateOnly(), plan.end.DateOnly(), per_day_limit, plan_id);
  if (write.full_day) return write;
  Statement update = db_.Prepare(
      "UPDATE personPlan SET planStartTime = ?, planEndTime = ?, planAddrTypeID = ?, "
      "planAddrID = ?, planAddrDetail = ?, planContent = ?, planAddition = ?, planFlagID = ? "
      "WHERE personID = ? AND planID = ?");
  BindPlan(update, plan);
  update.Bind(9, person_id).Bind(10, plan_id).Run();
  if (db_.Changes() > 0) write.plan_id = plan_id;
  transaction.Commit();
  return write;
}

bool PlanRepository::Remove(std::int64_t person_id, std::int64_t plan_id) {
  HostDatabase::Transaction transaction(db_);
  Statement remove = db_.Prepare("DELETE FROM personPlan WHERE personID = ? AND planID = ?");
  remove.Bind(1, person_id).Bind(2, plan_id).Run();
  const bool changed = db_.Changes() > 0;
  transaction.Commit();
  return changed;
}

}  // namespace ostrand::web
