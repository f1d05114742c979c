#include "web/data/plan_changes.h"

#include <array>
#include <chrono>
#include <map>
#include <string>

#include "store/engine_sql.h"
#include "store/sql_param.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

std::optional<DateTime> StoredTime(const store::RecordSet& row, std::size_t column) {
  const std::optional<std::string> text = OptionalText(row, column);
  return text ? store::ReadStoredDateTime(*text) : std::nullopt;
}

// The name of hostSetting's row that writers of calendar changes lock one
// after the other.
constexpr std::string_view kChangeLockSetting = "calendarChangeLock";

// Holds the lock row until the caller's commit (an UPDATE locks it on every
// engine; SQLite's write transaction holds the whole database anyway).
void LockChangeNumbers(store::Connection& db) {
  const std::array name{store::SqlParam::Text(std::string(kChangeLockSetting))};
  store::UpdateOrInsert(db, "UPDATE hostSetting SET value = value WHERE name = ?", name,
                        "INSERT INTO hostSetting (name, value) VALUES (?, 1)", name);
}

void AppendCalendarChange(store::Connection& db, std::int64_t person_id,
                          std::optional<std::int64_t> plan_id,
                          std::optional<std::int64_t> object_id,
                          std::optional<std::string> object_name, bool seen_by_colleagues,
                          const DateTime& when) {
  if (plan_id && !object_id) {
    const std::array plan{store::SqlParam::Integer(*plan_id)};
    const store::RecordSet row = db.Query(
        "SELECT hostCalendarObject.objectID, hostCalendarObject.objectName "
        "FROM hostObjectPlan JOIN hostCalendarObject "
        "ON hostCalendarObject.objectID = hostObjectPlan.objectID "
        "WHERE hostObjectPlan.planID = ?",
        plan);
    if (!row.Eof()) {
      object_id = Int(row, 0);
      object_name = Text(row, 1);
    }
  }
  LockChangeNumbers(db);
  const auto integer = [](std::optional<std::int64_t> value) {
    return value ? store::SqlParam::Integer(*value) : store::SqlParam::Null();
  };
  const std::array params{store::SqlParam::Integer(person_id), integer(plan_id),
                          integer(object_id),
                          object_name ? store::SqlParam::Text(*object_name)
                                      : store::SqlParam::Null(),
                          store::SqlParam::Integer(seen_by_colleagues ? 1 : 0),
                          store::SqlParam::Timestamp(when)};
  db.Execute(
      "INSERT INTO hostCalendarChange (personID, planID, objectID, objectName, seenByColleagues, "
      "changedAt) VALUES (?, ?, ?, ?, ?, ?)",
      params);
}

}  // namespace

void RecordObjectChange(store::Connection& db, std::int64_t person_id, std::int64_t object_id,
                        std::string_view object_name, bool seen_by_colleagues,
                        const DateTime& when) {
  AppendCalendarChange(db, person_id, std::nullopt, object_id, std::string(object_name),
                       seen_by_colleagues, when);
}

void RecordPlanChange(store::Connection& db, std::int64_t person_id, std::int64_t plan_id,
                      bool seen_by_colleagues, const DateTime& when) {
  const store::SqlParam at = store::SqlParam::Timestamp(when);
  const store::SqlParam person = store::SqlParam::Integer(person_id);
  const store::SqlParam plan = store::SqlParam::Integer(plan_id);
  const std::array insert{plan, person, at, seen_by_colleagues ? at : store::SqlParam::Null()};
  constexpr std::string_view kInsert =
      "INSERT INTO hostPlanChange (planID, personID, revision, changedAt, sharedChangedAt) "
      "VALUES (?, ?, 0, ?, ?)";
  if (seen_by_colleagues) {
    store::UpdateOrInsert(db,
                          "UPDATE hostPlanChange SET personID = ?, revision = revision + 1, "
                          "changedAt = ?, sharedChangedAt = ? WHERE planID = ?",
                          std::array{person, at, at, plan}, kInsert, insert);
  } else {
    store::UpdateOrInsert(db,
                          "UPDATE hostPlanChange SET personID = ?, revision = revision + 1, "
                          "changedAt = ? WHERE planID = ?",
                          std::array{person, at, plan}, kInsert, insert);
  }
  AppendCalendarChange(db, person_id, plan_id, std::nullopt, std::nullopt, seen_by_colleagues,
                       when);
}

void RecordNewPlan(store::Connection& db, std::int64_t person_id, std::int64_t plan_id,
                   bool shared, const DateTime& when) {
  const store::SqlParam at = store::SqlParam::Timestamp(when);
  const store::SqlParam plan = store::SqlParam::Integer(plan_id);
  db.Execute("DELETE FROM hostPlanChange WHERE planID = ?", std::array{plan});
  db.Execute(
      "INSERT INTO hostPlanChange (planID, personID, revision, changedAt, sharedChangedAt) "
      "VALUES (?, ?, 0, ?, ?)",
      std::array{plan, store::SqlParam::Integer(person_id), at,
                 shared ? at : store::SqlParam::Null()});
  AppendCalendarChange(db, person_id, plan_id, std::nullopt, std::nullopt, shared, when);
}

std::int64_t PruneCalendarChanges(store::Connection& db, const DateTime& now) {
  store::Transaction transaction(db);
  LockChangeNumbers(db);
  const std::array cutoff{store::SqlParam::Timestamp(now.AddDays(-kKeepCalendarChangeDays))};
  const store::RecordSet highest =
      db.Query("SELECT MAX(changeNumber) FROM hostCalendarChange WHERE changedAt < ?", cutoff);
  const std::optional<std::int64_t> floor = highest.Eof() ? std::nullopt : OptionalInt(highest, 0);
  if (!floor) return 0;
  const std::array floor_params{store::SqlParam::Integer(*floor),
                                store::SqlParam::Text("calendarChangeFloor")};
  store::UpdateOrInsert(db, "UPDATE hostSetting SET value = ? WHERE name = ?", floor_params,
                        "INSERT INTO hostSetting (value, name) VALUES (?, ?)", floor_params);
  const std::array up_to{store::SqlParam::Integer(*floor)};
  const std::int64_t removed =
      db.Execute("DELETE FROM hostCalendarChange WHERE changeNumber <= ?", up_to);
  transaction.Commit();
  return removed;
}

void AddRecordedChanges(store::Connection& db, std::vector<plans::PersonPlans>& persons) {
  struct Change {
    std::int64_t revision;
    std::optional<DateTime> at;
  };
  for (plans::PersonPlans& person : persons) {
    if (person.plans.empty()) continue;
    std::map<std::int64_t, Change> changes;
    const std::array params{store::SqlParam::Integer(person.person_id)};
    for (store::RecordSet rows = db.Query(
             "SELECT planID, revision, changedAt FROM hostPlanChange WHERE personID = ?", params);
         !rows.Eof(); rows.MoveNext()) {
      changes[Int(rows, 0)] = {Int(rows, 1), StoredTime(rows, 2)};
    }
    for (plans::PlanRecord& plan : person.plans) {
      const auto found = changes.find(plan.id);
      if (found == changes.end()) continue;
      plan.revision = found->second.revision;
      plan.last_modified = found->second.at;
    }
  }
}

std::optional<DateTime> LatestRecordedChange(store::Connection& db,
                                             std::span<const std::int64_t> person_ids,
                                             bool colleagues_only) {
  const std::string sql = colleagues_only
                              ? "SELECT MAX(sharedChangedAt) FROM hostPlanChange WHERE personID = ?"
                              : "SELECT MAX(changedAt) FROM hostPlanChange WHERE personID = ?";
  std::optional<DateTime> latest;
  for (const std::int64_t id : person_ids) {
    const std::array params{store::SqlParam::Integer(id)};
    const store::RecordSet rows = db.Query(sql, params);
    if (rows.Eof()) continue;
    const std::optional<DateTime> at = StoredTime(rows, 0);
    if (at && (!latest || *at > *latest)) latest = at;
  }
  return latest;
}

DateTime UtcNow() {
  const std::int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count();
  // Day 0 of the serials is 1899-12-30; the Unix epoch is day 25569.
  constexpr std::int64_t kUnixEpochSerial = 25569;
  const std::int64_t day = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  return DateTime::FromSerial(kUnixEpochSerial + day, static_cast<std::int32_t>(seconds - day * 86400));
}

}  // namespace ostrand::web
