#include "web/data/plan_events.h"

#include <nlohmann/json.hpp>

#include <array>

#include "core/date_text.h"
#include "plans/place_kind.h"
#include "plans/retired.h"
#include "store/plan_flags.h"
#include "web/data/outbox.h"
#include "web/data/plan_changes.h"
#include "web/data/plan_repository.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

using Json = nlohmann::json;

Json PersonJson(store::Connection& db, std::int64_t id) {
  const std::array params{store::SqlParam::Integer(id)};
  const store::RecordSet row = db.Query("SELECT personName FROM person WHERE personID = ?", params);
  return Json{{"id", id}, {"name", row.Eof() ? std::string() : Text(row, 0)}};
}

Json ActorJson(store::Connection& db, const std::optional<std::int64_t>& actor) {
  return actor ? PersonJson(db, *actor) : Json(nullptr);
}

Json OptionalText(const std::optional<std::string>& text) {
  return text ? Json(*text) : Json(nullptr);
}

}  // namespace

std::string PlanEventBody(store::Connection& db, const StoredPlan& plan,
                          const std::optional<std::int64_t>& actor) {
  const Json body{{"person", PersonJson(db, plan.person_id)},
                  {"actor", ActorJson(db, actor)},
                  {"plan",
                   {{"id", plan.id},
                    {"start", plan.start_text},
                    {"end", plan.end_text},
                    {"kind", plan.kind_name},
                    {"place", plan.place_name},
                    {"detail", OptionalText(plan.detail)},
                    {"content", OptionalText(plan.content)},
                    {"addition", OptionalText(plan.addition)},
                    {"shared", plan.flag == store::kSharedPlanFlag}}}};
  return body.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void AddPlanEvent(store::Connection& db, std::string_view kind, const StoredPlan& plan,
                  const std::optional<std::int64_t>& actor) {
  NewEvent event;
  event.kind = kind;
  event.person_id = plan.person_id;
  event.actor_id = actor;
  event.shared = plan.flag == store::kSharedPlanFlag;
  event.body = PlanEventBody(db, plan, actor);
  event.at = UtcNow();
  AddEvent(db, event);
}

void AddPersonEvent(store::Connection& db, std::string_view kind, std::int64_t person_id,
                    const std::optional<std::int64_t>& actor) {
  NewEvent event;
  event.kind = kind;
  event.person_id = person_id;
  event.actor_id = actor;
  event.body = Json{{"person", PersonJson(db, person_id)}, {"actor", ActorJson(db, actor)}}.dump(
      -1, ' ', false, Json::error_handler_t::replace);
  event.at = UtcNow();
  AddEvent(db, event);
}

std::string AwayListBody(store::Connection& db, const DateTime& day, int hour) {
  const std::array params{StartsBefore(day), store::SqlParam::Date(day.DateOnly())};
  std::string kinds;
  for (const std::int64_t kind : plans::kAwayPlaceKinds) {
    kinds += (kinds.empty() ? "" : ", ") + std::to_string(kind);
  }
  Json away = Json::array();
  for (const StoredPlan& plan :
       ReadPlans(db.Query(PlanSelect(db.engine()) +
                              "WHERE personPlan.planFlagID = 1 AND personPlan.planAddrTypeID IN (" + kinds +
                              ") AND personPlan.planStartTime < ? AND personPlan.planEndTime >= ? "
                              "AND " + plans::NotRetired("personPlan.personID") +
                              " ORDER BY personPlan.planStartTime, personPlan.personID",
                          params))) {
    away.push_back(Json{{"person", PersonJson(db, plan.person_id)},
                        {"kind", plan.kind_name},
                        {"place", plan.place_name},
                        {"start", plan.start_text},
                        {"end", plan.end_text}});
  }
  return Json{{"date", DateText(day)}, {"hour", hour}, {"away", away}}.dump(
      -1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace ostrand::web
