// PlanRecord: one plan of one person as plain values, the form in which plans
// leave the database for calendar feeds and come back from imported files.
// Plan times are wall-clock times in the operator's time zone, as the
// schedule stores them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "core/value.h"
#include "store/record_set.h"

namespace ostrand::plans {

struct PlanRecord {
  std::int64_t id = 0;  // planID; 0 for a plan that is not stored (read from a file)
  DateTime start;
  DateTime end;
  std::optional<std::int64_t> kind_id;    // Type1ID when it is a whole number
  std::string kind;                       // kind-of-place name (Type1), blanks trimmed
  std::string place;                      // place name (Type2), blanks trimmed
  std::string detail;                     // planAddrDetail as stored; "" for NULL
  std::string content;                    // planContent as stored; "" for NULL
  std::string addition;                   // planAddition as stored; "" for NULL
  bool shared = true;                     // planFlagID 1: every viewer may see it
  std::optional<DateTime> last_modified;  // UTC, where the store records it
  std::optional<std::int64_t> revision;   // change counter, where the store records it

  friend bool operator==(const PlanRecord&, const PlanRecord&) = default;
};

// A person and some of his or her plans, by start time.
struct PersonPlans {
  std::int64_t person_id = 0;
  std::string name;  // personName as stored; "" for NULL
  std::vector<PlanRecord> plans;
};

// Which plans a viewer may see: all of them (one's own) or the shared ones.
enum class PlanSet { kAll, kShared };

// The plans of person `personID` that start on or before `last` and end on
// or after `first`, counted in whole days (the pages' rule), by start time
// and then id: every plan for kAll, those with planFlagID 1 for kShared.
// Plans whose kind of place or place has no row are left out, as on the
// pages.
//
// Throws Error before any query when personID does not read as a number;
// with the database's message when the query fails; naming the plan when
// its start or end is null or no date.
std::vector<PlanRecord> LoadPlans(store::QuerySource& db, const Value& personID,
                                  const DateTime& first, const DateTime& last, PlanSet which);

// The time a plan's `column` (planStartTime, planEndTime) holds: `read`,
// the stored value read as a date. Throws Error naming the plan, the column
// and the stored text `stored` when it read as no date. Every reader of
// plans that needs their dates decides so.
DateTime RequirePlanTime(const std::optional<DateTime>& read, std::int64_t plan_id,
                         std::string_view column, std::string_view stored);

// The name of person `personID`, or nothing when there is no such person.
// Throws as LoadPlans.
std::optional<std::string> LoadPersonName(store::QuerySource& db, const Value& personID);

}  // namespace ostrand::plans
