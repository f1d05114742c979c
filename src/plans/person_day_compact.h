// The compact day plan cell: one small span for one person's shared plans of
// one day, the entries listed in its tooltip.
#pragma once

#include <string>

#include "core/value.h"
#include "store/record_set.h"

namespace ostrand::plans {

// "<span class=C title='T'>&nbsp;&nbsp;</span>" for person `personID` on day
// `dt`, listing only the shared entries (planFlagID 1) whoever looks. C is
// the class of the last entry's kind of place ("Office", "Beijing",
// "Outside", "Aboad"); T is, for each entry in start order and with nothing
// between them, its number from 1, ".", the kind-of-place name, ":" and the
// place name, both trimmed and HTML-escaped. With no entry C and T are empty.
//
// Throws Error before any query when personID does not read as a number or
// dt does not read as a date, and with the database's message when the
// query fails.
std::string GetPersonDay2(store::QuerySource& db, const Value& dt, const Value& personID);

}  // namespace ostrand::plans
