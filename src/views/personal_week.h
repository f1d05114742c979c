// The personal week view: one person's plan for one week as a table of seven
// rows, Monday to Sunday, each with a caption cell, an empty cell and the
// day's plan cell.
#pragma once

#include <string>

#include "core/value.h"
#include "store/record_set.h"

namespace ostrand::views {

// The week of dtDate for person pID. The first day is GetPrevMonday of
// dtDate, shown as its own text (a Monday given as text keeps its form); the
// following days are dates, each one day on with the same time of day. Each
// row's plan cell holds the day cell of plans::GetPersonDay (viewerID is the
// Session item "personID") with every entry on its own line, then "&nbsp;".
// Rows follow one another without line breaks; only the table's opening and
// closing tags end in CR LF.
//
// Throws Error before any query when pID does not read as a number; throws
// when dtDate does not read as a date (a Monday given as a number is refused
// by the day cell), and when a day cell fails.
std::string DispWeek(store::QuerySource& db, const Value& dtDate, const Value& pID,
                     const Value& viewerID);

}  // namespace ostrand::views
