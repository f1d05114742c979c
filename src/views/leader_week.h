// The leader's week summary: a table with seven day columns, Monday to
// Sunday, and one row per person of a system. A day cell lists the person's
// shared plans of that day as text: in full in the viewer's own row, as
// place names in everybody else's. The table is left open; the page closes
// it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/date.h"
#include "core/value.h"
#include "store/record_set.h"

namespace ostrand::views {

// The table opening and the header row of the week of dtDate: the name
// column, then per day "星期" with its weekday caption, "<br>" and its date;
// two lines ending in CR LF. The first date is GetPrevMonday of dtDate shown
// as its own text (a Monday given as text keeps its form); the others are
// dates one day apart with the same time of day. Throws Error when dtDate
// does not read as a date.
std::string DispLeaderWeekHeader(const Value& dtDate);

// The query of person `id` (passed through plans::IdForSql) for the shared
// plans (planFlagID 1) that overlap monday..sunday in whole days, ordered by
// start time. The two dates go in with their time of day, if any.
std::string PersonWeekSql(std::string_view id, const DateTime& monday, const DateTime& sunday);

// What a week row shows of one plan-select row (not escaped): for the
// person himself or herself (`own`) the trimmed place name, detail, ":",
// content and addition; for anyone else the trimmed place name alone.
std::string WeekPlanText(const store::RecordSet& rs, bool own);

// The seven day cells of person pID for the week of dtDate, Monday first and
// no line breaks: "<td class='schK' >T</td>". K is the kind of place
// (Type1ID) of the day's last shared plan, empty for a day without plans. T
// lists the day's shared plans, each followed by CR LF: when `viewerID` (the
// Session item "personID") names the same whole number as pID, the trimmed
// place name, detail, ":", content and addition; otherwise the trimmed place
// name alone. All texts are HTML-escaped. `trace` (may be empty) receives the
// SQL text just before it runs.
//
// Throws Error before the trace and the query when pID does not read as a
// number, dtDate does not read as a date, or viewerID is text that is no
// number; throws with the database's message when the query fails, and when
// a plan's start or end is null or no date.
std::string DispPersonWeek(store::QuerySource& db, const Value& dtDate, const Value& pID,
                           const Value& viewerID,
                           const std::function<void(const std::string&)>& trace);

// The person rows of the week of dtDate (see views::DispLeaderRows): each
// person's name and DispPersonWeek cells, every person's SQL going to
// `trace`. `systemID` is the Session item "systemID", `viewerID` the Session
// item "personID"; `strCond` is the page author's SQL condition on the
// persons.
//
// Throws Error before any query when dtDate does not read as a date,
// systemID does not read as a number or strCond is blank; otherwise as
// DispLeaderRows and DispPersonWeek.
std::string DispLeaderWeekContent(store::QuerySource& db, const Value& dtDate, const Value& strCond,
                                  const Value& systemID, const Value& viewerID,
                                  const std::function<void(const std::string&)>& trace);

}  // namespace ostrand::views
