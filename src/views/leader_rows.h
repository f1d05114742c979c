// The rows of a leader summary: one table row per person of a system, a name
// cell followed by the day cells of that person. The month and the week
// summary share this routine and differ only in the day cells they render.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/value.h"
#include "store/record_set.h"

namespace ostrand::views {

// Renders the day cells of one person's row from the person's id (the first
// column of the person list). Any Error it throws ends the whole summary.
using PersonCells = std::function<std::string(const Value& personID)>;

// The select of the persons of a system that satisfy `condition`, ordered by
// duty (plans::LeaderListFrom). `system_id` must have passed plans::IdForSql.
//
// `condition` goes into the text verbatim: it is an SQL condition over the
// columns of person and personDuty written by the host page's author, i.e.
// trusted configuration. It must never carry request data (nothing the
// visitor can choose), since no check here could make that safe.
std::string PersonListSql(std::string_view system_id, std::string_view condition);

// Calls `each` with the id and the name (the first two columns of the list)
// of every person of system `systemID` (the Session item "systemID") that
// satisfies `strCond` (see PersonListSql), in the order of the list. The
// list stays open (in memory) while `each` runs its own queries on the same
// connection.
//
// Throws Error before any query when systemID does not read as a number or
// strCond is empty or blank; throws with the database's message when the
// query fails, and whatever `each` throws.
void ForEachListedPerson(store::QuerySource& db, const Value& systemID, const Value& strCond,
                         const std::function<void(const Value& id, const Value& name)>& each);

// The person rows of system `systemID` (the Session item "systemID")
// restricted by `strCond` (see PersonListSql): for each person, in the
// order of the list, "<tr><td class=td2 nowrap>", the HTML-escaped name,
// "</td>", the cells that `cells` renders for the person, "</tr>" and CR LF
// (see ForEachListedPerson). Returns the empty text when no person matches.
// Throws as ForEachListedPerson.
std::string DispLeaderRows(store::QuerySource& db, const Value& systemID, const Value& strCond,
                           const PersonCells& cells);

// Appends one row of DispLeaderRows: "<tr><td class=td2 nowrap>", the
// HTML-escaped name, "</td>", `cells`, "</tr>" and CR LF. The start (up to
// the cells) and the end can be appended apart, for cells rendered in place.
void AppendLeaderRow(std::string& out, const Value& name, std::string_view cells);
void AppendLeaderRowStart(std::string& out, const Value& name);
inline constexpr std::string_view kLeaderRowEnd = "</tr>\r\n";

}  // namespace ostrand::views
