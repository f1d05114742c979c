// The outbox's events of plans and persons (web/data/outbox.h), as every
// writer of them adds them inside its own transaction. The body keeps the
// plan as stored when the event was made (ids, the stored wall-clock
// times, texts, kind and place names, whether it is shared), the person
// and who made the change; the webhook channel writes it in the JSON
// API's form. Every function runs on the caller's connection and throws
// DatabaseError when the database refuses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "store/connection.h"
#include "web/data/plan_rows.h"

namespace ostrand::web {

// The body of a plan's event: {"person": {"id", "name"}, "actor": {"id",
// "name"} or null, "plan": {"id", "start", "end" (stored texts), "kind",
// "place", "detail", "content", "addition", "shared"}}.
std::string PlanEventBody(store::Connection& db, const StoredPlan& plan,
                          const std::optional<std::int64_t>& actor);

// Adds the event `kind` (one of the plan kinds) of `plan` as it is now
// (deleted: as it was) inside the caller's transaction, made by `actor`
// (nothing: another program, such as an import).
void AddPlanEvent(store::Connection& db, std::string_view kind, const StoredPlan& plan,
                  const std::optional<std::int64_t>& actor);

// Adds person.added or person.retired of the person inside the caller's
// transaction: {"person": {"id", "name"}, "actor": ...}.
void AddPersonEvent(store::Connection& db, std::string_view kind, std::int64_t person_id,
                    const std::optional<std::int64_t>& actor);

// The body of the daily list of who is away on `day` (a date in the plans'
// zone) made at `hour`: {"date", "hour", "away": [{"person": {"id",
// "name"}, "kind", "place", "start", "end" (stored texts)}]}, the shared
// plans touching the day at a place other than the office (kind 1) of the
// persons who have not retired, by start time.
std::string AwayListBody(store::Connection& db, const DateTime& day, int hour);

}  // namespace ostrand::web
