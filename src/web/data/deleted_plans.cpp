// The deleted plans kept for undo (hostDeletedPlan): PlanRepository's
// Remove, RecentlyDeleted, FindDeleted and Restore (plan_repository.h).
#include <array>
#include <string>

#include "store/engine_sql.h"
#include "web/data/outbox.h"
#include "web/data/plan_changes.h"
#include "web/data/plan_events.h"
#include "web/data/plan_repository.h"
#include "web/data/plan_rows.h"
#include "web/data/row_values.h"

namespace ostrand::web {

std::optional<std::int64_t> PlanRepository::Remove(std::int64_t person_id, std::int64_t plan_id,
                                                   const DateTime& now) {
  store::Transaction transaction(db_);
  LockPerson(person_id);
  const std::optional<std::int64_t> deleted_id = MoveToDeleted(person_id, plan_id, now);
  if (deleted_id) transaction.Commit();
  return deleted_id;
}

std::optional<std::int64_t> PlanRepository::MoveToDeleted(std::int64_t person_id,
                                                          std::int64_t plan_id,
                                                          const DateTime& now) {
  const std::array forget{store::SqlParam::Timestamp(now.AddDays(-kKeepDeletedDays))};
  db_.Execute("DELETE FROM hostDeletedPlan WHERE deletedAt < ?", forget);
  const std::optional<StoredPlan> was = FindPlan(person_id, plan_id);
  if (!was) return std::nullopt;
  const std::optional<bool> was_shared = was->flag == store::kSharedPlanFlag;
  const std::array ids{store::SqlParam::Integer(person_id), store::SqlParam::Integer(plan_id)};
  const std::array params{store::SqlParam::Timestamp(now), store::SqlParam::Integer(person_id),
                          store::SqlParam::Integer(plan_id)};
  const std::string kept(kKeptPlanColumns);
  if (db_.Execute("INSERT INTO hostDeletedPlan (deletedAt, planID, " + kept + ") SELECT " +
                      std::string(store::TimestampParam(db_.engine())) + ", planID, " + kept +
                      " FROM personPlan WHERE personID = ? AND planID = ?",
                  params) == 0) {
    return std::nullopt;
  }
  db_.Execute("DELETE FROM personPlan WHERE personID = ? AND planID = ?", ids);
  RecordPlanChange(db_, person_id, plan_id, *was_shared, UtcNow());
  AddPlanEvent(db_, kPlanDeleted, *was, actor_);
  // The person's row is locked: the entry just written is the person's latest.
  const std::int64_t deleted_id =
      Int(db_.Query("SELECT MAX(deletedID) FROM hostDeletedPlan WHERE personID = ? AND planID = ?",
                    ids),
          0);
  return deleted_id;
}

namespace {

DeletedPlan ReadDeleted(const store::RecordSet& row) {
  DeletedPlan deleted;
  deleted.plan = ReadPlan(row);
  deleted.deleted_id = ReadDeletedId(row);
  deleted.deleted_at = ReadDeletedAt(row);
  return deleted;
}

}  // namespace

std::vector<DeletedPlan> PlanRepository::RecentlyDeleted(std::int64_t person_id) {
  const std::array params{store::SqlParam::Integer(person_id)};
  std::vector<DeletedPlan> deleted;
  for (store::RecordSet rows =
           db_.Query(PlanSelect(db_.engine(), "hostDeletedPlan") +
                         "WHERE hostDeletedPlan.personID = ? "
                         "ORDER BY hostDeletedPlan.deletedAt DESC, hostDeletedPlan.deletedID DESC",
                     params);
       !rows.Eof(); rows.MoveNext()) {
    deleted.push_back(ReadDeleted(rows));
  }
  return deleted;
}

std::optional<DeletedPlan> PlanRepository::FindDeleted(std::int64_t person_id,
                                                       std::int64_t deleted_id) {
  const std::array params{store::SqlParam::Integer(person_id),
                          store::SqlParam::Integer(deleted_id)};
  const store::RecordSet rows = db_.Query(PlanSelect(db_.engine(), "hostDeletedPlan") +
                                              "WHERE hostDeletedPlan.personID = ? "
                                              "AND hostDeletedPlan.deletedID = ?",
                                          params);
  if (rows.Eof()) return std::nullopt;
  return ReadDeleted(rows);
}

PlanWrite PlanRepository::Restore(std::int64_t person_id, std::int64_t deleted_id,
                                  std::size_t per_day_limit) {
  store::Transaction transaction(db_);
  LockPerson(person_id);
  PlanWrite write;
  const std::optional<DeletedPlan> deleted = FindDeleted(person_id, deleted_id);
  if (!deleted) return write;
  const StoredPlan& plan = deleted->plan;
  if (plan.start && plan.end) {
    write.full_day =
        FirstFullDay(person_id, plan.start->DateOnly(), plan.end->DateOnly(), per_day_limit, 0);
    if (write.full_day) return write;
  }
  const std::array entry{store::SqlParam::Integer(deleted_id), store::SqlParam::Integer(person_id)};
  const std::array old_id{store::SqlParam::Integer(plan.id)};
  const bool keep_id = store::InsertsGivenIds(db_.engine()) &&
                       db_.Query("SELECT 1 FROM personPlan WHERE planID = ?", old_id).Eof();
  const std::string kept(kKeptPlanColumns);
  const std::string id_column = keep_id ? "planID, " : "";
  db_.Execute("INSERT INTO personPlan (" + id_column + kept + ") SELECT " + id_column + kept +
                  " FROM hostDeletedPlan WHERE deletedID = ? AND personID = ?",
              entry);
  if (keep_id) {
    write.plan_id = plan.id;
  } else {
    // The person's row is locked: the plan just written has the person's
    // highest id.
    const std::array person{store::SqlParam::Integer(person_id)};
    write.plan_id =
        Int(db_.Query("SELECT MAX(planID) FROM personPlan WHERE personID = ?", person), 0);
  }
  db_.Execute("DELETE FROM hostDeletedPlan WHERE deletedID = ? AND personID = ?", entry);
  RecordPlanChange(db_, person_id, write.plan_id, plan.flag == store::kSharedPlanFlag, UtcNow());
  TellOf(kPlanRestored, person_id, write.plan_id);
  transaction.Commit();
  return write;
}

}  // namespace ostrand::web
