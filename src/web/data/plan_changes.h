// The host's record of the changes it makes to plans (hostPlanChange): the
// day editor and `ostrand import-plans` note every plan they add, change or
// delete, with a change counter and the time (UTC). Calendar feeds read it
// back as each event's SEQUENCE and LAST-MODIFIED, and the time of a feed's
// last change for Last-Modified. Plans that other programs write have no
// record; their events carry neither.
//
// Every recorded change also adds a numbered row to hostCalendarChange, the
// record that calendar programs sync by (web/data/calendar_objects.h): the
// person, the plan, the calendar object the plan belongs to (and its name
// then), and whether colleagues saw it. The numbers are taken one writer at
// a time (a lock held to the commit), so that a number read after a commit
// is never followed by a smaller one committed later.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "plans/plan_record.h"
#include "store/connection.h"

namespace ostrand::web {

// Notes one change of the plan at `when` (UTC): a new plan starts at
// revision 0, every later change (a deletion too) adds one. `seen_by_colleagues`
// says whether the plan was shared before or after the change, that is
// whether colleagues' feeds changed with it. Runs in the caller's
// transaction. Throws the database's Error.
void RecordPlanChange(store::Connection& db, std::int64_t person_id, std::int64_t plan_id,
                      bool seen_by_colleagues, const DateTime& when);

// Notes the plan as new at `when`: revision 0, whatever record its id had
// (ids are not given twice, but another program may write one), so that a
// new plan never takes over an old plan's history. Runs in the caller's
// transaction. Throws the database's Error.
void RecordNewPlan(store::Connection& db, std::int64_t person_id, std::int64_t plan_id,
                   bool shared, const DateTime& when);

// Notes a change of the person's calendar object `object_id` (named
// `object_name` now) that no plan change covers: its text changed, or it
// went away. Runs in the caller's transaction. Throws the database's Error.
void RecordObjectChange(store::Connection& db, std::int64_t person_id, std::int64_t object_id,
                        std::string_view object_name, bool seen_by_colleagues,
                        const DateTime& when);

// How long the numbered changes of calendar sync are kept.
inline constexpr int kKeepCalendarChangeDays = 90;

// Removes the numbered changes older than kKeepCalendarChangeDays before
// `now` (UTC) and raises the floor below which sync tokens no longer read
// (hostSetting 'calendarChangeFloor') to the highest number removed, in one
// transaction. Returns how many went. Throws the database's Error.
std::int64_t PruneCalendarChanges(store::Connection& db, const DateTime& now);

// Sets the revision and last-modified time of every plan of `persons` that
// has a record. Throws the database's Error.
void AddRecordedChanges(store::Connection& db, std::vector<plans::PersonPlans>& persons);

// The latest recorded change of any plan of these persons, deleted plans
// included: of every change, or with `colleagues_only` of the changes that
// colleagues could see. Nothing when there is none. Throws the database's
// Error.
std::optional<DateTime> LatestRecordedChange(store::Connection& db,
                                             std::span<const std::int64_t> person_ids,
                                             bool colleagues_only);

// The time now in UTC, to the second.
DateTime UtcNow();

}  // namespace ostrand::web
