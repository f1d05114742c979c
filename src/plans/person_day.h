// The day plan cell: what one person has planned on one day, as a run of
// numbered entries, each a span whose class tells the kind of place.
#pragma once

#include <string>

#include "core/value.h"
#include "store/record_set.h"

namespace ostrand::plans {

// The entries of person `personID` on day `dt`, earliest start first. Each
// entry is "<span class=schN style='width:100%;'> n.place...&nbsp;</span>||"
// with N the kind of place (1..4) and n the entry number from 1.
//
// `viewerID` is the signed-in person (the Session item "personID"). When
// it names the same whole number as personID, every entry is listed with
// place, detail, ":", content and addition; otherwise only the shared
// entries (planFlagID 1) are listed, with the place alone. Texts from the
// database are HTML-escaped. Returns the empty text when no entry matches.
//
// Throws Error before any query when personID does not read as a number or
// dt does not read as a date, when viewerID is text that is no number, and
// with the database's message when the query fails.
std::string GetPersonDay(store::QuerySource& db, const Value& dt, const Value& personID,
                         const Value& viewerID);

}  // namespace ostrand::plans
