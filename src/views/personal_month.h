// The personal month view: one person's plan for one calendar month as a
// grid of Monday-to-Sunday weeks. Each day of the month is a cell with its
// day number and the contents of the plans covering it, one per line; days
// of the neighbouring months that fill the first and last week are blank.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/date.h"
#include "core/value.h"
#include "store/record_set.h"

namespace ostrand::views {

// Receives the SQL text of the month query just before it runs.
using SqlTrace = std::function<void(const std::string&)>;

// The month query of person `id` (passed through plans::IdForSql): the plans
// that overlap first..last in whole days, by start time; all of them when
// `own`, the shared ones (planFlagID 1) otherwise.
std::string PersonalMonthSql(std::string_view id, const DateTime& first, const DateTime& last,
                             bool own);

// The table opening and the row of weekday headings (Monday first), two
// lines ending in CR LF. Never fails.
std::string DispMonthHeader();

// The week rows of the month of dtDate for person pID, and the table
// closing. One query selects the person's plans overlapping the month, all
// of them when `viewerID` (the Session item "personID") names the same whole
// number as pID, the shared ones (planFlagID 1) otherwise; `trace` receives
// its text before it runs. A day cell's class is "sch" followed by the kind
// of place of the last plan on the day (nothing when none); its content
// lists the trimmed, HTML-escaped contents of the day's plans, each followed
// by "<br>". Only days of this month and year are marked, and only the part
// of a plan inside the month is walked.
//
// Throws Error before the trace and the query when pID does not read as a
// number, dtDate does not read as a date, or viewerID is text that is no
// number; throws with the database's message when the query fails, and when
// a plan's start or end is null or no date.
std::string DispMonthContent(store::QuerySource& db, const Value& dtDate, const Value& pID,
                             const Value& viewerID, const SqlTrace& trace);

}  // namespace ostrand::views
