#include "web/data/plan_series.h"

#include <algorithm>
#include <array>
#include <map>
#include <vector>

#include "web/data/outbox.h"
#include "web/data/plan_changes.h"
#include "web/data/plan_events.h"
#include "web/data/plan_rows.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

struct SeriesRow {
  std::int64_t object_id = 0;
  std::string name;
  std::string text;
  std::map<std::string, std::int64_t> live;  // recurrence id -> plan id, plans that exist
};

// The object of the person's plan and its plans that exist now.
std::optional<SeriesRow> LoadSeries(store::Connection& db, std::int64_t person_id,
                                    std::int64_t plan_id) {
  const std::array ids{store::SqlParam::Integer(plan_id), store::SqlParam::Integer(person_id)};
  const store::RecordSet object = db.Query(
      "SELECT hostCalendarObject.objectID, hostCalendarObject.objectName, "
      "hostCalendarObject.calendarText FROM hostObjectPlan JOIN hostCalendarObject "
      "ON hostCalendarObject.objectID = hostObjectPlan.objectID "
      "WHERE hostObjectPlan.planID = ? AND hostCalendarObject.personID = ?",
      ids);
  if (object.Eof()) return std::nullopt;
  SeriesRow row{Int(object, 0), Text(object, 1), Text(object, 2), {}};
  const std::array params{store::SqlParam::Integer(row.object_id),
                          store::SqlParam::Integer(person_id)};
  for (store::RecordSet plans = db.Query(
           "SELECT hostObjectPlan.recurrenceID, hostObjectPlan.planID FROM hostObjectPlan "
           "JOIN personPlan ON personPlan.planID = hostObjectPlan.planID "
           "WHERE hostObjectPlan.objectID = ? AND personPlan.personID = ?",
           params);
       !plans.Eof(); plans.MoveNext()) {
    row.live[Text(plans, 0)] = Int(plans, 1);
  }
  return row;
}

std::optional<std::string> TextOf(const std::optional<std::string>& text) {
  return text && !text->empty() ? text : std::nullopt;
}

}  // namespace

std::optional<PlanSeries> FindSeries(store::Connection& db, std::int64_t person_id,
                                     std::int64_t plan_id) {
  const std::optional<SeriesRow> row = LoadSeries(db, person_id, plan_id);
  if (!row || row->live.size() < 2) return std::nullopt;
  PlanRepository repository(db);
  PlanSeries series;
  series.object_id = row->object_id;
  series.count = row->live.size();
  bool first = true;
  for (const auto& [recurrence, id] : row->live) {
    const std::optional<StoredPlan> plan = repository.FindPlan(person_id, id);
    if (!plan || !plan->start || !plan->end) continue;
    const DateTime start = plan->start->DateOnly();
    const DateTime end = plan->end->DateOnly();
    if (first || start < series.first_day) series.first_day = start;
    if (first || series.last_day < end) series.last_day = end;
    first = false;
  }
  return series;
}

PlanWrite UpdateSeries(store::Connection& db, const feeds::TimeZone& zone, std::int64_t person_id,
                       std::int64_t plan_id, const PlanInput& plan,
                       const feeds::EventLimits& limits, std::size_t per_day_limit,
                       const std::optional<std::int64_t>& actor) {
  PlanRepository repository(db);
  repository.set_actor(actor);
  const auto tell = [&](std::string_view kind, std::int64_t id) {
    if (const std::optional<StoredPlan> now_stored = repository.FindPlan(person_id, id)) {
      AddPlanEvent(db, kind, *now_stored, actor);
    }
  };
  store::Transaction transaction(db);
  repository.LockPerson(person_id);
  PlanWrite write;
  const std::optional<SeriesRow> row = LoadSeries(db, person_id, plan_id);
  if (!row || row->live.empty()) return write;

  // The master keeps its first day; the plan's times of day and length
  // apply to it.
  const std::vector<feeds::EventInstance> before = feeds::ExpandEventObject(row->text, zone, limits);
  if (before.empty()) return write;
  plans::PlanRecord master;
  master.start = DateTime::FromSerial(before.front().plan.start.day(), plan.start.seconds());
  const std::int64_t length = (plan.end.day() - plan.start.day()) * 86400 +
                              (plan.end.seconds() - plan.start.seconds());
  const std::int64_t end_seconds = master.start.seconds() + length;
  master.end = DateTime::FromSerial(master.start.day() + end_seconds / 86400,
                                    static_cast<std::int32_t>(end_seconds % 86400));
  for (const PlaceKind& kind : repository.PlaceKinds()) {
    if (kind.id == plan.kind_id) master.kind = kind.name;
  }
  for (const Place& place : repository.Places()) {
    if (place.id == plan.place_id) master.place = place.name;
  }
  master.kind_id = plan.kind_id;
  master.detail = plan.detail.value_or("");
  master.content = plan.content.value_or("");
  master.addition = plan.addition.value_or("");
  master.shared = plan.flag == store::kSharedPlanFlag;
  const std::string kept = feeds::ReplaceMaster(row->text, master, zone);
  const std::vector<feeds::EventInstance> instances = feeds::ExpandEventObject(kept, zone, limits);

  // An instance keeps the plan of its recurrence id, else the plan of its
  // date: a new time of day gives the instances new recurrence ids.
  std::map<std::string, std::int64_t> unmatched = row->live;
  std::vector<std::int64_t> kept_ids(instances.size(), 0);
  for (std::size_t i = 0; i < instances.size(); ++i) {
    const auto exact = unmatched.find(instances[i].recurrence_id);
    if (exact == unmatched.end()) continue;
    kept_ids[i] = exact->second;
    unmatched.erase(exact);
  }
  for (std::size_t i = 0; i < instances.size(); ++i) {
    if (kept_ids[i] != 0) continue;
    const std::string date = instances[i].recurrence_id.substr(0, 8);
    const auto same_day = std::find_if(unmatched.begin(), unmatched.end(), [&](const auto& old) {
      return !date.empty() && old.first.substr(0, 8) == date;
    });
    if (same_day == unmatched.end()) continue;
    kept_ids[i] = same_day->second;
    unmatched.erase(same_day);
  }
  const DateTime now = UtcNow();
  for (const auto& [recurrence, id] : unmatched) repository.MoveToDeleted(person_id, id, now);
  const std::array object{store::SqlParam::Integer(row->object_id)};
  for (std::size_t i = 0; i < instances.size(); ++i) {
    const feeds::EventInstance& instance = instances[i];
    PlanInput input = plan;
    input.start = instance.plan.start;
    input.end = instance.plan.end;
    input.detail = TextOf(plan.detail);
    const std::int64_t except = kept_ids[i];
    write.full_day = repository.FirstFullDay(person_id, input.start.DateOnly(),
                                             input.end.DateOnly(), per_day_limit, except);
    if (write.full_day) return PlanWrite{0, write.full_day};
    std::vector<store::SqlParam> params = PlanValues(input);
    params.push_back(store::SqlParam::Integer(person_id));
    if (except != 0) {
      params.push_back(store::SqlParam::Integer(except));
      db.Execute(UpdatePlanSql(), params);
      const std::array relink{store::SqlParam::Text(instance.recurrence_id),
                              store::SqlParam::Integer(except)};
      db.Execute("UPDATE hostObjectPlan SET recurrenceID = ? WHERE planID = ?", relink);
      RecordPlanChange(db, person_id, except, true, now);
      tell(kPlanChanged, except);
      if (write.plan_id == 0 || except == plan_id) write.plan_id = except;
    } else {
      const std::int64_t added = db.InsertReturningId(InsertPlanSql(), params, "planID");
      const std::array link{store::SqlParam::Integer(added), object[0],
                            store::SqlParam::Text(instance.recurrence_id)};
      db.Execute("INSERT INTO hostObjectPlan (planID, objectID, recurrenceID) VALUES (?, ?, ?)",
                 link);
      RecordNewPlan(db, person_id, added, input.flag == store::kSharedPlanFlag, now);
      tell(kPlanAdded, added);
      if (write.plan_id == 0) write.plan_id = added;
    }
  }
  const std::array text{store::SqlParam::Text(kept), store::SqlParam::Timestamp(now), object[0]};
  db.Execute("UPDATE hostCalendarObject SET calendarText = ?, changedAt = ? WHERE objectID = ?",
             text);
  RecordObjectChange(db, person_id, row->object_id, row->name, true, now);
  transaction.Commit();
  return write;
}

std::optional<std::int64_t> RemoveSeries(store::Connection& db, std::int64_t person_id,
                                         std::int64_t plan_id, const DateTime& now,
                                         const std::optional<std::int64_t>& actor) {
  PlanRepository repository(db);
  repository.set_actor(actor);
  store::Transaction transaction(db);
  repository.LockPerson(person_id);
  const std::optional<SeriesRow> row = LoadSeries(db, person_id, plan_id);
  std::optional<std::int64_t> entry;
  if (!row) {
    entry = repository.MoveToDeleted(person_id, plan_id, now);
  } else {
    for (const auto& [recurrence, id] : row->live) {
      const std::optional<std::int64_t> deleted = repository.MoveToDeleted(person_id, id, now);
      if (id == plan_id) entry = deleted;
    }
    const std::array object{store::SqlParam::Integer(row->object_id)};
    db.Execute("DELETE FROM hostObjectPlan WHERE objectID = ?", object);
    db.Execute("DELETE FROM hostCalendarObject WHERE objectID = ?", object);
    RecordObjectChange(db, person_id, row->object_id, row->name, true, now);
  }
  if (entry) transaction.Commit();
  return entry;
}

}  // namespace ostrand::web
