// The series of plans that one recurring event of a calendar program
// became (web/data/calendar_objects.h), as the day editor sees them: which
// series a plan belongs to, a change of every plan of it, and the delete
// of all of it. Each write is one transaction with the editor's rules (the
// plans-per-day limit, the change record, the deleted plans kept for undo).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/date.h"
#include "feeds/event_object.h"
#include "feeds/time_zone.h"
#include "store/connection.h"
#include "web/data/plan_repository.h"

namespace ostrand::web {

// The series a plan belongs to.
struct PlanSeries {
  std::int64_t object_id = 0;
  std::size_t count = 0;  // its plans that are left
  DateTime first_day;     // the first day of its first plan
  DateTime last_day;      // the last day of its last plan
};

// The series of the person's plan `plan_id`: the object it belongs to when
// that object holds more than one plan now; nothing for a plan of its own.
// Throws the database's Error.
std::optional<PlanSeries> FindSeries(store::Connection& db, std::int64_t person_id,
                                     std::int64_t plan_id);

// Gives every plan of the series of `plan_id` the texts, place, sharing,
// times of day and length of `plan`: the event's master is rewritten
// (feeds::ReplaceMaster), its instances expanded again, and the plans
// written from them, keeping the ids of instances that stay; those that no
// longer fall go to the deleted plans. plan_id 0 when the plan belongs to
// no series; full_day (and nothing written) when a day would hold more than
// `per_day_limit` plans. Throws feeds::ConditionError as
// feeds::ExpandEventObject (too many instances, a plan too long) and the
// database's Error; nothing is written then.
PlanWrite UpdateSeries(store::Connection& db, const feeds::TimeZone& zone, std::int64_t person_id,
                       std::int64_t plan_id, const PlanInput& plan,
                       const feeds::EventLimits& limits, std::size_t per_day_limit,
                       const std::optional<std::int64_t>& actor = std::nullopt);

// Moves every plan of the series of `plan_id` to the deleted plans and
// removes the event, so that a restored plan comes back as a plan of its
// own. Returns the deleted entry of `plan_id` itself; nothing when the
// person has no such plan. Throws the database's Error. Both add the
// outbox events of the plans they write, made by `actor`.
std::optional<std::int64_t> RemoveSeries(store::Connection& db, std::int64_t person_id,
                                         std::int64_t plan_id, const DateTime& now,
                                         const std::optional<std::int64_t>& actor = std::nullopt);

}  // namespace ostrand::web
