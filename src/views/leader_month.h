// The leader's month summary: a table with one column per day of a month and
// one row per person of a system. Each day cell carries a marker for the kind
// of place of the person's last shared plan that day and, in its tooltip, the
// contents of the day's shared plans, one per line. The table is left open;
// the page closes it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/date.h"
#include "core/value.h"
#include "store/record_set.h"

namespace ostrand::views {

// The table opening and the header row for the month of dtDate: the name
// column, then per day its number, "<br>" and its weekday caption; two lines
// ending in CR LF. Throws Error when dtDate does not read as a date.
std::string DispLeaderMonthHeader(const Value& dtDate);

// The query of person `id` (passed through plans::IdForSql) for the shared
// plans (planFlagID 1) that overlap first..last in whole days, ordered by
// start time.
std::string PersonMonthSql(std::string_view id, const DateTime& first, const DateTime& last);

// The day cells of person pID for the month of dtDate, one per day and no
// line breaks: "<td title='T' class='schK' >M</td>". K is the kind of place
// (Type1ID) of the day's last shared plan, empty for a day without plans; M
// is its marker (1 "△", 2 "◇", 3 "▲", 4 "◆", anything else "&nbsp;"); T lists
// the trimmed, HTML-escaped contents of the day's plans, each followed by CR
// LF. Every viewer sees the same cells. Only days of this month and year are
// marked, and only the part of a plan inside the month is walked.
//
// Throws Error before the query when pID does not read as a number or dtDate
// does not read as a date; throws with the database's message when the query
// fails, and when a plan's start or end is null or no date.
std::string DispPersonMonth(store::QuerySource& db, const Value& dtDate, const Value& pID);

// DispPersonMonth appended to `out`. Throws as DispPersonMonth; `out` may
// then hold part of the cells.
void AppendPersonMonth(std::string& out, store::QuerySource& db, const Value& dtDate,
                       const Value& pID);

// Day cells (DispPersonMonth) that a host keeps from one page to the next,
// so that a summary need not read and render again what did not change.
// The host alone knows when kept cells go stale; it must never hand out
// cells older than the data the rest of the page is read from.
class KeptMonthCells {
 public:
  virtual ~KeptMonthCells() = default;
  // The cells kept for the person whose list id reads `id` in the month
  // that starts on `first`, or null. Shared: they stay valid while held.
  virtual std::shared_ptr<const std::string> Find(std::string_view id, const DateTime& first) = 0;
  // Offers the cells just rendered for that person and month; the host
  // may keep a copy or not.
  virtual void Offer(std::string_view id, const DateTime& first, std::string_view cells) = 0;
};

// The person rows of the month of dtDate (see views::DispLeaderRows): each
// person's name and DispPersonMonth cells. `systemID` is the Session item
// "systemID"; `strCond` is the page author's SQL condition on the persons.
//
// Throws Error before any query when dtDate does not read as a date,
// systemID does not read as a number or strCond is blank; otherwise as
// DispLeaderRows and DispPersonMonth.
std::string DispLeaderMonthContent(store::QuerySource& db, const Value& dtDate,
                                   const Value& strCond, const Value& systemID);

// DispLeaderMonthContent appended to `out`, each person's cells taken from
// `kept` when it holds them and offered to it when rendered (no cells are
// kept when `kept` is null); the bytes are those of DispLeaderMonthContent
// either way. Throws as DispLeaderMonthContent; `out` may then hold part of
// the rows.
void AppendLeaderMonthContent(std::string& out, store::QuerySource& db, const Value& dtDate,
                              const Value& strCond, const Value& systemID, KeptMonthCells* kept);

}  // namespace ostrand::views
