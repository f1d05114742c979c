#include "web/data/plan_repository.h"

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

std::optional<std::int64_t> OptionalInt(const Statement& row, int column) {
  if (row.IsNull(column)) return std::nullopt;
  return row.Int(column);
}

StoredPlan ReadPlan(const Statement& row) {
  StoredPlan plan;
  plan.id = row.Int(0);
  plan.start_text = row.Text(1);
  plan.end_text = row.Text(2);
  plan.start = DateTime::Parse(plan.start_text);
  plan.end = DateTime::Parse(plan.end_text);
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

std::int64_t PlanRepository::Add(std::int64_t person_id, const PlanInput& plan) {
  HostDatabase::Transaction transaction(db_);
  Statement insert = db_.Prepare(
      "INSERT INTO personPlan (planStartTime, planEndTime, planAddrTypeID, planAddrID, "
      "planAddrDetail, planContent, planAddition, planFlagID, personID) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
  BindPlan(insert, plan);
  insert.Bind(9, person_id).Run();
  const std::int64_t id = db_.LastInsertId();
  transaction.Commit();
  return id;
}

bool PlanRepository::Update(std::int64_t person_id, std::int64_t plan_id, const PlanInput& plan) {
  HostDatabase::Transaction transaction(db_);
  Statement update = db_.Prepare(
      "UPDATE personPlan SET planStartTime = ?, planEndTime = ?, planAddrTypeID = ?, "
      "planAddrID = ?, planAddrDetail = ?, planContent = ?, planAddition = ?, planFlagID = ? "
      "WHERE personID = ? AND planID = ?");
  BindPlan(update, plan);
  update.Bind(9, person_id).Bind(10, plan_id).Run();
  const bool changed = db_.Changes() > 0;
  transaction.Commit();
  return changed;
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
