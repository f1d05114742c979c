// What a feed shows, read from the schedule database with the pages' plan
// select: the person or the department and the plans the view may see
// within the feed's range.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/value.h"
#include "feeds/feed_range.h"
#include "feeds/ical_feed.h"
#include "plans/plan_record.h"
#include "store/record_set.h"

namespace ostrand::feeds {

// Person `person_id` with his or her plans that touch `range`: every plan
// for kOwn, the shared ones for kColleague and kDepartment. Nothing when
// there is no such person (a feed of a removed person is not found). Throws
// Error with the database's message when a query fails, and as
// plans::LoadPlans.
std::optional<plans::PersonPlans> LoadPerson(store::QuerySource& db, std::int64_t person_id,
                                             FeedView view, const FeedRange& range);

// The persons of system `systemID` that satisfy the operator's leader
// condition `strCond`, in the leader pages' order (views::PersonListSql),
// each with his or her shared plans that touch `range`. Throws as
// views::ForEachListedPerson and plans::LoadPlans.
std::vector<plans::PersonPlans> LoadDepartment(store::QuerySource& db, const Value& systemID,
                                               const Value& strCond, const FeedRange& range);

}  // namespace ostrand::feeds
